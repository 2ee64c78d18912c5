#include "shell/DecimalText.h"

#include <charconv>
#include <cmath>

std::string RoundHalfAwayFromZero(double Value, int Places) {
  if (Places < 0) Places = 0;
  if (!std::isfinite(Value)) Value = 0;
  char buf[512];
  auto written = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::fixed);
  std::string text(buf, written.ptr);
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  auto point = text.find('.');
  std::string digits = text.substr(0, point);
  std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  bool roundUp = static_cast<int>(fraction.size()) > Places && fraction[Places] >= '5';
  fraction.resize(Places, '0');
  std::string all = digits + fraction;
  if (roundUp) {
    int i = static_cast<int>(all.size()) - 1;
    for (; i >= 0 && all[i] == '9'; --i) all[i] = '0';
    if (i >= 0)
      ++all[i];
    else
      all.insert(all.begin(), '1');
  }
  if (all.find_first_not_of('0') == std::string::npos) negative = false;
  std::string integer = all.substr(0, all.size() - Places);
  std::string result = (negative ? "-" : "") + integer;
  if (Places > 0) result += "." + all.substr(all.size() - Places);
  return result;
}

std::string LocalizeDecimal(const std::string& Canonical, char DecimalSeparator,
                            char ThousandSeparator) {
  size_t start = !Canonical.empty() && Canonical[0] == '-' ? 1 : 0;
  size_t point = Canonical.find('.');
  size_t end = point == std::string::npos ? Canonical.size() : point;
  std::string out = Canonical.substr(0, start);
  for (size_t i = start; i < end; ++i) {
    out += Canonical[i];
    size_t remaining = end - i - 1;
    if (ThousandSeparator != '\0' && remaining > 0 && remaining % 3 == 0) out += ThousandSeparator;
  }
  if (point != std::string::npos) out += DecimalSeparator + Canonical.substr(point + 1);
  return out;
}

bool ReadDecimal(const std::string& Text, char DecimalSeparator, double& Value) {
  Value = 0;
  size_t b = Text.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  size_t e = Text.find_last_not_of(" \t") + 1;
  std::string canonical;
  size_t i = b;
  if (Text[i] == '-' || Text[i] == '+') {
    if (Text[i] == '-') canonical += '-';
    ++i;
  }
  bool anyDigit = false, seenPoint = false;
  for (; i < e; ++i) {
    char c = Text[i];
    if (c >= '0' && c <= '9') {
      canonical += c;
      anyDigit = true;
    } else if ((c == DecimalSeparator || c == '.') && !seenPoint) {
      canonical += '.';
      seenPoint = true;
    } else {
      return false;
    }
  }
  if (!anyDigit) return false;
  double v = 0;
  auto r = std::from_chars(canonical.data(), canonical.data() + canonical.size(), v,
                           std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != canonical.data() + canonical.size()) return false;
  Value = v;
  return true;
}
