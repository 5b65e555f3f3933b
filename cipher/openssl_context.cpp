#include "openssl_context.h"

#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>

namespace vornlib {
namespace {

struct CipherDeleter {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
using CipherPtr = std::unique_ptr<EVP_CIPHER, CipherDeleter>;

// Created on first use (thread-safe as a function-local static) and released
// when the library is unloaded.
class Context {
public:
    Context() {
        ctx_ = OSSL_LIB_CTX_new();
        if (ctx_ == nullptr) return;
        defaultProvider_ = OSSL_PROVIDER_load(ctx_, "default");
        legacyProvider_ = OSSL_PROVIDER_load(ctx_, "legacy");
        if (defaultProvider_ == nullptr) return;
        // A missing legacy module costs only SEED; the 3DES modes still work.
        if (legacyProvider_ != nullptr) seed_.reset(EVP_CIPHER_fetch(ctx_, "SEED-CBC", nullptr));
        des2Ecb_.reset(EVP_CIPHER_fetch(ctx_, "DES-EDE-ECB", nullptr));
        des2Cbc_.reset(EVP_CIPHER_fetch(ctx_, "DES-EDE-CBC", nullptr));
    }
    ~Context() {
        seed_.reset();
        des2Ecb_.reset();
        des2Cbc_.reset();
        if (legacyProvider_ != nullptr) OSSL_PROVIDER_unload(legacyProvider_);
        if (defaultProvider_ != nullptr) OSSL_PROVIDER_unload(defaultProvider_);
        OSSL_LIB_CTX_free(ctx_);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    OSSL_LIB_CTX* usable() const { return defaultProvider_ != nullptr ? ctx_ : nullptr; }
    const EVP_CIPHER* seed() const { return seed_.get(); }
    const EVP_CIPHER* des2Ecb() const { return des2Ecb_.get(); }
    const EVP_CIPHER* des2Cbc() const { return des2Cbc_.get(); }

private:
    OSSL_LIB_CTX* ctx_ = nullptr;
    OSSL_PROVIDER* defaultProvider_ = nullptr;
    OSSL_PROVIDER* legacyProvider_ = nullptr;
    CipherPtr seed_;
    CipherPtr des2Ecb_;
    CipherPtr des2Cbc_;
};

const Context& context() {
    static const Context instance;
    return instance;
}

struct CipherCtxDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

}  // namespace

OSSL_LIB_CTX* libraryContext() { return context().usable(); }
const EVP_CIPHER* seedCbc() { return context().seed(); }
const EVP_CIPHER* des2Ecb() { return context().des2Ecb(); }
const EVP_CIPHER* des2Cbc() { return context().des2Cbc(); }

int runCipher(const EVP_CIPHER* cipher, const unsigned char* key, const unsigned char* iv,
              bool encrypt, bool padding, std::span<const unsigned char> in,
              std::span<unsigned char> out) {
    if (cipher == nullptr || in.size() > INT_MAX / 2) return -1;
    const auto block = static_cast<std::size_t>(EVP_CIPHER_get_block_size(cipher));
    if (out.size() < in.size() + block) return -1;

    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex2(ctx.get(), cipher, key, iv, encrypt ? 1 : 0, nullptr) != 1) {
        return -1;
    }
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
    int written = 0;
    int last = 0;
    const int size = static_cast<int>(in.size());
    if (EVP_CipherUpdate(ctx.get(), out.data(), &written, in.data(), size) != 1) return -1;
    if (EVP_CipherFinal_ex(ctx.get(), out.data() + written, &last) != 1) return -1;
    return written + last;
}

bool randomBytes(std::span<unsigned char> out) {
    OSSL_LIB_CTX* ctx = libraryContext();
    return ctx != nullptr && RAND_bytes_ex(ctx, out.data(), out.size(), 0) == 1;
}

}  // namespace vornlib
