#include "engine/storage/ZEVTableLockManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/storage/EngineTestDatabase.h"
#include "tests/support/TestSupport.h"

namespace {

using enginetest::TextOf;
using zev::TABSDatabaseTableLockManager;
using zev::TABSLockType;
using zev::TABSPageItemID;
using zev::TABSTableLockList;
using zev::TABSTableLocksFile;
using zev::ltIS;
using zev::ltRW;
using zev::ltS;
using zev::ltSIRW;
using zev::ltU;
using zev::ltX;
using zev::ltXIRW;

constexpr int32_t kSessions = 4;
constexpr int32_t kTable = 7;  // a lock file's first page, for the list alone

// --- TABSTableLockList ------------------------------------------------------------------------

TEST(TableLockListTest, RepeatedRequestsAreCountedAndTheLastReleaseAnswersTheFlag) {
  TABSTableLockList list;
  list.AddLock(ltS, kTable, true, false);
  list.AddLock(ltS, kTable, false, true);  // counted; the flags stay
  EXPECT_TRUE(list.LockExists(ltS, kTable, false));
  EXPECT_FALSE(list.LockExists(ltS, kTable + 1));
  bool physical = true;
  list.RemoveLock(ltS, kTable, physical, false);
  EXPECT_FALSE(physical) << "still held once";
  EXPECT_TRUE(list.LockExists(ltS, kTable));
  list.RemoveLock(ltS, kTable, physical, false);
  EXPECT_TRUE(physical);
  EXPECT_EQ(list.Count(), 0);

  list.AddLock(ltRW, kTable, true, true);
  list.AddLock(ltRW, kTable, true, true);
  list.RemoveLock(ltRW, kTable, physical, true);
  EXPECT_TRUE(physical) << "IgnoreCount removes the entry at once";
  EXPECT_EQ(list.Count(), 0);
}

TEST(TableLockListTest, MissingEntriesAndLeftoversAreErrors) {
  TABSTableLockList list;
  bool physical = false;
  EXPECT_EQ(errorOf([&] { list.RemoveLock(ltIS, kTable, physical, false); }),
            TextOf("Cannot remove table lock. Lock not found", 20202));
  EXPECT_EQ(errorOf([&] { list.CheckEmpty(); }), "");
  list.AddLock(ltIS, kTable, true, true);
  EXPECT_EQ(errorOf([&] { list.CheckEmpty(); }), TextOf("Some table locks still exist", 20201));
}

TEST(TableLockListTest, StrongerAndWeakerEntriesAreJudgedByCovering) {
  TABSTableLockList list;
  list.AddLock(ltRW, kTable, true, true);
  list.AddLock(ltIS, kTable, false, true);
  list.AddLock(ltS, kTable + 1, false, true);
  EXPECT_TRUE(list.StrongerLockExists(ltS, kTable));
  EXPECT_FALSE(list.StrongerLockExists(ltRW, kTable)) << "its own type is not stronger";
  EXPECT_FALSE(list.StrongerLockExists(ltXIRW, kTable));
  EXPECT_FALSE(list.StrongerLockExists(ltIS, kTable + 2));
  const int isEntry = list.FindLock(ltIS, kTable);
  EXPECT_TRUE(list.IsWeakerNonPhysicalLock(isEntry, ltRW));
  EXPECT_FALSE(list.IsWeakerNonPhysicalLock(list.FindLock(ltRW, kTable), ltX)) << "physical";
  list.SetPhysicalLock(isEntry);
  EXPECT_FALSE(list.IsWeakerNonPhysicalLock(isEntry, ltRW));
  list.Clear();
}

// --- The manager, with other processes ---------------------------------------------------------

std::unique_ptr<zev::TABSDiskPageManager> openMultiUser(const std::string& Path) {
  auto manager = std::make_unique<zev::TABSDiskPageManager>(enginetest::InstantSettings());
  bool readOnly = false, repair = false, multiUser = true;
  manager->OpenDatabase(Path, zev::TABSPassword{}, readOnly, repair, false, multiUser);
  return manager;
}

// A session of another process. Args: path, session number, first pages of the lock files.
// Signals "ready", then answers each command with "1", "0" or an error text:
//   table <file> <type>, untable <file> <type>, record <file> <page> <item>,
//   unrecord <file> <page> <item>, filelock <file>.
TEST_HELPER(lock_session) {
  auto manager = openMultiUser(Args[0]);
  const int32_t session = std::stoi(Args[1]);
  std::vector<std::unique_ptr<TABSTableLocksFile>> files;
  for (size_t i = 2; i < Args.size(); ++i) {
    files.push_back(std::make_unique<TABSTableLocksFile>(*manager));
    files.back()->OpenFile(std::stoi(Args[i]));
  }
  TABSDatabaseTableLockManager locks(kSessions, *manager);
  testsupport::Signal("ready");
  for (std::string line = testsupport::WaitCommand(); !line.empty();
       line = testsupport::WaitCommand()) {
    std::istringstream in(line);
    std::string op;
    int file = 0, a = 0, b = 0;
    in >> op >> file >> a >> b;
    TABSTableLocksFile& f = *files[file];
    const auto type = static_cast<TABSLockType>(a);
    const TABSPageItemID record{a, static_cast<uint16_t>(b)};
    bool answer = false;
    const std::string error = errorOf([&] {
      if (op == "table") answer = locks.LockTable(session, type, f, 1, 0);
      if (op == "untable") answer = locks.UnlockTable(session, type, f);
      if (op == "record") answer = locks.LockRecord(session, f, record, 1, 0);
      if (op == "unrecord") answer = locks.UnlockRecord(session, f, record);
      if (op == "filelock") answer = f.LockFile();
    });
    testsupport::Signal(!error.empty() ? error : answer ? "1" : "0");
  }
  locks.SessionLockList(session).Clear();
  return 0;
}

// Session 0 works in this process on two tables; session 1 is another process.
class TableLockManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FManager = openMultiUser(FDatabase.Path());
    FSettings = &FManager->Settings();
    for (auto& file : FFiles) {
      file = std::make_unique<TABSTableLocksFile>(*FManager);
      file->CreateFile(kSessions);
    }
    FManager->ApplyChanges(zev::kSystemSessionID);
    FLocks = std::make_unique<TABSDatabaseTableLockManager>(kSessions, *FManager);
    FOther = std::make_unique<testsupport::THelperProcess>(
        "lock_session", std::vector<std::string>{FDatabase.Path(), "1",
                                                 std::to_string(FFiles[0]->FirstPageNo()),
                                                 std::to_string(FFiles[1]->FirstPageNo())});
    ASSERT_EQ(FOther->ReadLine(), "ready");
  }
  void TearDown() override { FLocks->SessionLockList(0).Clear(); }

  std::string other(const std::string& Command) {
    FOther->Send(Command);
    return FOther->ReadLine();
  }
  bool lock(TABSLockType Type, int File = 0, int Tries = 3) {
    return FLocks->LockTable(0, Type, *FFiles[File], Tries, 10);
  }
  bool unlock(TABSLockType Type, int File = 0) {
    return FLocks->UnlockTable(0, Type, *FFiles[File]);
  }
  // Whether the byte of a lock type of session 0 is held, as another handle sees it.
  bool byteHeld(TABSLockType Type, int File = 0) {
    auto manager = openMultiUser(FDatabase.Path());
    zev::TABSInternalDBDirectAccessFile view(*manager, zev::ptTableLocks);
    view.OpenFile(FFiles[File]->FirstPageNo());
    return view.IsByteLocked(Type * kSessions + 0);
  }
  const TABSTableLockList& list() { return FLocks->SessionLockList(0); }

  enginetest::TTestDatabase FDatabase;
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
  const zev::TABSDiskPageManagerSettings* FSettings = nullptr;
  std::unique_ptr<TABSTableLocksFile> FFiles[2];
  std::unique_ptr<TABSDatabaseTableLockManager> FLocks;
  std::unique_ptr<testsupport::THelperProcess> FOther;
};

