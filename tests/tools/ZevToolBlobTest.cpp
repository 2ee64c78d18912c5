// Tests of the database tool's BLOB commands, run as the real program on real files: values
// stored with blob-put and read back with blob-get (empty, small, over many pages, compressed),
// rows named by key or by row number, the errors for what the file does not have, dump of
// BLOB columns, and check finding leaked and doubly used BLOB pages, and none after a long run
// of random row changes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/storage/ZEVPage.h"
#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVDatabaseComponent.h"
#include "engine/tables/ZEVDiskTableData.h"
#include "engine/tables/ZEVTableComponent.h"
#include "tests/engine/tables/BlobTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/ToolRun.h"

namespace {

using tooltest::runTool;
using tooltest::TRun;

bool contains(const std::string& Text, const std::string& Piece) {
  return Text.find(Piece) != std::string::npos;
}

std::vector<std::string> lines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::istringstream In(Text);
  for (std::string Line; std::getline(In, Line);) Lines.push_back(Line);
  return Lines;
}

std::string bytesOf(size_t Size, uint32_t Seed) {
  const blobtest::Bytes Value = blobtest::patterned(Size, Seed);
  return std::string(Value.begin(), Value.end());
}

constexpr const char* kDatabaseName = "ZevToolBlobTest";
constexpr const char* kPassword = "#Tprazmolyk47";

// A database component on the file, for changes the tool cannot make.
class TDirectDatabase {
 public:
  explicit TDirectDatabase(const std::string& Path) {
    FDatabase.SetDatabaseName(kDatabaseName);
    FDatabase.SetDatabaseFileName(Path);
    FDatabase.SetPassword(kPassword);
    FDatabase.Open();
  }
  ~TDirectDatabase() { FDatabase.Close(); }
  TABSDatabase& Database() { return FDatabase; }
  zev::TABSLocalSession& Connection() { return *FDatabase.Handle(); }

 private:
  TABSDatabase FDatabase{nullptr};
};

class ZevToolBlobTest : public ::testing::Test {
 protected:
  std::string File(const std::string& Name) const { return FDir.File(Name); }

  TRun expectRun(const std::vector<std::string>& Args, int ExitCode) {
    TRun Run = runTool(Args);
    EXPECT_EQ(Run.ExitCode, ExitCode) << Args[0] << ": " << Run.Output;
    return Run;
  }

  // Docs (Id integer with idxPrimaryKey, Plain BLOB, Zip BLOB compressed with ZLIB, Title
  // string) with rows 1 to 4, and Loose (Note BLOB, no index) with three rows; every BLOB NULL.
  std::string docsDatabase() {
    const std::string Db = File("docs.abs");
    expectRun({"create", Db}, 0);
    {
      TDirectDatabase Direct(Db);
      TABSTable Docs(nullptr);
      Docs.SetDatabaseName(kDatabaseName);
      Docs.SetTableName("Docs");
      Docs.AdvFieldDefs().Add("Id", zev::aftInteger);
      Docs.AdvFieldDefs().Add("Plain", zev::aftBlob);
      TABSAdvFieldDef& Zip = Docs.AdvFieldDefs().Add("Zip", zev::aftBlob);
      Zip.FBLOBCompressionAlgorithm = zev::acaZLIB;
      Zip.FBLOBCompressionMode = 6;
      Zip.FBLOBBlockSize = 8192;  // several blocks for the larger values
      Docs.AdvFieldDefs().Add("Title", zev::aftString, 20);
      Docs.AdvIndexDefs().Add("idxPrimaryKey", "Id", {zev::ixPrimary});
      Docs.CreateTable();
      TABSTable Loose(nullptr);
      Loose.SetDatabaseName(kDatabaseName);
      Loose.SetTableName("Loose");
      Loose.AdvFieldDefs().Add("Note", zev::aftMemo);
      Loose.AdvFieldDefs().Add("Tag", zev::aftInteger);
      Loose.CreateTable();
    }
    testsupport::WriteFile(File("docs.csv"), "Id,Title\n4,four\n2,two\n1,one\n3,three\n");
    testsupport::WriteFile(File("loose.csv"), "Tag\n10\n20\n30\n");
    expectRun({"load", Db, "Docs", File("docs.csv")}, 0);
    expectRun({"load", Db, "Loose", File("loose.csv")}, 0);
    return Db;
  }

  void put(const std::string& Db, const std::string& Table, const std::string& Field,
           const std::string& Row, const std::string& Value) {
    const std::string In = File("in.bin");
    testsupport::WriteFile(In, Value);
    TRun Run = expectRun({"blob-put", Db, Table, Field, Row, In}, 0);
    EXPECT_TRUE(contains(Run.Output, std::to_string(Value.size()) + " bytes stored")) << Run.Output;
  }

  std::string get(const std::string& Db, const std::string& Table, const std::string& Field,
                  const std::string& Row) {
    const std::string Out = File("out.bin");
    TRun Run = expectRun({"blob-get", Db, Table, Field, Row, Out}, 0);
    EXPECT_TRUE(contains(Run.Output, "bytes written to " + Out)) << Run.Output;
    return testsupport::ReadFile(Out);
  }

