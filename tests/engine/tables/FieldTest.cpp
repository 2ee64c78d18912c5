// Field objects: their buffer forms per class, the conversions between the typed accessors,
// NULL reads, the conversion errors and their texts, the factory, and the definition
// collections.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/tables/DBError.h"
#include "engine/tables/DataDefs.h"
#include "engine/tables/DataSet.h"
#include "engine/tables/Field.h"

namespace {

using namespace zev;

// A dataset of one row with a single column of the given type; the record buffer is a NULL
// flag byte then the field's buffer form.
class TOneFieldDataSet : public TDataSet {
 public:
  TOneFieldDataSet(TFieldType Type, int32_t Size) : TDataSet(nullptr), FType(Type), FSize(Size) {
    SetName("Tbl");
  }
  ~TOneFieldDataSet() override { Close(); }

  TField& Field() { return *Fields()[0]; }
  // The bytes of the field in the current buffer.
  std::vector<uint8_t> Bytes() {
    const uint8_t* p = ActiveBuffer();
    return std::vector<uint8_t>(p + 1, p + 1 + Field().DataSize());
  }

  bool GetFieldData(const TField& Field, void* Buffer) override {
    const uint8_t* p = ActiveBuffer();
    if (!p || p[0] == 0) return false;
    if (Buffer) std::memcpy(Buffer, p + 1, Field.DataSize());
    return true;
  }
  void SetFieldData(TField& Field, const void* Buffer) override {
    uint8_t* p = ActiveBuffer();
    p[0] = Buffer ? 1 : 0;
    if (Buffer) std::memcpy(p + 1, Buffer, Field.DataSize());
  }

 protected:
  void InternalOpen() override {
    FOpen = true;
    InternalInitFieldDefs();
    FRow.assign(RecordBufferSize(), 0);
    FPos = -1;
  }
  void InternalClose() override { FOpen = false; }
  bool IsCursorOpen() const override { return FOpen; }
  void InternalInitFieldDefs() override {
    FieldDefs().Clear();
    FieldDefs().Add("Col", FType, FSize, false);
    FDataSize = CreateField(*this, FieldDefs().Items(0))->DataSize();
  }
  int32_t RecordBufferSize() const override { return 1 + FDataSize; }
  TGetResult GetRecord(uint8_t* Buffer, TGetMode Mode, bool) override {
    if (Mode == gmNext) ++FPos;
    if (Mode == gmPrior) --FPos;
    if (FPos < 0) return grBOF;
    if (FPos > 0) return grEOF;
    std::memcpy(Buffer, FRow.data(), FRow.size());
    return grOK;
  }
  void InternalFirst() override { FPos = -1; }
  void InternalLast() override { FPos = 1; }
  void InternalInitRecord(uint8_t* Buffer) override { std::memset(Buffer, 0, FRow.size()); }
  void InternalEdit() override {}
  void InternalPost() override { std::memcpy(FRow.data(), RecordBuffer(), FRow.size()); }
  void InternalCancel() override {}
  void InternalDelete() override {}
  void InternalSetToRecord(const uint8_t*) override { FPos = 0; }
  TBookmark GetBookmarkData(const uint8_t*) override { return {0}; }
  void InternalGotoBookmark(const TBookmark&) override { FPos = 0; }

 private:
  TFieldType FType;
  int32_t FSize;
  int32_t FDataSize = 0;
  std::vector<uint8_t> FRow;
  int FPos = -1;
  bool FOpen = false;
};

// An open dataset on one row whose column is NULL, in edit state.
std::unique_ptr<TOneFieldDataSet> editing(TFieldType Type, int32_t Size = 0) {
  auto ds = std::make_unique<TOneFieldDataSet>(Type, Size);
  ds->Open();
  ds->Edit();
  return ds;
}

std::string errorOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "<no EDatabaseError>";
}

std::vector<uint8_t> le32(int32_t v) {
  std::vector<uint8_t> b(4);
  PutInt32LE(b.data(), v);
  return b;
}
std::vector<uint8_t> leDouble(double v) {
  std::vector<uint8_t> b(8);
  PutDoubleLE(b.data(), v);
  return b;
}

