// CSV reading and writing for the database tool.
#include "tools/CsvFile.h"

#include <fstream>
#include <sstream>

namespace zevtool {

namespace {

const std::string kUtf8Bom = "\xEF\xBB\xBF";

std::string withoutBom(const std::string& Bytes) {
  if (Bytes.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0) return Bytes.substr(kUtf8Bom.size());
  return Bytes;
}

bool needsQuotes(const std::string& Field) {
  return Field.find_first_of(",\"\r\n") != std::string::npos;
}

}  // namespace

TCsvEncoding DetectCsvEncoding(const std::string& Bytes) {
  return zev::IsValidUtf8(withoutBom(Bytes)) ? TCsvEncoding::Utf8 : TCsvEncoding::Windows1252;
}

std::vector<TCsvRow> ParseCsv(const std::string& Text) {
  std::vector<TCsvRow> Records;
  TCsvRow Record;
  std::string Field;
  bool InQuotes = false;
  bool FieldWasQuoted = false;
  bool RecordStarted = false;
  int Line = 1;
  int QuoteLine = 0;
  auto endField = [&] {
    Record.push_back(std::move(Field));
    Field.clear();
    FieldWasQuoted = false;
  };
  auto endRecord = [&] {
    endField();
    Records.push_back(std::move(Record));
    Record.clear();
    RecordStarted = false;
  };
  for (size_t i = 0; i < Text.size(); ++i) {
    const char C = Text[i];
    if (InQuotes) {
      if (C == '"') {
        if (i + 1 < Text.size() && Text[i + 1] == '"') {
          Field += '"';
          ++i;
        } else {
          InQuotes = false;
        }
      } else {
        if (C == '\n') ++Line;
        Field += C;
      }
      continue;
    }
    if (C == ',') {
      endField();
      RecordStarted = true;
    } else if (C == '\r' || C == '\n') {
      if (C == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
      if (RecordStarted) endRecord();  // a blank line is no record
      ++Line;
    } else if (C == '"' && Field.empty() && !FieldWasQuoted) {
      InQuotes = true;
      FieldWasQuoted = true;
      RecordStarted = true;
      QuoteLine = Line;
    } else if (FieldWasQuoted) {
      throw TCsvError("CSV line " + std::to_string(Line) + ": text after a closing quote");
    } else {
      Field += C;
      RecordStarted = true;
    }
  }
  if (InQuotes) {
    throw TCsvError("CSV line " + std::to_string(QuoteLine) + ": unterminated quoted field");
  }
  if (RecordStarted) endRecord();
  return Records;
}

TCsvTable ParseCsvTable(const std::string& Bytes) {
  const std::string Text = withoutBom(Bytes);
  const AnsiString Ansi =
      DetectCsvEncoding(Text) == TCsvEncoding::Utf8 ? zev::AnsiFromUtf8(Text) : Text;
  std::vector<TCsvRow> Records = ParseCsv(Ansi);
  if (Records.empty()) throw TCsvError("CSV file has no header line");
  TCsvTable Table;
  Table.Header = std::move(Records.front());
  for (size_t i = 1; i < Records.size(); ++i) {
    if (Records[i].size() != Table.Header.size()) {
      throw TCsvError("CSV record " + std::to_string(i) + " has " +
                      std::to_string(Records[i].size()) + " fields, the header has " +
                      std::to_string(Table.Header.size()));
    }
    Table.Rows.push_back(std::move(Records[i]));
  }
  return Table;
}

TCsvTable ReadCsvFile(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  std::ostringstream Bytes;
  if (!In || !(Bytes << In.rdbuf())) {
    // An empty file also fails the copy above; tell it apart from an unreadable one.
    if (In.is_open()) return ParseCsvTable("");
    throw TCsvError("Cannot read file '" + FileName + "'");
  }
  return ParseCsvTable(Bytes.str());
}

std::string CsvLine(const TCsvRow& Fields) {
  std::string Line;
  for (size_t i = 0; i < Fields.size(); ++i) {
    if (i > 0) Line += ',';
    const std::string& Field = Fields[i];
    if (!needsQuotes(Field)) {
      Line += Field;
      continue;
    }
    Line += '"';
    for (char C : Field) {
      if (C == '"') Line += '"';
      Line += C;
    }
    Line += '"';
  }
  Line += '\n';
  return Line;
}

std::string CsvLineUtf8FromAnsi(const TCsvRow& AnsiFields) {
  TCsvRow Utf8Fields;
  Utf8Fields.reserve(AnsiFields.size());
  for (const AnsiString& Field : AnsiFields) Utf8Fields.push_back(zev::Utf8FromAnsi(Field));
  return CsvLine(Utf8Fields);
}

}  // namespace zevtool