  testsupport::TTempDir FDir;
};

TEST_F(ZevToolBlobTest, ValuesGoInWithBlobPutAndComeBackWithBlobGet) {
  const std::string Db = docsDatabase();
  // A 4096-byte page holds a small value up to 4031 stored bytes.
  const struct {
    const char* Table;
    const char* Field;
    const char* Row;
    size_t Size;
  } kValues[] = {
      {"Docs", "Plain", "1", 0},     {"Docs", "Plain", "2", 100}, {"Docs", "Plain", "3", 40000},
      {"Docs", "Zip", "1", 0},       {"Docs", "Zip", "2", 3000},  {"Docs", "Zip", "4", 300000},
      {"Loose", "Note", "2", 20000}, {"Loose", "Note", "3", 1},
  };
  uint32_t Seed = 1;
  for (const auto& Value : kValues)
    put(Db, Value.Table, Value.Field, Value.Row, bytesOf(Value.Size, Seed++));
  Seed = 1;
  for (const auto& Value : kValues) {
    EXPECT_EQ(get(Db, Value.Table, Value.Field, Value.Row), bytesOf(Value.Size, Seed++))
        << Value.Table << "." << Value.Field << " row " << Value.Row;
  }
  // A new value replaces the old one; an empty file makes the field NULL again.
  put(Db, "Docs", "Plain", "3", "short");
  EXPECT_EQ(get(Db, "Docs", "Plain", "3"), "short");
  put(Db, "Docs", "Zip", "4", "");
  EXPECT_EQ(get(Db, "Docs", "Zip", "4"), "");
  // Key order, the BLOB columns as their length in bytes, NULL as an empty cell.
  TRun Run = expectRun({"dump", Db, "Docs"}, 0);
  EXPECT_EQ(lines(Run.Output),
            (std::vector<std::string>{"Id,Plain,Zip,Title", "1,,,one", "2,100,3000,two",
                                      "3,5,,three", "4,,,four"}));
  Run = expectRun({"dump", Db, "Loose"}, 0);
  EXPECT_EQ(lines(Run.Output), (std::vector<std::string>{"Note,Tag", ",10", "20000,20", "1,30"}));
  Run = expectRun({"check", Db}, 0);
  EXPECT_EQ(Run.Output, "OK\n");
}

TEST_F(ZevToolBlobTest, WhatTheFileDoesNotHaveIsAClearFailure) {
  const std::string Db = docsDatabase();
  testsupport::WriteFile(File("in.bin"), "x");
  const std::string In = File("in.bin");
  const std::string Out = File("out.bin");
  const struct {
    std::vector<std::string> Args;
    int ExitCode;
    const char* Message;
  } kCases[] = {
      {{"blob-get", Db, "Nope", "Plain", "1", Out}, 1, "table 'Nope' does not exist"},
      {{"blob-put", Db, "Nope", "Plain", "1", In}, 1, "table 'Nope' does not exist"},
      {{"blob-get", Db, "Docs", "Nope", "1", Out}, 1, "table Docs has no field 'Nope'"},
      {{"blob-put", Db, "Docs", "Title", "1", In},
       1,
       "field 'Title' of table Docs is not a BLOB field"},
      {{"blob-get", Db, "Docs", "Id", "1", Out}, 1, "field 'Id' of table Docs is not a BLOB field"},
      {{"blob-get", Db, "Docs", "Plain", "9", Out},
       1,
       "table Docs has no row with idxPrimaryKey value 9"},
      {{"blob-put", Db, "Docs", "Plain", "9", In},
       1,
       "table Docs has no row with idxPrimaryKey value 9"},
      {{"blob-get", Db, "Loose", "Note", "4", Out}, 1, "table Loose has no row 4 (it has 3 rows)"},
      {{"blob-get", Db, "Loose", "Note", "first", Out},
       2,
       "table Loose has no idxPrimaryKey: ROW must be a row number from 1, not 'first'"},
      {{"blob-get", Db, "Loose", "Note", "0", Out}, 2, "ROW must be a row number from 1, not '0'"},
      {{"blob-put", Db, "Docs", "Plain", "1", File("none.bin")}, 2, "cannot read file"},
      {{"blob-get", Db, "Docs", "Plain", "1", File("no/such/dir/out.bin")}, 2, "cannot write file"},
      {{"blob-get", Db, "Docs", "Plain", "1"}, 2, "missing argument OUT"},
  };
  for (const auto& Case : kCases) {
    TRun Run = runTool(Case.Args);
    EXPECT_EQ(Run.ExitCode, Case.ExitCode) << Case.Message << ": " << Run.Output;
    EXPECT_EQ(lines(Run.Output).size(), 1u) << Run.Output;
    EXPECT_TRUE(Run.Output.rfind("zevtool: ", 0) == 0 && contains(Run.Output, Case.Message))
        << "expected '" << Case.Message << "' in: " << Run.Output;
  }
  // Nothing was stored by the refused commands.
  EXPECT_EQ(lines(expectRun({"dump", Db, "Docs"}, 0).Output)[1], "1,,,one");
}

