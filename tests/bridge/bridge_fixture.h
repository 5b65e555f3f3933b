#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <future>
#include <optional>

#include "app/gateway.h"
#include "engine_fakes.h"
#include "qt/local_web_bridge.h"
#include "qt_wait.h"

namespace tavorline::testing {

using namespace std::chrono_literals;

inline sockaddr_un addressOf(const std::filesystem::path& socket) {
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    return address;
}

// A web window on a raw socket, driven from a worker thread while the
// gateway's event loop runs on the test's, as two processes would be.
// `seen` records what arrived: "text:<text>", "reply", or "closed".
class WebScreen {
public:
    explicit WebScreen(const std::filesystem::path& socket) {
        const sockaddr_un address = addressOf(socket);
        ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    ~WebScreen() { hangUp(); }
    void hangUp() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void put(BytesView bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    std::optional<BridgeFrame> take() {
        BridgeFrame frame;
        while (reader_.next(frame) != BridgeFrameReader::Status::Frame) {
            pollfd entry{fd_, POLLIN, 0};
            char chunk[4096];
            const ssize_t got = ::poll(&entry, 1, static_cast<int>(kSafetyLimit.count())) == 1
                                    ? ::read(fd_, chunk, 4096)
                                    : 0;
            if (got <= 0) {
                seen.push_back("closed");
                return std::nullopt;
            }
            reader_.append(BytesView(chunk, static_cast<std::size_t>(got)));
        }
        if (frame.message == kBridgeReply) {
            seen.push_back("reply");
        } else {
            const BytesView block = copyDataBlock(frame);
            seen.push_back("text:" + Bytes(block.substr(0, block.find('\0'))));
        }
        return frame;
    }
    std::optional<BridgeFrame> answer() {
        std::optional<BridgeFrame> frame = take();
        if (frame && frame->message == kWmCopyData) put(replyFrame());
        return frame;
    }
    // Sends as a web window does: answers every text the gateway sends
    // until the reply comes.
    void call(BytesView frame) {
        put(frame);
        for (auto incoming = answer(); incoming && incoming->message != kBridgeReply;) {
            incoming = answer();
        }
    }

    std::vector<Bytes> seen;

private:
    int fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    BridgeFrameReader reader_;
};

// A gateway on fakes behind a LocalWebBridge, bound as the program binds it.
class BridgeFixture : public ::testing::Test {
protected:
    BridgeFixture() {
        std::ofstream(folder / "vorn.Ini") << "[VORN]\r\nEcPort=6\r\nEcSpeed=9600\r\n";
        bridge.setWebHandleHandler([this](std::uint64_t handle) {
            handles.push_back(handle);
            gateway.WMWebHandle(handle);
        });
        bridge.setCopyDataHandler([this](BytesView block) {
            blocks.emplace_back(block);
            deliveredDuringSend.push_back(sending);
            gateway.WMCopyData(block);
        });
        bridge.setDiagnostics([this](const QString& line) { diagnostics.push_back(line); });
        gateway.FormCreate();
        EXPECT_TRUE(bridge.listen(socket));
    }

    // As at the end of a payment.
    void gatewaySends(BytesView text) {
        sending = true;
        gateway.WebSend(text);
        sending = false;
    }
    template <typename Work>
    auto onScreen(Work work) {
        return std::async(std::launch::async, std::move(work));
    }
    template <typename Result>
    Result finish(std::future<Result>& work) {
        EXPECT_TRUE(eventually([&] { return work.wait_for(0s) == std::future_status::ready; }));
        return work.get();
    }
    void registerAs(WebScreen& screen, std::uint64_t handle) {
        auto done = onScreen([&] { screen.call(webHandleFrame(handle)); });
        finish(done);
    }
    bool diagnosed(const char* part) const {
        return std::any_of(diagnostics.begin(), diagnostics.end(),
                           [&](const QString& line) { return line.contains(QLatin1String(part)); });
    }

    QTemporaryDir home;
    std::filesystem::path folder = QDir(home.path()).absolutePath().toStdString();
    std::filesystem::path socket = LocalWebBridge::defaultSocketPath(folder);
    FakeSerialPort serial;
    FakeHostTransport host;
    FakeLibrary library;
    FakeTimer tm, dget, tminit;
    RecordingUi ui;
    FakeClock clock;
    FakeVersionSource versions;
    LocalWebBridge bridge;
    Gateway gateway{
        GatewayPorts{serial, host, library, tm, dget, tminit, ui, bridge, clock, versions, folder}};
    std::vector<std::uint64_t> handles;
    std::vector<Bytes> blocks;
    std::vector<bool> deliveredDuringSend;
    std::vector<QString> diagnostics;
    bool sending = false;
};

}  // namespace tavorline::testing
