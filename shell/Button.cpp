#include "shell/Button.h"

#include <QPushButton>

#include "shell/ButtonGlyphs.h"
#include "shell/EventDispatch.h"
#include "shell/Form.h"
#include "shell/QtText.h"

TButton::TButton(TComponent* Owner) : TWinControl(Owner, new QPushButton(), true) {
  // Return on a focused button clicks it, as Space does.
  Button()->setAutoDefault(true);
  QObject::connect(Button(), &QPushButton::clicked, Button(), [this] { FireEvent([this] { Click(); }); });
}

QPushButton* TButton::Button() const { return static_cast<QPushButton*>(Widget()); }

AnsiString TButton::GetCaption() const { return FromQString(Button()->text()); }
void TButton::SetCaption(const AnsiString& Caption) { Button()->setText(ToQString(Caption)); }

void TButton::SetDefault(bool Default) {
  FDefault = Default;
  Button()->setDefault(Default);
}

void TButton::Click() {
  if (FModalResult != mrNone)
    if (TForm* form = GetParentForm()) form->SetModalResult(FModalResult);
  if (OnClick) OnClick();
}

TBitBtn::TBitBtn(TComponent* Owner) : TButton(Owner) {}

void TBitBtn::SetGlyph(TBitBtnGlyph Glyph) {
  FGlyph = Glyph;
  Button()->setIcon(BitBtnGlyphIcon(Glyph));
  Button()->setIconSize(QSize(kBitBtnGlyphSize, kBitBtnGlyphSize));
}
