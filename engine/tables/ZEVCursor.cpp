#include "engine/tables/ZEVCursor.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVBlobErrors.h"
#include "engine/tables/ZEVEngineErrors.h"

namespace zev {

namespace {
constexpr uint8_t kBookmarkFlag = 3;
}

int64_t TABSRecordBitmap::IndexOf(const TABSPageItemID& RecordID) const {
  for (size_t i = 0; i < VisibleRows.size(); ++i)
    if (VisibleRows[i].PageNo == RecordID.PageNo &&
        VisibleRows[i].PageItemNo == RecordID.PageItemNo)
      return static_cast<int64_t>(i);
  return -1;
}

TABSLocalCursor::TABSLocalCursor(TABSLocalSession& Session) : LSession(Session) {}

TABSLocalCursor::~TABSLocalCursor() {
  try {
    CloseTable();
  } catch (...) {
    // Closing releases locks; the process's handles release them too.
  }
}

TABSDiskTableData& TABSLocalCursor::table() const { return *FTableData; }

std::unique_lock<std::recursive_mutex> TABSLocalCursor::lockDatabase() const {
  return std::unique_lock<std::recursive_mutex>(LSession.DatabaseData().CSect());
}

// --- Tables ---------------------------------------------------------------------------------------

void TABSLocalCursor::CreateTable(const TABSFieldDefs& FieldDefs, const TABSIndexDefs& IndexDefs,
                                  const TABSConstraintDefs& ConstraintDefs) {
  auto lock = lockDatabase();
  TABSDiskTableData& data = TABSDiskTableData::FindOrCreate(LSession.DatabaseData(), FTableName);
  try {
    data.CreateTable(*this, FieldDefs, IndexDefs, ConstraintDefs);
  } catch (...) {
    TABSDiskTableData::FreeIfUnused(data);
    throw;
  }
  TABSDiskTableData::FreeIfUnused(data);
}

void TABSLocalCursor::OpenTable() {
  if (FIsOpen) return;
  auto lock = lockDatabase();
  TABSDiskTableData& data = TABSDiskTableData::FindOrCreate(LSession.DatabaseData(), FTableName);
  FTableData = &data;
  try {
    data.OpenTable(*this);
  } catch (...) {
    data.CloseTable(*this);
    TABSDiskTableData::FreeIfUnused(data);
    FTableData = nullptr;
    throw;
  }
  FFieldDefs = std::make_unique<TABSFieldDefs>();
  FFieldDefs->Assign(data.FieldManager().FieldDefs());
  FLayout = TABSCursorBufferLayout::Of(*FFieldDefs);
  FCurrentRecordBuffer.assign(static_cast<size_t>(FLayout.RecordBufferSize), 0);
  FEditRecordBuffer.assign(static_cast<size_t>(FLayout.RecordBufferSize), 0);
  FKeyBuffer.assign(static_cast<size_t>(FLayout.KeyBufferSize), 0);
  FIsOpen = true;
  SetIndexName(FIndexName);
  InternalFirst();
}

void TABSLocalCursor::CloseTable() {
  if (!FIsOpen) return;
  auto lock = lockDatabase();
  if (FEditLocked) releaseEditLocks();
  ClearBLOBStreams(false);
  TABSDiskTableData& data = table();
  data.ClearBlobsCacheInRecordBuffer(FCurrentRecordBuffer.data());
  data.ClearBlobsCacheInRecordBuffer(FEditRecordBuffer.data());
  data.CloseTable(*this);
  TABSDiskTableData::FreeIfUnused(data);
  FTableData = nullptr;
  FIsOpen = false;
  FRecordBitmap.Clear();
  FIndexPositionCache.Clear();
  FFieldDefs.reset();
}

void TABSLocalCursor::EmptyTable() {
  const bool wasOpen = FIsOpen;
  OpenTable();
  try {
    auto lock = lockDatabase();
    table().EmptyTable(*this);
    FRecordBitmap.Clear();
    FIndexPositionCache.Clear();
    InternalFirst();
  } catch (...) {
    if (!wasOpen) CloseTable();
    throw;
  }
  if (!wasOpen) CloseTable();
}

void TABSLocalCursor::DeleteTable() {
  const bool wasOpen = FIsOpen;
  OpenTable();
  auto lock = lockDatabase();
  TABSDiskTableData& data = table();
  try {
    data.DeleteTable(*this, false);
  } catch (...) {
    if (!wasOpen) CloseTable();
    throw;
  }
  FTableData = nullptr;
  FIsOpen = false;
  FFieldDefs.reset();
  TABSDiskTableData::FreeIfUnused(data);
}

void TABSLocalCursor::RenameTable(const AnsiString& NewTableName) {
  auto lock = lockDatabase();
  TABSDiskTableData& data = FIsOpen ? table()
                                    : TABSDiskTableData::FindOrCreate(LSession.DatabaseData(),
                                                                      FTableName);
  try {
    data.RenameTable(NewTableName, *this);
  } catch (...) {
    if (!FIsOpen) TABSDiskTableData::FreeIfUnused(data);
    throw;
  }
  if (!FIsOpen) TABSDiskTableData::FreeIfUnused(data);
  FTableName = NewTableName;
}

void TABSLocalCursor::SetIndexName(const AnsiString& IndexName) {
  FIndexName = IndexName;
  if (!FIsOpen) return;
  const TABSIndexDef* index = table().IndexManager().IndexDefs().GetIndexDefByName(IndexName);
  FIndexID = index && !IndexName.empty() ? index->FObjectID : -1;
  FIndexPositionCache.Clear();
  FRecordBitmap.Clear();
}

const TABSIndexDefs& TABSLocalCursor::IndexDefs() const { return table().IndexManager().IndexDefs(); }

bool TABSLocalCursor::LockTable(TABSLockType LockType, int TryCount, int DelayMs,
                                bool AllowXIRWAfterSIRW) {
  auto lock = lockDatabase();
  return table().LockTable(LSession.SessionID(), LockType, TryCount, DelayMs, AllowXIRWAfterSIRW);
}

bool TABSLocalCursor::UnlockTable(TABSLockType LockType, bool IgnoreIfNoLock) {
  auto lock = lockDatabase();
  return table().UnlockTable(LSession.SessionID(), LockType, IgnoreIfNoLock);
}

// --- Rows ---------------------------------------------------------------------------------------

void TABSLocalCursor::InternalInitRecord(uint8_t* RecordBuffer, bool InsertMode) {
  FieldAccess().InternalInitRecord(RecordBuffer, InsertMode);
}

void TABSLocalCursor::InternalInitKeyBuffer() {
  std::fill(FKeyBuffer.begin(), FKeyBuffer.end(), 0);
  FieldAccess().InternalInitRecord(FKeyBuffer.data(), false);
}

std::vector<uint8_t> TABSLocalCursor::AllocateRecordBuffer() const {
  return std::vector<uint8_t>(static_cast<size_t>(FLayout.RecordBufferSize), 0);
}

void TABSLocalCursor::writeBookmark() {
  uint8_t* bookmark = FCurrentRecordBuffer.data() + FLayout.BookmarkOffset;
  CurrentRecordID.Store(bookmark);
  bookmark[TABSPageItemID::Size] = kBookmarkFlag;
}

TABSPageItemID TABSLocalCursor::bookmark() const {
  TABSPageItemID id;
  id.Load(FCurrentRecordBuffer.data() + FLayout.BookmarkOffset);
  return id;
}

// --- Positions and navigation -------------------------------------------------------------------

void TABSLocalCursor::InternalFirst() {
  FirstPosition = true;
  LastPosition = false;
}

void TABSLocalCursor::InternalLast() {
  FirstPosition = false;
  LastPosition = true;
}

TABSCursorPosition TABSLocalCursor::SavePosition() const {
  return {FirstPosition, LastPosition, CurrentRecordID};
}

void TABSLocalCursor::RestorePosition(const TABSCursorPosition& Position) {
  FirstPosition = Position.FirstPosition;
  LastPosition = Position.LastPosition;
  CurrentRecordID = Position.RecordID;
}

TABSGetRecordResult TABSLocalCursor::GetRecordBuffer(TABSGetRecordMode Mode) {
  auto lock = lockDatabase();
  const TABSGetRecordResult result = IsViewRestricted() && Mode != grmCurrent
                                         ? readRestricted(Mode)
                                         : table().GetRecordBuffer(*this, Mode);
  if (result == grrOK) writeBookmark();
  return result;
}

// -1 before the range, 0 inside, 1 after it, in the active index's order.
static int rangeSide(TABSBTreeRecordIndex& Index, const uint8_t* Row, const std::vector<uint8_t>& Start,
              int32_t StartCount, bool StartExclusive, const std::vector<uint8_t>& End,
              int32_t EndCount, bool EndExclusive) {
  TABSRecordKeyRef& keyRef = Index.KeyRef();
  const int32_t saved = keyRef.CompareFieldCount();
  std::vector<uint8_t> rowKey(static_cast<size_t>(keyRef.FullKeySize())), bound(rowKey.size());
  keyRef.MakeFullKeyFromRecordBuffer(Row, rowKey.data());
  int side = 0;
  if (!Start.empty()) {
    keyRef.MakeFullKeyFromRecordBuffer(Start.data(), bound.data());
    keyRef.SetCompareFieldCount(StartCount);
    const int c = keyRef.CompareFullKeys(rowKey.data(), bound.data());
    if (StartExclusive ? c <= 0 : c < 0) side = -1;
  }
  if (side == 0 && !End.empty()) {
    std::fill(bound.begin(), bound.end(), 0);
    keyRef.MakeFullKeyFromRecordBuffer(End.data(), bound.data());
    keyRef.SetCompareFieldCount(EndCount);
    const int c = keyRef.CompareFullKeys(rowKey.data(), bound.data());
    if (EndExclusive ? c >= 0 : c > 0) side = 1;
  }
  keyRef.SetCompareFieldCount(saved);
  return side;
}

bool TABSLocalCursor::inRange(const uint8_t* RecordBuffer) {
  if (!FRangeApplied || FIndexID < 0) return true;
  return rangeSide(table().IndexManager().OpenIndex(FIndexID), RecordBuffer, FRangeStartBuffer,
                   FRangeStartKeyFieldCount, FRangeStartExclusive, FRangeEndBuffer,
                   FRangeEndKeyFieldCount, FRangeEndExclusive) == 0;
}

// The next or prior row of the active order that lies in the range; in index order the walk
// stops at the first row beyond the range's far end.
TABSGetRecordResult TABSLocalCursor::readRestricted(TABSGetRecordMode Mode) {
  const bool forward = Mode == grmNext;
  for (;;) {
    const TABSGetRecordResult result = table().GetRecordBuffer(*this, Mode);
    if (result != grrOK) return result;
    if (FIndexID < 0) return result;
    const int side = rangeSide(table().IndexManager().OpenIndex(FIndexID),
                               FCurrentRecordBuffer.data(), FRangeStartBuffer,
                               FRangeStartKeyFieldCount, FRangeStartExclusive, FRangeEndBuffer,
                               FRangeEndKeyFieldCount, FRangeEndExclusive);
    if (side == 0) return grrOK;
    if (forward && side > 0) {
      InternalLast();
      return grrEOF;
    }
    if (!forward && side < 0) {
      InternalFirst();
      return grrBOF;
    }
  }
}

// The visible rows in the active order, gathered again when the table changed.
void TABSLocalCursor::rebuildBitmapIfNeeded() {
  if (!FRecordBitmap.Outdated(table().TableState())) return;
  const TABSCursorPosition saved = SavePosition();
  const std::vector<uint8_t> row = FCurrentRecordBuffer;
  FRecordBitmap.VisibleRows.clear();
  InternalFirst();
  while (readRestricted(grmNext) == grrOK) FRecordBitmap.VisibleRows.push_back(CurrentRecordID);
  FRecordBitmap.TableState = table().TableState();
  FRecordBitmap.Active = true;
  RestorePosition(saved);
  FCurrentRecordBuffer = row;
}

namespace {

// A shared table lock and fresh counters for a count or a record number in multi-user mode.
class TSharedRead {
 public:
  TSharedRead(TABSDiskTableData& Table, TABSLocalSession& Session,
              const errors::TNativeMessage& Failure)
      : LTable(Table), FSessionID(Session.SessionID()) {
    if (!LTable.MultiUser()) return;
    const TABSCursorLockBudgets& budgets = Session.LockBudgets();
    if (!LTable.LockTable(FSessionID, ltS, budgets.ReadTries, budgets.ReadDelayMs))
      errors::Raise(Failure);
    FLocked = true;
    LTable.LoadMostUpdated(FSessionID);
  }
  ~TSharedRead() {
    if (FLocked) LTable.UnlockTable(FSessionID, ltS, true);
  }
  TSharedRead(const TSharedRead&) = delete;
  TSharedRead& operator=(const TSharedRead&) = delete;

