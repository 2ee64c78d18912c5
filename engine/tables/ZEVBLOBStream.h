// TABSBLOBStream: the stream a dataset hands the application for a BLOB field
// (TABSDataSet::CreateBlobStream). It works through the cursor's TABSLocalBLOBStream of the
// field; without one (a refused shared lock, a row gone in multi-user mode) it reads as empty
// and writes nothing. Destroying it closes the BLOB through the dataset (CloseBlob), which
// turns a written value into the row's cache for the next post.
//
// Ownership: owned by the application; links to its field and dataset, which must outlive it,
// and to the cursor stream, which the cursor owns and may close first (at post or cancel: the
// cursor then tells this stream). Locking: the cursor's. Errors: 10106 (a write stream on a
// read-only dataset), 10108, 10111, 10110, 10115 and the cursor stream's; none from the
// destructor.
#pragma once

#include <cstdint>

#include "engine/tables/Field.h"
#include "engine/tables/ZEVLocalBLOBStream.h"

class TABSDataSet;

namespace zev {
enum TBlobStreamMode : uint8_t { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };
}

class TABSBLOBStream : public zev::TABSUserBLOBStream {
 public:
  TABSBLOBStream(zev::TField& Field, zev::TBlobStreamMode Mode);
  ~TABSBLOBStream() override;

  int64_t Read(void* Buffer, int64_t Count) override;
  // A write of more than 0 bytes marks the cursor stream modified.
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, zev::TABSSeekOrigin Origin) override;
  int64_t GetSize() override { return FBLOBStream ? FBLOBStream->GetSize() : 0; }
  void SetSize(int64_t NewSize) override;
  // Cuts the value at the current position.
  void Truncate();
  // Stored bytes of the value as it stands (0 without a cursor stream).
  int64_t CompressedSize() const;
  zev::TABSLocalBLOBStream* BLOBStream() const { return FBLOBStream; }

  void CursorStreamClosed(bool Modified) override;

 private:
  zev::TField& FField;
  TABSDataSet& FDataSet;
  zev::TABSLocalBLOBStream* FBLOBStream = nullptr;
};
