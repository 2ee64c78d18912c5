#include "shell/Edit.h"

#include <QLineEdit>

#include "shell/EventDispatch.h"
#include "shell/QtText.h"

namespace {
// QLineEdit's own default, which stands for "no limit".
constexpr int kNoLimit = 32767;
}  // namespace

TEdit::TEdit(TComponent* Owner) : TWinControl(Owner, new QLineEdit(), true) {
  QObject::connect(LineEdit(), &QLineEdit::textChanged, LineEdit(), [this] {
    if (!FSettingText && OnChange) FireEvent([this] { OnChange(); });
  });
}

QLineEdit* TEdit::LineEdit() const { return static_cast<QLineEdit*>(Widget()); }

AnsiString TEdit::GetText() const { return FromQString(LineEdit()->text()); }

void TEdit::SetText(const AnsiString& Text) {
  QString before = LineEdit()->text();
  FSettingText = true;
  LineEdit()->setText(ToQString(Text));
  FSettingText = false;
  if (LineEdit()->text() != before && OnChange) OnChange();
}

void TEdit::SetMaxLength(int MaxLength) {
  FMaxLength = std::max(MaxLength, 0);
  LineEdit()->setMaxLength(FMaxLength == 0 ? kNoLimit : FMaxLength);
}

bool TEdit::GetReadOnly() const { return LineEdit()->isReadOnly(); }
void TEdit::SetReadOnly(bool ReadOnly) { LineEdit()->setReadOnly(ReadOnly); }

void TEdit::SetPasswordChar(char PasswordChar) {
  FPasswordChar = PasswordChar;
  LineEdit()->setEchoMode(PasswordChar ? QLineEdit::Password : QLineEdit::Normal);
  SetStyleRule("password",
               PasswordChar ? "QLineEdit { lineedit-password-character: " +
                                  std::to_string(ToQChar(PasswordChar).unicode()) + "; }"
                            : std::string());
}

void TEdit::SelectAll() { LineEdit()->selectAll(); }
