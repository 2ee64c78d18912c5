#include "engine/storage/ZEVPage.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/storage/ZEVErrorCodes.h"
#include "engine/storage/ZEVExcept.h"

namespace zev {
namespace {

uint16_t getUInt16LE(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | static_cast<uint16_t>(p[1]) << 8);
}

uint32_t getUInt32LE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t getInt32LE(const uint8_t* p) { return static_cast<int32_t>(getUInt32LE(p)); }

void putUInt16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void putUInt32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void putInt32LE(uint8_t* p, int32_t v) { putUInt32LE(p, static_cast<uint32_t>(v)); }

[[noreturn]] void raise(const errors::TNativeMessage& Message) {
  throw EABSException(Message.Code, Message.Text);
}

[[noreturn]] void raise(const errors::TNativeMessage& Message,
                        std::initializer_list<TFormatArg> Args) {
  throw EABSException(Message.Code, Message.Text, Args);
}

constexpr const char* kPageTypeNames[] = {
    "Unknown Page",
    "Empty Page",
    "EAM Page",
    "PFS Page",
    "FileSystemDirectory Page",
    "ActiveSessionList Page",
    "TableList Page",
    "TableLocks Page",
    "TableMetaData Page",
    "TableMostUpdated Page",
    "TableRecord Page",
    "TableBlob Page",
    "TableIndex Page",
};

}  // namespace

// --- Stamps, page types, header -------------------------------------------------------------

int32_t NextPageState(int32_t State) {
  if (State < 0 || State >= kMaxWrittenPageState) return 0;
  return State + 1;
}

AnsiString PageTypeName(uint16_t PageType) {
  if (PageType > ptTableIndex) raise(errors::kUnknownPageType, {PageType});
  return kPageTypeNames[PageType];
}

void CheckPageType(uint16_t FoundType, uint16_t ExpectedType, int NativeError) {
  if (FoundType == ExpectedType) return;
  throw EABSException(NativeError, errors::kWrongPageTypeText,
                      {PageTypeName(FoundType), PageTypeName(ExpectedType)});
}

void TABSPageItemID::Load(const uint8_t* Buffer) {
  PageNo = getInt32LE(Buffer);
  PageItemNo = getUInt16LE(Buffer + 4);
}

void TABSPageItemID::Store(uint8_t* Buffer) const {
  putInt32LE(Buffer, PageNo);
  putUInt16LE(Buffer + 4, PageItemNo);
}

void TABSDiskPageHeader::Load(const uint8_t* Buffer) {
  std::memcpy(Signature.data(), Buffer + SignatureOffset, Signature.size());
  State = getInt32LE(Buffer + StateOffset);
  PageType = getUInt16LE(Buffer + PageTypeOffset);
  NextPageNo = getInt32LE(Buffer + NextPageNoOffset);
  CRC32 = getUInt32LE(Buffer + CRC32Offset);
  CRCType = Buffer[CRCTypeOffset];
  HashType = Buffer[HashTypeOffset];
  Cipherype = Buffer[CipherypeOffset];
  MACType = Buffer[MACTypeOffset];
  ObjectID = getInt32LE(Buffer + ObjectIDOffset);
  RecordID.Load(Buffer + RecordIDOffset);
}

void TABSDiskPageHeader::Store(uint8_t* Buffer) const {
  std::memcpy(Buffer + SignatureOffset, Signature.data(), Signature.size());
  putInt32LE(Buffer + StateOffset, State);
  putUInt16LE(Buffer + PageTypeOffset, PageType);
  putInt32LE(Buffer + NextPageNoOffset, NextPageNo);
  putUInt32LE(Buffer + CRC32Offset, CRC32);
  Buffer[CRCTypeOffset] = CRCType;
  Buffer[HashTypeOffset] = HashType;
  Buffer[CipherypeOffset] = Cipherype;
  Buffer[MACTypeOffset] = MACType;
  putInt32LE(Buffer + ObjectIDOffset, ObjectID);
  RecordID.Store(Buffer + RecordIDOffset);
  std::memset(Buffer + ReservedOffset, 0, Size - ReservedOffset);
}

