// Compaction and repair of a database file.
#include "engine/tables/ZEVDatabaseMaintenance.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVFormat.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/DBError.h"
#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVDatabaseComponent.h"
#include "engine/tables/ZEVEngineError.h"
#include "engine/tables/ZEVEngineErrors.h"
#include "engine/tables/ZEVTableComponent.h"

namespace fs = std::filesystem;

namespace zev {

namespace {

TABSFreeSpaceQuery gFreeSpaceQuery;

int64_t systemFreeSpace(const AnsiString& FileName) {
  fs::path path = fs::absolute(fs::path(Utf8FromAnsi(FileName))).parent_path();
  std::error_code error;
  const fs::space_info info = fs::space(path, error);
  // An unknown answer does not stop the operation: the writes report a full disk themselves.
  if (error) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(info.available);
}

}  // namespace

void SetFreeSpaceQuery(TABSFreeSpaceQuery Query) { gFreeSpaceQuery = std::move(Query); }

int64_t DriveFreeSpace(const AnsiString& FileName) {
  return gFreeSpaceQuery ? gFreeSpaceQuery(FileName) : systemFreeSpace(FileName);
}

void CheckFreeSpace(const AnsiString& NewFileName, int64_t RequiredBytes) {
  if (DriveFreeSpace(NewFileName) < RequiredBytes) errors::Raise(errors::kNotEnoughFreeSpace);
}

}  // namespace zev

namespace {

// Rows are committed into the new file in groups: one commit per row would write the header
// twice for every row, one commit per table would hold a whole table's pages in memory.
constexpr int64_t kRowsPerCommit = 256;

void deleteFile(const AnsiString& FileName) {
  std::error_code ignored;
  fs::remove(zev::Utf8FromAnsi(FileName), ignored);
}

int64_t fileSize(const AnsiString& FileName) {
  std::error_code error;
  const auto size = fs::file_size(zev::Utf8FromAnsi(FileName), error);
  return error ? 0 : static_cast<int64_t>(size);
}

void appendLog(AnsiString& Log, const AnsiString& Line) {
  if (!Log.empty()) Log += "\n";
  Log += Line;
}

bool isBlobField(const zev::TABSFieldDef& Field) {
  return zev::IsBLOBAdvancedFieldType(Field.FAdvancedFieldType);
}

// One row of Source's current buffer into Destination's current buffer, as a new row.
void copyRowValues(zev::TABSLocalCursor& Source, zev::TABSLocalCursor& Destination,
                   std::vector<uint8_t>& Value) {
  Destination.InternalInitRecord(Destination.CurrentRecordBuffer(), true);
  const zev::TABSRecordFieldAccess from = Source.FieldAccess();
  const zev::TABSRecordFieldAccess to = Destination.FieldAccess();
  for (int i = 0; i < Source.FieldDefs().Count(); ++i) {
    const bool present = from.GetFieldData(i, Value.data(), Source.CurrentRecordBuffer());
    if (isBlobField(*Source.FieldDefs().Items(i))) {
      if (present)
        Destination.CopyBlobFieldValue(Source, i, i);
      else
        to.SetFieldData(i, nullptr, Destination.CurrentRecordBuffer());
      continue;
    }
    to.SetFieldData(i, present ? Value.data() : nullptr, Destination.CurrentRecordBuffer());
  }
}

// Repair: what the table layer's repair mode is about to mend goes to the log first.
void logRecordPageDamage(zev::TABSLocalSession& Connection, const AnsiString& TableName,
                         AnsiString& Log) {
  try {
    zev::TABSLocalCursor cursor(Connection);
    cursor.SetTableName(TableName);
    cursor.SetExclusive(true);
    cursor.OpenTable();
    zev::TABSDiskTableData& table =
        zev::TABSDiskTableData::FindOrCreate(Connection.DatabaseData(), TableName);
    table.RecordManager().ValidateRecordPages(Connection.SessionID());
  } catch (const ::Exception& error) {
    appendLog(Log, zev::Format("Table '%s': %s. The record page index is rebuilt from the record "
                               "pages found in the file.",
                               {TableName, error.Message()}));
  }
}

// Restores a flag of the component when the operation ends.
struct TRestoreFlag {
  bool Saved;
  std::function<void(bool)> Set;
  ~TRestoreFlag() { Set(Saved); }
};

}  // namespace

// --- Copying one table --------------------------------------------------------------------------

