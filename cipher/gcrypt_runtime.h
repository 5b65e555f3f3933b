#pragma once

#include <cstddef>
#include <span>

namespace vornlib {

// The block ciphers of the library's formats. Des2 is two-key 3DES (EDE,
// K1 K2 K1) and takes its 16-byte key K1 || K2.
enum class Cipher { SeedCbc, Des2Ecb, Des2Cbc };

// True once libgcrypt is initialised; the first call does it, from whichever
// thread comes first. Every other function here calls it itself.
bool gcryptReady();

// One whole-message encryption or decryption. `iv` is ignored in ECB. With
// `padding`, PKCS#7 is added or checked and removed. `out` must have room for
// the input plus one block. Returns the output length, or -1 (bad padding or
// length, out too small, libgcrypt unusable).
int runCipher(Cipher cipher, const unsigned char* key, const unsigned char* iv, bool encrypt,
              bool padding, std::span<const unsigned char> in, std::span<unsigned char> out);

// Random bytes for keys and IVs.
bool randomBytes(std::span<unsigned char> out);

}  // namespace vornlib
