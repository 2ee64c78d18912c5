#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/ZEVChecksum.h"
#include "engine/storage/ZEVCompressedBLOBStream.h"
#include "engine/storage/ZEVExcept.h"
#include "tests/engine/storage/EngineErrorOf.h"

namespace {

using namespace zev;

using TBytes = std::vector<uint8_t>;

TBytes pattern(size_t Size, uint8_t Seed = 1) {
  TBytes bytes(Size);
  // Repeats often enough to compress, varies enough to tell positions apart.
  for (size_t i = 0; i < Size; ++i) bytes[i] = static_cast<uint8_t>(Seed + (i % 61) * 3 + i / 97);
  return bytes;
}

TABSBLOBDescriptor descriptorOf(TABSCompressionAlgorithm Algorithm, uint8_t Mode, int32_t BlockSize,
                                int64_t StartPosition = 0) {
  TABSBLOBDescriptor d;
  d.CompressionAlgorithm = Algorithm;
  d.CompressionMode = Mode;
  d.BlockSize = BlockSize;
  d.StartPosition = StartPosition;
  return d;
}

TBytes bytesOf(TABSMemoryStream& Stream) {
  return TBytes(Stream.Memory(), Stream.Memory() + Stream.GetSize());
}

void replaceContent(TABSMemoryStream& Stream, const TBytes& Bytes) {
  Stream.SetSize(0);
  Stream.SetPosition(0);
  Stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

TBytes readAt(TABSStream& Stream, int64_t Position, int64_t Count) {
  TBytes bytes(static_cast<size_t>(Count));
  Stream.SetPosition(Position);
  bytes.resize(static_cast<size_t>(Stream.Read(bytes.data(), Count)));
  return bytes;
}

TBytes contentOf(TABSStream& Stream) { return readAt(Stream, 0, Stream.GetSize() + 10); }

void writeAt(TABSStream& Stream, int64_t Position, const TBytes& Bytes) {
  Stream.SetPosition(Position);
  Stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

// The block headers of a stored chain, read with the on-disk layout from Start to the end.
std::vector<TABSCompressedStreamBlockHeader> headersOf(const TBytes& Stored, int64_t Start) {
  std::vector<TABSCompressedStreamBlockHeader> headers;
  int64_t position = Start;
  while (position + 20 <= static_cast<int64_t>(Stored.size())) {
    TABSCompressedStreamBlockHeader h;
    h.Load(Stored.data() + position);
    headers.push_back(h);
    position = h.OffsetToNextHeader;
  }
  return headers;
}

// A stored chain built by hand: each block as the given compressed bytes under a header that
// says UncompressedSize and Crc32.
struct THandBlock {
  TBytes Compressed;
  int32_t UncompressedSize;
  uint32_t Crc32;
};

TBytes chainOf(const std::vector<THandBlock>& Blocks) {
  TBytes stored;
  for (const auto& b : Blocks) {
    TABSCompressedStreamBlockHeader h;
    h.CompressedSize = static_cast<int32_t>(b.Compressed.size());
    h.UncompressedSize = b.UncompressedSize;
    h.Crc32 = b.Crc32;
    h.OffsetToNextHeader = static_cast<int64_t>(stored.size() + 20 + b.Compressed.size());
    uint8_t bytes[20];
    h.Store(bytes);
    stored.insert(stored.end(), bytes, bytes + 20);
    stored.insert(stored.end(), b.Compressed.begin(), b.Compressed.end());
  }
  return stored;
}

THandBlock zlibBlock(const TBytes& Data) {
  std::vector<uint8_t> out;
  int64_t outSize = 0;
  EXPECT_TRUE(
      CompressBuffer(acaZLIB, 6, Data.data(), static_cast<int64_t>(Data.size()), out, outSize));
  return {out, static_cast<int32_t>(Data.size()), CalcCRC32(0, Data.data(), Data.size())};
}

std::unique_ptr<TABSCompressedBLOBStream> newBLOB(TABSStream& Stored,
                                                  const TABSBLOBDescriptor& Descriptor) {
  return std::make_unique<TABSCompressedBLOBStream>(Stored, Descriptor, false, true);
}

std::unique_ptr<TABSCompressedBLOBStream> reopen(TABSStream& Stored,
                                                 const TABSBLOBDescriptor& Descriptor,
                                                 bool Repair = false) {
  return std::make_unique<TABSCompressedBLOBStream>(Stored, Descriptor, Repair, false);
}

void expectBytes(const uint8_t* Buffer, size_t Offset, const TBytes& Expected) {
  EXPECT_EQ(TBytes(Buffer + Offset, Buffer + Offset + Expected.size()), Expected)
      << "at offset " << Offset;
}

// --- Records ----------------------------------------------------------------------------------

TEST(TABSBLOBDescriptor, LayoutOfTheThirtyTwoBytes) {
  TABSBLOBDescriptor d;
  d.BlockSize = 0x11223344;
  d.NumBlocks = 0x0102030405060708;
  d.UncompressedSize = 0x1112131415161718;
  d.StartPosition = 0x2122232425262728;
  d.CompressionAlgorithm = acaBZIP;
  d.CompressionMode = 9;
  uint8_t bytes[33];
  std::fill(std::begin(bytes), std::end(bytes), 0xEE);
  d.Store(bytes);
  EXPECT_EQ(TABSBLOBDescriptor::Size, 32u);
  expectBytes(bytes, 0, {0x44, 0x33, 0x22, 0x11});
  expectBytes(bytes, 4, {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01});
  expectBytes(bytes, 12, {0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11});
  expectBytes(bytes, 20, {0x28, 0x27, 0x26, 0x25, 0x24, 0x23, 0x22, 0x21});
  expectBytes(bytes, 28, {2, 9, 0, 0, 0xEE});
  TABSBLOBDescriptor back;
  back.Load(bytes);
  EXPECT_EQ(back.BlockSize, d.BlockSize);
  EXPECT_EQ(back.NumBlocks, d.NumBlocks);
  EXPECT_EQ(back.UncompressedSize, d.UncompressedSize);
  EXPECT_EQ(back.StartPosition, d.StartPosition);
  EXPECT_EQ(back.CompressionAlgorithm, acaBZIP);
  EXPECT_EQ(back.CompressionMode, 9);
}

TEST(TABSCompressedStreamBlockHeader, LayoutOfTheTwentyBytes) {
  TABSCompressedStreamBlockHeader h;
  h.CompressedSize = 0x01020304;
  h.UncompressedSize = -2;
  h.Crc32 = 0xA1B2C3D4;
  h.OffsetToNextHeader = 0x0B0C0D0E0F101112;
  uint8_t bytes[21];
  bytes[20] = 0xEE;
  h.Store(bytes);
  EXPECT_EQ(TABSCompressedStreamBlockHeader::Size, 20u);
  expectBytes(bytes, 0, {0x04, 0x03, 0x02, 0x01});
  expectBytes(bytes, 4, {0xFE, 0xFF, 0xFF, 0xFF});
  expectBytes(bytes, 8, {0xD4, 0xC3, 0xB2, 0xA1});
  expectBytes(bytes, 12, {0x12, 0x11, 0x10, 0x0F, 0x0E, 0x0D, 0x0C, 0x0B, 0xEE});
  TABSCompressedStreamBlockHeader back;
  back.Load(bytes);
  EXPECT_EQ(back.CompressedSize, h.CompressedSize);
  EXPECT_EQ(back.UncompressedSize, -2);
  EXPECT_EQ(back.Crc32, h.Crc32);
  EXPECT_EQ(back.OffsetToNextHeader, h.OffsetToNextHeader);
}

TEST(TABSCompressedBLOBStream, DefaultBlockSizeByMode) {
  const int32_t expected[] = {102400,  524288,  524288,  524288,  1048576, 1048576,
                              1048576, 1572864, 1572864, 1572864, 1572864};
  for (uint8_t mode = 0; mode <= 10; ++mode)
    EXPECT_EQ(DefaultBLOBBlockSize(mode), expected[mode]) << int(mode);

  TABSMemoryStream stored;
  auto byDefault = newBLOB(stored, descriptorOf(acaZLIB, 5, 0));
  EXPECT_EQ(byDefault->BLOBDescriptor().BlockSize, 1048576);
  EXPECT_EQ(byDefault->GetBlockSize(), 1048576);  // copies move whole blocks
  auto own = newBLOB(stored, descriptorOf(acaZLIB, 5, 777));
  EXPECT_EQ(own->BLOBDescriptor().BlockSize, 777);
}

// --- Writing and reading ----------------------------------------------------------------------

class BLOBRoundTrip : public testing::TestWithParam<TABSCompressionAlgorithm> {};

// Odd-sized appends behind a prefix that the BLOB leaves alone, then reads at arbitrary
// positions through a stream reopened from the descriptor.
TEST_P(BLOBRoundTrip, AppendsThenReadsAnywhereAfterReopening) {
  const TABSCompressionAlgorithm algorithm = GetParam();
  const TBytes prefix = {'P', 'R', 'E', 'F', 'I', 'X', '_'};
  TABSMemoryStream stored;
  stored.WriteBuffer(prefix.data(), 7);
  const TBytes data = pattern(3500);
  TABSBLOBDescriptor descriptor;
  {
    auto blob = newBLOB(stored, descriptorOf(algorithm, 9, 1000, 7));
    size_t done = 0;
    for (const size_t piece : {1, 999, 1000, 1, 1499}) {
      EXPECT_EQ(blob->Write(data.data() + done, static_cast<int64_t>(piece)),
                static_cast<int64_t>(piece));
      done += piece;
    }
    descriptor = blob->BLOBDescriptor();
    EXPECT_EQ(blob->CompressedSize(), stored.GetSize() - 7);
  }
  EXPECT_EQ(descriptor.UncompressedSize, 3500);
  EXPECT_EQ(descriptor.NumBlocks, algorithm == acaNone ? 0 : 4);
  const TBytes storedBytes = bytesOf(stored);
  EXPECT_EQ(TBytes(storedBytes.begin(), storedBytes.begin() + 7), prefix);
  if (algorithm == acaNone) {
    EXPECT_EQ(TBytes(storedBytes.begin() + 7, storedBytes.end()), data);
  } else {
    const auto headers = headersOf(storedBytes, 7);
    ASSERT_EQ(headers.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
      const int32_t length = i < 3 ? 1000 : 500;
      EXPECT_EQ(headers[i].UncompressedSize, length);
      EXPECT_EQ(headers[i].Crc32, CalcCRC32(0, data.data() + i * 1000, length));
    }
    EXPECT_EQ(headers.back().OffsetToNextHeader, stored.GetSize());
  }

  auto blob = reopen(stored, descriptor);
  EXPECT_EQ(blob->GetSize(), 3500);
  std::mt19937 random(5);
  for (int i = 0; i < 40; ++i) {
    const int64_t position = random() % 3600;
    const int64_t count = random() % 2500;
    const int64_t available = std::max<int64_t>(0, std::min<int64_t>(count, 3500 - position));
    EXPECT_EQ(readAt(*blob, position, count),
              TBytes(data.begin() + std::min<int64_t>(position, 3500),
                     data.begin() + std::min<int64_t>(position, 3500) + available))
        << position << " " << count;
  }
  TABSMemoryStream copy;
  blob->SaveToStream(copy);
  EXPECT_EQ(bytesOf(copy), data);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, BLOBRoundTrip, testing::Values(acaZLIB, acaBZIP, acaNone),
                         [](const auto& Info) { return CompressionAlgorithmName(Info.param); });

TEST(TABSCompressedBLOBStream, OneBlockExactlyThenOneByteMore) {
  TABSMemoryStream stored;
  auto blob = newBLOB(stored, descriptorOf(acaZLIB, 1, 64));
  const TBytes data = pattern(65);
  blob->WriteBuffer(data.data(), 64);
  EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 1);
  EXPECT_EQ(headersOf(bytesOf(stored), 0).size(), 1u);
  blob->WriteBuffer(data.data() + 64, 1);
  EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 2);
  const auto headers = headersOf(bytesOf(stored), 0);
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0].UncompressedSize, 64);
  EXPECT_EQ(headers[1].UncompressedSize, 1);
  EXPECT_EQ(headers[1].Crc32, CalcCRC32(0, &data[64], 1));
  EXPECT_EQ(contentOf(*blob), data);
}

