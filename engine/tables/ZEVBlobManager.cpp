#include "engine/tables/ZEVBlobManager.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVBlobErrors.h"
#include "engine/tables/ZEVDiskRecordManager.h"
#include "engine/tables/ZEVLocalBLOBStream.h"
#include "engine/tables/ZEVSmallBlobPage.h"

namespace zev {

namespace {

constexpr size_t kCacheReferenceOffset = TABSPageItemID::Size;

bool namesValue(const TABSPageItemID& BlobID) { return BlobID.PageNo != 0 && BlobID.PageNo != -1; }

TABSPageItemID noValue() {
  TABSPageItemID id;
  id.PageNo = -1;
  id.PageItemNo = kLargeBlobItemNo;
  return id;
}

}  // namespace

TABSDiskBlobManager::TABSDiskBlobManager(TABSPageManager& PageManager,
                                         TABSBaseFieldManager& FieldManager,
                                         TABSDiskRecordManager& RecordManager)
    : LPageManager(PageManager),
      LFieldManager(FieldManager),
      LRecordManager(RecordManager),
      FBlobPageIndex(std::make_unique<TABSBTreeBlobPageIndex>(PageManager, -1)) {}

TABSDiskBlobManager::~TABSDiskBlobManager() = default;

void TABSDiskBlobManager::Destroy() {
  if (!FBlobCacheList.empty()) errors::Raise(errors::kBlobCacheNotReleased);
}

void TABSDiskBlobManager::CreateBlobPageIndex() {
  FBlobPageIndex->OpenIndex(FBlobPageIndex->CreateIndex(kSystemSessionID));
}

void TABSDiskBlobManager::LoadMetadata(TABSStream& Stream) {
  uint8_t bytes[4];
  Stream.ReadBuffer(bytes, 4);
  FBlobPageIndex->OpenIndex(GetInt32LE(bytes));
}

void TABSDiskBlobManager::SaveMetadata(TABSStream& Stream) const {
  uint8_t bytes[4];
  PutInt32LE(bytes, FBlobPageIndex->RootPageNo());
  Stream.WriteBuffer(bytes, 4);
}

// --- Slots and caches ---------------------------------------------------------------------------

const TABSFieldDef& TABSDiskBlobManager::blobField(int32_t FieldNo) const {
  return *LFieldManager.FieldDefs().Items(FieldNo);
}

uint8_t* TABSDiskBlobManager::slotOf(uint8_t* RecordBuffer, int32_t FieldNo) const {
  return RecordBuffer + blobField(FieldNo).FMemoryOffset;
}

const uint8_t* TABSDiskBlobManager::slotOf(const uint8_t* RecordBuffer, int32_t FieldNo) const {
  return RecordBuffer + blobField(FieldNo).FMemoryOffset;
}

TABSPageItemID TABSDiskBlobManager::GetBlobID(const uint8_t* RecordBuffer, int32_t FieldNo) const {
  TABSPageItemID id;
  id.Load(slotOf(RecordBuffer, FieldNo));
  return id;
}

void TABSDiskBlobManager::SetBlobID(uint8_t* RecordBuffer, int32_t FieldNo,
                                    const TABSPageItemID& BlobID) const {
  BlobID.Store(slotOf(RecordBuffer, FieldNo));
}

void TABSDiskBlobManager::setCacheReference(uint8_t* RecordBuffer, int32_t FieldNo,
                                            uint32_t Reference) const {
  PutUInt32LE(slotOf(RecordBuffer, FieldNo) + kCacheReferenceOffset, Reference);
}

TABSDiskBLOBCache* TABSDiskBlobManager::AttachedCache(const uint8_t* RecordBuffer,
                                                      int32_t FieldNo) const {
  if (!RecordBuffer) return nullptr;
  const uint32_t reference = GetUInt32LE(slotOf(RecordBuffer, FieldNo) + kCacheReferenceOffset);
  if (reference == 0) return nullptr;
  const auto found = FBlobCacheList.find(reference);
  return found == FBlobCacheList.end() ? nullptr : found->second.get();
}

TABSDiskBLOBCache& TABSDiskBlobManager::attachCache(uint8_t* RecordBuffer, int32_t FieldNo) {
  // References are never handed out twice, so a stale copy of a slot cannot name a new cache.
  uint32_t reference = FNextCacheReference++;
  if (FNextCacheReference == 0) FNextCacheReference = 1;
  auto cache = std::make_unique<TABSDiskBLOBCache>();
  TABSDiskBLOBCache& attached = *cache;
  FBlobCacheList.emplace(reference, std::move(cache));
  setCacheReference(RecordBuffer, FieldNo, reference);
  return attached;
}

void TABSDiskBlobManager::ClearBlobInRecordBuffer(uint8_t* RecordBuffer, int32_t FieldNo,
                                                  bool ForceClear) {
  if (!RecordBuffer) return;
  const uint32_t reference = GetUInt32LE(slotOf(RecordBuffer, FieldNo) + kCacheReferenceOffset);
  const auto found = FBlobCacheList.find(reference);
  if (reference == 0 || found == FBlobCacheList.end()) return;
  if (found->second->Modified && !ForceClear) return;
  FBlobCacheList.erase(found);
  setCacheReference(RecordBuffer, FieldNo, 0);
}

void TABSDiskBlobManager::ClearBLOBFieldsInRecordBuffer(uint8_t* RecordBuffer) {
  const TABSFieldDefs& fields = LFieldManager.FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i)
    if (IsBLOBFieldType(fields.Items(i)->FBaseFieldType))
      ClearBlobInRecordBuffer(RecordBuffer, i, false);
}

