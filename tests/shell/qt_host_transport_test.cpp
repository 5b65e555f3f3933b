#include "qt/qt_host_transport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "host/host_connection.h"
#include "host_events_recorder.h"
#include "loopback_host.h"
#include "qt_wait.h"

namespace tavorline {
namespace {

using namespace std::chrono_literals;
using testing::eventually;
using testing::HostSide;
using testing::LoopbackHost;

constexpr auto kConnectLimit = 5s;

// Waits for another thread without running the Qt event loop.
template <typename Predicate>
bool meanwhile(Predicate predicate) {
    return eventually(predicate, testing::kSafetyLimit);
}

using Recorder = testing::HostEventsRecorder;

class HostTransportTest : public ::testing::TestWithParam<LoopbackHost::Transport> {
protected:
    void SetUp() override {
        events.transport = &transport;
        transport.setEvents(&events);
    }
    void TearDown() override {
        transport.close();
        released = true;
        host.join();
        EXPECT_EQ(host.failure(), "");
    }

    bool tls() const { return GetParam() == LoopbackHost::Transport::Tls; }
    void connect(const LoopbackHost& to) {
        transport.connect("127.0.0.1", to.port(), tls(), kConnectLimit);
    }

    // Shared with the host thread, so they live as long as it may run.
    std::atomic<bool> closedByGateway = false;
    std::atomic<bool> replied = false;
    std::atomic<bool> released = false;  // the test is done with the host

