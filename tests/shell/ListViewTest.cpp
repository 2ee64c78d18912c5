#include "shell/ListView.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <string>
#include <vector>

#include "engine/storage/ZEVCollation.h"
#include "shell/AnsiStrings.h"
#include "shell/Form.h"
#include "tests/shell/ToolkitTestSupport.h"

namespace {

// A list like the pickers': identifier as caption, name in cell 0, town in cell 1; sorted by
// the cell FSortColumn (0: the caption) ignoring case.
class ListViewTest : public testing::Test {
 protected:
  void SetUp() override {
    zev::SetUserCollationLocale("fr_FR");
    FList->SetBounds(8, 35, 377, 405);
    for (const char* caption : {"Id", "Nom", "Ville"}) FList->Columns()->Add()->SetCaption(caption);
    FList->OnCompare = [this](TListItem* A, TListItem* B) {
      ++FComparisons;
      return AnsiCompareText(Text(A), Text(B));
    };
    FList->OnSelectItem = [this](TListItem* Item, bool Selected) {
      FSelections += Item->GetCaption() + (Selected ? "+ " : "- ");
    };
  }
  void TearDown() override { zev::SetUserCollationLocale("", true); }

  AnsiString Text(TListItem* Item) const {
    if (FSortColumn == 0) return Item->GetCaption();
    return FSortColumn - 1 < Item->SubItems()->GetCount() ? Item->SubItems()->Get(FSortColumn - 1)
                                                          : AnsiString();
  }
  TListItem* Append(const char* Id, const char* Name, const char* Town) {
    TListItem* item = FList->Items()->Add();
    item->SetCaption(Id);
    item->SubItems()->Add(Name);
    item->SubItems()->Add(Town);
    return item;
  }
  std::string Order() const {
    std::string out;
    for (int i = 0; i < FList->Items()->GetCount(); ++i) {
      TListItem* item = FList->Items()->GetItem(i);
      EXPECT_EQ(item->Index(), i);
      // The widget shows the rows in the same order.
      auto* tree = static_cast<QTreeWidget*>(FList->Widget());
      EXPECT_EQ(tree->topLevelItem(i)->text(0).toStdString(), item->GetCaption());
      out += item->GetCaption() + " ";
    }
    return out;
  }

