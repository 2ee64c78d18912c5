#include "engine/storage/ZEVActiveSessionsFile.h"

#include "engine/storage/ZEVRaise.h"

namespace zev {

TABSActiveSessionsFile::TABSActiveSessionsFile(TABSDiskPageManager& PageManager)
    : LPageManager(PageManager),
      FHandle(std::make_unique<TABSInternalDBDirectAccessFile>(PageManager, ptActiveSessionList)) {}

TABSActiveSessionsFile::~TABSActiveSessionsFile() = default;

int32_t TABSActiveSessionsFile::CreateFile(int32_t SlotCount) {
  FHandle->CreateFile(SlotCount);
  const int32_t firstPageNo = FHandle->StartPageNo();
  FHandle->CloseFile();
  return firstPageNo;
}

void TABSActiveSessionsFile::OpenFile(int32_t FirstPageNo) {
  FHandle->OpenFile(FirstPageNo);
  FMaxSessionCount = std::min(FHandle->GetSize(), FHandle->FileSize());
}

void TABSActiveSessionsFile::CloseFile() {
  FHandle->CloseFile();
  FMaxSessionCount = 0;
}

// The sessions-file lock by the retry rule; the slot work goes ahead even when the wait ran
// out, as the slot bytes themselves are exclusive.
bool TABSActiveSessionsFile::lockSessionsFile() {
  const TABSDiskPageManagerSettings& settings = LPageManager.Settings();
  return TryWithRetries(
      settings.InternalFileLockAttempts, settings.LockRetryDelayMs,
      [this] { return FHandle->LockFile(); }, settings.SleepFunction);
}

void TABSActiveSessionsFile::unlockSessionsFile(const errors::TNativeMessage& Failure) {
  if (!FHandle->UnlockFile()) errors::Raise(Failure);
}

int32_t TABSActiveSessionsFile::MultiUserConnect() {
  if (!LPageManager.MultiUser()) return 0;
  const bool locked = lockSessionsFile();
  int32_t sessionID = -1;
  for (int32_t slot = 0; slot < FMaxSessionCount && sessionID < 0; ++slot)
    if (FHandle->LockByte(slot)) sessionID = slot;
  if (locked) unlockSessionsFile(errors::kCannotUnlockSessionsFileAtConnect);
  if (sessionID < 0) errors::Raise(errors::kMaximumConnectionsExceeded);
  return sessionID;
}

void TABSActiveSessionsFile::MultiUserDisconnect(int32_t SessionID) {
  if (!LPageManager.MultiUser()) return;
  const bool locked = lockSessionsFile();
  const bool unlocked = FHandle->UnlockByte(SessionID);
  if (locked) unlockSessionsFile(errors::kCannotUnlockSessionsFileAtDisconnect);
  if (!unlocked) errors::Raise(errors::kCannotDisconnectSession);
}

bool TABSActiveSessionsFile::SingleUserConnect() {
  const bool locked = lockSessionsFile();
  const bool free = !FHandle->IsRegionLocked(0, FMaxSessionCount);
  if (free)
    for (int32_t slot = 0; slot < FMaxSessionCount; ++slot) FHandle->LockByte(slot);
  if (locked) unlockSessionsFile(errors::kCannotUnlockSessionsFileAtSingleUserConnect);
  return free;
}

void TABSActiveSessionsFile::SingleUserDisconnect() {
  const bool locked = lockSessionsFile();
  for (int32_t slot = 0; slot < FMaxSessionCount; ++slot) FHandle->UnlockByte(slot);
  if (locked) unlockSessionsFile(errors::kCannotUnlockSessionsFileAtSingleUserDisconnect);
}

int32_t TABSActiveSessionsFile::GetDBFileConnectionsCount() {
  const bool locked = lockSessionsFile();
  int32_t count = 0;
  for (int32_t slot = 0; slot < FMaxSessionCount; ++slot)
    if (FHandle->IsByteLocked(slot)) ++count;
  if (locked) unlockSessionsFile(errors::kCannotUnlockSessionsFileAtCount);
  return count;
}

}  // namespace zev
