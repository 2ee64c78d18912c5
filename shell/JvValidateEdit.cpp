#include "shell/JvValidateEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QValidator>
#include <algorithm>

#include "shell/DecimalText.h"
#include "shell/EventDispatch.h"
#include "shell/FormatSettings.h"
#include "shell/QtText.h"

// Refuses every edit that would leave text that is not (the beginning of) a decimal number.
class TJvValidateEdit::TNumberValidator : public QValidator {
 public:
  explicit TNumberValidator(TJvValidateEdit* Edit) : FEdit(Edit) {}

  State validate(QString& Input, int& /*Pos*/) const override {
    const QChar separator = ToQChar(FormatSettings.DecimalSeparator);
    const int places = FEdit->GetDecimalPlaces();
    int i = 0;
    if (i < Input.size() && Input[i] == QChar('-')) {
      if (!FEdit->NegativeAllowed()) return Invalid;
      ++i;
    }
    int decimals = -1;  // -1 until the separator
    for (; i < Input.size(); ++i) {
      QChar c = Input[i];
      if (c >= QChar('0') && c <= QChar('9')) {
        if (decimals >= 0 && ++decimals > places) return Invalid;
      } else if (c == separator && decimals < 0 && places > 0) {
        decimals = 0;
      } else {
        return Invalid;
      }
    }
    return Acceptable;
  }

 private:
  TJvValidateEdit* FEdit;
};

// The line edit: tells the field when editing starts and ends, and types the user's decimal
// separator for the '.' and ',' keys.
class TJvValidateEdit::TFieldWidget : public QLineEdit {
 public:
  explicit TFieldWidget(TJvValidateEdit* Edit) : FEdit(Edit), FValidator(Edit) {
    setValidator(&FValidator);
  }

 protected:
  // Entering the field selects its whole text, by the keyboard or by a click (once the click
  // has placed the cursor), so that typing replaces the value shown.
  void focusInEvent(QFocusEvent* Event) override {
    if (Event->reason() != Qt::PopupFocusReason) FEdit->EditingChanged(true);
    QLineEdit::focusInEvent(Event);
    if (Event->reason() != Qt::PopupFocusReason)
      QTimer::singleShot(0, this, [this] {
        if (hasFocus()) selectAll();
      });
  }
  void focusOutEvent(QFocusEvent* Event) override {
    QLineEdit::focusOutEvent(Event);
    if (Event->reason() != Qt::PopupFocusReason) FEdit->EditingChanged(false);
  }
  void keyPressEvent(QKeyEvent* Event) override {
    const QChar separator = ToQChar(FormatSettings.DecimalSeparator);
    QString text = Event->text();
    if (text.size() == 1 && (text[0] == QChar('.') || text[0] == QChar(',')) &&
        text[0] != separator) {
      QKeyEvent typed(QEvent::KeyPress, Event->key(), Event->modifiers(), QString(separator),
                      Event->isAutoRepeat(), Event->count());
      QLineEdit::keyPressEvent(&typed);
      Event->setAccepted(typed.isAccepted());
      return;
    }
    QLineEdit::keyPressEvent(Event);
  }

 private:
  TJvValidateEdit* FEdit;
  TNumberValidator FValidator;
};

TJvValidateEdit::TJvValidateEdit(TComponent* Owner)
    : TWinControl(Owner, new TFieldWidget(this), true) {
  QObject::connect(Field(), &QLineEdit::textEdited, Field(), [this] {
    if (!FShowing) FireEvent([this] { TextEdited(); });
  });
}

TJvValidateEdit::TFieldWidget* TJvValidateEdit::Field() const {
  return static_cast<TFieldWidget*>(Widget());
}

double TJvValidateEdit::Value() const {
  double v = 0;
  ReadDecimal(FText, FormatSettings.DecimalSeparator, v);
  return v;
}

void TJvValidateEdit::SetValue(double Value) {
  if (FHasMinValue && Value < FMinValue) Value = FMinValue;
  SetText(LocalizeDecimal(RoundHalfAwayFromZero(Value, GetDecimalPlaces()),
                          FormatSettings.DecimalSeparator, '\0'));
}

void TJvValidateEdit::SetText(const AnsiString& Text) {
  if (Text == FText) return;
  FText = Text;
  ShowText();
  if (OnChange) OnChange();
}

AnsiString TJvValidateEdit::GetDisplayText() const {
  double v = 0;
  if (FText.find_first_not_of(" ") == AnsiString::npos) return AnsiString();
  if (!ReadDecimal(FText, FormatSettings.DecimalSeparator, v)) return FText;
  return LocalizeDecimal(RoundHalfAwayFromZero(v, GetDecimalPlaces()),
                         FormatSettings.DecimalSeparator,
                         FThousandsSeparator ? FormatSettings.ThousandSeparator : '\0');
}

void TJvValidateEdit::SetDisplayFormat(TJvValidateEditDisplayFormat Format) {
  FDisplayFormat = Format;
  ShowText();
}

int TJvValidateEdit::GetDecimalPlaces() const {
  return FDisplayFormat == dfInteger ? 0 : FDecimalPlaces;
}

void TJvValidateEdit::SetDecimalPlaces(int Places) {
  FDecimalPlaces = std::clamp(Places, 0, 15);
  ShowText();
}

void TJvValidateEdit::SetThousandsSeparator(bool Grouped) {
  FThousandsSeparator = Grouped;
  ShowText();
}

bool TJvValidateEdit::GetReadOnly() const { return Field()->isReadOnly(); }
void TJvValidateEdit::SetReadOnly(bool ReadOnly) { Field()->setReadOnly(ReadOnly); }

void TJvValidateEdit::ShowText() {
  QString shown = ToQString(FEditing ? FText : GetDisplayText());
  if (Field()->text() == shown) return;
  FShowing = true;
  Field()->setText(shown);
  FShowing = false;
}

void TJvValidateEdit::EditingChanged(bool Editing) {
  FEditing = Editing;
  ShowText();
}

void TJvValidateEdit::TextEdited() {
  AnsiString text = FromQString(Field()->text());
  if (text == FText) return;
  FText = text;
  if (OnChange) OnChange();
}
