// Tests of the tool's CSV reading and writing: quoting both ways, embedded separators,
// newlines and quotes, malformed input, and the choice between UTF-8 and Windows-1252.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "tools/CsvFile.h"

namespace {

using zevtool::TCsvRow;

struct TParseCase {
  const char* Name;
  std::string Text;
  std::vector<TCsvRow> Expected;
};

class CsvParseTest : public ::testing::TestWithParam<TParseCase> {};

TEST_P(CsvParseTest, SplitsRecordsAndFields) {
  EXPECT_EQ(zevtool::ParseCsv(GetParam().Text), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CsvParseTest,
    ::testing::Values(
        TParseCase{"Plain", "a,b\n1,2\n", {{"a", "b"}, {"1", "2"}}},
        TParseCase{"CrLfAndNoFinalNewline", "a,b\r\n1,2", {{"a", "b"}, {"1", "2"}}},
        TParseCase{"EmptyCells", ",x,\n", {{"", "x", ""}}},
        TParseCase{"QuotedComma", "\"Dupont, fils\",2\n", {{"Dupont, fils", "2"}}},
        TParseCase{"DoubledQuotes", "\"say \"\"hi\"\"\",\"\"\n", {{"say \"hi\"", ""}}},
        TParseCase{
            "EmbeddedNewlines", "\"l1\nl2\r\nl3\",z\nn,m\n", {{"l1\nl2\r\nl3", "z"}, {"n", "m"}}},
        TParseCase{"BlankLinesAreNoRecords", "a\n\nb\r\n\r\n", {{"a"}, {"b"}}},
        TParseCase{"QuotedEmptyIsARecord", "a\n\"\"\n", {{"a"}, {""}}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(CsvFileTest, RefusesMalformedQuoting) {
  EXPECT_THROW(zevtool::ParseCsv("a,\"open\n"), zevtool::TCsvError);
  EXPECT_THROW(zevtool::ParseCsv("\"closed\"x,b\n"), zevtool::TCsvError);
}

TEST(CsvFileTest, WritingThenReadingGivesTheFieldsBack) {
  const TCsvRow Fields = {"plain", "with,comma", "with \"quotes\"", "two\nlines", "", "cr\rx"};
  const std::string Line = zevtool::CsvLine(Fields);
  EXPECT_EQ(Line, "plain,\"with,comma\",\"with \"\"quotes\"\"\",\"two\nlines\",,\"cr\rx\"\n");
  EXPECT_EQ(zevtool::ParseCsv(Line), std::vector<TCsvRow>{Fields});
}

TEST(CsvFileTest, DetectsTheEncodingByUtf8Validity) {
  EXPECT_EQ(zevtool::DetectCsvEncoding("Soci\xC3\xA9t\xC3\xA9"), zevtool::TCsvEncoding::Utf8);
  EXPECT_EQ(zevtool::DetectCsvEncoding("plain ascii"), zevtool::TCsvEncoding::Utf8);
  EXPECT_EQ(zevtool::DetectCsvEncoding("Soci\xE9t\xE9"), zevtool::TCsvEncoding::Windows1252);
}

TEST(CsvFileTest, TablesComeOutInWindows1252FromEitherEncoding) {
  const std::string Ansi = "Nom\nSoci\xE9t\xE9 G\xE9n\xE9rale \x80\n";
  const std::string Utf8 =
      "\xEF\xBB\xBFNom\nSoci\xC3\xA9t\xC3\xA9 G\xC3\xA9n\xC3\xA9rale \xE2\x82\xAC\n";
  for (const std::string& Bytes : {Ansi, Utf8}) {
    const zevtool::TCsvTable Table = zevtool::ParseCsvTable(Bytes);
    EXPECT_EQ(Table.Header, TCsvRow{"Nom"});
    ASSERT_EQ(Table.Rows.size(), 1u);
    EXPECT_EQ(Table.Rows[0][0], "Soci\xE9t\xE9 G\xE9n\xE9rale \x80");
  }
}

TEST(CsvFileTest, WritesWindows1252CellsAsUtf8) {
  EXPECT_EQ(zevtool::CsvLineUtf8FromAnsi({"D\xE9"
                                          "chets",
                                          "\x80"}),
            "D\xC3\xA9"
            "chets,\xE2\x82\xAC\n");
}

TEST(CsvFileTest, RefusesRecordsOfAnotherWidthAndMissingFiles) {
  EXPECT_THROW(zevtool::ParseCsvTable("a,b\n1\n"), zevtool::TCsvError);
  EXPECT_THROW(zevtool::ParseCsvTable(""), zevtool::TCsvError);
  testsupport::TTempDir Dir;
  EXPECT_THROW(zevtool::ReadCsvFile(Dir.File("missing.csv")), zevtool::TCsvError);
  testsupport::WriteFile(Dir.File("t.csv"), "Id,Nom\n1,x\n");
  EXPECT_EQ(zevtool::ReadCsvFile(Dir.File("t.csv")).Rows.size(), 1u);
}

}  // namespace
