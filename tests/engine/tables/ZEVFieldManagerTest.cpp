#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVStream.h"
#include "engine/tables/ZEVFieldManager.h"
#include "tests/engine/storage/EngineErrorOf.h"

namespace zev {
namespace {

using TBytes = std::vector<uint8_t>;

struct TFieldDecl {
  const char* Name;
  TABSAdvancedFieldType Type;
  int32_t Size = 0;
};

// A manager over the given fields, laid out, with object ids 100, 101, ...
void addFields(TABSBaseFieldManager& Manager, const std::vector<TFieldDecl>& Fields) {
  TABSFieldDefs& defs = Manager.FieldDefs();
  for (const TFieldDecl& field : Fields) {
    TABSFieldDef* def = defs.AddCreated();
    def->FName = field.Name;
    def->FObjectID = 100 + defs.Count() - 1;
    def->SetFieldDefDataType(field.Type, field.Size);
  }
  defs.RecalcFieldOffsets();
  Manager.InitLastAutoIncValues();
}

TBytes memRow(const TABSBaseFieldManager& Manager) {
  return TBytes(static_cast<size_t>(Manager.FieldDefs().GetMemoryRecordBufferSize()), 0);
}

TBytes i16(int16_t v) {
  TBytes b(2);
  PutInt16LE(b.data(), v);
  return b;
}
TBytes i32(int32_t v) {
  TBytes b(4);
  PutInt32LE(b.data(), v);
  return b;
}
TBytes i64(int64_t v) {
  TBytes b(8);
  PutInt64LE(b.data(), v);
  return b;
}
TBytes dbl(double v) {
  TBytes b(8);
  PutDoubleLE(b.data(), v);
  return b;
}
TBytes sgl(float v) { return i32(std::bit_cast<int32_t>(v)); }
TBytes ext(double v) {
  TBytes b(10);
  DoubleToExtended(v, b.data());
  return b;
}
TBytes str(const std::string& s, size_t Size) {
  TBytes b(Size, 0);
  std::memcpy(b.data(), s.data(), s.size());
  return b;
}

TBytes slotOf(const TABSBaseFieldManager& Manager, const TBytes& Row, int FieldNo) {
  const TABSFieldDef& def = *Manager.FieldDefs().Items(FieldNo);
  return TBytes(Row.begin() + def.FMemoryOffset,
                Row.begin() + def.FMemoryOffset + def.FMemoryDataSize);
}
void putSlot(const TABSBaseFieldManager& Manager, TBytes& Row, int FieldNo, const TBytes& Bytes) {
  std::memcpy(Row.data() + Manager.FieldDefs().Items(FieldNo)->FMemoryOffset, Bytes.data(),
              Bytes.size());
}

// --- Row forms --------------------------------------------------------------------------------

TEST(ZEVFieldManagerTest, DiskAndMemoryFormsPlaceFieldsAfterABlobSlotDifferently) {
  TABSBaseFieldManager manager;
  addFields(
      manager,
      {{"Id", aftInteger}, {"Doc", aftBlob}, {"Name", aftString, 10}, {"Extra", aftSmallint}});
  const TABSFieldDefs& defs = manager.FieldDefs();
  EXPECT_EQ(defs.Items(1)->FMemoryDataSize, 10);
  EXPECT_EQ(defs.Items(1)->FDiskDataSize, 6);
  EXPECT_EQ(defs.Items(2)->FMemoryOffset, 15);
  EXPECT_EQ(defs.Items(2)->FDiskOffset, 11);
  EXPECT_EQ(defs.Items(3)->FMemoryOffset, 26);
  EXPECT_EQ(defs.Items(3)->FDiskOffset, 22);
  ASSERT_EQ(defs.GetMemoryRecordBufferSize(), 28);
  ASSERT_EQ(defs.GetDiskRecordBufferSize(), 24);

  TBytes mem = memRow(manager);
  mem[0] = 0x08;  // Extra is NULL
  putSlot(manager, mem, 0, i32(-7));
  putSlot(manager, mem, 1, {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE});  // tail: memory only
  putSlot(manager, mem, 2, str("abc", 11));

  TBytes disk(24, 0xCC);
  manager.MemRecordBufferToDiskRecordBuffer(mem.data(), disk.data());
  TBytes expectedDisk = {0x08};
  for (uint8_t b : i32(-7)) expectedDisk.push_back(b);
  for (uint8_t b : TBytes{1, 2, 3, 4, 5, 6}) expectedDisk.push_back(b);
  for (uint8_t b : str("abc", 11)) expectedDisk.push_back(b);
  expectedDisk.push_back(0);
  expectedDisk.push_back(0);
  EXPECT_EQ(disk, expectedDisk);

  TBytes back(28, 0xCC);
  manager.DiskRecordBufferToMemRecordBuffer(disk.data(), back.data());
  TBytes expectedMem = mem;
  putSlot(manager, expectedMem, 1, {1, 2, 3, 4, 5, 6, 0, 0, 0, 0});
  EXPECT_EQ(back, expectedMem);
  EXPECT_TRUE(IsFieldNull(back.data(), 3));
  EXPECT_FALSE(IsFieldNull(back.data(), 2));
}

TEST(ZEVFieldManagerTest, MetadataRoundTripKeepsLayoutAndResetsLastValues) {
  TABSBaseFieldManager source;
  addFields(source, {{"Id", aftAutoInc}, {"Doc", aftMemo}, {"Name", aftString, 30}});
  source.FieldDefs().Items(0)->FAutoincInitialValue = 100;
  TABSMemoryStream stream;
  source.SaveMetadata(stream);
  stream.SetPosition(0);

  TABSBaseFieldManager loaded;
  loaded.LoadMetadata(stream);
  ASSERT_EQ(loaded.FieldDefs().Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(loaded.FieldDefs().Items(i)->FMemoryOffset,
              source.FieldDefs().Items(i)->FMemoryOffset);
    EXPECT_EQ(loaded.FieldDefs().Items(i)->FDiskOffset, source.FieldDefs().Items(i)->FDiskOffset);
  }
  EXPECT_EQ(loaded.LastAutoIncValues(), (std::vector<int64_t>{100, 0, 0}));
}

TEST(ZEVFieldManagerTest, BlobFieldsPresentAndItsBlockSizeCheck) {
  TABSBaseFieldManager plain;
  addFields(plain, {{"Id", aftInteger}, {"Name", aftString, 5}});
  EXPECT_FALSE(plain.BlobFieldsPresent());

  TABSBaseFieldManager withBlob;
  addFields(withBlob, {{"Id", aftInteger}, {"Doc", aftWideMemo}});
  EXPECT_TRUE(withBlob.BlobFieldsPresent());
  withBlob.FieldDefs().Items(1)->FBLOBBlockSize = 0;
  EXPECT_EQ(errorOf([&] { withBlob.BlobFieldsPresent(); }),
            "BLOB block size should be > 0 for field Doc - Native error: 10421");
}

// --- Autoincrement ------------------------------------------------------------------------------

struct TAutoincCase {
  const char* Name;
  TABSAdvancedFieldType Type;
  int64_t Max;
  bool Cycled;
  int64_t Min;
  std::vector<std::optional<int64_t>> Inserts;  // nullopt: let the sequence give the key
  std::vector<int64_t> Stored;                  // the key each insert stores
};

class ZEVFieldManagerAutoincTest : public testing::TestWithParam<TAutoincCase> {};

TEST_P(ZEVFieldManagerAutoincTest, InsertsStoreTheExpectedKeys) {
  const TAutoincCase& c = GetParam();
  TABSBaseFieldManager manager;
  addFields(manager, {{"Name", aftString, 5}, {"Id", c.Type}});
  TABSFieldDef& id = *manager.FieldDefs().Items(1);
  id.FAutoincMaxValue = c.Max;
  id.FAutoincCycled = c.Cycled;
  id.FAutoincMinValue = c.Min;
  TABSRecordFieldAccess access = manager.FieldAccess();
  TABSSessionSequenceValues session;

  for (size_t i = 0; i < c.Inserts.size(); ++i) {
    TBytes row = memRow(manager);
    access.InternalInitRecord(row.data(), true);
    if (c.Inserts[i]) {
      TABSVariant key;
      key.SetAsInt64(*c.Inserts[i]);
      access.SetFieldValue(key, 1, row.data());
    }
    manager.ApplyAutoincsToRecordBuffer(session, row.data());
    ASSERT_FALSE(IsFieldNull(row.data(), 1));
    TABSVariant stored;
    access.GetFieldValue(stored, 1, row.data());
    EXPECT_EQ(stored.AsInt64(), c.Stored[i]) << "insert " << i;
    EXPECT_TRUE(IsFieldNull(row.data(), 0)) << "other fields untouched";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ZEVFieldManagerAutoincTest,
    testing::Values(TAutoincCase{"ThreeInserts",
                                 aftAutoInc,
                                 INT64_MAX,
                                 false,
                                 0,
                                 {std::nullopt, std::nullopt, std::nullopt},
                                 {1, 2, 3}},
                    TAutoincCase{"ExplicitKeyMovesTheSequence",
                                 aftAutoInc,
                                 INT64_MAX,
                                 false,
                                 0,
                                 {10, std::nullopt},
                                 {10, 11}},
                    TAutoincCase{"CounterOnlyGrows",
                                 aftAutoInc,
                                 INT64_MAX,
                                 false,
                                 0,
                                 {std::nullopt, std::nullopt, std::nullopt, 2, std::nullopt},
                                 {1, 2, 3, 2, 4}},
                    TAutoincCase{"CycledToMinimum",
                                 aftAutoInc,
                                 3,
                                 true,
                                 0,
                                 {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                                 {1, 2, 3, 0}},
                    TAutoincCase{"NoMaximumWhenZero",
                                 aftAutoIncLargeint,
                                 0,
                                 false,
                                 0,
                                 {INT64_MAX - 1, std::nullopt},
                                 {INT64_MAX - 1, INT64_MAX}},
                    // An unsigned slot reads back as unsigned: 200 is above 3, not -56.
                    TAutoincCase{"UnsignedByteKey",
                                 aftAutoIncByte,
                                 INT64_MAX,
                                 false,
                                 0,
                                 {std::nullopt, 200, std::nullopt},
                                 {1, 200, 201}},
                    // A signed slot reads back as signed: -1 is below 1.
                    TAutoincCase{"SignedShortintKey",
                                 aftAutoIncShortint,
                                 INT64_MAX,
                                 false,
                                 0,
                                 {std::nullopt, -1, std::nullopt},
                                 {1, -1, 2}}),
    [](const testing::TestParamInfo<TAutoincCase>& Info) { return Info.param.Name; });

TEST(ZEVFieldManagerTest, SequencePastItsMaximumFailsWhenNotCycled) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"Id", aftAutoInc}});
  manager.FieldDefs().Items(0)->FAutoincMaxValue = 3;
  TABSSessionSequenceValues session;
  for (int64_t expected = 1; expected <= 3; ++expected) {
    EXPECT_EQ(manager.GetNextAutoinc(session, 0), expected);
  }
  int code = 0;
  EXPECT_EQ(errorOf([&] { manager.GetNextAutoinc(session, 0); }, &code),
            "Autoinc max value exceeded for field 'Id' - Native error: 20160");
  EXPECT_EQ(code, 20160);
  EXPECT_EQ(manager.LastAutoIncValues()[0], 3) << "a failed draw leaves the sequence";
}

