// The page cache base of the engine: the page header, the in-memory page TABSPage, the
// typed-view base TABSPageController and the pin guard TABSPinnedPage, the sorted page list
// TABSSortedPageList and the abstract page manager TABSPageManager with its per-session
// change sets.
//
// A caller gets a page with GetPage or AddPage, which pins it, changes its data (setting
// IsDirty), gives it back with PutPage (or lets a TABSPinnedPage do it), and finally applies or
// cancels its session's changes. Every page a session creates, changes or removes stays in the
// session's change set, invisible to other sessions, until ApplyChanges writes it.
//
// Ownership: the manager owns every page object it creates (FPageObjects); the sorted lists
// only link them, so a page moves between the shared list and a session's dirty list without
// changing owner. A page owns its buffer unless it was handed a borrowed one. A page object
// made by someone else (the free-space manager's map pages) belongs to its maker.
//
// Locking: the manager has a critical section (CSect) that none of its operations enters;
// callers serialise all work on one manager through the critical sections of the database and
// table objects. Nothing here is safe for concurrent use without that.
//
// Errors: EABSException with the page texts of ZEVErrorCodes.h (20038, 20039, 20064, 20085 to
// 20090, 20097, 20152, 20153, 20165 to 20167, 20186, 20299, 30382 and the wrong-type text with
// the caller's code); the storage hooks of a subclass raise their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVOSServices.h"

namespace zev {

class TABSStream;
class TABSPageManager;
class TABSSortedPageList;

// Session numbers: -2 the system session, -1 never valid, 0 and up connected sessions.
inline constexpr int32_t kSystemSessionID = -2;
inline constexpr int32_t kInvalidSessionID = -1;

// GetPage's expected type that accepts every stored type.
inline constexpr uint16_t kAnyPageType = 255;

// Page State stamps: a fresh page gets a random value in 0..kMaxInitialPageState; every write
// advances it (NextPageState); kInvalidPageState marks a freed page on disk or a failed read
// in memory.
inline constexpr int32_t kMaxInitialPageState = 0x3FFFFFFE;
inline constexpr int32_t kMaxWrittenPageState = 0x7FFFFFFC;
inline constexpr int32_t kInvalidPageState = 0x7FFFFFFF;

// The stamp a page gets when it is written: State + 1, restarting at 0 after
// kMaxWrittenPageState. A stamp outside 0..kMaxWrittenPageState (a failed read, a page taken
// over from the file after another process freed it) also restarts at 0, so a written page
// always carries a stamp in 0..kMaxWrittenPageState.
int32_t NextPageState(int32_t State);

// The cache holds at most this many clean pages, fewer when the system has less than
// kMaxCacheCapacity * kMemoryPerCachedPage bytes of available physical memory.
inline constexpr int32_t kMaxCacheCapacity = 1000;
inline constexpr uint64_t kMemoryPerCachedPage = 65536;

// Page type codes of the header's PageType field.
enum TABSPageType : uint16_t {
  ptUnknown = 0,
  ptEmpty = 1,
  ptEAM = 2,
  ptPFS = 3,
  ptFileSystemDirectory = 4,
  ptActiveSessionList = 5,
  ptTableList = 6,
  ptTableLocks = 7,
  ptTableMetaData = 8,
  ptTableMostUpdated = 9,
  ptTableRecord = 10,
  ptTableBlob = 11,
  ptTableIndex = 12,
};

// The name shown in messages ("TableRecord Page"); a code above ptTableIndex raises 30382.
AnsiString PageTypeName(uint16_t PageType);
// Raises "Wrong page type. Found '...', but expecting: '...'" with NativeError when the two
// differ.
void CheckPageType(uint16_t FoundType, uint16_t ExpectedType, int NativeError);

// A row reference: page number and slot (6 bytes, little-endian, packed).
struct TABSPageItemID {
  int32_t PageNo = -1;
  uint16_t PageItemNo = 0;