TEST_F(TableLockManagerTest, SharedReadRefusesAWriterButNotAnEditor) {
  ASSERT_EQ(other("table 0 1"), "1");  // ltS
  EXPECT_FALSE(lock(ltRW));
  EXPECT_FALSE(list().LockExists(ltRW, FFiles[0]->FirstPageNo()));
  EXPECT_TRUE(lock(ltSIRW, 0, 1));
  EXPECT_TRUE(byteHeld(ltSIRW));
  ASSERT_EQ(other("untable 0 1"), "1");
  EXPECT_TRUE(lock(ltRW));
  EXPECT_EQ(other("table 0 1"), "0");
  EXPECT_TRUE(unlock(ltRW));
  EXPECT_TRUE(unlock(ltSIRW));
  EXPECT_EQ(list().Count(), 0);
}

TEST_F(TableLockManagerTest, RepeatedRequestsTakeOneByte) {
  ASSERT_TRUE(lock(ltS));
  EXPECT_TRUE(lock(ltS));
  ASSERT_TRUE(lock(ltSIRW));
  EXPECT_FALSE(lock(ltSIRW)) << "ltSIRW is never taken twice";
  EXPECT_TRUE(unlock(ltS));
  EXPECT_TRUE(byteHeld(ltS)) << "one request still holds it";
  EXPECT_TRUE(unlock(ltS));
  EXPECT_FALSE(byteHeld(ltS));
  EXPECT_TRUE(unlock(ltSIRW));
  EXPECT_EQ(errorOf([&] { unlock(ltSIRW); }),
            TextOf("Cannot remove table lock. Lock not found", 20202));
  EXPECT_TRUE(FLocks->UnlockTable(0, ltSIRW, *FFiles[0], true));
}

