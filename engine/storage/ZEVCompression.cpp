#include "engine/storage/ZEVCompression.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <mutex>
#include <new>
#include <string>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVErrorCodes.h"

namespace zev {
namespace {

// Lengths in the engine's formats are 32-bit, and zlib and bzip2 count in 32-bit units: no
// input, expected length or output buffer goes beyond this.
constexpr int64_t kMaxBufferSize = INT32_MAX;

// No deflate stream inflates to more than 1032 times its length (a 258-byte match in two
// bits); an expected length beyond that cannot be met and only costs memory.
constexpr int64_t kZlibMaxRatio = 1032;

constexpr std::array<const char*, 4> kAlgorithmNames = {"NONE", "ZLIB", "BZIP", "PPM"};

int64_t roundUpTo256(int64_t Value) { return (Value + 255) & ~int64_t{255}; }

void setDetail(AnsiString* ErrorDetail, const AnsiString& Text) {
  if (ErrorDetail) *ErrorDetail = Text;
}

// Grows Buffer to NewSize; false when that passes the size limit.
bool growBuffer(std::vector<uint8_t>& Buffer, int64_t NewSize) {
  if (NewSize > kMaxBufferSize) return false;
  Buffer.resize(static_cast<size_t>(NewSize));
  return true;
}

// --- zlib -------------------------------------------------------------------------------------

bool zlibCompress(uint8_t Level, const uint8_t* In, int64_t InSize, std::vector<uint8_t>& Out) {
  int64_t outSize = roundUpTo256(InSize + InSize / 10 + 12);
  if (!growBuffer(Out, outSize)) return false;
  z_stream strm{};
  if (deflateInit(&strm, Level) != Z_OK) return false;
  strm.next_in = const_cast<Bytef*>(In);
  strm.avail_in = static_cast<uInt>(InSize);
  strm.next_out = Out.data();
  strm.avail_out = static_cast<uInt>(outSize);
  bool ok = true;
  for (;;) {
    const int result = deflate(&strm, Z_FINISH);
    if (result == Z_STREAM_END) break;
    // Z_OK and Z_BUF_ERROR under Z_FINISH both mean that deflate needs more room.
    if (result != Z_OK && result != Z_BUF_ERROR) {
      ok = false;
      break;
    }
    outSize += 256;
    if (!growBuffer(Out, outSize)) {
      ok = false;
      break;
    }
    strm.next_out = Out.data() + strm.total_out;
    strm.avail_out = static_cast<uInt>(outSize - static_cast<int64_t>(strm.total_out));
  }
  const int64_t produced = static_cast<int64_t>(strm.total_out);
  if (deflateEnd(&strm) != Z_OK) ok = false;
  if (!ok) return false;
  Out.resize(static_cast<size_t>(produced));
  return true;
}

bool zlibDecompress(const uint8_t* In, int64_t InSize, int64_t Expected, std::vector<uint8_t>& Out,
                    AnsiString* ErrorDetail) {
  const int64_t increment = roundUpTo256(InSize);
  int64_t outSize = Expected > 0 ? std::min(Expected, InSize * kZlibMaxRatio + 1024) : increment;
  if (!growBuffer(Out, outSize)) return false;
  z_stream strm{};
  strm.next_in = const_cast<Bytef*>(In);
  strm.avail_in = static_cast<uInt>(InSize);
  const int initResult = inflateInit(&strm);
  if (initResult != Z_OK) {
    setDetail(ErrorDetail, errors::kInflateInitErrorDetail + std::to_string(initResult));
    return false;
  }
  strm.next_out = Out.data();
  strm.avail_out = static_cast<uInt>(outSize);
  bool ok = true;
  for (;;) {
    const int result = inflate(&strm, Z_NO_FLUSH);
    if (result == Z_STREAM_END) break;
    // Every error, and a stream that asks for a preset dictionary, ends the work.
    if (result != Z_OK) {
      ok = false;
      break;
    }
    outSize += increment;
    if (!growBuffer(Out, outSize)) {
      ok = false;
      break;
    }
    strm.next_out = Out.data() + strm.total_out;
    strm.avail_out = static_cast<uInt>(outSize - static_cast<int64_t>(strm.total_out));
  }
  const int64_t produced = static_cast<int64_t>(strm.total_out);
  if (inflateEnd(&strm) != Z_OK) ok = false;
  if (!ok) return false;
  Out.resize(static_cast<size_t>(produced));
  return true;
}

// --- bzip2 ------------------------------------------------------------------------------------

bool bzipCompress(uint8_t BlockSize, const uint8_t* In, int64_t InSize, std::vector<uint8_t>& Out) {
  // The room bzip2 guarantees to be enough: 1 % more than the input and 600 bytes. The
  // rounding is to nearest, ties to even.
  const int64_t outSize =
      static_cast<int64_t>(std::nearbyint(static_cast<double>(InSize) * 1.01)) + 600;
  Out.resize(static_cast<size_t>(outSize));
  unsigned int destLength = static_cast<unsigned int>(outSize);
  const int result = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(Out.data()), &destLength,
                                              const_cast<char*>(reinterpret_cast<const char*>(In)),
                                              static_cast<unsigned int>(InSize), BlockSize,
                                              /*verbosity*/ 0, /*workFactor: the default*/ 0);
  if (result != BZ_OK) return false;
  Out.resize(destLength);
  return true;
}

bool bzipDecompress(const uint8_t* In, int64_t InSize, int64_t Expected,
                    std::vector<uint8_t>& Out) {
  const int64_t increment = (10 * InSize + 65535) & ~int64_t{65535};
  int64_t outSize = Expected > 0 ? Expected : increment;
  for (;;) {
    if (!growBuffer(Out, outSize)) return false;
    unsigned int destLength = static_cast<unsigned int>(outSize);
    const int result = BZ2_bzBuffToBuffDecompress(
        reinterpret_cast<char*>(Out.data()), &destLength,
        const_cast<char*>(reinterpret_cast<const char*>(In)), static_cast<unsigned int>(InSize),
        /*small*/ 0, /*verbosity*/ 0);
    if (result == BZ_OK) {
      Out.resize(destLength);
      return true;
    }
    if (result != BZ_OUTBUFF_FULL) return false;
    outSize += increment;
  }
}

// --- PPM --------------------------------------------------------------------------------------

// One PPM compression or decompression at a time in the process: the coder's model lives in
// memory shared by all calls.
std::mutex& ppmMutex() {
  static std::mutex mutex;
  return mutex;
}

// The PPMd variant G coder is not built yet; until it is, both directions produce nothing,
// which the callers below report as the empty results they are.
bool ppmCompress(const TPPMParameters& /*Parameters*/, const uint8_t* /*In*/, int64_t /*InSize*/,
                 std::vector<uint8_t>& /*Out*/) {
  std::lock_guard<std::mutex> guard(ppmMutex());
  return false;
}

bool ppmDecompress(const TPPMParameters& /*Parameters*/, const uint8_t* /*CodedData*/,
                   int64_t /*CodedSize*/, int64_t /*OutSize*/, std::vector<uint8_t>& /*Out*/) {
  std::lock_guard<std::mutex> guard(ppmMutex());
  return false;
}

bool ppmCompressBuffer(uint8_t Mode, const uint8_t* In, int64_t InSize, std::vector<uint8_t>& Out,
                       AnsiString* ErrorDetail) {
  if (!ppmCompress(PPMParametersOfMode(Mode), In, InSize, Out) || Out.empty()) {
    setDetail(ErrorDetail, errors::kPPMCompressionErrorDetail);
    return false;
  }
  return true;
}

bool ppmDecompressBuffer(const uint8_t* In, int64_t InSize, int64_t Expected,
                         std::vector<uint8_t>& Out, AnsiString* ErrorDetail) {
  if (Expected <= 0) {
    setDetail(ErrorDetail, errors::kPPMOutSizeNotSetDetail);
    return false;
  }
  TPPMParameters parameters{};
  const bool decoded =
      InSize >= 4 &&
      DecodePPMHeader(GetUInt32LE(In), parameters);
  // A refused header gives no result, like a failed decoding.
  if (!decoded || !ppmDecompress(parameters, In + 4, InSize - 4, Expected, Out) || Out.empty()) {
    setDetail(ErrorDetail, errors::kPPMDecompressionErrorDetail);
    return false;
  }
  return true;
}

bool inputAcceptable(TABSCompressionAlgorithm Algorithm, const void* InBuffer, int64_t InSize) {
  return Algorithm != acaNone && InBuffer != nullptr && InSize > 0 && InSize <= kMaxBufferSize;
}

}  // namespace

