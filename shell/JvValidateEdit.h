// TJvValidateEdit: a one-line field that holds the text of a decimal number.
//
// Value() is the text read as a number with the user's decimal separator (FormatSettings; '.'
// is read as a decimal separator too); empty or unreadable text is 0. SetValue stores the value
// rounded to DecimalPlaces half away from zero (rules in DecimalText.h), after raising it to
// MinValue when HasMinValue is set and it is smaller; the stored text has exactly DecimalPlaces
// decimals and no thousands separators, so Value() then gives the rounded value. A lower limit
// does not change typed text.
//
// Typing is restricted to the characters of a decimal number: digits, one decimal separator
// (the '.' key types the user's separator) with at most DecimalPlaces digits after it, and a
// leading minus only when negative values are allowed (no lower limit, or a negative one).
// Entering the field selects its whole text, so that typing replaces it.
// While the field does not have the focus it shows its value with exactly DecimalPlaces
// decimals, grouped by thousands when ThousandsSeparator is set (2.5 shows "2,50" in French);
// an empty field shows nothing and unreadable text is shown as it is. OnChange fires on every
// change of the text, typed or set (not when the same text is set again).
// Ownership: the widget and its validator. Errors: OnChange exceptions from typing go to the
// exception display; from SetValue and SetText, to the caller.
#pragma once

#include <functional>

#include "shell/Control.h"

enum TJvValidateEditDisplayFormat { dfFloat, dfInteger };

class TJvValidateEdit : public TWinControl {
 public:
  explicit TJvValidateEdit(TComponent* Owner);

  double Value() const;
  double GetValue() const { return Value(); }
  void SetValue(double Value);
  // The text itself, as edited.
  AnsiString GetText() const { return FText; }
  void SetText(const AnsiString& Text);
  // What the field shows while it does not have the focus.
  AnsiString GetDisplayText() const;

  // dfFloat: a decimal number with DecimalPlaces decimals; dfInteger: digits only.
  TJvValidateEditDisplayFormat GetDisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(TJvValidateEditDisplayFormat Format);
  // Decimals of dfFloat (0 to 15; 2 at first).
  int GetDecimalPlaces() const;
  void SetDecimalPlaces(int Places);
  bool GetThousandsSeparator() const { return FThousandsSeparator; }
  void SetThousandsSeparator(bool Grouped);
  double GetMinValue() const { return FMinValue; }
  void SetMinValue(double MinValue) { FMinValue = MinValue; }
  bool GetHasMinValue() const { return FHasMinValue; }
  void SetHasMinValue(bool HasMinValue) { FHasMinValue = HasMinValue; }
  bool GetReadOnly() const;
  void SetReadOnly(bool ReadOnly);

  std::function<void()> OnChange;

 private:
  class TFieldWidget;
  class TNumberValidator;
  friend class TFieldWidget;
  friend class TNumberValidator;

  TFieldWidget* Field() const;
  bool NegativeAllowed() const { return !FHasMinValue || FMinValue < 0; }
  // Shows the text or the display text, as the focus asks.
  void ShowText();
  void EditingChanged(bool Editing);
  void TextEdited();

  AnsiString FText;
  TJvValidateEditDisplayFormat FDisplayFormat = dfFloat;
  int FDecimalPlaces = 2;
  bool FThousandsSeparator = false;
  double FMinValue = 0;
  bool FHasMinValue = false;
  bool FEditing = false;
  bool FShowing = false;  // the widget's text is being replaced by ShowText
};