TEST(ZEVFieldManagerTest, IncrementOfZeroCountsAsOneAndOtherIncrementsApply) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"A", aftAutoInc}, {"B", aftAutoIncLargeint}});
  manager.FieldDefs().Items(0)->FAutoincIncrement = 0;
  manager.FieldDefs().Items(1)->FAutoincIncrement = 5;
  manager.FieldDefs().Items(1)->FAutoincInitialValue = 100;
  manager.InitLastAutoIncValues();
  TABSSessionSequenceValues session;
  EXPECT_EQ(manager.GetNextAutoinc(session, 0), 1);
  EXPECT_EQ(manager.GetNextAutoinc(session, 0), 2);
  EXPECT_EQ(manager.GetNextAutoinc(session, 1), 105);
  EXPECT_EQ(manager.GetNextAutoinc(session, 1), 110);
}

TEST(ZEVFieldManagerTest, LastAutoincIsPerSessionAndNeedsADrawInMultiUser) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"Id", aftAutoInc}, {"Name", aftString, 5}});
  TABSSessionSequenceValues first, second;

  int code = 0;
  EXPECT_EQ(errorOf([&] { manager.GetLastAutoinc(first, true, 0); }, &code),
            "No SequenceLastValue in session for sequence 'Id'. Call GetNextVal first - "
            "Native error: 30012");
  EXPECT_EQ(code, 30012);
  EXPECT_EQ(manager.GetLastAutoinc(first, false, 0), 0);
  EXPECT_EQ(manager.GetLastAutoinc(first, false, 1), 0) << "no autoincrement field";

  EXPECT_EQ(manager.GetNextAutoinc(first, 0), 1);
  EXPECT_EQ(manager.GetNextAutoinc(second, 0), 2);
  EXPECT_EQ(manager.GetNextAutoinc(first, 0), 3);
  EXPECT_EQ(manager.GetLastAutoinc(first, true, 0), 3);
  EXPECT_EQ(manager.GetLastAutoinc(second, true, 0), 2);

  // A key inserted by hand above the sequence becomes that session's last value.
  manager.UpdateLastAutoinc(second, 0, 50);
  EXPECT_EQ(manager.GetLastAutoinc(second, true, 0), 50);
  EXPECT_EQ(manager.GetLastAutoinc(first, true, 0), 3);
  manager.UpdateLastAutoinc(first, 0, 20);  // below the table's last value: no change
  EXPECT_EQ(manager.GetLastAutoinc(first, true, 0), 3);

  // Single-user without a draw of its own: the table's last value.
  TABSSessionSequenceValues third;
  EXPECT_EQ(manager.GetLastAutoinc(third, false, 0), 50);
  EXPECT_EQ(third.Count(), 0);
  EXPECT_EQ(first.Count(), 1) << "one record per sequence, replaced";
}

