// The real program under the test's X display: the command-line error boxes answered with the
// keyboard, and the main window of each mode closed through its close box.
#include <gtest/gtest.h>

#include "tests/e2e/X11Session.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::TProgram;

const std::string kProgram = GD_PROGRAM_PATH;
const std::vector<std::string> kEnv = {"LANG=fr_FR.UTF-8"};

TEST(StartupE2E, WrongParameterCountShowsTheErrorBoxAndExitsWithOne) {
  TProgram program(kProgram, {"DEVIS"}, kEnv);
  unsigned long box = e2e::WaitForWindow("Erreur");
  ASSERT_NE(box, 0u) << "no message box appeared";
  e2e::FocusAndType(box, "Return");
  EXPECT_EQ(program.WaitExit(), 1);
}

TEST(StartupE2E, WrongModeWordShowsTheErrorBoxAndExitsWithOne) {
  TProgram program(kProgram, {"devis", "x.ini"}, kEnv);
  unsigned long box = e2e::WaitForWindow("Erreur");
  ASSERT_NE(box, 0u);
  e2e::FocusAndType(box, "space");
  EXPECT_EQ(program.WaitExit(), 1);
}

struct ModeCase {
  const char* Mode;
  const char* Caption;
  int ClientWidth;
  int ClientHeight;
  // The box the application shows when the window, first activated, opens a database path
  // that names no file.
  const char* MissingDatabaseBox;
};

class StartupMode : public testing::TestWithParam<ModeCase> {};

TEST_P(StartupMode, MainWindowOpensWithItsCaptionAndSizeAndClosesWithZero) {
  testsupport::TTempDir dir;
  TProgram program(kProgram, {GetParam().Mode, dir.File("absent.ini")}, kEnv);
  unsigned long window = e2e::WaitForWindow(GetParam().Caption);
  ASSERT_NE(window, 0u) << "the main window did not appear";
  e2e::TWindowGeometry g = e2e::Geometry(window);
  EXPECT_EQ(g.Width, GetParam().ClientWidth);
  EXPECT_EQ(g.Height, GetParam().ClientHeight);
  if (*GetParam().MissingDatabaseBox) {
    unsigned long box = e2e::WaitForWindow(GetParam().MissingDatabaseBox);
    ASSERT_NE(box, 0u) << "the missing database was not reported";
    e2e::FocusAndType(box, "Return");
  }
  e2e::RequestClose(window);
  EXPECT_EQ(program.WaitExit(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, StartupMode,
    testing::Values(ModeCase{"DEVIS", "Gestion des d\xC3\xA9" "chets - Version 1.0 du 24/11/2021 ",
                             845, 562, "Gestion des d\xC3\xA9" "chets"},
                    ModeCase{"CONFIG", "Configuration de la gestion des d\xC3\xA9" "chets", 994,
                             513, "Gestion des d\xC3\xA9" "chets"}),
    [](const testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.Mode); });

}  // namespace
