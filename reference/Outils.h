// Outils: the small utilities of the windows: numbers in text in the user's locale (the general
// text form of a double, the locale's text-to-double conversion, reading a number back from a
// list cell) and the prefix search of the pick lists.
//
// Numbers use FormatSettings.DecimalSeparator as it is at the call. Nothing here owns anything;
// RechercherDansListe only works on the list it is given.
// Errors: StrToFloatLocale, and LireNombre through it, raise EConvertError with the text
// "'<text>' is not a valid floating point value"; the others raise nothing themselves (handlers
// of the list's selection event may).
#pragma once

#include <cstdint>

#include "engine/storage/ZEVCodePage.h"

class TListView;

// The general text form: at most 15 significant digits, trailing zeros dropped, no thousands
// separator, the locale's decimal separator; scientific ("1E15", "1E-6", "1,5E-7": mantissa,
// "E", exponent without leading zeros or plus sign) when the decimal exponent is 15 or more or
// below -5 (magnitudes below 0.00001). Zero is "0"; NaN is "NAN", infinities "INF" and "-INF".
AnsiString FloatToStr(double Value);

// The locale's text-to-double conversion: blanks around the number, an optional sign, digits
// with at most one decimal separator (the locale's, no other), an optional exponent ("E" or "e",
// optional sign, digits). Anything else, or no digit at all, raises EConvertError.
double StrToFloatLocale(const AnsiString& Text);

// Decimal text to integer (an optional sign and digits, nothing around them), as the windows
// convert list captions and exchange-file attributes; EConvertError "'<text>' is not a valid
// integer value" otherwise, also when the value does not fit in 32 bits.
int32_t StrToInt(const AnsiString& Text);

// Reads back a number written into a list cell: the scan skips ',' and '.', converts the text
// before the first blank, or before the first other non-digit (0 when that is the first
// character), or else the whole text. Conversion errors are not caught: "12.5" in a comma
// locale raises EConvertError. A scientific text yields only its mantissa.
double LireNombre(const AnsiString& Text);

// Selects the first row, in display order, whose text in Column (the caption for column 0, else
// the cell) starts with SearchText ignoring case (AnsiCompareText); gives it the focus mark and
// scrolls it to the first visible line. An empty text, or no matching row, changes nothing.
// Requires: List not null.
void RechercherDansListe(TListView* List, const AnsiString& SearchText, int Column);
