#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVPage.h"
#include "tests/engine/storage/EngineErrorOf.h"

namespace {

using namespace zev;

using TBytes = std::vector<uint8_t>;

constexpr uint16_t kPageSize = 128;
constexpr size_t kHeader = TABSDiskPageHeader::Size;

int32_t int32At(const TBytes& Bytes, size_t Offset) {
  int32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | Bytes[Offset + static_cast<size_t>(i)];
  return value;
}

// A page manager over an in-memory "file": page numbers come from a free list (last freed
// first) and then from a counter; every storage call is recorded.
class TMemoryPageManager : public TABSPageManager {
 public:
  explicit TMemoryPageManager(int32_t Capacity = kMaxCacheCapacity) : TABSPageManager(Capacity) {
    SetPageSize(kPageSize);
  }

  // Stores a page in the file: a default header with that type and state, data bytes Fill.
  void PutInFile(int32_t PageNo, uint16_t Type, uint8_t Fill, int32_t State = 7) {
    TBytes bytes(kPageSize, Fill);
    TABSDiskPageHeader header;
    header.PageType = Type;
    header.State = State;
    header.Store(bytes.data());
    File[PageNo] = bytes;
  }
  uint8_t FileData(int32_t PageNo) const { return File.at(PageNo)[kHeader]; }
  int32_t FileState(int32_t PageNo) const {
    return int32At(File.at(PageNo), TABSDiskPageHeader::StateOffset);
  }

  std::map<int32_t, TBytes> File;
  std::set<int32_t> Unreadable;
  std::vector<int32_t> FreeNumbers;
  int32_t NextNumber = 2;
  std::vector<int32_t> Reads, Writes, Frees;
  int StateReads = 0;
  bool UpToDate = false;
  bool GiveNoNumber = false;

  using TABSPageManager::CheckSessionPagesReleased;

 protected:
  void InternalAddPage(TABSPage* aPage) override {
    if (GiveNoNumber) return;
    int32_t pageNo = NextNumber;
    if (FreeNumbers.empty()) {
      ++NextNumber;
    } else {
      pageNo = FreeNumbers.back();
      FreeNumbers.pop_back();
    }
    aPage->SetPageNo(pageNo);
    aPage->AllocPageBuffer();
  }

  void InternalRemovePage(int32_t PageNo) override {
    Frees.push_back(PageNo);
    FreeNumbers.push_back(PageNo);
    auto it = File.find(PageNo);
    if (it != File.end()) {
      TABSDiskPageHeader header;
      header.Load(it->second.data());
      header.State = kInvalidPageState;
      header.Store(it->second.data());
    }
  }

  bool InternalReadPage(TABSPage* aPage) override {
    if (!aPage->PageBuffer()) aPage->AllocPageBuffer();
    Reads.push_back(aPage->PageNo());
    aPage->SetReloaded(true);
    auto it = File.find(aPage->PageNo());
    if (it == File.end() || Unreadable.count(aPage->PageNo())) {
      aPage->SetPageState(kInvalidPageState);
      return false;
    }
    std::memcpy(aPage->PageBuffer(), it->second.data(), kPageSize);
    return true;
  }

  void InternalWritePage(TABSPage* aPage) override {
    aPage->SetPageState(NextPageState(aPage->GetPageState()));
    File[aPage->PageNo()].assign(aPage->PageBuffer(), aPage->PageBuffer() + kPageSize);
    Writes.push_back(aPage->PageNo());
  }

  int32_t InternalReadPageState(int32_t PageNo) override {
    ++StateReads;
    auto it = File.find(PageNo);
    return it == File.end() ? kInvalidPageState
                            : int32At(it->second, TABSDiskPageHeader::StateOffset);
  }