TEST_F(TableLockManagerTest, WeakerLockBecomesPhysicalBeforeTheStrongerGoes) {
  ASSERT_TRUE(lock(ltS));
  ASSERT_TRUE(lock(ltIS));
  const int32_t table = FFiles[0]->FirstPageNo();
  EXPECT_FALSE(list().Item(list().FindLock(ltIS, table)).HasPhysicalLock);
  EXPECT_FALSE(byteHeld(ltIS));
  ASSERT_TRUE(unlock(ltS));
  EXPECT_TRUE(list().Item(list().FindLock(ltIS, table)).HasPhysicalLock);
  EXPECT_TRUE(byteHeld(ltIS));
  EXPECT_FALSE(byteHeld(ltS));
  EXPECT_EQ(other("table 0 6"), "0") << "ltX";
  ASSERT_TRUE(unlock(ltIS));
  EXPECT_EQ(other("table 0 6"), "1");
  EXPECT_FALSE(lock(ltIS)) << "ltX is the table file's lock";
  EXPECT_EQ(other("untable 0 6"), "1");
  EXPECT_TRUE(lock(ltIS));
  EXPECT_TRUE(unlock(ltIS));
}

TEST_F(TableLockManagerTest, OneRecordPerSessionAndTable) {
  ASSERT_EQ(other("record 0 17 3"), "1");
  EXPECT_TRUE(FLocks->IsRecordLocked(0, *FFiles[0], TABSPageItemID{17, 3}));
  EXPECT_FALSE(FLocks->LockRecord(0, *FFiles[0], TABSPageItemID{17, 3}, 3, 10));
  EXPECT_TRUE(FLocks->LockRecord(0, *FFiles[0], TABSPageItemID{17, 4}, 3, 10));
  EXPECT_EQ(other("record 0 17 5"), "0") << "it holds (17, 3) already";
  EXPECT_TRUE(FLocks->LockRecord(0, *FFiles[1], TABSPageItemID{17, 3}, 1, 10))
      << "another table";
  EXPECT_TRUE(FLocks->UnlockRecord(0, *FFiles[0], TABSPageItemID{17, 4}));
  EXPECT_FALSE(FLocks->UnlockRecord(0, *FFiles[0], TABSPageItemID{17, 4}));
  EXPECT_TRUE(FLocks->UnlockRecord(0, *FFiles[1], TABSPageItemID{17, 3}));
  ASSERT_EQ(other("unrecord 0 17 3"), "1");
  EXPECT_TRUE(FLocks->LockRecord(0, *FFiles[0], TABSPageItemID{17, 3}, 1, 10));
  EXPECT_TRUE(FLocks->UnlockRecord(0, *FFiles[0], TABSPageItemID{17, 3}));
}