struct BufferCase {
  const char* Name;
  TFieldType Type;
  int32_t Size;
  std::function<void(TField&)> Write;
  std::vector<uint8_t> Expected;
};

TEST(FieldBuffer, FormsPerFieldClass) {
  std::vector<uint8_t> text = {'a', 'b', 'c', 0, 0, 0};
  std::vector<uint8_t> wide = {0xE9, 0, 'x', 0, 0, 0, 0, 0};
  const BufferCase cases[] = {
      {"string", ftString, 5, [](TField& f) { f.SetAsString("abc"); }, text},
      {"wide string", ftWideString, 3, [](TField& f) { f.SetAsString("\xE9x"); }, wide},
      {"smallint", ftSmallint, 0, [](TField& f) { f.SetAsInteger(-2); }, {0xFE, 0xFF}},
      {"word", ftWord, 0, [](TField& f) { f.SetAsInteger(65535); }, {0xFF, 0xFF}},
      {"integer", ftInteger, 0, [](TField& f) { f.SetAsInteger(0x01020304); }, le32(0x01020304)},
      {"autoinc", ftAutoInc, 0, [](TField& f) { f.SetAsInteger(7); }, le32(7)},
      {"largeint",
       ftLargeint,
       0,
       [](TField& f) { f.SetAsLargeInt(0x0102030405060708LL); },
       {8, 7, 6, 5, 4, 3, 2, 1}},
      {"float", ftFloat, 0, [](TField& f) { f.SetAsFloat(1.5); }, leDouble(1.5)},
      {"currency", ftCurrency, 0, [](TField& f) { f.SetAsFloat(-2.25); }, leDouble(-2.25)},
      {"boolean", ftBoolean, 0, [](TField& f) { f.SetAsBoolean(true); }, {1, 0}},
      {"date 30 Dec 1899", ftDate, 0, [](TField& f) { f.SetAsDateTime(0); }, le32(693594)},
      {"date drops the time", ftDate, 0, [](TField& f) { f.SetAsDateTime(1.75); }, le32(693595)},
      {"time 12:00", ftTime, 0, [](TField& f) { f.SetAsDateTime(0.5); }, le32(43200000)},
      {"time of a dated value", ftTime, 0, [](TField& f) { f.SetAsDateTime(45000.25); },
       le32(21600000)},
      {"date-time", ftDateTime, 0, [](TField& f) { f.SetAsDateTime(1.5); },
       leDouble(693595.5 * 86400000.0)},
      {"timestamp", ftTimeStamp, 0, [](TField& f) { f.SetAsDateTime(0); },
       leDouble(693594.0 * 86400000.0)},
  };
  for (const BufferCase& c : cases) {
    auto ds = editing(c.Type, c.Size);
    c.Write(ds->Field());
    EXPECT_EQ(ds->Bytes(), c.Expected) << c.Name;
    EXPECT_FALSE(ds->Field().IsNull()) << c.Name;
  }
}

TEST(FieldBuffer, ValuesReadBackFromTheBufferForms) {
  auto date = editing(ftDate);
  date->Field().SetAsDateTime(45292);  // 1 January 2024
  EXPECT_EQ(date->Field().AsDateTime(), 45292);
  EXPECT_EQ(date->Field().AsString(), "2024-01-01");
  auto time = editing(ftTime);
  time->Field().SetAsDateTime(0.5);
  EXPECT_EQ(time->Field().AsDateTime(), 0.5);
  EXPECT_EQ(time->Field().AsString(), "12:00:00");
  auto stamp = editing(ftDateTime);
  stamp->Field().SetAsString("1899-12-30 06:00:00");
  EXPECT_DOUBLE_EQ(stamp->Field().AsDateTime(), 0.25);
  stamp->Field().SetAsDateTime(-1.25);  // 29 Dec 1899 06:00 in the platform's form
  EXPECT_EQ(stamp->Field().AsString(), "1899-12-29 06:00:00");
}

struct ConversionCase {
  const char* Name;
  TFieldType Type;
  int32_t Size;
  std::function<void(TField&)> Write;
  std::function<void(const TField&)> Check;
};

