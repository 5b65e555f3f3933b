// The web screen's channel over a real Unix domain socket, with the gateway's
// own handlers behind it.
#include <sys/stat.h>
#include <sys/wait.h>

#include "bridge_fixture.h"
#include "support/texts.h"

namespace tavorline::testing {
namespace {

using ::testing::ElementsAre;

class WebBridgeChannel : public BridgeFixture {};

TEST_F(WebBridgeChannel, SecondRegistrationWins) {
    WebScreen first(socket), second(socket), sameNumber(socket);
    registerAs(first, 1);
    registerAs(second, 2);
    std::optional<BridgeFrame> got;
    auto served = onScreen([&] { got = second.answer(); });
    gatewaySends(Bytes(600, 'R'));
    finish(served);
    EXPECT_THAT(first.seen, ElementsAre("reply"));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->wParam, 0u);
    EXPECT_EQ(copyDataTag(*got), kWebTextTag);
    EXPECT_EQ(copyDataBlock(*got), Bytes(600, 'R') + '\0') << "cbData 601";

    // Two connections with one number: the later one has it.
    registerAs(sameNumber, 2);
    served = onScreen([&] { sameNumber.answer(); });
    gatewaySends("to the latest");
    finish(served);
    EXPECT_EQ(sameNumber.seen.back(), "text:to the latest");
    EXPECT_THAT(handles, ElementsAre(1u, 2u, 2u));
}

TEST_F(WebBridgeChannel, BlocksReachTheGatewayAsSent) {
    WebScreen screen(socket);
    auto sent = onScreen([&] {
        screen.call(copyDataFrame(9, 1, Bytes("ab\0after the NUL", 16)));
        screen.call(copyDataFrame(9, 1, ""));
    });
    finish(sent);
    EXPECT_THAT(blocks, ElementsAre(Bytes("ab\0after the NUL", 16), ""));
    EXPECT_THAT(screen.seen, ElementsAre("reply", "reply"));
}

// The last-data answer reaches the registered window before the reply to the
// request, also when the window asks from inside its handling of a text.
TEST_F(WebBridgeChannel, NestedDeliveryComesBeforeTheReply) {
    WebScreen screen(socket), bystander(socket);
    registerAs(screen, 5);
    auto asked = onScreen([&] { screen.call(copyDataFrame(5, 0, "?LA")); });
    finish(asked);
    EXPECT_THAT(screen.seen, ElementsAre("reply", "text:Empty", "reply"));

    gateway.config().Ini_Write(kSection, "LastData", "D1 stored", gateway.config().iniPath());
    screen.seen.clear();
    auto served = onScreen([&] {
        screen.take();
        screen.call(copyDataFrame(5, 0, "?LA"));
        screen.put(replyFrame());
    });
    bystander.put(copyDataFrame(6, 0, "from another window"));
    gatewaySends("new record");
    finish(served);
    EXPECT_THAT(screen.seen, ElementsAre("text:new record", "text:D1 stored", "reply"));
    // The other window's message waited until the send was over.
    ASSERT_TRUE(eventually([&] { return blocks.size() == 3; }));
    EXPECT_THAT(deliveredDuringSend, ElementsAre(false, true, false));
}

TEST_F(WebBridgeChannel, RequestFromAnUnregisteredWindowIsAnsweredToTheRegisteredOne) {
    WebScreen registered(socket), stranger(socket);
    auto alone = onScreen([&] { stranger.call(copyDataFrame(0, 0, "xLA")); });
    finish(alone);
    EXPECT_THAT(stranger.seen, ElementsAre("reply"));
    EXPECT_EQ(ui.statuses.back(), texts::kStatusWebSent);

    registerAs(registered, 3);
    auto served = onScreen([&] { registered.answer(); });
    auto asked = onScreen([&] { stranger.call(copyDataFrame(0, 0, "xLA")); });
    finish(asked);
    finish(served);
    EXPECT_THAT(stranger.seen, ElementsAre("reply", "reply"));
    EXPECT_EQ(registered.seen.back(), "text:Empty");
}

TEST_F(WebBridgeChannel, AWindowThatNeverRepliesIsLetGoAfterTheTimeOut) {
    bridge.setReplyTimeout(200ms);
    WebScreen hung(socket), next(socket);
    registerAs(hung, 4);
    const auto before = std::chrono::steady_clock::now();
    gatewaySends("nobody answers");
    EXPECT_GE(std::chrono::steady_clock::now() - before, 200ms);
    EXPECT_TRUE(diagnosed("web window 0x4 did not answer within 200 ms"));
    EXPECT_EQ(ui.statuses.back(), texts::kStatusWebSent);
    auto drained = onScreen([&] { return hung.take() && !hung.take(); });
    EXPECT_TRUE(finish(drained)) << "the text, then the end of the connection";

    registerAs(next, 4);
    auto served = onScreen([&] { next.answer(); });
    gatewaySends("still working");
    finish(served);
    EXPECT_EQ(next.seen.back(), "text:still working");
}

TEST_F(WebBridgeChannel, UnfinishedMessageIsClosedAfterTheTimeOutAndSilenceIsNot) {
    bridge.setReplyTimeout(200ms);
    WebScreen quiet(socket), stalled(socket);
    stalled.put(webHandleFrame(8).substr(0, 10));
    auto closed = onScreen([&] { return stalled.take(); });
    EXPECT_FALSE(finish(closed));
    EXPECT_TRUE(diagnosed("a message left unfinished for 200 ms"));
    EXPECT_TRUE(handles.empty());

    registerAs(quiet, 3);
    auto served = onScreen([&] { quiet.answer(); });
    gatewaySends("still here");
    finish(served);
    EXPECT_EQ(quiet.seen.back(), "text:still here");
}

TEST_F(WebBridgeChannel, HangingUpMidFrameDisturbsNothing) {
    WebScreen partial(socket), waited(socket);
    partial.put(webHandleFrame(8).substr(0, 10));
    partial.hangUp();
    ASSERT_TRUE(eventually([&] { return diagnosed("in the middle of a message"); }));
    EXPECT_TRUE(handles.empty());

    // While the gateway waits for its reply: the send ends at once.
    bridge.setReplyTimeout(10s);
    registerAs(waited, 9);
    auto served = onScreen([&] {
        waited.take();
        waited.put(replyFrame().substr(0, 7));
        waited.hangUp();
    });
    gatewaySends("half a reply");
    finish(served);
    EXPECT_TRUE(diagnosed("web window 0x9 hung up without answering"));
    EXPECT_FALSE(diagnosed("did not answer"));
}

TEST_F(WebBridgeChannel, MalformedFramesCloseOnlyTheirConnection) {
    WebScreen good(socket);
    registerAs(good, 1);
    const std::pair<Bytes, const char*> cases[] = {
        {"GET / HTTP/1.1\r\n\r\n", "exceeds 65536"},
        {Bytes("\x14\0\0\0\x01\x04\0\0", 8) + Bytes(16, '\0'), "unknown message 0x401"},
        {replyFrame(), "a reply to no message"},
    };
    for (const auto& [bytes, reason] : cases) {
        WebScreen bad(socket);
        bad.put(bytes);
        auto closed = onScreen([&] { return bad.take(); });
        EXPECT_FALSE(finish(closed)) << reason;
        EXPECT_TRUE(diagnosed(reason)) << reason;
    }
    EXPECT_THAT(handles, ElementsAre(1u));
    auto served = onScreen([&] { good.answer(); });
    gatewaySends("unharmed");
    finish(served);
    EXPECT_EQ(good.seen.back(), "text:unharmed");
}

class WebBridgeSocket : public BridgeFixture {};

TEST_F(WebBridgeSocket, OnlyTheGatewaysUserGetsIn) {
    struct stat info {};
    ASSERT_EQ(::lstat(socket.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0077, 0u);
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";

    // Another user: kept out by the socket's mode, and by the gateway when
    // the mode is opened up. The child makes system calls only.
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    const Bytes registration = webHandleFrame(66);
    const sockaddr_un address = addressOf(socket);
    const auto connectAsNobody = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(20);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
                ::_exit(errno == EACCES ? 10 : 11);
            }
            ::write(fd, registration.data(), registration.size());
            char reply[64];
            ::_exit(::read(fd, reply, sizeof reply) <= 0 ? 0 : 1);
        }
        int status = -1;
        eventually([&] { return ::waitpid(child, &status, WNOHANG) == child; });
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(connectAsNobody(), 10);
    ASSERT_EQ(::chmod(socket.c_str(), 0777), 0);
    EXPECT_EQ(connectAsNobody(), 0);
    EXPECT_TRUE(diagnosed("user 65534 is not the gateway's user"));
    EXPECT_TRUE(handles.empty());
}

TEST_F(WebBridgeSocket, StaleSocketIsReplacedAndLiveOnesAndFilesAreLeftAlone) {
    bridge.close();
    EXPECT_FALSE(std::filesystem::exists(socket)) << "removed on close";
    const sockaddr_un address = addressOf(socket);
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);  // as a killed gateway leaves it
    ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    ASSERT_TRUE(bridge.listen(socket));
    WebScreen screen(socket);
    registerAs(screen, 12);

    LocalWebBridge second;
    second.setDiagnostics([this](const QString& line) { diagnostics.push_back(line); });
    EXPECT_FALSE(second.listen(socket));
    EXPECT_TRUE(diagnosed("another gateway is listening there"));
    WebScreen stillServed(socket);
    registerAs(stillServed, 13);
    EXPECT_THAT(handles, ElementsAre(12u, 13u));

    const auto file = folder / "not-a-socket";
    std::ofstream(file) << "keep me";
    EXPECT_FALSE(second.listen(file));
    EXPECT_TRUE(diagnosed("not a socket"));
    EXPECT_EQ(std::filesystem::file_size(file), 7u);
}

}  // namespace
}  // namespace tavorline::testing
