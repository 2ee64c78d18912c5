// TABSVariant: NULL handling, linked and copied data, conversions and Cast round trips,
// comparison (NULL rules, collation, partial keys, type promotion), the raw value comparison,
// stream records and the slot size check.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/tables/ZEVVariant.h"
#include "tests/engine/storage/EngineErrorOf.h"

namespace {

using namespace zev;

std::string withCode(const std::string& Message, int Code) {
  return Message + " - Native error: " + std::to_string(Code);
}

std::vector<uint8_t> bytesOf(const TABSVariant& V) {
  return std::vector<uint8_t>(V.Data(), V.Data() + V.DataSize());
}

TABSVariant ansi(const AnsiString& Text) {
  TABSVariant v;
  v.SetAsAnsiString(Text);
  return v;
}

TABSVariant wide(const std::u16string& Text) {
  TABSVariant v;
  v.SetAsWideString(Text);
  return v;
}

TABSVariant integer(int32_t Value) {
  TABSVariant v;
  v.SetAsInteger(Value);
  return v;
}

// --- NULL -------------------------------------------------------------------------------------

TEST(ZEVVariantNull, SetNullKeepsTheTypeClearForgetsItAndValuesAreRefused) {
  TABSVariant v;
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), bftUnknown);
  EXPECT_TRUE(TABSVariant(bftDate).IsNull());
  EXPECT_EQ(TABSVariant(bftDate).DataType(), bftDate);

  v.SetAsInteger(7);
  EXPECT_FALSE(v.IsNull());
  v.SetNull();
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), bftSignedInt32);
  EXPECT_EQ(v.DataSize(), 0);
  int code = 0;
  EXPECT_EQ(errorOf([&] { v.AsInteger(); }, &code), withCode("Value is Null", 30016));
  EXPECT_EQ(code, 30016);
  EXPECT_EQ(errorOf([&] { v.AsZEVDateTime(); }), withCode("Value is Null", 30016));
  EXPECT_EQ(v.AsAnsiString(), "");
  v.Cast(bftVarchar);  // NULL stays NULL, of the new type
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), bftVarchar);
  v.Clear();
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), bftUnknown);

  v.SetData(nullptr, 4, bftSignedInt32);  // no data is NULL
  EXPECT_TRUE(v.IsNull());
}

TEST(ZEVVariantNull, StringsOfSizeZeroOrOneAreEmptyNotNull) {
  for (int32_t size : {0, 1}) {
    TABSVariant v;
    v.SetData("", size, bftVarchar);
    EXPECT_FALSE(v.IsNull()) << size;
    EXPECT_EQ(v.AsAnsiString(), "") << size;
    EXPECT_EQ(v.Compare(ansi("")), cmprEqual) << size;
  }
}

TEST(ZEVVariantCompare, NullSidesFollowTheNullRules) {
  struct Case {
    bool LeftNull, RightNull, ThreeValued;
    TABSCompareResult Expected;
  };
  const Case cases[] = {
      {true, false, false, cmprLower},    {false, true, false, cmprGreater},
      {true, true, false, cmprEqual},     {true, false, true, cmprLeftNull},
      {false, true, true, cmprRightNull}, {true, true, true, cmprBothNull},
      {false, false, true, cmprEqual},
  };
  for (const Case& c : cases) {
    const TABSVariant left = c.LeftNull ? TABSVariant(bftSignedInt32) : integer(5);
    // A NULL of another type: the NULL rules come before any type check.
    const TABSVariant right = c.RightNull ? TABSVariant(bftBlob) : integer(5);
    EXPECT_EQ(left.Compare(right, c.ThreeValued), c.Expected)
        << c.LeftNull << c.RightNull << c.ThreeValued;
  }
}

// --- Linked and copied data -------------------------------------------------------------------