// --- Most-updated block -------------------------------------------------------------------------

TEST(ZEVFieldManagerTest, MostUpdatedBlockBytesAndRoundTrip) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"Id", aftAutoInc}, {"Name", aftString, 5}, {"Big", aftAutoIncLargeint}});
  TABSSessionSequenceValues session;
  manager.GetNextAutoinc(session, 0);
  manager.GetNextAutoinc(session, 0);
  manager.UpdateLastAutoinc(session, 2, int64_t{1} << 40);

  TBytes buffer(40, 0xAB);
  int32_t offset = 3;
  manager.SaveMostUpdated(buffer.data(), offset);
  EXPECT_EQ(offset, 3 + 28);
  EXPECT_EQ(manager.MostUpdatedSize(), 28);
  TBytes expected(3, 0xAB);
  for (const TBytes& part : {i32(3), i64(2), i64(0), i64(int64_t{1} << 40)}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  expected.resize(40, 0xAB);
  EXPECT_EQ(buffer, expected);

  TABSBaseFieldManager other;
  addFields(other, {{"Id", aftAutoInc}, {"Name", aftString, 5}, {"Big", aftAutoIncLargeint}});
  offset = 3;
  other.LoadMostUpdated(buffer.data(), offset);
  EXPECT_EQ(offset, 31);
  EXPECT_EQ(other.LastAutoIncValues(), manager.LastAutoIncValues());
  TABSSessionSequenceValues fresh;
  EXPECT_EQ(other.GetNextAutoinc(fresh, 0), 3) << "the shared sequence goes on";
}

