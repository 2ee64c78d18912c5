// Costs of a record index over one integer column (the primary key of the module's tables) on
// a database file with 4096-byte pages: inserting 1 000 000 keys (in ascending and in random
// order, the changes applied to the file every 10 000 inserts) and point searches among them.
// Reported as items per second.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/ZEVDiskPageManager.h"
#include "engine/storage/ZEVEndian.h"
#include "engine/tables/ABSBTreeIndex.h"

namespace {

constexpr int32_t kSession = 0;
constexpr int32_t kKeyCount = 1000000;

class TScratchIndex {
 public:
  TScratchIndex() {
    const char* tmpdir = getenv("TMPDIR");
    FPath = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/zevbtreebenchXXXXXX";
    const int fd = mkstemp(FPath.data());
    if (fd >= 0) close(fd);
    unlink(FPath.c_str());
    FManager = std::make_unique<zev::TABSDiskPageManager>();
    FManager->CreateAndOpenDatabase(FPath, zev::TABSPassword{}, 4096, 8);
    zev::TABSFieldDef* id = FFields.AddCreated();
    id->FName = "Id";
    id->SetFieldDefDataType(zev::aftAutoInc, 0);
    FFields.RecalcFieldOffsets();
    FDef.FName = "idxPrimaryKey";
    FDef.FPrimary = true;
    zev::TABSIndexColumn column;
    column.FFieldName = "Id";
    FDef.FIndexColumns.push_back(column);
    FIndex = std::make_unique<zev::TABSBTreeRecordIndex>(FDef, *FManager, FFields, nullptr);
    FIndex->CreateIndex(kSession);
    FManager->ApplyChanges(kSession);
  }
  ~TScratchIndex() {
    FIndex.reset();
    FManager.reset();
    unlink(FPath.c_str());
  }

  // Row buffer of one key: the null bitmap (clear) and the 32-bit value.
  static std::vector<uint8_t> rowOf(int32_t Key) {
    std::vector<uint8_t> row(5, 0);
    zev::PutInt32LE(row.data() + 1, Key);
    return row;
  }

  void Insert(int32_t Key) {
    const std::vector<uint8_t> row = rowOf(Key);
    zev::TABSIndexRowOperation operation;
    operation.SessionID = kSession;
    operation.CurrentRecordBuffer = row.data();
    operation.CurrentRecordID.PageNo = Key;
    FIndex->InsertRecord(operation);
  }
  bool Find(int32_t Key) {
    const std::vector<uint8_t> row = rowOf(Key);
    zev::TABSPageItemID found;
    return FIndex->FindRecordID(kSession, true, zev::scEqual, row.data(), 1, false, found);
  }
  void Apply() { FManager->ApplyChanges(kSession); }

 private:
  std::string FPath;
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
  zev::TABSFieldDefs FFields;
  zev::TABSIndexDef FDef;
  std::unique_ptr<zev::TABSBTreeRecordIndex> FIndex;
};

std::vector<int32_t> keysInOrder(bool Shuffled) {
  std::vector<int32_t> keys(kKeyCount);
  std::iota(keys.begin(), keys.end(), 1);
  if (Shuffled) std::shuffle(keys.begin(), keys.end(), std::mt19937(1));
  return keys;
}

void fill(TScratchIndex& Index, const std::vector<int32_t>& Keys) {
  for (size_t i = 0; i < Keys.size(); ++i) {
    Index.Insert(Keys[i]);
    if ((i + 1) % 10000 == 0) Index.Apply();
  }
  Index.Apply();
}

// Argument: 0 ascending keys, 1 random order.
void BM_BTreeInsertMillionKeys(benchmark::State& State) {
  const std::vector<int32_t> keys = keysInOrder(State.range(0) == 1);
  for (auto _ : State) {
    State.PauseTiming();
    auto index = std::make_unique<TScratchIndex>();
    State.ResumeTiming();
    fill(*index, keys);
    State.PauseTiming();
    index.reset();
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * kKeyCount);
}
BENCHMARK(BM_BTreeInsertMillionKeys)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_BTreePointSearch(benchmark::State& State) {
  static TScratchIndex* index = [] {
    static TScratchIndex built;
    fill(built, keysInOrder(true));
    return &built;
  }();
  std::mt19937 random(2);
  int64_t found = 0;
  for (auto _ : State) found += index->Find(static_cast<int32_t>(random() % kKeyCount) + 1);
  if (found != State.iterations()) State.SkipWithError("a key was not found");
  State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_BTreePointSearch);

}  // namespace