std::unique_ptr<uint8_t[]> TABSMemoryManager::AllocZeroed(size_t Size) {
  return std::make_unique<uint8_t[]>(Size);  // value-initialised: zero
}

// --- TABSPage -------------------------------------------------------------------------------

TABSPage::TABSPage(TABSPageManager* PageManager) : LPageManager(PageManager) {}

uint16_t TABSPage::PageSize() const { return LPageManager->PageSize(); }
uint16_t TABSPage::PageHeaderSize() const { return LPageManager->PageHeaderSize(); }
uint16_t TABSPage::PageDataSize() const { return LPageManager->PageDataSize(); }

void TABSPage::AllocPageBuffer() {
  FBufferSize = PageSize();
  FOwnedBuffer = TABSMemoryManager::AllocZeroed(FBufferSize);
  FPageBuffer = FOwnedBuffer.get();
  FOwnBuffer = true;
  InitHeader();
}

void TABSPage::InitHeader() { TABSDiskPageHeader().Store(FPageBuffer); }

void TABSPage::ClearPageBuffer() { std::memset(FPageBuffer, 0, FBufferSize); }

void TABSPage::FreeAndNilPageBuffer() {
  FOwnedBuffer.reset();
  FPageBuffer = nullptr;
  FBufferSize = 0;
  FOwnBuffer = true;
}

void TABSPage::EnlargePageBuffer(size_t NewSize) {
  if (!FPageBuffer) raise(errors::kPageBufferIsNil);
  if (NewSize < PageSize()) raise(errors::kInvalidPageModification);
  // A borrowed buffer is only known to hold PageSize bytes.
  const size_t kept = FOwnBuffer ? std::min(FBufferSize, NewSize) : PageSize();
  std::unique_ptr<uint8_t[]> buffer = TABSMemoryManager::AllocZeroed(NewSize);
  std::memcpy(buffer.get(), FPageBuffer, kept);
  FOwnedBuffer = std::move(buffer);
  FPageBuffer = FOwnedBuffer.get();
  FBufferSize = NewSize;
  FOwnBuffer = true;
}

void TABSPage::SetPageBuffer(uint8_t* Buffer) {
  FOwnedBuffer.reset();
  FPageBuffer = Buffer;
  FBufferSize = Buffer ? PageSize() : 0;
  FOwnBuffer = false;
}

bool TABSPage::Synchronize() {
  if (!LPageManager->MultiUser()) return true;
  const int32_t fileState = LPageManager->InternalReadPageState(FPageNo);
  if (fileState == kInvalidPageState || fileState == GetPageState()) {
    SetPageState(fileState);
    return true;
  }
  return LPageManager->InternalReadPage(this);
}

bool TABSPage::GetTableState(int32_t SessionID, int32_t& TableState) const {
  const int64_t index = static_cast<int64_t>(SessionID) + 2;
  if (index < 0 || index >= static_cast<int64_t>(FTableStates.size())) return false;
  const TABSPageTableStateInfo& info = FTableStates[static_cast<size_t>(index)];
  TableState = info.TableState;
  return info.IsTableStateValueAssigned;
}

void TABSPage::SetTableState(int32_t SessionID, int32_t TableState) {
  const int64_t index = static_cast<int64_t>(SessionID) + 2;
  if (index < 0) return;  // no such session
  if (index >= static_cast<int64_t>(FTableStates.size()))
    FTableStates.resize(static_cast<size_t>(index) + 1);
  FTableStates[static_cast<size_t>(index)] = {TableState, true};
}

int32_t TABSPage::GetPageState() const {
  return getInt32LE(FPageBuffer + TABSDiskPageHeader::StateOffset);
}

