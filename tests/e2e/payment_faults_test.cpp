// Hosts that misbehave in the middle of a call: the gateway must survive each
// of them and carry the next call through to an approval.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <fstream>

#include "e2e_support.h"
#include "payment_e2e.h"

namespace tavorline::e2e {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

// A terminal call on the line up to the request, in mode FF: the gateway
// passes the host's replies to the terminal without decrypting them.
void dialAndRequest(PtyPair& line, const std::string& destination) {
    line.send("\f\f\f");
    ASSERT_EQ(line.receive(13), "*DESTINATION:");
    line.send("IP" + destination + "\r\r\r");
    ASSERT_EQ(line.receive(7), std::string(7, '\x05'));
    line.send(requestFrame("D1"));
}

// Whatever the gateway passes on, until the line has been quiet for a while.
std::string drain(PtyPair& line) {
    std::string all;
    for (std::string more = line.receiveFor(500ms); !more.empty(); more = line.receiveFor(500ms)) {
        all += more;
    }
    return all;
}

struct Fault {
    const char* name;
    const char* script;    // host-sim's steps for the spoiled call
    std::size_t reaching;  // bytes of it the terminal gets
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Fault& value, std::ostream* out) { *out << value.name; }

class HostFaultTest : public ::testing::TestWithParam<Fault> {};

TEST_P(HostFaultTest, GatewaySurvivesAndTheNextCallIsApproved) {
    const Fault& fault = GetParam();
    TempFolder home;
    PtyPair line;
    line.linkAs(home.path() / "COM6");
    std::ofstream(home.path() / "fault.txt") << fault.script;
    ChildProcess badHost(
        hostSimArguments("FF", true, {"--script", (home.path() / "fault.txt").string()}));
    ChildProcess goodHost(hostSimArguments("FF", true));
    const std::string badPort = badHost.firstLine();
    const std::string goodPort = goodHost.firstLine();
    ASSERT_FALSE(badPort.empty() || goodPort.empty());
    writeVornIni(home.path(), {{"EcPort", "6"}, {"EcSpeed", "9600"}, {"EcType", "A"}});
    GatewayProcess gateway(home.path());
    ASSERT_TRUE(gateway.ready()) << gateway.process().transcript();
    ASSERT_TRUE(lineCheckAnswered(line)) << gateway.process().transcript();

    dialAndRequest(line, "127.0.0.1/" + badPort);
    ASSERT_TRUE(waitForLog(home.path(), "[CR   "));
    EXPECT_EQ(drain(line).size(), fault.reaching);
    line.send("CCCCC");
    EXPECT_EQ(badHost.waitForExit(), 0) << badHost.transcript();
    ASSERT_TRUE(waitForLog(home.path(), cp949("접속끊기 (FF:127.0.0.1/") + badPort));
    EXPECT_TRUE(gateway.process().running()) << gateway.process().transcript();
    EXPECT_FALSE(iniValue(home.path(), "LastData").has_value());

    dialAndRequest(line, "127.0.0.1/" + goodPort);
    const std::string response = line.receiveFrame();
    ASSERT_TRUE(isWholeFrame(response)) << goodHost.transcript();
    EXPECT_EQ(responseField(response, 7), "0000");
    line.send("\x06");
    EXPECT_EQ(line.receive(3), "\x1b\x1b\x1b");
    line.send("CCCCC");
    EXPECT_EQ(goodHost.waitForExit(), 0) << goodHost.transcript();
    const auto record = iniValue(home.path(), "LastData");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->substr(306, 4), "0000");
    EXPECT_THAT(logLines(todaysLog(home.path()), "HOST"),
                Contains(HasSubstr(cp949("접속성공 (FF:127.0.0.1/") + goodPort)));
}

INSTANTIATE_TEST_SUITE_P(MisbehavingHosts, HostFaultTest,
                         ::testing::Values(Fault{"HangsUpMidCall", "request\nclose\n", 0},
                                           Fault{"SendsGarbage", "request\nnoise 200\nend\n", 200},
                                           Fault{"SendsA32KiBChunk", "request\nnoise 32768\nend\n",
                                                 32768}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavorline::e2e
