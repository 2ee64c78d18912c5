// TABSLocalCursor: the engine object through which one dataset works on one table of a database
// file. It holds the current row (memory form, then the 6-byte bookmark, a flag byte and the
// calculated fields) and the position in the active order (an index, or physical order), reads
// the next or prior row, searches by key, restricts the view to a range of the active index,
// counts and numbers rows, and turns insert, edit, post, cancel and delete into row operations
// of the table object, with the table and row locks and the checks for changes made by other
// processes that a multi-user database needs.
//
// Row operations do not raise for the conditions of their result codes: ErrorCode() is 0 on
// success, -1/-2/-3 when the insert/update/delete failed, -4/-6 when the row was changed/deleted
// by another process before an edit or update, -5/-7 the same before a delete, -8 when a
// constraint (or the autoincrement sequence) refused the row (ErrorMessage() has the text),
// -12 when the row is locked and -13 when the table is locked. The cursor's row buffer is as
// before the operation when it fails.
//
// Ownership: the cursor owns its buffers and definition copies; it links to its session and to
// the table object it is registered with, which outlive it. Locking: every operation takes the
// database object's critical section; waits for table locks during post and delete release it.
// Requires: the session stays connected while the cursor is open (close cursors first).
// Errors: EABSException for everything else (10028, 20229, 20218, 20219, 30058 and the table
// object's).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/tables/ABSBTreeKeyPath.h"
#include "engine/tables/ZEVDiskRecordManager.h"
#include "engine/tables/ZEVDiskTableData.h"
#include "engine/tables/ZEVFieldDefs.h"
#include "engine/tables/ZEVLocalSession.h"

namespace zev {

struct TABSIndexPositionCache {
  TABSKeyPath Position;
  int32_t IndexID = -1;
  TABSPageItemID RecordID;
  int32_t TableState = -1;

  void Clear() { IndexID = -1; TableState = -1; }
  bool ValidFor(int32_t Index, const TABSPageItemID& Row, int32_t State) const {
    return IndexID == Index && TableState == State && RecordID.PageNo == Row.PageNo &&
           RecordID.PageItemNo == Row.PageItemNo;
  }
};

// The rows of a restricted view in the active order, built for one table state.
struct TABSRecordBitmap {
  std::vector<TABSPageItemID> VisibleRows;
  int32_t TableState = -1;
  bool Active = false;

  void Clear() { VisibleRows.clear(); TableState = -1; Active = false; }
  bool Outdated(int32_t State) const { return !Active || TableState != State; }
  int64_t IndexOf(const TABSPageItemID& RecordID) const;  // -1 when hidden
};

// 8 bytes: first flag, last flag, PageNo, PageItemNo.
struct TABSCursorPosition {
  bool FirstPosition = true;
  bool LastPosition = false;
  TABSPageItemID RecordID;
};

class TABSLocalCursor {
 public:
  explicit TABSLocalCursor(TABSLocalSession& Session);
  ~TABSLocalCursor();  // closes
  TABSLocalCursor(const TABSLocalCursor&) = delete;
  TABSLocalCursor& operator=(const TABSLocalCursor&) = delete;

  // --- Settings (before opening) ---
  void SetTableName(const AnsiString& TableName) { FTableName = TableName; }
  const AnsiString& TableName() const { return FTableName; }
  void SetExclusive(bool Exclusive) { FExclusive = Exclusive; }
  bool Exclusive() const { return FExclusive; }
  void SetIsRepairing(bool Repairing) { FIsRepairing = Repairing; }
  TABSLocalSession& Session() { return LSession; }

