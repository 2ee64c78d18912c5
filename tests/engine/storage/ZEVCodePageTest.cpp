#include "engine/storage/ZEVCodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, EveryWindows1252ByteSurvivesARoundTrip) {
  AnsiString all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(zev::AnsiFromUtf8(zev::Utf8FromAnsi(all)), all);
  EXPECT_EQ(zev::AnsiFromUtf16(zev::Utf16FromAnsi(all)), all);
}

TEST(CodePage, MapsTheWindowsSpecificBytes) {
  EXPECT_EQ(zev::Utf8FromAnsi("\x80"), "\u20AC");          // euro sign
  EXPECT_EQ(zev::Utf8FromAnsi("\x9C"), "\u0153");          // oe ligature
  EXPECT_EQ(zev::Utf8FromAnsi("mati\xE8re"), "matière");   // Latin-1 range
  EXPECT_EQ(zev::Utf16FromAnsi("\x81"), u"\u0081");         // undefined byte: C1 control
  EXPECT_EQ(zev::AnsiFromUtf8("déchets €"), "d\xE9" "chets \x80");
}

TEST(CodePage, CharactersWithoutASingleByteFormBecomeQuestionMarks) {
  EXPECT_EQ(zev::AnsiFromUtf8("a\u0142b"), "a?b");     // Polish l with stroke
  EXPECT_EQ(zev::AnsiFromUtf8("\U0001F600"), "?");     // outside the BMP: one character
  EXPECT_FALSE(zev::IsAnsiRepresentable("\u0142"));
  EXPECT_TRUE(zev::IsAnsiRepresentable("Œuvre à 5 €"));
}

TEST(CodePage, Utf8AndUtf16AgreeAndRepairInvalidInput) {
  const std::string text = "Zoë \u20AC \U0001F600";
  EXPECT_EQ(zev::Utf8FromUtf16(zev::Utf16FromUtf8(text)), text);
  EXPECT_EQ(zev::Utf16FromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(zev::Utf8FromUtf16(std::u16string(u"x") + char16_t(0xD800)), "x\uFFFD");
  EXPECT_EQ(zev::Utf8FromAnsi(""), "");
}

TEST(CodePage, RecognisesWellFormedUtf8) {
  EXPECT_TRUE(zev::IsValidUtf8("d\xC3\xA9" "chets \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_TRUE(zev::IsValidUtf8(""));
  EXPECT_FALSE(zev::IsValidUtf8("d\xE9" "chets"));   // Windows-1252 e-acute
  EXPECT_FALSE(zev::IsValidUtf8("\xC3"));            // cut short
  EXPECT_FALSE(zev::IsValidUtf8("\xC0\xAF"));        // overlong
  EXPECT_FALSE(zev::IsValidUtf8("\x80"));            // stray continuation byte
}

}  // namespace

TEST(CodePage, UpperCaseCoversTheAccentedLettersOfTheCodePage) {
  // matière, çà, œuvre, ÿ, š, ž; ß, µ and ÷ have no upper-case form here.
  EXPECT_EQ(zev::AnsiUpperCase("mati\xE8re \xE7\xE0 \x9Cuvre \xFF \x9A \x9E"),
            "MATI\xC8RE \xC7\xC0 \x8CUVRE \x9F \x8A \x8E");
  EXPECT_EQ(zev::AnsiUpperCase("\xDF\xB5\xF7 123 {}"), "\xDF\xB5\xF7 123 {}");
}