  bool IsPageUpToDate(int32_t /*SessionID*/, TABSPage* /*Page*/) override { return UpToDate; }
};

// Reads a page, sets its first data byte and gives it back as a change of the session.
void changePage(TABSPageManager& Manager, int32_t SessionID, int32_t PageNo, uint8_t Value) {
  TABSPinnedPage page(Manager.GetPage(SessionID, PageNo));
  page->PageData()[0] = Value;
  page->SetIsDirty(true);
}

uint8_t dataSeenBy(TABSPageManager& Manager, int32_t SessionID, int32_t PageNo) {
  TABSPinnedPage page(Manager.GetPage(SessionID, PageNo));
  return page->PageData()[0];
}

// --- Header, page types, stamps -------------------------------------------------------------

TEST(PageHeader, FieldsAtTheirOffsets) {
  TABSDiskPageHeader header;
  header.State = 0x11223344;
  header.PageType = 0x5566;
  header.NextPageNo = -2;
  header.CRC32 = 0xA1B2C3D4;
  header.CRCType = 1;
  header.HashType = 2;
  header.Cipherype = 3;
  header.MACType = 4;
  header.ObjectID = 0x01020304;
  header.RecordID = {0x0A0B0C0D, 0x0E0F};
  TBytes bytes(TABSDiskPageHeader::Size, 0xEE);
  header.Store(bytes.data());

  const TBytes expected = {'A',  'B',  'S',  'P',  0x44, 0x33, 0x22, 0x11, 0x66, 0x55,
                           0xFE, 0xFF, 0xFF, 0xFF, 0xD4, 0xC3, 0xB2, 0xA1, 1,    2,
                           3,    4,    0x04, 0x03, 0x02, 0x01, 0x0D, 0x0C, 0x0B, 0x0A,
                           0x0F, 0x0E, 0,    0,    0,    0,    0,    0,    0,    0};
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(TABSPageItemID::Size, 6u);

  TABSDiskPageHeader loaded;
  loaded.Load(bytes.data());
  TBytes again(TABSDiskPageHeader::Size);
  loaded.Store(again.data());
  EXPECT_EQ(again, expected);
}

TEST(PageHeader, PageTypeNamesAndChecks) {
  const std::vector<std::pair<uint16_t, std::string>> names = {
      {ptUnknown, "Unknown Page"},
      {ptEmpty, "Empty Page"},
      {ptEAM, "EAM Page"},
      {ptPFS, "PFS Page"},
      {ptFileSystemDirectory, "FileSystemDirectory Page"},
      {ptActiveSessionList, "ActiveSessionList Page"},
      {ptTableList, "TableList Page"},
      {ptTableLocks, "TableLocks Page"},
      {ptTableMetaData, "TableMetaData Page"},
      {ptTableMostUpdated, "TableMostUpdated Page"},
      {ptTableRecord, "TableRecord Page"},
      {ptTableBlob, "TableBlob Page"},
      {ptTableIndex, "TableIndex Page"}};
  for (const auto& [code, name] : names) EXPECT_EQ(PageTypeName(code), name) << code;
  EXPECT_EQ(errorOf([] { PageTypeName(13); }), "Unknown Page Type: (13) - Native error: 30382");

  EXPECT_EQ(errorOf([] { CheckPageType(ptPFS, ptPFS, 30424); }), "");
  EXPECT_EQ(errorOf([] { CheckPageType(ptPFS, ptEAM, 30424); }),
            "Wrong page type. Found 'PFS Page', but expecting: 'EAM Page' - Native error: 30424");
}

TEST(PageHeader, NextPageStateWrapsBeforeTheReservedStamps) {
  const std::vector<std::pair<int32_t, int32_t>> cases = {
      {0, 1},          {0x3FFFFFFE, 0x3FFFFFFF}, {0x7FFFFFFB, 0x7FFFFFFC},
      {0x7FFFFFFC, 0}, {0x7FFFFFFD, 0},          {kInvalidPageState, 0},
      {-5, 0}};
  for (const auto& [state, next] : cases) EXPECT_EQ(NextPageState(state), next) << state;
}

// --- TABSPage --------------------------------------------------------------------------------

TEST(Page, NewBufferIsZeroedWithAnInitialisedHeader) {
  TMemoryPageManager manager;
  TABSPage page(&manager);
  EXPECT_EQ(page.PageNo(), -1);
  EXPECT_EQ(page.PageBuffer(), nullptr);
  EXPECT_TRUE(page.OwnBuffer());
  EXPECT_TRUE(page.EncryptionEnabled());
  EXPECT_FALSE(page.Reloaded());

  page.AllocPageBuffer();
  TBytes bytes(page.PageBuffer(), page.PageBuffer() + kPageSize);
  TBytes expected(kPageSize, 0);
  TABSDiskPageHeader().Store(expected.data());
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(page.GetNextPageNo(), -1);
  EXPECT_EQ(page.GetObjectID(), -1);
  EXPECT_EQ(page.LoadHeader().RecordID.PageNo, -1);
  EXPECT_EQ(page.PageData(), page.PageBuffer() + kHeader);
  EXPECT_EQ(page.PageDataSize(), kPageSize - kHeader);

  page.ClearPageBuffer();
  EXPECT_EQ(TBytes(page.PageBuffer(), page.PageBuffer() + kPageSize), TBytes(kPageSize, 0));
}

TEST(Page, EnlargePageBuffer) {
  TMemoryPageManager manager;
  TABSPage page(&manager);
  EXPECT_EQ(errorOf([&] { page.EnlargePageBuffer(2 * kPageSize); }),
            "Invalid page buffer. Buffer is Nil - Native error: 20038");

  page.AllocPageBuffer();
  page.PageData()[5] = 0x5A;
  EXPECT_EQ(errorOf([&] { page.EnlargePageBuffer(kPageSize - 1); }),
            "Invalid page modification - Native error: 20039");
  page.EnlargePageBuffer(2 * kPageSize);
  EXPECT_EQ(page.PageBufferSize(), 2u * kPageSize);
  EXPECT_EQ(page.PageData()[5], 0x5A);
  EXPECT_EQ(page.PageBuffer()[2 * kPageSize - 1], 0);

  // A borrowed buffer is copied, and the original stays as it was.
  TBytes borrowed(kPageSize, 0x33);
  TABSPage view(&manager);
  view.SetPageBuffer(borrowed.data());
  EXPECT_FALSE(view.OwnBuffer());
  view.EnlargePageBuffer(kPageSize + 10);
  EXPECT_TRUE(view.OwnBuffer());
  EXPECT_NE(view.PageBuffer(), borrowed.data());
  EXPECT_EQ(view.PageBuffer()[kPageSize - 1], 0x33);
  EXPECT_EQ(view.PageBuffer()[kPageSize], 0);
  view.PageBuffer()[0] = 0;
  EXPECT_EQ(borrowed[0], 0x33);
}

TEST(Page, TableStatesPerSession) {
  TMemoryPageManager manager;
  TABSPage page(&manager);
  int32_t state = -1;
  EXPECT_FALSE(page.GetTableState(kSystemSessionID, state));
  page.SetTableState(3, 42);
  EXPECT_TRUE(page.GetTableState(3, state));
  EXPECT_EQ(state, 42);
  // The entries the array grew by are unassigned; sessions beyond it have none.
  EXPECT_FALSE(page.GetTableState(kSystemSessionID, state));
  EXPECT_FALSE(page.GetTableState(1, state));
  EXPECT_FALSE(page.GetTableState(4, state));
  page.SetTableState(kSystemSessionID, 7);
  EXPECT_TRUE(page.GetTableState(kSystemSessionID, state));
  EXPECT_EQ(state, 7);
}

// --- TABSSortedPageList ----------------------------------------------------------------------

struct TPagePool {
  explicit TPagePool(int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
      Pages.push_back(std::make_unique<TABSPage>(&Manager));
      Pages.back()->SetPageNo(i);
    }
  }
  TABSPage* operator[](int32_t PageNo) { return Pages[static_cast<size_t>(PageNo)].get(); }
  TMemoryPageManager Manager;
  std::vector<std::unique_ptr<TABSPage>> Pages;
};

