// The real program started with wrong command lines: the French error box (recorded and
// answered through the message-box seam of the environment) and exit code 1, before anything
// else is done.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using testsupport::TTempDir;

struct CommandLineCase {
  const char* Name;
  std::vector<std::string> Args;
  const char* Text;  // UTF-8, as the seam writes it
};

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

const char kCount[] = "Le nombre de param\xC3\xA8tres n'est pas correct.";

TEST_P(CommandLine, ShowsTheErrorBoxAndExitsWithOne) {
  TTempDir dir;
  const std::string log = dir.File("boxes.log");
  std::string output;
  int code = testsupport::RunProgram(
      GD_PROGRAM_PATH, GetParam().Args,
      {{"QT_QPA_PLATFORM", "offscreen"}, {"GD_MESSAGEBOX_LOG", log}}, &output);
  EXPECT_EQ(code, 1) << output;
  // One box: MessageBoxA, error icon with a single OK button (0x10), caption "Erreur".
  EXPECT_EQ(testsupport::ReadFile(log),
            std::string("MessageBoxA|16|Erreur|") + GetParam().Text + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    testing::Values(
        CommandLineCase{"NoParameter", {}, kCount},
        CommandLineCase{"OneParameter", {"DEVIS"}, kCount},
        CommandLineCase{"ThreeParameters", {"DEVIS", "a.ini", "b"}, kCount},
        CommandLineCase{"LowerCaseMode", {"config", "a.ini"}, "Le premier param\xC3\xA8tre n'est pas correct : config"},
        CommandLineCase{"LeadingBlank", {" DEVIS", "a.ini"}, "Le premier param\xC3\xA8tre n'est pas correct :  DEVIS"},
        CommandLineCase{"TrailingBlank", {"CONFIG ", "a.ini"}, "Le premier param\xC3\xA8tre n'est pas correct : CONFIG "},
        CommandLineCase{"MixedCase", {"Devis", "a.ini"}, "Le premier param\xC3\xA8tre n'est pas correct : Devis"},
        CommandLineCase{"AccentedWord", {"d\xC3\xA9vis", "a.ini"}, "Le premier param\xC3\xA8tre n'est pas correct : d\xC3\xA9vis"}),
    [](const testing::TestParamInfo<CommandLineCase>& info) {
      return std::string(info.param.Name);
    });

}  // namespace
