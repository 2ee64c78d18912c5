// TABSLocalSession: an engine session over a database file. Connecting finds the process's
// database object for the file (and session name) or creates it, and takes a session number
// from it; the session carries that number, its transaction flag, the last autoincrement
// values it drew, and the lock budgets of its cursors.
//
// The process keeps one list of database objects, guarded by its own lock; a database object
// is shared by every session of the process that names the same file (compared ignoring case)
// under the same session name, and is freed with its last session.
//
// Ownership: the list owns the database objects; a session links to its object while
// connected. Locking: the list lock around connecting and disconnecting; the database object's
// critical section for the rest. Errors: 20092, 20229, 20298 and those of the database object.
#pragma once

#include <cstdint>

#include "engine/storage/ZEVDatabaseData.h"
#include "engine/tables/ZEVFieldManager.h"

namespace zev {

// How long cursors wait for their locks: tries and the delay between them, per operation.
struct TABSCursorLockBudgets {
  int OpenTries = 50, OpenDelayMs = 100;
  int ReadTries = 2250, ReadDelayMs = 40;
  int EditTries = 900, EditDelayMs = 100;
  int RecordTries = 15, RecordDelayMs = 100;
  int PostTries = 2250, PostDelayMs = 40;
  int DeleteTries = 900, DeleteDelayMs = 100;
  // The shared table lock under which a browsed row is read again before its BLOB is opened.
  int BlobTries = 2250, BlobDelayMs = 40;
};

class TABSLocalSession : public TABSBaseSession {
 public:
  TABSLocalSession() = default;
  ~TABSLocalSession() override;  // disconnects; Requires: its cursors are closed

  void SetDatabaseFileName(const AnsiString& FileName) { FDatabaseFileName = FileName; }
  const AnsiString& DatabaseFileName() const { return FDatabaseFileName; }
  // Password, page size and extent of a new file, the page manager's waits.
  void SetDatabaseSettings(const TABSDiskDatabaseSettings& Settings) { FSettings = Settings; }
  const TABSDiskDatabaseSettings& DatabaseSettings() const { return FSettings; }
  void SetLockBudgets(const TABSCursorLockBudgets& Budgets) { FLockBudgets = Budgets; }
  const TABSCursorLockBudgets& LockBudgets() const { return FLockBudgets; }

  bool Connected() const { return LDatabaseData != nullptr; }
  // 20298 when the database object is already open with another password.
  void SetConnected(bool Connected);
  // Creates the file; 20092 when the process has it open.
  void CreateDatabase();

  void StartTransaction();
  void Commit(bool DoFlushBuffers = true);  // 20229 outside a transaction
  void Rollback();                          // 20229 outside a transaction

  TABSDiskDatabaseData& DatabaseData() const;  // Requires: Connected()
  TABSSessionSequenceValues& SequenceValues() { return FSequenceValues; }
  // Sleeps through the database's wait function (instant in tests).
  void Sleep(uint32_t Ms) const;

 private:
  AnsiString FDatabaseFileName;
  TABSDiskDatabaseSettings FSettings;
  TABSCursorLockBudgets FLockBudgets;
  TABSDiskDatabaseData* LDatabaseData = nullptr;
  TABSSessionSequenceValues FSequenceValues;
};

}  // namespace zev
