#include "engine/storage/ZEVDatabaseFile.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVErrorCodes.h"
#include "engine/storage/ZEVExcept.h"

namespace zev {
namespace {

constexpr uint32_t kSequentialScanFlag = 0x08000000u;

// The 16 signature bytes, then the 76-byte header of which the first two bytes after the
// signature are HeaderSize.
constexpr int64_t kSignatureProbeSize = kDatabaseSignatureSize + kDBHeaderSize;
constexpr int64_t kSignatureMatchSize = kDatabaseSignatureSize + 2;

bool isBlank(const AnsiString& Text) {
  return std::all_of(Text.begin(), Text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

TOSAccess osAccess(TABSAccessMode Mode) {
  return Mode == amReadWrite ? TOSAccess::ReadWrite : TOSAccess::Read;
}

TOSShare osShare(TABSShareMode Mode) {
  switch (Mode) {
    case smShareDenyNone:
      return TOSShare::ShareReadWrite;
    case smShareDenyWrite:
      return TOSShare::ShareRead;
    case smExclusive:
      break;
  }
  return TOSShare::ShareNone;
}

bool failWith(int Code) {
  SetLastOSError(Code);
  return false;
}

}  // namespace

bool TryWithRetries(int Attempts, uint32_t DelayMs, const std::function<bool()>& Operation,
                    const TABSSleepFunction& SleepFunction) {
  for (int attempt = 0; attempt < Attempts; ++attempt) {
    if (Operation()) return true;
    if (SleepFunction) {
      SleepFunction(DelayMs);
    } else {
      Sleep(DelayMs);
    }
  }
  return false;
}

TABSDatabaseFile::TABSDatabaseFile(TABSReopenSettings ReopenSettings)
    : FReopenSettings(std::move(ReopenSettings)) {
  if (!FReopenSettings.SleepFunction) FReopenSettings.SleepFunction = Sleep;
}

TABSDatabaseFile::~TABSDatabaseFile() {
  if (FHandle.IsOpen()) FHandle.Close();
}

// --- Opening and closing ----------------------------------------------------------------------

void TABSDatabaseFile::checkClosed(const char* Operation) const {
  if (FIsOpened) {
    const auto& m = errors::kOperationOnOpenedFile;
    throw EABSException(m.Code, m.Text, {Operation});
  }
}

void TABSDatabaseFile::checkOpened(const char* Operation) const {
  if (!FIsOpened) {
    const auto& m = errors::kOperationOnClosedFile;
    throw EABSException(m.Code, m.Text, {Operation});
  }
}

bool TABSDatabaseFile::openHandle(bool Create) {
  const bool sequential = (FAttrFlags & kSequentialScanFlag) != 0;
  const TOSAccess access = osAccess(FAccessMode);
  const TOSShare share = osShare(FShareMode);
  return Create ? FHandle.Create(FFileName, access, share, sequential)
                : FHandle.Open(FFileName, access, share, sequential);
}

void TABSDatabaseFile::CreateAndOpenFile(const AnsiString& FileName) {
  checkClosed("CreateFile");
  if (isBlank(FileName)) {
    const auto& m = errors::kBlankDatabaseFileName;
    throw EABSException(m.Code, m.Text);
  }
  // A read-only file is made writable first so that it can go; a file that cannot be deleted
  // (another handle has it open) makes the create below fail with the reason.
  if (FileExists(FileName)) {
    SetFileReadOnly(FileName, false);
    DeleteFile(FileName);
  }
  FFileName = FileName;
  FAccessMode = amReadWrite;
  FShareMode = smExclusive;
  if (!openHandle(true)) {
    const TOSError error = LastOSError();
    const auto& m = errors::kCannotCreateDatabaseFile;
    throw EABSException(m.Code, m.Text, {FileName, error.Code, error.Message});
  }
  FIsOpened = true;
  FWasCriticalError = false;
  FPosition = 0;
}

void TABSDatabaseFile::OpenFile(const AnsiString& FileName, TABSAccessMode AccessMode,
                                TABSShareMode ShareMode) {
  checkClosed("OpenFile");
  if (AccessMode != amReadOnly && AccessMode != amReadWrite) {
    const auto& m = errors::kUnknownAccessMode;
    throw EABSException(m.Code, m.Text, {static_cast<int32_t>(AccessMode)});
  }
  if (ShareMode != smExclusive && ShareMode != smShareDenyNone && ShareMode != smShareDenyWrite) {
    const auto& m = errors::kUnknownShareMode;
    throw EABSException(m.Code, m.Text, {static_cast<int32_t>(ShareMode)});
  }
  FFileName = FileName;
  FAccessMode = AccessMode;
  FShareMode = ShareMode;
  if (!openHandle(false)) {
    const TOSError error = LastOSError();
    const auto& m = errors::kCannotOpenDatabaseFile;
    throw EABSException(m.Code, m.Text, {FileName, error.Code, error.Message});
  }
  FIsOpened = true;
  FWasCriticalError = false;
  FPosition = 0;
}

void TABSDatabaseFile::CloseFile() {
  checkOpened("CloseFile");
  // After a reopen that failed there is no handle left to close.
  const bool closed = !FHandle.IsOpen() || FHandle.Close();
  const TOSError error = LastOSError();
  FIsOpened = false;
  FWasCriticalError = false;
  FPosition = 0;
  if (!closed) {
    const auto& m = errors::kCannotCloseDatabaseFile;
    throw EABSException(m.Code, m.Text, {FFileName, error.Code, error.Message});
  }
}

// --- Reopen and retry -------------------------------------------------------------------------

bool TABSDatabaseFile::ReopenDatabaseFile() {
  if (!FIsOpened) return false;
  // A handle that still answers is kept: the failure was not the handle's.
  if (FHandle.IsOpen() && FHandle.GetSize() >= 0) return true;
  if (FHandle.IsOpen()) FHandle.Close();
  for (int attempt = 0; attempt < FReopenSettings.Attempts; ++attempt) {
    if (attempt > 0) FReopenSettings.SleepFunction(FReopenSettings.DelayMs);
    if (openHandle(false)) {
      // The critical error belonged to the handle just replaced.
      FWasCriticalError = false;
      return true;
    }
  }
  return false;
}

bool TABSDatabaseFile::withReopen(const std::function<bool()>& Call) {
  if (Call()) return true;
  // The message names the operation, so it reports the operation's error, not the error of
  // a reopen that failed.
  const int failure = LastOSError().Code;
  if (!ReopenDatabaseFile()) return failWith(failure);
  return Call();
}

int64_t TABSDatabaseFile::sizeForMessage() {
  const TOSError error = LastOSError();
  const int64_t size = FHandle.GetSize();
  SetLastOSError(error.Code);
  return size;
}

// --- Position and size ------------------------------------------------------------------------

// The position lives in this object; positioning only needs a position and a handle.
bool TABSDatabaseFile::canPosition(int64_t Position) {
  if (Position < 0) return failWith(EINVAL);
  return FHandle.IsOpen() || failWith(EBADF);
}

void TABSDatabaseFile::raiseSetPosition(int NativeError, int64_t Position) {
  throw EABSException(NativeError, errors::kCannotSetDatabaseFilePosition.Text,
                      {Position, FFileName, FPosition, sizeForMessage()});
}

void TABSDatabaseFile::SetPosition(int64_t Position) {
  checkOpened("SetPosition");
  if (!withReopen([&] { return canPosition(Position); }))
    raiseSetPosition(errors::kCannotSetDatabaseFilePosition.Code, Position);
  FPosition = Position;
}

int64_t TABSDatabaseFile::Seek(int64_t Offset, TABSSeekOrigin Origin) {
  checkOpened("Seek");
  int64_t base = 0;
  if (Origin == soCurrent) {
    base = FPosition;
  } else if (Origin == soEnd) {
    if (!withReopen([&] { return (base = FHandle.GetSize()) >= 0; })) {
      const TOSError error = LastOSError();
      const auto& m = errors::kCannotGetDatabaseFileSize;
      throw EABSException(m.Code, m.Text, {FFileName, error.Code, error.Message});
    }
  }
  int64_t target = 0;
  const bool representable = !__builtin_add_overflow(base, Offset, &target);
  if (!withReopen([&] { return representable ? canPosition(target) : failWith(EOVERFLOW); }))
    raiseSetPosition(errors::kCannotSetDatabaseFilePosition.Code, representable ? target : Offset);
  FPosition = target;
  return FPosition;
}

int64_t TABSDatabaseFile::GetPosition() {
  checkOpened("GetPosition");
  if (!withReopen([&] { return FHandle.IsOpen() || failWith(EBADF); })) {
    const TOSError error = LastOSError();
    const auto& m = errors::kCannotGetDatabaseFilePosition;
    throw EABSException(m.Code, m.Text, {FFileName, error.Code, error.Message});
  }
  return FPosition;
}

int64_t TABSDatabaseFile::GetSize() {
  checkOpened("GetSize");
  int64_t size = -1;
  if (!withReopen([&] { return (size = FHandle.GetSize()) >= 0; })) {
    const TOSError error = LastOSError();
    const auto& m = errors::kCannotGetDatabaseFileSize;
    throw EABSException(m.Code, m.Text, {FFileName, error.Code, error.Message});
  }
  return size;
}

void TABSDatabaseFile::SetSize(int64_t Size) {
  checkOpened("SetSize");
  if (!withReopen([&] { return FHandle.SetSize(Size); })) {
    const TOSError error = LastOSError();
    const auto& m = errors::kCannotTruncateDatabaseFile;
    throw EABSException(m.Code, m.Text, {FFileName, Size, error.Code, error.Message});
  }
  FPosition = Size;
}

// --- Reading, writing, flushing ---------------------------------------------------------------

int64_t TABSDatabaseFile::readAt(void* Buffer, int64_t Count, int64_t Position) {
  int64_t done = -1;
  withReopen([&] { return (done = FHandle.Read(Buffer, Count, Position)) >= 0; });
  if (done >= 0) FPosition = Position + done;
  return done;
}

bool TABSDatabaseFile::ReadBuffer(void* Buffer, int64_t Count, int64_t Position) {
  checkOpened("ReadBuffer");
  return readAt(Buffer, Count, Position) >= 0;
}

int64_t TABSDatabaseFile::ReadAvailable(void* Buffer, int64_t Count, int64_t Position) {
  checkOpened("ReadBuffer");
  return readAt(Buffer, Count, Position);
}

// A short read succeeded as a system call; it reports error 0 ("Success"), as the system does
// for a read that stops at the end of the file.
bool TABSDatabaseFile::readFully(void* Buffer, int64_t Count, int64_t Position) {
  const int64_t done = readAt(Buffer, Count, Position);
  if (done < 0) return false;
  return done == Count || failWith(0);
}

void TABSDatabaseFile::ReadBuffer(void* Buffer, int64_t Count, int64_t Position, int NativeError) {
  checkOpened("ReadBuffer");
  auto attempt = [&] {
    if (readFully(Buffer, Count, Position)) return true;
    // Between the two reads the region is probed for a lock of another handle; the answer
    // is not needed.
    if (Position >= 0 && Count > 0) IsRegionLocked(Position, Count);
    return readFully(Buffer, Count, Position);
  };
  if (withReopen(attempt)) return;
  const TOSError error = LastOSError();
  throw EABSException(
      NativeError, errors::kDatabaseFileReadErrorText,
      {FFileName, Position, Count, FPosition, sizeForMessage(), error.Code, error.Message});
}

void TABSDatabaseFile::WriteBuffer(const void* Buffer, int64_t Count, int64_t Position,
                                   int NativeError) {
  checkOpened("WriteBuffer");
  if (!withReopen([&] { return canPosition(Position); })) raiseSetPosition(NativeError, Position);
  FPosition = Position;
  if (!withReopen([&] { return FHandle.Write(Buffer, Count, Position); })) {
    const TOSError error = LastOSError();
    throw EABSException(
        NativeError, errors::kDatabaseFileWriteErrorText,
        {FFileName, Position, Count, FPosition, sizeForMessage(), error.Code, error.Message});
  }
  FPosition = Position + Count;
}

void TABSDatabaseFile::FlushFileBuffers() {
  checkOpened("FlushFileBuffers");
  if (!withReopen([&] { return FHandle.Flush(); })) {
    const TOSError error = LastOSError();
    const auto& m = errors::kCannotFlushDatabaseFile;
    throw EABSException(m.Code, m.Text, {FFileName, error.Code, error.Message});
  }
}

// --- Byte-range locks -------------------------------------------------------------------------

// One lock or unlock call under the critical-error rule. IsCriticalOSError stands the Windows
// codes that mark a broken handle (5, 6, 29-31, 53, 57, 59, 64, 65, 67) for their errno
// counterparts: EACCES and EPERM for the access-denied codes, EBADF for an invalid handle, EIO
// and EREMOTEIO for the read, write and general faults, and the network errors (ENETUNREACH,
// EHOSTUNREACH, ENETDOWN, ENETRESET, ECONNABORTED, ECONNRESET, ESTALE, ENOLINK, EHOSTDOWN) for
// the network codes. A refusal (kLockViolation) or an unlock of a range not held (kNotLocked)
// is never critical. After a critical error a failed call answers success, until a reopen or a
// new open replaces the handle and clears the flag.
bool TABSDatabaseFile::lockCall(bool Lock, int64_t Offset, int64_t Count) {
  if (Lock ? FHandle.LockBytes(Offset, Count) : FHandle.UnlockBytes(Offset, Count)) return true;
  if (IsCriticalOSError(LastOSError().Code)) FWasCriticalError = true;
  return FWasCriticalError;
}

bool TABSDatabaseFile::lockOrUnlock(bool Lock, int64_t Offset, int64_t Count) {
  if (lockCall(Lock, Offset, Count)) return true;
  if (!ReopenDatabaseFile()) return false;
  FWasCriticalError = false;
  return lockCall(Lock, Offset, Count);
}

bool TABSDatabaseFile::LockByte(int64_t Offset, int64_t Count) {
  checkOpened("LockByte");
  return lockOrUnlock(true, Offset, Count);
}

bool TABSDatabaseFile::UnlockByte(int64_t Offset, int64_t Count) {
  checkOpened("UnlockByte");
  return lockOrUnlock(false, Offset, Count);
}

bool TABSDatabaseFile::IsByteLocked(int64_t Offset) {
  checkOpened("IsByteLocked");
  if (!lockOrUnlock(true, Offset, 1)) return true;
  lockOrUnlock(false, Offset, 1);
  return false;
}

bool TABSDatabaseFile::IsRegionLocked(int64_t Offset, int64_t Count) {
  checkOpened("IsRegionLocked");
  if (!lockOrUnlock(true, Offset, Count)) return true;
  lockOrUnlock(false, Offset, Count);
  return false;
}

// --- Signature search -------------------------------------------------------------------------

bool TABSDatabaseFile::signatureAt(const uint8_t* Bytes, int64_t Available) const {
  return Available >= kSignatureMatchSize &&
         std::memcmp(Bytes, kDatabaseSignature, kDatabaseSignatureSize) == 0 &&
         GetInt16LE(Bytes + kDatabaseSignatureSize) == kDBHeaderSize;
}

bool TABSDatabaseFile::FindSignature(int64_t& HeaderBase) {
  const int64_t saved = GetPosition();
  HeaderBase = 0;
  uint8_t probe[kSignatureProbeSize];
  const int64_t done = readAt(probe, kSignatureProbeSize, 0);
  const bool found = (done >= 0 && signatureAt(probe, done)) || scanForSignature(HeaderBase);
  FPosition = saved;
  return found;
}

// Windows of 10000 bytes, each starting 16 bytes before the end of the previous one, so that
// a signature across a border lies whole in the next window. Every position of a window where
// the 16 signature bytes fit is tested; the two HeaderSize bytes after a signature that ends
// the window are read with it, so that they need not fit in the window themselves.
bool TABSDatabaseFile::scanForSignature(int64_t& HeaderBase) {
  constexpr int64_t kStep = kSignatureSearchWindow - kDatabaseSignatureSize;
  constexpr int64_t kReadSize =
      kSignatureSearchWindow + kSignatureMatchSize - kDatabaseSignatureSize;
  std::vector<uint8_t> window(kReadSize);
  for (int64_t start = 0;; start += kStep) {
    const int64_t done = readAt(window.data(), kReadSize, start);
    if (done < kDatabaseSignatureSize) return false;
    const int64_t last = std::min(done, kSignatureSearchWindow) - kDatabaseSignatureSize;
    for (int64_t p = 0; p <= last; ++p) {
      if (window[p] == static_cast<uint8_t>(kDatabaseSignature[0]) &&
          signatureAt(window.data() + p, done - p)) {
        HeaderBase = start + p;
        return true;
      }
    }
    if (done < kReadSize) return false;  // the end of the file
  }
}

}  // namespace zev
