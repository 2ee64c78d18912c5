#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/storage/ZEVChecksum.h"
#include "engine/storage/ZEVDiskPageManager.h"
#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVOSFile.h"
#include "engine/storage/ZEVSecurity.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/support/TestSupport.h"

namespace {

using zev::TABSDiskPageManager;
using zev::TABSDiskPageManagerSettings;
using zev::TABSPage;
using zev::TABSPassword;

constexpr uint16_t kPageSize = 512;
constexpr int32_t kSession = 0;

// A free-space map that appends: page 0 is its one map page, every allocation takes the page
// after the last used one, growing the file by one page when needed. Freed pages are logged.
class TAppendingFreeSpaceManager : public zev::TABSFreeSpaceManager {
 public:
  TAppendingFreeSpaceManager(TABSDiskPageManager& PageManager, std::vector<int32_t>* FreedLog)
      : LPageManager(PageManager), LFreedLog(FreedLog) {}

  int32_t GetPage(int32_t) override {
    if (!LPageManager.LockDBHeaderWithRetries()) return -1;
    LPageManager.ReadDBHeader();
    zev::TABSDBHeader& header = LPageManager.MutableDBHeader();
    const int32_t page = std::max(header.LastUsedPageNo + 1, 1);
    if (page >= header.TotalPageCount) LPageManager.ExtendFile(page - header.TotalPageCount + 1);
    header.LastUsedPageNo = page;
    LPageManager.WriteDBHeader();
    LPageManager.UnlockDBHeader();
    return page;
  }
  void FreePage(int32_t PageNo) override {
    if (LFreedLog) LFreedLog->push_back(PageNo);
  }
  bool IsMapPage(int32_t PageNo) const override { return PageNo == 0; }

 private:
  TABSDiskPageManager& LPageManager;
  std::vector<int32_t>* LFreedLog;
};

TABSDiskPageManagerSettings testSettings(std::vector<int32_t>* FreedLog = nullptr) {
  TABSDiskPageManagerSettings settings;
  settings.DBHeaderLockAttempts = 1;
  settings.ObjectIDLockAttempts = 1;
  settings.SleepFunction = [](uint32_t) {};
  settings.CacheCapacity = 100;
  settings.FreeSpaceManagerFactory = [FreedLog](TABSDiskPageManager& PageManager) {
    return std::make_unique<TAppendingFreeSpaceManager>(PageManager, FreedLog);
  };
  return settings;
}

std::string textOf(const std::string& Message, int Code) {
  char code[8];
  std::snprintf(code, sizeof code, "%.5d", Code);
  return Message + " - Native error: " + code;
}

class DiskPageManagerTest : public ::testing::Test {
 protected:
  std::unique_ptr<TABSDiskPageManager> create(
      const std::string& Password = "", zev::TABSCryptoAlgorithm Algorithm = zev::craRijndael_128) {
    auto manager = std::make_unique<TABSDiskPageManager>(testSettings(&FFreed));
    manager->CreateAndOpenDatabase(FPath, TABSPassword{Password, Algorithm}, kPageSize, 8);
    return manager;
  }

  std::unique_ptr<TABSDiskPageManager> open(const std::string& Password = "",
                                            bool MultiUser = false, const std::string& Path = "") {
    auto manager = std::make_unique<TABSDiskPageManager>(testSettings(&FFreed));
    bool readOnly = false, repair = false, multiUser = MultiUser;
    manager->OpenDatabase(Path.empty() ? FPath : Path, TABSPassword{Password, zev::craBlowfish},
                          readOnly, repair, false, multiUser);
    return manager;
  }

  // Adds a page filled with Fill and commits it; answers its number.
  static int32_t addPage(TABSDiskPageManager& Manager, uint8_t Fill, bool Encrypted = true) {
    TABSPage* page = Manager.AddPage(kSession, zev::ptTableRecord);
    page->SetEncryptionEnabled(Encrypted);
    std::memset(page->PageData(), Fill, page->PageDataSize());
    const int32_t pageNo = page->PageNo();
    Manager.PutPage(page);
    Manager.ApplyChanges(kSession);
    return pageNo;
  }

