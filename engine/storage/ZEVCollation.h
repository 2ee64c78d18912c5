// Locale collation of single-byte (Windows-1252) and UTF-16 strings.
//
// CompareStringA / CompareStringW compare in the collation of the user's locale (ICU, taken
// from LC_ALL, LC_COLLATE or LANG; the C and POSIX locales use the root collation) with string
// sort rules: punctuation and symbols count as characters. NORM_IGNORECASE ignores letter case
// but not accents. A count of -1 compares up to the terminating zero; a count n >= 0 compares
// the first n characters (fewer when a zero comes first), which serves partial keys. The answer
// is CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN; 0 when the collator cannot be had.
// Thread-safe: each thread keeps its own collators.
#pragma once

#include <cstdint>
#include <string>

namespace zev {

constexpr uint32_t LOCALE_USER_DEFAULT = 0x400;
constexpr uint32_t NORM_IGNORECASE = 0x1;
constexpr uint32_t SORT_STRINGSORT = 0x1000;

constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

int CompareStringA(uint32_t Locale, uint32_t Flags, const char* S1, int Count1, const char* S2,
                   int Count2);
int CompareStringW(uint32_t Locale, uint32_t Flags, const char16_t* S1, int Count1,
                   const char16_t* S2, int Count2);

// The ICU name of the locale that LOCALE_USER_DEFAULT stands for ("" is the root collation).
std::string UserCollationLocale();
// Replaces the user's locale for the whole process (tests); FromEnvironment reads it again from
// the environment instead.
void SetUserCollationLocale(const std::string& IcuName, bool FromEnvironment = false);

}  // namespace zev
