#include "engine/tables/ZEVCursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/CursorTestSupport.h"

namespace {

using namespace cursortest;
using enginetest::FormattedTextOf;
using enginetest::TextOf;
using zev::grrBOF;
using zev::grrEOF;
using zev::grrError;
using zev::grrOK;
using zev::TABSLocalCursor;

class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createCompanyDatabase(FPath);
    FSession = openSession(FPath, false);
    FCursor = openCompanies(*FSession);
  }
  void TearDown() override {
    FCursor.reset();
    FSession.reset();
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("reference.abs");
  std::unique_ptr<zev::TABSLocalSession> FSession;
  std::unique_ptr<TABSLocalCursor> FCursor;
};

TEST_F(CursorTest, NewRowsTakeTheNextIdsAndTheIndexOrdersThemWhateverThePhysicalOrder) {
  EXPECT_EQ(FCursor->GetRecordBuffer(zev::grmNext), grrEOF) << "empty table";
  ASSERT_EQ(insertCompany(*FCursor, "Veolia"), 0);
  EXPECT_EQ(getId(*FCursor), 1);
  ASSERT_EQ(insertCompany(*FCursor, "Suez"), 0);
  EXPECT_EQ(FCursor->LastAutoincValue(fId), 2);
  ASSERT_EQ(insertCompany(*FCursor, "Paprec", "Lyon", 10), 0);
  ASSERT_EQ(insertCompany(*FCursor, "Derichebourg"), 0);
  EXPECT_EQ(getId(*FCursor), 11) << "an explicit key moves the sequence forward";
  ASSERT_EQ(insertCompany(*FCursor, "Sepur", "Lyon", 5), 0);
  EXPECT_EQ(FCursor->GetRecordCount(), 5);

  EXPECT_EQ(walkIds(*FCursor), (std::vector<int32_t>{1, 2, 5, 10, 11}));
  FCursor->SetIndexName("");
  EXPECT_EQ(walkIds(*FCursor), (std::vector<int32_t>{1, 2, 10, 11, 5})) << "physical order";

  // Backwards, and the answers at both ends.
  FCursor->SetIndexName("idxPrimaryKey");
  FCursor->InternalLast();
  std::vector<int32_t> backwards;
  while (FCursor->GetRecordBuffer(zev::grmPrior) == grrOK) backwards.push_back(getId(*FCursor));
  EXPECT_EQ(backwards, (std::vector<int32_t>{11, 10, 5, 2, 1}));
  EXPECT_EQ(FCursor->GetRecordBuffer(zev::grmPrior), grrBOF);
  FCursor->InternalFirst();
  EXPECT_EQ(FCursor->GetRecordBuffer(zev::grmPrior), grrBOF);
}

TEST_F(CursorTest, FindKeyPositionsOnTheRowOrLeavesThePositionAlone) {
  for (const char* nom : {"A", "B", "C", "D"}) ASSERT_EQ(insertCompany(*FCursor, nom), 0);
  ASSERT_TRUE(findCompany(*FCursor, 3));
  EXPECT_EQ(getString(*FCursor, fNom), "C");
  EXPECT_EQ(FCursor->GetRecNo(), 3);
  EXPECT_FALSE(findCompany(*FCursor, 42));
  EXPECT_EQ(FCursor->GetRecordBuffer(zev::grmCurrent), grrOK);
  EXPECT_EQ(getString(*FCursor, fNom), "C") << "a miss keeps the position";
  EXPECT_EQ(FCursor->GetRecordBuffer(zev::grmNext), grrOK);
  EXPECT_EQ(getId(*FCursor), 4);
  EXPECT_EQ(FCursor->GetRecordBuffer(zev::grmNext), grrEOF);
}

