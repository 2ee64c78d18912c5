// The stored forms of a BLOB value and the in-memory cache of one value.
//
//   TABSBlobItemHeader     22 bytes in front of every stored value (small and large form)
//   TABSBlobPageListLocator 10 bytes at data offset 22 of a large value's first page
//   TABSDiskBLOBCache      one value held in memory for a row buffer: its stored bytes
//   TABSPartialTemporaryBLOBDescriptor  what moves a stored value between rows (20 bytes)
//
// The BLOB slot of a memory-form row (10 bytes) is the 6-byte TABSPageItemID of the stored
// value followed by the 4-byte cache reference (0: none); on disk only the identifier is kept.
//
// Ownership: plain values; the cache owns its byte buffer. Locking: none (used under the table
// object's lock). Errors: none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVPage.h"

namespace zev {

// PageItemNo of a large value's identifier.
inline constexpr uint16_t kLargeBlobItemNo = 0xFFFF;
// PageItemNo that an older writer may have given both forms; readers decide by plausibility.
inline constexpr uint16_t kAmbiguousBlobItemNo = 255;
// Data offset of the first data byte of a large value's first page.
inline constexpr int32_t kLargeBlobFirstDataOffset = 32;
// A value is stored small when StoredSize + kSmallBlobMargin < PageDataSize.
inline constexpr int64_t kSmallBlobMargin = 24;
// Offset of the first item on a small BLOB page (after the 16-bit item count).
inline constexpr int32_t kSmallBlobItemsOffset = 2;

//   offset  0  ItemID            uint16  (small form; not interpreted in the large form)
//   offset  2  NumBlocks         int32
//   offset  6  StoredSize        int64
//   offset 14  UncompressedSize  int64
struct TABSBlobItemHeader {
  uint16_t ItemID = 0;
  int32_t NumBlocks = 0;
  int64_t StoredSize = 0;
  int64_t UncompressedSize = 0;

  static constexpr size_t Size = 22;
  void Load(const uint8_t* Buffer) {
    ItemID = GetUInt16LE(Buffer);
    NumBlocks = GetInt32LE(Buffer + 2);
    StoredSize = GetInt64LE(Buffer + 6);
    UncompressedSize = GetInt64LE(Buffer + 14);
  }
  void Store(uint8_t* Buffer) const {
    PutUInt16LE(Buffer, ItemID);
    PutInt32LE(Buffer + 2, NumBlocks);
    PutInt64LE(Buffer + 6, StoredSize);
    PutInt64LE(Buffer + 14, UncompressedSize);
  }
};

//   offset 0  PageNo     int32   page holding the start of the page list
//   offset 4  Offset     uint16  offset of the list in that page's data area
//   offset 6  PageCount  int32   number of data pages
struct TABSBlobPageListLocator {
  int32_t PageNo = -1;
  uint16_t Offset = 0;
  int32_t PageCount = 0;

  static constexpr size_t Size = 10;
  static constexpr size_t OffsetInFirstPage = TABSBlobItemHeader::Size;
  void Load(const uint8_t* Buffer) {
    PageNo = GetInt32LE(Buffer);
    Offset = GetUInt16LE(Buffer + 4);
    PageCount = GetInt32LE(Buffer + 6);
  }
  void Store(uint8_t* Buffer) const {
    PutInt32LE(Buffer, PageNo);
    PutUInt16LE(Buffer + 4, Offset);
    PutInt32LE(Buffer + 6, PageCount);
  }
};

//   offset  0  NumBlocks         int32
//   offset  4  UncompressedSize  int64
//   offset 12  CompressedSize    int64   the stored size
struct TABSPartialTemporaryBLOBDescriptor {
  int32_t NumBlocks = 0;
  int64_t UncompressedSize = 0;
  int64_t CompressedSize = 0;

  static constexpr size_t Size = 20;
  void Load(const uint8_t* Buffer) {
    NumBlocks = GetInt32LE(Buffer);
    UncompressedSize = GetInt64LE(Buffer + 4);
    CompressedSize = GetInt64LE(Buffer + 12);
  }
  void Store(uint8_t* Buffer) const {
    PutInt32LE(Buffer, NumBlocks);
    PutInt64LE(Buffer + 4, UncompressedSize);
    PutInt64LE(Buffer + 12, CompressedSize);
  }
};

// One value held in memory: what is stored (the compressed stream or the plain bytes), with
// its block count and length. A new cache has no data, sizes 0, and is not modified.
struct TABSDiskBLOBCache {
  int32_t NumBlocks = 0;
  int64_t UncompressedSize = 0;
  bool Modified = false;
  std::vector<uint8_t> BlobData;  // StoredSize bytes; empty when nothing is loaded
};

// Number of data pages of a large value of StoredSize bytes with PageDataSize D:
// 1 + ceil((S - (D - 32)) / D).
inline int64_t LargeBlobPageCount(int64_t StoredSize, int64_t PageDataSize) {
  const int64_t rest = StoredSize - (PageDataSize - kLargeBlobFirstDataOffset);
  return 1 + (rest <= 0 ? 0 : (rest + PageDataSize - 1) / PageDataSize);
}

inline bool IsSmallBlob(int64_t StoredSize, int64_t PageDataSize) {
  return StoredSize + kSmallBlobMargin < PageDataSize;
}

}  // namespace zev
