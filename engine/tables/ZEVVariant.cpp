#include "engine/tables/ZEVVariant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>

#include "engine/storage/ZEVCollation.h"
#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVTableErrors.h"
#include "engine/tables/ZEVValueText.h"

namespace zev {

namespace {

using namespace valuetext;

// --- Raw values -------------------------------------------------------------------------------

// How a storage type's bytes are read.
enum class TKind {
  Str,
  WideStr,
  Signed,
  Unsigned,
  Float,
  Date,
  Time,
  DateTime,
  Logical,
  Raw,
  None
};

// Indexed by the storage type's code.
constexpr TKind kKinds[] = {
    TKind::None,   TKind::Str,    TKind::WideStr, TKind::Str,      TKind::WideStr,  TKind::Signed,
    TKind::Signed, TKind::Signed, TKind::Signed,  TKind::Unsigned, TKind::Unsigned, TKind::Unsigned,
    TKind::Float,  TKind::Float,  TKind::Float,   TKind::Date,     TKind::Time,     TKind::DateTime,
    TKind::Raw,    TKind::Raw,    TKind::Raw,     TKind::Logical,  TKind::Float,    TKind::Raw,
    TKind::Raw,    TKind::None,
};
static_assert(sizeof kKinds / sizeof kKinds[0] == bftBFile + 1);

TKind kindOf(TABSBaseFieldType Type) { return Type <= bftBFile ? kKinds[Type] : TKind::None; }

// The byte count of a fixed-size storage type; 0 for the sized and unknown ones.
int32_t fixedSize(TABSBaseFieldType Type) {
  switch (kindOf(Type)) {
    case TKind::Signed:
    case TKind::Unsigned:
    case TKind::Float:
    case TKind::Date:
    case TKind::Time:
    case TKind::DateTime:
    case TKind::Logical:
      return GetMemoryDataSize(Type, 0);
    default:
      return 0;
  }
}

// A value's bytes, at most Size of them readable.
struct TRawValue {
  TABSBaseFieldType Type;
  const uint8_t* P;
  int32_t Size;
};

// The first fixedSize bytes of a fixed-size value; a value holding fewer reads as zero-padded.
struct TFixedBytes {
  uint8_t Bytes[16] = {};
  explicit TFixedBytes(const TRawValue& V) {
    const int32_t n = std::min<int32_t>(std::max<int32_t>(V.Size, 0), fixedSize(V.Type));
    if (n > 0 && V.P) std::memcpy(Bytes, V.P, static_cast<size_t>(n));
  }
};

size_t ansiLength(const uint8_t* P, int32_t Bound) {
  if (!P || Bound <= 0) return 0;
  const void* zero = std::memchr(P, 0, static_cast<size_t>(Bound));
  return zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - P)
              : static_cast<size_t>(Bound);
}

size_t wideLength(const uint8_t* P, int32_t Bound) {
  size_t n = 0;
  if (!P) return 0;
  while (static_cast<int64_t>(n + 1) * 2 <= Bound && GetUInt16LE(P + 2 * n) != 0) ++n;
  return n;
}

AnsiString rawAnsi(const uint8_t* P, int32_t Bound) {
  return AnsiString(reinterpret_cast<const char*>(P), ansiLength(P, Bound));
}

std::u16string rawWide(const uint8_t* P, int32_t Bound) {
  std::u16string s(wideLength(P, Bound), u'\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(GetUInt16LE(P + 2 * i));
  return s;
}

int64_t rawSigned(const TRawValue& V) {
  const TFixedBytes b(V);
  switch (V.Type) {
    case bftSignedInt8:
      return static_cast<int8_t>(b.Bytes[0]);
    case bftSignedInt16:
      return GetInt16LE(b.Bytes);
    case bftSignedInt32:
      return GetInt32LE(b.Bytes);
    default:
      return GetInt64LE(b.Bytes);
  }
}

uint32_t rawUnsigned(const TRawValue& V) {
  const TFixedBytes b(V);
  switch (V.Type) {
    case bftUnsignedInt8:
      return b.Bytes[0];
    case bftUnsignedInt16:
      return GetUInt16LE(b.Bytes);
    default:
      return GetUInt32LE(b.Bytes);
  }
}

double rawFloat(const TRawValue& V) {
  const TFixedBytes b(V);
  switch (V.Type) {
    case bftSingle:
      return std::bit_cast<float>(GetUInt32LE(b.Bytes));
    case bftExtended:
      return ExtendedToDouble(b.Bytes);
    default:
      return GetDoubleLE(b.Bytes);
  }
}

int32_t rawInt32(const TRawValue& V) { return GetInt32LE(TFixedBytes(V).Bytes); }

TABSDateTime rawDateTime(const TRawValue& V) {
  TABSDateTime value;
  value.Load(TFixedBytes(V).Bytes);
  return value;
}

bool rawLogical(const TRawValue& V) { return GetUInt16LE(TFixedBytes(V).Bytes) != 0; }

// --- Conversions
// ---------------------------------------------------------------------------------- Each answers
// the value of V (not NULL) as the asked type or raises 30048 naming Target.

AnsiString valueText(const TRawValue& V);

[[noreturn]] void cannotConvert(const TRawValue& V, TABSBaseFieldType Target) {
  errors::Raise(errors::kCannotConvert, {valueText(V), BaseFieldTypeName(Target)});
}

AnsiString textOf(const TRawValue& V, TABSBaseFieldType Target) {
  switch (kindOf(V.Type)) {
    case TKind::Str:
      return rawAnsi(V.P, V.Size);
    case TKind::WideStr:
      return AnsiFromUtf16(rawWide(V.P, V.Size));
    case TKind::Signed:
      return std::to_string(rawSigned(V));
    case TKind::Unsigned:
      return std::to_string(rawUnsigned(V));
    case TKind::Float:
      if (V.Type == bftSingle) return floatText(static_cast<float>(rawFloat(V)));
      return floatText(rawFloat(V));
    case TKind::Date:
      return dateText(rawInt32(V));
    case TKind::Time:
      return timeText(rawInt32(V));
    case TKind::DateTime: {
      const TABSDateTime dt = rawDateTime(V);
      return dateText(dt.Date) + " " + timeText(dt.Time);
    }
    case TKind::Logical:
      return rawLogical(V) ? "TRUE" : "FALSE";
    default:
      cannotConvert(V, Target);
  }
}

// The text of a value for messages: its text form, or its bytes in hexadecimal.
AnsiString valueText(const TRawValue& V) {
  switch (kindOf(V.Type)) {
    case TKind::Raw:
    case TKind::None:
      return hexText(V.P, V.Size);
    default:
      return textOf(V, bftVarchar);
  }
}

std::u16string wideTextOf(const TRawValue& V, TABSBaseFieldType Target) {
  if (kindOf(V.Type) == TKind::WideStr) return rawWide(V.P, V.Size);
  return Utf16FromAnsi(textOf(V, Target));
}

// Integers from integers, floats (rounded to the nearest), booleans and integer texts, within
// [Min, Max].
int64_t integerOf(const TRawValue& V, TABSBaseFieldType Target, int64_t Min, int64_t Max) {
  int64_t value = 0;
  switch (kindOf(V.Type)) {
    case TKind::Signed:
      value = rawSigned(V);
      break;
    case TKind::Unsigned:
      value = rawUnsigned(V);
      break;
    case TKind::Float: {
      const double rounded = std::round(rawFloat(V));
      // 2^63 is the first double past the signed 64-bit range.
      if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
        cannotConvert(V, Target);
      value = static_cast<int64_t>(rounded);
      break;
    }
    case TKind::Logical:
      value = rawLogical(V) ? 1 : 0;
      break;
    case TKind::Str:
    case TKind::WideStr:
      if (!parseInteger(textOf(V, Target), value)) cannotConvert(V, Target);
      break;
    default:
      cannotConvert(V, Target);
  }
  if (value < Min || value > Max) cannotConvert(V, Target);
  return value;
}

int64_t integerOf(const TRawValue& V, TABSBaseFieldType Target) {
  struct TRange {
    TABSBaseFieldType Type;
    int64_t Min, Max;
  };
  static constexpr TRange kRanges[] = {
      {bftSignedInt8, INT8_MIN, INT8_MAX},    {bftSignedInt16, INT16_MIN, INT16_MAX},
      {bftSignedInt32, INT32_MIN, INT32_MAX}, {bftUnsignedInt8, 0, UINT8_MAX},
      {bftUnsignedInt16, 0, UINT16_MAX},      {bftUnsignedInt32, 0, UINT32_MAX}};
  for (const TRange& r : kRanges)
    if (r.Type == Target) return integerOf(V, Target, r.Min, r.Max);
  return integerOf(V, Target, INT64_MIN, INT64_MAX);
}

// Floats from numbers, booleans, number texts and dates (as platform date-times).
double doubleOf(const TRawValue& V, TABSBaseFieldType Target) {
  switch (kindOf(V.Type)) {
    case TKind::Signed:
      return static_cast<double>(rawSigned(V));
    case TKind::Unsigned:
      return rawUnsigned(V);
    case TKind::Float:
      return rawFloat(V);
    case TKind::Logical:
      return rawLogical(V) ? 1 : 0;
    case TKind::Date:
      return ZEVDateToDateTime(rawInt32(V));
    case TKind::Time:
      return ZEVTimeToDateTime(rawInt32(V));
    case TKind::DateTime:
      return ZEVDateTimeToDateTime(rawDateTime(V));
    case TKind::Str:
    case TKind::WideStr: {
      double value;
      if (!parseFloat(textOf(V, Target), value)) cannotConvert(V, Target);
      return value;
    }
    default:
      cannotConvert(V, Target);
  }
}

float singleOf(const TRawValue& V) {
  if (V.Type == bftSingle) return static_cast<float>(rawFloat(V));
  if (kindOf(V.Type) == TKind::Str || kindOf(V.Type) == TKind::WideStr) {
    float value;  // read as single directly: no double rounding
    if (!parseFloat(textOf(V, bftSingle), value)) cannotConvert(V, bftSingle);
    return value;
  }
  const double value = doubleOf(V, bftSingle);
  if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
    cannotConvert(V, bftSingle);
  return static_cast<float>(value);
}

int32_t dateOf(const TRawValue& V) {
  switch (kindOf(V.Type)) {
    case TKind::Date:
      return rawInt32(V);
    case TKind::DateTime:
      return rawDateTime(V).Date;
    case TKind::Float: {
      const double value = rawFloat(V);
      if (!(std::fabs(value) < 2e9)) cannotConvert(V, bftDate);
      return DateTimeToZEVDate(value);
    }
    case TKind::Str:
    case TKind::WideStr: {
      TABSDateTime value;
      if (!parseDateTime(textOf(V, bftDate), value)) cannotConvert(V, bftDate);
      return value.Date;
    }
    default:
      cannotConvert(V, bftDate);
  }
}

int32_t timeOf(const TRawValue& V) {
  switch (kindOf(V.Type)) {
    case TKind::Time:
      return rawInt32(V);
    case TKind::DateTime:
      return rawDateTime(V).Time;
    case TKind::Float: {
      const double value = rawFloat(V);
      if (!std::isfinite(value)) cannotConvert(V, bftTime);
      return DateTimeToZEVTime(value);
    }
    case TKind::Str:
    case TKind::WideStr: {
      int32_t value;
      if (!parseTime(textOf(V, bftTime), value)) cannotConvert(V, bftTime);
      return value;
    }
    default:
      cannotConvert(V, bftTime);
  }
}

// A time alone falls on day 0 of the platform date-times (30 December 1899).
TABSDateTime dateTimeOf(const TRawValue& V) {
  switch (kindOf(V.Type)) {
    case TKind::Date:
      return {rawInt32(V), 0};
    case TKind::Time:
      return {kDateDelta, rawInt32(V)};
    case TKind::DateTime:
      return rawDateTime(V);
    case TKind::Float: {
      const double value = rawFloat(V);
      if (!(std::fabs(value) < 2e9)) cannotConvert(V, bftDateTime);
      return DateTimeToZEVDateTime(value);
    }
    case TKind::Str:
    case TKind::WideStr: {
      TABSDateTime value;
      if (!parseDateTime(textOf(V, bftDateTime), value)) cannotConvert(V, bftDateTime);
      return value;
    }
    default:
      cannotConvert(V, bftDateTime);
  }
}

// Booleans from booleans, numbers (non-zero is true) and the texts "TRUE", "FALSE" (any case)
// or an integer.
bool booleanOf(const TRawValue& V) {
  switch (kindOf(V.Type)) {
    case TKind::Logical:
      return rawLogical(V);
    case TKind::Signed:
      return rawSigned(V) != 0;
    case TKind::Unsigned:
      return rawUnsigned(V) != 0;
    case TKind::Float:
      return rawFloat(V) != 0;
    case TKind::Str:
    case TKind::WideStr: {
      const AnsiString text = textOf(V, bftLogical);
      const std::string_view s = trimmed(text);
      if (equalsIgnoringCase(s, "TRUE")) return true;
      if (equalsIgnoringCase(s, "FALSE")) return false;
      int64_t value;
      if (!parseInteger(s, value)) cannotConvert(V, bftLogical);
      return value != 0;
    }
    default:
      cannotConvert(V, bftLogical);
  }
}

// --- Comparison ---------------------------------------------------------------------------------

int collationResult(int Result, bool Wide) {
  switch (Result) {
    case CSTR_LESS_THAN:
      return -1;
    case CSTR_EQUAL:
      return 0;
    case CSTR_GREATER_THAN:
      return 1;
    default:
      if (Wide && Result == 0) errors::Raise(errors::kWideCollationMissing);
      errors::Raise(errors::kUnknownCollationResult, {Result});
  }
}

uint32_t collationFlags(bool CaseInsensitive) {
  return SORT_STRINGSORT | (CaseInsensitive ? NORM_IGNORECASE : 0);
}

int limitedCount(size_t Length, int32_t CompareLength) {
  const size_t n =
      CompareLength >= 0 ? std::min(Length, static_cast<size_t>(CompareLength)) : Length;
  return static_cast<int>(n);
}

int compareAnsi(const TRawValue& A, const TRawValue& B, bool CaseInsensitive,
                int32_t CompareLength) {
  const char* s1 = reinterpret_cast<const char*>(A.P);
  const char* s2 = reinterpret_cast<const char*>(B.P);
  const int n1 = limitedCount(ansiLength(A.P, A.Size), CompareLength);
  const int n2 = limitedCount(ansiLength(B.P, B.Size), CompareLength);
  return collationResult(CompareStringA(LOCALE_USER_DEFAULT, collationFlags(CaseInsensitive),
                                        n1 ? s1 : "", n1, n2 ? s2 : "", n2),
                         false);
}

int compareWide(const TRawValue& A, const TRawValue& B, bool CaseInsensitive,
                int32_t CompareLength) {
  std::u16string s1 = rawWide(A.P, A.Size), s2 = rawWide(B.P, B.Size);
  s1.resize(static_cast<size_t>(limitedCount(s1.size(), CompareLength)));
  s2.resize(static_cast<size_t>(limitedCount(s2.size(), CompareLength)));
  return collationResult(
      CompareStringW(LOCALE_USER_DEFAULT, collationFlags(CaseInsensitive), s1.c_str(),
                     static_cast<int>(s1.size()), s2.c_str(), static_cast<int>(s2.size())),
      true);
}

// Unsigned bytes over the shorter of the two, then the shorter first.
int compareBytes(const TRawValue& A, const TRawValue& B) {
  const int32_t n = std::min(std::max(A.Size, 0), std::max(B.Size, 0));
  const int c = n > 0 ? std::memcmp(A.P, B.P, static_cast<size_t>(n)) : 0;
  if (c != 0) return c < 0 ? -1 : 1;
  return A.Size < B.Size ? -1 : (A.Size > B.Size ? 1 : 0);
}

template <class T>
int threeWay(T A, T B) {
  return A < B ? -1 : (B < A ? 1 : 0);
}

// Two non-NULL values of one storage type, each with its readable size.
int compareRaw(const TRawValue& A, const TRawValue& B, bool CaseInsensitive,
               int32_t CompareLength) {
  switch (A.Type) {
    case bftChar:
    case bftVarchar:
    case bftBytes:
      return compareAnsi(A, B, CaseInsensitive, CompareLength);
    case bftWideChar:
    case bftWideVarchar:
      return compareWide(A, B, CaseInsensitive, CompareLength);
    case bftVarBytes:
      return compareBytes(A, B);
    default:
      break;
  }
  switch (kindOf(A.Type)) {
    case TKind::Signed:
      return threeWay(rawSigned(A), rawSigned(B));
    case TKind::Unsigned:
      return threeWay(rawUnsigned(A), rawUnsigned(B));
    case TKind::Float:
      return threeWay(rawFloat(A), rawFloat(B));
    case TKind::Date:
    case TKind::Time:
      return threeWay(rawInt32(A), rawInt32(B));
    case TKind::DateTime: {
      const TABSDateTime a = rawDateTime(A), b = rawDateTime(B);
      const int byDate = threeWay(a.Date, b.Date);
      return byDate != 0 ? byDate : threeWay(a.Time, b.Time);
    }
    case TKind::Logical:
      return threeWay(rawLogical(A), rawLogical(B));
    default:
      errors::Raise(errors::kUnknownCompareDataType, {BaseFieldTypeName(A.Type)});
  }
}

bool isIntegerType(TABSBaseFieldType Type) {
  return kindOf(Type) == TKind::Signed || kindOf(Type) == TKind::Unsigned;
}

// The type two values of different storage types are compared in; 30044 when there is none.
TABSBaseFieldType commonType(TABSBaseFieldType A, TABSBaseFieldType B) {
  if (A == B) return A;
  const TKind ka = kindOf(A), kb = kindOf(B);
  const bool stringA = ka == TKind::Str || ka == TKind::WideStr;
  const bool stringB = kb == TKind::Str || kb == TKind::WideStr;
  if (stringA && stringB)
    return ka == TKind::WideStr || kb == TKind::WideStr ? bftWideVarchar : bftVarchar;
  if (isIntegerType(A) && isIntegerType(B)) return bftSignedInt64;
  if (IsNumericFieldType(A) && IsNumericFieldType(B)) return bftDouble;
  if (IsDateTimeFieldType(A) && IsDateTimeFieldType(B)) return bftDateTime;
  if (stringA || stringB) {
    const TABSBaseFieldType other = stringA ? B : A;
    if (isIntegerType(other)) return bftSignedInt64;
    if (IsNumericFieldType(other)) return bftDouble;
    if (IsDateTimeFieldType(other) || other == bftLogical) return other;
  }
  errors::Raise(errors::kIncompatibleCompare, {BaseFieldTypeName(A), BaseFieldTypeName(B)});
}

}  // namespace

int CompareValues(TABSBaseFieldType Type, const uint8_t* Value1, const uint8_t* Value2,
                  int32_t MaxSize, bool CaseInsensitive, int32_t CompareLength) {
  // Fixed-size values are read whole; MaxSize bounds the sized ones.
  const int32_t fixed = fixedSize(Type);
  const int32_t bound = fixed > 0 ? fixed : MaxSize;
  return compareRaw({Type, Value1, bound}, {Type, Value2, bound}, CaseInsensitive, CompareLength);
}

// --- TABSVariant
// ----------------------------------------------------------------------------------

TABSVariant::TABSVariant(TABSBaseFieldType DataType) : FDataType(DataType) {}

TABSVariant::TABSVariant(const TABSVariant& Other) { Assign(Other, true); }

TABSVariant& TABSVariant::operator=(const TABSVariant& Other) {
  if (this != &Other) Assign(Other, true);
  return *this;
}

TABSVariant::~TABSVariant() = default;

bool TABSVariant::IsNull() const { return FIsNull || FPData == nullptr; }

void TABSVariant::freeData() {
  FOwnedData.reset();
  FPData = nullptr;
  FDataSize = 0;
  FIsDataLinked = false;
}

void TABSVariant::SetNull() {
  freeData();
  FIsNull = true;
}

void TABSVariant::Clear() {
  SetNull();
  FDataType = bftUnknown;
}

// A size-0 value still gets a byte so that it is data, not NULL (the empty string).
void TABSVariant::setOwned(const void* Buffer, int32_t Size, TABSBaseFieldType DataType) {
  const int32_t size = std::max<int32_t>(Size, 0);
  auto bytes = std::make_unique<uint8_t[]>(static_cast<size_t>(std::max<int32_t>(size, 1)));
  if (size > 0) std::memcpy(bytes.get(), Buffer, static_cast<size_t>(size));
  FOwnedData = std::move(bytes);  // Buffer may have pointed into the old bytes: copied first
  FPData = FOwnedData.get();
  FDataSize = size;
  FDataType = DataType;
  FIsDataLinked = false;
  FIsNull = false;
}

void TABSVariant::SetData(const void* Buffer, int32_t Size, TABSBaseFieldType DataType,
                          bool CopyDataFlag) {
  if (!Buffer) {
    SetNull();
    FDataType = DataType;
    return;
  }
  auto* linked = const_cast<uint8_t*>(static_cast<const uint8_t*>(Buffer));
  // Bytes inside the variant's own buffer would not outlive the link: they are copied.
  const std::less_equal<const uint8_t*> notAfter;
  const bool own = FOwnedData && notAfter(FOwnedData.get(), linked) &&
                   notAfter(linked, FOwnedData.get() + FDataSize);
  if (CopyDataFlag || own) {
    setOwned(Buffer, Size, DataType);
    return;
  }
  FOwnedData.reset();
  FPData = linked;
  FDataSize = std::max<int32_t>(Size, 0);
  FDataType = DataType;
  FIsDataLinked = true;
  FIsNull = false;
}

void TABSVariant::Assign(const TABSVariant& Source, bool CopyDataFlag) {
  if (this == &Source) return;
  if (Source.IsNull()) {
    SetNull();
    FDataType = Source.FDataType;
    return;
  }
  SetData(Source.FPData, Source.FDataSize, Source.FDataType, CopyDataFlag);
}

void TABSVariant::CopyDataToAddress(void* Buffer, int32_t MaxSize) const {
  if (FDataSize > MaxSize) errors::Raise(errors::kBufferSizeExceeded);
  if (FDataSize > 0 && FPData) std::memcpy(Buffer, FPData, static_cast<size_t>(FDataSize));
}

// --- Setters ----------------------------------------------------------------------------------

namespace {

// The low bytes of a number, little-endian.
struct TLittleEndian {
  uint8_t Bytes[10] = {};
  explicit TLittleEndian(uint64_t Value) { PutUInt64LE(Bytes, Value); }
};

}  // namespace

void TABSVariant::SetAsShortint(int8_t Value) {
  setOwned(TLittleEndian(static_cast<uint8_t>(Value)).Bytes, 1, bftSignedInt8);
}
void TABSVariant::SetAsSmallint(int16_t Value) {
  setOwned(TLittleEndian(static_cast<uint16_t>(Value)).Bytes, 2, bftSignedInt16);
}
void TABSVariant::SetAsInteger(int32_t Value) {
  setOwned(TLittleEndian(static_cast<uint32_t>(Value)).Bytes, 4, bftSignedInt32);
}
void TABSVariant::SetAsInt64(int64_t Value) {
  setOwned(TLittleEndian(static_cast<uint64_t>(Value)).Bytes, 8, bftSignedInt64);
}
void TABSVariant::SetAsByte(uint8_t Value) { setOwned(&Value, 1, bftUnsignedInt8); }
void TABSVariant::SetAsWord(uint16_t Value) {
  setOwned(TLittleEndian(Value).Bytes, 2, bftUnsignedInt16);
}
void TABSVariant::SetAsCardinal(uint32_t Value) {
  setOwned(TLittleEndian(Value).Bytes, 4, bftUnsignedInt32);
}
void TABSVariant::SetAsSingle(float Value) {
  setOwned(TLittleEndian(std::bit_cast<uint32_t>(Value)).Bytes, 4, bftSingle);
}
void TABSVariant::SetAsDouble(double Value) {
  setOwned(TLittleEndian(std::bit_cast<uint64_t>(Value)).Bytes, 8, bftDouble);
}
void TABSVariant::SetAsExtended(double Value) {
  uint8_t b[10];
  DoubleToExtended(Value, b);
  setOwned(b, 10, bftExtended);
}
void TABSVariant::SetAsAnsiString(const AnsiString& Value) {
  const size_t n = std::strlen(Value.c_str());  // the value ends at an embedded zero
  setOwned(Value.c_str(), static_cast<int32_t>(n + 1), bftVarchar);
}
void TABSVariant::SetAsWideString(const std::u16string& Value) {
  size_t n = 0;
  while (n < Value.size() && Value[n] != u'\0') ++n;
  std::vector<uint8_t> bytes((n + 1) * 2, 0);
  for (size_t i = 0; i < n; ++i) PutUInt16LE(bytes.data() + 2 * i, Value[i]);
  setOwned(bytes.data(), static_cast<int32_t>(bytes.size()), bftWideVarchar);
}
void TABSVariant::SetAsZEVDate(int32_t Value) {
  setOwned(TLittleEndian(static_cast<uint32_t>(Value)).Bytes, 4, bftDate);
}
void TABSVariant::SetAsZEVTime(int32_t Value) {
  setOwned(TLittleEndian(static_cast<uint32_t>(Value)).Bytes, 4, bftTime);
}
void TABSVariant::SetAsZEVDateTime(const TABSDateTime& Value) {
  uint8_t b[TABSDateTime::Size];
  Value.Store(b);
  setOwned(b, TABSDateTime::Size, bftDateTime);
}
void TABSVariant::SetAsTDate(TDateTime Value) { SetAsZEVDate(DateTimeToZEVDate(Value)); }
void TABSVariant::SetAsTTime(TDateTime Value) { SetAsZEVTime(DateTimeToZEVTime(Value)); }
void TABSVariant::SetAsTDateTime(TDateTime Value) {
  SetAsZEVDateTime(DateTimeToZEVDateTime(Value));
}
void TABSVariant::SetAsBoolean(bool Value) {
  setOwned(TLittleEndian(Value ? 1 : 0).Bytes, 2, bftLogical);
}
void TABSVariant::SetAsCurrency(double Value) {
  setOwned(TLittleEndian(std::bit_cast<uint64_t>(Value)).Bytes, 8, bftCurrency);
}

// --- Accessors --------------------------------------------------------------------------------

namespace {

TRawValue rawOf(const TABSVariant& V) {
  if (V.IsNull()) errors::Raise(errors::kValueIsNull);
  return {V.DataType(), V.Data(), V.DataSize()};
}

}  // namespace

int8_t TABSVariant::AsShortint() const {
  return static_cast<int8_t>(integerOf(rawOf(*this), bftSignedInt8));
}
int16_t TABSVariant::AsSmallint() const {
  return static_cast<int16_t>(integerOf(rawOf(*this), bftSignedInt16));
}
int32_t TABSVariant::AsInteger() const {
  return static_cast<int32_t>(integerOf(rawOf(*this), bftSignedInt32));
}
int64_t TABSVariant::AsInt64() const {
  return static_cast<int64_t>(integerOf(rawOf(*this), bftSignedInt64));
}
uint8_t TABSVariant::AsByte() const {
  return static_cast<uint8_t>(integerOf(rawOf(*this), bftUnsignedInt8));
}
uint16_t TABSVariant::AsWord() const {
  return static_cast<uint16_t>(integerOf(rawOf(*this), bftUnsignedInt16));
}
uint32_t TABSVariant::AsCardinal() const {
  return static_cast<uint32_t>(integerOf(rawOf(*this), bftUnsignedInt32));
}
float TABSVariant::AsSingle() const { return singleOf(rawOf(*this)); }
double TABSVariant::AsDouble() const { return doubleOf(rawOf(*this), bftDouble); }
double TABSVariant::AsExtended() const { return doubleOf(rawOf(*this), bftExtended); }
AnsiString TABSVariant::AsAnsiString() const {
  return IsNull() ? AnsiString() : textOf(rawOf(*this), bftVarchar);
}
std::u16string TABSVariant::AsWideString() const {
  return IsNull() ? std::u16string() : wideTextOf(rawOf(*this), bftWideVarchar);
}
int32_t TABSVariant::AsZEVDate() const { return dateOf(rawOf(*this)); }
int32_t TABSVariant::AsZEVTime() const { return timeOf(rawOf(*this)); }
TABSDateTime TABSVariant::AsZEVDateTime() const { return dateTimeOf(rawOf(*this)); }
TDateTime TABSVariant::AsTDate() const { return ZEVDateToDateTime(AsZEVDate()); }
TDateTime TABSVariant::AsTTime() const { return ZEVTimeToDateTime(AsZEVTime()); }
TDateTime TABSVariant::AsTDateTime() const {
  const TRawValue v = rawOf(*this);
  if (kindOf(v.Type) == TKind::Float) return rawFloat(v);  // already a platform date-time
  return ZEVDateTimeToDateTime(dateTimeOf(v));
}
bool TABSVariant::AsBoolean() const { return booleanOf(rawOf(*this)); }
double TABSVariant::AsCurrency() const { return doubleOf(rawOf(*this), bftCurrency); }

// --- Cast -------------------------------------------------------------------------------------

void TABSVariant::Cast(TABSBaseFieldType NewDataType) {
  if (NewDataType == FDataType) return;
  if (IsNull()) {
    SetNull();
    FDataType = NewDataType;
    return;
  }
  TABSVariant result;
  switch (NewDataType) {
    case bftChar:
    case bftVarchar:
      result.SetAsAnsiString(textOf(rawOf(*this), NewDataType));
      break;
    case bftWideChar:
    case bftWideVarchar:
      result.SetAsWideString(wideTextOf(rawOf(*this), NewDataType));
      break;
    case bftSignedInt8:
    case bftSignedInt16:
    case bftSignedInt32:
    case bftSignedInt64:
    case bftUnsignedInt8:
    case bftUnsignedInt16:
    case bftUnsignedInt32: {
      const auto value = static_cast<uint64_t>(integerOf(rawOf(*this), NewDataType));
      result.SetData(TLittleEndian(value).Bytes, fixedSize(NewDataType), NewDataType);
      break;
    }
    case bftSingle:
      result.SetAsSingle(AsSingle());
      break;
    case bftDouble:
      result.SetAsDouble(AsDouble());
      break;
    case bftExtended:
      result.SetAsExtended(AsExtended());
      break;
    case bftCurrency:
      result.SetAsCurrency(AsCurrency());
      break;
    case bftDate:
      result.SetAsZEVDate(AsZEVDate());
      break;
    case bftTime:
      result.SetAsZEVTime(AsZEVTime());
      break;
    case bftDateTime:
      result.SetAsZEVDateTime(AsZEVDateTime());
      break;
    case bftLogical:
      result.SetAsBoolean(AsBoolean());
      break;
    case bftBytes:
    case bftVarBytes:
      // Raw bytes only move between the two byte types.
      if (FDataType != bftBytes && FDataType != bftVarBytes)
        cannotConvert(rawOf(*this), NewDataType);
      result.SetData(FPData, FDataSize, NewDataType);
      break;
    default:
      cannotConvert(rawOf(*this), NewDataType);
  }
  result.FDataType = NewDataType;
  Assign(result, true);
}

// --- Compare ----------------------------------------------------------------------------------

TABSCompareResult TABSVariant::Compare(const TABSVariant& Value, bool TrueFalseNullLogic,
                                       bool CaseInsensitive, bool PartialKey) const {
  const bool leftNull = IsNull(), rightNull = Value.IsNull();
  if (leftNull || rightNull) {
    if (TrueFalseNullLogic)
      return leftNull && rightNull ? cmprBothNull : (leftNull ? cmprLeftNull : cmprRightNull);
    return leftNull && rightNull ? cmprEqual : (leftNull ? cmprLower : cmprGreater);
  }
  const TABSBaseFieldType common = commonType(FDataType, Value.FDataType);
  TABSVariant leftCopy, rightCopy;
  const TABSVariant* left = this;
  const TABSVariant* right = &Value;
  if (FDataType != common) {
    leftCopy.Assign(*this, false);
    leftCopy.Cast(common);
    left = &leftCopy;
  }
  if (Value.FDataType != common) {
    rightCopy.Assign(Value, false);
    rightCopy.Cast(common);
    right = &rightCopy;
  }
  int32_t compareLength = -1;
  if (PartialKey && IsStringFieldType(common))
    compareLength = static_cast<int32_t>(IsWideStringFieldType(common)
                                             ? wideLength(right->FPData, right->FDataSize)
                                             : ansiLength(right->FPData, right->FDataSize));
  const int c =
      compareRaw({common, left->FPData, left->FDataSize}, {common, right->FPData, right->FDataSize},
                 CaseInsensitive, compareLength);
  return c < 0 ? cmprLower : (c > 0 ? cmprGreater : cmprEqual);
}

// --- Streams ----------------------------------------------------------------------------------
//   data type   1 byte
//   null flag   1 byte, 0xFF NULL, 0 a value
//   size        int32 LE       } only for a value
//   bytes       size bytes     }

void TABSVariant::SaveToStream(TABSStream& Stream, const TStreamCodes& Codes) const {
  const uint8_t type = FDataType;
  Stream.WriteBuffer(&type, 1, Codes.DataType);
  const uint8_t nullFlag = IsNull() ? 0xFF : 0;
  Stream.WriteBuffer(&nullFlag, 1, Codes.NullFlag);
  if (IsNull()) return;
  uint8_t size[4];
  PutInt32LE(size, FDataSize);
  Stream.WriteBuffer(size, 4, Codes.DataSize);
  Stream.WriteBuffer(FPData, FDataSize, Codes.Data);
}

// Everything is read before the variant changes, so a failed read leaves it as it was.
void TABSVariant::LoadFromStream(TABSStream& Stream, const TStreamCodes& Codes) {
  uint8_t type = 0, nullFlag = 0;
  Stream.ReadBuffer(&type, 1, Codes.DataType);
  Stream.ReadBuffer(&nullFlag, 1, Codes.NullFlag);
  const auto dataType = static_cast<TABSBaseFieldType>(type);
  if (nullFlag != 0) {
    SetNull();
    FDataType = dataType;
    return;
  }
  uint8_t sizeBytes[4];
  Stream.ReadBuffer(sizeBytes, 4, Codes.DataSize);
  const int32_t size = GetInt32LE(sizeBytes);
  if (size < 0)  // a damaged record: the bytes it announces cannot be read
    throw EABSException(Codes.Data, errors::kStreamReadError.Text,
                        {Stream.GetPosition(), Stream.GetSize(), size, 0});
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  Stream.ReadBuffer(bytes.data(), size, Codes.Data);
  setOwned(bytes.data(), size, dataType);
}

}  // namespace zev
