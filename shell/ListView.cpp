#include "shell/ListView.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTreeWidget>
#include <cmath>

#include "shell/AnsiStrings.h"
#include "shell/EventDispatch.h"
#include "shell/QtText.h"

namespace {

// Qt's headers would otherwise keep sections at least this wide; hidden key columns are 1 wide.
constexpr int kSmallestSection = 0;
constexpr int kDefaultColumnWidth = 50;

Qt::Alignment qtAlignment(TAlignment Alignment) {
  switch (Alignment) {
    case taRightJustify:
      return Qt::AlignRight | Qt::AlignVCenter;
    case taCenter:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
      return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

// A stable merge sort that stays within bounds whatever the comparison answers.
template <class Compare>
void mergeSort(std::vector<TListItem*>& Items, Compare Less) {
  std::vector<TListItem*> buffer(Items.size());
  const size_t n = Items.size();
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      size_t a = lo, b = mid, out = lo;
      while (a < mid && b < hi) buffer[out++] = Less(Items[b], Items[a]) ? Items[b++] : Items[a++];
      while (a < mid) buffer[out++] = Items[a++];
      while (b < hi) buffer[out++] = Items[b++];
    }
    Items.swap(buffer);
  }
}

}  // namespace

// Marks changes of rows and selection that the program makes, so that the widget's signals
// about them do not count as the user's.
class TListView::TProgramChange {
 public:
  explicit TProgramChange(const TListView* View) : FView(const_cast<TListView*>(View)) {
    ++FView->FProgramChange;
  }
  ~TProgramChange() { --FView->FProgramChange; }
  TProgramChange(const TProgramChange&) = delete;
  TProgramChange& operator=(const TProgramChange&) = delete;

 private:
  TListView* FView;
};

// The widget: double clicks, and an entry to bring into view once the list is shown.
class TListView::TTreeView : public QTreeWidget {
 public:
  explicit TTreeView(TListView* View) : FView(View) {}
  QTreeWidgetItem* FPendingVisible = nullptr;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* Event) override {
    QTreeWidget::mouseDoubleClickEvent(Event);
    if (FView->OnDblClick) FireEvent([this] { FView->OnDblClick(); });
  }
  void showEvent(QShowEvent* Event) override {
    QTreeWidget::showEvent(Event);
    if (FPendingVisible) {
      doItemsLayout();
      scrollToItem(FPendingVisible);
      FPendingVisible = nullptr;
    }
  }
  void focusInEvent(QFocusEvent* Event) override {
    QTreeWidget::focusInEvent(Event);
    FView->SetHideSelection(FView->FHideSelection);
  }
  void focusOutEvent(QFocusEvent* Event) override {
    QTreeWidget::focusOutEvent(Event);
    FView->SetHideSelection(FView->FHideSelection);
  }

 private:
  TListView* FView;
};

// A row of the widget; its texts and alignments are read from the entry and its columns.
class TListItem::TRow : public QTreeWidgetItem {
 public:
  explicit TRow(TListItem* Item) : QTreeWidgetItem(UserType), FItem(Item) {
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
  }
  QVariant data(int Column, int Role) const override {
    if (Role == Qt::DisplayRole) return ToQString(FItem->CellText(Column));
    if (Role == Qt::TextAlignmentRole) {
      TListColumns* columns = FItem->FListView->Columns();
      TAlignment a = Column < columns->GetCount() ? columns->GetItem(Column)->GetAlignment()
                                                  : taLeftJustify;
      return static_cast<int>(qtAlignment(a));
    }
    return QTreeWidgetItem::data(Column, Role);
  }
  void Changed() { emitDataChanged(); }

  TListItem* FItem;
};

// The cells of an entry, columns 1 and up.
class TListItem::TCells : public TStrings {
 public:
  explicit TCells(TListItem* Item) : FItem(Item) {}