bool TABSTable::CopyTable(const AnsiString& NewTableName, TABSDatabase& Destination,
                          bool CopyIndexes, bool Overwrite, bool IgnoreErrors, AnsiString& Log,
                          int ProgressFrom, int ProgressTo,
                          const std::function<void(int, bool&)>& OnProgress) {
  Open();
  for (int i = 0; i < FieldDefs().Count(); ++i) {
    const AnsiString& field = FieldDefs().Items(i).Name();
    if (!FindField(field))
      zev::errors::Raise(zev::errors::kFieldObjectNotCreated, {TableName(), field});
  }
  zev::TABSLocalCursor& source = handle();
  const AnsiString destinationName = Destination.DatabaseFileName();
  zev::TABSLocalSession& connection = *Destination.Handle();

  if (Destination.TableExists(NewTableName)) {
    if (!Overwrite) {
      const EABSException error(zev::errors::kCopyTableAlreadyExists.Code,
                                zev::errors::kCopyTableAlreadyExists.Text,
                                {destinationName, NewTableName});
      if (!IgnoreErrors) throw error;
      appendLog(Log, error.Message());
      return true;
    }
    zev::TABSLocalCursor old(connection);
    old.SetTableName(NewTableName);
    old.DeleteTable();
  }
  try {
    zev::TABSIndexDefs indexes;
    zev::TABSConstraintDefs constraints;
    if (CopyIndexes) {
      indexes.Assign(source.IndexDefs());
      constraints.Assign(
          zev::TABSDiskTableData::FindOrCreate(Database()->Handle()->DatabaseData(), TableName())
              .ConstraintDefs());
    }
    zev::TABSLocalCursor creator(connection);
    creator.SetTableName(NewTableName);
    creator.SetExclusive(true);
    creator.CreateTable(source.FieldDefs(), indexes, constraints);
  } catch (const ::Exception& cause) {
    const EABSException error(zev::errors::kCopyTableCreateError.Code,
                              zev::errors::kCopyTableCreateError.Text,
                              {destinationName, NewTableName, cause.Message()});
    if (!IgnoreErrors) throw error;
    appendLog(Log, error.Message());
    return true;
  }

  zev::TABSLocalCursor target(connection);
  target.SetTableName(NewTableName);
  target.SetExclusive(true);
  target.OpenTable();
  source.SetIndexName("");
  source.InternalFirst();
  const int64_t total = std::max<int64_t>(source.GetRecordCount(), 1);
  std::vector<uint8_t> value(source.AllocateRecordBuffer().size() + 16);
  int64_t copied = 0;
  int64_t pending = 0;
  int lastPercent = -1;
  bool proceed = true;
  connection.StartTransaction();
  try {
    for (;;) {
      zev::TABSGetRecordResult result = zev::grrEOF;
      try {
        result = source.GetRecordBuffer(zev::grmNext);
      } catch (const ::Exception& error) {
        if (!IgnoreErrors) throw;
        appendLog(Log, zev::Format("Table '%s': the rows after row %d cannot be read: %s",
                                   {TableName(), copied, error.Message()}));
        break;
      }
      if (result != zev::grrOK) break;
      try {
        copyRowValues(source, target, value);
        target.InternalPost(true);
        if (target.ErrorCode() != 0)
          throw EABSEngineError(target.ErrorCode(), target.ErrorMessage());
        ++pending;
      } catch (const ::Exception& error) {
        if (!IgnoreErrors) throw;
        appendLog(Log, zev::Format("Table '%s': row %d was not copied: %s",
                                   {TableName(), copied + 1, error.Message()}));
      }
      ++copied;
      if (pending >= kRowsPerCommit) {
        connection.Commit();
        connection.StartTransaction();
        pending = 0;
      }
      const int percent = ProgressFrom + static_cast<int>((ProgressTo - ProgressFrom) *
                                                          std::min(copied, total) / total);
      if (OnProgress && percent != lastPercent) {
        lastPercent = percent;
        OnProgress(percent, proceed);
        if (!proceed) break;
      }
    }
    connection.Commit();
  } catch (...) {
    connection.Rollback();
    throw;
  }
  target.CloseTable();
  return proceed;
}

// --- The database operations
// ----------------------------------------------------------------------

void TABSDatabase::prepareMaintenance() {
  if (FDatabaseName.empty() && !FTemporary) zev::DatabaseError("Database name missing", this);
  LSession->SetActive(true);
  if (Connected()) zev::DatabaseError("Cannot perform this operation on an open database", this);
  Open();
  Close();
}

