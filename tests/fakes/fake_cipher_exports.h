#pragma once

#include <cstring>
#include <optional>
#include <string>

#include "engine_fakes.h"

// Stand-ins for the cipher library's exports with transforms a test can read:
// SEED wraps text in "S(...)", 3DES flips bits, the keyed calls prefix "K:".
namespace tavorline::testing::fake_cipher {

inline int seedResultOverride = 0;       // used instead of the real count when non-zero
inline std::optional<int> rsaKeyResult;  // used instead of the real count when set
inline std::string lastRasTag;

inline int seed(const char* mode, const char* input, char* output) {
    std::string text(input);
    std::string result;
    if (mode[0] == 'E') {
        result = "S(" + text + ")";
    } else if (text.size() >= 3 && text.starts_with("S(") && text.ends_with(")")) {
        result = text.substr(2, text.size() - 3);
    } else {
        return 0;
    }
    std::memcpy(output, result.data(), result.size());
    return seedResultOverride != 0 ? seedResultOverride : static_cast<int>(result.size());
}

inline void des3(const unsigned char* in8, const char*, unsigned char* out8) {
    for (int i = 0; i < 8; ++i) out8[i] = static_cast<unsigned char>(in8[i] ^ 0x20);
}

inline int rsaKey(const unsigned char* data, int len, unsigned char* key20, unsigned char* out) {
    std::memset(key20, 'k', 20);
    std::memcpy(out, "SESSION:", 8);
    std::memcpy(out + 8, data, static_cast<std::size_t>(len));
    return rsaKeyResult.value_or(len + 8);
}

inline int rasEnc(const char* tag, const unsigned char* data, int len, unsigned char* key20,
                  unsigned char* out) {
    lastRasTag = tag;
    if (key20[0] != 'k') return 0;
    std::memcpy(out, "K:", 2);
    std::memcpy(out + 2, data, static_cast<std::size_t>(len));
    return len + 2;
}

inline int rasDec(const unsigned char* data, int len, unsigned char*, unsigned char* out) {
    if (len < 2 || std::memcmp(data, "K:", 2) != 0) return 0;
    std::memcpy(out, data + 2, static_cast<std::size_t>(len - 2));
    return len - 2;
}

// Grows its input threefold: more than the 2049 bytes the library is
// promised for long requests.
inline int rasEncBloated(const char*, const unsigned char* data, int len, unsigned char*,
                         unsigned char* out) {
    for (int i = 0; i < 3 * len; ++i) out[i] = data[i % len];
    return 3 * len;
}

inline void install(FakeLibrary& library) {
    library.symbols = {{"SEED_Vorn", reinterpret_cast<void*>(&seed)},
                       {"EncDES3", reinterpret_cast<void*>(&des3)},
                       {"DecDES3", reinterpret_cast<void*>(&des3)},
                       {"GetRsa3DesKey", reinterpret_cast<void*>(&rsaKey)},
                       {"GetRasEncData", reinterpret_cast<void*>(&rasEnc)},
                       {"GetRasDecData", reinterpret_cast<void*>(&rasDec)}};
}

}  // namespace tavorline::testing::fake_cipher
