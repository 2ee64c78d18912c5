// Text forms of values, shared by the value conversions: numbers in decimal, floats in the
// shortest text that reads back to the same value, dates "YYYY-MM-DD" (day numbers with day 1
// = 1 January of year 1), times "HH:MM:SS" with ".mmm" when there are milliseconds, date-times
// as a date, one blank (or 'T') and a time, booleans "TRUE"/"FALSE". Parsers answer false for a
// text that is not of the form; blanks and tabs around it are ignored.
// Pure functions; nothing raises.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

#include "engine/storage/ZEVCodePage.h"
#include "engine/tables/ZEVTypes.h"

namespace zev::valuetext {

AnsiString dateText(int32_t Date);
AnsiString timeText(int32_t Time);
std::string_view trimmed(std::string_view S);
// from_chars takes no leading '+'.
std::string_view withoutPlus(std::string_view S);
bool parseInteger(std::string_view Text, int64_t& Value);
bool parseTime(std::string_view Text, int32_t& Time);
bool parseDateTime(std::string_view Text, TABSDateTime& Value);
bool equalsIgnoringCase(std::string_view A, std::string_view B);
AnsiString hexText(const uint8_t* P, int32_t Size);

template <class T>
AnsiString floatText(T Value) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, Value);
  return AnsiString(buf, result.ptr);
}

template <class T>
bool parseFloat(std::string_view Text, T& Value) {
  const std::string_view s = withoutPlus(trimmed(Text));
  if (s.empty()) return false;
  const auto result = std::from_chars(s.data(), s.data() + s.size(), Value);
  return result.ec == std::errc() && result.ptr == s.data() + s.size();
}

}  // namespace zev::valuetext
