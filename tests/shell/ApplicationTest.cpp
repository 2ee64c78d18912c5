#include "shell/Application.h"

#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/storage/ZEVExcept.h"
#include "shell/Button.h"
#include "tests/shell/ToolkitTestSupport.h"

namespace {

std::vector<std::string>* gDestroyed = nullptr;

class TLoggedModule : public TDataModule {
 public:
  explicit TLoggedModule(TComponent* Owner) : TDataModule(Owner) {}
  ~TLoggedModule() override { gDestroyed->push_back("module"); }
};

class TLoggedForm : public TForm {
 public:
  explicit TLoggedForm(TComponent* Owner) : TForm(Owner) { FName = "form" + std::to_string(++gCount); }
  ~TLoggedForm() override { gDestroyed->push_back(FName); }
  static inline int gCount = 0;

 private:
  std::string FName;
};

TEST(ApplicationTest, ShowExceptionShowsTheMessageWithTheTitleAndTheErrorIcon) {
  TMessageBoxRecorder recorder;
  Application->ShowException(Exception("Database name missing"));
  Application->ShowException(std::runtime_error("standard"));
  Application->ShowUnknownException();
  try {
    throw 42;
  } catch (...) {
    Application->HandleException();
  }
  const std::vector<std::string> texts = {"Database name missing", "standard", "", ""};
  ASSERT_EQ(recorder.Calls().size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    const TMessageBoxCall& c = recorder.Calls()[i];
    EXPECT_EQ(c.Kind, TMessageBoxKind::ShowException);
    EXPECT_EQ(c.Text, texts[i]);
    EXPECT_EQ(c.Caption, Application->GetTitle());
    EXPECT_EQ(c.Flags, MB_OK | MB_ICONERROR);
  }
}

TEST(ApplicationTest, AnExceptionOutOfAUserEventIsShownAndSkipsTheRestOfTheHandler) {
  TMessageBoxRecorder recorder;
  TForm form(nullptr);
  TButton button(&form);
  bool rest = false;
  button.OnClick = [&] {
    throw Exception("Cannot open database");
    rest = true;
  };
  form.Show();
  QTest::mouseClick(button.Widget(), Qt::LeftButton);
  EXPECT_FALSE(rest);
  ASSERT_EQ(recorder.Calls().size(), 1u);
  EXPECT_EQ(recorder.Calls()[0].Text, "Cannot open database");
}

TEST(ApplicationTest, CreateFormOwnsWhatItCreatesAndTheFirstFormIsTheMainForm) {
  std::vector<std::string> destroyed;
  gDestroyed = &destroyed;
  TLoggedForm::gCount = 0;
  {
    TApplication app;
    EXPECT_EQ(Application, &app);
    TLoggedModule* module = nullptr;
    TLoggedForm* first = nullptr;
    TLoggedForm* second = nullptr;
    app.CreateForm(module);
    app.CreateForm(first);
    app.CreateForm(second);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(app.GetMainForm(), first);
    EXPECT_EQ(module->GetOwner(), &app);
    EXPECT_EQ(app.GetComponentCount(), 3);
  }
  EXPECT_EQ(destroyed, (std::vector<std::string>{"form2", "form1", "module"}));
  EXPECT_NE(Application, nullptr);  // the test binary's application is back
  gDestroyed = nullptr;
}

TEST(ApplicationTest, RunWithoutMainFormReturnsAtOnce) {
  TApplication app;
  app.Run();
  SUCCEED();
}

TEST(ApplicationTest, RunShowsTheMainFormAndReturnsWhenItCloses) {
  TApplication app;
  TForm* main = nullptr;
  app.CreateForm(main);
  int activations = 0;
  bool closed = false;
  main->OnActivate = [&] {
    ++activations;
    main->Close();
  };
  main->OnClose = [&](TCloseAction&) { closed = true; };
  app.Run();
  EXPECT_EQ(activations, 1);
  EXPECT_TRUE(closed);
  EXPECT_FALSE(main->GetVisible());
  EXPECT_TRUE(app.GetTerminated());
}

TEST(ApplicationTest, ParamStrGivesTheCommandLineInWindows1252) {
  TApplication app;
  char prog[] = "gestion-dechets", mode[] = "DEVIS", path[] = "/tmp/d\xC3\xA9" "chets.ini";
  char* argv[] = {prog, mode, path, nullptr};
  app.Initialize(3, argv);
  EXPECT_EQ(ParamCount(), 2);
  EXPECT_EQ(ParamStr(1), "DEVIS");
  EXPECT_EQ(ParamStr(2), "/tmp/d\xE9" "chets.ini");
  EXPECT_EQ(ParamStr(3), "");
}

TEST(ApplicationTest, ParamStrKeepsBytesThatAreNotUtf8) {
  TApplication app;
  // A host that writes its single-byte code page: "déchets" in Windows-1252.
  char prog[] = "gestion-dechets", path[] = "d\xE9" "chets.ini";
  char* argv[] = {prog, path, nullptr};
  app.Initialize(2, argv);
  EXPECT_EQ(ParamStr(1), "d\xE9" "chets.ini");
}

}  // namespace
