#include "shell/DecimalText.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct TRoundCase {
  double Value;
  int Places;
  const char* Expected;
};

// Names each case in the test list by what it expects.
void PrintTo(const TRoundCase& c, std::ostream* os) {
  *os << c.Expected << " at " << c.Places;
}

class RoundHalfAwayFromZeroTest : public testing::TestWithParam<TRoundCase> {};

TEST_P(RoundHalfAwayFromZeroTest, RoundsTheShortestDecimalForm) {
  const TRoundCase& c = GetParam();
  EXPECT_EQ(RoundHalfAwayFromZero(c.Value, c.Places), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RoundHalfAwayFromZeroTest,
    testing::Values(TRoundCase{1.125, 2, "1.13"}, TRoundCase{2.675, 2, "2.68"},
                    TRoundCase{-1.125, 2, "-1.13"}, TRoundCase{1.005, 2, "1.01"},
                    TRoundCase{1.004999, 2, "1.00"}, TRoundCase{2.5, 2, "2.50"},
                    TRoundCase{9.995, 2, "10.00"}, TRoundCase{-0.004, 2, "0.00"},
                    TRoundCase{0.5, 0, "1"}, TRoundCase{-2.5, 0, "-3"},
                    TRoundCase{1234.5, 2, "1234.50"}, TRoundCase{1e15, 2, "1000000000000000.00"},
                    TRoundCase{3.3333333, 2, "3.33"}, TRoundCase{0.1 + 0.2, 2, "0.30"}));

TEST(DecimalTextTest, LocalizeGroupsIntegerDigitsByThree) {
  const struct {
    const char* Canonical;
    char Thousands;
    const char* Expected;
  } cases[] = {{"1234.50", '\0', "1234,50"},   {"1234.50", '\xA0', "1\xA0" "234,50"},
               {"-1234567.5", ' ', "-1 234 567,5"}, {"999.00", ' ', "999,00"},
               {"12", ' ', "12"},               {"-100000", '.', "-100.000"}};
  for (auto& c : cases)
    EXPECT_EQ(LocalizeDecimal(c.Canonical, ',', c.Thousands), c.Expected) << c.Canonical;
}

TEST(DecimalTextTest, ReadAcceptsOnlyPlainDecimalNumbers) {
  const struct {
    const char* Text;
    bool Readable;
    double Value;
  } cases[] = {{"2,5", true, 2.5},   {"2.5", true, 2.5},    {" -3,25 ", true, -3.25},
               {"+4", true, 4},      {",5", true, 0.5},     {"7,", true, 7},
               {"", false, 0},       {"  ", false, 0},      {"-", false, 0},
               {",", false, 0},      {"1,2,3", false, 0},   {"12abc", false, 0},
               {"1 234", false, 0},  {"1e5", false, 0},     {"--1", false, 0}};
  for (auto& c : cases) {
    double v = -99;
    EXPECT_EQ(ReadDecimal(c.Text, ',', v), c.Readable) << '"' << c.Text << '"';
    EXPECT_DOUBLE_EQ(v, c.Value) << '"' << c.Text << '"';
  }
}

}  // namespace
