// Encryption of buffers with a password: the cipher algorithms the engine stores in its crypto
// header and page headers, and EncryptBuffer / DecryptBuffer, which transform a buffer in place.
//
// Each call derives the key from the password (the algorithm's hash over the password bytes,
// cut to the cipher's maximal key length), starts the feedback register at the initial vector
// and chains in cmCTS (ZEVCipher.h), so every buffer, page or control block, is transformed
// from the same state and equal plaintexts give equal ciphertexts.
//
// Ownership and locking: a call owns its cipher for its own duration; calls share no state and
// may run in any thread. Errors: nothing raises; a cipher failure answers false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/storage/ZEVCipher.h"
#include "engine/storage/ZEVCodePage.h"

namespace zev {

// Stored as one byte. Any other value means no encryption.
enum TABSCryptoAlgorithm : uint8_t {
  craRijndael_128 = 0,
  craRijndael_256 = 1,
  craDES_Single = 2,
  craDES_Triple = 3,
  craBlowfish = 4,
  craTwofish_128 = 5,
  craTwofish_256 = 6,
  craSquare = 7,
};

// The cipher of an algorithm, its key set from the password and its register at the initial
// vector; null for a value that is not an algorithm. May raise what the cipher raises.
std::unique_ptr<TCipher> CreateKeyedCipher(TABSCryptoAlgorithm Algorithm,
                                           const AnsiString& Password);

// Encrypts or decrypts Length bytes at Buffer in place with the key of Password (its bytes as
// stored, Windows-1252, no terminator). A value that is not an algorithm leaves the buffer as
// it is and answers true. False only when the cipher raised; the buffer is then left as far as
// the cipher got.
bool EncryptBuffer(TABSCryptoAlgorithm Algorithm, void* Buffer, size_t Length,
                   const AnsiString& Password);
bool DecryptBuffer(TABSCryptoAlgorithm Algorithm, void* Buffer, size_t Length,
                   const AnsiString& Password);

}  // namespace zev
