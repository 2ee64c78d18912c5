// Compaction and repair of a database file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/storage/ZEVDiskPageManager.h"
#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVDBHeader.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/tables/ZEVDatabaseComponent.h"
#include "engine/tables/ZEVDatabaseMaintenance.h"
#include "engine/tables/ZEVTableComponent.h"
#include "tests/engine/tables/BlobTestSupport.h"
#include "tests/engine/tables/CursorTestSupport.h"

namespace {

using cursortest::fNom;
using cursortest::fVille;

// Answers the yes/no question and counts the boxes.
class TRepairDialogs : public TABSDatabaseDialogs {
 public:
  bool AskPassword(AnsiString&) override { return false; }
  bool AskYesNo(const AnsiString& Question) override {
    Questions.push_back(Question);
    return Answer;
  }
  void ShowInformation(const AnsiString& Text) override { Informations.push_back(Text); }
  void ShowWarning(const AnsiString& Text) override { Warnings.push_back(Text); }

  bool Answer = false;
  std::vector<AnsiString> Questions, Informations, Warnings;
};

struct TRow {
  int32_t Id;
  std::string Nom, Ville;
  bool operator==(const TRow&) const = default;
};

// A new file's database header starts the file.
constexpr size_t kVersionOffset = zev::TABSDBHeader::VersionOffset;
constexpr size_t kWriteChangesStateOffset = zev::TABSDBHeader::WriteChangesStateOffset;

class DatabaseMaintenanceTest : public ::testing::Test {
 protected:
  void SetUp() override { cursortest::createCompanyDatabase(FPath); }
  void TearDown() override {
    SetDatabaseDialogs(nullptr);
    zev::SetFreeSpaceQuery(nullptr);
  }

  std::unique_ptr<TABSDatabase> database(const std::string& Path, const char* Name = "Maintained") {
    auto db = std::make_unique<TABSDatabase>(nullptr);
    db->SetDatabaseName(Name);
    db->SetDatabaseFileName(Path);
    db->PageManagerSettings = enginetest::InstantSettings();
    return db;
  }

  // Inserts Count companies, then deletes all but every Keep-th one.
  void fillWithHoles(int Count, int Keep) {
    auto session = cursortest::openSession(FPath, false);
    zev::TABSLocalCursor cursor(*session);
    cursor.SetTableName("Companies");
    cursor.OpenTable();
    for (int i = 0; i < Count; ++i)
      ASSERT_EQ(cursortest::insertCompany(cursor, "Nom" + std::to_string(i),
                                          "Ville" + std::to_string(i % 17)),
                0);
    // A delete moves the cursor: walk again until every unwanted row is gone.
    for (bool deleted = true; deleted;) {
      deleted = false;
      cursor.InternalFirst();
      while (cursor.GetRecordBuffer(zev::grmNext) == zev::grrOK) {
        if ((cursortest::getId(cursor) - 1) % Keep == 0) continue;
        cursor.InternalDelete();
        ASSERT_EQ(cursor.ErrorCode(), 0);
        deleted = true;
      }
    }
  }

  static std::vector<TRow> rows(const std::string& Path, const char* Index = "idxPrimaryKey") {
    auto session = cursortest::openSession(Path, false);
    zev::TABSLocalCursor cursor(*session);
    cursor.SetTableName("Companies");
    cursor.OpenTable();
    cursor.SetIndexName(Index);
    cursor.InternalFirst();
    std::vector<TRow> result;
    while (cursor.GetRecordBuffer(zev::grmNext) == zev::grrOK)
      result.push_back({cursortest::getId(cursor), cursortest::getString(cursor, fNom),
                        cursortest::getString(cursor, fVille)});
    return result;
  }

  static void checkIndexes(const std::string& Path) {
    auto session = cursortest::openSession(Path, false);
    zev::TABSLocalCursor cursor(*session);
    cursor.SetTableName("Companies");
    cursor.OpenTable();
    auto& table = zev::TABSDiskTableData::FindOrCreate(session->DatabaseData(), "Companies");
    ASSERT_EQ(cursor.IndexDefs().Count(), 2);
    for (int i = 0; i < cursor.IndexDefs().Count(); ++i) {
      const int32_t id = cursor.IndexDefs().Items(i)->FObjectID;
      EXPECT_NO_THROW(table.IndexManager().OpenIndex(id).CheckIntegrity(session->SessionID()))
          << cursor.IndexDefs().Items(i)->FName;
    }
  }

