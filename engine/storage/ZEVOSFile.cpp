#include "engine/storage/ZEVOSFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

// How Windows share modes and locks are obtained from Linux locks
// ----------------------------------------------------------------
// Every handle is its own open file description (one open() each), and all locks are OFD locks
// (F_OFD_SETLK): they belong to the description, so two handles of one process conflict like
// two processes do, and the kernel drops them when the descriptor closes or the process dies.
//
// Share modes. Each open handle holds shared (read) locks on marker bytes far beyond any data:
//
//   kMaxLockEnd + 0   Open        every handle
//   kMaxLockEnd + 1   HoldRead    handles with read access (all of them)
//   kMaxLockEnd + 2   HoldWrite   handles with write access
//   kMaxLockEnd + 3   DenyRead    handles that do not let others read
//   kMaxLockEnd + 4   DenyWrite   handles that do not let others write
//
// A new open asks F_OFD_GETLK whether an exclusive lock could be placed on a marker, which
// fails exactly when some other handle holds that marker. It is refused when it wants a right
// whose Deny marker is held, or denies a right whose Hold marker is held; otherwise it takes
// its own markers. A delete is refused while the Open marker is held. The check and the taking
// of markers are made under the gate, an exclusive flock() on the file held for a few system
// calls: flock() works on descriptors opened for reading only (an exclusive fcntl lock needs
// write access) and is independent of fcntl locks on local file systems. After taking the gate
// the opener checks that the name still denotes the file it opened, so that an open never
// ends up on a file that a concurrent delete or create-always has just replaced.
//
// Byte-range locks. A descriptor opened for writing takes an exclusive lock with one
// F_OFD_SETLK. A read-only descriptor cannot, so it emulates one under the gate: it asks
// F_OFD_GETLK whether anyone holds any byte of the range and, if not, takes a shared lock on
// it. Shared locks taken this way never meet (the gate orders the test-and-take of read-only
// handles), and an exclusive lock conflicts with a shared one in both orders, so a range is
// never held twice. The kernel lets a description lock again what it already holds, so every
// handle also keeps the list of its ranges and refuses those itself.

namespace zev {
namespace {

thread_local TOSError tLastError;

bool fail(int Code) {
  SetLastOSError(Code);
  return false;
}

constexpr int64_t kOpenMarker = TOSFile::kMaxLockEnd + 0;
constexpr int64_t kHoldReadMarker = TOSFile::kMaxLockEnd + 1;
constexpr int64_t kHoldWriteMarker = TOSFile::kMaxLockEnd + 2;
constexpr int64_t kDenyReadMarker = TOSFile::kMaxLockEnd + 3;
constexpr int64_t kDenyWriteMarker = TOSFile::kMaxLockEnd + 4;

// Opens retried when the name was given to another file between open() and the gate.
constexpr int kOpenAttempts = 8;

constexpr int kReadRight = 1;
constexpr int kWriteRight = 2;

int rightsOf(TOSAccess Access) {
  return Access == TOSAccess::ReadWrite ? kReadRight | kWriteRight : kReadRight;
}

int rightsOf(TOSShare Share) {
  switch (Share) {
    case TOSShare::ShareNone:
      return 0;
    case TOSShare::ShareRead:
      return kReadRight;
    case TOSShare::ShareReadWrite:
      return kReadRight | kWriteRight;
  }
  return 0;
}

class TUniqueFd {
 public:
  explicit TUniqueFd(int Fd) : FFd(Fd) {}
  ~TUniqueFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  int Get() const { return FFd; }
  int Release() { return std::exchange(FFd, -1); }