TEST(FieldConversion, BetweenTheTypedAccessors) {
  const ConversionCase cases[] = {
      {"string from integer", ftString, 20, [](TField& f) { f.SetAsInteger(-42); },
       [](const TField& f) {
         EXPECT_EQ(f.AsString(), "-42");
         EXPECT_EQ(f.AsInteger(), -42);
         EXPECT_EQ(f.AsFloat(), -42.0);
       }},
      {"string from float", ftString, 20, [](TField& f) { f.SetAsFloat(3.25); },
       [](const TField& f) {
         EXPECT_EQ(f.AsString(), "3.25");
         EXPECT_EQ(f.AsFloat(), 3.25);
       }},
      {"string from boolean", ftString, 20, [](TField& f) { f.SetAsBoolean(true); },
       [](const TField& f) {
         EXPECT_EQ(f.AsString(), "T");
         EXPECT_TRUE(f.AsBoolean());
       }},
      {"string ansi", ftString, 20, [](TField& f) { f.SetAsAnsiString("Matière\xE9"); },
       [](const TField& f) { EXPECT_EQ(f.AsAnsiString(), "Matière\xE9"); }},
      {"integer from text", ftInteger, 0, [](TField& f) { f.SetAsString(" 123 "); },
       [](const TField& f) {
         EXPECT_EQ(f.AsInteger(), 123);
         EXPECT_EQ(f.AsString(), "123");
         EXPECT_EQ(f.AsFloat(), 123.0);
         EXPECT_TRUE(f.AsBoolean());
       }},
      {"integer from float rounds", ftInteger, 0, [](TField& f) { f.SetAsFloat(2.6); },
       [](const TField& f) { EXPECT_EQ(f.AsInteger(), 3); }},
      {"largeint from text", ftLargeint, 0, [](TField& f) { f.SetAsString("9000000000"); },
       [](const TField& f) { EXPECT_EQ(f.AsLargeInt(), 9000000000LL); }},
      {"float from text", ftFloat, 0, [](TField& f) { f.SetAsString("-1.5e3"); },
       [](const TField& f) {
         EXPECT_EQ(f.AsFloat(), -1500.0);
         EXPECT_EQ(f.AsString(), "-1500");
         EXPECT_EQ(f.AsInteger(), -1500);
       }},
      {"float text uses a dot", ftFloat, 0, [](TField& f) { f.SetAsFloat(0.1); },
       [](const TField& f) { EXPECT_EQ(f.AsString(), "0.1"); }},
      {"boolean from text", ftBoolean, 0, [](TField& f) { f.SetAsString("false"); },
       [](const TField& f) {
         EXPECT_FALSE(f.AsBoolean());
         EXPECT_EQ(f.AsString(), "False");
         EXPECT_EQ(f.AsInteger(), 0);
       }},
      {"boolean from integer", ftBoolean, 0, [](TField& f) { f.SetAsInteger(5); },
       [](const TField& f) { EXPECT_EQ(f.AsString(), "True"); }},
      {"empty text clears a number", ftInteger, 0, [](TField& f) { f.SetAsString(""); },
       [](const TField& f) { EXPECT_TRUE(f.IsNull()); }},
      {"wide string through the code page", ftWideString, 10,
       [](TField& f) { f.SetAsString("\x80 \xE9t\xE9"); },
       [](const TField& f) { EXPECT_EQ(f.AsString(), "\x80 \xE9t\xE9"); }},
      {"date-time text", ftDateTime, 0, [](TField& f) { f.SetAsString("2024-02-29 13:45:10"); },
       [](const TField& f) { EXPECT_EQ(f.AsString(), "2024-02-29 13:45:10"); }},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto ds = editing(c.Type, c.Size);
    c.Write(ds->Field());
    c.Check(ds->Field());
  }
}

TEST(FieldConversion, NullReadsAsZeroEmptyAndFalse) {
  for (TFieldType type : {ftString, ftWideString, ftSmallint, ftInteger, ftLargeint, ftFloat,
                          ftBoolean, ftDate, ftTime, ftDateTime}) {
    auto ds = editing(type, 8);
    TField& f = ds->Field();
    const bool dated = type == ftDate || type == ftTime || type == ftDateTime;
    if (dated)
      f.SetAsDateTime(1.5);
    else
      f.SetAsString("1");
    EXPECT_FALSE(f.IsNull()) << int(type);
    f.Clear();
    EXPECT_TRUE(f.IsNull()) << int(type);
    EXPECT_EQ(f.AsString(), "") << int(type);
    if (!dated) {
      EXPECT_EQ(f.AsInteger(), 0) << int(type);
      EXPECT_FALSE(f.AsBoolean()) << int(type);
      EXPECT_EQ(f.AsFloat(), 0.0) << int(type);
    }
  }
}

