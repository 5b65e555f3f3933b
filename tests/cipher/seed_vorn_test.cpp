#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>

#include "vornlib_loader.h"

namespace vornlib_test {
namespace {

constexpr std::size_t kMaxPlainSize = 6111;  // the largest text whose result fits the area
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int seed(const char* mode, const std::string& input, GuardedArea& area) {
    return vornLib().SEED_Vorn(mode, input.c_str(), reinterpret_cast<char*>(area.data()));
}

// SEED-CBC with the documented key, from the test's own OpenSSL context:
// catches the library drifting from what host developers implement, and
// builds texts the library itself would never produce.
std::string referenceSeed(bool encrypt, bool padding, const unsigned char* iv, const Bytes& in) {
    static OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(ctx, "legacy");
    static EVP_CIPHER* cipher = legacy ? EVP_CIPHER_fetch(ctx, "SEED-CBC", nullptr) : nullptr;
    Bytes out(in.size() + 16);
    int n = 0, last = 0;
    EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex2(c, cipher, reinterpret_cast<const unsigned char*>("TavorlineSeedKey"), iv,
                       encrypt ? 1 : 0, nullptr);
    EVP_CIPHER_CTX_set_padding(c, padding ? 1 : 0);
    EVP_CipherUpdate(c, out.data(), &n, in.data(), static_cast<int>(in.size()));
    const bool ok = EVP_CipherFinal_ex(c, out.data() + n, &last) == 1;
    EVP_CIPHER_CTX_free(c);
    return ok ? std::string(out.begin(), out.begin() + n + last) : "<failed>";
}

std::string referenceDecrypt(const std::string& text) {
    Bytes raw(text.size());
    const int n = EVP_DecodeBlock(raw.data(), bytesOf(text), static_cast<int>(text.size()));
    raw.resize(n - (text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0));
    return referenceSeed(false, true, raw.data(), Bytes(raw.begin() + 16, raw.end()));
}

// IV 07..07, then `blocks` encrypted without padding, as text.
std::string referenceText(const std::string& blocks) {
    const Bytes iv(16, 7);
    const std::string raw = std::string(iv.begin(), iv.end()) +
                            referenceSeed(true, false, iv.data(), {blocks.begin(), blocks.end()});
    Bytes text(raw.size() * 2 + 4);
    return std::string(text.begin(), text.begin() + EVP_EncodeBlock(text.data(), bytesOf(raw),
                                                                    static_cast<int>(raw.size())));
}

TEST(SeedVorn, RoundTripsAsNulFreeBase64Text) {
    const std::string frame = "\002NC12345678\0349410\034\260\341\301\246\003\177";
    for (const std::string& plain :
         {std::string(), std::string(16, 'x'), frame, std::string(kMaxPlainSize, '\001')}) {
        GuardedArea sealed(VORNLIB_SEED_AREA_SIZE);
        const int n = seed("E", plain, sealed);
        ASSERT_GT(n, 0) << plain.size();
        EXPECT_EQ(std::strlen(reinterpret_cast<char*>(sealed.data())), static_cast<std::size_t>(n));
        const std::string text = sealed.text(n);
        EXPECT_EQ(text.find_first_not_of(kBase64Alphabet), text.find('='));  // '=' only as padding
        EXPECT_TRUE(sealed.guardIntact());

        GuardedArea opened(VORNLIB_SEED_AREA_SIZE);
        ASSERT_EQ(seed("D", text, opened), static_cast<int>(plain.size()));
        EXPECT_EQ(opened.text(static_cast<int>(plain.size())), plain);
        EXPECT_TRUE(opened.guardIntact());
    }
}

TEST(SeedVorn, FollowsTheDocumentedFormatAndKey) {
    const std::string request = "\002AB1234\003";
    GuardedArea sealed(VORNLIB_SEED_AREA_SIZE), again(VORNLIB_SEED_AREA_SIZE);
    const int n = seed("E", request, sealed);
    ASSERT_GT(n, 0);
    EXPECT_EQ(referenceDecrypt(sealed.text(n)), request);
    // A fresh IV each time: equal requests must not look equal on the wire.
    EXPECT_NE(sealed.text(n), again.text(seed("E", request, again)));
}

TEST(SeedVorn, RefusesWithoutWritingAnything) {
    GuardedArea valid(VORNLIB_SEED_AREA_SIZE);
    const std::string good = valid.text(seed("E", "payload", valid));
    std::string nonCanonical = good;  // unused low bits of the last digit set
    nonCanonical[42] =
        kBase64Alphabet[(std::strchr(kBase64Alphabet, good[42]) - kBase64Alphabet) ^ 1];

    const struct {
        const char* mode;
        std::string input;
        const char* why;
    } cases[] = {
        {"e", good, "mode is case-sensitive"},
        {"ED", good, "mode is one letter"},
        {"E", std::string(kMaxPlainSize + 1, 'x'), "result would not fit the area"},
        {"D", referenceText(std::string(6112, 'x') + std::string(16, '\x10')),
         "valid, but longer than any result of E"},
        {"D", good.substr(0, good.size() - 4), "truncated"},
        {"D", " " + good.substr(1), "not base64"},
        {"D", good + "\n", "trailing line break"},
        {"D", nonCanonical, "non-canonical base64"},
        {"D", referenceText(""), "IV without a block"},
        {"D", referenceText(std::string(16, '\0')), "padding byte 0"},
        {"D", referenceText(std::string(16, '\x11')), "padding longer than a block"},
    };
    for (const auto& c : cases) {
        GuardedArea area(0, VORNLIB_SEED_AREA_SIZE + 64);
        EXPECT_EQ(seed(c.mode, c.input, area), -1) << c.why;
        EXPECT_TRUE(area.guardIntact()) << c.why;
    }
    EXPECT_EQ(vornLib().SEED_Vorn(nullptr, "x", reinterpret_cast<char*>(valid.data())), -1);
    EXPECT_EQ(vornLib().SEED_Vorn("E", nullptr, reinterpret_cast<char*>(valid.data())), -1);
    EXPECT_EQ(vornLib().SEED_Vorn("E", "x", nullptr), -1);
}

}  // namespace
}  // namespace vornlib_test
