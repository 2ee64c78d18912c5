#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "engine/storage/ZEVCollation.h"
#include "engine/storage/ZEVExcept.h"
#include "reference/Outils.h"
#include "shell/Form.h"
#include "shell/FormatSettings.h"
#include "shell/ListView.h"

namespace {

// Sets the decimal separator for one test and puts the previous settings back.
class TDecimalSeparator {
 public:
  explicit TDecimalSeparator(char Separator) : FSaved(FormatSettings) {
    FormatSettings.DecimalSeparator = Separator;
  }
  ~TDecimalSeparator() { FormatSettings = FSaved; }

 private:
  TFormatSettings FSaved;
};

struct TFloatTextCase {
  double Value;
  const char* French;
  const char* English;
};

TEST(OutilsTest, FloatToStrWritesTheGeneralFormInBothLocales) {
  const TFloatTextCase cases[] = {
      {2.5, "2,5", "2.5"},
      {10, "10", "10"},
      {0.1, "0,1", "0.1"},
      {0, "0", "0"},
      {-2.5, "-2,5", "-2.5"},
      {1.0 / 3, "0,333333333333333", "0.333333333333333"},
      {2.0 / 3, "0,666666666666667", "0.666666666666667"},
      {123456789012345.0, "123456789012345", "123456789012345"},
      {1e14, "100000000000000", "100000000000000"},
      {1e15, "1E15", "1E15"},
      {-1.25e20, "-1,25E20", "-1.25E20"},
      {999999999999999.9, "1E15", "1E15"},  // rounds to 15 digits, then turns scientific
      {0.0001, "0,0001", "0.0001"},
      {0.00012, "0,00012", "0.00012"},
      {0.00001, "0,00001", "0.00001"},  // scientific only below 0.00001
      {0.000005, "5E-6", "5E-6"},
      {0.000001, "1E-6", "1E-6"},
      {1.5e-7, "1,5E-7", "1.5E-7"},
      {1234.5678, "1234,5678", "1234.5678"},
      {0.1 + 0.2, "0,3", "0.3"},  // 0.30000000000000004 has more than 15 digits
      {12.3 * 3, "36,9", "36.9"},
  };
  for (const TFloatTextCase& c : cases) {
    {
      TDecimalSeparator french(',');
      EXPECT_EQ(FloatToStr(c.Value), c.French) << c.English;
    }
    TDecimalSeparator english('.');
    EXPECT_EQ(FloatToStr(c.Value), c.English) << c.English;
  }
}

TEST(OutilsTest, FloatToStrReadsBackWithTheLocaleConversion) {
  TDecimalSeparator french(',');
  for (double value : {2.5, 0.1, 1e15, 1.5e-7, -36.9, 123456789012345.0, 1.0 / 3}) {
    double back = StrToFloatLocale(FloatToStr(value));
    EXPECT_NEAR(back, value, std::fabs(value) * 1e-14) << FloatToStr(value);
  }
}

struct TConversionCase {
  const char* Text;
  double Expected;
};

TEST(OutilsTest, StrToFloatLocaleReadsTheLocaleForm) {
  TDecimalSeparator french(',');
  const TConversionCase cases[] = {
      {"2,5", 2.5},       {"-2,5", -2.5}, {"+3", 3},   {" 7 ", 7}, {"1E15", 1e15},
      {"1,5E-7", 1.5e-7}, {"2e3", 2000},  {",5", 0.5}, {"5,", 5},  {"0", 0},
  };
  for (const TConversionCase& c : cases) EXPECT_EQ(StrToFloatLocale(c.Text), c.Expected) << c.Text;
}

// The exact text of the platform's conversion error, or "" when nothing was raised.
AnsiString ConversionError(const AnsiString& Text) {
  try {
    StrToFloatLocale(Text);
  } catch (const EConvertError& e) {
    return e.Message();
  }
  return "";
}

TEST(OutilsTest, StrToFloatLocaleRaisesOnMalformedTexts) {
  TDecimalSeparator french(',');
  for (const char* text : {"", "12.5", "abc", "1,2,3", "-", ",", "1E", "1E+", "2,5 \x80", "1 000"})
    EXPECT_EQ(ConversionError(text),
              "'" + AnsiString(text) + "' is not a valid floating point value")
        << text;
  TDecimalSeparator english('.');
  EXPECT_EQ(ConversionError("2,5"), "'2,5' is not a valid floating point value");
  EXPECT_EQ(StrToFloatLocale("12.5"), 12.5);
}

TEST(OutilsTest, LireNombreReadsTheNumberAtTheStartOfACell) {
  TDecimalSeparator french(',');
  const TConversionCase cases[] = {
      {"2,5", 2.5},    {"3,00 \x80", 3},
      {"abc", 0},      {"1E-6", 1},
      {"1,5E-7", 1.5}, {"12 unit\xE9s", 12},
      {"10", 10},      {"-2,5", 0},
      {"7kg", 7},      {"0,333333333333333", 0.333333333333333},
  };
  for (const TConversionCase& c : cases) EXPECT_EQ(LireNombre(c.Text), c.Expected) << c.Text;
}

TEST(OutilsTest, LireNombreLetsConversionErrorsThrough) {
  TDecimalSeparator french(',');
  // A point passes the scan but not the comma locale's conversion.
  EXPECT_THROW(LireNombre("12.5"), EConvertError);
  // A blank first leaves an empty text to convert.
  EXPECT_THROW(LireNombre(" 5"), EConvertError);
  EXPECT_THROW(LireNombre(""), EConvertError);
  EXPECT_THROW(LireNombre("1,2,3"), EConvertError);
  TDecimalSeparator english('.');
  EXPECT_EQ(LireNombre("12.5"), 12.5);
}

TEST(OutilsTest, StrToIntReadsASignedDecimalAndNothingElse) {
  const struct {
    const char* Text;
    int32_t Expected;
  } good[] = {{"0", 0}, {"42", 42}, {"-1", -1}, {"+7", 7}, {" 12", 12}, {"2147483647", 2147483647}};
  for (const auto& c : good) EXPECT_EQ(StrToInt(c.Text), c.Expected) << c.Text;
  for (const char* text : {"", "abc", "12 ", "1,5", "+-3", "2147483648", "0x10", "-"}) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "read: " << text;
    } catch (const EConvertError& error) {
      EXPECT_EQ(error.Message(), "'" + AnsiString(text) + "' is not a valid integer value");
    }
  }
}

