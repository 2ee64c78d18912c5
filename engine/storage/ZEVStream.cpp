#include "engine/storage/ZEVStream.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/ZEVExcept.h"

namespace zev {

// --- TABSStream -------------------------------------------------------------------------------

int64_t TABSStream::targetPosition(int64_t Offset, TABSSeekOrigin Origin, int64_t Position,
                                   int64_t Size) {
  int64_t base = 0;
  switch (Origin) {
    case soBeginning:
      base = 0;
      break;
    case soCurrent:
      base = Position;
      break;
    case soEnd:
      base = Size;
      break;
    default:
      return -1;
  }
  if (Offset < -base || (Offset > 0 && base > INT64_MAX - Offset)) return -1;
  return base + Offset;
}

void TABSStream::checkNewSize(int64_t NewSize) {
  if (NewSize < 0) {
    const auto& m = errors::kStreamSetSizeError;
    throw EABSException(m.Code, m.Text, {GetPosition(), GetSize(), NewSize, 0});
  }
}

void TABSStream::SetPosition(int64_t Position, int NativeError) {
  const int64_t before = GetPosition();
  if (Position < 0 || Seek(Position, soBeginning) != Position)
    throw EABSException(NativeError, errors::kStreamSeekError.Text, {Position, before, GetSize()});
}

void TABSStream::ReadBuffer(void* Buffer, int64_t Count, int NativeError) {
  if (Count <= 0) return;
  const int64_t position = GetPosition();
  const int64_t bytesRead = Read(Buffer, Count);
  if (bytesRead != Count)
    throw EABSException(NativeError, errors::kStreamReadError.Text,
                        {position, GetSize(), Count, bytesRead});
}

void TABSStream::WriteBuffer(const void* Buffer, int64_t Count, int NativeError) {
  if (Count <= 0) return;
  const int64_t position = GetPosition();
  const int64_t bytesWritten = Write(Buffer, Count);
  if (bytesWritten != Count)
    throw EABSException(NativeError, errors::kStreamWriteError.Text,
                        {position, GetSize(), Count, bytesWritten});
}

namespace {

// Copies Count bytes from Source's position to Dest's position in pieces of PieceSize bytes,
// reporting each piece.
void copyInPieces(TABSStream& Source, TABSStream& Dest, int64_t Count, int64_t PieceSize,
                  const TABSProgressEvent& OnProgress) {
  std::vector<uint8_t> piece(static_cast<size_t>(std::clamp<int64_t>(Count, 1, PieceSize)));
  int64_t done = 0;
  while (done < Count) {
    const int64_t n = std::min<int64_t>(Count - done, static_cast<int64_t>(piece.size()));
    Source.ReadBuffer(piece.data(), n);
    Dest.WriteBuffer(piece.data(), n);
    done += n;
    if (OnProgress) OnProgress(done, Count);
  }
}

}  // namespace

void TABSStream::SaveToStream(TABSStream& Stream) {
  SetPosition(0);
  copyInPieces(*this, Stream, GetSize(), FBlockSize, OnProgress);
}

void TABSStream::LoadFromStream(TABSStream& Stream) {
  LoadFromStreamWithPosition(Stream, 0, Stream.GetSize());
}

void TABSStream::LoadFromStreamWithPosition(TABSStream& Stream, int64_t FromPosition,
                                            int64_t Count) {
  Stream.SetPosition(FromPosition);
  SetSize(0);
  SetPosition(0);
  copyInPieces(Stream, *this, Count, FBlockSize, OnProgress);
  SetPosition(0);
}

void TABSStream::LoadFromFile(const AnsiString& FileName) {
  TABSFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TABSStream::SaveToFile(const AnsiString& FileName) {
  TABSFileStream file(FileName, fmCreate);
  SaveToStream(file);
}

// --- TABSMemoryStream -------------------------------------------------------------------------

int64_t TABSMemoryStream::Read(void* Buffer, int64_t Count) {
  const int64_t available = GetSize() - FPosition;
  if (Count <= 0 || available <= 0) return 0;
  const int64_t n = std::min(Count, available);
  std::memcpy(Buffer, FBuffer.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TABSMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t end = FPosition + Count;
  if (end > GetSize()) FBuffer.resize(static_cast<size_t>(end));
  std::memcpy(FBuffer.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

int64_t TABSMemoryStream::Seek(int64_t Offset, TABSSeekOrigin Origin) {
  const int64_t target = targetPosition(Offset, Origin, FPosition, GetSize());
  if (target >= 0) FPosition = target;
  return target;
}

void TABSMemoryStream::SetSize(int64_t NewSize) {
  checkNewSize(NewSize);
  FBuffer.resize(static_cast<size_t>(NewSize));
}

// --- TABSFileStream ---------------------------------------------------------------------------

namespace {

TOSShare shareOfMode(uint16_t Mode) {
  switch (Mode & 0x00F0) {
    case fmShareDenyWrite:
      return TOSShare::ShareRead;
    case fmShareDenyNone:
      return TOSShare::ShareReadWrite;
    default:
      return TOSShare::ShareNone;
  }
}

}  // namespace

TABSFileStream::TABSFileStream(const AnsiString& FileName, uint16_t Mode, bool DeleteOnClose)
    : FFileName(FileName), FDeleteOnClose(DeleteOnClose) {
  if ((Mode & 0xFF00) == fmCreate) {
    if (!FFile.Create(FileName, TOSAccess::ReadWrite, shareOfMode(Mode)))
      throw EABSException(errors::kCannotCreateFile.Code, errors::kCannotCreateFile.Text,
                          {FileName});
    return;
  }
  const TOSAccess access = (Mode & 0x0003) == fmOpenRead ? TOSAccess::Read : TOSAccess::ReadWrite;
  if (!FFile.Open(FileName, access, shareOfMode(Mode)))
    throw EABSException(errors::kCannotOpenFile.Code, errors::kCannotOpenFile.Text,
                        {FileName, static_cast<int>(Mode)});
}

TABSFileStream::~TABSFileStream() {
  FFile.Close();
  if (FDeleteOnClose) DeleteFile(FFileName);
}

std::unique_ptr<TABSFileStream> TABSFileStream::CreateTemporary(const AnsiString& Directory,
                                                                const AnsiString& Prefix) {
  const AnsiString name = CreateTempFile(Directory, Prefix);
  if (name.empty()) {
    AnsiString where = Directory.empty() ? GetTempDirectory() : Directory;
    if (where.back() != '/') where += '/';
    where += Prefix;
    throw EABSException(errors::kCannotCreateFile.Code, errors::kCannotCreateFile.Text, {where});
  }
  try {
    return std::make_unique<TABSFileStream>(name, fmOpenReadWrite | fmShareExclusive, true);
  } catch (...) {
    DeleteFile(name);
    throw;
  }
}

int64_t TABSFileStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t n = FFile.Read(Buffer, Count, FPosition);
  if (n <= 0) return 0;
  FPosition += n;
  return n;
}

int64_t TABSFileStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || !FFile.Write(Buffer, Count, FPosition)) return 0;
  FPosition += Count;
  return Count;
}

int64_t TABSFileStream::Seek(int64_t Offset, TABSSeekOrigin Origin) {
  const int64_t size = Origin == soEnd ? GetSize() : 0;
  if (size < 0) return -1;
  const int64_t target = targetPosition(Offset, Origin, FPosition, size);
  if (target >= 0) FPosition = target;
  return target;
}

int64_t TABSFileStream::GetSize() { return FFile.GetSize(); }

void TABSFileStream::SetSize(int64_t NewSize) {
  checkNewSize(NewSize);
  if (!FFile.SetSize(NewSize)) {
    const auto& m = errors::kStreamSetSizeError;
    throw EABSException(m.Code, m.Text, {FPosition, GetSize(), NewSize, 0});
  }
}

// --- TABSTemporaryStream ----------------------------------------------------------------------

TABSTemporaryStream::TABSTemporaryStream(bool DisableTempFiles)
    : FDisableTempFiles(DisableTempFiles) {
  auto memory = std::make_unique<TABSMemoryStream>();
  LMemory = memory.get();
  FStream = std::move(memory);
}

AnsiString TABSTemporaryStream::FileName() const {
  return LFile ? LFile->FileName() : AnsiString();
}

void TABSTemporaryStream::prepareForSize(int64_t NewSize) {
  if (!LMemory || FDisableTempFiles || NewSize <= kMemoryLimit) return;
  auto file = TABSFileStream::CreateTemporary();
  file->WriteBuffer(LMemory->Memory(), LMemory->GetSize());
  file->SetPosition(LMemory->GetPosition());
  LFile = file.get();
  LMemory = nullptr;
  FStream = std::move(file);
}

int64_t TABSTemporaryStream::Read(void* Buffer, int64_t Count) {
  return FStream->Read(Buffer, Count);
}

int64_t TABSTemporaryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  prepareForSize(FStream->GetPosition() + Count);
  return FStream->Write(Buffer, Count);
}

int64_t TABSTemporaryStream::Seek(int64_t Offset, TABSSeekOrigin Origin) {
  return FStream->Seek(Offset, Origin);
}

int64_t TABSTemporaryStream::GetSize() { return FStream->GetSize(); }

void TABSTemporaryStream::SetSize(int64_t NewSize) {
  checkNewSize(NewSize);
  prepareForSize(NewSize);
  FStream->SetSize(NewSize);
}

}  // namespace zev
