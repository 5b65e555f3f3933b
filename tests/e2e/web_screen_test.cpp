// The web screen as the shop runs it: tavorline-web listening while a payment
// is approved, then asking for the stored record.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "payment_e2e.h"

namespace tavorline::e2e {
namespace {

TEST(WebScreen, ApprovedRecordReachesTheListenerAndReadsBackTheSame) {
    TempFolder home;
    SocatPair pair(home.path() / "COM6", home.path() / "terminal");
    ChildProcess host(hostSimArguments("LF", true));
    const std::string port = host.firstLine();
    writeVornIni(home.path(), {{"EcPort", "6"},
                               {"EcSpeed", "9600"},
                               {"EcType", "A"},
                               {"DnAddr", "127.0.0.1"},
                               {"DnPort", port}});
    GatewayProcess gateway(home.path());
    ASSERT_TRUE(gateway.ready()) << gateway.process().transcript();

    ChildProcess listener({program("tavorline-web"), "--home", home.path().string(), "listen",
                           "--count", "1"});
    ASSERT_TRUE(gateway.process().waitForOutput("웹 Handle 수신 .."))
        << gateway.process().transcript() << listener.transcript();

    ChildProcess terminal({program("terminal-sim"), "--device", (home.path() / "terminal").string(),
                           "--mode", "LF", "--dest", "127.0.0.1/" + port, "--expect", "approved",
                           "--line-check", "--timeout", "15"});
    ASSERT_EQ(terminal.waitForExit(), 0) << terminal.transcript();
    ASSERT_EQ(listener.waitForExit(), 0) << listener.transcript();

    const auto stored = iniValue(home.path(), "LastData");
    ASSERT_TRUE(stored.has_value());
    ASSERT_EQ(stored->size(), 600u);
    EXPECT_EQ(listener.output(), *stored + "\n") << "trailing blanks included";

    ChildProcess reader({program("tavorline-web"), "--home", home.path().string(), "lastdata"});
    ASSERT_EQ(reader.waitForExit(), 0) << reader.transcript();
    EXPECT_EQ(reader.output(), *stored + "\n");
}

TEST(WebScreen, ClientSaysSoWhenTheGatewayIsNotThere) {
    TempFolder home;
    ChildProcess reader({program("tavorline-web"), "--home", home.path().string(), "lastdata"});
    EXPECT_EQ(reader.waitForExit(), 3);
}

}  // namespace
}  // namespace tavorline::e2e