TEST_F(TableLockManagerTest, RecordUnderAnExclusiveTableTakesNoByte) {
  ASSERT_TRUE(lock(ltX));
  ASSERT_TRUE(FLocks->LockRecord(0, *FFiles[0], TABSPageItemID{17, 3}, 1, 10));
  const int32_t table = FFiles[0]->FirstPageNo();
  EXPECT_FALSE(list().Item(list().FindLock(ltU, table)).HasPhysicalLock);
  EXPECT_TRUE(FLocks->UnlockRecord(0, *FFiles[0], TABSPageItemID{17, 3}));
  EXPECT_TRUE(unlock(ltX));
}

TEST_F(TableLockManagerTest, FailedCommitPreparationLeavesNoWriterLock) {
  ASSERT_TRUE(lock(ltXIRW, 0));
  ASSERT_TRUE(lock(ltXIRW, 1));
  ASSERT_EQ(other("table 1 1"), "1");  // ltS on the second table
  EXPECT_FALSE(FLocks->AddRWLocksBeforeCommit(0));
  EXPECT_FALSE(list().LockExists(ltRW, FFiles[0]->FirstPageNo()));
  EXPECT_FALSE(list().LockExists(ltRW, FFiles[1]->FirstPageNo()));
  EXPECT_FALSE(byteHeld(ltRW, 0));
  EXPECT_FALSE(byteHeld(ltRW, 1));
  EXPECT_TRUE(FLocks->ClearTransactionLocks(0));
  EXPECT_EQ(list().Count(), 0);
}

TEST_F(TableLockManagerTest, CommitTakesWritersAndTheClearKeepsTheEditedRecordsTable) {
  ASSERT_TRUE(lock(ltXIRW, 0));
  ASSERT_TRUE(lock(ltXIRW, 1));
  ASSERT_TRUE(FLocks->LockRecord(0, *FFiles[1], TABSPageItemID{17, 3}, 1, 10));
  ASSERT_TRUE(FLocks->AddRWLocksBeforeCommit(0));
  EXPECT_TRUE(byteHeld(ltRW, 0));
  EXPECT_TRUE(byteHeld(ltRW, 1));
  EXPECT_EQ(other("table 0 1"), "0") << "ltS refused during the commit";
  ASSERT_TRUE(FLocks->ClearTransactionLocks(0));
  const int32_t table = FFiles[1]->FirstPageNo();
  EXPECT_EQ(list().Count(), 2);
  EXPECT_TRUE(list().LockExists(ltU, table));
  EXPECT_TRUE(list().LockExists(ltSIRW, table));
  EXPECT_TRUE(byteHeld(ltSIRW, 1));
  for (int file : {0, 1}) {
    EXPECT_FALSE(byteHeld(ltRW, file));
    EXPECT_FALSE(byteHeld(ltXIRW, file));
  }
  EXPECT_EQ(other("table 0 1"), "1");
  EXPECT_TRUE(FLocks->UnlockRecord(0, *FFiles[1], TABSPageItemID{17, 3}));
  EXPECT_TRUE(unlock(ltSIRW, 1));
}

TEST_F(TableLockManagerTest, ClearUnderAnExclusiveTableKeepsACoveredEditLock) {
  ASSERT_TRUE(lock(ltX));
  ASSERT_TRUE(lock(ltXIRW));
  ASSERT_TRUE(FLocks->LockRecord(0, *FFiles[0], TABSPageItemID{17, 3}, 1, 10));
  ASSERT_TRUE(FLocks->AddRWLocksBeforeCommit(0));
  ASSERT_TRUE(FLocks->ClearTransactionLocks(0));
  const int32_t table = FFiles[0]->FirstPageNo();
  EXPECT_EQ(list().Count(), 3);
  ASSERT_TRUE(list().LockExists(ltSIRW, table));
  EXPECT_FALSE(list().Item(list().FindLock(ltSIRW, table)).HasPhysicalLock);
  EXPECT_FALSE(byteHeld(ltSIRW));
  ASSERT_TRUE(unlock(ltX));
  EXPECT_TRUE(byteHeld(ltSIRW)) << "the edit lock outlives the exclusive one";
  EXPECT_EQ(other("table 0 6"), "0") << "ltX";
  EXPECT_TRUE(FLocks->UnlockRecord(0, *FFiles[0], TABSPageItemID{17, 3}));
  EXPECT_TRUE(unlock(ltSIRW));
  EXPECT_EQ(list().Count(), 0);
}

