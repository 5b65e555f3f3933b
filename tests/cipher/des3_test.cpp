#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>

#include "vornlib_loader.h"

namespace vornlib_test {
namespace {

using Block = std::array<unsigned char, 8>;
constexpr char kGatewayKey[] = "QWVRMXZL50381627";

// Two-key EDE is three-key EDE with K3 = K1: an independent way to the block.
Block referenceEncrypt(const Block& in) {
    unsigned char key24[24];
    std::memcpy(key24, kGatewayKey, 16);
    std::memcpy(key24 + 16, kGatewayKey, 8);
    Block out{};
    int n = 0;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex2(ctx, EVP_des_ede3_ecb(), key24, nullptr, nullptr);
    EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), 8);
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

TEST(Des3Block, EncryptsAsTwoKeyEdeAndDecryptsBack) {
    for (const Block& plain : {Block{}, Block{2, 'A', 'D', '0', '1', '2', '3', 0x1C},
                               Block{255, 255, 255, 255, 255, 255, 255, 255}}) {
        Block sealed{}, opened{};
        vornLib().EncDES3(plain.data(), kGatewayKey, sealed.data());
        EXPECT_EQ(sealed, referenceEncrypt(plain));
        vornLib().DecDES3(sealed.data(), kGatewayKey, opened.data());
        EXPECT_EQ(opened, plain);
    }
}

TEST(Des3Block, RefusalLeavesAZeroBlock) {
    const Block plain{'1', '2', '3', '4', '5', '6', '7', '8'};
    Block out{};
    out.fill(0xA5);
    vornLib().EncDES3(plain.data(), nullptr, out.data());
    EXPECT_EQ(out, Block{});
    out.fill(0xA5);
    vornLib().DecDES3(nullptr, kGatewayKey, out.data());
    EXPECT_EQ(out, Block{});
    vornLib().EncDES3(plain.data(), kGatewayKey, nullptr);  // must simply return
}

}  // namespace
}  // namespace vornlib_test