  int GetCount() const override { return static_cast<int>(FCells.size()); }
  AnsiString Get(int Index) const override {
    CheckIndex(Index, GetCount());
    return FCells[Index];
  }
  void Put(int Index, const AnsiString& S) override {
    CheckIndex(Index, GetCount());
    FCells[Index] = S;
    FItem->CellsChanged();
  }
  void Insert(int Index, const AnsiString& S) override {
    CheckIndex(Index, GetCount() + 1);
    FCells.insert(FCells.begin() + Index, S);
    FItem->CellsChanged();
  }
  void Delete(int Index) override {
    CheckIndex(Index, GetCount());
    FCells.erase(FCells.begin() + Index);
    FItem->CellsChanged();
  }
  void Clear() override {
    FCells.clear();
    FItem->CellsChanged();
  }

  std::vector<AnsiString> FCells;

 private:
  TListItem* FItem;
};

// --- TListColumn, TListColumns ----------------------------------------------------------------

void TListColumn::SetCaption(const AnsiString& Caption) {
  FCaption = Caption;
  FListView->Tree()->headerItem()->setText(FIndex, ToQString(Caption));
}

int TListColumn::GetWidth() const { return FListView->Tree()->header()->sectionSize(FIndex); }

int TListColumn::Clamp(int Width) const {
  if (FMaxWidth > 0 && Width > FMaxWidth) Width = FMaxWidth;
  if (Width < FMinWidth) Width = FMinWidth;
  return std::max(Width, 0);
}

void TListColumn::SetWidth(int Width) {
  FListView->Tree()->header()->resizeSection(FIndex, Clamp(Width));
}

void TListColumn::SetMinWidth(int MinWidth) {
  FMinWidth = std::max(MinWidth, 0);
  FListView->ColumnLimitsChanged(this);
}

void TListColumn::SetMaxWidth(int MaxWidth) {
  FMaxWidth = std::max(MaxWidth, 0);
  FListView->ColumnLimitsChanged(this);
}

void TListColumn::SetAlignment(TAlignment Alignment) {
  FAlignment = Alignment;
  FListView->Tree()->headerItem()->setTextAlignment(FIndex, qtAlignment(Alignment));
  FListView->Tree()->viewport()->update();
}

TListColumn* TListColumns::Add() {
  FColumns.emplace_back(new TListColumn(FListView, GetCount()));
  TListColumn* column = FColumns.back().get();
  FListView->Tree()->setColumnCount(GetCount());
  column->SetCaption(AnsiString());
  column->SetAlignment(taLeftJustify);
  FListView->ColumnLimitsChanged(column);
  column->SetWidth(kDefaultColumnWidth);
  return column;
}

TListColumn* TListColumns::GetItem(int Index) const {
  if (Index < 0 || Index >= GetCount()) RaiseListIndexError(Index);
  return FColumns[Index].get();
}

// --- TListItem --------------------------------------------------------------------------------

TListItem::TListItem(TListView* ListView)
    : FListView(ListView), FSubItems(std::make_unique<TCells>(this)), FRow(new TRow(this)) {}

TListItem::~TListItem() {
  if (FListView->FLastSelected == this) FListView->FLastSelected = nullptr;
  auto* tree = static_cast<TListView::TTreeView*>(FListView->Tree());
  if (tree->FPendingVisible == FRow) tree->FPendingVisible = nullptr;
  TListView::TProgramChange change(FListView);
  delete FRow;
}

TStrings* TListItem::SubItems() const { return FSubItems.get(); }

AnsiString TListItem::CellText(int Column) const {
  if (Column == 0) return FCaption;
  const auto& cells = FSubItems->FCells;
  return Column - 1 < static_cast<int>(cells.size()) ? cells[Column - 1] : AnsiString();
}

void TListItem::SetCaption(const AnsiString& Caption) {
  FCaption = Caption;
  CellsChanged();
}

void TListItem::CellsChanged() {
  FRow->Changed();
  if (FListView->FSortType != stNone) FListView->PlaceItem(this);
}