TEST_F(CursorTest, DuplicatePrimaryKeyIsRefusedWithTheConstraintsMessage) {
  ASSERT_EQ(insertCompany(*FCursor, "Veolia"), 0);
  EXPECT_EQ(insertCompany(*FCursor, "Copie", "Paris", 1), -8);
  EXPECT_EQ(FCursor->ErrorMessage(),
            FormattedTextOf("Primary Key constraint 'PK_Companies' violated. Duplicate found.",
                            30319));
  EXPECT_EQ(FCursor->GetRecordCount(), 1);
  ASSERT_EQ(insertCompany(*FCursor, "Suez"), 0);
  EXPECT_EQ(getId(*FCursor), 2) << "the refused row took no number";
}

TEST_F(CursorTest, EditPostAndDeleteKeepTheIndexesInStep) {
  for (const char* nom : {"A", "B", "C"}) ASSERT_EQ(insertCompany(*FCursor, nom, "Paris"), 0);
  ASSERT_TRUE(findCompany(*FCursor, 2));
  FCursor->InternalEdit();
  ASSERT_EQ(FCursor->ErrorCode(), 0);
  setString(*FCursor, fVille, "Annecy");
  FCursor->InternalPost(false);
  ASSERT_EQ(FCursor->ErrorCode(), 0) << FCursor->ErrorMessage();

  auto byTown = openCompanies(*FSession, "idxVille");
  EXPECT_EQ(walkIds(*byTown), (std::vector<int32_t>{2, 1, 3}));
  ASSERT_TRUE(findCompany(*FCursor, 1));
  FCursor->InternalDelete();
  ASSERT_EQ(FCursor->ErrorCode(), 0);
  EXPECT_EQ(getId(*FCursor), 2) << "the next row becomes current";
  EXPECT_EQ(walkIds(*byTown), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(FCursor->GetRecordCount(), 2);
  FSession->DatabaseData().Lock();
  zev::TABSDiskTableData& table = zev::TABSDiskTableData::FindOrCreate(FSession->DatabaseData(), "Companies");
  table.IndexManager().OpenIndex(table.IndexManager().IndexDefs().Items(0)->FObjectID).CheckIntegrity(FSession->SessionID());
  FSession->DatabaseData().Unlock();
}

TEST_F(CursorTest, RangeWithEqualInclusiveBoundsShowsOnlyThatKey) {
  const char* towns[] = {"Lyon", "Paris", "Lyon", "Annecy", "Lyon", "Paris"};
  for (const char* town : towns) ASSERT_EQ(insertCompany(*FCursor, "X", town), 0);
  auto byTown = openCompanies(*FSession, "idxVille");
  std::vector<uint8_t> bound = byTown->AllocateRecordBuffer();
  byTown->InternalInitRecord(bound.data(), false);
  zev::TABSVariant lyon;
  lyon.SetAsAnsiString("Lyon");
  byTown->FieldAccess().SetFieldValue(lyon, fVille, bound.data());
  byTown->ApplyRange(bound.data(), bound.data(), 1, 1, false, false);
  EXPECT_EQ(byTown->GetRecordCount(), 3);
  EXPECT_EQ(walkIds(*byTown), (std::vector<int32_t>{1, 3, 5}));
  byTown->SetRecNo(2);
  EXPECT_EQ(getId(*byTown), 3);
  EXPECT_EQ(byTown->GetRecNo(), 2);
  byTown->ApplyRange(bound.data(), nullptr, 1, 0, true, false);
  EXPECT_EQ(walkIds(*byTown), (std::vector<int32_t>{2, 6})) << "after Lyon, exclusive";
  byTown->ResetRange();
  EXPECT_EQ(byTown->GetRecordCount(), 6);
}

TEST_F(CursorTest, RecordNumbersAndEmptyingTheTable) {
  for (int i = 0; i < 45; ++i) ASSERT_EQ(insertCompany(*FCursor, "N" + std::to_string(i)), 0);
  for (const char* index : {"idxPrimaryKey", ""}) {
    FCursor->SetIndexName(index);
    FCursor->SetRecNo(30);
    EXPECT_EQ(getId(*FCursor), 30);
    EXPECT_EQ(FCursor->GetRecNo(), 30);
    FCursor->SetRecNo(1000);
    EXPECT_EQ(getId(*FCursor), 45) << "clamped to the last row";
    FCursor->InternalFirst();
    EXPECT_EQ(FCursor->GetRecNo(), -1);
  }
  FCursor->EmptyTable();
  EXPECT_EQ(FCursor->GetRecordCount(), 0);
  EXPECT_EQ(FCursor->GetRecordBuffer(zev::grmNext), grrEOF);
  ASSERT_EQ(insertCompany(*FCursor, "Nouveau"), 0);
  EXPECT_EQ(getId(*FCursor), 1) << "emptying restarts the sequence";
}

TEST_F(CursorTest, RowsSurviveReopeningTheFile) {
  for (const char* nom : {"Veolia", "Suez"}) ASSERT_EQ(insertCompany(*FCursor, nom), 0);
  FCursor.reset();
  FSession.reset();
  FSession = openSession(FPath, false);
  FCursor = openCompanies(*FSession);
  EXPECT_EQ(walkIds(*FCursor), (std::vector<int32_t>{1, 2}));
  ASSERT_TRUE(findCompany(*FCursor, 2));
  EXPECT_EQ(getString(*FCursor, fNom), "Suez");
  ASSERT_EQ(insertCompany(*FCursor, "Paprec"), 0);
  EXPECT_EQ(getId(*FCursor), 3);
}

TEST_F(CursorTest, TransactionsAndUnsupportedRequests) {
  int code = 0;
  EXPECT_EQ(errorOf([&] { FSession->Commit(); }, &code),
            TextOf("Database is not within a transaction. Cannot perform operation", 20229));
  EXPECT_EQ(code, 20229);
  EXPECT_EQ(errorOf([&] { FSession->Rollback(); }, &code),
            TextOf("Database is not within a transaction. Cannot perform operation", 20229));

  FSession->StartTransaction();
  ASSERT_EQ(insertCompany(*FCursor, "Provisoire"), 0);
  FSession->Rollback();
  EXPECT_EQ(FCursor->GetRecordCount(), 0);
  FSession->StartTransaction();
  ASSERT_EQ(insertCompany(*FCursor, "Gardé"), 0);
  FSession->Commit();
  EXPECT_EQ(FCursor->GetRecordCount(), 1);

  EXPECT_EQ(errorOf([&] { FCursor->ActivateFilters("Nom = 'x'"); }, &code),
            TextOf("Not implemented yet", 30058));
}

TEST_F(CursorTest, ExclusiveUseIsRefusedWhileAnotherCursorHasTheTable) {
  TABSLocalCursor exclusive(*FSession);
  exclusive.SetTableName("Companies");
  exclusive.SetExclusive(true);
  int code = 0;
  EXPECT_EQ(errorOf([&] { exclusive.OpenTable(); }, &code),
            FormattedTextOf("Cannot access table 'Companies' in exclusive mode. Table is open by "
                            "another cursors",
                            20242));
  EXPECT_FALSE(exclusive.IsOpen());
  ASSERT_EQ(insertCompany(*FCursor, "Toujours là"), 0) << "the first cursor is unaffected";
}

TEST_F(CursorTest, BatchUpdatesApplyOrCancelTheirRowsTogether) {
  FCursor->BeginBatchUpdate();
  for (const char* nom : {"A", "B"}) ASSERT_EQ(insertCompany(*FCursor, nom), 0);
  FCursor->CancelBatchUpdate();
  EXPECT_EQ(FCursor->GetRecordCount(), 0);
  FCursor->BeginBatchUpdate();
  for (const char* nom : {"C", "D"}) ASSERT_EQ(insertCompany(*FCursor, nom), 0);
  FCursor->EndBatchUpdate();
  FCursor.reset();
  FSession.reset();
  FSession = openSession(FPath, false);
  FCursor = openCompanies(*FSession);
  EXPECT_EQ(walkIds(*FCursor), (std::vector<int32_t>{1, 2}));
}

TEST_F(CursorTest, RenamingAndDeletingTheTable) {
  ASSERT_EQ(insertCompany(*FCursor, "A"), 0);
  int code = 0;
  TABSLocalCursor other(*FSession);
  other.SetTableName("Companies");
  EXPECT_EQ(errorOf([&] { other.RenameTable("Entreprises"); }, &code),
            FormattedTextOf("Cannot rename table 'Companies'. Table is open by another dataset",
                            10150));
  EXPECT_EQ(errorOf([&] { other.DeleteTable(); }, &code), 
            FormattedTextOf("Cannot delete table 'Companies'. Table is open by another dataset",
                            20017));
  FCursor->CloseTable();
  other.RenameTable("Entreprises");
  EXPECT_FALSE(FSession->DatabaseData().TableExists("Companies"));
  TABSLocalCursor renamed(*FSession);
  renamed.SetTableName("Entreprises");
  renamed.OpenTable();
  EXPECT_EQ(renamed.GetRecordCount(), 1);
  const int32_t pagesBefore = FSession->DatabaseData().DiskPageManager()->PageCount();
  renamed.DeleteTable();
  EXPECT_FALSE(FSession->DatabaseData().TableExists("Entreprises"));
  EXPECT_FALSE(renamed.IsOpen());
  // The freed pages serve the next table of the file.
  FCursor = std::make_unique<TABSLocalCursor>(*FSession);
  FCursor->SetTableName("Encore");
  zev::TABSFieldDefs fields;
  addField(fields, "Id", zev::aftAutoInc, 0);
  FCursor->CreateTable(fields, {}, {});
  EXPECT_LE(FSession->DatabaseData().DiskPageManager()->PageCount(), pagesBefore);
}

TEST_F(CursorTest, RepairModeRebuildsAPageIndexThatDisagreesWithTheCounters) {
  for (int i = 0; i < 25; ++i) ASSERT_EQ(insertCompany(*FCursor, "N" + std::to_string(i)), 0);
  {
    std::lock_guard<std::recursive_mutex> guard(FSession->DatabaseData().CSect());
    auto& table = zev::TABSDiskTableData::FindOrCreate(FSession->DatabaseData(), "Companies");
    table.RecordManager().SetRecordCount(99);
    table.SaveMostUpdated(FSession->SessionID());
    table.ApplyChanges(FSession->SessionID(), false);
  }
  FCursor->CloseTable();
  FCursor = openCompanies(*FSession);
  EXPECT_EQ(FCursor->GetRecordCount(), 99) << "without repair the counters are trusted";
  FCursor->CloseTable();

  TABSLocalCursor repairing(*FSession);
  repairing.SetTableName("Companies");
  repairing.SetIsRepairing(true);
  repairing.OpenTable();
  EXPECT_EQ(repairing.GetRecordCount(), 25);
  repairing.CloseTable();
  FCursor = openCompanies(*FSession);
  EXPECT_EQ(FCursor->GetRecordCount(), 25);
  EXPECT_EQ(walkIds(*FCursor).size(), 25u);
}

TEST(CursorSessionTest, SessionsOfAProcessShareTheDatabaseAndItsPassword) {
  testsupport::TTempDir dir;
  const std::string path = dir.File("secret.abs");
  auto settingsWith = [](const char* Password) {
    zev::TABSDiskDatabaseSettings settings = databaseSettings(false);
    settings.Password.Password = Password;
    return settings;
  };
  {
    zev::TABSLocalSession creator;
    creator.SetDatabaseFileName(path);
    creator.SetDatabaseSettings(settingsWith("secret"));
    creator.CreateDatabase();
  }
  zev::TABSLocalSession first;
  first.SetDatabaseFileName(path);
  first.SetDatabaseSettings(settingsWith("secret"));
  first.SetConnected(true);
  zev::TABSLocalSession second;
  second.SetDatabaseFileName(path);
  second.SetDatabaseSettings(settingsWith("secret"));
  second.SetConnected(true);
  EXPECT_EQ(&first.DatabaseData(), &second.DatabaseData());

  zev::TABSLocalSession intruder;
  intruder.SetDatabaseFileName(path);
  intruder.SetDatabaseSettings(settingsWith("autre"));
  int code = 0;
  EXPECT_EQ(errorOf([&] { intruder.SetConnected(true); }, &code),
            TextOf("Database password is invalid.", 20298));
  EXPECT_FALSE(intruder.Connected());
  EXPECT_EQ(errorOf([&] { first.CreateDatabase(); }, &code),
            TextOf("Cannot create database. Database is already open", 20092));

  first.SetConnected(false);
  second.SetConnected(false);
  EXPECT_EQ(errorOf([&] { intruder.SetConnected(true); }, &code),
            TextOf("Cannot open database - incorrect password", 30445))
      << "the first connection is checked by the file itself";
}

TEST(CursorTableTest, TablesThatCannotBeCreatedLeaveNothingBehind) {
  testsupport::TTempDir dir;
  const std::string path = dir.File("t.abs");
  createCompanyDatabase(path);
  auto session = openSession(path, false);
  const int32_t pages = session->DatabaseData().DiskPageManager()->PageCount();
  zev::TABSLocalCursor cursor(*session);
  cursor.SetTableName("Big");
  zev::TABSFieldDefs fields;
  addField(fields, "Text", zev::aftString, 5000);  // larger than a page
  int code = 0;
  EXPECT_EQ(errorOf([&] { cursor.CreateTable(fields, {}, {}); }, &code),
            TextOf("Cannot create table. Record is too large to fit in current database page. "
                   "Please increase page size of database file or decrease record size",
                   20174));
  zev::TABSFieldDefs none;
  EXPECT_EQ(errorOf([&] { cursor.CreateTable(none, {}, {}); }, &code),
            TextOf("Error creating table - no fields were specified", 20128));
  EXPECT_EQ(session->DatabaseData().DiskPageManager()->PageCount(), pages);
  EXPECT_FALSE(session->DatabaseData().TableExists("Big"));
  EXPECT_TRUE(session->DatabaseData().TableExists("Companies"));
}

// --- Between processes ------------------------------------------------------------------------

// A process working on the company table. Args: path. Commands, one per line: "insert <Nom>",
// "update <Id> <Nom>", "delete <Id>", "count", "quit"; each answered with a line.
TEST_HELPER(company_worker) {
  auto session = openSession(Args[0], true, true);
  auto cursor = openCompanies(*session);
  testsupport::Signal("ready");
  for (;;) {
    const std::string command = testsupport::WaitCommand();
    if (command.empty() || command == "quit") return 0;
    const std::string verb = command.substr(0, command.find(' '));
    const std::string rest = command.size() > verb.size() ? command.substr(verb.size() + 1) : "";
    if (verb == "begin") {
      session->StartTransaction();
      testsupport::Signal("0");
    } else if (verb == "commit") {
      session->Commit();
      testsupport::Signal("0");
    } else if (verb == "insert") {
      testsupport::Signal(std::to_string(insertCompany(*cursor, rest)));
    } else if (verb == "count") {
      testsupport::Signal(std::to_string(cursor->GetRecordCount()));
    } else if (verb == "update" || verb == "delete") {
      const int32_t id = std::stoi(rest);
      if (!findCompany(*cursor, id)) {
        testsupport::Signal("missing");
        continue;
      }
      if (verb == "delete") {
        cursor->InternalDelete();
      } else {
        cursor->InternalEdit();
        setString(*cursor, fNom, rest.substr(rest.find(' ') + 1));
        if (cursor->ErrorCode() == 0) cursor->InternalPost(false);
      }
      testsupport::Signal(std::to_string(cursor->ErrorCode()));
    }
  }
}

// Inserts Args[1] companies, then reports the count it sees when told.
TEST_HELPER(company_inserter) {
  auto session = openSession(Args[0], true, true);
  auto cursor = openCompanies(*session);
  testsupport::Signal("ready");
  testsupport::WaitCommand();
  int failures = 0;
  const int count = std::stoi(Args[1]);
  for (int i = 0; i < count; ++i)
    if (insertCompany(*cursor, "P" + std::to_string(getpid()) + "-" + std::to_string(i)) != 0)
      ++failures;
  testsupport::Signal(std::to_string(failures));
  testsupport::WaitCommand();
  testsupport::Signal(std::to_string(cursor->GetRecordCount()));
  testsupport::WaitCommand();
  return 0;
}

class SharedCursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createCompanyDatabase(FPath);
    FSession = openSession(FPath, true, true);
    FCursor = openCompanies(*FSession);
  }
  std::unique_ptr<testsupport::THelperProcess> worker() {
    auto process = std::make_unique<testsupport::THelperProcess>(
        "company_worker", std::vector<std::string>{FPath});
    EXPECT_EQ(process->ReadLine(), "ready");
    return process;
  }
  std::string ask(testsupport::THelperProcess& Process, const std::string& Command) {
    Process.Send(Command);
    return Process.ReadLine();
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("shared.abs");
  std::unique_ptr<zev::TABSLocalSession> FSession;
  std::unique_ptr<TABSLocalCursor> FCursor;
};

