#include "session_key.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "gcrypt_runtime.h"
#include "secure_bytes.h"
#include "vornlib.h"

namespace vornlib {
namespace {

using KeyCheck = std::array<unsigned char, kKeyCheckSize>;

bool keyCheckValue(const Des2Key& key, KeyCheck& check) {
    const unsigned char zeros[kDesBlockSize] = {};
    unsigned char block[kDesBlockSize];
    if (!des2Block(true, key.data(), zeros, block)) return false;
    std::copy_n(block, check.size(), check.begin());
    return true;
}

void setOddParity(Des2Key& key) {
    for (unsigned char& byte : key) {
        const bool even = std::popcount(static_cast<unsigned>(byte & 0xFE)) % 2 == 0;
        byte = static_cast<unsigned char>((byte & 0xFE) | (even ? 1 : 0));
    }
}

bool halvesDiffer(const Des2Key& key) {
    return !std::equal(key.begin(), key.begin() + kDesBlockSize, key.begin() + kDesBlockSize);
}

}  // namespace

bool des2Block(bool encrypt, const unsigned char* key16, const unsigned char* in8,
               unsigned char* out8) {
    unsigned char block[2 * kDesBlockSize];
    const int n =
        runCipher(Cipher::Des2Ecb, key16, nullptr, encrypt, false, {in8, kDesBlockSize}, block);
    if (n != static_cast<int>(kDesBlockSize)) return false;
    std::memcpy(out8, block, kDesBlockSize);
    return true;
}

bool makeSessionKey(Des2Key& key) {
    do {
        if (!randomBytes(key)) return false;
        setOddParity(key);
    } while (!halvesDiffer(key));
    return true;
}

bool storeSessionKey(const Des2Key& key, unsigned char* cipherKey20) {
    KeyCheck check;
    if (!keyCheckValue(key, check)) return false;
    std::copy(key.begin(), key.end(), cipherKey20);
    std::copy(check.begin(), check.end(), cipherKey20 + kDes2KeySize);
    return true;
}

bool loadSessionKey(const unsigned char* cipherKey20, Des2Key& key) {
    if (cipherKey20 == nullptr) return false;
    std::copy_n(cipherKey20, kDes2KeySize, key.begin());
    KeyCheck check;
    if (keyCheckValue(key, check) &&
        equalInConstantTime(check.data(), cipherKey20 + kDes2KeySize, check.size())) {
        return true;
    }
    wipe(key.data(), key.size());
    return false;
}

void clearSessionKey(unsigned char* cipherKey20) {
    if (cipherKey20 != nullptr) wipe(cipherKey20, kCipherKeySize);
}

}  // namespace vornlib

extern "C" {

static_assert(vornlib::kCipherKeySize == VORNLIB_CIPHER_KEY_SIZE);

// On refusal the block is zeroed: the gateway has no way to see a failure
// here, and eight zero bytes are safer to send than the plain block.
void VORNLIB_CALL EncDES3(const unsigned char* in8, const char* key16, unsigned char* out8) {
    if (out8 == nullptr) return;
    const auto* key = reinterpret_cast<const unsigned char*>(key16);
    if (in8 == nullptr || key16 == nullptr || !vornlib::des2Block(true, key, in8, out8)) {
        std::memset(out8, 0, vornlib::kDesBlockSize);
    }
}

void VORNLIB_CALL DecDES3(const unsigned char* in8, const char* key16, unsigned char* out8) {
    if (out8 == nullptr) return;
    const auto* key = reinterpret_cast<const unsigned char*>(key16);
    if (in8 == nullptr || key16 == nullptr || !vornlib::des2Block(false, key, in8, out8)) {
        std::memset(out8, 0, vornlib::kDesBlockSize);
    }
}

}  // extern "C"
