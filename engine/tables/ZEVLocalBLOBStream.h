// TABSLocalBLOBStream: one open BLOB of a cursor, listed in the cursor's stream list. It
// presents the uncompressed value through a TABSCompressedBLOBStream that lies over a
// TABSTemporaryStream holding the stored bytes; closing a written stream turns those bytes
// into the row's cache (TABSDiskBlobManager::CopyBlobFromStreamToRecordBuffer).
//
// TABSUserBLOBStream is what a dataset-level stream over it offers the cursor: when the cursor
// closes the stream itself (at post or cancel) it tells the user stream (CursorStreamClosed),
// which then reads as empty; the user stream stays owned by whoever made it and is never freed
// by the cursor.
//
// Ownership: owns the compressed stream and the temporary stream under it; links to its cursor
// and to its user stream (none at creation). Locking: the cursor's table-data lock is held by
// the cursor operations that use it. Errors: 10115 / 10116 for Write / SetSize on a read
// stream, and the compressed stream's.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/storage/ZEVCompressedBLOBStream.h"
#include "engine/storage/ZEVStream.h"

namespace zev {

class TABSLocalCursor;

enum TABSBLOBOpenMode : uint8_t { bomWrite = 0, bomRead = 1, bomReadWrite = 2 };

class TABSUserBLOBStream : public TABSStream {
 public:
  // The cursor closed the stream under this one (Modified: the value was written through it);
  // afterwards this stream has no cursor stream.
  virtual void CursorStreamClosed(bool Modified) = 0;
};

class TABSLocalBLOBStream : public TABSStream {
 public:
  // Takes over both streams. Requires: CompressedStream lies over TemporaryStream.
  TABSLocalBLOBStream(std::unique_ptr<TABSTemporaryStream> TemporaryStream,
                      std::unique_ptr<TABSCompressedBLOBStream> CompressedStream,
                      TABSLocalCursor* Cursor, TABSBLOBOpenMode OpenMode, int32_t FieldNo);
  ~TABSLocalBLOBStream() override;

  int64_t Read(void* Buffer, int64_t Count) override;
  // 10115 on a read stream; a write of more than 0 bytes marks the stream modified.
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TABSSeekOrigin Origin) override;
  int64_t GetSize() override { return FCompressedStream->GetSize(); }
  // 10116 on a read stream; marks the stream modified.
  void SetSize(int64_t NewSize) override;

  TABSBLOBOpenMode OpenMode() const { return FOpenMode; }
  bool IsWriteMode() const { return FOpenMode == bomWrite || FOpenMode == bomReadWrite; }
  // The number of the table field (not of the cursor's visible list).
  int32_t FieldNo() const { return FFieldNo; }
  TABSLocalCursor* Cursor() const { return LCursor; }
  TABSCompressedBLOBStream& CompressedStream() { return *FCompressedStream; }
  TABSTemporaryStream& TemporaryStream() { return *FTemporaryStream; }
  TABSUserBLOBStream* UserBLOBStream() const { return FUserBLOBStream; }
  void SetUserBLOBStream(TABSUserBLOBStream* Stream) { FUserBLOBStream = Stream; }

 private:
  TABSBLOBOpenMode FOpenMode;
  std::unique_ptr<TABSTemporaryStream> FTemporaryStream;
  std::unique_ptr<TABSCompressedBLOBStream> FCompressedStream;
  TABSUserBLOBStream* FUserBLOBStream = nullptr;
  int32_t FFieldNo;
  TABSLocalCursor* LCursor;
};

}  // namespace zev
