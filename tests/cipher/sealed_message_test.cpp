#include <gtest/gtest.h>

#include <climits>

#include "vornlib_loader.h"

namespace vornlib_test {
namespace {

constexpr int kHostArea = 70000;

class SealedMessage : public ::testing::Test {
protected:
    SessionKeys keys_ = exchangeKeys();

    int gatewaySeal(const std::string& plain, GuardedArea& out, const char* tag = "TVLN") {
        return vornLib().GetRasEncData(tag, bytesOf(plain), static_cast<int>(plain.size()),
                                       keys_.gateway.data(), out.data());
    }
    int gatewayOpen(const Bytes& message, GuardedArea& out) {
        return vornLib().GetRasDecData(message.data(), static_cast<int>(message.size()),
                                       keys_.gateway.data(), out.data());
    }
    Bytes hostSeal(const std::string& plain) {
        Bytes out(kHostArea);
        const int n =
            vornLib().VornHost_Seal("HOST", bytesOf(plain), static_cast<int>(plain.size()),
                                    keys_.host.data(), out.data(), kHostArea);
        out.resize(std::max(0, n));
        return out;
    }
};

TEST_F(SealedMessage, CarriesRequestsAndRepliesBothWays) {
    const std::string request = "\002D112345678\0344000\003A";
    GuardedArea sealed(VORNLIB_EXCHANGE_AREA_SIZE);
    const int n = gatewaySeal(request, sealed);
    ASSERT_EQ(n, VORNHOST_SEALED_SIZE(static_cast<int>(request.size())));
    EXPECT_EQ(sealed.text(4), "TVLN");
    EXPECT_EQ(sealed.data()[4] * 256 + sealed.data()[5], n - 6);  // body length, big-endian
    Bytes opened(kHostArea);
    const int m =
        vornLib().VornHost_Open(sealed.data(), n, keys_.host.data(), opened.data(), kHostArea);
    EXPECT_EQ(std::string(opened.begin(), opened.begin() + std::max(0, m)), request);

    // After the exchange even the host's control replies travel sealed.
    for (const std::string& reply : {std::string("\033\033\033"), std::string(), request}) {
        GuardedArea out(VORNLIB_EXCHANGE_AREA_SIZE);
        ASSERT_EQ(gatewayOpen(hostSeal(reply), out), static_cast<int>(reply.size()));
        EXPECT_EQ(out.text(static_cast<int>(reply.size())), reply);
    }
}

TEST_F(SealedMessage, NeverOutgrowsTheGatewayArea) {
    GuardedArea sealed(VORNLIB_EXCHANGE_AREA_SIZE), tooLong(0, VORNLIB_EXCHANGE_AREA_SIZE + 64);
    EXPECT_EQ(gatewaySeal(std::string(2031, 'x'), sealed), 2046);  // the largest that fits
    EXPECT_TRUE(sealed.guardIntact());
    EXPECT_EQ(gatewaySeal(std::string(2032, 'x'), tooLong), -1);
    EXPECT_TRUE(tooLong.guardIntact());

    GuardedArea opened(VORNLIB_EXCHANGE_AREA_SIZE), overlong(0, VORNLIB_EXCHANGE_AREA_SIZE + 64);
    EXPECT_EQ(gatewayOpen(hostSeal(std::string(VORNLIB_EXCHANGE_AREA_SIZE, 'y')), opened),
              VORNLIB_EXCHANGE_AREA_SIZE);
    EXPECT_TRUE(opened.guardIntact());
    EXPECT_EQ(gatewayOpen(hostSeal(std::string(VORNLIB_EXCHANGE_AREA_SIZE + 1, 'y')), overlong),
              -1);
    EXPECT_TRUE(overlong.guardIntact());

    Bytes small(VORNHOST_SEALED_SIZE(10) - 1);
    EXPECT_EQ(vornLib().VornHost_Seal("HOST", bytesOf("0123456789"), 10, keys_.host.data(),
                                      small.data(), static_cast<int>(small.size())),
              -1);
}

TEST_F(SealedMessage, RefusesMalformedMessagesArgumentsAndKeys) {
    const Bytes good = hostSeal("ABCDE");  // one block: IV, then "ABCDE" and padding 03 03 03
    const auto edited = [&](auto edit) {
        Bytes m = good;
        edit(m);
        return m;
    };
    const struct {
        Bytes message;
        const char* why;
    } cases[] = {
        {edited([](Bytes& m) { m.pop_back(); }), "one byte short"},
        {edited([](Bytes& m) { m.push_back(0); }), "one byte more"},
        // Decrypts cleanly to the original padding; only the length shows it.
        {edited([&](Bytes& m) { m.insert(m.end(), good.begin() + 6, good.end()); }),
         "IV and block repeated after the message"},
        {edited([&](Bytes& m) { m.insert(m.end(), good.begin(), good.end()); }), "two messages"},
        {edited([](Bytes& m) { m.resize(6 + 8), m[5] = 8; }), "IV without a block"},
        {edited([](Bytes& m) { m.resize(6 + 20), m[5] = 20; }), "not whole blocks"},
        {edited([](Bytes& m) { m[1] = ' '; }), "blank in the tag"},
        {edited([](Bytes& m) { m[6 + 7] ^= 0x10; }), "padding byte turned into 0x13"},
    };
    for (const auto& c : cases) {
        GuardedArea out(0, VORNLIB_EXCHANGE_AREA_SIZE + 64);
        EXPECT_EQ(gatewayOpen(c.message, out), -1) << c.why;
        EXPECT_TRUE(out.guardIntact()) << c.why;
    }

    GuardedArea out(0, VORNLIB_EXCHANGE_AREA_SIZE + 64);
    unsigned char* key = keys_.gateway.data();
    // The header says 22 bytes; a huge length must be refused before reading on.
    EXPECT_EQ(vornLib().GetRasDecData(good.data(), INT_MAX, key, out.data()), -1);
    EXPECT_EQ(vornLib().GetRasDecData(nullptr, 22, key, out.data()), -1);
    for (const char* tag : {"TVL", "TVLNX", "TV N", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(gatewaySeal("x", out, tag), -1) << (tag ? tag : "null");
    }
    EXPECT_EQ(vornLib().GetRasEncData("TVLN", nullptr, 5, key, out.data()), -1);
    EXPECT_EQ(vornLib().GetRasEncData("TVLN", bytesOf("x"), -1, key, out.data()), -1);
    EXPECT_EQ(vornLib().GetRasEncData("TVLN", bytesOf("x"), 1, nullptr, out.data()), -1);
    EXPECT_EQ(vornLib().GetRasEncData("TVLN", bytesOf("x"), 1, key, nullptr), -1);

    // A CipherKey that was never filled, or was overwritten, fails its check value.
    CipherKey zeroed{}, flipped = keys_.gateway;
    flipped[3] ^= 0x80;
    EXPECT_EQ(vornLib().GetRasEncData("TVLN", bytesOf("x"), 1, zeroed.data(), out.data()), -1);
    EXPECT_EQ(vornLib().GetRasDecData(good.data(), 22, flipped.data(), out.data()), -1);
    EXPECT_TRUE(out.guardIntact());
}

}  // namespace
}  // namespace vornlib_test