TEST(ZEVFieldManagerTest, MostUpdatedBlockOfAnotherFieldCountReadsTheCommonPart) {
  struct TCase {
    int32_t StoredCount;
    std::vector<int64_t> Expected;  // of the three fields, which start at 7, 0, 9
  };
  for (const TCase& c : {TCase{5, {11, 12, 13}}, TCase{1, {11, 0, 9}}, TCase{0, {7, 0, 9}}}) {
    TABSBaseFieldManager manager;
    addFields(manager, {{"A", aftAutoInc}, {"B", aftInteger}, {"C", aftAutoInc}});
    manager.FieldDefs().Items(0)->FAutoincInitialValue = 7;
    manager.FieldDefs().Items(2)->FAutoincInitialValue = 9;
    manager.InitLastAutoIncValues();
    TBytes block = i32(c.StoredCount);
    for (int32_t i = 0; i < c.StoredCount; ++i) {
      const TBytes value = i64(11 + i);
      block.insert(block.end(), value.begin(), value.end());
    }
    int32_t offset = 0;
    manager.LoadMostUpdated(block.data(), offset);
    EXPECT_EQ(offset, 4 + 8 * c.StoredCount) << "n = " << c.StoredCount;
    EXPECT_EQ(manager.LastAutoIncValues(), c.Expected) << "n = " << c.StoredCount;
  }
}

