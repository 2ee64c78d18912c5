#include "engine/storage/ZEVTableLockManager.h"

#include <algorithm>
#include <utility>

#include "engine/storage/ZEVOSServices.h"
#include "engine/storage/ZEVRaise.h"

namespace zev {

namespace {

// The waits of the commit work: 900 attempts, 100 ms apart.
constexpr int kCommitLockAttempts = 900;
constexpr int kCommitLockDelayMs = 100;

}  // namespace

// --- TABSTableLockList ----------------------------------------------------------------------

void TABSTableLockList::CheckEmpty() const {
  if (!FLockList.empty()) errors::Raise(errors::kTableLocksStillExist);
}

int TABSTableLockList::FindLock(TABSLockType LockType, int32_t LocksFilePageNo) const {
  for (size_t i = 0; i < FLockList.size(); ++i)
    if (FLockList[i].LockType == LockType && FLockList[i].LocksFilePageNo == LocksFilePageNo)
      return static_cast<int>(i);
  return -1;
}

void TABSTableLockList::AddLock(TABSLockType LockType, int32_t LocksFilePageNo,
                                bool HasPhysicalLock, bool IsXIRWAfterSIRWAllowed) {
  const int index = FindLock(LockType, LocksFilePageNo);
  if (index >= 0) {
    ++FLockList[index].Count;
    return;
  }
  FLockList.push_back({LockType, LocksFilePageNo, 1, HasPhysicalLock, IsXIRWAfterSIRWAllowed});
}

void TABSTableLockList::RemoveLock(TABSLockType LockType, int32_t LocksFilePageNo,
                                   bool& HasPhysicalLock, bool IgnoreCount) {
  const int index = FindLock(LockType, LocksFilePageNo);
  if (index < 0) errors::Raise(errors::kTableLockNotFound);
  TABSTableLockEntry& entry = FLockList[index];
  HasPhysicalLock = false;
  if (--entry.Count > 0 && !IgnoreCount) return;
  HasPhysicalLock = entry.HasPhysicalLock;
  FLockList.erase(FLockList.begin() + index);
}

bool TABSTableLockList::LockExists(TABSLockType LockType, int32_t LocksFilePageNo) const {
  return FindLock(LockType, LocksFilePageNo) >= 0;
}

bool TABSTableLockList::LockExists(TABSLockType LockType, int32_t LocksFilePageNo,
                                   bool IsXIRWAfterSIRWAllowed) const {
  const int index = FindLock(LockType, LocksFilePageNo);
  return index >= 0 && FLockList[index].IsXIRWAfterSIRWAllowed == IsXIRWAfterSIRWAllowed;
}

bool TABSTableLockList::StrongerLockExists(TABSLockType LockType, int32_t LocksFilePageNo) const {
  return std::any_of(FLockList.begin(), FLockList.end(), [&](const TABSTableLockEntry& Entry) {
    return Entry.LocksFilePageNo == LocksFilePageNo && Entry.LockType != LockType &&
           LockTypeCovers(Entry.LockType, LockType);
  });
}

void TABSTableLockList::SetPhysicalLock(int ItemNo) { FLockList[ItemNo].HasPhysicalLock = true; }

bool TABSTableLockList::IsWeakerNonPhysicalLock(int ItemNo, TABSLockType LockType) const {
  const TABSTableLockEntry& entry = FLockList[ItemNo];
  return !entry.HasPhysicalLock && LockTypeCovers(LockType, entry.LockType);
}

// --- TABSDatabaseTableLockManager -----------------------------------------------------------

TABSDatabaseTableLockManager::TABSDatabaseTableLockManager(int32_t MaxSessionCount,
                                                           TABSDiskPageManager& PageManager)
    : FMaxSessionCount(MaxSessionCount), LPageManager(PageManager) {
  for (int32_t i = 0; i < MaxSessionCount; ++i)
    FSessionLockList.push_back(std::make_unique<TABSTableLockList>());
}

TABSDatabaseTableLockManager::~TABSDatabaseTableLockManager() = default;

TABSTableLockList& TABSDatabaseTableLockManager::SessionLockList(int32_t SessionID) {
  if (SessionID < 0 || SessionID >= FMaxSessionCount)
    errors::Raise(errors::kSessionBeyondLocksFile);
  return *FSessionLockList[SessionID];
}

void TABSDatabaseTableLockManager::sleepOutside(TLock& Lock, uint32_t Ms) {
  const bool held = Lock.owns_lock();
  if (held) Lock.unlock();
  LPageManager.Settings().SleepFunction(Ms);
  if (held) Lock.lock();
}

bool TABSDatabaseTableLockManager::waitForFileLock(TLock& Lock, TABSTableLocksFile& File) {
  const TABSDiskPageManagerSettings& settings = LPageManager.Settings();
  for (int attempt = 0; attempt < settings.InternalFileLockAttempts; ++attempt) {
    if (File.LockFile()) return true;
    sleepOutside(Lock, settings.LockRetryDelayMs);
  }
  return false;
}

bool TABSDatabaseTableLockManager::LockTable(int32_t SessionID, TABSLockType LockType,
                                             TABSTableLocksFile& TableLocksFile, int aTryCount,
                                             int aDelayMS, bool NoThreadLock,
                                             bool AllowXIRWAfterSIRW) {
  if (LPageManager.Exclusive()) return true;
  TLock lock(FCSect, std::defer_lock);
  if (!NoThreadLock) lock.lock();
  TABSTableLockList& list = SessionLockList(SessionID);
  const int32_t table = TableLocksFile.FirstPageNo();

  if (list.LockExists(LockType, table)) {
    if (LockType == ltSIRW) return false;  // never taken twice
    list.AddLock(LockType, table, false, false);
    return true;
  }
  if (list.StrongerLockExists(LockType, table)) {
    list.AddLock(LockType, table, false, true);
    return true;
  }

  for (int attempt = 0; attempt < aTryCount; ++attempt) {
    if (attempt > 0) {
      const int half = std::max(aDelayMS / 2, 0);
      sleepOutside(lock, static_cast<uint32_t>(half + (half > 0 ? Random(half) : 0)));
    }
    if (!TableLocksFile.LockFile()) continue;
    bool granted = false;
    if (TableLocksFile.IsTableLockAllowed(SessionID, LockType, AllowXIRWAfterSIRW)) {
      if (LockType != ltX && !TableLocksFile.LockTable(SessionID, LockType)) {
        TableLocksFile.UnlockFile();
        errors::Raise(errors::kCannotSetTableLock);
      }
      granted = true;
    }
    // An exclusive lock is the file lock itself, kept.
    if (!(granted && LockType == ltX)) TableLocksFile.UnlockFile();
    if (granted) {
      list.AddLock(LockType, table, true, AllowXIRWAfterSIRW);
      return true;
    }
  }
  return false;
}

// Before the byte of LockType goes, the weaker requests that rode on it get bytes of their own.
// Requires: the table file's lock held.
void TABSDatabaseTableLockManager::promoteWeakerLocks(int32_t SessionID, TABSLockType LockType,
                                                      TABSTableLocksFile& File) {
  TABSTableLockList& list = SessionLockList(SessionID);
  const int32_t table = File.FirstPageNo();
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Item(i).LocksFilePageNo != table || !list.IsWeakerNonPhysicalLock(i, LockType))
      continue;
    const TABSLockType weaker = list.Item(i).LockType;
    if (weaker == ltX || File.LockTable(SessionID, weaker)) list.SetPhysicalLock(i);
  }
}

