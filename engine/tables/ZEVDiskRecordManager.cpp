#include "engine/tables/ZEVDiskRecordManager.h"

#include "engine/storage/ZEVDiskPageManager.h"
#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVFreeSpaceManager.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVRecordErrors.h"
#include "engine/tables/ZEVRecordPage.h"

namespace zev {

namespace {

// Page States above this one mark freed pages and failed reads.
constexpr int32_t kMaxRecordPageState = 0x7FFFFFFD;

}  // namespace

TABSDiskRecordManager::TABSDiskRecordManager(TABSPageManager& PageManager,
                                             TABSBaseFieldManager& FieldManager, int32_t TableID)
    : LPageManager(PageManager),
      LFieldManager(FieldManager),
      FTableID(TableID),
      FRecordPageIndex(std::make_unique<TABSBTreeRecordPageIndex>(PageManager, 0)) {}

void TABSDiskRecordManager::Init(int32_t RecordBufferSize, int32_t DiskRecordBufferSize,
                                 int32_t FieldCount) {
  const int32_t maxRecords =
      TABSSmallRecordPage::MaxRecordsOnPage(LPageManager.PageDataSize(), DiskRecordBufferSize);
  if (maxRecords <= 0) errors::Raise(errors::kRecordTooLargeForPage);
  FRecordBufferSize = RecordBufferSize;
  FDiskRecordBufferSize = DiskRecordBufferSize;
  FFieldCount = FieldCount;
  FMaxRecordsOnPage = maxRecords;
  FRecordPageIndex->SetMaxRecordsOnPage(maxRecords);
  FTempDiskRecordBuffer.assign(static_cast<size_t>(DiskRecordBufferSize), 0);
  FRecordCount = 0;
  FTableState = 0;
}

void TABSDiskRecordManager::CreateRecordPageIndex(int32_t SessionID) {
  FRecordPageIndex->CreateIndex(SessionID);
}

void TABSDiskRecordManager::OpenRecordPageIndex(int32_t RootPageNo) {
  FRecordPageIndex->OpenIndex(RootPageNo);
}

// --- Row operations --------------------------------------------------------------------------

bool TABSDiskRecordManager::AddRecord(int32_t SessionID, const uint8_t* RecordBuffer,
                                      TABSPageItemID& RecordID) {
  try {
    int32_t pageNo = -1;
    TABSPinnedPage page;
    if (FRecordPageIndex->FindPageForNewRecord(SessionID, pageNo)) {
      page = TABSPinnedPage(LPageManager.GetPage(SessionID, pageNo, ptTableRecord));
    } else {
      page = TABSPinnedPage(LPageManager.AddPage(SessionID, ptTableRecord));
      page->SetObjectID(FTableID);
      pageNo = page->PageNo();
    }
    LFieldManager.MemRecordBufferToDiskRecordBuffer(RecordBuffer, FTempDiskRecordBuffer.data());
    TABSPageItemID newID;
    TABSSmallRecordPage(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage)
        .AddRecord(FTempDiskRecordBuffer.data(), newID);
    page.Release();
    FRecordPageIndex->AddRecord(SessionID, pageNo, 1);
    // Counted only once everything is in place, so a failure leaves the counters as they were.
    ++FRecordCount;
    ++FTableState;
    RecordID = newID;
    return true;
  } catch (const EABSException&) {
    return false;
  }
}

bool TABSDiskRecordManager::UpdateRecord(int32_t SessionID, const uint8_t* RecordBuffer,
                                         const TABSPageItemID& RecordID) {
  TABSPinnedPage page(LPageManager.GetPage(SessionID, RecordID.PageNo, ptTableRecord));
  LFieldManager.MemRecordBufferToDiskRecordBuffer(RecordBuffer, FTempDiskRecordBuffer.data());
  if (!TABSSmallRecordPage(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage)
           .UpdateRecord(FTempDiskRecordBuffer.data(), RecordID))
    return false;
  ++FTableState;
  return true;
}

bool TABSDiskRecordManager::DeleteRecord(int32_t SessionID, const TABSPageItemID& RecordID) {
  TABSPinnedPage page(LPageManager.GetPage(SessionID, RecordID.PageNo, ptTableRecord));
  TABSSmallRecordPage view(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage);
  if (!view.DeleteRecord(RecordID)) return false;
  const int32_t rowsLeft = view.RecordCount();
  --FRecordCount;
  ++FTableState;
  page.Release();
  if (rowsLeft == 0) LPageManager.RemovePage(SessionID, RecordID.PageNo);
  FRecordPageIndex->DeleteRecord(SessionID, RecordID.PageNo, rowsLeft);
  return true;
}

// --- Navigation --------------------------------------------------------------------------------

bool TABSDiskRecordManager::recordPageCheckWaived() const {
  if (!FCheckRecordPages) return true;
  const auto* disk = dynamic_cast<const TABSDiskPageManager*>(&LPageManager);
  if (!disk) return false;
  if (disk->DBHeader().Version < kMinVersionWithoutRepair) return true;
  const auto* map =
      dynamic_cast<const TABSDatabaseFreeSpaceManager*>(disk->DatabaseFreeSpaceManager());
  return map && map->GetSuppressDBHeaderErrors();
}

bool TABSDiskRecordManager::isTableRecordPage(const TABSPage& Page) const {
  if (recordPageCheckWaived()) return true;
  return Page.GetPageState() <= kMaxRecordPageState && Page.GetPageType() == ptTableRecord &&
         Page.GetObjectID() == FTableID;
}

TABSPinnedPage TABSDiskRecordManager::readNavigationPage(int32_t SessionID, int32_t PageNo) {
  TABSPinnedPage page(LPageManager.GetPage(SessionID, PageNo, kAnyPageType));
  if (!isTableRecordPage(*page.Get())) return TABSPinnedPage();
  return page;
}

void TABSDiskRecordManager::answerRow(TABSPage& Page, const TABSPageItemID& RecordID,
                                      TABSNavigationInfo& Info,
                                      const errors::TNativeMessage& Missing) {
  TABSSmallRecordPage view(Page, FDiskRecordBufferSize, FMaxRecordsOnPage);
  if (Info.RecordBuffer) {
    if (!view.GetRecordBuffer(RecordID, FTempDiskRecordBuffer.data())) errors::Raise(Missing);
    LFieldManager.DiskRecordBufferToMemRecordBuffer(FTempDiskRecordBuffer.data(),
                                                    Info.RecordBuffer);
  }
  Info.RecordID = RecordID;
  Info.FirstPosition = false;
  Info.LastPosition = false;
}

TABSGetRecordResult TABSDiskRecordManager::readEdgeRow(int32_t SessionID, bool Last,
                                                       TABSNavigationInfo& Info) {
  int32_t pageNo = -1;
  const bool any = Last ? FRecordPageIndex->GetLastRecordPage(SessionID, pageNo)
                        : FRecordPageIndex->GetFirstRecordPage(SessionID, pageNo);
  if (!any) return Last ? grrBOF : grrEOF;
  TABSPinnedPage page = readNavigationPage(SessionID, pageNo);
  if (!page) return Last ? grrBOF : grrEOF;
  TABSSmallRecordPage view(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage);
  const TABSPageItemID id = Last ? view.GetLastRecordID() : view.GetFirstRecordID();
  answerRow(*page.Get(), id, Info, errors::kRecordSlotUnreadable);
  return grrOK;
}

TABSGetRecordResult TABSDiskRecordManager::readNext(int32_t SessionID, TABSNavigationInfo& Info) {
  const TABSPageItemID current = Info.RecordID;
  {
    TABSPinnedPage page = readNavigationPage(SessionID, current.PageNo);
    if (!page) return grrEOF;
    TABSSmallRecordPage view(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage);
    TABSPageItemID next;
    if (view.GetNextRecordID(current, next)) {
      answerRow(*page.Get(), next, Info, errors::kRecordSlotUnreadable);
      return grrOK;
    }
  }
  int32_t nextPageNo = -1;
  if (!FRecordPageIndex->GetNextRecordPage(SessionID, current.PageNo, nextPageNo)) return grrEOF;
  TABSPinnedPage page = readNavigationPage(SessionID, nextPageNo);
  if (!page) return grrEOF;
  TABSSmallRecordPage view(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage);
  if (view.RecordCount() == 0) errors::Raise(errors::kNoFirstRecordOnNextPage);
  answerRow(*page.Get(), view.GetFirstRecordID(), Info, errors::kRecordSlotUnreadable);
  return grrOK;
}

TABSGetRecordResult TABSDiskRecordManager::readPrior(int32_t SessionID, TABSNavigationInfo& Info) {
  const TABSPageItemID current = Info.RecordID;
  {
    TABSPinnedPage page = readNavigationPage(SessionID, current.PageNo);
    // A row whose page is gone: the step back starts from after the last row.
    if (!page) return readEdgeRow(SessionID, true, Info);
    TABSSmallRecordPage view(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage);
    TABSPageItemID prior;
    if (view.GetPriorRecordID(current, prior)) {
      answerRow(*page.Get(), prior, Info, errors::kRecordSlotUnreadable);
      return grrOK;
    }
  }
  int32_t priorPageNo = -1;
  if (!FRecordPageIndex->GetPriorRecordPage(SessionID, current.PageNo, priorPageNo)) return grrBOF;
  TABSPinnedPage page = readNavigationPage(SessionID, priorPageNo);
  if (!page) return grrBOF;
  TABSSmallRecordPage view(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage);
  if (view.RecordCount() == 0) errors::Raise(errors::kNoLastRecordOnPriorPage);
  answerRow(*page.Get(), view.GetLastRecordID(), Info, errors::kRecordSlotUnreadable);
  return grrOK;
}

TABSGetRecordResult TABSDiskRecordManager::readCurrent(int32_t SessionID,
                                                       TABSNavigationInfo& Info) {
  TABSPinnedPage page = readNavigationPage(SessionID, Info.RecordID.PageNo);
  if (!page) return grrError;
  TABSSmallRecordPage view(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage);
  if (!view.GetRecordBuffer(Info.RecordID, FTempDiskRecordBuffer.data())) return grrError;
  answerRow(*page.Get(), Info.RecordID, Info, errors::kRecordSlotUnreadable);
  return grrOK;
}

void TABSDiskRecordManager::GetRecordBuffer(int32_t SessionID, TABSNavigationInfo& Info) {
  TABSGetRecordResult result = grrError;
  if (FRecordCount == 0) {
    result = grrEOF;
  } else if (Info.FirstPosition) {
    result = Info.GetRecordMode == grmNext    ? readEdgeRow(SessionID, false, Info)
             : Info.GetRecordMode == grmPrior ? grrBOF
                                              : grrError;
  } else if (Info.LastPosition) {
    result = Info.GetRecordMode == grmNext    ? grrEOF
             : Info.GetRecordMode == grmPrior ? readEdgeRow(SessionID, true, Info)
                                              : grrError;
  } else if (Info.GetRecordMode == grmNext) {
    result = readNext(SessionID, Info);
  } else if (Info.GetRecordMode == grmPrior) {
    result = readPrior(SessionID, Info);
  } else {
    result = readCurrent(SessionID, Info);
  }
  Info.GetRecordResult = result;
}

int TABSDiskRecordManager::CompareRecordID(const TABSPageItemID& RecordID1,
                                           const TABSPageItemID& RecordID2) {
  if (RecordID1.PageNo != RecordID2.PageNo) return RecordID1.PageNo < RecordID2.PageNo ? -1 : 1;
  if (RecordID1.PageItemNo != RecordID2.PageItemNo)
    return RecordID1.PageItemNo < RecordID2.PageItemNo ? -1 : 1;
  return 0;
}

// --- Record numbers ------------------------------------------------------------------------

int64_t TABSDiskRecordManager::GetApproximateRecNo(int32_t, const TABSPageItemID&) {
  return FRecordCount / 2;
}

void TABSDiskRecordManager::SetRecNo(int32_t SessionID, int64_t RecNo, TABSPageItemID& RecordID) {
  int32_t pageNo = -1, recNoOnPage = 0;
  FRecordPageIndex->GetRecordByRecNo(SessionID, RecNo, pageNo, recNoOnPage);
  TABSPinnedPage page(LPageManager.GetPage(SessionID, pageNo, ptTableRecord));
  RecordID = TABSSmallRecordPage(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage)
                 .GetRecordID(recNoOnPage);
}

int64_t TABSDiskRecordManager::GetRecNo(int32_t SessionID, const TABSPageItemID& RecordID) {
  int32_t recNoOnPage = 0;
  {
    TABSPinnedPage page(LPageManager.GetPage(SessionID, RecordID.PageNo, ptTableRecord));
    recNoOnPage = TABSSmallRecordPage(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage)
                      .GetRecNoOnPage(RecordID);
  }
  return FRecordPageIndex->GetRecNoByRecord(SessionID, RecordID.PageNo, recNoOnPage);
}

// --- Whole-table operations --------------------------------------------------------------------

void TABSDiskRecordManager::removeAllRecordPages(int32_t SessionID) {
  std::vector<int32_t> pages;
  int32_t pageNo = -1;
  for (bool any = FRecordPageIndex->GetFirstRecordPage(SessionID, pageNo); any;
       any = FRecordPageIndex->GetNextRecordPage(SessionID, pageNo, pageNo))
    pages.push_back(pageNo);
  for (const int32_t page : pages) LPageManager.RemovePage(SessionID, page);
}

void TABSDiskRecordManager::Empty(int32_t SessionID) {
  removeAllRecordPages(SessionID);
  FRecordPageIndex->EmptyIndex(SessionID);
  FRecordCount = 0;
  FTableState = 0;
}

void TABSDiskRecordManager::Delete(int32_t SessionID) {
  removeAllRecordPages(SessionID);
  FRecordPageIndex->DropIndex(SessionID);
  FRecordPageIndex->OpenIndex(-1);
  FRecordCount = 0;
}

bool TABSDiskRecordManager::isPageInUse(int32_t PageNo) const {
  auto* disk = dynamic_cast<TABSDiskPageManager*>(&LPageManager);
  if (!disk) return true;
  auto* map = dynamic_cast<TABSDatabaseFreeSpaceManager*>(disk->DatabaseFreeSpaceManager());
  if (!map) return true;
  return !map->IsMapPage(PageNo) && map->GetPageUsageFromPFS(PageNo);
}

std::vector<std::pair<int32_t, int32_t>> TABSDiskRecordManager::scanRecordPages(
    int32_t SessionID, int32_t SkipPageNo) {
  std::vector<std::pair<int32_t, int32_t>> pages;
  const int32_t pageCount = LPageManager.PageCount();
  for (int32_t pageNo = 1; pageNo < pageCount; ++pageNo) {
    if (pageNo == SkipPageNo || !isPageInUse(pageNo)) continue;
    try {
      TABSPinnedPage page(LPageManager.GetPage(SessionID, pageNo, kAnyPageType));
      if (page->GetObjectID() != FTableID || page->GetPageType() != ptTableRecord ||
          page->GetPageState() > kMaxRecordPageState)
        continue;
      const int32_t rows =
          TABSSmallRecordPage(*page.Get(), FDiskRecordBufferSize, FMaxRecordsOnPage).RecordCount();
      page.Release();
      if (rows > 0) pages.emplace_back(pageNo, rows);
    } catch (const EABSException&) {
      // An unreadable page is no record page of this table.
    }
  }
  return pages;
}

void TABSDiskRecordManager::RebuildRecordPageIndex(int32_t SessionID) {
  auto index = std::make_unique<TABSBTreeRecordPageIndex>(LPageManager, FMaxRecordsOnPage);
  index->CreateIndex(SessionID);
  int64_t recordCount = 0;
  for (const auto& [pageNo, rows] : scanRecordPages(SessionID, index->RootPageNo())) {
    index->SetPage(SessionID, pageNo, static_cast<uint16_t>(rows));
    recordCount += rows;
  }
  FRecordPageIndex = std::move(index);
  FRecordCount = recordCount;
}

void TABSDiskRecordManager::ValidateRecordPageIndex(int32_t SessionID) {
  FRecordPageIndex->Validate(SessionID, FRecordCount);
}

void TABSDiskRecordManager::ValidateRecordPages(int32_t SessionID) {
  ValidateRecordPageIndex(SessionID);
  const std::vector<std::pair<int32_t, int32_t>> found =
      scanRecordPages(SessionID, FRecordPageIndex->RootPageNo());
  if (FRecordPageIndex->Entries(SessionID) != found) {
    int64_t rows = 0;
    for (const auto& entry : found) rows += entry.second;
    errors::Raise(errors::kInvalidRecordPageIndexOrMostUpdated, {rows, FRecordCount});
  }
}

// --- Persistent state ------------------------------------------------------------------------

void TABSDiskRecordManager::LoadMetadata(TABSStream& Stream) {
  uint8_t root[4];
  Stream.ReadBuffer(root, sizeof root);
  FRecordPageIndex->OpenIndex(GetInt32LE(root));
}

void TABSDiskRecordManager::SaveMetadata(TABSStream& Stream) {
  uint8_t root[4];
  PutInt32LE(root, FRecordPageIndex->RootPageNo());
  Stream.WriteBuffer(root, sizeof root);
}

void TABSDiskRecordManager::LoadMostUpdated(const uint8_t* Buf, int32_t& Offset) {
  FTableState = GetInt32LE(Buf + Offset);
  FRecordCount = static_cast<int64_t>(GetUInt32LE(Buf + Offset + 4));
  Offset += MostUpdatedSize;
}

void TABSDiskRecordManager::SaveMostUpdated(uint8_t* Buf, int32_t& Offset) {
  PutInt32LE(Buf + Offset, FTableState);
  PutUInt32LE(Buf + Offset + 4, static_cast<uint32_t>(FRecordCount));
  Offset += MostUpdatedSize;
}

// --- Record-bitmap numbering -------------------------------------------------------------------

int64_t TABSDiskRecordManager::GetRecordBitmapNo(const TABSPageItemID& RecordID) const {
  return static_cast<int64_t>(RecordID.PageNo) * FMaxRecordsOnPage + RecordID.PageItemNo;
}

TABSPageItemID TABSDiskRecordManager::GetRecordIDByBitmapNo(int64_t BitmapNo) const {
  TABSPageItemID id;
  id.PageNo = static_cast<int32_t>(BitmapNo / FMaxRecordsOnPage);
  id.PageItemNo = static_cast<uint16_t>(BitmapNo % FMaxRecordsOnPage);
  return id;
}

int64_t TABSDiskRecordManager::GetRecordBitmapSize(int32_t SessionID) {
  int32_t lastPageNo = -1;
  if (!FRecordPageIndex->GetLastRecordPage(SessionID, lastPageNo)) return 1;
  return (static_cast<int64_t>(lastPageNo) + 1) * FMaxRecordsOnPage;
}

}  // namespace zev
