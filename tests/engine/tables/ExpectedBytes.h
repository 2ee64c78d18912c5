// Definition tests: expected stream bytes built item by item, and the content of a stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVStream.h"

namespace zev {

struct TBytes {
  std::vector<uint8_t> Data;
  TBytes& u8(uint8_t v) {
    Data.push_back(v);
    return *this;
  }
  TBytes& i32(int32_t v) {
    uint8_t b[4];
    PutInt32LE(b, v);
    Data.insert(Data.end(), b, b + 4);
    return *this;
  }
  TBytes& i64(int64_t v) {
    uint8_t b[8];
    PutInt64LE(b, v);
    Data.insert(Data.end(), b, b + 8);
    return *this;
  }
  TBytes& chars(const std::string& s) {
    Data.insert(Data.end(), s.begin(), s.end());
    return *this;
  }
};

inline std::vector<uint8_t> contentOf(TABSMemoryStream& Stream) {
  return std::vector<uint8_t>(Stream.Memory(), Stream.Memory() + Stream.GetSize());
}

}  // namespace zev
