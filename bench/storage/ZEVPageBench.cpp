// Costs of the page cache and the disk page manager: taking a cached page and giving it back,
// reading a page from the file (decrypting and checking it), committing a change set of one
// and of 64 pages, and allocating a page from the free-space maps.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/storage/ZEVDiskPageManager.h"

namespace {

constexpr int32_t kSession = 0;

class TScratchDatabase {
 public:
  explicit TScratchDatabase(const std::string& Password) {
    const char* tmpdir = getenv("TMPDIR");
    FPath = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/zevpagebenchXXXXXX";
    const int fd = mkstemp(FPath.data());
    if (fd >= 0) close(fd);
    unlink(FPath.c_str());
    zev::TABSDiskPageManagerSettings settings;
    settings.CacheCapacity = 1000;
    FManager = std::make_unique<zev::TABSDiskPageManager>(settings);
    FManager->CreateAndOpenDatabase(FPath, zev::TABSPassword{Password, zev::craRijndael_128},
                                    4096, 8);
  }
  ~TScratchDatabase() {
    FManager.reset();
    unlink(FPath.c_str());
  }
  zev::TABSDiskPageManager& Manager() { return *FManager; }

  std::vector<int32_t> AddPages(int Count) {
    std::vector<int32_t> pages;
    for (int i = 0; i < Count; ++i) {
      zev::TABSPage* page = FManager->AddPage(kSession, zev::ptTableRecord);
      std::memset(page->PageData(), i & 0xFF, page->PageDataSize());
      pages.push_back(page->PageNo());
      FManager->PutPage(page);
    }
    FManager->ApplyChanges(kSession);
    return pages;
  }

 private:
  std::string FPath;
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
};

void BM_GetPutCachedPage(benchmark::State& State) {
  TScratchDatabase db("");
  const std::vector<int32_t> pages = db.AddPages(64);
  size_t i = 0;
  for (auto _ : State) {
    zev::TABSPage* page = db.Manager().GetPage(kSession, pages[i], zev::ptTableRecord);
    benchmark::DoNotOptimize(page->PageData());
    db.Manager().PutPage(page);
    i = (i + 1) % pages.size();
  }
}
BENCHMARK(BM_GetPutCachedPage);

// Reads a page from the file every time: the cache is emptied between reads.
void BM_ReadPageFromFile(benchmark::State& State) {
  TScratchDatabase db(State.range(0) ? "secret" : "");
  const std::vector<int32_t> pages = db.AddPages(64);
  size_t i = 0;
  for (auto _ : State) {
    State.PauseTiming();
    db.Manager().FreeAllPages();
    State.ResumeTiming();
    zev::TABSPage* page = db.Manager().GetPage(kSession, pages[i], zev::ptTableRecord);
    benchmark::DoNotOptimize(page->PageData());
    db.Manager().PutPage(page);
    i = (i + 1) % pages.size();
  }
}
BENCHMARK(BM_ReadPageFromFile)->ArgName("encrypted")->Arg(0)->Arg(1);

void BM_CommitPages(benchmark::State& State) {
  TScratchDatabase db("secret");
  const std::vector<int32_t> pages = db.AddPages(static_cast<int>(State.range(0)));
  uint8_t fill = 0;
  for (auto _ : State) {
    for (int32_t pageNo : pages) {
      zev::TABSPage* page = db.Manager().GetPage(kSession, pageNo, zev::ptTableRecord);
      page->PageData()[0] = fill;
      page->SetIsDirty(true);
      db.Manager().PutPage(page);
    }
    db.Manager().ApplyChanges(kSession);
    ++fill;
  }
  State.SetItemsProcessed(State.iterations() * State.range(0));
}
BENCHMARK(BM_CommitPages)->ArgName("pages")->Arg(1)->Arg(64);

// Allocates and frees one page through the free-space maps, committing each time.
void BM_AllocateAndFreePage(benchmark::State& State) {
  TScratchDatabase db("");
  db.AddPages(100);
  for (auto _ : State) {
    zev::TABSPage* page = db.Manager().AddPage(kSession, zev::ptTableRecord);
    const int32_t pageNo = page->PageNo();
    db.Manager().PutPage(page);
    db.Manager().ApplyChanges(kSession);
    db.Manager().RemovePage(kSession, pageNo);
    db.Manager().ApplyChanges(kSession);
  }
}
BENCHMARK(BM_AllocateAndFreePage);

}  // namespace