bool TABSDatabaseTableLockManager::releaseTableByte(TLock& Lock, int32_t SessionID,
                                                    TABSLockType LockType,
                                                    TABSTableLocksFile& File) {
  if (LockType == ltX) {
    promoteWeakerLocks(SessionID, LockType, File);
    File.UnlockFile();
    return true;
  }
  if (!waitForFileLock(Lock, File)) return false;
  promoteWeakerLocks(SessionID, LockType, File);
  const bool unlocked = File.UnlockTable(SessionID, LockType);
  File.UnlockFile();
  if (!unlocked) errors::Raise(errors::kCannotUnlockTable);
  return true;
}

bool TABSDatabaseTableLockManager::UnlockTable(int32_t SessionID, TABSLockType LockType,
                                               TABSTableLocksFile& TableLocksFile,
                                               bool IgnoreIfNoLock, bool IgnoreCount) {
  if (LPageManager.Exclusive()) return true;
  TLock lock(FCSect);
  TABSTableLockList& list = SessionLockList(SessionID);
  const int32_t table = TableLocksFile.FirstPageNo();
  const int index = list.FindLock(LockType, table);
  if (index < 0 && IgnoreIfNoLock) return true;
  const bool flag = index >= 0 && list.Item(index).IsXIRWAfterSIRWAllowed;
  bool physical = false;
  list.RemoveLock(LockType, table, physical, IgnoreCount);
  if (!physical) return true;
  if (releaseTableByte(lock, SessionID, LockType, TableLocksFile)) return true;
  list.AddLock(LockType, table, true, flag);
  return false;
}

