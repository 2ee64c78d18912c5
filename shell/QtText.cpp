#include "shell/QtText.h"

QString ToQString(const AnsiString& Text) {
  return QString::fromStdU16String(zev::Utf16FromAnsi(Text));
}

AnsiString FromQString(const QString& Text) { return zev::AnsiFromUtf16(Text.toStdU16String()); }

QChar ToQChar(char Ch) {
  std::u16string u = zev::Utf16FromAnsi(AnsiString(1, Ch));
  return u.empty() ? QChar() : QChar(u[0]);
}

char FromQChar(QChar Ch) {
  AnsiString a = zev::AnsiFromUtf16(std::u16string(1, Ch.unicode()));
  return a.empty() ? '?' : a[0];
}
