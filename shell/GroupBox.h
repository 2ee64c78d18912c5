// TGroupBox: a framed panel with an optional caption that holds other controls; their
// positions are relative to the group box's top-left corner. It never takes the focus.
// Ownership: the widget (child controls belong to their owner). Nothing raises.
#pragma once

#include "shell/Control.h"

class QGroupBox;

class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* Owner);

  AnsiString GetCaption() const;
  void SetCaption(const AnsiString& Caption);

 private:
  QGroupBox* GroupBox() const;
};
