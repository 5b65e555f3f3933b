// What the web screen asks of the gateway and what it gets back.
#include "payment_fixture.h"
#include "support/texts.h"

namespace tavorline::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class WebWindow : public PaymentFixture {};

TEST_F(WebWindow, RegistrationIsShownAndRestoredAfterASecond) {
    gateway.WMWebHandle(0x1234);
    EXPECT_EQ(gateway.webHandle(), 0x1234u);
    EXPECT_EQ(ui.statuses.back(), texts::kStatusWebHandle);
    EXPECT_TRUE(tminit.enabled());
    gateway.WMWebHandle(0x5678);
    EXPECT_EQ(tminit.starts, 1) << "a running restore is not restarted";
    EXPECT_EQ(gateway.webHandle(), 0x5678u) << "the second registration wins";
    gateway.TMInitTimer();
    EXPECT_EQ(ui.statuses.back(), texts::kStatusWaitingShort);
    EXPECT_FALSE(tminit.enabled());
}

TEST_F(WebWindow, LastDataRequestIsAnsweredWithTheStoredRecord) {
    gateway.WMWebHandle(7);
    gateway.WMCopyData("xLA");
    ASSERT_THAT(web.sent, ElementsAre(std::pair<std::uint64_t, Bytes>{7, "Empty"}));
    setIni("LastData", "D1" + Bytes(598, ' '));
    gateway.WMCopyData(Bytes("?LA") + Bytes(28, 'z') + Bytes(1, '\0'));
    EXPECT_EQ(web.sent.back().second, "D1" + Bytes(598, ' '));
    EXPECT_THAT(std::vector<Bytes>(ui.statuses.end() - 2, ui.statuses.end()),
                ElementsAre("reqest lastdata ..", Bytes(texts::kStatusWebSent)));
}

TEST_F(WebWindow, WebRequestIsTrimmedFramedAndSentToTheTerminal) {
    const Bytes request = "D1" "0" "00" "00001000" + Bytes(12, ' ') + Bytes(6, ' ');
    ASSERT_EQ(request.size(), 31u);
    gateway.WMCopyData(request);
    const Bytes fs(1, ctl::FS);
    EXPECT_EQ(serial.written(), Make_Frame("D1" + fs + "0" + fs + "00" + fs + "00001000" + fs + fs));
    EXPECT_EQ(ui.statuses.back(), request);
    EXPECT_EQ(gateway.call().TMTag, 1);
}

TEST_F(WebWindow, OtherLengthsAreShownAndDropped) {
    gateway.WMCopyData(Bytes(30, 'x'));
    gateway.WMCopyData(Bytes(32, 'x'));
    EXPECT_EQ(serial.written(), "");
    EXPECT_THAT(web.sent, IsEmpty());
    EXPECT_EQ(ui.statuses.back(), Bytes(32, 'x'));
}

TEST_F(WebWindow, BlockIsReadUpToItsFirstNul) {
    const Bytes request = "D1" "0" "00" "00001000" + Bytes(18, '1');
    gateway.WMCopyData(request + Bytes(1, '\0') + "tail");
    EXPECT_EQ(serial.written().size(), 1 + 31 + 5 + 2u);
    gateway.WMCopyData(Bytes("ab\0LA", 5));
    EXPECT_THAT(web.sent, IsEmpty());
    // A sender may name a size and no data: nothing is read.
    EXPECT_EQ(copyDataBytes(nullptr, 31), "");
    EXPECT_EQ(copyDataBytes(request.data(), 3), "D10");
}

TEST_F(WebWindow, ApprovedPaymentReachesTheRegisteredWindow) {
    gateway.WMWebHandle(42);
    connectCall();
    request(Make_Frame(requestBody()));
    hostSends("S(" + responseFrame() + ")");
    hostSends("\x1B\x1B\x1B");
    ASSERT_EQ(web.sent.size(), 1u);
    EXPECT_EQ(web.sent[0].first, 42u);
    EXPECT_EQ(web.sent[0].second.size(), 600u);
}

}  // namespace
}  // namespace tavorline::testing
