#include "engine/storage/ZEVExcept.h"

#include <gtest/gtest.h>

namespace {

TEST(EABSException, TextConstructorPadsCodeWithZeros) {
  EABSException e(30376, "Cannot perform this operation");
  EXPECT_STREQ(e.what(), "Cannot perform this operation - Native error: 30376");
  EXPECT_EQ(e.NativeError(), 30376);
  EXPECT_EQ(EABSException(42, "x").Message(), "x - Native error: 00042");
}

TEST(EABSException, FormatConstructorPadsCodeWithBlanks) {
  EABSException e(42, "Invalid PageNo = %d", {-1});
  EXPECT_EQ(e.Message(), "Invalid PageNo = -1 - Native error:    42");
  EABSException f(30376, "Cannot perform this operation (%s) on a closed file", {"Seek"});
  EXPECT_EQ(f.Message(),
            "Cannot perform this operation (Seek) on a closed file - Native error: 30376");
}

TEST(EABSException, FormatThatDoesNotFitItsArgumentsKeepsTheText) {
  struct Case {
    const char* Format;
    std::initializer_list<TFormatArg> Args;
  };
  const Case cases[] = {
      {"Position = %d", {}},           // missing argument
      {"Position = %d", {"text"}},     // text for a number
      {"Name = %s", {7}},              // number for a text
      {"Value = %q", {1}},             // unknown type
      {"Dangling %", {1}},             // type missing
  };
  for (const auto& c : cases) {
    EABSException e(20236, c.Format, c.Args);
    EXPECT_EQ(e.Message(), std::string(c.Format) + " Arguments are invalid! - Native error: 20236")
        << c.Format;
  }
}

TEST(Format, DirectivesOfTheEngineMessages) {
  struct Case {
    const char* Format;
    std::initializer_list<TFormatArg> Args;
    const char* Expected;
  };
  const Case cases[] = {
      {"%.5d", {7}, "00007"},
      {"%.5d", {-7}, "-00007"},
      {"%5d", {7}, "    7"},
      {"%-5d|", {7}, "7    |"},
      {"%d%%", {50}, "50%"},
      {"%x", {255}, "FF"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%u", {-1}, "4294967295"},
      {"%d", {int64_t{-9000000000}}, "-9000000000"},
      {"%.3s", {"abcdef"}, "abc"},
      {"%s and %s", {"a", std::string("b")}, "a and b"},
      {"%1:s %0:s", {"a", "b"}, "b a"},
      {"%*d", {4, 1}, "   1"},
      {"%.2f", {2.5}, "2.50"},
      {"%n", {1234567.5}, "1,234,567.50"},
      {"%g", {0.1}, "0.1"},
      {"%c", {1}, nullptr},
  };
  for (const auto& c : cases) {
    if (c.Expected)
      EXPECT_EQ(zev::Format(c.Format, c.Args), c.Expected) << c.Format;
    else
      EXPECT_THROW(zev::Format(c.Format, c.Args), EConvertError) << c.Format;
  }
}

}  // namespace
