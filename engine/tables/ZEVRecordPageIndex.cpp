#include "engine/tables/ZEVRecordPageIndex.h"

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVRecordErrors.h"

namespace zev {

TABSBTreeRecordPageIndex::TABSBTreeRecordPageIndex(TABSPageManager& PageManager,
                                                   int32_t MaxRecordsOnPage)
    : TABSBTreePageIndex(PageManager), FMaxRecordsOnPage(MaxRecordsOnPage) {}

void TABSBTreeRecordPageIndex::readEntry(int32_t SessionID, const TABSKeyPath& Position,
                                         int32_t& PageNo, uint16_t& Count) {
  uint8_t key[4], reference[2];
  Tree().ReadEntry(SessionID, Position, key, reference);
  PageNo = GetInt32LE(key);
  Count = GetUInt16LE(reference);
}

bool TABSBTreeRecordPageIndex::storeCount(int32_t SessionID, int32_t PageNo, uint16_t Count) {
  uint8_t key[4], reference[2];
  PutInt32LE(key, PageNo);
  TABSKeyPath position;
  if (!Tree().FindByCondition(SessionID, true, key, scEqual, position)) return false;
  TABSBTreePage leaf = Tree().GetIndexPage(SessionID, position.Leaf().PageNo);
  PutUInt16LE(reference, Count);
  leaf.UpdateReference(position.Leaf().EntryNo, reference);
  return true;
}

template <class F>
void TABSBTreeRecordPageIndex::forEachEntry(int32_t SessionID, F&& Visit) {
  TABSKeyPath position;
  if (!Tree().GetFirstPosition(SessionID, position)) return;
  do {
    int32_t pageNo = 0;
    uint16_t count = 0;
    readEntry(SessionID, position, pageNo, count);
    if (!Visit(pageNo, count)) return;
  } while (Tree().GotoNext(SessionID, position));
}

bool TABSBTreeRecordPageIndex::FindPageForNewRecord(int32_t SessionID, int32_t& PageNo) {
  if (RootPageNo() < 0) errors::Raise(errors::kRecordPageIndexWithoutRoot);
  return FindPageFromBothEnds(
      SessionID, [this](uint16_t Count) { return Count < FMaxRecordsOnPage; }, PageNo);
}

void TABSBTreeRecordPageIndex::AddRecord(int32_t SessionID, int32_t PageNo, int32_t AddCount) {
  if (RootPageNo() < 0) errors::Raise(errors::kAddToRecordPageIndexWithoutRoot);
  uint16_t count = 0;
  if (!FindPage(SessionID, PageNo, count)) {
    SetPage(SessionID, PageNo, static_cast<uint16_t>(AddCount));
    return;
  }
  if (count >= FMaxRecordsOnPage) errors::Raise(errors::kRecordPageIndexPageFull);
  storeCount(SessionID, PageNo, static_cast<uint16_t>(count + AddCount));
}

void TABSBTreeRecordPageIndex::DeleteRecord(int32_t SessionID, int32_t PageNo,
                                            int32_t NewItemCount) {
  if (RootPageNo() < 0) errors::Raise(errors::kDeleteFromRecordPageIndexWithoutRoot);
  uint16_t count = 0;
  if (!FindPage(SessionID, PageNo, count)) errors::Raise(errors::kRecordPageNotInIndex);
  if (NewItemCount < 0) {
    if (count == 0) errors::Raise(errors::kRecordPageIndexPageEmpty);
    NewItemCount = count - 1;
  }
  if (NewItemCount == 0)
    DeletePage(SessionID, PageNo);
  else
    storeCount(SessionID, PageNo, static_cast<uint16_t>(NewItemCount));
}

bool TABSBTreeRecordPageIndex::GetFirstRecordPage(int32_t SessionID, int32_t& PageNo) {
  TABSKeyPath position;
  if (!Tree().GetFirstPosition(SessionID, position)) return false;
  uint16_t count = 0;
  readEntry(SessionID, position, PageNo, count);
  return true;
}

bool TABSBTreeRecordPageIndex::GetLastRecordPage(int32_t SessionID, int32_t& PageNo) {
  TABSKeyPath position;
  if (!Tree().GetLastPosition(SessionID, position)) return false;
  uint16_t count = 0;
  readEntry(SessionID, position, PageNo, count);
  return true;
}

bool TABSBTreeRecordPageIndex::GetNextRecordPage(int32_t SessionID, int32_t CurrentPageNo,
                                                 int32_t& NextPageNo) {
  uint8_t key[4];
  PutInt32LE(key, CurrentPageNo);
  TABSKeyPath position;
  if (!Tree().FindByCondition(SessionID, true, key, scGreater, position)) return false;
  uint16_t count = 0;
  readEntry(SessionID, position, NextPageNo, count);
  return true;
}

bool TABSBTreeRecordPageIndex::GetPriorRecordPage(int32_t SessionID, int32_t CurrentPageNo,
                                                  int32_t& PriorPageNo) {
  uint8_t key[4];
  PutInt32LE(key, CurrentPageNo);
  TABSKeyPath position;
  if (!Tree().FindByCondition(SessionID, false, key, scLower, position)) return false;
  uint16_t count = 0;
  readEntry(SessionID, position, PriorPageNo, count);
  return true;
}

void TABSBTreeRecordPageIndex::GetRecordByRecNo(int32_t SessionID, int64_t RecNo, int32_t& PageNo,
                                                int32_t& RecNoOnPage) {
  bool found = false;
  if (RecNo >= 1) {
    int64_t before = 0;
    forEachEntry(SessionID, [&](int32_t EntryPageNo, uint16_t Count) {
      if (before + Count > RecNo - 1) {
        PageNo = EntryPageNo;
        RecNoOnPage = static_cast<int32_t>(RecNo - 1 - before);
        found = true;
        return false;
      }
      before += Count;
      return true;
    });
  }
  if (!found) errors::Raise(errors::kRecNoBeyondRecordCount);
}

int64_t TABSBTreeRecordPageIndex::GetRecNoByRecord(int32_t SessionID, int32_t PageNo,
                                                   int32_t RecNoOnPage) {
  int64_t before = 0;
  bool found = false;
  forEachEntry(SessionID, [&](int32_t EntryPageNo, uint16_t Count) {
    if (EntryPageNo >= PageNo) {
      found = EntryPageNo == PageNo;
      return false;
    }
    before += Count;
    return true;
  });
  if (!found) errors::Raise(errors::kRecNoPageNotInIndex);
  return 1 + before + RecNoOnPage;
}

int64_t TABSBTreeRecordPageIndex::TotalRecordCount(int32_t SessionID) {
  int64_t total = 0;
  forEachEntry(SessionID, [&](int32_t, uint16_t Count) {
    total += Count;
    return true;
  });
  return total;
}

std::vector<std::pair<int32_t, int32_t>> TABSBTreeRecordPageIndex::Entries(int32_t SessionID) {
  std::vector<std::pair<int32_t, int32_t>> entries;
  forEachEntry(SessionID, [&](int32_t PageNo, uint16_t Count) {
    entries.emplace_back(PageNo, Count);
    return true;
  });
  return entries;
}

void TABSBTreeRecordPageIndex::Validate(int32_t SessionID, int64_t StoredRecordCount) {
  const int64_t total = TotalRecordCount(SessionID);
  if (total != StoredRecordCount)
    errors::Raise(errors::kInvalidRecordPageIndexOrMostUpdated, {total, StoredRecordCount});
}

}  // namespace zev
