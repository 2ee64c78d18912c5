#include "engine/storage/ZEVCipher.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/des.h>
#include <cryptopp/rijndael.h>
#include <cryptopp/ripemd.h>
#include <cryptopp/square.h>
#include <cryptopp/twofish.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zev {

namespace {

// Target ^= Source, eight bytes at a time while it can (blocks are 8, 16 or 24 bytes).
void xorInto(uint8_t* Target, const uint8_t* Source, size_t Size) {
  size_t i = 0;
  for (; i + 8 <= Size; i += 8) {
    uint64_t t, s;
    std::memcpy(&t, Target + i, 8);
    std::memcpy(&s, Source + i, 8);
    t ^= s;
    std::memcpy(Target + i, &t, 8);
  }
  for (; i < Size; ++i) Target[i] ^= Source[i];
}

// Blocks decrypted in one call of the block algorithm while decoding.
constexpr size_t kRunBlocks = 16;

// The whole blocks of cmCTS encoding, in place: C := E(P xor F); F := C xor F, where
// EncryptXor(In, Xor, Out) computes E(In xor Xor).
template <class TEncryptXor>
void encodeWholeBlocks(uint8_t* Blocks, size_t Count, size_t BlockSize, uint8_t* Feedback,
                       TEncryptXor&& EncryptXor) {
  for (size_t i = 0; i < Count; ++i, Blocks += BlockSize) {
    EncryptXor(Blocks, Feedback, Blocks);
    xorInto(Feedback, Blocks, BlockSize);
  }
}

constexpr size_t kDESBlock = 8;

}  // namespace

// --- THash ------------------------------------------------------------------------------------

THash::THash(std::unique_ptr<CryptoPP::HashTransformation> Hash) : FHash(std::move(Hash)) {}
THash::~THash() = default;

size_t THash::DigestSize() const { return FHash->DigestSize(); }

std::vector<uint8_t> THash::CalcBuffer(const void* Buffer, size_t Size) {
  std::vector<uint8_t> digest(FHash->DigestSize());
  FHash->CalculateDigest(digest.data(), static_cast<const CryptoPP::byte*>(Buffer), Size);
  return digest;
}

THash_RipeMD128::THash_RipeMD128() : THash(std::make_unique<CryptoPP::RIPEMD128>()) {}
THash_RipeMD256::THash_RipeMD256() : THash(std::make_unique<CryptoPP::RIPEMD256>()) {}

// --- TCipher ----------------------------------------------------------------------------------

TCipher::TCipher(size_t BlockSize, size_t MaxKeySize)
    : FFeedback(BlockSize, kInitialVectorFill),
      FScratch(BlockSize * kRunBlocks),
      FBlockSize(BlockSize),
      FMaxKeySize(MaxKeySize) {}

TCipher::~TCipher() = default;

void TCipher::Init(const void* Key, size_t Size) {
  SetupKey(static_cast<const uint8_t*>(Key), std::min(Size, FMaxKeySize));
  FInitialized = true;
  Reset();
}

void TCipher::InitKey(const AnsiString& Key, THash& Hash) {
  const std::vector<uint8_t> digest = Hash.CalcBuffer(Key.data(), Key.size());
  Init(digest.data(), digest.size());
}

void TCipher::Reset() { std::fill(FFeedback.begin(), FFeedback.end(), kInitialVectorFill); }

void TCipher::EncodeBlock(const uint8_t* In, uint8_t* Out) {
  if (!FInitialized) throw std::logic_error("cipher used before Init");
  EncryptBlock(In, Out);
}

void TCipher::DecodeBlock(const uint8_t* In, uint8_t* Out) {
  if (!FInitialized) throw std::logic_error("cipher used before Init");
  DecryptBlock(In, Out);
}

void TCipher::EncodeBuffer(void* Buffer, size_t Size) {
  if (!FInitialized) throw std::logic_error("cipher used before Init");
  const size_t b = FBlockSize;
  uint8_t* p = static_cast<uint8_t*>(Buffer);
  EncryptWholeBlocks(p, Size / b, FFeedback.data());
  xorTail(p + Size / b * b, Size % b);
}

// Decoding has no chain through the block algorithm (D applies to ciphertext only), so the
// blocks are decrypted a run at a time, which lets the algorithm work on several at once.
void TCipher::DecodeBuffer(void* Buffer, size_t Size) {
  if (!FInitialized) throw std::logic_error("cipher used before Init");
  const size_t b = FBlockSize;
  uint8_t* p = static_cast<uint8_t*>(Buffer);
  uint8_t* f = FFeedback.data();
  uint8_t* plain = FScratch.data();
  while (Size >= b) {
    const size_t count = std::min(Size / b, kRunBlocks);
    DecryptBlocks(p, plain, count);  // D(C) of the run
    for (size_t i = 0; i < count; ++i, p += b) {
      uint8_t* d = plain + i * b;
      xorInto(d, f, b);  // P := D(C) xor F
      xorInto(f, p, b);  // F := C xor F
      std::memcpy(p, d, b);
    }
    Size -= count * b;
  }
  xorTail(p, Size);
}

