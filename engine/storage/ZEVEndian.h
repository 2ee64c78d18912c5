// Little-endian reading and writing of integers and doubles in byte buffers: every number the
// engine stores goes through these, never through the layout of a C++ struct.
// Requires: the buffer holds the bytes read or written. Pure functions; nothing raises.
#pragma once

#include <bit>
#include <cstdint>

namespace zev {

inline uint16_t GetUInt16LE(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline int16_t GetInt16LE(const uint8_t* p) { return static_cast<int16_t>(GetUInt16LE(p)); }
inline uint32_t GetUInt32LE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline int32_t GetInt32LE(const uint8_t* p) { return static_cast<int32_t>(GetUInt32LE(p)); }
inline uint64_t GetUInt64LE(const uint8_t* p) {
  return static_cast<uint64_t>(GetUInt32LE(p)) | static_cast<uint64_t>(GetUInt32LE(p + 4)) << 32;
}
inline int64_t GetInt64LE(const uint8_t* p) { return static_cast<int64_t>(GetUInt64LE(p)); }
inline double GetDoubleLE(const uint8_t* p) { return std::bit_cast<double>(GetUInt64LE(p)); }

inline void PutUInt16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutInt16LE(uint8_t* p, int16_t v) { PutUInt16LE(p, static_cast<uint16_t>(v)); }
inline void PutUInt32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutInt32LE(uint8_t* p, int32_t v) { PutUInt32LE(p, static_cast<uint32_t>(v)); }
inline void PutUInt64LE(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutInt64LE(uint8_t* p, int64_t v) { PutUInt64LE(p, static_cast<uint64_t>(v)); }
inline void PutDoubleLE(uint8_t* p, double v) { PutUInt64LE(p, std::bit_cast<uint64_t>(v)); }

}  // namespace zev
