#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVStream.h"
#include "engine/tables/ZEVIndexDefs.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/ExpectedBytes.h"

namespace zev {
namespace {

using TNames = std::vector<AnsiString>;

TABSIndexDef* addIndex(TABSIndexDefs& Defs, const char* Name, int32_t ObjectID,
                       const std::vector<TABSIndexColumn>& Columns) {
  TABSIndexDef* def = Defs.AddCreated();
  def->FName = Name;
  def->FObjectID = ObjectID;
  def->FIndexColumns = Columns;
  return def;
}

void expectSameIndex(const TABSIndexDef& a, const TABSIndexDef& b) {
  SCOPED_TRACE(a.FName);
  EXPECT_EQ(a.FName, b.FName);
  EXPECT_EQ(a.FObjectID, b.FObjectID);
  EXPECT_EQ(a.FIndexType, b.FIndexType);
  EXPECT_EQ(a.FUnique, b.FUnique);
  EXPECT_EQ(a.FPrimary, b.FPrimary);
  EXPECT_EQ(a.FRootPageNo, b.FRootPageNo);
  EXPECT_EQ(a.FIndexColumns, b.FIndexColumns);
}

TEST(ZEVIndexDefsTest, SaveAndLoadKeepEveryIndex) {
  TABSIndexDefs saved;
  TABSIndexDef* pk = addIndex(saved, "PK_Clients", 21, {{"Id", false, false, 20}});
  pk->FUnique = pk->FPrimary = true;
  pk->FRootPageNo = 17;
  TABSIndexDef* byName =
      addIndex(saved, "ByNameCity", 22,
               {{"Nom", true, true, 30}, {"Ville", false, true, 12}, {"CP", true, false, 5}});
  byName->FIndexType = itAnotherOne;
  byName->FRootPageNo = 123456;
  addIndex(saved, std::string(255, 'n').c_str(), 23, {});

  TABSMemoryStream stream;
  saved.SaveToStream(stream);
  TABSIndexDefs loaded;
  addIndex(loaded, "Stale", 1, {});
  stream.SetPosition(0);
  loaded.LoadFromStream(stream);
  EXPECT_EQ(stream.GetPosition(), stream.GetSize());
  ASSERT_EQ(loaded.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    expectSameIndex(*saved.Items(i), *loaded.Items(i));
    EXPECT_FALSE(loaded.Items(i)->FTemporary);
  }
  EXPECT_EQ(loaded.GetIndexDefByName("bynamecity"), loaded.Items(1));
  EXPECT_EQ(loaded.GetIndexDefByName("ByName"), nullptr);
}

TEST(ZEVIndexDefsTest, TemporaryIndexIsNotStored) {
  TABSIndexDefs saved;
  addIndex(saved, "A", 1, {{"Id", false, false, 20}});
  TABSIndexDef* temporary = addIndex(saved, "Temp", 2, {{"Nom", false, false, 20}});
  temporary->FTemporary = true;
  temporary->FSessionID = 3;
  addIndex(saved, "B", 4, {{"CP", false, false, 20}});

  TABSMemoryStream stream;
  saved.SaveToStream(stream);
  EXPECT_EQ(GetInt32LE(stream.Memory()), 2);
  TABSIndexDefs loaded;
  stream.SetPosition(0);
  loaded.LoadFromStream(stream);
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_EQ(loaded.Items(0)->FName, "A");
  EXPECT_EQ(loaded.Items(1)->FName, "B");
}

TABSIndexDefs& smallIndexList(TABSIndexDefs& Defs) {
  TABSIndexDef* pk = addIndex(Defs, "PK", 5, {{"Id", false, false, 20}, {"Nom", true, true, 9}});
  pk->FUnique = pk->FPrimary = true;
  pk->FRootPageNo = 12;
  return Defs;
}

TEST(ZEVIndexDefsTest, StoredBytesOfAKnownIndex) {
  TABSIndexDefs defs;
  TABSMemoryStream stream;
  smallIndexList(defs).SaveToStream(stream);
  TBytes b;
  b.i32(1);
  b.u8(2).chars("PK").i32(5);
  b.u8(itBTree).u8(1).u8(1).i32(2).i32(12);
  b.u8(2).chars("Id").u8(0).u8(0).i32(20);
  b.u8(3).chars("Nom").u8(1).u8(1).i32(9);
  EXPECT_EQ(std::vector<uint8_t>(stream.Memory(), stream.Memory() + stream.GetSize()), b.Data);
}

TEST(ZEVIndexDefsTest, TruncatedStreamRaisesTheReadCodeOfTheItemCut) {
  // Offsets: count 0-3, name 4-6, id 7-10, type 11, unique 12, primary 13, columns 14-17,
  // root 18-21, column "Id" 22-24 name, 25 desc, 26 case, 27-30 size, column "Nom" 31-...
  const struct {
    int64_t CutAt;
    int Code;
  } cases[] = {{11, 10349}, {12, 10350}, {13, 10351}, {15, 10352}, {20, 10353},
               {22, 10358}, {23, 10359}, {25, 10360}, {26, 10361}, {29, 20168}};
  for (const auto& c : cases) {
    TABSIndexDefs defs;
    TABSMemoryStream stream;
    smallIndexList(defs).SaveToStream(stream);
    stream.SetSize(c.CutAt);
    stream.SetPosition(0);
    TABSIndexDefs loaded;
    int code = 0;
    errorOf([&] { loaded.LoadFromStream(stream); }, &code);
    EXPECT_EQ(code, c.Code) << "cut at " << c.CutAt;
  }
}

TEST(ZEVIndexDefsTest, AssignByNamesBuildsOneColumnPerName) {
  TABSIndexDef def;
  def.FIndexColumns = {{"Old", true, true, 3}};
  def.AssignByNames({"Nom", "Ville", "CP", "Id"}, {"DESC", "ASC", "", "desc"},
                    {"NO_CASE", "CASE", "NO_CASE", ""});
  const std::vector<TABSIndexColumn> expected{{"Nom", true, true, 20},
                                              {"Ville", false, false, 20},
                                              {"CP", false, true, 20},
                                              {"Id", false, false, 20}};
  EXPECT_EQ(def.FIndexColumns, expected);
}

TEST(ZEVIndexDefsTest, ListsOfDifferentLengthsRaise) {
  TABSIndexDef def;
  TABSIndexDefs defs;
  TABSFieldDefs fields;
  const struct {
    std::function<void()> Action;
    int Code;
    const char* Text;
  } cases[] = {
      {[&] {
         def.AssignByNames({"A", "B"}, {"ASC"}, {"", ""});
       },
       10278, "Error - different list lengths. L1 = 2, L2 = 1 - Native error: 10278"},
      {[&] {
         def.AssignByNames({"A"}, {"ASC"}, {"", ""});
       },
       10279, "Error - different list lengths. L1 = 1, L2 = 2 - Native error: 10279"},
      {[&] { defs.FindIndex({"A"}, {}, {""}, -1, fields); }, 10276,
       "Error - different list lengths. L1 = 1, L2 = 0 - Native error: 10276"},
      {[&] {
         defs.FindIndex({"A", "B", "C"}, {"", "", ""}, {""}, -1, fields);
       },
       10277, "Error - different list lengths. L1 = 3, L2 = 1 - Native error: 10277"},
  };
  for (const auto& c : cases) {
    int code = 0;
    EXPECT_EQ(errorOf(c.Action, &code), c.Text);
    EXPECT_EQ(code, c.Code);
  }
}

class ZEVIndexDefsFindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TABSFieldDef* id = FFields.AddCreated();
    id->FName = "Id";
    id->SetFieldDefDataType(aftAutoInc, 0);
    TABSFieldDef* nom = FFields.AddCreated();
    nom->FName = "Nom";
    nom->SetFieldDefDataType(aftString, 30);
    TABSFieldDef* cp = FFields.AddCreated();
    cp->FName = "CP";
    cp->SetFieldDefDataType(aftString, 5);