void TCipher::xorTail(uint8_t* Tail, size_t Size) {
  if (Size == 0) return;
  EncryptBlock(FFeedback.data(), FScratch.data());  // B := E(F)
  xorInto(Tail, FScratch.data(), Size);
}

void TCipher::EncryptWholeBlocks(uint8_t* Blocks, size_t Count, uint8_t* Feedback) {
  uint8_t* mixed = FScratch.data();
  encodeWholeBlocks(Blocks, Count, FBlockSize, Feedback,
                    [&](const uint8_t* In, const uint8_t* Xor, uint8_t* Out) {
                      for (size_t i = 0; i < FBlockSize; ++i) mixed[i] = In[i] ^ Xor[i];
                      EncryptBlock(mixed, Out);
                    });
}

void TCipher::DecryptBlocks(const uint8_t* In, uint8_t* Out, size_t Count) {
  for (size_t i = 0; i < Count; ++i) DecryptBlock(In + i * FBlockSize, Out + i * FBlockSize);
}

// --- Block algorithms ------------------------------------------------------------------------

TKeyedBlockAlgorithm::TKeyedBlockAlgorithm(std::unique_ptr<CryptoPP::BlockCipher> Algorithm)
    : FAlgorithm(std::move(Algorithm)) {}

TKeyedBlockAlgorithm::~TKeyedBlockAlgorithm() = default;

void TKeyedBlockAlgorithm::SetKey(const uint8_t* Key, size_t Size) {
  FKey.assign(FAlgorithm->GetValidKeyLength(Size), 0);
  std::copy_n(Key, std::min(Size, FKey.size()), FKey.begin());
  FKeyed = false;
}

CryptoPP::BlockCipher& TKeyedBlockAlgorithm::Keyed() {
  if (!FKeyed) {
    FAlgorithm->SetKey(FKey.data(), FKey.size());
    FKeyed = true;
  }
  return *FAlgorithm;
}

TBlockAlgorithmCipher::TBlockAlgorithmCipher(size_t MaxKeySize,
                                             std::unique_ptr<CryptoPP::BlockCipher> Encryption,
                                             std::unique_ptr<CryptoPP::BlockCipher> Decryption)
    : TCipher(Encryption->BlockSize(), MaxKeySize),
      FEncryption(std::move(Encryption)),
      FDecryption(std::move(Decryption)) {}

void TBlockAlgorithmCipher::SetupKey(const uint8_t* Key, size_t Size) {
  FEncryption.SetKey(Key, Size);
  FDecryption.SetKey(Key, Size);
}

void TBlockAlgorithmCipher::EncryptBlock(const uint8_t* In, uint8_t* Out) {
  FEncryption.Keyed().ProcessBlock(In, Out);
}

void TBlockAlgorithmCipher::DecryptBlock(const uint8_t* In, uint8_t* Out) {
  FDecryption.Keyed().ProcessBlock(In, Out);
}

// One block call per block: the chain admits no parallel work, and Crypto++ xors the input
// inside the call. The loop calls Crypto++ directly, without a virtual call of ours per block.
void TBlockAlgorithmCipher::EncryptWholeBlocks(uint8_t* Blocks, size_t Count, uint8_t* Feedback) {
  CryptoPP::BlockCipher& encryption = FEncryption.Keyed();
  const size_t b = BufSize();
  encodeWholeBlocks(Blocks, Count, b, Feedback,
                    [&](const uint8_t* In, const uint8_t* Xor, uint8_t* Out) {
                      encryption.AdvancedProcessBlocks(In, Xor, Out, b,
                                                       CryptoPP::BlockTransformation::BT_XorInput);
                    });
}

void TBlockAlgorithmCipher::DecryptBlocks(const uint8_t* In, uint8_t* Out, size_t Count) {
  FDecryption.Keyed().AdvancedProcessBlocks(In, nullptr, Out, Count * BufSize(),
                                            CryptoPP::BlockTransformation::BT_AllowParallel);
}

TCipher_Rijndael::TCipher_Rijndael()
    : TBlockAlgorithmCipher(32, std::make_unique<CryptoPP::Rijndael::Encryption>(),
                            std::make_unique<CryptoPP::Rijndael::Decryption>()) {}