// A compressed BLOB is only appended to: before the end nothing happens, past the end the gap
// is filled with zeros first.
TEST(TABSCompressedBLOBStream, WritesBeforeTheEndAreRefusedAndPastTheEndGrowIt) {
  for (const TABSCompressionAlgorithm algorithm : {acaZLIB, acaBZIP}) {
    for (const int32_t blockSize : {100, 4}) {
      SCOPED_TRACE(CompressionAlgorithmName(algorithm) + " blocks of " + std::to_string(blockSize));
      TABSMemoryStream stored;
      auto blob = newBLOB(stored, descriptorOf(algorithm, 9, blockSize));
      const TBytes ten = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
      blob->WriteBuffer(ten.data(), 10);
      const TBytes before = bytesOf(stored);

      blob->SetPosition(0);
      EXPECT_EQ(blob->Write("VWXYZ", 5), 0);
      EXPECT_EQ(blob->GetSize(), 10);
      EXPECT_EQ(bytesOf(stored), before);

      blob->SetPosition(12);
      EXPECT_EQ(blob->Write("VWXYZ", 5), 5);
      EXPECT_EQ(blob->GetSize(), 17);
      EXPECT_EQ(blob->GetPosition(), 17);
      TBytes expected = ten;
      for (const char c : std::string("\0\0VWXYZ", 7)) expected.push_back(static_cast<uint8_t>(c));
      EXPECT_EQ(contentOf(*blob), expected);
      auto again = reopen(stored, blob->BLOBDescriptor());
      EXPECT_EQ(contentOf(*again), expected);
      EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, blockSize == 4 ? 5 : 1);
    }
  }
}