void TABSDiskBlobManager::ClearModifiedBLOBFieldsInRecordBuffer(uint8_t* RecordBuffer) {
  const TABSFieldDefs& fields = LFieldManager.FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i)
    if (IsBLOBFieldType(fields.Items(i)->FBaseFieldType))
      ClearBlobInRecordBuffer(RecordBuffer, i, true);
}

// --- Row operations -------------------------------------------------------------------------------

void TABSDiskBlobManager::ReadBlob(int32_t SessionID, uint8_t* RecordBuffer, int32_t FieldNo) {
  if (AttachedCache(RecordBuffer, FieldNo)) return;
  const TABSPageItemID id = GetBlobID(RecordBuffer, FieldNo);
  if (!namesValue(id)) return;
  auto loaded = std::make_unique<TABSDiskBLOBCache>();
  readValue(SessionID, id, *loaded);
  TABSDiskBLOBCache& cache = attachCache(RecordBuffer, FieldNo);
  cache = std::move(*loaded);
  cache.Modified = false;
}

void TABSDiskBlobManager::WriteBlob(int32_t SessionID, uint8_t* RecordBuffer, int32_t FieldNo) {
  TABSDiskBLOBCache* cache = AttachedCache(RecordBuffer, FieldNo);
  if (!cache || !cache->Modified) return;
  TABSPageItemID id = GetBlobID(RecordBuffer, FieldNo);
  if (namesValue(id)) {
    freeValue(SessionID, id);
    id = noValue();
  }
  if (cache->UncompressedSize > 0) id = storeValue(SessionID, *cache);
  SetBlobID(RecordBuffer, FieldNo, id);
  cache->Modified = false;
  ClearBlobInRecordBuffer(RecordBuffer, FieldNo, false);
}

void TABSDiskBlobManager::WriteBlobs(int32_t SessionID, uint8_t* RecordBuffer) {
  const TABSFieldDefs& fields = LFieldManager.FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i)
    if (IsBLOBFieldType(fields.Items(i)->FBaseFieldType)) WriteBlob(SessionID, RecordBuffer, i);
}