bool TListItem::GetSelected() const { return FRow->isSelected(); }

void TListItem::SetSelected(bool Selected) {
  if (Selected == GetSelected()) return;
  if (Selected) {
    FListView->SetSelected(this);
  } else {
    FListView->Deselecting(this);
  }
}

bool TListItem::GetFocused() const { return FListView->Tree()->currentItem() == FRow; }

void TListItem::SetFocused(bool Focused) {
  TListView::TProgramChange change(FListView);
  QTreeWidget* tree = FListView->Tree();
  if (Focused)
    tree->setCurrentItem(FRow, 0, QItemSelectionModel::NoUpdate);
  else if (GetFocused())
    tree->setCurrentItem(nullptr, 0, QItemSelectionModel::NoUpdate);
}

void TListItem::MakeVisible(bool /*PartialOK*/) {
  auto* tree = static_cast<TListView::TTreeView*>(FListView->Tree());
  if (tree->isVisible())
    tree->scrollToItem(FRow);
  else
    tree->FPendingVisible = FRow;
}

int TListItem::GetTop() const {
  QTreeWidget* tree = FListView->Tree();
  int header = tree->header()->isHidden() ? 0 : tree->header()->height();
  return header + tree->visualItemRect(FRow).top();
}

void TListItem::Delete() { FListView->Items()->Delete(FIndex); }

// --- TListItems -------------------------------------------------------------------------------

TListItem* TListItems::Add() {
  auto owned = std::unique_ptr<TListItem>(new TListItem(FListView));
  TListItem* item = owned.get();
  int index = GetCount();
  if (FListView->FSortType != stNone) {
    // The first place whose entry sorts after the new one.
    int lo = 0, hi = GetCount();
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      if (FListView->Compare(item, FItems[mid].get()) < 0)
        hi = mid;
      else
        lo = mid + 1;
    }
    index = lo;
  }
  FItems.insert(FItems.begin() + index, std::move(owned));
  Renumber(index);
  TListView::TProgramChange change(FListView);
  FListView->Tree()->insertTopLevelItem(index, item->FRow);
  return item;
}

TListItem* TListItems::GetItem(int Index) const {
  if (Index < 0 || Index >= GetCount()) RaiseListIndexError(Index);
  return FItems[Index].get();
}

int TListItems::IndexOf(const TListItem* Item) const {
  return Item && Item->FListView == FListView ? Item->FIndex : -1;
}

void TListItems::Delete(int Index) {
  TListItem* item = GetItem(Index);
  if (item->GetSelected()) FListView->Deselecting(item);
  FItems.erase(FItems.begin() + Index);
  Renumber(Index);
}

void TListItems::Clear() {
  if (TListItem* selected = FListView->Selected()) FListView->Deselecting(selected);
  TListView::TProgramChange change(FListView);
  // Out of the widget in one go; each entry then deletes its row.
  (void)FListView->Tree()->invisibleRootItem()->takeChildren();
  FItems.clear();
}

void TListItems::Renumber(int From) {
  for (int i = std::max(From, 0); i < GetCount(); ++i) FItems[i]->FIndex = i;
}

// --- TListView --------------------------------------------------------------------------------

