#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <bit>

#include "vornlib_loader.h"

namespace vornlib_test {
namespace {

Bytes derOf(EVP_PKEY* key) {
    Bytes der(static_cast<std::size_t>(i2d_PUBKEY(key, nullptr)));
    unsigned char* p = der.data();
    i2d_PUBKEY(key, &p);
    EVP_PKEY_free(key);
    return der;
}

// A public key with a random odd modulus: enough to encrypt to, and far
// quicker than generating a real key of 8192 or 9000 bits.
Bytes rsaPublicKeyOfBits(int bits) {
    BIGNUM* n = BN_new();
    BN_rand(n, bits, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ODD);
    OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n);
    OSSL_PARAM_BLD_push_uint(build, OSSL_PKEY_PARAM_RSA_E, 65537);
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(build);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* key = nullptr;
    EVP_PKEY_fromdata_init(ctx);
    EVP_PKEY_fromdata(ctx, &key, EVP_PKEY_PUBLIC_KEY, params);
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(build);
    BN_free(n);
    return derOf(key);
}

int exchange(const Bytes& der, CipherKey& key, GuardedArea& answer) {
    return vornLib().GetRsa3DesKey(der.data(), static_cast<int>(der.size()), key.data(),
                                   answer.data());
}

bool canSealWith(CipherKey& key) {
    unsigned char out[VORNLIB_EXCHANGE_AREA_SIZE];
    return vornLib().GetRasEncData("TVLN", bytesOf("x"), 1, key.data(), out) > 0;
}

TEST(KeyExchange, GatewayAndHostEndWithTheSameFreshSessionKey) {
    const SessionKeys keys = exchangeKeys();
    EXPECT_EQ(keys.answer.size(), 256u);  // one RSA block of the 2048-bit host key
    EXPECT_EQ(keys.host, keys.gateway);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(std::popcount(keys.gateway[i]) % 2, 1) << "DES key parity, byte " << i;
    }
    EXPECT_NE(exchangeKeys().gateway, keys.gateway);
}

// RSA-OAEP with SHA-256 as hash and MGF1 hash, the exchange's padding.
EVP_PKEY_CTX* oaepContext(EVP_PKEY* key, bool encrypt) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    encrypt ? EVP_PKEY_encrypt_init(ctx) : EVP_PKEY_decrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING);
    EVP_PKEY_CTX_set_rsa_oaep_md(ctx, EVP_sha256());
    EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha256());
    return ctx;
}

// Hosts implement their side with other RSA code: OpenSSL stands in for it.
TEST(KeyExchange, InteroperatesWithAnotherRsaImplementation) {
    EVP_PKEY* foreignHost = EVP_RSA_gen(2048);
    CipherKey gatewayKey{};
    GuardedArea answer(VORNLIB_EXCHANGE_AREA_SIZE);
    EVP_PKEY_up_ref(foreignHost);
    ASSERT_EQ(exchange(derOf(foreignHost), gatewayKey, answer), 256);
    EVP_PKEY_CTX* decrypt = oaepContext(foreignHost, false);
    unsigned char unwrapped[256];
    std::size_t size = sizeof unwrapped;
    ASSERT_EQ(EVP_PKEY_decrypt(decrypt, unwrapped, &size, answer.data(), 256), 1);
    EXPECT_EQ(Bytes(unwrapped, unwrapped + size),
              Bytes(gatewayKey.begin(), gatewayKey.begin() + 16));
    EVP_PKEY_CTX_free(decrypt);
    EVP_PKEY_free(foreignHost);

    // The other way: our host key read by OpenSSL, a key wrapped there.
    const Bytes der = publicKeyDer(hostKey());
    const unsigned char* p = der.data();
    EVP_PKEY* ourHost = d2i_PUBKEY(nullptr, &p, static_cast<long>(der.size()));
    ASSERT_NE(ourHost, nullptr);
    EXPECT_EQ(p, der.data() + der.size());
    const std::string sessionKey =
        "\x01\x23\x45\x67\x89\xAB\xCD\xEF\xFE\xDC\xBA\x98\x76\x54\x32\x10";
    EVP_PKEY_CTX* encrypt = oaepContext(ourHost, true);
    unsigned char wrapped[256];
    size = sizeof wrapped;
    ASSERT_EQ(EVP_PKEY_encrypt(encrypt, wrapped, &size, bytesOf(sessionKey), 16), 1);
    EVP_PKEY_CTX_free(encrypt);
    EVP_PKEY_free(ourHost);
    CipherKey hostKeyArea{};
    ASSERT_EQ(vornLib().VornHost_UnwrapSessionKey(hostKey(), wrapped, static_cast<int>(size),
                                                  hostKeyArea.data()),
              0);
    EXPECT_EQ(std::string(hostKeyArea.begin(), hostKeyArea.begin() + 16), sessionKey);
}

TEST(KeyExchange, AcceptsHostKeysUpTo8192Bits) {
    CipherKey key{};
    GuardedArea answer(VORNLIB_EXCHANGE_AREA_SIZE);
    EXPECT_EQ(exchange(rsaPublicKeyOfBits(8192), key, answer), 1024);
    EXPECT_TRUE(answer.guardIntact());
    EXPECT_TRUE(canSealWith(key));
}

TEST(KeyExchange, RefusesHostDataThatIsNoUsableKeyAndForgetsTheOldKey) {
    const Bytes good = publicKeyDer(hostKey());
    Bytes trailing = good;
    trailing.push_back(0);
    const struct {
        Bytes der;
        const char* why;
    } cases[] = {
        {Bytes(good.begin(), good.end() - 1), "truncated"},
        {trailing, "a byte after the key"},
        {Bytes(300, 0x30), "not DER"},
        {derOf(EVP_EC_gen("P-256")), "not RSA"},
        {rsaPublicKeyOfBits(1024), "too short to protect the key"},
        {rsaPublicKeyOfBits(9000), "larger than 8192 bits"},
        {Bytes(4000, 0x30), "far too long"},
    };
    for (const auto& c : cases) {
        CipherKey key = exchangeKeys().gateway;
        GuardedArea answer(0, VORNLIB_EXCHANGE_AREA_SIZE + 64);
        EXPECT_EQ(exchange(c.der, key, answer), -1) << c.why;
        EXPECT_TRUE(answer.guardIntact()) << c.why;
        EXPECT_FALSE(canSealWith(key)) << c.why;
    }
    CipherKey key{};
    GuardedArea answer(VORNLIB_EXCHANGE_AREA_SIZE);
    EXPECT_EQ(vornLib().GetRsa3DesKey(nullptr, 10, key.data(), answer.data()), -1);
    EXPECT_EQ(vornLib().GetRsa3DesKey(good.data(), -1, key.data(), answer.data()), -1);
    EXPECT_EQ(vornLib().GetRsa3DesKey(good.data(), 300, nullptr, answer.data()), -1);
    EXPECT_EQ(vornLib().GetRsa3DesKey(good.data(), 300, key.data(), nullptr), -1);
}

TEST(KeyExchange, HostRefusesAnAnswerNotMeantForIt) {
    SessionKeys keys = exchangeKeys();
    const int n = static_cast<int>(keys.answer.size());
    CipherKey key{};
    EXPECT_EQ(vornLib().VornHost_UnwrapSessionKey(hostKey(1), keys.answer.data(), n, key.data()),
              -1);
    keys.answer[100] ^= 1;
    EXPECT_EQ(vornLib().VornHost_UnwrapSessionKey(hostKey(), keys.answer.data(), n, key.data()),
              -1);
    EXPECT_EQ(key, CipherKey{});
}

}  // namespace
}  // namespace vornlib_test
