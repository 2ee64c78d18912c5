#include "engine/tables/Field.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/tables/DBError.h"
#include "engine/tables/DataSet.h"

namespace zev {

namespace {

AnsiString trimmed(const AnsiString& Text) {
  size_t b = 0, e = Text.size();
  while (b < e && (Text[b] == ' ' || Text[b] == '\t')) ++b;
  while (e > b && (Text[e - 1] == ' ' || Text[e - 1] == '\t')) --e;
  return Text.substr(b, e - b);
}

bool parseInt64(const AnsiString& Text, int64_t& Value) {
  AnsiString t = trimmed(Text);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  if (t.empty()) return false;
  const auto r = std::from_chars(t.data(), t.data() + t.size(), Value);
  return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

bool parseDouble(const AnsiString& Text, double& Value) {
  AnsiString t = trimmed(Text);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  if (t.empty()) return false;
  const auto r = std::from_chars(t.data(), t.data() + t.size(), Value);
  return r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(Value);
}

AnsiString floatText(double Value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::general, 15);
  return AnsiString(buf, r.ptr);
}

int64_t parseIntegerOrRaise(const AnsiString& Text) {
  int64_t v = 0;
  if (!parseInt64(Text, v)) DatabaseErrorFmt(dbtexts::SInvalidIntegerValue, {Text});
  return v;
}

double parseFloatOrRaise(const AnsiString& Text) {
  double v = 0;
  if (!parseDouble(Text, v)) DatabaseErrorFmt(dbtexts::SInvalidFloatValue, {Text});
  return v;
}

// Days since 1970-01-01 <-> proleptic Gregorian date (H. Hinnant's civil-date algorithms).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

constexpr int64_t kUnixEpochDays = 25569;  // 1 January 1970 as a date-time

}  // namespace

AnsiString DateTimeToText(TDateTime Value, bool WithDate, bool WithTime) {
  int64_t days = DateTimeToZEVDate(Value) - kDateDelta;
  int64_t ms = DateTimeToZEVTime(Value);
  if (ms >= kMSecsPerDay) {  // rounded up to midnight
    ms -= kMSecsPerDay;
    days += Value < 0 ? -1 : 1;
  }
  AnsiString out;
  char buf[48];
  if (WithDate) {
    int64_t y;
    unsigned m, d;
    civilFromDays(days - kUnixEpochDays, y, m, d);
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    out += buf;
  }
  if (WithTime) {
    const int64_t s = ms / 1000;
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

bool TextToDateTime(const AnsiString& Text, TDateTime& Value) {
  const AnsiString t = trimmed(Text);
  if (t.empty()) return false;
  const size_t blank = t.find(' ');
  AnsiString datePart, timePart;
  if (blank != AnsiString::npos) {
    datePart = t.substr(0, blank);
    timePart = trimmed(t.substr(blank + 1));
  } else if (t.find(':') != AnsiString::npos) {
    timePart = t;
  } else {
    datePart = t;
  }
  double days = 0, fraction = 0;
  if (!datePart.empty()) {
    int y = 0, n = 0;
    unsigned m = 0, d = 0;
    if (std::sscanf(datePart.c_str(), "%d-%u-%u%n", &y, &m, &d, &n) != 3 ||
        n != static_cast<int>(datePart.size()) || m < 1 || m > 12 || d < 1 || d > 31) {
      return false;
    }
    const int64_t z = daysFromCivil(y, m, d);
    int64_t cy;
    unsigned cm, cd;
    civilFromDays(z, cy, cm, cd);
    if (cm != m || cd != d) return false;  // 31 April and the like
    days = static_cast<double>(z + kUnixEpochDays);
  }
  if (!timePart.empty()) {
    unsigned h = 0, mi = 0, s = 0, ms = 0;
    int n = 0;
    const char* p = timePart.c_str();
    const int size = static_cast<int>(timePart.size());
    bool ok = false;
    if (std::sscanf(p, "%u:%u:%u.%u%n", &h, &mi, &s, &ms, &n) == 4 && n == size)
      ok = ms < 1000;
    else if (std::sscanf(p, "%u:%u:%u%n", &h, &mi, &s, &n) == 3 && n == size)
      ok = true;
    else if (std::sscanf(p, "%u:%u%n", &h, &mi, &n) == 2 && n == size)
      ok = true;
    if (!ok || h > 23 || mi > 59 || s > 59) return false;
    fraction = ((h * 3600.0 + mi * 60.0 + s) * 1000.0 + ms) / kMSecsPerDay;
  }
  Value = days < 0 ? days - fraction : days + fraction;
  return true;
}

// --- TField ----------------------------------------------------------------------------------

TField::TField(TDataSet* DataSet, const AnsiString& FieldName, TFieldType DataType, int32_t Size,
               bool Required)
    : FDataSet(DataSet),
      FFieldName(FieldName),
      FDataType(DataType),
      FSize(Size),
      FRequired(Required) {}

const AnsiString& TField::DisplayName() const {
  return FDisplayName.empty() ? FFieldName : FDisplayName;
}

bool TField::GetData(void* Buffer) const {
  return FDataSet && FDataSet->GetFieldData(*this, Buffer);
}

void TField::SetData(const void* Buffer) {
  if (!FDataSet) DatabaseErrorFmt(dbtexts::SFieldNoDataSet, {DisplayName()});
  FDataSet->CheckFieldWritable(*this);
  if (FReadOnly && FDataSet->State() != dsSetKey) {
    DatabaseErrorFmt(dbtexts::SFieldReadOnly, {DisplayName()}, FDataSet);
  }
  FDataSet->SetFieldData(*this, Buffer);
  FDataSet->FieldChanged(*this);
}

bool TField::IsNull() const { return !GetData(nullptr); }

void TField::Clear() { SetData(nullptr); }

void TField::AccessError(const char* TypeName) const {
  switch (FDataType) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftWideMemo:
      DatabaseErrorFmt(dbtexts::SFieldBlobNotSupported, {DisplayName()});
    default:
      DatabaseErrorFmt(dbtexts::SFieldAccessError, {DisplayName(), TypeName});
  }
}

void TField::CheckRange(int64_t Value, int64_t Min, int64_t Max) const {
  if (Value < Min || Value > Max) {
    DatabaseErrorFmt(dbtexts::SFieldRangeError, {Value, DisplayName(), Min, Max});
  }
}

int32_t TField::AsInteger() const {
  const int64_t v = AsLargeInt();
  CheckRange(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(v);
}

int64_t TField::AsLargeInt() const { AccessError("Integer"); }
void TField::SetAsLargeInt(int64_t) { AccessError("Integer"); }
double TField::AsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
bool TField::AsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
AnsiString TField::AsString() const { AccessError("String"); }
void TField::SetAsString(const AnsiString&) { AccessError("String"); }
TDateTime TField::AsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }

// --- TStringField ----------------------------------------------------------------------------

TStringField::TStringField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size,
                           bool Required, TFieldType DataType)
    : TField(DataSet, FieldName, DataType, Size, Required) {}

bool TStringField::ReadText(AnsiString& Text) const {
  std::vector<uint8_t> buf(DataSize(), 0);
  if (!GetData(buf.data())) return false;
  const char* p = reinterpret_cast<const char*>(buf.data());
  Text.assign(p, strnlen(p, static_cast<size_t>(Size())));
  return true;
}

void TStringField::WriteText(const AnsiString& Text) {
  std::vector<uint8_t> buf(DataSize(), 0);
  std::memcpy(buf.data(), Text.data(), Text.size());
  SetData(buf.data());
}

AnsiString TStringField::AsString() const {
  AnsiString text;
  return ReadText(text) ? text : AnsiString();
}

void TStringField::SetAsString(const AnsiString& Value) {
  const size_t length = DataType() == ftWideString ? Utf16FromAnsi(Value).size() : Value.size();
  if (length > static_cast<size_t>(Size())) {
    DatabaseErrorFmt(dbtexts::SFieldTooLong, {DisplayName(), Size()}, DataSet());
  }
  WriteText(Value);
}

int64_t TStringField::AsLargeInt() const {
  const AnsiString text = AsString();
  return text.empty() ? 0 : parseIntegerOrRaise(text);
}
void TStringField::SetAsLargeInt(int64_t Value) { SetAsString(std::to_string(Value)); }

double TStringField::AsFloat() const {
  const AnsiString text = AsString();
  return text.empty() ? 0 : parseFloatOrRaise(text);
}
void TStringField::SetAsFloat(double Value) { SetAsString(floatText(Value)); }

bool TStringField::AsBoolean() const {
  const AnsiString text = AsString();
  return !text.empty() && std::strchr("TtYy1", text[0]) != nullptr;
}
void TStringField::SetAsBoolean(bool Value) { SetAsString(Value ? "T" : "F"); }

TDateTime TStringField::AsDateTime() const {
  const AnsiString text = AsString();
  TDateTime v = 0;
  if (!text.empty() && !TextToDateTime(text, v)) {
    DatabaseErrorFmt(dbtexts::SInvalidDateTime, {text});
  }
  return v;
}
void TStringField::SetAsDateTime(TDateTime Value) {
  SetAsString(DateTimeToText(Value, true, true));
}

TWideStringField::TWideStringField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size,
                                   bool Required)
    : TStringField(DataSet, FieldName, Size, Required, ftWideString) {}