  static void setWriteChangesState(const std::string& Path, uint8_t State) {
    std::fstream file(Path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(kWriteChangesStateOffset);
    file.put(static_cast<char>(State));
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("reference.abs");
};

TEST_F(DatabaseMaintenanceTest, CompactingKeepsTablesRowsAndIndexesInAShorterFile) {
  fillWithHoles(600, 10);
  const std::vector<TRow> before = rows(FPath);
  const std::vector<TRow> byTown = rows(FPath, "idxVille");
  const auto sizeBefore = std::filesystem::file_size(FPath);
  ASSERT_EQ(before.size(), 60u);

  auto db = database(FPath);
  std::vector<int> progress;
  db->OnCompactProgress = [&](TABSDatabase&, int Percent, bool&) { progress.push_back(Percent); };
  EXPECT_TRUE(db->CompactDatabase());

  EXPECT_LT(std::filesystem::file_size(FPath), sizeBefore);
  EXPECT_FALSE(std::filesystem::exists(FPath + ".tmp"));
  EXPECT_EQ(rows(FPath), before);
  EXPECT_EQ(rows(FPath, "idxVille"), byTown);
  checkIndexes(FPath);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  std::vector<AnsiString> tables;
  db->GetTablesList(tables);
  EXPECT_EQ(tables, std::vector<AnsiString>{"Companies"});
}

TEST_F(DatabaseMaintenanceTest, NotEnoughFreeSpaceFailsAndLeavesTheFileAsItWas) {
  fillWithHoles(50, 2);
  const std::string bytes = testsupport::ReadFile(FPath);
  zev::SetFreeSpaceQuery([&](const AnsiString&) { return int64_t(bytes.size()) - 1; });
  auto db = database(FPath);
  try {
    db->CompactDatabase();
    FAIL() << "compaction without free space succeeded";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), 30456);
    EXPECT_NE(error.Message().find("There is not enough free space on drive to perform required "
                                   "operation with the database file."),
              std::string::npos);
  }
  EXPECT_EQ(testsupport::ReadFile(FPath), bytes);
  EXPECT_FALSE(std::filesystem::exists(FPath + ".tmp"));
  AnsiString log = db->RepairDatabase();
  EXPECT_NE(log.find("There is not enough free space"), std::string::npos);
  EXPECT_EQ(testsupport::ReadFile(FPath), bytes);
}

TEST_F(DatabaseMaintenanceTest, ADamagedRecordPageIsLoggedAndTheReadableRowsKept) {
  fillWithHoles(400, 1);
  const std::vector<TRow> before = rows(FPath);
  // The page of the 200th row, overwritten with garbage.
  int32_t damagedPage = -1;
  {
    auto session = cursortest::openSession(FPath, false);
    zev::TABSLocalCursor cursor(*session);
    cursor.SetTableName("Companies");
    cursor.OpenTable();
    cursor.InternalFirst();
    for (int i = 0; i < 200; ++i) ASSERT_EQ(cursor.GetRecordBuffer(zev::grmNext), zev::grrOK);
    damagedPage = cursor.CurrentRecordID.PageNo;
  }
  int64_t position = 0;
  {
    zev::TABSDiskPageManager pages(enginetest::InstantSettings());
    bool readOnly = false, repair = false, multiUser = false;
    pages.OpenDatabase(FPath, {}, readOnly, repair, false, multiUser);
    position = pages.PagePosition(damagedPage);
  }
  {
    std::fstream file(FPath, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(position);
    for (int i = 0; i < 4096; ++i) file.put(static_cast<char>((i * 7919 + 13) & 0xFF));
  }
  auto db = database(FPath);
  AnsiString log;
  const std::string repaired = FDir.File("repaired.abs");
  EXPECT_TRUE(db->RepairDatabase(repaired, log));
  EXPECT_NE(log.find("20292"), std::string::npos) << log;
  const std::vector<TRow> after = rows(repaired);
  EXPECT_LT(after.size(), before.size());
  EXPECT_GT(after.size(), before.size() - 40);
  for (const TRow& row : after)
    EXPECT_NE(std::find(before.begin(), before.end(), row), before.end());
  EXPECT_EQ(after.back(), before.back());
  checkIndexes(repaired);
}

TEST_F(DatabaseMaintenanceTest, CopyTableIntoAnExistingTableRaisesOrLogs30448) {
  fillWithHoles(10, 1);
  const std::string other = FDir.File("other.abs");
  cursortest::createCompanyDatabase(other);
  auto source = database(FPath);
  auto destination = database(other, "Destination");
  source->Open();
  destination->Open();
  TABSTable table(nullptr);
  table.SetDatabaseName("Maintained");
  table.SetTableName("Companies");
  AnsiString log;
  try {
    table.CopyTable("Companies", *destination, true, false, false, log, 0, 100, nullptr);
    FAIL() << "copied over an existing table";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), 30448);
    EXPECT_NE(error.Message().find("Table '" + other + ".Companies' already exists"),
              std::string::npos);
  }
  EXPECT_TRUE(table.CopyTable("Companies", *destination, true, false, true, log, 0, 100, nullptr));
  EXPECT_NE(log.find("already exists"), std::string::npos);
  // Under another name the copy has every row.
  log.clear();
  int lastPercent = -1;
  EXPECT_TRUE(table.CopyTable("Copy", *destination, true, false, false, log, 20, 60,
                              [&](int Percent, bool&) { lastPercent = Percent; }));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(lastPercent, 60);
  table.Close();
  source->Close();
  destination->Close();
  auto session = cursortest::openSession(other, false);
  zev::TABSLocalCursor copy(*session);
  copy.SetTableName("Copy");
  copy.OpenTable();
  EXPECT_EQ(copy.GetRecordCount(), 10);
  EXPECT_EQ(copy.IndexDefs().Count(), 2);
}

