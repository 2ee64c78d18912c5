// The commands of the database tool, one function each. Every command writes its result on
// Out (UTF-8) and answers the process exit code: 0 success, 1 an operational failure (an
// engine error, a check that found damage). Wrong usage (a missing or unreadable input file,
// a CSV column the table does not have) raises TUsageError, which the caller turns into
// exit code 2; engine errors are left to the caller as zev::Exception.
//
// Each command opens and closes its own database component; nothing outlives a call.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>

namespace zevtool {

class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What blob-get and blob-put look for is not in the file: no such table, field or row, or a
// field that is not a BLOB field.
class TLookupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The password the application's data module opens its reference database with.
inline constexpr const char* kDataModulePassword = "#Tprazmolyk47";
inline constexpr int kDefaultPageSize = 4096;
inline constexpr int kDefaultSlots = 500;
inline constexpr int kReferenceSlots = 1000;

struct TToolOptions {
  std::string Password;  // the data module's unless --password was given
  bool PasswordGiven = false;
  int PageSize = kDefaultPageSize;
  int Slots = kDefaultSlots;
};

int CreateCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out);
int CreateReferenceCommand(const std::string& FileName, std::ostream& Out);
int LoadCommand(const std::string& FileName, const std::string& TableName,
                const std::string& CsvFileName, const TToolOptions& Options, std::ostream& Out);
int TablesCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out);
int DumpCommand(const std::string& FileName, const std::string& TableName,
                const TToolOptions& Options, std::ostream& Out);
int HeaderCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out);
int CheckCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out);
// ROW names the row by the value of its idxPrimaryKey key when the table has that index (a
// single-column key given as text), by its 1-based physical row number otherwise.
// blob-get writes the field's value (nothing for NULL) to OutFileName; blob-put stores the
// bytes of InFileName as the field's value (an empty file makes the field NULL).
int BlobGetCommand(const std::string& FileName, const std::string& TableName,
                   const std::string& FieldName, const std::string& Row,
                   const std::string& OutFileName, const TToolOptions& Options, std::ostream& Out);
int BlobPutCommand(const std::string& FileName, const std::string& TableName,
                   const std::string& FieldName, const std::string& Row,
                   const std::string& InFileName, const TToolOptions& Options, std::ostream& Out);

}  // namespace zevtool
