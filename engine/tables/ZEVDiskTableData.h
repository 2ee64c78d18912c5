// TABSDiskTableData: one table of a database file as a process works on it. It owns the
// table's three internal files (metadata, compressed with zlib; the small most-updated state;
// the lock file), the field, index, constraint and record managers built from the metadata,
// and the list of cursors that use it. It creates, opens, closes, empties, renames and deletes
// the table, and turns a cursor's insert, update and delete into the row change, the index
// changes and the most-updated state, applied to the file at the end of each row operation
// outside transactions and batch updates.
//
// Metadata file: field definitions, index definitions, constraint definitions, the record page
// index root (int32) and the BLOB page index root (int32, -1 without BLOB fields). The BLOB
// manager stores and frees a row's BLOB values when the row is inserted, updated or deleted.
// Most-updated file: n, n last autoincrement values, table state, record count (68 bytes for
// seven fields).
//
// Ownership: owns its files and managers; links to the database object (which outlives it)
// and to the cursors registered with it. Locking: every operation runs under the database
// object's critical section; between processes the table locks of the lock manager order the
// work. Errors: 20128, 20174, 20208, 20209, 20242, 20017, 10150, 20135 to 20138, 20164, 20176,
// 30040 and those of the layers below.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/ZEVDatabaseData.h"
#include "engine/storage/ZEVInternalFile.h"
#include "engine/storage/ZEVTableLocksFile.h"
#include "engine/tables/ABSBaseIndexManager.h"
#include "engine/tables/ZEVBlobManager.h"
#include "engine/tables/ZEVConstraintDefs.h"
#include "engine/tables/ZEVConstraintManager.h"
#include "engine/tables/ZEVDiskRecordManager.h"
#include "engine/tables/ZEVFieldManager.h"
#include "engine/tables/ZEVLocalBLOBStream.h"

namespace zev {

class TABSLocalCursor;
class TABSLocalSession;

class TABSDiskTableData : public TABSTableData, public TABSRecordReader {
 public:
  TABSDiskTableData(TABSDiskDatabaseData& DatabaseData, const AnsiString& TableName);
  ~TABSDiskTableData() override;

  // The process's table object of that name on the database (names compared ignoring case),
  // created on first use; it lives until FreeIfUnused finds no cursor on it.
  static TABSDiskTableData& FindOrCreate(TABSDiskDatabaseData& DatabaseData,
                                         const AnsiString& TableName);
  static void FreeIfUnused(TABSDiskTableData& TableData);

  const AnsiString& TableName() const override { return FTableName; }
  // Re-reads the most-updated state after the session's changes were dropped.
  void Rollback(int32_t SessionID) override;

  // In the system session, cancelled whole when a step fails.
  void CreateTable(TABSLocalCursor& Cursor, const TABSFieldDefs& FieldDefs,
                   const TABSIndexDefs& IndexDefs, const TABSConstraintDefs& ConstraintDefs);
  void OpenTable(TABSLocalCursor& Cursor);
  void CloseTable(TABSLocalCursor& Cursor);
  void DeleteTable(TABSLocalCursor& Cursor, bool DesignMode);
  void EmptyTable(TABSLocalCursor& Cursor);
  void RenameTable(const AnsiString& NewTableName, TABSLocalCursor& Cursor);

  // The row operations on the cursor's current row buffer and identifier.
  bool InsertRecord(TABSLocalCursor& Cursor);
  bool UpdateRecord(TABSLocalCursor& Cursor);
  bool DeleteRecord(TABSLocalCursor& Cursor);
  // One navigation step in the cursor's order (under a shared table lock in multi-user mode).
  TABSGetRecordResult GetRecordBuffer(TABSLocalCursor& Cursor, TABSGetRecordMode Mode);
  // The step itself, for callers that hold the locks already.
  TABSGetRecordResult Navigate(TABSLocalCursor& Cursor, TABSGetRecordMode Mode);

  void LoadMostUpdated(int32_t SessionID);
  void SaveMostUpdated(int32_t SessionID);
  int64_t LastAutoincValue(int32_t FieldNo, TABSLocalSession& Session);
  void ApplyChanges(int32_t SessionID, bool InTransaction);
  void CancelChanges(int32_t SessionID, bool InTransaction);

  // Through the database's lock manager in multi-user mode; true otherwise.
  bool LockTable(int32_t SessionID, TABSLockType LockType, int TryCount, int DelayMs,
                 bool AllowXIRWAfterSIRW = true);
  bool UnlockTable(int32_t SessionID, TABSLockType LockType, bool IgnoreIfNoLock = false);
  bool LockRecord(int32_t SessionID, const TABSPageItemID& RecordID, int TryCount, int DelayMs);
  bool UnlockRecord(int32_t SessionID, const TABSPageItemID& RecordID);
  bool IsRecordLocked(int32_t SessionID, const TABSPageItemID& RecordID);