TEST(ZEVVariantData, LinkedDataFollowsItsSourceCopiedDataDoesNot) {
  uint8_t row[4];
  PutInt32LE(row, 1000);
  TABSVariant linked, copied;
  linked.SetData(row, 4, bftSignedInt32, false);
  copied.SetData(row, 4, bftSignedInt32, true);
  TABSVariant assignedLinked, assignedCopied;
  assignedLinked.Assign(linked, false);
  assignedCopied.Assign(linked, true);
  const TABSVariant constructed(linked);
  EXPECT_TRUE(linked.IsDataLinked());
  EXPECT_TRUE(assignedLinked.IsDataLinked());
  EXPECT_FALSE(copied.IsDataLinked());
  EXPECT_FALSE(assignedCopied.IsDataLinked());
  EXPECT_FALSE(constructed.IsDataLinked());

  PutInt32LE(row, -2);
  EXPECT_EQ(linked.AsInteger(), -2);
  EXPECT_EQ(assignedLinked.AsInteger(), -2);
  EXPECT_EQ(copied.AsInteger(), 1000);
  EXPECT_EQ(assignedCopied.AsInteger(), 1000);
  EXPECT_EQ(constructed.AsInteger(), 1000);

  linked.SetAsInteger(5);  // a setter takes owned bytes and leaves the row alone
  EXPECT_FALSE(linked.IsDataLinked());
  EXPECT_EQ(GetInt32LE(row), -2);

  TABSVariant self = ansi("xabc");  // a link into its own bytes would dangle: copied
  self.SetData(self.Data() + 1, 4, bftVarchar, false);
  EXPECT_FALSE(self.IsDataLinked());
  EXPECT_EQ(self.AsAnsiString(), "abc");
}

TEST(ZEVVariantData, CopyDataToAddressRefusesASmallerSlot) {
  const TABSVariant v = ansi("abc");
  ASSERT_EQ(v.DataSize(), 4);
  uint8_t slot[6] = {9, 9, 9, 9, 9, 9};
  int code = 0;
  EXPECT_EQ(errorOf([&] { v.CopyDataToAddress(slot, 3); }, &code),
            withCode("Buffer size exceeded", 20056));
  EXPECT_EQ(code, 20056);
  EXPECT_EQ(slot[0], 9);
  v.CopyDataToAddress(slot, 4);
  const uint8_t expected[] = {'a', 'b', 'c', 0, 9, 9};
  EXPECT_EQ(std::memcmp(slot, expected, sizeof expected), 0);
}

// --- Conversions ------------------------------------------------------------------------------

struct RoundTripCase {
  const char* Name;
  std::function<void(TABSVariant&)> Set;
  TABSBaseFieldType Type;
  const char* Text;
};

