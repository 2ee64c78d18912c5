#include "engine/tables/ZEVDiskTableData.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVFreeSpaceManager.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/storage/ZEVStream.h"
#include "engine/tables/ZEVBlobErrors.h"
#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVEngineErrors.h"
#include "engine/tables/ZEVLocalSession.h"

namespace zev {

namespace {

using TGuard = std::lock_guard<std::recursive_mutex>;

// The tables lock of the database file for one step, released on every way out.
class TTablesLock {
 public:
  explicit TTablesLock(TABSDiskDatabaseData& Database) : LDatabase(Database) {
    LDatabase.LockTables();
  }
  ~TTablesLock() {
    try {
      LDatabase.UnlockTables();
    } catch (...) {
      // The lock goes with the handle; a failed release must not hide the first error.
    }
  }
  TTablesLock(const TTablesLock&) = delete;
  TTablesLock& operator=(const TTablesLock&) = delete;

 private:
  TABSDiskDatabaseData& LDatabase;
};

void writeInt32(TABSStream& Stream, int32_t Value) {
  uint8_t bytes[4];
  PutInt32LE(bytes, Value);
  Stream.WriteBuffer(bytes, 4);
}

// A new table's constraint names the table, and a unique or primary one the object identifier
// of its index.
void bindConstraint(TABSConstraintDef& Constraint, const AnsiString& TableName, int32_t TableID,
                    const TABSIndexDefs& IndexDefs) {
  if (auto* column = dynamic_cast<TABSConstraintDefNotNull*>(&Constraint)) {
    column->FTableName = TableName;
    column->FTableObjectID = TableID;
  } else if (auto* unique = dynamic_cast<TABSConstraintDefUnique*>(&Constraint)) {
    unique->FTableName = TableName;
    unique->FTableObjectID = TableID;
    if (const TABSIndexDef* index = IndexDefs.GetIndexDefByName(unique->FIndexName))
      unique->FIndexObjectID = index->FObjectID;
  }
}

int32_t readInt32(TABSStream& Stream) {
  uint8_t bytes[4];
  Stream.ReadBuffer(bytes, 4);
  return GetInt32LE(bytes);
}

}  // namespace

namespace {

// The table objects of the process; they register themselves with their database object.
std::vector<std::unique_ptr<TABSDiskTableData>>& tableObjects() {
  static std::vector<std::unique_ptr<TABSDiskTableData>> objects;
  return objects;
}

std::mutex& tableObjectsLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

TABSDiskTableData& TABSDiskTableData::FindOrCreate(TABSDiskDatabaseData& DatabaseData,
                                                   const AnsiString& TableName) {
  std::lock_guard<std::mutex> guard(tableObjectsLock());
  if (auto* found = dynamic_cast<TABSDiskTableData*>(DatabaseData.FindTableData(TableName)))
    return *found;
  tableObjects().push_back(std::make_unique<TABSDiskTableData>(DatabaseData, TableName));
  return *tableObjects().back();
}

void TABSDiskTableData::FreeIfUnused(TABSDiskTableData& TableData) {
  if (!TableData.FreeIfNoCursorsConnected()) return;
  std::lock_guard<std::mutex> guard(tableObjectsLock());
  std::erase_if(tableObjects(), [&](const auto& object) { return object.get() == &TableData; });
}

TABSDiskTableData::TABSDiskTableData(TABSDiskDatabaseData& DatabaseData,
                                     const AnsiString& TableName)
    : LDatabaseData(DatabaseData), FTableName(TableName) {
  LDatabaseData.AddTableData(*this);
}

TABSDiskTableData::~TABSDiskTableData() {
  freeManagers();
  LDatabaseData.RemoveTableData(*this);
}

void TABSDiskTableData::freeManagers() {
  FBlobManager.reset();
  FHasBlobFields = false;
  FRecordManager.reset();
  FConstraintManager.reset();
  FConstraintDefs.reset();
  FIndexManager.reset();
  FFieldManager.reset();
  FTableLocksFile.reset();
  FTableMetadataFile.reset();
  FTableMostUpdatedFile.reset();
  FLastUsedTableState = -1;
}

void TABSDiskTableData::buildManagers() {
  TABSDiskPageManager& pages = PageManager();
  FTableLocksFile = std::make_unique<TABSTableLocksFile>(pages);
  FTableMetadataFile = std::make_unique<TABSInternalDBTransactedAccessFile>(pages, ptTableMetaData);
  FTableMostUpdatedFile =
      std::make_unique<TABSInternalDBTransactedAccessFile>(pages, ptTableMostUpdated);
  FFieldManager = std::make_unique<TABSBaseFieldManager>();
  FIndexManager = std::make_unique<TABSBaseIndexManager>(pages, FFieldManager->FieldDefs(), this);
  FConstraintDefs = std::make_unique<TABSConstraintDefs>();
  FConstraintManager = std::make_unique<TABSConstraintManager>(
      *FConstraintDefs, FFieldManager->FieldDefs(), *FIndexManager);
  FRecordManager = std::make_unique<TABSDiskRecordManager>(pages, *FFieldManager, FTableID);
  FBlobManager = std::make_unique<TABSDiskBlobManager>(pages, *FFieldManager, *FRecordManager);
  const auto* freeSpace =
      dynamic_cast<const TABSDatabaseFreeSpaceManager*>(pages.DatabaseFreeSpaceManager());
  FRecordManager->SetCheckRecordPages(!freeSpace || !freeSpace->GetSuppressDBHeaderErrors());
}

void TABSDiskTableData::initRecordManager() {
  const TABSFieldDefs& fields = FFieldManager->FieldDefs();
  FRecordManager->Init(fields.GetMemoryRecordBufferSize(), fields.GetDiskRecordBufferSize(),
                       fields.Count());
}

// --- Metadata and most-updated state ----------------------------------------------------------

void TABSDiskTableData::writeMetadata(int32_t SessionID) {
  TABSMemoryStream stream;
  FFieldManager->SaveMetadata(stream);
  FIndexManager->SaveMetadata(stream);
  FConstraintDefs->SaveToStream(stream);
  writeInt32(stream, FRecordManager->RecordPageIndex().RootPageNo());
  FBlobManager->SaveMetadata(stream);
  FTableMetadataFile->WriteFile(SessionID, stream.Memory(), static_cast<int32_t>(stream.GetSize()),
                                acaZLIB, 1);
}

void TABSDiskTableData::readMetadata(int32_t SessionID) {
  const int32_t size = FTableMetadataFile->GetSize(SessionID);
  std::vector<uint8_t> content(static_cast<size_t>(std::max(size, 0)));
  FTableMetadataFile->ReadFile(SessionID, content.data(), size);
  TABSMemoryStream stream;
  stream.WriteBuffer(content.data(), size);
  stream.SetPosition(0);
  FFieldManager->LoadMetadata(stream);
  FIndexManager->LoadMetadata(stream);
  FConstraintDefs->LoadFromStream(stream);
  initRecordManager();
  FRecordManager->OpenRecordPageIndex(readInt32(stream));
  FBlobManager->LoadMetadata(stream);
  FHasBlobFields = FFieldManager->BlobFieldsPresent();
}

void TABSDiskTableData::LoadMostUpdated(int32_t SessionID) {
  if (!FTableMostUpdatedFile || !FTableMostUpdatedFile->IsOpened())
    errors::Raise(errors::kMostUpdatedFileMissing);
  const int32_t size = FTableMostUpdatedFile->GetSize(SessionID);
  if (size < FFieldManager->MostUpdatedSize() + 8) errors::Raise(errors::kInvalidTableHeaderData);
  std::vector<uint8_t> block(static_cast<size_t>(size));
  FTableMostUpdatedFile->ReadFile(SessionID, block.data(), size);
  int32_t offset = 0;
  FFieldManager->LoadMostUpdated(block.data(), offset);
  FRecordManager->LoadMostUpdated(block.data(), offset);
  FLastUsedTableState = FRecordManager->TableState();
  if (MultiUser())
    PageManager().TablePagesCacheManager().SetIsMostUpdatedLoaded(SessionID, FTableID,
                                                                   FLastUsedTableState);
}

void TABSDiskTableData::SaveMostUpdated(int32_t SessionID) {
  const int32_t capacity = (8 * FFieldManager->FieldDefs().Count() + 8) * 4;
  std::vector<uint8_t> block(static_cast<size_t>(capacity));
  int32_t offset = 0;
  if (FFieldManager->MostUpdatedSize() + 8 > capacity) errors::Raise(errors::kInvalidTableHeaderData);
  FFieldManager->SaveMostUpdated(block.data(), offset);
  FRecordManager->SaveMostUpdated(block.data(), offset);
  FTableMostUpdatedFile->WriteFile(SessionID, block.data(), offset);
  FLastUsedTableState = FRecordManager->TableState();
}

// --- Creating, opening, closing -----------------------------------------------------------------

void TABSDiskTableData::CreateTable(TABSLocalCursor& Cursor, const TABSFieldDefs& FieldDefs,
                                    const TABSIndexDefs& IndexDefs,
                                    const TABSConstraintDefs& ConstraintDefs) {
  TGuard guard(LDatabaseData.CSect());
  if (FieldDefs.Count() == 0) errors::Raise(errors::kNoFieldsSpecified);
  TTablesLock tablesLock(LDatabaseData);
  FTableName = Cursor.TableName();
  const int32_t session = kSystemSessionID;
  try {
    FTableID = LDatabaseData.GetNewObjectId();
    buildManagers();
    const int32_t locksPageNo = FTableLocksFile->CreateFile(LDatabaseData.MaxSessionCount());
    FTableMetadataFile->CreateFile(session);
    FTableMostUpdatedFile->CreateFile(session);

    FFieldManager->FieldDefs().Assign(FieldDefs);
    for (int i = 0; i < FFieldManager->FieldDefs().Count(); ++i)
      FFieldManager->FieldDefs().Items(i)->FObjectID = LDatabaseData.GetNewObjectId();
    FFieldManager->InitLastAutoIncValues();
    FIndexManager->CreateIndexDefs(IndexDefs);
    for (int i = 0; i < FIndexManager->IndexDefs().Count(); ++i)
      FIndexManager->IndexDefs().Items(i)->FObjectID = LDatabaseData.GetNewObjectId();
    FConstraintDefs->Assign(ConstraintDefs);
    for (int i = 0; i < FConstraintDefs->Count(); ++i) {
      TABSConstraintDef& constraint = *FConstraintDefs->Items(i);
      if (constraint.FConstraintType == ctFK || constraint.FConstraintType > ctCheck)
        errors::Raise(errors::kConstraintNotImplemented);
      constraint.FObjectID = LDatabaseData.GetNewObjectId();
      bindConstraint(constraint, FTableName, FTableID, FIndexManager->IndexDefs());
    }

    initRecordManager();
    SaveMostUpdated(session);
    FRecordManager->CreateRecordPageIndex(session);
    if (FFieldManager->BlobFieldsPresent()) FBlobManager->CreateBlobPageIndex();
    FIndexManager->CreateIndexesByIndexDefs(session);
    writeMetadata(session);
    LDatabaseData.AddTable(FTableID, FTableName, FTableMetadataFile->StartPageNo(),
                           FTableMostUpdatedFile->StartPageNo(), locksPageNo);
    PageManager().ApplyChanges(session);
  } catch (...) {
    PageManager().CancelChanges(session);
    freeManagers();
    throw;
  }
  freeManagers();
}

void TABSDiskTableData::openFiles() {
  int32_t metadataPageNo = -1, mostUpdatedPageNo = -1, locksPageNo = -1;
  LDatabaseData.OpenTable(FTableName, FTableID, metadataPageNo, mostUpdatedPageNo, locksPageNo);
  buildManagers();
  FTableLocksFile->OpenFile(locksPageNo);
  FTableMetadataFile->OpenFile(metadataPageNo);
  FTableMostUpdatedFile->OpenFile(mostUpdatedPageNo);
}

void TABSDiskTableData::OpenTable(TABSLocalCursor& Cursor) {
  TGuard guard(LDatabaseData.CSect());
  if (!FCursorList.empty() && Cursor.Exclusive() && !FExclusive)
    errors::Raise(errors::kTableOpenByOtherCursors, {FTableName});
  const int32_t session = Cursor.Session().SessionID();
  if (FCursorList.empty()) {
    try {
      TTablesLock tablesLock(LDatabaseData);
      openFiles();
      readMetadata(session);
      if (Cursor.FIsRepairing) {
        try {
          LoadMostUpdated(session);
          FRecordManager->ValidateRecordPages(session);
        } catch (const EABSException&) {
          if (FFieldManager->FieldDefs().GetDiskRecordBufferSize() >= PageManager().PageDataSize())
            errors::Raise(errors::kCannotRepairLargeTable, {FTableName});
          FRecordManager->RebuildRecordPageIndex(session);
          writeMetadata(session);
          FFieldManager->InitLastAutoIncValues();
          SaveMostUpdated(session);
          PageManager().ApplyChanges(session);
        }
      } else {
        LoadMostUpdated(session);
      }
    } catch (...) {
      freeManagers();
      throw;
    }
    FExclusive = Cursor.Exclusive();
  }
  FCursorList.push_back(&Cursor);
  const TABSCursorLockBudgets& budgets = Cursor.Session().LockBudgets();
  const TABSLockType lockType = Cursor.Exclusive() ? ltX : ltIS;
  if (!LockTable(session, lockType, budgets.OpenTries, budgets.OpenDelayMs))
    errors::Raise(Cursor.Exclusive() ? errors::kTableOpenByOtherUser : errors::kTableIsLockedAtOpen,
                  {FTableName});
  Cursor.FTableLockedByCursor = true;
}

void TABSDiskTableData::CloseTable(TABSLocalCursor& Cursor) {
  TGuard guard(LDatabaseData.CSect());
  if (Cursor.FTableLockedByCursor) {
    UnlockTable(Cursor.Session().SessionID(), Cursor.Exclusive() ? ltX : ltIS, true);
    Cursor.FTableLockedByCursor = false;
  }
  std::erase(FCursorList, &Cursor);
  if (FCursorList.empty()) {
    freeManagers();
    FExclusive = false;
  }
}

void TABSDiskTableData::Rollback(int32_t SessionID) {
  if (FRecordManager && FTableMostUpdatedFile && FTableMostUpdatedFile->IsOpened())
    LoadMostUpdated(SessionID);
}

// --- Emptying, deleting, renaming -------------------------------------------------------------

void TABSDiskTableData::EmptyTable(TABSLocalCursor& Cursor) {
  TGuard guard(LDatabaseData.CSect());
  const int32_t session = Cursor.Session().SessionID();
  if (!LockTable(session, ltX, Cursor.Session().LockBudgets().OpenTries,
                 Cursor.Session().LockBudgets().OpenDelayMs))
    errors::Raise(errors::kTableOpenByOtherUser, {FTableName});
  try {
    FFieldManager->InitLastAutoIncValues();
    FIndexManager->EmptyAllIndexes(session);
    FBlobManager->Empty(session);
    FRecordManager->Empty(session);
    SaveMostUpdated(session);
    PageManager().ApplyChanges(session);
  } catch (...) {
    PageManager().CancelChanges(session);
    UnlockTable(session, ltX, true);
    throw;
  }
  UnlockTable(session, ltX, true);
}

void TABSDiskTableData::DeleteTable(TABSLocalCursor& Cursor, bool DesignMode) {
  TGuard guard(LDatabaseData.CSect());
  const bool others =
      std::any_of(FCursorList.begin(), FCursorList.end(), [&](auto* c) { return c != &Cursor; });
  if (others && !DesignMode) errors::Raise(errors::kCannotDeleteOpenTable, {FTableName});
  TTablesLock tablesLock(LDatabaseData);
  const int32_t session = kSystemSessionID;
  const int32_t cursorSession = Cursor.Session().SessionID();
  if (!LockTable(cursorSession, ltX, Cursor.Session().LockBudgets().OpenTries,
                 Cursor.Session().LockBudgets().OpenDelayMs))
    errors::Raise(errors::kTableOpenByOtherUser, {FTableName});
  try {
    FIndexManager->DropAllIndexes(session);
    FBlobManager->Delete(session);
    FRecordManager->Delete(session);
    UnlockTable(cursorSession, ltX, true);
    FTableLocksFile->DeleteFile();
    FTableMetadataFile->DeleteFile(session);
    FTableMostUpdatedFile->DeleteFile(session);
    LDatabaseData.RemoveTable(FTableName);
    PageManager().ApplyChanges(session);
  } catch (...) {
    PageManager().CancelChanges(session);
    UnlockTable(cursorSession, ltX, true);
    throw;
  }
  Cursor.FTableLockedByCursor = false;
  std::erase(FCursorList, &Cursor);
  freeManagers();
}

void TABSDiskTableData::RenameTable(const AnsiString& NewTableName, TABSLocalCursor& Cursor) {
  TGuard guard(LDatabaseData.CSect());
  const bool others =
      std::any_of(FCursorList.begin(), FCursorList.end(), [&](auto* c) { return c != &Cursor; });
  if (others) errors::Raise(errors::kCannotRenameOpenTable, {FTableName});
  TTablesLock tablesLock(LDatabaseData);
  try {
    LDatabaseData.RenameTable(FTableName, NewTableName);
    PageManager().ApplyChanges(kSystemSessionID);
  } catch (...) {
    PageManager().CancelChanges(kSystemSessionID);
    throw;
  }
  FTableName = NewTableName;
}

// --- Row operations ---------------------------------------------------------------------------

void TABSDiskTableData::ApplyChanges(int32_t SessionID, bool InTransaction) {
  if (!InTransaction) PageManager().ApplyChanges(SessionID);
}

void TABSDiskTableData::CancelChanges(int32_t SessionID, bool InTransaction) {
  if (!InTransaction) PageManager().CancelChanges(SessionID);
}

// Applies the row operation's changes unless a transaction or a batch update keeps them.
void TABSDiskTableData::finishRowOperation(TABSLocalCursor& Cursor) {
  if (!Cursor.InBatchUpdate())
    ApplyChanges(Cursor.Session().SessionID(), Cursor.Session().InTransaction());
}

namespace {

// A row operation that fails half-way leaves nothing behind outside a transaction or batch:
// its page changes are dropped and the counters read again.
template <class F>
bool guardedRowOperation(TABSDiskTableData& Table, TABSLocalCursor& Cursor, F&& Operation) {
  const int32_t session = Cursor.Session().SessionID();
  const bool keep = Cursor.Session().InTransaction() || Cursor.InBatchUpdate();
  try {
    const bool done = Operation();
    if (!done && !keep) {
      Table.CancelChanges(session, false);
      Table.LoadMostUpdated(session);
    }
    return done;
  } catch (...) {
    if (!keep) {
      Table.CancelChanges(session, false);
      try {
        Table.LoadMostUpdated(session);
      } catch (...) {
        // The first error is the one to report.
      }
    }
    throw;
  }
}

TABSIndexRowOperation rowOperation(TABSLocalCursor& Cursor) {
  TABSIndexRowOperation row;
  row.SessionID = Cursor.Session().SessionID();
  row.CurrentRecordBuffer = Cursor.CurrentRecordBuffer();
  row.EditRecordBuffer = Cursor.EditRecordBuffer();
  row.CurrentRecordID = Cursor.CurrentRecordID;
  return row;
}

}  // namespace

bool TABSDiskTableData::InsertRecord(TABSLocalCursor& Cursor) {
  TGuard guard(LDatabaseData.CSect());
  if (!FRecordManager) errors::Raise(errors::kNoRecordManagerAtInsert);
  return guardedRowOperation(*this, Cursor, [&] {
    const int32_t session = Cursor.Session().SessionID();
    TABSPageItemID recordID;
    if (FHasBlobFields) FBlobManager->WriteBlobs(session, Cursor.CurrentRecordBuffer());
    if (!FRecordManager->AddRecord(session, Cursor.CurrentRecordBuffer(), recordID)) return false;
    Cursor.CurrentRecordID = recordID;
    FIndexManager->InsertRecord(rowOperation(Cursor));
    Cursor.FirstPosition = Cursor.LastPosition = false;
    SaveMostUpdated(session);
    finishRowOperation(Cursor);
    return true;
  });
}

bool TABSDiskTableData::UpdateRecord(TABSLocalCursor& Cursor) {
  TGuard guard(LDatabaseData.CSect());
  if (!FRecordManager) errors::Raise(errors::kNoRecordManagerAtUpdate);
  const int32_t session = Cursor.Session().SessionID();
  if (MultiUser()) LoadMostUpdated(session);
  return guardedRowOperation(*this, Cursor, [&] {
    if (FHasBlobFields) {
      FBlobManager->ReleaseNulledBlobs(session, Cursor.CurrentRecordBuffer(),
                                       Cursor.EditRecordBuffer());
      FBlobManager->WriteBlobs(session, Cursor.CurrentRecordBuffer());
    }
    const TABSIndexRowOperation row = rowOperation(Cursor);
    FIndexManager->UpdateRecord(row, true);
    if (!FRecordManager->UpdateRecord(session, Cursor.CurrentRecordBuffer(), Cursor.CurrentRecordID))
      return false;
    FIndexManager->UpdateRecord(row, false);
    SaveMostUpdated(session);
    finishRowOperation(Cursor);
    return true;
  });
}

bool TABSDiskTableData::DeleteRecord(TABSLocalCursor& Cursor) {
  TGuard guard(LDatabaseData.CSect());
  if (!FRecordManager) errors::Raise(errors::kNoRecordManagerAtDelete);
  const int32_t session = Cursor.Session().SessionID();
  if (MultiUser()) LoadMostUpdated(session);

  // The row that becomes current: the next one in the cursor's order, else the prior one.
  const TABSCursorPosition saved = Cursor.SavePosition();
  const std::vector<uint8_t> row(Cursor.CurrentRecordBuffer(),
                                 Cursor.CurrentRecordBuffer() + Cursor.Layout().RecordBufferSize);
  std::vector<uint8_t> neighbour;
  TABSCursorPosition neighbourPosition;
  bool found = Navigate(Cursor, grmNext) == grrOK;
  if (!found) {
    Cursor.RestorePosition(saved);
    std::copy(row.begin(), row.end(), Cursor.CurrentRecordBuffer());
    found = Navigate(Cursor, grmPrior) == grrOK;
  }
  if (found) {
    neighbourPosition = Cursor.SavePosition();
    neighbour.assign(Cursor.CurrentRecordBuffer(),
                     Cursor.CurrentRecordBuffer() + Cursor.Layout().RecordBufferSize);
  }
  Cursor.RestorePosition(saved);
  std::copy(row.begin(), row.end(), Cursor.CurrentRecordBuffer());

  const bool deleted = guardedRowOperation(*this, Cursor, [&] {
    if (FHasBlobFields) {
      FBlobManager->ClearBLOBFieldsInRecordBuffer(Cursor.CurrentRecordBuffer());
      FBlobManager->DeleteBlobs(session, Cursor.CurrentRecordBuffer());
    }
    FIndexManager->DeleteRecord(rowOperation(Cursor));
    if (!FRecordManager->DeleteRecord(session, Cursor.CurrentRecordID)) return false;
    SaveMostUpdated(session);
    finishRowOperation(Cursor);
    return true;
  });
  if (!deleted) return false;
  Cursor.FIndexPositionCache.Clear();
  if (found) {
    Cursor.RestorePosition(neighbourPosition);
    std::copy(neighbour.begin(), neighbour.end(), Cursor.CurrentRecordBuffer());
  } else {
    Cursor.InternalFirst();
  }
  return true;
}

// --- Navigation -------------------------------------------------------------------------------

TABSGetRecordResult TABSDiskTableData::GetRecordBuffer(TABSLocalCursor& Cursor,
                                                       TABSGetRecordMode Mode) {
  TGuard guard(LDatabaseData.CSect());
  if (!MultiUser()) return Navigate(Cursor, Mode);
  const int32_t session = Cursor.Session().SessionID();
  const TABSCursorLockBudgets& budgets = Cursor.Session().LockBudgets();
  if (!LockTable(session, ltS, budgets.ReadTries, budgets.ReadDelayMs)) return grrError;
  TABSDiskTablePagesCacheManager& cache = PageManager().TablePagesCacheManager();
  TABSGetRecordResult result;
  try {
    LoadMostUpdated(session);
    cache.BeginWorkWithTable(session, FTableID);
    result = Navigate(Cursor, Mode);
  } catch (...) {
    cache.EndWorkWithTable(session, FTableID);
    UnlockTable(session, ltS, true);
    throw;
  }
  cache.EndWorkWithTable(session, FTableID);
  UnlockTable(session, ltS, true);
  return result;
}

TABSGetRecordResult TABSDiskTableData::Navigate(TABSLocalCursor& Cursor, TABSGetRecordMode Mode) {
  if (FRecordManager->RecordCount() == 0) {
    if (Mode != grmCurrent) Cursor.LastPosition = Mode == grmNext || Cursor.LastPosition;
    return grrEOF;
  }
  if (Cursor.IndexID() >= 0 && Mode != grmCurrent) return navigateByIndex(Cursor, Mode);
  TABSNavigationInfo navigation;
  navigation.GetRecordMode = Mode;
  navigation.RecordID = Cursor.CurrentRecordID;
  navigation.RecordBuffer = Cursor.CurrentRecordBuffer();
  navigation.FirstPosition = Cursor.FirstPosition;
  navigation.LastPosition = Cursor.LastPosition;
  FRecordManager->GetRecordBuffer(Cursor.Session().SessionID(), navigation);
  switch (navigation.GetRecordResult) {
    case grrOK:
      Cursor.CurrentRecordID = navigation.RecordID;
      Cursor.FirstPosition = Cursor.LastPosition = false;
      break;
    case grrBOF:
      Cursor.FirstPosition = true;
      Cursor.LastPosition = false;
      break;
    case grrEOF:
      Cursor.LastPosition = true;
      Cursor.FirstPosition = false;
      break;
    case grrError:
      break;
  }
  return navigation.GetRecordResult;
}

TABSGetRecordResult TABSDiskTableData::readByPosition(TABSLocalCursor& Cursor,
                                                      TABSBTreeRecordIndex& Index,
                                                      const TABSKeyPath& Position) {
  const int32_t session = Cursor.Session().SessionID();
  const TABSPageItemID recordID = Index.GetRecordIDByIndexPosition(session, Position);
  if (!ReadRecordBuffer(session, recordID, Cursor.CurrentRecordBuffer())) return grrError;
  Cursor.CurrentRecordID = recordID;
  Cursor.FirstPosition = Cursor.LastPosition = false;
  TABSIndexPositionCache& cache = Cursor.FIndexPositionCache;
  cache.Position = Position;
  cache.IndexID = Cursor.IndexID();
  cache.RecordID = recordID;
  cache.TableState = FRecordManager->TableState();
  return grrOK;
}

// Next or prior entry of the cursor's index from its position. A current row that no longer
// exists continues at the closest key in the direction of travel.
TABSGetRecordResult TABSDiskTableData::navigateByIndex(TABSLocalCursor& Cursor,
                                                       TABSGetRecordMode Mode) {
  const int32_t session = Cursor.Session().SessionID();
  TABSBTreeRecordIndex& index = FIndexManager->OpenIndex(Cursor.IndexID());
  TABSBTree& tree = index.Tree();
  const bool forward = Mode == grmNext;
  auto atEnd = [&] {
    Cursor.FirstPosition = !forward;
    Cursor.LastPosition = forward;
    return forward ? grrEOF : grrBOF;
  };
  TABSKeyPath path;
  if (Cursor.FirstPosition || Cursor.LastPosition) {
    const bool fromStart = Cursor.FirstPosition;
    if (fromStart != forward) return atEnd();
    const bool any = forward ? tree.GetFirstPosition(session, path) : tree.GetLastPosition(session, path);
    if (!any) return grrError;
    return readByPosition(Cursor, index, path);
  }
  if (Cursor.FIndexPositionCache.ValidFor(Cursor.IndexID(), Cursor.CurrentRecordID,
                                          FRecordManager->TableState())) {
    path = Cursor.FIndexPositionCache.Position;
  } else {
    std::vector<uint8_t> stored(static_cast<size_t>(RecordBufferSize()));
    if (ReadRecordBuffer(session, Cursor.CurrentRecordID, stored.data())) {
      if (!index.GetIndexPosition(session, Cursor.CurrentRecordID, stored.data(), path))
        return grrError;
    } else {
      TABSPageItemID closest;
      if (!index.FindRecordID(session, forward, forward ? scGreater : scLower,
                              Cursor.CurrentRecordBuffer(), -1, false, closest, &path))
        return atEnd();
      return readByPosition(Cursor, index, path);
    }
  }
  const bool moved = forward ? tree.GotoNext(session, path) : tree.GotoPrior(session, path);
  if (!moved) return atEnd();
  return readByPosition(Cursor, index, path);
}

// --- Locks --------------------------------------------------------------------------------------

bool TABSDiskTableData::LockTable(int32_t SessionID, TABSLockType LockType, int TryCount,
                                  int DelayMs, bool AllowXIRWAfterSIRW) {
  if (!MultiUser()) return true;
  const bool locked = LDatabaseData.TableLockManager()->LockTable(
      SessionID, LockType, *FTableLocksFile, TryCount, DelayMs, false, AllowXIRWAfterSIRW);
  if (locked && LockType == ltS)
    PageManager().TablePagesCacheManager().TableIsSLocked(SessionID, FTableID);
  if (locked && LockType == ltRW)
    PageManager().TablePagesCacheManager().TableIsRWLocked(SessionID, FTableID);
  return locked;
}

bool TABSDiskTableData::UnlockTable(int32_t SessionID, TABSLockType LockType, bool IgnoreIfNoLock) {
  if (!MultiUser()) return true;
  const bool unlocked = LDatabaseData.TableLockManager()->UnlockTable(SessionID, LockType,
                                                                      *FTableLocksFile, IgnoreIfNoLock);
  if (unlocked && LockType == ltS)
    PageManager().TablePagesCacheManager().TableIsSUnlocked(SessionID, FTableID);
  if (unlocked && LockType == ltRW)
    PageManager().TablePagesCacheManager().TableIsRWUnlocked(SessionID, FTableID);
  return unlocked;
}

bool TABSDiskTableData::LockRecord(int32_t SessionID, const TABSPageItemID& RecordID,
                                   int TryCount, int DelayMs) {
  if (!MultiUser()) return true;
  return LDatabaseData.TableLockManager()->LockRecord(SessionID, *FTableLocksFile, RecordID,
                                                      TryCount, DelayMs);
}

bool TABSDiskTableData::UnlockRecord(int32_t SessionID, const TABSPageItemID& RecordID) {
  if (!MultiUser()) return true;
  return LDatabaseData.TableLockManager()->UnlockRecord(SessionID, *FTableLocksFile, RecordID);
}

bool TABSDiskTableData::IsRecordLocked(int32_t SessionID, const TABSPageItemID& RecordID) {
  if (!MultiUser()) return true;
  return LDatabaseData.TableLockManager()->IsRecordLocked(SessionID, *FTableLocksFile, RecordID);
}

// --- Rows by identifier -----------------------------------------------------------------------

int32_t TABSDiskTableData::RecordBufferSize() const {
  return FFieldManager->FieldDefs().GetMemoryRecordBufferSize();
}

bool TABSDiskTableData::ReadRecordBuffer(int32_t SessionID, const TABSPageItemID& RecordID,
                                         uint8_t* Buffer) {
  TABSNavigationInfo navigation;
  navigation.GetRecordMode = grmCurrent;
  navigation.RecordID = RecordID;
  navigation.RecordBuffer = Buffer;
  FRecordManager->GetRecordBuffer(SessionID, navigation);
  return navigation.GetRecordResult == grrOK;
}

// --- BLOB fields --------------------------------------------------------------------------------

std::unique_ptr<TABSLocalBLOBStream> TABSDiskTableData::InternalCreateBlobStream(
    TABSLocalCursor& Cursor, bool, int32_t FieldNo, TABSBLOBOpenMode OpenMode) {
  TGuard guard(LDatabaseData.CSect());
  const TABSFieldDef& field = *FFieldManager->FieldDefs().Items(FieldNo);
  TABSBLOBDescriptor descriptor;
  descriptor.BlockSize = field.FBLOBBlockSize;
  if (descriptor.BlockSize == 0) errors::Raise(errors::kBlobStreamBlockSizeZero);
  descriptor.CompressionAlgorithm = field.FBLOBCompressionAlgorithm;
  descriptor.CompressionMode = field.FBLOBCompressionMode;
  descriptor.StartPosition = 0;
  auto stored = std::make_unique<TABSTemporaryStream>(FDisableTempFiles);
  uint8_t* row = Cursor.HasCurrentRecordBuffer() ? Cursor.CurrentRecordBuffer() : nullptr;
  std::unique_ptr<TABSCompressedBLOBStream> value;
  if (OpenMode == bomWrite || !row || IsFieldNull(row, FieldNo)) {
    descriptor.NumBlocks = 0;
    descriptor.UncompressedSize = 0;
    value = std::make_unique<TABSCompressedBLOBStream>(*stored, descriptor, false, true);
  } else {
    try {
      FBlobManager->CopyBlobFromRecordBufferToStream(Cursor.Session().SessionID(), row, FieldNo,
                                                     descriptor, *stored);
      stored->SetPosition(0);
      if (descriptor.UncompressedSize < 0) errors::Raise(errors::kInvalidBlobFieldSize);
      value = std::make_unique<TABSCompressedBLOBStream>(*stored, descriptor, false, false);
    } catch (...) {
      FBlobManager->ClearBlobInRecordBuffer(row, FieldNo, true);
      throw;
    }
  }
  return std::make_unique<TABSLocalBLOBStream>(std::move(stored), std::move(value), &Cursor,
                                               OpenMode, FieldNo);
}

void TABSDiskTableData::WriteBLOBFieldToRecordBuffer(TABSLocalCursor& Cursor, int32_t FieldNo,
                                                     TABSLocalBLOBStream& BLOBStream) {
  TGuard guard(LDatabaseData.CSect());
  FBlobManager->CopyBlobFromStreamToRecordBuffer(Cursor.CurrentRecordBuffer(), FieldNo, BLOBStream);
}

void TABSDiskTableData::ClearBlobsCacheInRecordBuffer(uint8_t* Buffer) {
  ClearBLOBFieldsInRecordBuffer(Buffer);
}

void TABSDiskTableData::ClearBLOBFieldInRecordBuffer(uint8_t* RecordBuffer, int32_t FieldNo) {
  TGuard guard(LDatabaseData.CSect());
  if (FBlobManager) FBlobManager->ClearBlobInRecordBuffer(RecordBuffer, FieldNo, false);
}

void TABSDiskTableData::ClearBLOBFieldsInRecordBuffer(uint8_t* RecordBuffer) {
  TGuard guard(LDatabaseData.CSect());
  if (FBlobManager && FHasBlobFields) FBlobManager->ClearBLOBFieldsInRecordBuffer(RecordBuffer);
}

void TABSDiskTableData::ClearModifiedBLOBFieldsInRecordBuffer(uint8_t* RecordBuffer) {
  TGuard guard(LDatabaseData.CSect());
  if (FBlobManager && FHasBlobFields)
    FBlobManager->ClearModifiedBLOBFieldsInRecordBuffer(RecordBuffer);
}

void TABSDiskTableData::GetDirectBlobData(TABSLocalCursor& Cursor, int32_t FieldNo,
                                          uint8_t* RecordBuffer,
                                          TABSPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                                          const uint8_t*& pBlobData) {
  TGuard guard(LDatabaseData.CSect());
  FBlobManager->GetDirectBlobInfoFromRecordBuffer(Cursor.Session().SessionID(), RecordBuffer,
                                                  FieldNo, BLOBDescriptor, pBlobData);
}

void TABSDiskTableData::SetDirectBlobData(TABSLocalCursor& Cursor, int32_t FieldNo,
                                          uint8_t* RecordBuffer,
                                          const TABSPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                                          const uint8_t* pBlobData) {
  TGuard guard(LDatabaseData.CSect());
  FBlobManager->SetDirectBlobInfoFromRecordBuffer(Cursor.Session().SessionID(), RecordBuffer,
                                                  FieldNo, BLOBDescriptor, pBlobData);
}

void TABSDiskTableData::FreeDirectBlobData(TABSLocalCursor&, int32_t FieldNo,
                                           uint8_t* RecordBuffer) {
  ClearBLOBFieldInRecordBuffer(RecordBuffer, FieldNo);
}

int64_t TABSDiskTableData::LastAutoincValue(int32_t FieldNo, TABSLocalSession& Session) {
  TGuard guard(LDatabaseData.CSect());
  return FFieldManager->GetLastAutoinc(Session.SequenceValues(), MultiUser(), FieldNo);
}

}  // namespace zev
