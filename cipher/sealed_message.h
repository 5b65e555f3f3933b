#pragma once

#include <cstddef>
#include <span>

namespace vornlib {

// A message of mode "AR" after the key exchange, either direction:
//   tag[4] | body length[2, big-endian] | IV[8] | 3DES-CBC(session key, IV,
//   plain + PKCS#7 padding)
// The length lets a host find message boundaries in its TCP stream; the tag
// names the sender's application (the gateway sends "TVLN").
inline constexpr std::size_t kTagSize = 4;
inline constexpr std::size_t kHeaderSize = kTagSize + 2;
inline constexpr std::size_t kMaxBodySize = 0xFFFF;

// Returns the sealed length, or -1 (bad tag, unusable key, out too small).
int sealMessage(const char* tag, std::span<const unsigned char> plain,
                const unsigned char* cipherKey20, std::span<unsigned char> out);

// Opens exactly one whole message. Returns the plain length, or -1 when the
// message is malformed, does not decrypt, or its plain text exceeds `out`.
int openMessage(std::span<const unsigned char> message, const unsigned char* cipherKey20,
                std::span<unsigned char> out);

}  // namespace vornlib
