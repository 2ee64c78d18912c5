#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/tables/ABSBaseIndexManager.h"
#include "engine/tables/ZEVConstraintManager.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/BTreeTestSupport.h"

namespace {

using namespace btreetest;
using enginetest::FormattedTextOf;
using enginetest::TextOf;
using zev::TABSBaseIndexManager;
using zev::TABSConstraintDefs;
using zev::TABSConstraintManager;

constexpr int32_t kSession = zev::kSystemSessionID;
constexpr int32_t kPrimaryIndexID = 11;
constexpr int32_t kNomIndexID = 12;
constexpr int32_t kVilleFieldID = 103;

// A company row; an empty optional is a NULL field.
struct TCompany {
  std::optional<int32_t> Id;
  std::optional<std::string> Nom;
  std::optional<std::string> Ville;
  std::optional<int32_t> Effectif;
};

// A table of companies (Id, Nom, Ville, Effectif) holding Dupont (1) and Martin (2), indexed by
// idxPrimaryKey over Id and a case-insensitive unique idxNom, with the constraints, in order:
// PK_Companies (its index found by object id), UQ_Nom (its index found by name, in another
// case), NN_Ville (its column named in another case) and CK_Effectif between 1 and 500.5.
class ConstraintManagerTest : public ::testing::Test {
 protected:
  ConstraintManagerTest() {
    FManager = FDatabase.Open(false);
    FFields = makeFields({{"Id", zev::aftAutoInc, 0},
                          {"Nom", zev::aftString, 30},
                          {"Ville", zev::aftString, 40},
                          {"Effectif", zev::aftInteger, 0}});
    for (int i = 0; i < FFields->Count(); ++i) FFields->Items(i)->FObjectID = 101 + i;
    FRows = std::make_unique<TRowStore>(*FFields);
    FIndexes = std::make_unique<TABSBaseIndexManager>(*FManager, *FFields, FRows.get());

    auto primary = makeIndex("idxPrimaryKey", {{"Id"}});
    primary->FPrimary = true;
    primary->FUnique = true;
    primary->FObjectID = kPrimaryIndexID;
    FIndexes->CreateIndex(kSession, *primary);
    auto byName = makeIndex("idxNom", {{"Nom", false, true}});
    byName->FUnique = true;
    byName->FObjectID = kNomIndexID;
    FIndexes->CreateIndex(kSession, *byName);
    store(kDupont, 1);
    store(kMartin, 2);

    FPrimary = FConstraints.AddPK();
    FPrimary->FName = "PK_Companies";
    FPrimary->FIndexName = "idxPrimaryKey";
    FPrimary->FIndexObjectID = kPrimaryIndexID;
    FPrimary->Columns = {{"Id", 101}};
    zev::TABSConstraintDefUnique* unique = FConstraints.AddUnique();
    unique->FName = "UQ_Nom";
    unique->FIndexName = "IDXNOM";
    unique->Columns = {{"Nom", 102}};
    zev::TABSConstraintDefNotNull* notNull = FConstraints.AddNotNull();
    notNull->FName = "NN_Ville";
    notNull->FColumnName = "ville";
    notNull->FColumnObjectID = kVilleFieldID;
    zev::TABSConstraintDefCheck* check = FConstraints.AddCheck();
    check->FName = "CK_Effectif";
    check->FColumnName = "Effectif";
    check->FColumnObjectID = 104;
    check->FMinValue.SetAsInteger(1);
    check->FMaxValue.SetAsDouble(500.5);
  }

  Bytes row(const TCompany& Company) const {
    Bytes row = FRows->NewRow();
    if (Company.Id) FRows->SetInteger(row, 0, *Company.Id);
    if (Company.Nom) FRows->SetString(row, 1, *Company.Nom);
    if (Company.Ville) FRows->SetString(row, 2, *Company.Ville);
    if (Company.Effectif) FRows->SetInteger(row, 3, *Company.Effectif);
    return row;
  }
  void store(const TCompany& Company, int32_t PageNo) {
    const Bytes stored = row(Company);
    FRows->Put(idOf(PageNo), stored);
    zev::TABSIndexRowOperation operation;
    operation.SessionID = kSession;
    operation.CurrentRecordBuffer = stored.data();
    operation.CurrentRecordID = idOf(PageNo);
    FIndexes->InsertRecord(operation);
  }
  // The message CheckConstraints raises with Constraints ("" when the row passes), after
  // checking that RecordPassesConstraints gives the same verdict.
  std::string violationOf(const TABSConstraintDefs& Constraints, const TCompany& New,
                          const std::optional<TCompany>& Old, int* Code) {
    TABSConstraintManager checker(Constraints, *FFields, *FIndexes);
    const Bytes newRow = row(New);
    const Bytes oldRow = Old ? row(*Old) : Bytes();
    const uint8_t* oldBuffer = Old ? oldRow.data() : nullptr;
    *Code = 0;
    const std::string message =
        errorOf([&] { checker.CheckConstraints(kSession, newRow.data(), oldBuffer, !Old); }, Code);
    EXPECT_EQ(checker.RecordPassesConstraints(kSession, newRow.data(), oldBuffer, !Old),
              message.empty());
    return message;
  }
  std::string violationOf(const TCompany& New, const std::optional<TCompany>& Old, int* Code) {
    return violationOf(FConstraints, New, Old, Code);
  }

