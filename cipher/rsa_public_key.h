#pragma once

#include <optional>
#include <span>
#include <vector>

namespace vornlib {

// An RSA public key as its two numbers, unsigned big-endian, without
// leading zero bytes.
struct RsaPublicKey {
    std::vector<unsigned char> modulus;
    std::vector<unsigned char> exponent;
};

// The DER SubjectPublicKeyInfo of an RSA key (rsaEncryption), the form a host
// sends in mode "AR":
//   SEQUENCE { SEQUENCE { OID 1.2.840.113549.1.1.1, NULL },
//              BIT STRING { SEQUENCE { INTEGER n, INTEGER e } } }
// Parsing is strict DER and takes exactly one key: no trailing bytes, no
// negative or zero numbers, no other algorithm.
std::optional<RsaPublicKey> parseRsaPublicKeyDer(std::span<const unsigned char> der);
std::vector<unsigned char> rsaPublicKeyDer(const RsaPublicKey& key);

}  // namespace vornlib
