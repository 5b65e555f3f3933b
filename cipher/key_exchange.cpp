// Key exchange of mode "AR", both sides.
//
// Host -> gateway: the host's RSA public key, DER SubjectPublicKeyInfo.
// Gateway -> host: RSA-OAEP (SHA-256, MGF1 SHA-256, no label) of the 16-byte
// session key, as long as the host's modulus.

#include <gcrypt.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "gcrypt_runtime.h"
#include "rsa_public_key.h"
#include "secure_bytes.h"
#include "session_key.h"
#include "vornlib.h"
#include "vornlib_host.h"

namespace vornlib {
namespace {

// Below 2048 bits RSA no longer protects a key; above 8192 the answer and
// the work grow for nothing, and the answer must fit the gateway's area.
constexpr unsigned kMinRsaBits = 2048;
constexpr unsigned kMaxRsaBits = 8192;
// An 8192-bit key in DER is about 1.1 KB; a bigger chunk is not a key we take.
constexpr std::size_t kMaxPublicKeyDerSize = 2048;

struct SexpRelease {
    void operator()(std::remove_pointer_t<gcry_sexp_t>* sexp) const { gcry_sexp_release(sexp); }
};
struct MpiRelease {
    void operator()(std::remove_pointer_t<gcry_mpi_t>* mpi) const { gcry_mpi_release(mpi); }
};
using Sexp = std::unique_ptr<std::remove_pointer_t<gcry_sexp_t>, SexpRelease>;
using Mpi = std::unique_ptr<std::remove_pointer_t<gcry_mpi_t>, MpiRelease>;
using Bytes = std::vector<unsigned char>;

Mpi mpiOf(const Bytes& unsignedBytes) {
    gcry_mpi_t mpi = nullptr;
    if (gcry_mpi_scan(&mpi, GCRYMPI_FMT_USG, unsignedBytes.data(), unsignedBytes.size(), nullptr) !=
        0) {
        return nullptr;
    }
    return Mpi(mpi);
}

Bytes bytesOf(gcry_mpi_t mpi) {
    unsigned char* buffer = nullptr;
    std::size_t size = 0;
    if (gcry_mpi_aprint(GCRYMPI_FMT_USG, &buffer, &size, mpi) != 0) return {};
    Bytes bytes(buffer, buffer + size);
    gcry_free(buffer);
    return bytes;
}

// The bytes of the first value under `token` in `sexp` (such as "a" in an
// encrypted value); empty when there is none.
std::span<const unsigned char> valueOf(const Sexp& sexp, const char* token, Sexp& holder) {
    holder.reset(gcry_sexp_find_token(sexp.get(), token, 0));
    std::size_t size = 0;
    const char* data = holder ? gcry_sexp_nth_data(holder.get(), 1, &size) : nullptr;
    if (data == nullptr) return {};
    return {reinterpret_cast<const unsigned char*>(data), size};
}

// e must be odd, above 1 and below n, or encryption protects nothing.
bool acceptableRsaKey(gcry_mpi_t n, gcry_mpi_t e) {
    const unsigned bits = gcry_mpi_get_nbits(n);
    return bits >= kMinRsaBits && bits <= kMaxRsaBits && gcry_mpi_test_bit(e, 0) != 0 &&
           gcry_mpi_cmp_ui(e, 1) > 0 && gcry_mpi_cmp(e, n) < 0;
}

struct HostPublicKey {
    Sexp key;
    std::size_t modulusSize = 0;
};

std::optional<HostPublicKey> parseHostKey(std::span<const unsigned char> der) {
    if (!gcryptReady() || der.size() > kMaxPublicKeyDerSize) return std::nullopt;
    const auto numbers = parseRsaPublicKeyDer(der);
    if (!numbers) return std::nullopt;
    const Mpi n = mpiOf(numbers->modulus);
    const Mpi e = mpiOf(numbers->exponent);
    if (!n || !e || !acceptableRsaKey(n.get(), e.get())) return std::nullopt;
    gcry_sexp_t key = nullptr;
    if (gcry_sexp_build(&key, nullptr, "(public-key (rsa (n %m) (e %m)))", n.get(), e.get()) != 0) {
        return std::nullopt;
    }
    return HostPublicKey{Sexp(key), numbers->modulus.size()};
}

// OAEP output is a number below n written as long as n: leading zero bytes
// count, whatever length libgcrypt hands it back with.
Bytes asModulusLength(std::span<const unsigned char> number, std::size_t modulusSize) {
    while (number.size() > modulusSize && number[0] == 0) number = number.subspan(1);
    if (number.empty() || number.size() > modulusSize) return {};
    Bytes out(modulusSize - number.size(), 0);
    out.insert(out.end(), number.begin(), number.end());
    return out;
}

Bytes wrapSessionKey(const HostPublicKey& host, const Des2Key& key) {
    gcry_sexp_t data = nullptr;
    gcry_sexp_t encrypted = nullptr;
    if (gcry_sexp_build(&data, nullptr, "(data (flags oaep) (hash-algo sha256) (value %b))",
                        static_cast<int>(key.size()), key.data()) != 0) {
        return {};
    }
    const Sexp plain(data);
    if (gcry_pk_encrypt(&encrypted, plain.get(), host.key.get()) != 0) return {};
    const Sexp result(encrypted);
    Sexp holder;
    return asModulusLength(valueOf(result, "a", holder), host.modulusSize);
}

int answerKeyExchange(std::span<const unsigned char> hostKeyDer, unsigned char* cipherKey20,
                      std::span<unsigned char> out) {
    const auto hostKey = parseHostKey(hostKeyDer);
    if (!hostKey) return -1;
    Des2Key key{};
    const Bytes answer = makeSessionKey(key) ? wrapSessionKey(*hostKey, key) : Bytes{};
    const bool ok =
        !answer.empty() && answer.size() <= out.size() && storeSessionKey(key, cipherKey20);
    wipe(key.data(), key.size());
    if (!ok) return -1;
    std::copy(answer.begin(), answer.end(), out.begin());
    return static_cast<int>(answer.size());
}

}  // namespace
}  // namespace vornlib

