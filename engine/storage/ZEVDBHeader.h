// The records of a database file's header area, and the password record.
//
// Layout of the header area, relative to the header base B (the position of the signature, 0
// for every file this engine creates):
//
//   B +   0   76 bytes   TABSDBHeader
//   B +  76  280 bytes   TABSCryptoHeader   (at B + HeaderSize)
//   B + 356   20 bytes   TABSLockedBytes    (at crypto header + 280)
//   B + 376    4 bytes   last object identifier, int32 (at lock-byte area + LockedByteSize)
//   B + 380              page 0; page N at B + 380 + N * PageSize
//
// Each record is a plain value with Load / Store over little-endian packed bytes; nothing here
// owns, locks or raises.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVSecurity.h"

namespace zev {

// The version this engine writes, and the oldest one it opens without asking for repair.
inline constexpr double kDatabaseVersion = 7.61;
inline constexpr double kMinVersionWithoutRepair = 2.99;

// WriteChangesState values: at rest, and while a commit writes pages.
inline constexpr uint8_t kWriteChangesDone = 2;
inline constexpr uint8_t kWriteChangesInProgress = 1;

// The database header (76 bytes):
//
//   offset  0  Signature          16 bytes  "ZEV0LUTEDATABASE", no terminator
//   offset 16  HeaderSize         int16     76
//   offset 18  Version            float64   7.61
//   offset 26  PageSize           uint16
//   offset 28  PageCountInExtent  uint16
//   offset 30  TotalPageCount     int32
//   offset 34  LastUsedPageNo     int32     -1 when none
//   offset 38  State              int32     commit counter
//   offset 42  WriteChangesState  uint8     2 at rest, 1 during a commit
//   offset 43  Encrypted          uint8     0xFF when encrypted; any non-zero reads as true
//   offset 44  Reserved           32 bytes  zero
struct TABSDBHeader {
  static constexpr size_t SignatureOffset = 0;
  static constexpr size_t HeaderSizeOffset = 16;
  static constexpr size_t VersionOffset = 18;
  static constexpr size_t PageSizeOffset = 26;
  static constexpr size_t PageCountInExtentOffset = 28;
  static constexpr size_t TotalPageCountOffset = 30;
  static constexpr size_t LastUsedPageNoOffset = 34;
  static constexpr size_t StateOffset = 38;
  static constexpr size_t WriteChangesStateOffset = 42;
  static constexpr size_t EncryptedOffset = 43;
  static constexpr size_t ReservedOffset = 44;
  static constexpr size_t Size = 76;

  std::array<char, 16> Signature{};
  int16_t HeaderSize = 0;
  double Version = 0;
  uint16_t PageSize = 0;
  uint16_t PageCountInExtent = 0;
  int32_t TotalPageCount = 0;
  int32_t LastUsedPageNo = 0;
  int32_t State = 0;
  uint8_t WriteChangesState = 0;
  bool Encrypted = false;

  // The values of a new page manager: signature, HeaderSize 76, Version 7.61, no pages,
  // LastUsedPageNo -1, WriteChangesState 2, everything else zero.
  static TABSDBHeader Preset();
  // The 16 signature bytes as text.
  AnsiString SignatureText() const;
  bool HasSignature() const;

  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;  // reserved bytes zero
};

// The crypto header (280 bytes):
//
//   offset   0  CryptoHeaderSize  int16      280
//   offset   2  CryptoAlgorithm   uint8      TABSCryptoAlgorithm
//   offset   3  CryptoMode        uint8      0
//   offset   4  ControlBlock      256 bytes  random bytes stored encrypted; zero when plain
//   offset 260  ControlBlockCRC   uint32     checksum of the plain control block
//   offset 264  Reserverd         16 bytes   zero
struct TABSCryptoHeader {
  static constexpr size_t CryptoHeaderSizeOffset = 0;
  static constexpr size_t CryptoAlgorithmOffset = 2;
  static constexpr size_t CryptoModeOffset = 3;
  static constexpr size_t ControlBlockOffset = 4;
  static constexpr size_t ControlBlockSize = 256;
  static constexpr size_t ControlBlockCRCOffset = 260;
  static constexpr size_t ReservedOffset = 264;
  static constexpr size_t Size = 280;

  int16_t CryptoHeaderSize = Size;
  uint8_t CryptoAlgorithm = 0;
  uint8_t CryptoMode = 0;
  std::array<uint8_t, ControlBlockSize> ControlBlock{};
  uint32_t ControlBlockCRC = 0;

  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;
};

// The lock-byte area (20 bytes). Only its size is ever read back; the positions of its bytes
// are lock positions:
//
//   offset 0  LockedByteSize  int16     20, the distance to the last object identifier
//   offset 2  FSMByte         uint8     reserved lock position (never locked)
//   offset 3  TablesByte      uint8     tables lock
//   offset 4  DBHeaderByte    uint8     database-header lock
//   offset 5  Reserved        15 bytes  zero
struct TABSLockedBytes {
  static constexpr size_t LockedByteSizeOffset = 0;
  static constexpr size_t FSMByteOffset = 2;
  static constexpr size_t TablesByteOffset = 3;
  static constexpr size_t DBHeaderByteOffset = 4;
  static constexpr size_t ReservedOffset = 5;
  static constexpr size_t Size = 20;

  int16_t LockedByteSize = Size;
  uint8_t FSMByte = 0;
  uint8_t TablesByte = 0;
  uint8_t DBHeaderByte = 0;

  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;
};

// The size of the last-object-identifier field after the lock-byte area.
inline constexpr size_t kLastObjectIDSize = 4;

// A database password: empty text means no encryption.
struct TABSPassword {
  AnsiString Password;
  TABSCryptoAlgorithm CryptoAlgorithm = craRijndael_128;
};

}  // namespace zev
