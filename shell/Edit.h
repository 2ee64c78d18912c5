// TEdit: a one-line text field.
//
// MaxLength limits the text to that many characters (0: no limit of its own); the limit also
// cuts a longer text set by the program. OnChange fires on every change of the text, typed or
// set by the program (not when the same text is set again). PasswordChar shows that character
// for each typed one ('\0': the text itself). Ownership: the widget. Errors: OnChange
// exceptions from typing go to the exception display; from SetText, to the caller.
#pragma once

#include <functional>

#include "shell/Control.h"

class QLineEdit;

class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* Owner);

  AnsiString GetText() const;
  void SetText(const AnsiString& Text);
  void Clear() { SetText(AnsiString()); }
  int GetMaxLength() const { return FMaxLength; }
  void SetMaxLength(int MaxLength);
  bool GetReadOnly() const;
  void SetReadOnly(bool ReadOnly);
  char GetPasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char PasswordChar);
  void SelectAll();

  std::function<void()> OnChange;

 protected:
  QLineEdit* LineEdit() const;

 private:
  int FMaxLength = 0;
  char FPasswordChar = '\0';
  bool FSettingText = false;
};
