#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVStream.h"
#include "engine/tables/ZEVFieldDefs.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/ExpectedBytes.h"

namespace zev {
namespace {

struct TFieldDecl {
  const char* Name;
  TABSAdvancedFieldType Type;
  int32_t Size;
};

void addFields(TABSFieldDefs& Defs, const std::vector<TFieldDecl>& Fields) {
  for (const TFieldDecl& field : Fields) {
    TABSFieldDef* def = Defs.AddCreated();
    def->FName = field.Name;
    def->SetFieldDefDataType(field.Type, field.Size);
  }
  Defs.RecalcFieldOffsets();
}

TEST(ZEVFieldDefsTest, ReferenceTableLayout) {
  TABSFieldDefs defs;
  addFields(defs, {{"Id", aftAutoInc, 0},
                   {"Nom", aftString, 30},
                   {"Rue1", aftString, 40},
                   {"Rue2", aftString, 40},
                   {"CP", aftString, 5},
                   {"Ville", aftString, 40},
                   {"Type", aftString, 30}});
  EXPECT_EQ(defs.GetNullBitmapSize(), 1);
  const std::vector<int32_t> offsets{1, 5, 36, 77, 118, 124, 165};
  for (int i = 0; i < defs.Count(); ++i) {
    EXPECT_EQ(defs.Items(i)->FMemoryOffset, offsets[i]) << defs.Items(i)->FName;
    EXPECT_EQ(defs.Items(i)->FDiskOffset, offsets[i]) << defs.Items(i)->FName;
  }
  EXPECT_EQ(defs.Items(0)->FMemoryDataSize, 4);
  EXPECT_EQ(defs.Items(1)->FMemoryDataSize, 31);
  EXPECT_EQ(defs.Items(4)->FMemoryDataSize, 6);
  EXPECT_EQ(defs.GetMemoryRecordBufferSize(), 196);
  EXPECT_EQ(defs.GetDiskRecordBufferSize(), 196);

  // A cursor's row buffer: the row, the 6-byte bookmark, one byte, the calculated fields.
  const TABSCursorBufferLayout layout = TABSCursorBufferLayout::Of(defs);
  EXPECT_EQ(layout.FieldValuesOffset, 1);
  EXPECT_EQ(layout.BookmarkOffset, 196);
  EXPECT_EQ(layout.KeyOffset, 196);
  EXPECT_EQ(layout.KeyBufferSize, 202);
  EXPECT_EQ(layout.RecordSize, 203);
  EXPECT_EQ(layout.RecordBufferSize, 203);
  EXPECT_EQ(layout.CalculatedFieldsOffset, 203);
  TABSFieldDefs none;
  EXPECT_EQ(TABSCursorBufferLayout::Of(none).FieldValuesOffset, 0);
  EXPECT_EQ(TABSCursorBufferLayout::Of(none).RecordBufferSize, 7);
}

TEST(ZEVFieldDefsTest, NullBitmapTakesOneBytePerEightFields) {
  const struct {
    int Fields;
    int32_t Bitmap;
  } cases[] = {{0, 0}, {1, 1}, {8, 1}, {9, 2}, {16, 2}, {17, 3}};
  for (const auto& c : cases) {
    TABSFieldDefs defs;
    for (int i = 0; i < c.Fields; ++i) {
      TABSFieldDef* def = defs.AddCreated();
      def->FName = "F" + std::to_string(i);
      def->SetFieldDefDataType(aftInteger, 0);
    }
    defs.RecalcFieldOffsets();
    EXPECT_EQ(defs.GetNullBitmapSize(), c.Bitmap) << c.Fields;
    if (c.Fields > 0) {
      EXPECT_EQ(defs.Items(0)->FMemoryOffset, c.Bitmap) << c.Fields;
    }
    EXPECT_EQ(defs.GetMemoryRecordBufferSize(), c.Bitmap + 4 * c.Fields) << c.Fields;
    EXPECT_EQ(defs.GetDiskRecordBufferSize(), c.Bitmap + 4 * c.Fields) << c.Fields;
  }
}

TEST(ZEVFieldDefsTest, BLOBSlotIsShorterOnDiskAndShiftsLaterFields) {
  TABSFieldDefs defs;
  addFields(defs, {{"Id", aftAutoInc, 0},
                   {"Notes", aftMemo, 0},
                   {"Nom", aftString, 30},
                   {"Photo", aftGraphic, 0},
                   {"CP", aftString, 5}});
  const TABSFieldDef& notes = *defs.Items(1);
  EXPECT_EQ(notes.FMemoryDataSize, 10);
  EXPECT_EQ(notes.FDiskDataSize, 6);
  EXPECT_EQ(defs.Items(2)->FMemoryOffset, 15);
  EXPECT_EQ(defs.Items(2)->FDiskOffset, 11);
  EXPECT_EQ(defs.Items(4)->FMemoryOffset, 56);
  EXPECT_EQ(defs.Items(4)->FDiskOffset, 48);
  EXPECT_EQ(defs.GetMemoryRecordBufferSize(), 62);
  EXPECT_EQ(defs.GetDiskRecordBufferSize(), 54);
}

TEST(ZEVFieldDefsTest, SetFieldDefDataTypeDerivesTheOtherTypeAndSizes) {
  struct TCase {
    bool ByBase;
    TABSAdvancedFieldType Advanced;
    TABSBaseFieldType Base;
    int32_t Size;
    TABSAdvancedFieldType ExpectedAdvanced;
    TABSBaseFieldType ExpectedBase;
    int32_t Memory, Disk;
  };
  const TCase cases[] = {
      {false, aftWideString, bftUnknown, 30, aftWideString, bftWideVarchar, 62, 62},
      {false, aftTimeStamp, bftUnknown, 0, aftTimeStamp, bftDateTime, 8, 8},
      {false, aftGuid, bftUnknown, 38, aftGuid, bftChar, 39, 39},
      {false, aftFormattedMemo, bftUnknown, 0, aftFormattedMemo, bftClob, 10, 6},
      {true, aftUnknown, bftSignedInt32, 0, aftInteger, bftSignedInt32, 4, 4},
      {true, aftUnknown, bftClob, 0, aftMemo, bftClob, 10, 6},
      {true, aftUnknown, bftExtended, 0, aftExtended, bftExtended, 10, 10},
      {true, aftUnknown, bftVarBytes, 12, aftVarBytes, bftVarBytes, 13, 13},
  };
  for (const TCase& c : cases) {
    TABSFieldDef def;
    if (c.ByBase)
      def.SetFieldDefDataType(c.Base, c.Size);
    else
      def.SetFieldDefDataType(c.Advanced, c.Size);
    EXPECT_EQ(def.FAdvancedFieldType, c.ExpectedAdvanced) << int(c.ExpectedAdvanced);
    EXPECT_EQ(def.FBaseFieldType, c.ExpectedBase) << int(c.ExpectedAdvanced);
    EXPECT_EQ(def.FFieldSize, c.Size);
    EXPECT_EQ(def.FMemoryDataSize, c.Memory) << int(c.ExpectedAdvanced);
    EXPECT_EQ(def.FDiskDataSize, c.Disk) << int(c.ExpectedAdvanced);
  }
}

TEST(ZEVFieldDefsTest, NewDefinitionDefaults) {
  TABSFieldDef def;
  EXPECT_EQ(def.FObjectID, -1);
  EXPECT_EQ(def.FBaseFieldType, bftUnknown);
  EXPECT_EQ(def.FAdvancedFieldType, aftUnknown);
  EXPECT_TRUE(def.FDefaultValue.IsNull());
  EXPECT_EQ(def.FBLOBCompressionAlgorithm, acaNone);
  EXPECT_EQ(def.FBLOBBlockSize, 102400);
  EXPECT_EQ(def.FAutoincIncrement, 1);
  EXPECT_EQ(def.FAutoincInitialValue, 0);
  EXPECT_EQ(def.FAutoincMinValue, 0);
  EXPECT_EQ(def.FAutoincMaxValue, std::numeric_limits<int64_t>::max());
  EXPECT_FALSE(def.FAutoincCycled);
}

// Every declared type, with attributes that differ from field to field.
void buildEveryTypeList(TABSFieldDefs& Defs) {
  for (int t = aftChar; t <= aftGuid; ++t) {
    const auto type = static_cast<TABSAdvancedFieldType>(t);
    TABSFieldDef* def = Defs.AddCreated();
    def->FName = "Field" + std::to_string(t);
    def->FObjectID = 100 + t;
    const TABSBaseFieldType base = AdvancedFieldTypeToBaseFieldType(type);
    const bool sized = IsStringFieldType(base) || base == bftBytes || base == bftVarBytes;
    def->SetFieldDefDataType(type, sized ? 10 + t : 0);
    def->FBLOBCompressionAlgorithm = static_cast<TABSCompressionAlgorithm>(t % 4);
    def->FBLOBCompressionMode = static_cast<uint8_t>(t % 10);
    def->FBLOBBlockSize = 4096 * t;
    def->FAutoincIncrement = t;
    def->FAutoincInitialValue = -t;
    def->FAutoincMinValue = -1000 - t;
    def->FAutoincMaxValue = 1000000LL * t;
    def->FAutoincCycled = t % 2 == 0;
    if (!IsBLOBFieldType(base) && t % 3 != 0) {
      std::vector<uint8_t> value(static_cast<size_t>(def->FMemoryDataSize));
      for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<uint8_t>(t * 7 + i);
      def->FDefaultValue.SetData(value.data(), static_cast<int32_t>(value.size()), base);
    }
  }
  Defs.RecalcFieldOffsets();
}

void expectSameField(const TABSFieldDef& a, const TABSFieldDef& b) {
  SCOPED_TRACE(a.FName);
  EXPECT_EQ(a.FName, b.FName);
  EXPECT_EQ(a.FObjectID, b.FObjectID);
  EXPECT_EQ(a.FBaseFieldType, b.FBaseFieldType);
  EXPECT_EQ(a.FAdvancedFieldType, b.FAdvancedFieldType);
  EXPECT_EQ(a.FFieldSize, b.FFieldSize);
  EXPECT_EQ(a.FMemoryDataSize, b.FMemoryDataSize);
  EXPECT_EQ(a.FDiskDataSize, b.FDiskDataSize);
  EXPECT_EQ(a.FMemoryOffset, b.FMemoryOffset);
  EXPECT_EQ(a.FDiskOffset, b.FDiskOffset);
  if (IsBLOBFieldType(a.FBaseFieldType)) {
    EXPECT_EQ(a.FBLOBCompressionAlgorithm, b.FBLOBCompressionAlgorithm);
    EXPECT_EQ(a.FBLOBCompressionMode, b.FBLOBCompressionMode);
    EXPECT_EQ(a.FBLOBBlockSize, b.FBLOBBlockSize);
  }
  EXPECT_EQ(a.FAutoincIncrement, b.FAutoincIncrement);
  EXPECT_EQ(a.FAutoincInitialValue, b.FAutoincInitialValue);
  EXPECT_EQ(a.FAutoincMinValue, b.FAutoincMinValue);
  EXPECT_EQ(a.FAutoincMaxValue, b.FAutoincMaxValue);
  EXPECT_EQ(a.FAutoincCycled, b.FAutoincCycled);
  ASSERT_EQ(a.FDefaultValue.IsNull(), b.FDefaultValue.IsNull());
  if (!a.FDefaultValue.IsNull()) {
    EXPECT_EQ(a.FDefaultValue.DataType(), b.FDefaultValue.DataType());
    ASSERT_EQ(a.FDefaultValue.DataSize(), b.FDefaultValue.DataSize());
    EXPECT_EQ(0, std::memcmp(a.FDefaultValue.Data(), b.FDefaultValue.Data(),
                             static_cast<size_t>(a.FDefaultValue.DataSize())));
  }
}

TEST(ZEVFieldDefsTest, SaveAndLoadKeepEveryTypeAndAttribute) {
  TABSFieldDefs saved;
  buildEveryTypeList(saved);
  TABSMemoryStream stream;
  saved.SaveToStream(stream);

  TABSFieldDefs loaded;
  loaded.AddCreated()->FName = "Stale";  // loading empties the list first
  stream.SetPosition(0);
  loaded.LoadFromStream(stream);
  EXPECT_EQ(stream.GetPosition(), stream.GetSize());
  ASSERT_EQ(loaded.Count(), saved.Count());
  for (int i = 0; i < saved.Count(); ++i) expectSameField(*saved.Items(i), *loaded.Items(i));
  EXPECT_EQ(loaded.GetMemoryRecordBufferSize(), saved.GetMemoryRecordBufferSize());
  EXPECT_EQ(loaded.GetDiskRecordBufferSize(), saved.GetDiskRecordBufferSize());
}

TEST(ZEVFieldDefsTest, AssignCopiesInOrderAndLaysOutTheRow) {
  TABSFieldDefs source;
  buildEveryTypeList(source);
  TABSFieldDefs target;
  target.AddCreated()->FName = "Stale";
  target.Assign(source);
  ASSERT_EQ(target.Count(), source.Count());
  for (int i = 0; i < source.Count(); ++i) {
    EXPECT_NE(target.Items(i), source.Items(i));
    expectSameField(*source.Items(i), *target.Items(i));
  }
}

TEST(ZEVFieldDefsTest, AssignWithRepeatedNameRaises10424) {
  TABSFieldDefs source;
  addFields(source, {{"Id", aftAutoInc, 0}, {"Nom", aftString, 30}, {"NOM", aftString, 5}});
  TABSFieldDefs target;
  int code = 0;
  EXPECT_EQ(errorOf([&] { target.Assign(source); }, &code),
            "Duplicate field name NOM - Native error: 10424");
  EXPECT_EQ(code, 10424);
}

// One aftAutoInc "Id" (object id 7, no default) and one aftString 30 "Nom" (object id 8,
// default 'x').
void buildSmallList(TABSFieldDefs& Defs) {
  TABSFieldDef* id = Defs.AddCreated();
  id->FName = "Id";
  id->FObjectID = 7;
  id->SetFieldDefDataType(aftAutoInc, 0);
  TABSFieldDef* nom = Defs.AddCreated();
  nom->FName = "Nom";
  nom->FObjectID = 8;
  nom->SetFieldDefDataType(aftString, 30);
  nom->FDefaultValue.SetData("x", 2, bftVarchar);
  Defs.RecalcFieldOffsets();
}

std::vector<uint8_t> smallListBytes() {
  const int64_t max = std::numeric_limits<int64_t>::max();
  TBytes b;
  b.i32(2);
  b.u8(2).chars("Id").i32(7).u8(bftSignedInt32).u8(aftAutoInc).i32(0);
  b.i64(1).i64(0).i64(0).i64(max).u8(0);
  b.u8(bftUnknown).u8(0xFF);
  b.u8(3).chars("Nom").i32(8).u8(bftVarchar).u8(aftString).i32(30);
  b.i64(1).i64(0).i64(0).i64(max).u8(0);
  b.u8(bftVarchar).u8(0).i32(2).u8('x').u8(0);
  return b.Data;
}

TEST(ZEVFieldDefsTest, StoredBytesOfASmallList) {
  TABSFieldDefs defs;
  buildSmallList(defs);
  TABSMemoryStream stream;
  defs.SaveToStream(stream);
  EXPECT_EQ(contentOf(stream), smallListBytes());
}

TEST(ZEVFieldDefsTest, BLOBFieldStoresItsAttributes) {
  TABSFieldDefs defs;
  TABSFieldDef* memo = defs.AddCreated();
  memo->FName = "M";
  memo->FObjectID = 3;
  memo->SetFieldDefDataType(aftMemo, 0);
  memo->FBLOBCompressionAlgorithm = static_cast<TABSCompressionAlgorithm>(1);
  memo->FBLOBCompressionMode = 5;
  memo->FBLOBBlockSize = 65536;
  TABSMemoryStream stream;
  defs.SaveToStream(stream);
  TBytes b;
  b.i32(1).u8(1).chars("M").i32(3).u8(bftClob).u8(aftMemo).i32(0);
  b.u8(1).u8(5).i32(65536);
  b.i64(1).i64(0).i64(0).i64(std::numeric_limits<int64_t>::max()).u8(0);
  b.u8(bftUnknown).u8(0xFF);
  EXPECT_EQ(contentOf(stream), b.Data);
}

TEST(ZEVFieldDefsTest, TruncatedStreamRaisesTheReadCodeOfTheItemCut) {
  // Offsets into smallListBytes(): count 0-3, "Id" field 4-51, "Nom" field 52-106.
  const struct {
    int64_t CutAt;
    int Code;
  } cases[] = {{2, 10159},  {4, 10166},  {6, 10167},   {9, 10169},  {11, 10187}, {12, 10188},
               {14, 10189}, {20, 30407}, {30, 30408},  {40, 30409}, {45, 30410}, {49, 30411},
               {50, 10183}, {51, 10184}, {103, 10185}, {106, 10186}};
  for (const auto& c : cases) {
    TABSFieldDefs defs;
    buildSmallList(defs);
    TABSMemoryStream stream;
    defs.SaveToStream(stream);
    stream.SetSize(c.CutAt);
    stream.SetPosition(0);
    TABSFieldDefs loaded;
    int code = 0;
    const std::string message = errorOf([&] { loaded.LoadFromStream(stream); }, &code);
    EXPECT_EQ(code, c.Code) << "cut at " << c.CutAt;
    EXPECT_EQ(message.rfind("Cannot read from stream. Position = ", 0), 0u) << message;
  }
  // The exact text of a cut in the count.
  TABSMemoryStream stream;
  stream.SetSize(2);
  TABSFieldDefs loaded;
  EXPECT_EQ(errorOf([&] { loaded.LoadFromStream(stream); }),
            "Cannot read from stream. Position = 0, Stream size = 2, Block size = 4, "
            "Bytes Read = 2 - Native error: 10159");
}

TEST(ZEVFieldDefsTest, ListOperationsKeepOrderAndFindByNameOrId) {
  TABSFieldDefs defs;
  addFields(defs, {{"Id", aftAutoInc, 0}, {"Nom", aftString, 30}, {"CP", aftString, 5}});
  for (int i = 0; i < defs.Count(); ++i) defs.Items(i)->FObjectID = 10 + i;
  EXPECT_EQ(defs.GetFieldDefByName("nOM"), defs.Items(1));
  EXPECT_EQ(defs.GetFieldDefByName("Rue"), nullptr);
  EXPECT_EQ(defs.GetDefNumberByName("cp"), 2);
  EXPECT_EQ(defs.GetDefNumberByObjectId(11), 1);
  EXPECT_EQ(defs.GetDefByObjectId(99), nullptr);

  defs.Move(0, 2);  // Nom, CP, Id
  EXPECT_EQ(defs.Items(0)->FName, "Nom");
  EXPECT_EQ(defs.Items(2)->FName, "Id");
  auto ville = std::make_unique<TABSFieldDef>();
  ville->FName = "Ville";
  defs.Insert(1, std::move(ville));  // Nom, Ville, CP, Id
  EXPECT_EQ(defs.GetDefNumberByName("VILLE"), 1);
  defs.Delete(0);  // Ville, CP, Id
  ASSERT_EQ(defs.Count(), 3);
  EXPECT_EQ(defs.Items(0)->FName, "Ville");
  EXPECT_EQ(defs.Items(2)->FName, "Id");
  EXPECT_THROW(defs.Insert(0, std::make_unique<TABSMetaObjectDef>()), std::invalid_argument);
  EXPECT_THROW(defs.Items(3), std::out_of_range);
  defs.Clear();
  EXPECT_EQ(defs.Count(), 0);
}

}  // namespace
}  // namespace zev
