#include "shell/IniFile.h"

#include <fstream>
#include <sstream>

namespace {

bool SameTextAscii(const AnsiString& a, const AnsiString& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

AnsiString TrimBlanks(const AnsiString& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == AnsiString::npos) return AnsiString();
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

AnsiString Unquote(const AnsiString& s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
    return s.substr(1, s.size() - 2);
  return s;
}

std::u16string FromUtf16Bytes(const std::string& bytes, size_t start, bool bigEndian) {
  std::u16string out;
  out.reserve((bytes.size() - start) / 2);
  for (size_t i = start; i + 1 < bytes.size(); i += 2) {
    unsigned char a = static_cast<unsigned char>(bytes[i]);
    unsigned char b = static_cast<unsigned char>(bytes[i + 1]);
    out += static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
  }
  return out;
}

}  // namespace

AnsiString DecodeIniText(const std::string& Bytes) {
  auto startsWith = [&](const char* bom, size_t n) { return Bytes.compare(0, n, bom, n) == 0; };
  if (startsWith("\xEF\xBB\xBF", 3)) return zev::AnsiFromUtf8(Bytes.substr(3));
  if (startsWith("\xFF\xFE", 2)) return zev::AnsiFromUtf16(FromUtf16Bytes(Bytes, 2, false));
  if (startsWith("\xFE\xFF", 2)) return zev::AnsiFromUtf16(FromUtf16Bytes(Bytes, 2, true));
  if (zev::IsValidUtf8(Bytes)) return zev::AnsiFromUtf8(Bytes);
  return Bytes;
}

TIniFile::TIniFile(const AnsiString& FileName) : FFileName(FileName) {
  if (FileName.empty()) return;
  std::ifstream in(zev::Utf8FromAnsi(FileName), std::ios::binary);
  if (!in) return;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  Parse(DecodeIniText(bytes.str()));
}

void TIniFile::Parse(const AnsiString& Text) {
  TSection* current = nullptr;
  size_t pos = 0;
  while (pos < Text.size()) {
    size_t end = Text.find_first_of("\r\n", pos);
    if (end == AnsiString::npos) end = Text.size();
    AnsiString line = TrimBlanks(Text.substr(pos, end - pos));
    pos = end;
    if (pos < Text.size() && Text[pos] == '\r') ++pos;
    if (pos < Text.size() && Text[pos] == '\n') ++pos;

    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      AnsiString name = TrimBlanks(line.substr(1, close == AnsiString::npos ? line.npos : close - 1));
      FSections.push_back({name, {}});
      current = &FSections.back();
      continue;
    }
    size_t eq = line.find('=');
    if (!current || eq == AnsiString::npos) continue;
    current->Entries.push_back({TrimBlanks(line.substr(0, eq)),
                                Unquote(TrimBlanks(line.substr(eq + 1)))});
  }
}

const TIniFile::TSection* TIniFile::FindSection(const AnsiString& Name) const {
  for (const auto& s : FSections)
    if (SameTextAscii(s.Name, Name)) return &s;
  return nullptr;
}

AnsiString TIniFile::ReadString(const AnsiString& Section, const AnsiString& Ident,
                                const AnsiString& Default) const {
  const TSection* section = FindSection(Section);
  if (!section) return Default;
  for (const auto& e : section->Entries)
    if (SameTextAscii(e.Key, Ident)) return e.Value;
  return Default;
}