TEST_F(TableLockManagerTest, ReleaseWithoutTheFileLockKeepsTheEntry) {
  ASSERT_TRUE(lock(ltS));
  ASSERT_EQ(other("filelock 0"), "1");
  EXPECT_FALSE(unlock(ltS));
  EXPECT_TRUE(list().LockExists(ltS, FFiles[0]->FirstPageNo()));
  EXPECT_TRUE(byteHeld(ltS));
  FOther->Kill();
  FOther->Wait();
  EXPECT_TRUE(unlock(ltS));
  EXPECT_FALSE(byteHeld(ltS));
}

TEST_F(TableLockManagerTest, LocksOfAKilledProcessDisappear) {
  ASSERT_EQ(other("table 0 6"), "1");  // ltX on the first table
  ASSERT_EQ(other("table 1 4"), "1");  // ltRW on the second
  ASSERT_EQ(other("record 1 17 3"), "1");
  EXPECT_FALSE(lock(ltIS, 0));
  EXPECT_FALSE(lock(ltS, 1));
  FOther->Kill();
  FOther->Wait();
  EXPECT_TRUE(lock(ltIS, 0, 1));
  EXPECT_TRUE(lock(ltS, 1, 1));
  EXPECT_TRUE(FLocks->LockRecord(0, *FFiles[1], TABSPageItemID{17, 3}, 1, 10));
  EXPECT_TRUE(FLocks->UnlockRecord(0, *FFiles[1], TABSPageItemID{17, 3}));
  EXPECT_TRUE(unlock(ltS, 1));
  EXPECT_TRUE(unlock(ltIS, 0));
}

TEST_F(TableLockManagerTest, WaitsSleepHalfToOneDelayThroughTheSettings) {
  ASSERT_EQ(other("table 0 1"), "1");
  std::vector<uint32_t> sleeps;
  zev::TABSDiskPageManagerSettings settings = enginetest::InstantSettings();
  settings.SleepFunction = [&](uint32_t Ms) { sleeps.push_back(Ms); };
  auto manager = std::make_unique<zev::TABSDiskPageManager>(settings);
  bool readOnly = false, repair = false, multiUser = true;
  manager->OpenDatabase(FDatabase.Path(), zev::TABSPassword{}, readOnly, repair, false,
                        multiUser);
  TABSTableLocksFile file(*manager);
  file.OpenFile(FFiles[0]->FirstPageNo());
  TABSDatabaseTableLockManager locks(kSessions, *manager);
  EXPECT_FALSE(locks.LockTable(2, ltRW, file, 6, 100));
  ASSERT_EQ(sleeps.size(), 5u);
  for (uint32_t ms : sleeps) {
    EXPECT_GE(ms, 50u);
    EXPECT_LT(ms, 100u);
  }
  sleeps.clear();
  ASSERT_EQ(other("record 0 17 3"), "1");
  EXPECT_FALSE(locks.LockRecord(2, file, TABSPageItemID{17, 3}, 4, 30));
  EXPECT_EQ(sleeps, (std::vector<uint32_t>{30, 30, 30}));
}

TEST_F(TableLockManagerTest, SessionBeyondTheManagerIsRefused) {
  EXPECT_EQ(errorOf([&] { FLocks->SessionLockList(kSessions); }),
            TextOf("Cannot set table lock. Try to repair database or to increase number of "
                   "allowed connections",
                   20200));
}

}  // namespace