// --- Dataset path -------------------------------------------------------------------------------

struct TDatasetCase {
  const char* Name;
  TABSAdvancedFieldType Type;
  int32_t Size;
  TBytes DatasetIn;   // what the dataset writes
  TBytes Slot;        // what the slot then holds
  TBytes DatasetOut;  // what reading gives back (followed by untouched bytes)
};

class ZEVFieldManagerDatasetTest : public testing::TestWithParam<TDatasetCase> {};

TEST_P(ZEVFieldManagerDatasetTest, WritesSlotAndReadsBack) {
  const TDatasetCase& c = GetParam();
  TABSBaseFieldManager manager;
  addFields(manager, {{"Before", aftInteger}, {"F", c.Type, c.Size}});
  TABSRecordFieldAccess access = manager.FieldAccess();
  TBytes row = memRow(manager);
  access.InternalInitRecord(row.data(), false);

  access.SetFieldData(1, c.DatasetIn.data(), row.data());
  EXPECT_FALSE(IsFieldNull(row.data(), 1));
  EXPECT_TRUE(IsFieldNull(row.data(), 0));
  EXPECT_EQ(slotOf(manager, row, 1), c.Slot);

  TBytes out(c.DatasetOut.size() + 4, 0xAA);
  EXPECT_TRUE(access.GetFieldData(1, out.data(), row.data()));
  TBytes expected = c.DatasetOut;
  expected.resize(out.size(), 0xAA);
  EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, ZEVFieldManagerDatasetTest,
    testing::Values(
        TDatasetCase{"ShortintAs16Bit", aftShortint, 0, i16(-1), {0xFF}, i16(-1)},
        TDatasetCase{"CardinalAs64Bit", aftCardinal, 0, i64(4294967295LL), i32(-1),
                     i64(4294967295LL)},
        TDatasetCase{"CardinalTakesLow32Bits", aftCardinal, 0, i64(0x1'0000'0005LL), i32(5),
                     i64(5)},
        TDatasetCase{"SingleViaDouble", aftSingle, 0, dbl(0.1), sgl(0.1f),
                     dbl(static_cast<double>(0.1f))},
        TDatasetCase{"ExtendedViaDouble", aftExtended, 0, dbl(-1234.5), ext(-1234.5), dbl(-1234.5)},
        TDatasetCase{"ByteIn16BitWord", aftByte, 0, i16(200), {200}, i16(200)},
        TDatasetCase{"AutoIncByteIn16BitWord", aftAutoIncByte, 0, i16(7), {7}, i16(7)},
        TDatasetCase{"IntegerAsIs", aftInteger, 0, i32(-5), i32(-5), i32(-5)},
        TDatasetCase{"DoubleAsIs", aftDouble, 0, dbl(2.5), dbl(2.5), dbl(2.5)},
        TDatasetCase{"StringWholeSlot", aftString, 5, str("abc", 6), str("abc", 6), str("abc", 6)},
        // A wide string whose first byte is 0 but whose first unit is not: a value.
        TDatasetCase{"WideStringFirstByteZero",
                     aftWideString,
                     2,
                     {0x00, 0x01, 0, 0, 0, 0},
                     {0x00, 0x01, 0, 0, 0, 0},
                     {0x00, 0x01, 0, 0, 0, 0}}),
    [](const testing::TestParamInfo<TDatasetCase>& Info) { return Info.param.Name; });