TEST_F(DatabaseMaintenanceTest, StoppingThroughTheProgressEventFailsAndKeepsTheFile) {
  fillWithHoles(40, 2);
  const std::string bytes = testsupport::ReadFile(FPath);
  auto db = database(FPath);
  db->OnCompactProgress = [](TABSDatabase&, int, bool& Continue) { Continue = false; };
  try {
    db->CompactDatabase();
    FAIL() << "a stopped compaction succeeded";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), 30456);
    EXPECT_NE(error.Message().find("Operation CompactDatabase failed"), std::string::npos);
  }
  EXPECT_EQ(testsupport::ReadFile(FPath), bytes);
  EXPECT_FALSE(std::filesystem::exists(FPath + ".tmp"));
}

// BLOB values keep their bytes through a compaction, stored or compressed.
class CompactBlobsTest : public ::testing::TestWithParam<zev::TABSCompressionAlgorithm> {
 protected:
  testsupport::TTempDir FDir;
};

TEST_P(CompactBlobsTest, ValuesReadBackWholeAfterCompaction) {
  blobtest::TDocsFile file;
  file.Path = FDir.File("docs.abs");
  file.Algorithm = GetParam();
  file.Mode = GetParam() == zev::acaNone ? 0 : 6;
  blobtest::createDocs(file);
  std::map<int32_t, blobtest::Bytes> kept;
  {
    auto session = blobtest::connect(file);
    auto cursor = blobtest::openDocs(*session);
    const size_t sizes[] = {0, 10, 700, 5000, 60000};
    for (int32_t id = 1; id <= 20; ++id) {
      const blobtest::Bytes value = blobtest::patterned(sizes[id % 5], id);
      blobtest::insertDoc(*cursor, id, value);
      if (id % 2 == 0) kept[id] = value;
    }
    for (int32_t id = 1; id <= 20; id += 2) blobtest::deleteDoc(*cursor, id);
  }
  const auto sizeBefore = std::filesystem::file_size(file.Path);
  TABSDatabase db(nullptr);
  db.SetDatabaseName("Docs");
  db.SetDatabaseFileName(file.Path);
  db.PageManagerSettings = enginetest::InstantSettings();
  EXPECT_TRUE(db.CompactDatabase());
  EXPECT_LE(std::filesystem::file_size(file.Path), sizeBefore);
  auto session = blobtest::connect(file);
  auto cursor = blobtest::openDocs(*session);
  EXPECT_EQ(cursor->GetRecordCount(), static_cast<int64_t>(kept.size()));
  for (const auto& [id, value] : kept) EXPECT_EQ(blobtest::readDoc(*cursor, id), value) << id;
}

INSTANTIATE_TEST_SUITE_P(Compression, CompactBlobsTest,
                         ::testing::Values(zev::acaNone, zev::acaZLIB));

// --- The repair question on opening ------------------------------------------------------------

struct TRepairCase {
  const char* Name;
  bool ThroughEvent;
  bool Answer;
};

