// The engine's streams: TABSStream, the base with exact-count reads and writes and the copy
// operations, and three kinds of storage behind it: TABSMemoryStream (a growable buffer),
// TABSFileStream (an operating-system file, or a temporary file removed when the stream goes)
// and TABSTemporaryStream (memory up to 1 MiB, then a temporary file).
//
// Positions and sizes are 64-bit. A stream may be positioned past its end; a write there fills
// the gap with zero bytes. SetSize never moves the position.
//
// Ownership: a memory stream owns its buffer, a file stream its file handle (and, when
// temporary, the file itself), a temporary stream the stream it currently keeps its bytes in.
// Locking: the streams do not lock themselves; callers that share one stream between threads
// hold its critical section through Lock / Unlock. Errors: Read, Write and Seek answer what
// they did; ReadBuffer, WriteBuffer, SetPosition and SetSize raise EABSException with the
// stream texts of ZEVErrorCodes.h (a caller may pass its own native code to the first three);
// opening a file stream raises 10104 or 10105.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVErrorCodes.h"
#include "engine/storage/ZEVOSFile.h"
#include "engine/storage/ZEVOSServices.h"

namespace zev {

enum TABSSeekOrigin : uint8_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Called after each piece of a copy with the bytes copied so far and the bytes to copy.
using TABSProgressEvent = std::function<void(int64_t BytesDone, int64_t BytesTotal)>;

class TABSStream {
 public:
  static constexpr int64_t kDefaultBlockSize = 102400;

  TABSStream() = default;
  virtual ~TABSStream() = default;
  TABSStream(const TABSStream&) = delete;
  TABSStream& operator=(const TABSStream&) = delete;

  void Lock() { FCSect.lock(); }
  void Unlock() { FCSect.unlock(); }

  // Reads up to Count bytes at the position and moves past them; answers the count read (0 at
  // or past the end, and for Count <= 0).
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  // Writes Count bytes at the position and moves past them; answers the count written.
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Answers the new position, or -1, leaving the position as it was, for one before the start.
  virtual int64_t Seek(int64_t Offset, TABSSeekOrigin Origin) = 0;
  virtual int64_t GetSize() = 0;
  // Cuts or extends (with zero bytes); a negative size raises kStreamSetSizeError.
  virtual void SetSize(int64_t NewSize) = 0;
  virtual int64_t GetPosition() { return Seek(0, soCurrent); }

  // Seeks from the start; a position the stream does not reach raises the seek text.
  void SetPosition(int64_t Position, int NativeError = errors::kStreamSeekError.Code);
  // Exactly Count bytes or the read / write text with the given code.
  void ReadBuffer(void* Buffer, int64_t Count, int NativeError = errors::kStreamReadError.Code);
  void WriteBuffer(const void* Buffer, int64_t Count,
                   int NativeError = errors::kStreamWriteError.Code);

  // Writes this stream's whole content to Stream at Stream's position; this stream ends at its
  // end. The copies below go in pieces of GetBlockSize() bytes and call OnProgress after each.
  void SaveToStream(TABSStream& Stream);
  // Replaces this stream's content with the whole content of Stream; position 0 afterwards.
  void LoadFromStream(TABSStream& Stream);
  // Replaces this stream's content with Count bytes of Stream from FromPosition (a source
  // shorter than that raises the read text); position 0 afterwards.
  void LoadFromStreamWithPosition(TABSStream& Stream, int64_t FromPosition, int64_t Count);
  void LoadFromFile(const AnsiString& FileName);  // opened for reading, others may read
  void SaveToFile(const AnsiString& FileName);    // created or emptied

  int64_t GetBlockSize() const { return FBlockSize; }
  void SetBlockSize(int64_t BlockSize) { FBlockSize = BlockSize > 0 ? BlockSize : 1; }
  // Set by the stream's users to say that its content was changed through it.
  bool GetModified() const { return FModified; }
  void SetModified(bool Modified) { FModified = Modified; }

  TABSProgressEvent OnProgress;

 protected:
  // The position Offset from Origin leads to, for streams at Position of size Size; -1 before
  // the start.
  static int64_t targetPosition(int64_t Offset, TABSSeekOrigin Origin, int64_t Position,
                                int64_t Size);
  // Raises kStreamSetSizeError for a negative size.
  void checkNewSize(int64_t NewSize);

  int64_t FBlockSize = kDefaultBlockSize;  // the granularity of the copy operations
  bool FModified = false;

 private:
  TCriticalSection FCSect;
};

class TABSMemoryStream : public TABSStream {
 public:
  TABSMemoryStream() = default;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TABSSeekOrigin Origin) override;
  int64_t GetSize() override { return static_cast<int64_t>(FBuffer.size()); }
  void SetSize(int64_t NewSize) override;

  // The content, GetSize() bytes; valid until the next write or size change.
  const uint8_t* Memory() const { return FBuffer.data(); }

 private:
  std::vector<uint8_t> FBuffer;
  int64_t FPosition = 0;
};

// Mode words of a file stream: fmCreate, or one access value, each combined with one share
// value (what other handles may do while the stream is open).
inline constexpr uint16_t fmCreate = 0xFF00;  // create or empty, for reading and writing
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;  // as fmShareExclusive
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;  // no handle type allows it: exclusive
inline constexpr uint16_t fmShareDenyNone = 0x0040;

class TABSFileStream : public TABSStream {
 public:
  // Creates (fmCreate) or opens the file; a refusal raises 10104 "Cannot create file..." or
  // 10105 "Cannot open file...". With DeleteOnClose the file is removed when the stream goes.
  TABSFileStream(const AnsiString& FileName, uint16_t Mode, bool DeleteOnClose = false);
  ~TABSFileStream() override;

  // A new empty file named Prefix, six unique characters and ".tmp" in Directory (the
  // temporary directory when empty), open for reading and writing by this stream alone, and
  // removed when the stream goes. A refusal raises 10104.
  static std::unique_ptr<TABSFileStream> CreateTemporary(const AnsiString& Directory = {},
                                                         const AnsiString& Prefix = "ZEV");

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TABSSeekOrigin Origin) override;
  int64_t GetSize() override;
  void SetSize(int64_t NewSize) override;

  const AnsiString& FileName() const { return FFileName; }

 private:
  TOSFile FFile;
  AnsiString FFileName;
  int64_t FPosition = 0;
  bool FDeleteOnClose;
};

// Keeps its bytes in memory while they fit in kMemoryLimit bytes; a write or size change that
// would take it past the limit first moves the whole content into a new temporary file (prefix
// "ZEV", in the temporary directory), where it stays. With DisableTempFiles it never leaves
// memory.
class TABSTemporaryStream : public TABSStream {
 public:
  static constexpr int64_t kMemoryLimit = 1048576;

  explicit TABSTemporaryStream(bool DisableTempFiles = false);

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TABSSeekOrigin Origin) override;
  int64_t GetSize() override;
  void SetSize(int64_t NewSize) override;

  bool InMemory() const { return LMemory != nullptr; }
  // The temporary file's name, empty while the bytes are in memory.
  AnsiString FileName() const;

 private:
  // Moves the content into a temporary file when a size of NewSize calls for it.
  void prepareForSize(int64_t NewSize);

  std::unique_ptr<TABSStream> FStream;  // the memory stream, later the file stream
  TABSMemoryStream* LMemory;            // FStream while in memory, else null
  TABSFileStream* LFile = nullptr;      // FStream once in a file, else null
  bool FDisableTempFiles;
};

}  // namespace zev
