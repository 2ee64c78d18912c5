#include "engine/storage/ZEVFormat.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "engine/storage/ZEVExcept.h"

namespace zev {
namespace {

[[noreturn]] void Invalid(const AnsiString& FormatText) {
  throw EConvertError("Format '" + FormatText + "' invalid or incompatible with argument");
}

struct Spec {
  bool LeftAlign = false;
  int Width = -1;
  int Precision = -1;
  char Type = 0;
};

class Formatter {
 public:
  Formatter(const AnsiString& Text, std::initializer_list<TFormatArg> Args)
      : FText(Text), FArgs(Args) {}

  AnsiString Run() {
    AnsiString out;
    size_t i = 0;
    while (i < FText.size()) {
      char c = FText[i++];
      if (c != '%') {
        out += c;
        continue;
      }
      if (i < FText.size() && FText[i] == '%') {
        out += '%';
        ++i;
        continue;
      }
      Spec spec = ParseSpec(i);
      out += Pad(Convert(spec), spec);
    }
    return out;
  }

 private:
  int ReadNumberOrStar(size_t& i) {
    if (i < FText.size() && FText[i] == '*') {
      ++i;
      const auto& v = NextArg().Value();
      if (!std::holds_alternative<int64_t>(v)) Invalid(FText);
      return static_cast<int>(std::get<int64_t>(v));
    }
    int n = -1;
    while (i < FText.size() && FText[i] >= '0' && FText[i] <= '9') {
      n = (n < 0 ? 0 : n * 10) + (FText[i++] - '0');
      if (n > 100000) Invalid(FText);
    }
    return n;
  }

  Spec ParseSpec(size_t& i) {
    Spec spec;
    int n = ReadNumberOrStar(i);
    if (i < FText.size() && FText[i] == ':') {  // explicit argument index
      if (n < 0) n = 0;
      FNext = static_cast<size_t>(n);
      ++i;
      n = -1;
    }
    if (n < 0 && i < FText.size() && FText[i] == '-') {
      spec.LeftAlign = true;
      ++i;
    }
    spec.Width = n >= 0 ? n : ReadNumberOrStar(i);
    if (i < FText.size() && FText[i] == '.') {
      ++i;
      spec.Precision = ReadNumberOrStar(i);
      if (spec.Precision < 0) spec.Precision = 0;
    }
    if (i >= FText.size()) Invalid(FText);
    spec.Type = static_cast<char>(std::tolower(static_cast<unsigned char>(FText[i++])));
    return spec;
  }

  const TFormatArg& NextArg() {
    if (FNext >= FArgs.size()) Invalid(FText);
    return FArgs.begin()[FNext++];
  }

  AnsiString Convert(const Spec& spec) {
    const auto& v = NextArg().Value();
    switch (spec.Type) {
      case 'd':
      case 'u':
      case 'x':
        if (!std::holds_alternative<int64_t>(v)) Invalid(FText);
        return Integer(std::get<int64_t>(v), spec);
      case 's': {
        if (!std::holds_alternative<AnsiString>(v)) Invalid(FText);
        const AnsiString& s = std::get<AnsiString>(v);
        return spec.Precision >= 0 ? s.substr(0, static_cast<size_t>(spec.Precision)) : s;
      }
      case 'f':
      case 'e':
      case 'g':
      case 'n':
        if (!std::holds_alternative<double>(v)) Invalid(FText);
        return Float(std::get<double>(v), spec);
      default:
        Invalid(FText);
    }
  }

  static AnsiString Integer(int64_t value, const Spec& spec) {
    char digits[32];
    bool negative = false;
    if (spec.Type == 'x' || spec.Type == 'u') {
      // A negative 32-bit value prints as its 32-bit two's complement, a wider one as 64-bit.
      uint64_t bits = (value < 0 && value >= INT32_MIN) ? static_cast<uint32_t>(value)
                                                        : static_cast<uint64_t>(value);
      std::snprintf(digits, sizeof digits, spec.Type == 'x' ? "%" PRIX64 : "%" PRIu64, bits);
    } else {
      negative = value < 0;
      std::snprintf(digits, sizeof digits, "%" PRIu64,
                    negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
    }
    AnsiString s = digits;
    if (spec.Precision > static_cast<int>(s.size()))
      s.insert(0, static_cast<size_t>(spec.Precision) - s.size(), '0');
    return negative ? "-" + s : s;
  }

  static AnsiString Float(double value, const Spec& spec) {
    char buf[512];
    switch (spec.Type) {
      case 'f':
        std::snprintf(buf, sizeof buf, "%.*f", spec.Precision < 0 ? 2 : spec.Precision, value);
        return buf;
      case 'n':
        std::snprintf(buf, sizeof buf, "%.*f", spec.Precision < 0 ? 2 : spec.Precision, value);
        return GroupThousands(buf);
      case 'e':
        std::snprintf(buf, sizeof buf, "%.*E",
                      (spec.Precision < 0 ? 15 : std::max(spec.Precision, 1)) - 1, value);
        return buf;
      default:
        std::snprintf(buf, sizeof buf, "%.*G", spec.Precision < 0 ? 15 : spec.Precision, value);
        return buf;
    }
  }

  static AnsiString GroupThousands(const AnsiString& fixed) {
    size_t start = (!fixed.empty() && fixed[0] == '-') ? 1 : 0;
    size_t end = fixed.find('.');
    if (end == AnsiString::npos) end = fixed.size();
    AnsiString out = fixed.substr(0, start);
    for (size_t i = start; i < end; ++i) {
      if (i > start && (end - i) % 3 == 0) out += ',';
      out += fixed[i];
    }
    return out + fixed.substr(end);
  }

  static AnsiString Pad(AnsiString s, const Spec& spec) {
    if (spec.Width > static_cast<int>(s.size())) {
      size_t fill = static_cast<size_t>(spec.Width) - s.size();
      if (spec.LeftAlign)
        s.append(fill, ' ');
      else
        s.insert(0, fill, ' ');
    }
    return s;
  }

  const AnsiString& FText;
  std::initializer_list<TFormatArg> FArgs;
  size_t FNext = 0;
};

}  // namespace

AnsiString Format(const AnsiString& FormatText, std::initializer_list<TFormatArg> Args) {
  return Formatter(FormatText, Args).Run();
}

}  // namespace zev