TEST_F(SharedCursorTest, AnotherProcessesInsertIsSeenAtTheNextRead) {
  ASSERT_EQ(insertCompany(*FCursor, "Ici"), 0);
  auto other = worker();
  EXPECT_EQ(ask(*other, "count"), "1");
  EXPECT_EQ(ask(*other, "insert Là-bas"), "0");
  EXPECT_EQ(FCursor->GetRecordCount(), 2);
  EXPECT_EQ(walkIds(*FCursor), (std::vector<int32_t>{1, 2}));
  ASSERT_TRUE(findCompany(*FCursor, 2));
  EXPECT_EQ(getString(*FCursor, fNom), "Là-bas");
  other->Send("quit");
  EXPECT_EQ(other->Wait(), 0);
}

TEST_F(SharedCursorTest, ChangesByAnotherProcessAreReportedByEditAndDelete) {
  for (const char* nom : {"A", "B", "C", "D"}) ASSERT_EQ(insertCompany(*FCursor, nom), 0);
  auto other = worker();

  struct TCase {
    int32_t Id;
    const char* OtherCommand;
    bool Delete;
    int32_t Expected;
  } cases[] = {
      {1, "update 1 A2", false, -4},
      {2, "delete 2", false, -6},
      {3, "update 3 C2", true, -5},
      {4, "delete 4", true, -7},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.OtherCommand);
    ASSERT_TRUE(findCompany(*FCursor, test.Id));
    ASSERT_EQ(ask(*other, test.OtherCommand), "0");
    if (test.Delete) {
      FCursor->InternalDelete();
    } else {
      FCursor->InternalEdit();
      FCursor->InternalCancel(false);
    }
    EXPECT_EQ(FCursor->ErrorCode(), test.Expected);
  }
  // While this cursor edits a row, the other process finds it locked.
  ASSERT_EQ(insertCompany(*FCursor, "E"), 0);
  ASSERT_TRUE(findCompany(*FCursor, 5));
  FCursor->InternalEdit();
  ASSERT_EQ(FCursor->ErrorCode(), 0);
  EXPECT_EQ(ask(*other, "update 5 E-là"), "-12");
  setString(*FCursor, fNom, "E-ici");
  FCursor->InternalPost(false);
  EXPECT_EQ(FCursor->ErrorCode(), 0);
  EXPECT_EQ(ask(*other, "update 5 E-là"), "0");
  other->Send("quit");
  EXPECT_EQ(other->Wait(), 0);
}

