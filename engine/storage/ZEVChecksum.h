// The engine's checksum: the table-driven CRC-32 of the reflected polynomial 0xEDB88320,
// started from a seed and without the final inversion of the usual CRC-32 (so it is not
// crc32() of zlib). The engine always passes seed 0; the checksum of "abc" is 0xCA6598D0.
// Pure function, thread-safe, raises nothing.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t CalcCRC32(uint32_t Seed, const void* Buffer, size_t Length);
