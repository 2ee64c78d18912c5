// TABSBTreeBlobPageIndex: a table's list of small BLOB pages, a B-tree of (page number -> used
// size: the bytes its items take, headers included). Pages of large values are not in it.
//
// The search for a page with room looks only at the two ends of the index (the last leaf
// backwards, then the first leaf forwards), as the record page index does, so storing a small
// value costs a bounded number of index page reads. A page fits an item of BlobSize bytes when
// its used size + BlobSize < PageDataSize - 2.
//
// Ownership: owns its tree (through the base); links to the page manager. Locking: none; used
// under the table object's lock. Errors: 20106 (the item does not fit the page), 20110 and
// 20118 (dropped index), 20111 (page without entry), 20112 (empty page) and the tree's.
#pragma once

#include <cstdint>

#include "engine/tables/ABSBTreeIndex.h"

namespace zev {

class TABSBTreeBlobPageIndex : public TABSBTreePageIndex {
 public:
  explicit TABSBTreeBlobPageIndex(TABSPageManager& PageManager, int32_t RootPageNo = -1);

  // A page that fits BlobSize more bytes; false when the ends of the index have none (and for
  // a dropped index).
  bool FindPageForNewBlob(int32_t SessionID, int32_t BlobSize, int32_t& PageNo);
  // A page without entry gets (PageNo, BlobSize); otherwise BlobSize is added to its used size
  // (20106 when it does not fit). 20118 for a dropped index.
  void AddBlob(int32_t SessionID, int32_t BlobSize, int32_t PageNo);
  // Lowers the used size by BlobSize and deletes the entry when it reaches 0. 20110 for a
  // dropped index, 20111 for a page without entry, 20112 when the used size is already 0.
  void DeleteBlob(int32_t SessionID, int32_t BlobSize, int32_t PageNo);
  // The used size of the page's entry, -1 when the page has none.
  int32_t GetBlobPageAllocatedSpace(int32_t SessionID, int32_t PageNo);

 private:
  bool fits(int32_t UsedSize, int32_t BlobSize) const;

  int32_t FPageDataSize;
};

}  // namespace zev