TEST(ZEVFieldManagerTest, EmptyStringsAndMissingBuffersStoreNull) {
  struct TCase {
    TABSAdvancedFieldType Type;
    int32_t Size;
    TBytes Value;  // empty: no buffer at all
  };
  const TCase cases[] = {
      {aftString, 5, {0, 'x', 0}},        {aftChar, 5, {0, 'x', 0}},        {aftGuid, 38, {0, 'x'}},
      {aftWideString, 5, {0, 0, 'x', 0}}, {aftWideChar, 5, {0, 0, 'x', 0}}, {aftInteger, 0, {}},
  };
  for (const TCase& c : cases) {
    TABSBaseFieldManager manager;
    addFields(manager, {{"F", c.Type, c.Size}});
    TABSRecordFieldAccess access = manager.FieldAccess();
    TBytes row = memRow(manager);
    TBytes filled(static_cast<size_t>(manager.FieldDefs().Items(0)->FMemoryDataSize), 'a');
    access.SetFieldData(0, filled.data(), row.data());
    ASSERT_FALSE(IsFieldNull(row.data(), 0));

    access.SetFieldData(0, c.Value.empty() ? nullptr : c.Value.data(), row.data());
    EXPECT_TRUE(IsFieldNull(row.data(), 0)) << AdvancedFieldTypeName(c.Type);
    EXPECT_EQ(slotOf(manager, row, 0), filled) << "the slot is left as it was";
    TBytes out(filled.size(), 0xAA);
    EXPECT_FALSE(access.GetFieldData(0, out.data(), row.data()));
    EXPECT_EQ(out, TBytes(filled.size(), 0xAA)) << "nothing copied for NULL";
  }
}

TEST(ZEVFieldManagerTest, BlobFieldsExchangeNoBytesOnTheDatasetPath) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"Doc", aftBlob}});
  TABSRecordFieldAccess access = manager.FieldAccess();
  TBytes row = memRow(manager);
  access.InternalInitRecord(row.data(), false);
  const TBytes blobSlot = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  putSlot(manager, row, 0, blobSlot);
  const TBytes garbage(10, 0x55);
  access.SetFieldData(0, garbage.data(), row.data());
  EXPECT_FALSE(IsFieldNull(row.data(), 0));
  EXPECT_EQ(slotOf(manager, row, 0), blobSlot);
  TBytes out(10, 0xAA);
  EXPECT_TRUE(access.GetFieldData(0, out.data(), row.data()));
  EXPECT_EQ(out, TBytes(10, 0xAA));
}

TEST(ZEVFieldManagerTest, VisibleFieldsMapToTheirUnderlyingFields) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"A", aftInteger}, {"B", aftInteger}, {"C", aftInteger}});
  TABSFieldDefs visible;
  TABSFieldDef* onlyC = visible.AddCreated();
  onlyC->FName = "C";
  onlyC->SetFieldDefDataType(aftInteger, 0);
  onlyC->FFieldNoReference = 2;
  TABSRecordFieldAccess access(manager.FieldDefs(), &visible);
  TBytes row = memRow(manager);
  access.InternalInitRecord(row.data(), false);

  access.SetFieldData(0, i32(33).data(), row.data());
  EXPECT_TRUE(IsFieldNull(row.data(), 0));
  EXPECT_FALSE(IsFieldNull(row.data(), 2));
  EXPECT_EQ(slotOf(manager, row, 2), i32(33));
  EXPECT_EQ(errorOf([&] { access.GetFieldData(1, nullptr, row.data()); }),
            "Invalid field number - FieldNo = 1, FieldCount = 1 - Native error: 10000");
}

// --- Variant path -------------------------------------------------------------------------------

