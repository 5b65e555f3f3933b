// The host key check of TLS connects: which settings trust which host, and
// what a refused host leaves behind.
#include "host/host_key_pin.h"
#include "gateway_fixture.h"
#include "support/texts.h"

namespace tavorline::testing {
namespace {

using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::Not;

// SHA-256 of "abc", and the pin openssl prints for it.
const Bytes kAbcDigest(
    "\xba\x78\x16\xbf\x8f\x01\xcf\xea\x41\x41\x40\xde\x5d\xae\x22\x23"
    "\xb0\x03\x61\xa3\x96\x17\x7a\x9c\xb4\x10\xff\x61\xf2\x00\x15\xad",
    32);
const Bytes kAbcPin = "sha256/ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=";
// The fake host presents 32 bytes of "A"; "B" is another host's key.
const Bytes kPinA = "sha256/QUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUE=";
const Bytes kPinB = "sha256/QkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkI=";

TEST(HostKeyPins, PinTextIsOpensslsBase64AndParsesBack) {
    EXPECT_EQ(pinText(kAbcDigest), kAbcPin);
    EXPECT_TRUE(HostKeyPins::parse(kAbcPin).accepts(kAbcDigest));
    EXPECT_FALSE(HostKeyPins::parse(kAbcPin).accepts(Bytes(32, 'A')));
    EXPECT_EQ(pinText(""), "sha256/?");
}

TEST(HostKeyPins, OnlyAMissingOrPinlessSettingLeavesTheCheckOff) {
    for (const char* off : {"Empty", "", " ", " , ,"}) {
        EXPECT_FALSE(HostKeyPins::parse(off).checks()) << off;
        EXPECT_TRUE(HostKeyPins::parse(off).accepts("anything")) << off;
    }
    const Bytes malformed[] = {
        "yes",
        kPinA.substr(7),                    // no prefix
        "SHA256/" + kPinA.substr(7),        // prefix in capitals
        kPinA.substr(0, kPinA.size() - 1),  // no "="
        kPinA.substr(0, 20) + "*" + kPinA.substr(21),
        "sha256/QUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUF=",  // padding bits set
        kPinA + ";" + kPinB,
        kPinA + "," + "sha1/abc=",  // one good pin does not save it
    };
    for (const Bytes& setting : malformed) {
        const HostKeyPins pins = HostKeyPins::parse(setting);
        EXPECT_TRUE(pins.malformed()) << setting;
        EXPECT_FALSE(pins.accepts(Bytes(32, 'A'))) << setting;
    }
    for (const Bytes& list :
         {kPinB + "," + kPinA, kPinB + "  " + kPinA, " " + kPinB + " ,\t" + kPinA}) {
        EXPECT_TRUE(HostKeyPins::parse(list).accepts(Bytes(32, 'A'))) << list;
        EXPECT_TRUE(HostKeyPins::parse(list).accepts(Bytes(32, 'B'))) << list;
        EXPECT_FALSE(HostKeyPins::parse(list).accepts(kAbcDigest)) << list;
    }
}

TEST(HostKeyPins, SavingAPinKeepsThePinsThereAndAddsItOnce) {
    EXPECT_EQ(settingWithPin("Empty", kPinA), kPinA);
    EXPECT_EQ(settingWithPin("", kPinA), kPinA);
    EXPECT_EQ(settingWithPin(kPinB, kPinA), kPinB + "," + kPinA);
    EXPECT_EQ(settingWithPin(kPinB + " " + kPinA, kPinA), kPinB + " " + kPinA);
    EXPECT_THROW(settingWithPin("nonsense", kPinA), std::invalid_argument);
    EXPECT_THROW(settingWithPin(kPinB, "sha256/?"), std::invalid_argument);
}

class HostKeyCheck : public GatewayFixture {
protected:
    void SetUp() override { start(); }
    // An LF call (TLS, seven ENQ once connected).
    void lfCall() {
        terminalSends("\x0A\x0A\x0A");
        serial.chunks.clear();
        ui.statuses.clear();
        terminalSends("IP127.0.0.1/5000\r\r\r");
    }
    void withPins(BytesView setting) {
        setIni("TlsPin", setting);
        gateway.BT_INITClick();
    }
    // The log of the call just made, from its destination line on.
    std::vector<Bytes> callLog() {
        std::vector<Bytes> lines = logLines();
        auto from = lines.begin() + static_cast<std::ptrdiff_t>(logSeen_);
        from =
            std::find_if(from, lines.end(), [](const Bytes& l) { return l.rfind("[VER", 0) == 0; });
        logSeen_ = lines.size();
        return std::vector<Bytes>(from, lines.end());
    }
    void forgetLog() { logSeen_ = logLines().size(); }
    Bytes line(BytesView text) const { return "[HOST 14:03:27][" + Bytes(text) + "]"; }