  TForm FForm{nullptr};
  TListView* FList = new TListView(&FForm);  // owned by the form
  int FSortColumn = 1;
  int FComparisons = 0;
  std::string FSelections;
};

TEST_F(ListViewTest, SwitchingSortingOnSortsStablyAndKeepsTheItems) {
  TListItem* carton = Append("3", "carton", "Lyon");
  TListItem* bois = Append("10", "Bois", "Paris");
  TListItem* verre = Append("1", "verre", "Lyon");
  TListItem* bois2 = Append("7", "BOIS", "Nantes");
  EXPECT_EQ(Order(), "3 10 1 7 ");
  EXPECT_EQ(FComparisons, 0);  // sorting is off
  FList->SetSelected(verre);
  FSelections.clear();

  FList->SetSortType(stBoth);
  EXPECT_EQ(Order(), "10 7 3 1 ");  // the two "bois" keep their order
  EXPECT_EQ(FList->Items()->GetItem(0), bois);
  EXPECT_EQ(FList->Items()->GetItem(1), bois2);
  EXPECT_EQ(carton->Index(), 2);
  EXPECT_EQ(FList->Selected(), verre);  // sorting moves, it does not select
  EXPECT_EQ(FSelections, "");

  FSortColumn = 2;  // by town, as after a click on "Ville"
  FList->SetSortType(stNone);
  FList->SetSortType(stBoth);
  EXPECT_EQ(Order(), "3 1 7 10 ");
  FSortColumn = 0;  // by identifier, as text
  FList->AlphaSort();
  EXPECT_EQ(Order(), "1 10 3 7 ");
}

TEST_F(ListViewTest, WhileSortingIsOnAddedAndChangedItemsTakeTheirPlace) {
  FList->SetSortType(stBoth);
  Append("1", "papier", "");
  Append("2", "fer", "");
  Append("3", "Zinc", "");
  TListItem* first = Append("4", "\xE9" "tain", "");  // étain sorts before fer
  EXPECT_EQ(Order(), "4 2 1 3 ");
  first->SubItems()->Put(0, "zzz");
  EXPECT_EQ(Order(), "2 1 3 4 ");
  EXPECT_EQ(first->Index(), 3);
}

TEST_F(ListViewTest, SelectionEventsComeFromTheProgramAndFromTheUser) {
  TListItem* a = Append("1", "a", "");
  TListItem* b = Append("2", "b", "");
  FList->SetSelected(a);
  b->SetSelected(true);
  EXPECT_EQ(FSelections, "1+ 1- 2+ ");
  EXPECT_TRUE(b->GetSelected());
  EXPECT_FALSE(a->GetSelected());

  FSelections.clear();
  FForm.Show();
  auto* tree = static_cast<QTreeWidget*>(FList->Widget());
  QRect rect = tree->visualItemRect(tree->topLevelItem(0));
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
  EXPECT_EQ(FSelections, "2- 1+ ");
  EXPECT_EQ(FList->Selected(), a);

  FSelections.clear();
  FList->Items()->Clear();  // clearing reports the selected entry deselected
  EXPECT_EQ(FSelections, "1- ");
  EXPECT_EQ(FList->Selected(), nullptr);
  EXPECT_EQ(FList->Items()->GetCount(), 0);
}

TEST_F(ListViewTest, DeletingKeepsIndexesAndReportsASelectedEntry) {
  Append("1", "a", "");
  TListItem* b = Append("2", "b", "");
  TListItem* c = Append("3", "c", "");
  b->SetSelected(true);
  FSelections.clear();
  b->Delete();
  EXPECT_EQ(FSelections, "2- ");
  EXPECT_EQ(c->Index(), 1);
  FList->Items()->Delete(0);
  EXPECT_EQ(Order(), "3 ");
  EXPECT_THROW(FList->Items()->GetItem(5), EListError);
  EXPECT_THROW(c->SubItems()->Get(2), EStringListError);
}

TEST_F(ListViewTest, ColumnClickAndDoubleClickReachTheirHandlers) {
  Append("1", "a", "");
  std::vector<int> clicked;
  int doubleClicks = 0;
  FList->OnColumnClick = [&](int Column) { clicked.push_back(Column); };
  FList->OnDblClick = [&] { ++doubleClicks; };
  FForm.Show();
  auto* tree = static_cast<QTreeWidget*>(FList->Widget());
  QHeaderView* header = tree->header();
  for (int column : {2, 1}) {
    QPoint p(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
             header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, p);
  }
  EXPECT_EQ(clicked, (std::vector<int>{2, 1}));
  QRect rect = tree->visualItemRect(tree->topLevelItem(0));
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
  EXPECT_EQ(doubleClicks, 1);
}

TEST_F(ListViewTest, ColumnsKeepTheirWidthLimitsAndAlignment) {
  TListColumn* id = FList->Columns()->GetItem(0);
  id->SetMinWidth(1);
  id->SetMaxWidth(1);
  id->SetWidth(1);
  EXPECT_EQ(id->GetWidth(), 1);
  id->SetWidth(80);
  EXPECT_EQ(id->GetWidth(), 1);
  TListColumn* name = FList->Columns()->GetItem(1);
  name->SetMinWidth(40);
  name->SetWidth(200);
  EXPECT_EQ(name->GetWidth(), 200);
  name->SetWidth(10);
  EXPECT_EQ(name->GetWidth(), 40);
  name->SetAlignment(taRightJustify);
  Append("1", "a", "");
  auto* tree = static_cast<QTreeWidget*>(FList->Widget());
  EXPECT_EQ(tree->topLevelItem(0)->textAlignment(1) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  EXPECT_EQ(tree->topLevelItem(0)->textAlignment(2) & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

TEST_F(ListViewTest, ScrollingByTheTopOfAnEntryBringsItToTheFirstLine) {
  for (int i = 0; i < 100; ++i) {
    std::string id = std::to_string(i);
    Append(id.c_str(), ("nom " + id).c_str(), "");
  }
  FForm.Show();
  TListItem* target = FList->Items()->GetItem(60);
  target->SetSelected(true);
  target->SetFocused(true);
  target->MakeVisible();
  auto* tree = static_cast<QTreeWidget*>(FList->Widget());
  FList->Scroll(0, target->GetTop() - tree->header()->height());
  EXPECT_EQ(FList->GetTopItem(), target);
  EXPECT_EQ(FList->GetItemFocused(), target);
}

}  // namespace
