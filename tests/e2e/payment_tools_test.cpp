// The simulators together with the gateway, the way an installer runs them:
// terminal-sim on one end of a socat pty pair, the gateway on the other,
// host-sim as the payment host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "payment_e2e.h"

namespace tavorline::e2e {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class PaymentToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        pair = std::make_unique<SocatPair>(home.path() / "COM6", home.path() / "terminal");
    }

    void configure(const std::string& ecType, const std::string& dnPort) {
        writeVornIni(home.path(), {{"EcPort", "6"},
                                   {"EcSpeed", "9600"},
                                   {"EcType", ecType},
                                   {"DnAddr", "127.0.0.1"},
                                   {"DnPort", dnPort}});
    }

    std::unique_ptr<ChildProcess> terminal(const std::string& destination,
                                           const std::string& expect) {
        return std::make_unique<ChildProcess>(std::vector<std::string>{
            program("terminal-sim"), "--device", (home.path() / "terminal").string(), "--mode",
            "LF", "--dest", destination, "--expect", expect, "--line-check", "--timeout", "15"});
    }

    TempFolder home;
    std::unique_ptr<SocatPair> pair;
};

TEST_F(PaymentToolsTest, DeclineOverTlsStoresNothingThenApprovalsOverTlsAndAfterTheKeyExchange) {
    {
        ChildProcess decliningHost(hostSimArguments("LF", true, {"--decline"}));
        ChildProcess approvingHost(hostSimArguments("LF", true));
        const std::string declining = decliningHost.firstLine();
        const std::string approving = approvingHost.firstLine();
        configure("A", approving);
        GatewayProcess gateway(home.path());
        ASSERT_TRUE(gateway.ready()) << gateway.process().transcript();

        auto declined = terminal("127.0.0.1/" + declining, "declined");
        EXPECT_EQ(declined->waitForExit(), 0) << declined->transcript();
        EXPECT_EQ(decliningHost.waitForExit(), 0) << decliningHost.transcript();
        EXPECT_FALSE(iniValue(home.path(), "LastData").has_value());

        auto approved = terminal("127.0.0.1/" + approving, "approved");
        EXPECT_EQ(approved->waitForExit(), 0) << approved->transcript();
        EXPECT_EQ(approvingHost.waitForExit(), 0) << approvingHost.transcript();
        EXPECT_THAT(approved->output(), HasSubstr("payment approved"));
        const auto record = iniValue(home.path(), "LastData");
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->substr(0, 2), "D1");
    }
    // The gateway reads EcType at start: mode AR needs a restart.
    ChildProcess keyHost(hostSimArguments("AR", false));
    const int port = std::atoi(keyHost.firstLine().c_str());
    ASSERT_GT(port, 20000);
    const std::string dialled = std::to_string(port - 20000);
    configure("R", dialled);
    GatewayProcess gateway(home.path());
    ASSERT_TRUE(gateway.ready()) << gateway.process().transcript();
    auto approved = terminal("127.0.0.1/" + dialled, "approved");
    EXPECT_EQ(approved->waitForExit(), 0) << approved->transcript();
    EXPECT_EQ(keyHost.waitForExit(), 0) << keyHost.transcript();

    const std::string log = todaysLog(home.path());
    EXPECT_THAT(logLines(log, "HOST"),
                Contains("[" + cp949("접속성공 (AR:127.0.0.1/") + std::to_string(port) + ")]"));
    EXPECT_THAT(logLines(log, "SW"), Contains(HasSubstr("ENQ(6)")));
    const auto record = iniValue(home.path(), "LastData");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->size(), 600u);
    EXPECT_EQ(record->substr(306, 4), "0000");
}

}  // namespace
}  // namespace tavorline::e2e
