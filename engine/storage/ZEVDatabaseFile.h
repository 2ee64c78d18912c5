// TABSDatabaseFile: the one operating-system file of a database, with the engine's messages.
//
// It owns one TOSFile handle (closed by CloseFile and by the destructor) and adds: the
// access and share modes of the engine, a 64-bit position kept in the object (the handle reads
// and writes at explicit positions, so the position survives a reopened handle), the search
// for the database signature, and reopen-and-retry: every call that reaches the handle is made
// again once after ReopenDatabaseFile when it fails, so that a handle broken under the engine
// (a lost network share, for example) is replaced by a new one opened by name.
//
// Locking: none. The object is used by one thread at a time; the per-file database object
// serialises its callers. Between handles and processes the byte-range locks (LockByte) are
// the only coordination.
//
// Errors: EABSException with the texts and codes of ZEVErrorCodes.h: 30376 / 30377 for an
// operation on a closed / opened file, 30361 to 30379 for failed operating-system calls (with
// the errno value and its text), and the read, write and positioning texts of ReadBuffer and
// WriteBuffer with the native code the caller passes. The bool operations never raise for a
// failed system call, only for a closed file.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVOSFile.h"
#include "engine/storage/ZEVOSServices.h"
#include "engine/storage/ZEVStream.h"

namespace zev {

enum TABSAccessMode : int32_t { amReadOnly = 0, amReadWrite = 1 };
enum TABSShareMode : int32_t { smExclusive = 0, smShareDenyNone = 1, smShareDenyWrite = 2 };

// The signature at the start of the database header, and the header size that must follow it.
inline constexpr char kDatabaseSignature[] = "ZEV0LUTEDATABASE";
inline constexpr int64_t kDatabaseSignatureSize = 16;
inline constexpr int16_t kDBHeaderSize = 76;
// The signature search reads the file in windows of this many bytes.
inline constexpr int64_t kSignatureSearchWindow = 10000;

using TABSSleepFunction = std::function<void(uint32_t Milliseconds)>;

// --- The retry rule -----------------------------------------------------------------------------
// Calls Operation until it answers true, at most Attempts times, sleeping DelayMs after each
// refusal (after the last one too); answers whether a call succeeded. Attempts < 1: no call.
bool TryWithRetries(int Attempts, uint32_t DelayMs, const std::function<bool()>& Operation,
                    const TABSSleepFunction& SleepFunction = Sleep);

// The lock waits of the engine: the database-header and object-identifier locks wait about 90
// seconds, the tables lock about 4.
inline constexpr uint32_t kLockRetryDelayMs = 20;
inline constexpr int kDBHeaderLockAttempts = 4500;
inline constexpr int kObjectIDLockAttempts = 4500;
inline constexpr int kTablesLockAttempts = 200;
inline constexpr int kInternalFileLockAttempts = 4500;

// How ReopenDatabaseFile waits for a file that cannot be opened again at once.
struct TABSReopenSettings {
  int Attempts = 3;
  uint32_t DelayMs = 1000;  // between two attempts
  TABSSleepFunction SleepFunction = Sleep;
};

class TABSDatabaseFile {
 public:
  // FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN: the hint becomes the sequential-access
  // advice of the handle; the normal attribute has nothing to map to.
  static constexpr uint32_t kAttrFlags = 0x00000080u | 0x08000000u;

  explicit TABSDatabaseFile(TABSReopenSettings ReopenSettings = {});
  ~TABSDatabaseFile();  // closes an open file, ignoring a failure
  TABSDatabaseFile(const TABSDatabaseFile&) = delete;
  TABSDatabaseFile& operator=(const TABSDatabaseFile&) = delete;

  // Replaces any file of that name (a read-only one too) by a new empty file, opened for
  // reading and writing without sharing. Requires: closed (30377 "CreateFile"); 30374 for a
  // blank name, 30361 when the file cannot be created.
  void CreateAndOpenFile(const AnsiString& FileName);
  // Opens an existing file. Requires: closed (30377 "OpenFile"); 30366 / 30367 for a mode
  // outside the enumerations, 30364 when the file cannot be opened.
  void OpenFile(const AnsiString& FileName, TABSAccessMode AccessMode, TABSShareMode ShareMode);
  // Closes the handle, which releases its locks; 30365 when the system reports a failure (the
  // file is closed in any case).
  void CloseFile();

