#include "shell/AnsiStrings.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "engine/storage/ZEVCollation.h"
#include "shell/FormatSettings.h"

namespace {

class AnsiCompareTextTest : public testing::Test {
 protected:
  void SetUp() override { zev::SetUserCollationLocale("fr_FR"); }
  void TearDown() override { zev::SetUserCollationLocale("", true); }
};

TEST_F(AnsiCompareTextTest, IgnoresCaseButNotAccents) {
  // Windows-1252: \xE9 é, \xC9 É, \xE8 è.
  const struct {
    const char* A;
    const char* B;
    int Expected;
  } cases[] = {{"carton", "CARTON", 0},
               {"\xE9" "cole", "\xC9" "COLE", 0},
               {"ecole", "\xE9" "cole", -1},
               {"\xE9" "cole", "zoo", -1},  // bytewise 0xE9 would sort after 'z'
               {"Bois", "bois", 0},
               {"abc", "abd", -1},
               {"abd", "ABC", 1},
               {"", "a", -1},
               {"verre", "Verre usag\xE9", -1},
               {"m\xE8tre", "metre", 1}};
  for (auto& c : cases) {
    EXPECT_EQ(AnsiCompareText(c.A, c.B), c.Expected) << c.A << " / " << c.B;
    EXPECT_EQ(AnsiCompareText(c.B, c.A), -c.Expected) << c.B << " / " << c.A;
  }
  EXPECT_TRUE(AnsiSameText("PAPIER", "papier"));
}

TEST(FormatSettingsTest, TakesTheSeparatorsOfTheLocaleInWindows1252) {
  const struct {
    const char* Locale;
    char Decimal;
    char Thousands;
  } cases[] = {{"fr_FR", ',', '\xA0'}, {"en_US", '.', ','}, {"de_DE", ',', '.'}};
  for (auto& c : cases) {
    TFormatSettings s = TFormatSettings::FromLocale(QLocale(QString::fromLatin1(c.Locale)));
    EXPECT_EQ(s.DecimalSeparator, c.Decimal) << c.Locale;
    EXPECT_EQ(s.ThousandSeparator, c.Thousands) << c.Locale;
  }
}

}  // namespace