void TABSDiskBlobManager::ReleaseNulledBlobs(int32_t SessionID, uint8_t* RecordBuffer,
                                             const uint8_t* EditRecordBuffer) {
  if (!EditRecordBuffer) return;
  const TABSFieldDefs& fields = LFieldManager.FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    if (!IsBLOBFieldType(fields.Items(i)->FBaseFieldType) || !IsFieldNull(RecordBuffer, i) ||
        IsFieldNull(EditRecordBuffer, i))
      continue;
    const TABSDiskBLOBCache* cache = AttachedCache(RecordBuffer, i);
    if (cache && cache->Modified) continue;
    const TABSPageItemID id = GetBlobID(RecordBuffer, i);
    const TABSPageItemID before = GetBlobID(EditRecordBuffer, i);
    if (!namesValue(id) || id.PageNo != before.PageNo || id.PageItemNo != before.PageItemNo)
      continue;
    freeValue(SessionID, id);
    SetBlobID(RecordBuffer, i, noValue());
  }
}

void TABSDiskBlobManager::DeleteBlob(int32_t SessionID, uint8_t* RecordBuffer, int32_t FieldNo) {
  if (IsFieldNull(RecordBuffer, FieldNo)) return;
  const TABSPageItemID id = GetBlobID(RecordBuffer, FieldNo);
  if (namesValue(id)) freeValue(SessionID, id);
  if (TABSDiskBLOBCache* cache = AttachedCache(RecordBuffer, FieldNo)) cache->Modified = false;
}

void TABSDiskBlobManager::DeleteBlobs(int32_t SessionID, uint8_t* RecordBuffer) {
  const TABSFieldDefs& fields = LFieldManager.FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i)
    if (IsBLOBFieldType(fields.Items(i)->FBaseFieldType)) DeleteBlob(SessionID, RecordBuffer, i);
}

template <class F>
void TABSDiskBlobManager::forEachRow(int32_t SessionID, F&& Visit) {
  std::vector<uint8_t> row(static_cast<size_t>(LFieldManager.FieldDefs().GetMemoryRecordBufferSize()));
  TABSNavigationInfo navigation;
  navigation.GetRecordMode = grmNext;
  navigation.IndexID = -1;
  navigation.FirstPosition = true;
  navigation.RecordBuffer = row.data();
  for (;;) {
    LRecordManager.GetRecordBuffer(SessionID, navigation);
    if (navigation.GetRecordResult != grrOK) return;
    Visit(row.data());
    navigation.FirstPosition = navigation.LastPosition = false;
  }
}

void TABSDiskBlobManager::Empty(int32_t SessionID) {
  if (!LFieldManager.BlobFieldsPresent()) return;
  forEachRow(SessionID, [&](uint8_t* Row) { DeleteBlobs(SessionID, Row); });
  if (FBlobPageIndex->RootPageNo() >= 0) FBlobPageIndex->EmptyIndex(SessionID);
}

void TABSDiskBlobManager::Delete(int32_t SessionID) {
  if (!LFieldManager.BlobFieldsPresent()) return;
  Empty(SessionID);
  if (FBlobPageIndex->RootPageNo() >= 0) FBlobPageIndex->DropIndex(SessionID);
  FBlobPageIndex->OpenIndex(-1);
}

// --- Streams and direct access --------------------------------------------------------------------

void TABSDiskBlobManager::CopyBlobFromRecordBufferToStream(int32_t SessionID,
                                                           uint8_t* RecordBuffer, int32_t FieldNo,
                                                           TABSBLOBDescriptor& BLOBDescriptor,
                                                           TABSStream& Stream) {
  if (IsFieldNull(RecordBuffer, FieldNo)) {
    BLOBDescriptor.NumBlocks = 0;
    BLOBDescriptor.UncompressedSize = 0;
    return;
  }
  if (!AttachedCache(RecordBuffer, FieldNo)) ReadBlob(SessionID, RecordBuffer, FieldNo);
  const TABSDiskBLOBCache* cache = AttachedCache(RecordBuffer, FieldNo);
  if (!cache) errors::Raise(errors::kCannotReadBlobForStream);
  if (!cache->BlobData.empty())
    Stream.WriteBuffer(cache->BlobData.data(), static_cast<int64_t>(cache->BlobData.size()));
  BLOBDescriptor.NumBlocks = cache->NumBlocks;
  BLOBDescriptor.UncompressedSize = cache->UncompressedSize;
}

