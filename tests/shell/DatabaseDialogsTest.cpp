#include "shell/DatabaseDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "shell/MessageBoxes.h"

namespace {

// Once the modal dialog is up: types Text into its edit (unless null) and clicks Button.
void answerDialog(const char* Text, const char* Button, QString* Caption = nullptr) {
  QTimer::singleShot(0, [=] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    if (Caption) *Caption = dialog->windowTitle();
    auto* edit = dialog->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(edit->text().isEmpty());
    if (Text) QTest::keyClicks(edit, Text);
    for (auto* button : dialog->findChildren<QPushButton*>())
      if (button->text() == Button) QTest::mouseClick(button, Qt::LeftButton);
  });
}

TEST(DatabaseDialogsTest, PasswordDialogGivesTheTypedTextOnOK) {
  TToolkitDatabaseDialogs dialogs;
  AnsiString password = "unchanged";
  QString caption;
  answerDialog("secret", "OK", &caption);
  EXPECT_TRUE(dialogs.AskPassword(password));
  EXPECT_EQ(password, "secret");
  EXPECT_EQ(caption, "Database authentication");

  answerDialog("ignored", "Cancel");
  password = "kept";
  EXPECT_FALSE(dialogs.AskPassword(password));
  EXPECT_EQ(password, "kept");
}

TEST(DatabaseDialogsTest, QuestionsGoThroughTheMessageBoxes) {
  std::vector<TMessageBoxCall> calls;
  SetMessageBoxHandler([&](const TMessageBoxCall& Call) {
    calls.push_back(Call);
    return calls.size() == 1 ? mrYes : mrOk;
  });
  TToolkitDatabaseDialogs dialogs;
  EXPECT_TRUE(dialogs.AskYesNo("Repair?"));
  dialogs.ShowWarning("Log");
  SetMessageBoxHandler(nullptr);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Text, "Repair?");
  EXPECT_EQ(calls[0].DlgType, mtConfirmation);
  EXPECT_EQ(calls[1].DlgType, mtWarning);
}

}  // namespace