void TABSCompression::Load(const uint8_t* Buffer) {
  CompressionAlgorithm = static_cast<TABSCompressionAlgorithm>(Buffer[0]);
  CompressionMode = Buffer[1];
  CompressionLevel = static_cast<TABSCompressionLevel>(Buffer[2]);
}

void TABSCompression::Store(uint8_t* Buffer) const {
  Buffer[0] = CompressionAlgorithm;
  Buffer[1] = CompressionMode;
  Buffer[2] = CompressionLevel;
}

TABSCompressionAlgorithm CompressionAlgorithmFromName(const AnsiString& Name) {
  AnsiString upper = Name;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  for (size_t i = 0; i < kAlgorithmNames.size(); ++i)
    if (upper == kAlgorithmNames[i]) return static_cast<TABSCompressionAlgorithm>(i);
  return acaNone;
}

AnsiString CompressionAlgorithmName(TABSCompressionAlgorithm Algorithm) {
  return Algorithm < kAlgorithmNames.size() ? kAlgorithmNames[Algorithm] : kAlgorithmNames[0];
}

namespace {

// The common end of both directions: an empty or failed result is no result.
bool finishResult(bool Ok, std::vector<uint8_t>& OutBuffer, int64_t& OutSize) {
  if (!Ok || OutBuffer.empty()) {
    OutBuffer.clear();
    return false;
  }
  OutSize = static_cast<int64_t>(OutBuffer.size());
  return true;
}

}  // namespace