bool TWideStringField::ReadText(AnsiString& Text) const {
  std::vector<uint8_t> buf(DataSize(), 0);
  if (!GetData(buf.data())) return false;
  std::u16string wide;
  for (int32_t i = 0; i < Size(); ++i) {
    const uint16_t c = GetUInt16LE(buf.data() + 2 * i);
    if (c == 0) break;
    wide.push_back(static_cast<char16_t>(c));
  }
  Text = AnsiFromUtf16(wide);
  return true;
}

void TWideStringField::WriteText(const AnsiString& Text) {
  std::vector<uint8_t> buf(DataSize(), 0);
  const std::u16string wide = Utf16FromAnsi(Text);
  for (size_t i = 0; i < wide.size(); ++i) {
    PutUInt16LE(buf.data() + 2 * i, static_cast<uint16_t>(wide[i]));
  }
  SetData(buf.data());
}

// --- Integer fields --------------------------------------------------------------------------

TIntegralField::TIntegralField(TDataSet* DataSet, const AnsiString& FieldName, TFieldType DataType,
                               bool Required, int64_t MinValue, int64_t MaxValue)
    : TField(DataSet, FieldName, DataType, 0, Required), FMinValue(MinValue), FMaxValue(MaxValue) {}

int32_t TIntegralField::DataSize() const {
  switch (DataType()) {
    case ftSmallint:
    case ftWord:
      return 2;
    case ftLargeint:
      return 8;
    default:
      return 4;
  }
}

