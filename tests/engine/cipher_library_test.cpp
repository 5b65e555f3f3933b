// The calls into the cipher library and the two wrappers around them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "fake_cipher_exports.h"
#include "host/cipher_library.h"

namespace tavorline::testing {
namespace {

using ::testing::ElementsAre;

// Stand-ins for the library's exports, recording what they were given.
std::vector<Bytes> blocksSeen;
std::vector<Bytes> keysSeen;
int seedResult = 0;
Bytes seedOutput;

void fakeEncDes3(const unsigned char* in8, const char* key16, unsigned char* out8) {
    blocksSeen.emplace_back(reinterpret_cast<const char*>(in8), 8);
    keysSeen.emplace_back(key16);
    for (int i = 0; i < 8; ++i) out8[i] = static_cast<unsigned char>(in8[i] ^ 0xFF);
}
void fakeDecDes3(const unsigned char* in8, const char* key16, unsigned char* out8) {
    keysSeen.emplace_back(key16);
    for (int i = 0; i < 8; ++i) out8[i] = static_cast<unsigned char>(in8[i] ^ 0x0F);
}
int fakeSeed(const char* mode, const char* input, char* output) {
    blocksSeen.push_back(Bytes(mode) + ":" + input);
    std::memcpy(output, seedOutput.data(), seedOutput.size());
    return seedResult;
}

class CipherLibraryTest : public ::testing::Test {
protected:
    CipherLibraryTest() {
        blocksSeen.clear();
        keysSeen.clear();
        library.symbols = {{"EncDES3", reinterpret_cast<void*>(&fakeEncDes3)},
                           {"DecDES3", reinterpret_cast<void*>(&fakeDecDes3)},
                           {"SEED_Vorn", reinterpret_cast<void*>(&fakeSeed)}};
    }
    FakeLibrary library;
    CipherLibrary cipher{library};
};

TEST_F(CipherLibraryTest, Des3CryptWorksInZeroFilledBlocksOfEight) {
    cipher.load();
    const Bytes out = cipher.Des3Crypt('E', "123456789");
    EXPECT_EQ(out.size(), 16u);
    EXPECT_THAT(blocksSeen, ElementsAre(Bytes("12345678"), Bytes("9\0\0\0\0\0\0\0", 8)));
    EXPECT_THAT(keysSeen, ElementsAre("QWVRMXZL50381627", "QWVRMXZL50381627"));
    EXPECT_EQ(static_cast<unsigned char>(out[8]), '9' ^ 0xFF);
}

TEST_F(CipherLibraryTest, Des3CryptOfNothingIsOneBlockAndDecryptKeepsZeros) {
    cipher.load();
    EXPECT_EQ(cipher.Des3Crypt('E', "").size(), 8u);
    EXPECT_EQ(cipher.Des3Crypt('E', "12345678").size(), 8u);
    EXPECT_EQ(cipher.Des3Crypt('D', Bytes(8, '\x0F')), Bytes(8, '\0'));
}

TEST_F(CipherLibraryTest, MissingExportFailsEachCall) {
    library.symbols.erase("EncDES3");
    cipher.load();
    EXPECT_THROW(cipher.Des3Crypt('E', "x"), CipherUnavailable);
    unsigned char key[20] = {}, out[2049];
    EXPECT_THROW(cipher.GetRsa3DesKey(out, 1, key, out), CipherUnavailable);
    EXPECT_NO_THROW(cipher.Des3Crypt('D', "x"));
}

TEST_F(CipherLibraryTest, LibraryThatDoesNotLoadFailsEveryCall) {
    library.loadable = false;
    cipher.load();
    EXPECT_THROW(cipher.Des3Crypt('D', "x"), CipherUnavailable);
}

TEST_F(CipherLibraryTest, SeedCryptTakesTheCountedBytes) {
    cipher.load();
    seedOutput = "ABCDEF";
    seedResult = 4;
    Bytes output = "plain";
    EXPECT_EQ(cipher.SeedCrypt('E', "plain", output), 4);
    EXPECT_EQ(output, "ABCD");
    EXPECT_THAT(blocksSeen, ElementsAre("E:plain"));

    seedResult = 0;
    EXPECT_EQ(cipher.SeedCrypt('D', "x", output), 0);
    EXPECT_EQ(output, "");
    seedResult = -3;
    output = "kept?";
    cipher.SeedCrypt('D', "x", output);
    EXPECT_EQ(output, "");
}

TEST_F(CipherLibraryTest, SeedCryptWithoutTheLibraryLeavesTheTextAsItWas) {
    library.loadable = false;
    cipher.load();
    Bytes output = "as received";
    EXPECT_EQ(cipher.SeedCrypt('D', "as received", output), -1);
    EXPECT_EQ(output, "as received");
}

// An export kept past the unload would be a jump into memory the library
// no longer owns.
TEST_F(CipherLibraryTest, UnloadForgetsEveryExport) {
    fake_cipher::install(library);
    unsigned char data[8] = {}, key[kCipherKeySize] = {}, out[kKeyExchangeOutputSize] = {};
    char seedOut[kSeedOutputSize] = {};
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"SEED_Vorn", [&] { cipher.SEED_Vorn("E", "x", seedOut); }},
        {"EncDES3", [&] { cipher.EncDES3(data, "QWVRMXZL50381627", out); }},
        {"DecDES3", [&] { cipher.DecDES3(data, "QWVRMXZL50381627", out); }},
        {"GetRsa3DesKey", [&] { cipher.GetRsa3DesKey(data, 8, key, out); }},
        {"GetRasEncData", [&] { cipher.GetRasEncData("TVLN", data, 8, key, out); }},
        {"GetRasDecData", [&] { cipher.GetRasDecData(data, 8, key, out); }},
    };
    cipher.load();
    for (const auto& [name, call] : calls) EXPECT_NO_THROW(call()) << name << " while loaded";
    cipher.unload();
    EXPECT_EQ(library.unloads, 1);
    for (const auto& [name, call] : calls) EXPECT_THROW(call(), CipherUnavailable) << name;
}

}  // namespace
}  // namespace tavorline::testing
