// TABSActiveSessionsFile: the session-slot file. A direct internal file of page type 5 whose
// content is one byte per session number; a connected multi-user session holds the lock of its
// byte for the whole connection, and a single-user process holds them all. The bytes' values
// are never used. Slot changes are serialised between processes by the sessions-file lock
// (byte 0 of the file's first page), waited for by the retry rule with the attempts and delay
// of the page manager's settings (InternalFileLockAttempts, LockRetryDelayMs).
//
// Ownership: owns its direct file; links to the page manager.
// Locking: no critical section of its own (the database object serialises its callers).
// Errors: EABSException 20093 to 20096, 20240, 20241, 30484 and the internal-file texts.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/storage/ZEVInternalFile.h"

namespace zev {

class TABSActiveSessionsFile {
 public:
  explicit TABSActiveSessionsFile(TABSDiskPageManager& PageManager);
  ~TABSActiveSessionsFile();
  TABSActiveSessionsFile(const TABSActiveSessionsFile&) = delete;
  TABSActiveSessionsFile& operator=(const TABSActiveSessionsFile&) = delete;

  // Creates the file with SlotCount content bytes in the system session and closes it again;
  // answers its first page.
  int32_t CreateFile(int32_t SlotCount);
  // FMaxSessionCount := the smaller of the stored size and the capacity found.
  void OpenFile(int32_t FirstPageNo);
  void CloseFile();

  // The lowest free slot (0 in single-user mode); 20094 when none is free, 20093.
  int32_t MultiUserConnect();
  void MultiUserDisconnect(int32_t SessionID);  // 20095, 20096
  // Locks every slot when none is held by any handle; false otherwise. 20240.
  bool SingleUserConnect();
  void SingleUserDisconnect();  // 20241
  // Slots held by any handle; 30484.
  int32_t GetDBFileConnectionsCount();

  int32_t MaxSessionCount() const { return FMaxSessionCount; }

 private:
  bool lockSessionsFile();
  void unlockSessionsFile(const errors::TNativeMessage& Failure);

  TABSDiskPageManager& LPageManager;
  std::unique_ptr<TABSInternalDBDirectAccessFile> FHandle;
  int32_t FMaxSessionCount = 0;
};

}  // namespace zev