TListView::TListView(TComponent* Owner)
    : TWinControl(Owner, new TTreeView(this), true),
      FColumns(new TListColumns(this)),
      FItems(new TListItems(this)) {
  QTreeWidget* tree = Tree();
  tree->setColumnCount(0);
  tree->setRootIsDecorated(false);
  tree->setItemsExpandable(false);
  tree->setIndentation(0);
  tree->setUniformRowHeights(true);
  tree->setAllColumnsShowFocus(true);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setSelectionBehavior(QAbstractItemView::SelectRows);
  tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  tree->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  tree->setSortingEnabled(false);
  tree->setDragEnabled(false);
  QHeaderView* header = tree->header();
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(kSmallestSection);
  header->setSectionsMovable(false);
  header->setSectionsClickable(true);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  QObject::connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, tree,
                   [this] { UserSelectionChanged(); });
  QObject::connect(header, &QHeaderView::sectionClicked, tree, [this](int Section) {
    if (OnColumnClick) FireEvent([&] { OnColumnClick(Section); });
  });
  QObject::connect(header, &QHeaderView::sectionResized, tree,
                   [this](int Section, int, int Size) {
                     if (Section >= FColumns->GetCount()) return;
                     int clamped = FColumns->GetItem(Section)->Clamp(Size);
                     if (clamped != Size) Tree()->header()->resizeSection(Section, clamped);
                   });
}

TListView::~TListView() {
  TProgramChange change(this);
  FItems.reset();
}

QTreeWidget* TListView::Tree() const { return static_cast<QTreeWidget*>(Widget()); }

void TListView::ColumnLimitsChanged(TListColumn* Column) {
  QHeaderView* header = Tree()->header();
  bool fixed = Column->FMaxWidth > 0 && Column->FMaxWidth == Column->FMinWidth;
  header->setSectionResizeMode(Column->FIndex, fixed ? QHeaderView::Fixed : QHeaderView::Interactive);
  int width = header->sectionSize(Column->FIndex);
  if (Column->Clamp(width) != width) header->resizeSection(Column->FIndex, Column->Clamp(width));
}

TListItem* TListView::Selected() const {
  QList<QTreeWidgetItem*> rows = Tree()->selectedItems();
  return rows.isEmpty() ? nullptr : static_cast<TListItem::TRow*>(rows.first())->FItem;
}

void TListView::SetSelected(TListItem* Item) {
  TListItem* before = Selected();
  if (before == Item) return;
  {
    TProgramChange change(this);
    Tree()->clearSelection();
    if (Item) Item->FRow->setSelected(true);
  }
  FLastSelected = Item;
  if (OnSelectItem) {
    if (before) OnSelectItem(before, false);
    if (Item) OnSelectItem(Item, true);
  }
}

void TListView::Deselecting(TListItem* Item) {
  {
    TProgramChange change(this);
    Item->FRow->setSelected(false);
  }
  if (FLastSelected == Item) FLastSelected = nullptr;
  if (OnSelectItem) OnSelectItem(Item, false);
}

void TListView::UserSelectionChanged() {
  if (FProgramChange > 0) return;
  FireEvent([this] {
    TListItem* now = Selected();
    TListItem* before = FLastSelected;
    if (now == before) return;
    FLastSelected = now;
    if (!OnSelectItem) return;
    if (before) OnSelectItem(before, false);
    if (now) OnSelectItem(now, true);
  });
}

int TListView::GetItemIndex() const {
  TListItem* item = Selected();
  return item ? item->Index() : -1;
}

void TListView::SetItemIndex(int Index) {
  SetSelected(Index >= 0 && Index < FItems->GetCount() ? FItems->GetItem(Index) : nullptr);
}

TListItem* TListView::GetItemFocused() const {
  QTreeWidgetItem* row = Tree()->currentItem();
  return row ? static_cast<TListItem::TRow*>(row)->FItem : nullptr;
}

void TListView::SetItemFocused(TListItem* Item) {
  if (Item) {
    Item->SetFocused(true);
  } else if (TListItem* current = GetItemFocused()) {
    current->SetFocused(false);
  }
}

TListItem* TListView::GetTopItem() const {
  QTreeWidgetItem* row = Tree()->itemAt(1, 1);
  return row ? static_cast<TListItem::TRow*>(row)->FItem : nullptr;
}

