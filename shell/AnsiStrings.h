// Comparison of single-byte texts in the collation of the user's locale.
//
// AnsiCompareText compares two Windows-1252 texts ignoring letter case (accents still count)
// with the string-sort rules of zev::CompareStringA for LOCALE_USER_DEFAULT, and answers -1, 0
// or 1. When no collator can be had it falls back to comparing the texts byte by byte after
// ASCII lower-casing, so that sorting never fails. Nothing raises.
#pragma once

#include "engine/storage/ZEVCodePage.h"

int AnsiCompareText(const AnsiString& S1, const AnsiString& S2);
bool AnsiSameText(const AnsiString& S1, const AnsiString& S2);
