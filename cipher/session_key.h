#pragma once

#include <array>
#include <cstddef>

namespace vornlib {

inline constexpr std::size_t kDes2KeySize = 16;  // K1 || K2
inline constexpr std::size_t kDesBlockSize = 8;
inline constexpr std::size_t kCipherKeySize = 20;  // the caller's CipherKey area
inline constexpr std::size_t kKeyCheckSize = kCipherKeySize - kDes2KeySize;

using Des2Key = std::array<unsigned char, kDes2KeySize>;

// One 8-byte block through two-key 3DES (EDE, K1 K2 K1). in and out may alias.
bool des2Block(bool encrypt, const unsigned char* key16, const unsigned char* in8,
               unsigned char* out8);

// A fresh random session key with odd-parity bytes (as DES keys are written
// by convention, so hosts that check parity accept it) and K1 != K2, which
// would otherwise collapse to single DES.
bool makeSessionKey(Des2Key& key);

// The CipherKey area holds the key and its check value: the first four bytes
// of the key encrypting eight zero bytes (the usual key check value). A zeroed
// or never filled area fails the check, so it is never used as a key.
bool storeSessionKey(const Des2Key& key, unsigned char* cipherKey20);
bool loadSessionKey(const unsigned char* cipherKey20, Des2Key& key);

// Zeroes the area so that a later load fails.
void clearSessionKey(unsigned char* cipherKey20);

}  // namespace vornlib
