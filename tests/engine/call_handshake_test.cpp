// The terminal's control sequences: reset, logon, line check and dial.
#include "gateway_fixture.h"
#include "support/framing.h"
#include "support/texts.h"

namespace tavorline::testing {
namespace {

using ::testing::ElementsAre;

const Bytes kPrompt = "*DESTINATION:";

class CallHandshake : public GatewayFixture {
protected:
    void SetUp() override { start(); }
    const CallRecord& call() const { return gateway.call(); }
};

TEST_F(CallHandshake, ResetSequenceNearTheStartEndsTheCall) {
    terminalSends("\x0A\x0A\x0A");
    terminalSends("abcCCCCC");
    EXPECT_EQ(call().CallStage, 0);
    EXPECT_TRUE(call().RecvBuf.empty());
    EXPECT_EQ(call().TMTag, 0);
    EXPECT_EQ(ui.statuses.back(), texts::kStatusWaiting);
    EXPECT_EQ(logLines().back(), "[SR   14:03:27][abcCCCCC]");
}

// Reset and logon count from position 1 to 9, the CR dial from 1 to 6; one
// byte later they are data.
TEST_F(CallHandshake, SequencesActOnlyUpToTheirLastStartingPosition) {
    enum class Action { Reset, Logon, Dial, None };
    const std::pair<Bytes, Action> cases[] = {
        {"12345678CCCCC", Action::Reset},        {"123456789CCCCC", Action::None},
        {"12345678\x0F\x0F\x0F", Action::Logon}, {"123456789\x0F\x0F\x0F", Action::None},
        {"12345\r\r\r", Action::Dial},           {"123456\r\r\r", Action::None},
    };
    for (const auto& [bytes, action] : cases) {
        gateway.BT_INITClick();
        serial.chunks.clear();
        terminalSends(bytes);
        const bool kept = call().RecvBuf.bytes() == bytes;
        EXPECT_EQ(kept, action == Action::None) << bytes;
        const auto lines = logLines();
        const bool resetLogged = !lines.empty() && lines.back() == "[SR   14:03:27][" + bytes + "]";
        EXPECT_EQ(resetLogged, action == Action::Reset) << bytes;
        EXPECT_EQ(serial.written() == Make_Frame("010101010101C5000Tavorline6Tavorline6"),
                  action == Action::Logon)
            << bytes;
        EXPECT_EQ(call().CallStage == 2, action == Action::Dial) << bytes;
    }
}

TEST_F(CallHandshake, ResetSequenceDropsTheHostAndLogsTheCallItEnds) {
    dialAndConnect("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    ASSERT_TRUE(host.open);
    terminalSends("CCCCC");
    EXPECT_FALSE(host.open);
    const auto lines = logLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "[SR   14:03:27][CCCCC]");
    EXPECT_EQ(lines[lines.size() - 3], "[SOCK 14:03:27][Disconnecting.]");
    EXPECT_EQ(lines[lines.size() - 2],
              "[HOST 14:03:27][" + Bytes(texts::kLogDisconnected) + "LF:10.1.2.3/5000)]");
    EXPECT_EQ(lines.back(), "[SOCK 14:03:27][Disconnected.]");
}

TEST_F(CallHandshake, LogonIsAnsweredWithTheFramedGreeting) {
    terminalSends("\x0F\x0F\x0F");
    EXPECT_THAT(clock.waits, ElementsAre(200));
    EXPECT_EQ(serial.written(), Make_Frame("010101010101C5000Tavorline6Tavorline6"));
    EXPECT_EQ(ui.statuses.back(), "ADSL LOGON ...");
    EXPECT_EQ(logLines().back(), "[LOG  14:03:27][Only Log On]");
    EXPECT_TRUE(call().RecvBuf.empty());
}

TEST_F(CallHandshake, LogonDuringACallKeepsTheHostButEndsTheStageAndKeyExchange) {
    setIni("EcType", "R");
    gateway.BT_INITClick();
    dialAndConnect("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    ASSERT_EQ(call().KeyStage, 1);
    terminalSends("\x0F\x0F\x0F");
    EXPECT_TRUE(host.open);
    EXPECT_EQ(call().CallStage, 0);
    EXPECT_EQ(call().KeyStage, 0);
}

TEST_F(CallHandshake, LineCheckRightAfterStxGetsThreeAck) {
    terminalSends("\x02LC0123\x03");
    EXPECT_THAT(clock.waits, ElementsAre(200));
    EXPECT_EQ(serial.written(), "\x06\x06\x06");
    EXPECT_EQ(logLines().back(), "[CHCK 14:03:27][Line Check ]");
    EXPECT_TRUE(call().RecvBuf.empty());
}

TEST_F(CallHandshake, OtherFramesAreCutAtStxAndNotAnswered) {
    terminalSends("junk\x02xLC\x03");
    EXPECT_EQ(serial.written(), "");
    EXPECT_EQ(call().RecvBuf.bytes(), "xLC\x03");
    terminalSends("\x03");
    EXPECT_TRUE(call().RecvBuf.empty()) << "an ETX without STX empties the buffer";
}

TEST_F(CallHandshake, IdleBufferWithEtxNeverDials) {
    terminalSends("\x02x\x03\r\r\r");
    EXPECT_EQ(serial.written().find(kPrompt), Bytes::npos);
    EXPECT_EQ(call().CallStage, 0);
}

TEST_F(CallHandshake, EachDialSequencePromptsForTheDestination) {
    const std::pair<const char*, const char*> dials[] = {{"\x0A\x0A\x0A", "LF"},
                                                         {"xyz\x0B\x0B\x0B", "VT"},
                                                         {"\x0C\x0C\x0C", "FF"},
                                                         {"abc\r\r\r", "CR"}};
    for (const auto& [sequence, mode] : dials) {
        SCOPED_TRACE(mode);
        gateway.BT_INITClick();
        serial.chunks.clear();
        clock.waits.clear();
        terminalSends(sequence);
        EXPECT_EQ(call().DestMode, mode);
        EXPECT_EQ(call().CallStage, 2);
        EXPECT_THAT(clock.waits, ElementsAre(100));
        EXPECT_EQ(serial.written(), kPrompt);
        EXPECT_TRUE(call().RecvBuf.empty());
        EXPECT_EQ(ui.statuses.back(), texts::kStatusConnecting);
    }
}

TEST_F(CallHandshake, LaterModeTestsWin) {
    // Three CR past position 6 do not dial, but count for the mode once
    // three VT do.
    terminalSends("abcdefg\r\r\r\x0B\x0B\x0B");
    EXPECT_EQ(call().DestMode, "VT");
    gateway.BT_INITClick();
    gateway.call().RecvBuf.assign("\x0A\x0A\x0A\x0C\x0C");
    terminalSends("\x0C");
    EXPECT_EQ(call().DestMode, "FF");
    gateway.BT_INITClick();
    gateway.call().RecvBuf.assign("\r\r\r\x0B\x0B");
    terminalSends("\x0B");
    EXPECT_EQ(call().DestMode, "VT");
}

TEST_F(CallHandshake, DialSequencesOtherThanRedialNeedAnIdleLine) {
    terminalSends("\x0A\x0A\x0A");
    serial.chunks.clear();
    terminalSends("\x0B\x0B\x0B");
    EXPECT_EQ(call().DestMode, "LF");
    EXPECT_EQ(serial.written(), "");
}

TEST_F(CallHandshake, RedialPromptsAgainInAnyStageWithoutDroppingTheHost) {
    dialAndConnect("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    serial.chunks.clear();
    terminalSends("123456789CCCCCC\x0C\x0C\x0C");
    EXPECT_EQ(call().DestMode, "FF");
    EXPECT_EQ(call().CallStage, 2);
    EXPECT_EQ(serial.written(), kPrompt);
    EXPECT_TRUE(host.open);
}

TEST_F(CallHandshake, RedialTooCloseToTheStartIsAReset) {
    dialAndConnect("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    terminalSends("CCCCCC\x0C\x0C\x0C");
    EXPECT_FALSE(host.open) << "the fifth C reset the call and dropped the host";
    const auto lines = logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[SR   14:03:27][CCCCC]"), lines.end());
    // What is left, "C" and three FF, is an ordinary FF dial of an idle line.
    EXPECT_EQ(call().DestMode, "FF");
    EXPECT_EQ(call().CallStage, 2);
}

TEST_F(CallHandshake, ReceiveEventCountsPassesNotBytes) {
    gateway.call().WatchCount = 3;
    gateway.AproTriggerAvail(0);
    EXPECT_EQ(call().WatchCount, 30);
    EXPECT_EQ(call().TMTag, 1);
    EXPECT_TRUE(serial.monitoring);

    serial.receive("\x0A\x0A\x0A");
    gateway.AproTriggerAvail(2);
    EXPECT_EQ(call().RecvBuf.bytes(), "\x0A\x0A");
    gateway.AproTriggerAvail(5);
    EXPECT_EQ(call().CallStage, 2);
}

TEST_F(CallHandshake, RequestBytesRestartTheQuietPeriod) {
    dialAndConnect("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    const int before = dget.starts;
    terminalSends(
        "\x02"
        "D1 request");
    EXPECT_EQ(dget.starts - before, 11);
    EXPECT_TRUE(dget.enabled());
    EXPECT_EQ(call().RecvBuf.bytes(),
              "\x02"
              "D1 request");
}

TEST_F(CallHandshake, ThreeCrInsideARequestAreData) {
    dialAndConnect("\x0A\x0A\x0A", "IP10.1.2.3/5000\r\r\r");
    terminalSends("0123456\r\r\r");
    EXPECT_EQ(call().CallStage, 3);
    EXPECT_EQ(call().RecvBuf.bytes(), "0123456\r\r\r");
}

TEST_F(CallHandshake, NoiseOutsideACallStaysBoundedAndADialStillWorks) {
    Bytes noise;
    for (int i = 0; i < 1 << 20; ++i) noise.push_back(static_cast<char>('D' + i % 20));
    for (std::size_t offset = 0; offset < noise.size(); offset += 60000) {
        terminalSends(BytesView(noise).substr(offset, 60000));
        ASSERT_LE(call().RecvBuf.size(), 4097u);
    }
    terminalSends("\x0A\x0A\x0A");
    EXPECT_EQ(call().CallStage, 2);
    EXPECT_EQ(serial.written(), kPrompt);
}

TEST_F(CallHandshake, ReceiveTraceGoesToTheWorkingFolderWhileDisplayIsOn) {
    {
        const WorkingFolder inFolder(folder);
        gateway.DispMode = true;
        terminalSends("A\x0A");
        gateway.DispMode = false;
        terminalSends("B");
    }
    std::ifstream trace(folder / "log.txt", std::ios::binary);
    std::stringstream content;
    content << trace.rdbuf();
    EXPECT_EQ(content.str(), "[RECV 14:03:27][41]\r\n[RECV 14:03:27][0A]\r\n");
}

}  // namespace
}  // namespace tavorline::testing
