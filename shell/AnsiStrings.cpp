#include "shell/AnsiStrings.h"

#include <algorithm>
#include <cctype>

#include "engine/storage/ZEVCollation.h"

namespace {

int compareAsciiFolded(const AnsiString& S1, const AnsiString& S2) {
  auto fold = [](unsigned char c) { return std::tolower(c); };
  auto r = std::lexicographical_compare_three_way(
      S1.begin(), S1.end(), S2.begin(), S2.end(),
      [&](char a, char b) { return fold(static_cast<unsigned char>(a)) <=> fold(b); });
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace

int AnsiCompareText(const AnsiString& S1, const AnsiString& S2) {
  int r = zev::CompareStringA(zev::LOCALE_USER_DEFAULT, zev::NORM_IGNORECASE | zev::SORT_STRINGSORT,
                              S1.data(), static_cast<int>(S1.size()), S2.data(),
                              static_cast<int>(S2.size()));
  if (r == 0) return compareAsciiFolded(S1, S2);
  return r - zev::CSTR_EQUAL;
}

bool AnsiSameText(const AnsiString& S1, const AnsiString& S2) {
  return AnsiCompareText(S1, S2) == 0;
}
