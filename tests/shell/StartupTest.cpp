// The start-up sequence in process, with stand-ins for the data module and the two main windows
// that log what happens to them: what is created, in which order, with which paths, and how
// escaped exceptions are shown.
#include "shell/Startup.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <string>
#include <vector>

#include "shell/Form.h"
#include "tests/shell/ToolkitTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

std::vector<std::string> gLog;
bool gModuleExistedForWindow = false;
enum class TThrow { Nothing, Exception, Other } gThrowFromWindow = TThrow::Nothing;

class TFakeModule : public TDataModule {
 public:
  explicit TFakeModule(TComponent* Owner) : TDataModule(Owner) { gLog.push_back("module"); }
};
TFakeModule* gModule = nullptr;

class TFakeDevis : public TForm {
 public:
  explicit TFakeDevis(TComponent* Owner) : TForm(Owner) {
    gModuleExistedForWindow = gModule != nullptr;
    if (gThrowFromWindow == TThrow::Exception) throw Exception("Fen\xEAtre impossible");
    if (gThrowFromWindow == TThrow::Other) throw 42;
    gLog.push_back("devis");
  }
  void SetCheminBase(const AnsiString& C) { gLog.push_back("base=" + C); }
  void SetCheminEntree(const AnsiString& C) { gLog.push_back("entree=" + C); }
  void SetCheminSortie(const AnsiString& C) { gLog.push_back("sortie=" + C); }
};
TFakeDevis* gDevis = nullptr;

class TFakeConfig : public TForm {
 public:
  explicit TFakeConfig(TComponent* Owner) : TForm(Owner) {
    gModuleExistedForWindow = gModule != nullptr;
    gLog.push_back("config");
  }
  void SetCheminBase(const AnsiString& C) { gLog.push_back("base=" + C); }
};
TFakeConfig* gConfig = nullptr;

class StartupTest : public testing::Test {
 protected:
  void SetUp() override {
    gLog.clear();
    gModule = nullptr;
    gDevis = nullptr;
    gConfig = nullptr;
    gModuleExistedForWindow = false;
    gThrowFromWindow = TThrow::Nothing;
    testsupport::WriteFile(FIni, "[Database]\nPath=C:\\Donn\xE9" "es\\base.abs\n"
                                 "[Xml]\nInPath=entree.xml\nOutPath=sortie.xml\n");
  }

  // Runs start-up on its own application object with this command line; the main window, if
  // any, is closed as soon as the event loop runs.
  int Start(std::vector<std::string> Args) {
    TApplication application;
    std::vector<char*> argv;
    static char program[] = "gestion-dechets";
    argv.push_back(program);
    for (std::string& a : Args) argv.push_back(a.data());
    application.Initialize(static_cast<int>(argv.size()), argv.data());
    QTimer::singleShot(0, [] {
      if (Application->GetMainForm()) Application->GetMainForm()->Close();
    });
    FMainFormWasTheWindow = false;
    int code = Demarrer(gModule, gDevis, gConfig);
    FMainFormWasTheWindow = application.GetMainForm() != nullptr &&
                            (application.GetMainForm() == static_cast<TForm*>(gDevis) ||
                             application.GetMainForm() == static_cast<TForm*>(gConfig));
    return code;
  }

  testsupport::TTempDir FDir;
  std::string FIni = FDir.File("module.ini");
  TMessageBoxRecorder FBoxes;
  bool FMainFormWasTheWindow = false;
};

TEST_F(StartupTest, QuoteModeCreatesTheModuleThenTheWindowAndHandsItThreePathsInOrder) {
  EXPECT_EQ(Start({"DEVIS", FIni}), 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"module", "devis", "base=C:\\Donn\xE9" "es\\base.abs",
                                            "entree=entree.xml", "sortie=sortie.xml"}));
  EXPECT_TRUE(gModuleExistedForWindow);
  EXPECT_TRUE(FMainFormWasTheWindow);
  EXPECT_TRUE(FBoxes.Calls().empty());
  EXPECT_EQ(TStyleManager::GetActiveStyleName(), "Smokey Quartz Orvex");
}

TEST_F(StartupTest, ConfigurationModeHandsOnlyTheDatabasePath) {
  EXPECT_EQ(Start({"CONFIG", FIni}), 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"module", "config",
                                            "base=C:\\Donn\xE9" "es\\base.abs"}));
  EXPECT_TRUE(gModuleExistedForWindow);
  EXPECT_TRUE(FMainFormWasTheWindow);
  EXPECT_TRUE(FBoxes.Calls().empty());
}

TEST_F(StartupTest, AMissingConfigurationFileStartsTheWindowWithEmptyPaths) {
  EXPECT_EQ(Start({"DEVIS", FDir.File("absent.ini")}), 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"module", "devis", "base=", "entree=", "sortie="}));
  EXPECT_TRUE(FBoxes.Calls().empty());
}

TEST_F(StartupTest, ARejectedCommandLineCreatesNothing) {
  EXPECT_EQ(Start({"devis", FIni}), 1);
  EXPECT_EQ(Start({"DEVIS"}), 1);
  EXPECT_TRUE(gLog.empty());
  EXPECT_EQ(gModule, nullptr);
  ASSERT_EQ(FBoxes.Calls().size(), 2u);
  EXPECT_EQ(FBoxes.Calls()[0].Text, "Le premier param\xE8tre n'est pas correct : devis");
  EXPECT_EQ(FBoxes.Calls()[1].Text, "Le nombre de param\xE8tres n'est pas correct.");
  for (const TMessageBoxCall& box : FBoxes.Calls()) {
    EXPECT_EQ(box.Kind, TMessageBoxKind::MessageBoxA);
    EXPECT_EQ(box.Caption, "Erreur");
    EXPECT_EQ(box.Flags, MB_OK | MB_ICONERROR);
  }
}

TEST_F(StartupTest, AnEscapedExceptionIsShownAndTheExitCodeIsZero) {
  const struct {
    TThrow Throw;
    const char* Text;
  } cases[] = {{TThrow::Exception, "Fen\xEAtre impossible"}, {TThrow::Other, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    gLog.clear();
    gThrowFromWindow = c.Throw;
    TMessageBoxRecorder boxes;
    EXPECT_EQ(Start({"DEVIS", FIni}), 0);
    EXPECT_EQ(gLog, std::vector<std::string>{"module"});
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].Kind, TMessageBoxKind::ShowException);
    EXPECT_EQ(boxes.Calls()[0].Text, c.Text);
    EXPECT_EQ(boxes.Calls()[0].Caption, "Gestion des d\xE9" "chets");
    EXPECT_EQ(boxes.Calls()[0].Flags, MB_OK | MB_ICONERROR);
  }
}

}  // namespace
