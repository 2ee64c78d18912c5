// Read-only INI file reader with the rules of the Windows profile functions.
//
// The file is read once, when the reader is made; it is never written. Rules: a section starts
// at a line "[name]"; a key line is "key=value" where the key is the text before the first "="
// and the value the text after it, blanks (spaces and tabs) around each removed, then one pair
// of matching surrounding quotes (" or ') removed from the value; section and key names match
// without regard to ASCII letter case; lines whose first non-blank character is ";" are
// comments and there are no inline comments (a ";" inside a value is kept); lines end with LF,
// CRLF or CR and may be of any length; the first occurrence of a section and of a key wins.
// The bytes are read as UTF-8 or UTF-16 when they start with a byte-order mark, as UTF-8 when
// they are valid UTF-8, and as Windows-1252 otherwise; names and values come back as
// Windows-1252 text. A missing or unreadable file reads as an empty one: every lookup gives its
// default. Nothing here raises.
#pragma once

#include <string>
#include <vector>

#include "engine/storage/ZEVCodePage.h"

class TIniFile {
 public:
  // FileName is Windows-1252 text; a name without a folder is taken in the current directory.
  explicit TIniFile(const AnsiString& FileName);

  const AnsiString& FileName() const { return FFileName; }
  AnsiString ReadString(const AnsiString& Section, const AnsiString& Ident,
                        const AnsiString& Default) const;

 private:
  struct TEntry {
    AnsiString Key;
    AnsiString Value;
  };
  struct TSection {
    AnsiString Name;
    std::vector<TEntry> Entries;
  };

  void Parse(const AnsiString& Text);
  const TSection* FindSection(const AnsiString& Name) const;

  AnsiString FFileName;
  std::vector<TSection> FSections;
};

// The text of an INI file's bytes, decoded by the rules above, in Windows-1252.
AnsiString DecodeIniText(const std::string& Bytes);