// A picker's list: identifier as caption, name in cell 0.
class RechercherDansListeTest : public testing::Test {
 protected:
  void SetUp() override {
    zev::SetUserCollationLocale("fr_FR");
    for (const char* caption : {"Id", "Nom"}) FList->Columns()->Add()->SetCaption(caption);
    FList->OnSelectItem = [this](TListItem* Item, bool Selected) {
      FEvents += Item->GetCaption() + (Selected ? "+ " : "- ");
    };
  }
  void TearDown() override { zev::SetUserCollationLocale("", true); }

  TListItem* Append(const AnsiString& Id, const AnsiString& Name) {
    TListItem* item = FList->Items()->Add();
    item->SetCaption(Id);
    item->SubItems()->Add(Name);
    return item;
  }
  AnsiString SelectedCaption() const {
    return FList->Selected() ? FList->Selected()->GetCaption() : AnsiString("none");
  }

  TForm FForm{nullptr};
  TListView* FList = new TListView(&FForm);  // owned by the form
  AnsiString FEvents;
};

struct TSearchCase {
  const char* Text;
  int Column;
  const char* Before;  // caption selected before the search, "" for none
  const char* After;   // caption selected after it, "none" for none
};

TEST_F(RechercherDansListeTest, SelectsTheFirstRowWhosePrefixMatches) {
  Append("12", "Carton");
  Append("25", "Bois");
  Append("2", "bidon");
  Append("7", "Boisson");
  Append("31", "\xE9lectronique");  // électronique
  const TSearchCase cases[] = {
      {"BI", 1, "", "2"},                           // case is ignored
      {"bois", 1, "", "25"},                        // the first of two matches in display order
      {"boisso", 1, "25", "7"},                     // a shorter text never matches
      {"\xC9LEC", 1, "", "31"},                     // ÉLEC: accented letters fold too
      {"arton", 1, "12", "12"},                     // a match in the middle is no match
      {"zinc", 1, "25", "25"},                      // no match keeps the selection
      {"zinc", 1, "", "none"},  {"", 1, "7", "7"},  // an empty text changes nothing
      {"2", 0, "", "25"},       // column 0 is the caption; "12" matches only inside
      {"Carton", 0, "7", "7"},  // the caption column does not look at the names
  };
  for (const TSearchCase& c : cases) {
    AnsiString before = *c.Before ? c.Before : "none";
    TListItem* initial = nullptr;
    for (int i = 0; i < FList->Items()->GetCount(); ++i)
      if (FList->Items()->GetItem(i)->GetCaption() == c.Before)
        initial = FList->Items()->GetItem(i);
    FList->SetSelected(initial);
    if (initial) initial->SetFocused(true);
    FEvents.clear();
    RechercherDansListe(FList, c.Text, c.Column);
    EXPECT_EQ(SelectedCaption(), c.After) << c.Text;
    if (before == c.After) {
      EXPECT_EQ(FEvents, "") << c.Text;
    } else {
      EXPECT_EQ(FEvents, (initial ? before + "- " : AnsiString()) + c.After + "+ ") << c.Text;
      EXPECT_EQ(FList->GetItemFocused(), FList->Selected()) << c.Text;
    }
  }
}

TEST_F(RechercherDansListeTest, BringsTheFoundRowToTheFirstVisibleLine) {
  FList->SetBounds(8, 35, 377, 405);
  for (int i = 0; i < 100; ++i) Append(std::to_string(i), "nom " + std::to_string(100 + i));
  FForm.Show();
  for (int target : {60, 30, 45, 20, 5}) {
    RechercherDansListe(FList, "NOM " + std::to_string(100 + target), 1);
    TListItem* item = FList->Items()->GetItem(target);
    EXPECT_EQ(FList->Selected(), item);
    EXPECT_EQ(FList->GetItemFocused(), item);
    EXPECT_EQ(FList->GetTopItem(), item) << target;
  }
}

}  // namespace
