// Tests of the database tool, run as a real program: usage and exit codes, creating databases,
// loading CSV files in both encodings and dumping them back in key order, the header report,
// and the checks on a healthy file and on damaged copies.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVDatabaseComponent.h"
#include "engine/tables/ZEVDiskTableData.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/ToolRun.h"

namespace {

using tooltest::runTool;
using tooltest::TRun;

std::vector<std::string> lines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::istringstream In(Text);
  for (std::string Line; std::getline(In, Line);) Lines.push_back(Line);
  return Lines;
}

bool contains(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

// "ö" and friends in the two encodings the loader accepts.
const std::string kCompanyNameUtf8 =
    "Soci\xC3\xA9t\xC3\xA9 G\xC3\xA9n\xC3\xA9rale de D\xC3\xA9"
    "chets";
const std::string kVilleUtf8 = "Gen\xC3\xA8ve";
const std::string kRue2Utf8 = "B\xC3\xA2t. \"A\", 2e \xC3\xA9tage";
// "Matière n°K – œuvre": è, °, the en dash and œ of Windows-1252.
std::string materialAnsi(int K) {
  return "Mati\xE8re n\xB0" + std::to_string(K) +
         " \x96 \x9C"
         "uvre";
}
std::string materialUtf8(int K) {
  return "Mati\xC3\xA8re n\xC2\xB0" + std::to_string(K) + " \xE2\x80\x93 \xC5\x93uvre";
}
std::string companyRue1(int K) { return std::to_string(K) + ", rue de l'\xC3\x89glise"; }
std::string companyCP(int K) {
  std::string Text = std::to_string(K % 100000);
  return std::string(5 - Text.size(), '0') + Text;
}

class ZevToolTest : public ::testing::Test {
 protected:
  std::string File(const std::string& Name) const { return FDir.File(Name); }

  void expectRun(const std::vector<std::string>& Args, int ExitCode, TRun* Result = nullptr) {
    TRun Run = runTool(Args);
    EXPECT_EQ(Run.ExitCode, ExitCode) << Args[0] << ": " << Run.Output;
    if (Result) *Result = Run;
  }

  // The reference database with 1000 companies (UTF-8 file, no Id column), 200 materials
  // (Windows-1252 file) and 10 units given with explicit Ids in descending order.
  std::string loadedReference() {
    const std::string Db = File("reference.abs");
    expectRun({"create-reference", Db}, 0);
    std::string Companies = "Nom,Rue1,Rue2,CP,Ville,Type\n";
    for (int K = 1; K <= 1000; ++K) {
      Companies += kCompanyNameUtf8 + ",\"" + companyRue1(K) +
                   "\",\"B\xC3\xA2t. \"\"A\"\", 2e \xC3\xA9tage\"," + companyCP(K) + "," +
                   kVilleUtf8 + ",Collecteur\n";
    }
    std::string Materials = "nom\r\n";  // column names ignore case
    for (int K = 1; K <= 200; ++K) Materials += materialAnsi(K) + "\r\n";
    std::string Units = "Id,Nom\n";
    for (int K = 10; K >= 1; --K) Units += std::to_string(K) + ",u" + std::to_string(K) + "\n";
    testsupport::WriteFile(File("companies.csv"), Companies);
    testsupport::WriteFile(File("materials.csv"), Materials);
    testsupport::WriteFile(File("units.csv"), Units);
    const struct {
      const char* Table;
      const char* Csv;
      const char* Count;
    } kLoads[] = {{"ENTREPRISE", "companies.csv", "1000"},
                  {"MATIERE", "materials.csv", "200"},
                  {"UNITE", "units.csv", "10"}};
    for (const auto& Load : kLoads) {
      TRun Run;
      expectRun({"load", Db, Load.Table, File(Load.Csv)}, 0, &Run);
      EXPECT_TRUE(contains(Run.Output, Load.Count + std::string(" rows loaded"))) << Run.Output;
    }
    return Db;
  }

  std::string damagedCopy(const std::string& Db, const std::string& Name) {
    const std::string Copy = File(Name);
    testsupport::WriteFile(Copy, testsupport::ReadFile(Db));
    return Copy;
  }

  testsupport::TTempDir FDir;
};

TEST_F(ZevToolTest, HelpPrintsTheUsageOfEveryCommand) {
  for (const char* Help : {"--help", "help"}) {
    TRun Run = runTool({Help});
    EXPECT_EQ(Run.ExitCode, 0);
    for (const char* Command :
         {"create FILE", "create-reference FILE", "load FILE TABLE CSV", "tables FILE",
          "dump FILE TABLE", "header FILE", "check FILE", "exit codes"}) {
      EXPECT_TRUE(contains(Run.Output, Command)) << Help << " lacks " << Command;
    }
  }
}

TEST_F(ZevToolTest, BadUsageExitsWithTwoAndOneLineOnStderr) {
  const std::string Db = File("db.abs");
  const std::string Missing = File("missing.abs");
  expectRun({"create", Db}, 0);
  testsupport::WriteFile(File("bad.csv"), "Nom,Bogus\nx,y\n");
  testsupport::WriteFile(File("broken.csv"), "Nom\n\"open\n");
  const struct {
    std::vector<std::string> Args;
    const char* Message;
  } kCases[] = {
      {{}, "missing command"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"tables"}, "missing argument FILE"},
      {{"load", Db, "UNITE"}, "missing argument CSV"},
      {{"tables", Db, "extra"}, "unexpected argument 'extra'"},
      {{"tables", Db, "--slots", "3"}, "unknown option '--slots'"},
      {{"tables", Db, "--password"}, "needs a value"},
      {{"create", File("n.abs"), "--page-size", "big"}, "--page-size needs a whole number"},
      {{"create", Db}, "already exists"},
      {{"tables", Missing}, "cannot read file"},
      {{"check", Missing}, "cannot read file"},
      {{"load", Db, "UNITE", File("none.csv")}, "cannot read file"},
      {{"load", Db, "UNITE", File("broken.csv")}, "unterminated quoted field"},
  };
  for (const auto& Case : kCases) {
    TRun Run = runTool(Case.Args);
    EXPECT_EQ(Run.ExitCode, 2) << Run.Output;
    EXPECT_EQ(lines(Run.Output).size(), 1u) << Run.Output;
    EXPECT_TRUE(contains(Run.Output, "zevtool: ") && contains(Run.Output, Case.Message))
        << "expected '" << Case.Message << "' in: " << Run.Output;
  }
}

