#include "windows/win_host_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "eventually.h"
#include "host/host_connection.h"
#include "host_events_recorder.h"
#include "loopback_socket.h"

// Plain hosts are threads of this program on 127.0.0.1; the TLS hosts come
// from run_with_tls_hosts.sh, which names their ports in the environment.
namespace tavorline::win {
namespace {

using namespace std::chrono_literals;

constexpr auto kConnectLimit = 5s;

int portFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : 0;
}

// Serves the one connection it accepts on a thread of its own.
class PlainHost {
public:
    explicit PlainHost(std::function<void(SOCKET)> serve) {
        ::listen(listener_.socket, 1);
        thread_ = std::thread([this, serve] {
            const SOCKET connection = ::accept(listener_.socket, nullptr, nullptr);
            serve(connection);
            closesocket(connection);
        });
    }
    ~PlainHost() { thread_.join(); }
    int port() const { return listener_.port; }

    static std::string receive(SOCKET connection, std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t got = 0; got < size;) {
            const int more = recv(connection, bytes.data() + got, static_cast<int>(size - got), 0);
            if (more <= 0) return bytes.substr(0, got);
            got += static_cast<std::size_t>(more);
        }
        return bytes;
    }
    // True when the other side closed in order (FIN), false on a reset.
    static bool closedInOrder(SOCKET connection) {
        char buffer[4096];
        for (;;) {
            const int got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) return got == 0;
        }
    }
    static void send(SOCKET connection, const std::string& bytes) {
        ::send(connection, bytes.data(), static_cast<int>(bytes.size()), 0);
    }

private:
    LoopbackSocket listener_;
    std::thread thread_;
};

using Recorder = testing::HostEventsRecorder;

class WinHostTransportTest : public ::testing::Test {
protected:
    WinHostTransportTest() {
        events.transport = &transport;
        transport.setEvents(&events);
    }

    // Runs the event loop until `done` holds, for at most ten seconds.
    template <typename Predicate>
    bool eventually(Predicate done) {
        return testing::eventually(done, 10s, [this] { loop.runOnce(50); });
    }
    // Lets the loop hand over anything still due.
    void settle() {
        while (loop.runOnce(100)) {
        }
    }
    int tlsPort() {
        const int port = portFromEnvironment("TAVORLINE_TLS_HOST_PORT");
        if (port == 0) ADD_FAILURE() << "no TLS host: run through run_with_tls_hosts.sh";
        return port;
    }
    void connect(int port, bool tls) { transport.connect("127.0.0.1", port, tls, kConnectLimit); }

    EventLoop loop;
    WinHostTransport transport{loop};
    Recorder events;
};

TEST_F(WinHostTransportTest, PlainExchangeGoesWithoutNagleAndEndsWithAFin) {
    const std::string request = "\x02REQ" + testing::bytePattern(300) + "\x03";
    std::promise<bool> closedInOrder;
    PlainHost host([&](SOCKET side) {
        PlainHost::send(side, "ANS:" + PlainHost::receive(side, request.size()));
        closedInOrder.set_value(PlainHost::closedInOrder(side));
    });
    connect(host.port(), false);

    BOOL noDelay = FALSE;
    int size = sizeof noDelay;
    ASSERT_EQ(getsockopt(transport.socketHandle(), IPPROTO_TCP, TCP_NODELAY,
                         reinterpret_cast<char*>(&noDelay), &size),
              0);
    EXPECT_TRUE(noDelay);

    transport.write(request);
    ASSERT_TRUE(eventually([&] { return events.all().size() >= request.size() + 4; }));
    EXPECT_EQ(events.all(), "ANS:" + request);

    transport.close();
    EXPECT_FALSE(transport.isOpen());
    EXPECT_TRUE(closedInOrder.get_future().get());
    settle();
    EXPECT_EQ(events.peerClosed + events.broken, 0);
}

// The host's last bytes reach the engine before the news that it closed:
// they often are its final answer.
TEST_F(WinHostTransportTest, HandsOverALongReplyInChunksThenReportsTheHostClosed) {
    const std::string reply = testing::bytePattern(200000);
    PlainHost plainHost([&](SOCKET side) {
        PlainHost::send(side, reply);
        shutdown(side, SD_SEND);
        PlainHost::closedInOrder(side);
    });
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        events = Recorder{};
        events.transport = &transport;
        if (tls) {
            connect(tlsPort(), true);
            transport.write("BIG 200000\n");
        } else {
            connect(plainHost.port(), false);
        }
        ASSERT_TRUE(eventually([&] { return events.peerClosed + events.broken > 0; }));
        EXPECT_EQ(events.all(), reply);
        for (const std::string& chunk : events.chunks) EXPECT_LE(chunk.size(), 32768u);
        EXPECT_EQ(events.peerClosed, 1);
        EXPECT_EQ(events.openDuringLoss, std::vector<bool>{true});
        EXPECT_FALSE(transport.isOpen());
    }
}

