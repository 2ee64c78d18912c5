// The database object: one per database file and process. TABSDatabaseData is the registry of
// the sessions connected to the database and of the table objects open in the process, and
// holds the one critical section under which all table work of the database runs.
// TABSDiskDatabaseData is its disk form: it creates a new database file with its system files,
// opens the file and its system files when the first session connects, gives every session its
// session number (a slot of the session-slot file in multi-user mode), runs the lock work
// around a multi-user commit and rollback, and closes everything when the last session leaves.
//
// Ownership: the database object owns its page manager and, while a session is connected, the
// system directory, the session-slot file, the table list and the lock manager. Sessions and
// table objects are only linked: their owners register and unregister them.
// Locking: CreateDatabase, ConnectSession, DisconnectSession, GetNewObjectId, Commit, Rollback,
// GetTablesList and the catalogue operations hold the object's critical section (Lock/Unlock)
// for their whole duration; the lock, flush and truncate operations do not.
// Errors: EABSException 20129 to 20131, 20210, 20211, 20233, 20235 and those of the page
// manager, the system files and the lock layer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/storage/ZEVActiveSessionsFile.h"
#include "engine/storage/ZEVDiskPageManager.h"
#include "engine/storage/ZEVSystemDirectory.h"
#include "engine/storage/ZEVTableListFile.h"
#include "engine/storage/ZEVTableLockManager.h"

namespace zev {

// What the database object needs of a connection: its flags and the number it is given.
// The table layer's sessions derive from it.
class TABSBaseSession {
 public:
  TABSBaseSession() = default;
  virtual ~TABSBaseSession() = default;
  TABSBaseSession(const TABSBaseSession&) = delete;
  TABSBaseSession& operator=(const TABSBaseSession&) = delete;

  int32_t SessionID() const { return FSessionID; }
  void SetSessionID(int32_t SessionID) { FSessionID = SessionID; }
  bool InTransaction() const { return FInTransaction; }
  void SetInTransaction(bool InTransaction) { FInTransaction = InTransaction; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool ReadOnly) { FReadOnly = ReadOnly; }
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool Exclusive) { FExclusive = Exclusive; }
  bool MultiUser() const { return FMultiUser; }
  void SetMultiUser(bool MultiUser) { FMultiUser = MultiUser; }
  bool RepairNeeded() const { return FRepairNeeded; }
  void SetRepairNeeded(bool RepairNeeded) { FRepairNeeded = RepairNeeded; }
  const AnsiString& SessionName() const { return FSessionName; }
  void SetSessionName(const AnsiString& SessionName) { FSessionName = SessionName; }

 private:
  int32_t FSessionID = -1;  // -1 until connected
  bool FInTransaction = false;
  bool FReadOnly = false;
  bool FExclusive = false;
  bool FMultiUser = false;
  bool FRepairNeeded = false;
  AnsiString FSessionName;
};

// What the database object needs of a table object open in the process.
class TABSTableData {
 public:
  virtual ~TABSTableData() = default;
  virtual const AnsiString& TableName() const = 0;
  // Forgets what the session changed in this table object's memory since its last commit.
  virtual void Rollback(int32_t SessionID) = 0;
};

class TABSDatabaseData {
 public:
  explicit TABSDatabaseData(const AnsiString& DatabaseName);
  virtual ~TABSDatabaseData();
  TABSDatabaseData(const TABSDatabaseData&) = delete;
  TABSDatabaseData& operator=(const TABSDatabaseData&) = delete;

  // Adds the session and gives it number 0.
  virtual void ConnectSession(TABSBaseSession& Session);
  virtual void DisconnectSession(TABSBaseSession& Session);
  // Whether no session is connected any more: the owner of the object then destroys it.
  virtual bool FreeIfNoSessionsConnected();
  virtual void GetTablesList(std::vector<AnsiString>& List);
  virtual void CreateDatabase() {}
  virtual int32_t GetNewObjectId() = 0;
  // Applies the session's page changes; cancels them and rolls back every open table object.
  virtual void Commit(int32_t SessionID, bool DoFlushBuffers);
  virtual void Rollback(int32_t SessionID);
  virtual void FlushBuffers() {}
  bool TableExists(const AnsiString& TableName);

  void Lock() { FCSect.lock(); }
  void Unlock() { FCSect.unlock(); }
  std::recursive_mutex& CSect() { return FCSect; }

  // The table objects open in the process; FindTableData compares names ignoring case.
  void AddTableData(TABSTableData& TableData);
  void RemoveTableData(TABSTableData& TableData);
  TABSTableData* FindTableData(const AnsiString& TableName) const;

