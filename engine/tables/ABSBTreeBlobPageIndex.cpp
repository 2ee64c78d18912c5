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
  return FindPageFromBothEnds(
      SessionID, [&](uint16_t UsedSize) { return fits(UsedSize, BlobSize); }, PageNo);
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
