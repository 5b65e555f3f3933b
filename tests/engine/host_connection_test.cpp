// The host client: notifications and status notices in the order the log
// shows them, and failures that stay where they happen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine_fakes.h"
#include "host/host_connection.h"

namespace tavorline::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RecordingEvents : public HostConnectionEvents {
public:
    void IdConnectionIntercept1Connect() override { seen.push_back("connect"); }
    void IdConnectionIntercept1Disconnect() override { seen.push_back("disconnect"); }
    void HOSTStatus(BytesView text) override { seen.emplace_back(text); }
    void IdConnectionIntercept1Receive(BytesView chunk) override {
        seen.push_back("receive " + Bytes(chunk));
        if (onReceive) onReceive();
    }
    std::vector<Bytes> seen;
    std::function<void()> onReceive;
};

class HostConnectionTest : public ::testing::Test {
protected:
    void connectTo(const char* host, bool tls) {
        connection.setHost(host);
        connection.setPort(5000);
        connection.useTls(tls);
        connection.Connect();
        events.seen.clear();
    }
    FakeHostTransport transport;
    RecordingEvents events;
    HostConnection connection{transport, events};
};

TEST_F(HostConnectionTest, TlsConnectReportsOnlyConnected) {
    connection.setHost("10.0.0.1");
    connection.setPort(443);
    connection.Connect();
    EXPECT_THAT(events.seen, ElementsAre("connect", "Connected."));
    EXPECT_TRUE(transport.connects.back().tls);
}

TEST_F(HostConnectionTest, PlainConnectToAnAddressReportsConnecting) {
    connection.useTls(false);
    connection.setHost("10.0.0.1");
    connection.Connect();
    EXPECT_THAT(events.seen, ElementsAre("Connecting to 10.0.0.1.", "connect", "Connected."));
    EXPECT_THAT(transport.resolved, IsEmpty());
}

// The lookup is bounded like the connect: slow name servers must not hold
// the gateway longer than the shop's HostTimeout.
TEST_F(HostConnectionTest, PlainConnectToANameReportsResolvingFirst) {
    transport.addresses["pay.example"] = "192.0.2.1";
    connection.useTls(false);
    connection.setHost("pay.example");
    connection.setConnectTimeout(std::chrono::milliseconds(3000));
    connection.Connect();
    EXPECT_THAT(events.seen, ElementsAre("Resolving hostname pay.example.",
                                         "Connecting to 192.0.2.1.", "connect", "Connected."));
    EXPECT_EQ(transport.connects.back().host, "192.0.2.1");
    EXPECT_THAT(transport.resolveTimeouts, ElementsAre(std::chrono::milliseconds(3000)));
}

TEST_F(HostConnectionTest, FailedConnectRaisesWithoutNotification) {
    transport.failConnect = true;
    connection.setHost("10.0.0.1");
    EXPECT_THROW(connection.Connect(), HostError);
    EXPECT_THAT(events.seen, IsEmpty());
    EXPECT_FALSE(connection.Connected());

    transport.failConnect = false;
    connection.useTls(false);
    connection.setHost("unknown.example");
    EXPECT_THROW(connection.Connect(), HostError);
}

TEST_F(HostConnectionTest, ConnectWhileConnectedIsAnError) {
    connectTo("10.0.0.1", true);
    EXPECT_THROW(connection.Connect(), HostError);
}

TEST_F(HostConnectionTest, DisconnectReportsAroundTheNotification) {
    connection.Disconnect();
    EXPECT_THAT(events.seen, IsEmpty()) << "nothing at all while closed";
    connectTo("10.0.0.1", true);
    connection.Disconnect();
    EXPECT_THAT(events.seen, ElementsAre("Disconnecting.", "disconnect", "Disconnected."));
    EXPECT_FALSE(transport.open);
}

TEST_F(HostConnectionTest, HostClosingIsNoticedWithoutDisconnecting) {
    connectTo("10.0.0.1", true);
    transport.events->onPeerClosed();
    EXPECT_THAT(events.seen, ElementsAre("disconnect", "Disconnected."));
    EXPECT_FALSE(connection.Connected());
}

TEST_F(HostConnectionTest, FailedWriteDropsTheLinkWithoutStatus) {
    connectTo("10.0.0.1", true);
    transport.failWrite = true;
    EXPECT_THROW(connection.Write("abc"), HostError);
    EXPECT_THAT(events.seen, ElementsAre("disconnect"));
    EXPECT_FALSE(connection.Connected());
}

TEST_F(HostConnectionTest, WritesNeedALinkAndSkipEmptyText) {
    EXPECT_THROW(connection.Write("abc"), HostError);
    connectTo("10.0.0.1", true);
    connection.Write("");
    const unsigned char area[] = {1, 2, 3};
    connection.WriteBuffer(area, 0);
    connection.WriteBuffer(area, -4);
    EXPECT_THAT(transport.writes, IsEmpty());
    connection.WriteBuffer(area, 2);
    EXPECT_THAT(transport.writes, ElementsAre(Bytes("\x01\x02")));
}

TEST_F(HostConnectionTest, ReceiveFailuresStayInsideTheChunk) {
    connectTo("10.0.0.1", true);
    events.onReceive = [] { throw std::runtime_error("bad chunk"); };
    EXPECT_NO_THROW(transport.events->onReceived("one"));
    EXPECT_TRUE(connection.Connected());
}

TEST_F(HostConnectionTest, DisconnectFromInsideTheReceiveHook) {
    connectTo("10.0.0.1", true);
    events.onReceive = [this] { connection.Disconnect(); };
    transport.events->onReceived("bye");
    EXPECT_THAT(events.seen, ElementsAre("receive bye", "Disconnecting.", "disconnect", "Disconnected."));
    EXPECT_FALSE(transport.open);
}

TEST(DottedAddress, RecognisesOnlyFourDecimalParts) {
    EXPECT_TRUE(isDottedAddress("127.0.0.1"));
    EXPECT_TRUE(isDottedAddress("255.255.255.255"));
    EXPECT_FALSE(isDottedAddress("256.0.0.1"));
    EXPECT_FALSE(isDottedAddress("1.2.3"));
    EXPECT_FALSE(isDottedAddress("1.2.3.4.5"));
    EXPECT_FALSE(isDottedAddress("1.2.3.4."));
    EXPECT_FALSE(isDottedAddress("host.example"));
    EXPECT_FALSE(isDottedAddress(""));
    EXPECT_FALSE(isDottedAddress("1..2.3"));
}

}  // namespace
}  // namespace tavorline::testing
