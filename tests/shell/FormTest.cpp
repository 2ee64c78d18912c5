#include "shell/Form.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <QtTest/QTest>
#include <string>

#include "shell/Button.h"
#include "shell/Edit.h"
#include "shell/GroupBox.h"
#include "tests/shell/ToolkitTestSupport.h"

namespace {

TEST(FormTest, IsAFixedSizeWindowWithItsCaptionAndTahomaOrAFallback) {
  TForm form(nullptr);
  form.SetCaption("Configuration de la gestion des d\xE9" "chets");
  form.SetClientSize(994, 513);
  EXPECT_EQ(form.GetCaption(), "Configuration de la gestion des d\xE9" "chets");
  EXPECT_EQ(form.GetClientWidth(), 994);
  EXPECT_EQ(form.GetClientHeight(), 513);
  EXPECT_EQ(form.Widget()->minimumSize(), form.Widget()->maximumSize());
  EXPECT_EQ(form.GetFontName(), "Tahoma");
  EXPECT_EQ(form.GetFontSize(), 8);
  EXPECT_FALSE(form.GetVisible());
}

TEST(FormTest, ChildrenArePlacedInClientCoordinatesOfTheirParent) {
  TForm form(nullptr);
  form.SetClientSize(845, 562);
  TGroupBox group(&form);
  group.SetBounds(8, 259, 830, 243);
  TButton button(&form);
  button.SetParent(&group);
  button.SetBounds(14, 3, 150, 50);
  EXPECT_EQ(button.GetParent(), &group);
  EXPECT_EQ(button.GetParentForm(), &form);
  EXPECT_EQ(button.Widget()->parentWidget(), group.Widget());
  EXPECT_EQ(button.Widget()->mapTo(form.Widget(), QPoint(0, 0)), QPoint(22, 262));
  EXPECT_EQ(button.GetWidth(), 150);
  EXPECT_EQ(button.GetHeight(), 50);
}

TEST(FormTest, OnActivateFiresWhenTheFormIsShown) {
  TForm form(nullptr);
  int activations = 0;
  form.OnActivate = [&] { ++activations; };
  form.SetPosition(poScreenCenter);
  form.Show();
  ASSERT_TRUE(WaitForActiveWindow(form.Widget()));
  EXPECT_GE(activations, 1);
  EXPECT_TRUE(form.GetActive());
}

TEST(FormTest, OnCloseSeesEveryWayOfClosingAndMayRefuse) {
  enum TWay { ByClose, ByCloseBox };
  for (TWay way : {ByClose, ByCloseBox}) {
    TForm form(nullptr);
    int closes = 0;
    TCloseAction answer = caNone;
    form.OnClose = [&](TCloseAction& Action) {
      ++closes;
      Action = answer;
    };
    form.Show();
    auto close = [&] {
      if (way == ByClose)
        form.Close();
      else
        form.Widget()->close();  // what the title bar's close box does
    };
    close();
    EXPECT_EQ(closes, 1) << way;
    EXPECT_TRUE(form.Widget()->isVisible()) << way;
    answer = caHide;
    close();
    EXPECT_EQ(closes, 2) << way;
    EXPECT_FALSE(form.Widget()->isVisible()) << way;
    EXPECT_FALSE(form.GetVisible()) << way;
  }
}

TEST(FormTest, ShowModalReturnsAfterCloseWithTheModalResult) {
  const struct {
    TModalResult ButtonResult;  // mrNone: the form is closed by Close()
    TModalResult Expected;
  } cases[] = {{mrOk, mrOk}, {mrYes, mrYes}, {mrNone, mrCancel}};
  for (auto& c : cases) {
    TForm form(nullptr);
    TButton button(&form);
    button.SetBounds(10, 10, 80, 25);
    button.SetModalResult(c.ButtonResult);
    bool clicked = false;
    button.OnClick = [&] {
      clicked = true;
      if (c.ButtonResult == mrNone) form.Close();
    };
    QTimer::singleShot(0, button.Widget(), [&] { QTest::mouseClick(button.Widget(), Qt::LeftButton); });
    EXPECT_EQ(form.ShowModal(), c.Expected);
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(form.Widget()->isVisible());
    EXPECT_FALSE(form.IsModal());
  }
}

TEST(FormTest, AHandlerMaySetTheModalResultBackToKeepTheFormOpen) {
  TForm form(nullptr);
  TButton ok(&form), cancel(&form);
  ok.SetModalResult(mrOk);
  int refusals = 0;
  ok.OnClick = [&] {
    if (++refusals == 1) form.SetModalResult(mrNone);  // a failed check: stay open
  };
  cancel.SetModalResult(mrCancel);
  QTimer::singleShot(0, ok.Widget(), [&] {
    ok.Click();
    QTimer::singleShot(0, ok.Widget(), [&] {
      EXPECT_TRUE(form.Widget()->isVisible());
      ok.Click();
    });
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(refusals, 2);
}

// A form with KeyPreview and an edit with the focus, logging who sees which key.
class FormKeyTest : public testing::Test {
 protected:
  void SetUp() override {
    FForm.SetKeyPreview(true);
    FEdit.SetBounds(10, 10, 200, 21);
    FForm.OnKeyPress = [this](char& Key) {
      FLog += std::string("form:") + Key + " ";
      if (Key == 'x') Key = 0;
      if (Key == 'a') Key = 'A';
    };
    FEdit.OnKeyPress = [this](char& Key) { FLog += std::string("edit:") + Key + " "; };
    FForm.Show();
    FEdit.SetFocus();
  }
  TForm FForm{nullptr};
  TEdit FEdit{&FForm};
  std::string FLog;
};

TEST_F(FormKeyTest, KeyPreviewSeesTheCharacterFirstAndMaySwallowOrChangeIt) {
  QTest::keyClicks(FEdit.Widget(), "bxa");
  EXPECT_EQ(FLog, "form:b edit:b form:x form:a edit:A ");
  EXPECT_EQ(FEdit.GetText(), "bA");
}

TEST_F(FormKeyTest, WithoutKeyPreviewOnlyTheControlSeesTheKey) {
  FForm.SetKeyPreview(false);
  QTest::keyClicks(FEdit.Widget(), "xa");
  EXPECT_EQ(FLog, "edit:x edit:a ");
  EXPECT_EQ(FEdit.GetText(), "xa");
}

TEST_F(FormKeyTest, KeyDownGivesVirtualKeyCodesAndShiftState) {
  std::vector<std::pair<WORD, TShiftState>> downs;
  FForm.OnKeyDown = [&](WORD& Key, TShiftState Shift) { downs.push_back({Key, Shift}); };
  QTest::keyClick(FEdit.Widget(), Qt::Key_Down);
  QTest::keyClick(FEdit.Widget(), Qt::Key_Return);
  QTest::keyClick(FEdit.Widget(), Qt::Key_Escape);
  QTest::keyClick(FEdit.Widget(), Qt::Key_F5);
  QTest::keyClick(FEdit.Widget(), 'T', Qt::ShiftModifier);  // types "T", as a keyboard does
  // Shift is a key of its own: it goes down before the T.
  ASSERT_EQ(downs.size(), 6u);
  EXPECT_EQ(downs[0].first, VK_DOWN);
  EXPECT_EQ(downs[1].first, VK_RETURN);
  EXPECT_EQ(downs[2].first, VK_ESCAPE);
  EXPECT_EQ(downs[3].first, VK_F1 + 4);
  EXPECT_EQ(downs[4].first, VK_SHIFT);
  EXPECT_EQ(downs[5].first, 'T');
  EXPECT_TRUE(downs[5].second.Contains(ssShift));
  EXPECT_FALSE(downs[0].second.Contains(ssShift));
  // Return and Escape also type characters 13 and 27; arrows and F5 type none.
  EXPECT_EQ(FLog, "form:\r edit:\r form:\x1B edit:\x1B form:T edit:T ");
}

TEST_F(FormKeyTest, ReturnAndEscapeClickTheDefaultAndCancelButtons) {
  TButton ok(&FForm), cancel(&FForm);
  ok.SetDefault(true);
  cancel.SetCancel(true);
  std::string clicks;
  ok.OnClick = [&] { clicks += "ok "; };
  cancel.OnClick = [&] { clicks += "cancel "; };
  QTest::keyClick(FEdit.Widget(), Qt::Key_Return);
  QTest::keyClick(FEdit.Widget(), Qt::Key_Escape);
  EXPECT_EQ(clicks, "ok cancel ");
  EXPECT_EQ(FLog, "");  // a key used by a button types nothing
}

}  // namespace
