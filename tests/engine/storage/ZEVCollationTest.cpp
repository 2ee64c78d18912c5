#include "engine/storage/ZEVCollation.h"

#include <gtest/gtest.h>

namespace {

using zev::CSTR_EQUAL;
using zev::CSTR_GREATER_THAN;
using zev::CSTR_LESS_THAN;

class Collation : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { zev::SetUserCollationLocale(GetParam()); }
  void TearDown() override { zev::SetUserCollationLocale("", true); }

  static int A(const char* a, const char* b, bool ignoreCase, int count = -1) {
    uint32_t flags = zev::SORT_STRINGSORT | (ignoreCase ? zev::NORM_IGNORECASE : 0);
    return zev::CompareStringA(zev::LOCALE_USER_DEFAULT, flags, a, count, b, count);
  }
};

TEST_P(Collation, SingleByteStrings) {
  struct Case {
    const char* Left;
    const char* Right;
    bool IgnoreCase;
    int Count;
    int Expected;
  };
  const Case cases[] = {
      {"Verre", "verre", true, -1, CSTR_EQUAL},
      {"verre", "Verre", false, -1, CSTR_LESS_THAN},  // lower case first
      {"Verre", "verre", false, -1, CSTR_GREATER_THAN},
      {"b", "A", false, -1, CSTR_GREATER_THAN},       // letters before case
      {"\xE9" "t\xE9", "ETE", true, -1, CSTR_GREATER_THAN},  // accents still count
      {"e", "\xE9", true, -1, CSTR_LESS_THAN},
      {"\xE9", "f", true, -1, CSTR_LESS_THAN},               // e-acute sorts with e
      {"carton", "Carton ondul\xE9", true, -1, CSTR_LESS_THAN},
      {"a-b", "ab", true, -1, CSTR_LESS_THAN},               // string sort: hyphen counts
      {"PAPIER", "papeterie", true, 3, CSTR_EQUAL},          // prefix of three
      {"PAPIER", "papeterie", true, 4, CSTR_GREATER_THAN},
      {"ab", "abc", true, 3, CSTR_LESS_THAN},                // a zero ends the shorter one
      {"", "", false, -1, CSTR_EQUAL},
      {"", "a", false, -1, CSTR_LESS_THAN},
  };
  for (const auto& c : cases)
    EXPECT_EQ(A(c.Left, c.Right, c.IgnoreCase, c.Count), c.Expected)
        << c.Left << " / " << c.Right << " count " << c.Count;
}

TEST_P(Collation, Utf16Strings) {
  auto w = [](const char16_t* a, const char16_t* b, uint32_t flags, int count = -1) {
    return zev::CompareStringW(zev::LOCALE_USER_DEFAULT, flags, a, count, b, count);
  };
  EXPECT_EQ(w(u"\u0141\u00F3d\u017A", u"\u0142\u00F3d\u017A", zev::NORM_IGNORECASE), CSTR_EQUAL);
  EXPECT_EQ(w(u"\u0153uvre", u"oeuvre", 0), CSTR_GREATER_THAN);
  EXPECT_EQ(w(u"ZEBRE", u"zebu", zev::NORM_IGNORECASE, 3), CSTR_EQUAL);
}

INSTANTIATE_TEST_SUITE_P(Locales, Collation, testing::Values("fr_FR", "en_US", ""));

TEST(CollationLocale, ComesFromTheEnvironment) {
  setenv("LC_ALL", "fr_FR.UTF-8", 1);
  zev::SetUserCollationLocale("", true);
  EXPECT_EQ(zev::UserCollationLocale(), "fr_FR");
  setenv("LC_ALL", "C.UTF-8", 1);
  zev::SetUserCollationLocale("", true);
  EXPECT_EQ(zev::UserCollationLocale(), "");
  unsetenv("LC_ALL");
  zev::SetUserCollationLocale("", true);
}

}  // namespace