  // --- Tables ---
  void CreateTable(const TABSFieldDefs& FieldDefs, const TABSIndexDefs& IndexDefs,
                   const TABSConstraintDefs& ConstraintDefs);
  void DeleteTable();
  void EmptyTable();
  void RenameTable(const AnsiString& NewTableName);
  // Opens the table and lays out the row buffers (nothing when open); position before the first
  // row.
  void OpenTable();
  void CloseTable();
  bool IsOpen() const { return FIsOpen; }
  // The index of that name (ignoring case) becomes the active order; any other name, or "",
  // selects physical order.
  void SetIndexName(const AnsiString& IndexName);
  const AnsiString& IndexName() const { return FIndexName; }
  int32_t IndexID() const { return FIndexID; }
  // The table's index definitions (Requires: open).
  const TABSIndexDefs& IndexDefs() const;
  // The table lock of the session (true in single-user mode).
  bool LockTable(TABSLockType LockType, int TryCount, int DelayMs, bool AllowXIRWAfterSIRW = true);
  bool UnlockTable(TABSLockType LockType, bool IgnoreIfNoLock = false);

  // --- Rows and fields ---
  const TABSFieldDefs& FieldDefs() const { return *FFieldDefs; }
  const TABSCursorBufferLayout& Layout() const { return FLayout; }
  uint8_t* CurrentRecordBuffer() { return FCurrentRecordBuffer.data(); }
  const uint8_t* EditRecordBuffer() const { return FEditRecordBuffer.data(); }
  uint8_t* KeyBuffer() { return FKeyBuffer.data(); }
  TABSRecordFieldAccess FieldAccess() const { return TABSRecordFieldAccess(*FFieldDefs); }
  void InternalInitRecord(uint8_t* RecordBuffer, bool InsertMode);
  // Every field of the key row NULL.
  void InternalInitKeyBuffer();
  std::vector<uint8_t> AllocateRecordBuffer() const;

  // --- Positions and navigation ---
  void InternalFirst();
  void InternalLast();
  TABSGetRecordResult GetRecordBuffer(TABSGetRecordMode Mode);
  TABSCursorPosition SavePosition() const;
  void RestorePosition(const TABSCursorPosition& Position);
  int64_t GetRecordCount();
  int64_t GetRecNo();
  void SetRecNo(int64_t RecNo);

  // --- Keys and ranges ---
  void SetKeyFieldCount(int32_t Count) { FKeyFieldCount = Count; }
  // The first row of the active index whose first KeyFieldCount columns stand in Condition's
  // relation to the key row; the position is kept when there is none.
  bool FindKey(TABSSearchCondition Condition, bool PartialKey = false);
  // Restricts the view to the rows of the active index between the two key rows (their row
  // part copied, so key buffers serve; a null row leaves that side open).
  void ApplyRange(const uint8_t* StartBuffer, const uint8_t* EndBuffer,
                  int32_t StartKeyFieldCount, int32_t EndKeyFieldCount, bool StartExclusive,
                  bool EndExclusive);
  void ResetRange();
  bool IsRangeApplied() const { return FRangeApplied; }
  bool IsViewRestricted() const { return FRangeApplied; }
  // Text filters, Locate and distinct views need an expression engine this build does not
  // have: 30058.
  void ActivateFilters(const AnsiString& FilterText);
  bool Locate();

  // --- Row operations (results in ErrorCode) ---
  void InternalInsert() {}
  void InternalEdit();
  void InternalPost(bool ToInsert);
  void InternalCancel(bool ToInsert);
  void InternalDelete();
  bool IsRecordLocked();
  int32_t ErrorCode() const { return FErrorCode; }
  const AnsiString& ErrorMessage() const { return FErrorMessage; }
  int64_t LastAutoincValue(int32_t FieldNo);
  void BeginBatchUpdate();
  void EndBatchUpdate();
  void CancelBatchUpdate();
  bool InBatchUpdate() const { return FBatchUpdate; }

