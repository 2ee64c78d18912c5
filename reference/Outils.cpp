#include "reference/Outils.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/storage/ZEVExcept.h"
#include "shell/AnsiStrings.h"
#include "shell/FormatSettings.h"
#include "shell/ListView.h"

namespace {

constexpr int kGeneralPrecision = 15;
// Below this decimal exponent (d.ddd x 10^e), that is below 0.00001, the general form turns
// scientific.
constexpr int kSmallestFixedExponent = -5;
// Pixels between a list's top and its first line under the column headers.
constexpr int kListHeaderOffset = 17;

[[noreturn]] void RaiseInvalidFloat(const AnsiString& Text) {
  throw EConvertError("'" + Text + "' is not a valid floating point value");
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

}  // namespace

AnsiString FloatToStr(double Value) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
  if (Value == 0) return "0";

  // "%.14e" rounds to 15 significant digits: "-d.dddddddddddddde[+-]xx".
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.*e", kGeneralPrecision - 1, std::fabs(Value));
  AnsiString scientific(buffer);
  size_t ePos = scientific.find('e');
  AnsiString digits = scientific.substr(0, 1) + scientific.substr(2, ePos - 2);
  int exponent = std::atoi(scientific.c_str() + ePos + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  const char separator = FormatSettings.DecimalSeparator;
  AnsiString result = Value < 0 ? "-" : "";
  if (exponent >= kGeneralPrecision || exponent < kSmallestFixedExponent) {
    result += digits[0];
    if (digits.size() > 1) result += separator + digits.substr(1);
    result += "E" + std::to_string(exponent);
  } else if (exponent < 0) {
    result += "0";
    result += separator;
    result += AnsiString(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else {
    size_t integerDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
      result += digits + AnsiString(integerDigits - digits.size(), '0');
    } else {
      result += digits.substr(0, integerDigits) + separator + digits.substr(integerDigits);
    }
  }
  return result;
}

double StrToFloatLocale(const AnsiString& Text) {
  const char separator = FormatSettings.DecimalSeparator;
  size_t i = 0;
  const size_t n = Text.size();
  while (i < n && IsBlank(Text[i])) ++i;

  // The number is rebuilt in the form std::from_chars reads: '.' as separator, no '+'.
  AnsiString canonical;
  if (i < n && (Text[i] == '+' || Text[i] == '-')) {
    if (Text[i] == '-') canonical += '-';
    ++i;
  }
  int mantissaDigits = 0;
  for (; i < n && IsDigit(Text[i]); ++i, ++mantissaDigits) canonical += Text[i];
  if (i < n && Text[i] == separator) {
    canonical += '.';
    for (++i; i < n && IsDigit(Text[i]); ++i, ++mantissaDigits) canonical += Text[i];
  }
  if (mantissaDigits == 0) RaiseInvalidFloat(Text);
  if (i < n && (Text[i] == 'E' || Text[i] == 'e')) {
    canonical += 'e';
    ++i;
    if (i < n && (Text[i] == '+' || Text[i] == '-')) {
      if (Text[i] == '-') canonical += '-';
      ++i;
    }
    int exponentDigits = 0;
    for (; i < n && IsDigit(Text[i]); ++i, ++exponentDigits) canonical += Text[i];
    if (exponentDigits == 0) RaiseInvalidFloat(Text);
  }
  while (i < n && IsBlank(Text[i])) ++i;
  if (i != n) RaiseInvalidFloat(Text);

  double value = 0;
  const char* first = canonical.data();
  const char* last = first + canonical.size();
  auto [end, error] = std::from_chars(first, last, value);
  // Out of range (overflow to infinity, or underflow) is not a number the locale can hold.
  if (error != std::errc() || end != last) RaiseInvalidFloat(Text);
  return value;
}

int32_t StrToInt(const AnsiString& Text) {
  size_t start = 0;
  while (start < Text.size() && IsBlank(Text[start])) ++start;
  if (start < Text.size() && Text[start] == '+') ++start;
  int32_t value = 0;
  const char* end = Text.data() + Text.size();
  const auto [stop, error] = std::from_chars(Text.data() + start, end, value);
  if (error != std::errc() || stop != end || (start > 0 && Text[start - 1] == '+' &&
                                              start < Text.size() && Text[start] == '-'))
    throw EConvertError("'" + Text + "' is not a valid integer value");
  return value;
}

double LireNombre(const AnsiString& Text) {
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == ',' || c == '.') continue;
    if (c == ' ') return StrToFloatLocale(Text.substr(0, i));
    if (!IsDigit(c)) return i == 0 ? 0.0 : StrToFloatLocale(Text.substr(0, i));
  }
  return StrToFloatLocale(Text);
}

void RechercherDansListe(TListView* List, const AnsiString& SearchText, int Column) {
  if (SearchText.empty()) return;
  TListItems* items = List->Items();
  for (int index = 0; index < items->GetCount(); ++index) {
    TListItem* item = items->GetItem(index);
    const AnsiString text = Column == 0 ? item->GetCaption() : item->SubItems()->Get(Column - 1);
    if (text.size() < SearchText.size()) continue;
    if (AnsiCompareText(text.substr(0, SearchText.size()), SearchText) != 0) continue;
    item->SetSelected(true);
    item->SetFocused(true);
    item->MakeVisible(false);
    List->Scroll(0, item->GetTop() - kListHeaderOffset);
    return;
  }
}