TEST_F(ZevToolBlobTest, HelpListsTheBlobCommands) {
  TRun Run = expectRun({"--help"}, 0);
  for (const char* Usage :
       {"blob-get FILE TABLE FIELD ROW OUT", "blob-put FILE TABLE FIELD ROW IN"})
    EXPECT_TRUE(contains(Run.Output, Usage)) << Run.Output;
}

TEST_F(ZevToolBlobTest, CheckReportsLeakedDoublyUsedAndUnreadableBlobValues) {
  const std::string Db = docsDatabase();
  put(Db, "Docs", "Plain", "1", bytesOf(10000, 1));
  put(Db, "Docs", "Plain", "2", bytesOf(200, 2));
  ASSERT_EQ(expectRun({"check", Db}, 0).Output, "OK\n");

  // A BLOB page marked in use and written, that no row reaches.
  const std::string Leaky = File("leaky.abs");
  testsupport::WriteFile(Leaky, testsupport::ReadFile(Db));
  int32_t LeakedPage = -1;
  {
    TDirectDatabase Direct(Leaky);
    zev::TABSLocalSession& Connection = Direct.Connection();
    zev::TABSDiskPageManager& Pages = *Connection.DatabaseData().DiskPageManager();
    zev::TABSPinnedPage Page(Pages.AddPage(Connection.SessionID(), zev::ptTableBlob));
    LeakedPage = Page->PageNo();
    Page->SetIsDirty(true);
    Page.Release();
    Pages.ApplyChanges(Connection.SessionID());
  }
  TRun Run = expectRun({"check", Leaky}, 1);
  EXPECT_EQ(lines(Run.Output),
            (std::vector<std::string>{"BLOB page " + std::to_string(LeakedPage) +
                                      " is marked in use but no stored value reaches it"}));

  // Row 2 (Id 2) made to name another value without freeing its own: the small page of its
  // own value is then reached by nothing. Rows were loaded with the Ids 4, 2, 1, 3: check names
  // them by physical position, so Id 1 is row 3.
  const struct {
    const char* Name;
    bool NameRow1sValue;  // else a non-NULL field that names nothing
    const char* Message;
  } kCases[] = {
      {"doubled", true,
       " is used twice: by table Docs physical row 2 field Plain and by table Docs physical row 3 "
       "field Plain\n"},
      {"dangling", false,
       "table Docs physical row 2 field Plain: the BLOB value cannot be read: Cannot read BLOB "
       "field value"},
  };
  for (const auto& Case : kCases) {
    SCOPED_TRACE(Case.Name);
    const std::string Copy = File(std::string(Case.Name) + ".abs");
    testsupport::WriteFile(Copy, testsupport::ReadFile(Db));
    {
      TDirectDatabase Direct(Copy);
      zev::TABSLocalSession& Connection = Direct.Connection();
      zev::TABSLocalCursor Cursor(Connection);
      Cursor.SetTableName("Docs");
      Cursor.OpenTable();
      zev::TABSDiskBlobManager& Manager =
          zev::TABSDiskTableData::FindOrCreate(Connection.DatabaseData(), "Docs").BlobManager();
      constexpr int kPlain = 1;
      ASSERT_TRUE(blobtest::gotoDoc(Cursor, 1));
      zev::TABSPageItemID Named;  // (-1, 0): nothing stored
      if (Case.NameRow1sValue) Named = Manager.GetBlobID(Cursor.CurrentRecordBuffer(), kPlain);
      ASSERT_TRUE(blobtest::gotoDoc(Cursor, 2));
      Cursor.InternalEdit();
      Manager.SetBlobID(Cursor.CurrentRecordBuffer(), kPlain, Named);
      Cursor.InternalPost(false);
      ASSERT_EQ(Cursor.ErrorCode(), 0);
      Cursor.CloseTable();
    }
    Run = expectRun({"check", Copy}, 1);
    EXPECT_TRUE(contains(Run.Output, Case.Message)) << Run.Output;
    EXPECT_TRUE(contains(Run.Output, " is marked in use but no stored value reaches it\n"))
        << Run.Output;
    EXPECT_FALSE(contains(Run.Output, "OK\n"));
  }
}

TEST_F(ZevToolBlobTest, CheckFindsNothingAfterManyRandomChanges) {
  blobtest::TDocsFile Docs;
  Docs.Path = File("random.abs");
  Docs.Algorithm = zev::acaZLIB;
  Docs.Mode = 1;
  blobtest::createDocs(Docs);
  {
    auto Session = blobtest::connect(Docs);
    auto Cursor = blobtest::openDocs(*Session);
    const int32_t D = Session->DatabaseData().DiskPageManager()->PageDataSize();
    const blobtest::TRandomRows Rows = blobtest::RunRandomBlobChanges(*Cursor, D, 10000);
    ASSERT_FALSE(HasFailure());
    ASSERT_FALSE(Rows.Seeds.empty());
  }
  TRun Run = expectRun({"check", Docs.Path}, 0);
  EXPECT_EQ(Run.Output, "OK\n");
}

}  // namespace