int64_t TIntegralField::AsLargeInt() const {
  uint8_t buf[8] = {};
  if (!GetData(buf)) return 0;
  switch (DataType()) {
    case ftSmallint:
      return GetInt16LE(buf);
    case ftWord:
      return GetUInt16LE(buf);
    case ftLargeint:
      return GetInt64LE(buf);
    default:
      return GetInt32LE(buf);
  }
}

void TIntegralField::SetAsLargeInt(int64_t Value) {
  CheckRange(Value, FMinValue, FMaxValue);
  uint8_t buf[8] = {};
  switch (DataType()) {
    case ftSmallint:
      PutInt16LE(buf, static_cast<int16_t>(Value));
      break;
    case ftWord:
      PutUInt16LE(buf, static_cast<uint16_t>(Value));
      break;
    case ftLargeint:
      PutInt64LE(buf, Value);
      break;
    default:
      PutInt32LE(buf, static_cast<int32_t>(Value));
      break;
  }
  SetData(buf);
}

double TIntegralField::AsFloat() const { return static_cast<double>(AsLargeInt()); }

void TIntegralField::SetAsFloat(double Value) {
  const double r = std::round(Value);
  // Outside the int64 range the field's range check cannot see the value: refuse it here.
  if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18)) {
    DatabaseErrorFmt(dbtexts::SInvalidIntegerValue, {floatText(Value)});
  }
  SetAsLargeInt(static_cast<int64_t>(r));
}

AnsiString TIntegralField::AsString() const {
  if (IsNull()) return AnsiString();
  return std::to_string(AsLargeInt());
}

void TIntegralField::SetAsString(const AnsiString& Value) {
  if (trimmed(Value).empty()) {
    Clear();
    return;
  }
  SetAsLargeInt(parseIntegerOrRaise(Value));
}

TIntegerField::TIntegerField(TDataSet* DataSet, const AnsiString& FieldName, int32_t, bool Required)
    : TIntegralField(DataSet, FieldName, ftInteger, Required, std::numeric_limits<int32_t>::min(),
                     std::numeric_limits<int32_t>::max()) {}

