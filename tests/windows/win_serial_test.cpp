// The serial adapter against a real line: COM9 is a Linux pty whose other end
// echoes every byte back (run_with_pty.sh sets it up).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "eventually.h"
#include "under_wine.h"
#include "windows/event_loop.h"
#include "windows/win_serial_port.h"

namespace {

// Threads started in this process so far: the loader calls the program's TLS
// callbacks for every thread it starts.
volatile LONG threadsStarted = 0;
void NTAPI countThreadStart(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_THREAD_ATTACH) InterlockedIncrement(&threadsStarted);
}

}  // namespace

extern "C" __attribute__((section(".CRT$XLF"), used))
const PIMAGE_TLS_CALLBACK countThreadStartPointer = countThreadStart;

namespace tavorline::win {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Wine starts a Unix program for a command line that names one; it cannot
// wait for it, so the test waits for what the program does instead.
void runUnixCommand(const std::string& command) {
    std::wstring line(command.begin(), command.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
        << command << ": error " << GetLastError();
}

// A port that, once told to, has every finished read look as Wine 8 now and
// then leaves an overlapped call: its event signalled, its result never there.
class PortLosingReadResults : public WinSerialPort {
public:
    using WinSerialPort::WinSerialPort;
    bool losing = false;
    int lost = 0;

protected:
    BOOL overlappedResult(OVERLAPPED& overlapped, DWORD& transferred, BOOL wait) override {
        if (losing && &overlapped == &readOverlapped()) {
            ++lost;
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        return WinSerialPort::overlappedResult(overlapped, transferred, wait);
    }
};

class WinSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (environment("TAVORLINE_TEST_COM").empty()) {
            GTEST_SKIP() << "needs the pty line that run_with_pty.sh provides";
        }
        port_.setComNumber(std::atoi(environment("TAVORLINE_TEST_COM").c_str()));
        port_.setBaud(115200);
        // Takes every byte offered, as the engine does.
        port_.setReceiveHandler([this](std::uint16_t count) {
            for (int i = 0; i < count && port_.charReady(); ++i) received_ += port_.getChar();
        });
        port_.setLineLostHandler([this](const std::string& reason) {
            ++lost_;
            lostReason_ = reason;
        });
        port_.setLineBackHandler([this] { ++back_; });
    }

    template <typename Done>
    bool runUntil(Done done) {
        return testing::eventually(done, kPatience, [this] { loop_.runOnce(100); });
    }

    // Sends in the engine's chunks, each one drained before the next, and
    // waits for the echo.
    void sendAndAwaitEcho(const Bytes& bytes) {
        received_.clear();
        for (std::size_t at = 0; at < bytes.size(); at += 4096) {
            port_.putString(BytesView(bytes).substr(at, 4096));
            ASSERT_TRUE(runUntil([this] { return port_.outBuffUsed() == 0; }));
        }
        ASSERT_TRUE(runUntil([&] { return received_.size() >= bytes.size(); }))
            << received_.size() << " of " << bytes.size() << " bytes came back";
    }

    EventLoop loop_;
    PortLosingReadResults port_{loop_, "."};
    Bytes received_;
    int lost_ = 0;
    int back_ = 0;
    std::string lostReason_;
};

TEST_F(WinSerialPortTest, EchoesEveryByteValueAndABurstAboveTheEventCount) {
    port_.open();
    Bytes everyValue;
    for (int value = 0; value < 256; ++value) everyValue += static_cast<char>(value);
    sendAndAwaitEcho(everyValue);
    EXPECT_EQ(received_, everyValue);

    // 70,000 bytes: more than one receive event may carry.
    Bytes burst;
    for (int i = 0; i < 70000; ++i) burst += static_cast<char>((i * 7 + i / 256) & 0xFF);
    sendAndAwaitEcho(burst);
    EXPECT_EQ(received_.size(), 70000u);
    EXPECT_TRUE(received_ == burst);  // not printed: 70,000 bytes
}

TEST_F(WinSerialPortTest, VanishedDeviceIsReportedOnceAndFoundAgain) {
    port_.open();
    runUnixCommand(environment("TAVORLINE_LINE_UNPLUG"));
    ASSERT_TRUE(runUntil([this] { return lost_ > 0; }));
    EXPECT_FALSE(port_.isOpen());
    EXPECT_FALSE(lostReason_.empty());

    runUnixCommand(environment("TAVORLINE_LINE_PLUG"));
    ASSERT_TRUE(runUntil([this] { return back_ > 0; }));
    EXPECT_EQ(lost_, 1);
    EXPECT_FALSE(port_.isOpen());

    port_.open();
    sendAndAwaitEcho("back\r\n");
    EXPECT_EQ(received_, "back\r\n");
}

// A read whose result is lost takes its bytes with it, but the port reads
// on: the next bytes come through.
TEST_F(WinSerialPortTest, LostReadResultsNeverStopTheLine) {
    port_.open();
    std::chrono::steady_clock::duration slowest{};
    for (int round = 0; round < 20; ++round) {
        port_.losing = true;
        const int lostBefore = port_.lost;
        port_.putString("lost\r\n");
        ASSERT_TRUE(runUntil([this, lostBefore] { return port_.lost > lostBefore; }));
        // The port gives that read up: it stops asking for its result.
        int asked = -1;
        ASSERT_TRUE(runUntil([&] { return std::exchange(asked, port_.lost) == port_.lost; }));
        port_.losing = false;
        const Bytes ping = "ping " + std::to_string(round) + "\r\n";
        const auto sent = std::chrono::steady_clock::now();
        received_.clear();
        port_.putString(ping);
        ASSERT_TRUE(runUntil([&] { return received_.ends_with(ping); })) << received_;
        slowest = std::max(slowest, std::chrono::steady_clock::now() - sent);
    }
    std::printf("slowest echo: %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count()));
}

// An open port with nothing to read costs no thread while it waits: Wine's
// WaitCommEvent started one per wait, each leaking its loader data, several
// hundred a second on a quiet pty.
TEST_F(WinSerialPortTest, AQuietOpenPortStartsNoThreads) {
    port_.open();
    loop_.runOnce(100);
    const LONG before = threadsStarted;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < until) loop_.runOnce(50);
    EXPECT_LE(threadsStarted - before, 2) << "threads started in 0.5 s on a quiet line";
}

TEST_F(WinSerialPortTest, MissingPortNamesItselfAndTheSystemsReason) {
    port_.setComNumber(57);
    try {
        port_.open();
        FAIL() << "COM57 opened";
    } catch (const SerialError& error) {
        const std::string expected = "Cannot open serial port COM57 (\\\\.\\COM57): ";
        const std::string message = error.what();
        EXPECT_EQ(message.substr(0, expected.size()), expected);
        EXPECT_GT(message.size(), expected.size());
    }
    EXPECT_FALSE(port_.isOpen());
}

}  // namespace
}  // namespace tavorline::win