bool TABSDatabase::copyDatabase(const AnsiString& NewFileName, AnsiString& Log, bool Repair) {
  Log.clear();
  const auto& before = Repair ? OnBeforeRepair : OnBeforeCompact;
  const auto& progress = Repair ? OnRepairProgress : OnCompactProgress;
  const auto& after = Repair ? OnAfterRepair : OnAfterCompact;
  if (before) before(*this);
  zev::CheckFreeSpace(NewFileName, fileSize(FDatabaseFileName));

  AnsiString tempName;
  for (int n = 1; tempName.empty() || LSession->FindDatabase(tempName); ++n)
    tempName = "TempDatabase" + std::to_string(n);
  TABSDatabase destination(nullptr, LSession);
  destination.SetDatabaseName(tempName);
  destination.SetDatabaseFileName(NewFileName);
  destination.SetPassword(FPassword);
  destination.SetCryptoAlgorithm(FCryptoAlgorithm);
  destination.SetPageSize(FPageSize);
  destination.SetPageCountInExtent(FPageCountInExtent);
  destination.SetMaxConnections(FMaxConnections);
  destination.SetExclusive(true);
  destination.SetSilentMode(true);
  destination.PageManagerSettings = PageManagerSettings;
  destination.LockBudgets = LockBudgets;
  destination.CreateDatabase();
  destination.Open();

  // The source: exclusive, without the repair question, for the time of the copy.
  TRestoreFlag exclusive{FExclusive, [this](bool Value) { FExclusive = Value; }};
  TRestoreFlag noRepair{FNoRequestAutoRepair, [this](bool Value) { FNoRequestAutoRepair = Value; }};
  FExclusive = true;
  FNoRequestAutoRepair = true;
  Open();
  struct TCloseSource {
    TABSDatabase& Database;
    ~TCloseSource() {
      try {
        Database.Close();
      } catch (...) {
      }
    }
  } closeSource{*this};

  std::vector<AnsiString> tables;
  LHandle->DatabaseData().GetTablesList(tables);
  const int count = static_cast<int>(tables.size());
  bool proceed = true;
  for (int i = 0; i < count && proceed; ++i) {
    TABSTable table(nullptr);
    table.SetSessionName(SessionName());
    table.SetDatabaseName(FDatabaseName);
    table.SetTableName(tables[static_cast<size_t>(i)]);
    table.SetExclusive(true);
    try {
      if (Repair) {
        logRecordPageDamage(*LHandle, tables[static_cast<size_t>(i)], Log);
        table.SetRepairing(true);
        table.Open();
        table.Close();
      }
      table.Open();
      table.Close();
      proceed =
          table.CopyTable(tables[static_cast<size_t>(i)], destination, true, false, Repair, Log,
                          i * 100 / count, (i + 1) * 100 / count, [&](int Percent, bool& Continue) {
                            if (progress) progress(*this, Percent, Continue);
                          });
    } catch (const ::Exception& error) {
      if (!Repair) throw;
      appendLog(Log, zev::Format("Table '%s' was not copied: %s",
                                 {tables[static_cast<size_t>(i)], error.Message()}));
    }
    table.Close();
  }
  if (!proceed) {
    appendLog(Log, "The operation was stopped.");
    destination.Close();
    return false;
  }
  if (progress) {
    bool ignored = true;
    progress(*this, 100, ignored);
  }
  destination.Handle()->DatabaseData().TruncateDatabase();
  destination.Close();
  if (after) after(*this);
  return Repair || Log.empty();
}

bool TABSDatabase::CompactDatabase(const AnsiString& NewDatabaseFileName) {
  prepareMaintenance();
  AnsiString log;
  bool done = false;
  try {
    done = copyDatabase(NewDatabaseFileName, log, false);
  } catch (const ::Exception& error) {
    appendLog(log, error.Message());
  } catch (const std::exception& error) {
    appendLog(log, error.what());
  }
  if (!done) {
    deleteFile(NewDatabaseFileName);
    zev::errors::Raise(zev::errors::kOperationFailed, {AnsiString("CompactDatabase"), log});
  }
  return done;
}

// The copy replaces the database file in one rename: there is no moment without a database file
// of that name, and a failure leaves the old file as it was.
static void replaceFile(const AnsiString& Copy, const AnsiString& Target) {
  fs::rename(zev::Utf8FromAnsi(Copy), zev::Utf8FromAnsi(Target));
}

bool TABSDatabase::CompactDatabase() {
  const AnsiString copy = FDatabaseFileName + ".tmp";
  const bool done = CompactDatabase(copy);
  replaceFile(copy, FDatabaseFileName);
  return done;
}

bool TABSDatabase::RepairDatabase(const AnsiString& NewDatabaseFileName, AnsiString& Log) {
  prepareMaintenance();
  bool done = false;
  try {
    done = copyDatabase(NewDatabaseFileName, Log, true);
  } catch (...) {
    deleteFile(NewDatabaseFileName);
    throw;
  }
  if (!done) deleteFile(NewDatabaseFileName);
  return done;
}

bool TABSDatabase::repairInPlace(AnsiString& Log) {
  const AnsiString copy = FDatabaseFileName + ".tmp";
  prepareMaintenance();
  bool done = false;
  try {
    done = copyDatabase(copy, Log, true);
    if (done) replaceFile(copy, FDatabaseFileName);
  } catch (const ::Exception& error) {
    appendLog(Log, error.Message());
    done = false;
  } catch (const std::exception& error) {
    appendLog(Log, error.what());
    done = false;
  }
  if (!done) {
    if (Log.empty()) Log = "Unknown error";
    deleteFile(copy);
  }
  return done;
}

AnsiString TABSDatabase::RepairDatabase() {
  AnsiString log;
  repairInPlace(log);
  return log;
}

void TABSDatabase::TruncateDatabase() {
  const bool wasConnected = Connected();
  Open();
  LHandle->DatabaseData().TruncateDatabase();
  if (!wasConnected) Close();
}
