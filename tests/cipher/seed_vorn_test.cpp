#include <gtest/gtest.h>

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

// Texts made once with OpenSSL, independent of the library: base64 of the IV,
// then SEED-CBC under the documented key (openssl enc -seed-cbc -provider
// legacy -K hex("TavorlineSeedKey") -iv ...). They pin the format and key
// that host developers implement, and include texts E would never produce.
// "\002AB1234\003" with PKCS#7 padding, IV 00 01 .. 0F.
constexpr char kKnownRequestText[] = "AAECAwQFBgcICQoLDA0OD0eE2ER/3AH6E2aKOVIH35E=";
// IV 07..07 alone, then with one plain block encrypted without padding: 16 x 00
// and 16 x 11 (both invalid padding).
constexpr char kIvOnlyText[] = "BwcHBwcHBwcHBwcHBwcHBw==";
constexpr char kPaddingZeroText[] = "BwcHBwcHBwcHBwcHBwcHB3UFFWOItFSytlfuA/CgPWI=";
constexpr char kPaddingTooLongText[] = "BwcHBwcHBwcHBwcHBwcHB8sUdQ5yWF8t5mDMqO9TjOs=";

// IV 07..07, 382 ciphertext blocks 07..07, then the block that SEED-CBC makes
// of 16 x 10 after a block 07..07: 6112 bytes with valid padding. The raw
// 6144 bytes are 2042 x "07 07 07" and 07 07 + that block
// (0D14517CE883B1E2DD0A08DA67D4CC89).
std::string longestValidPlusOneText() {
    std::string text;
    for (int i = 0; i < 2042; ++i) text += "BwcH";
    return text + "BwcNFFF86IOx4t0KCNpn1MyJ";
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
    GuardedArea known(VORNLIB_SEED_AREA_SIZE);
    ASSERT_EQ(seed("D", kKnownRequestText, known), static_cast<int>(request.size()));
    EXPECT_EQ(known.text(static_cast<int>(request.size())), request);
    // With D pinned to the known text, E follows the format when D opens its text.
    GuardedArea sealed(VORNLIB_SEED_AREA_SIZE), again(VORNLIB_SEED_AREA_SIZE),
        opened(VORNLIB_SEED_AREA_SIZE);
    const int n = seed("E", request, sealed);
    ASSERT_GT(n, 0);
    ASSERT_EQ(seed("D", sealed.text(n), opened), static_cast<int>(request.size()));
    EXPECT_EQ(opened.text(static_cast<int>(request.size())), request);
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
        {"D", longestValidPlusOneText(), "valid, but longer than any result of E"},
        {"D", good.substr(0, good.size() - 4), "truncated"},
        {"D", " " + good.substr(1), "not base64"},
        {"D", good + "\n", "trailing line break"},
        {"D", nonCanonical, "non-canonical base64"},
        {"D", kIvOnlyText, "IV without a block"},
        {"D", kPaddingZeroText, "padding byte 0"},
        {"D", kPaddingTooLongText, "padding longer than a block"},
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
