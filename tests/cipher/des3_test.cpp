#include <gtest/gtest.h>

#include "vornlib_loader.h"

namespace vornlib_test {
namespace {

using Block = std::array<unsigned char, 8>;
constexpr char kGatewayKey[] = "QWVRMXZL50381627";

// Known answers of two-key EDE, made with OpenSSL as three-key EDE with
// K3 = K1 (openssl enc -des-ede3-ecb -nopad -K hex("QWVRMXZL50381627QWVRMXZL")).
TEST(Des3Block, EncryptsAsTwoKeyEdeAndDecryptsBack) {
    const struct {
        Block plain, sealed;
    } cases[] = {
        {Block{}, Block{0xAC, 0xCF, 0x08, 0x73, 0x7A, 0xC8, 0x92, 0xC0}},
        {Block{2, 'A', 'D', '0', '1', '2', '3', 0x1C},
         Block{0x43, 0x17, 0x3E, 0xE5, 0x69, 0xB0, 0xD3, 0xF9}},
        {Block{255, 255, 255, 255, 255, 255, 255, 255},
         Block{0x86, 0x9F, 0xF0, 0x2E, 0x5F, 0xC7, 0x52, 0xFC}},
    };
    for (const auto& c : cases) {
        Block sealed{}, opened{};
        vornLib().EncDES3(c.plain.data(), kGatewayKey, sealed.data());
        EXPECT_EQ(sealed, c.sealed);
        vornLib().DecDES3(sealed.data(), kGatewayKey, opened.data());
        EXPECT_EQ(opened, c.plain);
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