void TABSPage::SetPageState(int32_t State) {
  putInt32LE(FPageBuffer + TABSDiskPageHeader::StateOffset, State);
}

uint16_t TABSPage::GetPageType() const {
  return getUInt16LE(FPageBuffer + TABSDiskPageHeader::PageTypeOffset);
}

void TABSPage::SetPageType(uint16_t PageType) {
  putUInt16LE(FPageBuffer + TABSDiskPageHeader::PageTypeOffset, PageType);
}

int32_t TABSPage::GetNextPageNo() const {
  return getInt32LE(FPageBuffer + TABSDiskPageHeader::NextPageNoOffset);
}

void TABSPage::SetNextPageNo(int32_t PageNo) {
  putInt32LE(FPageBuffer + TABSDiskPageHeader::NextPageNoOffset, PageNo);
}

int32_t TABSPage::GetObjectID() const {
  return getInt32LE(FPageBuffer + TABSDiskPageHeader::ObjectIDOffset);
}

void TABSPage::SetObjectID(int32_t ObjectID) {
  putInt32LE(FPageBuffer + TABSDiskPageHeader::ObjectIDOffset, ObjectID);
}

TABSDiskPageHeader TABSPage::LoadHeader() const {
  TABSDiskPageHeader header;
  header.Load(FPageBuffer);
  return header;
}

void TABSPage::StoreHeader(const TABSDiskPageHeader& Header) { Header.Store(FPageBuffer); }

// --- TABSPinnedPage -------------------------------------------------------------------------

TABSPinnedPage& TABSPinnedPage::operator=(TABSPinnedPage&& Other) noexcept {
  if (this != &Other) {
    Release();
    LPage = Other.Detach();
  }
  return *this;
}

void TABSPinnedPage::Release() {
  if (TABSPage* page = Detach()) page->PageManager()->PutPage(page);
}

// --- TABSSortedPageList ---------------------------------------------------------------------

TABSSortedPageList::TABSSortedPageList(int32_t Size) {
  if (Size > 0) Reallocate(Size);
}

void TABSSortedPageList::Reallocate(int32_t NewAllocCount) {
  const auto count = static_cast<size_t>(NewAllocCount);
  const auto kept = static_cast<ptrdiff_t>(std::min(count, static_cast<size_t>(ItemCount)));
  std::vector<int32_t> keys(count);
  std::vector<TABSPageElement> values(count);
  std::copy(KeyItems.begin(), KeyItems.begin() + kept, keys.begin());
  std::copy(ValueItems.begin(), ValueItems.begin() + kept, values.begin());
  KeyItems.swap(keys);
  ValueItems.swap(values);
}

void TABSSortedPageList::SetSize(int32_t NewSize) {
  const int32_t allocated = AllocItemCount();
  if (NewSize == 0) {
    Reallocate(0);
  } else if (NewSize > allocated) {
    Reallocate(std::max(allocated + AllocBy, NewSize));
    AllocBy = std::min(AllocBy * 2, MaxAllocBy);
  } else if (NewSize < ItemCount && allocated - NewSize > deAllocBy) {
    Reallocate(NewSize);
    deAllocBy = std::min(deAllocBy * 2, MaxAllocBy);
  }
  ItemCount = NewSize;
}

int32_t TABSSortedPageList::LowerBound(int32_t Key) const {
  const auto end = KeyItems.begin() + ItemCount;
  return static_cast<int32_t>(std::lower_bound(KeyItems.begin(), end, Key) - KeyItems.begin());
}

TABSPage* TABSSortedPageList::Find(int32_t Key) const {
  const int32_t index = LowerBound(Key);
  if (index < ItemCount && KeyItems[index] == Key) return ValueItems[index].Page;
  return nullptr;
}

