// The engine's block ciphers and key hashes.
//
// THash_RipeMD128 and THash_RipeMD256 are the published RIPEMD hashes. TCipher is a block
// cipher with a key and a feedback register; EncodeBuffer and DecodeBuffer transform a buffer
// in place in the engine's chaining, cmCTS (below), starting from the register's current value
// and leaving it where the buffer ended. The concrete ciphers run the published block
// algorithms (from Crypto++) with their published key schedules; TCipher_3TDES is the engine's
// own triple DES on 24-byte blocks, built from three DES keys.
//
// Ownership: each object owns its key schedules (Crypto++ objects, held by unique_ptr) and its
// register. No locking: an object is used by one thread at a time; distinct objects share
// nothing. Errors: Crypto++ may raise CryptoPP::Exception (a std::exception) from a key
// schedule or a block, and using a cipher before Init raises std::logic_error; nothing here
// catches either. Copying is deleted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/ZEVCodePage.h"

namespace CryptoPP {
class BlockCipher;
class HashTransformation;
}  // namespace CryptoPP

namespace zev {

// Every byte of the initial vector (the feedback register after Init or Reset) has this value.
// Every encrypted database page and control block ever written depends on it: it must never
// change.
inline constexpr uint8_t kInitialVectorFill = 0xFF;

// The chaining modes of the cipher classes. Only cmCTS (as defined at TCipher) is built; the
// others are named for their stored values only.
enum TCipherMode : uint8_t {
  cmCTS = 0,
  cmCBC,
  cmCFB,
  cmOFB,
  cmECB,
  cmCTSMAC,
  cmCBCMAC,
  cmCFBMAC,
};

// The common base of ciphers and hashes.
class TProtection {
 public:
  TProtection() = default;
  virtual ~TProtection() = default;
  TProtection(const TProtection&) = delete;
  TProtection& operator=(const TProtection&) = delete;
};

// --- Hashes -----------------------------------------------------------------------------------

class THash : public TProtection {
 public:
  ~THash() override;
  size_t DigestSize() const;
  // The digest of the bytes, as published; the hash is ready for the next input afterwards.
  std::vector<uint8_t> CalcBuffer(const void* Buffer, size_t Size);

 protected:
  explicit THash(std::unique_ptr<CryptoPP::HashTransformation> Hash);

 private:
  std::unique_ptr<CryptoPP::HashTransformation> FHash;
};

class THash_RipeMD128 : public THash {
 public:
  THash_RipeMD128();
};

class THash_RipeMD256 : public THash {
 public:
  THash_RipeMD256();
};

// --- Ciphers ----------------------------------------------------------------------------------

// cmCTS with block length b, block encryption E and decryption D, feedback register F:
//   encoding, each whole block P in order:  C := E(P xor F);  F := C xor F
//   decoding, each whole block C in order:  P := D(C) xor F;  F := C xor F
//   a final partial block of r < b bytes, both ways:  B := E(F);  out := in xor B[0..r)
// (the tail leaves F unchanged). This is the engine's own chaining, not ciphertext stealing.
class TCipher : public TProtection {
 public:
  ~TCipher() override;

  size_t BufSize() const { return FBlockSize; }   // block length in bytes
  size_t KeySize() const { return FMaxKeySize; }  // maximal key length in bytes
  TCipherMode Mode() const { return cmCTS; }

  // Runs the key schedule on the first min(Size, KeySize()) key bytes (a shorter key than the
  // algorithm accepts is padded with zero bytes) and resets the register to the initial vector.
  void Init(const void* Key, size_t Size);
  // Init with the digest of the key bytes, cut to KeySize().
  void InitKey(const AnsiString& Key, THash& Hash);
  // The register back to the initial vector, keeping the key.
  void Reset();

  // Requires: Init has run.
  void EncodeBuffer(void* Buffer, size_t Size);
  void DecodeBuffer(void* Buffer, size_t Size);

  // One block of BufSize() bytes through the bare block algorithm (no chaining, no register);
  // In and Out may be the same. Requires: Init has run.
  void EncodeBlock(const uint8_t* In, uint8_t* Out);
  void DecodeBlock(const uint8_t* In, uint8_t* Out);

 protected:
  TCipher(size_t BlockSize, size_t MaxKeySize);

  virtual void SetupKey(const uint8_t* Key, size_t Size) = 0;
  virtual void EncryptBlock(const uint8_t* In, uint8_t* Out) = 0;
  virtual void DecryptBlock(const uint8_t* In, uint8_t* Out) = 0;
  // The whole blocks of an encoding (Count blocks in place, Feedback the register); a cipher
  // may replace it by a faster loop of the same steps.
  virtual void EncryptWholeBlocks(uint8_t* Blocks, size_t Count, uint8_t* Feedback);
  // Count consecutive blocks through D; In and Out do not overlap.
  virtual void DecryptBlocks(const uint8_t* In, uint8_t* Out, size_t Count);