  static constexpr size_t Size = 6;
  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;
};

// The header at the start of every page (40 bytes, little-endian, packed):
//
//   offset  0  Signature    4 bytes  "ABSP"
//   offset  4  State        int32    version stamp (see NextPageState)
//   offset  8  PageType     uint16   TABSPageType
//   offset 10  NextPageNo   int32    next page of a chain, -1 when none
//   offset 14  CRC32        uint32   checksum of the plain data area of an encrypted page
//   offset 18  CRCType      uint8    0
//   offset 19  HashType     uint8    0
//   offset 20  Cipherype    uint8    TABSCryptoAlgorithm of an encrypted data area
//   offset 21  MACType      uint8    0
//   offset 22  ObjectID     int32    owning table, index or BLOB store, -1 initially
//   offset 26  RecordID     TABSPageItemID (PageNo -1, PageItemNo 0 initially)
//   offset 32  Reserved     8 bytes  zero
struct TABSDiskPageHeader {
  static constexpr std::array<char, 4> kSignature{'A', 'B', 'S', 'P'};
  static constexpr size_t SignatureOffset = 0;
  static constexpr size_t StateOffset = 4;
  static constexpr size_t PageTypeOffset = 8;
  static constexpr size_t NextPageNoOffset = 10;
  static constexpr size_t CRC32Offset = 14;
  static constexpr size_t CRCTypeOffset = 18;
  static constexpr size_t HashTypeOffset = 19;
  static constexpr size_t CipherypeOffset = 20;
  static constexpr size_t MACTypeOffset = 21;
  static constexpr size_t ObjectIDOffset = 22;
  static constexpr size_t RecordIDOffset = 26;
  static constexpr size_t ReservedOffset = 32;

  std::array<char, 4> Signature = kSignature;
  int32_t State = 0;
  uint16_t PageType = ptUnknown;
  int32_t NextPageNo = -1;
  uint32_t CRC32 = 0;
  uint8_t CRCType = 0;
  uint8_t HashType = 0;
  uint8_t Cipherype = 0;
  uint8_t MACType = 0;
  int32_t ObjectID = -1;
  TABSPageItemID RecordID;

  static constexpr size_t Size = 40;
  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;  // writes the reserved bytes as zero
};

// The engine's page-buffer allocation: every buffer comes zero-filled.
class TABSMemoryManager {
 public:
  static std::unique_ptr<uint8_t[]> AllocZeroed(size_t Size);
};

// The table state a page was last validated for, per session.
struct TABSPageTableStateInfo {
  int32_t TableState = 0;
  bool IsTableStateValueAssigned = false;
};

// One page in memory. Its buffer holds PageSize bytes (more after EnlargePageBuffer): the
// header (PageHeaderSize bytes) and the data area. The use count, parent list and session are
// kept by the manager.
class TABSPage {
 public:
  // Page number -1, no buffer, own buffer, clean, unpinned, not reloaded, encryption enabled.
  explicit TABSPage(TABSPageManager* PageManager);
  TABSPage(const TABSPage&) = delete;
  TABSPage& operator=(const TABSPage&) = delete;

  // A fresh zeroed own buffer of PageSize bytes with an initialised header.
  void AllocPageBuffer();
  // Signature "ABSP", State 0, PageType 0, NextPageNo -1, CRC32 and type bytes 0, ObjectID -1,
  // RecordID (-1, 0), reserved bytes zero. Requires: a buffer.
  void InitHeader();
  // Zero-fills the whole buffer, header included. Requires: a buffer.
  void ClearPageBuffer();
  void FreeAndNilPageBuffer();
  // Grows the buffer to NewSize bytes (the extra bytes are zero and never written to the
  // file); a borrowed buffer is first copied into an own one. Raises 20038 without a buffer,
  // 20039 when NewSize is below the page size.
  void EnlargePageBuffer(size_t NewSize);
  // Uses Buffer (at least PageSize bytes, kept alive by its owner) without owning it.
  void SetPageBuffer(uint8_t* Buffer);