void TABSSortedPageList::Insert(TABSPage* Page) {
  ++LRUCount;
  const int32_t index = LowerBound(Page->PageNo());
  const int32_t oldCount = ItemCount;
  SetSize(ItemCount + 1);
  std::move_backward(KeyItems.begin() + index, KeyItems.begin() + oldCount,
                     KeyItems.begin() + oldCount + 1);
  std::move_backward(ValueItems.begin() + index, ValueItems.begin() + oldCount,
                     ValueItems.begin() + oldCount + 1);
  KeyItems[index] = Page->PageNo();
  ValueItems[index] = {Page, LRUCount};
}

void TABSSortedPageList::Delete(int32_t PageNo) {
  if (ItemCount == 0) raise(errors::kSortedListDeleteEmpty);
  const int32_t index = LowerBound(PageNo);
  if (index >= ItemCount || KeyItems[index] != PageNo)
    raise(errors::kSortedListDeleteNotFound, {PageNo, ItemCount});
  std::move(KeyItems.begin() + index + 1, KeyItems.begin() + ItemCount, KeyItems.begin() + index);
  std::move(ValueItems.begin() + index + 1, ValueItems.begin() + ItemCount,
            ValueItems.begin() + index);
  SetSize(ItemCount - 1);
}

void TABSSortedPageList::Clear() { SetSize(0); }

void TABSSortedPageList::UpdateLRU(TABSPage* Page) {
  const int32_t index = LowerBound(Page->PageNo());
  if (index >= ItemCount || ValueItems[index].Page != Page) raise(errors::kSortedListPageNotFound);
  ValueItems[index].LRUCount = ++LRUCount;
}

TABSPage* TABSSortedPageList::PageAfterStamp(int64_t Stamp) {
  const TABSPageElement* best = nullptr;
  for (int32_t i = 0; i < ItemCount; ++i) {
    const TABSPageElement& element = ValueItems[i];
    if (element.LRUCount > Stamp && (!best || element.LRUCount < best->LRUCount)) best = &element;
  }
  if (!best) return nullptr;
  LRULastFound = best->LRUCount;
  return best->Page;
}

TABSPage* TABSSortedPageList::FirstByLRU() {
  return PageAfterStamp(std::numeric_limits<int64_t>::min());
}

TABSPage* TABSSortedPageList::NextByLRU() { return PageAfterStamp(LRULastFound); }

// --- TABSPageManager ------------------------------------------------------------------------

TABSSessionPageInfo::TABSSessionPageInfo(int32_t Session) : SessionID(Session) {
  AddedPageNumbers.reserve(100);
  RemovedPageNumbers.reserve(100);
}

int32_t TABSPageManager::CacheCapacityFor(uint64_t AvailablePhysicalMemory) {
  return static_cast<int32_t>(
      std::min<uint64_t>(AvailablePhysicalMemory / kMemoryPerCachedPage, kMaxCacheCapacity));
}

int32_t TABSPageManager::DefaultCacheCapacity() {
  return CacheCapacityFor(GetAvailablePhysicalMemory());
}

TABSPageManager::TABSPageManager(int32_t CacheCapacity)
    : FCacheCapacity(std::max(CacheCapacity, 0)) {}

TABSPageManager::~TABSPageManager() = default;

int32_t TABSPageManager::PageCount() { return FPageCount; }

bool TABSPageManager::IsPageUpToDate(int32_t /*SessionID*/, TABSPage* /*Page*/) { return false; }

void TABSPageManager::SetPageUpToDate(int32_t /*SessionID*/, TABSPage* /*Page*/) {}

void TABSPageManager::LoadFromStream(TABSStream& /*Stream*/) {}

void TABSPageManager::SaveToStream(TABSStream& /*Stream*/) {}

int32_t TABSPageManager::InternalReadPageState(int32_t /*PageNo*/) { return kInvalidPageState; }

void TABSPageManager::SetPageSize(uint16_t PageSize, uint16_t PageHeaderSize) {
  FPageSize = PageSize;
  FPageHeaderSize = PageHeaderSize;
  FPageDataSize = static_cast<uint16_t>(PageSize - PageHeaderSize);
}