TEST(TABSCompressedBLOBStream, SetSizeGrowsWithZerosAndCutsInsideABlock) {
  TABSMemoryStream stored;
  auto blob = newBLOB(stored, descriptorOf(acaZLIB, 6, 100, 3));
  stored.WriteBuffer("abc", 3);
  const TBytes start = pattern(30);
  blob->WriteBuffer(start.data(), 30);
  blob->SetPosition(5);

  blob->SetSize(350);
  TBytes expected = start;
  expected.resize(350, 0);
  EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 4);
  EXPECT_EQ(contentOf(*blob), expected);

  blob->SetSize(150);  // inside the second block
  expected.resize(150);
  EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 2);
  EXPECT_EQ(blob->GetSize(), 150);
  auto headers = headersOf(bytesOf(stored), 3);
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[1].UncompressedSize, 50);
  EXPECT_EQ(headers[1].OffsetToNextHeader, stored.GetSize());
  EXPECT_EQ(contentOf(*blob), expected);

  blob->SetSize(100);  // on a block boundary
  expected.resize(100);
  EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 1);
  EXPECT_EQ(headersOf(bytesOf(stored), 3).size(), 1u);

  writeAt(*blob, 100, {'+', '+'});
  expected.push_back('+');
  expected.push_back('+');
  auto again = reopen(stored, blob->BLOBDescriptor());
  EXPECT_EQ(contentOf(*again), expected);

  blob->SetSize(0);
  EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 0);
  EXPECT_EQ(blob->CompressedSize(), 0);
  EXPECT_EQ(stored.GetSize(), 3);
  EXPECT_EQ(errorOf([&] { blob->SetSize(-1); }),
            "Cannot write to stream. Position = 102, Stream size = 0, Block size = -1, Bytes Write "
            "= 0 - Native error: 10093");
}

