#include "engine/storage/ZEVCompressedBLOBStream.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/ZEVChecksum.h"
#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVExcept.h"

namespace zev {
namespace {

[[noreturn]] void raise(const errors::TNativeMessage& Message,
                        std::initializer_list<TFormatArg> Args) {
  throw EABSException(Message.Code, Message.Text, Args);
}

}  // namespace

// --- Records ----------------------------------------------------------------------------------

void TABSBLOBDescriptor::Load(const uint8_t* Buffer) {
  BlockSize = GetInt32LE(Buffer + 0);
  NumBlocks = GetInt64LE(Buffer + 4);
  UncompressedSize = GetInt64LE(Buffer + 12);
  StartPosition = GetInt64LE(Buffer + 20);
  CompressionAlgorithm = static_cast<TABSCompressionAlgorithm>(Buffer[28]);
  CompressionMode = Buffer[29];
}

void TABSBLOBDescriptor::Store(uint8_t* Buffer) const {
  PutInt32LE(Buffer + 0, BlockSize);
  PutInt64LE(Buffer + 4, NumBlocks);
  PutInt64LE(Buffer + 12, UncompressedSize);
  PutInt64LE(Buffer + 20, StartPosition);
  Buffer[28] = CompressionAlgorithm;
  Buffer[29] = CompressionMode;
  Buffer[30] = 0;
  Buffer[31] = 0;
}

void TABSCompressedStreamBlockHeader::Load(const uint8_t* Buffer) {
  CompressedSize = GetInt32LE(Buffer + 0);
  UncompressedSize = GetInt32LE(Buffer + 4);
  Crc32 = GetUInt32LE(Buffer + 8);
  OffsetToNextHeader = GetInt64LE(Buffer + 12);
}

void TABSCompressedStreamBlockHeader::Store(uint8_t* Buffer) const {
  PutInt32LE(Buffer + 0, CompressedSize);
  PutInt32LE(Buffer + 4, UncompressedSize);
  PutUInt32LE(Buffer + 8, Crc32);
  PutInt64LE(Buffer + 12, OffsetToNextHeader);
}

int32_t DefaultBLOBBlockSize(uint8_t CompressionMode) {
  if (CompressionMode == 0) return 102400;
  if (CompressionMode <= 3) return 524288;
  if (CompressionMode <= 6) return 1048576;
  return 1572864;
}

// --- Opening ----------------------------------------------------------------------------------

TABSCompressedBLOBStream::TABSCompressedBLOBStream(TABSStream& Stream,
                                                   const TABSBLOBDescriptor& Descriptor,
                                                   bool RepairMode, bool NewBLOB)
    : LStream(&Stream), FDescriptor(Descriptor), FRepairMode(RepairMode) {
  if (FDescriptor.BlockSize <= 0)
    FDescriptor.BlockSize = DefaultBLOBBlockSize(FDescriptor.CompressionMode);
  // Copies through this stream then move whole blocks.
  SetBlockSize(FDescriptor.BlockSize);
  if (NewBLOB) {
    FDescriptor.NumBlocks = 0;
    FDescriptor.UncompressedSize = 0;
    return;
  }
  if (isPlain())
    openPlain();
  else
    openCompressed();
}

void TABSCompressedBLOBStream::openPlain() {
  FDescriptor.UncompressedSize = std::max<int64_t>(FDescriptor.UncompressedSize, 0);
  const int64_t size = LStream->GetSize();
  const int64_t needed = FDescriptor.StartPosition + FDescriptor.UncompressedSize;
  if (size >= needed) return;
  if (!FRepairMode) raise(errors::kBLOBStreamTooSmall, {size, needed});
  FDescriptor.UncompressedSize = std::max<int64_t>(size - FDescriptor.StartPosition, 0);
}

void TABSCompressedBLOBStream::raiseUnlessRepairing(const errors::TNativeMessage& Message,
                                                    std::initializer_list<TFormatArg> Args) {
  if (!FRepairMode) raise(Message, Args);
}

TABSCompressedStreamBlockHeader TABSCompressedBLOBStream::readHeader(int64_t Position) {
  uint8_t bytes[TABSCompressedStreamBlockHeader::Size];
  LStream->SetPosition(Position);
  LStream->ReadBuffer(bytes, sizeof bytes);
  TABSCompressedStreamBlockHeader header;
  header.Load(bytes);
  return header;
}

void TABSCompressedBLOBStream::openCompressed() {
  const int64_t size = LStream->GetSize();
  int64_t position = FDescriptor.StartPosition;
  int64_t total = 0;
  for (int64_t i = 0; i < FDescriptor.NumBlocks; ++i) {
    const int64_t headerEnd =
        position + static_cast<int64_t>(TABSCompressedStreamBlockHeader::Size);
    if (size < headerEnd) {
      raiseUnlessRepairing(errors::kBLOBHeadersStreamTooSmall, {size, headerEnd});
      break;
    }
    const TABSCompressedStreamBlockHeader header = readHeader(position);
    // Headers follow their data, and only the last block may be partial.
    const bool plausible =
        header.CompressedSize > 0 && header.UncompressedSize > 0 &&
        header.UncompressedSize <= FDescriptor.BlockSize &&
        header.OffsetToNextHeader == headerEnd + header.CompressedSize &&
        (FBlocks.empty() || FBlocks.back().Header.UncompressedSize == FDescriptor.BlockSize);
    if (!plausible) {
      raiseUnlessRepairing(errors::kBLOBInvalidBlockHeader,
                           {static_cast<int>(FDescriptor.CompressionAlgorithm),
                            header.CompressedSize, header.UncompressedSize});
      break;
    }
    if (size < header.OffsetToNextHeader) {
      raiseUnlessRepairing(errors::kBLOBHeadersStreamTooSmall, {size, header.OffsetToNextHeader});
      break;
    }
    FBlocks.push_back({position, header});
    total += header.UncompressedSize;
    position = header.OffsetToNextHeader;
  }
  FDescriptor.NumBlocks = static_cast<int64_t>(FBlocks.size());
  if (total != FDescriptor.UncompressedSize) {
    if (!FRepairMode) raise(errors::kBLOBSizeMismatch, {FDescriptor.UncompressedSize, total});
    FDescriptor.UncompressedSize = total;
  }
}

// --- Blocks -----------------------------------------------------------------------------------

void TABSCompressedBLOBStream::loadBlock(int64_t BlockNo) {
  if (FCachedBlockNo == BlockNo) return;
  const TBlock& block = FBlocks[static_cast<size_t>(BlockNo)];
  const TABSCompressedStreamBlockHeader& header = block.Header;
  std::vector<uint8_t> compressed(static_cast<size_t>(header.CompressedSize));
  LStream->SetPosition(block.Position +
                       static_cast<int64_t>(TABSCompressedStreamBlockHeader::Size));
  LStream->ReadBuffer(compressed.data(), header.CompressedSize);

  std::vector<uint8_t> uncompressed;
  int64_t outSize = header.UncompressedSize;
  if (!DecompressBuffer(FDescriptor.CompressionAlgorithm, compressed.data(), header.CompressedSize,
                        outSize, uncompressed))
    raise(errors::kBLOBDecompressFailed, {static_cast<int>(FDescriptor.CompressionAlgorithm),
                                          header.CompressedSize, header.UncompressedSize});
  if (outSize != header.UncompressedSize)
    raise(errors::kBLOBDecompressSizeMismatch, {outSize, header.UncompressedSize});
  const uint32_t checksum = CalcCRC32(0, uncompressed.data(), uncompressed.size());
  if (checksum != header.Crc32) raise(errors::kBLOBChecksumMismatch, {checksum, header.Crc32});

  FCache = std::move(uncompressed);
  FCachedBlockNo = BlockNo;
  ++FDecompressedBlockCount;
}

void TABSCompressedBLOBStream::storeLastBlock(int64_t BlockNo, std::vector<uint8_t> Block) {
  const int64_t position = BlockNo < static_cast<int64_t>(FBlocks.size())
                               ? FBlocks[static_cast<size_t>(BlockNo)].Position
                           : FBlocks.empty() ? FDescriptor.StartPosition
                                             : FBlocks.back().Header.OffsetToNextHeader;
  const auto length = static_cast<int64_t>(Block.size());
  std::vector<uint8_t> compressed;
  int64_t compressedSize = 0;
  if (!CompressBuffer(FDescriptor.CompressionAlgorithm, FDescriptor.CompressionMode, Block.data(),
                      length, compressed, compressedSize))
    raise(errors::kBLOBCompressFailed,
          {static_cast<int>(FDescriptor.CompressionAlgorithm),
           static_cast<int>(FDescriptor.CompressionMode), length, compressedSize});

  TABSCompressedStreamBlockHeader header;
  header.CompressedSize = static_cast<int32_t>(compressedSize);
  header.UncompressedSize = static_cast<int32_t>(length);
  header.Crc32 = CalcCRC32(0, Block.data(), Block.size());
  header.OffsetToNextHeader =
      position + static_cast<int64_t>(TABSCompressedStreamBlockHeader::Size) + compressedSize;
  uint8_t headerBytes[TABSCompressedStreamBlockHeader::Size];
  header.Store(headerBytes);

  LStream->SetPosition(position);
  LStream->WriteBuffer(headerBytes, sizeof headerBytes);
  LStream->WriteBuffer(compressed.data(), compressedSize);
  LStream->SetSize(header.OffsetToNextHeader);  // a shorter block leaves no old bytes behind

  FBlocks.resize(static_cast<size_t>(BlockNo));
  FBlocks.push_back({position, header});
  FDescriptor.NumBlocks = BlockNo + 1;
  FDescriptor.UncompressedSize = BlockNo * FDescriptor.BlockSize + length;
  FCache = std::move(Block);
  FCachedBlockNo = BlockNo;
}

void TABSCompressedBLOBStream::appendBytes(const uint8_t* Data, int64_t Count) {
  const int64_t blockSize = FDescriptor.BlockSize;
  while (Count > 0) {
    const int64_t lastNo = static_cast<int64_t>(FBlocks.size()) - 1;
    const int64_t lastLength = lastNo >= 0 ? FBlocks.back().Header.UncompressedSize : blockSize;
    std::vector<uint8_t> block;
    int64_t blockNo = lastNo + 1;
    if (lastLength < blockSize) {  // fill up the partial last block first
      loadBlock(lastNo);
      block = FCache;
      blockNo = lastNo;
    }
    const int64_t take = std::min(Count, blockSize - static_cast<int64_t>(block.size()));
    if (Data) {
      block.insert(block.end(), Data, Data + take);
      Data += take;
    } else {
      block.resize(block.size() + static_cast<size_t>(take), 0);
    }
    storeLastBlock(blockNo, std::move(block));
    Count -= take;
  }
}

void TABSCompressedBLOBStream::cutTo(int64_t NewSize) {
  if (NewSize == 0) {
    FBlocks.clear();
    FCachedBlockNo = -1;
    FDescriptor.NumBlocks = 0;
    FDescriptor.UncompressedSize = 0;
    LStream->SetSize(FDescriptor.StartPosition);
    return;
  }
  const int64_t blockSize = FDescriptor.BlockSize;
  const int64_t lastNo = (NewSize - 1) / blockSize;
  const int64_t lastLength = NewSize - lastNo * blockSize;
  const TBlock& last = FBlocks[static_cast<size_t>(lastNo)];
  if (lastLength == last.Header.UncompressedSize) {  // the cut falls between two blocks
    LStream->SetSize(last.Header.OffsetToNextHeader);
    FBlocks.resize(static_cast<size_t>(lastNo + 1));
    if (FCachedBlockNo > lastNo) FCachedBlockNo = -1;
    FDescriptor.NumBlocks = lastNo + 1;
    FDescriptor.UncompressedSize = NewSize;
    return;
  }
  loadBlock(lastNo);
  std::vector<uint8_t> block(FCache.begin(), FCache.begin() + lastLength);
  storeLastBlock(lastNo, std::move(block));
}

// --- Stream operations ------------------------------------------------------------------------

int64_t TABSCompressedBLOBStream::Read(void* Buffer, int64_t Count) {
  const int64_t available = FDescriptor.UncompressedSize - FPosition;
  if (Count <= 0 || available <= 0) return 0;
  const int64_t wanted = std::min(Count, available);
  auto* out = static_cast<uint8_t*>(Buffer);
  if (isPlain()) {
    LStream->SetPosition(FDescriptor.StartPosition + FPosition);
    const int64_t n = std::max<int64_t>(LStream->Read(out, wanted), 0);
    FPosition += n;
    return n;
  }
  int64_t done = 0;
  while (done < wanted) {
    const int64_t blockNo = FPosition / FDescriptor.BlockSize;
    const int64_t offset = FPosition % FDescriptor.BlockSize;
    loadBlock(blockNo);
    const int64_t inBlock = static_cast<int64_t>(FCache.size()) - offset;
    if (inBlock <= 0) break;
    const int64_t n = std::min(wanted - done, inBlock);
    std::memcpy(out + done, FCache.data() + offset, static_cast<size_t>(n));
    done += n;
    FPosition += n;
  }
  return done;
}

int64_t TABSCompressedBLOBStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const auto* in = static_cast<const uint8_t*>(Buffer);
  if (isPlain()) {
    LStream->SetPosition(FDescriptor.StartPosition + FPosition);
    const int64_t n = std::max<int64_t>(LStream->Write(in, Count), 0);
    FPosition += n;
    FDescriptor.UncompressedSize = std::max(FDescriptor.UncompressedSize, FPosition);
    return n;
  }
  if (FPosition < FDescriptor.UncompressedSize) return 0;
  if (FPosition > FDescriptor.UncompressedSize)
    appendBytes(nullptr, FPosition - FDescriptor.UncompressedSize);
  appendBytes(in, Count);
  FPosition += Count;
  return Count;
}