TEST_F(SharedCursorTest, NextAfterTheCurrentRowWasDeletedElsewhereGoesToTheNextGreaterKey) {
  for (const char* nom : {"A", "B", "C", "D"}) ASSERT_EQ(insertCompany(*FCursor, nom), 0);
  ASSERT_TRUE(findCompany(*FCursor, 2));
  auto other = worker();
  EXPECT_EQ(ask(*other, "delete 2"), "0");
  EXPECT_EQ(ask(*other, "delete 3"), "0");
  EXPECT_EQ(FCursor->GetRecordBuffer(zev::grmCurrent), grrError);
  ASSERT_EQ(FCursor->GetRecordBuffer(zev::grmNext), grrOK);
  EXPECT_EQ(getId(*FCursor), 4);
  other->Send("quit");
  EXPECT_EQ(other->Wait(), 0);
}

TEST_F(SharedCursorTest, LocksHeldElsewhereGiveTheTableLockedCodes) {
  auto other = worker();
  zev::TABSCursorLockBudgets impatient = lockBudgets(true);
  impatient.OpenTries = impatient.PostTries = 3;
  FSession->SetLockBudgets(impatient);

  TABSLocalCursor exclusive(*FSession);
  exclusive.SetTableName("Companies");
  exclusive.SetExclusive(true);
  FCursor->CloseTable();
  int code = 0;
  EXPECT_EQ(errorOf([&] { exclusive.OpenTable(); }, &code),
            FormattedTextOf("Cannot access table 'Companies' in exclusive mode. Table is open by "
                            "another user",
                            20208));
  FCursor = openCompanies(*FSession);

  // A transaction elsewhere holds its write lock until it commits.
  EXPECT_EQ(ask(*other, "begin"), "0");
  EXPECT_EQ(ask(*other, "insert Transaction"), "0");
  EXPECT_EQ(insertCompany(*FCursor, "Bloqué"), -13);
  EXPECT_EQ(ask(*other, "commit"), "0");
  EXPECT_EQ(insertCompany(*FCursor, "Passé"), 0);
  EXPECT_EQ(walkIds(*FCursor), (std::vector<int32_t>{1, 2}));
  other->Send("quit");
  EXPECT_EQ(other->Wait(), 0);
}

