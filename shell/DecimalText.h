// Decimal text of numbers for the numeric field: rounding, writing and reading.
//
// Rounding rule: a double is first written in its shortest decimal form that reads back as the
// same double (so 1.005, stored as 1.00499999999999989..., is "1.005"), and that decimal text is
// rounded to the wanted number of decimals, half away from zero: 1.005 -> 1.01, 1.125 -> 1.13,
// 2.675 -> 2.68, -1.125 -> -1.13. This rounds what the user and the program wrote, not the
// binary approximation. A result of zero never carries a minus sign; NaN and infinities are 0.
//
// Texts here use '.' as decimal separator ("canonical"); LocalizeDecimal puts in the user's
// separators. ReadDecimal accepts blanks around the number, one sign, digits, and one decimal
// separator that is either the given one or '.'; no thousands separators, no exponent.
// Nothing raises.
#pragma once

#include <string>

// Canonical text of Value with exactly Places decimals (no point when Places is 0).
std::string RoundHalfAwayFromZero(double Value, int Places);
// Canonical text with DecimalSeparator instead of '.', and the integer digits grouped by three
// with ThousandSeparator unless it is '\0'.
std::string LocalizeDecimal(const std::string& Canonical, char DecimalSeparator,
                            char ThousandSeparator);
// Reads Text as a number; false (and Value 0) when it is empty or not a number.
bool ReadDecimal(const std::string& Text, char DecimalSeparator, double& Value);