int64_t TABSCompressedBLOBStream::Seek(int64_t Offset, TABSSeekOrigin Origin) {
  const int64_t target = targetPosition(Offset, Origin, FPosition, FDescriptor.UncompressedSize);
  if (target >= 0) FPosition = target;
  return target;
}

void TABSCompressedBLOBStream::SetSize(int64_t NewSize) {
  checkNewSize(NewSize);
  if (isPlain()) {
    LStream->SetSize(FDescriptor.StartPosition + NewSize);
    FDescriptor.UncompressedSize = NewSize;
    return;
  }
  if (NewSize > FDescriptor.UncompressedSize)
    appendBytes(nullptr, NewSize - FDescriptor.UncompressedSize);
  else if (NewSize < FDescriptor.UncompressedSize)
    cutTo(NewSize);
}

int64_t TABSCompressedBLOBStream::CompressedSize() const {
  if (isPlain()) return FDescriptor.UncompressedSize;
  return FBlocks.empty() ? 0 : FBlocks.back().Header.OffsetToNextHeader - FDescriptor.StartPosition;
}

double TABSCompressedBLOBStream::CompressionRate() const {
  if (FDescriptor.UncompressedSize <= 0) return 0;
  return 100.0 * (1.0 - static_cast<double>(CompressedSize()) /
                            static_cast<double>(FDescriptor.UncompressedSize));
}

}  // namespace zev
