// TListView: a list in report view over QTreeWidget: columns with a header, and entries whose
// caption fills column 0 and whose cells (SubItems) fill columns 1 and up.
//
// The list is read-only and selects one whole row at a time; the selection stays visible when
// the list loses the focus unless HideSelection is set. Sorting is off (stNone) or on: with
// OnCompare assigned it orders the entries by that handler (negative, zero, positive), without
// it by caption ignoring case (stText, stBoth) or by Data (stData). Setting a sort type other
// than stNone re-sorts the whole list, stably; while sorting is on, an entry added or changed
// moves to its place (after the entries it compares equal to), and AlphaSort sorts again.
// Sorting moves entries; TListItem objects stay the same and valid until deleted.
//
// Events: OnSelectItem(item, selected) for each entry that becomes selected or stops being
// selected, by the user or by the program (deleting or clearing a selected entry reports it
// deselected first); OnColumnClick(column index) for a click on a header; OnDblClick; and the
// key events of TWinControl.
//
// Ownership: the list view owns its columns, its entries (each entry owns its cells) and the
// widget. Errors: an index out of range raises EListError (entries, columns) or
// EStringListError (cells); handler exceptions from user actions go to the exception display,
// those raised under a call of the program (sorting, SetSelected, Clear...) reach the caller.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "shell/Control.h"
#include "shell/Strings.h"

class QTreeWidget;
class QTreeWidgetItem;
class TListView;

class TListColumn {
 public:
  AnsiString GetCaption() const { return FCaption; }
  void SetCaption(const AnsiString& Caption);
  int GetWidth() const;
  // The width is kept between MinWidth and MaxWidth (0: no limit), also when the user drags it.
  void SetWidth(int Width);
  int GetMinWidth() const { return FMinWidth; }
  void SetMinWidth(int MinWidth);
  int GetMaxWidth() const { return FMaxWidth; }
  void SetMaxWidth(int MaxWidth);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment Alignment);
  int Index() const { return FIndex; }

 private:
  friend class TListColumns;
  friend class TListView;
  TListColumn(TListView* ListView, int Index) : FListView(ListView), FIndex(Index) {}
  int Clamp(int Width) const;

  TListView* FListView;
  int FIndex;
  AnsiString FCaption;
  int FMinWidth = 0;
  int FMaxWidth = 0;
  TAlignment FAlignment = taLeftJustify;
};

class TListColumns {
 public:
  TListColumn* Add();
  int GetCount() const { return static_cast<int>(FColumns.size()); }
  TListColumn* GetItem(int Index) const;
  TListColumn* operator[](int Index) const { return GetItem(Index); }

 private:
  friend class TListView;
  explicit TListColumns(TListView* ListView) : FListView(ListView) {}

  TListView* FListView;
  std::vector<std::unique_ptr<TListColumn>> FColumns;
};

class TListItem {
 public:
  ~TListItem();
  TListItem(const TListItem&) = delete;
  TListItem& operator=(const TListItem&) = delete;

  AnsiString GetCaption() const { return FCaption; }
  void SetCaption(const AnsiString& Caption);
  // The cells of columns 1 and up.
  TStrings* SubItems() const;
  // Position in display order.
  int Index() const { return FIndex; }
  TListView* GetListView() const { return FListView; }

  bool GetSelected() const;
  void SetSelected(bool Selected);
  // The focus mark (the current entry of the keyboard).
  bool GetFocused() const;
  void SetFocused(bool Focused);
  void MakeVisible(bool PartialOK = false);
  // The entry's top in the list's client area, the header included: scrolling the list by
  // GetTop() minus the header height brings the entry to the first visible line.
  int GetTop() const;

  void* GetData() const { return FData; }
  void SetData(void* Data) { FData = Data; }

  // Removes the entry from its list and destroys it.
  void Delete();

 private:
  friend class TListItems;
  friend class TListView;
  class TCells;
  class TRow;
  explicit TListItem(TListView* ListView);
  AnsiString CellText(int Column) const;
  void CellsChanged();

  TListView* FListView;
  int FIndex = 0;
  AnsiString FCaption;
  std::unique_ptr<TCells> FSubItems;
  void* FData = nullptr;
  TRow* FRow;  // the widget's row; the widget owns it while the entry is in the list
};

class TListItems {
 public:
  // A new entry with empty texts: at the end, or at its place when sorting is on.
  TListItem* Add();
  int GetCount() const { return static_cast<int>(FItems.size()); }
  TListItem* GetItem(int Index) const;
  TListItem* operator[](int Index) const { return GetItem(Index); }
  int IndexOf(const TListItem* Item) const;
  void Delete(int Index);
  void Clear();
  // Accepted for the platform's habit; the list repaints once per event anyway.
  void BeginUpdate() {}
  void EndUpdate() {}

 private:
  friend class TListView;
  friend class TListItem;
  explicit TListItems(TListView* ListView) : FListView(ListView) {}
  void Renumber(int From);

  TListView* FListView;
  std::vector<std::unique_ptr<TListItem>> FItems;  // in display order
};

enum TSortType { stNone, stData, stText, stBoth };

class TListView : public TWinControl {
 public:
  explicit TListView(TComponent* Owner);
  ~TListView() override;

  TListColumns* Columns() const { return FColumns.get(); }
  TListItems* Items() const { return FItems.get(); }

  TListItem* Selected() const;
  // Selects Item alone (nullptr: no selection).
  void SetSelected(TListItem* Item);
  int GetItemIndex() const;
  void SetItemIndex(int Index);
  TListItem* GetItemFocused() const;
  void SetItemFocused(TListItem* Item);
  // The first entry visible at the top of the list, or nullptr.
  TListItem* GetTopItem() const;
  // Scrolls by DX pixels and DY pixels, the latter rounded to whole rows.
  void Scroll(int DX, int DY);

  TSortType GetSortType() const { return FSortType; }
  void SetSortType(TSortType SortType);
  void AlphaSort();
  bool GetHideSelection() const { return FHideSelection; }
  void SetHideSelection(bool HideSelection);

  std::function<int(TListItem* Item1, TListItem* Item2)> OnCompare;
  std::function<void(int Column)> OnColumnClick;
  std::function<void()> OnDblClick;
  std::function<void(TListItem* Item, bool Selected)> OnSelectItem;

 private:
  friend class TListItem;
  friend class TListItems;
  friend class TListColumn;
  friend class TListColumns;
  class TTreeView;
  class TProgramChange;

  QTreeWidget* Tree() const;
  int Compare(TListItem* A, TListItem* B) const;
  // Moves an entry to its sorted place (sorting on).
  void PlaceItem(TListItem* Item);
  void MoveRow(TListItem* Item, int NewIndex);
  void ApplyOrder(std::vector<TListItem*> Order);
  void ColumnLimitsChanged(TListColumn* Column);
  void UserSelectionChanged();
  void Deselecting(TListItem* Item);

  std::unique_ptr<TListColumns> FColumns;
  std::unique_ptr<TListItems> FItems;
  TSortType FSortType = stNone;
  bool FHideSelection = false;
  int FProgramChange = 0;  // > 0 while the program itself changes rows or selection
  TListItem* FLastSelected = nullptr;
};
