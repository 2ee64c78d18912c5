#include "engine/tables/ZEVTableComponent.h"

#include <gtest/gtest.h>

#include "engine/tables/ZEVEngineError.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/ComponentErrorOf.h"
#include "tests/engine/tables/CursorTestSupport.h"

namespace {

using enginetest::TextOf;

// A database file with the company table, reached through a database component named
// "Kestrevaud" of the default session.
class TableComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cursortest::createCompanyDatabase(FPath);
    FDatabase = std::make_unique<TABSDatabase>(nullptr);
    FDatabase->SetDatabaseName("Kestrevaud");
    FDatabase->SetDatabaseFileName(FPath);
    FDatabase->PageManagerSettings = enginetest::InstantSettings();
    FDatabase->Open();
    FTable = companies();
  }
  void TearDown() override {
    FTable.reset();
    FDatabase.reset();
  }
  std::unique_ptr<TABSTable> companies() {
    auto table = std::make_unique<TABSTable>(nullptr);
    table->SetName("tblEntreprise");
    table->SetDatabaseName("Kestrevaud");
    table->SetTableName("Companies");
    table->SetIndexName("idxPrimaryKey");
    table->Open();
    return table;
  }
  void append(const std::string& Nom, const std::string& Ville = "Lyon") {
    FTable->Append();
    FTable->FieldByName("Nom").SetAsString(Nom);
    FTable->FieldByName("Ville").SetAsString(Ville);
    FTable->Post();
  }
  std::vector<int32_t> ids() {
    std::vector<int32_t> result;
    for (FTable->First(); !FTable->Eof(); FTable->Next())
      result.push_back(FTable->FieldByName("Id").AsInteger());
    return result;
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("reference.abs");
  std::unique_ptr<TABSDatabase> FDatabase;
  std::unique_ptr<TABSTable> FTable;
};

TEST_F(TableComponentTest, RowsAreAppendedWalkedAndGivenTheirIdAtPost) {
  EXPECT_TRUE(FTable->IsEmpty());
  EXPECT_EQ(FTable->FieldCount(), 7);
  append("Veolia");
  EXPECT_EQ(FTable->FieldByName("Id").AsInteger(), 1) << "the posted row shows its Id";
  append("Suez", "Paris");
  append("Paprec");
  EXPECT_EQ(FTable->LastAutoincValue("Id"), 3);
  EXPECT_EQ(FTable->RecordCount(), 3);
  EXPECT_EQ(ids(), (std::vector<int32_t>{1, 2, 3}));
  FTable->First();
  FTable->Next();
  EXPECT_EQ(FTable->FieldByName("Ville").AsString(), "Paris");
  EXPECT_TRUE(FTable->FieldByName("Rue1").IsNull());
}

TEST_F(TableComponentTest, GotoKeyFindsTheRowOrKeepsTheCurrentOne) {
  for (const char* nom : {"A", "B", "C"}) append(nom);
  FTable->First();
  FTable->SetKey();
  FTable->FieldByName("Id").SetAsInteger(3);
  ASSERT_TRUE(FTable->GotoKey());
  EXPECT_EQ(FTable->FieldByName("Nom").AsString(), "C");
  FTable->SetKey();
  FTable->FieldByName("Id").SetAsInteger(42);
  EXPECT_FALSE(FTable->GotoKey());
  EXPECT_EQ(FTable->FieldByName("Nom").AsString(), "C") << "a miss keeps the row";
  EXPECT_TRUE(FTable->FindKey({"2"}));
  EXPECT_EQ(FTable->FieldByName("Nom").AsString(), "B");
  FTable->SetKey();
  int code = 0;
  EXPECT_EQ(errorOf([&] { FTable->FieldByName("Nom").SetAsString("x"); }, &code),
            enginetest::FormattedTextOf("Field Nom is not in the current index", 20019));
  FTable->Cancel();
}

TEST_F(TableComponentTest, CancellingAKeyEntryRestoresTheKey) {
  for (const char* nom : {"A", "B"}) append(nom);
  FTable->SetKey();
  FTable->FieldByName("Id").SetAsInteger(2);
  FTable->Post();
  FTable->SetKey();
  FTable->FieldByName("Id").SetAsInteger(1);
  FTable->Cancel();
  ASSERT_TRUE(FTable->GotoKey());
  EXPECT_EQ(FTable->FieldByName("Nom").AsString(), "B");
}

TEST_F(TableComponentTest, ClosingDuringAnEditLeavesTheFileAsItWas) {
  append("Original");
  FTable->Edit();
  FTable->FieldByName("Nom").SetAsString("Changé");
  FTable->Close();
  FTable = companies();
  EXPECT_EQ(FTable->FieldByName("Nom").AsString(), "Original");
  FTable->Edit();
  FTable->FieldByName("Nom").SetAsString("Changé");
  FTable->Post();
  FTable->Close();
  FTable = companies();
  EXPECT_EQ(FTable->FieldByName("Nom").AsString(), "Changé");
}

