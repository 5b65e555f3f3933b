// Ten thousand random byte sequences on each line, as fast as the line takes
// them, from a fixed seed so that a failure replays byte for byte. Afterwards
// the gateway must still be there, idle, and able to carry a payment.
//
// What brings the terminal's side back after noise: the redial sequence
// "CCCCCC" and three FF, which the handshake honours at any stage and
// anywhere in its buffer, answered with "*DESTINATION:", and then "CCCCC",
// which hangs that call up again with an empty buffer. A plain "CCCCC" is
// not enough: it counts only within the first 9 bytes of the buffer, and
// noise after a dial leaves up to 4096 bytes in front of it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <random>
#include <thread>

#include "e2e_support.h"
#include "fault_support.h"
#include "host_sim/host_link.h"
#include "payment_e2e.h"

namespace tavorline::e2e {
namespace {

constexpr int kSequences = 10000;
constexpr long kIdleTicks = 20;  // over two seconds

// The sequences on the terminal's line. They never hold a CR: three CR after
// a noise dial would name a destination, and a random host name would be
// looked up and dialled outside this machine.
std::vector<std::string> terminalNoise(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> length(1, 48);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::string> sequences(kSequences);
    for (std::string& sequence : sequences) {
        sequence.resize(static_cast<std::size_t>(length(random)));
        for (char& b : sequence) {
            do {
                b = static_cast<char>(byte(random));
            } while (b == '\r');
        }
    }
    return sequences;
}

// Reads the terminal's line on a thread of its own, so that the gateway's
// writes never wait for the test.
class Drain {
public:
    explicit Drain(PtyPair& line)
        : thread_([this, &line] {
              while (!stop_) received_ += line.receiveFor(50ms).size();
          }) {}
    ~Drain() { stop(); }
    std::size_t stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return received_;
    }

private:
    std::atomic<bool> stop_ = false;
    std::size_t received_ = 0;
    std::thread thread_;
};

// Redial and hang up until the gateway answers the redial with its prompt.
bool bringBack(PtyPair& line) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        line.send("CCCCCC\f\f\f");
        const std::string answer = line.receiveFor(400ms);
        if (answer.ends_with("*DESTINATION:")) {
            line.send("CCCCC");
            return true;
        }
    }
    return false;
}

class LineNoise : public ::testing::Test {
protected:
    void SetUp() override {
        line.linkAs(home.path() / "COM6");
        writeFaultIni(home.path(), ecType());
        gateway = std::make_unique<GatewayProcess>(home.path());
        ASSERT_TRUE(gateway->ready()) << gateway->process().transcript();
        pid = childPid("tavorline");
        ASSERT_GT(pid, 0);
    }
    virtual std::string ecType() const { return "A"; }

    TempFolder home;
    PtyPair line;
    std::unique_ptr<GatewayProcess> gateway;
    pid_t pid = -1;
};

// Where the terminal's noise finds the gateway: idle (where most of it is
// taken for debris of line checks), at the prompt after a dial, or in a
// connected call (where it all becomes one request, sent once the line is
// quiet).
enum class Stage { Idle, AtThePrompt, InACall };

std::string stageName(const ::testing::TestParamInfo<Stage>& info) {
    switch (info.param) {
        case Stage::Idle:
            return "Idle";
        case Stage::AtThePrompt:
            return "AtThePrompt";
        case Stage::InACall:
            return "InACall";
    }
    return "?";
}

class TerminalLineNoise : public LineNoise, public ::testing::WithParamInterface<Stage> {};

TEST_P(TerminalLineNoise, RedialAndHangUpBringTheGatewayBackToPay) {
    ::signal(SIGPIPE, SIG_IGN);
    sim::TlsSetup tls;
    tls.enabled = true;
    sim::HostListener listener("127.0.0.1", 0, tls);
    std::unique_ptr<sim::HostConnection> host;
    std::thread hostReader;
    if (GetParam() != Stage::Idle) {
        ASSERT_TRUE(lineCheckAnswered(line));
        line.send("\n\n\n");
        ASSERT_EQ(line.receive(13), "*DESTINATION:");
    }
    if (GetParam() == Stage::InACall) {
        line.send("IP127.0.0.1/" + std::to_string(listener.port()) + "\r\r\r");
        host = listener.accept(15000, 15000);
        ASSERT_NE(host, nullptr);
        hostReader = std::thread([&host] {
            Bytes ignored;
            while (host->readSome(ignored, 60000) == sim::HostConnection::Read::Data) ignored.clear();
        });
    }
    {
        Drain drain(line);
        for (const std::string& sequence : terminalNoise(20250611)) line.send(sequence);
        std::this_thread::sleep_for(1s);
    }
    EXPECT_TRUE(gateway->process().running()) << gateway->process().transcript();
    EXPECT_LT(cpuTicksOver(pid, 2s), kIdleTicks) << "busy after the noise";
    ASSERT_TRUE(bringBack(line)) << gateway->process().transcript();
    if (hostReader.joinable()) hostReader.join();  // the hang-up dropped the host
    EXPECT_EQ(approvedPayment(line), "");
}

