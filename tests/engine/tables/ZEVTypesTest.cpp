// The type table's lookups and their first-match defaults, the data sizes of the storage
// types, and the date, time and 80-bit extended encodings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/tables/ZEVTypes.h"
#include "tests/engine/storage/EngineErrorOf.h"

namespace {

using namespace zev;

std::string withCode(const std::string& Message, int Code) {
  return Message + " - Native error: " + std::to_string(Code);
}

TEST(ZEVTypesTable, HasItsRowsAndLookupsTakeTheFirstMatch) {
  EXPECT_EQ(TypeTableSize(), 62);

  struct FieldCase {
    TFieldType Field;
    TABSAdvancedFieldType Advanced;
  };
  for (const FieldCase& c : std::vector<FieldCase>{{ftWideString, aftWideChar},
                                                   {ftFloat, aftDouble},
                                                   {ftBCD, aftDouble},
                                                   {ftLargeint, aftLargeint},
                                                   {ftAutoInc, aftAutoInc},
                                                   {ftSmallint, aftSmallint},
                                                   {ftWord, aftWord},
                                                   {ftOraClob, aftBlob}})
    EXPECT_EQ(FieldTypeToAdvancedFieldType(c.Field), c.Advanced) << int(c.Field);

  struct BaseCase {
    TABSBaseFieldType Base;
    TABSAdvancedFieldType Advanced;
  };
  for (const BaseCase& c : std::vector<BaseCase>{{bftVarchar, aftString},
                                                 {bftSignedInt32, aftInteger},
                                                 {bftSignedInt8, aftShortint},
                                                 {bftUnsignedInt32, aftCardinal},
                                                 {bftDouble, aftDouble},
                                                 {bftDateTime, aftDateTime},
                                                 {bftChar, aftChar},
                                                 {bftClob, aftMemo},
                                                 {bftBlob, aftBlob}})
    EXPECT_EQ(BaseFieldTypeToAdvancedFieldType(c.Base), c.Advanced) << int(c.Base);

  EXPECT_EQ(AdvancedFieldTypeToBaseFieldType(aftGuid), bftChar);
  EXPECT_EQ(AdvancedFieldTypeToBaseFieldType(aftAutoInc), bftSignedInt32);
  EXPECT_EQ(AdvancedFieldTypeToBaseFieldType(aftTimeStamp), bftDateTime);
  EXPECT_EQ(AdvancedFieldTypeToBaseFieldType(aftFormattedMemo), bftClob);
  EXPECT_EQ(AdvancedFieldTypeToFieldType(aftCardinal), ftLargeint);
  EXPECT_EQ(AdvancedFieldTypeToFieldType(aftAutoIncLargeint), ftLargeint);
  EXPECT_EQ(AdvancedFieldTypeToFieldType(aftDouble), ftFloat);
  EXPECT_EQ(AdvancedFieldTypeToFieldType(aftUnknown), ftUnknown);
  EXPECT_EQ(BaseFieldTypeName(bftDouble), "FLOAT");
  EXPECT_EQ(BaseFieldTypeName(bftSignedInt16), "SMALLINT");
  EXPECT_EQ(AdvancedFieldTypeName(aftBoolean), "LOGICAL");
  EXPECT_EQ(BaseFieldTypeName(bftBFile), "Unknown");
}

TEST(ZEVTypesTable, LookupsWithoutARowFailWithTheirCodes) {
  int code = 0;
  EXPECT_EQ(errorOf([] { AdvancedFieldTypeToBaseFieldType(aftUnknown); }, &code),
            withCode("Unsupported data type '0'", 30007));
  EXPECT_EQ(code, 30007);
  EXPECT_EQ(errorOf([] { BaseFieldTypeToAdvancedFieldType(bftBFile); }, &code),
            withCode("Unsupported data type '25'", 30008));
  EXPECT_EQ(code, 30008);
  EXPECT_EQ(errorOf([] { FieldTypeToAdvancedFieldType(ftCursor); }, &code),
            withCode("Unknown DataType: '22'", 30289));
  EXPECT_EQ(code, 30289);
  EXPECT_EQ(errorOf([] { GetMemoryDataSize(bftBFile, 0); }, &code),
            withCode("Unknown DataType: 'Unknown'", 30050));
  EXPECT_EQ(code, 30050);
  EXPECT_EQ(errorOf([] { GetDiskDataSize(bftUnknown, 4); }, &code),
            withCode("Unknown DataType: 'Unknown'", 30050));
}

TEST(ZEVTypesSizes, MemoryAndDiskSizesPerStorageType) {
  struct Case {
    TABSBaseFieldType Type;
    int32_t FieldSize, Memory, Disk;
  };
  const Case cases[] = {
      {bftVarchar, 30, 31, 31},  {bftChar, 5, 6, 6},        {bftWideVarchar, 30, 62, 62},
      {bftWideChar, 1, 4, 4},    {bftSignedInt8, 0, 1, 1},  {bftUnsignedInt16, 0, 2, 2},
      {bftSignedInt32, 0, 4, 4}, {bftSignedInt64, 0, 8, 8}, {bftSingle, 0, 4, 4},
      {bftExtended, 0, 10, 10},  {bftDate, 0, 4, 4},        {bftDateTime, 0, 8, 8},
      {bftLogical, 0, 2, 2},     {bftCurrency, 0, 8, 8},    {bftBytes, 16, 17, 17},
      {bftBlob, 0, 10, 6},       {bftClob, 100, 10, 6},     {bftWideClob, 0, 10, 6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetMemoryDataSize(c.Type, c.FieldSize), c.Memory) << int(c.Type);
    EXPECT_EQ(GetDiskDataSize(c.Type, c.FieldSize), c.Disk) << int(c.Type);
  }
}

TEST(ZEVTypesDate, DayNumbersCountFromTheFirstOfJanuaryOfYearOne) {
  EXPECT_EQ(DateTimeToZEVDate(0.0), 693594);               // 30 December 1899
  EXPECT_EQ(DateTimeToZEVDate(-693593.0), 1);              // 1 January 0001
  EXPECT_EQ(DateTimeToZEVDate(45292.75), 693594 + 45292);  // the time does not count
  EXPECT_EQ(ZEVDateToDateTime(1), -693593.0);
  EXPECT_EQ(ZEVDateToDateTime(693594 + 45292), 45292.0);
}

TEST(ZEVTypesTime, MillisecondsAreRoundedToTheNearest) {
  const double ms = 1.0 / kMSecsPerDay;
  EXPECT_EQ(DateTimeToZEVTime(0.5), 43200000);
  EXPECT_EQ(DateTimeToZEVTime(10.0 + 0.6 * ms), 1);
  EXPECT_EQ(DateTimeToZEVTime(0.4 * ms), 0);
  EXPECT_EQ(DateTimeToZEVTime(-1.25), 21600000);  // before 1899: the positive fraction
  EXPECT_DOUBLE_EQ(ZEVTimeToDateTime(21600000), 0.25);

  const TABSDateTime before = DateTimeToZEVDateTime(-1.25);
  EXPECT_EQ(before.Date, 693593);
  EXPECT_DOUBLE_EQ(ZEVDateTimeToDateTime(before), -1.25);
  EXPECT_DOUBLE_EQ(ZEVDateTimeToDateTime(DateTimeToZEVDateTime(45292.5)), 45292.5);

  uint8_t bytes[TABSDateTime::Size];
  TABSDateTime{0x01020304, -2}.Store(bytes);
  const uint8_t expected[] = {0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
  TABSDateTime loaded;
  loaded.Load(bytes);
  EXPECT_EQ(loaded.Date, 0x01020304);
  EXPECT_EQ(loaded.Time, -2);
}

TEST(ZEVTypesExtended, DoublesRoundTripExactly) {
  const double values[] = {0.0,
                           -0.0,
                           1.0,
                           -2.5,
                           0.1,
                           1e300,
                           -1e-300,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()};
  for (double v : values) {
    uint8_t extended[10];
    DoubleToExtended(v, extended);
    const double back = ExtendedToDouble(extended);
    EXPECT_EQ(back, v);
    EXPECT_EQ(std::signbit(back), std::signbit(v));
  }
  uint8_t extended[10];
  DoubleToExtended(std::nan(""), extended);
  EXPECT_TRUE(std::isnan(ExtendedToDouble(extended)));

  // 1.0: explicit integer bit, exponent 16383; -2.5: sign, exponent 16384, mantissa 1.01b.
  const uint8_t one[] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  DoubleToExtended(1.0, extended);
  EXPECT_EQ(std::memcmp(extended, one, 10), 0);
  const uint8_t minusTwoAndAHalf[] = {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0};
  DoubleToExtended(-2.5, extended);
  EXPECT_EQ(std::memcmp(extended, minusTwoAndAHalf, 10), 0);
}

}  // namespace
