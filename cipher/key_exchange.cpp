// Key exchange of mode "AR", both sides.
//
// Host -> gateway: the host's RSA public key, DER SubjectPublicKeyInfo.
// Gateway -> host: RSA-OAEP (SHA-256, MGF1 SHA-256, no label) of the 16-byte
// session key, as long as the host's modulus.

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "openssl_context.h"
#include "session_key.h"
#include "vornlib.h"
#include "vornlib_host.h"

namespace vornlib {
namespace {

// Below 2048 bits RSA no longer protects a key; above 8192 the answer and
// the work grow for nothing, and the answer must fit the gateway's area.
constexpr int kMinRsaBits = 2048;
constexpr int kMaxRsaBits = 8192;
// An 8192-bit key in DER is about 1.1 KB; a bigger chunk is not a key we take.
constexpr std::size_t kMaxPublicKeyDerSize = 2048;

struct PkeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PkeyCtxDeleter {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter>;

bool acceptableRsaKey(EVP_PKEY* key) {
    const int bits = EVP_PKEY_get_bits(key);
    return EVP_PKEY_is_a(key, "RSA") && bits >= kMinRsaBits && bits <= kMaxRsaBits;
}

// Exactly one DER SubjectPublicKeyInfo; trailing bytes mean the chunk is not
// what we think it is.
PkeyPtr parseHostKey(std::span<const unsigned char> der) {
    OSSL_LIB_CTX* libctx = libraryContext();
    if (libctx == nullptr || der.size() > kMaxPublicKeyDerSize) return nullptr;
    const unsigned char* p = der.data();
    PkeyPtr key(d2i_PUBKEY_ex(nullptr, &p, static_cast<long>(der.size()), libctx, nullptr));
    if (!key || p != der.data() + der.size() || !acceptableRsaKey(key.get())) return nullptr;
    return key;
}

PkeyCtxPtr oaepContext(EVP_PKEY* key, bool encrypt) {
    OSSL_LIB_CTX* libctx = libraryContext();
    if (libctx == nullptr) return nullptr;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(libctx, key, nullptr));
    if (!ctx) return nullptr;
    const int init = encrypt ? EVP_PKEY_encrypt_init(ctx.get()) : EVP_PKEY_decrypt_init(ctx.get());
    if (init != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) != 1 ||
        EVP_PKEY_CTX_set_rsa_oaep_md_name(ctx.get(), "SHA256", nullptr) != 1 ||
        EVP_PKEY_CTX_set_rsa_mgf1_md_name(ctx.get(), "SHA256", nullptr) != 1) {
        return nullptr;
    }
    return ctx;
}

std::vector<unsigned char> wrapSessionKey(EVP_PKEY* hostKey, const Des2Key& key) {
    const PkeyCtxPtr ctx = oaepContext(hostKey, true);
    std::size_t size = 0;
    if (!ctx || EVP_PKEY_encrypt(ctx.get(), nullptr, &size, key.data(), key.size()) != 1) {
        return {};
    }
    std::vector<unsigned char> wrapped(size);
    if (EVP_PKEY_encrypt(ctx.get(), wrapped.data(), &size, key.data(), key.size()) != 1) return {};
    wrapped.resize(size);
    return wrapped;
}

bool unwrapSessionKey(EVP_PKEY* hostKey, std::span<const unsigned char> wrapped, Des2Key& key) {
    const PkeyCtxPtr ctx = oaepContext(hostKey, false);
    std::size_t size = 0;
    if (!ctx || EVP_PKEY_decrypt(ctx.get(), nullptr, &size, wrapped.data(), wrapped.size()) != 1) {
        return false;
    }
    std::vector<unsigned char> plain(size);
    const bool ok =
        EVP_PKEY_decrypt(ctx.get(), plain.data(), &size, wrapped.data(), wrapped.size()) == 1 &&
        size == key.size();
    if (ok) std::copy_n(plain.begin(), key.size(), key.begin());
    OPENSSL_cleanse(plain.data(), plain.size());
    return ok;
}

int answerKeyExchange(std::span<const unsigned char> hostKeyDer, unsigned char* cipherKey20,
                      std::span<unsigned char> out) {
    const PkeyPtr hostKey = parseHostKey(hostKeyDer);
    if (!hostKey) return -1;
    Des2Key key{};
    const std::vector<unsigned char> answer =
        makeSessionKey(key) ? wrapSessionKey(hostKey.get(), key) : std::vector<unsigned char>{};
    const bool ok =
        !answer.empty() && answer.size() <= out.size() && storeSessionKey(key, cipherKey20);
    OPENSSL_cleanse(key.data(), key.size());
    if (!ok) return -1;
    std::copy(answer.begin(), answer.end(), out.begin());
    return static_cast<int>(answer.size());
}

PkeyPtr generateRsaKey(int bits) {
    OSSL_LIB_CTX* libctx = libraryContext();
    if (libctx == nullptr || bits < kMinRsaBits || bits > kMaxRsaBits) return nullptr;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(libctx, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), static_cast<unsigned>(bits)) != 1 ||
        EVP_PKEY_generate(ctx.get(), &key) != 1) {
        return nullptr;
    }
    return PkeyPtr(key);
}

}  // namespace
}  // namespace vornlib

struct VornHostKey {
    vornlib::PkeyPtr key;
};

extern "C" {

int GetRsa3DesKey(const unsigned char* data, int len, unsigned char* cipherKey20,
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

VornHostKey* VornHost_NewRsaKey(int bits) {
    try {
        vornlib::PkeyPtr key = vornlib::generateRsaKey(bits);
        return key ? new VornHostKey{std::move(key)} : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void VornHost_FreeRsaKey(VornHostKey* key) { delete key; }

int VornHost_PublicKeyDer(const VornHostKey* key, unsigned char* out, int outSize) {
    if (key == nullptr || out == nullptr) return -1;
    const int size = i2d_PUBKEY(key->key.get(), nullptr);
    if (size <= 0 || size > outSize) return -1;
    unsigned char* p = out;
    return i2d_PUBKEY(key->key.get(), &p) == size ? size : -1;
}

int VornHost_UnwrapSessionKey(const VornHostKey* key, const unsigned char* answer, int len,
                              unsigned char* cipherKey20) {
    if (cipherKey20 == nullptr) return -1;
    vornlib::clearSessionKey(cipherKey20);
    if (key == nullptr || answer == nullptr || len <= 0) return -1;
    try {
        vornlib::Des2Key sessionKey{};
        const bool ok = vornlib::unwrapSessionKey(
                            key->key.get(), {answer, static_cast<std::size_t>(len)}, sessionKey) &&
                        vornlib::storeSessionKey(sessionKey, cipherKey20);
        OPENSSL_cleanse(sessionKey.data(), sessionKey.size());
        return ok ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