  // Brings a cached page up to date with the file in multi-user mode: when the file's State
  // stamp is kInvalidPageState or the cached one, the cached header takes it and the content
  // stays; otherwise the page is read again. Answers false when that read failed. Does
  // nothing (true) in single-user mode.
  bool Synchronize();

  // False when no state was ever recorded for the session, otherwise the recorded state and
  // whether it was assigned.
  bool GetTableState(int32_t SessionID, int32_t& TableState) const;
  void SetTableState(int32_t SessionID, int32_t TableState);

  int32_t PageNo() const { return FPageNo; }
  void SetPageNo(int32_t PageNo) { FPageNo = PageNo; }
  uint16_t PageSize() const;
  uint16_t PageHeaderSize() const;
  uint16_t PageDataSize() const;
  uint8_t* PageBuffer() const { return FPageBuffer; }
  size_t PageBufferSize() const { return FPageBuffer ? FBufferSize : 0; }
  bool OwnBuffer() const { return FOwnBuffer; }
  uint8_t* PageHeader() const { return FPageBuffer; }
  uint8_t* PageData() const { return FPageBuffer ? FPageBuffer + PageHeaderSize() : nullptr; }
  bool IsDirty() const { return FIsDirty; }
  void SetIsDirty(bool IsDirty) { FIsDirty = IsDirty; }
  int32_t UseCount() const { return FUseCount; }
  TABSPageManager* PageManager() const { return LPageManager; }
  const TABSSortedPageList* ParentList() const { return FParentList; }
  int32_t SessionID() const { return FSessionID; }
  void SetSessionID(int32_t SessionID) { FSessionID = SessionID; }
  bool Reloaded() const { return FReloaded; }
  void SetReloaded(bool Reloaded) { FReloaded = Reloaded; }
  bool EncryptionEnabled() const { return FEncryptionEnabled; }
  void SetEncryptionEnabled(bool Enabled) { FEncryptionEnabled = Enabled; }

  // The header fields the layers above use most, read and written in the buffer.
  // Requires: a buffer.
  int32_t GetPageState() const;
  void SetPageState(int32_t State);
  uint16_t GetPageType() const;
  void SetPageType(uint16_t PageType);
  int32_t GetNextPageNo() const;
  void SetNextPageNo(int32_t PageNo);
  int32_t GetObjectID() const;
  void SetObjectID(int32_t ObjectID);
  TABSDiskPageHeader LoadHeader() const;
  void StoreHeader(const TABSDiskPageHeader& Header);

 private:
  friend class TABSPageManager;

  TABSPageManager* LPageManager;
  int32_t FPageNo = -1;
  uint8_t* FPageBuffer = nullptr;  // FOwnedBuffer.get() or a borrowed buffer
  std::unique_ptr<uint8_t[]> FOwnedBuffer;
  size_t FBufferSize = 0;
  bool FOwnBuffer = true;
  bool FIsDirty = false;
  int32_t FUseCount = 0;
  TABSSortedPageList* FParentList = nullptr;
  int32_t FSessionID = kInvalidSessionID;
  bool FReloaded = false;
  bool FEncryptionEnabled = true;
  std::vector<TABSPageTableStateInfo> FTableStates;  // indexed by session number + 2
};

// Base of the typed page views (record, index and BLOB pages): a link to a page and the page's
// properties. The view neither pins nor owns the page.
class TABSPageController {
 public:
  explicit TABSPageController(TABSPage* Page = nullptr) : LPage(Page) {}
  virtual ~TABSPageController() = default;
  TABSPageController(const TABSPageController&) = delete;
  TABSPageController& operator=(const TABSPageController&) = delete;

  TABSPage* Page() const { return LPage; }
  void SetPage(TABSPage* Page) { LPage = Page; }