  // --- BLOB fields (FieldNo counts the cursor's visible fields) ---
  // A stream on the field of the current row buffer, listed in the cursor's stream list and
  // owned by the cursor until InternalCloseBLOB; null when the multi-user shared lock was
  // refused or the browsed row no longer exists. 10110, 10115 (a second write stream on the
  // field), 20149, 20162, 20248.
  TABSLocalBLOBStream* InternalCreateBlobStream(bool ToInsert, bool ToEdit, int32_t FieldNo,
                                                TABSBLOBOpenMode OpenMode,
                                                bool CanDoGetRecordBuffer);
  // Closes every stream of the field: a written one becomes the row's cache, an unchanged one
  // drops the row's cache. 10118.
  void InternalCloseBLOB(int32_t FieldNo);
  // Releases every listed stream (with WriteOnly those opened for writing) through its user
  // stream, or closes it directly when it has none.
  void ClearBLOBStreams(bool WriteOnly);
  size_t BLOBStreamCount() const { return FBLOBStreams.size(); }
  // False while a caller says the cursor has no current row (a dataset without active buffer):
  // streams then start empty.
  bool HasCurrentRecordBuffer() const { return FHasCurrentRecordBuffer; }
  void SetHasCurrentRecordBuffer(bool Has) { FHasCurrentRecordBuffer = Has; }
  // Moves the stored bytes of Source's field SourceFieldNo into this cursor's current row
  // (field FieldNo) as a modified value, without decompressing.
  void CopyBlobFieldValue(TABSLocalCursor& Source, int32_t SourceFieldNo, int32_t FieldNo);

  // --- State the table object works with ---
  TABSPageItemID CurrentRecordID;
  bool FirstPosition = true;
  bool LastPosition = false;
  TABSIndexPositionCache FIndexPositionCache;

 private:
  friend class TABSDiskTableData;

  TABSDiskTableData& table() const;
  bool inRange(const uint8_t* RecordBuffer);
  void rebuildBitmapIfNeeded();
  TABSGetRecordResult readRestricted(TABSGetRecordMode Mode);
  TABSGetRecordResult readCurrent(uint8_t* Buffer);
  void writeBookmark();
  TABSLocalBLOBStream* createBlobStream(int32_t FieldNo, TABSBLOBOpenMode OpenMode);
  void closeListedStream(TABSLocalBLOBStream* Stream);
  TABSPageItemID bookmark() const;
  // The table lock of a post or delete: single tries, the database lock released between.
  bool lockForChange(std::unique_lock<std::recursive_mutex>& DatabaseLock, TABSLockType LockType,
                     int Tries, int DelayMs);
  void releaseEditLocks();
  void postRow(bool ToInsert, std::unique_lock<std::recursive_mutex>& DatabaseLock);
  void deleteRow(std::unique_lock<std::recursive_mutex>& DatabaseLock);
  std::unique_lock<std::recursive_mutex> lockDatabase() const;

  TABSLocalSession& LSession;
  TABSDiskTableData* FTableData = nullptr;
  AnsiString FTableName;
  AnsiString FIndexName;
  int32_t FIndexID = -1;
  bool FExclusive = false;
  bool FIsOpen = false;
  bool FIsRepairing = false;
  bool FTableLockedByCursor = false;
  bool FBatchUpdate = false;
  bool FEditLocked = false;
  int32_t FErrorCode = 0;
  AnsiString FErrorMessage;
  std::unique_ptr<TABSFieldDefs> FFieldDefs;
  TABSCursorBufferLayout FLayout;
  std::vector<uint8_t> FCurrentRecordBuffer;
  std::vector<uint8_t> FEditRecordBuffer;
  std::vector<uint8_t> FKeyBuffer;
  int32_t FKeyFieldCount = -1;
  bool FRangeApplied = false;
  std::vector<uint8_t> FRangeStartBuffer, FRangeEndBuffer;
  int32_t FRangeStartKeyFieldCount = 0, FRangeEndKeyFieldCount = 0;
  bool FRangeStartExclusive = false, FRangeEndExclusive = false;
  TABSRecordBitmap FRecordBitmap;
  std::vector<std::unique_ptr<TABSLocalBLOBStream>> FBLOBStreams;
  bool FHasCurrentRecordBuffer = true;
};

}  // namespace zev