TEST_F(ZevToolTest, CreatesEmptyDatabasesWithTheGivenLayout) {
  const std::string Plain = File("plain.abs");
  const std::string Secret = File("secret.abs");
  expectRun({"create", Plain}, 0);
  expectRun({"create", Secret, "--password", "s3cret", "--page-size", "8192", "--slots", "20"}, 0);
  TRun Run;
  expectRun({"tables", Plain}, 0, &Run);
  EXPECT_EQ(Run.Output, "");
  expectRun({"header", Plain}, 0, &Run);
  EXPECT_TRUE(contains(Run.Output, "\nPageSize: 4096\n")) << Run.Output;
  EXPECT_TRUE(contains(Run.Output, "\nEncrypted: false\n")) << Run.Output;
  expectRun({"header", Secret, "--password", "s3cret"}, 0, &Run);
  EXPECT_TRUE(contains(Run.Output, "\nPageSize: 8192\n")) << Run.Output;
  EXPECT_TRUE(contains(Run.Output, "\nEncrypted: true\n")) << Run.Output;
  expectRun({"check", Secret, "--password", "s3cret"}, 0);
  // The data module's password does not open a file made with another one.
  expectRun({"tables", Secret}, 1, &Run);
  EXPECT_TRUE(contains(Run.Output, "incorrect password")) << Run.Output;
}