  bool FreeIfNoCursorsConnected() const { return FCursorList.empty(); }
  bool MultiUser() const { return LDatabaseData.MultiUser(); }
  int32_t TableID() const { return FTableID; }
  int64_t RecordCount() const { return FRecordManager ? FRecordManager->RecordCount() : 0; }
  int32_t TableState() const { return FRecordManager ? FRecordManager->TableState() : 0; }
  TABSBaseFieldManager& FieldManager() { return *FFieldManager; }
  TABSBaseIndexManager& IndexManager() { return *FIndexManager; }
  TABSDiskRecordManager& RecordManager() { return *FRecordManager; }
  TABSConstraintManager& ConstraintManager() { return *FConstraintManager; }
  TABSDiskBlobManager& BlobManager() { return *FBlobManager; }
  bool HasBlobFields() const { return FHasBlobFields; }
  void SetDisableTempFiles(bool Disable) { FDisableTempFiles = Disable; }

  // --- BLOB fields (FieldNo counts the table's fields; each takes the table object's lock) ---
  // A new cursor stream on the field of the cursor's current row: empty for bomWrite, without
  // a current row or for a NULL field, else the stored value. 20149 for a block size of 0,
  // 20248 for a negative stored size, 20162 when a non-NULL field has nothing stored.
  std::unique_ptr<TABSLocalBLOBStream> InternalCreateBlobStream(TABSLocalCursor& Cursor,
                                                                bool ToInsert, int32_t FieldNo,
                                                                TABSBLOBOpenMode OpenMode);
  // A written cursor stream becomes the modified cache of the cursor's current row.
  void WriteBLOBFieldToRecordBuffer(TABSLocalCursor& Cursor, int32_t FieldNo,
                                    TABSLocalBLOBStream& BLOBStream);
  void ClearBlobsCacheInRecordBuffer(uint8_t* Buffer);
  void ClearBLOBFieldInRecordBuffer(uint8_t* RecordBuffer, int32_t FieldNo);
  void ClearBLOBFieldsInRecordBuffer(uint8_t* RecordBuffer);
  void ClearModifiedBLOBFieldsInRecordBuffer(uint8_t* RecordBuffer);
  // The stored bytes of a field, handed out and installed without recompressing.
  void GetDirectBlobData(TABSLocalCursor& Cursor, int32_t FieldNo, uint8_t* RecordBuffer,
                         TABSPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                         const uint8_t*& pBlobData);
  void SetDirectBlobData(TABSLocalCursor& Cursor, int32_t FieldNo, uint8_t* RecordBuffer,
                         const TABSPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                         const uint8_t* pBlobData);
  void FreeDirectBlobData(TABSLocalCursor& Cursor, int32_t FieldNo, uint8_t* RecordBuffer);
  const TABSConstraintDefs& ConstraintDefs() const { return *FConstraintDefs; }
  TABSDiskDatabaseData& DatabaseData() { return LDatabaseData; }
  TABSDiskPageManager& PageManager() { return *LDatabaseData.DiskPageManager(); }

  // TABSRecordReader: a row by its identifier, for indexes deciding tied prefixes.
  int32_t RecordBufferSize() const override;
  bool ReadRecordBuffer(int32_t SessionID, const TABSPageItemID& RecordID,
                        uint8_t* Buffer) override;

 private:
  void buildManagers();
  void freeManagers();
  void readMetadata(int32_t SessionID);
  void writeMetadata(int32_t SessionID);
  void initRecordManager();
  void openFiles();
  void finishRowOperation(TABSLocalCursor& Cursor);
  TABSGetRecordResult navigateByIndex(TABSLocalCursor& Cursor, TABSGetRecordMode Mode);
  TABSGetRecordResult readByPosition(TABSLocalCursor& Cursor, TABSBTreeRecordIndex& Index,
                                     const TABSKeyPath& Position);

  TABSDiskDatabaseData& LDatabaseData;
  AnsiString FTableName;
  int32_t FTableID = -1;
  std::unique_ptr<TABSTableLocksFile> FTableLocksFile;
  std::unique_ptr<TABSInternalDBTransactedAccessFile> FTableMetadataFile;
  std::unique_ptr<TABSInternalDBTransactedAccessFile> FTableMostUpdatedFile;
  std::unique_ptr<TABSBaseFieldManager> FFieldManager;
  std::unique_ptr<TABSBaseIndexManager> FIndexManager;
  std::unique_ptr<TABSConstraintDefs> FConstraintDefs;
  std::unique_ptr<TABSConstraintManager> FConstraintManager;
  std::unique_ptr<TABSDiskRecordManager> FRecordManager;
  std::unique_ptr<TABSDiskBlobManager> FBlobManager;
  bool FHasBlobFields = false;
  bool FDisableTempFiles = false;
  std::vector<TABSLocalCursor*> FCursorList;
  bool FExclusive = false;
  int32_t FLastUsedTableState = -1;
};

}  // namespace zev
