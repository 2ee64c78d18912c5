// The table and record locks of the sessions of one process. TABSTableLockList is the list of
// locks one session holds (a table is named by its lock file's first page), counting repeated
// requests; TABSDatabaseTableLockManager keeps one list per session number and implements the
// rules: only the strongest lock of a session on a table holds an operating-system byte, weaker
// covered requests ride on it and become physical before it is released, one record lock per
// session and table, the random back-off of half to one delay between attempts, and the lock
// work around a multi-user commit and rollback.
//
// Ownership: the manager owns the lists; it links to the page manager. The lock files are the
// callers' (or opened for the moment from a lock file's first page).
// Locking: every operation of the manager runs inside its critical section and leaves it while
// sleeping. Sleeps and the waits around releases follow the page manager's settings.
// Errors: EABSException 20201 to 20206, 20234 and the lock file's texts.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/storage/ZEVTableLocksFile.h"

namespace zev {

struct TABSTableLockEntry {
  TABSLockType LockType = ltIS;
  int32_t LocksFilePageNo = -1;
  int32_t Count = 0;
  bool HasPhysicalLock = false;
  bool IsXIRWAfterSIRWAllowed = false;
};

class TABSTableLockList {
 public:
  TABSTableLockList() = default;
  // Raises 20201 when entries are left (the owner calls it where locks must all be gone; the
  // destructor itself never raises).
  void CheckEmpty() const;
  TABSTableLockList(const TABSTableLockList&) = delete;
  TABSTableLockList& operator=(const TABSTableLockList&) = delete;

  void AddLock(TABSLockType LockType, int32_t LocksFilePageNo, bool HasPhysicalLock,
               bool IsXIRWAfterSIRWAllowed);
  // 20202 when absent. Answers the entry's physical flag when it was removed, else false.
  void RemoveLock(TABSLockType LockType, int32_t LocksFilePageNo, bool& HasPhysicalLock,
                  bool IgnoreCount);
  bool LockExists(TABSLockType LockType, int32_t LocksFilePageNo) const;
  bool LockExists(TABSLockType LockType, int32_t LocksFilePageNo,
                  bool IsXIRWAfterSIRWAllowed) const;
  // Another type held on the table that covers LockType.
  bool StrongerLockExists(TABSLockType LockType, int32_t LocksFilePageNo) const;
  void SetPhysicalLock(int ItemNo);
  bool IsWeakerNonPhysicalLock(int ItemNo, TABSLockType LockType) const;
  // -1 when absent.
  int FindLock(TABSLockType LockType, int32_t LocksFilePageNo) const;

  int Count() const { return static_cast<int>(FLockList.size()); }
  const TABSTableLockEntry& Item(int ItemNo) const { return FLockList[ItemNo]; }
  // Drops every entry without looking at them (a process giving up its locks with its file).
  void Clear() { FLockList.clear(); }

 private:
  std::vector<TABSTableLockEntry> FLockList;
};

class TABSDatabaseTableLockManager {
 public:
  TABSDatabaseTableLockManager(int32_t MaxSessionCount, TABSDiskPageManager& PageManager);
  ~TABSDatabaseTableLockManager();
  TABSDatabaseTableLockManager(const TABSDatabaseTableLockManager&) = delete;
  TABSDatabaseTableLockManager& operator=(const TABSDatabaseTableLockManager&) = delete;

  bool LockTable(int32_t SessionID, TABSLockType LockType, TABSTableLocksFile& TableLocksFile,
                 int aTryCount, int aDelayMS, bool NoThreadLock = false,
                 bool AllowXIRWAfterSIRW = true);
  bool UnlockTable(int32_t SessionID, TABSLockType LockType, TABSTableLocksFile& TableLocksFile,
                   bool IgnoreIfNoLock = false, bool IgnoreCount = false);
  bool LockRecord(int32_t SessionID, TABSTableLocksFile& TableLocksFile,
                  const TABSPageItemID& RecordID, int aTryCount, int aDelayMS);
  bool UnlockRecord(int32_t SessionID, TABSTableLocksFile& TableLocksFile,
                    const TABSPageItemID& RecordID);
  bool IsRecordLocked(int32_t SessionID, TABSTableLocksFile& TableLocksFile,
                      const TABSPageItemID& RecordID);
  // Before a multi-user commit: ltRW on every table the session changed in its transaction.
  // Raises 20234 when an ltRW cannot be dropped again after a failure.
  bool AddRWLocksBeforeCommit(int32_t SessionID);
  // After a commit or for a rollback: keeps the record locks' ltSIRW, drops ltXIRW and ltRW.
  bool ClearTransactionLocks(int32_t SessionID);

  // 20200 for a session number beyond the manager's.
  TABSTableLockList& SessionLockList(int32_t SessionID);
  int32_t MaxSessionCount() const { return FMaxSessionCount; }

 private:
  using TLock = std::unique_lock<std::recursive_mutex>;
  // Sleeps Ms milliseconds, outside the critical section unless it was not taken.
  void sleepOutside(TLock& Lock, uint32_t Ms);
  // The table file's lock, waited for by the settings' attempts around releases.
  bool waitForFileLock(TLock& Lock, TABSTableLocksFile& File);
  bool releaseTableByte(TLock& Lock, int32_t SessionID, TABSLockType LockType,
                        TABSTableLocksFile& File);
  void promoteWeakerLocks(int32_t SessionID, TABSLockType LockType, TABSTableLocksFile& File);

  std::vector<std::unique_ptr<TABSTableLockList>> FSessionLockList;
  int32_t FMaxSessionCount;
  std::recursive_mutex FCSect;
  TABSDiskPageManager& LPageManager;
};

}  // namespace zev