 private:
  int FFd;
};

// The exclusive flock() that serialises share checks and read-only lock emulation on one file.
class TGate {
 public:
  explicit TGate(int Fd) : FFd(Fd) {
    int r;
    while ((r = ::flock(FFd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    FHeld = r == 0;
  }
  ~TGate() { Release(); }
  TGate(const TGate&) = delete;
  TGate& operator=(const TGate&) = delete;
  bool Held() const { return FHeld; }
  void Release() {
    if (FHeld) ::flock(FFd, LOCK_UN);
    FHeld = false;
  }

 private:
  int FFd;
  bool FHeld = false;
};

bool setLock(int Fd, short Type, int64_t Offset, int64_t Count) {
  struct flock fl {};
  fl.l_type = Type;
  fl.l_whence = SEEK_SET;
  fl.l_start = Offset;
  fl.l_len = Count;
  int r;
  while ((r = ::fcntl(Fd, F_OFD_SETLK, &fl)) != 0 && errno == EINTR) {
  }
  if (r == 0) return true;
  return fail(errno == EAGAIN || errno == EACCES ? kLockViolation : errno);
}

// 1 when another description holds any lock on the range, 0 when none does, -1 on error.
int heldByOthers(int Fd, int64_t Offset, int64_t Count) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = Offset;
  fl.l_len = Count;
  if (::fcntl(Fd, F_OFD_GETLK, &fl) != 0) {
    SetLastOSError(errno);
    return -1;
  }
  return fl.l_type == F_UNLCK ? 0 : 1;
}

// Whether the name still denotes the file open on Fd.
bool sameFile(const std::string& Path, const struct stat& Opened) {
  struct stat now {};
  return ::stat(Path.c_str(), &now) == 0 && now.st_dev == Opened.st_dev &&
         now.st_ino == Opened.st_ino;
}

bool hasNoWriteBit(mode_t Mode) { return (Mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

// The process umask, read without changing it (umask() would, for every thread).
mode_t processUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

}  // namespace

const TOSError& LastOSError() { return tLastError; }

void SetLastOSError(int Code) {
  tLastError.Code = Code;
  tLastError.Message = OSErrorMessage(Code);
}

AnsiString OSErrorMessage(int Code) {
  char buffer[256];
  // The GNU strerror_r answers a pointer to the text, not always into the buffer.
  const char* text = ::strerror_r(Code, buffer, sizeof buffer);
  return AnsiFromUtf8(text);
}

// The Windows codes that mark a handle as broken, and the errno values that stand for them:
//   5 access denied, 65 network access denied      EACCES, EPERM
//   6 invalid handle                               EBADF
//   29 write fault, 30 read fault, 31 general      EIO, EREMOTEIO
//   53 bad network path                            ENETUNREACH, EHOSTUNREACH
//   57 network adapter hardware error              ENETDOWN
//   59 unexpected network error                    ENETRESET, ECONNABORTED
//   64 network name deleted                        ECONNRESET, ESTALE, ENOLINK
//   67 bad network name                            EHOSTDOWN
// A refused lock reports kLockViolation (EAGAIN), never EACCES, so it is not critical.
bool IsCriticalOSError(int Code) {
  switch (Code) {
    case EACCES:
    case EPERM:
    case EBADF:
    case EIO:
    case EREMOTEIO:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETRESET:
    case ECONNABORTED:
    case ECONNRESET:
    case ESTALE:
    case ENOLINK:
    case EHOSTDOWN:
      return true;
    default:
      return false;
  }
}

TOSFile::~TOSFile() {
  if (IsOpen()) Close();
}

bool TOSFile::Open(const AnsiString& FileName, TOSAccess Access, TOSShare Share,
                   bool SequentialScan) {
  return openHandle(FileName, Access, Share, false, SequentialScan);
}

bool TOSFile::Create(const AnsiString& FileName, TOSAccess Access, TOSShare Share,
                     bool SequentialScan) {
  return openHandle(FileName, Access, Share, true, SequentialScan);
}

bool TOSFile::openHandle(const AnsiString& FileName, TOSAccess Access, TOSShare Share, bool Create,
                         bool SequentialScan) {
  if (IsOpen()) return fail(EINVAL);
  const std::string path = Utf8FromAnsi(FileName);
  if (path.empty()) return fail(ENOENT);
  const int access = rightsOf(Access);
  const int shared = rightsOf(Share);
  // A created file is emptied through its own descriptor, so that one is always writable.
  const bool writable = Create || Access == TOSAccess::ReadWrite;
  const int flags = O_CLOEXEC | O_NOCTTY | (writable ? O_RDWR : O_RDONLY) | (Create ? O_CREAT : 0);

  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    TUniqueFd fd(::open(path.c_str(), flags, 0666));
    if (fd.Get() < 0) return fail(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return fail(errno);
    if (S_ISDIR(st.st_mode)) return fail(EISDIR);
    // Root may write anything; the read-only attribute must still refuse it.
    if (writable && hasNoWriteBit(st.st_mode)) return fail(EACCES);

    TGate gate(fd.Get());
    if (!gate.Held()) return fail(errno);
    if (!sameFile(path, st)) continue;

    const struct {
      int64_t Marker;
      bool Conflicts;
    } checks[] = {
        {kDenyReadMarker, (access & kReadRight) != 0},
        {kDenyWriteMarker, (access & kWriteRight) != 0},
        {kHoldReadMarker, (shared & kReadRight) == 0},
        {kHoldWriteMarker, (shared & kWriteRight) == 0},
    };
    for (const auto& check : checks) {
      if (!check.Conflicts) continue;
      int held = heldByOthers(fd.Get(), check.Marker, 1);
      if (held < 0) return false;
      if (held > 0) return fail(kSharingViolation);
    }

    const struct {
      int64_t Marker;
      bool Taken;
    } markers[] = {
        {kOpenMarker, true},
        {kHoldReadMarker, (access & kReadRight) != 0},
        {kHoldWriteMarker, (access & kWriteRight) != 0},
        {kDenyReadMarker, (shared & kReadRight) == 0},
        {kDenyWriteMarker, (shared & kWriteRight) == 0},
    };
    for (const auto& marker : markers)
      if (marker.Taken && !setLock(fd.Get(), F_RDLCK, marker.Marker, 1)) return false;

    if (Create) {
      int r;
      while ((r = ::ftruncate(fd.Get(), 0)) != 0 && errno == EINTR) {
      }
      if (r != 0) return fail(errno);
    }
    gate.Release();
    if (SequentialScan) ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    FFd = fd.Release();
    FFdWritable = writable;
    FFileName = FileName;
    FAccess = Access;
    FShare = Share;
    return true;
  }
  return fail(kSharingViolation);
}

bool TOSFile::Close() {
  if (!IsOpen()) return fail(EBADF);
  {
    std::lock_guard<std::mutex> guard(FLockMutex);
    FLockedRanges.clear();
  }
  // Linux releases the descriptor even when close() reports an error, so it is never retried.
  const int fd = std::exchange(FFd, -1);
  if (::close(fd) != 0) return fail(errno);
  return true;
}

bool TOSFile::checkOpen() { return IsOpen() || fail(EBADF); }

int64_t TOSFile::Read(void* Buffer, int64_t Count, int64_t Position) {
  if (!checkOpen()) return -1;
  if (Count < 0 || Position < 0 || Count > INT64_MAX - Position) {
    fail(EINVAL);
    return -1;
  }
  auto* bytes = static_cast<uint8_t*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    const size_t chunk = static_cast<size_t>(std::min<int64_t>(Count - done, 1 << 30));
    const ssize_t n = ::pread(FFd, bytes + done, chunk, Position + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
      return -1;
    }
    if (n == 0) break;  // end of file
    done += n;
  }
  return done;
}

bool TOSFile::Write(const void* Buffer, int64_t Count, int64_t Position) {
  if (!checkOpen()) return false;
  if (FAccess != TOSAccess::ReadWrite) return fail(EACCES);
  if (Count < 0 || Position < 0 || Count > INT64_MAX - Position) return fail(EINVAL);
  const auto* bytes = static_cast<const uint8_t*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    const size_t chunk = static_cast<size_t>(std::min<int64_t>(Count - done, 1 << 30));
    const ssize_t n = ::pwrite(FFd, bytes + done, chunk, Position + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) return fail(ENOSPC);
    done += n;
  }
  return true;
}

int64_t TOSFile::GetSize() {
  if (!checkOpen()) return -1;
  struct stat st {};
  if (::fstat(FFd, &st) != 0) {
    fail(errno);
    return -1;
  }
  return st.st_size;
}

bool TOSFile::SetSize(int64_t Size) {
  if (!checkOpen()) return false;
  if (FAccess != TOSAccess::ReadWrite) return fail(EACCES);
  if (Size < 0) return fail(EINVAL);
  int r;
  while ((r = ::ftruncate(FFd, Size)) != 0 && errno == EINTR) {
  }
  return r == 0 || fail(errno);
}

bool TOSFile::Seek(int64_t Position) {
  if (!checkOpen()) return false;
  if (Position < 0) return fail(EINVAL);
  return ::lseek(FFd, Position, SEEK_SET) >= 0 || fail(errno);
}

int64_t TOSFile::GetPosition() {
  if (!checkOpen()) return -1;
  const off_t position = ::lseek(FFd, 0, SEEK_CUR);
  if (position < 0) fail(errno);
  return position;
}

bool TOSFile::Flush() {
  if (!checkOpen()) return false;
  // As on Windows, only a handle with write access may flush.
  if (FAccess != TOSAccess::ReadWrite) return fail(EACCES);
  int r;
  while ((r = ::fdatasync(FFd)) != 0 && errno == EINTR) {
  }
  return r == 0 || fail(errno);
}

bool TOSFile::LockBytes(int64_t Offset, int64_t Count) {
  if (!checkOpen()) return false;
  if (Offset < 0 || Count <= 0 || Count > kMaxLockEnd - Offset) return fail(EINVAL);
  std::lock_guard<std::mutex> guard(FLockMutex);
  for (const TRange& r : FLockedRanges)
    if (Offset < r.Offset + r.Count && r.Offset < Offset + Count) return fail(kLockViolation);
  const bool locked =
      FFdWritable ? setLock(FFd, F_WRLCK, Offset, Count) : lockThroughReadDescriptor(Offset, Count);
  if (!locked) return false;
  FLockedRanges.push_back({Offset, Count});
  return true;
}

bool TOSFile::lockThroughReadDescriptor(int64_t Offset, int64_t Count) {
  TGate gate(FFd);
  if (!gate.Held()) return fail(errno);
  const int held = heldByOthers(FFd, Offset, Count);
  if (held < 0) return false;
  if (held > 0) return fail(kLockViolation);
  return setLock(FFd, F_RDLCK, Offset, Count);
}

bool TOSFile::UnlockBytes(int64_t Offset, int64_t Count) {
  if (!checkOpen()) return false;
  std::lock_guard<std::mutex> guard(FLockMutex);
  auto it = std::find_if(FLockedRanges.begin(), FLockedRanges.end(),
                         [&](const TRange& r) { return r.Offset == Offset && r.Count == Count; });
  if (it == FLockedRanges.end()) return fail(kNotLocked);
  if (!setLock(FFd, F_UNLCK, Offset, Count)) return false;
  FLockedRanges.erase(it);
  return true;
}

bool FileExists(const AnsiString& FileName) {
  struct stat st {};
  return ::stat(Utf8FromAnsi(FileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DeleteFile(const AnsiString& FileName) {
  const std::string path = Utf8FromAnsi(FileName);
  if (path.empty()) return fail(ENOENT);
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    // The file is opened to look at its markers; a file this process may not read cannot be
    // checked and is not deleted.
    TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0) return fail(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return fail(errno);
    if (S_ISDIR(st.st_mode)) return fail(EISDIR);
    if (hasNoWriteBit(st.st_mode)) return fail(EACCES);
    TGate gate(fd.Get());
    if (!gate.Held()) return fail(errno);
    if (!sameFile(path, st)) continue;
    const int held = heldByOthers(fd.Get(), kOpenMarker, 1);
    if (held < 0) return false;
    if (held > 0) return fail(kSharingViolation);
    if (::unlink(path.c_str()) != 0) return fail(errno);
    return true;
  }
  return fail(kSharingViolation);
}

bool SetFileReadOnly(const AnsiString& FileName, bool ReadOnly) {
  const std::string path = Utf8FromAnsi(FileName);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return fail(errno);
  constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
  mode_t mode = st.st_mode & 07777;
  if (ReadOnly) {
    mode &= ~kWriteBits;
  } else {
    // Each class that may read may write again, as far as the umask lets new files be written.
    mode |= ((mode & (S_IRUSR | S_IRGRP | S_IROTH)) >> 1) & ~processUmask() & kWriteBits;
    if (hasNoWriteBit(mode)) mode |= S_IWUSR;
  }
  return ::chmod(path.c_str(), mode) == 0 || fail(errno);
}

std::optional<bool> IsFileReadOnly(const AnsiString& FileName) {
  struct stat st {};
  if (::stat(Utf8FromAnsi(FileName).c_str(), &st) != 0) {
    fail(errno);
    return std::nullopt;
  }
  return hasNoWriteBit(st.st_mode);
}

}  // namespace zev
