// CSV files of the database tool: reading a file with a header line into Windows-1252 cells,
// and writing rows as UTF-8 lines.
//
// Format: fields separated by ',', records by CRLF or LF; a field that holds a comma, a quote,
// CR or LF is enclosed in double quotes and its quotes are doubled (RFC 4180). A UTF-8 byte
// order mark at the start is skipped. A file whose bytes are valid UTF-8 is read as UTF-8,
// any other as Windows-1252; cells come out in Windows-1252 either way (characters that
// code page cannot hold become '?').
//
// Nothing is owned or locked; malformed input and unreadable files raise TCsvError.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/storage/ZEVCodePage.h"

namespace zevtool {

class TCsvError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TCsvEncoding { Utf8, Windows1252 };

using TCsvRow = std::vector<std::string>;

struct TCsvTable {
  TCsvRow Header;             // the column names of the first line
  std::vector<TCsvRow> Rows;  // every later record; Windows-1252 text
};

// UTF-8 when the bytes (after a byte order mark) are well-formed UTF-8, else Windows-1252.
TCsvEncoding DetectCsvEncoding(const std::string& Bytes);

// Splits CSV text into records of fields; the bytes are taken as they are. Blank lines are no
// records (a record of one empty field is written as ""). Raises TCsvError for an unterminated
// quoted field or text after a closing quote, naming the line.
std::vector<TCsvRow> ParseCsv(const std::string& Text);

// Detects the encoding, converts to Windows-1252 and parses. Raises TCsvError for an empty
// input (no header line) and for records whose field count differs from the header's.
TCsvTable ParseCsvTable(const std::string& Bytes);
// The same for a file; an unreadable file raises TCsvError "Cannot read file '<name>'".
TCsvTable ReadCsvFile(const std::string& FileName);

// One record as a line ending in "\n"; fields quoted only where needed.
std::string CsvLine(const TCsvRow& Fields);
// A Windows-1252 record as a UTF-8 line.
std::string CsvLineUtf8FromAnsi(const TCsvRow& AnsiFields);

}  // namespace zevtool
