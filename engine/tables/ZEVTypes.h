// The engine's type system: the declared field types (TABSAdvancedFieldType), the storage types
// behind them (TABSBaseFieldType), the dataset layer's field types (TFieldType), the static
// type table that maps between them, the type classes, and the memory and disk data sizes and
// encodings of the storage types (dates as day numbers + 693594, times in milliseconds, 80-bit
// extended, 16-bit booleans).
//
// Ownership: plain values and a static table. Locking: none (read-only data).
// Errors: EABSException 30007, 30008, 30050, 30289.
#pragma once

#include <cstdint>

#include "engine/storage/ZEVCodePage.h"

namespace zev {

enum TABSAdvancedFieldType : uint8_t {
  aftUnknown = 0,
  aftChar = 1,
  aftString = 2,
  aftWideChar = 3,
  aftWideString = 4,
  aftShortint = 5,
  aftSmallint = 6,
  aftInteger = 7,
  aftLargeint = 8,
  aftByte = 9,
  aftWord = 10,
  aftCardinal = 11,
  aftAutoInc = 12,
  aftAutoIncShortint = 13,
  aftAutoIncSmallint = 14,
  aftAutoIncInteger = 15,
  aftAutoIncLargeint = 16,
  aftAutoIncByte = 17,
  aftAutoIncWord = 18,
  aftAutoIncCardinal = 19,
  aftSingle = 20,
  aftDouble = 21,
  aftExtended = 22,
  aftBoolean = 23,
  aftCurrency = 24,
  aftDate = 25,
  aftTime = 26,
  aftDateTime = 27,
  aftTimeStamp = 28,
  aftBytes = 29,
  aftVarBytes = 30,
  aftBlob = 31,
  aftGraphic = 32,
  aftMemo = 33,
  aftFormattedMemo = 34,
  aftWideMemo = 35,
  aftGuid = 36,
};

enum TABSBaseFieldType : uint8_t {
  bftUnknown = 0,
  bftChar = 1,
  bftWideChar = 2,
  bftVarchar = 3,
  bftWideVarchar = 4,
  bftSignedInt8 = 5,
  bftSignedInt16 = 6,
  bftSignedInt32 = 7,
  bftSignedInt64 = 8,
  bftUnsignedInt8 = 9,
  bftUnsignedInt16 = 10,
  bftUnsignedInt32 = 11,
  bftSingle = 12,
  bftDouble = 13,
  bftExtended = 14,
  bftDate = 15,
  bftTime = 16,
  bftDateTime = 17,
  bftBlob = 18,
  bftClob = 19,
  bftWideClob = 20,
  bftLogical = 21,
  bftCurrency = 22,
  bftBytes = 23,
  bftVarBytes = 24,
  bftBFile = 25,
};

// The dataset layer's field types, in the platform's ordinal order (the ordinal appears in
// messages).
enum TFieldType : uint8_t {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
  ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
  ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
  ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd, ftFixedWideChar, ftWideMemo,
};

// One row of the type table.
struct TABSTypeTableRow {
  const char* SQLName;
  TABSAdvancedFieldType AdvancedType;
  TABSBaseFieldType BaseType;
  TFieldType DataType;
};

// The 62 rows in their fixed order; lookups take the first match.
const TABSTypeTableRow* TypeTable();
int TypeTableSize();

// First row with that declared type; 30007 when none.
TABSBaseFieldType AdvancedFieldTypeToBaseFieldType(TABSAdvancedFieldType Type);
// First row with that storage type; 30008 when none.
TABSAdvancedFieldType BaseFieldTypeToAdvancedFieldType(TABSBaseFieldType Type);
// First row with that dataset type; 30289 "Unknown DataType: '<ordinal>'" when none.
TABSAdvancedFieldType FieldTypeToAdvancedFieldType(TFieldType Type);
// First row with that declared type; ftUnknown when none.
TFieldType AdvancedFieldTypeToFieldType(TABSAdvancedFieldType Type);
// The SQL name of the first row with the type, or "Unknown".
AnsiString AdvancedFieldTypeName(TABSAdvancedFieldType Type);
AnsiString BaseFieldTypeName(TABSBaseFieldType Type);

// Type classes.
bool IsStringFieldType(TABSBaseFieldType Type);       // base 1 to 4
bool IsWideStringFieldType(TABSBaseFieldType Type);   // base 2 and 4
bool IsBLOBFieldType(TABSBaseFieldType Type);         // base 18 to 20
bool IsNumericFieldType(TABSBaseFieldType Type);      // base 5 to 14 and 22
bool IsDateTimeFieldType(TABSBaseFieldType Type);     // base 15 to 17
bool IsAutoincFieldType(TABSAdvancedFieldType Type);  // advanced 12 to 19
bool IsBLOBAdvancedFieldType(TABSAdvancedFieldType Type);        // advanced 31 to 35
bool IsWideStringAdvancedFieldType(TABSAdvancedFieldType Type);  // advanced 3 and 4
// The declared types whose empty value means NULL: advanced 1 to 4 and 36.
bool IsStringLikeAdvancedFieldType(TABSAdvancedFieldType Type);

// Memory data size of a storage type for a declared size; 30050 for an unknown type.
int32_t GetMemoryDataSize(TABSBaseFieldType Type, int32_t FieldSize);
// The same on disk: 6 for the BLOB storage types.
int32_t GetDiskDataSize(TABSBaseFieldType Type, int32_t FieldSize);
inline constexpr int32_t kBLOBMemorySlotSize = 10;
inline constexpr int32_t kBLOBDiskSlotSize = 6;

// --- Date and time encodings ----------------------------------------------------------------
// A platform date-time is days since 30 December 1899 with the time as the fraction.
using TDateTime = double;
inline constexpr int32_t kDateDelta = 693594;  // day number of 30 December 1899
inline constexpr int32_t kMSecsPerDay = 86400000;

// Signed 32-bit day number: whole days + 693594 (day 1 is 1 January of year 1).
int32_t DateTimeToZEVDate(TDateTime Value);
// Milliseconds since midnight: the fraction of the day x 86400000, rounded.
int32_t DateTimeToZEVTime(TDateTime Value);
TDateTime ZEVDateToDateTime(int32_t Date);
TDateTime ZEVTimeToDateTime(int32_t Time);

// The 8-byte date-time slot: Date then Time.
struct TABSDateTime {
  int32_t Date = 0;
  int32_t Time = 0;
  static constexpr size_t Size = 8;
  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;
};
TABSDateTime DateTimeToZEVDateTime(TDateTime Value);
TDateTime ZEVDateTimeToDateTime(const TABSDateTime& Value);

// The 10-byte x87 extended format, converted from and to double exactly where double can hold
// the value.
void DoubleToExtended(double Value, uint8_t* Extended);
double ExtendedToDouble(const uint8_t* Extended);

}  // namespace zev
