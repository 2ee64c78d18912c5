#include "engine/storage/ZEVDatabaseData.h"

#include <algorithm>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVRaise.h"

namespace zev {

using Guard = std::lock_guard<std::recursive_mutex>;

// --- TABSDatabaseData -----------------------------------------------------------------------

TABSDatabaseData::TABSDatabaseData(const AnsiString& DatabaseName) : FDatabaseName(DatabaseName) {}

TABSDatabaseData::~TABSDatabaseData() = default;

void TABSDatabaseData::ConnectSession(TABSBaseSession& Session) {
  Guard guard(FCSect);
  Session.SetSessionID(0);
  FSessionList.push_back(&Session);
}

void TABSDatabaseData::DisconnectSession(TABSBaseSession& Session) {
  Guard guard(FCSect);
  removeSession(Session);
}

void TABSDatabaseData::removeSession(TABSBaseSession& Session) {
  FSessionList.erase(std::remove(FSessionList.begin(), FSessionList.end(), &Session),
                     FSessionList.end());
}

bool TABSDatabaseData::FreeIfNoSessionsConnected() {
  Guard guard(FCSect);
  return FSessionList.empty();
}

void TABSDatabaseData::GetTablesList(std::vector<AnsiString>& List) { List.clear(); }

void TABSDatabaseData::Commit(int32_t SessionID, bool /*DoFlushBuffers*/) {
  Guard guard(FCSect);
  FPageManager->ApplyChanges(SessionID);
}

void TABSDatabaseData::Rollback(int32_t SessionID) {
  Guard guard(FCSect);
  FPageManager->CancelChanges(SessionID);
  for (TABSTableData* tableData : FTableDataList) tableData->Rollback(SessionID);
}

bool TABSDatabaseData::TableExists(const AnsiString& TableName) {
  std::vector<AnsiString> tables;
  GetTablesList(tables);
  const AnsiString wanted = AnsiUpperCase(TableName);
  return std::any_of(tables.begin(), tables.end(),
                     [&](const AnsiString& Name) { return AnsiUpperCase(Name) == wanted; });
}

void TABSDatabaseData::AddTableData(TABSTableData& TableData) {
  Guard guard(FCSect);
  FTableDataList.push_back(&TableData);
}

void TABSDatabaseData::RemoveTableData(TABSTableData& TableData) {
  Guard guard(FCSect);
  FTableDataList.erase(std::remove(FTableDataList.begin(), FTableDataList.end(), &TableData),
                       FTableDataList.end());
}

TABSTableData* TABSDatabaseData::FindTableData(const AnsiString& TableName) const {
  const AnsiString wanted = AnsiUpperCase(TableName);
  for (TABSTableData* tableData : FTableDataList)
    if (AnsiUpperCase(tableData->TableName()) == wanted) return tableData;
  return nullptr;
}

// --- TABSDiskDatabaseData -------------------------------------------------------------------

TABSDiskDatabaseData::TABSDiskDatabaseData(const AnsiString& DatabaseFileName,
                                           TABSDiskDatabaseSettings Settings)
    : TABSDatabaseData(DatabaseFileName),
      FPassword(Settings.Password),
      FMaxSessionCount(Settings.MaxSessionCount),
      FPageSize(Settings.PageSize),
      FPageCountInExtent(Settings.PageCountInExtent),
      FPageManagerSettings(std::move(Settings.PageManagerSettings)) {
  FReadOnly = Settings.ReadOnly;
}

TABSDiskDatabaseData::~TABSDiskDatabaseData() { closeDatabase(); }

void TABSDiskDatabaseData::CreateDatabase() {
  Guard guard(FCSect);
  auto pageManager = std::make_unique<TABSDiskPageManager>(FPageManagerSettings);
  try {
    pageManager->CreateAndOpenDatabase(FDatabaseName, FPassword,
                                       static_cast<uint16_t>(FPageSize),
                                       static_cast<uint16_t>(FPageCountInExtent));
    TABSSystemDirectory directory(*pageManager);
    directory.CreateDirectory();
    TABSActiveSessionsFile sessions(*pageManager);
    directory.CreateFile(dbftActiveSessionsList, sessions.CreateFile(FMaxSessionCount));
    TABSTableListFile tableList(*pageManager);
    directory.CreateFile(dbftTablesList, tableList.CreateFile());
    directory.SaveDirectory();
    pageManager->ApplyChanges(kSystemSessionID);
  } catch (...) {
    pageManager->CloseDatabase();
    throw;
  }
  pageManager->CloseDatabase();
}

void TABSDiskDatabaseData::ConnectSession(TABSBaseSession& Session) {
  Guard guard(FCSect);
  if (!FPageManager) openDatabase(Session);
  if (Session.MultiUser() != FMultiUser) errors::Raise(errors::kMixedUserModes);
  if (FMultiUser) {
    Session.SetSessionID(FActiveSessionsFile->MultiUserConnect());
  } else {
    Session.SetSessionID(0);
    if (!FSingleUserConnected) {
      FSingleUserConnected = FActiveSessionsFile->SingleUserConnect();
      if (!FSingleUserConnected) FReadOnly = true;
    }
  }
  Session.SetReadOnly(FReadOnly);
  FSessionList.push_back(&Session);
}

// The first connection: the file, its system files and the lock manager. Everything built so
// far is freed again when a step fails, so that the next connection starts from scratch.
void TABSDiskDatabaseData::openDatabase(TABSBaseSession& Session) {
  try {
    auto pageManager = std::make_unique<TABSDiskPageManager>(FPageManagerSettings);
    FDiskPageManager = pageManager.get();
    FPageManager = std::move(pageManager);
    FMultiUser = Session.MultiUser();
    bool repairNeeded = false;
    FDiskPageManager->OpenDatabase(FDatabaseName, FPassword, FReadOnly, repairNeeded,
                                   Session.Exclusive(), FMultiUser);
    Session.SetRepairNeeded(repairNeeded);
    Session.SetMultiUser(FMultiUser);
    FPassword = FDiskPageManager->Password();
    FPageSize = FDiskPageManager->PageSize();
    FPageCountInExtent = FDiskPageManager->DBHeader().PageCountInExtent;

    FSystemDir = std::make_unique<TABSSystemDirectory>(*FDiskPageManager);
    FSystemDir->LoadDirectory();
    FActiveSessionsFile = std::make_unique<TABSActiveSessionsFile>(*FDiskPageManager);
    FActiveSessionsFile->OpenFile(FSystemDir->GetFileFirstPageNo(dbftActiveSessionsList));
    FMaxSessionCount = FActiveSessionsFile->MaxSessionCount();
    FTableListFile = std::make_unique<TABSTableListFile>(*FDiskPageManager);
    FTableListFile->OpenFile(FSystemDir->GetFileFirstPageNo(dbftTablesList));
    FTableListFile->Load();
    FTableLockManager =
        std::make_unique<TABSDatabaseTableLockManager>(FMaxSessionCount, *FDiskPageManager);
  } catch (...) {
    closeDatabase();
    throw;
  }
}

void TABSDiskDatabaseData::DisconnectSession(TABSBaseSession& Session) {
  Guard guard(FCSect);
  if (!FSessionList.empty() && FActiveSessionsFile) {
    if (Session.MultiUser()) {
      FActiveSessionsFile->MultiUserDisconnect(Session.SessionID());
    } else if (FSessionList.size() == 1 && FSingleUserConnected) {
      FActiveSessionsFile->SingleUserDisconnect();
      FSingleUserConnected = false;
    }
  }
  removeSession(Session);
  if (!FSessionList.empty()) return;
  if (Session.InTransaction() && FPageManager) {
    Rollback(Session.SessionID());
    Session.SetInTransaction(false);
  }
  closeDatabase();
}

void TABSDiskDatabaseData::closeDatabase() {
  FTableLockManager.reset();
  FTableListFile.reset();
  FActiveSessionsFile.reset();
  FSystemDir.reset();
  if (FDiskPageManager) FDiskPageManager->CloseDatabase();
  FDiskPageManager = nullptr;
  FPageManager.reset();
  FSingleUserConnected = false;
}

int32_t TABSDiskDatabaseData::GetNewObjectId() {
  Guard guard(FCSect);
  return FDiskPageManager->GetNextObjectID();
}

void TABSDiskDatabaseData::Commit(int32_t SessionID, bool DoFlushBuffers) {
  Guard guard(FCSect);
  if (FMultiUser && !FTableLockManager->AddRWLocksBeforeCommit(SessionID))
    errors::Raise(errors::kCommitLocksFailed);
  FDiskPageManager->ApplyChanges(SessionID);
  if (DoFlushBuffers) FlushBuffers();
  if (FMultiUser) FTableLockManager->ClearTransactionLocks(SessionID);
}

void TABSDiskDatabaseData::Rollback(int32_t SessionID) {
  Guard guard(FCSect);
  if (FMultiUser) FTableLockManager->ClearTransactionLocks(SessionID);
  TABSDatabaseData::Rollback(SessionID);
}

void TABSDiskDatabaseData::FlushBuffers() { FDiskPageManager->DatabaseFile().FlushFileBuffers(); }

void TABSDiskDatabaseData::GetTablesList(std::vector<AnsiString>& List) {
  Guard guard(FCSect);
  tableList(errors::kNoTableListAtFind).GetTablesList(List);
}

void TABSDiskDatabaseData::LockTables() {
  const TABSDiskPageManagerSettings& settings = FDiskPageManager->Settings();
  if (!TryWithRetries(
          kTablesLockAttempts, settings.LockRetryDelayMs,
          [&] { return FDiskPageManager->LockTables(); }, settings.SleepFunction))
    errors::Raise(errors::kDatabaseTablesLocked);
}

void TABSDiskDatabaseData::UnlockTables() {
  if (!FDiskPageManager->UnlockTables()) errors::Raise(errors::kCannotUnlockDatabaseTables);
}

void TABSDiskDatabaseData::TruncateDatabase() { FDiskPageManager->TruncateDatabase(); }

int32_t TABSDiskDatabaseData::GetDBFileConnectionsCount() {
  return FActiveSessionsFile->GetDBFileConnectionsCount();
}

TABSTableListFile& TABSDiskDatabaseData::tableList(const errors::TNativeMessage& Missing) {
  if (!FTableListFile || !FTableListFile->IsOpened()) errors::Raise(Missing);
  return *FTableListFile;
}

void TABSDiskDatabaseData::AddTable(int32_t TableID, const AnsiString& TableName,
                                    int32_t MetadataFilePageNo, int32_t MostUpdatedFilePageNo,
                                    int32_t LocksFilePageNo) {
  Guard guard(FCSect);
  TABSTableListFile& list = tableList(errors::kNoTableListAtRegister);
  list.AddTable(TableID, TableName, MetadataFilePageNo, MostUpdatedFilePageNo, LocksFilePageNo);
  list.Save();
}

void TABSDiskDatabaseData::OpenTable(const AnsiString& TableName, int32_t& TableID,
                                     int32_t& MetadataFilePageNo, int32_t& MostUpdatedFilePageNo,
                                     int32_t& LocksFilePageNo) {
  Guard guard(FCSect);
  tableList(errors::kNoTableListAtFind)
      .OpenTable(TableName, TableID, MetadataFilePageNo, MostUpdatedFilePageNo, LocksFilePageNo);
}

void TABSDiskDatabaseData::RemoveTable(const AnsiString& TableName) {
  Guard guard(FCSect);
  TABSTableListFile& list = tableList(errors::kNoTableListAtDrop);
  list.RemoveTable(TableName);
  list.Save();
}

void TABSDiskDatabaseData::RenameTable(const AnsiString& TableName,
                                       const AnsiString& NewTableName) {
  Guard guard(FCSect);
  TABSTableListFile& list = tableList(errors::kNoTableListAtRename);
  list.RenameTable(TableName, NewTableName);
  list.Save();
}

}  // namespace zev
