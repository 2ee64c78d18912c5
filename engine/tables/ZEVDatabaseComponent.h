// TABSDatabase: the component that holds the connection to one database file. Datasets find it
// by DatabaseName in its session; Open connects (asking for a password through OnPassword or
// the password dialog when the file refuses the one given), Close closes its datasets first and
// then drops the connection.
//
// The dialogs of opening (the password dialog, the repair questions) go through
// TABSDatabaseDialogs: the shell installs its windows with SetDatabaseDialogs; without them the
// engine answers every question with "no" and shows nothing.
//
// Ownership: the component owns its connection object (TABSLocalSession) unless it borrowed
// the one of another component (HandleShared); it links to its session and to the datasets
// registered with it. Locking: opening runs under the session lock.
// Opening a file that reports an interrupted commit (or an old format) asks whether to repair it
// (OnNeedRepair or the dialogs), repairs it in place and reconnects; a failed repair raises
// EABSException 20238. Compaction and repair are in ZEVDatabaseMaintenance.cpp.
// Errors: EDatabaseError "Database name missing", "Database file '%s' does not exist",
// "Database open error", "Cannot perform this operation on an open database", "Duplicate
// database name '%s'"; the connection's errors pass through.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/tables/Component.h"
#include "engine/tables/ZEVLocalSession.h"
#include "engine/tables/ZEVSessionComponents.h"

namespace zev {
class TDataSet;
}

// The questions database opening may ask. Every answer of the default is "no".
class TABSDatabaseDialogs {
 public:
  virtual ~TABSDatabaseDialogs() = default;
  // "Database authentication": the typed text into Password and true for "OK".
  virtual bool AskPassword(AnsiString& Password) = 0;
  virtual bool AskYesNo(const AnsiString& Question) = 0;
  virtual void ShowInformation(const AnsiString& Text) = 0;
  virtual void ShowWarning(const AnsiString& Text) = 0;
};

// Installs the dialogs (a link; nullptr restores the silent default).
void SetDatabaseDialogs(TABSDatabaseDialogs* Dialogs);
TABSDatabaseDialogs& DatabaseDialogs();

class TABSDatabase : public TComponent {
 public:
  static constexpr const char* kCurrentVersion = "7.61 ";

  // Registered with Session, or with the default session.
  explicit TABSDatabase(TComponent* Owner, TABSSession* Session = nullptr);
  ~TABSDatabase() override;