TIntegerField::TIntegerField(TDataSet* DataSet, const AnsiString& FieldName, TFieldType DataType,
                             bool Required, int64_t MinValue, int64_t MaxValue)
    : TIntegralField(DataSet, FieldName, DataType, Required, MinValue, MaxValue) {}

TSmallintField::TSmallintField(TDataSet* DataSet, const AnsiString& FieldName, int32_t,
                               bool Required)
    : TIntegerField(DataSet, FieldName, ftSmallint, Required, -32768, 32767) {}

TWordField::TWordField(TDataSet* DataSet, const AnsiString& FieldName, int32_t, bool Required)
    : TIntegerField(DataSet, FieldName, ftWord, Required, 0, 65535) {}

TAutoIncField::TAutoIncField(TDataSet* DataSet, const AnsiString& FieldName, int32_t, bool Required)
    : TIntegerField(DataSet, FieldName, ftAutoInc, Required, std::numeric_limits<int32_t>::min(),
                    std::numeric_limits<int32_t>::max()) {}

TLargeintField::TLargeintField(TDataSet* DataSet, const AnsiString& FieldName, int32_t,
                               bool Required)
    : TIntegralField(DataSet, FieldName, ftLargeint, Required, std::numeric_limits<int64_t>::min(),
                     std::numeric_limits<int64_t>::max()) {}

// --- Float fields ----------------------------------------------------------------------------

TFloatField::TFloatField(TDataSet* DataSet, const AnsiString& FieldName, int32_t, bool Required,
                         TFieldType DataType)
    : TField(DataSet, FieldName, DataType, 0, Required) {}

double TFloatField::AsFloat() const {
  uint8_t buf[8] = {};
  return GetData(buf) ? GetDoubleLE(buf) : 0;
}

void TFloatField::SetAsFloat(double Value) {
  uint8_t buf[8];
  PutDoubleLE(buf, Value);
  SetData(buf);
}

int64_t TFloatField::AsLargeInt() const {
  const double r = std::round(AsFloat());
  if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18)) {
    DatabaseErrorFmt(dbtexts::SInvalidIntegerValue, {floatText(AsFloat())});
  }
  return static_cast<int64_t>(r);
}

AnsiString TFloatField::AsString() const {
  if (IsNull()) return AnsiString();
  return floatText(AsFloat());
}

void TFloatField::SetAsString(const AnsiString& Value) {
  if (trimmed(Value).empty()) {
    Clear();
    return;
  }
  SetAsFloat(parseFloatOrRaise(Value));
}

TCurrencyField::TCurrencyField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size,
                               bool Required)
    : TFloatField(DataSet, FieldName, Size, Required, ftCurrency) {}

// --- Boolean field ---------------------------------------------------------------------------

TBooleanField::TBooleanField(TDataSet* DataSet, const AnsiString& FieldName, int32_t, bool Required)
    : TField(DataSet, FieldName, ftBoolean, 0, Required) {}

bool TBooleanField::AsBoolean() const {
  uint8_t buf[2] = {};
  return GetData(buf) && GetUInt16LE(buf) != 0;
}

void TBooleanField::SetAsBoolean(bool Value) {
  uint8_t buf[2];
  PutUInt16LE(buf, Value ? 1 : 0);
  SetData(buf);
}

AnsiString TBooleanField::AsString() const {
  if (IsNull()) return AnsiString();
  return AsBoolean() ? "True" : "False";
}

void TBooleanField::SetAsString(const AnsiString& Value) {
  const AnsiString t = AnsiUpperCase(trimmed(Value));
  if (t.empty())
    Clear();
  else if (t == "TRUE" || t == "T" || t == "Y" || t == "YES" || t == "1")
    SetAsBoolean(true);
  else if (t == "FALSE" || t == "F" || t == "N" || t == "NO" || t == "0")
    SetAsBoolean(false);
  else
    DatabaseErrorFmt(dbtexts::SInvalidBoolValue, {Value});
}

// --- Date and time fields --------------------------------------------------------------------

TDateTimeField::TDateTimeField(TDataSet* DataSet, const AnsiString& FieldName, int32_t,
                               bool Required, TFieldType DataType)
    : TField(DataSet, FieldName, DataType, 0, Required) {}

int32_t TDateTimeField::DataSize() const {
  return DataType() == ftDate || DataType() == ftTime ? 4 : 8;
}