// Wine reports a reset connection as one the host closed, so the broken
// link to test is one that carries a record the session cannot read.
TEST_F(WinHostTransportTest, ReportsABrokenLinkOnceAndClosesIt) {
    connect(tlsPort(), true);
    transport.write("FORGE\n");

    ASSERT_TRUE(eventually([&] { return events.peerClosed + events.broken > 0; }));
    settle();
    EXPECT_EQ(events.broken, 1);
    EXPECT_EQ(events.peerClosed, 0);
    EXPECT_EQ(events.openDuringLoss, std::vector<bool>{true});
    EXPECT_FALSE(transport.isOpen());
}

// The gateway's reset may disconnect from inside the receive hook.
TEST_F(WinHostTransportTest, ReadsNoFurtherOnceClosedFromInsideOnReceived) {
    std::promise<void> closedByGateway;
    PlainHost host([&](SOCKET side) {
        PlainHost::send(side, testing::bytePattern(100000));
        PlainHost::closedInOrder(side);
        closedByGateway.set_value();
    });
    events.whenReceived = [&] { transport.close(); };
    connect(host.port(), false);

    ASSERT_TRUE(eventually([&] { return !transport.isOpen(); }));
    closedByGateway.get_future().wait();
    settle();
    EXPECT_EQ(events.chunks.size(), 1u);
    EXPECT_EQ(events.peerClosed + events.broken, 0);
}

TEST_F(WinHostTransportTest, AWriteTheHostDoesNotTakeFailsAndCloses) {
    std::promise<void> released;
    PlainHost host([future = released.get_future().share()](SOCKET) { future.wait(); });
    connect(host.port(), false);
    transport.setWriteTimeout(300ms);

    // Far more than the socket buffers hold, and the host reads nothing.
    EXPECT_THROW(transport.write(testing::bytePattern(32 << 20)), HostError);
    EXPECT_FALSE(transport.isOpen());
    EXPECT_THROW(transport.write("x"), HostError);
    released.set_value();
    settle();
    EXPECT_EQ(events.peerClosed + events.broken, 0);
}

TEST_F(WinHostTransportTest, FailedConnectsThrowAndLeaveItClosed) {
    const LoopbackSocket notListening;
    for (const bool tls : {false, true}) {
        try {
            connect(notListening.port, tls);
            ADD_FAILURE() << "connected to a port nobody listens on";
        } catch (const HostError& error) {
            EXPECT_NE(std::string(error.what()).find(std::to_string(notListening.port)),
                      std::string::npos)
                << error.what();
        }
        EXPECT_FALSE(transport.isOpen());
    }
    EXPECT_THROW(connect(0, false), HostError);

    // A host that takes the connection but never answers the handshake.
    std::promise<void> released;
    PlainHost silent([future = released.get_future().share()](SOCKET) { future.wait(); });
    EXPECT_THROW(transport.connect("127.0.0.1", silent.port(), true, 300ms), HostError);
    EXPECT_FALSE(transport.isOpen());
    released.set_value();

    // Nothing is left half-open, and one connection is all there is.
    PlainHost next([](SOCKET side) { PlainHost::closedInOrder(side); });
    connect(next.port(), false);
    EXPECT_THROW(connect(next.port(), false), HostError);
    EXPECT_TRUE(transport.isOpen());
    EXPECT_EQ(events.peerClosed + events.broken, 0);
    transport.close();
}

TEST_F(WinHostTransportTest, TlsExchangeBothWaysEndsWithACloseNotice) {
    const std::string request = "\x02REQ" + testing::bytePattern(300) + "\x03";
    connect(tlsPort(), true);
    transport.write("ECHO 305\n" + request);
    ASSERT_TRUE(eventually([&] { return events.all().size() >= request.size() + 4; }));
    EXPECT_EQ(events.all(), "ANS:" + request);
    transport.close();

    // The host tells on a second connection how the first one ended.
    events.chunks.clear();
    connect(tlsPort(), true);
    transport.write("LAST\n");
    ASSERT_TRUE(eventually([&] { return events.all().size() >= 12; }));
    EXPECT_EQ(events.all(), "close_notify");
}

class NoConnectionEvents : public HostConnectionEvents {
    void IdConnectionIntercept1Connect() override {}
    void IdConnectionIntercept1Disconnect() override {}
    void HOSTStatus(BytesView) override {}
    void IdConnectionIntercept1Receive(BytesView) override {}
};

