#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/ZEVCompression.h"

namespace {

using namespace zev;

// Text with the letters and word lengths of French prose, the same on every run.
std::vector<uint8_t> frenchText(size_t Size) {
  static const char* const kWords[] = {"collecte", "des",        "déchets", "la",          "benne",
                                       "matière",  "tonne",      "prix",    "unitaire",    "et",
                                       "le",       "transport",  "devis",   "société",     "de",
                                       "pour",     "enlèvement", "carton",  "ferraille",   "bois",
                                       "verre",    "quantité",   "total",   "main-d'œuvre"};
  std::mt19937 random(1234);
  std::vector<uint8_t> text;
  text.reserve(Size + 16);
  while (text.size() < Size) {
    const char* word = kWords[random() % (sizeof kWords / sizeof kWords[0])];
    text.insert(text.end(), word, word + std::strlen(word));
    text.push_back(random() % 11 == 0 ? '.' : ' ');
  }
  text.resize(Size);
  return text;
}

std::vector<uint8_t> randomBytes(size_t Size, uint32_t Seed) {
  std::mt19937 random(Seed);
  std::vector<uint8_t> bytes(Size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

std::vector<uint8_t> compressed(TABSCompressionAlgorithm Algorithm, uint8_t Mode,
                                const std::vector<uint8_t>& Data) {
  std::vector<uint8_t> out;
  int64_t outSize = -1;
  EXPECT_TRUE(CompressBuffer(Algorithm, Mode, Data.data(), static_cast<int64_t>(Data.size()), out,
                             outSize));
  EXPECT_EQ(outSize, static_cast<int64_t>(out.size()));
  return out;
}

// --- Records and names ------------------------------------------------------------------------

TEST(TABSCompression, LoadAndStoreUseThreeBytesInOrder) {
  TABSCompression c;
  c.CompressionAlgorithm = acaBZIP;
  c.CompressionMode = 9;
  c.CompressionLevel = aclMaximum;
  uint8_t bytes[TABSCompression::Size + 1] = {0, 0, 0, 0xEE};
  c.Store(bytes);
  EXPECT_EQ(TABSCompression::Size, 3u);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[1], 9);
  EXPECT_EQ(bytes[2], 3);
  EXPECT_EQ(bytes[3], 0xEE);
  TABSCompression loaded;
  loaded.Load(bytes);
  EXPECT_EQ(loaded.CompressionAlgorithm, acaBZIP);
  EXPECT_EQ(loaded.CompressionMode, 9);
  EXPECT_EQ(loaded.CompressionLevel, aclMaximum);
}

TEST(CompressionAlgorithmNames, LookupIgnoresCaseAndDefaultsToNone) {
  const struct {
    const char* Name;
    TABSCompressionAlgorithm Expected;
  } cases[] = {{"NONE", acaNone}, {"zlib", acaZLIB},  {"Bzip", acaBZIP},
               {"ppm", acaPPM},   {"PPM", acaPPM},    {"", acaNone},
               {"LZMA", acaNone}, {"ZLIB ", acaNone}, {"BZIP2", acaNone}};
  for (const auto& c : cases) EXPECT_EQ(CompressionAlgorithmFromName(c.Name), c.Expected) << c.Name;
  EXPECT_EQ(CompressionAlgorithmName(acaNone), "NONE");
  EXPECT_EQ(CompressionAlgorithmName(acaZLIB), "ZLIB");
  EXPECT_EQ(CompressionAlgorithmName(acaBZIP), "BZIP");
  EXPECT_EQ(CompressionAlgorithmName(acaPPM), "PPM");
  EXPECT_EQ(CompressionAlgorithmName(static_cast<TABSCompressionAlgorithm>(9)), "NONE");
}

// --- zlib and bzip2 ---------------------------------------------------------------------------

TEST(CompressBuffer, ZlibAtModeOneIsAStandardZlibStream) {
  const std::vector<uint8_t> text = frenchText(30000);
  const std::vector<uint8_t> out = compressed(acaZLIB, 1, text);
  ASSERT_GE(out.size(), 6u);
  // RFC 1950 header: deflate with a 32 KiB window, check bits, the fastest level.
  EXPECT_EQ(out[0], 0x78);
  EXPECT_EQ((out[0] * 256 + out[1]) % 31, 0);
  EXPECT_EQ(out[1] >> 6, 0);
  std::vector<uint8_t> back(text.size() + 100);
  uLongf backSize = back.size();
  ASSERT_EQ(uncompress(back.data(), &backSize, out.data(), out.size()), Z_OK);
  back.resize(backSize);
  EXPECT_EQ(back, text);
}

struct TRoundTrip {
  TABSCompressionAlgorithm Algorithm;
  uint8_t Mode;
  const char* Data;  // "text", "random", "zeros", "byte"
  size_t Size;
};

class CompressionRoundTrip : public testing::TestWithParam<TRoundTrip> {};

std::vector<uint8_t> dataOf(const TRoundTrip& c) {
  const std::string kind = c.Data;
  if (kind == "text") return frenchText(c.Size);
  if (kind == "random") return randomBytes(c.Size, 99);
  return std::vector<uint8_t>(c.Size, kind == "byte" ? 'x' : 0);
}

// With the exact length, without any (the buffer grows from a guess) and with one that is too
// small (the buffer grows from it), every mode gives back the input and its real length.
TEST_P(CompressionRoundTrip, RestoresTheInputWithAndWithoutExpectedLength) {
  const TRoundTrip& c = GetParam();
  const std::vector<uint8_t> data = dataOf(c);
  const std::vector<uint8_t> packed = compressed(c.Algorithm, c.Mode, data);
  ASSERT_FALSE(packed.empty());
  const int64_t expectations[] = {static_cast<int64_t>(data.size()), 0, 1};
  for (const int64_t expected : expectations) {
    std::vector<uint8_t> out;
    int64_t outSize = expected;
    AnsiString detail = "old";
    ASSERT_TRUE(DecompressBuffer(c.Algorithm, packed.data(), static_cast<int64_t>(packed.size()),
                                 outSize, out, &detail))
        << "expected " << expected;
    EXPECT_EQ(outSize, static_cast<int64_t>(data.size()));
    EXPECT_TRUE(out == data) << "expected " << expected;
    EXPECT_EQ(detail, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CompressionRoundTrip,
    testing::Values(TRoundTrip{acaZLIB, 0, "text", 70000}, TRoundTrip{acaZLIB, 1, "byte", 1},
                    TRoundTrip{acaZLIB, 1, "text", 102400},
                    TRoundTrip{acaZLIB, 6, "random", 300000},
                    TRoundTrip{acaZLIB, 9, "zeros", 1 << 20}, TRoundTrip{acaZLIB, 9, "text", 5000},
                    TRoundTrip{acaBZIP, 1, "byte", 1}, TRoundTrip{acaBZIP, 1, "random", 300000},
                    TRoundTrip{acaBZIP, 5, "text", 102400},
                    TRoundTrip{acaBZIP, 9, "zeros", 1 << 20},
                    TRoundTrip{acaBZIP, 9, "text", 250000}));

TEST(CompressBuffer, RefusesWhatItCannotCompress) {
  const std::vector<uint8_t> text = frenchText(1000);
  const struct {
    TABSCompressionAlgorithm Algorithm;
    uint8_t Mode;
    int64_t Size;
    const char* Why;
  } cases[] = {{acaNone, 0, 1000, "no algorithm"},
               {acaZLIB, 6, 0, "empty input"},
               {acaBZIP, 9, 0, "empty input"},
               {acaZLIB, 6, -5, "negative size"},
               {acaZLIB, 10, 1000, "zlib level above 9"},
               {acaBZIP, 0, 1000, "bzip2 block size 0"},
               {acaBZIP, 10, 1000, "bzip2 block size above 9"},
               {static_cast<TABSCompressionAlgorithm>(7), 1, 1000, "unknown algorithm"}};
  for (const auto& c : cases) {
    std::vector<uint8_t> out = {1, 2, 3};
    int64_t outSize = 77;
    EXPECT_FALSE(CompressBuffer(c.Algorithm, c.Mode, text.data(), c.Size, out, outSize)) << c.Why;
    EXPECT_TRUE(out.empty()) << c.Why;
    EXPECT_EQ(outSize, 0) << c.Why;
  }
}

// Damaged compressed data answers false, whatever the damage, with and without an expected
// length; the sanitizer build checks that no damage makes the decoders step out of bounds.
TEST(DecompressBuffer, RefusesCorruptAndTruncatedInput) {
  const std::vector<uint8_t> text = frenchText(20000);
  using TDamage = std::vector<uint8_t> (*)(std::vector<uint8_t>);
  const struct {
    const char* Name;
    TDamage Damage;
  } damages[] = {
      {"cut to half",
       [](std::vector<uint8_t> b) {
         b.resize(b.size() / 2);
         return b;
       }},
      {"cut to one byte",
       [](std::vector<uint8_t> b) {
         b.resize(1);
         return b;
       }},
      {"last byte missing",
       [](std::vector<uint8_t> b) {
         b.pop_back();
         return b;
       }},
      {"header only",
       [](std::vector<uint8_t> b) {
         b.resize(4);
         return b;
       }},
      {"first byte changed",
       [](std::vector<uint8_t> b) {
         b[0] ^= 0x5A;
         return b;
       }},
      {"byte in the middle changed",
       [](std::vector<uint8_t> b) {
         b[b.size() / 2] ^= 0x10;
         return b;
       }},
      {"checksum at the end changed",
       [](std::vector<uint8_t> b) {
         b[b.size() - 2] ^= 0x01;
         return b;
       }},
      {"all zeros",
       [](std::vector<uint8_t> b) {
         std::fill(b.begin(), b.end(), 0);
         return b;
       }},
      {"all ones",
       [](std::vector<uint8_t> b) {
         std::fill(b.begin(), b.end(), 0xFF);
         return b;
       }},
      {"random bytes", [](std::vector<uint8_t> b) { return randomBytes(b.size(), 7); }},
      {"random tail",
       [](std::vector<uint8_t> b) {
         const auto tail = randomBytes(b.size() - 10, 8);
         std::copy(tail.begin(), tail.end(), b.begin() + 10);
         return b;
       }},
  };
  for (const TABSCompressionAlgorithm algorithm : {acaZLIB, acaBZIP}) {
    const std::vector<uint8_t> packed = compressed(algorithm, 6, text);
    for (const auto& d : damages) {
      const std::vector<uint8_t> bad = d.Damage(packed);
      for (const int64_t expected : {static_cast<int64_t>(text.size()), int64_t{0}}) {
        std::vector<uint8_t> out;
        int64_t outSize = expected;
        EXPECT_FALSE(
            DecompressBuffer(algorithm, bad.data(), static_cast<int64_t>(bad.size()), outSize, out))
            << CompressionAlgorithmName(algorithm) << ": " << d.Name << ", expected " << expected;
        EXPECT_EQ(outSize, 0);
        EXPECT_TRUE(out.empty());
      }
    }
  }
}

// Every prefix and every single flipped byte of a small stream: the checks of both formats
// (header, Adler-32, block and stream CRCs) turn each into a failure.
TEST(DecompressBuffer, RefusesEveryPrefixAndEveryFlippedByte) {
  const std::vector<uint8_t> text = frenchText(3000);
  for (const TABSCompressionAlgorithm algorithm : {acaZLIB, acaBZIP}) {
    const std::vector<uint8_t> packed = compressed(algorithm, 1, text);
    std::vector<uint8_t> out;
    for (size_t i = 0; i < packed.size(); ++i) {
      int64_t outSize = 0;
      EXPECT_FALSE(
          DecompressBuffer(algorithm, packed.data(), static_cast<int64_t>(i), outSize, out))
          << CompressionAlgorithmName(algorithm) << " prefix of " << i;
      std::vector<uint8_t> flipped = packed;
      flipped[i] ^= 0xFF;
      outSize = 3000;
      EXPECT_FALSE(DecompressBuffer(algorithm, flipped.data(), static_cast<int64_t>(flipped.size()),
                                    outSize, out))
          << CompressionAlgorithmName(algorithm) << " byte " << i << " flipped";
    }
  }
}

TEST(DecompressBuffer, RefusesImpossibleArguments) {
  const std::vector<uint8_t> packed = compressed(acaZLIB, 6, frenchText(1000));
  const auto size = static_cast<int64_t>(packed.size());
  const struct {
    TABSCompressionAlgorithm Algorithm;
    int64_t InSize, Expected;
    const char* Why;
  } cases[] = {{acaNone, size, 1000, "no algorithm"},
               {acaZLIB, 0, 1000, "empty input"},
               {acaZLIB, size, -1, "negative expected length"},
               {acaBZIP, size, INT64_MIN, "negative expected length"},
               {acaZLIB, size, int64_t{INT32_MAX} + 1, "expected length beyond 32 bits"},
               {acaBZIP, size, 1000, "zlib data read as bzip2"}};
  for (const auto& c : cases) {
    std::vector<uint8_t> out;
    int64_t outSize = c.Expected;
    EXPECT_FALSE(DecompressBuffer(c.Algorithm, packed.data(), c.InSize, outSize, out)) << c.Why;
    EXPECT_EQ(outSize, 0) << c.Why;
  }
}

// An expected length far beyond what the input can hold is only a guess: the real length wins.
TEST(DecompressBuffer, AnExpectedLengthTooLargeGivesTheRealOne) {
  const std::vector<uint8_t> text = frenchText(3000);
  for (const TABSCompressionAlgorithm algorithm : {acaZLIB, acaBZIP}) {
    const std::vector<uint8_t> packed = compressed(algorithm, 1, text);
    std::vector<uint8_t> out;
    int64_t outSize = 50000000;
    ASSERT_TRUE(DecompressBuffer(algorithm, packed.data(), static_cast<int64_t>(packed.size()),
                                 outSize, out));
    EXPECT_EQ(outSize, 3000);
    EXPECT_TRUE(out == text);
  }
}

// --- PPM --------------------------------------------------------------------------------------

TEST(PPM, ParametersOfEachLevelWithTheModeClamped) {
  const struct {
    uint8_t Mode;
    int Order, MemoryMiB;
  } cases[] = {{0, 2, 2},  {1, 2, 2},   {2, 3, 3},    {3, 4, 7},    {4, 5, 16},    {5, 7, 22},
               {6, 8, 25}, {7, 10, 40}, {8, 13, 100}, {9, 16, 100}, {10, 16, 100}, {255, 16, 100}};
  for (const auto& c : cases) {
    const TPPMParameters p = PPMParametersOfMode(c.Mode);
    EXPECT_EQ(p.Order, c.Order) << int(c.Mode);
    EXPECT_EQ(p.MemoryMiB, c.MemoryMiB) << int(c.Mode);
  }
}

TEST(PPM, HeaderWordLayout) {
  // Level 5: order 7, 22 MiB.
  EXPECT_EQ(EncodePPMHeader({7, 22}), 6u | 21u << 4 | 6u << 12);
  EXPECT_EQ(EncodePPMHeader({16, 256}), 0x6FFFu);
  EXPECT_EQ(EncodePPMHeader({1, 1}), 0x6000u);
  for (uint8_t mode = 1; mode <= 9; ++mode) {
    const TPPMParameters p = PPMParametersOfMode(mode);
    TPPMParameters back{};
    ASSERT_TRUE(DecodePPMHeader(EncodePPMHeader(p), back));
    EXPECT_EQ(back.Order, p.Order);
    EXPECT_EQ(back.MemoryMiB, p.MemoryMiB);
  }
  EXPECT_EQ(PPMInitialOutputSize(0), 50);
  EXPECT_EQ(PPMInitialOutputSize(1000), 1100);
  EXPECT_EQ(PPMInitialOutputSize(39), 90);
}

TEST(PPM, HeaderOfAnotherVariantIsRefused) {
  for (uint32_t variant = 0; variant < 16; ++variant) {
    TPPMParameters p{-1, -1};
    const uint32_t word = 0x0153 | variant << 12;
    EXPECT_EQ(DecodePPMHeader(word, p), variant == 6) << variant;
    if (variant != 6) {
      EXPECT_EQ(p.Order, -1);
      EXPECT_EQ(p.MemoryMiB, -1);
    } else {
      EXPECT_EQ(p.Order, 4);
      EXPECT_EQ(p.MemoryMiB, 0x15 + 1);
    }
  }
}

TEST(PPM, CompressionFailsWithItsDetailText) {
  const std::vector<uint8_t> text = frenchText(1000);
  std::vector<uint8_t> out;
  int64_t outSize = 0;
  AnsiString detail;
  EXPECT_FALSE(CompressBuffer(acaPPM, 6, text.data(), 1000, out, outSize, &detail));
  EXPECT_EQ(detail, "PPM Compression error");
  EXPECT_TRUE(out.empty());
}

TEST(PPM, DecompressionFailuresAndTheirDetailTexts) {
  auto withHeader = [](uint32_t Word) {
    std::vector<uint8_t> b = {
        uint8_t(Word), uint8_t(Word >> 8), uint8_t(Word >> 16), uint8_t(Word >> 24), 1, 2, 3, 4};
    return b;
  };
  const struct {
    std::vector<uint8_t> Input;
    int64_t Expected;
    const char* Detail;
  } cases[] = {
      {withHeader(EncodePPMHeader({4, 7})), 0, "PPM DecpmpressBuf: OutSize must be set"},
      {withHeader(EncodePPMHeader({4, 7})), 100, "PPM Decompression error"},
      {withHeader(0x5036), 100, "PPM Decompression error"},  // variant 5
      {{0x36, 0x60}, 100, "PPM Decompression error"},        // shorter than the header word
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out;
    int64_t outSize = c.Expected;
    AnsiString detail;
    EXPECT_FALSE(DecompressBuffer(acaPPM, c.Input.data(), static_cast<int64_t>(c.Input.size()),
                                  outSize, out, &detail));
    EXPECT_EQ(detail, c.Detail);
    EXPECT_EQ(outSize, 0);
  }
}

}  // namespace
