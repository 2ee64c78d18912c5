#include "engine/tables/ZEVValueText.h"

#include <cstdio>

namespace zev::valuetext {

// Day 1 of the day numbers is 1 January of year 1; 1 January 1970 is day 719163.
constexpr int64_t kUnixEpochDayNumber = 719163;

// Days since 1 January 1970 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
static int64_t daysFromCivil(int64_t Y, unsigned M, unsigned D) {
  Y -= M <= 2;
  const int64_t era = (Y >= 0 ? Y : Y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(Y - era * 400);
  const unsigned doy = (153 * (M > 2 ? M - 3 : M + 9) + 2) / 5 + D - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

static void civilFromDays(int64_t Z, int64_t& Y, unsigned& M, unsigned& D) {
  Z += 719468;
  const int64_t era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(Z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  D = doy - (153 * mp + 2) / 5 + 1;
  M = mp < 10 ? mp + 3 : mp - 9;
  Y = static_cast<int64_t>(yoe) + era * 400 + (M <= 2);
}

AnsiString dateText(int32_t Date) {
  int64_t y;
  unsigned m, d;
  civilFromDays(static_cast<int64_t>(Date) - kUnixEpochDayNumber, y, m, d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  return buf;
}

AnsiString timeText(int32_t Time) {
  const int64_t t = Time;
  char buf[48];
  const int64_t h = t / 3600000, mi = t / 60000 % 60, s = t / 1000 % 60, ms = t % 1000;
  if (ms != 0)
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(h),
                  static_cast<long long>(mi), static_cast<long long>(s),
                  static_cast<long long>(ms));
  else
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(h),
                  static_cast<long long>(mi), static_cast<long long>(s));
  return buf;
}


std::string_view trimmed(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
  return S;
}

// from_chars takes no leading '+'.
std::string_view withoutPlus(std::string_view S) {
  if (S.size() > 1 && S[0] == '+' && S[1] != '-') S.remove_prefix(1);
  return S;
}

bool parseInteger(std::string_view Text, int64_t& Value) {
  const std::string_view s = withoutPlus(trimmed(Text));
  if (s.empty()) return false;
  const auto result = std::from_chars(s.data(), s.data() + s.size(), Value);
  return result.ec == std::errc() && result.ptr == s.data() + s.size();
}


// Exactly Count digits at Pos, moving past them.
static bool digits(std::string_view S, size_t& Pos, size_t Count, int& Value) {
  if (Pos + Count > S.size()) return false;
  Value = 0;
  for (size_t i = 0; i < Count; ++i) {
    const char c = S[Pos + i];
    if (c < '0' || c > '9') return false;
    Value = Value * 10 + (c - '0');
  }
  Pos += Count;
  return true;
}

static bool expect(std::string_view S, size_t& Pos, char C) {
  if (Pos >= S.size() || S[Pos] != C) return false;
  ++Pos;
  return true;
}

// "YYYY-MM-DD" at Pos, years 1 to 9999.
static bool parseDatePart(std::string_view S, size_t& Pos, int32_t& Date) {
  int y, m, d;
  if (!digits(S, Pos, 4, y) || !expect(S, Pos, '-') || !digits(S, Pos, 2, m) ||
      !expect(S, Pos, '-') || !digits(S, Pos, 2, d))
    return false;
  static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kMonthDays[m - 1]) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (m == 2 && d == 29 && !leap) return false;
  Date = static_cast<int32_t>(daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) +
                              kUnixEpochDayNumber);
  return true;
}

// "HH:MM:SS" with an optional fraction of one to three digits, at Pos.
static bool parseTimePart(std::string_view S, size_t& Pos, int32_t& Time) {
  int h, m, s, ms = 0;
  if (!digits(S, Pos, 2, h) || !expect(S, Pos, ':') || !digits(S, Pos, 2, m) ||
      !expect(S, Pos, ':') || !digits(S, Pos, 2, s))
    return false;
  if (Pos < S.size() && S[Pos] == '.') {
    ++Pos;
    size_t n = 0;
    while (Pos + n < S.size() && n < 4 && S[Pos + n] >= '0' && S[Pos + n] <= '9') ++n;
    if (n < 1 || n > 3 || !digits(S, Pos, n, ms)) return false;
    for (size_t i = n; i < 3; ++i) ms *= 10;
  }
  if (h > 23 || m > 59 || s > 59) return false;
  Time = ((h * 60 + m) * 60 + s) * 1000 + ms;
  return true;
}

bool parseTime(std::string_view Text, int32_t& Time) {
  const std::string_view s = trimmed(Text);
  size_t pos = 0;
  return parseTimePart(s, pos, Time) && pos == s.size();
}

// A date alone, or a date, one blank (or 'T') and a time.
bool parseDateTime(std::string_view Text, TABSDateTime& Value) {
  const std::string_view s = trimmed(Text);
  size_t pos = 0;
  Value.Time = 0;
  if (!parseDatePart(s, pos, Value.Date)) return false;
  if (pos == s.size()) return true;
  if (s[pos] != ' ' && s[pos] != 'T') return false;
  ++pos;
  return parseTimePart(s, pos, Value.Time) && pos == s.size();
}

bool equalsIgnoringCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    const auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (up(A[i]) != up(B[i])) return false;
  }
  return true;
}

AnsiString hexText(const uint8_t* P, int32_t Size) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  AnsiString s;
  for (int32_t i = 0; P && i < Size; ++i) {
    s += kHex[P[i] >> 4];
    s += kHex[P[i] & 15];
  }
  return s;
}

}  // namespace zev::valuetext