TEST(SortedPageList, FindsByBinarySearchAndKeepsPageNumberOrder) {
  TPagePool pool(40);
  TABSSortedPageList list;
  const std::vector<int32_t> inserted = {17, 3, 39, 0, 25, 8, 31, 12, 20, 5};
  for (int32_t pageNo : inserted) list.Insert(pool[pageNo]);
  ASSERT_EQ(list.Count(), 10);
  for (int32_t i = 1; i < list.Count(); ++i)
    EXPECT_LT(list.Item(i - 1)->PageNo(), list.Item(i)->PageNo());
  for (int32_t pageNo = 0; pageNo < 40; ++pageNo) {
    const bool present = std::find(inserted.begin(), inserted.end(), pageNo) != inserted.end();
    EXPECT_EQ(list.Find(pageNo), present ? pool[pageNo] : nullptr) << pageNo;
  }
  list.Delete(17);
  list.Delete(0);
  list.Delete(39);
  EXPECT_EQ(list.Find(17), nullptr);
  EXPECT_EQ(list.Find(0), nullptr);
  EXPECT_EQ(list.Find(25), pool[25]);
  EXPECT_EQ(list.Count(), 7);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.AllocItemCount(), 0);
  EXPECT_EQ(pool[25]->PageNo(), 25);  // pages are not freed
}

TEST(SortedPageList, MisuseErrors) {
  TPagePool pool(8);
  TABSSortedPageList list;
  EXPECT_EQ(errorOf([&] { list.Delete(1); }),
            "TSortedPageList.Delete - no elements in array! - Native error: 20165");
  EXPECT_EQ(errorOf([&] { list.UpdateLRU(pool[1]); }), "Page not found - Native error: 20167");
  list.Insert(pool[2]);
  list.Insert(pool[6]);
  EXPECT_EQ(errorOf([&] { list.Delete(4); }),
            "TSortedPageList.Delete - element not found, key = 4, itemCount = 2 - Native error: "
            "20166");
  list.Delete(6);
  EXPECT_EQ(errorOf([&] { list.Delete(4); }),
            "TSortedPageList.Delete - element not found, key = 4, itemCount = 1 - Native error: "
            "20166");
  EXPECT_EQ(list.Find(2), pool[2]);
  // Another object with a listed number is not the listed page.
  TABSPage other(&pool.Manager);
  other.SetPageNo(2);
  EXPECT_EQ(errorOf([&] { list.UpdateLRU(&other); }), "Page not found - Native error: 20167");
}

TEST(SortedPageList, WalksInStampOrderAndSurvivesDeletionDuringTheWalk) {
  TPagePool pool(10);
  TABSSortedPageList list;
  EXPECT_EQ(list.FirstByLRU(), nullptr);
  for (int32_t pageNo : {5, 1, 9, 3, 7}) list.Insert(pool[pageNo]);
  list.UpdateLRU(pool[1]);
  list.UpdateLRU(pool[5]);
  // Stamp order now: 9, 3, 7, 1, 5.
  std::vector<int32_t> walked;
  for (TABSPage* page = list.FirstByLRU(); page; page = list.NextByLRU()) {
    walked.push_back(page->PageNo());
    if (page->PageNo() == 3) list.Delete(3);
  }
  EXPECT_EQ(walked, (std::vector<int32_t>{9, 3, 7, 1, 5}));
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.FirstByLRU(), pool[9]);
}