struct VornHostKey {
    vornlib::Sexp privateKey;
    vornlib::RsaPublicKey publicKey;
};

namespace vornlib {
namespace {

std::unique_ptr<VornHostKey> generateRsaKey(int bits) {
    if (!gcryptReady() || bits < static_cast<int>(kMinRsaBits) ||
        bits > static_cast<int>(kMaxRsaBits)) {
        return nullptr;
    }
    gcry_sexp_t params = nullptr;
    gcry_sexp_t pair = nullptr;
    if (gcry_sexp_build(&params, nullptr, "(genkey (rsa (nbits %d)))", bits) != 0) return nullptr;
    const Sexp request(params);
    if (gcry_pk_genkey(&pair, request.get()) != 0) return nullptr;
    const Sexp keyPair(pair);

    Sexp privateKey(gcry_sexp_find_token(keyPair.get(), "private-key", 0));
    const Sexp publicKey(gcry_sexp_find_token(keyPair.get(), "public-key", 0));
    gcry_mpi_t n = nullptr;
    gcry_mpi_t e = nullptr;
    if (!privateKey || !publicKey ||
        gcry_sexp_extract_param(publicKey.get(), nullptr, "ne", &n, &e, nullptr) != 0) {
        return nullptr;
    }
    const Mpi modulus(n);
    const Mpi exponent(e);
    return std::make_unique<VornHostKey>(
        VornHostKey{std::move(privateKey), {bytesOf(modulus.get()), bytesOf(exponent.get())}});
}

// Only an answer exactly as long as the modulus is one the gateway sent.
bool unwrapSessionKey(const VornHostKey& host, std::span<const unsigned char> wrapped,
                      Des2Key& key) {
    if (!gcryptReady() || wrapped.size() != host.publicKey.modulus.size()) return false;
    gcry_sexp_t data = nullptr;
    gcry_sexp_t decrypted = nullptr;
    if (gcry_sexp_build(&data, nullptr, "(enc-val (flags oaep) (hash-algo sha256) (rsa (a %b)))",
                        static_cast<int>(wrapped.size()), wrapped.data()) != 0) {
        return false;
    }
    const Sexp encrypted(data);
    if (gcry_pk_decrypt(&decrypted, encrypted.get(), host.privateKey.get()) != 0) return false;
    const Sexp result(decrypted);
    Sexp holder;
    const auto plain = valueOf(result, "value", holder);
    const bool ok = plain.size() == key.size();
    if (ok) std::copy(plain.begin(), plain.end(), key.begin());
    return ok;
}

}  // namespace
}  // namespace vornlib

extern "C" {

int VORNLIB_CALL GetRsa3DesKey(const unsigned char* data, int len, unsigned char* cipherKey20,
                               unsigned char* out) {
    // Cleared first, so whatever fails below leaves a key that
    // GetRasEncData/GetRasDecData refuse rather than a previous call's key.
    if (cipherKey20 == nullptr) return -1;
    vornlib::clearSessionKey(cipherKey20);
    if (data == nullptr || len <= 0 || out == nullptr) return -1;
    try {
        return vornlib::answerKeyExchange({data, static_cast<std::size_t>(len)}, cipherKey20,
                                          {out, VORNLIB_EXCHANGE_AREA_SIZE});
    } catch (...) {
        vornlib::clearSessionKey(cipherKey20);
        return -1;
    }
}

VornHostKey* VORNLIB_CALL VornHost_NewRsaKey(int bits) {
    try {
        return vornlib::generateRsaKey(bits).release();
    } catch (...) {
        return nullptr;
    }
}

void VORNLIB_CALL VornHost_FreeRsaKey(VornHostKey* key) { delete key; }

int VORNLIB_CALL VornHost_PublicKeyDer(const VornHostKey* key, unsigned char* out, int outSize) {
    if (key == nullptr || out == nullptr) return -1;
    try {
        const auto der = vornlib::rsaPublicKeyDer(key->publicKey);
        if (outSize < 0 || der.size() > static_cast<std::size_t>(outSize)) return -1;
        std::copy(der.begin(), der.end(), out);
        return static_cast<int>(der.size());
    } catch (...) {
        return -1;
    }
}

int VORNLIB_CALL VornHost_UnwrapSessionKey(const VornHostKey* key, const unsigned char* answer,
                                           int len, unsigned char* cipherKey20) {
    if (cipherKey20 == nullptr) return -1;
    vornlib::clearSessionKey(cipherKey20);
    if (key == nullptr || answer == nullptr || len <= 0) return -1;
    try {
        vornlib::Des2Key sessionKey{};
        const bool ok =
            vornlib::unwrapSessionKey(*key, {answer, static_cast<std::size_t>(len)}, sessionKey) &&
            vornlib::storeSessionKey(sessionKey, cipherKey20);
        vornlib::wipe(sessionKey.data(), sessionKey.size());
        return ok ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