  // Requires: a page.
  int32_t PageNo() const { return LPage->PageNo(); }
  uint16_t PageSize() const { return LPage->PageSize(); }
  uint8_t* PageBuffer() const { return LPage->PageBuffer(); }
  bool OwnBuffer() const { return LPage->OwnBuffer(); }
  bool IsDirty() const { return LPage->IsDirty(); }
  void SetIsDirty(bool IsDirty) { LPage->SetIsDirty(IsDirty); }
  int32_t UseCount() const { return LPage->UseCount(); }
  TABSPageManager* PageManager() const { return LPage->PageManager(); }
  uint8_t* PageData() const { return LPage->PageData(); }
  uint16_t PageDataSize() const { return LPage->PageDataSize(); }
  void EnlargePageBuffer(size_t NewSize) { LPage->EnlargePageBuffer(NewSize); }

 protected:
  TABSPage* LPage;
};

// Holds one pin of a page and gives it back (PutPage of the page's manager) when it goes.
// Movable, not copyable.
class TABSPinnedPage {
 public:
  TABSPinnedPage() = default;
  // Takes over the pin GetPage or AddPage gave on Page (null holds nothing).
  explicit TABSPinnedPage(TABSPage* Page) : LPage(Page) {}
  ~TABSPinnedPage() { Release(); }
  TABSPinnedPage(TABSPinnedPage&& Other) noexcept : LPage(Other.Detach()) {}
  TABSPinnedPage& operator=(TABSPinnedPage&& Other) noexcept;
  TABSPinnedPage(const TABSPinnedPage&) = delete;
  TABSPinnedPage& operator=(const TABSPinnedPage&) = delete;

  TABSPage* Get() const { return LPage; }
  TABSPage* operator->() const { return LPage; }
  explicit operator bool() const { return LPage != nullptr; }
  // Gives the pin back now.
  void Release();
  // Stops holding the pin without giving it back; the caller calls PutPage.
  TABSPage* Detach() {
    TABSPage* page = LPage;
    LPage = nullptr;
    return page;
  }

 private:
  TABSPage* LPage = nullptr;
};

struct TABSPageElement {
  TABSPage* Page = nullptr;
  int64_t LRUCount = 0;
};

// Pages sorted by page number in two parallel arrays searched by binary search, each entry
// with the stamp of the last Insert or UpdateLRU that touched it. Links only: no operation
// frees a page. At most one page per page number.
//
// The arrays grow by AllocBy entries, AllocBy doubling from 1000 up to 10000 on each growth,
// and shrink to the exact count only when more than deAllocBy entries would be unused,
// deAllocBy doubling the same way; an empty list frees them.
class TABSSortedPageList {
 public:
  static constexpr int32_t kInitialAllocBy = 1000;
  static constexpr int32_t kMaxAllocBy = 10000;

  // Size: entries allocated at once (the list starts empty).
  explicit TABSSortedPageList(int32_t Size = 0);
  TABSSortedPageList(const TABSSortedPageList&) = delete;
  TABSSortedPageList& operator=(const TABSSortedPageList&) = delete;

  TABSPage* Find(int32_t Key) const;  // null when absent
  // Requires: no page with the same number in the list.
  void Insert(TABSPage* Page);
  // Raises 20165 on an empty list, 20166 when the number is absent.
  void Delete(int32_t PageNo);
  void Clear();
  // A fresh stamp for Page; raises 20167 when it is not in the list.
  void UpdateLRU(TABSPage* Page);
  // The page with the smallest stamp, then at each NextByLRU the one with the next larger
  // stamp; null at the end. Deleting pages during the walk is allowed.
  TABSPage* FirstByLRU();
  TABSPage* NextByLRU();

  int32_t Count() const { return ItemCount; }
  TABSPage* Item(int32_t Index) const { return ValueItems[Index].Page; }  // by page number
  int32_t AllocItemCount() const { return static_cast<int32_t>(KeyItems.size()); }
  int32_t AllocByStep() const { return AllocBy; }
  int32_t DeAllocByStep() const { return deAllocBy; }

 private:
  void SetSize(int32_t NewSize);
  void Reallocate(int32_t NewAllocCount);
  int32_t LowerBound(int32_t Key) const;
  TABSPage* PageAfterStamp(int64_t Stamp);

