#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/ZEVDiskPageManager.h"
#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVFreeSpaceManager.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/support/TestSupport.h"

namespace {

using zev::TABSDatabaseFreeSpaceManager;
using zev::TABSDiskPageManager;
using zev::TABSDiskPageManagerSettings;
using zev::TABSPassword;

constexpr int64_t kFirstPageOffset = 380;
constexpr int32_t kPageHeaderSize = 40;
constexpr int32_t kPageTypeOffset = 8;

TABSDiskPageManagerSettings testSettings() {
  TABSDiskPageManagerSettings settings;
  settings.DBHeaderLockAttempts = 1;
  settings.ObjectIDLockAttempts = 1;
  settings.SleepFunction = [](uint32_t) {};
  settings.FreeSpaceManagerFactory = TABSDatabaseFreeSpaceManager::Factory();
  return settings;
}

std::string textOf(const std::string& Message, int Code) {
  char code[8];
  std::snprintf(code, sizeof code, "%.5d", Code);
  return Message + " - Native error: " + code;
}

class FreeSpaceManagerTest : public ::testing::Test {
 protected:
  void create(uint16_t PageSize = 4096, uint16_t ExtentPageCount = 8) {
    FPageSize = PageSize;
    FManager = std::make_unique<TABSDiskPageManager>(testSettings());
    FManager->CreateAndOpenDatabase(FPath, TABSPassword{}, PageSize, ExtentPageCount);
  }
  void reopen(bool MultiUser = false) {
    FManager->CloseDatabase();
    FManager = std::make_unique<TABSDiskPageManager>(testSettings());
    bool readOnly = false, repair = false, multiUser = MultiUser;
    FManager->OpenDatabase(FPath, TABSPassword{}, readOnly, repair, false, multiUser);
  }
  TABSDatabaseFreeSpaceManager& fsm() {
    return static_cast<TABSDatabaseFreeSpaceManager&>(*FManager->DatabaseFreeSpaceManager());
  }
  int32_t get() {
    const int32_t pageNo = fsm().GetPage(-1);
    FAllocated.insert(pageNo);
    return pageNo;
  }
  void free(int32_t PageNo) {
    fsm().FreePage(PageNo);
    FAllocated.erase(PageNo);
  }
  const zev::TABSDBHeader& header() { return FManager->DBHeader(); }
  std::string fileBytes() const { return testsupport::ReadFile(FPath); }
  int64_t pageOffset(int32_t PageNo) const {
    return kFirstPageOffset + static_cast<int64_t>(PageNo) * FPageSize;
  }
  // The PFS bit of PageNo, read straight from the file.
  bool pfsBit(const std::string& Bytes, int32_t PageNo) {
    const int32_t p = fsm().PFSPagePagesAddressed();
    const int64_t at = pageOffset(PageNo / p * p) + kPageHeaderSize + (PageNo % p) / 8;
    return (static_cast<uint8_t>(Bytes.at(at)) >> (PageNo % p % 8)) & 1;
  }
  // Every allocated page marked once, every other ordinary page of the file free, map pages in
  // use, and the header's LastUsedPageNo the highest allocated page.
  void expectMapsConsistent() {
    const std::string bytes = fileBytes();
    zev::TABSDBHeader onDisk;
    onDisk.Load(reinterpret_cast<const uint8_t*>(bytes.data()));
    ASSERT_EQ(static_cast<int64_t>(bytes.size()), pageOffset(onDisk.TotalPageCount));
    EXPECT_EQ(onDisk.LastUsedPageNo, FAllocated.empty() ? -1 : *FAllocated.rbegin());
    for (int32_t n = 0; n < onDisk.TotalPageCount; ++n) {
      const bool expected = fsm().IsMapPage(n) || FAllocated.count(n) > 0;
      ASSERT_EQ(pfsBit(bytes, n), expected) << "page " << n;
    }
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("test.abs");
  uint16_t FPageSize = 4096;
  std::unique_ptr<TABSDiskPageManager> FManager;
  std::set<int32_t> FAllocated;
};

// --- Geometry -----------------------------------------------------------------------------------

TEST_F(FreeSpaceManagerTest, MapPagePositionsFollowTheGeometry) {
  create(4096, 8);
  EXPECT_EQ(fsm().PFSPagePagesAddressed(), 32448);
  EXPECT_EQ(fsm().EAMPageExtentsAddressed(), 16224);
  EXPECT_EQ(fsm().EAMPagePagesAddressed(), 129792);
  const struct {
    int32_t PageNo;
    bool Map;
  } cases[] = {{0, true},      {1, true},      {2, false},      {32448, true}, {32449, false},
               {129792, true}, {129793, true}, {129794, false}, {-1, false}};
  for (const auto& c : cases) EXPECT_EQ(fsm().IsMapPage(c.PageNo), c.Map) << c.PageNo;
  // M = 4 P here: every EAM page gives way to the PFS page at its position.
  EXPECT_EQ(fsm().EAMPagePosition(0), 1);
  EXPECT_EQ(fsm().EAMPagePosition(1), 129793);
}

TEST_F(FreeSpaceManagerTest, EAMPageStandsOnItsOwnPositionWhenNoPFSPageIsThere) {
  // 9 data bytes, 1 page per extent: P = 72, M = 36.
  create(49, 1);
  EXPECT_EQ(fsm().EAMPagePosition(1), 36);
  EXPECT_EQ(fsm().EAMPagePosition(2), 73);
  for (int32_t n : {0, 1, 36, 72, 73, 108, 144, 145}) EXPECT_TRUE(fsm().IsMapPage(n)) << n;
  for (int32_t n : {2, 35, 37, 74, 109, 146}) EXPECT_FALSE(fsm().IsMapPage(n)) << n;
}

// --- Allocation ---------------------------------------------------------------------------------

TEST_F(FreeSpaceManagerTest, FirstAllocationsFollowTheWorkedExample) {
  create(4096, 8);
  EXPECT_EQ(fsm().AddPagesStep(), 6);
  EXPECT_EQ(get(), 2);
  EXPECT_EQ(header().TotalPageCount, 6);
  EXPECT_EQ(header().LastUsedPageNo, 2);
  std::string bytes = fileBytes();
  ASSERT_EQ(bytes.size(), 380u + 6 * 4096);
  EXPECT_EQ(zev::GetUInt16LE(reinterpret_cast<const uint8_t*>(bytes.data()) + pageOffset(0) +
                             kPageTypeOffset),
            zev::ptPFS);
  EXPECT_EQ(zev::GetUInt16LE(reinterpret_cast<const uint8_t*>(bytes.data()) + pageOffset(1) +
                             kPageTypeOffset),
            zev::ptEAM);
  EXPECT_EQ(static_cast<uint8_t>(bytes[pageOffset(0) + kPageHeaderSize]), 0x07);
  // Extent 0 has free pages: entry 1.
  EXPECT_EQ(static_cast<uint8_t>(bytes[pageOffset(1) + kPageHeaderSize]), 0x01);

  EXPECT_EQ(get(), 3);
  EXPECT_EQ(get(), 4);
  EXPECT_EQ(get(), 5);
  EXPECT_EQ(header().TotalPageCount, 6);
  // Bit 6 is clear but beyond the end of the file: the file grows by max(6 div 10, 8).
  EXPECT_EQ(get(), 6);
  EXPECT_EQ(header().TotalPageCount, 14);
  EXPECT_EQ(header().LastUsedPageNo, 6);
  expectMapsConsistent();
  EXPECT_EQ(get(), 7);
  // Extent 0 (pages 0 to 7) is now full; extent 1 was never computed.
  EXPECT_EQ(static_cast<uint8_t>(fileBytes()[pageOffset(1) + kPageHeaderSize]), 0x03);
}

TEST_F(FreeSpaceManagerTest, ReopenedFileGoesOnFromItsHeader) {
  create(4096, 8);
  for (int i = 0; i < 10; ++i) get();
  reopen();
  EXPECT_EQ(get(), 12);
  expectMapsConsistent();
}

// With 16 pages per extent and 9 data bytes, PFS pages cover 72 pages: extent 4 (pages 64 to
// 79) lies in PFS pages 0 and 1, and the later PFS page's hit wins.
TEST_F(FreeSpaceManagerTest, ExtentStraddlingTwoPFSPagesIsSearchedInBoth) {
  create(49, 16);
  ASSERT_EQ(fsm().PFSPagePagesAddressed(), 72);
  while (header().LastUsedPageNo < 90) get();
  expectMapsConsistent();
  EXPECT_EQ(FAllocated.count(72), 0u);  // PFS page 1
  free(70);
  free(75);
  expectMapsConsistent();
  EXPECT_EQ(get(), 75);
  const int32_t next = get();
  EXPECT_NE(next, 75);
  expectMapsConsistent();
}

// With one page per extent and 9 data bytes an EAM page covers 36 pages: map pages at 0, 1,
// 36, 72, 73, 108... The last EAM page is searched first.
TEST_F(FreeSpaceManagerTest, SearchStartsWithTheLastEAMPage) {
  create(49, 1);
  while (header().LastUsedPageNo < 85) get();
  EXPECT_TRUE(fsm().IsMapPage(36));
  EXPECT_TRUE(fsm().IsMapPage(73));
  EXPECT_EQ(FAllocated.count(36) + FAllocated.count(72) + FAllocated.count(73), 0u);
  expectMapsConsistent();
  free(10);
  free(80);
  EXPECT_EQ(get(), 80);
  // Page 10 comes back once the last EAM page has nothing left below the end of the file.
  bool seen10 = false;
  while (!seen10 && header().TotalPageCount < 400) seen10 = get() == 10;
  EXPECT_TRUE(seen10);
  expectMapsConsistent();
}

// --- Release ------------------------------------------------------------------------------------

TEST_F(FreeSpaceManagerTest, FreeingLowersLastUsedPageAndShrinksByWholeSteps) {
  create(4096, 8);
  for (int i = 0; i < 5; ++i) get();  // pages 2 to 6, 14 pages in the file
  free(3);
  EXPECT_EQ(header().LastUsedPageNo, 6);
  EXPECT_EQ(header().TotalPageCount, 14);
  // 14 - 5 - 1 = 8 free pages at the end: one step of 8.
  free(6);
  EXPECT_EQ(header().LastUsedPageNo, 5);
  EXPECT_EQ(header().TotalPageCount, 6);
  expectMapsConsistent();
  free(5);
  EXPECT_EQ(header().LastUsedPageNo, 4);
  EXPECT_EQ(header().TotalPageCount, 6);
  free(4);
  free(2);
  // Map pages 0 and 1 do not count: nothing is used. The step of a 6-page file is 8, so the
  // 6 free pages stay.
  EXPECT_EQ(header().LastUsedPageNo, -1);
  EXPECT_EQ(header().TotalPageCount, 6);
  expectMapsConsistent();
  // An empty map is not searched: the file grows by a step and the maps are made anew.
  EXPECT_EQ(get(), 2);
  EXPECT_EQ(header().TotalPageCount, 14);
  expectMapsConsistent();
}

TEST_F(FreeSpaceManagerTest, FreeingEveryPageLeavesLessThanAStepAtTheEnd) {
  create(512, 1);
  while (header().TotalPageCount < 30) get();
  const int32_t step = fsm().DelPagesStep();
  std::vector<int32_t> all(FAllocated.rbegin(), FAllocated.rend());
  for (int32_t n : all) free(n);
  EXPECT_EQ(header().LastUsedPageNo, -1);
  EXPECT_LT(header().TotalPageCount, std::max(step, 6));
  expectMapsConsistent();
}

TEST_F(FreeSpaceManagerTest, ShrinkCutsOnlyMultiplesOfTheStep) {
  create(512, 8);
  while (header().TotalPageCount < 200) get();
  const int32_t total = header().TotalPageCount;
  for (int32_t n = *FAllocated.rbegin(); FAllocated.size() > 120; --n) {
    if (!FAllocated.count(n)) continue;
    const int32_t before = header().TotalPageCount;
    const int32_t step = fsm().DelPagesStep();  // of the file before this release
    free(n);
    const int32_t cut = before - header().TotalPageCount;
    EXPECT_EQ(cut % step, 0) << n;
    EXPECT_LT(header().TotalPageCount - header().LastUsedPageNo - 1, fsm().DelPagesStep());
  }
  EXPECT_LT(header().TotalPageCount, total);
  expectMapsConsistent();
}

TEST_F(FreeSpaceManagerTest, DoubleFreeAndMapPagesAreRefused) {
  create(4096, 8);
  get();
  get();
  free(3);
  int code = 0;
  EXPECT_EQ(errorOf([&] { fsm().FreePage(3); }, &code), textOf("Page: 3 already free", 30427));
  EXPECT_EQ(code, 30427);
  EXPECT_EQ(header().LastUsedPageNo, 2);
  EXPECT_EQ(FManager->LockDBHeaderCount(), 0);
  for (int32_t pageNo : {0, 1}) {
    const std::string expected =
        textOf("Cannot delete PFS or EAM page. PageNo=" + std::to_string(pageNo), 30434);
    EXPECT_EQ(errorOf([&] { fsm().FreePage(pageNo); }), expected);
    EXPECT_EQ(errorOf([&] { FManager->GetPage(0, pageNo); }), expected);
    EXPECT_EQ(errorOf([&] { FManager->RemovePage(0, pageNo); }), expected);
  }
  EXPECT_EQ(errorOf([&] { fsm().FreePage(100); }),
            textOf("Page: 100 cannot be addressed. TotalPageCount=6", 30430));
  expectMapsConsistent();
}

TEST_F(FreeSpaceManagerTest, PageManagerAllocatesAndFreesThroughTheMap) {
  create(4096, 8);
  zev::TABSPage* page = FManager->AddPage(0, zev::ptTableRecord);
  EXPECT_EQ(page->PageNo(), 2);
  FManager->PutPage(page);
  FManager->ApplyChanges(0);
  FManager->RemovePage(0, 2);
  FManager->ApplyChanges(0);
  EXPECT_EQ(header().LastUsedPageNo, -1);
  FAllocated.clear();
  expectMapsConsistent();
}

TEST_F(FreeSpaceManagerTest, PageManagerWithoutAFactoryUsesTheFileMap) {
  TABSDiskPageManagerSettings settings = testSettings();
  settings.FreeSpaceManagerFactory = nullptr;
  TABSDiskPageManager manager(settings);
  manager.CreateAndOpenDatabase(FPath, TABSPassword{}, 4096, 8);
  ASSERT_NE(dynamic_cast<TABSDatabaseFreeSpaceManager*>(manager.DatabaseFreeSpaceManager()),
            nullptr);
  zev::TABSPage* page = manager.AddPage(0, zev::ptTableRecord);
  EXPECT_EQ(page->PageNo(), 2);
  manager.PutPage(page);
}

// --- Damaged map pages --------------------------------------------------------------------------

struct TDamageCase {
  const char* Name;
  int32_t PageNo;  // the map page damaged
  int32_t Offset;  // within the page
  std::string Bytes;
  bool Allocate;  // GetPage, else FreePage(3)
  int Code;       // 0: any engine error
};

class DamagedMapTest : public FreeSpaceManagerTest,
                       public ::testing::WithParamInterface<TDamageCase> {};

TEST_P(DamagedMapTest, RaisesAnEngineError) {
  const TDamageCase& c = GetParam();
  create(512, 8);
  get();
  get();
  FManager->CloseDatabase();
  std::string bytes = fileBytes();
  bytes.replace(pageOffset(c.PageNo) + c.Offset, c.Bytes.size(), c.Bytes);
  testsupport::WriteFile(FPath, bytes);
  reopen();
  int code = 0;
  const std::string message =
      errorOf([&] { c.Allocate ? (void)fsm().GetPage(-1) : fsm().FreePage(3); }, &code);
  EXPECT_NE(message, "");
  if (c.Code != 0) {
    EXPECT_EQ(code, c.Code) << message;
  }
  EXPECT_EQ(FManager->LockDBHeaderCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedMapTest,
    ::testing::Values(
        TDamageCase{"PFSTypeAtSearch", 0, kPageTypeOffset, std::string("\x0C\x00", 2), true, 30423},
        TDamageCase{"EAMTypeAtSearch", 1, kPageTypeOffset, std::string("\x07\x00", 2), true, 30423},
        TDamageCase{"PFSTypeAtFree", 0, kPageTypeOffset, std::string("\x02\x00", 2), false, 30424},
        TDamageCase{"EAMTypeAtFree", 1, kPageTypeOffset, std::string("\x03\x00", 2), false, 30428},
        TDamageCase{"UnknownType", 0, kPageTypeOffset, std::string("\xFF\xFF", 2), true, 0},
        TDamageCase{"AllBitsUsed", 0, kPageHeaderSize, std::string(6, '\xFF'), true, 30425},
        TDamageCase{"AllBitsFree", 0, kPageHeaderSize, std::string(6, '\x00'), false, 30427}),
    [](const ::testing::TestParamInfo<TDamageCase>& Info) { return Info.param.Name; });

// --- Between processes --------------------------------------------------------------------------

// Opens the database in multi-user mode with the real free-space map. Args: path. Signals
// "ready", then answers "get" with the page number, "free N" with "done" (or the error), and
// "lock" / "unlock" of the database-header lock with "true" or "false".
TEST_HELPER(free_space_manager) {
  TABSDiskPageManager manager(testSettings());
  try {
    bool readOnly = false, repair = false, multiUser = true;
    manager.OpenDatabase(Args[0], TABSPassword{}, readOnly, repair, false, multiUser);
  } catch (const EABSException& e) {
    testsupport::Signal(e.Message());
    return 1;
  }
  testsupport::Signal("ready");
  for (;;) {
    const std::string command = testsupport::WaitCommand();
    if (command.empty()) return 0;
    try {
      int pageNo = 0;
      if (command == "lock" || command == "unlock") {
        const bool done = command == "lock" ? manager.LockDBHeader() : manager.UnlockDBHeader();
        testsupport::Signal(done ? "true" : "false");
      } else if (command == "get") {
        testsupport::Signal(std::to_string(manager.DatabaseFreeSpaceManager()->GetPage(-1)));
      } else if (std::sscanf(command.c_str(), "free %d", &pageNo) == 1) {
        manager.DatabaseFreeSpaceManager()->FreePage(pageNo);
        testsupport::Signal("done");
      } else {
        testsupport::Signal("unknown");
      }
    } catch (const EABSException& e) {
      testsupport::Signal(e.Message());
    }
  }
}

TEST_F(FreeSpaceManagerTest, HeaderLockHeldElsewhereRefusesBothOperations) {
  create(512, 8);
  get();
  get();
  reopen(true);
  testsupport::THelperProcess helper("free_space_manager", {FPath});
  ASSERT_EQ(helper.ReadLine(), "ready");
  helper.Send("lock");
  ASSERT_EQ(helper.ReadLine(), "true");
  int code = 0;
  EXPECT_EQ(errorOf([&] { fsm().GetPage(-1); }, &code), textOf("Database is locked", 20231));
  EXPECT_EQ(errorOf([&] { fsm().FreePage(2); }, &code), textOf("Database is locked", 20232));
  EXPECT_EQ(FManager->LockDBHeaderCount(), 0);
  helper.Send("unlock");
  ASSERT_EQ(helper.ReadLine(), "true");
  expectMapsConsistent();  // nothing changed
  EXPECT_EQ(get(), 4);
}

TEST_F(FreeSpaceManagerTest, TwoProcessesShareTheMaps) {
  create(512, 8);
  reopen(true);
  testsupport::THelperProcess helper("free_space_manager", {FPath});
  ASSERT_EQ(helper.ReadLine(), "ready");
  auto helperGet = [&] {
    helper.Send("get");
    const int32_t pageNo = std::stoi(helper.ReadLine());
    EXPECT_TRUE(FAllocated.insert(pageNo).second) << pageNo;
    return pageNo;
  };
  auto helperFree = [&](int32_t PageNo) {
    helper.Send("free " + std::to_string(PageNo));
    ASSERT_EQ(helper.ReadLine(), "done");
    FAllocated.erase(PageNo);
  };

  std::vector<int32_t> mine, theirs;
  for (int round = 0; round < 40; ++round) {
    const int32_t own = get();
    EXPECT_EQ(std::count(theirs.begin(), theirs.end(), own), 0);
    mine.push_back(own);
    theirs.push_back(helperGet());
    if (round % 3 == 2) {
      // Each frees one of the other's pages, from the middle and from the end.
      helperFree(mine[mine.size() / 2]);
      mine.erase(mine.begin() + mine.size() / 2);
      free(theirs.back());
      theirs.pop_back();
    }
  }
  expectMapsConsistent();
  // Free everything from the top in turn: LastUsedPageNo follows in both processes.
  std::vector<int32_t> all(FAllocated.rbegin(), FAllocated.rend());
  for (size_t i = 0; i < all.size(); ++i) {
    if (i % 2 == 0)
      free(all[i]);
    else
      helperFree(all[i]);
    FManager->ReadDBHeader();
    EXPECT_EQ(header().LastUsedPageNo, FAllocated.empty() ? -1 : *FAllocated.rbegin());
  }
  expectMapsConsistent();
}

}  // namespace