TEST(TABSCompressedBLOBStream, PlainBLOBIsReadAndWrittenInPlace) {
  TABSMemoryStream stored;
  stored.WriteBuffer("hdr", 3);
  auto blob = newBLOB(stored, descriptorOf(acaNone, 0, 0, 3));
  writeAt(*blob, 0, {'a', 'b', 'c', 'd', 'e', 'f'});
  writeAt(*blob, 2, {'X', 'Y'});  // plain bytes may be overwritten
  EXPECT_EQ(bytesOf(stored), (TBytes{'h', 'd', 'r', 'a', 'b', 'X', 'Y', 'e', 'f'}));
  blob->SetSize(4);
  EXPECT_EQ(stored.GetSize(), 7);
  blob->SetSize(6);
  EXPECT_EQ(contentOf(*blob), (TBytes{'a', 'b', 'X', 'Y', 0, 0}));
  EXPECT_EQ(blob->CompressedSize(), 6);
  EXPECT_EQ(blob->CompressionRate(), 0);
}

TEST(TABSCompressedBLOBStream, CompressedSizeAndRate) {
  TABSMemoryStream stored;
  auto blob = newBLOB(stored, descriptorOf(acaZLIB, 9, 1000));
  EXPECT_EQ(blob->CompressionRate(), 0);
  const TBytes data(5000, 'a');
  blob->WriteBuffer(data.data(), 5000);
  EXPECT_EQ(blob->CompressedSize(), stored.GetSize());
  EXPECT_LT(blob->CompressedSize(), 5000);
  EXPECT_DOUBLE_EQ(blob->CompressionRate(),
                   100.0 * (1.0 - static_cast<double>(blob->CompressedSize()) / 5000.0));
}

