// Buffer compression of the engine: the algorithms a BLOB field or an internal file may be
// stored with, their text names, the 3-byte compression record, and CompressBuffer /
// DecompressBuffer, which turn one buffer into a new one.
//
// zlib writes the zlib stream format (header, deflate data, Adler-32) at the mode as level;
// bzip2 uses the mode as block size in units of 100 000 bytes. PPM (PPMd variant G) has its
// header word and parameter table here; its coder is not built yet, so acaPPM fails cleanly
// with its own failure texts in both directions.
//
// Ownership: the output buffer is a std::vector the caller passes in and then owns. Locking:
// zlib and bzip2 keep their state per call, so calls may run in any thread; PPM calls are
// serialised process-wide, as the coder keeps its model in shared memory. Errors: nothing
// raises. A failure answers false with an empty output and, where the algorithm has one, a
// detail text for the caller's error report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/storage/ZEVCodePage.h"

namespace zev {

// Stored as one byte in BLOB descriptors, field definitions and internal-file headers.
enum TABSCompressionAlgorithm : uint8_t {
  acaNone = 0,
  acaZLIB = 1,
  acaBZIP = 2,
  acaPPM = 3,
};

enum TABSCompressionLevel : uint8_t {
  aclNone = 0,
  aclFastest = 1,
  aclNormal = 2,
  aclMaximum = 3,
};

// Algorithm, mode byte (zlib level 0..9, bzip2 block size 1..9, PPM level 1..9) and level.
//
//   offset 0  CompressionAlgorithm  uint8
//   offset 1  CompressionMode       uint8
//   offset 2  CompressionLevel      uint8
struct TABSCompression {
  TABSCompressionAlgorithm CompressionAlgorithm = acaNone;
  uint8_t CompressionMode = 0;
  TABSCompressionLevel CompressionLevel = aclNone;

  static constexpr size_t Size = 3;
  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;
};

// "NONE", "ZLIB", "BZIP", "PPM"; looked up without regard to case, any other name is acaNone.
TABSCompressionAlgorithm CompressionAlgorithmFromName(const AnsiString& Name);
// The text name of an algorithm; a byte that is no algorithm is named "NONE".
AnsiString CompressionAlgorithmName(TABSCompressionAlgorithm Algorithm);

// Compresses InSize bytes at InBuffer with the algorithm at the mode. False for acaNone, an
// empty or negative input, an input above 2^31 - 1 bytes, a refusal of the algorithm (a mode
// it does not accept, for one) or an empty output. On success OutBuffer holds exactly the
// OutSize compressed bytes. ErrorDetail, when given, receives the algorithm's detail text of a
// failure, or is emptied. Requires: InBuffer points at InSize readable bytes.
bool CompressBuffer(TABSCompressionAlgorithm Algorithm, uint8_t CompressionMode,
                    const void* InBuffer, int64_t InSize, std::vector<uint8_t>& OutBuffer,
                    int64_t& OutSize, AnsiString* ErrorDetail = nullptr);

// Decompresses InSize bytes at InBuffer. OutSize brings the expected length (0 when none is
// known; PPM needs it) and returns the real one, which may differ from the expected. False as
// for CompressBuffer, for a negative expected length or one above 2^31 - 1, and for any
// corrupt or truncated input; a failure never reads or writes outside the given buffers.
bool DecompressBuffer(TABSCompressionAlgorithm Algorithm, const void* InBuffer, int64_t InSize,
                      int64_t& OutSize, std::vector<uint8_t>& OutBuffer,
                      AnsiString* ErrorDetail = nullptr);

// --- PPMd variant G parameters ---------------------------------------------------------------

struct TPPMParameters {
  int Order;      // model order, 2..16
  int MemoryMiB;  // model memory in MiB
};

// The order and memory of a PPM level; the mode is clamped to 1..9 first.
TPPMParameters PPMParametersOfMode(uint8_t CompressionMode);

// The 4-byte little-endian word in front of PPM data:
//
//   bits 0-3    order - 1
//   bits 4-11   memory in MiB - 1
//   bits 12-15  variant, 6 for "G"
//   bits 16-31  zero
//
// Requires: 1 <= Order <= 16 and 1 <= MemoryMiB <= 256.
uint32_t EncodePPMHeader(const TPPMParameters& Parameters);
// Reads order and memory from a header word; false, leaving Parameters alone, for any variant
// but 6.
bool DecodePPMHeader(uint32_t Word, TPPMParameters& Parameters);

// The first size of the PPM output buffer for InSize input bytes: n + n div 20 + 50.
int64_t PPMInitialOutputSize(int64_t InSize);

}  // namespace zev