TEST(SortedPageList, GrowsAndShrinksInDoublingSteps) {
  constexpr int32_t kPages = 15001;
  TPagePool pool(kPages);
  TABSSortedPageList list;
  // Count reached -> entries allocated: 1000 entries, then +2000, +4000, +8000, +10000 (cap).
  const std::vector<std::pair<int32_t, int32_t>> growth = {
      {1, 1000},    {1000, 1000},  {1001, 3000},   {3000, 3000},  {3001, 7000},
      {7000, 7000}, {7001, 15000}, {15000, 15000}, {15001, 25000}};
  int32_t next = 0;
  for (const auto& [count, allocated] : growth) {
    while (next < count) list.Insert(pool[next++]);
    EXPECT_EQ(list.AllocItemCount(), allocated) << "count " << count;
  }
  EXPECT_EQ(list.AllocByStep(), 10000);

  // Shrinking reallocates to the exact count once more than deAllocBy (1000, 2000, 4000,
  // 8000, then 10000) entries would be unused.
  const std::vector<std::pair<int32_t, int32_t>> shrink = {
      {15000, 15000}, {13000, 15000}, {12999, 12999}, {8999, 12999},
      {8998, 8998},   {998, 8998},    {997, 997},     {1, 997}};
  for (const auto& [count, allocated] : shrink) {
    while (list.Count() > count) list.Delete(list.Item(list.Count() - 1)->PageNo());
    EXPECT_EQ(list.AllocItemCount(), allocated) << "count " << count;
  }
  for (int32_t i = 0; i < list.Count(); ++i) EXPECT_EQ(list.Find(i), pool[i]);
  list.Delete(0);
  EXPECT_EQ(list.AllocItemCount(), 0);
}

// --- TABSPageManager: capacity and eviction --------------------------------------------------

TEST(PageManager, CacheCapacityFromAvailableMemory) {
  const std::vector<std::pair<uint64_t, int32_t>> cases = {{0, 0},
                                                           {65535, 0},
                                                           {65536, 1},
                                                           {65536ull * 10 + 65535, 10},
                                                           {65536ull * 1000, 1000},
                                                           {65536ull * 1001, 1000},
                                                           {64ull << 30, 1000}};
  for (const auto& [memory, capacity] : cases)
    EXPECT_EQ(TABSPageManager::CacheCapacityFor(memory), capacity) << memory;
  const int32_t defaultCapacity = TABSPageManager::DefaultCacheCapacity();
  EXPECT_GE(defaultCapacity, 0);
  EXPECT_LE(defaultCapacity, kMaxCacheCapacity);
}

TEST(PageManager, FullCacheEvictsThePageReleasedFirst) {
  TMemoryPageManager manager(1000);
  for (int32_t pageNo = 2; pageNo < 1003; ++pageNo) manager.PutInFile(pageNo, ptTableRecord, 1);
  for (int32_t pageNo = 2; pageNo < 1003; ++pageNo) manager.PutPage(manager.GetPage(0, pageNo));
  EXPECT_EQ(manager.SharedPages().Count(), 1000);
  EXPECT_EQ(manager.SharedPages().Find(2), nullptr);
  EXPECT_NE(manager.SharedPages().Find(3), nullptr);
  EXPECT_NE(manager.SharedPages().Find(1002), nullptr);
  manager.Reads.clear();
  manager.PutPage(manager.GetPage(0, 3));  // cached: no read
  manager.PutPage(manager.GetPage(0, 2));  // evicted: read again, and now 4 goes
  EXPECT_EQ(manager.Reads, (std::vector<int32_t>{2}));
  EXPECT_EQ(manager.SharedPages().Find(4), nullptr);
  EXPECT_NE(manager.SharedPages().Find(3), nullptr);
}

TEST(PageManager, EvictionFollowsReleaseOrderAndSkipsPinnedPages) {
  TMemoryPageManager manager(2);
  for (int32_t pageNo = 11; pageNo < 15; ++pageNo) manager.PutInFile(pageNo, ptTableRecord, 1);
  const TABSSortedPageList& shared = manager.SharedPages();
  TABSPage* p11 = manager.GetPage(0, 11);
  TABSPage* p12 = manager.GetPage(0, 12);
  manager.PutPage(p12);  // released first, although read last
  manager.PutPage(p11);
  manager.PutPage(manager.GetPage(0, 13));
  EXPECT_EQ(shared.Count(), 2);
  EXPECT_EQ(shared.Find(12), nullptr);
  EXPECT_NE(shared.Find(11), nullptr);

  TABSPinnedPage held(manager.GetPage(0, 11));  // the least recently released, but pinned
  manager.PutPage(manager.GetPage(0, 14));
  EXPECT_EQ(shared.Count(), 2);
  EXPECT_EQ(shared.Find(13), nullptr);
  EXPECT_EQ(shared.Find(11), held.Get());
  EXPECT_NE(shared.Find(14), nullptr);
}

// --- Getting pages --------------------------------------------------------------------------