struct ErrorCase {
  const char* Name;
  TFieldType Type;
  int32_t Size;
  std::function<void(TField&)> Action;
  const char* Message;
};

TEST(FieldConversion, ErrorsAndTheirTexts) {
  const ErrorCase cases[] = {
      {"not an integer", ftInteger, 0, [](TField& f) { f.SetAsString("12a"); },
       "'12a' is not a valid integer value"},
      {"integer text past int64", ftLargeint, 0,
       [](TField& f) { f.SetAsString("99999999999999999999"); },
       "'99999999999999999999' is not a valid integer value"},
      {"not a float", ftFloat, 0, [](TField& f) { f.SetAsString("1,5"); },
       "'1,5' is not a valid floating point value"},
      {"string read as integer", ftString, 10,
       [](TField& f) {
         f.SetAsString("abc");
         (void)f.AsInteger();
       },
       "'abc' is not a valid integer value"},
      {"smallint range", ftSmallint, 0, [](TField& f) { f.SetAsInteger(40000); },
       "40000 is not a valid value for field 'Col'. The allowed range is -32768 to 32767"},
      {"word range", ftWord, 0, [](TField& f) { f.SetAsInteger(-1); },
       "-1 is not a valid value for field 'Col'. The allowed range is 0 to 65535"},
      {"integer range from largeint", ftInteger, 0, [](TField& f) { f.SetAsLargeInt(1LL << 31); },
       "2147483648 is not a valid value for field 'Col'. The allowed range is -2147483648 to "
       "2147483647"},
      {"largeint read as integer", ftLargeint, 0,
       [](TField& f) {
         f.SetAsLargeInt(-(1LL << 40));
         (void)f.AsInteger();
       },
       "-1099511627776 is not a valid value for field 'Col'. The allowed range is -2147483648 "
       "to 2147483647"},
      {"not a boolean", ftBoolean, 0, [](TField& f) { f.SetAsString("peut-être"); },
       "'peut-être' is not a valid boolean value"},
      {"not a date", ftDate, 0, [](TField& f) { f.SetAsString("2023-02-29"); },
       "'2023-02-29' is not a valid date and time"},
      {"blob as string", ftBlob, 0, [](TField& f) { (void)f.AsString(); },
       "Field 'Col' of BLOB type is not supported"},
      {"memo written", ftMemo, 0, [](TField& f) { f.SetAsString("x"); },
       "Field 'Col' of BLOB type is not supported"},
      {"date as integer", ftDate, 0, [](TField& f) { f.SetAsInteger(1); },
       "Cannot access field 'Col' as type Integer"},
      {"wide string too long", ftWideString, 2, [](TField& f) { f.SetAsString("abc"); },
       "Tbl: Value of field 'Col' is longer than 2 characters"},
  };
  for (const ErrorCase& c : cases) {
    auto ds = editing(c.Type, c.Size);
    EXPECT_EQ(errorOf([&] { c.Action(ds->Field()); }), c.Message) << c.Name;
  }
}

