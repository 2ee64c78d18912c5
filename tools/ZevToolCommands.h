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

}  // namespace zevtool
