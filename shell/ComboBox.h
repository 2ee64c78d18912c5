// TComboBox: a drop-down list from which the user chooses one entry; no typing (the only style
// the toolkit offers is the platform's csDropDownList).
//
// ItemIndex is -1 while nothing is chosen, which is also the state after the entries are
// filled; removing the chosen entry chooses nothing. OnChange fires when the user chooses an
// entry, not when the program sets ItemIndex. Ownership: the widget and the entry list object.
// Errors: entry indexes out of range raise EStringListError; OnChange exceptions go to the
// exception display.
#pragma once

#include <functional>
#include <memory>

#include "shell/Control.h"
#include "shell/Strings.h"

class QComboBox;

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* Owner);
  ~TComboBox() override;

  TStrings* Items() const;
  int GetItemIndex() const;
  void SetItemIndex(int Index);
  // The chosen entry's text, or empty text.
  AnsiString GetText() const;

  std::function<void()> OnChange;

 private:
  class TComboBoxStrings;
  QComboBox* ComboBox() const;

  std::unique_ptr<TComboBoxStrings> FItems;
};
