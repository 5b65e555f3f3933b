// SEED_Vorn: SEED-CBC with the built-in key, carried as base64 text because
// the gateway passes both directions as NUL-terminated strings.
//
// Text = base64( IV[16] || SEED-CBC(key, IV, plain + PKCS#7 padding) )

#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "base64.h"
#include "gcrypt_runtime.h"
#include "secure_bytes.h"
#include "vornlib.h"

namespace vornlib {
namespace {

constexpr std::size_t kSeedBlockSize = 16;
// The key both sides of modes "CR" and "LF" share ("TavorlineSeedKey").
constexpr std::array<unsigned char, kSeedBlockSize> kSeedKey = {
    'T', 'a', 'v', 'o', 'r', 'l', 'i', 'n', 'e', 'S', 'e', 'e', 'd', 'K', 'e', 'y'};

// One byte of the area is kept for the terminating NUL.
constexpr std::size_t kMaxTextSize = VORNLIB_SEED_AREA_SIZE - 1;

// The largest IV + ciphertext whose base64 text still fits.
constexpr std::size_t maxSealedSize() {
    std::size_t size = 2 * kSeedBlockSize;
    while (base64Size(size + kSeedBlockSize) <= kMaxTextSize) size += kSeedBlockSize;
    return size;
}
constexpr std::size_t kMaxSealedSize = maxSealedSize();
constexpr std::size_t kMaxCipherTextSize = base64Size(kMaxSealedSize);
// Padding always adds at least one byte.
constexpr std::size_t kMaxPlainSize = kMaxSealedSize - kSeedBlockSize - 1;

// Scratch bytes that may hold plain text; wiped when they go.
class Scratch {
public:
    explicit Scratch(std::size_t size) : bytes_(size) {}
    ~Scratch() { wipe(bytes_.data(), bytes_.size()); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::span<unsigned char> span() { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
};

int seedEncrypt(const char* input, char* output) {
    const std::size_t n = strnlen(input, kMaxPlainSize + 1);
    if (n > kMaxPlainSize) return -1;

    Scratch sealed(kSeedBlockSize + n + kSeedBlockSize);
    const auto iv = sealed.span().first(kSeedBlockSize);
    if (!randomBytes(iv)) return -1;
    const int cipherSize = runCipher(Cipher::SeedCbc, kSeedKey.data(), iv.data(), true, true,
                                     {reinterpret_cast<const unsigned char*>(input), n},
                                     sealed.span().subspan(kSeedBlockSize));
    if (cipherSize < 0) return -1;

    const auto bytes = sealed.span().first(kSeedBlockSize + static_cast<std::size_t>(cipherSize));
    const std::size_t textSize = base64Size(bytes.size());
    base64Encode(bytes, output);
    output[textSize] = '\0';
    return static_cast<int>(textSize);
}

int seedDecrypt(const char* input, char* output) {
    const std::size_t n = strnlen(input, kMaxCipherTextSize + 1);
    if (n > kMaxCipherTextSize) return -1;
    const auto sealed = base64Decode({input, n});
    if (!sealed || sealed->size() < 2 * kSeedBlockSize || sealed->size() % kSeedBlockSize != 0) {
        return -1;
    }

    const std::span<const unsigned char> bytes(*sealed);
    Scratch plain(sealed->size());
    const int plainSize = runCipher(Cipher::SeedCbc, kSeedKey.data(), bytes.data(), false, true,
                                    bytes.subspan(kSeedBlockSize), plain.span());
    if (plainSize < 0 || static_cast<std::size_t>(plainSize) > kMaxTextSize) return -1;
    std::memcpy(output, plain.span().data(), static_cast<std::size_t>(plainSize));
    output[plainSize] = '\0';
    return plainSize;
}

}  // namespace
}  // namespace vornlib

extern "C" int VORNLIB_CALL SEED_Vorn(const char* mode, const char* input, char* output) {
    if (mode == nullptr || input == nullptr || output == nullptr) return -1;
    try {
        if (std::strcmp(mode, "E") == 0) return vornlib::seedEncrypt(input, output);
        if (std::strcmp(mode, "D") == 0) return vornlib::seedDecrypt(input, output);
    } catch (...) {
        // Out of memory: refuse like any other failure; nothing may cross the C boundary.
    }
    return -1;
}