TCipher_Blowfish::TCipher_Blowfish()
    : TBlockAlgorithmCipher(56, std::make_unique<CryptoPP::Blowfish::Encryption>(),
                            std::make_unique<CryptoPP::Blowfish::Decryption>()) {}

TCipher_Twofish::TCipher_Twofish()
    : TBlockAlgorithmCipher(32, std::make_unique<CryptoPP::Twofish::Encryption>(),
                            std::make_unique<CryptoPP::Twofish::Decryption>()) {}

TCipher_Square::TCipher_Square()
    : TBlockAlgorithmCipher(16, std::make_unique<CryptoPP::Square::Encryption>(),
                            std::make_unique<CryptoPP::Square::Decryption>()) {}

TCipher_1DES::TCipher_1DES()
    : TBlockAlgorithmCipher(8, std::make_unique<CryptoPP::DES::Encryption>(),
                            std::make_unique<CryptoPP::DES::Decryption>()) {}

// --- Triple DES -------------------------------------------------------------------------------

TCipher_3DES::TCipher_3DES() : TCipher_3DES(kDESBlock) {}

TCipher_3DES::TCipher_3DES(size_t BlockSize) : TCipher(BlockSize, 3 * kDESBlock) {
  for (int k = 0; k < 3; ++k) {
    FEncryption.push_back(
        std::make_unique<TKeyedBlockAlgorithm>(std::make_unique<CryptoPP::DES::Encryption>()));
    FDecryption.push_back(
        std::make_unique<TKeyedBlockAlgorithm>(std::make_unique<CryptoPP::DES::Decryption>()));
  }
}

void TCipher_3DES::SetupKey(const uint8_t* Key, size_t Size) {
  uint8_t buffer[3 * kDESBlock] = {};  // the key, then zero bytes
  std::copy_n(Key, std::min(Size, sizeof buffer), buffer);
  for (int k = 0; k < 3; ++k) {
    FEncryption[k]->SetKey(buffer + k * kDESBlock, kDESBlock);
    FDecryption[k]->SetKey(buffer + k * kDESBlock, kDESBlock);
  }
}

void TCipher_3DES::EncryptLanes(int KeyIndex, uint8_t* Block, size_t Size) {
  for (size_t lane = 0; lane < Size; lane += kDESBlock)
    FEncryption[KeyIndex]->Keyed().ProcessBlock(Block + lane);
}

void TCipher_3DES::DecryptLanes(int KeyIndex, uint8_t* Block, size_t Size) {
  for (size_t lane = 0; lane < Size; lane += kDESBlock)
    FDecryption[KeyIndex]->Keyed().ProcessBlock(Block + lane);
}

void TCipher_3DES::EncryptBlock(const uint8_t* In, uint8_t* Out) {
  std::memmove(Out, In, kDESBlock);
  EncryptLanes(0, Out, kDESBlock);
  DecryptLanes(1, Out, kDESBlock);
  EncryptLanes(2, Out, kDESBlock);
}

void TCipher_3DES::DecryptBlock(const uint8_t* In, uint8_t* Out) {
  std::memmove(Out, In, kDESBlock);
  DecryptLanes(2, Out, kDESBlock);
  EncryptLanes(1, Out, kDESBlock);
  DecryptLanes(0, Out, kDESBlock);
}

namespace {

constexpr size_t kTDESBlock = 3 * kDESBlock;

// Exchanges the 32-bit words w1 (bytes 4-7) and w2 (bytes 8-11) of a 24-byte block.
void exchangeW1W2(uint8_t* Block) { std::swap_ranges(Block + 4, Block + 8, Block + 8); }

}  // namespace

TCipher_3TDES::TCipher_3TDES() : TCipher_3DES(kTDESBlock) {}

void TCipher_3TDES::EncryptBlock(const uint8_t* In, uint8_t* Out) {
  std::memmove(Out, In, kTDESBlock);
  EncryptLanes(0, Out, kTDESBlock);
  exchangeW1W2(Out);
  DecryptLanes(1, Out, kTDESBlock);
  exchangeW1W2(Out);
  EncryptLanes(2, Out, kTDESBlock);
}

void TCipher_3TDES::DecryptBlock(const uint8_t* In, uint8_t* Out) {
  std::memmove(Out, In, kTDESBlock);
  DecryptLanes(2, Out, kTDESBlock);
  exchangeW1W2(Out);
  EncryptLanes(1, Out, kTDESBlock);
  exchangeW1W2(Out);
  DecryptLanes(0, Out, kTDESBlock);
}

}  // namespace zev
