// File handles, share modes and byte-range locks over POSIX, with the behaviour of Windows
// file handles that the engine's database file is written against.
//
// TOSFile owns one file descriptor (closed in its destructor) and the list of byte ranges it has
// locked; FLockMutex protects that list, so two threads may lock and unlock through one handle.
// Reading, writing and sizing are thread-safe as far as pread/pwrite are; opening and closing a
// handle that another thread is using is not. The free functions are thread-safe.
//
// No call raises: a failure answers false (or -1, or an empty value) and sets the calling
// thread's last error, read with LastOSError(): an errno value and its message text. Refusals
// have named codes: kSharingViolation when a share mode forbids an open or a delete,
// kLockViolation when a byte range is already locked, kNotLocked when an unlock names a range
// that is not locked as such, EACCES for a write through a read handle or to a read-only file.
//
// Byte-range locks are advisory, as every lock on Linux is: a range locked through one handle
// can still be read and written through another. Descriptors are opened close-on-exec, so
// programs started with exec do not keep the locks; a child that forks without exec shares them.
// Share modes and locks hold between processes on local file systems (see ZEVOSFile.cpp for
// the scheme); network file systems that emulate flock() with byte-range locks are not served.
#pragma once

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/storage/ZEVCodePage.h"

namespace zev {

// Error codes of the refusals this layer decides itself. They are ordinary errno values, so
// that LastOSError().Message is their system text.
inline constexpr int kSharingViolation = EBUSY;  // "Device or resource busy"
inline constexpr int kLockViolation = EAGAIN;    // "Resource temporarily unavailable"
inline constexpr int kNotLocked = ENOLCK;        // "No locks available"

struct TOSError {
  int Code = 0;
  AnsiString Message;  // the system text of Code, in Windows-1252
};

// The last error set on this thread by a failing call of this layer.
const TOSError& LastOSError();
void SetLastOSError(int Code);
AnsiString OSErrorMessage(int Code);

// True for the codes after which the database file counts its handle as broken rather than
// refused; a lock refusal (kLockViolation) never is one.
bool IsCriticalOSError(int Code);

enum class TOSAccess { Read, ReadWrite };

// What OTHER handles on the same file may do while this one is open.
enum class TOSShare { ShareNone, ShareRead, ShareReadWrite };

class TOSFile {
 public:
  TOSFile() = default;
  ~TOSFile();
  TOSFile(const TOSFile&) = delete;
  TOSFile& operator=(const TOSFile&) = delete;

  // Opens an existing file. Requires: the handle is closed. Fails with ENOENT for a missing
  // file, EACCES for ReadWrite on a read-only file (also for root), kSharingViolation when the
  // access or share mode conflicts with a handle already open on the file. SequentialScan
  // tells the system that the file will be read front to back.
  bool Open(const AnsiString& FileName, TOSAccess Access, TOSShare Share,
            bool SequentialScan = false);
  // Creates the file, or empties an existing one once the share modes of the handles open on
  // it allow this open (a refused create leaves the content untouched). Requires: closed.
  bool Create(const AnsiString& FileName, TOSAccess Access, TOSShare Share,
              bool SequentialScan = false);
  // Closes the descriptor, which releases every lock of the handle. False only when the system
  // reports an error; the handle is closed in any case.
  bool Close();

  bool IsOpen() const { return FFd >= 0; }
  int Handle() const { return FFd; }  // -1 when closed
  const AnsiString& FileName() const { return FFileName; }
  TOSAccess Access() const { return FAccess; }
  TOSShare Share() const { return FShare; }

  // Reads up to Count bytes at Position; answers the count read (fewer at the end of the file,
  // 0 past it) or -1.
  int64_t Read(void* Buffer, int64_t Count, int64_t Position);
  // Writes all Count bytes at Position, extending the file when needed.
  bool Write(const void* Buffer, int64_t Count, int64_t Position);
  int64_t GetSize();           // -1 on failure
  bool SetSize(int64_t Size);  // cuts or extends (with zeros)
  // The descriptor's own position, kept for callers that seek; Read and Write ignore it.
  bool Seek(int64_t Position);
  int64_t GetPosition();  // -1 on failure
  bool Flush();           // writes the file's data and size to the disk

  // Locks Count bytes at Offset, exclusively, without waiting. Refused with kLockViolation
  // when any byte of the range is locked through any handle, this one included. Requires:
  // Offset >= 0, Count > 0 and Offset + Count <= kMaxLockEnd (EINVAL otherwise).
  bool LockBytes(int64_t Offset, int64_t Count);
  // Unlocks a range exactly as it was locked through this handle; kNotLocked otherwise.
  bool UnlockBytes(int64_t Offset, int64_t Count);

  // Bytes from here on are reserved for the share-mode markers.
  static constexpr int64_t kMaxLockEnd = INT64_MAX - 64;

 private:
  struct TRange {
    int64_t Offset;
    int64_t Count;
  };
  bool openHandle(const AnsiString& FileName, TOSAccess Access, TOSShare Share, bool Create,
                  bool SequentialScan);
  bool checkOpen();
  bool lockThroughReadDescriptor(int64_t Offset, int64_t Count);

  int FFd = -1;
  bool FFdWritable = false;  // the descriptor was opened for writing, whatever FAccess says
  AnsiString FFileName;
  TOSAccess FAccess = TOSAccess::Read;
  TOSShare FShare = TOSShare::ShareNone;
  std::mutex FLockMutex;
  std::vector<TRange> FLockedRanges;  // guarded by FLockMutex
};

bool FileExists(const AnsiString& FileName);
// Removes a file. Refused with kSharingViolation while any handle (of any process) has it
// open, and with EACCES while it is read-only.
bool DeleteFile(const AnsiString& FileName);
// Sets or clears the read-only attribute: clears every write permission bit, or gives back
// the write bits of the classes that may read, as far as the process umask allows.
bool SetFileReadOnly(const AnsiString& FileName, bool ReadOnly);
// Whether the file has no write permission bit at all; empty on failure.
std::optional<bool> IsFileReadOnly(const AnsiString& FileName);

}  // namespace zev