TEST(PageManager, GetPageReadsOncePinsAndReleases) {
  TMemoryPageManager manager;
  manager.PutInFile(5, ptTableRecord, 0x41);
  TABSPage* page = manager.GetPage(3, 5, ptTableRecord);
  EXPECT_EQ(page->PageNo(), 5);
  EXPECT_EQ(page->UseCount(), 1);
  EXPECT_EQ(page->SessionID(), 3);
  EXPECT_TRUE(page->Reloaded());
  EXPECT_FALSE(page->IsDirty());
  EXPECT_EQ(page->PageData()[0], 0x41);
  EXPECT_EQ(page->ParentList(), &manager.SharedPages());
  EXPECT_EQ(manager.GetPage(3, 5), page);  // a second pin of the same session
  EXPECT_EQ(page->UseCount(), 2);
  manager.PutPage(page);
  EXPECT_TRUE(page->Reloaded());
  manager.PutPage(page);
  EXPECT_EQ(page->UseCount(), 0);
  EXPECT_FALSE(page->Reloaded());
  EXPECT_EQ(manager.GetPage(4, 5), page);
  manager.PutPage(page);
  EXPECT_EQ(manager.Reads, (std::vector<int32_t>{5}));
}

TEST(PageManager, PageTypeChecks) {
  struct TCase {
    uint16_t Expected;
    bool IgnoreCRCErrors;
    std::string Error;
  };
  const std::vector<TCase> cases = {
      {ptTableRecord, false, ""},
      {kAnyPageType, false, ""},
      {ptTableIndex, true, ""},
      {ptTableIndex, false,
       "Invalid page type. Possible data corruption. Expecting type 12, but found 10 - "
       "Native error: 20153"}};
  for (const TCase& c : cases) {
    TMemoryPageManager manager;
    manager.PutInFile(5, ptTableRecord, 1);
    manager.SetIgnoreCRCErrors(c.IgnoreCRCErrors);
    EXPECT_EQ(errorOf([&] { manager.PutPage(manager.GetPage(0, 5, c.Expected)); }), c.Error)
        << c.Expected;
    // Either way the page is cached as read and not pinned.
    ASSERT_NE(manager.SharedPages().Find(5), nullptr);
    EXPECT_EQ(manager.SharedPages().Find(5)->UseCount(), 0);
  }
}

TEST(PageManager, FailedReadRaisesAndIsTriedAgain) {
  TMemoryPageManager manager;
  manager.PutInFile(9, ptTableRecord, 0x17);
  manager.Unreadable.insert(9);
  EXPECT_EQ(errorOf([&] { manager.GetPage(0, 9, ptTableRecord); }),
            "Error reading database file page. Page No: 9, type 10 - Native error: 20299");
  EXPECT_EQ(manager.SharedPages().Count(), 0);
  manager.Unreadable.clear();
  EXPECT_EQ(dataSeenBy(manager, 0, 9), 0x17);
  EXPECT_EQ(manager.Reads, (std::vector<int32_t>{9, 9}));
}

TEST(PageManager, PageFromAnotherSessionIsRefusedUntilReleased) {
  TMemoryPageManager manager;
  manager.PutInFile(5, ptTableRecord, 1);
  TABSPinnedPage owner(manager.GetPage(0, 5));
  for (bool synchronize : {true, false}) {
    EXPECT_EQ(errorOf([&] { manager.GetPage(1, 5, kAnyPageType, synchronize); }),
              "Page is used by other session - Native error: 20090");
  }
  EXPECT_EQ(owner->SessionID(), 0);
  EXPECT_EQ(owner->UseCount(), 1);
  owner.Release();
  TABSPage* page = manager.GetPage(1, 5);
  EXPECT_EQ(page->SessionID(), 1);
  manager.PutPage(page);
}

TEST(PageManager, InvalidSessionNumbers) {
  TMemoryPageManager manager;
  manager.PutInFile(5, ptTableRecord, 1);
  const std::string error = "Invalid Session ID - Native error: 20186";
  for (int32_t session : {-1, -3}) {
    EXPECT_EQ(errorOf([&] { manager.GetPage(session, 5); }), error);
    EXPECT_EQ(errorOf([&] { manager.AddPage(session, ptTableRecord); }), error);
    EXPECT_EQ(errorOf([&] { manager.RemovePage(session, 5); }), error);
    EXPECT_EQ(errorOf([&] { manager.ApplyChanges(session); }), error);
    EXPECT_EQ(errorOf([&] { manager.CancelChanges(session); }), error);
  }
  EXPECT_TRUE(manager.Reads.empty());
  EXPECT_EQ(dataSeenBy(manager, kSystemSessionID, 5), 1);
}

TEST(PageManager, EachSessionSeesItsOwnChanges) {
  TMemoryPageManager manager;
  manager.PutInFile(5, ptTableRecord, 0x10);
  changePage(manager, 0, 5, 0xA0);
  EXPECT_EQ(manager.SharedPages().Find(5), nullptr);
  EXPECT_NE(manager.SessionDirtyPages(0)->Find(5), nullptr);
  EXPECT_EQ(dataSeenBy(manager, 1, 5), 0x10);  // read from the file for session 1
  changePage(manager, 2, 5, 0xB0);
  EXPECT_EQ(dataSeenBy(manager, 0, 5), 0xA0);
  EXPECT_EQ(dataSeenBy(manager, 2, 5), 0xB0);
  EXPECT_EQ(dataSeenBy(manager, 1, 5), 0x10);
  EXPECT_EQ(manager.FileData(5), 0x10);

  manager.ApplyChanges(0);
  EXPECT_EQ(manager.FileData(5), 0xA0);
  // Session 1's copy, read before the write, gave way to the written page.
  manager.Reads.clear();
  EXPECT_EQ(dataSeenBy(manager, 1, 5), 0xA0);
  EXPECT_TRUE(manager.Reads.empty());
  EXPECT_EQ(dataSeenBy(manager, 2, 5), 0xB0);
  manager.CancelChanges(2);
  EXPECT_EQ(dataSeenBy(manager, 2, 5), 0xA0);
}

