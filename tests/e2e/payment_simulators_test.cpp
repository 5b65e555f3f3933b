// The simulators on their own, for what a call through the gateway does not
// show: terminal-sim against a test that plays the gateway on a pty pair
// (masked requests, protocol breaks, time-outs), host-sim against a test that
// plays the gateway's host link (requests it cannot open, scripts).
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "e2e_support.h"
#include "payment_e2e.h"
#include "support/framing.h"

namespace tavorline::e2e {
namespace {

using ::testing::HasSubstr;

constexpr char STX = '\x02', ETX = '\x03', ENQ = '\x05', ACK = '\x06', SI = '\x0F', ESC = '\x1B',
               FS = '\x1C';

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::string handMadeResponse(std::string_view result) {
    std::string body = "PY20250101D110000101";  // the 20-byte header
    for (int field = 6; field <= 34; ++field) {
        body += field == 15 ? SI : FS;
        if (field == 7) body += result;
        if (field == 26) body += "77665544";
    }
    return Make_Frame(body);
}

// ----- terminal-sim, with the test as the gateway ------------------------------------------

class TerminalSimTest : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> start(std::vector<std::string> options) {
        std::vector<std::string> arguments{program("terminal-sim"), "--device", line.slavePath(),
                                           "--timeout", "5"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return std::make_unique<ChildProcess>(arguments);
    }

    // Dial, prompt and destination line, as every call starts.
    void openCall(const std::string& dial, const std::string& destinationLine) {
        EXPECT_EQ(line.receive(3), dial);
        line.send("*DESTINATION:");
        EXPECT_EQ(line.receiveUntil("\r\r\r"), destinationLine);
    }

    PtyPair line;
};

TEST_F(TerminalSimTest, RunsAWholeCallAndReportsTheApproval) {
    auto terminal = start({"--mode", "LF", "--dest", "127.0.0.1/4000", "--expect", "approved"});
    openCall("\n\n\n", "IP127.0.0.1/4000\r\r\r");
    line.send(std::string(7, ENQ));

    const std::string request = line.receiveFrame();
    ASSERT_FALSE(request.empty());
    EXPECT_EQ(request[0], STX);
    EXPECT_TRUE(isWholeFrame(request));
    EXPECT_EQ(request.substr(11, 2), "D1") << "transaction code at bytes 11..12 of field 1";
    const auto fields = split(request.substr(1, request.find(ETX) - 1), FS);
    ASSERT_GE(fields.size(), 3u);
    EXPECT_EQ(fields[2], kCard);

    line.send(handMadeResponse("0000"));
    EXPECT_EQ(line.receive(1), std::string(1, ACK));
    line.send(std::string(3, ESC));
    EXPECT_EQ(line.receive(5), "CCCCC");
    EXPECT_EQ(terminal->waitForExit(), 0) << terminal->transcript();
    EXPECT_THAT(terminal->output(), HasSubstr("payment approved"));
    EXPECT_THAT(terminal->output(), HasSubstr("77665544"));
}

TEST_F(TerminalSimTest, SendsAMaskedTypeMaskedSoThatTheGatewayReadsItBack) {
    auto terminal = start({"--mode", "FF", "--dest", "10.0.0.1/5000", "--code", "AB", "--tx", "D2",
                           "--expect", "declined"});
    openCall("\f\f\f", "IP10.0.0.1/5000\r\r\r");
    line.send(std::string(7, ENQ));

    const std::string request = line.receiveFrame();
    EXPECT_TRUE(isWholeFrame(request));
    EXPECT_EQ(request.find(SI), std::string::npos);
    const std::string readable = Unmask_Frame(request);
    EXPECT_NE(readable.substr(12), request.substr(12, readable.size() - 12)) << "not masked";
    EXPECT_EQ(readable.substr(1, 2), "AB");
    EXPECT_EQ(readable.substr(11, 2), "D2");
    const auto fields = split(readable.substr(1, readable.find(ETX) - 1), FS);
    ASSERT_GE(fields.size(), 11u);
    EXPECT_EQ(fields[2], kCard);
    EXPECT_EQ(fields[10], "000000000") << "the last field comes back whole";

    line.send(handMadeResponse("8100"));
    EXPECT_EQ(line.receive(1), std::string(1, ACK));
    line.send(std::string(3, ESC));
    EXPECT_EQ(line.receive(5), "CCCCC");
    EXPECT_EQ(terminal->waitForExit(), 0) << terminal->transcript();
}

TEST_F(TerminalSimTest, InVtModeSendsTheRequestWithoutWaitingForEnquiries) {
    auto terminal = start({"--mode", "VT", "--settle", "200", "--expect", "none"});
    openCall("\v\v\v", "IP\r\r\r");
    EXPECT_EQ(line.receiveFrame().substr(11, 2), "D1");
    // A host that ends the call without a response.
    line.send(std::string(3, ESC));
    EXPECT_EQ(line.receive(5), "CCCCC");
    EXPECT_EQ(terminal->waitForExit(), 0) << terminal->transcript();
}

TEST_F(TerminalSimTest, FailsWhenTheGatewayBreaksTheProtocol) {
    {
        auto terminal = start({"--mode", "LF"});
        EXPECT_EQ(line.receive(3), "\n\n\n");
        line.send("*DESTINATION?");
        EXPECT_EQ(terminal->waitForExit(), 1) << terminal->transcript();
    }
    {
        auto terminal = start({"--mode", "CR", "--enq", "no", "--settle", "300"});
        openCall("\r\r\r", "IP\r\r\r");
        line.send(std::string(7, ENQ));  // where the line must stay quiet
        EXPECT_EQ(terminal->waitForExit(), 1) << terminal->transcript();
    }
    {
        auto terminal = start({"--mode", "LF", "--expect", "approved"});
        openCall("\n\n\n", "IP\r\r\r");
        line.send(std::string(7, ENQ));
        line.receiveFrame();
        std::string broken = handMadeResponse("0000");
        broken.back() ^= 0x01;
        line.send(broken);
        EXPECT_EQ(terminal->waitForExit(), 1) << terminal->transcript();
    }
}

TEST_F(TerminalSimTest, TimesOutOnASilentGatewayAndTellsADeclineFromTheExpectedApproval) {
    {
        auto terminal = start({"--mode", "LF", "--timeout", "1"});
        EXPECT_EQ(terminal->waitForExit(), 1) << terminal->transcript();
        EXPECT_THAT(terminal->errors(), HasSubstr("timed out"));
    }
    line.receiveFor(50ms);
    auto terminal = start({"--mode", "LF", "--expect", "approved"});
    openCall("\n\n\n", "IP\r\r\r");
    line.send(std::string(7, ENQ));
    line.receiveFrame();
    line.send(handMadeResponse("8100"));
    EXPECT_EQ(line.receive(1), std::string(1, ACK));
    line.send(std::string(3, ESC));
    EXPECT_EQ(line.receive(5), "CCCCC");
    EXPECT_EQ(terminal->waitForExit(), 4) << terminal->transcript();
}

// ----- host-sim, with the test as the gateway's host link --------------------------------

// The gateway's end of the host link, in plain TCP.
class GatewayLink {
public:
    explicit GatewayLink(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot connect to host-sim");
        }
    }
    ~GatewayLink() { ::close(fd_); }

