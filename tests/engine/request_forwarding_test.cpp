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

// The card field as the log shows it, with the field after it: track data
// and the middle of the number are never in clear.
TEST_F(RequestForwarding, CardFieldIsMaskedInTheLog) {
    struct Case {
        const char* card;
        const char* logged;  // card field, FS, field 4
    };
    const Case cases[] = {
        {"K4111111111111111=2512101", "K41111111xxxx1111=XXXXXXX\x1Cq4"},
        {"@411111111111111", "@4111111xxxx1111\x1CXX"},
        {"12345678", "xxxx5678\x1CXX"},
        {"1234567", "1234567\x1Cq4"},
        {"1234=567", "1234=567\x1Cq4"},
        {"12=3456789", "xxxx12=XXXXXXX\x1Cq4"},
        {"1234=56789", "xxxx1234=XXXXX\x1Cq4"},
    };
    for (const Case& c : cases) {
        connectCall();
        request(Make_Frame(requestBody(c.card)));
        const Bytes expected =
            "\x1C"
            "00000001\x1C" +
            Bytes(c.logged) + "\x1Cq5\x1C";
        const Bytes logged = lastLog();
        EXPECT_NE(logged.find(expected), Bytes::npos) << c.card << " logged as " << logged;
        gateway.BT_INITClick();
    }
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

// Unmasking turns the seed (bytes 4..11) into eight digits; a frame that is
// not masked keeps its seed in the log and on the display.
TEST_F(RequestForwarding, MaskedCodesAreLoggedReadableAndOthersAsSent) {
    const char* const masked[] = {"NC", "ND", "BD", "BK", "EP", "PI", "WL", "PJ",
                                  "PM", "BO", "BM", "PN", "BQ", "AX", "A1"};
    const std::pair<const char*, const char*> open[] = {
        {"BP", "AAAAAAAA"}, {"D1", "SEEDSEED"}, {"NX", "SEEDSEED"}, {"XA", "SEEDSEED"}};
    const auto seedShown = [&](const Bytes& code, const Bytes& seed) {
        connectCall();
        Bytes body = requestBody();
        body.replace(0, 10, code + seed);
        request(Make_Frame(body));
        EXPECT_EQ(lastLog().substr(16, 3), "\x02" + code);
        return lastLog().substr(19, 8);
    };
    for (const char* code : masked) {
        const Bytes seed = seedShown(code, "SEEDSEED");
        EXPECT_EQ(seed.find_first_not_of("0123456789"), Bytes::npos) << code << ": " << seed;
        EXPECT_EQ(ui.display[1].substr(3, 8), seed) << code;
    }
    EXPECT_NE(seedShown("BP", "SEEDSEED"), "SEEDSEED") << "BP with any other seed is masked";
    for (const auto& [code, seed] : open) EXPECT_EQ(seedShown(code, seed), seed) << code;
}

TEST_F(RequestForwarding, TrailersAreCutFromTheLogAndDisplay) {
    for (const char* trailer : {"\x1DGPsecret",
                                "\x19"
                                "EMsecret"}) {
        connectCall();
        const Bytes frame = Make_Frame(requestBody() + trailer);
        request(frame);
        const Bytes logged = lastLog();
        EXPECT_EQ(logged.substr(logged.size() - 5), "q14\x03]") << trailer;
        EXPECT_EQ(ui.display[1].substr(ui.display[1].size() - 4), "q14\x03") << trailer;
        EXPECT_EQ(ui.display[0], Str_ToHex(frame)) << "the hex shows the frame as received";
        EXPECT_EQ(host.writes.back(), "S(" + frame + ")") << "the host gets it all";
    }
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