  const TCompany kDupont{1, "Dupont", "Lyon", 20};
  const TCompany kMartin{2, "Martin", "Paris", 40};

  enginetest::TTestDatabase FDatabase;
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
  std::unique_ptr<zev::TABSFieldDefs> FFields;
  std::unique_ptr<TRowStore> FRows;
  std::unique_ptr<TABSBaseIndexManager> FIndexes;
  TABSConstraintDefs FConstraints;
  zev::TABSConstraintDefPrimary* FPrimary = nullptr;
};

struct TConstraintCase {
  const char* Description;
  TCompany New;
  std::optional<TCompany> Old;  // set for an update
  int Code;                     // 0: the row passes
  const char* Message;
};

TEST_F(ConstraintManagerTest, RaisesTheFirstViolationInDefinitionOrder) {
  const std::optional<TCompany> insert;
  const TConstraintCase cases[] = {
      {"a new company", {3, "Durand", "Nice", 10}, insert, 0, ""},
      {"the minimum itself", {3, "Durand", "Nice", 1}, insert, 0, ""},
      {"below the maximum", {3, "Durand", "Nice", 500}, insert, 0, ""},
      {"a NULL value passes the check", {3, "Durand", "Nice", std::nullopt}, insert, 0, ""},
      {"Ville NULL",
       {3, "Durand", std::nullopt, 10},
       insert,
       30026,
       "Constraint 'NN_Ville' violated. Value in field 'Ville' cannot be null"},
      {"Effectif below the minimum",
       {3, "Durand", "Nice", 0},
       insert,
       30029,
       "Constraint 'CK_Effectif' violated. Value in field 'Effectif' cannot be lower than '1'"},
      {"Effectif above the maximum",
       {3, "Durand", "Nice", 501},
       insert,
       30030,
       "Constraint 'CK_Effectif' violated. Value in field 'Effectif' cannot be greater than "
       "'500.5'"},
      {"a name taken in another case",
       {3, "DUPONT", "Nice", 10},
       insert,
       30320,
       "Constraint unique 'UQ_Nom' violated. Duplicate found."},
      {"a key taken",
       {2, "Durand", "Nice", 10},
       insert,
       30319,
       "Primary Key constraint 'PK_Companies' violated. Duplicate found."},
      {"a NULL key",
       {std::nullopt, "Durand", "Nice", 10},
       insert,
       30330,
       "Constraint 'PK_Companies' violated. Value in field 'Id' cannot be null"},
      {"NULL key and NULL Ville: the key comes first",
       {std::nullopt, "Durand", std::nullopt, 10},
       insert,
       30330,
       "Constraint 'PK_Companies' violated. Value in field 'Id' cannot be null"},
      {"a name taken and Effectif too low: the unique constraint comes first",
       {3, "Martin", "Nice", 0},
       insert,
       30320,
       "Constraint unique 'UQ_Nom' violated. Duplicate found."},
      {"an update that keeps its key and name", {1, "Dupont", "Grenoble", 25}, kDupont, 0, ""},
      {"an update that takes another row's key",
       {2, "Dupont", "Lyon", 20},
       kDupont,
       30319,
       "Primary Key constraint 'PK_Companies' violated. Duplicate found."},
      {"an update that takes another row's name",
       {1, "martin", "Lyon", 20},
       kDupont,
       30320,
       "Constraint unique 'UQ_Nom' violated. Duplicate found."},
      {"an update that clears Ville",
       {1, "Dupont", std::nullopt, 20},
       kDupont,
       30026,
       "Constraint 'NN_Ville' violated. Value in field 'Ville' cannot be null"},
  };
  for (const TConstraintCase& c : cases) {
    SCOPED_TRACE(c.Description);
    int code = 0;
    const std::string message = violationOf(c.New, c.Old, &code);
    if (c.Code == 0) {
      EXPECT_EQ(message, "");
    } else {
      EXPECT_EQ(message, FormattedTextOf(c.Message, c.Code));
      EXPECT_EQ(code, c.Code);
    }
  }
}

TEST_F(ConstraintManagerTest, KeyIsNullOnlyWhenEveryColumnIsNull) {
  FPrimary->Columns = {{"Id", 101}, {"nom", 102}};
  int code = 0;
  EXPECT_EQ(violationOf({std::nullopt, std::nullopt, "Nice", 10}, std::nullopt, &code),
            FormattedTextOf("Constraint 'PK_Companies' violated. Value in field 'Id, Nom' cannot "
                            "be null",
                            30330));
  EXPECT_EQ(code, 30330);
  EXPECT_EQ(violationOf({std::nullopt, "Durand", "Nice", 10}, std::nullopt, &code), "")
      << "one key column with a value is enough, and a NULL Id duplicates no stored key";
}

TEST_F(ConstraintManagerTest, ColumnsAreFoundByNameElseByObjectId) {
  TABSConstraintDefs constraints;
  zev::TABSConstraintDefNotNull* byId = constraints.AddNotNull();
  byId->FName = "NN_ById";
  byId->FColumnObjectID = kVilleFieldID;
  int code = 0;
  EXPECT_EQ(violationOf(constraints, {3, "Durand", std::nullopt, 10}, std::nullopt, &code),
            FormattedTextOf("Constraint 'NN_ById' violated. Value in field 'Ville' cannot be null",
                            30026));

  byId->FColumnObjectID = 999;
  EXPECT_EQ(violationOf(constraints, {3, "Durand", "Nice", 10}, std::nullopt, &code),
            FormattedTextOf("Field #999 not found", 30024))
      << "an empty name falls back to the object id, which names no field";

  byId->FColumnName = "Pays";
  byId->FColumnObjectID = kVilleFieldID;
  EXPECT_EQ(violationOf(constraints, {3, "Durand", "Nice", 10}, std::nullopt, &code),
            FormattedTextOf("Field #103 not found", 30024))
      << "a name is not overruled by the object id";
  EXPECT_EQ(code, 30024);

  FPrimary->Columns = {{"Id", 101}, {"Code", 77}};
  EXPECT_EQ(violationOf({3, "Durand", "Nice", 10}, std::nullopt, &code),
            FormattedTextOf("Field #77 not found", 30024));
}

TEST_F(ConstraintManagerTest, IndexIsFoundByObjectIdElseByName) {
  TABSConstraintDefs constraints;
  zev::TABSConstraintDefUnique* unique = constraints.AddUnique();
  unique->FName = "UQ_Nom";
  unique->FIndexName = "idxPrimaryKey";
  unique->FIndexObjectID = kNomIndexID;
  unique->Columns = {{"Nom", 102}};
  const TCompany sameName{3, "Dupont", "Nice", 10};
  int code = 0;
  EXPECT_EQ(violationOf(constraints, sameName, std::nullopt, &code),
            FormattedTextOf("Constraint unique 'UQ_Nom' violated. Duplicate found.", 30320))
      << "the object id wins over the name";

  unique->FIndexObjectID = 99;
  unique->FIndexName = "IdxNom";
  EXPECT_EQ(violationOf(constraints, sameName, std::nullopt, &code),
            FormattedTextOf("Constraint unique 'UQ_Nom' violated. Duplicate found.", 30320));

  unique->FIndexName = "idxMissing";
  EXPECT_EQ(violationOf(constraints, sameName, std::nullopt, &code),
            TextOf("Index not found", 20018));
  EXPECT_EQ(code, 20018);
}

TEST_F(ConstraintManagerTest, NullBoundsImposeNothing) {
  TABSConstraintDefs constraints;
  zev::TABSConstraintDefCheck* check = constraints.AddCheck();
  check->FName = "CK_Open";
  check->FColumnName = "Effectif";
  int code = 0;
  EXPECT_EQ(violationOf(constraints, {3, "Durand", "Nice", -100000}, std::nullopt, &code), "");

  check->FMaxValue.SetAsInteger(10);
  EXPECT_EQ(violationOf(constraints, {3, "Durand", "Nice", -100000}, std::nullopt, &code), "");
  EXPECT_EQ(violationOf(constraints, {3, "Durand", "Nice", 11}, std::nullopt, &code),
            FormattedTextOf("Constraint 'CK_Open' violated. Value in field 'Effectif' cannot be "
                            "greater than '10'",
                            30030));
}

}  // namespace
