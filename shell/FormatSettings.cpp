#include "shell/FormatSettings.h"

#include <QLocale>

#include "shell/QtText.h"

namespace {

char separatorFrom(const QString& Text, char Default) {
  if (Text.isEmpty()) return Default;
  QChar c = Text.at(0);
  if (c.isSpace() || c.category() == QChar::Separator_Space) return '\xA0';
  char a = FromQChar(c);
  return a == '?' && c != QChar('?') ? Default : a;
}

}  // namespace

TFormatSettings TFormatSettings::FromLocale(const QLocale& Locale) {
  TFormatSettings s;
  s.DecimalSeparator = separatorFrom(Locale.decimalPoint(), '.');
  s.ThousandSeparator = separatorFrom(Locale.groupSeparator(), ',');
  return s;
}

TFormatSettings TFormatSettings::FromSystemLocale() { return FromLocale(QLocale::system()); }

TFormatSettings FormatSettings = TFormatSettings::FromSystemLocale();
