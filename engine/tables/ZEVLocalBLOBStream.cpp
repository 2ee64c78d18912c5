#include "engine/tables/ZEVLocalBLOBStream.h"

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVBlobErrors.h"

namespace zev {

TABSLocalBLOBStream::TABSLocalBLOBStream(std::unique_ptr<TABSTemporaryStream> TemporaryStream,
                                         std::unique_ptr<TABSCompressedBLOBStream> CompressedStream,
                                         TABSLocalCursor* Cursor, TABSBLOBOpenMode OpenMode,
                                         int32_t FieldNo)
    : FOpenMode(OpenMode),
      FTemporaryStream(std::move(TemporaryStream)),
      FCompressedStream(std::move(CompressedStream)),
      FFieldNo(FieldNo),
      LCursor(Cursor) {
  SetBlockSize(FCompressedStream->BLOBDescriptor().BlockSize);
}

// The compressed stream goes first: it writes into the temporary stream up to its end.
TABSLocalBLOBStream::~TABSLocalBLOBStream() { FCompressedStream.reset(); }

int64_t TABSLocalBLOBStream::Read(void* Buffer, int64_t Count) {
  return FCompressedStream->Read(Buffer, Count);
}

int64_t TABSLocalBLOBStream::Write(const void* Buffer, int64_t Count) {
  if (FOpenMode == bomRead) errors::Raise(errors::kWriteToReadOnlyBlobStream);
  const int64_t written = FCompressedStream->Write(Buffer, Count);
  if (written > 0) SetModified(true);
  return written;
}

int64_t TABSLocalBLOBStream::Seek(int64_t Offset, TABSSeekOrigin Origin) {
  return FCompressedStream->Seek(Offset, Origin);
}

void TABSLocalBLOBStream::SetSize(int64_t NewSize) {
  if (FOpenMode == bomRead) errors::Raise(errors::kSetSizeOfReadOnlyBlobStream);
  FCompressedStream->SetSize(NewSize);
  SetModified(true);
}

}  // namespace zev