TEST(PageManager, ApplyLeavesACopyPinnedByAnotherSessionToItsHolder) {
  TMemoryPageManager manager;
  manager.PutInFile(5, ptTableRecord, 0x10);
  changePage(manager, 0, 5, 0xA0);
  TABSPinnedPage reader(manager.GetPage(1, 5));
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.FileData(5), 0xA0);
  EXPECT_EQ(reader->PageData()[0], 0x10);  // the holder's copy does not change under it
  reader.Release();
  EXPECT_EQ(dataSeenBy(manager, 1, 5), 0xA0);
}

TEST(PageManager, SynchronizeRereadsOnlyPagesChangedInTheFile) {
  TMemoryPageManager manager;
  manager.SetMultiUser(true);
  manager.PutInFile(5, ptTableRecord, 0x10, 100);
  EXPECT_EQ(dataSeenBy(manager, 0, 5), 0x10);
  // Same stamp in the file: one 4-byte state read, no page read.
  manager.File[5][kHeader] = 0x20;
  manager.Reads.clear();
  EXPECT_EQ(dataSeenBy(manager, 0, 5), 0x10);
  EXPECT_EQ(manager.StateReads, 1);
  EXPECT_TRUE(manager.Reads.empty());
  // A new stamp: the page is read again.
  manager.PutInFile(5, ptTableRecord, 0x30, 101);
  EXPECT_EQ(dataSeenBy(manager, 0, 5), 0x30);
  EXPECT_EQ(manager.Reads, (std::vector<int32_t>{5}));
  // No look at the file when not allowed or when the page is known to be current.
  manager.PutInFile(5, ptTableRecord, 0x40, 102);
  manager.PutPage(manager.GetPage(0, 5, kAnyPageType, false));
  manager.UpToDate = true;
  EXPECT_EQ(dataSeenBy(manager, 0, 5), 0x30);
  EXPECT_EQ(manager.StateReads, 2);
  // A freed page's stamp is taken over without a read.
  manager.UpToDate = false;
  manager.PutInFile(5, ptTableRecord, 0x50, kInvalidPageState);
  TABSPinnedPage page(manager.GetPage(0, 5));
  EXPECT_EQ(page->PageData()[0], 0x30);
  EXPECT_EQ(page->GetPageState(), kInvalidPageState);
  EXPECT_EQ(manager.Reads, (std::vector<int32_t>{5}));
}

TEST(PageManager, SingleUserPagesAreNotSynchronized) {
  TMemoryPageManager manager;
  manager.PutInFile(5, ptTableRecord, 0x10, 100);
  EXPECT_EQ(dataSeenBy(manager, 0, 5), 0x10);
  manager.PutInFile(5, ptTableRecord, 0x30, 101);
  EXPECT_EQ(dataSeenBy(manager, 0, 5), 0x10);
  EXPECT_EQ(manager.StateReads, 0);
}

// --- Adding, applying, cancelling -----------------------------------------------------------

TEST(PageManager, AddPageGivesAPinnedDirtyPageOfTheSession) {
  TMemoryPageManager manager;
  TABSPage* page = manager.AddPage(4, ptTableIndex);
  EXPECT_EQ(page->PageNo(), 2);
  EXPECT_EQ(page->UseCount(), 1);
  EXPECT_TRUE(page->IsDirty());
  EXPECT_FALSE(page->Reloaded());
  EXPECT_EQ(page->SessionID(), 4);
  EXPECT_EQ(page->GetPageType(), ptTableIndex);
  EXPECT_GE(page->GetPageState(), 0);
  EXPECT_LE(page->GetPageState(), kMaxInitialPageState);
  EXPECT_EQ(page->GetObjectID(), -1);
  EXPECT_EQ(page->ParentList(), manager.SessionDirtyPages(4));
  EXPECT_EQ(manager.GetPage(4, 2), page);  // its own change, no read
  EXPECT_TRUE(manager.Reads.empty());
  manager.PutPage(page);
  manager.PutPage(page);
  EXPECT_TRUE(manager.HasChanges(4));
  // Another session does not see it: it reads the file, where the page does not exist yet.
  EXPECT_NE(errorOf([&] { manager.GetPage(5, 2); }), "");

  const int32_t state = page->GetPageState();
  manager.ApplyChanges(4);
  EXPECT_EQ(manager.Writes, (std::vector<int32_t>{2}));
  EXPECT_EQ(manager.FileState(2), state + 1);
  EXPECT_EQ(int32At(manager.File[2], TABSDiskPageHeader::PageTypeOffset) & 0xFFFF, ptTableIndex);
  EXPECT_FALSE(manager.HasChanges(4));
}