 private:
  TABSDiskTableData& LTable;
  int32_t FSessionID;
  bool FLocked = false;
};

}  // namespace

int64_t TABSLocalCursor::GetRecordCount() {
  auto lock = lockDatabase();
  if (IsViewRestricted()) {
    {
      TSharedRead read(table(), LSession, errors::kTableLockedAtCount);
    }
    rebuildBitmapIfNeeded();
    return static_cast<int64_t>(FRecordBitmap.VisibleRows.size());
  }
  TSharedRead read(table(), LSession, errors::kTableLockedAtCount);
  return table().RecordCount();
}

int64_t TABSLocalCursor::GetRecNo() {
  auto lock = lockDatabase();
  if (FirstPosition || LastPosition) return -1;
  if (IsViewRestricted()) {
    rebuildBitmapIfNeeded();
    const int64_t at = FRecordBitmap.IndexOf(CurrentRecordID);
    return at < 0 ? -1 : at + 1;
  }
  TSharedRead read(table(), LSession, errors::kTableLockedAtRecNo);
  if (table().RecordCount() == 0) return -1;
  const int32_t session = LSession.SessionID();
  std::vector<uint8_t> stored(static_cast<size_t>(table().RecordBufferSize()));
  if (!table().ReadRecordBuffer(session, CurrentRecordID, stored.data())) return -1;
  if (FIndexID >= 0)
    return table().IndexManager().OpenIndex(FIndexID).GetRecNoByRecordID(session, CurrentRecordID,
                                                                          stored.data());
  return table().RecordManager().GetRecNo(session, CurrentRecordID);
}

void TABSLocalCursor::SetRecNo(int64_t RecNo) {
  auto lock = lockDatabase();
  const int64_t count = GetRecordCount();
  if (count == 0) return;
  RecNo = std::clamp<int64_t>(RecNo, 1, count);
  TABSPageItemID recordID;
  const int32_t session = LSession.SessionID();
  if (IsViewRestricted()) {
    recordID = FRecordBitmap.VisibleRows[static_cast<size_t>(RecNo - 1)];
  } else {
    TSharedRead read(table(), LSession, errors::kTableLockedAtRecNo);
    if (FIndexID >= 0)
      recordID = table().IndexManager().OpenIndex(FIndexID).GetRecordIDByRecNo(
          session, static_cast<int32_t>(RecNo));
    else
      table().RecordManager().SetRecNo(session, RecNo, recordID);
  }
  CurrentRecordID = recordID;
  FirstPosition = LastPosition = false;
  FIndexPositionCache.Clear();
  if (table().ReadRecordBuffer(session, recordID, FCurrentRecordBuffer.data())) writeBookmark();
}

// --- Keys and ranges ----------------------------------------------------------------------------

bool TABSLocalCursor::FindKey(TABSSearchCondition Condition, bool PartialKey) {
  auto lock = lockDatabase();
  if (FIndexID < 0) return false;
  TSharedRead read(table(), LSession, errors::kTableLockedAtCount);
  const int32_t session = LSession.SessionID();
  TABSBTreeRecordIndex& index = table().IndexManager().OpenIndex(FIndexID);
  TABSPageItemID found;
  TABSKeyPath path;
  if (!index.FindRecordID(session, true, Condition, FKeyBuffer.data(), FKeyFieldCount, PartialKey,
                          found, &path))
    return false;
  std::vector<uint8_t> row = FCurrentRecordBuffer;
  if (!table().ReadRecordBuffer(session, found, row.data())) return false;
  if (IsViewRestricted() && !inRange(row.data())) return false;
  FCurrentRecordBuffer = row;
  CurrentRecordID = found;
  FirstPosition = LastPosition = false;
  FIndexPositionCache.Position = path;
  FIndexPositionCache.IndexID = FIndexID;
  FIndexPositionCache.RecordID = found;
  FIndexPositionCache.TableState = table().TableState();
  writeBookmark();
  return true;
}

void TABSLocalCursor::ApplyRange(const uint8_t* StartBuffer, const uint8_t* EndBuffer,
                                 int32_t StartKeyFieldCount, int32_t EndKeyFieldCount,
                                 bool StartExclusive, bool EndExclusive) {
  // Only the row part of a key or row buffer is read.
  const size_t rowSize = static_cast<size_t>(FLayout.BookmarkOffset);
  auto copyRow = [&](const uint8_t* Buffer) {
    if (!Buffer) return std::vector<uint8_t>();
    std::vector<uint8_t> row(static_cast<size_t>(FLayout.RecordBufferSize), 0);
    std::copy(Buffer, Buffer + rowSize, row.begin());
    return row;
  };
  FRangeStartBuffer = copyRow(StartBuffer);
  FRangeEndBuffer = copyRow(EndBuffer);
  FRangeStartKeyFieldCount = StartKeyFieldCount;
  FRangeEndKeyFieldCount = EndKeyFieldCount;
  FRangeStartExclusive = StartExclusive;
  FRangeEndExclusive = EndExclusive;
  FRangeApplied = StartBuffer || EndBuffer;
  FRecordBitmap.Clear();
}

void TABSLocalCursor::ResetRange() {
  FRangeStartBuffer.clear();
  FRangeEndBuffer.clear();
  FRangeApplied = false;
  FRecordBitmap.Clear();
}

void TABSLocalCursor::ActivateFilters(const AnsiString&) { errors::Raise(errors::kNotSupported); }

bool TABSLocalCursor::Locate() { errors::Raise(errors::kNotSupported); }

// --- Row operations ---------------------------------------------------------------------------

TABSGetRecordResult TABSLocalCursor::readCurrent(uint8_t* Buffer) {
  const TABSCursorPosition saved = SavePosition();
  const std::vector<uint8_t> row = FCurrentRecordBuffer;
  const TABSGetRecordResult result = table().GetRecordBuffer(*this, grmCurrent);
  if (result == grrOK) std::copy(FCurrentRecordBuffer.begin(), FCurrentRecordBuffer.end(), Buffer);
  FCurrentRecordBuffer = row;
  RestorePosition(saved);
  return result;
}

void TABSLocalCursor::releaseEditLocks() {
  if (!FEditLocked) return;
  FEditLocked = false;
  const int32_t session = LSession.SessionID();
  table().UnlockRecord(session, bookmark());
  table().UnlockTable(session, LSession.InTransaction() ? ltXIRW : ltSIRW, true);
}

void TABSLocalCursor::InternalEdit() {
  auto lock = lockDatabase();
  FErrorCode = 0;
  FErrorMessage.clear();
  std::copy(FCurrentRecordBuffer.begin(), FCurrentRecordBuffer.end(), FEditRecordBuffer.begin());
  if (!table().MultiUser()) return;
  const int32_t session = LSession.SessionID();
  const TABSCursorLockBudgets& budgets = LSession.LockBudgets();
  const TABSLockType lockType = LSession.InTransaction() ? ltXIRW : ltSIRW;
  if (!table().LockTable(session, lockType, budgets.EditTries, budgets.EditDelayMs, true)) {
    FErrorCode = -13;
    return;
  }
  writeBookmark();
  if (!table().LockRecord(session, CurrentRecordID, budgets.RecordTries, budgets.RecordDelayMs)) {
    table().UnlockTable(session, lockType, true);
    FErrorCode = -12;
    return;
  }
  FEditLocked = true;
  std::vector<uint8_t> stored(FCurrentRecordBuffer.size());
  if (readCurrent(stored.data()) != grrOK)
    FErrorCode = -6;
  else if (!table().FieldManager().CompareRecordBuffers(FEditRecordBuffer.data(), stored.data()))
    FErrorCode = -4;
  if (FErrorCode != 0) releaseEditLocks();
}

bool TABSLocalCursor::lockForChange(std::unique_lock<std::recursive_mutex>& DatabaseLock,
                                    TABSLockType LockType, int Tries, int DelayMs) {
  const int32_t session = LSession.SessionID();
  for (int attempt = 0; attempt < Tries; ++attempt) {
    if (table().LockTable(session, LockType, 1, 0)) return true;
    if (attempt + 1 == Tries) break;
    DatabaseLock.unlock();
    LSession.Sleep(static_cast<uint32_t>(DelayMs));
    DatabaseLock.lock();
  }
  return false;
}

void TABSLocalCursor::InternalPost(bool ToInsert) {
  auto lock = lockDatabase();
  FErrorCode = 0;
  FErrorMessage.clear();
  const bool multiUser = table().MultiUser();
  const bool inTransaction = LSession.InTransaction();
  const TABSLockType lockType = inTransaction ? ltXIRW : ltRW;
  if (multiUser &&
      !lockForChange(lock, lockType, LSession.LockBudgets().PostTries, LSession.LockBudgets().PostDelayMs)) {
    FErrorCode = -13;
    return;
  }
  try {
    postRow(ToInsert, lock);
  } catch (...) {
    if (multiUser && !inTransaction) table().UnlockTable(LSession.SessionID(), lockType, true);
    throw;
  }
  if (multiUser) {
    if (!ToInsert && FErrorCode != -8) releaseEditLocks();
    if (!inTransaction) table().UnlockTable(LSession.SessionID(), lockType, true);
  }
}

void TABSLocalCursor::postRow(bool ToInsert, std::unique_lock<std::recursive_mutex>&) {
  const int32_t session = LSession.SessionID();
  // Written values reach the row (its caches and NULL bits) before the row is checked.
  ClearBLOBStreams(true);
  const std::vector<uint8_t> copy = FCurrentRecordBuffer;
  try {
    if (ToInsert) {
      table().LoadMostUpdated(session);
      table().FieldManager().ApplyAutoincsToRecordBuffer(LSession.SequenceValues(),
                                                         FCurrentRecordBuffer.data());
    }
    table().ConstraintManager().CheckConstraints(
        session, FCurrentRecordBuffer.data(), ToInsert ? nullptr : FEditRecordBuffer.data(),
        ToInsert);
  } catch (const EABSException& error) {
    FErrorCode = -8;
    FErrorMessage = error.Message();
    FCurrentRecordBuffer = copy;
    if (ToInsert) table().LoadMostUpdated(session);
    return;
  }
  if (ToInsert) {
    const TABSCursorPosition saved = SavePosition();
    if (table().InsertRecord(*this)) {
      writeBookmark();
    } else {
      FErrorCode = -1;
      FCurrentRecordBuffer = copy;
      RestorePosition(saved);
    }
    return;
  }
  std::vector<uint8_t> stored(FCurrentRecordBuffer.size());
  if (readCurrent(stored.data()) != grrOK) {
    FErrorCode = -6;
  } else if (!table().FieldManager().CompareRecordBuffers(stored.data(), FEditRecordBuffer.data())) {
    FErrorCode = -4;
  } else if (!table().UpdateRecord(*this)) {
    FErrorCode = -2;
  }
  // A stored row keeps the identifiers its BLOB values got.
  if (FErrorCode != 0) FCurrentRecordBuffer = copy;
  if (FErrorCode == 0) writeBookmark();
}

void TABSLocalCursor::InternalCancel(bool ToInsert) {
  if (!FIsOpen) return;
  auto lock = lockDatabase();
  ClearBLOBStreams(true);
  table().ClearModifiedBLOBFieldsInRecordBuffer(FCurrentRecordBuffer.data());
  if (ToInsert) table().ClearBLOBFieldsInRecordBuffer(FCurrentRecordBuffer.data());
  if (!ToInsert) releaseEditLocks();
}

// --- BLOB fields ------------------------------------------------------------------------------

TABSLocalBLOBStream* TABSLocalCursor::InternalCreateBlobStream(bool ToInsert, bool ToEdit,
                                                               int32_t FieldNo,
                                                               TABSBLOBOpenMode OpenMode,
                                                               bool CanDoGetRecordBuffer) {
  auto lock = lockDatabase();
  if (!table().MultiUser()) return createBlobStream(FieldNo, OpenMode);
  const int32_t session = LSession.SessionID();
  const TABSCursorLockBudgets& budgets = LSession.LockBudgets();
  if (!table().LockTable(session, ltS, budgets.BlobTries, budgets.BlobDelayMs, true)) return nullptr;
  TABSLocalBLOBStream* stream = nullptr;
  try {
    bool rowFound = true;
    if (!ToInsert && !ToEdit && CanDoGetRecordBuffer && FBLOBStreams.empty()) {
      // The stream starts from the identifier stored now, not the one read when browsing.
      const TABSCursorPosition saved = SavePosition();
      FirstPosition = LastPosition = false;
      rowFound = table().GetRecordBuffer(*this, grmCurrent) == grrOK;
      RestorePosition(saved);
    }
    if (rowFound) stream = createBlobStream(FieldNo, OpenMode);
  } catch (...) {
    table().UnlockTable(session, ltS, false);
    throw;
  }
  table().UnlockTable(session, ltS, false);
  return stream;
}

TABSLocalBLOBStream* TABSLocalCursor::createBlobStream(int32_t FieldNo, TABSBLOBOpenMode OpenMode) {
  if (FieldNo < 0 || FieldNo >= FFieldDefs->Count())
    errors::Raise(errors::kInvalidBlobFieldNo, {FieldNo, FFieldDefs->Count()});
  const int32_t tableFieldNo = FieldNo;  // the visible fields are the table's fields, in order
  if (OpenMode == bomWrite || OpenMode == bomReadWrite) {
    for (const auto& stream : FBLOBStreams) {
      if (!stream) errors::Raise(errors::kBlobStreamEntryMissing);
      if (stream->FieldNo() == tableFieldNo && stream->IsWriteMode())
        errors::Raise(errors::kBlobFieldAlreadyOpened,
                      {tableFieldNo, FFieldDefs->Items(tableFieldNo)->FName});
    }
  }
  std::unique_ptr<TABSLocalBLOBStream> stream =
      table().InternalCreateBlobStream(*this, false, tableFieldNo, OpenMode);
  
  FBLOBStreams.push_back(std::move(stream));
  return FBLOBStreams.back().get();
}

void TABSLocalCursor::closeListedStream(TABSLocalBLOBStream* Stream) {
  const auto found = std::find_if(FBLOBStreams.begin(), FBLOBStreams.end(),
                                  [&](const auto& listed) { return listed.get() == Stream; });
  if (found == FBLOBStreams.end()) return;
  std::unique_ptr<TABSLocalBLOBStream> owned = std::move(*found);
  FBLOBStreams.erase(found);
  if (owned->IsWriteMode()) table().WriteBLOBFieldToRecordBuffer(*this, owned->FieldNo(), *owned);
  if (!owned->GetModified())
    table().ClearBLOBFieldInRecordBuffer(FCurrentRecordBuffer.data(), owned->FieldNo());
  if (TABSUserBLOBStream* user = owned->UserBLOBStream()) {
    owned->SetUserBLOBStream(nullptr);
    user->CursorStreamClosed(owned->GetModified());
  }
}

void TABSLocalCursor::InternalCloseBLOB(int32_t FieldNo) {
  auto lock = lockDatabase();
  if (!FFieldDefs || FieldNo < 0 || FieldNo >= FFieldDefs->Count())
    errors::Raise(errors::kInvalidBlobFieldNoAtClose,
                  {FieldNo, FFieldDefs ? FFieldDefs->Count() : 0});
  std::vector<TABSLocalBLOBStream*> streams;
  for (const auto& stream : FBLOBStreams) {
    if (!stream) errors::Raise(errors::kBlobStreamEntryMissingAtClose);
    if (stream->FieldNo() == FieldNo) streams.push_back(stream.get());
  }
  for (TABSLocalBLOBStream* stream : streams) closeListedStream(stream);
}

void TABSLocalCursor::ClearBLOBStreams(bool WriteOnly) {
  std::vector<TABSLocalBLOBStream*> streams;
  for (const auto& stream : FBLOBStreams) {
    if (!stream) errors::Raise(errors::kBlobStreamEntryMissingAtClear);
    if (!WriteOnly || stream->IsWriteMode()) streams.push_back(stream.get());
  }
  for (TABSLocalBLOBStream* stream : streams) closeListedStream(stream);
}

void TABSLocalCursor::CopyBlobFieldValue(TABSLocalCursor& Source, int32_t SourceFieldNo,
                                         int32_t FieldNo) {
  auto lock = lockDatabase();
  TABSPartialTemporaryBLOBDescriptor descriptor;
  const uint8_t* data = nullptr;
  Source.table().GetDirectBlobData(Source, SourceFieldNo, Source.CurrentRecordBuffer(), descriptor,
                                   data);
  try {
    table().SetDirectBlobData(*this, FieldNo, CurrentRecordBuffer(), descriptor, data);
  } catch (...) {
    Source.table().FreeDirectBlobData(Source, SourceFieldNo, Source.CurrentRecordBuffer());
    throw;
  }
  Source.table().FreeDirectBlobData(Source, SourceFieldNo, Source.CurrentRecordBuffer());
}

void TABSLocalCursor::InternalDelete() {
  auto lock = lockDatabase();
  FErrorCode = 0;
  FErrorMessage.clear();
  const bool multiUser = table().MultiUser();
  const bool inTransaction = LSession.InTransaction();
  const int32_t session = LSession.SessionID();
  const TABSCursorLockBudgets& budgets = LSession.LockBudgets();
  const TABSLockType lockType = inTransaction ? ltXIRW : ltRW;
  const TABSPageItemID recordID = CurrentRecordID;
  if (multiUser) {
    if (!lockForChange(lock, lockType, budgets.DeleteTries, budgets.DeleteDelayMs)) {
      FErrorCode = -13;
      return;
    }
    if (!table().LockRecord(session, recordID, budgets.RecordTries, budgets.RecordDelayMs)) {
      if (!inTransaction) table().UnlockTable(session, lockType, true);
      FErrorCode = -12;
      return;
    }
  }
  try {
    deleteRow(lock);
  } catch (...) {
    if (multiUser) {
      table().UnlockRecord(session, recordID);
      if (!inTransaction) table().UnlockTable(session, lockType, true);
    }
    throw;
  }
  if (multiUser) {
    table().UnlockRecord(session, recordID);
    if (!inTransaction) table().UnlockTable(session, lockType, true);
  }
}

void TABSLocalCursor::deleteRow(std::unique_lock<std::recursive_mutex>&) {
  const std::vector<uint8_t> copy = FCurrentRecordBuffer;
  std::vector<uint8_t> stored(FCurrentRecordBuffer.size());
  // The row as stored, byte for byte (the bookmark area is the cursor's own).
  const size_t rowSize = static_cast<size_t>(FLayout.BookmarkOffset);
  if (readCurrent(stored.data()) != grrOK) {
    FErrorCode = -7;
  } else if (!std::equal(stored.begin(), stored.begin() + static_cast<long>(rowSize),
                         copy.begin())) {
    FErrorCode = -5;
  } else {
    FRecordBitmap.Clear();
    if (!table().DeleteRecord(*this)) {
      FErrorCode = -3;
      FCurrentRecordBuffer = copy;
    }
    return;
  }
  FCurrentRecordBuffer = copy;
}

bool TABSLocalCursor::IsRecordLocked() {
  auto lock = lockDatabase();
  return table().IsRecordLocked(LSession.SessionID(), CurrentRecordID);
}

int64_t TABSLocalCursor::LastAutoincValue(int32_t FieldNo) {
  return table().LastAutoincValue(FieldNo, LSession);
}

void TABSLocalCursor::BeginBatchUpdate() {
  if (!LSession.InTransaction()) FBatchUpdate = true;
}

void TABSLocalCursor::EndBatchUpdate() {
  if (!FBatchUpdate || LSession.InTransaction()) return;
  auto lock = lockDatabase();
  FBatchUpdate = false;
  table().ApplyChanges(LSession.SessionID(), false);
}

void TABSLocalCursor::CancelBatchUpdate() {
  if (!FBatchUpdate || LSession.InTransaction()) return;
  auto lock = lockDatabase();
  FBatchUpdate = false;
  table().CancelChanges(LSession.SessionID(), false);
  table().LoadMostUpdated(LSession.SessionID());
}

}  // namespace zev
