#include "engine/storage/ZEVSecurity.h"

#include <exception>

namespace zev {

namespace {

enum class TKeyHash { RipeMD128, RipeMD256 };

std::unique_ptr<TCipher> createCipher(TABSCryptoAlgorithm Algorithm) {
  switch (Algorithm) {
    case craRijndael_128:
    case craRijndael_256:
      return std::make_unique<TCipher_Rijndael>();
    case craDES_Single:
      return std::make_unique<TCipher_1DES>();
    case craDES_Triple:
      return std::make_unique<TCipher_3TDES>();
    case craBlowfish:
      return std::make_unique<TCipher_Blowfish>();
    case craTwofish_128:
    case craTwofish_256:
      return std::make_unique<TCipher_Twofish>();
    case craSquare:
      return std::make_unique<TCipher_Square>();
  }
  return nullptr;
}

// The digest length decides the key length used: RIPEMD-128 gives 16 bytes (8 for DES, which
// cuts it; triple DES pads it with zeros to 24), RIPEMD-256 gives 32.
TKeyHash keyHash(TABSCryptoAlgorithm Algorithm) {
  switch (Algorithm) {
    case craRijndael_256:
    case craBlowfish:
    case craTwofish_256:
      return TKeyHash::RipeMD256;
    default:
      return TKeyHash::RipeMD128;
  }
}

std::unique_ptr<THash> createHash(TKeyHash Hash) {
  if (Hash == TKeyHash::RipeMD256) return std::make_unique<THash_RipeMD256>();
  return std::make_unique<THash_RipeMD128>();
}

}  // namespace

// No key or cipher survives a call: the hash and the cipher object cost about a tenth of a
// page's encryption with AES (most of a page's cost is the chain, one block after the other),
// and a kept key would be state shared between threads and a password held in memory.
std::unique_ptr<TCipher> CreateKeyedCipher(TABSCryptoAlgorithm Algorithm,
                                           const AnsiString& Password) {
  std::unique_ptr<TCipher> cipher = createCipher(Algorithm);
  if (cipher) cipher->InitKey(Password, *createHash(keyHash(Algorithm)));
  return cipher;
}

bool EncryptBuffer(TABSCryptoAlgorithm Algorithm, void* Buffer, size_t Length,
                   const AnsiString& Password) {
  try {
    if (auto cipher = CreateKeyedCipher(Algorithm, Password)) cipher->EncodeBuffer(Buffer, Length);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool DecryptBuffer(TABSCryptoAlgorithm Algorithm, void* Buffer, size_t Length,
                   const AnsiString& Password) {
  try {
    if (auto cipher = CreateKeyedCipher(Algorithm, Password)) cipher->DecodeBuffer(Buffer, Length);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace zev
