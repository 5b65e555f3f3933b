// Requests from the terminal to the host.
#include "payment_fixture.h"
#include "support/texts.h"

namespace tavorline::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;

class RequestForwarding : public PaymentFixture {};

TEST_F(RequestForwarding, ShortRequestGoesOutRawAndUnlogged) {
    connectCall();
    const Bytes ack(20, '\x06');
    request(ack);
    EXPECT_THAT(host.writes, ElementsAre(ack));
    EXPECT_EQ(lastLog(), "[SR   14:03:27][" + ack + "]");
    EXPECT_EQ(gateway.call().CallStage, 3);
    EXPECT_TRUE(gateway.call().RecvBuf.empty());
    EXPECT_EQ(ui.display[0], "");
    EXPECT_FALSE(dget.enabled());
}

TEST_F(RequestForwarding, FullRequestIsCutAtStxSealedShownLoggedAndSplit) {
    connectCall();
    const Bytes frame = Make_Frame(requestBody());
    request("noise" + frame);
    EXPECT_THAT(host.writes, ElementsAre("S(" + frame + ")"));
    EXPECT_EQ(ui.display[0], Str_ToHex(frame));
    EXPECT_EQ(ui.display[1], frame);
    EXPECT_EQ(gateway.call().CallStage, 4);
    EXPECT_TRUE(gateway.call().RecvBuf.empty());
    EXPECT_EQ(ui.statuses.back(), "10.1.2.3/5000" + Bytes(texts::kStatusQuerying));

    const Bytes fs(1, ctl::FS);
    Bytes masked = "\x02TR12345678D1" + fs + "00000001" + fs + "K41111111xxxx1111=XXXXXXX" + fs;
    masked += frame.substr(frame.find("q4"));
    EXPECT_EQ(lastLog(), "[CR   14:03:27][" + masked + "]");

    ASSERT_THAT(gateway.ReqFields, SizeIs(15));
    EXPECT_EQ(gateway.ReqFields[0], "");
    EXPECT_EQ(gateway.ReqFields[1], "D1");
    EXPECT_EQ(gateway.ReqFields[2], "00000001");
    EXPECT_EQ(gateway.ReqFields[3], "K");
    EXPECT_EQ(gateway.ReqFields[4], "4111111111111111");
    EXPECT_EQ(gateway.ReqFields[5], "2512");
    EXPECT_EQ(gateway.ReqFields[6], "q4");
    EXPECT_EQ(gateway.ReqFields[14], "q12");
}

TEST_F(RequestForwarding, CardWithoutTrackDataHidesTheExpiryToo) {
    connectCall();
    request(Make_Frame(requestBody("@411111111111111")));
    const Bytes fs(1, ctl::FS);
    EXPECT_NE(lastLog().find("@4111111xxxx1111" + fs + "XX" + fs + "q5"), Bytes::npos);
    EXPECT_EQ(gateway.ReqFields[5], "q4") << "with kind @ field 4 is entry 5";
    EXPECT_EQ(gateway.ReqFields[6], "q5");
}

TEST_F(RequestForwarding, FrameWithoutStxIsSentAsASingleStx) {
    connectCall();
    request(Bytes(21, 'x'));
    EXPECT_THAT(host.writes, ElementsAre("S(\x02)"));
}

TEST_F(RequestForwarding, EachModeSealsItsOwnWay) {
    const Bytes frame = Make_Frame(requestBody());
    connectCall("\x0C\x0C\x0C");
    request(frame);
    EXPECT_THAT(host.writes, ElementsAre(frame)) << "FF goes unsealed";

    setType("D");
    connectCall("\r\r\r", "IP\r\r\r");
    request(frame);
    ASSERT_THAT(host.writes, SizeIs(1));
    EXPECT_EQ(host.writes[0].size() % 8, 0u);
    EXPECT_EQ(host.writes[0][1], frame[1] ^ 0x20) << "AD goes through 3DES";
}

TEST_F(RequestForwarding, AfterTheKeyExchangeEveryRequestIsKeyed) {
    setType("R");
    connectCall();
    hostSends("PUBLIC KEY");
    hostSends("\x06\x06\x06");
    host.writes.clear();
    request("\x06");
    const Bytes frame = Make_Frame(requestBody());
    request(frame);
    EXPECT_THAT(host.writes, ElementsAre("K:\x06", "K:" + frame));
    EXPECT_EQ(fake_cipher::lastRasTag, "TVLN");
}

TEST_F(RequestForwarding, KeyedOutputBeyondTheUsualAreaNeverOverruns) {
    fake_cipher::install(library);
    library.symbols["GetRasEncData"] = reinterpret_cast<void*>(&fake_cipher::rasEncBloated);
    gateway.cipher().load();
    setType("R");
    connectCall();
    hostSends("PUBLIC KEY");
    hostSends("\x06\x06\x06");
    host.writes.clear();
    const Bytes frame = Make_Frame(requestBody() + Bytes(1500, 'z'));
    request(frame);
    ASSERT_THAT(host.writes, SizeIs(1));
    EXPECT_EQ(host.writes[0].size(), 3 * frame.size());
}

TEST_F(RequestForwarding, RequestThatCouldNotBeSealedWaitsWhileTheLinkIsUp) {
    setType("R");
    connectCall();
    hostSends("PUBLIC KEY");
    hostSends("\x06\x06\x06");
    library.symbols.erase("GetRasEncData");
    gateway.cipher().load();
    const Bytes frame = Make_Frame(requestBody());
    request(frame);
    EXPECT_TRUE(host.open);
    EXPECT_EQ(gateway.call().RecvBuf.bytes(), frame);
    EXPECT_EQ(gateway.call().CallStage, 3);
}

TEST_F(RequestForwarding, RequestForALostHostIsDroppedSoTheHangUpStillWorks) {
    connectCall();
    host.failWrite = true;
    const auto linesBefore = logLines().size();
    request(Make_Frame(requestBody()));
    EXPECT_TRUE(gateway.call().RecvBuf.empty());
    EXPECT_EQ(logLines().size(), linesBefore + 1) << "only the dropped link is logged";
    terminalSends("CCCCC");
    EXPECT_EQ(gateway.call().CallStage, 0);
}

TEST_F(RequestForwarding, TrailersAreNotShownAndMaskedRequestsAreShownReadable) {
    connectCall();
    Bytes body = requestBody();
    body.replace(0, 2, "AX");
    const Bytes frame = Make_Frame(body + "\x1DGPsecret");
    request(frame);
    const Bytes readable = Unmask_Frame(frame.substr(0, frame.find("\x1DGP")) + ctl::ETX);
    EXPECT_EQ(ui.display[1], readable);
    EXPECT_EQ(ui.display[0], Str_ToHex(frame)) << "the hex shows the frame as received";
}

TEST_F(RequestForwarding, BpWithTheOpenSeedIsNotUnmasked) {
    connectCall();
    Bytes body = requestBody();
    body.replace(0, 10, "BPAAAAAAAA");
    const Bytes frame = Make_Frame(body);
    request(frame);
    EXPECT_EQ(ui.display[1], frame);
}

TEST_F(RequestForwarding, TickAfterAResetSendsNothing) {
    connectCall();
    terminalSends("\x02partial");
    gateway.BT_INITClick();
    gateway.DGetTimerTimer();
    EXPECT_TRUE(host.writes.empty());
    EXPECT_EQ(lastLog(), "[SR   14:03:27][]");
}

}  // namespace
}  // namespace tavorline::testing