void TABSDiskBlobManager::CopyBlobFromStreamToRecordBuffer(uint8_t* RecordBuffer, int32_t FieldNo,
                                                           TABSLocalBLOBStream& Stream) {
  if (!Stream.GetModified()) return;
  ClearBlobInRecordBuffer(RecordBuffer, FieldNo, true);
  const TABSBLOBDescriptor& descriptor = Stream.CompressedStream().BLOBDescriptor();
  std::vector<uint8_t> stored;
  TABSTemporaryStream& bytes = Stream.TemporaryStream();
  const int64_t size = bytes.GetSize();
  if (size > 0) {
    stored.resize(static_cast<size_t>(size));
    bytes.SetPosition(0);
    bytes.ReadBuffer(stored.data(), size);
  }
  TABSDiskBLOBCache& cache = attachCache(RecordBuffer, FieldNo);
  cache.NumBlocks = static_cast<int32_t>(descriptor.NumBlocks);
  cache.UncompressedSize = descriptor.UncompressedSize;
  cache.BlobData = std::move(stored);
  cache.Modified = true;
  SetFieldNull(RecordBuffer, FieldNo, Stream.GetSize() == 0);
}

void TABSDiskBlobManager::GetDirectBlobInfoFromRecordBuffer(
    int32_t SessionID, uint8_t* RecordBuffer, int32_t FieldNo,
    TABSPartialTemporaryBLOBDescriptor& BLOBDescriptor, const uint8_t*& pBlobData) {
  BLOBDescriptor = TABSPartialTemporaryBLOBDescriptor();
  pBlobData = nullptr;
  if (IsFieldNull(RecordBuffer, FieldNo)) return;
  if (!AttachedCache(RecordBuffer, FieldNo)) ReadBlob(SessionID, RecordBuffer, FieldNo);
  const TABSDiskBLOBCache* cache = AttachedCache(RecordBuffer, FieldNo);
  if (!cache) errors::Raise(errors::kCannotReadBlobDirect);
  BLOBDescriptor.NumBlocks = cache->NumBlocks;
  BLOBDescriptor.UncompressedSize = cache->UncompressedSize;
  BLOBDescriptor.CompressedSize = static_cast<int64_t>(cache->BlobData.size());
  pBlobData = cache->BlobData.empty() ? nullptr : cache->BlobData.data();
}

void TABSDiskBlobManager::SetDirectBlobInfoFromRecordBuffer(
    int32_t, uint8_t* RecordBuffer, int32_t FieldNo,
    const TABSPartialTemporaryBLOBDescriptor& BLOBDescriptor, const uint8_t* pBlobData) {
  // The bytes may belong to a cache of this manager (a copy within one table): take them first.
  std::vector<uint8_t> stored;
  if (BLOBDescriptor.CompressedSize > 0 && pBlobData)
    stored.assign(pBlobData, pBlobData + BLOBDescriptor.CompressedSize);
  ClearBlobInRecordBuffer(RecordBuffer, FieldNo, true);
  TABSDiskBLOBCache& cache = attachCache(RecordBuffer, FieldNo);
  cache.NumBlocks = BLOBDescriptor.NumBlocks;
  cache.UncompressedSize = BLOBDescriptor.UncompressedSize;
  cache.BlobData = std::move(stored);
  cache.Modified = true;
  SetFieldNull(RecordBuffer, FieldNo, BLOBDescriptor.CompressedSize == 0);
}

// --- Stored forms -----------------------------------------------------------------------------------

TABSPageItemID TABSDiskBlobManager::storeValue(int32_t SessionID, const TABSDiskBLOBCache& Cache) {
  return IsSmallBlob(static_cast<int64_t>(Cache.BlobData.size()), LPageManager.PageDataSize())
             ? storeSmall(SessionID, Cache)
             : storeLarge(SessionID, Cache);
}