void TABSPageManager::CheckSessionID(int32_t SessionID) {
  if (SessionID == kInvalidSessionID || SessionID < kSystemSessionID)
    raise(errors::kPageManagerInvalidSessionID);
}

TABSSessionPageInfo* TABSPageManager::FindSession(int32_t SessionID) const {
  for (const auto& session : FSessions)
    if (session->SessionID == SessionID) return session.get();
  return nullptr;
}

TABSSessionPageInfo& TABSPageManager::FindOrCreateSession(int32_t SessionID) {
  if (TABSSessionPageInfo* session = FindSession(SessionID)) return *session;
  FSessions.push_back(std::make_unique<TABSSessionPageInfo>(SessionID));
  return *FSessions.back();
}

const TABSSortedPageList* TABSPageManager::SessionDirtyPages(int32_t SessionID) const {
  const TABSSessionPageInfo* session = FindSession(SessionID);
  return session ? &session->DirtyPages : nullptr;
}

bool TABSPageManager::HasChanges(int32_t SessionID) const {
  const TABSSessionPageInfo* session = FindSession(SessionID);
  return session && (!session->RemovedPageNumbers.empty() || !session->AddedPageNumbers.empty() ||
                     session->DirtyPages.Count() > 0);
}

TABSPage* TABSPageManager::CreatePage() {
  auto page = std::make_unique<TABSPage>(this);
  TABSPage* link = page.get();
  FPageObjects.emplace(link, std::move(page));
  return link;
}

void TABSPageManager::FreePage(TABSPage* Page) { FPageObjects.erase(Page); }

// Takes a page of that number out of the shared list: freed when nobody pins it, otherwise
// left to its holder, and freed (or kept as a change of its session) when the last pin goes.
void TABSPageManager::DetachFromSharedList(int32_t PageNo) {
  TABSPage* page = FSharedPages.Find(PageNo);
  if (!page) return;
  FSharedPages.Delete(PageNo);
  if (page->FUseCount > 0)
    page->FParentList = nullptr;
  else
    FreePage(page);
}

// A written page replaces any copy another session read before the write.
void TABSPageManager::InsertIntoSharedList(TABSPage* Page) {
  DetachFromSharedList(Page->FPageNo);
  if (FSharedPages.Count() < FCacheCapacity) {
    Page->FParentList = &FSharedPages;
    FSharedPages.Insert(Page);
  } else {
    FreePage(Page);
  }
}

// --- Getting and adding pages ---

TABSPage* TABSPageManager::GetPage(int32_t SessionID, int32_t PageNo, uint16_t PageType,
                                   bool SynchronizeAllowed) {
  CheckSessionID(SessionID);
  TABSSessionPageInfo& session = FindOrCreateSession(SessionID);
  TABSPage* page = session.DirtyPages.Find(PageNo);
  if (!page) {
    page = FSharedPages.Find(PageNo);
    if (!page) {
      page = ReadSharedPage(SessionID, PageNo, PageType);
    } else {
      if (page->FUseCount > 0 && page->FSessionID != SessionID)
        raise(errors::kPageUsedByOtherSession);
      // A page pinned by this session is in use: its content must not change under it.
      if (SynchronizeAllowed && page->FUseCount == 0 && !IsPageUpToDate(SessionID, page))
        RevalidateSharedPage(SessionID, page, PageType);
    }
  }
  page->FSessionID = SessionID;
  ++page->FUseCount;
  return page;
}