TDateTime TDateTimeField::AsDateTime() const {
  uint8_t buf[8] = {};
  if (!GetData(buf)) return 0;
  switch (DataType()) {
    case ftDate:
      return ZEVDateToDateTime(GetInt32LE(buf));
    case ftTime:
      return ZEVTimeToDateTime(GetInt32LE(buf));
    default:
      return GetDoubleLE(buf) / kMSecsPerDay - kDateDelta;
  }
}

void TDateTimeField::SetAsDateTime(TDateTime Value) {
  uint8_t buf[8] = {};
  switch (DataType()) {
    case ftDate:
      PutInt32LE(buf, DateTimeToZEVDate(Value));
      break;
    case ftTime:
      PutInt32LE(buf, DateTimeToZEVTime(Value));
      break;
    default:
      PutDoubleLE(buf, (Value + kDateDelta) * kMSecsPerDay);
      break;
  }
  SetData(buf);
}

AnsiString TDateTimeField::AsString() const {
  if (IsNull()) return AnsiString();
  return DateTimeToText(AsDateTime(), DataType() != ftTime, DataType() != ftDate);
}

void TDateTimeField::SetAsString(const AnsiString& Value) {
  if (trimmed(Value).empty()) {
    Clear();
    return;
  }
  TDateTime v = 0;
  if (!TextToDateTime(Value, v)) DatabaseErrorFmt(dbtexts::SInvalidDateTime, {Value});
  SetAsDateTime(v);
}

TDateField::TDateField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size, bool Required)
    : TDateTimeField(DataSet, FieldName, Size, Required, ftDate) {}

TTimeField::TTimeField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size, bool Required)
    : TDateTimeField(DataSet, FieldName, Size, Required, ftTime) {}

// --- BLOB fields -----------------------------------------------------------------------------

TBlobField::TBlobField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size, bool Required,
                       TFieldType DataType)
    : TField(DataSet, FieldName, DataType, Size, Required) {}

TMemoField::TMemoField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size, bool Required,
                       TFieldType DataType)
    : TBlobField(DataSet, FieldName, Size, Required, DataType) {}

// --- Factory ---------------------------------------------------------------------------------

std::unique_ptr<TField> CreateField(TDataSet& DataSet, const TFieldDef& Def) {
  TDataSet* ds = &DataSet;
  const AnsiString& n = Def.Name();
  const int32_t s = Def.Size();
  const bool r = Def.Required();
  std::unique_ptr<TField> f;
  switch (Def.DataType()) {
    case ftString:
    case ftFixedChar:
    case ftGuid:
      f = std::make_unique<TStringField>(ds, n, s, r, Def.DataType());
      break;
    case ftWideString:
      f = std::make_unique<TWideStringField>(ds, n, s, r);
      break;
    case ftSmallint:
      f = std::make_unique<TSmallintField>(ds, n, s, r);
      break;
    case ftWord:
      f = std::make_unique<TWordField>(ds, n, s, r);
      break;
    case ftInteger:
      f = std::make_unique<TIntegerField>(ds, n, s, r);
      break;
    case ftAutoInc:
      f = std::make_unique<TAutoIncField>(ds, n, s, r);
      break;
    case ftLargeint:
      f = std::make_unique<TLargeintField>(ds, n, s, r);
      break;
    case ftFloat:
      f = std::make_unique<TFloatField>(ds, n, s, r);
      break;
    case ftCurrency:
      f = std::make_unique<TCurrencyField>(ds, n, s, r);
      break;
    case ftBoolean:
      f = std::make_unique<TBooleanField>(ds, n, s, r);
      break;
    case ftDate:
      f = std::make_unique<TDateField>(ds, n, s, r);
      break;
    case ftTime:
      f = std::make_unique<TTimeField>(ds, n, s, r);
      break;
    case ftDateTime:
    case ftTimeStamp:
      f = std::make_unique<TDateTimeField>(ds, n, s, r, Def.DataType());
      break;
    case ftBlob:
    case ftGraphic:
      f = std::make_unique<TBlobField>(ds, n, s, r, Def.DataType());
      break;
    case ftMemo:
    case ftFmtMemo:
    case ftWideMemo:
      f = std::make_unique<TMemoField>(ds, n, s, r, Def.DataType());
      break;
    default:
      DatabaseErrorFmt(dbtexts::SUnknownFieldType, {n}, ds);
  }
  f->SetFieldNo(Def.FieldNo());
  return f;
}

}  // namespace zev