TABSPageItemID TABSDiskBlobManager::storeSmall(int32_t SessionID, const TABSDiskBLOBCache& Cache) {
  const int32_t blobSize =
      static_cast<int32_t>(TABSBlobItemHeader::Size + Cache.BlobData.size());
  const int32_t dataSize = LPageManager.PageDataSize();
  int32_t pageNo = -1;
  TABSPinnedPage page;
  if (FBlobPageIndex->FindPageForNewBlob(SessionID, blobSize, pageNo))
    page = TABSPinnedPage(LPageManager.GetPage(SessionID, pageNo, ptTableBlob));
  else
    page = TABSPinnedPage(LPageManager.AddPage(SessionID, ptTableBlob));
  TABSSmallBlobPage view(page.Get());
  const int32_t endOffset = view.EndOffset();
  if (endOffset + blobSize > dataSize)
    errors::Raise(errors::kBlobPageFull,
                  {static_cast<int32_t>(view.BlobCount()), endOffset, blobSize, dataSize,
                   FBlobPageIndex->GetBlobPageAllocatedSpace(SessionID, view.PageNo())});
  TABSPageItemID id;
  view.AddBlob(Cache, id);
  page.Release();
  FBlobPageIndex->AddBlob(SessionID, blobSize, id.PageNo);
  return id;
}

TABSPageItemID TABSDiskBlobManager::storeLarge(int32_t SessionID, const TABSDiskBLOBCache& Cache) {
  const int32_t dataSize = LPageManager.PageDataSize();
  const int64_t storedSize = static_cast<int64_t>(Cache.BlobData.size());
  TABSPinnedPage first(LPageManager.AddPage(SessionID, ptTableBlob));
  TABSBlobItemHeader header;
  header.ItemID = kLargeBlobItemNo;  // not read back; written as the identifier's item number
  header.NumBlocks = Cache.NumBlocks;
  header.StoredSize = storedSize;
  header.UncompressedSize = Cache.UncompressedSize;
  header.Store(first->PageData());
  first->SetIsDirty(true);

  // The data, page after page.
  std::vector<int32_t> pages{first->PageNo()};
  TABSPinnedPage current;
  TABSPage* page = first.Get();
  int32_t offset = kLargeBlobFirstDataOffset;
  int64_t done = 0;
  for (;;) {
    const int64_t count = std::min<int64_t>(storedSize - done, dataSize - offset);
    std::memcpy(page->PageData() + offset, Cache.BlobData.data() + done, static_cast<size_t>(count));
    done += count;
    offset += static_cast<int32_t>(count);
    if (done == storedSize) break;
    current = TABSPinnedPage(LPageManager.AddPage(SessionID, ptTableBlob));
    page = current.Get();
    page->SetIsDirty(true);
    pages.push_back(page->PageNo());
    offset = 0;
  }

  // The page list, after the data or on a page of its own.
  if (offset == dataSize) {
    current = TABSPinnedPage(LPageManager.AddPage(SessionID, ptTableBlob));
    page = current.Get();
    page->SetIsDirty(true);
    offset = 0;
  }
  TABSBlobPageListLocator locator;
  locator.PageNo = page->PageNo();
  locator.Offset = static_cast<uint16_t>(offset);
  locator.PageCount = static_cast<int32_t>(pages.size());
  for (const int32_t entry : pages) {
    if (offset + 4 > dataSize) {
      TABSPinnedPage next(LPageManager.AddPage(SessionID, ptTableBlob));
      page->SetNextPageNo(next->PageNo());
      page->SetIsDirty(true);
      current = std::move(next);
      page = current.Get();
      page->SetIsDirty(true);
      offset = 0;
    }
    PutInt32LE(page->PageData() + offset, entry);
    offset += 4;
  }
  locator.Store(first->PageData() + TABSBlobPageListLocator::OffsetInFirstPage);
  TABSPageItemID id;
  id.PageNo = first->PageNo();
  id.PageItemNo = kLargeBlobItemNo;
  return id;
}