TEST(TABSCompressedBLOBStream, CompressionFailureRaisesAndChangesNothing) {
  const struct {
    TABSCompressionAlgorithm Algorithm;
    uint8_t Mode;
    const char* Message;
  } cases[] = {{acaZLIB, 10,
                "Compress buffer failed. CompAlg = 1, CompMode = 10, InSize = 5, OutSize = 0 - "
                "Native error: 10085"},
               {acaPPM, 6,
                "Compress buffer failed. CompAlg = 3, CompMode = 6, InSize = 5, OutSize = 0 - "
                "Native error: 10085"}};
  for (const auto& c : cases) {
    TABSMemoryStream stored;
    auto blob = newBLOB(stored, descriptorOf(c.Algorithm, c.Mode, 100));
    EXPECT_EQ(errorOf([&] { blob->Write("abcde", 5); }), c.Message);
    EXPECT_EQ(blob->GetSize(), 0);
    EXPECT_EQ(stored.GetSize(), 0);
  }
}

// --- Damaged and short streams ----------------------------------------------------------------

// Reads decompress only the blocks they touch: a damaged first block does not stop a read of
// the third.
TEST(TABSCompressedBLOBStream, DamagedBlocksRaiseTheirMessageWhenRead) {
  const TBytes data = pattern(250);
  TABSMemoryStream stored;
  TABSBLOBDescriptor descriptor;
  {
    auto blob = newBLOB(stored, descriptorOf(acaZLIB, 6, 100));
    blob->WriteBuffer(data.data(), 250);
    descriptor = blob->BLOBDescriptor();
  }
  const uint32_t realCrc = CalcCRC32(0, data.data(), 100);
  writeAt(stored, 8, {0x01, 0x00, 0x00, 0x00});  // block 0's Crc32
  auto blob = reopen(stored, descriptor);
  EXPECT_EQ(readAt(*blob, 200, 50), TBytes(data.begin() + 200, data.end()));
  EXPECT_EQ(errorOf([&] { readAt(*blob, 10, 5); }),
            "Decompress buffer failed. CheckSum = " + std::to_string(realCrc) +
                ", Header.Crc32 = 1 - Native error: 10086");
}

TEST(TABSCompressedBLOBStream, BlockThatDecompressesWrongRaises) {
  const TBytes ten = pattern(10);
  const TBytes eight(ten.begin(), ten.begin() + 8);
  THandBlock garbled = zlibBlock(ten);
  for (size_t i = 2; i < garbled.Compressed.size(); ++i) garbled.Compressed[i] ^= 0x55;
  THandBlock shorter = zlibBlock(eight);
  shorter.UncompressedSize = 10;
  const struct {
    THandBlock Block;
    std::string Message;
  } cases[] = {
      {shorter,
       "Decompress buffer failed. UncompSize = 8, Header.UncompSize = 10 - Native error: "
       "10084"},
      {garbled, "Decompress buffer failed. CompAlg = 1, InSize = " +
                    std::to_string(garbled.Compressed.size()) +
                    ", OutSize = 10 - Native error: 10083"},
  };
  for (const auto& c : cases) {
    TABSMemoryStream stored;
    replaceContent(stored, chainOf({c.Block}));
    TABSBLOBDescriptor descriptor = descriptorOf(acaZLIB, 6, 100);
    descriptor.NumBlocks = 1;
    descriptor.UncompressedSize = 10;
    auto blob = reopen(stored, descriptor);
    EXPECT_EQ(errorOf([&] { contentOf(*blob); }), c.Message);
  }
}

