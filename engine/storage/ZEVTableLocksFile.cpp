#include "engine/storage/ZEVTableLocksFile.h"

#include "engine/storage/ZEVRaise.h"

namespace zev {

namespace {

// kCompatible[held][requested]: a lock of type held owned by another session allows the
// request.
constexpr bool kCompatible[kLockTypeCount][kLockTypeCount] = {
    //            IS  S  SIRW XIRW RW  U  X
    /* ltIS   */ {1, 1, 1, 1, 1, 1, 0},
    /* ltS    */ {1, 1, 1, 1, 0, 1, 0},
    /* ltSIRW */ {1, 1, 1, 0, 1, 1, 0},
    /* ltXIRW */ {1, 1, 0, 0, 0, 1, 0},
    /* ltRW   */ {1, 0, 1, 0, 0, 1, 0},
    /* ltU    */ {1, 1, 1, 1, 1, 1, 0},
    /* ltX    */ {0, 0, 0, 0, 0, 0, 0},
};

constexpr int32_t kBytesPerSession = 12;
constexpr int32_t kRecordLockRow = 5;
constexpr int32_t kRecordSlotsRow = 6;

}  // namespace

bool LockTypesCompatible(TABSLockType Held, TABSLockType Requested) {
  return kCompatible[Held][Requested];
}

bool LockTypeCovers(TABSLockType A, TABSLockType B) {
  for (int t = 0; t < kLockTypeCount; ++t)
    if (kCompatible[A][t] && !kCompatible[B][t]) return false;
  return true;
}

TABSTableLocksFile::TABSTableLocksFile(TABSDiskPageManager& PageManager)
    : LPageManager(PageManager) {}

TABSInternalDBDirectAccessFile& TABSTableLocksFile::handle(
    const errors::TNativeMessage& Missing) const {
  if (!IsOpened()) errors::Raise(Missing);
  return *FHandle;
}

int32_t TABSTableLocksFile::CreateFile(int32_t SessionCount) {
  FHandle = std::make_unique<TABSInternalDBDirectAccessFile>(LPageManager, ptTableLocks);
  FHandle->CreateFile(kBytesPerSession * SessionCount);
  FMaxSessionCount = SessionCount;
  return FHandle->StartPageNo();
}

void TABSTableLocksFile::OpenFile(int32_t FirstPageNo) {
  auto file = std::make_unique<TABSInternalDBDirectAccessFile>(LPageManager, ptTableLocks);
  file->OpenFile(FirstPageNo);
  FMaxSessionCount = std::min(file->GetSize(), file->FileSize()) / kBytesPerSession;
  FHandle = std::move(file);
}

void TABSTableLocksFile::CloseFile() {
  FHandle.reset();
  FMaxSessionCount = 0;
}

void TABSTableLocksFile::DeleteFile() {
  handle(errors::kLocksFileNilAtFirstPage).DeleteFile();
  CloseFile();
}

int32_t TABSTableLocksFile::FirstPageNo() const {
  return handle(errors::kLocksFileNilAtFirstPage).StartPageNo();
}

bool TABSTableLocksFile::LockFile() { return handle(errors::kLocksFileNilAtLockTable).LockFile(); }

bool TABSTableLocksFile::UnlockFile() {
  return handle(errors::kLocksFileNilAtUnlockTable).UnlockFile();
}

bool TABSTableLocksFile::LockTable(int32_t SessionID, TABSLockType LockType) {
  TABSInternalDBDirectAccessFile& file = handle(errors::kLocksFileNilAtLockTable);
  if (SessionID < 0 || SessionID >= FMaxSessionCount)
    errors::Raise(errors::kSessionBeyondLocksFile);
  if (LockType == ltX) return false;
  return file.LockByte(LockType * FMaxSessionCount + SessionID);
}

bool TABSTableLocksFile::UnlockTable(int32_t SessionID, TABSLockType LockType) {
  TABSInternalDBDirectAccessFile& file = handle(errors::kLocksFileNilAtUnlockTable);
  if (LockType == ltX || SessionID < 0 || SessionID >= FMaxSessionCount) return false;
  return file.UnlockByte(LockType * FMaxSessionCount + SessionID);
}

bool TABSTableLocksFile::IsTableLockedByAnyOtherSession(int32_t SessionID, TABSLockType LockType) {
  TABSInternalDBDirectAccessFile& file = handle(errors::kLocksFileNilAtOtherSessionTest);
  if (LockType == ltX || LockType == ltU) return false;
  const int32_t row = LockType * FMaxSessionCount;
  return file.IsRegionLocked(row, SessionID) ||
         file.IsRegionLocked(row + SessionID + 1, FMaxSessionCount - SessionID - 1);
}

bool TABSTableLocksFile::IsTableLockAllowed(int32_t SessionID, TABSLockType LockType,
                                            bool IsXIRWAfterSIRWAllowed) {
  for (int held = ltIS; held <= ltX; ++held) {
    const auto heldType = static_cast<TABSLockType>(held);
    if (LockTypesCompatible(heldType, LockType)) continue;
    if (IsXIRWAfterSIRWAllowed && LockType == ltXIRW && heldType == ltSIRW) continue;
    if (!IsTableLockedByAnyOtherSession(SessionID, heldType)) continue;
    return false;
  }
  return true;
}

bool TABSTableLocksFile::LockRecord(int32_t SessionID, const TABSPageItemID& RecordID) {
  TABSInternalDBDirectAccessFile& file = handle(errors::kLocksFileNilAtLockRecord);
  if (SessionID < 0 || SessionID >= FMaxSessionCount)
    errors::Raise(errors::kSessionBeyondLocksFile);
  if (!file.LockByte(kRecordLockRow * FMaxSessionCount + SessionID)) return false;
  uint8_t slot[TABSPageItemID::Size];
  RecordID.Store(slot);
  file.WriteBuffer(slot, sizeof slot,
                   kRecordSlotsRow * FMaxSessionCount +
                       static_cast<int32_t>(TABSPageItemID::Size) * SessionID);
  return true;
}

bool TABSTableLocksFile::UnlockRecord(int32_t SessionID, const TABSPageItemID& /*RecordID*/) {
  TABSInternalDBDirectAccessFile& file = handle(errors::kLocksFileNilAtUnlockRecord);
  if (SessionID < 0 || SessionID >= FMaxSessionCount) return false;
  return file.UnlockByte(kRecordLockRow * FMaxSessionCount + SessionID);
}

bool TABSTableLocksFile::IsRecordLockedByAnyOtherSession(int32_t SessionID,
                                                         const TABSPageItemID& RecordID) {
  TABSInternalDBDirectAccessFile& file = handle(errors::kLocksFileNilAtRecordTest);
  const int32_t row = kRecordLockRow * FMaxSessionCount;
  for (int32_t other = 0; other < FMaxSessionCount; ++other) {
    if (other == SessionID || !file.IsByteLocked(row + other)) continue;
    uint8_t slot[TABSPageItemID::Size];
    file.ReadBuffer(slot, sizeof slot,
                    kRecordSlotsRow * FMaxSessionCount +
                        static_cast<int32_t>(TABSPageItemID::Size) * other);
    TABSPageItemID locked;
    locked.Load(slot);
    if (locked.PageNo == RecordID.PageNo && locked.PageItemNo == RecordID.PageItemNo) return true;
  }
  return false;
}

}  // namespace zev