TEST(PageManager, AddPageWithoutAPageNumber) {
  TMemoryPageManager manager;
  manager.GiveNoNumber = true;
  EXPECT_EQ(errorOf([&] { manager.AddPage(0, ptTableRecord); }),
            "Invalid page number - Native error: 20064");
  EXPECT_FALSE(manager.HasChanges(0));
}

TEST(PageManager, AddedPageReplacesAStaleCachedCopyOfItsNumber) {
  TMemoryPageManager manager;
  manager.PutInFile(2, ptTableRecord, 0x10);
  EXPECT_EQ(dataSeenBy(manager, 1, 2), 0x10);  // cached, then the number is freed elsewhere
  TABSPinnedPage added(manager.AddPage(0, ptTableBlob));
  EXPECT_EQ(added->PageNo(), 2);
  EXPECT_EQ(manager.SharedPages().Find(2), nullptr);
  EXPECT_EQ(added->PageData()[0], 0);
}

TEST(PageManager, CancelledAddedPageIsHandedOutAgain) {
  TMemoryPageManager manager;
  manager.PutInFile(7, ptTableRecord, 0x10);
  manager.PutPage(manager.AddPage(0, ptTableRecord));
  changePage(manager, 0, 7, 0x99);
  manager.RemovePage(0, 7);
  manager.CancelChanges(0);
  EXPECT_EQ(manager.Frees, (std::vector<int32_t>{2}));  // the added page; the removal is forgotten
  EXPECT_FALSE(manager.HasChanges(0));
  EXPECT_TRUE(manager.Writes.empty());
  EXPECT_EQ(dataSeenBy(manager, 0, 7), 0x10);
  TABSPinnedPage again(manager.AddPage(0, ptTableRecord));
  EXPECT_EQ(again->PageNo(), 2);
}

TEST(PageManager, ApplyWritesChangedPagesInPageNumberOrder) {
  TMemoryPageManager manager;
  for (int32_t pageNo : {3, 6, 9}) manager.PutInFile(pageNo, ptTableRecord, 1);
  for (int32_t pageNo : {9, 3, 6}) changePage(manager, 0, pageNo, 0x70);
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.Writes, (std::vector<int32_t>{3, 6, 9}));
  for (int32_t pageNo : {3, 6, 9}) {
    EXPECT_EQ(manager.FileData(pageNo), 0x70);
    const TABSPage* cached = manager.SharedPages().Find(pageNo);
    ASSERT_NE(cached, nullptr);
    EXPECT_FALSE(cached->IsDirty());
  }
  EXPECT_EQ(manager.SessionDirtyPages(0)->Count(), 0);
}

TEST(PageManager, ApplyBeyondTheCapacityFreesTheWrittenPages) {
  TMemoryPageManager manager(1);
  for (int32_t pageNo : {3, 6}) manager.PutInFile(pageNo, ptTableRecord, 1);
  for (int32_t pageNo : {3, 6}) changePage(manager, 0, pageNo, 0x70);
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.SharedPages().Count(), 1);
  EXPECT_NE(manager.SharedPages().Find(3), nullptr);
  EXPECT_EQ(dataSeenBy(manager, 0, 6), 0x70);
}

TEST(PageManager, ApplyWithAPinnedPageWritesNothing) {
  struct TCase {
    const char* Name;
    bool PinAddedPage;
  };
  for (const TCase& c : {TCase{"pinned from the cache", false}, TCase{"pinned added", true}}) {
    TMemoryPageManager manager;
    manager.PutInFile(3, ptTableRecord, 0x10);
    manager.PutInFile(8, ptTableRecord, 0x10);
    changePage(manager, 0, 3, 0x55);
    manager.RemovePage(0, 8);
    TABSPinnedPage pinned(c.PinAddedPage ? manager.AddPage(0, ptTableRecord)
                                         : manager.GetPage(0, 8));
    const auto fileBefore = manager.File;
    EXPECT_EQ(errorOf([&] { manager.ApplyChanges(0); }),
              "Some session pages not released - Native error: 20152")
        << c.Name;
    EXPECT_EQ(manager.File, fileBefore);
    EXPECT_TRUE(manager.Writes.empty());
    EXPECT_TRUE(manager.Frees.empty());
    EXPECT_EQ(dataSeenBy(manager, 0, 3), 0x55);
    // Released, the same change set applies in full.
    pinned.Release();
    manager.ApplyChanges(0);
    EXPECT_EQ(manager.FileData(3), 0x55);
    EXPECT_EQ(manager.Frees, (std::vector<int32_t>{8}));
  }
}

TEST(PageManager, EmptyChangeSetWritesNothing) {
  TMemoryPageManager manager;
  manager.PutInFile(3, ptTableRecord, 0x10);
  manager.ApplyChanges(0);                     // never used
  EXPECT_EQ(dataSeenBy(manager, 0, 3), 0x10);  // used, nothing changed
  EXPECT_FALSE(manager.HasChanges(0));
  const auto fileBefore = manager.File;
  manager.ApplyChanges(0);
  manager.CancelChanges(0);
  EXPECT_EQ(manager.File, fileBefore);
  EXPECT_TRUE(manager.Writes.empty());
  EXPECT_TRUE(manager.Frees.empty());
}