void TListView::Scroll(int DX, int DY) {
  QTreeWidget* tree = Tree();
  if (DY != 0 && tree->topLevelItemCount() > 0) {
    int rowHeight = tree->visualItemRect(tree->topLevelItem(0)).height();
    if (rowHeight > 0) {
      int rows = static_cast<int>(std::lround(static_cast<double>(DY) / rowHeight));
      tree->verticalScrollBar()->setValue(tree->verticalScrollBar()->value() + rows);
    }
  }
  if (DX != 0) tree->horizontalScrollBar()->setValue(tree->horizontalScrollBar()->value() + DX);
}

void TListView::SetHideSelection(bool HideSelection) {
  FHideSelection = HideSelection;
  bool hide = HideSelection && !Tree()->hasFocus();
  SetStyleRule("hideselection",
               hide ? "QTreeView::item:selected { background: transparent; color: palette(text); }"
                    : std::string());
}

int TListView::Compare(TListItem* A, TListItem* B) const {
  if (OnCompare) return OnCompare(A, B);
  int r = 0;
  if (FSortType == stText || FSortType == stBoth) r = AnsiCompareText(A->FCaption, B->FCaption);
  if (r == 0 && (FSortType == stData || FSortType == stBoth))
    r = A->FData < B->FData ? -1 : (A->FData > B->FData ? 1 : 0);
  return r;
}

void TListView::SetSortType(TSortType SortType) {
  FSortType = SortType;
  if (SortType != stNone) AlphaSort();
}

void TListView::AlphaSort() {
  std::vector<TListItem*> order;
  order.reserve(FItems->FItems.size());
  for (auto& item : FItems->FItems) order.push_back(item.get());
  mergeSort(order, [this](TListItem* A, TListItem* B) { return Compare(A, B) < 0; });
  ApplyOrder(std::move(order));
}

void TListView::PlaceItem(TListItem* Item) {
  // The first place, among the other entries, whose entry sorts after this one.
  auto& items = FItems->FItems;
  const int self = Item->FIndex;
  auto other = [&](int k) { return items[k < self ? k : k + 1].get(); };
  int lo = 0, hi = static_cast<int>(items.size()) - 1;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (Compare(Item, other(mid)) < 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  if (lo != self) MoveRow(Item, lo);
}

void TListView::MoveRow(TListItem* Item, int NewIndex) {
  auto& items = FItems->FItems;
  const int old = Item->FIndex;
  std::unique_ptr<TListItem> owned = std::move(items[old]);
  items.erase(items.begin() + old);
  items.insert(items.begin() + NewIndex, std::move(owned));
  FItems->Renumber(std::min(old, NewIndex));

  TProgramChange change(this);
  QTreeWidget* tree = Tree();
  bool selected = Item->FRow->isSelected();
  bool current = tree->currentItem() == Item->FRow;
  tree->takeTopLevelItem(old);
  tree->insertTopLevelItem(NewIndex, Item->FRow);
  if (selected) Item->FRow->setSelected(true);
  if (current) tree->setCurrentItem(Item->FRow, 0, QItemSelectionModel::NoUpdate);
}

void TListView::ApplyOrder(std::vector<TListItem*> Order) {
  auto& items = FItems->FItems;
  std::vector<std::unique_ptr<TListItem>> sorted;
  sorted.reserve(items.size());
  for (TListItem* item : Order) sorted.emplace_back(items[item->FIndex].release());
  items.swap(sorted);
  FItems->Renumber(0);

  TProgramChange change(this);
  QTreeWidget* tree = Tree();
  TListItem* selected = Selected();
  TListItem* current = GetItemFocused();
  int scroll = tree->verticalScrollBar()->value();
  (void)tree->invisibleRootItem()->takeChildren();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(items.size()));
  for (auto& item : items) rows.append(item->FRow);
  tree->addTopLevelItems(rows);
  if (selected) selected->FRow->setSelected(true);
  if (current) tree->setCurrentItem(current->FRow, 0, QItemSelectionModel::NoUpdate);
  // The same rows stay in view: the scroll range must be known before it is restored.
  tree->doItemsLayout();
  tree->verticalScrollBar()->setValue(scroll);
}
