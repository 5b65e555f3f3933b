#include <gtest/gtest.h>
#if VORNLIB_TEST_OPENSSL
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#endif

#include <bit>

#include "vornlib_loader.h"

namespace vornlib_test {
namespace {

// One DER element: tag, definite length, body.
Bytes derElement(unsigned char tag, const Bytes& body) {
    Bytes out{tag};
    Bytes length;
    for (std::size_t n = body.size(); n > 0; n >>= 8) length.insert(length.begin(), n & 0xFF);
    if (body.size() >= 0x80) out.push_back(static_cast<unsigned char>(0x80 | length.size()));
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// An RSA SubjectPublicKeyInfo (exponent 65537) around an odd modulus of
// exactly `bits` (a multiple of 8): enough to encrypt to, and far quicker
// than generating a real key of 8192 or 9000 bits.
Bytes rsaPublicKeyOfBits(int bits) {
    Bytes modulus(static_cast<std::size_t>(bits / 8) + 1, 0x5B);  // leading 00: positive
    modulus[0] = 0x00;
    modulus[1] = 0xC5;
    const Bytes rsaEncryption = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
    const Bytes key =
        derElement(0x30, joined({derElement(0x02, modulus), derElement(0x02, {0x01, 0x00, 0x01})}));
    return derElement(0x30, joined({derElement(0x30, joined({rsaEncryption, {0x05, 0x00}})),
                                    derElement(0x03, joined({{0x00}, key}))}));
}

// A P-256 public key, made with openssl genpkey -algorithm EC and
// openssl pkey -pubout -outform DER.
const Bytes kEcPublicKeyDer = {
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a,
    0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04, 0x23, 0x5c, 0x5a, 0x40, 0x25,
    0x0d, 0x73, 0xaf, 0x89, 0x6c, 0x42, 0x63, 0x36, 0xe2, 0x14, 0xc1, 0xe3, 0x2c, 0x49, 0xd5, 0x40,
    0x0e, 0x77, 0x4d, 0x5d, 0x6c, 0x55, 0xb3, 0x23, 0x82, 0xd4, 0xd2, 0xe4, 0xaa, 0xc7, 0xe4, 0xee,
    0xc7, 0x44, 0xc1, 0x0e, 0xe5, 0x7e, 0x2d, 0x3f, 0x97, 0x77, 0xdf, 0x41, 0x2f, 0x01, 0x9c, 0x36,
    0xbb, 0x6f, 0xb3, 0x04, 0x45, 0x5a, 0xfd, 0x78, 0xd9, 0xa9, 0x9c};

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

#if VORNLIB_TEST_OPENSSL
Bytes derOf(EVP_PKEY* key) {
    Bytes der(static_cast<std::size_t>(i2d_PUBKEY(key, nullptr)));
    unsigned char* p = der.data();
    i2d_PUBKEY(key, &p);
    EVP_PKEY_free(key);
    return der;
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
#endif

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
        {kEcPublicKeyDer, "not RSA"},
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