TEST(ZEVVariantCast, EveryTypeRoundTripsThroughBothStringTypes) {
  const RoundTripCase cases[] = {
      {"int8", [](TABSVariant& v) { v.SetAsShortint(-128); }, bftSignedInt8, "-128"},
      {"int16", [](TABSVariant& v) { v.SetAsSmallint(-32768); }, bftSignedInt16, "-32768"},
      {"int32", [](TABSVariant& v) { v.SetAsInteger(2147483647); }, bftSignedInt32, "2147483647"},
      {"int64", [](TABSVariant& v) { v.SetAsInt64(std::numeric_limits<int64_t>::min()); },
       bftSignedInt64, "-9223372036854775808"},
      {"uint8", [](TABSVariant& v) { v.SetAsByte(255); }, bftUnsignedInt8, "255"},
      {"uint16", [](TABSVariant& v) { v.SetAsWord(65535); }, bftUnsignedInt16, "65535"},
      {"uint32", [](TABSVariant& v) { v.SetAsCardinal(4294967295u); }, bftUnsignedInt32,
       "4294967295"},
      {"single", [](TABSVariant& v) { v.SetAsSingle(0.1f); }, bftSingle, "0.1"},
      {"double", [](TABSVariant& v) { v.SetAsDouble(0.1); }, bftDouble, "0.1"},
      {"double big", [](TABSVariant& v) { v.SetAsDouble(-1.2345678901234567e300); }, bftDouble,
       "-1.2345678901234567e+300"},
      {"extended", [](TABSVariant& v) { v.SetAsExtended(1.0 / 3); }, bftExtended,
       "0.3333333333333333"},
      {"currency", [](TABSVariant& v) { v.SetAsCurrency(12.34); }, bftCurrency, "12.34"},
      {"date first", [](TABSVariant& v) { v.SetAsZEVDate(1); }, bftDate, "0001-01-01"},
      {"date 1899", [](TABSVariant& v) { v.SetAsTDate(0.0); }, bftDate, "1899-12-30"},
      {"date leap", [](TABSVariant& v) { v.SetAsTDate(36526 + 59); }, bftDate, "2000-02-29"},
      {"time", [](TABSVariant& v) { v.SetAsZEVTime(45296789); }, bftTime, "12:34:56.789"},
      {"time whole", [](TABSVariant& v) { v.SetAsZEVTime(0); }, bftTime, "00:00:00"},
      {"datetime",
       [](TABSVariant& v) {
         v.SetAsZEVDateTime({730120, 86399001});
       },
       bftDateTime, "2000-01-01 23:59:59.001"},
      {"true", [](TABSVariant& v) { v.SetAsBoolean(true); }, bftLogical, "TRUE"},
      {"false", [](TABSVariant& v) { v.SetAsBoolean(false); }, bftLogical, "FALSE"},
      {"char", [](TABSVariant& v) { v.SetData("Caf\xE9", 5, bftChar); }, bftChar, "Caf\xE9"},
      {"wide", [](TABSVariant& v) { v.SetAsWideString(u"Caf\u00E9"); }, bftWideVarchar, "Caf\xE9"},
  };
  for (const RoundTripCase& c : cases) {
    for (TABSBaseFieldType via : {bftVarchar, bftWideVarchar}) {
      TABSVariant v;
      c.Set(v);
      ASSERT_EQ(v.DataType(), c.Type) << c.Name;
      const std::vector<uint8_t> original = bytesOf(v);
      v.Cast(via);
      EXPECT_EQ(v.DataType(), via) << c.Name;
      EXPECT_EQ(v.AsAnsiString(), c.Text) << c.Name;
      v.Cast(c.Type);
      EXPECT_EQ(v.DataType(), c.Type) << c.Name;
      EXPECT_EQ(bytesOf(v), original) << c.Name << " via " << int(via);
    }
  }
}

TEST(ZEVVariantCast, SameTypeIsExactAndStorageEncodingsAreTheFieldSlots) {
  uint8_t extended[10] = {1, 2, 3, 4, 5, 6, 7, 0x80, 0xFF, 0x3F};  // more than a double holds
  TABSVariant v;
  v.SetData(extended, 10, bftExtended);
  v.Cast(bftExtended);
  EXPECT_EQ(std::memcmp(v.Data(), extended, 10), 0);

  EXPECT_EQ(bytesOf(wide(u"A\u20AC")), (std::vector<uint8_t>{0x41, 0, 0xAC, 0x20, 0, 0}));
  EXPECT_EQ(bytesOf(ansi("ab")), (std::vector<uint8_t>{'a', 'b', 0}));
  TABSVariant b;
  b.SetAsBoolean(true);
  EXPECT_EQ(bytesOf(b), (std::vector<uint8_t>{1, 0}));
  b.SetData("\x00\x01", 2, bftLogical);  // any non-zero 16-bit value is true
  EXPECT_TRUE(b.AsBoolean());
  TABSVariant d;
  d.SetAsTDateTime(-1.25);  // before 1899: the day before, six hours in
  EXPECT_EQ(d.AsZEVDateTime().Date, 693593);
  EXPECT_EQ(d.AsZEVDateTime().Time, 21600000);
  EXPECT_DOUBLE_EQ(d.AsTDateTime(), -1.25);
}