TEST_F(SharedCursorTest, FourProcessesInsertingTogetherGetDistinctKeys) {
  constexpr int kProcesses = 4, kRows = 2500;
  std::vector<std::unique_ptr<testsupport::THelperProcess>> inserters;
  for (int i = 0; i < kProcesses; ++i) {
    inserters.push_back(std::make_unique<testsupport::THelperProcess>(
        "company_inserter", std::vector<std::string>{FPath, std::to_string(kRows)}));
    ASSERT_EQ(inserters.back()->ReadLine(), "ready");
  }
  for (auto& inserter : inserters) inserter->Send("go");
  for (auto& inserter : inserters) EXPECT_EQ(inserter->ReadLine(600000), "0");
  for (auto& inserter : inserters) {
    inserter->Send("count");
    EXPECT_EQ(inserter->ReadLine(), std::to_string(kProcesses * kRows));
  }
  EXPECT_EQ(FCursor->GetRecordCount(), kProcesses * kRows);
  const std::vector<int32_t> ids = walkIds(*FCursor);
  std::vector<int32_t> expected(kProcesses * kRows);
  for (int i = 0; i < kProcesses * kRows; ++i) expected[static_cast<size_t>(i)] = i + 1;
  EXPECT_EQ(ids, expected);
  {
    FSession->DatabaseData().Lock();
    auto& table = zev::TABSDiskTableData::FindOrCreate(FSession->DatabaseData(), "Companies");
    table.LoadMostUpdated(FSession->SessionID());
    EXPECT_NO_THROW(table.IndexManager()
                        .OpenIndex(table.IndexManager().IndexDefs().Items(0)->FObjectID)
                        .CheckIntegrity(FSession->SessionID()));
    FSession->DatabaseData().Unlock();
  }
  for (auto& inserter : inserters) {
    inserter->Send("quit");
    EXPECT_EQ(inserter->Wait(), 0);
  }
}

}  // namespace