TEST(ZEVFieldManagerTest, VariantPathCastsToTheFieldTypeWithinTheSlot) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"Small", aftSmallint}, {"Num", aftInteger}, {"Name", aftString, 5}});
  TABSRecordFieldAccess access = manager.FieldAccess();
  TBytes row = memRow(manager);
  access.InternalInitRecord(row.data(), false);

  TABSVariant value;
  value.SetAsInteger(-300);
  access.SetFieldValue(value, 0, row.data());
  EXPECT_EQ(slotOf(manager, row, 0), i16(-300));
  value.SetAsAnsiString("1234");
  access.SetFieldValue(value, 1, row.data());
  EXPECT_EQ(slotOf(manager, row, 1), i32(1234));
  value.SetAsInteger(42);
  access.SetFieldValue(value, 2, row.data());
  EXPECT_EQ(slotOf(manager, row, 2), str("42", 6));

  TABSVariant read;
  access.GetFieldValue(read, 0, row.data());
  EXPECT_EQ(read.DataType(), bftSignedInt16);
  EXPECT_EQ(read.AsSmallint(), -300);
  access.GetFieldValue(read, 2, row.data());
  EXPECT_EQ(read.DataType(), bftVarchar);
  EXPECT_EQ(read.DataSize(), 6);
  EXPECT_EQ(read.AsAnsiString(), "42");

  // Longer than the slot: refused, the row unchanged.
  const TBytes before = row;
  value.SetAsAnsiString("abcdef");
  EXPECT_EQ(errorOf([&] { access.SetFieldValue(value, 2, row.data()); }),
            "Buffer size exceeded - Native error: 20056");
  EXPECT_EQ(row, before);

  // The empty string: a value, the slot not written.
  SetFieldNull(row.data(), 2, true);
  value.SetAsAnsiString("");
  access.SetFieldValue(value, 2, row.data());
  EXPECT_FALSE(IsFieldNull(row.data(), 2));
  EXPECT_EQ(slotOf(manager, row, 2), str("42", 6));

  // NULL in and out.
  access.SetFieldValue(TABSVariant(bftSignedInt32), 1, row.data());
  EXPECT_TRUE(IsFieldNull(row.data(), 1));
  read.SetAsAnsiString("x");
  access.GetFieldValue(read, 1, row.data());
  EXPECT_TRUE(read.IsNull());
  EXPECT_EQ(read.DataType(), bftSignedInt32);
}

// --- Row initialisation, garbage, comparison
// -------------------------------------------------------

TEST(ZEVFieldManagerTest, DefaultsAreAppliedInInsertModeOnly) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"Num", aftInteger},
                      {"Name", aftString, 5},
                      {"Small", aftSmallint},
                      {"Doc", aftBlob},
                      {"Plain", aftInteger}});
  TABSFieldDefs& defs = manager.FieldDefs();
  defs.Items(0)->FDefaultValue.SetAsInteger(42);
  defs.Items(1)->FDefaultValue.SetAsAnsiString("abc");
  defs.Items(2)->FDefaultValue.SetAsAnsiString("7");  // a literal of another type
  defs.Items(3)->FDefaultValue.SetAsAnsiString("ignored");
  TABSRecordFieldAccess access = manager.FieldAccess();

  TBytes row(static_cast<size_t>(defs.GetMemoryRecordBufferSize()), 0x77);
  access.InternalInitRecord(row.data(), false);
  TBytes allNull(row.size(), 0);
  allNull[0] = 0xFF;
  EXPECT_EQ(row, allNull);

  access.InternalInitRecord(row.data(), true);
  EXPECT_EQ(row[0], 0xFF & ~0x07);
  EXPECT_EQ(slotOf(manager, row, 0), i32(42));
  EXPECT_EQ(slotOf(manager, row, 1), str("abc", 6));
  EXPECT_EQ(slotOf(manager, row, 2), i16(7));
  EXPECT_EQ(slotOf(manager, row, 3), TBytes(10, 0));
}

