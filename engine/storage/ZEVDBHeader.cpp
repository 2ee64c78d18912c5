#include "engine/storage/ZEVDBHeader.h"

#include <cstring>

#include "engine/storage/ZEVDatabaseFile.h"
#include "engine/storage/ZEVEndian.h"

namespace zev {

TABSDBHeader TABSDBHeader::Preset() {
  TABSDBHeader header;
  std::memcpy(header.Signature.data(), kDatabaseSignature, header.Signature.size());
  header.HeaderSize = kDBHeaderSize;
  header.Version = kDatabaseVersion;
  header.LastUsedPageNo = -1;
  header.WriteChangesState = kWriteChangesDone;
  return header;
}

AnsiString TABSDBHeader::SignatureText() const {
  return AnsiString(Signature.data(), Signature.size());
}

bool TABSDBHeader::HasSignature() const {
  return std::memcmp(Signature.data(), kDatabaseSignature, Signature.size()) == 0;
}

void TABSDBHeader::Load(const uint8_t* Buffer) {
  std::memcpy(Signature.data(), Buffer + SignatureOffset, Signature.size());
  HeaderSize = GetInt16LE(Buffer + HeaderSizeOffset);
  Version = GetDoubleLE(Buffer + VersionOffset);
  PageSize = GetUInt16LE(Buffer + PageSizeOffset);
  PageCountInExtent = GetUInt16LE(Buffer + PageCountInExtentOffset);
  TotalPageCount = GetInt32LE(Buffer + TotalPageCountOffset);
  LastUsedPageNo = GetInt32LE(Buffer + LastUsedPageNoOffset);
  State = GetInt32LE(Buffer + StateOffset);
  WriteChangesState = Buffer[WriteChangesStateOffset];
  Encrypted = Buffer[EncryptedOffset] != 0;
}

void TABSDBHeader::Store(uint8_t* Buffer) const {
  std::memset(Buffer, 0, Size);
  std::memcpy(Buffer + SignatureOffset, Signature.data(), Signature.size());
  PutInt16LE(Buffer + HeaderSizeOffset, HeaderSize);
  PutDoubleLE(Buffer + VersionOffset, Version);
  PutUInt16LE(Buffer + PageSizeOffset, PageSize);
  PutUInt16LE(Buffer + PageCountInExtentOffset, PageCountInExtent);
  PutInt32LE(Buffer + TotalPageCountOffset, TotalPageCount);
  PutInt32LE(Buffer + LastUsedPageNoOffset, LastUsedPageNo);
  PutInt32LE(Buffer + StateOffset, State);
  Buffer[WriteChangesStateOffset] = WriteChangesState;
  Buffer[EncryptedOffset] = Encrypted ? 0xFF : 0;
}

void TABSCryptoHeader::Load(const uint8_t* Buffer) {
  CryptoHeaderSize = GetInt16LE(Buffer + CryptoHeaderSizeOffset);
  CryptoAlgorithm = Buffer[CryptoAlgorithmOffset];
  CryptoMode = Buffer[CryptoModeOffset];
  std::memcpy(ControlBlock.data(), Buffer + ControlBlockOffset, ControlBlockSize);
  ControlBlockCRC = GetUInt32LE(Buffer + ControlBlockCRCOffset);
}

void TABSCryptoHeader::Store(uint8_t* Buffer) const {
  std::memset(Buffer, 0, Size);
  PutInt16LE(Buffer + CryptoHeaderSizeOffset, CryptoHeaderSize);
  Buffer[CryptoAlgorithmOffset] = CryptoAlgorithm;
  Buffer[CryptoModeOffset] = CryptoMode;
  std::memcpy(Buffer + ControlBlockOffset, ControlBlock.data(), ControlBlockSize);
  PutUInt32LE(Buffer + ControlBlockCRCOffset, ControlBlockCRC);
}

void TABSLockedBytes::Load(const uint8_t* Buffer) {
  LockedByteSize = GetInt16LE(Buffer + LockedByteSizeOffset);
  FSMByte = Buffer[FSMByteOffset];
  TablesByte = Buffer[TablesByteOffset];
  DBHeaderByte = Buffer[DBHeaderByteOffset];
}

void TABSLockedBytes::Store(uint8_t* Buffer) const {
  std::memset(Buffer, 0, Size);
  PutInt16LE(Buffer + LockedByteSizeOffset, LockedByteSize);
  Buffer[FSMByteOffset] = FSMByte;
  Buffer[TablesByteOffset] = TablesByte;
  Buffer[DBHeaderByteOffset] = DBHeaderByte;
}

}  // namespace zev
