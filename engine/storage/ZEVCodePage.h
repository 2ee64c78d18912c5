// Single-byte text and the conversions between the engine's code page and Unicode.
//
// AnsiString holds Windows-1252 text, as every file the engine and the module write does.
// The conversions are exact wherever the target can represent the character: all 256 bytes of
// Windows-1252 survive a round trip through UTF-8 or UTF-16 (the five bytes the code page
// leaves undefined map to the C1 controls of the same value). A character that Windows-1252
// cannot hold becomes '?'; invalid UTF-8 or lone surrogates become U+FFFD on the way in.
// The functions are thread-safe and raise nothing.
#pragma once

#include <string>

using AnsiString = std::string;

namespace zev {

std::string Utf8FromAnsi(const AnsiString& Text);
AnsiString AnsiFromUtf8(const std::string& Text);
std::u16string Utf16FromAnsi(const AnsiString& Text);
AnsiString AnsiFromUtf16(const std::u16string& Text);
std::u16string Utf16FromUtf8(const std::string& Text);
std::string Utf8FromUtf16(const std::u16string& Text);

// True when the bytes are well-formed UTF-8 (no stray, missing or overlong-lead bytes).
bool IsValidUtf8(const std::string& Bytes);

// True when every character of the UTF-8 text has a Windows-1252 form.
bool IsAnsiRepresentable(const std::string& Utf8Text);

// Windows-1252 text in upper case: the ASCII letters, the accented Latin letters (à..þ without
// ÷) and š, œ, ž, ÿ; every other byte (ß, µ) as it is.
AnsiString AnsiUpperCase(const AnsiString& Text);
// Whether two texts are equal ignoring case in the sense of AnsiUpperCase.
bool AnsiSameText(const AnsiString& A, const AnsiString& B);

}  // namespace zev
