// Cost of page encryption: EncryptBuffer and DecryptBuffer of one 4056-byte page data area per
// algorithm, with the key derived inside every call as the page manager calls them, against
// Crypto++'s bare AES-128 on the same bytes with a key schedule built once.
//
// The bare loop makes one block call per 16 bytes, 254 calls (253 whole blocks and the block
// that the 8-byte tail needs), with no chaining; the bulk variant hands all whole blocks to one
// call, which lets AES-NI work on several blocks at once, something the chained encryption
// cannot do. BM_PageEncryptPreparedKey is a page with a key schedule kept from call to call: the
// most that a key cache could save. BM_KeyDerivation is the per-call part alone.
#include <benchmark/benchmark.h>
#include <cryptopp/rijndael.h>

#include <vector>

#include "engine/storage/ZEVSecurity.h"

namespace {

constexpr size_t kPageData = 4056;
const AnsiString kPassword = "Mot de passe d\xE9monstration";
const CryptoPP::byte kRawKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

std::vector<uint8_t> pageBytes() {
  std::vector<uint8_t> page(kPageData);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 31 + 7);
  return page;
}

void setPageBytes(benchmark::State& State) {
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * kPageData);
}

void BM_PageEncryptDecrypt(benchmark::State& State) {
  const auto algorithm = static_cast<zev::TABSCryptoAlgorithm>(State.range(0));
  std::vector<uint8_t> page = pageBytes();
  for (auto _ : State) {
    benchmark::DoNotOptimize(zev::EncryptBuffer(algorithm, page.data(), page.size(), kPassword));
    benchmark::DoNotOptimize(zev::DecryptBuffer(algorithm, page.data(), page.size(), kPassword));
    benchmark::ClobberMemory();
  }
  setPageBytes(State);
}
BENCHMARK(BM_PageEncryptDecrypt)->ArgName("algorithm")->DenseRange(0, 7);

void BM_PageEncrypt(benchmark::State& State) {
  std::vector<uint8_t> page = pageBytes();
  for (auto _ : State) {
    benchmark::DoNotOptimize(
        zev::EncryptBuffer(zev::craRijndael_128, page.data(), page.size(), kPassword));
    benchmark::ClobberMemory();
  }
  setPageBytes(State);
}
BENCHMARK(BM_PageEncrypt);

void BM_PageDecrypt(benchmark::State& State) {
  std::vector<uint8_t> page = pageBytes();
  for (auto _ : State) {
    benchmark::DoNotOptimize(
        zev::DecryptBuffer(zev::craRijndael_128, page.data(), page.size(), kPassword));
    benchmark::ClobberMemory();
  }
  setPageBytes(State);
}
BENCHMARK(BM_PageDecrypt);

void BM_PageEncryptPreparedKey(benchmark::State& State) {
  std::unique_ptr<zev::TCipher> cipher = zev::CreateKeyedCipher(zev::craRijndael_128, kPassword);
  std::vector<uint8_t> page = pageBytes();
  for (auto _ : State) {
    cipher->Reset();
    cipher->EncodeBuffer(page.data(), page.size());
    benchmark::ClobberMemory();
  }
  setPageBytes(State);
}
BENCHMARK(BM_PageEncryptPreparedKey);

// Hash of the password and the cipher object; the key schedules wait for the first block.
void BM_KeyDerivation(benchmark::State& State) {
  const auto algorithm = static_cast<zev::TABSCryptoAlgorithm>(State.range(0));
  for (auto _ : State) benchmark::DoNotOptimize(zev::CreateKeyedCipher(algorithm, kPassword));
}
BENCHMARK(BM_KeyDerivation)->ArgName("algorithm")->DenseRange(0, 7);

void BM_RawAES128Encrypt(benchmark::State& State) {
  CryptoPP::Rijndael::Encryption encryption(kRawKey, sizeof kRawKey);
  std::vector<uint8_t> page = pageBytes();
  CryptoPP::byte tail[16] = {};
  for (auto _ : State) {
    for (size_t i = 0; i + 16 <= kPageData; i += 16) encryption.ProcessBlock(&page[i]);
    encryption.ProcessBlock(tail);
    benchmark::ClobberMemory();
  }
  setPageBytes(State);
}
BENCHMARK(BM_RawAES128Encrypt);

void BM_RawAES128EncryptDecrypt(benchmark::State& State) {
  CryptoPP::Rijndael::Encryption encryption(kRawKey, sizeof kRawKey);
  CryptoPP::Rijndael::Decryption decryption(kRawKey, sizeof kRawKey);
  std::vector<uint8_t> page = pageBytes();
  CryptoPP::byte tail[16] = {};
  for (auto _ : State) {
    for (size_t i = 0; i + 16 <= kPageData; i += 16) encryption.ProcessBlock(&page[i]);
    encryption.ProcessBlock(tail);
    for (size_t i = 0; i + 16 <= kPageData; i += 16) decryption.ProcessBlock(&page[i]);
    encryption.ProcessBlock(tail);
    benchmark::ClobberMemory();
  }
  setPageBytes(State);
}
BENCHMARK(BM_RawAES128EncryptDecrypt);

void BM_RawAES128EncryptBulk(benchmark::State& State) {
  CryptoPP::Rijndael::Encryption encryption(kRawKey, sizeof kRawKey);
  std::vector<uint8_t> page = pageBytes();
  CryptoPP::byte tail[16] = {};
  const size_t whole = kPageData / 16 * 16;
  for (auto _ : State) {
    encryption.AdvancedProcessBlocks(page.data(), nullptr, page.data(), whole,
                                     CryptoPP::BlockTransformation::BT_AllowParallel);
    encryption.ProcessBlock(tail);
    benchmark::ClobberMemory();
  }
  setPageBytes(State);
}
BENCHMARK(BM_RawAES128EncryptBulk);

}  // namespace