 private:
  void xorTail(uint8_t* Tail, size_t Size);

  // Feedback register, and scratch room for a run of blocks.
  std::vector<uint8_t> FFeedback, FScratch;
  size_t FBlockSize, FMaxKeySize;
  bool FInitialized = false;
};

// One direction of a published block algorithm of Crypto++ whose key schedule is built on first
// use: encrypting a buffer never needs the decryption schedule, and some schedules cost as much
// as a page of blocks.
class TKeyedBlockAlgorithm {
 public:
  explicit TKeyedBlockAlgorithm(std::unique_ptr<CryptoPP::BlockCipher> Algorithm);
  ~TKeyedBlockAlgorithm();
  TKeyedBlockAlgorithm(const TKeyedBlockAlgorithm&) = delete;
  TKeyedBlockAlgorithm& operator=(const TKeyedBlockAlgorithm&) = delete;

  // Keeps the key, padded with zero bytes to the nearest length the algorithm takes (a longer
  // key is cut to the longest); the schedule waits for Keyed().
  void SetKey(const uint8_t* Key, size_t Size);
  CryptoPP::BlockCipher& Keyed();

 private:
  std::unique_ptr<CryptoPP::BlockCipher> FAlgorithm;
  std::vector<uint8_t> FKey;
  bool FKeyed = false;
};

// A cipher that is one published block algorithm, one key schedule for each direction.
class TBlockAlgorithmCipher : public TCipher {
 protected:
  TBlockAlgorithmCipher(size_t MaxKeySize, std::unique_ptr<CryptoPP::BlockCipher> Encryption,
                        std::unique_ptr<CryptoPP::BlockCipher> Decryption);
  void SetupKey(const uint8_t* Key, size_t Size) override;
  void EncryptBlock(const uint8_t* In, uint8_t* Out) override;
  void DecryptBlock(const uint8_t* In, uint8_t* Out) override;
  void EncryptWholeBlocks(uint8_t* Blocks, size_t Count, uint8_t* Feedback) override;
  void DecryptBlocks(const uint8_t* In, uint8_t* Out, size_t Count) override;

 private:
  TKeyedBlockAlgorithm FEncryption, FDecryption;
};

// Rijndael with 16-byte blocks: 10 rounds for keys up to 16 bytes, 12 up to 24, 14 above.
class TCipher_Rijndael : public TBlockAlgorithmCipher {
 public:
  TCipher_Rijndael();
};

class TCipher_Blowfish : public TBlockAlgorithmCipher {
 public:
  TCipher_Blowfish();
};

class TCipher_Twofish : public TBlockAlgorithmCipher {
 public:
  TCipher_Twofish();
};

class TCipher_Square : public TBlockAlgorithmCipher {
 public:
  TCipher_Square();
};

// Single DES; the key's parity bits are ignored, as published.
class TCipher_1DES : public TBlockAlgorithmCipher {
 public:
  TCipher_1DES();
};

// Triple DES on 8-byte blocks: a 24-byte key buffer holds the key followed by zero bytes, so
// K1 = bytes 0-7, K2 = 8-15, K3 = 16-23; E = E_K3(D_K2(E_K1(x))), D the inverse. The lane
// steps are shared with TCipher_3TDES.
class TCipher_3DES : public TCipher {
 public:
  TCipher_3DES();

 protected:
  explicit TCipher_3DES(size_t BlockSize);
  void SetupKey(const uint8_t* Key, size_t Size) override;
  void EncryptBlock(const uint8_t* In, uint8_t* Out) override;
  void DecryptBlock(const uint8_t* In, uint8_t* Out) override;

  // Each 8-byte lane of the Size-byte block through DES with key K1, K2 or K3 (index 0-2).
  void EncryptLanes(int KeyIndex, uint8_t* Block, size_t Size);
  void DecryptLanes(int KeyIndex, uint8_t* Block, size_t Size);

 private:
  std::vector<std::unique_ptr<TKeyedBlockAlgorithm>> FEncryption, FDecryption;
};

// Triple DES on 24-byte blocks of three DES lanes L0, L1, L2 (bytes 0-7, 8-15, 16-23), seen
// also as six 32-bit words w0..w5. Encryption: every lane E_K1; exchange w1 and w2; every lane
// D_K2; exchange w1 and w2; every lane E_K3. Decryption runs the steps backwards. Only w1 and
// w2 ever move: L2 is transformed on its own, exactly as TCipher_3DES would.
class TCipher_3TDES : public TCipher_3DES {
 public:
  TCipher_3TDES();

 protected:
  void EncryptBlock(const uint8_t* In, uint8_t* Out) override;
  void DecryptBlock(const uint8_t* In, uint8_t* Out) override;
};

}  // namespace zev
