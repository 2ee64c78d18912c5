#include "engine/storage/ZEVDatabaseData.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/ZEVDBHeader.h"
#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVSecurity.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/support/TestSupport.h"

namespace {

using zev::TABSBaseSession;
using zev::TABSDiskDatabaseData;
using zev::TABSDiskDatabaseSettings;

std::string textOf(const std::string& Message, int Code) {
  char code[8];
  std::snprintf(code, sizeof code, "%.5d", Code);
  return Message + " - Native error: " + code;
}

TABSDiskDatabaseSettings testSettings(int32_t MaxSessionCount = 8,
                                      const std::string& Password = "") {
  TABSDiskDatabaseSettings settings;
  settings.MaxSessionCount = MaxSessionCount;
  settings.Password = zev::TABSPassword{Password, zev::craRijndael_128};
  settings.PageManagerSettings.DBHeaderLockAttempts = 1;
  settings.PageManagerSettings.ObjectIDLockAttempts = 1;
  settings.PageManagerSettings.InternalFileLockAttempts = 3;
  settings.PageManagerSettings.SleepFunction = [](uint32_t) {};
  settings.PageManagerSettings.CacheCapacity = 100;
  return settings;
}

class TSession : public TABSBaseSession {
 public:
  explicit TSession(bool MultiUser, bool Exclusive = false) {
    SetMultiUser(MultiUser);
    SetExclusive(Exclusive);
  }
};

class DatabaseDataTest : public ::testing::Test {
 protected:
  void createDatabase(int32_t MaxSessionCount = 8, const std::string& Password = "") {
    TABSDiskDatabaseData database(FPath, testSettings(MaxSessionCount, Password));
    database.CreateDatabase();
    ASSERT_FALSE(database.IsOpened());
  }
  std::unique_ptr<TABSDiskDatabaseData> database(const std::string& Password = "") {
    return std::make_unique<TABSDiskDatabaseData>(FPath, testSettings(8, Password));
  }
  std::string fileBytes() const { return testsupport::ReadFile(FPath); }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("test.abs");
};

int32_t int32At(const std::string& Bytes, size_t Offset) {
  return zev::GetInt32LE(reinterpret_cast<const uint8_t*>(Bytes.data()) + Offset);
}
uint16_t pageTypeAt(const std::string& Bytes, int32_t PageNo) {
  return zev::GetUInt16LE(reinterpret_cast<const uint8_t*>(Bytes.data()) + 380 + PageNo * 4096 +
                          zev::TABSDiskPageHeader::PageTypeOffset);
}

// --- A new database -------------------------------------------------------------------------

struct TNewDatabaseCase {
  int32_t Slots;
  const char* Password;
};

class NewDatabaseTest : public DatabaseDataTest,
                        public ::testing::WithParamInterface<TNewDatabaseCase> {};

TEST_P(NewDatabaseTest, HasItsSystemFilesOnTheFirstPagesAndOneCommit) {
  createDatabase(GetParam().Slots, GetParam().Password);
  const std::string bytes = fileBytes();
  ASSERT_EQ(bytes.size(), 24956u);
  zev::TABSDBHeader header;
  header.Load(reinterpret_cast<const uint8_t*>(bytes.data()));
  EXPECT_EQ(header.PageSize, 4096);
  EXPECT_EQ(header.PageCountInExtent, 8);
  EXPECT_EQ(header.TotalPageCount, 6);
  EXPECT_EQ(header.LastUsedPageNo, 4);
  EXPECT_EQ(header.State, 1);
  EXPECT_EQ(header.WriteChangesState, 2);
  EXPECT_EQ(pageTypeAt(bytes, 0), zev::ptPFS);
  EXPECT_EQ(pageTypeAt(bytes, 1), zev::ptEAM);
  EXPECT_EQ(pageTypeAt(bytes, 2), zev::ptFileSystemDirectory);
  EXPECT_EQ(pageTypeAt(bytes, 3), zev::ptActiveSessionList);
  EXPECT_EQ(pageTypeAt(bytes, 4), zev::ptTableList);
  EXPECT_EQ(bytes.substr(380 + 5 * 4096), std::string(4096, '\0')) << "page 5 never written";

  // The session-slot file is unencrypted: its header shows the slot count in the file.
  EXPECT_EQ(bytes[380 + 3 * 4096 + 40], 10);
  EXPECT_EQ(int32At(bytes, 380 + 3 * 4096 + 41), GetParam().Slots);

  auto db = database(GetParam().Password);
  TSession session(false);
  db->ConnectSession(session);
  EXPECT_EQ(db->MaxSessionCount(), GetParam().Slots);
  EXPECT_EQ(db->PageSize(), 4096);
  EXPECT_EQ(db->PageCountInExtent(), 8);
  std::vector<AnsiString> tables{"left over"};
  db->GetTablesList(tables);
  EXPECT_TRUE(tables.empty());
  db->DisconnectSession(session);
}

INSTANTIATE_TEST_SUITE_P(Cases, NewDatabaseTest,
                         ::testing::Values(TNewDatabaseCase{4046, ""},
                                           TNewDatabaseCase{1000, "#Tprazmolyk47"}));

TEST_F(DatabaseDataTest, EncryptedNewDatabaseNeedsItsPassword) {
  createDatabase(1000, "secret");
  const std::string bytes = fileBytes();
  zev::TABSCryptoHeader crypto;
  crypto.Load(reinterpret_cast<const uint8_t*>(bytes.data()) + zev::TABSDBHeader::Size);
  EXPECT_EQ(crypto.CryptoAlgorithm, zev::craRijndael_128);

  auto wrong = database("other");
  TSession session(false);
  EXPECT_EQ(errorOf([&] { wrong->ConnectSession(session); }),
            textOf("Cannot open database - incorrect password", 30445));
  EXPECT_FALSE(wrong->IsOpened()) << "a failed first connection frees what it built";
  EXPECT_TRUE(wrong->SessionList().empty());

  auto right = database("secret");
  right->ConnectSession(session);
  EXPECT_TRUE(right->IsOpened());
  right->DisconnectSession(session);
  EXPECT_FALSE(right->IsOpened()) << "the last disconnection closes the file";
}

TEST_F(DatabaseDataTest, CreationFailureLeavesNothingOpen) {
  TABSDiskDatabaseData db(FDir.File("missing/dir/test.abs"), testSettings());
  EXPECT_NE(errorOf([&] { db.CreateDatabase(); }), "");
  EXPECT_FALSE(db.IsOpened());
}

// --- Sessions -------------------------------------------------------------------------------

TEST_F(DatabaseDataTest, MultiUserSessionsTakeTheLowestFreeSlot) {
  createDatabase();
  auto db = database();
  TSession first(true), second(true), third(true);
  db->ConnectSession(first);
  db->ConnectSession(second);
  EXPECT_EQ(first.SessionID(), 0);
  EXPECT_EQ(second.SessionID(), 1);
  EXPECT_EQ(db->GetDBFileConnectionsCount(), 2);
  db->DisconnectSession(first);
  db->ConnectSession(third);
  EXPECT_EQ(third.SessionID(), 0);
  db->DisconnectSession(second);
  db->DisconnectSession(third);
  EXPECT_FALSE(db->IsOpened());
}

TEST_F(DatabaseDataTest, SingleUserSessionsShareNumberZeroAndRefuseMultiUser) {
  createDatabase();
  auto db = database();
  TSession first(false), second(false), multi(true);
  db->ConnectSession(first);
  db->ConnectSession(second);
  EXPECT_EQ(first.SessionID(), 0);
  EXPECT_EQ(second.SessionID(), 0);
  EXPECT_TRUE(db->SingleUserConnected());
  EXPECT_FALSE(db->ReadOnly());
  EXPECT_EQ(db->GetDBFileConnectionsCount(), 8) << "a single-user process holds every slot";
  EXPECT_EQ(errorOf([&] { db->ConnectSession(multi); }),
            textOf("Cannot open database in multi-user and signle-user mode at the same time",
                   20235));
  EXPECT_EQ(db->SessionList().size(), 2u);
  db->DisconnectSession(first);
  db->DisconnectSession(second);
  EXPECT_FALSE(db->IsOpened());
}

TEST_F(DatabaseDataTest, ObjectIdentifiersCountUp) {
  createDatabase();
  auto db = database();
  TSession session(true);
  db->ConnectSession(session);
  const int32_t first = db->GetNewObjectId();
  EXPECT_EQ(db->GetNewObjectId(), first + 1);
  db->DisconnectSession(session);
}

// --- The catalogue --------------------------------------------------------------------------

TEST_F(DatabaseDataTest, CatalogueChangesAreKeptInTheFile) {
  createDatabase();
  {
    auto db = database();
    TSession session(true);
    db->ConnectSession(session);
    db->LockTables();
    db->AddTable(11, "Matiere", 10, 11, 12);
    db->AddTable(21, "Entreprise", 20, 21, 22);
    db->DiskPageManager()->ApplyChanges(zev::kSystemSessionID);
    db->UnlockTables();
    db->RenameTable("ENTREPRISE", "Collecteur");
    db->RemoveTable("matiere");
    db->DiskPageManager()->ApplyChanges(zev::kSystemSessionID);
    db->DisconnectSession(session);
  }
  auto db = database();
  TSession session(true);
  db->ConnectSession(session);
  std::vector<AnsiString> tables;
  db->GetTablesList(tables);
  EXPECT_EQ(tables, std::vector<AnsiString>{"Collecteur"});
  EXPECT_TRUE(db->TableExists("COLLECTEUR"));
  EXPECT_FALSE(db->TableExists("Matiere"));
  int32_t id = 0, metadata = 0, mostUpdated = 0, locks = 0;
  db->OpenTable("collecteur", id, metadata, mostUpdated, locks);
  EXPECT_EQ(std::vector<int32_t>({id, metadata, mostUpdated, locks}),
            std::vector<int32_t>({21, 20, 21, 22}));
  db->DisconnectSession(session);
}

TEST_F(DatabaseDataTest, CatalogueNeedsAnOpenDatabase) {
  auto db = database();
  int32_t id, metadata, mostUpdated, locks;
  struct TCase {
    std::function<void()> Call;
    int Code;
  } cases[] = {
      {[&] { db->AddTable(1, "T", 1, 2, 3); }, 20128},
      {[&] { db->OpenTable("T", id, metadata, mostUpdated, locks); }, 20129},
      {[&] { db->RemoveTable("T"); }, 20130},
      {[&] { db->RenameTable("T", "U"); }, 20131},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(errorOf(c.Call), textOf("Pointer is nil", c.Code)) << c.Code;
}

// --- Between processes ----------------------------------------------------------------------

// Connects one session to the database in another process. Args: path, "multi" or "single".
// Signals the session number (or the error text), then "tables" takes the tables lock and
// answers "locked"; an empty command disconnects and ends.
TEST_HELPER(database_data) {
  TABSDiskDatabaseData db(Args[0], testSettings());
  TSession session(Args[1] == "multi");
  try {
    db.ConnectSession(session);
  } catch (const EABSException& e) {
    testsupport::Signal(e.Message());
    return 1;
  }
  testsupport::Signal(std::to_string(session.SessionID()) + (db.ReadOnly() ? " ro" : " rw"));
  for (;;) {
    const std::string command = testsupport::WaitCommand();
    if (command.empty()) break;
    if (command == "tables") {
      db.LockTables();
      testsupport::Signal("locked");
    }
  }
  db.DisconnectSession(session);
  return 0;
}

TEST_F(DatabaseDataTest, AnotherProcessGetsTheNextSlotAndGivesItBackWhenKilled) {
  createDatabase(4);
  auto db = database();
  TSession first(true), second(true);
  db->ConnectSession(first);
  db->ConnectSession(second);
  testsupport::THelperProcess other("database_data", {FPath, "multi"});
  EXPECT_EQ(other.ReadLine(), "2 rw");
  EXPECT_EQ(db->GetDBFileConnectionsCount(), 3);
  other.Kill();
  EXPECT_EQ(other.Wait(), 128 + SIGKILL);
  EXPECT_EQ(db->GetDBFileConnectionsCount(), 2);
  TSession third(true);
  db->ConnectSession(third);
  EXPECT_EQ(third.SessionID(), 2);
  for (TSession* s : {&first, &second, &third}) db->DisconnectSession(*s);
}

TEST_F(DatabaseDataTest, SingleUserProcessKeepsOthersOutOrReadOnly) {
  createDatabase();
  testsupport::THelperProcess holder("database_data", {FPath, "single"});
  ASSERT_EQ(holder.ReadLine(), "0 rw");

  auto multi = database();
  TSession multiSession(true);
  EXPECT_EQ(errorOf([&] { multi->ConnectSession(multiSession); }),
            textOf("Cannot connect session. Maximum connections quantity exceeded or database "
                   "is open in single-user mode",
                   20094));

  auto single = database();
  TSession singleSession(false);
  single->ConnectSession(singleSession);
  EXPECT_TRUE(single->ReadOnly()) << "a second single-user process opens read-only";
  EXPECT_FALSE(single->SingleUserConnected());
  single->DisconnectSession(singleSession);

  holder.Send("");
  EXPECT_EQ(holder.Wait(), 0);
  auto after = database();
  after->ConnectSession(multiSession);
  EXPECT_EQ(multiSession.SessionID(), 0);
  after->DisconnectSession(multiSession);
}

TEST_F(DatabaseDataTest, TablesLockHeldElsewhereIsRefused) {
  createDatabase();
  testsupport::THelperProcess holder("database_data", {FPath, "multi"});
  ASSERT_EQ(holder.ReadLine(), "0 rw");
  holder.Send("tables");
  ASSERT_EQ(holder.ReadLine(), "locked");
  auto db = database();
  TSession session(true);
  db->ConnectSession(session);
  EXPECT_EQ(errorOf([&] { db->LockTables(); }), textOf("Database tables are locked", 20210));
  EXPECT_EQ(errorOf([&] { db->UnlockTables(); }), textOf("Cannot unlock database tables", 20211));
  db->DisconnectSession(session);
}

// --- Commit and rollback --------------------------------------------------------------------

// A table lock file and a page to change, made in the system session.
struct TTable {
  int32_t LocksFilePageNo;
  int32_t PageNo;
};

TTable makeTable(TABSDiskDatabaseData& Db) {
  zev::TABSTableLocksFile locks(*Db.DiskPageManager());
  const int32_t locksPage = locks.CreateFile(Db.MaxSessionCount());
  zev::TABSPage* page = Db.DiskPageManager()->AddPage(zev::kSystemSessionID, zev::ptTableRecord);
  const int32_t pageNo = page->PageNo();
  Db.DiskPageManager()->PutPage(page);
  Db.DiskPageManager()->ApplyChanges(zev::kSystemSessionID);
  return {locksPage, pageNo};
}

void changePage(TABSDiskDatabaseData& Db, int32_t SessionID, int32_t PageNo, uint8_t Fill) {
  zev::TABSPinnedPage page(Db.DiskPageManager()->GetPage(SessionID, PageNo, zev::ptTableRecord));
  std::memset(page->PageData(), Fill, page->PageDataSize());
  page->SetIsDirty(true);
}

uint8_t firstByteSeenBy(TABSDiskDatabaseData& Db, int32_t SessionID, int32_t PageNo) {
  zev::TABSPinnedPage page(Db.DiskPageManager()->GetPage(SessionID, PageNo, zev::ptTableRecord));
  return page->PageData()[0];
}

TEST_F(DatabaseDataTest, CommitRefusedByAnotherReaderWritesNothingAndLeavesNoRWLock) {
  createDatabase();
  auto db = database();
  TSession writer(true), reader(true);
  db->ConnectSession(writer);
  db->ConnectSession(reader);
  const TTable table = makeTable(*db);
  zev::TABSTableLocksFile locks(*db->DiskPageManager());
  locks.OpenFile(table.LocksFilePageNo);
  auto& manager = *db->TableLockManager();

  ASSERT_TRUE(manager.LockTable(reader.SessionID(), zev::ltS, locks, 1, 0));
  ASSERT_TRUE(manager.LockTable(writer.SessionID(), zev::ltXIRW, locks, 1, 0));
  changePage(*db, writer.SessionID(), table.PageNo, 7);
  const std::string before = fileBytes();
  EXPECT_EQ(errorOf([&] { db->Commit(writer.SessionID(), true); }),
            textOf("Cannot commit changes. Locks of modified tables failed", 20233));
  EXPECT_EQ(fileBytes(), before) << "nothing written";
  EXPECT_FALSE(manager.SessionLockList(writer.SessionID()).LockExists(zev::ltRW,
                                                                      table.LocksFilePageNo));
  EXPECT_FALSE(locks.IsTableLockedByAnyOtherSession(reader.SessionID(), zev::ltRW));

  // Once the reader is gone the same transaction commits, and its locks are dropped.
  ASSERT_TRUE(manager.UnlockTable(reader.SessionID(), zev::ltS, locks));
  db->Commit(writer.SessionID(), true);
  EXPECT_EQ(manager.SessionLockList(writer.SessionID()).Count(), 0);
  EXPECT_EQ(firstByteSeenBy(*db, reader.SessionID(), table.PageNo), 7);
  locks.CloseFile();
  db->DisconnectSession(reader);
  db->DisconnectSession(writer);
}

TEST_F(DatabaseDataTest, RollbackDropsTheChangesAndTheTransactionLocks) {
  createDatabase();
  auto db = database();
  TSession writer(true);
  db->ConnectSession(writer);
  const TTable table = makeTable(*db);
  zev::TABSTableLocksFile locks(*db->DiskPageManager());
  locks.OpenFile(table.LocksFilePageNo);
  auto& manager = *db->TableLockManager();
  ASSERT_TRUE(manager.LockTable(writer.SessionID(), zev::ltXIRW, locks, 1, 0));
  changePage(*db, writer.SessionID(), table.PageNo, 9);
  db->Rollback(writer.SessionID());
  EXPECT_EQ(manager.SessionLockList(writer.SessionID()).Count(), 0);
  EXPECT_EQ(firstByteSeenBy(*db, writer.SessionID(), table.PageNo), 0);
  EXPECT_FALSE(db->DiskPageManager()->HasChanges(writer.SessionID()));
  locks.CloseFile();
  db->DisconnectSession(writer);
}

}  // namespace