  std::vector<int32_t> KeyItems;
  std::vector<TABSPageElement> ValueItems;
  int32_t ItemCount = 0;
  int32_t AllocBy = kInitialAllocBy;
  int32_t deAllocBy = kInitialAllocBy;
  int32_t MaxAllocBy = kMaxAllocBy;
  int64_t LRUCount = 0;
  int64_t LRULastFound = 0;
};

// The change set of one session: pages it changed or added, and the page numbers it added and
// removed, in the order recorded.
struct TABSSessionPageInfo {
  explicit TABSSessionPageInfo(int32_t Session);

  int32_t SessionID;
  TABSSortedPageList DirtyPages;
  std::vector<int32_t> AddedPageNumbers;
  std::vector<int32_t> RemovedPageNumbers;
};

// The page cache with per-session change sets, over storage hooks a subclass implements
// (InternalAddPage, InternalRemovePage, InternalReadPage, InternalWritePage and, for
// multi-user validity, InternalReadPageState, IsPageUpToDate and SetPageUpToDate).
class TABSPageManager {
 public:
  // Pages worth of available physical memory (bytes / 65536), at most kMaxCacheCapacity.
  static int32_t CacheCapacityFor(uint64_t AvailablePhysicalMemory);
  static int32_t DefaultCacheCapacity();  // from GetAvailablePhysicalMemory()

  explicit TABSPageManager(int32_t CacheCapacity = DefaultCacheCapacity());
  virtual ~TABSPageManager();
  TABSPageManager(const TABSPageManager&) = delete;
  TABSPageManager& operator=(const TABSPageManager&) = delete;

  // The virtual operations, declared in their vtable slot order.
  virtual int32_t PageCount();
  // Whether a cached page may be used without looking at the file. Base: false.
  virtual bool IsPageUpToDate(int32_t SessionID, TABSPage* Page);
  // Records that the page is current for the session. Base: nothing.
  virtual void SetPageUpToDate(int32_t SessionID, TABSPage* Page);
  virtual void LoadFromStream(TABSStream& Stream);  // nothing here
  virtual void SaveToStream(TABSStream& Stream);    // nothing here

 protected:
  // --- Storage hooks ---
  // Gives aPage (fresh, number -1) a new page number and a buffer with an initialised header
  // (AllocPageBuffer); leaving the number at -1 makes AddPage raise 20064.
  virtual void InternalAddPage(TABSPage* aPage) = 0;
  // Frees the page number in the storage (back to the free-space map).
  virtual void InternalRemovePage(int32_t PageNo) = 0;
  // Reads page aPage->PageNo() into its buffer (allocating one when it has none), sets
  // Reloaded, and answers whether the read succeeded; a failed read leaves State
  // kInvalidPageState in the header. May raise (a checksum failure keeps the page cached).
  virtual bool InternalReadPage(TABSPage* aPage) = 0;
  // Advances the header State (NextPageState) and writes PageSize bytes of aPage.
  virtual void InternalWritePage(TABSPage* aPage) = 0;

 public:
  // Records PageNo as removed in the session's change set (once); the page is freed when
  // the changes are applied. Raises 20186 for an invalid session.
  virtual void RemovePage(int32_t SessionID, int32_t PageNo);
  // The pinned page as the session sees it: its own changed copy, else the shared cached copy
  // (re-validated when SynchronizeAllowed), else read from the storage. Raises 20186, 20299,
  // 20153 (not while IgnoreCRCErrors), 20090.
  virtual TABSPage* GetPage(int32_t SessionID, int32_t PageNo, uint16_t PageType = kAnyPageType,
                            bool SynchronizeAllowed = true);
  // Writes the session's changes: frees the removed pages, writes the changed ones in
  // ascending page-number order and moves them to the shared cache. Raises 20186, 20152
  // (nothing done), 20085 (the pages before it written).
  virtual void ApplyChanges(int32_t SessionID);

