#include "engine/tables/ZEVTypes.h"

#include <cmath>
#include <cstring>
#include <string>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/tables/ZEVTableErrors.h"

namespace zev {

namespace {

// The order decides the defaults of every lookup.
constexpr TABSTypeTableRow kTypeTable[] = {
    {"CHAR", aftChar, bftChar, ftFixedChar},
    {"FIXEDCHAR", aftChar, bftChar, ftFixedChar},
    {"STRING", aftString, bftVarchar, ftString},
    {"VARCHAR", aftString, bftVarchar, ftString},
    {"VARCHAR2", aftString, bftVarchar, ftString},
    {"WIDECHAR", aftWideChar, bftWideChar, ftWideString},
    {"FIXEDWIDECHAR", aftWideChar, bftWideChar, ftWideString},
    {"WIDESTRING", aftWideString, bftWideVarchar, ftWideString},
    {"WIDEVARCHAR", aftWideString, bftWideVarchar, ftWideString},
    {"SMALLINT", aftSmallint, bftSignedInt16, ftSmallint},
    {"SIGNEDINT16", aftSmallint, bftSignedInt16, ftSmallint},
    {"SHORTINT", aftShortint, bftSignedInt8, ftSmallint},
    {"SIGNEDINT8", aftShortint, bftSignedInt8, ftSmallint},
    {"INTEGER", aftInteger, bftSignedInt32, ftInteger},
    {"SIGNEDINT32", aftInteger, bftSignedInt32, ftInteger},
    {"LARGEINT", aftLargeint, bftSignedInt64, ftLargeint},
    {"INT64", aftLargeint, bftSignedInt64, ftLargeint},
    {"SIGNEDINT64", aftLargeint, bftSignedInt64, ftLargeint},
    {"WORD", aftWord, bftUnsignedInt16, ftWord},
    {"UNSIGNEDINT16", aftWord, bftUnsignedInt16, ftWord},
    {"BYTE", aftByte, bftUnsignedInt8, ftWord},
    {"UNSIGNEDINT8", aftByte, bftUnsignedInt8, ftWord},
    {"CARDINAL", aftCardinal, bftUnsignedInt32, ftLargeint},
    {"UNSIGNEDINT32", aftCardinal, bftUnsignedInt32, ftLargeint},
    {"AUTOINC", aftAutoInc, bftSignedInt32, ftAutoInc},
    {"AUTOINCSHORTINT", aftAutoIncShortint, bftSignedInt8, ftAutoInc},
    {"AUTOINCSMALLINT", aftAutoIncSmallint, bftSignedInt16, ftAutoInc},
    {"AUTOINCINTEGER", aftAutoIncInteger, bftSignedInt32, ftAutoInc},
    {"AUTOINCLARGEINT", aftAutoIncLargeint, bftSignedInt64, ftLargeint},
    {"AUTOINCBYTE", aftAutoIncByte, bftUnsignedInt8, ftAutoInc},
    {"AUTOINCWORD", aftAutoIncWord, bftUnsignedInt16, ftAutoInc},
    {"AUTOINCCARDINAL", aftAutoIncCardinal, bftUnsignedInt32, ftAutoInc},
    {"FLOAT", aftDouble, bftDouble, ftFloat},
    {"FLOAT", aftDouble, bftDouble, ftBCD},
    {"DOUBLE", aftDouble, bftDouble, ftFloat},
    {"SINGLE", aftSingle, bftSingle, ftFloat},
    {"EXTENDED", aftExtended, bftExtended, ftFloat},
    {"LOGICAL", aftBoolean, bftLogical, ftBoolean},
    {"BOOLEAN", aftBoolean, bftLogical, ftBoolean},
    {"BOOL", aftBoolean, bftLogical, ftBoolean},
    {"BIT", aftBoolean, bftLogical, ftBoolean},
    {"CURRENCY", aftCurrency, bftCurrency, ftCurrency},
    {"MONEY", aftCurrency, bftCurrency, ftCurrency},
    {"DATE", aftDate, bftDate, ftDate},
    {"TIME", aftTime, bftTime, ftTime},
    {"DATETIME", aftDateTime, bftDateTime, ftDateTime},
    {"TIMESTAMP", aftTimeStamp, bftDateTime, ftTimeStamp},
    {"BYTES", aftBytes, bftBytes, ftBytes},
    {"VARBYTES", aftVarBytes, bftVarBytes, ftVarBytes},
    {"BLOB", aftBlob, bftBlob, ftBlob},
    {"BLOB", aftBlob, bftBlob, ftParadoxOle},
    {"BLOB", aftBlob, bftBlob, ftTypedBinary},
    {"BLOB", aftBlob, bftBlob, ftDBaseOle},
    {"BLOB", aftBlob, bftBlob, ftOraBlob},
    {"BLOB", aftBlob, bftBlob, ftOraClob},
    {"GRAPHIC", aftGraphic, bftBlob, ftGraphic},
    {"MEMO", aftMemo, bftClob, ftMemo},
    {"CLOB", aftMemo, bftClob, ftMemo},
    {"FORMATTEDMEMO", aftFormattedMemo, bftClob, ftFmtMemo},
    {"WIDEMEMO", aftWideMemo, bftWideClob, ftWideMemo},
    {"WIDECLOB", aftWideMemo, bftWideClob, ftWideMemo},
    {"GUID", aftGuid, bftChar, ftGuid},
};
constexpr int kTypeTableSize = sizeof kTypeTable / sizeof kTypeTable[0];
static_assert(kTypeTableSize == 62);

template <class Match>
const TABSTypeTableRow* firstRow(Match&& Matches) {
  for (const TABSTypeTableRow& row : kTypeTable)
    if (Matches(row)) return &row;
  return nullptr;
}

}  // namespace

const TABSTypeTableRow* TypeTable() { return kTypeTable; }
int TypeTableSize() { return kTypeTableSize; }

TABSBaseFieldType AdvancedFieldTypeToBaseFieldType(TABSAdvancedFieldType Type) {
  const auto* row = firstRow([&](const TABSTypeTableRow& Row) { return Row.AdvancedType == Type; });
  if (!row) throw EABSException(errors::kUnsupportedAdvancedType.Code,
                                errors::kUnsupportedAdvancedType.Text,
                                {std::to_string(static_cast<int>(Type))});
  return row->BaseType;
}

TABSAdvancedFieldType BaseFieldTypeToAdvancedFieldType(TABSBaseFieldType Type) {
  const auto* row = firstRow([&](const TABSTypeTableRow& Row) { return Row.BaseType == Type; });
  if (!row) throw EABSException(errors::kUnsupportedBaseType.Code,
                                errors::kUnsupportedBaseType.Text,
                                {std::to_string(static_cast<int>(Type))});
  return row->AdvancedType;
}

TABSAdvancedFieldType FieldTypeToAdvancedFieldType(TFieldType Type) {
  const auto* row = firstRow([&](const TABSTypeTableRow& Row) { return Row.DataType == Type; });
  if (!row) throw EABSException(errors::kUnknownFieldDataType.Code,
                                errors::kUnknownFieldDataType.Text,
                                {std::to_string(static_cast<int>(Type))});
  return row->AdvancedType;
}

TFieldType AdvancedFieldTypeToFieldType(TABSAdvancedFieldType Type) {
  const auto* row = firstRow([&](const TABSTypeTableRow& Row) { return Row.AdvancedType == Type; });
  return row ? row->DataType : ftUnknown;
}

AnsiString AdvancedFieldTypeName(TABSAdvancedFieldType Type) {
  const auto* row = firstRow([&](const TABSTypeTableRow& Row) { return Row.AdvancedType == Type; });
  return row ? row->SQLName : "Unknown";
}

AnsiString BaseFieldTypeName(TABSBaseFieldType Type) {
  const auto* row = firstRow([&](const TABSTypeTableRow& Row) { return Row.BaseType == Type; });
  return row ? row->SQLName : "Unknown";
}

bool IsStringFieldType(TABSBaseFieldType Type) { return Type >= bftChar && Type <= bftWideVarchar; }
bool IsWideStringFieldType(TABSBaseFieldType Type) {
  return Type == bftWideChar || Type == bftWideVarchar;
}
bool IsBLOBFieldType(TABSBaseFieldType Type) { return Type >= bftBlob && Type <= bftWideClob; }
bool IsNumericFieldType(TABSBaseFieldType Type) {
  return (Type >= bftSignedInt8 && Type <= bftExtended) || Type == bftCurrency;
}
bool IsDateTimeFieldType(TABSBaseFieldType Type) { return Type >= bftDate && Type <= bftDateTime; }
bool IsAutoincFieldType(TABSAdvancedFieldType Type) {
  return Type >= aftAutoInc && Type <= aftAutoIncCardinal;
}
bool IsBLOBAdvancedFieldType(TABSAdvancedFieldType Type) {
  return Type >= aftBlob && Type <= aftWideMemo;
}
bool IsWideStringAdvancedFieldType(TABSAdvancedFieldType Type) {
  return Type == aftWideChar || Type == aftWideString;
}
bool IsStringLikeAdvancedFieldType(TABSAdvancedFieldType Type) {
  return (Type >= aftChar && Type <= aftWideString) || Type == aftGuid;
}

int32_t GetMemoryDataSize(TABSBaseFieldType Type, int32_t FieldSize) {
  switch (Type) {
    case bftChar:
    case bftVarchar:
    case bftBytes:
    case bftVarBytes:
      return FieldSize + 1;
    case bftWideChar:
    case bftWideVarchar:
      return (FieldSize + 1) * 2;
    case bftSignedInt8:
    case bftUnsignedInt8:
      return 1;
    case bftSignedInt16:
    case bftUnsignedInt16:
    case bftLogical:
      return 2;
    case bftSignedInt32:
    case bftUnsignedInt32:
    case bftSingle:
    case bftDate:
    case bftTime:
      return 4;
    case bftSignedInt64:
    case bftDouble:
    case bftCurrency:
    case bftDateTime:
      return 8;
    case bftExtended:
      return 10;
    case bftBlob:
    case bftClob:
    case bftWideClob:
      return kBLOBMemorySlotSize;
    default:
      throw EABSException(errors::kUnknownDataTypeSize.Code, errors::kUnknownDataTypeSize.Text,
                          {BaseFieldTypeName(Type)});
  }
}

int32_t GetDiskDataSize(TABSBaseFieldType Type, int32_t FieldSize) {
  return IsBLOBFieldType(Type) ? kBLOBDiskSlotSize : GetMemoryDataSize(Type, FieldSize);
}

// --- Dates and times ------------------------------------------------------------------------

int32_t DateTimeToZEVDate(TDateTime Value) {
  return static_cast<int32_t>(std::trunc(Value)) + kDateDelta;
}

int32_t DateTimeToZEVTime(TDateTime Value) {
  const double fraction = std::fabs(Value - std::trunc(Value));
  return static_cast<int32_t>(std::llround(fraction * kMSecsPerDay));
}

TDateTime ZEVDateToDateTime(int32_t Date) { return static_cast<double>(Date) - kDateDelta; }

TDateTime ZEVTimeToDateTime(int32_t Time) { return static_cast<double>(Time) / kMSecsPerDay; }

void TABSDateTime::Load(const uint8_t* Buffer) {
  Date = GetInt32LE(Buffer);
  Time = GetInt32LE(Buffer + 4);
}

void TABSDateTime::Store(uint8_t* Buffer) const {
  PutInt32LE(Buffer, Date);
  PutInt32LE(Buffer + 4, Time);
}

TABSDateTime DateTimeToZEVDateTime(TDateTime Value) {
  return {DateTimeToZEVDate(Value), DateTimeToZEVTime(Value)};
}

// Negative platform date-times (before 30 December 1899) keep the time as a positive fraction
// of their day, as the platform writes them.
TDateTime ZEVDateTimeToDateTime(const TABSDateTime& Value) {
  const double days = ZEVDateToDateTime(Value.Date);
  const double time = ZEVTimeToDateTime(Value.Time);
  return days < 0 ? days - time : days + time;
}

// --- 80-bit extended ------------------------------------------------------------------------
// Sign and 15-bit exponent (bias 16383) in the top two bytes, a 64-bit mantissa with an
// explicit integer bit below them.

void DoubleToExtended(double Value, uint8_t* Extended) {
  std::memset(Extended, 0, 10);
  uint64_t bits;
  std::memcpy(&bits, &Value, sizeof bits);
  const bool negative = bits >> 63;
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  uint16_t top = negative ? 0x8000 : 0;
  uint64_t mantissa = 0;
  if (exponent == 0x7FF) {  // infinities and NaNs
    top |= 0x7FFF;
    mantissa = (uint64_t{1} << 63) | (fraction << 11);
  } else if (exponent != 0 || fraction != 0) {
    int e = exponent - 1023;
    if (exponent == 0) {  // subnormal: normalise
      e = -1022;
      while (!(fraction & (uint64_t{1} << 52))) {
        fraction <<= 1;
        --e;
      }
      fraction &= (uint64_t{1} << 52) - 1;
    }
    top |= static_cast<uint16_t>(e + 16383);
    mantissa = (uint64_t{1} << 63) | (fraction << 11);
  }
  PutInt64LE(Extended, static_cast<int64_t>(mantissa));
  PutInt16LE(Extended + 8, static_cast<int16_t>(top));
}

double ExtendedToDouble(const uint8_t* Extended) {
  const uint64_t mantissa = static_cast<uint64_t>(GetInt64LE(Extended));
  const uint16_t top = static_cast<uint16_t>(GetInt16LE(Extended + 8));
  const bool negative = top & 0x8000;
  const int exponent = top & 0x7FFF;
  double value;
  if (exponent == 0x7FFF)
    value = (mantissa << 1) ? std::nan("") : HUGE_VAL;
  else
    value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  return negative ? -value : value;
}

}  // namespace zev
