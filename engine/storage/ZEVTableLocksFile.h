// TABSTableLocksFile: the lock file of one table, a direct internal file of page type 7 with
// 12 x N content bytes for N sessions:
//
//   t * N + s          lock byte of session s for lock type t (ltIS .. ltRW)
//   5 * N + s          record-lock byte of session s
//   6 * N + 6 * s ...  the record session s has locked (TABSPageItemID, 6 bytes)
//
// ltX has no byte: an exclusive lock is the file's own lock (byte 0 of its first page), which
// every other lock operation on the table takes first. Also the lock types and their
// compatibility matrix.
//
// Ownership: owns its direct file; links to the page manager.
// Locking: none of its own; the lock manager serialises within the process and the file's own
// lock between processes.
// Errors: EABSException "Nil pointer occured" (10483, 10489 to 10494) without an open file,
// 20200 for a session number beyond the file, and the internal-file texts.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/storage/ZEVInternalFile.h"

namespace zev {

enum TABSLockType : uint8_t { ltIS = 0, ltS = 1, ltSIRW = 2, ltXIRW = 3, ltRW = 4, ltU = 5, ltX = 6 };
inline constexpr int kLockTypeCount = 7;

// Whether a lock of type Held owned by another session allows a request of type Requested.
bool LockTypesCompatible(TABSLockType Held, TABSLockType Requested);
// Whether A is at least as strict as B: every type compatible with A is compatible with B.
bool LockTypeCovers(TABSLockType A, TABSLockType B);

class TABSTableLocksFile {
 public:
  explicit TABSTableLocksFile(TABSDiskPageManager& PageManager);
  TABSTableLocksFile(const TABSTableLocksFile&) = delete;
  TABSTableLocksFile& operator=(const TABSTableLocksFile&) = delete;

  // A new file of 12 x SessionCount bytes in the system session (left open); its first page.
  int32_t CreateFile(int32_t SessionCount);
  void OpenFile(int32_t FirstPageNo);  // N := size div 12
  void CloseFile();
  void DeleteFile();
  int32_t FirstPageNo() const;  // 10483
  // Requires for the lock operations below: SessionID >= 0.

  bool LockFile();
  bool UnlockFile();
  bool LockTable(int32_t SessionID, TABSLockType LockType);    // 20200; ltX: false
  bool UnlockTable(int32_t SessionID, TABSLockType LockType);  // ltX: false
  bool IsTableLockedByAnyOtherSession(int32_t SessionID, TABSLockType LockType);
  // Under the file's own lock (held by the caller): whether the request is compatible with
  // every type held by other sessions.
  bool IsTableLockAllowed(int32_t SessionID, TABSLockType LockType, bool IsXIRWAfterSIRWAllowed);
  bool LockRecord(int32_t SessionID, const TABSPageItemID& RecordID);
  bool UnlockRecord(int32_t SessionID, const TABSPageItemID& RecordID);
  bool IsRecordLockedByAnyOtherSession(int32_t SessionID, const TABSPageItemID& RecordID);

  bool IsOpened() const { return FHandle != nullptr && FHandle->IsOpened(); }
  int32_t MaxSessionCount() const { return FMaxSessionCount; }

 private:
  TABSInternalDBDirectAccessFile& handle(const errors::TNativeMessage& Missing) const;

  TABSDiskPageManager& LPageManager;
  std::unique_ptr<TABSInternalDBDirectAccessFile> FHandle;
  int32_t FMaxSessionCount = 0;
};

}  // namespace zev
