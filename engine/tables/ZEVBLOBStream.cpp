#include "engine/tables/ZEVBLOBStream.h"

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVBlobErrors.h"
#include "engine/tables/ZEVDataSetComponent.h"

TABSBLOBStream::TABSBLOBStream(zev::TField& Field, zev::TBlobStreamMode Mode)
    : FField(Field), FDataSet(*static_cast<TABSDataSet*>(Field.DataSet())) {
  if (Mode != zev::bmRead && FDataSet.ReadOnly())
    zev::errors::Raise(zev::errors::kBlobStreamOnReadOnlyDataSet);
  FBLOBStream = FDataSet.OpenCursorBlobStream(Field, Mode);
  if (!FBLOBStream) return;
  SetBlockSize(FBLOBStream->GetBlockSize());
  FBLOBStream->SetUserBLOBStream(this);
  if (Mode == zev::bmWrite) Truncate();
}

TABSBLOBStream::~TABSBLOBStream() {
  if (!FBLOBStream) return;
  const bool modified = FBLOBStream->GetModified();
  FBLOBStream->SetUserBLOBStream(nullptr);
  FBLOBStream = nullptr;
  try {
    FDataSet.CloseBlob(FField);
  } catch (...) {
    FDataSet.HandleBlobException();
  }
  if (modified) FDataSet.BlobFieldChanged(FField);
}

void TABSBLOBStream::CursorStreamClosed(bool Modified) {
  FBLOBStream = nullptr;
  if (Modified) FDataSet.BlobFieldChanged(FField);
}

int64_t TABSBLOBStream::Read(void* Buffer, int64_t Count) {
  return FBLOBStream ? FBLOBStream->Read(Buffer, Count) : 0;
}

int64_t TABSBLOBStream::Write(const void* Buffer, int64_t Count) {
  if (!FBLOBStream) return 0;
  const int64_t written = FBLOBStream->Write(Buffer, Count);
  if (written > 0) FBLOBStream->SetModified(true);
  return written;
}

int64_t TABSBLOBStream::Seek(int64_t Offset, zev::TABSSeekOrigin Origin) {
  return FBLOBStream ? FBLOBStream->Seek(Offset, Origin) : 0;
}

void TABSBLOBStream::SetSize(int64_t NewSize) {
  if (!FBLOBStream) return;
  FBLOBStream->SetSize(NewSize);
  if (FBLOBStream->GetSize() == NewSize) FBLOBStream->SetModified(true);
}

void TABSBLOBStream::Truncate() { SetSize(GetPosition()); }

int64_t TABSBLOBStream::CompressedSize() const {
  return FBLOBStream ? FBLOBStream->CompressedStream().CompressedSize() : 0;
}
