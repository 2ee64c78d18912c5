#include "engine/storage/ZEVOSServices.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/sysinfo.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "engine/storage/ZEVOSFile.h"

namespace zev {
namespace {

std::atomic<uint32_t> gRandSeed{0};

uint32_t nextRandSeed() {
  uint32_t seed = gRandSeed.load(std::memory_order_relaxed);
  uint32_t next;
  do {
    next = seed * 134775813u + 1u;
  } while (!gRandSeed.compare_exchange_weak(seed, next, std::memory_order_relaxed));
  return next;
}

uint64_t memAvailableFromProc() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  uint64_t value = 0;
  std::string unit;
  while (meminfo >> key >> value) {
    std::getline(meminfo, unit);
    if (key == "MemAvailable:") return value * 1024;  // the kernel counts in kB
  }
  return 0;
}

timespec monotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

void fillRandom(uint8_t* Bytes, size_t Count) {
  size_t done = 0;
  while (done < Count) {
    const ssize_t n = getrandom(Bytes + done, Count - done, 0);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      std::random_device device;
      for (; done < Count; ++done) Bytes[done] = static_cast<uint8_t>(device());
    }
  }
}

}  // namespace

uint64_t GetAvailablePhysicalMemory() {
  if (uint64_t available = memAvailableFromProc()) return available;
  struct sysinfo info {};
  if (sysinfo(&info) != 0) return 0;
  return (static_cast<uint64_t>(info.freeram) + info.bufferram) * info.mem_unit;
}

void Sleep(uint32_t Milliseconds) {
  timespec until = monotonicNow();
  until.tv_sec += Milliseconds / 1000;
  until.tv_nsec += static_cast<long>(Milliseconds % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

uint32_t GetTickCount() {
  const timespec now = monotonicNow();
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void Randomize() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const uint64_t ns =
      static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
  gRandSeed.store(static_cast<uint32_t>(ns ^ (ns >> 32)), std::memory_order_relaxed);
}

void SetRandSeed(int32_t Seed) {
  gRandSeed.store(static_cast<uint32_t>(Seed), std::memory_order_relaxed);
}

int32_t GetRandSeed() { return static_cast<int32_t>(gRandSeed.load(std::memory_order_relaxed)); }

int32_t Random(int32_t Range) {
  const uint32_t seed = nextRandSeed();
  if (Range <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(seed) * static_cast<uint32_t>(Range)) >> 32);
}

double Random() { return nextRandSeed() * (1.0 / 4294967296.0); }

AnsiString GetTempDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string dir = tmpdir && *tmpdir ? tmpdir : "/tmp";
  if (dir.back() != '/') dir += '/';
  return AnsiFromUtf8(dir);
}

AnsiString CreateTempFile(const AnsiString& Directory, const AnsiString& Prefix) {
  std::string pattern = Utf8FromAnsi(Directory.empty() ? GetTempDirectory() : Directory);
  if (pattern.back() != '/') pattern += '/';
  static constexpr char kSuffix[] = ".tmp";
  pattern += Utf8FromAnsi(Prefix) + "XXXXXX" + kSuffix;
  const int fd = mkostemps(pattern.data(), sizeof kSuffix - 1, O_CLOEXEC);
  if (fd < 0) {
    SetLastOSError(errno);
    return AnsiString();
  }
  close(fd);
  return AnsiFromUtf8(pattern);
}

AnsiString CreateGuidText() {
  uint8_t bytes[16];
  fillRandom(bytes, sizeof bytes);
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4: random
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  static constexpr char kHex[] = "0123456789ABCDEF";
  AnsiString text = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  text += '}';
  return text;
}

}  // namespace zev
