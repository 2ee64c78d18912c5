#include "shell/JvValidateEdit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QtTest/QTest>

#include "shell/Form.h"
#include "shell/FormatSettings.h"
#include "tests/shell/ToolkitTestSupport.h"

namespace {

// Every test runs with the French separators: ',' and the no-break space.
class JvValidateEditTest : public testing::Test {
 protected:
  void SetUp() override {
    FSaved = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
    FormatSettings.ThousandSeparator = '\xA0';
    FField->SetBounds(10, 10, 120, 21);
    FField->OnChange = [this] { ++FChanges; };
  }
  void TearDown() override { FormatSettings = FSaved; }
  void ShowWithFocus() {
    FForm.Show();
    ASSERT_TRUE(WaitForActiveWindow(FForm.Widget()));
    FField->SetFocus();
    ASSERT_TRUE(FField->Focused());
  }
  QString Shown() const { return FField->Widget()->property("text").toString(); }

  TFormatSettings FSaved;
  TForm FForm{nullptr};
  TJvValidateEdit* FField = new TJvValidateEdit(&FForm);  // owned by the form
  int FChanges = 0;
};

TEST_F(JvValidateEditTest, SetValueStoresTheValueRoundedHalfAwayFromZero) {
  const struct {
    double Value;
    bool Thousands;
    const char* Text;
    const char* Display;
    double ReadBack;
  } cases[] = {{1.125, false, "1,13", "1,13", 1.13},
               {2.675, false, "2,68", "2,68", 2.68},
               {-1.125, false, "-1,13", "-1,13", -1.13},
               {1.005, false, "1,01", "1,01", 1.01},
               {2.5, false, "2,50", "2,50", 2.5},
               {1234.5, false, "1234,50", "1234,50", 1234.5},
               {1234.5, true, "1234,50", "1\xA0" "234,50", 1234.5},
               {-1234567.891, true, "-1234567,89", "-1\xA0" "234\xA0" "567,89", -1234567.89},
               {0, false, "0,00", "0,00", 0}};
  for (auto& c : cases) {
    FField->SetThousandsSeparator(c.Thousands);
    FField->SetValue(c.Value);
    EXPECT_EQ(FField->GetText(), c.Text) << c.Value;
    EXPECT_EQ(FField->GetDisplayText(), c.Display) << c.Value;
    EXPECT_DOUBLE_EQ(FField->Value(), c.ReadBack) << c.Value;
  }
}

TEST_F(JvValidateEditTest, ValueReadsTheTextAndGivesZeroForEmptyOrUnreadableText) {
  const struct {
    const char* Text;
    double Value;
  } cases[] = {{"", 0},     {"12,5", 12.5}, {"12.5", 12.5}, {"-3", -3},
               {"abc", 0},  {"-", 0},       {",", 0},       {"1\xA0" "234,5", 0}};
  for (auto& c : cases) {
    FField->SetText(c.Text);
    EXPECT_DOUBLE_EQ(FField->Value(), c.Value) << c.Text;
  }
}

TEST_F(JvValidateEditTest, TheLowerLimitRaisesASmallerValueSetByTheProgram) {
  FField->SetHasMinValue(true);
  FField->SetMinValue(0);
  FField->SetValue(-12.5);
  EXPECT_EQ(FField->GetText(), "0,00");
  FField->SetValue(7.255);
  EXPECT_EQ(FField->GetText(), "7,26");
  FField->SetHasMinValue(false);
  FField->SetValue(-12.5);
  EXPECT_EQ(FField->GetText(), "-12,50");
}

TEST_F(JvValidateEditTest, OnChangeFiresForEveryChangeSetOrTyped) {
  FField->SetValue(3);
  EXPECT_EQ(FChanges, 1);
  FField->SetValue(3.001);  // the same text
  EXPECT_EQ(FChanges, 1);
  ShowWithFocus();
  EXPECT_EQ(Shown(), "3,00");
  FField->SetText("");
  EXPECT_EQ(FChanges, 2);
  QTest::keyClicks(FField->Widget(), "12");
  EXPECT_EQ(FChanges, 4);
  EXPECT_DOUBLE_EQ(FField->Value(), 12);
}

TEST_F(JvValidateEditTest, TypingAcceptsOnlyTheCharactersOfADecimalNumber) {
  const struct {
    const char* Keys;
    bool Negative;
    const char* Text;
  } cases[] = {{"12abc", false, "12"},      {"1,5x", false, "1,5"},   {"1.5", false, "1,5"},
               {"1,2,3", false, "1,23"},    {"3,14159", false, "3,14"}, {"-4", false, "4"},
               {"-4", true, "-4"},          {"4-", true, "4"},        {"e1 2", false, "12"}};
  ShowWithFocus();
  for (auto& c : cases) {
    FField->SetHasMinValue(!c.Negative);
    FField->SetMinValue(0);
    FField->SetText("");
    QTest::keyClicks(FField->Widget(), c.Keys);
    EXPECT_EQ(FField->GetText(), c.Text) << c.Keys;
  }
}

TEST_F(JvValidateEditTest, ShowsFixedDecimalsWhileNotBeingEdited) {
  FField->SetThousandsSeparator(true);
  ShowWithFocus();
  QTest::keyClicks(FField->Widget(), "1234,5");
  EXPECT_EQ(Shown(), "1234,5");
  FField->Widget()->clearFocus();
  EXPECT_EQ(Shown(), QString::fromUtf8("1\u00A0234,50"));
  EXPECT_EQ(FField->GetText(), "1234,5");
  FField->SetFocus();
  EXPECT_EQ(Shown(), "1234,5");
}

TEST_F(JvValidateEditTest, ReadOnlyKeepsTheText) {
  FField->SetValue(34.75);
  FField->SetReadOnly(true);
  FField->SetFontBold(true);
  FField->SetColor(clSilver);
  ShowWithFocus();
  QTest::keyClicks(FField->Widget(), "9");
  EXPECT_EQ(FField->GetText(), "34,75");
  EXPECT_TRUE(FField->GetFontBold());
  EXPECT_TRUE(FField->GetReadOnly());
}

}  // namespace

namespace {

TEST_F(JvValidateEditTest, AClickIntoTheFieldSelectsItsTextSoThatTypingReplacesIt) {
  FField->SetValue(0);
  auto* other = new TJvValidateEdit(&FForm);  // owned by the form
  other->SetBounds(10, 40, 120, 21);
  FForm.Show();
  ASSERT_TRUE(WaitForActiveWindow(FForm.Widget()));
  other->SetFocus();
  QTest::mouseClick(FField->Widget(), Qt::LeftButton, {}, QPoint(100, 10));
  QApplication::processEvents();
  ASSERT_TRUE(FField->Focused());
  TypeText(FField->Widget(), "12,75");
  EXPECT_EQ(FField->GetText(), "12,75");
  EXPECT_EQ(FField->GetValue(), 12.75);
}

}  // namespace
