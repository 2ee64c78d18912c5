// Compaction and repair commands of the database tool.
#include "tools/ZevToolMaintenance.h"

#include <filesystem>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/tables/ZEVDatabaseComponent.h"

namespace zevtool {

namespace {

constexpr const char* kMaintenanceDatabaseName = "ZevToolMaintenance";

void requireFile(const std::string& FileName) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(FileName, error))
    throw TUsageError("file '" + FileName + "' does not exist");
}

// Progress lines: one per new percentage.
auto progressPrinter(std::ostream& Out) {
  return [&Out, last = -1](TABSDatabase&, int Percent, bool&) mutable {
    if (Percent == last) return;
    last = Percent;
    Out << "progress " << Percent << "%\n";
  };
}

void setUp(TABSDatabase& Database, const std::string& FileName, const TToolOptions& Options) {
  Database.SetDatabaseName(kMaintenanceDatabaseName);
  Database.SetDatabaseFileName(zev::AnsiFromUtf8(FileName));
  Database.SetPassword(Options.Password);
  Database.SetSilentMode(true);
}

void printLog(const AnsiString& Log, std::ostream& Out) {
  if (Log.empty()) return;
  Out << "log:\n" << zev::Utf8FromAnsi(Log) << "\n";
}

}  // namespace

int CompactCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out) {
  requireFile(FileName);
  TABSDatabase Database(nullptr);
  setUp(Database, FileName, Options);
  Database.OnCompactProgress = progressPrinter(Out);
  try {
    const bool Clean = Database.CompactDatabase();
    Out << "compacted " << FileName << "\n";
    return Clean ? 0 : 1;
  } catch (const ::Exception& E) {
    Out << "compaction failed: " << zev::Utf8FromAnsi(E.Message()) << "\n";
    return 1;
  }
}

int RepairCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out) {
  requireFile(FileName);
  TABSDatabase Database(nullptr);
  setUp(Database, FileName, Options);
  Database.OnRepairProgress = progressPrinter(Out);
  AnsiString Log;
  bool Repaired = false;
  try {
    const std::string Copy = FileName + ".tmp";
    Repaired = Database.RepairDatabase(zev::AnsiFromUtf8(Copy), Log);
    if (Repaired) std::filesystem::rename(Copy, FileName);
  } catch (const ::Exception& E) {
    Out << "repair failed: " << zev::Utf8FromAnsi(E.Message()) << "\n";
    printLog(Log, Out);
    return 1;
  }
  printLog(Log, Out);
  Out << (Repaired ? "repaired " : "repair failed: ") << FileName << "\n";
  return Repaired ? 0 : 1;
}

}  // namespace zevtool