class RepairOnOpeningTest : public DatabaseMaintenanceTest,
                            public ::testing::WithParamInterface<TRepairCase> {};

TEST_P(RepairOnOpeningTest, AsksAndRepairsOnYesOnly) {
  const TRepairCase& c = GetParam();
  fillWithHoles(30, 3);
  const std::vector<TRow> before = rows(FPath);
  setWriteChangesState(FPath, 1);
  TRepairDialogs dialogs;
  dialogs.Answer = c.Answer;
  SetDatabaseDialogs(&dialogs);
  auto db = database(FPath);
  int asked = 0;
  if (c.ThroughEvent)
    db->OnNeedRepair = [&](TABSDatabase&, bool& Answer) {
      ++asked;
      Answer = c.Answer;
    };
  db->Open();
  ASSERT_TRUE(db->Connected());
  if (c.ThroughEvent) {
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(dialogs.Questions.empty());
  } else {
    ASSERT_EQ(dialogs.Questions.size(), 1u);
    EXPECT_EQ(dialogs.Questions[0],
              "Database file was not correctly closed last time. Do you want to repair it?");
  }
  EXPECT_EQ(db->Handle()->RepairNeeded(), !c.Answer);
  EXPECT_TRUE(db->TableExists("Companies"));
  db->Close();
  EXPECT_EQ(rows(FPath), before);
  // Opening again asks again only when the file was not repaired.
  auto again = database(FPath, "Again");
  again->SetSilentMode(true);
  again->Open();
  EXPECT_EQ(again->Handle()->RepairNeeded(), !c.Answer);
}

INSTANTIATE_TEST_SUITE_P(Answers, RepairOnOpeningTest,
                         ::testing::Values(TRepairCase{"EventYes", true, true},
                                           TRepairCase{"EventNo", true, false},
                                           TRepairCase{"DialogYes", false, true},
                                           TRepairCase{"DialogNo", false, false}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(DatabaseMaintenanceTest, AnOldFormatFileIsConvertedAfterTheInformation) {
  fillWithHoles(30, 3);
  const std::vector<TRow> before = rows(FPath);
  {
    uint8_t bytes[8];
    zev::PutDoubleLE(bytes, 2.5);
    std::fstream file(FPath, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(kVersionOffset);
    file.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  }
  TRepairDialogs dialogs;
  SetDatabaseDialogs(&dialogs);
  auto db = database(FPath);
  bool asked = false;
  db->OnNeedRepair = [&](TABSDatabase&, bool&) { asked = true; };
  db->Open();
  EXPECT_FALSE(asked);
  ASSERT_EQ(dialogs.Informations.size(), 1u);
  EXPECT_EQ(dialogs.Informations[0].rfind("Database file you are opening is of old format.", 0),
            0u);
  EXPECT_FALSE(db->Handle()->RepairNeeded());
  EXPECT_DOUBLE_EQ(db->Handle()->DatabaseData().DiskPageManager()->DBHeader().Version, 7.61);
  db->Close();
  EXPECT_EQ(rows(FPath), before);
}

TEST_F(DatabaseMaintenanceTest, AFailedRepairOnOpeningRaises20238AndKeepsTheFile) {
  setWriteChangesState(FPath, 1);
  const std::string bytes = testsupport::ReadFile(FPath);
  zev::SetFreeSpaceQuery([](const AnsiString&) { return int64_t(0); });
  auto db = database(FPath);
  db->OnNeedRepair = [](TABSDatabase&, bool& Answer) { Answer = true; };
  try {
    db->Open();
    FAIL() << "opening succeeded";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), 20238);
    EXPECT_EQ(error.Message().rfind("Cannot convert database to the new format.", 0), 0u);
  }
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(testsupport::ReadFile(FPath), bytes);
  EXPECT_FALSE(std::filesystem::exists(FPath + ".tmp"));
}

TEST_F(DatabaseMaintenanceTest, PreconditionsAreCheckedInOrder) {
  TABSDatabase unnamed(nullptr);
  unnamed.SetDatabaseFileName(FPath);
  EXPECT_THROW(unnamed.CompactDatabase(), Exception);
  auto db = database(FPath);
  db->Open();
  try {
    db->RepairDatabase();
    FAIL();
  } catch (const Exception& error) {
    EXPECT_NE(error.Message().find("Cannot perform this operation on an open database"),
              std::string::npos);
  }
}

}  // namespace