TEST_F(ZevToolTest, ReferenceDatabaseHasTheThreeTablesAndTheirSchema) {
  const std::string Db = File("reference.abs");
  expectRun({"create-reference", Db}, 0);
  TRun Run;
  expectRun({"tables", Db}, 0, &Run);
  EXPECT_EQ(lines(Run.Output), (std::vector<std::string>{"ENTREPRISE", "MATIERE", "UNITE"}));
  const struct {
    const char* Table;
    const char* Header;
  } kSchemas[] = {{"ENTREPRISE", "Id,Nom,Rue1,Rue2,CP,Ville,Type\n"},
                  {"MATIERE", "Id,Nom\n"},
                  {"UNITE", "Id,Nom\n"}};
  for (const auto& Schema : kSchemas) {
    expectRun({"dump", Db, Schema.Table}, 0, &Run);
    EXPECT_EQ(Run.Output, Schema.Header);
  }
  expectRun({"header", Db}, 0, &Run);
  EXPECT_TRUE(contains(Run.Output, "\nEncrypted: true\n")) << Run.Output;
  EXPECT_TRUE(contains(Run.Output, "\nCryptoAlgorithm: craRijndael_128\n")) << Run.Output;
  // Encrypted with the data module's password: another one is refused.
  expectRun({"tables", Db, "--password", "wrong"}, 1);
  // A text longer than its column is refused and nothing of the file is kept.
  testsupport::WriteFile(File("long.csv"), "Nom\nok\n" + std::string(31, 'x') + "\n");
  expectRun({"load", Db, "UNITE", File("long.csv")}, 1, &Run);
  EXPECT_TRUE(contains(Run.Output, "record 2")) << Run.Output;
  expectRun({"dump", Db, "UNITE"}, 0, &Run);
  EXPECT_EQ(Run.Output, "Id,Nom\n");
}

TEST_F(ZevToolTest, LoadedRowsDumpInIdOrderWithTheirAccents) {
  const std::string Db = loadedReference();
  TRun Run;
  expectRun({"dump", Db, "ENTREPRISE"}, 0, &Run);
  std::string Expected = "Id,Nom,Rue1,Rue2,CP,Ville,Type\n";
  for (int K = 1; K <= 1000; ++K) {
    Expected += std::to_string(K) + "," + kCompanyNameUtf8 + ",\"" + companyRue1(K) +
                "\",\"B\xC3\xA2t. \"\"A\"\", 2e \xC3\xA9tage\"," + companyCP(K) + "," + kVilleUtf8 +
                ",Collecteur\n";
  }
  EXPECT_EQ(Run.Output, Expected);

  expectRun({"dump", Db, "MATIERE"}, 0, &Run);
  std::vector<std::string> Materials = lines(Run.Output);
  ASSERT_EQ(Materials.size(), 201u);
  for (int K = 1; K <= 200; ++K) EXPECT_EQ(Materials[K], std::to_string(K) + "," + materialUtf8(K));

  // Units were appended with Ids 10 down to 1: the dump follows idxPrimaryKey, not the file.
  expectRun({"dump", Db, "UNITE"}, 0, &Run);
  std::vector<std::string> Units = lines(Run.Output);
  ASSERT_EQ(Units.size(), 11u);
  for (int K = 1; K <= 10; ++K) EXPECT_EQ(Units[K], std::to_string(K) + ",u" + std::to_string(K));

  // A column the table does not have stops the load before any row is written.
  testsupport::WriteFile(File("bad.csv"), "Nom,Poids\nx,1\n");
  expectRun({"load", Db, "UNITE", File("bad.csv")}, 2, &Run);
  EXPECT_TRUE(contains(Run.Output, "no column 'Poids'")) << Run.Output;
  // Left-out auto-increment values continue after the highest one.
  testsupport::WriteFile(File("more.csv"), "Nom\nm3\n");
  expectRun({"load", Db, "UNITE", File("more.csv")}, 0);
  expectRun({"dump", Db, "UNITE"}, 0, &Run);
  EXPECT_EQ(lines(Run.Output).size(), 12u);
  EXPECT_EQ(lines(Run.Output).back(), "11,m3");

  expectRun({"check", Db}, 0, &Run);
  EXPECT_EQ(Run.Output, "OK\n");
  expectRun({"header", Db}, 0, &Run);
  EXPECT_TRUE(contains(Run.Output, "Total pages: ")) << Run.Output;
  EXPECT_TRUE(contains(Run.Output, "Pages in use: ")) << Run.Output;
  EXPECT_TRUE(contains(Run.Output, "Free pages: ")) << Run.Output;
}