bool TABSDatabaseTableLockManager::LockRecord(int32_t SessionID,
                                              TABSTableLocksFile& TableLocksFile,
                                              const TABSPageItemID& RecordID, int aTryCount,
                                              int aDelayMS) {
  TLock lock(FCSect);
  TABSTableLockList& list = SessionLockList(SessionID);
  const int32_t table = TableLocksFile.FirstPageNo();
  if (list.LockExists(ltU, table)) return false;  // one record per session and table
  if (list.LockExists(ltX, table) || list.LockExists(ltXIRW, table, false)) {
    list.AddLock(ltU, table, false, false);
    return true;
  }
  const uint32_t start = GetTickCount();
  const uint64_t limit = static_cast<uint64_t>(std::max(aDelayMS, 0)) * std::max(aTryCount, 0);
  for (int attempt = 0; attempt < aTryCount; ++attempt) {
    if (attempt > 0) {
      if (static_cast<uint32_t>(GetTickCount() - start) >= limit) break;
      sleepOutside(lock, static_cast<uint32_t>(std::max(aDelayMS, 0)));
    }
    if (!TableLocksFile.LockFile()) continue;
    bool locked = false;
    if (!TableLocksFile.IsRecordLockedByAnyOtherSession(SessionID, RecordID)) {
      if (!TableLocksFile.LockRecord(SessionID, RecordID)) {
        TableLocksFile.UnlockFile();
        errors::Raise(errors::kCannotLockRecord);
      }
      locked = true;
    }
    TableLocksFile.UnlockFile();
    if (locked) {
      list.AddLock(ltU, table, true, false);
      return true;
    }
  }
  return false;
}

bool TABSDatabaseTableLockManager::UnlockRecord(int32_t SessionID,
                                                TABSTableLocksFile& TableLocksFile,
                                                const TABSPageItemID& RecordID) {
  TLock lock(FCSect);
  TABSTableLockList& list = SessionLockList(SessionID);
  const int32_t table = TableLocksFile.FirstPageNo();
  if (!list.LockExists(ltU, table)) return false;
  bool physical = false;
  list.RemoveLock(ltU, table, physical, true);
  if (!physical) return true;
  if (waitForFileLock(lock, TableLocksFile)) {
    const bool unlocked = TableLocksFile.UnlockRecord(SessionID, RecordID);
    TableLocksFile.UnlockFile();
    if (!unlocked) errors::Raise(errors::kCannotUnlockRecord);
    return true;
  }
  list.AddLock(ltU, table, true, false);
  return false;
}

bool TABSDatabaseTableLockManager::IsRecordLocked(int32_t SessionID,
                                                  TABSTableLocksFile& TableLocksFile,
                                                  const TABSPageItemID& RecordID) {
  TLock lock(FCSect);
  return TableLocksFile.IsRecordLockedByAnyOtherSession(SessionID, RecordID);
}

namespace {

// The (type, table) pairs of a session's entries of the given types, copied before the list
// changes under the walk.
std::vector<std::pair<TABSLockType, int32_t>> entriesOf(const TABSTableLockList& List,
                                                        std::initializer_list<TABSLockType> Types) {
  std::vector<std::pair<TABSLockType, int32_t>> entries;
  for (int i = 0; i < List.Count(); ++i)
    if (std::find(Types.begin(), Types.end(), List.Item(i).LockType) != Types.end())
      entries.emplace_back(List.Item(i).LockType, List.Item(i).LocksFilePageNo);
  return entries;
}

}  // namespace

bool TABSDatabaseTableLockManager::AddRWLocksBeforeCommit(int32_t SessionID) {
  TLock lock(FCSect);
  TABSTableLockList& list = SessionLockList(SessionID);
  if (list.Count() == 0) return true;
  for (const auto& [type, table] : entriesOf(list, {ltXIRW})) {
    if (list.StrongerLockExists(ltRW, table)) continue;
    TABSTableLocksFile file(LPageManager);
    file.OpenFile(table);
    if (LockTable(SessionID, ltRW, file, kCommitLockAttempts, kCommitLockDelayMs, true, true))
      continue;
    for (const auto& [rwType, rwTable] : entriesOf(list, {ltRW})) {
      TABSTableLocksFile rwFile(LPageManager);
      rwFile.OpenFile(rwTable);
      UnlockTable(SessionID, rwType, rwFile, true, true);
      if (list.LockExists(ltRW, rwTable)) errors::Raise(errors::kRWLocksStillExist);
    }
    return false;
  }
  return true;
}

bool TABSDatabaseTableLockManager::ClearTransactionLocks(int32_t SessionID) {
  TLock lock(FCSect);
  TABSTableLockList& list = SessionLockList(SessionID);
  // A locked record keeps the table's ltSIRW once the transaction's locks are gone.
  for (const auto& [type, table] : entriesOf(list, {ltU})) {
    if (list.LockExists(ltSIRW, table)) continue;
    TABSTableLocksFile file(LPageManager);
    file.OpenFile(table);
    if (!LockTable(SessionID, ltSIRW, file, kCommitLockAttempts, kCommitLockDelayMs, true, true))
      return false;
  }
  for (const auto& [type, table] : entriesOf(list, {ltXIRW, ltRW})) {
    if (!list.LockExists(type, table)) continue;
    TABSTableLocksFile file(LPageManager);
    file.OpenFile(table);
    UnlockTable(SessionID, type, file, true, true);
  }
  return true;
}

}  // namespace zev