TEST(ZEVVariantCast, NumbersWidenAndNarrowWithinRange) {
  TABSVariant v;
  v.SetAsShortint(-5);
  v.Cast(bftSignedInt64);
  EXPECT_EQ(v.AsInt64(), -5);
  v.Cast(bftDouble);
  EXPECT_EQ(v.AsDouble(), -5.0);
  v.Cast(bftSignedInt16);
  EXPECT_EQ(v.AsSmallint(), -5);

  v.SetAsCardinal(4294967295u);
  EXPECT_EQ(v.AsInt64(), 4294967295);
  v.SetAsDouble(2.5);
  EXPECT_EQ(v.AsInteger(), 3);  // to the nearest, halves away from zero
  v.SetAsDouble(-2.6);
  EXPECT_EQ(v.AsInt64(), -3);
  v.SetAsDouble(0.1);
  EXPECT_EQ(v.AsSingle(), 0.1f);
  v.SetAsSingle(0.1f);
  EXPECT_EQ(v.AsDouble(), static_cast<double>(0.1f));
  v.SetAsInteger(0);
  EXPECT_FALSE(v.AsBoolean());
  v.SetAsBoolean(true);
  EXPECT_EQ(v.AsByte(), 1);
  v.SetAsCurrency(99.5);
  EXPECT_EQ(v.AsExtended(), 99.5);

  struct OutOfRange {
    const char* Name;
    std::function<void(TABSVariant&)> Set;
    std::function<void(const TABSVariant&)> Get;
    const char* Message;
  };
  const OutOfRange cases[] = {
      {"300 to int8", [](TABSVariant& x) { x.SetAsInt64(300); },
       [](const TABSVariant& x) { x.AsShortint(); }, "Cannot convert '300' to SHORTINT"},
      {"-1 to uint32", [](TABSVariant& x) { x.SetAsInteger(-1); },
       [](const TABSVariant& x) { x.AsCardinal(); }, "Cannot convert '-1' to CARDINAL"},
      {"1e20 to int64", [](TABSVariant& x) { x.SetAsDouble(1e20); },
       [](const TABSVariant& x) { x.AsInt64(); }, "Cannot convert '1e+20' to LARGEINT"},
      {"65536 to word", [](TABSVariant& x) { x.SetAsCardinal(65536); },
       [](const TABSVariant& x) { x.AsWord(); }, "Cannot convert '65536' to WORD"},
      {"1e300 to single", [](TABSVariant& x) { x.SetAsDouble(1e300); },
       [](const TABSVariant& x) { x.AsSingle(); }, "Cannot convert '1e+300' to SINGLE"},
  };
  for (const OutOfRange& c : cases) {
    TABSVariant x;
    c.Set(x);
    EXPECT_EQ(errorOf([&] { c.Get(x); }), withCode(c.Message, 30048)) << c.Name;
  }
}