  // Exactly Count bytes at Position, or the read text with NativeError: a short read (past the
  // end of the file) fails too. The position ends after the bytes read.
  void ReadBuffer(void* Buffer, int64_t Count, int64_t Position, int NativeError);
  // Up to Count bytes at Position; true when the system read succeeded, also when it gave
  // fewer bytes (the rest of Buffer is left as it was).
  [[nodiscard]] bool ReadBuffer(void* Buffer, int64_t Count, int64_t Position);
  // Up to Count bytes at Position: the number read (fewer only at the end of the file), or -1
  // when the system read failed.
  int64_t ReadAvailable(void* Buffer, int64_t Count, int64_t Position);
  // Writes Count bytes at Position, extending the file when needed; a negative position
  // raises the positioning text, a failed write the write text, both with NativeError.
  void WriteBuffer(const void* Buffer, int64_t Count, int64_t Position, int NativeError);
  void FlushFileBuffers();  // 30379; a read-only file refuses it

  int64_t GetSize();                   // 30371
  void SetSize(int64_t Size);          // positions there and cuts or extends the file; 30370
  int64_t GetPosition();               // 30373
  void SetPosition(int64_t Position);  // 30372, for a negative position
  // Sets the position relative to an origin and answers it: 30372 when it would be negative,
  // 30371 when the size that soEnd needs cannot be read.
  int64_t Seek(int64_t Offset, TABSSeekOrigin Origin);

  // Exclusive byte-range lock and unlock that never wait. After a critical error of the
  // handle (see WasCriticalError) a failed call answers true until the handle is replaced.
  // Requires: Offset >= 0, Count > 0.
  bool LockByte(int64_t Offset, int64_t Count);
  bool UnlockByte(int64_t Offset, int64_t Count);
  // Whether the byte (the range) is locked through any handle, this one included; a free
  // range is locked and unlocked again, a held one is left as it is.
  bool IsByteLocked(int64_t Offset);
  bool IsRegionLocked(int64_t Offset, int64_t Count);

  // Looks for the signature followed by a header size of 76; answers whether one was found
  // and sets HeaderBase to its file position (0 when none was). The position is kept.
  bool FindSignature(int64_t& HeaderBase);

  // Keeps a handle that still answers its size; otherwise closes it and opens the file again
  // by name with the stored modes, as often as the reopen settings say. Answers whether the
  // handle is valid now. False for a closed file object.
  bool ReopenDatabaseFile();

  const AnsiString& FileName() const { return FFileName; }
  bool IsOpened() const { return FIsOpened; }
  TABSAccessMode AccessMode() const { return FAccessMode; }
  TABSShareMode ShareMode() const { return FShareMode; }
  uint32_t AttrFlags() const { return FAttrFlags; }
  // Set by a lock call that met a critical error; see LockByte.
  bool WasCriticalError() const { return FWasCriticalError; }

 private:
  friend struct TABSDatabaseFileTestPeer;  // lets the tests break the handle

  void checkClosed(const char* Operation) const;
  void checkOpened(const char* Operation) const;
  bool openHandle(bool Create);
  // Runs Call; when it fails, runs it once more after a successful ReopenDatabaseFile. On
  // failure LastOSError() is the error of the last call made.
  bool withReopen(const std::function<bool()>& Call);
  bool canPosition(int64_t Position);
  // The boolean read: the count read, or -1.
  int64_t readAt(void* Buffer, int64_t Count, int64_t Position);
  bool readFully(void* Buffer, int64_t Count, int64_t Position);
  bool lockCall(bool Lock, int64_t Offset, int64_t Count);
  bool lockOrUnlock(bool Lock, int64_t Offset, int64_t Count);
  int64_t sizeForMessage();
  bool signatureAt(const uint8_t* Bytes, int64_t Available) const;
  bool scanForSignature(int64_t& HeaderBase);
  [[noreturn]] void raiseSetPosition(int NativeError, int64_t Position);

  AnsiString FFileName;
  TABSAccessMode FAccessMode = amReadOnly;
  TABSShareMode FShareMode = smExclusive;
  uint32_t FAttrFlags = kAttrFlags;
  TOSFile FHandle;  // closed: the invalid handle (-1)
  bool FIsOpened = false;
  bool FWasCriticalError = false;
  int64_t FPosition = 0;
  TABSReopenSettings FReopenSettings;
};

}  // namespace zev
