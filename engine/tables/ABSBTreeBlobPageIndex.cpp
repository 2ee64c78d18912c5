#include "engine/tables/ABSBTreeBlobPageIndex.h"

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVBlobErrors.h"

namespace zev {

TABSBTreeBlobPageIndex::TABSBTreeBlobPageIndex(TABSPageManager& PageManager, int32_t RootPageNo)
    : TABSBTreePageIndex(PageManager, RootPageNo), FPageDataSize(PageManager.PageDataSize()) {}

bool TABSBTreeBlobPageIndex::fits(int32_t UsedSize, int32_t BlobSize) const {
  return static_cast<int64_t>(UsedSize) + BlobSize < FPageDataSize - 2;
}

bool TABSBTreeBlobPageIndex::FindPageForNewBlob(int32_t SessionID, int32_t BlobSize,
                                                int32_t& PageNo) {
  if (RootPageNo() < 0) return false;
  for (const bool fromLast : {true, false}) {
    TABSKeyPath position;
    const bool any = fromLast ? Tree().GetLastPosition(SessionID, position)
                              : Tree().GetFirstPosition(SessionID, position);
    if (!any) return false;
    const int32_t leafEntries = position.Leaf().EntryCount;
    for (int32_t visited = 0; visited < leafEntries; ++visited) {
      uint8_t key[4], reference[2];
      Tree().ReadEntry(SessionID, position, key, reference);
      if (fits(GetUInt16LE(reference), BlobSize)) {
        PageNo = GetInt32LE(key);
        return true;
      }
      const bool moved =
          fromLast ? Tree().GotoPrior(SessionID, position) : Tree().GotoNext(SessionID, position);
      if (!moved) break;
    }
  }
  return false;
}

void TABSBTreeBlobPageIndex::AddBlob(int32_t SessionID, int32_t BlobSize, int32_t PageNo) {
  if (RootPageNo() < 0) errors::Raise(errors::kAddToDroppedBlobPageIndex);
  uint16_t used = 0;
  if (!FindPage(SessionID, PageNo, used)) {
    SetPage(SessionID, PageNo, static_cast<uint16_t>(BlobSize));
    return;
  }
  if (!fits(used, BlobSize)) errors::Raise(errors::kBlobPageIndexPageFull);
  SetPage(SessionID, PageNo, static_cast<uint16_t>(used + BlobSize));
}

void TABSBTreeBlobPageIndex::DeleteBlob(int32_t SessionID, int32_t BlobSize, int32_t PageNo) {
  if (RootPageNo() < 0) errors::Raise(errors::kDeleteFromDroppedBlobPageIndex);
  uint16_t used = 0;
  if (!FindPage(SessionID, PageNo, used)) errors::Raise(errors::kBlobPageNotInIndex);
  if (used == 0) errors::Raise(errors::kBlobPageIndexPageEmpty);
  const int32_t rest = used > BlobSize ? used - BlobSize : 0;
  if (rest == 0)
    DeletePage(SessionID, PageNo);
  else
    SetPage(SessionID, PageNo, static_cast<uint16_t>(rest));
}

int32_t TABSBTreeBlobPageIndex::GetBlobPageAllocatedSpace(int32_t SessionID, int32_t PageNo) {
  if (RootPageNo() < 0) return -1;
  uint16_t used = 0;
  return FindPage(SessionID, PageNo, used) ? used : -1;
}

}  // namespace zev
