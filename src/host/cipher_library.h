#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>

#include "host/dynamic_library.h"
#include "support/bytes.h"

namespace tavorline {

// A call into an export that the library does not have (or a library that
// did not load).
class CipherUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::size_t kSeedOutputSize = 8192;
inline constexpr std::size_t kKeyExchangeOutputSize = 2049;
inline constexpr std::size_t kCipherKeySize = 20;
using CipherKey = std::array<unsigned char, kCipherKeySize>;
// The output area handed to the key-exchange calls. The library is not told
// its size, so it is made far larger than any result those calls can give
// for `inputLength` bytes (never smaller than 2049), and counts the library
// returns are clamped to it.
std::size_t keyExchangeAreaSize(std::size_t inputLength);

// The 3DES key the terminal messages of mode AD are sealed with.
inline constexpr BytesView kDes3Key = "QWVRMXZL50381627";

// The payment network's cipher library (SEED, 3DES and the RSA key exchange),
// loaded at start and unloaded at the end. Nothing is reported when it or an
// export is missing; each call to a missing export throws CipherUnavailable.
class CipherLibrary {
public:
    explicit CipherLibrary(DynamicLibrary& library);

    // Loads the library and looks up the six exports; never fails.
    void load();
    void unload();

    int SEED_Vorn(const char* mode, const char* input, char* output);
    void EncDES3(const unsigned char* in8, const char* key16, unsigned char* out8);
    void DecDES3(const unsigned char* in8, const char* key16, unsigned char* out8);
    int GetRsa3DesKey(const unsigned char* data, int len, unsigned char* cipherKey20,
                      unsigned char* out);
    int GetRasEncData(const char* tag, const unsigned char* data, int len,
                      unsigned char* cipherKey20, unsigned char* out);
    int GetRasDecData(const unsigned char* data, int len, unsigned char* cipherKey20,
                      unsigned char* out);

    // Eight output bytes per started block of eight input bytes, zero-filled;
    // empty input gives one block. Throws CipherUnavailable.
    Bytes Des3Crypt(char mode, BytesView input);
    // Returns the library's count; `output` becomes its result (empty for a
    // count of 0 or less), or keeps its value when the call fails (-1).
    int SeedCrypt(char mode, BytesView input, Bytes& output);

private:
    using SeedFn = int (*)(const char*, const char*, char*);
    using Des3Fn = void (*)(const unsigned char*, const char*, unsigned char*);
    using RsaKeyFn = int (*)(const unsigned char*, int, unsigned char*, unsigned char*);
    using RasEncFn = int (*)(const char*, const unsigned char*, int, unsigned char*,
                             unsigned char*);
    using RasDecFn = int (*)(const unsigned char*, int, unsigned char*, unsigned char*);

    DynamicLibrary& library_;
    SeedFn seed_ = nullptr;
    Des3Fn encDes3_ = nullptr;
    Des3Fn decDes3_ = nullptr;
    RsaKeyFn rsaKey_ = nullptr;
    RasEncFn rasEnc_ = nullptr;
    RasDecFn rasDec_ = nullptr;
};

}  // namespace tavorline
