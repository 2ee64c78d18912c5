#include "engine/storage/ZEVCodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <memory>

namespace zev {
namespace {

// ICU converters are not thread-safe; a cloned converter per thread keeps the calls lock-free.
struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

UConverter* Windows1252() {
  thread_local ConverterPtr converter = [] {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr c(ucnv_open("windows-1252", &status));
    if (U_FAILURE(status) || !c) return ConverterPtr();
    // Unmappable characters become '?' rather than the converter's SUB byte 0x1A.
    status = U_ZERO_ERROR;
    ucnv_setSubstChars(c.get(), "?", 1, &status);
    return c;
  }();
  return converter.get();
}

}  // namespace

std::u16string Utf16FromAnsi(const AnsiString& Text) {
  std::u16string out(Text.size(), u'\0');
  if (Text.empty()) return out;
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(Windows1252(), reinterpret_cast<UChar*>(out.data()),
                            static_cast<int32_t>(out.size()), Text.data(),
                            static_cast<int32_t>(Text.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
    // Cannot happen for a single-byte code page with a full mapping; fall back to Latin-1.
    for (size_t i = 0; i < Text.size(); ++i) out[i] = static_cast<unsigned char>(Text[i]);
    return out;
  }
  out.resize(static_cast<size_t>(n));
  return out;
}

AnsiString AnsiFromUtf16(const std::u16string& Text) {
  AnsiString out(Text.size(), '\0');
  if (Text.empty()) return out;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_resetFromUnicode(Windows1252());
  int32_t n = ucnv_fromUChars(Windows1252(), out.data(), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(Text.data()),
                              static_cast<int32_t>(Text.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return AnsiString();
  out.resize(static_cast<size_t>(n));
  return out;
}

std::u16string Utf16FromUtf8(const std::string& Text) {
  if (Text.empty()) return std::u16string();
  std::u16string out(Text.size(), u'\0');
  int32_t n = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &n,
                       Text.data(), static_cast<int32_t>(Text.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return std::u16string();
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string Utf8FromUtf16(const std::u16string& Text) {
  if (Text.empty()) return std::string();
  std::string out(Text.size() * 3, '\0');
  int32_t n = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n,
                     reinterpret_cast<const UChar*>(Text.data()), static_cast<int32_t>(Text.size()),
                     0xFFFD, nullptr, &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return std::string();
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string Utf8FromAnsi(const AnsiString& Text) { return Utf8FromUtf16(Utf16FromAnsi(Text)); }

AnsiString AnsiFromUtf8(const std::string& Text) { return AnsiFromUtf16(Utf16FromUtf8(Text)); }

bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t follow;
    if (c < 0x80)
      follow = 0;
    else if (c >= 0xC2 && c <= 0xDF)
      follow = 1;
    else if (c >= 0xE0 && c <= 0xEF)
      follow = 2;
    else if (c >= 0xF0 && c <= 0xF4)
      follow = 3;
    else
      return false;
    if (i + follow >= s.size() && follow > 0) return false;
    for (size_t k = 1; k <= follow; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += follow + 1;
  }
  return true;
}

bool IsAnsiRepresentable(const std::string& Utf8Text) {
  return Utf8FromAnsi(AnsiFromUtf8(Utf8Text)) == Utf8Text;
}

AnsiString AnsiUpperCase(const AnsiString& Text) {
  AnsiString upper = Text;
  for (char& c : upper) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7))
      c = static_cast<char>(byte - 0x20);
    else if (byte == 0x9A || byte == 0x9C || byte == 0x9E)
      c = static_cast<char>(byte - 0x10);
    else if (byte == 0xFF)
      c = static_cast<char>(0x9F);
  }
  return upper;
}

bool AnsiSameText(const AnsiString& A, const AnsiString& B) {
  return A.size() == B.size() && AnsiUpperCase(A) == AnsiUpperCase(B);
}

}  // namespace zev
