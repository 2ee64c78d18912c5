// Costs of the operating-system layer's calls that the engine makes most often: a one-byte
// lock and unlock (through a writable and a read-only handle, which takes the emulated path),
// and a positioned read of one 4 KiB page.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/storage/ZEVOSFile.h"

namespace {

// A scratch file in the temporary directory, removed at the end.
class TScratchFile {
 public:
  explicit TScratchFile(int64_t Size) {
    const char* tmpdir = getenv("TMPDIR");
    FPath = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/zevbenchXXXXXX";
    const int fd = mkstemp(FPath.data());
    if (fd >= 0) close(fd);
    zev::TOSFile file;
    if (file.Open(FPath, zev::TOSAccess::ReadWrite, zev::TOSShare::ShareNone)) file.SetSize(Size);
  }
  ~TScratchFile() { unlink(FPath.c_str()); }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

void BM_LockUnlockOneByte(benchmark::State& State) {
  TScratchFile scratch(4096);
  const auto access = State.range(0) ? zev::TOSAccess::ReadWrite : zev::TOSAccess::Read;
  zev::TOSFile file;
  if (!file.Open(scratch.Path(), access, zev::TOSShare::ShareReadWrite)) {
    State.SkipWithError("cannot open the scratch file");
    return;
  }
  for (auto _ : State) {
    benchmark::DoNotOptimize(file.LockBytes(360, 1));
    benchmark::DoNotOptimize(file.UnlockBytes(360, 1));
  }
}
BENCHMARK(BM_LockUnlockOneByte)->ArgName("writable")->Arg(1)->Arg(0);

void BM_ReadPage(benchmark::State& State) {
  constexpr int64_t kPageSize = 4096, kPages = 256;
  TScratchFile scratch(kPageSize * kPages);
  zev::TOSFile file;
  if (!file.Open(scratch.Path(), zev::TOSAccess::Read, zev::TOSShare::ShareReadWrite)) {
    State.SkipWithError("cannot open the scratch file");
    return;
  }
  std::vector<char> page(kPageSize);
  int64_t pageNo = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(file.Read(page.data(), kPageSize, pageNo * kPageSize));
    pageNo = (pageNo + 37) % kPages;
  }
  State.SetBytesProcessed(State.iterations() * kPageSize);
}
BENCHMARK(BM_ReadPage);

}  // namespace