    addIndex(FIndexes, "NomCase", 10, {{"Nom", false, false, 20}});
    addIndex(FIndexes, "NomDescNoCase", 11, {{"Nom", true, true, 20}});
    addIndex(FIndexes, "IdNom", 12, {{"Id", false, true, 20}, {"Nom", false, true, 20}});
    TABSIndexDef* temporary = addIndex(FIndexes, "TempCP", 13, {{"CP", false, false, 20}});
    temporary->FTemporary = true;
    temporary->FSessionID = 4;
  }

  TABSFieldDefs FFields;
  TABSIndexDefs FIndexes;
};

TEST_F(ZEVIndexDefsFindTest, FirstServingIndexInListOrder) {
  const struct {
    TNames Names, AscDesc, Case;
    int32_t SessionID;
    int32_t Expected;
  } cases[] = {
      {{"Nom"}, {"ASC"}, {"CASE"}, 1, 10},
      {{"nom"}, {""}, {""}, 1, 10},            // names ignore case, empty entries ask nothing
      {{"Nom"}, {"DESC"}, {""}, 1, 11},        // descending wanted
      {{"Nom"}, {""}, {"NO_CASE"}, 1, 11},     // case-insensitive wanted
      {{"Nom"}, {"ASC"}, {"NO_CASE"}, 1, -1},  // none ascending and case-insensitive
      {{"Id"}, {""}, {"CASE"}, 1, 12},         // "CASE" asks nothing of a number column
      {{"Id"}, {"DESC"}, {""}, 1, -1},
      {{"Id", "Nom"}, {"", ""}, {"", "NO_CASE"}, 1, 12},
      {{"Id", "Nom"}, {"", ""}, {"", "CASE"}, 1, -1},  // string column is case-insensitive
      {{"Nom", "Id"}, {"", ""}, {"", ""}, 1, -1},      // wrong column order
      {{"Id", "Nom", "CP"}, {"", "", ""}, {"", "", ""}, 1, -1},  // more columns than any index
      {{"CP"}, {""}, {""}, 4, 13},                               // temporary index of this session
      {{"CP"}, {""}, {""}, 5, -1},  // temporary index of another session
      {{"Rue"}, {""}, {""}, 1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Names[0] + " " + c.AscDesc[0] + " " + c.Case[0] + " session " +
                 std::to_string(c.SessionID));
    EXPECT_EQ(FIndexes.FindIndex(c.Names, c.AscDesc, c.Case, c.SessionID, FFields), c.Expected);
    EXPECT_EQ(FIndexes.IsIndexExists(c.Names, c.AscDesc, c.Case, c.SessionID, FFields),
              c.Expected != -1);
  }
}

TEST(ZEVIndexDefsTest, AssignCopiesIndexesAndRejectsRepeatedNames) {
  TABSIndexDefs source;
  smallIndexList(source);
  TABSIndexDef* temporary = addIndex(source, "Temp", 9, {{"CP", false, true, 20}});
  temporary->FTemporary = true;
  temporary->FSessionID = 2;
  TABSIndexDefs target;
  target.Assign(source);
  ASSERT_EQ(target.Count(), 2);
  expectSameIndex(*source.Items(0), *target.Items(0));
  EXPECT_TRUE(target.Items(1)->FTemporary);
  EXPECT_EQ(target.Items(1)->FSessionID, 2);

  addIndex(source, "pk", 30, {});
  int code = 0;
  EXPECT_EQ(errorOf([&] { target.Assign(source); }, &code),
            "Duplicate field name pk - Native error: 10424");
  EXPECT_EQ(code, 10424);
}

}  // namespace
}  // namespace zev
