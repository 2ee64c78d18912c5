#include "shell/MessageBoxes.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "shell/Application.h"
#include "tests/shell/ToolkitTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(MessageBoxesTest, MessageBoxAGoesThroughTheSeamWithItsTextsAndFlags) {
  TMessageBoxRecorder recorder({IDYES});
  EXPECT_EQ(MessageBoxA(nullptr, "Voulez-vous continuer ?", "Attention", MB_ICONWARNING | MB_YESNO),
            IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Fichier absent", "ERREUR", MB_ICONERROR), IDOK);
  ASSERT_EQ(recorder.Calls().size(), 2u);
  const TMessageBoxCall& first = recorder.Calls()[0];
  EXPECT_EQ(first.Kind, TMessageBoxKind::MessageBoxA);
  EXPECT_EQ(first.Text, "Voulez-vous continuer ?");
  EXPECT_EQ(first.Caption, "Attention");
  EXPECT_EQ(first.Flags, 0x34u);
  EXPECT_EQ(recorder.Calls()[1].Flags, 0x10u);
}

TEST(MessageBoxesTest, ShowMessageUsesTheApplicationTitle) {
  TMessageBoxRecorder recorder;
  AnsiString title = Application->GetTitle();
  EXPECT_EQ(title, "Gestion des d\xE9" "chets");
  Application->SetTitle("Autre titre");
  ShowMessage("Bonjour");
  Application->SetTitle(title);
  ASSERT_EQ(recorder.Calls().size(), 1u);
  EXPECT_EQ(recorder.Calls()[0].Kind, TMessageBoxKind::ShowMessage);
  EXPECT_EQ(recorder.Calls()[0].Caption, "Autre titre");
  EXPECT_EQ(recorder.Calls()[0].Text, "Bonjour");
  EXPECT_EQ(recorder.Calls()[0].Flags, MB_OK);
}

TEST(MessageBoxesTest, MessageDlgRecordsTypeButtonsAndAnswers) {
  TMessageBoxRecorder recorder({mrYes});
  EXPECT_EQ(MessageDlg("Repair?", mtConfirmation, TMsgDlgButtons() << mbYes << mbNo, 0), mrYes);
  EXPECT_EQ(MessageDlg("Old format", mtInformation, {mbOK}, 0), mrOk);
  ASSERT_EQ(recorder.Calls().size(), 2u);
  const TMessageBoxCall& q = recorder.Calls()[0];
  EXPECT_EQ(q.Kind, TMessageBoxKind::MessageDlg);
  EXPECT_EQ(q.Caption, "Confirm");
  EXPECT_EQ(q.DlgType, mtConfirmation);
  EXPECT_EQ(q.Buttons.Bits(), 3u);
  EXPECT_EQ(q.Flags, MB_ICONQUESTION);
  EXPECT_EQ(recorder.Calls()[1].Caption, "Information");
}

TEST(MessageBoxesTest, UnansweredBoxesGetTheAnswerOfEscape) {
  auto box = [](unsigned Flags) {
    TMessageBoxCall c;
    c.Flags = Flags;
    return c;
  };
  auto dlg = [](TMsgDlgButtons Buttons) {
    TMessageBoxCall c;
    c.Kind = TMessageBoxKind::MessageDlg;
    c.Buttons = Buttons;
    return c;
  };
  EXPECT_EQ(DefaultMessageBoxAnswer(box(MB_OK | MB_ICONERROR)), IDOK);
  EXPECT_EQ(DefaultMessageBoxAnswer(box(MB_YESNO | MB_ICONQUESTION)), IDNO);
  EXPECT_EQ(DefaultMessageBoxAnswer(box(MB_OKCANCEL)), IDCANCEL);
  EXPECT_EQ(DefaultMessageBoxAnswer(dlg({mbYes, mbNo})), mrNo);
  EXPECT_EQ(DefaultMessageBoxAnswer(dlg({mbOK, mbCancel})), mrCancel);
  EXPECT_EQ(DefaultMessageBoxAnswer(dlg({mbOK})), mrOk);
}

TEST(MessageBoxesTest, SetMessageBoxHandlerHandsBackThePreviousOne) {
  TMessageBoxHandler before = SetMessageBoxHandler([](const TMessageBoxCall&) { return 42; });
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OK), 42);
  TMessageBoxHandler mine = SetMessageBoxHandler(before);
  ASSERT_TRUE(mine);
  EXPECT_EQ(mine(TMessageBoxCall()), 42);
}

class MessageBoxLogTest : public testing::Test {
 protected:
  void TearDown() override {
    SetMessageBoxHandler(std::move(FSaved));
    unsetenv("GD_MESSAGEBOX_LOG");
    unsetenv("GD_MESSAGEBOX_ANSWERS");
  }
  TMessageBoxHandler FSaved = SetMessageBoxHandler(nullptr);
  testsupport::TTempDir FDir;
};

TEST_F(MessageBoxLogTest, EveryBoxBecomesOneUtf8LineAndTakesTheNextAnswer) {
  std::string log = FDir.File("boxes.log");
  setenv("GD_MESSAGEBOX_LOG", log.c_str(), 1);
  setenv("GD_MESSAGEBOX_ANSWERS", "IDYES, 7", 1);
  ASSERT_TRUE(InstallMessageBoxLogFromEnvironment());

  EXPECT_EQ(MessageBoxA(nullptr, "Q1", "Attention", MB_ICONWARNING | MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Q2", "Attention", MB_ICONQUESTION | MB_YESNO), IDNO);
  // The answers are used up: a question gets No, an OK box OK.
  EXPECT_EQ(MessageBoxA(nullptr, "Q3", "Attention", MB_ICONWARNING | MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Vous allez supprimer ! \n\nContinuer \xE0 C:\\Donn\xE9" "es ?",
                        "Erreur", MB_ICONERROR),
            IDOK);
  ShowMessage("Info");
  EXPECT_EQ(MessageDlg("Repair?", mtConfirmation, {mbYes, mbNo}, 0), mrNo);
  Application->ShowException(std::runtime_error("Boom"));

  EXPECT_EQ(testsupport::ReadFile(log),
            "MessageBoxA|52|Attention|Q1\n"
            "MessageBoxA|36|Attention|Q2\n"
            "MessageBoxA|52|Attention|Q3\n"
            "MessageBoxA|16|Erreur|Vous allez supprimer ! \\n\\nContinuer \xC3\xA0 "
            "C:\\\\Donn\xC3\xA9" "es ?\n"
            "ShowMessage|0|Gestion des d\xC3\xA9" "chets|Info\n"
            "MessageDlg|3|Confirm|Repair?\n"
            "ShowException|16|Gestion des d\xC3\xA9" "chets|Boom\n");
}

TEST_F(MessageBoxLogTest, NothingIsInstalledWithoutTheVariable) {
  unsetenv("GD_MESSAGEBOX_LOG");
  EXPECT_FALSE(InstallMessageBoxLogFromEnvironment());
  setenv("GD_MESSAGEBOX_LOG", "", 1);
  EXPECT_FALSE(InstallMessageBoxLogFromEnvironment());
}

}  // namespace