TEST_F(TableComponentTest, RefusedRowsRaiseTheEngineError) {
  append("Veolia");
  FTable->Append();
  FTable->FieldByName("Id").SetAsInteger(1);
  try {
    FTable->Post();
    FAIL() << "a duplicate key was posted";
  } catch (const EABSEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), -8);
    EXPECT_EQ(error.ErrorMessage(),
              enginetest::FormattedTextOf(
                  "Primary Key constraint 'PK_Companies' violated. Duplicate found.", 30319));
  }
  EXPECT_EQ(FTable->State(), zev::dsInsert) << "a failed post keeps the insert";
  FTable->Cancel();
  EXPECT_EQ(FTable->RecordCount(), 1);
}

TEST_F(TableComponentTest, RangesShowOnlyTheirKeys) {
  for (const char* town : {"Lyon", "Paris", "Lyon", "Annecy"}) append("X", town);
  FTable->SetIndexName("idxVille");
  FTable->SetRangeStart();
  FTable->FieldByName("Ville").SetAsString("Lyon");
  FTable->SetRangeEnd();
  FTable->FieldByName("Ville").SetAsString("Lyon");
  FTable->ApplyRange();
  EXPECT_EQ(ids(), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(FTable->RecordCount(), 2);
  FTable->CancelRange();
  EXPECT_EQ(FTable->RecordCount(), 4);
  FTable->SetIndexFieldNames("Id");
  EXPECT_EQ(FTable->IndexName(), "");
  EXPECT_EQ(ids(), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(TableComponentTest, OpeningNeedsATableNameAndAKnownStore) {
  TABSTable blank(nullptr);
  blank.SetName("tblBlank");
  blank.SetDatabaseName("Kestrevaud");
  blank.SetTableName("   ");
  EXPECT_EQ(componentErrorOf([&] { blank.Open(); }), "tblBlank: Missing TableName property");
  EXPECT_FALSE(blank.Active());

  TABSTable memory(nullptr);
  memory.SetDatabaseName("memory");
  EXPECT_TRUE(memory.InMemory());
  memory.SetTableName("T");
  EXPECT_ANY_THROW(memory.Open());
  TABSTable noDatabase(nullptr);
  noDatabase.SetName("tblNone");
  EXPECT_EQ(componentErrorOf([&] { noDatabase.Open(); }), "tblNone: DatabaseName property is blank");
}

TEST_F(TableComponentTest, MatiereFromFrameworkDefinitions) {
  TABSTable matiere(nullptr);
  matiere.SetDatabaseName("Kestrevaud");
  matiere.SetTableName("MATIERE");
  matiere.FieldDefs().Add("Id", zev::ftAutoInc);
  matiere.FieldDefs().Add("Nom", zev::ftString, 30);
  matiere.IndexDefs().Add("idxPrimaryKey", "Id", {zev::ixPrimary});
  matiere.CreateTable();

  matiere.SetIndexName("idxPrimaryKey");
  matiere.Open();
  const zev::TABSFieldDefs& fields = matiere.Handle()->FieldDefs();
  ASSERT_EQ(fields.Count(), 2);
  EXPECT_EQ(fields.Items(0)->FName, "Id");
  EXPECT_EQ(fields.Items(0)->FAdvancedFieldType, zev::aftAutoInc);
  EXPECT_EQ(fields.Items(1)->FName, "Nom");
  EXPECT_EQ(fields.Items(1)->FAdvancedFieldType, zev::aftString);
  EXPECT_EQ(fields.Items(1)->FFieldSize, 30);
  const zev::TABSIndexDefs& indexes = matiere.Handle()->IndexDefs();
  ASSERT_EQ(indexes.Count(), 1);
  const zev::TABSIndexDef& index = *indexes.Items(0);
  EXPECT_EQ(index.FName, "idxPrimaryKey");
  EXPECT_TRUE(index.FPrimary);
  EXPECT_EQ(index.FIndexType, zev::itBTree);
  ASSERT_EQ(index.FIndexColumns.size(), 1u);
  EXPECT_EQ(index.FIndexColumns[0].FFieldName, "Id");
  EXPECT_FALSE(index.FIndexColumns[0].FDescending);
  EXPECT_FALSE(index.FIndexColumns[0].FCaseInsensitive);
  EXPECT_EQ(index.FIndexColumns[0].FMaxIndexedSize, 20);
  FDatabase->Handle()->DatabaseData().Lock();
  auto& data = zev::TABSDiskTableData::FindOrCreate(FDatabase->Handle()->DatabaseData(), "MATIERE");
  ASSERT_EQ(data.ConstraintDefs().Count(), 1);
  EXPECT_EQ(data.ConstraintDefs().Items(0)->FName, "C_PK$Id");
  FDatabase->Handle()->DatabaseData().Unlock();

  matiere.Append();
  matiere.FieldByName("Nom").SetAsString("Verre");
  matiere.Post();
  EXPECT_EQ(matiere.FieldByName("Id").AsInteger(), 1);
}

TEST_F(TableComponentTest, IndexListsSizesAndConstraintsFromTheDefinitions) {
  TABSTable table(nullptr);
  table.SetDatabaseName("Kestrevaud");
  table.SetTableName("Sites");
  table.FieldDefs().Add("Id", zev::ftAutoInc);
  table.FieldDefs().Add("Nom", zev::ftString, 60, true);
  table.FieldDefs().Add("Ville", zev::ftString, 40);
  table.FieldDefs().Add("Ouverture", zev::ftDate);
  table.FieldDefs().Add("Heure", zev::ftTime);
  table.FieldDefs().Add("Passage", zev::ftDateTime);
  table.IndexDefs().Add("idxPrimaryKey", "Id", {zev::ixPrimary});
  table.IndexDefs().Add("idxNomVille", "Nom, Ville", {zev::ixDescending});
  table.IndexDefs().Add("idxVille", "Ville", {zev::ixUnique});
  table.CreateTable();
  EXPECT_EQ(table.AdvIndexDefs().Find("idxNomVille")->FMaxIndexedSizes, "20;20");

  table.SetIndexName("idxNomVille");
  table.Open();
  const zev::TABSIndexDef& byName = *table.Handle()->IndexDefs().GetIndexDefByName("idxNomVille");
  ASSERT_EQ(byName.FIndexColumns.size(), 2u);
  EXPECT_TRUE(byName.FIndexColumns[0].FDescending && byName.FIndexColumns[1].FDescending);
  EXPECT_EQ(byName.FIndexColumns[1].FFieldName, "Ville");
  FDatabase->Handle()->DatabaseData().Lock();
  auto& data = zev::TABSDiskTableData::FindOrCreate(FDatabase->Handle()->DatabaseData(), "Sites");
  std::vector<AnsiString> names;
  for (int i = 0; i < data.ConstraintDefs().Count(); ++i)
    names.push_back(data.ConstraintDefs().Items(i)->FName);
  FDatabase->Handle()->DatabaseData().Unlock();
  EXPECT_EQ(names, (std::vector<AnsiString>{"C_NotNull$Nom", "C_PK$Id", "C_Unique$Ville"}));

  // Dates and times travel through the dataset's forms and back.
  const zev::TDateTime day = 46000.0, noon = 0.5, moment = 46000.75;
  table.Append();
  table.FieldByName("Nom").SetAsString("Centre de tri");
  table.FieldByName("Ville").SetAsString("Lyon");
  table.FieldByName("Ouverture").SetAsDateTime(day);
  table.FieldByName("Heure").SetAsDateTime(noon);
  table.FieldByName("Passage").SetAsDateTime(moment);
  table.Post();
  table.Close();
  table.Open();
  EXPECT_DOUBLE_EQ(table.FieldByName("Ouverture").AsDateTime(), day);
  EXPECT_DOUBLE_EQ(table.FieldByName("Heure").AsDateTime(), noon);
  EXPECT_DOUBLE_EQ(table.FieldByName("Passage").AsDateTime(), moment);

  // The required field and the unique index refuse rows.
  const struct {
    const char* Nom;
    const char* Ville;
    std::string Message;
  } refusals[] = {
      {nullptr, "Paris",
       enginetest::FormattedTextOf(
           "Constraint 'C_NotNull$Nom' violated. Value in field 'Nom' cannot be null", 30026)},
      {"Autre", "Lyon",
       enginetest::FormattedTextOf("Constraint unique 'C_Unique$Ville' violated. Duplicate found.",
                                   30320)},
  };
  for (const auto& refusal : refusals) {
    table.Append();
    if (refusal.Nom) table.FieldByName("Nom").SetAsString(refusal.Nom);
    table.FieldByName("Ville").SetAsString(refusal.Ville);
    try {
      // The contract's own required check comes first for a required framework field.
      table.Post();
      ADD_FAILURE() << "posted";
    } catch (const EABSEngineError& error) {
      EXPECT_EQ(error.ErrorMessage(), refusal.Message);
    } catch (const zev::EDatabaseError& error) {
      EXPECT_EQ(refusal.Nom, nullptr) << error.Message();
    }
    table.Cancel();
  }
}

TEST_F(TableComponentTest, CreationRefusesBadDefinitions) {
  struct {
    const char* Field;
    zev::TFieldType Type;
    int32_t Size;
    const char* IndexFields;
    std::string Expected;
  } cases[] = {
      {"", zev::ftInteger, 0, "", enginetest::FormattedTextOf("Missing field name. FieldNo=0, table 'T'", 30499)},
      {"Nom", zev::ftString, 0, "",
       enginetest::FormattedTextOf("Cannot create table 'T' with field: Nom STRING(0)", 30453)},
      {"Nom", zev::ftString, 10, "Nom;Autre",
       enginetest::FormattedTextOf("Cannot find index field 'Autre'", 20050)},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Expected);
    TABSTable table(nullptr);
    table.SetDatabaseName("Kestrevaud");
    table.SetTableName("T");
    table.FieldDefs().Add(test.Field, test.Type, test.Size);
    if (*test.IndexFields) table.IndexDefs().Add("idx", test.IndexFields);
    EXPECT_EQ(errorOf([&] { table.CreateTable(); }), test.Expected);
    EXPECT_FALSE(FDatabase->TableExists("T"));
  }
}

}  // namespace
