// The one place where the toolkit's single-byte text meets Qt's Unicode text.
//
// AnsiString holds Windows-1252 (engine/storage/ZEVCodePage.h). ToQString is exact for every
// byte; FromQString turns a character that Windows-1252 cannot hold into '?'. Nothing raises.
#pragma once

#include <QChar>
#include <QString>

#include "engine/storage/ZEVCodePage.h"

QString ToQString(const AnsiString& Text);
AnsiString FromQString(const QString& Text);

QChar ToQChar(char Ch);
// The Windows-1252 form of one character, '?' when there is none.
char FromQChar(QChar Ch);
