// The compressed BLOB stream: a stream of a BLOB's uncompressed bytes that keeps them in an
// underlying stream as a chain of separately compressed blocks, so that reading a part
// decompresses only the blocks it touches. A BLOB without compression (acaNone) is kept plain
// in the underlying stream from the descriptor's StartPosition on.
//
// Stored form of a compressed BLOB, from StartPosition to the end of the underlying stream:
//
//   [block header 0][compressed block 0][block header 1][compressed block 1] ...
//
// Every block but the last holds BlockSize uncompressed bytes. A compressed BLOB is only
// appended to: a write that starts before its end writes nothing and answers 0; one that
// starts past the end first grows the BLOB with zero bytes. Writing the last block rewrites
// it in place and cuts the underlying stream after it.
//
// Ownership: the underlying stream is a link (it must outlive this stream); the stream owns
// its copy of the descriptor, kept up to date so that the owner can store it, the list of block
// positions and a one-block cache. Locking: none of its own (see TABSStream). Errors: raises
// EABSException with the BLOB texts of ZEVErrorCodes.h (10081 to 10088) and passes on those of
// the underlying stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "engine/storage/ZEVCompression.h"
#include "engine/storage/ZEVFormat.h"
#include "engine/storage/ZEVStream.h"

namespace zev {

// What the BLOB storage keeps for every BLOB value (32 bytes, little-endian):
//
//   offset  0  BlockSize             int32   uncompressed bytes per block
//   offset  4  NumBlocks             int64
//   offset 12  UncompressedSize      int64
//   offset 20  StartPosition         int64   first block header in the underlying stream
//   offset 28  CompressionAlgorithm  uint8
//   offset 29  CompressionMode       uint8
//   offset 30  Reserved              2 bytes, zero
struct TABSBLOBDescriptor {
  int32_t BlockSize = 0;
  int64_t NumBlocks = 0;
  int64_t UncompressedSize = 0;
  int64_t StartPosition = 0;
  TABSCompressionAlgorithm CompressionAlgorithm = acaNone;
  uint8_t CompressionMode = 0;

  static constexpr size_t Size = 32;
  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;  // writes the reserved bytes as zero
};

// In front of every compressed block (20 bytes, little-endian):
//
//   offset  0  CompressedSize      int32   compressed bytes after the header
//   offset  4  UncompressedSize    int32   bytes the block decompresses to
//   offset  8  Crc32               uint32  CalcCRC32(0, ...) of the uncompressed block
//   offset 12  OffsetToNextHeader  int64   this header's position + 20 + CompressedSize
struct TABSCompressedStreamBlockHeader {
  int32_t CompressedSize = 0;
  int32_t UncompressedSize = 0;
  uint32_t Crc32 = 0;
  int64_t OffsetToNextHeader = 0;

  static constexpr size_t Size = 20;
  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;
};

// The block size of a BLOB whose descriptor gives none, by compression mode: 0 -> 102400;
// 1-3 -> 524288; 4-6 -> 1048576; 7 and above -> 1572864.
int32_t DefaultBLOBBlockSize(uint8_t CompressionMode);

class TABSCompressedBLOBStream : public TABSStream {
 public:
  // Over Stream with the BLOB of Descriptor; a BlockSize of 0 (or less) takes the default of
  // the mode. NewBLOB starts an empty BLOB at StartPosition. Otherwise the BLOB is opened:
  // a compressed one walks its NumBlocks block headers; a header or block that the stream is
  // too short for raises 10082, an impossible header 10087, blocks that add up to another size
  // than UncompressedSize 10088; a plain one shorter than UncompressedSize raises 10081. In
  // RepairMode none of these raise: the BLOB is cut to what was found intact.
  // Requires: Stream outlives this object.
  TABSCompressedBLOBStream(TABSStream& Stream, const TABSBLOBDescriptor& Descriptor,
                           bool RepairMode, bool NewBLOB);

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TABSSeekOrigin Origin) override;
  int64_t GetSize() override { return FDescriptor.UncompressedSize; }
  void SetSize(int64_t NewSize) override;

  // Stored bytes: headers and compressed blocks, or the plain bytes.
  int64_t CompressedSize() const;
  // The share of the uncompressed size saved by compression, in percent (0 when empty).
  double CompressionRate() const;
  const TABSBLOBDescriptor& BLOBDescriptor() const { return FDescriptor; }
  // Blocks decompressed since the stream was made (a block read again after another one was
  // cached counts again): what a partial read costs.
  int64_t DecompressedBlockCount() const { return FDecompressedBlockCount; }

 private:
  struct TBlock {
    int64_t Position;  // of the block's header in the underlying stream
    TABSCompressedStreamBlockHeader Header;
  };

  bool isPlain() const { return FDescriptor.CompressionAlgorithm == acaNone; }
  void openPlain();
  void openCompressed();
  // Raises Message (Args) unless in repair mode, where the walk stops at the failure instead.
  void raiseUnlessRepairing(const errors::TNativeMessage& Message,
                            std::initializer_list<TFormatArg> Args);
  TABSCompressedStreamBlockHeader readHeader(int64_t Position);

  // Makes block BlockNo the cached one, decompressing it when it is not.
  void loadBlock(int64_t BlockNo);
  // Compresses Block and writes it as block BlockNo, the new last one (BlockNo is the last
  // block or the one after it); it becomes the cached block.
  void storeLastBlock(int64_t BlockNo, std::vector<uint8_t> Block);
  // Appends Count bytes from Data, or zero bytes when Data is null.
  void appendBytes(const uint8_t* Data, int64_t Count);
  void cutTo(int64_t NewSize);

  TABSStream* LStream;
  TABSBLOBDescriptor FDescriptor;
  bool FRepairMode;
  int64_t FPosition = 0;
  std::vector<TBlock> FBlocks;
  int64_t FCachedBlockNo = -1;
  std::vector<uint8_t> FCache;  // uncompressed bytes of block FCachedBlockNo
  int64_t FDecompressedBlockCount = 0;
};

}  // namespace zev
