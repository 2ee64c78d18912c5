#include "engine/storage/ZEVCipher.h"

#include <cryptopp/des.h>
#include <cryptopp/rijndael.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using zev::TCipher;

std::vector<uint8_t> fromHex(const std::string& Hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < Hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(Hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::vector<uint8_t> patternBytes(size_t Size, uint8_t Seed) {
  std::vector<uint8_t> bytes(Size);
  for (size_t i = 0; i < Size; ++i) bytes[i] = static_cast<uint8_t>(Seed + i * 37 + (i >> 3));
  return bytes;
}

// --- Hashes -----------------------------------------------------------------------------------

TEST(Hash, PublishedRipeMDDigests) {
  const struct {
    std::function<std::unique_ptr<zev::THash>()> Make;
    std::string Input, Digest;
  } cases[] = {
      {[] { return std::make_unique<zev::THash_RipeMD128>(); }, "",
       "cdf26213a150dc3ecb610f18f6b38b46"},
      {[] { return std::make_unique<zev::THash_RipeMD128>(); }, "abc",
       "c14a12199c66e4ba84636b0f69144c77"},
      {[] { return std::make_unique<zev::THash_RipeMD256>(); }, "",
       "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"},
      {[] { return std::make_unique<zev::THash_RipeMD256>(); }, "abc",
       "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
  };
  for (const auto& c : cases) {
    auto hash = c.Make();
    EXPECT_EQ(hash->DigestSize(), c.Digest.size() / 2);
    EXPECT_EQ(hash->CalcBuffer(c.Input.data(), c.Input.size()), fromHex(c.Digest)) << c.Input;
    // The hash starts afresh for the next input.
    EXPECT_EQ(hash->CalcBuffer(c.Input.data(), c.Input.size()), fromHex(c.Digest)) << c.Input;
  }
}

// --- Bare block algorithms --------------------------------------------------------------------

TEST(Cipher, PublishedBlockVectors) {
  const struct {
    const char* Name;
    std::function<std::unique_ptr<TCipher>()> Make;
    std::string Key, Plain, Cipher;
  } cases[] = {
      {"AES-128 (FIPS-197 C.1)", [] { return std::make_unique<zev::TCipher_Rijndael>(); },
       "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
       "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"AES-256 (FIPS-197 C.3)", [] { return std::make_unique<zev::TCipher_Rijndael>(); },
       "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
      {"DES", [] { return std::make_unique<zev::TCipher_1DES>(); }, "133457799bbcdff1",
       "0123456789abcdef", "85e813540f0ab405"},
      {"Blowfish", [] { return std::make_unique<zev::TCipher_Blowfish>(); }, "0000000000000000",
       "0000000000000000", "4ef997456198dd78"},
      {"Twofish-128", [] { return std::make_unique<zev::TCipher_Twofish>(); },
       "00000000000000000000000000000000", "00000000000000000000000000000000",
       "9f589f5cf6122c32b6bfec2f2ae8c35a"},
  };
  for (const auto& c : cases) {
    auto cipher = c.Make();
    const std::vector<uint8_t> key = fromHex(c.Key), plain = fromHex(c.Plain);
    ASSERT_EQ(cipher->BufSize(), plain.size()) << c.Name;
    cipher->Init(key.data(), key.size());
    std::vector<uint8_t> block(plain.size());
    cipher->EncodeBlock(plain.data(), block.data());
    EXPECT_EQ(block, fromHex(c.Cipher)) << c.Name;
    cipher->DecodeBlock(block.data(), block.data());
    EXPECT_EQ(block, plain) << c.Name;
  }
}

TEST(Cipher, RijndaelPadsAKeyToTheNextLengthWithZeros) {
  // 10 bytes run AES-128 on the key and six zeros, 20 bytes AES-192 (12 rounds) on four zeros.
  const std::vector<uint8_t> plain = patternBytes(16, 1);
  for (size_t given : {size_t{10}, size_t{20}}) {
    std::vector<uint8_t> key = patternBytes(given, 9);
    zev::TCipher_Rijndael cipher;
    cipher.Init(key.data(), key.size());
    std::vector<uint8_t> actual(16);
    cipher.EncodeBlock(plain.data(), actual.data());

    key.resize(given <= 16 ? 16 : 24, 0);
    CryptoPP::Rijndael::Encryption reference(key.data(), key.size());
    std::vector<uint8_t> expected(16);
    reference.ProcessBlock(plain.data(), expected.data());
    EXPECT_EQ(actual, expected) << given;
  }
}

// --- The chaining ------------------------------------------------------------------------------

// cmCTS written out from its definition over the cipher's own block encryption.
std::vector<uint8_t> chainByDefinition(TCipher& Cipher, std::vector<uint8_t> Bytes) {
  const size_t b = Cipher.BufSize();
  std::vector<uint8_t> f(b, zev::kInitialVectorFill), block(b);
  size_t pos = 0;
  for (; pos + b <= Bytes.size(); pos += b) {
    for (size_t i = 0; i < b; ++i) block[i] = Bytes[pos + i] ^ f[i];
    Cipher.EncodeBlock(block.data(), &Bytes[pos]);
    for (size_t i = 0; i < b; ++i) f[i] ^= Bytes[pos + i];
  }
  Cipher.EncodeBlock(f.data(), block.data());
  for (size_t i = 0; pos + i < Bytes.size(); ++i) Bytes[pos + i] ^= block[i];
  return Bytes;
}

struct TCipherCase {
  const char* Name;
  std::function<std::unique_ptr<TCipher>()> Make;
  size_t BlockSize, KeySize;
};

const TCipherCase kCiphers[] = {
    {"Rijndael", [] { return std::make_unique<zev::TCipher_Rijndael>(); }, 16, 32},
    {"Blowfish", [] { return std::make_unique<zev::TCipher_Blowfish>(); }, 8, 56},
    {"Twofish", [] { return std::make_unique<zev::TCipher_Twofish>(); }, 16, 32},
    {"Square", [] { return std::make_unique<zev::TCipher_Square>(); }, 16, 16},
    {"1DES", [] { return std::make_unique<zev::TCipher_1DES>(); }, 8, 8},
    {"3DES", [] { return std::make_unique<zev::TCipher_3DES>(); }, 8, 24},
    {"3TDES", [] { return std::make_unique<zev::TCipher_3TDES>(); }, 24, 24},
};

TEST(Cipher, BuffersChainAsDefinedAndDecodeBack) {
  const std::vector<uint8_t> key = patternBytes(32, 77);
  for (const auto& c : kCiphers) {
    auto cipher = c.Make();
    EXPECT_EQ(cipher->BufSize(), c.BlockSize) << c.Name;
    EXPECT_EQ(cipher->KeySize(), c.KeySize) << c.Name;
    EXPECT_EQ(cipher->Mode(), zev::cmCTS);
    cipher->Init(key.data(), key.size());
    const size_t b = c.BlockSize;
    // Empty, a pure tail, exact blocks, blocks and a tail, and a page's data area; decoding
    // runs its blocks in runs of sixteen, so 40 blocks cross two runs.
    for (size_t size :
         {size_t{0}, size_t{1}, b - 1, b, 3 * b, 2 * b + 5, 40 * b + 3, size_t{4056}}) {
      const std::vector<uint8_t> plain = patternBytes(size, 3);
      std::vector<uint8_t> bytes = plain;
      cipher->Reset();
      cipher->EncodeBuffer(bytes.data(), bytes.size());
      EXPECT_EQ(bytes, chainByDefinition(*cipher, plain)) << c.Name << " " << size;
      cipher->Reset();
      cipher->DecodeBuffer(bytes.data(), bytes.size());
      EXPECT_EQ(bytes, plain) << c.Name << " " << size;
    }
  }
}

TEST(Cipher, RegisterCarriesOverBetweenCallsUntilReset) {
  const std::vector<uint8_t> key = patternBytes(16, 5);
  zev::TCipher_Rijndael cipher;
  cipher.Init(key.data(), key.size());
  const std::vector<uint8_t> plain = patternBytes(64, 8);
  std::vector<uint8_t> whole = plain, pieces = plain;
  cipher.EncodeBuffer(whole.data(), whole.size());
  cipher.Reset();
  cipher.EncodeBuffer(pieces.data(), 32);
  cipher.EncodeBuffer(pieces.data() + 32, 32);
  EXPECT_EQ(pieces, whole);

  // Init starts from the initial vector again, as Reset does.
  std::vector<uint8_t> again = plain;
  cipher.Init(key.data(), key.size());
  cipher.EncodeBuffer(again.data(), again.size());
  EXPECT_EQ(again, whole);
}

TEST(Cipher, KeyIsCutToTheMaximalKeyLength) {
  // Bytes past KeySize() are never used.
  std::vector<uint8_t> key = patternBytes(40, 21), longer = key;
  longer[16] ^= 0xFF;
  const std::function<std::unique_ptr<TCipher>()> makers[] = {
      [] { return std::make_unique<zev::TCipher_Square>(); },  // 16 bytes
      [] { return std::make_unique<zev::TCipher_1DES>(); },    // 8 bytes
  };
  for (const auto& make : makers) {
    auto a = make(), b = make();
    a->Init(key.data(), key.size());
    b->Init(longer.data(), longer.size());
    std::vector<uint8_t> x(16), y(16);
    a->EncodeBlock(key.data(), x.data());
    b->EncodeBlock(key.data(), y.data());
    EXPECT_EQ(x, y);
  }
}

TEST(Cipher, UseBeforeInitIsRefused) {
  zev::TCipher_Rijndael cipher;
  uint8_t block[16] = {};
  EXPECT_THROW(cipher.EncodeBuffer(block, sizeof block), std::logic_error);
}

// --- Triple DES -------------------------------------------------------------------------------

// DES of one 8-byte lane in place, with Crypto++ directly.
void desLane(bool Encrypt, const uint8_t* Key, uint8_t* Lane) {
  if (Encrypt)
    CryptoPP::DES::Encryption(Key, 8).ProcessBlock(Lane);
  else
    CryptoPP::DES::Decryption(Key, 8).ProcessBlock(Lane);
}

TEST(TripleDES, EightByteBlocksAreEncryptDecryptEncryptWithAZeroThirdKey) {
  const std::vector<uint8_t> key16 = patternBytes(16, 40), plain = patternBytes(8, 2);
  zev::TCipher_3DES cipher;
  cipher.Init(key16.data(), key16.size());
  std::vector<uint8_t> actual(8);
  cipher.EncodeBlock(plain.data(), actual.data());

  std::vector<uint8_t> key24 = key16;
  key24.resize(24, 0);
  std::vector<uint8_t> expected(8);
  CryptoPP::DES_EDE3::Encryption(key24.data(), key24.size())
      .ProcessBlock(plain.data(), expected.data());
  EXPECT_EQ(actual, expected);
  cipher.DecodeBlock(actual.data(), actual.data());
  EXPECT_EQ(actual, plain);
}

TEST(TripleDES, TwentyFourByteBlocksExchangeOnlyWords1And2) {
  const std::vector<uint8_t> key16 = patternBytes(16, 60), plain = patternBytes(24, 9);
  const uint8_t* k1 = key16.data();
  const uint8_t* k2 = key16.data() + 8;
  const uint8_t k3[8] = {};
  zev::TCipher_3TDES cipher;
  cipher.Init(key16.data(), key16.size());
  std::vector<uint8_t> actual(24);
  cipher.EncodeBlock(plain.data(), actual.data());

  // Lane by lane: E_K1; swap bytes 4-7 with 8-11; D_K2; swap; E_K3.
  std::vector<uint8_t> expected = plain;
  auto lanes = [&](bool encrypt, const uint8_t* key) {
    for (size_t lane = 0; lane < 24; lane += 8) desLane(encrypt, key, &expected[lane]);
  };
  auto exchange = [&] { std::swap_ranges(&expected[4], &expected[8], &expected[8]); };
  lanes(true, k1);
  exchange();
  lanes(false, k2);
  exchange();
  lanes(true, k3);
  EXPECT_EQ(actual, expected);

  std::vector<uint8_t> back(24);
  cipher.DecodeBlock(actual.data(), back.data());
  EXPECT_EQ(back, plain);

  // Words 4 and 5 never leave lane 2: it is the 8-byte triple DES of its own bytes, and
  // changing any of words 0 to 3 leaves it alone; a change in word 4 stays inside it.
  zev::TCipher_3DES single;
  single.Init(key16.data(), key16.size());
  std::vector<uint8_t> lane2(8);
  single.EncodeBlock(&plain[16], lane2.data());
  EXPECT_TRUE(std::equal(lane2.begin(), lane2.end(), actual.begin() + 16));
  for (size_t changed : {size_t{0}, size_t{4}, size_t{8}, size_t{12}, size_t{16}}) {
    std::vector<uint8_t> other = plain, result(24);
    other[changed] ^= 0x80;
    cipher.EncodeBlock(other.data(), result.data());
    const bool lane2Same = std::equal(result.begin() + 16, result.end(), actual.begin() + 16);
    const bool lanes01Same = std::equal(result.begin(), result.begin() + 16, actual.begin());
    EXPECT_EQ(lane2Same, changed < 16) << changed;
    EXPECT_EQ(lanes01Same, changed >= 16) << changed;
  }
}

}  // namespace