TEST(ZEVFieldManagerTest, ClearStringFieldsGarbageZeroesWhatFollowsTheValue) {
  TABSBaseFieldManager manager;
  addFields(manager,
            {{"S", aftString, 5}, {"W", aftWideString, 3}, {"N", aftString, 3}, {"I", aftInteger}});
  TBytes row = memRow(manager);
  putSlot(manager, row, 0, {'a', 'b', 0, 'x', 'y', 'z'});
  putSlot(manager, row, 1, {'a', 0, 0, 0, 'g', 'g', 'g', 'g'});
  putSlot(manager, row, 2, {'q', 'q', 'q', 'q'});
  putSlot(manager, row, 3, {1, 2, 3, 4});
  SetFieldNull(row.data(), 2, true);

  manager.FieldAccess().ClearStringFieldsGarbage(row.data());
  EXPECT_EQ(slotOf(manager, row, 0), TBytes({'a', 'b', 0, 0, 0, 0}));
  EXPECT_EQ(slotOf(manager, row, 1), TBytes({'a', 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(slotOf(manager, row, 2), TBytes(4, 0));
  EXPECT_EQ(slotOf(manager, row, 3), TBytes({1, 2, 3, 4}));
}

TEST(ZEVFieldManagerTest, CompareRecordBuffersSeesStoredValuesOnly) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"I", aftInteger},
                      {"S", aftString, 5},
                      {"W", aftWideString, 3},
                      {"N", aftSmallint},
                      {"Doc", aftBlob}});
  TBytes base = memRow(manager);
  putSlot(manager, base, 0, i32(5));
  putSlot(manager, base, 1, str("ab", 6));
  putSlot(manager, base, 2, {'a', 0, 0, 0, 0, 0, 0, 0});
  putSlot(manager, base, 3, i16(9));
  putSlot(manager, base, 4, {1, 2, 3, 4, 5, 6, 0, 0, 0, 0});
  SetFieldNull(base.data(), 3, true);

  struct TCase {
    const char* What;
    int Offset;  // byte changed, relative to the slot of field Field (-1: the bitmap)
    int Field;
    bool Equal;
  };
  const TCase cases[] = {
      {"unchanged", -2, 0, true},
      {"integer byte", 0, 0, false},
      {"string character", 1, 1, false},
      {"string terminator", 2, 1, false},
      {"string garbage after the terminator", 4, 1, true},
      {"wide character high byte", 1, 2, false},
      {"wide garbage after the terminator", 5, 2, true},
      {"slot of a NULL field", 0, 3, true},
      {"BLOB slot", 5, 4, false},
      {"memory-only tail of the BLOB slot", 8, 4, true},
      {"null bit", -1, 0, false},
  };
  for (const TCase& c : cases) {
    TBytes changed = base;
    if (c.Offset == -1) {
      changed[0] ^= 0x01;
    } else if (c.Offset >= 0) {
      changed[manager.FieldDefs().Items(c.Field)->FMemoryOffset + c.Offset] ^= 0x5A;
    }
    EXPECT_EQ(manager.CompareRecordBuffers(base.data(), changed.data()), c.Equal) << c.What;
    EXPECT_EQ(manager.CompareRecordBuffers(changed.data(), base.data()), c.Equal) << c.What;
  }
}

// --- Errors ---------------------------------------------------------------------------------

TEST(ZEVFieldManagerTest, FieldNumbersOutOfRangeAndMissingRows) {
  TABSBaseFieldManager manager;
  addFields(manager, {{"A", aftInteger}, {"B", aftInteger}, {"C", aftInteger}});
  TABSRecordFieldAccess access = manager.FieldAccess();
  TBytes row = memRow(manager);
  TABSVariant value;
  value.SetAsInteger(1);
  const TBytes data = i32(1);

  struct TCase {
    const char* What;
    std::function<void()> Action;
    std::string Message;
  };
  const TCase cases[] = {
      {"GetFieldData", [&] { access.GetFieldData(3, nullptr, row.data()); },
       "Invalid field number - FieldNo = 3, FieldCount = 3 - Native error: 10000"},
      {"SetFieldData", [&] { access.SetFieldData(-1, data.data(), row.data()); },
       "Invalid field number - FieldNo = -1, FieldCount = 3 - Native error: 10004"},
      {"GetFieldValue", [&] { access.GetFieldValue(value, 7, row.data()); },
       "Invalid field number - FieldNo = 7, FieldCount = 3 - Native error: 10005"},
      {"SetFieldValue", [&] { access.SetFieldValue(value, 3, row.data()); },
       "Invalid field number - FieldNo = 3, FieldCount = 3 - Native error: 10006"},
      {"GetFieldData without row", [&] { access.GetFieldData(0, nullptr, nullptr); },
       "Nil pointer occured - Native error: 10001"},
      {"SetFieldValue without row", [&] { access.SetFieldValue(value, 0, nullptr); },
       "Nil pointer occured - Native error: 10001"},
  };
  for (const TCase& c : cases) EXPECT_EQ(errorOf(c.Action), c.Message) << c.What;
}

}  // namespace
}  // namespace zev
