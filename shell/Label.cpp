#include "shell/Label.h"

#include <QLabel>

#include "shell/QtText.h"

namespace {

Qt::Alignment qtAlignment(TAlignment Alignment) {
  switch (Alignment) {
    case taRightJustify:
      return Qt::AlignRight | Qt::AlignTop;
    case taCenter:
      return Qt::AlignHCenter | Qt::AlignTop;
    default:
      return Qt::AlignLeft | Qt::AlignTop;
  }
}

}  // namespace

TLabel::TLabel(TComponent* Owner) : TControl(Owner, new QLabel()) {
  Label()->setTextFormat(Qt::PlainText);
  Label()->setAlignment(qtAlignment(FAlignment));
  AdjustSize();
}

QLabel* TLabel::Label() const { return static_cast<QLabel*>(Widget()); }

AnsiString TLabel::GetCaption() const { return FromQString(Label()->text()); }

void TLabel::SetCaption(const AnsiString& Caption) {
  Label()->setText(ToQString(Caption));
  AdjustSize();
}

void TLabel::SetAlignment(TAlignment Alignment) {
  FAlignment = Alignment;
  Label()->setAlignment(qtAlignment(Alignment));
}

void TLabel::SetAutoSize(bool AutoSize) {
  FAutoSize = AutoSize;
  AdjustSize();
}

void TLabel::SetBounds(int Left, int Top, int Width, int Height) {
  TControl::SetBounds(Left, Top, Width, Height);
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (FAutoSize) Label()->resize(Label()->sizeHint());
}
