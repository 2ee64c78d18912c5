// Message formatting with the format rules of the engine's messages.
//
// Format(text, {args}) reads "%" [index ":"] ["-"] [width] ["." precision] type, with width and
// precision given as digits or "*" (taken from the arguments), and the types d (signed
// decimal; the precision is the least number of digits, zero-padded), u (unsigned decimal),
// x (upper-case hexadecimal), s (text; the precision cuts it), f, e, g, n (floating point; n
// with thousands separators) and "%%". Floating point uses '.' as decimal separator.
// A missing argument, an argument of the wrong kind or an unknown type raises EConvertError.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <variant>

#include "engine/storage/ZEVCodePage.h"

// One argument of Format: an integer, a floating-point number or a text.
class TFormatArg {
 public:
  template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, char> &&
                                          !std::is_same_v<T, bool>,
                                      int> = 0>
  TFormatArg(T Value) : FValue(static_cast<int64_t>(Value)) {}  // NOLINT: implicit on purpose
  TFormatArg(double Value) : FValue(Value) {}                    // NOLINT
  TFormatArg(char Value) : FValue(AnsiString(1, Value)) {}       // NOLINT
  TFormatArg(const char* Value) : FValue(AnsiString(Value ? Value : "")) {}  // NOLINT
  TFormatArg(AnsiString Value) : FValue(std::move(Value)) {}                 // NOLINT

  const std::variant<int64_t, double, AnsiString>& Value() const { return FValue; }

 private:
  std::variant<int64_t, double, AnsiString> FValue;
};

namespace zev {

AnsiString Format(const AnsiString& FormatText, std::initializer_list<TFormatArg> Args);

}  // namespace zev