// Page N of a file made by this engine begins at 380 + N * PageSize; page 0 is the first PFS
// page of the free-space map, page 1 the first EAM page. Its header is 40 bytes with the page
// type at offset 8, then the bitmap.
TEST_F(ZevToolTest, CheckNamesDamageInTheFreeSpaceMap) {
  const std::string Db = loadedReference();
  constexpr size_t kPage0 = 380;
  const struct {
    const char* Name;
    size_t Offset;
    size_t Count;
    const char* Message;
    int HeaderExitCode;  // header counts pages from the map: 1 when it cannot read it
  } kDamages[] = {
      {"page type", kPage0 + 8, 2, "page 0 should be a PFS Page", 1},
      {"first bitmap byte", kPage0 + 40, 1, "is in use but marked free in the free-space map", 0},
      {"bits beyond the end", kPage0 + 40 + 1000, 1, "beyond the end of the file", 0},
  };
  for (const auto& Damage : kDamages) {
    const std::string Copy = damagedCopy(Db, "damaged.abs");
    std::string Bytes = testsupport::ReadFile(Copy);
    for (size_t i = Damage.Offset; i < Damage.Offset + Damage.Count; ++i) Bytes[i] ^= '\xFF';
    testsupport::WriteFile(Copy, Bytes);
    TRun Run;
    expectRun({"check", Copy}, 1, &Run);
    EXPECT_TRUE(contains(Run.Output, Damage.Message)) << Damage.Name << ": " << Run.Output;
    EXPECT_FALSE(contains(Run.Output, "OK\n")) << Damage.Name;
    expectRun({"header", Copy}, Damage.HeaderExitCode, &Run);
    EXPECT_EQ(contains(Run.Output, "Pages in use: unknown"), Damage.HeaderExitCode == 1)
        << Damage.Name << ": " << Run.Output;
  }
}

TEST_F(ZevToolTest, CheckReportsARecordCountThatDisagreesWithThePageIndex) {
  const std::string Db = loadedReference();
  const std::string Copy = damagedCopy(Db, "count.abs");
  {
    // Raise the stored record count of MATIERE by three through the engine itself.
    TABSDatabase Database(nullptr);
    Database.SetDatabaseName("ZevToolTest");
    Database.SetDatabaseFileName(Copy);
    Database.SetPassword("#Tprazmolyk47");
    Database.Open();
    zev::TABSLocalSession& Connection = *Database.Handle();
    zev::TABSLocalCursor Cursor(Connection);
    Cursor.SetTableName("MATIERE");
    Cursor.OpenTable();
    zev::TABSDiskTableData& Table =
        zev::TABSDiskTableData::FindOrCreate(Connection.DatabaseData(), "MATIERE");
    Table.RecordManager().SetRecordCount(Table.RecordManager().RecordCount() + 3);
    Table.SaveMostUpdated(Connection.SessionID());
    Table.ApplyChanges(Connection.SessionID(), false);
    Cursor.CloseTable();
    Database.Close();
  }
  TRun Run;
  expectRun({"check", Copy}, 1, &Run);
  EXPECT_TRUE(contains(Run.Output,
                       "table MATIERE: record page index does not match the record "
                       "count 203"))
      << Run.Output;
  EXPECT_FALSE(contains(Run.Output, "table ENTREPRISE")) << Run.Output;
}

}  // namespace
