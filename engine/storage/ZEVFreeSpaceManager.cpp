#include "engine/storage/ZEVFreeSpaceManager.h"

#include <algorithm>
#include <utility>

#include "engine/storage/ZEVErrorCodes.h"
#include "engine/storage/ZEVExcept.h"

namespace zev {

namespace {

[[noreturn]] void raise(const errors::TNativeMessage& Message,
                        std::initializer_list<TFormatArg> Args) {
  throw EABSException(Message.Code, Message.Text, Args);
}

constexpr int32_t kEmptyFileStep = 6;

}  // namespace

TABSDatabaseFreeSpaceManager::TABSDatabaseFreeSpaceManager(TABSDiskPageManager& PageManager)
    : LPageManager(PageManager) {
  const TABSDBHeader& header = LPageManager.DBHeader();
  const int32_t dataSize = LPageManager.PageDataSize();
  if (header.PageCountInExtent == 0 || dataSize == 0)
    throw EABSException(errors::kInvalidDatabaseFormat.Code, errors::kInvalidDatabaseFormat.Text);
  FPageCountInExtent = header.PageCountInExtent;
  FPFSPage_PagesAddressed = dataSize * 8;
  FEAMPage_ExtentsAddressed = dataSize * 4;
  FEAMPage_PagesAddressed = static_cast<int64_t>(FEAMPage_ExtentsAddressed) * FPageCountInExtent;
  FLastUsedPageNo = header.LastUsedPageNo;
  FTotalPageCount = header.TotalPageCount;
}

TABSFreeSpaceManagerFactory TABSDatabaseFreeSpaceManager::Factory() {
  return [](TABSDiskPageManager& PageManager) -> std::unique_ptr<TABSFreeSpaceManager> {
    return std::make_unique<TABSDatabaseFreeSpaceManager>(PageManager);
  };
}

// --- Geometry -----------------------------------------------------------------------------------

bool TABSDatabaseFreeSpaceManager::IsMapPage(int32_t PageNo) const {
  if (PageNo < 0) return false;
  const int64_t n = PageNo;
  if (n % FPFSPage_PagesAddressed == 0 || n % FEAMPage_PagesAddressed == 0) return true;
  return n >= 1 && (n - 1) % FPFSPage_PagesAddressed == 0 && (n - 1) % FEAMPage_PagesAddressed == 0;
}

int32_t TABSDatabaseFreeSpaceManager::PFSPagePosition(int64_t Index) const {
  return static_cast<int32_t>(Index * FPFSPage_PagesAddressed);
}

int32_t TABSDatabaseFreeSpaceManager::EAMPagePosition(int64_t Index) const {
  const int64_t position = Index * FEAMPage_PagesAddressed;
  return static_cast<int32_t>(position % FPFSPage_PagesAddressed == 0 ? position + 1 : position);
}

int64_t TABSDatabaseFreeSpaceManager::lastPFSIndex() const {
  return std::max(FTotalPageCount - 1, 0) / FPFSPage_PagesAddressed;
}

int64_t TABSDatabaseFreeSpaceManager::lastEAMIndex() const {
  return std::max(FTotalPageCount - 1, 0) / FEAMPage_PagesAddressed;
}

int32_t TABSDatabaseFreeSpaceManager::AddPagesStep() const {
  if (FTotalPageCount == 0) return kEmptyFileStep;
  return std::max(FTotalPageCount / 10, FPageCountInExtent);
}

void TABSDatabaseFreeSpaceManager::CheckPageNoForSystemPages(int32_t PageNo) const {
  if (IsMapPage(PageNo)) raise(errors::kCannotUseMapPage, {PageNo});
}

// --- Map pages and the header -------------------------------------------------------------------

std::unique_ptr<TABSPage> TABSDatabaseFreeSpaceManager::readMapPage(int32_t PageNo,
                                                                    uint16_t PageType,
                                                                    int NativeError) {
  auto page = std::make_unique<TABSPage>(&LPageManager);
  page->SetPageNo(PageNo);
  page->SetSessionID(kSystemSessionID);
  page->SetEncryptionEnabled(false);
  // A page missing from the file reads as one of unknown type.
  const bool read = LPageManager.InternalReadPage(page.get());
  CheckPageType(read ? page->GetPageType() : static_cast<uint16_t>(ptUnknown), PageType,
                NativeError);
  return page;
}

void TABSDatabaseFreeSpaceManager::writeMapPage(TABSPage& Page) {
  LPageManager.InternalWritePage(&Page);
  Page.SetIsDirty(false);
}

void TABSDatabaseFreeSpaceManager::writeNewMapPage(int32_t PageNo, uint16_t PageType) {
  TABSPage page(&LPageManager);
  page.SetPageNo(PageNo);
  page.SetSessionID(kSystemSessionID);
  page.SetEncryptionEnabled(false);
  page.AllocPageBuffer();
  page.SetPageType(PageType);
  // PFS: the PFS page itself in use; EAM: the first extent's entry "not full".
  page.PageData()[0] = 1;
  writeMapPage(page);
}

void TABSDatabaseFreeSpaceManager::loadHeader() {
  LPageManager.ReadDBHeader();
  FLastUsedPageNo = LPageManager.DBHeader().LastUsedPageNo;
  FTotalPageCount = LPageManager.DBHeader().TotalPageCount;
  FFileSizeChanged = false;
}

void TABSDatabaseFreeSpaceManager::saveHeader() {
  TABSDBHeader& header = LPageManager.MutableDBHeader();
  if (!FFileSizeChanged && header.LastUsedPageNo == FLastUsedPageNo &&
      header.TotalPageCount == FTotalPageCount)
    return;
  header.LastUsedPageNo = FLastUsedPageNo;
  header.TotalPageCount = FTotalPageCount;
  LPageManager.WriteDBHeader();
  FFileSizeChanged = false;
}

template <class F>
void TABSDatabaseFreeSpaceManager::underHeaderLock(const errors::TNativeMessage& Refused,
                                                   F&& Operation) {
  if (!LPageManager.LockDBHeaderWithRetries()) throw EABSException(Refused.Code, Refused.Text);
  struct TUnlock {
    TABSDiskPageManager& Manager;
    ~TUnlock() {
      try {
        Manager.UnlockDBHeader();
      } catch (const EABSException&) {
        // A file closed under the lock has released it already.
      }
    }
  } unlock{LPageManager};
  loadHeader();
  try {
    Operation();
  } catch (...) {
    // Keep what was changed before the failure; the first error is the one to report.
    try {
      saveHeader();
    } catch (const EABSException&) {
    }
    throw;
  }
  saveHeader();
}

// --- Allocation ---------------------------------------------------------------------------------

int32_t TABSDatabaseFreeSpaceManager::GetPage(int32_t /*DesiredPageNo*/) {
  int32_t pageNo = -1;
  underHeaderLock(errors::kDatabaseLockedAtAllocate, [&] {
    pageNo = findFreePage();
    if (pageNo < 0) pageNo = appendPage();
    if (pageNo > FLastUsedPageNo) FLastUsedPageNo = pageNo;
  });
  return pageNo;
}

int32_t TABSDatabaseFreeSpaceManager::findFreePage() {
  if (FLastUsedPageNo == -1) return -1;
  const int64_t last = lastEAMIndex();
  int32_t pageNo = searchEAMPage(last);
  for (int64_t j = 0; pageNo < 0 && j < last; ++j) pageNo = searchEAMPage(j);
  if (pageNo >= 0) markPage(pageNo, true);
  return pageNo;
}

int32_t TABSDatabaseFreeSpaceManager::searchEAMPage(int64_t EAMIndex) {
  const auto eam = readMapPage(EAMPagePosition(EAMIndex), ptEAM, errors::kWrongMapPageTypeAtSearch);
  const uint8_t* data = eam->PageData();
  const int32_t dataSize = LPageManager.PageDataSize();
  for (int32_t b = 0; b < dataSize; ++b) {
    if (data[b] == 0xFF) continue;
    for (int entry = 0; entry < 4; ++entry) {
      if ((data[b] >> (2 * entry)) & 2) continue;
      // Only the first candidate extent counts: its PFS page answers for this EAM page.
      const int64_t extent = EAMIndex * FEAMPage_ExtentsAddressed + 4 * b + entry;
      const int32_t pageNo = searchPFSPagesOfExtent(extent);
      return pageNo >= 0 && pageNo < FTotalPageCount ? pageNo : -1;
    }
  }
  return -1;
}

int32_t TABSDatabaseFreeSpaceManager::searchPFSPagesOfExtent(int64_t Extent) {
  const int64_t first = Extent * FPageCountInExtent / FPFSPage_PagesAddressed;
  const int64_t last = ((Extent + 1) * FPageCountInExtent - 1) / FPFSPage_PagesAddressed;
  const int32_t dataSize = LPageManager.PageDataSize();
  int32_t found = -1;
  for (int64_t k = first; k <= last && k * FPFSPage_PagesAddressed < FTotalPageCount; ++k) {
    const auto pfs = readMapPage(PFSPagePosition(k), ptPFS, errors::kWrongMapPageTypeAtSearch);
    const uint8_t* data = pfs->PageData();
    for (int32_t b = 0; b < dataSize; ++b) {
      if (data[b] == 0xFF) continue;
      int bit = 0;
      while ((data[b] >> bit) & 1) ++bit;
      found = PFSPagePosition(k) + 8 * b + bit;
      break;
    }
  }
  return found;
}

int32_t TABSDatabaseFreeSpaceManager::appendPage() {
  const bool wasEmpty = FLastUsedPageNo == -1;
  const int64_t pfsBefore = wasEmpty ? -1 : lastPFSIndex();
  const int64_t eamBefore = wasEmpty ? -1 : lastEAMIndex();

  int32_t newPage = FLastUsedPageNo + 1;
  while (IsMapPage(newPage)) ++newPage;
  int32_t count = AddPagesStep();
  if (FTotalPageCount + count <= newPage) count = newPage - FTotalPageCount + 1;
  // The file never ends on a map page.
  while (IsMapPage(FTotalPageCount + count - 1)) ++count;
  FFileSizeChanged = true;
  LPageManager.ExtendFile(count);
  FTotalPageCount = LPageManager.DBHeader().TotalPageCount;

  const int64_t pfsAfter = lastPFSIndex();
  const int64_t eamAfter = lastEAMIndex();
  for (int64_t k = pfsBefore + 1; k <= pfsAfter; ++k) writeNewMapPage(PFSPagePosition(k), ptPFS);
  for (int64_t j = eamBefore + 1; j <= eamAfter; ++j) writeNewMapPage(EAMPagePosition(j), ptEAM);
  FLastUsedPageNo = newPage;
  for (int64_t j = eamBefore + 1; j <= eamAfter; ++j) setPFSBit(EAMPagePosition(j), true, false);
  for (int64_t k = pfsBefore + 1; k <= pfsAfter; ++k) updateEAMEntry(PFSPagePosition(k));
  markPage(newPage, true);
  return newPage;
}

// --- PFS bits and EAM entries -------------------------------------------------------------------

void TABSDatabaseFreeSpaceManager::markPage(int32_t PageNo, bool Used) {
  setPFSBit(PageNo, Used, true);
  updateEAMEntry(PageNo);
}

// Strict: a bit that already has the wanted value is an error. Not strict for the map pages
// the file gets again after a shrink cut them: their old bit may still be set.
void TABSDatabaseFreeSpaceManager::setPFSBit(int32_t PageNo, bool Used, bool Strict) {
  if (PageNo < 0 || PageNo >= FTotalPageCount)
    raise(errors::kPFSPageCannotBeAddressed, {PageNo, FTotalPageCount});
  const int64_t k = PageNo / FPFSPage_PagesAddressed;
  const int32_t offset = PageNo % FPFSPage_PagesAddressed;
  const auto pfs = readMapPage(PFSPagePosition(k), ptPFS, errors::kWrongMapPageTypeAtPFSBit);
  uint8_t& byte = pfs->PageData()[offset / 8];
  const uint8_t mask = static_cast<uint8_t>(1u << (offset % 8));
  const bool isUsed = (byte & mask) != 0;
  if (Strict && Used && isUsed) raise(errors::kPageAlreadyUsed, {PageNo});
  if (Strict && !Used && !isUsed) raise(errors::kPageAlreadyFree, {PageNo});
  if (isUsed == Used) return;
  byte = static_cast<uint8_t>(Used ? byte | mask : byte & ~mask);
  writeMapPage(*pfs);
}

bool TABSDatabaseFreeSpaceManager::GetPageUsageFromPFS(int32_t PageNo) {
  if (PageNo < 0) return false;
  const int32_t pfsPage = PFSPagePosition(PageNo / FPFSPage_PagesAddressed);
  if (pfsPage > FLastUsedPageNo) return false;
  const int32_t offset = PageNo % FPFSPage_PagesAddressed;
  const auto pfs = readMapPage(pfsPage, ptPFS, errors::kWrongMapPageTypeAtPFSQuery);
  return (pfs->PageData()[offset / 8] >> (offset % 8)) & 1;
}

void TABSDatabaseFreeSpaceManager::updateEAMEntry(int32_t PageNo) {
  if (PageNo < 0 || PageNo >= FTotalPageCount)
    raise(errors::kEAMPageCannotBeAddressed, {PageNo, FTotalPageCount});
  const int64_t extent = PageNo / FPageCountInExtent;
  const auto eam = readMapPage(EAMPagePosition(extent / FEAMPage_ExtentsAddressed), ptEAM,
                               errors::kWrongMapPageTypeAtEAMEntry);
  int32_t used = 0, free = 0;
  const int64_t first = extent * FPageCountInExtent;
  for (int64_t n = first; n < first + FPageCountInExtent && (used == 0 || free == 0); ++n) {
    if (n > INT32_MAX) break;
    ++(GetPageUsageFromPFS(static_cast<int32_t>(n)) ? used : free);
  }
  const uint8_t entry = used > 0 && free == 0 ? 3 : (used == 0 && free == 0 ? 0 : 1);
  const int32_t i = static_cast<int32_t>(extent % FEAMPage_ExtentsAddressed);
  uint8_t& byte = eam->PageData()[i / 4];
  const int shift = 2 * (i % 4);
  const uint8_t changed =
      static_cast<uint8_t>((byte & ~(3u << shift)) | static_cast<unsigned>(entry) << shift);
  if (changed == byte) return;
  byte = changed;
  writeMapPage(*eam);
}

// --- Release ------------------------------------------------------------------------------------

void TABSDatabaseFreeSpaceManager::FreePage(int32_t PageNo) {
  CheckPageNoForSystemPages(PageNo);
  underHeaderLock(errors::kDatabaseLockedAtFree, [&] {
    markPage(PageNo, false);
    FLastUsedPageNo = findLastUsedPage();
    shrink();
  });
}

int32_t TABSDatabaseFreeSpaceManager::findLastUsedPage() {
  const int32_t dataSize = LPageManager.PageDataSize();
  for (int64_t k = lastPFSIndex(); k >= 0; --k) {
    const auto pfs =
        readMapPage(PFSPagePosition(k), ptPFS, errors::kWrongMapPageTypeAtLastUsedScan);
    const uint8_t* data = pfs->PageData();
    for (int32_t b = dataSize - 1; b >= 0; --b) {
      if (data[b] == 0) continue;
      for (int bit = 7; bit >= 0; --bit) {
        const int32_t pageNo = PFSPagePosition(k) + 8 * b + bit;
        if (((data[b] >> bit) & 1) && !IsMapPage(pageNo)) return pageNo;
      }
    }
  }
  return -1;
}

void TABSDatabaseFreeSpaceManager::shrink() {
  const int32_t step = DelPagesStep();
  const int32_t freeAtEnd = FTotalPageCount - FLastUsedPageNo - 1;
  if (freeAtEnd < step) return;
  // TruncateFile writes the header with the in-memory LastUsedPageNo: give it the new one.
  LPageManager.MutableDBHeader().LastUsedPageNo = FLastUsedPageNo;
  LPageManager.TruncateFile(freeAtEnd / step * step);
  FTotalPageCount = LPageManager.DBHeader().TotalPageCount;
}

}  // namespace zev
