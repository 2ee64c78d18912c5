// TABSBTreeRecordPageIndex: a table's list of record pages, a B-tree of (record page number ->
// number of rows on it) in ascending page-number order. Physical row order is this order, then
// slot order, so row numbers and the free-slot search are answered here without reading the
// record pages.
//
// The free-slot search looks only at the two ends of the index (the last and the first leaf
// page), so an insert costs a bounded number of page reads; free slots of pages in the middle
// stay unused until those pages empty out.
//
// Ownership: owns its tree (through the base); links to the page manager. Locking: none; used
// under the table's locks. Errors: 20104, 20105, 20110, 20111, 20114 (no root, or a page absent
// from the index), 20106, 20112, 20113, 20292 and the tree's.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/tables/ABSBTreeIndex.h"

namespace zev {

class TABSBTreeRecordPageIndex : public TABSBTreePageIndex {
 public:
  TABSBTreeRecordPageIndex(TABSPageManager& PageManager, int32_t MaxRecordsOnPage);

  // A page with a free slot, searched backwards from the last entry over the last leaf's
  // entries, then forwards from the first entry over the first leaf's; false when none.
  bool FindPageForNewRecord(int32_t SessionID, int32_t& PageNo);
  // Inserts (PageNo, AddCount) for a new page, else adds AddCount to its count; 20106 when the
  // count is already M.
  void AddRecord(int32_t SessionID, int32_t PageNo, int32_t AddCount);
  // Stores NewItemCount (negative: the present count less 1, 20112 when that is 0) and deletes
  // the entry when the new count is 0; 20111 when the page is absent.
  void DeleteRecord(int32_t SessionID, int32_t PageNo, int32_t NewItemCount);
  bool GetFirstRecordPage(int32_t SessionID, int32_t& PageNo);
  bool GetLastRecordPage(int32_t SessionID, int32_t& PageNo);
  // The entry after / before CurrentPageNo (which need not be in the index).
  bool GetNextRecordPage(int32_t SessionID, int32_t CurrentPageNo, int32_t& NextPageNo);
  bool GetPriorRecordPage(int32_t SessionID, int32_t CurrentPageNo, int32_t& PriorPageNo);
  // The page and 0-based rank on it of the row with 1-based number RecNo; 20113 beyond the
  // last row (and for a RecNo below 1).
  void GetRecordByRecNo(int32_t SessionID, int64_t RecNo, int32_t& PageNo, int32_t& RecNoOnPage);
  // 1 + the counts of the pages before PageNo + RecNoOnPage; 20114 when PageNo is absent.
  int64_t GetRecNoByRecord(int32_t SessionID, int32_t PageNo, int32_t RecNoOnPage);
  // 20292 when the counts do not add up to StoredRecordCount.
  void Validate(int32_t SessionID, int64_t StoredRecordCount);
  // Sum of all counts.
  int64_t TotalRecordCount(int32_t SessionID);
  // Every (page number, count) entry in page-number order.
  std::vector<std::pair<int32_t, int32_t>> Entries(int32_t SessionID);

  int32_t MaxRecordsOnPage() const { return FMaxRecordsOnPage; }
  void SetMaxRecordsOnPage(int32_t MaxRecordsOnPage) { FMaxRecordsOnPage = MaxRecordsOnPage; }

 private:
  void readEntry(int32_t SessionID, const TABSKeyPath& Position, int32_t& PageNo, uint16_t& Count);
  // Rewrites the count of an entry in its leaf, leaving the tree's shape as it is; false when
  // the page has no entry.
  bool storeCount(int32_t SessionID, int32_t PageNo, uint16_t Count);
  // Calls Visit(PageNo, Count) for every entry in order until it answers false.
  template <class F>
  void forEachEntry(int32_t SessionID, F&& Visit);

  int32_t FMaxRecordsOnPage;
};

}  // namespace zev