// A stored chain cut short: outside repair mode the opening fails, in repair mode the BLOB
// keeps the whole blocks found and goes on from there.
TEST(TABSCompressedBLOBStream, StreamTooShortForTheChain) {
  const TBytes data = pattern(350);
  TABSMemoryStream original;
  TABSBLOBDescriptor descriptor;
  {
    auto blob = newBLOB(original, descriptorOf(acaBZIP, 1, 100));
    blob->WriteBuffer(data.data(), 350);
    descriptor = blob->BLOBDescriptor();
  }
  const TBytes full = bytesOf(original);
  const auto headers = headersOf(full, 0);
  ASSERT_EQ(headers.size(), 4u);
  const int64_t block2 = headers[1].OffsetToNextHeader;
  const int64_t block3 = headers[2].OffsetToNextHeader;
  const struct {
    int64_t CutAt;
    int64_t NeededSize;
    int64_t BlocksKept;
  } cases[] = {
      {block3 + 10, block3 + 20, 3},                    // inside the last header
      {block2 + 23, headers[2].OffsetToNextHeader, 2},  // inside block 2's data
      {block3, block3 + 20, 3},                         // the last block missing
      {0, 20, 0},                                       // nothing at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("cut at " + std::to_string(c.CutAt));
    TABSMemoryStream stored;
    replaceContent(stored, TBytes(full.begin(), full.begin() + c.CutAt));
    EXPECT_EQ(errorOf([&] { reopen(stored, descriptor); }),
              "Stream size = " + std::to_string(c.CutAt) + " too small. Should be at least = " +
                  std::to_string(c.NeededSize) + " - Native error: 10082");

    auto blob = reopen(stored, descriptor, /*Repair*/ true);
    EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, c.BlocksKept);
    EXPECT_EQ(blob->GetSize(), c.BlocksKept * 100);
    TBytes expected(data.begin(), data.begin() + c.BlocksKept * 100);
    EXPECT_EQ(contentOf(*blob), expected);
    // Appending after a repair replaces the broken tail.
    writeAt(*blob, blob->GetSize(), {'e', 'n', 'd'});
    expected.insert(expected.end(), {'e', 'n', 'd'});
    auto again = reopen(stored, blob->BLOBDescriptor());
    EXPECT_EQ(contentOf(*again), expected);
  }
}

TEST(TABSCompressedBLOBStream, PlainStreamTooShort) {
  TABSMemoryStream stored;
  replaceContent(stored, pattern(50));
  for (const int64_t start : {0, 20}) {
    TABSBLOBDescriptor descriptor = descriptorOf(acaNone, 0, 0, start);
    descriptor.UncompressedSize = 100;
    EXPECT_EQ(errorOf([&] { reopen(stored, descriptor); }),
              "Stream size = 50 too small. Should be at least = " + std::to_string(start + 100) +
                  " - Native error: 10081");
    auto blob = reopen(stored, descriptor, /*Repair*/ true);
    EXPECT_EQ(blob->GetSize(), 50 - start);
    const TBytes all = pattern(50);
    EXPECT_EQ(contentOf(*blob), TBytes(all.begin() + start, all.end()));
  }
}

TEST(TABSCompressedBLOBStream, ChainThatContradictsItselfOrItsDescriptor) {
  const TBytes data = pattern(150);
  const THandBlock full = zlibBlock(TBytes(data.begin(), data.begin() + 100));
  const THandBlock half = zlibBlock(TBytes(data.begin() + 100, data.end()));
  TBytes badOffset = chainOf({full, half});
  badOffset[12] ^= 0x01;  // block 0's OffsetToNextHeader
  const struct {
    const char* Name;
    TBytes Stored;
    int64_t UncompressedSize;
    std::string Message;
    int64_t RepairedSize;
  } cases[] = {
      {"partial block in the middle", chainOf({half, full}), 150,
       "Decompress buffer failed. CompAlg = 1, InSize = " + std::to_string(full.Compressed.size()) +
           ", OutSize = 100 - Native error: 10087",
       50},
      {"offset to the next header off", badOffset, 150,
       "Decompress buffer failed. CompAlg = 1, InSize = " + std::to_string(full.Compressed.size()) +
           ", OutSize = 100 - Native error: 10087",
       0},
      {"descriptor size off", chainOf({full, half}), 151,
       "Decompress buffer failed. UncompSize = 151, Header.UncompSize = 150 - Native error: 10088",
       150},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TABSMemoryStream stored;
    replaceContent(stored, c.Stored);
    TABSBLOBDescriptor descriptor = descriptorOf(acaZLIB, 6, 100);
    descriptor.NumBlocks = 2;
    descriptor.UncompressedSize = c.UncompressedSize;
    EXPECT_EQ(errorOf([&] { reopen(stored, descriptor); }), c.Message);
    auto blob = reopen(stored, descriptor, /*Repair*/ true);
    EXPECT_EQ(blob->GetSize(), c.RepairedSize);
    EXPECT_EQ(blob->BLOBDescriptor().UncompressedSize, c.RepairedSize);
  }
}

}  // namespace