  // --- Properties ---
  const AnsiString& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const AnsiString& Name);
  const AnsiString& DatabaseFileName() const { return FDatabaseFileName; }
  void SetDatabaseFileName(const AnsiString& FileName);
  const AnsiString& Password() const { return FPassword; }
  void SetPassword(const AnsiString& Password) { FPassword = Password; }
  AnsiString SessionName() const;
  void SetSessionName(const AnsiString& SessionName);
  bool Connected() const { return LHandle != nullptr; }
  void SetConnected(bool Connected);
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool Exclusive) { FExclusive = Exclusive; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool ReadOnly) { FReadOnly = ReadOnly; }
  bool MultiUser() const { return FMultiUser; }
  void SetMultiUser(bool MultiUser) { FMultiUser = MultiUser; }
  int32_t MaxConnections() const { return FMaxConnections; }
  void SetMaxConnections(int32_t Count) { FMaxConnections = Count; }
  bool KeepConnection() const { return FKeepConnection; }
  void SetKeepConnection(bool Keep);
  bool HandleShared() const { return FHandleShared; }
  void SetHandleShared(bool Shared) { FHandleShared = Shared; }
  bool SilentMode() const { return FSilentMode; }
  void SetSilentMode(bool Silent) { FSilentMode = Silent; }
  bool DisableTempFiles() const { return FDisableTempFiles; }
  void SetDisableTempFiles(bool Disable) { FDisableTempFiles = Disable; }
  AnsiString CurrentVersion() const { return kCurrentVersion; }
  int32_t PageSize() const { return FPageSize; }
  void SetPageSize(int32_t PageSize) { FPageSize = PageSize; }
  int32_t PageCountInExtent() const { return FPageCountInExtent; }
  void SetPageCountInExtent(int32_t Count) { FPageCountInExtent = Count; }
  zev::TABSCryptoAlgorithm CryptoAlgorithm() const { return FCryptoAlgorithm; }
  void SetCryptoAlgorithm(zev::TABSCryptoAlgorithm Algorithm) { FCryptoAlgorithm = Algorithm; }
  // How the engine waits for locks (tests shorten them); the specified values by default.
  zev::TABSDiskPageManagerSettings PageManagerSettings;
  zev::TABSCursorLockBudgets LockBudgets;

  // (Sender, var Continue) and (Sender, var Answer).
  std::function<void(TABSDatabase&, bool&)> OnPassword;
  std::function<void(TABSDatabase&, bool&)> OnNeedRepair;
  // Repair and compaction: before, progress (Sender, Percent, var Continue) and after.
  std::function<void(TABSDatabase&)> OnBeforeRepair, OnAfterRepair;
  std::function<void(TABSDatabase&, int, bool&)> OnRepairProgress;
  std::function<void(TABSDatabase&)> OnBeforeCompact, OnAfterCompact;
  std::function<void(TABSDatabase&, int, bool&)> OnCompactProgress;

  // --- Operations ---
  void Open();
  void Close();
  void CloseDataSets();
  bool TableExists(const AnsiString& TableName);
  // Connects for the question when needed and disconnects again; errors give an empty list.
  void GetTablesList(std::vector<AnsiString>& List);
  // A new file with the component's page size, extent, password and algorithm.
  void CreateDatabase();

  // --- Compaction and repair (ZEVDatabaseMaintenance.cpp) ---
  // Requires for all four: DatabaseName set (unless temporary), not connected; the file must
  // open. Each copies the database table by table into a new file with the same settings.
  // Into NewDatabaseFileName; true when nothing was logged. On failure the new file is deleted
  // and 30456 "Operation CompactDatabase failed: <log>" is raised.
  bool CompactDatabase(const AnsiString& NewDatabaseFileName);
  // Into the file name + ".tmp", which then replaces the database file; on failure the database
  // file is untouched.
  bool CompactDatabase();
  // In repair mode (damaged tables are logged and skipped); true when the copy ran through.
  bool RepairDatabase(const AnsiString& NewDatabaseFileName, AnsiString& Log);
  // In place, as CompactDatabase(); answers the log ("Unknown error" for a failure that logged
  // nothing). The database file is only replaced when the repair succeeded.
  AnsiString RepairDatabase();
  // Cuts the free pages at the end of the file (connects for it when needed).
  void TruncateDatabase();

  // --- For the session and the datasets ---
  zev::TABSLocalSession* Handle() const { return LHandle; }
  TABSSession& DBSession() const { return *LSession; }
  bool Temporary() const { return FTemporary; }
  void SetTemporary(bool Temporary) { FTemporary = Temporary; }
  int32_t RefCount() const { return FRefCount; }
  void AddRef() { ++FRefCount; }
  int32_t Release() { return FRefCount > 0 ? --FRefCount : 0; }
  void AddDataSet(zev::TDataSet& DataSet);
  void RemoveDataSet(zev::TDataSet& DataSet);
  const std::vector<zev::TDataSet*>& DataSets() const { return FDataSets; }

 private:
  zev::TABSDiskDatabaseSettings connectionSettings() const;
  std::unique_ptr<zev::TABSLocalSession> newConnection() const;
  bool askForPassword();
  void checkUniqueName(const AnsiString& Name, TABSSession& Session);
  // Opening: the repair question for a file that reports the need (false when suppressed).
  bool repairRequested();
  // Maintenance: the preconditions, then the copy into NewFileName.
  void prepareMaintenance();
  bool copyDatabase(const AnsiString& NewFileName, AnsiString& Log, bool Repair);
  bool repairInPlace(AnsiString& Log);

  AnsiString FDatabaseName;
  AnsiString FDatabaseFileName;
  AnsiString FPassword;
  bool FExclusive = false;
  bool FReadOnly = false;
  bool FMultiUser = false;
  int32_t FMaxConnections = 500;
  bool FKeepConnection = true;
  bool FHandleShared = false;
  bool FSilentMode = false;
  bool FDisableTempFiles = false;
  int32_t FPageSize = 4096;
  int32_t FPageCountInExtent = 8;
  zev::TABSCryptoAlgorithm FCryptoAlgorithm = zev::craRijndael_128;

  std::vector<zev::TDataSet*> FDataSets;
  bool FTemporary = false;
  int32_t FRefCount = 0;
  std::unique_ptr<zev::TABSLocalSession> FHandle;
  zev::TABSLocalSession* LHandle = nullptr;  // FHandle.get(), or a borrowed connection
  TABSSession* LSession;
  bool FNoRequestAutoRepair = false;
};
