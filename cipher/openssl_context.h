#pragma once

#include <openssl/types.h>

#include <span>

namespace vornlib {

// The library's own OpenSSL context, so that loading the legacy provider for
// SEED never changes what the host process gets from OpenSSL. nullptr when
// even the default provider could not be loaded.
OSSL_LIB_CTX* libraryContext();

// Ciphers fetched once from that context; nullptr when unavailable. SEED
// lives in the legacy provider, two-key 3DES in the default one.
const EVP_CIPHER* seedCbc();
const EVP_CIPHER* des2Ecb();
const EVP_CIPHER* des2Cbc();

// One whole-message encryption or decryption. `out` must have room for the
// input plus one block. Returns the output length, or -1 (bad padding, no
// cipher, out too small).
int runCipher(const EVP_CIPHER* cipher, const unsigned char* key, const unsigned char* iv,
              bool encrypt, bool padding, std::span<const unsigned char> in,
              std::span<unsigned char> out);

// Random bytes from the library's context.
bool randomBytes(std::span<unsigned char> out);

}  // namespace vornlib