TEST(ZEVVariantCast, StringsBecomeNumbersDatesAndBooleans) {
  EXPECT_EQ(ansi(" 42 ").AsInteger(), 42);
  EXPECT_EQ(ansi("+7").AsSmallint(), 7);
  EXPECT_EQ(ansi("-9223372036854775808").AsInt64(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(ansi("1.5e3").AsDouble(), 1500.0);
  EXPECT_EQ(wide(u"-0.25").AsCurrency(), -0.25);
  EXPECT_EQ(ansi("2000-01-01").AsZEVDate(), 730120);
  EXPECT_EQ(ansi("2000-01-01").AsTDate(), 36526.0);
  EXPECT_EQ(ansi("12:34:56.7").AsZEVTime(), 45296700);
  EXPECT_DOUBLE_EQ(ansi("2000-01-01 06:00:00").AsTDateTime(), 36526.25);
  EXPECT_EQ(ansi("2000-01-01").AsZEVDateTime().Time, 0);
  EXPECT_TRUE(ansi("true").AsBoolean());
  EXPECT_FALSE(ansi("False").AsBoolean());
  EXPECT_TRUE(ansi("2").AsBoolean());
  EXPECT_FALSE(ansi("0").AsBoolean());

  TABSVariant d;
  d.SetAsTDate(36526.75);
  EXPECT_EQ(d.AsAnsiString(), "2000-01-01");
  d.SetAsTTime(0.75);
  EXPECT_EQ(d.AsAnsiString(), "18:00:00");
  d.Cast(bftDateTime);  // a time alone falls on day 0
  EXPECT_EQ(d.AsAnsiString(), "1899-12-30 18:00:00");
  d.SetAsDouble(36526.5);  // a float is a platform date-time
  EXPECT_EQ(d.AsZEVDate(), 730120);
  EXPECT_EQ(d.AsZEVTime(), 43200000);
}

TEST(ZEVVariantCast, MissingConversionsFailWithTheValueAndTheTargetType) {
  struct Case {
    const char* Name;
    std::function<void(TABSVariant&)> Set;
    std::function<void(TABSVariant&)> Convert;
    const char* Message;
  };
  const Case cases[] = {
      {"text to integer", [](TABSVariant& v) { v.SetAsAnsiString("12abc"); },
       [](TABSVariant& v) { v.AsInteger(); }, "Cannot convert '12abc' to INTEGER"},
      {"text to float", [](TABSVariant& v) { v.SetAsAnsiString("1,5"); },
       [](TABSVariant& v) { v.Cast(bftDouble); }, "Cannot convert '1,5' to FLOAT"},
      {"no leap day", [](TABSVariant& v) { v.SetAsAnsiString("2023-02-29"); },
       [](TABSVariant& v) { v.Cast(bftDate); }, "Cannot convert '2023-02-29' to DATE"},
      {"bad time", [](TABSVariant& v) { v.SetAsAnsiString("24:00:00"); },
       [](TABSVariant& v) { v.AsZEVTime(); }, "Cannot convert '24:00:00' to TIME"},
      {"bad boolean", [](TABSVariant& v) { v.SetAsAnsiString("yes"); },
       [](TABSVariant& v) { v.AsBoolean(); }, "Cannot convert 'yes' to LOGICAL"},
      {"bytes to date", [](TABSVariant& v) { v.SetData("\x01\xAB", 2, bftBytes); },
       [](TABSVariant& v) { v.Cast(bftDate); }, "Cannot convert '01AB' to DATE"},
      {"blob to number", [](TABSVariant& v) { v.SetData("\x00\x00\x00\x00\x00\x10", 6, bftBlob); },
       [](TABSVariant& v) { v.AsDouble(); }, "Cannot convert '000000000010' to FLOAT"},
      {"number to bytes", [](TABSVariant& v) { v.SetAsInteger(3); },
       [](TABSVariant& v) { v.Cast(bftVarBytes); }, "Cannot convert '3' to VARBYTES"},
      {"date to integer", [](TABSVariant& v) { v.SetAsZEVDate(1); },
       [](TABSVariant& v) { v.AsInteger(); }, "Cannot convert '0001-01-01' to INTEGER"},
      {"time to date", [](TABSVariant& v) { v.SetAsZEVTime(1); },
       [](TABSVariant& v) { v.Cast(bftDate); }, "Cannot convert '00:00:00.001' to DATE"},
  };
  for (const Case& c : cases) {
    TABSVariant v;
    c.Set(v);
    const std::vector<uint8_t> before = bytesOf(v);
    const TABSBaseFieldType type = v.DataType();
    int code = 0;
    EXPECT_EQ(errorOf([&] { c.Convert(v); }, &code), withCode(c.Message, 30048)) << c.Name;
    EXPECT_EQ(code, 30048) << c.Name;
    EXPECT_EQ(v.DataType(), type) << c.Name;  // a failed Cast changes nothing
    EXPECT_EQ(bytesOf(v), before) << c.Name;
  }
}

// --- Compare ----------------------------------------------------------------------------------

TEST(ZEVVariantCompare, StringsByCollationWithCaseAndPartialKeys) {
  EXPECT_EQ(ansi("abc").Compare(ansi("ABD"), false, true), cmprLower);
  EXPECT_EQ(ansi("abc").Compare(ansi("ABC"), false, true), cmprEqual);
  EXPECT_NE(ansi("abc").Compare(ansi("ABC")), cmprEqual);
  EXPECT_EQ(ansi("b").Compare(ansi("ab")), cmprGreater);  // not by length

  EXPECT_EQ(ansi("abc").Compare(ansi("ab"), false, false, true), cmprEqual);
  EXPECT_EQ(ansi("ab").Compare(ansi("abc"), false, false, true), cmprLower);
  EXPECT_EQ(ansi("abc").Compare(ansi("ab")), cmprGreater);
  EXPECT_EQ(ansi("ABX").Compare(ansi("ab"), false, true, true), cmprEqual);
  EXPECT_EQ(wide(u"abc").Compare(wide(u"ab"), false, false, true), cmprEqual);

  // Mixed widths compare as wide strings.
  EXPECT_EQ(wide(u"abc").Compare(ansi("ABD"), false, true), cmprLower);
  EXPECT_EQ(ansi("Caf\xE9").Compare(wide(u"Caf\u00E9")), cmprEqual);
}

TEST(ZEVVariantCompare, DifferentTypesMeetInACommonType) {
  TABSVariant minusOne, maxCardinal, half, date, dateTime, flag, money;
  minusOne.SetAsShortint(-1);
  maxCardinal.SetAsCardinal(4294967295u);
  half.SetAsDouble(2.5);
  date.SetAsZEVDate(730120);
  dateTime.SetAsZEVDateTime({730120, 0});
  flag.SetAsBoolean(true);
  money.SetAsCurrency(2.5);

  EXPECT_EQ(minusOne.Compare(maxCardinal), cmprLower);  // signed 64-bit, not unsigned 32
  EXPECT_EQ(maxCardinal.Compare(minusOne), cmprGreater);
  EXPECT_EQ(integer(3).Compare(half), cmprGreater);
  EXPECT_EQ(integer(2).Compare(half), cmprLower);
  EXPECT_EQ(half.Compare(money), cmprEqual);
  EXPECT_EQ(date.Compare(dateTime), cmprEqual);
  dateTime.SetAsZEVDateTime({730120, 1});
  EXPECT_EQ(date.Compare(dateTime), cmprLower);
  EXPECT_EQ(ansi("10").Compare(integer(9)), cmprGreater);  // as numbers, not as text
  EXPECT_EQ(integer(9).Compare(ansi("10")), cmprLower);
  EXPECT_EQ(ansi("2000-01-01").Compare(date), cmprEqual);
  EXPECT_EQ(ansi("TRUE").Compare(flag), cmprEqual);
}

TEST(ZEVVariantCompare, IncompatibleTypesFail) {
  TABSVariant date, flag, bytes, blob;
  date.SetAsZEVDate(1);
  flag.SetAsBoolean(false);
  bytes.SetData("ab", 2, bftBytes);
  blob.SetData("\0\0\0\0\0\0", 6, bftBlob);
  int code = 0;
  EXPECT_EQ(errorOf([&] { integer(1).Compare(date); }, &code),
            withCode("Cannot compare Incompatible DataTypes: 'INTEGER' and 'DATE'", 30044));
  EXPECT_EQ(code, 30044);
  EXPECT_EQ(errorOf([&] { flag.Compare(integer(0)); }),
            withCode("Cannot compare Incompatible DataTypes: 'LOGICAL' and 'INTEGER'", 30044));
  EXPECT_EQ(errorOf([&] { bytes.Compare(ansi("ab")); }),
            withCode("Cannot compare Incompatible DataTypes: 'BYTES' and 'STRING'", 30044));
  EXPECT_EQ(errorOf([&] { blob.Compare(blob); }, &code),
            withCode("Unknown DataType: 'BLOB'", 30047));
  EXPECT_EQ(errorOf([&] { ansi("x").Compare(integer(1)); }, &code),
            withCode("Cannot convert 'x' to LARGEINT", 30048));
}

TEST(ZEVVariantCompareValues, RawValuesByStorageType) {
  struct Case {
    const char* Name;
    TABSBaseFieldType Type;
    std::vector<uint8_t> A, B;
    int32_t MaxSize;
    bool CaseInsensitive;
    int32_t CompareLength;
    int Expected;
  };
  const Case cases[] = {
      // A slot filled without a terminator: nothing past MaxSize is read.
      {"full slots",
       bftVarchar,
       {'a', 'b', 'c', 'd', 'X'},
       {'a', 'b', 'c', 'd', 'Y'},
       4,
       false,
       -1,
       0},
      {"terminated", bftChar, {'a', 'b', 0, 'X'}, {'a', 'b', 0, 'Y'}, 4, false, -1, 0},
      {"prefix", bftVarchar, {'a', 'b', 'X', 0}, {'a', 'b', 'Y', 0}, 4, false, 2, 0},
      {"case", bftVarchar, {'a', 'b', 'c', 0}, {'A', 'B', 'D', 0}, 4, true, -1, -1},
      {"bytes as text", bftBytes, {'b', 0, 1}, {'a', 'z', 2}, 3, false, -1, 1},
      {"wide full",
       bftWideVarchar,
       {'a', 0, 'b', 0, 'X', 0},
       {'a', 0, 'b', 0, 'Y', 0},
       4,
       false,
       -1,
       0},
      {"wide", bftWideChar, {'a', 0, 0, 0}, {'b', 0, 0, 0}, 4, false, -1, -1},
      {"varbytes unsigned", bftVarBytes, {0x80, 0}, {0x7F, 0xFF}, 2, false, -1, 1},
      {"int32 signed", bftSignedInt32, {0xFF, 0xFF, 0xFF, 0xFF}, {1, 0, 0, 0}, 0, false, -1, -1},
      {"uint32 unsigned",
       bftUnsignedInt32,
       {0xFF, 0xFF, 0xFF, 0xFF},
       {1, 0, 0, 0},
       0,
       false,
       -1,
       1},
      {"int8 signed", bftSignedInt8, {0x80}, {0x7F}, 1, false, -1, -1},
      {"uint16", bftUnsignedInt16, {0x00, 0x80}, {0xFF, 0x7F}, 2, false, -1, 1},
      {"int64",
       bftSignedInt64,
       {0, 0, 0, 0, 0, 0, 0, 0x80},
       {0, 0, 0, 0, 0, 0, 0, 0},
       8,
       false,
       -1,
       -1},
      {"date signed", bftDate, {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0, 0, 0}, 4, false, -1, -1},
      {"datetime date first",
       bftDateTime,
       {2, 0, 0, 0, 0, 0, 0, 0},
       {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F},
       8,
       false,
       -1,
       1},
      {"datetime then time",
       bftDateTime,
       {1, 0, 0, 0, 5, 0, 0, 0},
       {1, 0, 0, 0, 6, 0, 0, 0},
       8,
       false,
       -1,
       -1},
      {"logical any non-zero", bftLogical, {2, 0}, {0, 1}, 2, false, -1, 0},
      {"logical false first", bftLogical, {0, 0}, {0, 1}, 2, false, -1, -1},
      {"single", bftSingle, {0, 0, 0x80, 0xBF}, {0, 0, 0, 0}, 4, false, -1, -1},  // -1.0 vs 0
      {"extended",
       bftExtended,
       {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F},
       {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x40},
       10,
       false,
       -1,
       -1},  // 1 vs 2
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompareValues(c.Type, c.A.data(), c.B.data(), c.MaxSize, c.CaseInsensitive,
                            c.CompareLength),
              c.Expected)
        << c.Name;

  const uint8_t slot[10] = {};
  EXPECT_EQ(errorOf([&] { CompareValues(bftClob, slot, slot, 10, false); }),
            withCode("Unknown DataType: 'MEMO'", 30047));
  EXPECT_EQ(errorOf([&] { CompareValues(bftUnknown, slot, slot, 10, false); }),
            withCode("Unknown DataType: 'Unknown'", 30047));
}

// --- Streams ----------------------------------------------------------------------------------

constexpr TABSVariant::TStreamCodes kCodes{10179, 10180, 10181, 10182};
constexpr TABSVariant::TStreamCodes kReadCodes{10183, 10184, 10185, 10186};

std::vector<uint8_t> streamBytes(TABSMemoryStream& Stream) {
  return std::vector<uint8_t>(Stream.Memory(), Stream.Memory() + Stream.GetSize());
}

TEST(ZEVVariantStream, RecordsHoldTypeNullFlagSizeAndBytes) {
  TABSMemoryStream stream;
  integer(0x01020304).SaveToStream(stream, kCodes);
  EXPECT_EQ(streamBytes(stream), (std::vector<uint8_t>{7, 0, 4, 0, 0, 0, 0x04, 0x03, 0x02, 0x01}));

  TABSMemoryStream nullStream;
  TABSVariant(bftDate).SaveToStream(nullStream, kCodes);
  EXPECT_EQ(streamBytes(nullStream), (std::vector<uint8_t>{15, 0xFF}));
}

TEST(ZEVVariantStream, ValuesRoundTripAndLoadingReplacesTheContent) {
  TABSVariant dateTime, extended;
  dateTime.SetAsZEVDateTime({730120, 123});
  extended.SetAsExtended(-2.5);
  const TABSVariant values[] = {TABSVariant(bftDate),
                                integer(-7),
                                ansi("Caf\xE9"),
                                wide(u"\u20AC"),
                                dateTime,
                                extended,
                                ansi("")};
  TABSMemoryStream stream;
  for (const TABSVariant& v : values) v.SaveToStream(stream, kCodes);
  stream.SetPosition(0);
  for (const TABSVariant& v : values) {
    TABSVariant loaded = ansi("previous content");
    loaded.LoadFromStream(stream, kReadCodes);
    EXPECT_EQ(loaded.DataType(), v.DataType());
    EXPECT_EQ(loaded.IsNull(), v.IsNull());
    EXPECT_EQ(bytesOf(loaded), bytesOf(v));
    EXPECT_FALSE(loaded.IsDataLinked());
  }
  EXPECT_EQ(stream.GetPosition(), stream.GetSize());
}

TEST(ZEVVariantStream, ATruncatedRecordFailsWithTheCodeOfItsItem) {
  struct Case {
    std::vector<uint8_t> Bytes;
    int Code;
  };
  const Case cases[] = {
      {{}, 10183}, {{7}, 10184}, {{7, 0, 4, 0}, 10185}, {{7, 0, 4, 0, 0, 0, 1, 2}, 10186}};
  for (const Case& c : cases) {
    TABSMemoryStream stream;
    stream.WriteBuffer(c.Bytes.data(), static_cast<int64_t>(c.Bytes.size()));
    stream.SetPosition(0);
    TABSVariant v = integer(5);
    int code = 0;
    EXPECT_NE(errorOf([&] { v.LoadFromStream(stream, kReadCodes); }, &code), "");
    EXPECT_EQ(code, c.Code) << c.Bytes.size();
    EXPECT_EQ(v.AsInteger(), 5);  // unchanged
  }
}

}  // namespace
