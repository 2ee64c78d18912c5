#include "engine/storage/ZEVChecksum.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace {

TEST(Checksum, KnownValues) {
  const struct {
    std::string Bytes;
    uint32_t Seed, Expected;
  } cases[] = {
      {"abc", 0, 0xCA6598D0u},
      {"", 0, 0},
      {"", 0x12345678u, 0x12345678u},  // nothing to fold in: the seed itself
      {std::string(1, '\0'), 0, 0},    // a zero byte on a zero register stays zero
  };
  for (const auto& c : cases)
    EXPECT_EQ(CalcCRC32(c.Seed, c.Bytes.data(), c.Bytes.size()), c.Expected) << c.Bytes;
}

TEST(Checksum, IsTheStandardCrcWithoutItsInversions) {
  // The usual CRC-32 starts from 0xFFFFFFFF and inverts at the end: seeding with all ones and
  // inverting the result must give zlib's value.
  std::string text(1000, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7 + 3);
  const uLong zlibCrc = crc32(0, reinterpret_cast<const Bytef*>(text.data()), text.size());
  EXPECT_EQ(~CalcCRC32(0xFFFFFFFFu, text.data(), text.size()), zlibCrc);
}

TEST(Checksum, ChainsOverPieces) {
  const std::string text = "Gestion des d\xE9" "chets";
  const uint32_t whole = CalcCRC32(0, text.data(), text.size());
  const uint32_t first = CalcCRC32(0, text.data(), 5);
  EXPECT_EQ(CalcCRC32(first, text.data() + 5, text.size() - 5), whole);
}

}  // namespace