    void send(std::string_view bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }

    // Reads until `complete` holds for what came, the host hangs up or the limit passes.
    std::string receive(const std::function<bool(const std::string&)>& complete) {
        std::string received;
        while (!complete(received)) {
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(kSafetyLimit.count())) != 1) break;
            char buffer[16384];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            received.append(buffer, static_cast<std::size_t>(got));
        }
        return received;
    }

private:
    int fd_ = -1;
};

TEST(HostSimTest, FailsOnARequestItCannotOpenOrAGatewayThatHangsUpEarly) {
    {
        ChildProcess host({program("host-sim"), "--mode", "LF", "--once", "--timeout", "5"});
        GatewayLink link(std::atoi(host.firstLine().c_str()));
        link.send("this is not SEED text, and longer than a short message");
        EXPECT_EQ(host.waitForExit(), 1) << host.transcript();
        EXPECT_THAT(host.errors(), HasSubstr("cannot open"));
    }
    {
        ChildProcess host({program("host-sim"), "--mode", "FF", "--once", "--timeout", "5"});
        {
            GatewayLink link(std::atoi(host.firstLine().c_str()));
            link.send(Make_Frame("PY20250101D1\x1cTVL00001"));
            link.receive([](const std::string& got) { return got.find(ETX) != std::string::npos; });
        }
        EXPECT_EQ(host.waitForExit(), 1) << host.transcript();
        EXPECT_THAT(host.errors(), HasSubstr("ACK"));
    }
}

TEST(HostSimTest, FollowsAScriptFile) {
    TempFolder folder;
    std::ofstream(folder.path() / "decline.txt") << "# a decline with a message of our own\n"
                                                    "request D2\n"
                                                    "field 22 PLEASE INSERT CARD\n"
                                                    "decline 8100\n"
                                                    "send NAK 1\n"
                                                    "close\n";
    {
        ChildProcess host({program("host-sim"), "--mode", "VT", "--once", "--script",
                           (folder.path() / "decline.txt").string()});
        GatewayLink link(std::atoi(host.firstLine().c_str()));
        link.send(Make_Frame("PY20250101D2\x1cTVL00001"));
        // Everything until host-sim hangs up: the decline, then one NAK.
        const std::string received = link.receive([](const std::string&) { return false; });
        const std::size_t length = received.find(ETX) + 2;
        ASSERT_LE(length, received.size());
        const std::string response = received.substr(0, length);
        EXPECT_TRUE(isWholeFrame(response));
        EXPECT_EQ(responseField(response, 7), "8100");
        EXPECT_EQ(responseField(response, 22), "PLEASE INSERT CARD");
        EXPECT_EQ(responseField(response, 26), "") << "no approval number in a decline";
        EXPECT_EQ(received.substr(length), "\x15");
        EXPECT_EQ(host.waitForExit(), 0) << host.transcript();
    }
    ChildProcess host({program("host-sim"), "--mode", "VT", "--once", "--script",
                       (folder.path() / "decline.txt").string()});
    GatewayLink link(std::atoi(host.firstLine().c_str()));
    link.send(Make_Frame("PY20250101D1\x1cTVL00001"));
    EXPECT_EQ(host.waitForExit(), 1) << host.transcript();

    std::ofstream(folder.path() / "broken.txt") << "request\nsend XYZ\n";
    ChildProcess broken({program("host-sim"), "--script", (folder.path() / "broken.txt").string()});
    EXPECT_EQ(broken.waitForExit(), 2);
    EXPECT_THAT(broken.errors(), HasSubstr("line 2"));
}

}  // namespace
}  // namespace tavorline::e2e