INSTANTIATE_TEST_SUITE_P(Stages, TerminalLineNoise,
                         ::testing::Values(Stage::Idle, Stage::AtThePrompt, Stage::InACall),
                         stageName);

// At the prompt the gateway keeps every byte until the destination line, and
// only a CCCCC near the start of them is a hang-up: one behind noise is taken
// as part of the line. The destination after it still connects.
TEST_F(LineNoise, NoiseAtThePromptLeavesTheDestinationLineWorking) {
    sim::HostListener listener("127.0.0.1", 0, sim::TlsSetup{});
    ASSERT_TRUE(lineCheckAnswered(line));
    line.send("\v\v\v");
    ASSERT_EQ(line.receive(13), "*DESTINATION:");
    line.send("\x7f\x01 line noise \x02\x03");
    line.send("CCCCC");
    line.send("IP127.0.0.1/" + std::to_string(listener.port()) + "\r\r\r");
    EXPECT_NE(listener.accept(15000, 15000), nullptr) << gateway->process().transcript();
}

// Chunks of random bytes from the host in the middle of a call, each sent in
// one write. Mode LF decrypts what it can and passes the rest on; mode AR
// takes the first chunk for the host's key and resets on the second.
struct HostNoise {
    const char* name;
    const char* ecType;
    Carried carried;
    bool resets;
};

void PrintTo(const HostNoise& value, std::ostream* out) { *out << value.name; }

class HostLineNoise : public LineNoise, public ::testing::WithParamInterface<HostNoise> {
protected:
    std::string ecType() const override { return GetParam().ecType; }
};

TEST_P(HostLineNoise, GatewaySurvivesTheFloodAndTheNextCallIsApproved) {
    const HostNoise& mode = GetParam();
    ::signal(SIGPIPE, SIG_IGN);
    sim::TlsSetup tls;
    tls.enabled = mode.carried == Carried::Tls;
    sim::HostListener listener("127.0.0.1", 0, tls);
    ASSERT_TRUE(lineCheckAnswered(line));
    line.send("\n\n\n");
    ASSERT_EQ(line.receive(13), "*DESTINATION:");
    // Mode AR connects 20000 above the port it was given.
    const int offset = mode.carried == Carried::KeyExchange ? 20000 : 0;
    line.send("IP127.0.0.1/" + std::to_string(listener.port() - offset) + "\r\r\r");
    auto host = listener.accept(15000, 15000);
    ASSERT_NE(host, nullptr);
    const std::size_t resets = statusCount(gateway->process(), "초기화 합니다...");

    std::mt19937 random(20250612);
    std::uniform_int_distribution<int> length(1, 200);
    std::uniform_int_distribution<int> byte(0, 255);
    int sent = 0;
    {
        Drain drain(line);
        try {
            for (; sent < kSequences; ++sent) {
                std::string chunk(static_cast<std::size_t>(length(random)), '\0');
                for (char& b : chunk) b = static_cast<char>(byte(random));
                host->send(chunk);
            }
        } catch (const std::exception&) {
            // The gateway dropped the link.
        }
        std::this_thread::sleep_for(1s);
        const std::size_t reached = drain.stop();
        if (!mode.resets) {
            EXPECT_GT(reached, 0u) << "the noise reached the terminal";
        }
    }
    EXPECT_TRUE(gateway->process().running()) << gateway->process().transcript();
    EXPECT_LT(cpuTicksOver(pid, 2s), kIdleTicks) << "busy after the noise";
    if (mode.resets) {
        EXPECT_GT(statusCount(gateway->process(), "초기화 합니다..."), resets);
    } else {
        EXPECT_EQ(sent, kSequences);
        line.send("CCCCC");
        Bytes rest;
        EXPECT_EQ(host->readSome(rest, 15000), sim::HostConnection::Read::Closed)
            << "the hang-up drops the host";
    }
    EXPECT_FALSE(iniValue(home.path(), "LastData").has_value());
    EXPECT_EQ(approvedPayment(line, mode.carried), "");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, HostLineNoise,
    ::testing::Values(HostNoise{"LfOverTls", "A", Carried::Tls, false},
                      HostNoise{"ArKeyExchange", "R", Carried::KeyExchange, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavorline::e2e