    LoopbackHost host{GetParam()};
    QtHostTransport transport;
    Recorder events;
};

std::string transportName(const ::testing::TestParamInfo<LoopbackHost::Transport>& info) {
    return info.param == LoopbackHost::Transport::Tls ? "Tls" : "Plain";
}

INSTANTIATE_TEST_SUITE_P(PlainAndTls, HostTransportTest,
                         ::testing::Values(LoopbackHost::Transport::Plain,
                                           LoopbackHost::Transport::Tls),
                         transportName);

TEST_P(HostTransportTest, ExchangesBytesWithoutNagleAndClosesQuietly) {
    const std::string request = "\x02REQ" + testing::bytePattern(300) + "\x03";
    host.serve([this, request](HostSide& side) {
        side.send("ANS:" + side.receive(request.size()));
        side.receiveUntilClosed();
        closedByGateway = true;
    });
    connect(host);
    ASSERT_TRUE(transport.isOpen());

    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    ASSERT_EQ(::getsockopt(static_cast<int>(transport.socketDescriptor()), IPPROTO_TCP, TCP_NODELAY,
                           &noDelay, &size),
              0);
    EXPECT_NE(noDelay, 0);

    transport.write(request);
    ASSERT_TRUE(eventually([&] { return events.all().size() >= request.size() + 4; }));
    EXPECT_EQ(events.all(), "ANS:" + request);

    transport.close();
    EXPECT_FALSE(transport.isOpen());
    ASSERT_TRUE(eventually([&] { return host.finished(); }));
    EXPECT_TRUE(closedByGateway);
    QTest::qWait(100);
    EXPECT_EQ(events.peerClosed + events.broken, 0);
}

TEST_P(HostTransportTest, DeliversALongReplyInReadsOfAtMost32768Bytes) {
    const std::string reply = testing::bytePattern(200000);
    host.serve([reply](HostSide& side) {
        side.send(reply);
        side.receiveUntilClosed();
    });
    connect(host);

    ASSERT_TRUE(eventually([&] { return events.all().size() >= reply.size(); }));
    EXPECT_EQ(events.all(), reply);
    for (const std::string& chunk : events.chunks) EXPECT_LE(chunk.size(), 32768u);
}

// The gateway's reset may disconnect from inside the receive hook.
TEST_P(HostTransportTest, ReadsNoFurtherOnceClosedFromInsideOnReceived) {
    host.serve([this](HostSide& side) {
        side.send(testing::bytePattern(100000));
        side.receiveUntilClosed();
        closedByGateway = true;
    });
    events.whenReceived = [&] { transport.close(); };
    connect(host);

    ASSERT_TRUE(eventually([&] { return closedByGateway.load(); }));
    QTest::qWait(100);
    EXPECT_EQ(events.chunks.size(), 1u);
    EXPECT_FALSE(transport.isOpen());
    EXPECT_EQ(events.peerClosed + events.broken, 0);

    // The next call connects afresh.
    events.whenReceived = nullptr;
    LoopbackHost next(GetParam());
    next.serve([](HostSide& side) { side.send(side.receive(5)); });
    connect(next);
    transport.write("again");
    ASSERT_TRUE(eventually([&] { return events.chunks.size() == 2; }));
    EXPECT_EQ(events.chunks.back(), "again");
}

TEST_P(HostTransportTest, HandsOverTheLastBytesBeforeReportingTheHostClosed) {
    host.serve([](HostSide& side) { side.send("\x1B\x1B\x1B"); });
    connect(host);

    ASSERT_TRUE(eventually([&] { return events.peerClosed + events.broken > 0; }));
    EXPECT_EQ(events.all(), "\x1B\x1B\x1B");
    EXPECT_EQ(events.peerClosed, 1);
    EXPECT_EQ(events.broken, 0);
    // Still open while the engine hears of it, so it can log the drop.
    EXPECT_EQ(events.openDuringLoss, std::vector<bool>{true});
    EXPECT_FALSE(transport.isOpen());
}

TEST_P(HostTransportTest, ReportsAResetLinkOnceAndClosesIt) {
    host.serve([](HostSide& side) {
        side.receive(1);
        side.reset();
    });
    connect(host);
    transport.write("\x02");

    ASSERT_TRUE(eventually([&] { return events.peerClosed + events.broken > 0; }));
    QTest::qWait(100);
    EXPECT_EQ(events.peerClosed + events.broken, 1);
    EXPECT_EQ(events.openDuringLoss, std::vector<bool>{true});
    EXPECT_FALSE(transport.isOpen());
}

TEST_P(HostTransportTest, AWriteTheHostDoesNotTakeFailsClosesAndStaysSilent) {
    host.serve([this](HostSide&) { meanwhile([this] { return released.load(); }); });
    connect(host);
    transport.setWriteTimeout(300ms);

    // Far more than the socket buffers hold, and the host reads nothing.
    EXPECT_THROW(transport.write(testing::bytePattern(32 << 20)), HostError);
    EXPECT_FALSE(transport.isOpen());
    QTest::qWait(100);
    EXPECT_EQ(events.peerClosed + events.broken, 0);
    EXPECT_THROW(transport.write("x"), HostError);
}

// Qt reads the socket while a write waits; what it reads then must reach the
// engine afterwards, from the event loop, not in the middle of the write.
TEST_P(HostTransportTest, BytesReadDuringAWriteWaitForTheEventLoop) {
    const std::string request = testing::bytePattern(1 << 20);
    host.serve([this, request](HostSide& side) {
        side.send("\x06\x06\x06");
        replied = true;
        side.receive(request.size());
        side.receiveUntilClosed();
    });
    bool writing = false;
    bool deliveredDuringWrite = false;
    events.whenReceived = [&] { deliveredDuringWrite = deliveredDuringWrite || writing; };
    connect(host);
    ASSERT_TRUE(meanwhile([&] { return replied.load(); }));

    writing = true;
    transport.write(request);
    writing = false;

    ASSERT_TRUE(eventually([&] { return events.all() == "\x06\x06\x06"; }));
    EXPECT_FALSE(deliveredDuringWrite);
}

// A socket on 127.0.0.1 and a free port; nobody connects to it unless it
// listens.
struct LoopbackSocket {
    LoopbackSocket() {
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~LoopbackSocket() { ::close(fd); }

    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    int port = 0;
};

TEST_P(HostTransportTest, ConnectGivesUpAfterItsTimeoutAndStaysClosed) {
    // Plain: a listener whose queue is full, so the kernel drops the request.
    // TLS: a host that takes the connection but never answers the handshake.
    LoopbackSocket full;
    LoopbackSocket queued;
    std::optional<LoopbackHost> silent;
    int port = full.port;
    if (tls()) {
        port = silent.emplace(LoopbackHost::Transport::Plain).port();
        silent->serve([](HostSide& side) { side.receiveUntilClosed(); });
    } else {
        ::listen(full.fd, 0);
        ::connect(queued.fd, reinterpret_cast<sockaddr*>(&full.address), full.length);
    }
    EXPECT_THROW(transport.connect("127.0.0.1", port, tls(), 300ms), HostError);
    EXPECT_FALSE(transport.isOpen());
    EXPECT_EQ(events.peerClosed + events.broken, 0);

    // Nothing is left half-open: a proper host is reached next.
    host.serve([](HostSide& side) { side.send("ok"); });
    connect(host);
    ASSERT_TRUE(eventually([&] { return events.all() == "ok"; }));
}

TEST_P(HostTransportTest, RefusedConnectThrowsAndLeavesNothingOpen) {
    EXPECT_THROW(transport.write("x"), HostError);
    const LoopbackSocket notListening;
    try {
        transport.connect("127.0.0.1", notListening.port, tls(), kConnectLimit);
        FAIL() << "connected to a port nobody listens on";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find(std::to_string(notListening.port)),
                  std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(transport.isOpen());
    EXPECT_THROW(transport.connect("127.0.0.1", 0, tls(), kConnectLimit), HostError);

    host.serve([](HostSide& side) { side.receiveUntilClosed(); });
    connect(host);
    EXPECT_THROW(connect(host), HostError);  // one connection at a time
    EXPECT_TRUE(transport.isOpen());
}

// A host that still speaks only TLS 1.1 is reached only when the setting
// admits it; the default refuses it.
TEST(HostTransportOldTls, Tls11HostNeedsTheOlderMinimum) {
    for (const TlsVersion oldest : {TlsVersion::V1_2, TlsVersion::V1_1}) {
        LoopbackHost host(LoopbackHost::Transport::TlsUpTo11);
        host.serve([](HostSide& side) { side.send("ok"); });
        QtHostTransport transport;
        Recorder events;
        events.transport = &transport;
        transport.setEvents(&events);
        transport.setOldestTls(oldest);
        if (oldest == TlsVersion::V1_2) {
            EXPECT_THROW(transport.connect("127.0.0.1", host.port(), true, kConnectLimit),
                         HostError);
            host.join();
            EXPECT_EQ(host.failure(), "TLS handshake failed");
            continue;
        }
        transport.connect("127.0.0.1", host.port(), true, kConnectLimit);
        EXPECT_TRUE(eventually([&] { return events.all() == "ok"; }));
        transport.close();
        host.join();
        EXPECT_EQ(host.failure(), "");
    }
}

class NoConnectionEvents : public HostConnectionEvents {
    void IdConnectionIntercept1Connect() override {}
    void IdConnectionIntercept1Disconnect() override {}
    void HOSTStatus(BytesView) override {}
    void IdConnectionIntercept1Receive(BytesView) override {}
};

// Qt's view of the host key gives the pin OpenSSL computes for it, and a
// host whose key is not pinned gets not one byte after the handshake.
TEST(HostTransportKeyPin, GivesOpensslsPinAndAWrongPinSendsTheHostNothing) {
    const Bytes otherPin = "sha256/QkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkI=";
    for (const bool pinned : {true, false}) {
        LoopbackHost host(LoopbackHost::Transport::Tls);
        std::string received;
        host.serve([&received](HostSide& side) { received = side.receiveUntilClosed(); });
        QtHostTransport transport;
        NoConnectionEvents none;
        HostConnection connection(transport, none);
        connection.setHost("127.0.0.1");
        connection.setPort(host.port());
        connection.setHostKeyPins(
            HostKeyPins::parse(pinned ? otherPin + " " + LoopbackHost::keyPin() : otherPin));
        if (pinned) {
            connection.Connect();
            EXPECT_EQ(pinText(transport.peerKeyDigest()), LoopbackHost::keyPin());
            connection.Write("REQ");
            connection.Disconnect();
        } else {
            EXPECT_THROW(connection.Connect(), HostKeyRefused);
            EXPECT_FALSE(transport.isOpen());
        }
        ASSERT_TRUE(eventually([&] { return host.finished(); }));
        host.join();
        EXPECT_EQ(host.failure(), "");
        EXPECT_EQ(received, pinned ? "REQ" : "") << pinned;
    }
}

TEST(HostTransportResolve, GivesTheFirstIpv4AddressOrThrows) {
    QtHostTransport transport;
    EXPECT_EQ(transport.resolve("localhost", 5s), "127.0.0.1");
    EXPECT_EQ(transport.resolve("127.0.0.1", 5s), "127.0.0.1");
    EXPECT_THROW(transport.resolve("no-such-host.invalid", 5s), HostError);
}

}  // namespace
}  // namespace tavorline