  std::string fileBytes() const { return testsupport::ReadFile(FPath); }
  std::string pageBytes(int32_t PageNo, int64_t Base = 0) const {
    return fileBytes().substr(Base + 380 + PageNo * kPageSize, kPageSize);
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("test.abs");
  std::vector<int32_t> FFreed;
};

// --- File level ---------------------------------------------------------------------------------

TEST_F(DiskPageManagerTest, NewFileHoldsThePresetHeaderArea) {
  auto manager = create();
  manager->CloseDatabase();
  const std::string bytes = fileBytes();
  ASSERT_EQ(bytes.size(), 380u);
  zev::TABSDBHeader header;
  header.Load(reinterpret_cast<const uint8_t*>(bytes.data()));
  EXPECT_TRUE(header.HasSignature());
  EXPECT_EQ(header.HeaderSize, 76);
  EXPECT_DOUBLE_EQ(header.Version, 7.61);
  EXPECT_EQ(header.PageSize, kPageSize);
  EXPECT_EQ(header.PageCountInExtent, 8);
  EXPECT_EQ(header.TotalPageCount, 0);
  EXPECT_EQ(header.LastUsedPageNo, -1);
  EXPECT_EQ(header.WriteChangesState, 2);
  EXPECT_FALSE(header.Encrypted);
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_EQ(zev::GetInt16LE(p + 76), 280);
  EXPECT_EQ(std::string(bytes.data() + 80, 256), std::string(256, '\0'));  // no control block
  EXPECT_EQ(zev::GetUInt32LE(p + 336), 0u);
  EXPECT_EQ(zev::GetInt16LE(p + 356), 20);
  EXPECT_EQ(zev::GetInt32LE(p + 376), 0);  // last object identifier
}

TEST_F(DiskPageManagerTest, EncryptedFileStoresTheControlBlockEncryptedWithItsChecksum) {
  create("secret", zev::craTwofish_128)->CloseDatabase();
  const std::string bytes = fileBytes();
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_EQ(p[43], 0xFF);
  EXPECT_EQ(p[76 + 2], zev::craTwofish_128);
  std::vector<uint8_t> block(p + 80, p + 80 + 256);
  const uint32_t storedCRC = zev::GetUInt32LE(p + 336);
  EXPECT_NE(CalcCRC32(0, block.data(), block.size()), storedCRC);
  ASSERT_TRUE(zev::DecryptBuffer(zev::craTwofish_128, block.data(), block.size(), "secret"));
  EXPECT_EQ(CalcCRC32(0, block.data(), block.size()), storedCRC);
  for (uint8_t byte : block) EXPECT_LT(byte, 255);
}

struct TPasswordCase {
  const char* Name;
  const char* CreatePassword;
  const char* OpenPassword;
  bool Opens;
};

void PrintTo(const TPasswordCase& Case, std::ostream* Out) { *Out << Case.Name; }

class PasswordTest : public DiskPageManagerTest,
                     public ::testing::WithParamInterface<TPasswordCase> {};

TEST_P(PasswordTest, OpensOrRefuses) {
  const TPasswordCase& c = GetParam();
  create(c.CreatePassword, zev::craRijndael_256)->CloseDatabase();
  std::unique_ptr<TABSDiskPageManager> manager;
  int code = 0;
  const std::string error = errorOf([&] { manager = open(c.OpenPassword); }, &code);
  if (c.Opens) {
    ASSERT_EQ(error, "");
    if (*c.CreatePassword) {  // the stored algorithm wins over the one passed (Blowfish)
      EXPECT_EQ(manager->Password().CryptoAlgorithm, zev::craRijndael_256);
    }
  } else {
    EXPECT_EQ(error, textOf("Cannot open database - incorrect password", 30445));
    EXPECT_EQ(code, 30445);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PasswordTest,
                         ::testing::Values(TPasswordCase{"PlainEmpty", "", "", true},
                                           TPasswordCase{"PlainAny", "", "whatever", true},
                                           TPasswordCase{"Right", "secret", "secret", true},
                                           TPasswordCase{"Wrong", "secret", "Secret", false},
                                           TPasswordCase{"Empty", "secret", "", false}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(DiskPageManagerTest, EmbeddedDatabaseIsFoundAndPositionsAreRelativeToIt) {
  {
    auto manager = create("pw");
    addPage(*manager, 0x5A);
    EXPECT_EQ(manager->GetNextObjectID(), 1);
  }
  // Data before it, including a signature followed by a header size other than 76.
  std::string prefix(12000, 'x');
  std::memcpy(&prefix[100], "ZEV0LUTEDATABASE", 16);
  prefix[116] = 77;
  prefix[117] = 0;
  const std::string embedded = FDir.File("embedded.bin");
  testsupport::WriteFile(embedded, prefix + fileBytes());

  auto manager = open("pw", false, embedded);
  EXPECT_EQ(manager->OffsetToDBHeader(), 12000);
  EXPECT_EQ(manager->OffsetToLockedBytes(), 12356);
  EXPECT_EQ(manager->OffsetToFirstPage(), 12380);
  EXPECT_EQ(manager->GetNextObjectID(), 2);
  TABSPage* page = manager->GetPage(kSession, 1, zev::ptTableRecord);
  EXPECT_EQ(page->PageData()[0], 0x5A);
  manager->PutPage(page);
  manager->CloseDatabase();
  EXPECT_EQ(zev::GetInt32LE(
                reinterpret_cast<const uint8_t*>(testsupport::ReadFile(embedded).data() + 12376)),
            2);
}

TEST_F(DiskPageManagerTest, ReadOnlyFileOpensReadOnlyWithoutMultiUserAndStoresNoObjectID) {
  create()->CloseDatabase();
  ASSERT_TRUE(zev::SetFileReadOnly(FPath, true));
  TABSDiskPageManager manager(testSettings());
  bool readOnly = false, repair = true, multiUser = true;
  manager.OpenDatabase(FPath, TABSPassword{}, readOnly, repair, false, multiUser);
  EXPECT_TRUE(readOnly);
  EXPECT_FALSE(multiUser);
  EXPECT_FALSE(manager.MultiUser());
  EXPECT_FALSE(repair);
  for (int i = 0; i < 3; ++i) {
    const int32_t id = manager.GetNextObjectID();
    EXPECT_GE(id, 1);
    EXPECT_LE(id, 10000);
  }
  EXPECT_EQ(zev::GetInt32LE(reinterpret_cast<const uint8_t*>(fileBytes().data() + 376)), 0);
}

struct TRepairCase {
  const char* Name;
  uint8_t WriteChangesState;
  double Version;
  bool RepairNeeded;
};

void PrintTo(const TRepairCase& Case, std::ostream* Out) { *Out << Case.Name; }

class RepairTest : public DiskPageManagerTest, public ::testing::WithParamInterface<TRepairCase> {};

TEST_P(RepairTest, ReportsAnInterruptedCommitOrAnOldVersion) {
  const TRepairCase& c = GetParam();
  create()->CloseDatabase();
  std::string bytes = fileBytes();
  bytes[42] = static_cast<char>(c.WriteChangesState);
  zev::PutDoubleLE(reinterpret_cast<uint8_t*>(&bytes[18]), c.Version);
  testsupport::WriteFile(FPath, bytes);
  TABSDiskPageManager manager(testSettings());
  bool readOnly = false, repair = !c.RepairNeeded, multiUser = false;
  manager.OpenDatabase(FPath, TABSPassword{}, readOnly, repair, false, multiUser);
  EXPECT_EQ(repair, c.RepairNeeded);
  EXPECT_TRUE(manager.IsOpened());
}

INSTANTIATE_TEST_SUITE_P(Cases, RepairTest,
                         ::testing::Values(TRepairCase{"AtRest", 2, 7.61, false},
                                           TRepairCase{"CommitInterrupted", 1, 7.61, true},
                                           TRepairCase{"OtherState", 0, 7.61, true},
                                           TRepairCase{"OldVersion", 2, 2.5, true},
                                           TRepairCase{"OldestGoodVersion", 2, 2.99, false}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(DiskPageManagerTest, ObjectIdentifiersCountUpAndRestartAfterInit) {
  {
    auto manager = create();
    EXPECT_EQ(manager->GetNextObjectID(), 1);
    EXPECT_EQ(manager->GetNextObjectID(), 2);
  }
  auto manager = open();
  EXPECT_EQ(manager->GetNextObjectID(), 3);
  manager->InitObjectID();
  EXPECT_EQ(manager->GetNextObjectID(), 1);
  manager->CloseDatabase();
  int code = 0;
  EXPECT_EQ(errorOf([&] { manager->GetNextObjectID(); }, &code),
            textOf("Error - database file is not opened.", 30399));
}

TEST_F(DiskPageManagerTest, ExtendAndTruncateWorkInWholePages) {
  auto manager = create();
  manager->ExtendFile(0);
  EXPECT_EQ(fileBytes().size(), 380u);
  manager->ExtendFile(4);
  EXPECT_EQ(fileBytes().size(), 380u + 4 * kPageSize);
  EXPECT_EQ(manager->DBHeader().TotalPageCount, 4);
  EXPECT_EQ(zev::GetInt32LE(reinterpret_cast<const uint8_t*>(fileBytes().data() + 30)), 0)
      << "ExtendFile leaves the header to its caller";
  manager->TruncateFile(5);  // more than the file holds
  EXPECT_EQ(manager->DBHeader().TotalPageCount, 4);
  manager->TruncateFile(1);
  EXPECT_EQ(fileBytes().size(), 380u + 3 * kPageSize);
  EXPECT_EQ(zev::GetInt32LE(reinterpret_cast<const uint8_t*>(fileBytes().data() + 30)), 3);

  manager->MutableDBHeader().LastUsedPageNo = 2;  // the last page in use: nothing to cut
  manager->TruncateDatabase();
  EXPECT_EQ(manager->DBHeader().TotalPageCount, 3);
  manager->MutableDBHeader().LastUsedPageNo = 0;
  manager->TruncateDatabase();
  EXPECT_EQ(manager->DBHeader().TotalPageCount, 1);
  EXPECT_EQ(fileBytes().size(), 380u + kPageSize);
}

TEST_F(DiskPageManagerTest, DatabaseHeaderLockIsCountedPerPageManager) {
  auto first = create();
  first->CloseDatabase();
  first = open("", true);
  auto second = open("", true);
  ASSERT_TRUE(first->LockDBHeader());
  ASSERT_TRUE(first->LockDBHeader());
  EXPECT_EQ(first->LockDBHeaderCount(), 2);
  EXPECT_FALSE(second->LockDBHeader());
  EXPECT_TRUE(first->UnlockDBHeader());
  EXPECT_FALSE(second->LockDBHeader()) << "still held once";
  EXPECT_TRUE(first->UnlockDBHeader());
  EXPECT_TRUE(second->LockDBHeader());
  EXPECT_TRUE(second->UnlockDBHeader());
}

TEST_F(DiskPageManagerTest, FileLevelCallsCheckWhetherAFileIsOpen) {
  TABSDiskPageManager manager(testSettings());
  const std::string notOpened = "Error - database file is not opened.";
  const struct {
    int Code;
    std::function<void()> Call;
  } closed[] = {
      {10459, [&] { manager.ReadDBHeader(); }},     {10460, [&] { manager.WriteDBHeader(); }},
      {30436, [&] { manager.ReadCryptoHeader(); }}, {30437, [&] { manager.WriteCryptoHeader(); }},
      {30441, [&] { manager.ReadLockedBytes(); }},  {30443, [&] { manager.WriteLockedBytes(); }},
      {30399, [&] { manager.GetNextObjectID(); }},
  };
  for (const auto& c : closed) EXPECT_EQ(errorOf(c.Call), textOf(notOpened, c.Code));

  manager.CreateAndOpenDatabase(FPath, TABSPassword{}, kPageSize, 8);
  const std::string inUse = "Error - database file " + FPath + " is in use.";
  EXPECT_EQ(errorOf([&] { manager.CreateAndOpenDatabase(FDir.File("other"), {}, kPageSize, 8); }),
            textOf(inUse, 10461));
  bool readOnly = false, repair = false, multiUser = false;
  EXPECT_EQ(errorOf([&] { manager.OpenDatabase(FPath, {}, readOnly, repair, false, multiUser); }),
            textOf(inUse, 10462));
  EXPECT_TRUE(manager.IsOpened());
}

TEST_F(DiskPageManagerTest, DatabaseWideLocksStandAtTheirFilePositions) {
  create()->CloseDatabase();
  auto holder = open("", true);
  auto other = open("", true);
  zev::TABSDatabaseFile& seen = other->DatabaseFile();
  const struct {
    const char* Name;
    int64_t Position;
    std::function<bool()> Lock, Unlock;
  } locks[] = {
      {"tables", 359, [&] { return holder->LockTables(); }, [&] { return holder->UnlockTables(); }},
      {"header", 360, [&] { return holder->LockDBHeader(); },
       [&] { return holder->UnlockDBHeader(); }},
      {"object id", 376, [&] { return holder->LockLastObjectID(); },
       [&] { return holder->UnlockLastObjectID(); }},
      {"page 2 byte 7", 380 + 2 * kPageSize + 7, [&] { return holder->LockPageByte(2, 7); },
       [&] { return holder->UnlockPageByte(2, 7); }},
  };
  for (const auto& l : locks) {
    ASSERT_TRUE(l.Lock()) << l.Name;
    EXPECT_TRUE(seen.IsByteLocked(l.Position)) << l.Name;
    EXPECT_FALSE(seen.IsByteLocked(l.Position + 1)) << l.Name;
    ASSERT_TRUE(l.Unlock()) << l.Name;
    EXPECT_FALSE(seen.IsByteLocked(l.Position)) << l.Name;
  }
  ASSERT_TRUE(holder->LockPageByte(2, 7));
  EXPECT_TRUE(other->IsPageByteLocked(2, 7));
  EXPECT_TRUE(other->IsPageRegionLocked(2, 0, 8));
  EXPECT_FALSE(other->IsPageRegionLocked(2, 0, 7));
  EXPECT_TRUE(holder->UnlockPageByte(2, 7));
}

TEST_F(DiskPageManagerTest, ExclusiveOpenSwitchesMultiUserOff) {
  create()->CloseDatabase();
  TABSDiskPageManager manager(testSettings());
  bool readOnly = false, repair = false, multiUser = true;
  manager.OpenDatabase(FPath, TABSPassword{}, readOnly, repair, true, multiUser);
  EXPECT_FALSE(readOnly);
  EXPECT_FALSE(multiUser);
  EXPECT_TRUE(manager.Exclusive());
  EXPECT_EQ(manager.DatabaseFile().ShareMode(), zev::smExclusive);
  EXPECT_NE(errorOf([&] { open(); }), "");
}

TEST_F(DiskPageManagerTest, PageBeyondTheEndOfTheFileIsAReadError) {
  auto manager = create();
  addPage(*manager, 1);
  int code = 0;
  EXPECT_EQ(errorOf([&] { manager->GetPage(kSession, 5, zev::ptTableRecord); }, &code),
            textOf("Error reading database file page. Page No: 5, type 10", 20299));
}

// --- Bad files ----------------------------------------------------------------------------------

struct TBadFileCase {
  const char* Name;
  int Code;
  std::function<void(std::string&)> Damage;
};

void PrintTo(const TBadFileCase& Case, std::ostream* Out) { *Out << Case.Name; }

class BadFileTest : public DiskPageManagerTest,
                    public ::testing::WithParamInterface<TBadFileCase> {};

TEST_P(BadFileTest, RaisesAnEngineError) {
  {
    auto manager = create();
    addPage(*manager, 1);
  }
  std::string bytes = fileBytes();
  GetParam().Damage(bytes);
  testsupport::WriteFile(FPath, bytes);
  int code = 0;
  const std::string error = errorOf([&] { open(); }, &code);
  EXPECT_NE(error, "");
  EXPECT_EQ(code, GetParam().Code) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFileTest,
    ::testing::Values(
        TBadFileCase{"TruncatedHeader", 10464, [](std::string& b) { b.resize(50); }},
        TBadFileCase{"TruncatedCryptoHeader", 30439, [](std::string& b) { b.resize(200); }},
        TBadFileCase{"NoSignature", 10470, [](std::string& b) { b[0] = 'X'; }},
        TBadFileCase{"HugePageCount", 20237,
                     [](std::string& b) {
                       zev::PutInt32LE(reinterpret_cast<uint8_t*>(&b[30]), 0x7FFFFFFF);
                     }},
        TBadFileCase{
            "NegativePageCount", 20237,
            [](std::string& b) { zev::PutInt32LE(reinterpret_cast<uint8_t*>(&b[30]), -5); }},
        TBadFileCase{
            "ZeroPageSize", 20237,
            [](std::string& b) { zev::PutUInt16LE(reinterpret_cast<uint8_t*>(&b[26]), 0); }},
        TBadFileCase{
            "CryptoHeaderSize", 20237,
            [](std::string& b) { zev::PutInt16LE(reinterpret_cast<uint8_t*>(&b[76]), 100); }},
        TBadFileCase{"Empty", 10464, [](std::string& b) { b.clear(); }},
        TBadFileCase{
            "NegativeHeaderSize", 30439,
            [](std::string& b) { zev::PutInt16LE(reinterpret_cast<uint8_t*>(&b[16]), -100); }},
        TBadFileCase{
            "HeaderSizePastTheEnd", 30439,
            [](std::string& b) { zev::PutInt16LE(reinterpret_cast<uint8_t*>(&b[16]), 30000); }},
        TBadFileCase{
            "NegativeLockedByteSize", 20237,
            [](std::string& b) { zev::PutInt16LE(reinterpret_cast<uint8_t*>(&b[356]), -30); }}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(DiskPageManagerTest, InvalidFormatShowsTheBytesFound) {
  testsupport::WriteFile(FPath, std::string("NOT A DATABASE!!") + std::string(400, '-'));
  EXPECT_EQ(errorOf([&] { open(); }),
            textOf("Invalid file format. Found signature: 'NOT A DATABASE!!', expected: "
                   "'ZEV0LUTEDATABASE'",
                   10470));
}

// --- Page level ---------------------------------------------------------------------------------

int32_t stateOnDisk(const std::string& Page) {
  return zev::GetInt32LE(reinterpret_cast<const uint8_t*>(Page.data()) + 4);
}

TEST_F(DiskPageManagerTest, EncryptedPageIsStoredEncryptedAndCachedPlain) {
  auto manager = create("pw", zev::craBlowfish);
  const int32_t pageNo = addPage(*manager, 0x11);
  const std::string plain(kPageSize - 40, '\x11');
  const std::string stored = pageBytes(pageNo);
  EXPECT_EQ(stored.substr(0, 4), "ABSP");  // the header stays plain
  EXPECT_NE(stored.substr(40), plain);
  zev::TABSDiskPageHeader header;
  header.Load(reinterpret_cast<const uint8_t*>(stored.data()));
  EXPECT_EQ(header.PageType, zev::ptTableRecord);
  EXPECT_EQ(header.Cipherype, zev::craBlowfish);
  EXPECT_EQ(header.CRC32, CalcCRC32(0, plain.data(), plain.size()));

  TABSPage* cached = manager->GetPage(kSession, pageNo, zev::ptTableRecord);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(cached->PageData()), plain.size()), plain);
  manager->PutPage(cached);

  manager.reset();
  manager = open("pw");
  TABSPage* read = manager->GetPage(kSession, pageNo, zev::ptTableRecord);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(read->PageData()), plain.size()), plain);
  manager->PutPage(read);
}

TEST_F(DiskPageManagerTest, AlteredEncryptedPageFailsItsChecksumUnlessIgnored) {
  int32_t pageNo = 0;
  {
    auto manager = create("pw");
    pageNo = addPage(*manager, 0x33);
  }
  std::string bytes = fileBytes();
  bytes[380 + pageNo * kPageSize + 100] ^= 0x01;
  testsupport::WriteFile(FPath, bytes);

  auto manager = open("pw");
  int code = 0;
  EXPECT_EQ(errorOf([&] { manager->GetPage(kSession, pageNo, zev::ptTableRecord); }, &code),
            textOf("Decrypt page error. Check CRC failed. PageNo: 1", 30446));
  EXPECT_EQ(code, 30446);

  manager = open("pw");
  manager->SetIgnoreCRCErrors(true);
  TABSPage* page = manager->GetPage(kSession, pageNo, zev::ptTableRecord);
  EXPECT_EQ(page->GetPageType(), zev::ptTableRecord);
  manager->PutPage(page);
}

TEST_F(DiskPageManagerTest, PagesWithoutEncryptionStayPlainOnDiskAndInMemory) {
  auto manager = create("pw");
  TABSPage* page = manager->AddPage(kSession, zev::ptActiveSessionList);
  page->SetEncryptionEnabled(false);
  std::memset(page->PageData(), 0x22, page->PageDataSize());
  const int32_t pageNo = page->PageNo();
  manager->PutPage(page);
  manager->ApplyChanges(kSession);
  const std::string plain(kPageSize - 40, '\x22');
  EXPECT_EQ(pageBytes(pageNo).substr(40), plain);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(page->PageData()), plain.size()), plain);
  std::string region(10, '\0');
  manager->ReadPageRegion(region.data(), pageNo, 40, 10);
  EXPECT_EQ(region, std::string(10, '\x22'));
}

TEST_F(DiskPageManagerTest, EveryWriteAdvancesThePageStateAndTheLastOneRestartsAtZero) {
  auto manager = create();
  TABSPage* page = manager->AddPage(kSession, zev::ptTableRecord);
  const int32_t pageNo = page->PageNo();
  const int32_t initial = page->GetPageState();
  EXPECT_GE(initial, 0);
  EXPECT_LE(initial, zev::kMaxInitialPageState);
  manager->PutPage(page);
  manager->ApplyChanges(kSession);
  EXPECT_EQ(stateOnDisk(pageBytes(pageNo)), initial + 1);

  page = manager->GetPage(kSession, pageNo, zev::ptTableRecord);
  page->SetPageState(zev::kMaxWrittenPageState);
  page->SetIsDirty(true);
  manager->PutPage(page);
  manager->ApplyChanges(kSession);
  EXPECT_EQ(stateOnDisk(pageBytes(pageNo)), 0);
}

TEST_F(DiskPageManagerTest, ApplyWithAPinnedPageWritesNothing) {
  auto manager = create();
  addPage(*manager, 1);
  TABSPage* page = manager->AddPage(kSession, zev::ptTableRecord);
  const std::string before = fileBytes();
  int code = 0;
  EXPECT_EQ(errorOf([&] { manager->ApplyChanges(kSession); }, &code),
            textOf("Some session pages not released", 20152));
  EXPECT_EQ(fileBytes(), before);
  manager->PutPage(page);
  manager->ApplyChanges(kSession);
  EXPECT_NE(fileBytes(), before);
}

TEST_F(DiskPageManagerTest, NothingToApplyLeavesTheFileUntouched) {
  auto manager = create();
  const int32_t pageNo = addPage(*manager, 1);
  const std::string before = fileBytes();
  manager->ApplyChanges(kSession);
  manager->ApplyChanges(7);  // a session without a change set
  manager->PutPage(manager->GetPage(kSession, pageNo, zev::ptTableRecord));  // read, unchanged
  manager->ApplyChanges(kSession);
  EXPECT_EQ(fileBytes(), before);
}

// Records the database header's commit fields in the file at every page write.
class TObservedPageManager : public TABSDiskPageManager {
 public:
  using TABSDiskPageManager::TABSDiskPageManager;
  void InternalWritePage(TABSPage* aPage) override {
    const std::string bytes = testsupport::ReadFile(DatabaseFile().FileName());
    WriteChangesStates.push_back(static_cast<uint8_t>(bytes[42]));
    TABSDiskPageManager::InternalWritePage(aPage);
  }
  std::vector<int> WriteChangesStates;
};

TEST_F(DiskPageManagerTest, CommitMarksItselfInProgressAndCountsItself) {
  TObservedPageManager manager(testSettings());
  manager.CreateAndOpenDatabase(FPath, TABSPassword{}, kPageSize, 8);
  for (int i = 0; i < 2; ++i) {
    TABSPage* page = manager.AddPage(kSession, zev::ptTableRecord);
    manager.PutPage(page);
  }
  manager.ApplyChanges(kSession);
  EXPECT_EQ(manager.WriteChangesStates, (std::vector<int>{1, 1}));
  const std::string bytes = fileBytes();
  EXPECT_EQ(bytes[42], 2);
  EXPECT_EQ(zev::GetInt32LE(reinterpret_cast<const uint8_t*>(bytes.data()) + 38), 1);
  manager.PutPage(manager.AddPage(kSession, zev::ptTableRecord));
  manager.ApplyChanges(kSession);
  EXPECT_EQ(zev::GetInt32LE(reinterpret_cast<const uint8_t*>(fileBytes().data()) + 38), 2);
}

TEST_F(DiskPageManagerTest, RemovedPageIsMarkedFreedOnDiskAndGivenBack) {
  auto manager = create();
  const int32_t pageNo = addPage(*manager, 1);
  manager->RemovePage(kSession, pageNo);
  manager->ApplyChanges(kSession);
  EXPECT_EQ(stateOnDisk(pageBytes(pageNo)), zev::kInvalidPageState);
  EXPECT_EQ(FFreed, (std::vector<int32_t>{pageNo}));
}

TEST_F(DiskPageManagerTest, MapPagesAreRefused) {
  auto manager = create();
  addPage(*manager, 1);
  const std::string expected = textOf("Cannot delete PFS or EAM page. PageNo=0", 30434);
  EXPECT_EQ(errorOf([&] { manager->GetPage(kSession, 0); }), expected);
  EXPECT_EQ(errorOf([&] { manager->RemovePage(kSession, 0); }), expected);
}

TEST_F(DiskPageManagerTest, CommitRefusedWhileAnotherHolderHasTheHeaderLock) {
  create()->CloseDatabase();
  auto writer = open("", true);
  auto other = open("", true);
  TABSPage* page = writer->AddPage(kSession, zev::ptTableRecord);
  writer->PutPage(page);
  ASSERT_TRUE(other->LockDBHeader());
  const std::string before = fileBytes();
  int code = 0;
  EXPECT_EQ(errorOf([&] { writer->ApplyChanges(kSession); }, &code),
            textOf("Database is locked", 20213));
  EXPECT_EQ(fileBytes(), before);
  EXPECT_TRUE(writer->HasChanges(kSession));
  ASSERT_TRUE(other->UnlockDBHeader());
  writer->ApplyChanges(kSession);
  EXPECT_FALSE(writer->HasChanges(kSession));
}

TEST_F(DiskPageManagerTest, PageRegionsStayInsideTheirPage) {
  auto manager = create();
  const int32_t pageNo = addPage(*manager, 0, false);
  manager->WritePageRegion("abc", pageNo, kPageSize - 3, 3);
  EXPECT_EQ(pageBytes(pageNo).substr(kPageSize - 3), "abc");
  char buffer[4] = {};
  EXPECT_EQ(errorOf([&] { manager->ReadPageRegion(buffer, pageNo, kPageSize - 3, 4); }),
            textOf("Error - invalid page offset = 513, page size = 512", 10476));
  EXPECT_EQ(errorOf([&] { manager->WritePageRegion(buffer, pageNo, kPageSize, 1); }),
            textOf("Error - invalid page offset = 513, page size = 512", 10477));
  EXPECT_EQ(errorOf([&] { manager->PagePosition(-1); }), textOf("Invalid PageNo = -1", 10471));
}

// --- Multi-user page validity -------------------------------------------------------------------

uint8_t firstDataByte(TABSDiskPageManager& Manager, int32_t PageNo) {
  TABSPage* page = Manager.GetPage(kSession, PageNo, zev::ptTableRecord);
  const uint8_t byte = page->PageData()[0];
  Manager.PutPage(page);
  return byte;
}

void rewritePage(TABSDiskPageManager& Manager, int32_t PageNo, uint8_t Fill) {
  TABSPage* page = Manager.GetPage(kSession, PageNo, zev::ptTableRecord);
  std::memset(page->PageData(), Fill, page->PageDataSize());
  page->SetIsDirty(true);
  Manager.PutPage(page);
  Manager.ApplyChanges(kSession);
}

TEST_F(DiskPageManagerTest, CachedPageIsTrustedUnderAKnownTableStateAndRevalidatedOtherwise) {
  int32_t pageNo = 0;
  {
    auto manager = create("pw");
    pageNo = addPage(*manager, 1);
  }
  auto writer = open("pw", true);
  auto reader = open("pw", true);
  auto& tables = reader->TablePagesCacheManager();
  constexpr int32_t table = 7;

  // Without a table bracket every use of a cached page looks at its State in the file, and
  // reads the page again only when that State moved.
  auto reloadedOnGet = [&] {
    TABSPage* page = reader->GetPage(kSession, pageNo, zev::ptTableRecord);
    const bool reloaded = page->Reloaded();
    reader->PutPage(page);
    return reloaded;
  };
  EXPECT_EQ(firstDataByte(*reader, pageNo), 1);
  EXPECT_FALSE(reloadedOnGet());
  rewritePage(*writer, pageNo, 2);
  EXPECT_TRUE(reloadedOnGet());
  EXPECT_EQ(firstDataByte(*reader, pageNo), 2);

  // Under a shared table lock with a loaded table state the cached copy is used as it is.
  tables.TableIsSLocked(kSession, table);
  tables.SetIsMostUpdatedLoaded(kSession, table, 100);
  tables.BeginWorkWithTable(kSession, table);
  EXPECT_EQ(firstDataByte(*reader, pageNo), 2);
  rewritePage(*writer, pageNo, 3);
  EXPECT_EQ(firstDataByte(*reader, pageNo), 2);
  tables.EndWorkWithTable(kSession, table);
  tables.TableIsSUnlocked(kSession, table);

  // A new bracket with another table state checks the page again.
  tables.TableIsSLocked(kSession, table);
  tables.SetIsMostUpdatedLoaded(kSession, table, 101);
  tables.BeginWorkWithTable(kSession, table);
  EXPECT_EQ(firstDataByte(*reader, pageNo), 3);
  tables.EndWorkWithTable(kSession, table);
  tables.TableIsSUnlocked(kSession, table);
}

TEST(DiskTablePagesCacheManagerTest, WorkTableStateNeedsALockAndALoadedState) {
  zev::TABSDiskTablePagesCacheManager tables;
  int32_t state = 0;
  EXPECT_FALSE(tables.GetWorkTableState(0, state));  // no work table
  tables.BeginWorkWithTable(0, 5);
  tables.SetIsMostUpdatedLoaded(0, 5, 42);
  EXPECT_FALSE(tables.GetWorkTableState(0, state)) << "not locked";
  EXPECT_EQ(state, 42);
  tables.TableIsRWLocked(0, 5);  // the first lock resets the loaded state
  EXPECT_FALSE(tables.GetWorkTableState(0, state));
  EXPECT_EQ(state, -1);
  tables.SetIsMostUpdatedLoaded(0, 5, 43);
  tables.SetIsMostUpdatedLoaded(0, 5, 44);  // kept: already loaded
  EXPECT_TRUE(tables.GetWorkTableState(0, state));
  EXPECT_EQ(state, 43);
  EXPECT_FALSE(tables.GetWorkTableState(1, state)) << "other session";
  tables.TableIsRWUnlocked(0, 5);
  EXPECT_FALSE(tables.GetIsMostUpdatedLoaded(0, 5));
  tables.EndWorkWithTable(0, 5);
  EXPECT_FALSE(tables.GetWorkTableState(0, state));
}

TEST_F(DiskPageManagerTest, CancelledNewPageGoesBackToTheFreeSpaceMap) {
  auto manager = create();
  TABSPage* page = manager->AddPage(kSession, zev::ptTableRecord);
  const int32_t pageNo = page->PageNo();
  manager->PutPage(page);
  manager->CancelChanges(kSession);
  EXPECT_EQ(FFreed, (std::vector<int32_t>{pageNo}));
  EXPECT_FALSE(manager->HasChanges(kSession));
}

TEST_F(DiskPageManagerTest, ReusedManagerForgetsThePagesOfItsPreviousFile) {
  auto manager = create();
  const int32_t pageNo = addPage(*manager, 0x44);
  manager->CloseDatabase();
  const std::string first = FPath;
  FPath = FDir.File("second.abs");
  manager->CreateAndOpenDatabase(FPath, TABSPassword{}, kPageSize, 8);
  EXPECT_EQ(manager->SharedPages().Count(), 0);
  EXPECT_EQ(addPage(*manager, 0x55), pageNo);
  EXPECT_EQ(firstDataByte(*manager, pageNo), 0x55);
  manager->CloseDatabase();
  FPath = first;
  bool readOnly = false, repair = false, multiUser = false;
  manager->OpenDatabase(FPath, TABSPassword{}, readOnly, repair, false, multiUser);
  EXPECT_EQ(firstDataByte(*manager, pageNo), 0x44);
}

// --- Between processes --------------------------------------------------------------------------

// Opens the database in multi-user mode in another process. Args: path. Signals "ready", then
// answers "lockheader", "unlockheader", "lockid", "unlockid" with "true" or "false", and
// "rewrite N F" (page N filled with F and committed) with "done".
TEST_HELPER(disk_page_manager) {
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
    bool answer = false;
    if (command == "lockheader") answer = manager.LockDBHeader();
    if (command == "unlockheader") answer = manager.UnlockDBHeader();
    if (command == "lockid") answer = manager.LockLastObjectID();
    if (command == "unlockid") answer = manager.UnlockLastObjectID();
    int pageNo = 0, fill = 0;
    if (std::sscanf(command.c_str(), "rewrite %d %d", &pageNo, &fill) == 2) {
      rewritePage(manager, pageNo, static_cast<uint8_t>(fill));
      testsupport::Signal("done");
      continue;
    }
    testsupport::Signal(answer ? "true" : "false");
  }
}

TEST_F(DiskPageManagerTest, LocksHeldByAnotherProcessRefuseWithinTheRetryBudget) {
  create()->CloseDatabase();
  testsupport::THelperProcess helper("disk_page_manager", {FPath});
  ASSERT_EQ(helper.ReadLine(), "ready");
  auto ask = [&](const std::string& Command) {
    helper.Send(Command);
    return helper.ReadLine();
  };

  ASSERT_EQ(ask("lockheader"), "true");
  int sleeps = 0;
  TABSDiskPageManagerSettings settings = testSettings();
  settings.DBHeaderLockAttempts = 3;
  settings.SleepFunction = [&](uint32_t Ms) {
    EXPECT_EQ(Ms, 20u);
    ++sleeps;
  };
  TABSDiskPageManager blocked(settings);
  bool readOnly = false, repair = false, multiUser = true;
  int code = 0;
  EXPECT_EQ(
      errorOf(
          [&] { blocked.OpenDatabase(FPath, TABSPassword{}, readOnly, repair, false, multiUser); },
          &code),
      textOf("Database is locked", 20230));
  EXPECT_EQ(sleeps, 3);
  blocked.CloseDatabase();
  ASSERT_EQ(ask("unlockheader"), "true");

  auto manager = open("", true);
  ASSERT_EQ(ask("lockid"), "true");
  EXPECT_EQ(errorOf([&] { manager->GetNextObjectID(); }),
            textOf("Cannot get NextObjectID. File area is Locked.", 30401));
  ASSERT_EQ(ask("unlockid"), "true");
  EXPECT_EQ(manager->GetNextObjectID(), 1);

  ASSERT_EQ(ask("lockheader"), "true");
  helper.Kill();
  EXPECT_EQ(helper.Wait(), 128 + SIGKILL);
  EXPECT_TRUE(manager->LockDBHeader()) << "the lock went with the process";
  EXPECT_TRUE(manager->UnlockDBHeader());
}

TEST_F(DiskPageManagerTest, ReaderSeesAnotherProcessCommit) {
  int32_t pageNo = 0;
  {
    auto manager = create();
    pageNo = addPage(*manager, 1);
  }
  auto reader = open("", true);
  EXPECT_EQ(firstDataByte(*reader, pageNo), 1);
  const std::string stateBefore = fileBytes().substr(38, 4);
  testsupport::THelperProcess helper("disk_page_manager", {FPath});
  ASSERT_EQ(helper.ReadLine(), "ready");
  helper.Send("rewrite " + std::to_string(pageNo) + " 9");
  ASSERT_EQ(helper.ReadLine(), "done");
  EXPECT_NE(fileBytes().substr(38, 4), stateBefore) << "the commit counter moved";
  // The cached copy is checked against the State in the file: read again once, then trusted.
  auto reloadedOnGet = [&] {
    TABSPage* page = reader->GetPage(kSession, pageNo, zev::ptTableRecord);
    const bool reloaded = page->Reloaded();
    const uint8_t first = page->PageData()[0];
    reader->PutPage(page);
    return std::make_pair(reloaded, first);
  };
  EXPECT_EQ(reloadedOnGet(), std::make_pair(true, uint8_t{9}));
  EXPECT_EQ(reloadedOnGet(), std::make_pair(false, uint8_t{9}));
  EXPECT_EQ(reader->PageCount(), 2);
  helper.Send("rewrite " + std::to_string(pageNo) + " 10");
  ASSERT_EQ(helper.ReadLine(), "done");
  EXPECT_EQ(reloadedOnGet(), std::make_pair(true, uint8_t{10}));
}

}  // namespace
