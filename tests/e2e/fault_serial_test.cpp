// The terminal's serial device goes away: an adapter pulled out, a cable
// server gone. Here the device is one end of a socat pty pair, and socat is
// stopped. The gateway must say so in its log, must not spin on the dead
// descriptor, and must open the line again once the device is back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "e2e_support.h"
#include "eventually.h"
#include "fault_support.h"
#include "payment_e2e.h"

namespace tavorline::e2e {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

// More than this over two seconds is a gateway busy with a dead line; an
// idle one uses next to nothing (a tick is 10 ms).
constexpr long kIdleTicks = 20;
// The call watchdog resets a call that has been quiet for 30 seconds.
constexpr auto kWatchdogLimit = 45s;

class SerialLineGoes : public ::testing::Test {
protected:
    void SetUp() override {
        plugIn();
        writeFaultIni(home.path(), "A", {{"WatchdogYn", "Y"}});
        gateway = std::make_unique<GatewayProcess>(home.path());
        ASSERT_TRUE(gateway->ready()) << gateway->process().transcript();
        pid = childPid("tavorline");
        ASSERT_GT(pid, 0);
    }

    void plugIn() {
        pair = std::make_unique<SocatPair>(home.path() / "COM6", home.path() / "terminal");
    }
    void pullOut() { pair.reset(); }

    // The terminal's end, opened as a terminal program would.
    std::unique_ptr<ChildProcess> terminalSim(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(),
                         {program("terminal-sim"), "--device", (home.path() / "terminal").string()});
        return std::make_unique<ChildProcess>(arguments);
    }

    bool lineLossLogged() { return waitForLog(home.path(), "[COM  "); }

    TempFolder home;
    std::unique_ptr<SocatPair> pair;
    std::unique_ptr<GatewayProcess> gateway;
    pid_t pid = -1;
};

TEST_F(SerialLineGoes, MidCallTheGatewayLogsItIdlesAndTheWatchdogResetReopensTheLine) {
    std::ofstream(home.path() / "silent.txt") << "request\nend\n";
    ChildProcess silentHost(hostSimArguments(
        "LF", true, {"--script", (home.path() / "silent.txt").string(), "--timeout", "90"}));
    const std::string port = silentHost.firstLine();
    // The request has gone to the host; then the terminal's line is gone.
    auto terminal = terminalSim({"--line-check", "--mode", "LF", "--dest", "127.0.0.1/" + port,
                                 "--expect", "none", "--timeout", "60"});
    ASSERT_TRUE(waitForLog(home.path(), "[CR   ")) << terminal->transcript();
    const std::size_t resets = statusCount(gateway->process(), "초기화 합니다...");
    pullOut();
    EXPECT_NE(terminal->waitForExit(), 0) << "the terminal lost its line too";

    ASSERT_TRUE(lineLossLogged()) << todaysLog(home.path());
    EXPECT_THAT(logLines(todaysLog(home.path()), "COM"), Contains(HasSubstr("COM6")));
    EXPECT_LT(cpuTicksOver(pid, 2s), kIdleTicks) << "the gateway spins on the dead line";
    EXPECT_EQ(statusCount(gateway->process(), "초기화 합니다..."), resets);

    plugIn();
    ASSERT_TRUE(testing::eventually(
        [&] { return statusCount(gateway->process(), "초기화 합니다...") > resets; },
        kWatchdogLimit))
        << "no watchdog reset\n" << gateway->process().transcript();
    EXPECT_EQ(silentHost.waitForExit(), 0) << "the reset hung up on the host\n"
                                           << silentHost.transcript();
    EXPECT_EQ(approvedPayment(home.path() / "terminal"), "");
    EXPECT_TRUE(gateway->process().running());
}

// Without a call there is no watchdog countdown to reset the port: the
// device coming back is what reopens the line.
TEST_F(SerialLineGoes, WhileIdleTheLineIsOpenedAgainOnceTheDeviceIsBack) {
    pullOut();
    ASSERT_TRUE(lineLossLogged()) << todaysLog(home.path());
    EXPECT_LT(cpuTicksOver(pid, 2s), kIdleTicks) << "the gateway spins on the dead line";
    plugIn();
    auto check = terminalSim({"--line-check", "--no-call", "--timeout", "40"});
    EXPECT_EQ(check->waitForExit(60s), 0) << check->transcript();
}

}  // namespace
}  // namespace tavorline::e2e
