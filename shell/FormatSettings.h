// The user's number formats: the decimal and thousands separators as Windows-1252 characters.
//
// The global FormatSettings is filled from the system locale when the program starts (Qt reads
// LC_ALL, LC_NUMERIC and LANG; "fr_FR.UTF-8" gives ',' and a no-break space). Tests may assign
// it freely. A Unicode group separator without a Windows-1252 form (the narrow no-break space
// U+202F, thin spaces) becomes the no-break space 0xA0. Nothing raises.
#pragma once

class QLocale;

struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';

  static TFormatSettings FromLocale(const QLocale& Locale);
  static TFormatSettings FromSystemLocale();
};

extern TFormatSettings FormatSettings;
