// The operating-system services the engine uses besides files: memory size, sleeping and the
// tick count, the runtime's pseudo-random generator, critical sections, temporary files and
// GUIDs.
//
// Nothing here owns anything beyond the call, except the generator's seed, one per process,
// which is updated atomically: every function is thread-safe. Nothing raises; CreateTempFile
// answers an empty name on failure and sets LastOSError() (see ZEVOSFile.h).
#pragma once

#include <cstdint>
#include <mutex>

#include "engine/storage/ZEVCodePage.h"

namespace zev {

// The physical memory that can be given to new work without swapping, in bytes: MemAvailable
// of /proc/meminfo, or free plus buffer memory when the kernel does not report it.
uint64_t GetAvailablePhysicalMemory();

void Sleep(uint32_t Milliseconds);

// Milliseconds of a monotonic clock, wrapping after about 49.7 days; only differences count.
uint32_t GetTickCount();

// The Pascal runtime's generator: a 32-bit linear congruence, RandSeed := RandSeed *
// 134775813 + 1, stepped before each draw. The seed is 0 at start-up, as in that runtime.
void Randomize();  // seeds from the clock
void SetRandSeed(int32_t Seed);
int32_t GetRandSeed();
// 0 <= result < Range: the high half of the new seed times Range. Requires: Range > 0 (a
// smaller Range answers 0, still stepping the generator).
int32_t Random(int32_t Range);
// 0 <= result < 1: the new seed divided by 2^32.
double Random();

// Re-entrant within a thread; taken with std::lock_guard.
using TCriticalSection = std::recursive_mutex;

// TMPDIR, or /tmp when it is not set, always ending in '/'.
AnsiString GetTempDirectory();
// Creates a new empty file named Prefix, six unique characters and ".tmp" in Directory (the
// temporary directory when empty) and answers its full name; the caller removes it.
AnsiString CreateTempFile(const AnsiString& Directory = AnsiString(),
                          const AnsiString& Prefix = "ZEV");

// A new random (version 4) GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
AnsiString CreateGuidText();

}  // namespace zev