  const AnsiString& DatabaseName() const { return FDatabaseName; }
  TABSPageManager* PageManager() const { return FPageManager.get(); }
  const std::vector<TABSBaseSession*>& SessionList() const { return FSessionList; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool ReadOnly) { FReadOnly = ReadOnly; }
  bool MultiUser() const { return FMultiUser; }
  int32_t TryCount() const { return FTryCount; }
  int32_t DelayMS() const { return FDelayMS; }
  const AnsiString& SessionName() const { return FSessionName; }
  void SetSessionName(const AnsiString& SessionName) { FSessionName = SessionName; }

 protected:
  void removeSession(TABSBaseSession& Session);

  std::recursive_mutex FCSect;
  std::vector<TABSBaseSession*> FSessionList;
  std::vector<TABSTableData*> FTableDataList;
  AnsiString FDatabaseName;
  std::unique_ptr<TABSPageManager> FPageManager;
  bool FReadOnly = false;
  int32_t FTryCount = 20;
  int32_t FDelayMS = 50;
  bool FMultiUser = false;
  AnsiString FSessionName;
};

// How a new database file is laid out and how its page manager waits.
struct TABSDiskDatabaseSettings {
  TABSPassword Password;
  int32_t PageSize = 4096;
  int32_t PageCountInExtent = 8;
  int32_t MaxSessionCount = 500;
  bool ReadOnly = false;
  TABSDiskPageManagerSettings PageManagerSettings;
};

class TABSDiskDatabaseData : public TABSDatabaseData {
 public:
  // DatabaseFileName: the file path.
  TABSDiskDatabaseData(const AnsiString& DatabaseFileName, TABSDiskDatabaseSettings Settings);
  ~TABSDiskDatabaseData() override;

  // Creates the file with its system directory, session-slot file and table list in one
  // commit, and closes it again (also when a step fails).
  void CreateDatabase() override;
  // The first connection opens the file and its system files (freeing everything again when a
  // step fails); 20235 for a session in the other mode than the open database.
  void ConnectSession(TABSBaseSession& Session) override;
  // Frees the session's slot; the last disconnection closes the file.
  void DisconnectSession(TABSBaseSession& Session) override;
  int32_t GetNewObjectId() override;
  // In multi-user mode: ltRW on every table changed in the transaction first (20233 when
  // refused: nothing written), then the changes, then the transaction locks are dropped.
  void Commit(int32_t SessionID, bool DoFlushBuffers) override;
  void Rollback(int32_t SessionID) override;
  void FlushBuffers() override;
  void GetTablesList(std::vector<AnsiString>& List) override;

  // The tables lock: 200 attempts 20 ms apart (20210); release in one attempt (20211).
  void LockTables();
  void UnlockTables();
  void TruncateDatabase();
  int32_t GetDBFileConnectionsCount();

  // The catalogue, under the critical section; 20129 / 20130 / 20131 without a table list.
  void AddTable(int32_t TableID, const AnsiString& TableName, int32_t MetadataFilePageNo,
                int32_t MostUpdatedFilePageNo, int32_t LocksFilePageNo);
  void OpenTable(const AnsiString& TableName, int32_t& TableID, int32_t& MetadataFilePageNo,
                 int32_t& MostUpdatedFilePageNo, int32_t& LocksFilePageNo);
  void RemoveTable(const AnsiString& TableName);
  void RenameTable(const AnsiString& TableName, const AnsiString& NewTableName);

  bool IsOpened() const { return FDiskPageManager != nullptr; }
  TABSDiskPageManager* DiskPageManager() const { return FDiskPageManager; }
  TABSDatabaseTableLockManager* TableLockManager() const { return FTableLockManager.get(); }
  const TABSPassword& Password() const { return FPassword; }
  int32_t MaxSessionCount() const { return FMaxSessionCount; }
  int32_t PageSize() const { return FPageSize; }
  int32_t PageCountInExtent() const { return FPageCountInExtent; }
  bool SingleUserConnected() const { return FSingleUserConnected; }

 private:
  void openDatabase(TABSBaseSession& Session);
  void closeDatabase();
  TABSTableListFile& tableList(const errors::TNativeMessage& Missing);

  std::unique_ptr<TABSSystemDirectory> FSystemDir;
  std::unique_ptr<TABSActiveSessionsFile> FActiveSessionsFile;
  std::unique_ptr<TABSTableListFile> FTableListFile;
  TABSPassword FPassword;
  int32_t FMaxSessionCount;
  int32_t FPageSize;
  int32_t FPageCountInExtent;
  std::unique_ptr<TABSDatabaseTableLockManager> FTableLockManager;
  bool FSingleUserConnected = false;
  TABSDiskPageManagerSettings FPageManagerSettings;
  TABSDiskPageManager* FDiskPageManager = nullptr;  // FPageManager, typed
};

}  // namespace zev