bool CompressBuffer(TABSCompressionAlgorithm Algorithm, uint8_t CompressionMode,
                    const void* InBuffer, int64_t InSize, std::vector<uint8_t>& OutBuffer,
                    int64_t& OutSize, AnsiString* ErrorDetail) {
  setDetail(ErrorDetail, AnsiString());
  OutBuffer.clear();
  OutSize = 0;
  if (!inputAcceptable(Algorithm, InBuffer, InSize)) return false;
  const auto* in = static_cast<const uint8_t*>(InBuffer);
  bool ok = false;
  try {
    switch (Algorithm) {
      case acaZLIB:
        ok = zlibCompress(CompressionMode, in, InSize, OutBuffer);
        break;
      case acaBZIP:
        ok = bzipCompress(CompressionMode, in, InSize, OutBuffer);
        break;
      case acaPPM:
        ok = ppmCompressBuffer(CompressionMode, in, InSize, OutBuffer, ErrorDetail);
        break;
      default:
        break;
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  return finishResult(ok, OutBuffer, OutSize);
}

bool DecompressBuffer(TABSCompressionAlgorithm Algorithm, const void* InBuffer, int64_t InSize,
                      int64_t& OutSize, std::vector<uint8_t>& OutBuffer, AnsiString* ErrorDetail) {
  setDetail(ErrorDetail, AnsiString());
  const int64_t expected = OutSize;
  OutBuffer.clear();
  OutSize = 0;
  if (!inputAcceptable(Algorithm, InBuffer, InSize) || expected < 0 || expected > kMaxBufferSize)
    return false;
  const auto* in = static_cast<const uint8_t*>(InBuffer);
  bool ok = false;
  try {
    switch (Algorithm) {
      case acaZLIB:
        ok = zlibDecompress(in, InSize, expected, OutBuffer, ErrorDetail);
        break;
      case acaBZIP:
        ok = bzipDecompress(in, InSize, expected, OutBuffer);
        break;
      case acaPPM:
        ok = ppmDecompressBuffer(in, InSize, expected, OutBuffer, ErrorDetail);
        break;
      default:
        break;
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  return finishResult(ok, OutBuffer, OutSize);
}

TPPMParameters PPMParametersOfMode(uint8_t CompressionMode) {
  static constexpr std::array<TPPMParameters, 9> kLevels = {
      {{2, 2}, {3, 3}, {4, 7}, {5, 16}, {7, 22}, {8, 25}, {10, 40}, {13, 100}, {16, 100}}};
  const int level = std::clamp<int>(CompressionMode, 1, 9);
  return kLevels[static_cast<size_t>(level - 1)];
}

uint32_t EncodePPMHeader(const TPPMParameters& Parameters) {
  constexpr uint32_t kVariantG = 'G' - 'A';
  return (static_cast<uint32_t>(Parameters.Order - 1) & 0x0F) |
         (static_cast<uint32_t>(Parameters.MemoryMiB - 1) & 0xFF) << 4 | kVariantG << 12;
}

bool DecodePPMHeader(uint32_t Word, TPPMParameters& Parameters) {
  constexpr uint32_t kVariantG = 'G' - 'A';
  if (((Word >> 12) & 0x0F) != kVariantG) return false;
  Parameters.Order = static_cast<int>(Word & 0x0F) + 1;
  Parameters.MemoryMiB = static_cast<int>((Word >> 4) & 0xFF) + 1;
  return true;
}

int64_t PPMInitialOutputSize(int64_t InSize) { return InSize + InSize / 20 + 50; }

}  // namespace zev