void TABSDiskBlobManager::readLargeLayout(int32_t SessionID, int32_t FirstPageNo,
                                          TABSBlobItemHeader& Header,
                                          std::vector<int32_t>& DataPages,
                                          std::vector<int32_t>& ListPages) {
  const int32_t dataSize = LPageManager.PageDataSize();
  TABSBlobPageListLocator locator;
  {
    TABSPinnedPage first(LPageManager.GetPage(SessionID, FirstPageNo, ptTableBlob));
    Header.Load(first->PageData());
    locator.Load(first->PageData() + TABSBlobPageListLocator::OffsetInFirstPage);
  }
  if (Header.StoredSize < 0 || locator.PageCount < 2 || locator.Offset > dataSize ||
      locator.PageCount != LargeBlobPageCount(Header.StoredSize, dataSize))
    errors::Raise(errors::kInvalidBlobFieldSize);
  DataPages.clear();
  ListPages.clear();
  int32_t pageNo = locator.PageNo;
  int32_t offset = locator.Offset;
  while (static_cast<int32_t>(DataPages.size()) < locator.PageCount) {
    // A list that comes back to a page it already used is damaged.
    if (pageNo <= 0 || std::find(ListPages.begin(), ListPages.end(), pageNo) != ListPages.end())
      errors::Raise(errors::kInvalidBlobFieldSize);
    ListPages.push_back(pageNo);
    TABSPinnedPage page(LPageManager.GetPage(SessionID, pageNo, ptTableBlob));
    const int32_t fit = (dataSize - offset) / 4;
    const int32_t take =
        std::min<int32_t>(fit, locator.PageCount - static_cast<int32_t>(DataPages.size()));
    for (int32_t i = 0; i < take; ++i) DataPages.push_back(GetInt32LE(page->PageData() + offset + 4 * i));
    pageNo = page->GetNextPageNo();
    offset = 0;
  }
  if (DataPages.front() != FirstPageNo) errors::Raise(errors::kInvalidBlobFieldSize);
}

void TABSDiskBlobManager::readLarge(int32_t SessionID, int32_t FirstPageNo,
                                    TABSDiskBLOBCache& Cache) {
  const int32_t dataSize = LPageManager.PageDataSize();
  TABSBlobItemHeader header;
  std::vector<int32_t> dataPages, listPages;
  readLargeLayout(SessionID, FirstPageNo, header, dataPages, listPages);
  std::vector<uint8_t> stored(static_cast<size_t>(header.StoredSize));
  int64_t done = 0;
  for (size_t i = 0; i < dataPages.size() && done < header.StoredSize; ++i) {
    const int32_t offset = i == 0 ? kLargeBlobFirstDataOffset : 0;
    TABSPinnedPage page(LPageManager.GetPage(SessionID, dataPages[i], ptTableBlob));
    const int64_t count = std::min<int64_t>(header.StoredSize - done, dataSize - offset);
    std::memcpy(stored.data() + done, page->PageData() + offset, static_cast<size_t>(count));
    done += count;
  }
  Cache.NumBlocks = header.NumBlocks;
  Cache.UncompressedSize = header.UncompressedSize;
  Cache.BlobData = std::move(stored);
  Cache.Modified = false;
}

bool TABSDiskBlobManager::readSmall(int32_t SessionID, const TABSPageItemID& BlobID,
                                    TABSDiskBLOBCache& Cache) {
  TABSPinnedPage page(LPageManager.GetPage(SessionID, BlobID.PageNo, ptTableBlob));
  return TABSSmallBlobPage(page.Get()).ReadBlob(Cache, BlobID.PageItemNo);
}

bool TABSDiskBlobManager::plausiblyLarge(int32_t SessionID, int32_t FirstPageNo) {
  try {
    TABSBlobItemHeader header;
    std::vector<int32_t> dataPages, listPages;
    readLargeLayout(SessionID, FirstPageNo, header, dataPages, listPages);
    const int64_t dataSize = LPageManager.PageDataSize();
    const int64_t count = static_cast<int64_t>(dataPages.size());
    return (count - 2) * dataSize < header.StoredSize && header.StoredSize < count * dataSize;
  } catch (const Exception&) {
    return false;
  }
}

