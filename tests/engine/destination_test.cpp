// The destination line: where the call goes, how, and what is logged.
#include "gateway_fixture.h"
#include "support/texts.h"

namespace tavorline::testing {
namespace {

using ::testing::ElementsAre;

const Bytes kSevenEnq(7, '\x05');

class Destination : public GatewayFixture {
protected:
    void SetUp() override { start(); }
    void call(BytesView dial, BytesView line) {
        terminalSends(dial);
        serial.chunks.clear();
        clock.waits.clear();
        terminalSends(line);
    }
    // A fault that stops the connect fails the test rather than crashing the
    // program, which would lose every test after it.
    ConnectCall lastConnect() const {
        if (host.connects.empty()) {
            ADD_FAILURE() << "no connect was made";
            return {};
        }
        return host.connects.back();
    }
    Bytes connected(BytesView destination) const {
        return "[HOST 14:03:27][" + Bytes(texts::kLogConnected) + Bytes(destination) + ")]";
    }
};

TEST_F(Destination, LfCallConnectsOverTlsAndGreetsWithSevenEnq) {
    call("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    ASSERT_EQ(host.connects.size(), 1u);
    EXPECT_EQ(lastConnect().host, "10.1.2.3");
    EXPECT_EQ(lastConnect().port, 5000);
    EXPECT_TRUE(lastConnect().tls);
    EXPECT_EQ(gateway.call().CallStage, 3);
    EXPECT_TRUE(gateway.call().RecvBuf.empty());
    EXPECT_EQ(serial.written(), kSevenEnq);
    EXPECT_THAT(clock.waits, ElementsAre(200));
    EXPECT_EQ(ui.address, "ALF:10.1.2.3/5000");
    EXPECT_EQ(ui.statuses.back(), texts::kStatusReceiving);
    EXPECT_GE(ui.displayClears, 1);

    const auto lines = logLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_THAT(std::vector<Bytes>(lines.end() - 5, lines.end()),
                ElementsAre("[VER  14:03:27][6.0.2.2]",
                            "[HOST 14:03:27][Host key sha256/"
                            "QUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUE= (LF:10.1.2.3/5000)]",
                            connected("LF:10.1.2.3/5000"),
                            "[SW   14:03:27][" + Bytes(texts::kLogEnqSent) + "]",
                            "[SOCK 14:03:27][Connected.]"));
}

TEST_F(Destination, LfLineWithoutIpOrPortFallsBackToTheConfiguration) {
    call("\x0A\x0A\x0A", "10.1.2.3/5000\r\r\r");
    EXPECT_EQ(lastConnect().host, "10.1.2.3");
    EXPECT_EQ(lastConnect().port, 5000);
    terminalSends("CCCCC\x0A\x0A\x0A");
    terminalSends("IP 10.1.2.3 \r\r\r");
    EXPECT_EQ(lastConnect().host, "10.1.2.3");
    EXPECT_EQ(lastConnect().port, 7000);
    terminalSends("CCCCC\x0A\x0A\x0A");
    terminalSends("IP\r\r\r");
    EXPECT_EQ(lastConnect().host, "10.1.1.1");
    EXPECT_EQ(lastConnect().port, 7000);
    terminalSends("CCCCC\x0A\x0A\x0A");
    terminalSends("IP 10.4.5.6 / 5001 \r\r\r");
    EXPECT_EQ(lastConnect().host, "10.4.5.6") << "blanks around the slash are trimmed";
    EXPECT_EQ(lastConnect().port, 5001);
}

TEST_F(Destination, VtTakesItsDefaultsAndAlwaysGoesPlainWithoutEnq) {
    call("\x0B\x0B\x0B", "IP\r\r\r");
    EXPECT_EQ(lastConnect().host, "10.2.2.2");
    EXPECT_EQ(lastConnect().port, 8000);
    EXPECT_FALSE(lastConnect().tls);
    EXPECT_EQ(serial.written(), "");
}

TEST_F(Destination, FfHasNoDefaultsSoAnEmptyLineFailsToConnect) {
    host.failConnect = true;
    call("\x0C\x0C\x0C", "IP\r\r\r");
    EXPECT_EQ(lastConnect().host, "");
    EXPECT_EQ(lastConnect().port, 0);
    EXPECT_EQ(gateway.call().CallStage, 0);
}

TEST_F(Destination, CrIgnoresTheLineAndUsesTheRotatedAdslPort) {
    call("\r\r\r", "IP10.1.2.3/5000\r\r\r");
    EXPECT_EQ(lastConnect().host, "10.9.9.9");
    EXPECT_EQ(lastConnect().port, 5001);
    EXPECT_TRUE(lastConnect().tls);
    EXPECT_EQ(serial.written(), "") << "no ENQ in mode CR";
    EXPECT_EQ(ini("AdslCPort"), "5001");
}

TEST_F(Destination, PortRotationCyclesThroughTenPortsAndIsStored) {
    setIni("AdslCPort", "5008");
    gateway.BT_INITClick();
    call("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    EXPECT_EQ(ini("AdslCPort"), "5009");
    terminalSends("CCCCC");
    call("\r\r\r", "IP\r\r\r");
    EXPECT_EQ(ini("AdslCPort"), "5000");
    EXPECT_EQ(lastConnect().port, 5000);
}

TEST_F(Destination, PortOutsideTheRangeRestartsAtTheFirst) {
    setIni("AdslCPort", "Empty");
    gateway.BT_INITClick();
    call("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    EXPECT_EQ(ini("AdslCPort"), "5000");
}

TEST_F(Destination, TypeDMakesCrTheTripleDesHostOverPlainTcp) {
    setIni("EcType", "D");
    gateway.BT_INITClick();
    call("\r\r\r", "IP\r\r\r");
    EXPECT_EQ(gateway.call().DestMode, "AD");
    EXPECT_EQ(lastConnect().port, 15001);
    EXPECT_FALSE(lastConnect().tls);
    EXPECT_EQ(serial.written(), kSevenEnq);
}

TEST_F(Destination, TypeRStartsTheKeyExchangeInsteadOfEnq) {
    setIni("EcType", "R");
    gateway.BT_INITClick();
    call("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    EXPECT_EQ(gateway.call().DestMode, "AR");
    EXPECT_EQ(lastConnect().port, 25000);
    EXPECT_FALSE(lastConnect().tls);
    EXPECT_EQ(gateway.call().KeyStage, 1);
    EXPECT_EQ(serial.written(), "");

    terminalSends("CCCCC\x0B\x0B\x0B");
    terminalSends("IP10.1.2.3/5000\r\r\r");
    EXPECT_EQ(gateway.call().DestMode, "VT") << "VT is never keyed";
    EXPECT_EQ(lastConnect().port, 5000);
}

TEST_F(Destination, TypeTSendsEveryModeOverPlainTcp) {
    setIni("EcType", "T");
    gateway.BT_INITClick();
    call("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    EXPECT_FALSE(lastConnect().tls);
    EXPECT_EQ(serial.written(), kSevenEnq);
}

TEST_F(Destination, PlainConnectToANameReportsResolving) {
    setIni("EcType", "T");
    gateway.BT_INITClick();
    host.addresses["host.example"] = "192.0.2.7";
    call("\x0A\x0A\x0A", "IPhost.example/5000\r\r\r");
    EXPECT_EQ(lastConnect().host, "192.0.2.7");
    const auto lines = logLines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "[SOCK 14:03:27][Resolving hostname host.example.]"),
        lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[SOCK 14:03:27][Connecting to 192.0.2.7.]"),
              lines.end());
}

TEST_F(Destination, FailedConnectIsLoggedShownAndResetsTheCall) {
    host.failConnect = true;
    const int opensBefore = serial.opens;
    call("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    const Bytes where = "LF:10.1.2.3/5000)";
    const auto lines = logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "[HOST 14:03:27][" + Bytes(texts::kLogConnectFailed) + where + "]"),
              lines.end());
    EXPECT_NE(
        std::find(ui.statuses.begin(), ui.statuses.end(), Bytes(texts::kStatusHostFailed) + where),
        ui.statuses.end());
    EXPECT_EQ(serial.opens, opensBefore + 1) << "the reset reopens the port";
    EXPECT_EQ(gateway.call().CallStage, 0);
    EXPECT_EQ(serial.written(), "");
}

TEST_F(Destination, ConnectTimeoutComesFromTheConfiguration) {
    call("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    EXPECT_EQ(lastConnect().timeout, std::chrono::seconds(10));
    setIni("HostTimeout", "3");
    terminalSends("CCCCC");
    gateway.BT_INITClick();
    call("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    EXPECT_EQ(lastConnect().timeout, std::chrono::seconds(3));
}

TEST_F(Destination, UnwritableConfigurationIsReportedButThePaymentGoesOn) {
    std::filesystem::remove(folder / "vorn.Ini");
    std::filesystem::create_directory(folder / "vorn.Ini");
    call("\r\r\r", "IP\r\r\r");
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_NE(ui.errors[0].find("Unable to write to"), Bytes::npos);
    EXPECT_EQ(lastConnect().port, 5001);
    EXPECT_EQ(gateway.call().CallStage, 3);
}

}  // namespace
}  // namespace tavorline::testing