TEST(PageManager, RemovePageFreesItWhenApplied) {
  TMemoryPageManager manager(10);
  for (int32_t pageNo : {3, 4}) manager.PutInFile(pageNo, ptTableRecord, 0x10);
  changePage(manager, 0, 3, 0x20);             // a change that the removal drops
  EXPECT_EQ(dataSeenBy(manager, 1, 4), 0x10);  // a clean copy in the cache
  manager.RemovePage(0, 3);
  manager.RemovePage(0, 4);
  manager.RemovePage(0, 3);  // recorded once
  EXPECT_TRUE(manager.HasChanges(0));
  EXPECT_EQ(dataSeenBy(manager, 0, 3), 0x20);  // still there until applied
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.Frees, (std::vector<int32_t>{3, 4}));
  EXPECT_TRUE(manager.Writes.empty());
  EXPECT_EQ(manager.SharedPages().Count(), 0);
  EXPECT_EQ(manager.SessionDirtyPages(0)->Count(), 0);
  EXPECT_EQ(manager.FileState(3), kInvalidPageState);
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.Frees.size(), 2u);
}

TEST(PageManager, ApplyStopsAtAPageThatIsNoLongerDirty) {
  TMemoryPageManager manager;
  TABSPage* first = manager.AddPage(0, ptTableRecord);
  TABSPage* second = manager.AddPage(0, ptTableRecord);
  manager.PutPage(first);
  second->SetIsDirty(false);
  manager.PutPage(second);
  EXPECT_EQ(errorOf([&] { manager.ApplyChanges(0); }), "Invalid page - Native error: 20085");
  EXPECT_EQ(manager.Writes, (std::vector<int32_t>{2}));
  EXPECT_NE(manager.SharedPages().Find(2), nullptr);
  EXPECT_EQ(manager.SessionDirtyPages(0)->Count(), 1);
  EXPECT_EQ(errorOf([&] { manager.CancelChanges(0); }), "Invalid index page - Native error: 20087");
}

TEST(PageManager, CancelRefusesAPinnedPage) {
  TMemoryPageManager manager;
  TABSPinnedPage page(manager.AddPage(0, ptTableRecord));
  EXPECT_EQ(errorOf([&] { manager.CancelChanges(0); }),
            "Cannot remove used page - Native error: 20088");
  EXPECT_TRUE(manager.Frees.empty());
  page.Release();
  manager.CancelChanges(0);
  EXPECT_EQ(manager.Frees, (std::vector<int32_t>{2}));
}

TEST(PageManager, FreeAllPagesRefusesUncommittedPages) {
  TMemoryPageManager manager;
  manager.PutInFile(3, ptTableRecord, 0x10);
  manager.PutInFile(4, ptTableRecord, 0x10);
  changePage(manager, 2, 3, 0x20);
  EXPECT_EQ(dataSeenBy(manager, 1, 4), 0x10);
  EXPECT_EQ(errorOf([&] { manager.FreeAllPages(); }),
            "Cannot free non-commited pages - Native error: 20097");
  EXPECT_EQ(dataSeenBy(manager, 2, 3), 0x20);
  manager.ApplyChanges(2);
  manager.FreeAllPages();
  EXPECT_EQ(manager.SharedPages().Count(), 0);
  EXPECT_EQ(manager.SessionDirtyPages(2), nullptr);
}

// --- Views and guards -----------------------------------------------------------------------

TEST(PageController, ForwardsToThePageAndTheGuardGivesThePinBack) {
  TMemoryPageManager manager;
  manager.PutInFile(5, ptTableRecord, 0x10);
  TABSPinnedPage pinned(manager.GetPage(0, 5));
  TABSPage* page = pinned.Get();
  TABSPageController view(page);
  EXPECT_EQ(view.PageNo(), 5);
  EXPECT_EQ(view.PageSize(), kPageSize);
  EXPECT_EQ(view.PageData(), page->PageData());
  EXPECT_EQ(view.PageDataSize(), kPageSize - kHeader);
  EXPECT_EQ(view.PageManager(), &manager);
  EXPECT_EQ(view.UseCount(), 1);
  view.SetIsDirty(true);
  EXPECT_TRUE(page->IsDirty());
  view.EnlargePageBuffer(kPageSize * 2);
  EXPECT_EQ(page->PageBufferSize(), kPageSize * 2u);

  TABSPinnedPage moved(std::move(pinned));
  EXPECT_FALSE(pinned);
  EXPECT_EQ(page->UseCount(), 1);
  { TABSPinnedPage last(std::move(moved)); }
  // Released dirty: now a change of session 0, and written back as PageSize bytes.
  EXPECT_EQ(page->UseCount(), 0);
  EXPECT_EQ(manager.SessionDirtyPages(0)->Find(5), page);
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.File[5].size(), kPageSize);
}

TEST(PageManager, PinnedPagesCheck) {
  TMemoryPageManager manager;
  manager.PutInFile(5, ptTableRecord, 0x10);
  TABSPinnedPage page(manager.GetPage(1, 5));
  EXPECT_EQ(errorOf([&] { manager.CheckSessionPagesReleased(0); }), "");
  EXPECT_EQ(errorOf([&] { manager.CheckSessionPagesReleased(1); }),
            "Some session pages not released - Native error: 20152");
}

}  // namespace