    std::size_t logSeen_ = 0;
};

TEST_F(HostKeyCheck, APinnedHostConnectsAndEveryTlsConnectLogsItsKey) {
    for (const Bytes& setting : {Bytes("Empty"), kPinA, kPinB + "," + kPinA}) {
        if (setting != "Empty") withPins(setting);
        forgetLog();
        lfCall();
        EXPECT_EQ(gateway.call().CallStage, 3) << setting;
        EXPECT_EQ(serial.written(), Bytes(7, '\x05')) << setting;
        EXPECT_THAT(callLog(), Contains(line("Host key " + kPinA + " (LF:127.0.0.1/5000)")))
            << setting;
        gateway.BT_INITClick();
    }
}

// The impostor gets the same treatment as a host that refused the connect,
// so the counter sees a failed call and the terminal dials again; only the
// log tells the two apart.
TEST_F(HostKeyCheck, AnUnpinnedHostIsDroppedAsARefusedConnectIs) {
    host.failConnect = true;
    forgetLog();
    lfCall();
    const std::vector<Bytes> refusedLog = callLog();
    const std::vector<Bytes> refusedStatuses = ui.statuses;
    host.failConnect = false;

    withPins(kPinB);
    forgetLog();
    lfCall();
    std::vector<Bytes> impostorLog = callLog();
    ASSERT_GE(impostorLog.size(), 2u);
    EXPECT_EQ(impostorLog[1], line("Host key not in TlsPin: " + kPinA + " (LF:127.0.0.1/5000)"));
    impostorLog.erase(impostorLog.begin() + 1);
    EXPECT_EQ(impostorLog, refusedLog);
    EXPECT_EQ(ui.statuses, refusedStatuses);
    EXPECT_FALSE(host.open);
    EXPECT_EQ(host.closes, 1);
    EXPECT_EQ(serial.written(), "") << "no ENQ, so no request for the impostor";
    EXPECT_EQ(gateway.call().CallStage, 0);
}

TEST_F(HostKeyCheck, AMalformedSettingStopsEveryTlsConnectButNotPlainOnes) {
    withPins(kPinA + ",sha256/typo");
    const Bytes malformed = Bytes(texts::kTlsPinMalformed) + "LF:127.0.0.1/5000)";
    for (int call = 0; call < 2; ++call) {
        forgetLog();
        lfCall();
        EXPECT_THAT(host.connects, IsEmpty()) << "not even tried";
        EXPECT_THAT(ui.statuses, Contains(malformed));
        EXPECT_THAT(callLog(), Contains(line(malformed)));
        EXPECT_EQ(gateway.call().CallStage, 0);
    }

    terminalSends("\x0B\x0B\x0B");
    ui.statuses.clear();
    terminalSends("IP127.0.0.1/6000\r\r\r");
    ASSERT_EQ(host.connects.size(), 1u);
    EXPECT_FALSE(host.connects.back().tls);
    EXPECT_EQ(gateway.call().CallStage, 3);
    EXPECT_THAT(ui.statuses, Not(Contains(malformed)));
}

}  // namespace
}  // namespace tavorline::testing