TABSPage* TABSPageManager::ReadSharedPage(int32_t SessionID, int32_t PageNo, uint16_t PageType) {
  TABSPage* page = CreatePage();
  page->FPageNo = PageNo;
  page->FSessionID = SessionID;
  page->FParentList = &FSharedPages;
  FSharedPages.Insert(page);
  bool read = false;
  try {
    read = InternalReadPage(page);
  } catch (...) {
    // A page that got content (a checksum failure) stays cached as read.
    if (!page->FPageBuffer) {
      FSharedPages.Delete(PageNo);
      FreePage(page);
    }
    throw;
  }
  if (!read) {
    // Not kept: the next GetPage tries the storage again.
    FSharedPages.Delete(PageNo);
    FreePage(page);
    raise(errors::kPageReadError, {PageNo, PageType});
  }
  const uint16_t storedType = page->GetPageType();
  if (!FIgnoreCRCErrors && PageType != kAnyPageType && PageType != storedType)
    raise(errors::kStoredPageTypeMismatch, {PageType, storedType});
  SetPageUpToDate(SessionID, page);
  return page;
}

void TABSPageManager::RevalidateSharedPage(int32_t SessionID, TABSPage* Page, uint16_t PageType) {
  if (!Page->Synchronize()) {
    const int32_t pageNo = Page->FPageNo;
    FSharedPages.Delete(pageNo);
    FreePage(Page);
    raise(errors::kPageReadError, {pageNo, PageType});
  }
  SetPageUpToDate(SessionID, Page);
}

TABSPage* TABSPageManager::AddPage(int32_t SessionID, uint16_t PageType) {
  CheckSessionID(SessionID);
  TABSSessionPageInfo& session = FindOrCreateSession(SessionID);
  TABSPage* page = CreatePage();
  try {
    InternalAddPage(page);
  } catch (...) {
    FreePage(page);
    throw;
  }
  if (page->FPageNo == -1) {
    FreePage(page);
    raise(errors::kInvalidNewPageNumber);
  }
  if (!page->FPageBuffer) page->AllocPageBuffer();
  page->FUseCount = 1;
  page->FIsDirty = true;
  page->FReloaded = false;
  page->SetPageType(PageType);
  page->SetPageState(Random(kMaxInitialPageState + 1));
  page->FSessionID = SessionID;
  DetachFromSharedList(page->FPageNo);
  page->FParentList = &session.DirtyPages;
  session.DirtyPages.Insert(page);
  session.AddedPageNumbers.push_back(page->FPageNo);
  return page;
}

// --- Putting pages back ---

void TABSPageManager::PutPage(TABSPage* Page) {
  if (Page->FUseCount > 0) --Page->FUseCount;
  if (Page->FUseCount == 0) {
    Page->FReloaded = false;
    if (!Page->FParentList) {
      ReleaseToList(Page);
      return;
    }
    if (Page->FParentList == &FSharedPages) {
      if (Page->FIsDirty) {
        FSharedPages.Delete(Page->FPageNo);
        ReleaseToList(Page);
        return;
      }
      FSharedPages.UpdateLRU(Page);
    }
  }
  if (Page->FParentList == &FSharedPages && FSharedPages.Count() > FCacheCapacity) EvictPages();
}

// An unpinned page outside every list: a dirty one joins its session's change set, a clean
// one is no longer wanted.
void TABSPageManager::ReleaseToList(TABSPage* Page) {
  if (!Page->FIsDirty) {
    FreePage(Page);
    return;
  }
  TABSSortedPageList& dirty = FindOrCreateSession(Page->FSessionID).DirtyPages;
  if (dirty.Find(Page->FPageNo)) {  // the change set already holds a copy of its own
    FreePage(Page);
    return;
  }
  Page->FParentList = &dirty;
  dirty.Insert(Page);
}

void TABSPageManager::EvictPages() {
  TABSPage* page = FSharedPages.FirstByLRU();
  while (page && FSharedPages.Count() > FCacheCapacity) {
    if (page->FUseCount == 0) {
      FSharedPages.Delete(page->FPageNo);
      FreePage(page);
    }
    page = FSharedPages.NextByLRU();
  }
}

// --- Removing, applying, cancelling ---

