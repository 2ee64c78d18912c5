// Throughput of the buffer compression a BLOB block or a metadata file goes through: zlib at
// modes 1, 6 and 9 and bzip2 at modes 1 and 9, compressing and decompressing a 100 KiB block of
// French-like text. Bytes per second count the uncompressed bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/storage/ZEVCompression.h"

namespace {

using namespace zev;

constexpr size_t kBlockSize = 100 * 1024;

const std::vector<uint8_t>& frenchText() {
  static const std::vector<uint8_t> text = [] {
    static const char* const kWords[] = {
        "collecte", "des",      "déchets",      "la",      "benne",     "matière", "tonne",
        "prix",     "unitaire", "et",           "le",      "transport", "devis",   "société",
        "de",       "pour",     "enlèvement",   "carton",  "ferraille", "bois",    "verre",
        "quantité", "total",    "main-d'œuvre", "Valider", "entreprise"};
    std::mt19937 random(2024);
    std::vector<uint8_t> t;
    while (t.size() < kBlockSize) {
      const char* word = kWords[random() % (sizeof kWords / sizeof kWords[0])];
      t.insert(t.end(), word, word + std::strlen(word));
      t.push_back(random() % 9 == 0 ? '\n' : ' ');
    }
    t.resize(kBlockSize);
    return t;
  }();
  return text;
}

void BM_Compress(benchmark::State& State) {
  const auto algorithm = static_cast<TABSCompressionAlgorithm>(State.range(0));
  const auto mode = static_cast<uint8_t>(State.range(1));
  const std::vector<uint8_t>& text = frenchText();
  std::vector<uint8_t> out;
  int64_t outSize = 0;
  for (auto _ : State) {
    if (!CompressBuffer(algorithm, mode, text.data(), kBlockSize, out, outSize)) {
      State.SkipWithError("compression failed");
      return;
    }
    benchmark::DoNotOptimize(out.data());
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * kBlockSize);
  State.counters["ratio"] = static_cast<double>(outSize) / kBlockSize;
}

void BM_Decompress(benchmark::State& State) {
  const auto algorithm = static_cast<TABSCompressionAlgorithm>(State.range(0));
  const auto mode = static_cast<uint8_t>(State.range(1));
  const std::vector<uint8_t>& text = frenchText();
  std::vector<uint8_t> packed;
  int64_t packedSize = 0;
  if (!CompressBuffer(algorithm, mode, text.data(), kBlockSize, packed, packedSize)) {
    State.SkipWithError("compression failed");
    return;
  }
  std::vector<uint8_t> out;
  for (auto _ : State) {
    int64_t outSize = kBlockSize;  // the expected length, as the engine always passes it
    if (!DecompressBuffer(algorithm, packed.data(), packedSize, outSize, out)) {
      State.SkipWithError("decompression failed");
      return;
    }
    benchmark::DoNotOptimize(out.data());
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * kBlockSize);
}

void compressionArguments(benchmark::internal::Benchmark* Bench) {
  Bench->ArgNames({"algorithm", "mode"});
  for (const int mode : {1, 6, 9}) Bench->Args({acaZLIB, mode});
  for (const int mode : {1, 9}) Bench->Args({acaBZIP, mode});
}

BENCHMARK(BM_Compress)->Apply(compressionArguments);
BENCHMARK(BM_Decompress)->Apply(compressionArguments);

}  // namespace
