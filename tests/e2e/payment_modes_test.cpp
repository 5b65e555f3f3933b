// One approved payment in every destination mode through the real gateway:
// the test is the terminal on a pty pair, host-sim is the host with the
// real cipher library. Checked: the bytes on the terminal line, what the
// host received and sent, the daily log and the stored transaction record.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <sstream>

#include "e2e_support.h"
#include "payment_e2e.h"
#include "sim/readable.h"
#include "support/framing.h"

namespace tavorline::e2e {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

struct ModeCase {
    const char* name;
    const char* ecType;
    char dialByte;
    const char* hostMode;  // what host-sim speaks
    bool tls;
    int portOffset;  // AD connects 10000 above the port, AR 20000
    bool explicitDestination;
    bool enquiries;
    // VT passes host replies through unread, so it keeps no record of them.
    bool recorded;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ModeCase& value, std::ostream* out) { *out << value.name; }

class PaymentModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(PaymentModeTest, ApprovedPaymentTravelsEndToEnd) {
    const ModeCase& mode = GetParam();
    TempFolder home;
    PtyPair line;
    line.linkAs(home.path() / "COM6");
    ChildProcess host(hostSimArguments(mode.hostMode, mode.tls));
    const int port = std::atoi(host.firstLine().c_str());
    ASSERT_GT(port, 0) << host.transcript();
    const std::string configured = std::to_string(port - mode.portOffset);
    // The CR modes connect to the next port of the AdslSPort range.
    const std::string rangeStart = std::to_string(port - mode.portOffset - 1);
    writeVornIni(home.path(), {{"EcPort", "6"},
                               {"EcSpeed", "9600"},
                               {"EcType", mode.ecType},
                               {"AdslAddr", "127.0.0.1"},
                               {"AdslSPort", rangeStart},
                               {"AdslCPort", rangeStart},
                               {"DnAddr", "127.0.0.1"},
                               {"DnPort", configured},
                               {"UpAddr", "127.0.0.1"},
                               {"UpPort", configured}});
    GatewayProcess gateway(home.path());
    ASSERT_TRUE(gateway.ready()) << gateway.process().transcript();
    ASSERT_TRUE(lineCheckAnswered(line)) << gateway.process().transcript();

    line.send(std::string(3, mode.dialByte));
    EXPECT_EQ(line.receive(13), "*DESTINATION:");
    line.send("IP" + (mode.explicitDestination ? "127.0.0.1/" + configured : "") + "\r\r\r");
    if (mode.enquiries) {
        EXPECT_EQ(line.receive(7), std::string(7, '\x05'));
    } else {
        ASSERT_TRUE(waitForLog(home.path(), cp949("접속성공"))) << gateway.process().transcript();
        EXPECT_EQ(line.receiveFor(400ms), "") << "no enquiries in this mode";
    }

    const std::string request = requestFrame("D1");
    line.send(request);
    std::string response = line.receiveFrame();
    // AD decrypts whole 3DES blocks: the zero fill of the last one follows.
    std::string after = response.substr(std::min(response.size(), response.find('\x03') + 2));
    response.resize(response.size() - after.size());
    ASSERT_TRUE(isWholeFrame(response)) << sim::symbolic(response) << host.transcript();
    EXPECT_EQ(responseField(response, 7), "0000");
    line.send("\x06");
    after += line.receiveUntil("\x1b\x1b\x1b");
    const std::size_t fill = std::string_view(mode.name) == "AD" ? after.size() - 3 : 0;
    EXPECT_EQ(after, std::string(fill, '\0') + "\x1b\x1b\x1b");
    EXPECT_LT(fill, 8u);
    line.send("CCCCC");

    EXPECT_EQ(host.waitForExit(), 0) << "the host saw the ACK and the hang-up\n"
                                     << host.transcript();
    EXPECT_THAT(host.output(), HasSubstr(sim::symbolic(request)))
        << "request as the host opened it";
    EXPECT_THAT(host.output(), HasSubstr(sim::symbolic(response)))
        << "response as the host sent it";

    const std::string log = todaysLog(home.path());
    const std::string destination = std::string(mode.name) + ":127.0.0.1/" + std::to_string(port);
    EXPECT_THAT(logLines(log, "HOST"), Contains("[" + cp949("접속성공 (") + destination + ")]"));
    EXPECT_THAT(logLines(log, "CR"), Contains(HasSubstr(kMaskedCardInLog)));
    EXPECT_THAT(logLines(log, "CR"), Contains(::testing::Not(HasSubstr(std::string(kCard)))));
    if (!mode.recorded) {
        EXPECT_FALSE(logLines(log, "DOWN").empty()) << "passed through unread";
        EXPECT_FALSE(iniValue(home.path(), "LastData").has_value());
        return;
    }
    EXPECT_THAT(logLines(log, "LR"), Contains(HasSubstr("][" + response)));

    const auto record = iniValue(home.path(), "LastData");
    ASSERT_TRUE(record.has_value());
    ASSERT_EQ(record->size(), 600u);
    EXPECT_EQ(record->substr(0, 2), "D1");
    EXPECT_EQ(record->substr(11, 24), Pad_Right("12345678", 24)) << "approval number";
    EXPECT_EQ(record->substr(306, 4), "0000");
}

INSTANTIATE_TEST_SUITE_P(
    EveryDestinationMode, PaymentModeTest,
    ::testing::Values(ModeCase{"CR", "A", '\r', "CR", true, 0, false, false, true},
                      ModeCase{"LF", "A", '\n', "LF", true, 0, false, true, true},
                      ModeCase{"FF", "A", '\f', "FF", true, 0, true, true, true},
                      ModeCase{"VT", "A", '\v', "VT", false, 0, false, false, false},
                      ModeCase{"AD", "D", '\r', "AD", false, 10000, false, true, true},
                      ModeCase{"AR", "R", '\n', "AR", false, 20000, true, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavorline::e2e
