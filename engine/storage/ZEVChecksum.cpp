#include "engine/storage/ZEVChecksum.h"

#include <array>

namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

}  // namespace

uint32_t CalcCRC32(uint32_t Seed, const void* Buffer, size_t Length) {
  const auto* p = static_cast<const uint8_t*>(Buffer);
  uint32_t crc = Seed;
  for (size_t i = 0; i < Length; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}
