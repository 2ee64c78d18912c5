#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest/QTest>

#include "shell/Button.h"
#include "shell/ComboBox.h"
#include "shell/Edit.h"
#include "shell/Form.h"
#include "shell/GroupBox.h"
#include "shell/Label.h"
#include "tests/shell/ToolkitTestSupport.h"

namespace {

class ControlsTest : public testing::Test {
 protected:
  void ShowWithFocusOn(TWinControl* Control) {
    FForm.Show();
    ASSERT_TRUE(WaitForActiveWindow(FForm.Widget()));
    Control->SetFocus();
  }
  TForm FForm{nullptr};
};

TEST_F(ControlsTest, EditLimitsTypedTextAndReportsEveryChange) {
  auto* edit = new TEdit(&FForm);
  edit->SetMaxLength(5);
  int changes = 0;
  edit->OnChange = [&] { ++changes; };
  edit->SetText("01000");
  EXPECT_EQ(changes, 1);
  edit->SetText("01000");
  EXPECT_EQ(changes, 1);
  edit->Clear();
  ShowWithFocusOn(edit);
  TypeText(edit->Widget(), "Lyon \xC3\xA9t\xC3\xA9");  // UTF-8 "Lyon été"
  EXPECT_EQ(edit->GetText(), "Lyon ");
  EXPECT_EQ(changes, 2 + 5);
  edit->SetMaxLength(0);
  TypeText(edit->Widget(), "\xC3\xA9");
  EXPECT_EQ(edit->GetText(), "Lyon \xE9");  // Windows-1252
}

TEST_F(ControlsTest, PasswordEditHidesTheText) {
  auto* edit = new TEdit(&FForm);
  edit->SetPasswordChar('*');
  edit->SetText("secret");
  auto* line = static_cast<QLineEdit*>(edit->Widget());
  EXPECT_EQ(line->echoMode(), QLineEdit::Password);
  EXPECT_EQ(line->displayText(), QString(6, QChar('*')));
  EXPECT_EQ(edit->GetText(), "secret");
}

TEST_F(ControlsTest, ComboBoxStartsWithNothingChosenAndReportsOnlyTheUsersChoice) {
  auto* combo = new TComboBox(&FForm);
  int changes = 0;
  combo->OnChange = [&] { ++changes; };
  for (const char* unit : {"kg", "Tonne", "m\xB3"}) combo->Items()->Add(unit);
  EXPECT_EQ(combo->GetItemIndex(), -1);
  EXPECT_EQ(combo->GetText(), "");
  EXPECT_EQ(combo->Items()->IndexOf("TONNE"), 1);
  EXPECT_EQ(combo->Items()->IndexOf("litre"), -1);
  combo->SetItemIndex(2);
  EXPECT_EQ(combo->GetText(), "m\xB3");
  EXPECT_EQ(changes, 0);
  ShowWithFocusOn(combo);
  QTest::keyClick(combo->Widget(), Qt::Key_Up);
  EXPECT_EQ(combo->GetItemIndex(), 1);
  EXPECT_EQ(changes, 1);
  combo->Items()->Delete(1);
  EXPECT_EQ(combo->GetItemIndex(), -1);
  EXPECT_THROW(combo->Items()->Get(7), EStringListError);
}

TEST_F(ControlsTest, LabelTakesTheSizeOfItsTextUnlessToldOtherwise) {
  auto* label = new TLabel(&FForm);
  label->SetBounds(29, 512, 10, 10);
  label->SetCaption("Main d'oeuvre :");
  EXPECT_EQ(label->GetLeft(), 29);
  EXPECT_EQ(label->GetTop(), 512);
  int width = label->GetWidth();
  EXPECT_GT(width, 30);
  label->SetFontBold(true);
  EXPECT_TRUE(label->GetFontBold());
  EXPECT_GE(label->GetWidth(), width);
  label->SetAutoSize(false);
  label->SetAlignment(taCenter);
  label->SetBounds(0, 0, 300, 20);
  EXPECT_EQ(label->GetWidth(), 300);
}

TEST_F(ControlsTest, TabStopAndTabOrderMakeTheFocusChain) {
  auto* group = new TGroupBox(&FForm);
  auto* first = new TEdit(&FForm);
  auto* second = new TButton(&FForm);
  second->SetParent(group);
  auto* skipped = new TEdit(&FForm);
  skipped->SetTabStop(false);
  auto* last = new TButton(&FForm);
  last->SetTabOrder(0);  // now before the group and the first edit
  EXPECT_EQ(last->GetTabOrder(), 0);
  ShowWithFocusOn(last);
  std::vector<QWidget*> visited;
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(visited, (std::vector<QWidget*>{second->Widget(), first->Widget(), last->Widget()}));
}

TEST_F(ControlsTest, ButtonClickSetsTheFormResultThenRunsOnClick) {
  auto* button = new TBitBtn(&FForm);
  button->SetCaption("Valider");
  button->SetGlyph(bgValidate);
  button->SetModalResult(mrOk);
  TModalResult seen = mrNone;
  button->OnClick = [&] { seen = FForm.GetModalResult(); };
  button->Click();
  EXPECT_EQ(seen, mrOk);
  EXPECT_EQ(button->GetCaption(), "Valider");
  EXPECT_FALSE(static_cast<QAbstractButton*>(button->Widget())->icon().isNull());
}

}  // namespace