void TABSDiskBlobManager::readValue(int32_t SessionID, const TABSPageItemID& BlobID,
                                    TABSDiskBLOBCache& Cache) {
  if (BlobID.PageItemNo == kLargeBlobItemNo) {
    readLarge(SessionID, BlobID.PageNo, Cache);
  } else if (BlobID.PageItemNo != kAmbiguousBlobItemNo) {
    readSmall(SessionID, BlobID, Cache);
  } else if (plausiblyLarge(SessionID, BlobID.PageNo)) {
    try {
      readLarge(SessionID, BlobID.PageNo, Cache);
    } catch (const Exception&) {
      readSmall(SessionID, BlobID, Cache);
    }
  } else {
    try {
      readSmall(SessionID, BlobID, Cache);
    } catch (const Exception&) {
      readLarge(SessionID, BlobID.PageNo, Cache);
    }
  }
}

void TABSDiskBlobManager::freeSmall(int32_t SessionID, const TABSPageItemID& BlobID) {
  int32_t blobSize = 0;
  bool emptied = false;
  {
    TABSPinnedPage page(LPageManager.GetPage(SessionID, BlobID.PageNo, ptTableBlob));
    TABSSmallBlobPage view(page.Get());
    view.DeleteBlob(BlobID.PageItemNo, blobSize);
    emptied = view.BlobCount() == 0;
  }
  if (emptied) LPageManager.RemovePage(SessionID, BlobID.PageNo);
  FBlobPageIndex->DeleteBlob(SessionID, blobSize, BlobID.PageNo);
}

void TABSDiskBlobManager::freeLarge(int32_t SessionID, int32_t FirstPageNo) {
  TABSBlobItemHeader header;
  std::vector<int32_t> dataPages, listPages;
  readLargeLayout(SessionID, FirstPageNo, header, dataPages, listPages);
  for (const int32_t pageNo : dataPages) LPageManager.RemovePage(SessionID, pageNo);
  for (size_t i = 0; i < listPages.size(); ++i)
    if (!(i == 0 && listPages[0] == dataPages.back()))
      LPageManager.RemovePage(SessionID, listPages[i]);
}

void TABSDiskBlobManager::freeValue(int32_t SessionID, const TABSPageItemID& BlobID) {
  if (BlobID.PageItemNo == kLargeBlobItemNo) {
    freeLarge(SessionID, BlobID.PageNo);
  } else if (BlobID.PageItemNo != kAmbiguousBlobItemNo) {
    freeSmall(SessionID, BlobID);
  } else if (plausiblyLarge(SessionID, BlobID.PageNo)) {
    try {
      freeLarge(SessionID, BlobID.PageNo);
    } catch (const Exception&) {
      freeSmall(SessionID, BlobID);
    }
  } else {
    try {
      freeSmall(SessionID, BlobID);
    } catch (const Exception&) {
      freeLarge(SessionID, BlobID.PageNo);
    }
  }
}

// --- Checks -------------------------------------------------------------------------------------------

void TABSDiskBlobManager::CollectValuePages(int32_t SessionID, const TABSPageItemID& BlobID,
                                            std::vector<int32_t>& Pages) {
  if (!namesValue(BlobID)) return;
  const bool large = BlobID.PageItemNo == kLargeBlobItemNo ||
                     (BlobID.PageItemNo == kAmbiguousBlobItemNo && plausiblyLarge(SessionID, BlobID.PageNo));
  if (!large) {
    Pages.push_back(BlobID.PageNo);
    return;
  }
  TABSBlobItemHeader header;
  std::vector<int32_t> dataPages, listPages;
  readLargeLayout(SessionID, BlobID.PageNo, header, dataPages, listPages);
  Pages.insert(Pages.end(), dataPages.begin(), dataPages.end());
  Pages.insert(Pages.end(), listPages.begin(), listPages.end());
}

std::vector<int32_t> TABSDiskBlobManager::CollectTablePages(int32_t SessionID) {
  std::vector<int32_t> pages;
  if (!LFieldManager.BlobFieldsPresent()) return pages;
  const TABSFieldDefs& fields = LFieldManager.FieldDefs();
  forEachRow(SessionID, [&](uint8_t* Row) {
    for (int32_t i = 0; i < fields.Count(); ++i)
      if (IsBLOBFieldType(fields.Items(i)->FBaseFieldType) && !IsFieldNull(Row, i))
        CollectValuePages(SessionID, GetBlobID(Row, i), pages);
  });
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

}  // namespace zev
