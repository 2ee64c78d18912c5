#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVStream.h"
#include "engine/tables/ZEVConstraintDefs.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/ExpectedBytes.h"

namespace zev {
namespace {

TABSVariant integerValue(int32_t Value) {
  uint8_t bytes[4];
  PutInt32LE(bytes, Value);
  TABSVariant v;
  v.SetData(bytes, 4, bftSignedInt32);
  return v;
}

void fillColumnConstraint(TABSConstraintDefNotNull& Def, const char* Name, int32_t Base) {
  Def.FName = Name;
  Def.FObjectID = Base;
  Def.FTableSchemaName = "dbo";
  Def.FTableName = "Clients";
  Def.FColumnName = std::string("Col") + Name;
  Def.FTableSchemaObjectID = Base + 1;
  Def.FTableObjectID = Base + 2;
  Def.FColumnObjectID = Base + 3;
}

void fillIndexConstraint(TABSConstraintDefUnique& Def, const char* Name, int32_t Base,
                         int Columns) {
  Def.FName = Name;
  Def.FObjectID = Base;
  Def.FTableSchemaName = "";
  Def.FTableName = std::string(255, 'T');
  Def.FIndexName = std::string("Idx") + Name;
  Def.FTableSchemaObjectID = Base + 1;
  Def.FTableObjectID = Base + 2;
  Def.FIndexObjectID = Base + 3;
  for (int i = 0; i < Columns; ++i) Def.Columns.push_back({"C" + std::to_string(i), Base + 10 + i});
}

// One constraint of every kind.
void buildEveryKind(TABSConstraintDefs& Defs) {
  fillIndexConstraint(*Defs.AddPK(), "PK", 10, 2);
  fillColumnConstraint(*Defs.AddNotNull(), "NN", 20);
  TABSConstraintDefCheck* check = Defs.AddCheck();
  fillColumnConstraint(*check, "CK", 30);
  check->FMinValue = integerValue(-5);
  check->FMaxValue = TABSVariant(bftSignedInt32);
  fillIndexConstraint(*Defs.AddUnique(), "UQ", 40, 1);
  fillIndexConstraint(*Defs.AddUnique(), "UQ0", 50, 0);
}

void expectSameValue(const TABSVariant& a, const TABSVariant& b) {
  ASSERT_EQ(a.IsNull(), b.IsNull());
  if (a.IsNull()) return;
  EXPECT_EQ(a.DataType(), b.DataType());
  ASSERT_EQ(a.DataSize(), b.DataSize());
  EXPECT_EQ(0, std::memcmp(a.Data(), b.Data(), static_cast<size_t>(a.DataSize())));
}

void expectSameConstraint(const TABSConstraintDef& a, const TABSConstraintDef& b) {
  SCOPED_TRACE(a.FName);
  EXPECT_EQ(typeid(a), typeid(b));
  EXPECT_EQ(a.FConstraintType, b.FConstraintType);
  EXPECT_EQ(a.FName, b.FName);
  EXPECT_EQ(a.FObjectID, b.FObjectID);
  if (const auto* na = dynamic_cast<const TABSConstraintDefNotNull*>(&a)) {
    const auto& nb = dynamic_cast<const TABSConstraintDefNotNull&>(b);
    EXPECT_EQ(na->FTableSchemaName, nb.FTableSchemaName);
    EXPECT_EQ(na->FTableName, nb.FTableName);
    EXPECT_EQ(na->FColumnName, nb.FColumnName);
    EXPECT_EQ(na->FTableSchemaObjectID, nb.FTableSchemaObjectID);
    EXPECT_EQ(na->FTableObjectID, nb.FTableObjectID);
    EXPECT_EQ(na->FColumnObjectID, nb.FColumnObjectID);
  }
  if (const auto* ca = dynamic_cast<const TABSConstraintDefCheck*>(&a)) {
    const auto& cb = dynamic_cast<const TABSConstraintDefCheck&>(b);
    expectSameValue(ca->FMinValue, cb.FMinValue);
    expectSameValue(ca->FMaxValue, cb.FMaxValue);
  }
  if (const auto* ua = dynamic_cast<const TABSConstraintDefUnique*>(&a)) {
    const auto& ub = dynamic_cast<const TABSConstraintDefUnique&>(b);
    EXPECT_EQ(ua->FTableSchemaName, ub.FTableSchemaName);
    EXPECT_EQ(ua->FTableName, ub.FTableName);
    EXPECT_EQ(ua->FIndexName, ub.FIndexName);
    EXPECT_EQ(ua->FTableSchemaObjectID, ub.FTableSchemaObjectID);
    EXPECT_EQ(ua->FTableObjectID, ub.FTableObjectID);
    EXPECT_EQ(ua->FIndexObjectID, ub.FIndexObjectID);
    EXPECT_EQ(ua->Columns, ub.Columns);
  }
}

TEST(ZEVConstraintDefsTest, SaveAndLoadKeepEveryKind) {
  TABSConstraintDefs saved;
  buildEveryKind(saved);
  TABSMemoryStream stream;
  saved.SaveToStream(stream);
  TABSConstraintDefs loaded;
  loaded.AddNotNull()->FName = "Stale";
  stream.SetPosition(0);
  loaded.LoadFromStream(stream);
  EXPECT_EQ(stream.GetPosition(), stream.GetSize());
  ASSERT_EQ(loaded.Count(), saved.Count());
  for (int i = 0; i < saved.Count(); ++i) expectSameConstraint(*saved.Items(i), *loaded.Items(i));
  EXPECT_EQ(loaded.Items(0)->FConstraintType, ctPK);
  EXPECT_EQ(loaded.Items(1)->FConstraintType, ctNotNull);
  EXPECT_EQ(loaded.Items(2)->FConstraintType, ctCheck);
  EXPECT_EQ(loaded.Items(3)->FConstraintType, ctUnique);
}

TEST(ZEVConstraintDefsTest, AssignCopiesEachKind) {
  TABSConstraintDefs source;
  buildEveryKind(source);
  TABSConstraintDefs target;
  target.Assign(source);
  ASSERT_EQ(target.Count(), source.Count());
  for (int i = 0; i < source.Count(); ++i) expectSameConstraint(*source.Items(i), *target.Items(i));
}

TEST(ZEVConstraintDefsTest, StoredBytesOfNotNullAndPrimary) {
  TABSConstraintDefs defs;
  TABSConstraintDefNotNull* notNull = defs.AddNotNull();
  notNull->FName = "NN_Nom";
  notNull->FObjectID = 40;
  notNull->FTableSchemaObjectID = 1;
  notNull->FTableObjectID = 2;
  notNull->FColumnObjectID = 3;
  notNull->FTableName = "Clients";
  notNull->FColumnName = "Nom";
  TABSConstraintDefPrimary* pk = defs.AddPK();
  pk->FName = "PK";
  pk->FObjectID = 41;
  pk->FTableSchemaObjectID = 1;
  pk->FTableObjectID = 2;
  pk->FIndexObjectID = 5;
  pk->FTableName = "Clients";
  pk->FIndexName = "PK_Clients";
  pk->Columns.push_back({"Id", 4});
  TABSMemoryStream stream;
  defs.SaveToStream(stream);

  TBytes b;
  b.i32(2);
  b.u8(ctNotNull).u8(6).chars("NN_Nom").i32(40).i32(1).i32(2).i32(3);
  b.u8(1).u8(0);                   // schema name: count 1, the empty short string
  b.u8(8).u8(7).chars("Clients");  // table name
  b.u8(4).u8(3).chars("Nom");      // column name
  b.u8(ctPK).u8(2).chars("PK").i32(41).i32(1).i32(2).i32(5);
  b.i32(1).u8(0);
  b.i32(8).u8(7).chars("Clients");
  b.i32(11).u8(10).chars("PK_Clients");
  b.i32(1).i32(4).i32(3).u8(2).chars("Id");
  EXPECT_EQ(contentOf(stream), b.Data);
}

TEST(ZEVConstraintDefsTest, UnknownConstraintTypeRaises30316) {
  for (uint8_t type : {uint8_t{1}, uint8_t{5}, uint8_t{255}}) {
    TABSMemoryStream stream;
    TBytes b;
    b.i32(1).u8(type).u8(0).i32(7);
    stream.WriteBuffer(b.Data.data(), static_cast<int64_t>(b.Data.size()));
    stream.SetPosition(0);
    TABSConstraintDefs defs;
    int code = 0;
    EXPECT_EQ(errorOf([&] { defs.LoadFromStream(stream); }, &code),
              "Unknown Constraint Type: '" + std::to_string(type) + "' - Native error: 30316");
    EXPECT_EQ(code, 30316);
  }
}

TEST(ZEVConstraintDefsTest, TruncatedStreamRaisesTheReadCodeOfTheItemCut) {
  // Cuts counted from the end of a list holding one constraint.
  struct TCase {
    int Kind;  // 0 not-null, 1 check, 2 unique
    int64_t FromEnd;
    int Code;
  };
  const TCase cases[] = {
      {0, 1, 10257},   // column name bytes
      {0, 7, 10256},   // column name count (count 6, then 6 bytes)
      {0, 16, 10254},  // table name count (count 8, then 8 bytes, before the column)
      {1, 1, 10184},   // maximum's null flag
      {1, 3, 10186},   // minimum's data bytes
      {1, 13, 10238},  // column name bytes before the two values (10 + 2 bytes)
      {2, 1, 30312},   // last column name bytes
      {2, 5, 30311},   // its count
      {2, 9, 30310},   // its object id
  };
  for (const TCase& c : cases) {
    TABSConstraintDefs defs;
    if (c.Kind == 0) {
      fillColumnConstraint(*defs.AddNotNull(), "NN", 1);
    } else if (c.Kind == 1) {
      TABSConstraintDefCheck* check = defs.AddCheck();
      fillColumnConstraint(*check, "CK", 1);
      check->FMinValue = integerValue(3);
      check->FMaxValue = TABSVariant(bftSignedInt32);
    } else {
      fillIndexConstraint(*defs.AddUnique(), "UQ", 1, 2);
    }
    TABSMemoryStream stream;
    defs.SaveToStream(stream);
    stream.SetSize(stream.GetSize() - c.FromEnd);
    stream.SetPosition(0);
    TABSConstraintDefs loaded;
    int code = 0;
    errorOf([&] { loaded.LoadFromStream(stream); }, &code);
    EXPECT_EQ(code, c.Code) << "kind " << c.Kind << " cut " << c.FromEnd << " from the end";
  }
}

}  // namespace
}  // namespace zev