// Schannel's view of the host key gives the pin openssl prints for it, and a
// host whose key is not pinned is dropped before the connect counts as made.
TEST_F(WinHostTransportTest, HostKeyGivesOpensslsPinAndAWrongPinRefusesTheHost) {
    const char* opensslPin = std::getenv("TAVORLINE_TLS_HOST_PIN");
    ASSERT_NE(opensslPin, nullptr) << "run through run_with_tls_hosts.sh";
    const Bytes otherPin = "sha256/QkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkI=";
    NoConnectionEvents none;
    HostConnection connection(transport, none);
    connection.setHost("127.0.0.1");
    connection.setPort(tlsPort());
    for (const Bytes& pins : {Bytes(opensslPin), otherPin + "," + opensslPin}) {
        connection.setHostKeyPins(HostKeyPins::parse(pins));
        connection.Connect();
        EXPECT_EQ(pinText(transport.peerKeyDigest()), opensslPin);
        connection.Disconnect();
    }
    connection.setHostKeyPins(HostKeyPins::parse(otherPin));
    EXPECT_THROW(connection.Connect(), HostKeyRefused);
    EXPECT_FALSE(transport.isOpen());

    PlainHost plain([](SOCKET side) { PlainHost::closedInOrder(side); });
    connection.useTls(false);
    connection.setPort(plain.port());
    connection.Connect();
    EXPECT_EQ(transport.peerKeyDigest(), "") << "a plain connect has no host key";
    connection.Disconnect();
}

// A host that still speaks only TLS 1.1 is reached only when the setting
// admits it; the default refuses it.
TEST_F(WinHostTransportTest, Tls11HostNeedsTheOlderMinimum) {
    const int port = portFromEnvironment("TAVORLINE_TLS11_HOST_PORT");
    ASSERT_NE(port, 0) << "no TLS 1.1 host: run through run_with_tls_hosts.sh";
    EXPECT_THROW(connect(port, true), HostError);
    EXPECT_FALSE(transport.isOpen());

    transport.setOldestTls(TlsVersion::V1_1);
    connect(port, true);
    EXPECT_TRUE(eventually([&] { return events.all() == "ok"; }));
}

TEST_F(WinHostTransportTest, ResolvesTheFirstIpv4AddressOrThrows) {
    EXPECT_EQ(transport.resolve("localhost", kConnectLimit), "127.0.0.1");
    EXPECT_EQ(transport.resolve("127.0.0.1", kConnectLimit), "127.0.0.1");
    EXPECT_THROW(transport.resolve("no-such-host.invalid", kConnectLimit), HostError);
}

// Name servers that answer after `delay`, with the loopback address.
NameLookup nameServersTaking(std::chrono::milliseconds delay) {
    return [delay](const Bytes&) -> Bytes {
        std::this_thread::sleep_for(delay);
        return "127.0.0.1";
    };
}

std::chrono::milliseconds since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

// Silent name servers cost the gateway the connect time-out, not their own:
// the thread is free again at the deadline, for the next call.
TEST_F(WinHostTransportTest, ALookupWithNoAnswerInTimeFailsTheConnectAtTheDeadline) {
    transport.setNameLookup(nameServersTaking(20s));
    const LoopbackSocket nobody;
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        const auto start = std::chrono::steady_clock::now();
        try {
            transport.connect("pay.example", nobody.port, tls, 400ms);
            ADD_FAILURE() << "connected without an address";
        } catch (const HostError& error) {
            EXPECT_NE(
                std::string(error.what()).find("Host pay.example not found: no answer in time"),
                std::string::npos)
                << error.what();
        }
        EXPECT_LT(since(start), 2s);
        EXPECT_FALSE(transport.isOpen());
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(transport.resolve("pay.example", 400ms), HostError);
    EXPECT_LT(since(start), 2s);

    PlainHost next([](SOCKET side) { PlainHost::send(side, "ok"); });
    const auto nextStart = std::chrono::steady_clock::now();
    connect(next.port(), false);
    EXPECT_TRUE(eventually([&] { return events.all() == "ok"; }));
    EXPECT_LT(since(nextStart), 2s);
}

TEST_F(WinHostTransportTest, ALookupThatAnswersInTimeConnects) {
    transport.setNameLookup(nameServersTaking(100ms));
    EXPECT_EQ(transport.resolve("pay.example", kConnectLimit), "127.0.0.1");

    PlainHost plain([](SOCKET side) { PlainHost::send(side, "plain"); });
    transport.connect("pay.example", plain.port(), false, kConnectLimit);
    EXPECT_TRUE(eventually([&] { return events.all() == "plain"; }));
    transport.close();

    events.chunks.clear();
    transport.connect("pay.example", tlsPort(), true, kConnectLimit);
    transport.write("ECHO 2\nhi");
    EXPECT_TRUE(eventually([&] { return events.all() == "ANS:hi"; }));
}

}  // namespace
}  // namespace tavorline::win
