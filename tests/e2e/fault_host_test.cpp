// Hosts that fail a call part way: one that dies in the middle of its
// response, one that takes the request and never answers, one that hangs up
// before the request. Each time the gateway must drop the call, keep running,
// store no record, and carry the next call through to an approval.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "e2e_support.h"
#include "fault_support.h"
#include "payment_e2e.h"
#include "sim/payment_messages.h"

namespace tavorline::e2e {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

// The first half of the approval the host would send for our request.
std::string halfAResponse() {
    const Bytes whole = sim::buildResponseFrame(
        sim::responseTo(requestFrame("D1"), true, sim::kApprovedCode, "12345678"));
    return whole.substr(0, whole.size() / 2);
}

std::string hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

class HostFailsTheCall : public ::testing::Test {
protected:
    // The gateway (EcType A: TLS, T: plain TCP), a host-sim in mode FF
    // following `script`, and a call connected to it.
    void start(bool tls, const std::string& script, std::vector<std::string> extra = {}) {
        tls_ = tls;
        std::ofstream(home.path() / "script.txt") << script;
        extra.insert(extra.end(), {"--script", (home.path() / "script.txt").string()});
        host = std::make_unique<ChildProcess>(hostSimArguments("FF", tls, extra));
        port = host->firstLine();
        ASSERT_FALSE(port.empty()) << host->transcript();
        line.linkAs(home.path() / "COM6");
        writeFaultIni(home.path(), tls ? "A" : "T");
        gateway = std::make_unique<GatewayProcess>(home.path());
        ASSERT_TRUE(gateway->ready()) << gateway->process().transcript();
        ASSERT_TRUE(lineCheckAnswered(line));
        std::string why;
        ASSERT_TRUE(dialAndConnect(line, '\f', "127.0.0.1/" + port, why)) << why;
    }

    std::string disconnected() const { return cp949("접속끊기 (FF:127.0.0.1/") + port + ")"; }

    // The gateway is still there, stored nothing, and the next call goes through.
    void expectTheNextPaymentApproved() {
        EXPECT_TRUE(gateway->process().running()) << gateway->process().transcript();
        EXPECT_FALSE(iniValue(home.path(), "LastData").has_value());
        EXPECT_EQ(approvedPayment(line, tls_ ? Carried::Tls : Carried::PlainTcp), "");
        const auto record = iniValue(home.path(), "LastData");
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->substr(306, 4), "0000");
    }

    TempFolder home;
    PtyPair line;
    std::unique_ptr<ChildProcess> host;
    std::string port;
    std::unique_ptr<GatewayProcess> gateway;
    bool tls_ = true;
};

// The host process is killed after half its response: no close notice over
// TLS, just the connection gone. The terminal has the half it was sent, hears
// nothing more, and hangs up.
class HostDiesMidResponse : public HostFailsTheCall, public ::testing::WithParamInterface<bool> {};

TEST_P(HostDiesMidResponse, TerminalKeepsWhatCameAndHangsUp) {
    const bool tls = GetParam();
    const std::string half = halfAResponse();
    ASSERT_NO_FATAL_FAILURE(
        start(tls, "request\nraw " + hex(half) + "\nwait 60000\n", {"--timeout", "90"}));
    line.send(requestFrame("D1"));
    EXPECT_EQ(line.receive(half.size()), half);

    host->terminate();
    ASSERT_TRUE(waitForLog(home.path(), disconnected())) << todaysLog(home.path());
    EXPECT_EQ(line.receiveFor(300ms), "") << "nothing after the half response";
    line.send("CCCCC");
    ASSERT_TRUE(waitForLog(home.path(), "[SR   "));
    EXPECT_THAT(logLines(todaysLog(home.path()), "SR"), Contains("[CCCCC]"));
    expectTheNextPaymentApproved();
}

INSTANTIATE_TEST_SUITE_P(OverTlsAndPlainTcp, HostDiesMidResponse, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Tls" : "PlainTcp"; });

// The host takes the request and stays silent; the terminal gives up after
// its own wait and hangs up, which drops the host.
TEST_F(HostFailsTheCall, HostThatNeverAnswersIsDroppedByTheTerminalsHangUp) {
    ASSERT_NO_FATAL_FAILURE(start(true, "request\nend\n", {"--timeout", "30"}));
    line.send(requestFrame("D1"));
    ASSERT_TRUE(waitForLog(home.path(), "[CR   "));
    EXPECT_EQ(line.receiveFor(2s), "");
    line.send("CCCCC");
    EXPECT_EQ(host->waitForExit(), 0) << "host-sim saw the hang-up\n" << host->transcript();
    EXPECT_THAT(logLines(todaysLog(home.path()), "HOST"), Contains("[" + disconnected() + "]"));
    expectTheNextPaymentApproved();
}

// The host hangs up as soon as the call is connected, before the terminal's
// request: the request cannot go out and must not stay in the gateway's
// buffer ahead of the terminal's CCCCC. The hang-up must still end the call.
TEST_F(HostFailsTheCall, HangUpAfterARequestTheHostNeverGotEndsTheCall) {
    ASSERT_NO_FATAL_FAILURE(start(true, "close\n"));
    ASSERT_TRUE(waitForLog(home.path(), disconnected())) << todaysLog(home.path());
    line.send(requestFrame("D1"));
    EXPECT_EQ(line.receiveFor(1s), "");
    line.send("CCCCC");
    ASSERT_TRUE(waitForLog(home.path(), "[SR   ")) << todaysLog(home.path());
    EXPECT_THAT(logLines(todaysLog(home.path()), "SR"), Contains(HasSubstr("CCCCC")));
    expectTheNextPaymentApproved();
}

}  // namespace
}  // namespace tavorline::e2e
