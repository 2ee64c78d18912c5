// TLabel: a line of static text at (left, top); TStaticText is the same control.
//
// With AutoSize (the default) the label takes the size of its text, keeping its left and top;
// otherwise it keeps the size it was given and aligns the text in it (Alignment). The text is
// shown as written ('&' is an ordinary character). Ownership: the widget. Nothing raises.
#pragma once

#include "shell/Control.h"

class QLabel;

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* Owner);

  AnsiString GetCaption() const;
  void SetCaption(const AnsiString& Caption);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment Alignment);
  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool AutoSize);

  void SetBounds(int Left, int Top, int Width, int Height) override;

 protected:
  void FontChanged() override { AdjustSize(); }

 private:
  QLabel* Label() const;
  void AdjustSize();

  TAlignment FAlignment = taLeftJustify;
  bool FAutoSize = true;
};

using TStaticText = TLabel;
