#include "engine/tables/ZEVDatabaseComponent.h"

#include <gtest/gtest.h>

#include "engine/tables/ZEVEngineError.h"
#include "engine/tables/ZEVTableComponent.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/ComponentErrorOf.h"
#include "tests/engine/tables/CursorTestSupport.h"

namespace {

using enginetest::TextOf;

// Answers the password dialog with a text, or cancels it; counts the questions.
class TAnsweringDialogs : public TABSDatabaseDialogs {
 public:
  bool AskPassword(AnsiString& Password) override {
    ++Asked;
    if (Answer.empty()) return false;
    Password = Answer;
    return true;
  }
  bool AskYesNo(const AnsiString&) override { return false; }
  void ShowInformation(const AnsiString&) override {}
  void ShowWarning(const AnsiString&) override {}

  AnsiString Answer;
  int Asked = 0;
};

class DatabaseComponentTest : public ::testing::Test {
 protected:
  void SetUp() override { cursortest::createCompanyDatabase(FPath); }
  void TearDown() override { SetDatabaseDialogs(nullptr); }

  std::unique_ptr<TABSDatabase> database(const char* Name = "Reference") {
    auto db = std::make_unique<TABSDatabase>(nullptr);
    db->SetName("dbReference");
    db->SetDatabaseName(Name);
    db->SetDatabaseFileName(FPath);
    db->PageManagerSettings = enginetest::InstantSettings();
    return db;
  }
  std::unique_ptr<TABSTable> table(const char* Name, TABSDatabase& Database) {
    auto tbl = std::make_unique<TABSTable>(nullptr);
    tbl->SetName(Name);
    tbl->SetDatabaseName(Database.DatabaseName());
    tbl->SetTableName("Companies");
    tbl->SetIndexName("idxPrimaryKey");
    return tbl;
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("reference.abs");
};

TEST_F(DatabaseComponentTest, StartsWithTheDocumentedValues) {
  TABSDatabase db(nullptr);
  EXPECT_EQ(db.SessionName(), "Default");
  EXPECT_FALSE(db.Connected());
  EXPECT_EQ(db.MaxConnections(), 500);
  EXPECT_TRUE(db.KeepConnection());
  EXPECT_FALSE(db.HandleShared() || db.SilentMode() || db.MultiUser() || db.Exclusive());
  EXPECT_EQ(db.CurrentVersion(), "7.61 ");
  EXPECT_EQ(db.PageSize(), 4096);
  EXPECT_EQ(db.PageCountInExtent(), 8);
  EXPECT_EQ(db.CryptoAlgorithm(), zev::craRijndael_128);
}

TEST_F(DatabaseComponentTest, OpeningTwiceKeepsOneConnectionAndCloseThenOpenReconnects) {
  auto db = database();
  db->Open();
  zev::TABSLocalSession* first = db->Handle();
  db->Open();
  EXPECT_EQ(db->Handle(), first);
  db->Close();
  EXPECT_FALSE(db->Connected());
  db->SetConnected(true);
  EXPECT_TRUE(db->Connected());
  EXPECT_TRUE(db->TableExists("companies"));
  std::vector<AnsiString> tables;
  db->GetTablesList(tables);
  EXPECT_EQ(tables, (std::vector<AnsiString>{"Companies"}));
}

TEST_F(DatabaseComponentTest, TheSameFileNameKeepsTheDataSetsOpenAndAnotherClosesThem) {
  auto db = database();
  auto companies = table("tblCompanies", *db);
  companies->Open();
  db->SetDatabaseFileName(FPath);
  EXPECT_TRUE(companies->Active());
  db->SetDatabaseFileName(FDir.File("other.abs"));
  EXPECT_FALSE(companies->Active());
  EXPECT_FALSE(db->Connected());
}

TEST_F(DatabaseComponentTest, MissingFileNamesTheComponentAndTheFile) {
  auto db = database();
  const std::string missing = FDir.File("absent.abs");
  db->SetDatabaseFileName(missing);
  EXPECT_EQ(componentErrorOf([&] { db->Open(); }),
            "dbReference: Database file '" + missing + "' does not exist");
  EXPECT_FALSE(db->Connected());
  TABSDatabase unnamed(nullptr);
  EXPECT_EQ(componentErrorOf([&] { unnamed.Open(); }), "Database name missing");
}

TEST_F(DatabaseComponentTest, AWrongPasswordAsksThroughTheDialog) {
  const std::string path = FDir.File("secret.abs");
  {
    auto creator = database("Creator");
    creator->SetDatabaseFileName(path);
    creator->SetPassword("secret");
    creator->CreateDatabase();
  }
  TAnsweringDialogs dialogs;
  SetDatabaseDialogs(&dialogs);
  auto db = database("Secret");
  db->SetDatabaseFileName(path);
  db->SetPassword("wrong");
  int code = 0;
  EXPECT_EQ(errorOf([&] { db->Open(); }, &code),
            TextOf("Cannot open database - incorrect password", 30445));
  EXPECT_EQ(dialogs.Asked, 1) << "Cancel lets the error through";
  dialogs.Answer = "secret";
  db->Open();
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(db->Password(), "secret");
  EXPECT_EQ(dialogs.Asked, 2);

  // Silent mode asks nobody.
  auto silent = database("Silent");
  silent->SetDatabaseFileName(path);
  silent->SetSilentMode(true);
  silent->SetPassword("wrong");
  db->Close();
  EXPECT_NE(errorOf([&] { silent->Open(); }), "");
  EXPECT_EQ(dialogs.Asked, 2);
}

TEST_F(DatabaseComponentTest, ClosingClosesTheDataSetsLastOpenedFirst) {
  auto db = database();
  std::vector<std::string> closed;
  auto first = table("tblFirst", *db);
  auto second = table("tblSecond", *db);
  for (TABSTable* tbl : {first.get(), second.get()})
    tbl->AfterClose = [&](zev::TDataSet& DataSet) { closed.push_back(DataSet.GetName()); };
  first->Open();
  second->Open();
  db->Close();
  EXPECT_EQ(closed, (std::vector<std::string>{"tblSecond", "tblFirst"}));
}

TEST_F(DatabaseComponentTest, NamesAreUniqueInASession) {
  auto db = database();
  TABSDatabase other(nullptr);
  other.SetName("dbOther");
  EXPECT_EQ(componentErrorOf([&] { other.SetDatabaseName("reference"); }),
            "dbOther: Duplicate database name 'reference'");
  db->Open();
  EXPECT_EQ(componentErrorOf([&] { db->SetDatabaseName("Renamed"); }),
            "dbReference: Cannot perform this operation on an open database");
}

TEST_F(DatabaseComponentTest, SessionsAreFoundByName) {
  EXPECT_EQ(&Sessions().GetSessionByName(""), &Session());
  EXPECT_EQ(&Sessions().GetSessionByName("default"), &Session());
  EXPECT_TRUE(Session().IsDefault());
  int code = 0;
  EXPECT_EQ(errorOf([&] { Sessions().GetSessionByName("Nowhere"); }, &code),
            enginetest::FormattedTextOf("Invalid session name 'Nowhere'", 20002));
}

TEST_F(DatabaseComponentTest, ADataSetNamingNoDatabaseGetsATemporaryOne) {
  TABSTable direct(nullptr);
  direct.SetDatabaseName(FPath);  // no component has this name: a temporary one is made
  direct.SetTableName("Companies");
  direct.Open();
  TABSDatabase* temporary = Session().FindDatabase(FPath);
  ASSERT_NE(temporary, nullptr);
  EXPECT_TRUE(temporary->Temporary());
  direct.Close();

  TABSTable broken(nullptr);
  broken.SetDatabaseName(FDir.File("absent.abs"));
  broken.SetTableName("Companies");
  EXPECT_ANY_THROW(broken.Open());
  EXPECT_FALSE(broken.Active());
  EXPECT_EQ(Session().FindDatabase(FDir.File("absent.abs")), nullptr) << "destroyed again";
  Session().DropConnections();
}

TEST(EngineErrorTest, MessagesComeFromTheCode) {
  struct {
    int32_t Code;
    const char* Message;
  } cases[] = {
      {-4, "Varkelt Engine Error # -4 Error updating record - record was modified by other process"},
      {-12, "Varkelt Engine Error # -12 Record is locked"},
      {-8, "Varkelt Engine Error # -8 The constraint's text"},
      {-99, "Varkelt Engine Error # -99 "},
  };
  for (const auto& test : cases)
    EXPECT_EQ(EABSEngineError(test.Code, "The constraint's text").Message(), test.Message);
}

}  // namespace