void TABSPageManager::RemovePage(int32_t SessionID, int32_t PageNo) {
  CheckSessionID(SessionID);
  std::vector<int32_t>& removed = FindOrCreateSession(SessionID).RemovedPageNumbers;
  if (std::find(removed.begin(), removed.end(), PageNo) == removed.end()) removed.push_back(PageNo);
}

void TABSPageManager::CheckSessionPagesReleased(int32_t SessionID) const {
  for (int32_t i = 0; i < FSharedPages.Count(); ++i) {
    const TABSPage* page = FSharedPages.Item(i);
    if (page->FSessionID == SessionID && page->FUseCount > 0)
      raise(errors::kSessionPagesNotReleased);
  }
  if (const TABSSessionPageInfo* session = FindSession(SessionID)) {
    for (int32_t i = 0; i < session->DirtyPages.Count(); ++i)
      if (session->DirtyPages.Item(i)->FUseCount > 0) raise(errors::kSessionPagesNotReleased);
  }
}

void TABSPageManager::ApplyChanges(int32_t SessionID) {
  CheckSessionID(SessionID);
  CheckSessionPagesReleased(SessionID);
  TABSSessionPageInfo* session = FindSession(SessionID);
  if (!session) return;
  RemoveRecordedPages(*session);
  session->RemovedPageNumbers.clear();
  session->AddedPageNumbers.clear();
  WriteDirtyPages(*session);
}

void TABSPageManager::RemoveRecordedPages(TABSSessionPageInfo& Session) {
  std::vector<int32_t>& removed = Session.RemovedPageNumbers;
  size_t done = 0;
  try {
    for (; done < removed.size(); ++done) {
      const int32_t pageNo = removed[done];
      InternalRemovePage(pageNo);
      if (TABSPage* page = Session.DirtyPages.Find(pageNo)) {
        Session.DirtyPages.Delete(pageNo);
        FreePage(page);
      }
      DetachFromSharedList(pageNo);
    }
  } catch (...) {
    // The pages already freed must not be freed again by a second attempt.
    removed.erase(removed.begin(), removed.begin() + static_cast<ptrdiff_t>(done));
    throw;
  }
}

void TABSPageManager::WriteDirtyPages(TABSSessionPageInfo& Session) {
  TABSSortedPageList& dirty = Session.DirtyPages;
  while (dirty.Count() > 0) {
    TABSPage* page = dirty.Item(0);
    if (!page->FIsDirty) raise(errors::kApplyInvalidPage);
    if (page->FUseCount > 0) raise(errors::kCannotWriteUsedPage);
    InternalWritePage(page);
    page->FIsDirty = false;
    dirty.Delete(page->FPageNo);
    InsertIntoSharedList(page);
  }
}

void TABSPageManager::CancelChanges(int32_t SessionID) {
  CheckSessionID(SessionID);
  TABSSessionPageInfo* session = FindSession(SessionID);
  if (!session) return;
  TABSSortedPageList& dirty = session->DirtyPages;
  while (dirty.Count() > 0) {
    TABSPage* page = dirty.Item(0);
    if (!page->FIsDirty) raise(errors::kCancelInvalidIndexPage);
    if (page->FUseCount > 0) raise(errors::kCannotRemoveUsedPage);
    dirty.Delete(page->FPageNo);
    FreePage(page);
  }
  std::vector<int32_t>& added = session->AddedPageNumbers;
  size_t done = 0;
  try {
    for (; done < added.size(); ++done) InternalRemovePage(added[done]);
  } catch (...) {
    added.erase(added.begin(), added.begin() + static_cast<ptrdiff_t>(done));
    throw;
  }
  added.clear();
  session->RemovedPageNumbers.clear();
}

void TABSPageManager::FreeAllPages() {
  for (const auto& session : FSessions)
    if (session->DirtyPages.Count() > 0) raise(errors::kCannotFreeNonCommittedPages);
  FSessions.clear();
  FSharedPages.Clear();
  FPageObjects.clear();
}

}  // namespace zev