  // A new pinned dirty page of that type in the session's change set. Raises 20186, 20064.
  TABSPage* AddPage(int32_t SessionID, uint16_t PageType);
  // Unpins; a page released by its last pin goes to its session's change set when dirty, or
  // becomes the most recently used clean page, and the least recently released clean pages
  // beyond the capacity are freed. Requires: a page pinned through this manager.
  void PutPage(TABSPage* Page);
  // Drops the session's changes; the added page numbers go back to the storage. Raises 20186,
  // 20087 and 20088 (the pages before it freed).
  void CancelChanges(int32_t SessionID);
  // Frees every change set and every cached page; raises 20097 (nothing freed) while a
  // session has uncommitted pages. The destructor frees everything without checking.
  void FreeAllPages();

  // Whether the session has anything to apply (a removed, added or changed page).
  bool HasChanges(int32_t SessionID) const;

  uint16_t PageSize() const { return FPageSize; }
  uint16_t PageHeaderSize() const { return FPageHeaderSize; }
  uint16_t PageDataSize() const { return FPageDataSize; }
  bool MultiUser() const { return FMultiUser; }
  void SetMultiUser(bool MultiUser) { FMultiUser = MultiUser; }
  bool IgnoreCRCErrors() const { return FIgnoreCRCErrors; }
  void SetIgnoreCRCErrors(bool Ignore) { FIgnoreCRCErrors = Ignore; }
  int32_t CacheCapacity() const { return FCacheCapacity; }
  // Clean cached pages and pages pinned from the cache.
  const TABSSortedPageList& SharedPages() const { return FSharedPages; }
  // The session's changed pages; null when it has no change set.
  const TABSSortedPageList* SessionDirtyPages(int32_t SessionID) const;
  // Not entered by any operation here; see the file comment.
  TCriticalSection& CSect() { return FCSect; }

 protected:
  // The file's State stamp of PageNo, for Synchronize. Base: kInvalidPageState (no other
  // writer can have changed the page).
  virtual int32_t InternalReadPageState(int32_t PageNo);

  // PageSize bytes per page, PageHeaderSize of them the header.
  void SetPageSize(uint16_t PageSize, uint16_t PageHeaderSize = TABSDiskPageHeader::Size);
  void SetPageCount(int32_t PageCount) { FPageCount = PageCount; }
  // Raises 20152 when a page of the session is still pinned (in the shared cache or in its
  // change set). ApplyChanges checks this first; an override that writes anything before
  // calling the base (a commit header) checks it before that.
  void CheckSessionPagesReleased(int32_t SessionID) const;
  // Raises 20186 for a session number below -2 or -1.
  static void CheckSessionID(int32_t SessionID);

 private:
  friend class TABSPage;  // Synchronize uses the storage hooks

  TABSSessionPageInfo* FindSession(int32_t SessionID) const;
  TABSSessionPageInfo& FindOrCreateSession(int32_t SessionID);
  TABSPage* CreatePage();
  void FreePage(TABSPage* Page);
  TABSPage* ReadSharedPage(int32_t SessionID, int32_t PageNo, uint16_t PageType);
  void RevalidateSharedPage(int32_t SessionID, TABSPage* Page, uint16_t PageType);
  void DetachFromSharedList(int32_t PageNo);
  void InsertIntoSharedList(TABSPage* Page);
  void ReleaseToList(TABSPage* Page);
  void EvictPages();
  void RemoveRecordedPages(TABSSessionPageInfo& Session);
  void WriteDirtyPages(TABSSessionPageInfo& Session);

  TCriticalSection FCSect;
  int32_t FCacheCapacity;
  TABSSortedPageList FSharedPages;
  std::vector<std::unique_ptr<TABSSessionPageInfo>> FSessions;
  uint16_t FPageSize = 0;
  uint16_t FPageHeaderSize = TABSDiskPageHeader::Size;
  uint16_t FPageDataSize = 0;
  int32_t FPageCount = 0;
  bool FMultiUser = false;
  bool FIgnoreCRCErrors = false;
  // Every page object the manager made, whether in a list or detached while pinned.
  std::unordered_map<const TABSPage*, std::unique_ptr<TABSPage>> FPageObjects;
};

}  // namespace zev