TEST(FieldFactory, PicksTheClassFromTheType) {
  struct FactoryCase {
    TFieldType Type;
    int32_t Size;
    std::function<bool(TField*)> IsClass;
    int32_t DataSize;
  };
  auto is = [](auto* Sample) {
    return [](TField* f) { return dynamic_cast<decltype(Sample)>(f) != nullptr; };
  };
  const FactoryCase cases[] = {
      {ftString, 10, is((TStringField*)nullptr), 11},
      {ftFixedChar, 4, is((TStringField*)nullptr), 5},
      {ftGuid, 38, is((TStringField*)nullptr), 39},
      {ftWideString, 10, is((TWideStringField*)nullptr), 22},
      {ftSmallint, 0, is((TSmallintField*)nullptr), 2},
      {ftWord, 0, is((TWordField*)nullptr), 2},
      {ftInteger, 0, is((TIntegerField*)nullptr), 4},
      {ftAutoInc, 0, is((TAutoIncField*)nullptr), 4},
      {ftLargeint, 0, is((TLargeintField*)nullptr), 8},
      {ftFloat, 0, is((TFloatField*)nullptr), 8},
      {ftCurrency, 0, is((TCurrencyField*)nullptr), 8},
      {ftBoolean, 0, is((TBooleanField*)nullptr), 2},
      {ftDate, 0, is((TDateField*)nullptr), 4},
      {ftTime, 0, is((TTimeField*)nullptr), 4},
      {ftDateTime, 0, is((TDateTimeField*)nullptr), 8},
      {ftTimeStamp, 0, is((TDateTimeField*)nullptr), 8},
      {ftBlob, 0, is((TBlobField*)nullptr), 0},
      {ftGraphic, 0, is((TBlobField*)nullptr), 0},
      {ftMemo, 0, is((TMemoField*)nullptr), 0},
      {ftFmtMemo, 0, is((TMemoField*)nullptr), 0},
      {ftWideMemo, 0, is((TMemoField*)nullptr), 0},
  };
  TOneFieldDataSet ds(ftInteger, 0);
  TFieldDefs defs;
  for (const FactoryCase& c : cases) {
    const TFieldDef& def = defs.Add("F" + std::to_string(defs.Count()), c.Type, c.Size, true);
    std::unique_ptr<TField> f = CreateField(ds, def);
    EXPECT_TRUE(c.IsClass(f.get())) << int(c.Type);
    EXPECT_EQ(f->DataType(), c.Type);
    EXPECT_EQ(f->DataSize(), c.DataSize) << int(c.Type);
    EXPECT_EQ(f->FieldNo(), def.FieldNo());
    EXPECT_TRUE(f->Required());
    EXPECT_EQ(f->DataSet(), &ds);
  }
  for (TFieldType type : {ftUnknown, ftBCD, ftBytes, ftVarBytes, ftVariant}) {
    const TFieldDef& def = defs.Add("Odd", type);
    EXPECT_EQ(errorOf([&] { CreateField(ds, def); }), "Tbl: Field 'Odd' is of an unknown type");
  }
}

TEST(FieldDefinitions, CollectionsFindNamesIgnoringCase) {
  TFieldDefs fields;
  fields.Add("Id", ftAutoInc);
  TFieldDef& nom = fields.Add("Nom", ftString, 50, true);
  TFieldDef& ville = fields.AddFieldDef();
  ville.SetName("Ville\xE9");
  EXPECT_EQ(fields.Count(), 3);
  EXPECT_EQ(nom.FieldNo(), 2);
  EXPECT_EQ(ville.FieldNo(), 3);
  EXPECT_EQ(fields.Find("NOM"), &nom);
  EXPECT_EQ(fields.Find("VILLE\xC9"), &ville);  // é / É
  EXPECT_EQ(fields.IndexOf("rue"), -1);
  EXPECT_EQ(fields.Find("rue"), nullptr);
  EXPECT_EQ(fields.Items(1).Size(), 50);
  fields.Clear();
  EXPECT_EQ(fields.Count(), 0);

  TIndexDefs indexes;
  TIndexDef& pk = indexes.Add("idxPrimaryKey", "Id", {ixPrimary, ixUnique});
  TIndexDef& byName = indexes.AddIndexDef();
  byName.SetName("idxNom");
  byName.SetFields("Nom;Ville");
  byName.SetCaseInsFields("Nom");
  EXPECT_EQ(indexes.Find("IDXPRIMARYKEY"), &pk);
  EXPECT_EQ(indexes.IndexOf("idxnom"), 1);
  EXPECT_TRUE(pk.Options().Contains(ixPrimary));
  EXPECT_TRUE(pk.Options().Contains(ixUnique));
  EXPECT_FALSE(pk.Options().Contains(ixDescending));
  TIndexOptions o = pk.Options();
  o.Exclude(ixPrimary);
  EXPECT_EQ(o, TIndexOptions{ixUnique});
  EXPECT_TRUE(byName.Options().Empty());
  indexes.Clear();
  EXPECT_EQ(indexes.Find("idxNom"), nullptr);
}

}  // namespace
