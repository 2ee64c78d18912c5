#include "shell/IniFile.h"

#include <gtest/gtest.h>

#include "shell/Configuration.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::TTempDir;
using testsupport::WriteFile;

struct IniCase {
  const char* Name;
  std::string Bytes;
  const char* Section;
  const char* Key;
  const char* Expected;  // Windows-1252
};

class IniRules : public testing::TestWithParam<IniCase> {};

TEST_P(IniRules, ReadsTheValue) {
  TTempDir dir;
  WriteFile(dir.File("c.ini"), GetParam().Bytes);
  TIniFile ini(dir.File("c.ini"));
  EXPECT_EQ(ini.ReadString(GetParam().Section, GetParam().Key, "<default>"), GetParam().Expected);
}

const std::string kLongValue(1500, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRules,
    testing::Values(
        IniCase{"Plain", "[Database]\r\nPath=C:\\base.zev\r\n", "Database", "Path",
                "C:\\base.zev"},
        IniCase{"NamesIgnoreCase", "[DATABASE]\nPATH=a\n", "database", "path", "a"},
        IniCase{"BlanksAroundRemoved", "[Xml]\n  InPath \t=  in file.xml \t\n", "Xml", "InPath",
                "in file.xml"},
        IniCase{"FirstEqualsSplits", "[Xml]\nOutPath=a=b\n", "Xml", "OutPath", "a=b"},
        IniCase{"NoInlineComment", "[Database]\nPath=C:\\a;b\\base.zev ; note\n", "Database",
                "Path", "C:\\a;b\\base.zev ; note"},
        IniCase{"CommentLineSkipped", "[Database]\n;Path=old\nPath=new\n", "Database", "Path",
                "new"},
        IniCase{"QuotesRemoved", "[Database]\nPath=\"C:\\Mes donn\xE9" "es\\b.zev\"\n",
                "Database", "Path", "C:\\Mes donn\xE9" "es\\b.zev"},
        IniCase{"FirstKeyWins", "[Database]\nPath=1\nPath=2\n", "Database", "Path", "1"},
        IniCase{"FirstSectionWins", "[Database]\nPath=1\n[Database]\nPath=2\n", "Database",
                "Path", "1"},
        IniCase{"EmptyValue", "[Database]\nPath=\n", "Database", "Path", ""},
        IniCase{"KeyInWrongSection", "[Database]\nInPath=x\n", "Xml", "InPath", "<default>"},
        IniCase{"KeyBeforeAnySection", "Path=x\n[Database]\n", "Database", "Path", "<default>"},
        IniCase{"MissingSection", "[Xml]\nInPath=x\n", "Database", "Path", "<default>"},
        IniCase{"CrOnlyLineEnds", "[Xml]\rInPath=a\rOutPath=b\r", "Xml", "OutPath", "b"},
        IniCase{"NoFinalLineEnd", "[Xml]\nOutPath=b", "Xml", "OutPath", "b"},
        IniCase{"LongLine", "[Xml]\nInPath=" + kLongValue + "\n", "Xml", "InPath",
                kLongValue.c_str()},
        IniCase{"Windows1252", "[Database]\nPath=D:\\D\xE9" "chets\\base.zev\n", "Database",
                "Path", "D:\\D\xE9" "chets\\base.zev"},
        IniCase{"Utf8WithoutBom", "[Database]\nPath=D:\\D\xC3\xA9" "chets \xE2\x82\xAC\n",
                "Database", "Path", "D:\\D\xE9" "chets \x80"},
        IniCase{"Utf8WithBom", "\xEF\xBB\xBF[Database]\nPath=\xC3\xA9\n", "Database", "Path",
                "\xE9"},
        IniCase{"Utf16LittleEndianWithBom",
                std::string("\xFF\xFE[\0D\0B\0]\0\n\0P\0=\0\xE9\0\xAC\x20\n\0", 22), "db", "p",
                "\xE9\x80"},
        IniCase{"Utf16BigEndianWithBom", std::string("\xFE\xFF\0[\0X\0]\0\n\0K\0=\0\xE9", 16),
                "x", "k", "\xE9"}),
    [](const testing::TestParamInfo<IniCase>& info) { return std::string(info.param.Name); });

TEST(IniFile, MissingFileGivesDefaults) {
  TTempDir dir;
  TIniFile ini(dir.File("absent.ini"));
  EXPECT_EQ(ini.ReadString("Database", "Path", "d"), "d");
  EXPECT_EQ(TIniFile("").ReadString("Database", "Path", ""), "");
}

TEST(IniFile, FileNameIsSingleByteTextAndMayHoldSemicolons) {
  TTempDir dir;
  WriteFile(dir.File("conf;igur\xC3\xA9.ini"), "[Database]\nPath=p\n");  // UTF-8 on disk
  EXPECT_EQ(TIniFile(dir.File("conf;igur\xE9.ini")).ReadString("Database", "Path", ""), "p");
}

TEST(Configuration, ReadsTheThreePaths) {
  TTempDir dir;
  WriteFile(dir.File("a.ini"), "[Database]\nPath=base.zev\n[Xml]\nInPath=in.xml\nOutPath=out.xml\n");
  TConfiguration c = LireConfiguration(dir.File("a.ini"));
  EXPECT_EQ(c.CheminBase, "base.zev");
  EXPECT_EQ(c.CheminEntree, "in.xml");
  EXPECT_EQ(c.CheminSortie, "out.xml");

  WriteFile(dir.File("b.ini"), "[Database]\nPath=base.zev\n");
  c = LireConfiguration(dir.File("b.ini"));
  EXPECT_EQ(c.CheminBase, "base.zev");
  EXPECT_EQ(c.CheminEntree, "");
  EXPECT_EQ(c.CheminSortie, "");
}

}  // namespace
