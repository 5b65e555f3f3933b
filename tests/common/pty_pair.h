#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tavorline::testing {

// A pseudo-terminal pair standing in for the terminal's cable: the gateway
// opens the slave side like a serial device (also through a link), the test
// plays the terminal on the master side. The test keeps its own slave
// descriptor open, so the line survives the gateway closing and reopening
// its end. Waits take a limit only and return as soon as the bytes are there.
class PtyPair {
public:
    // Runs about once a millisecond while a call waits. Tests whose gateway
    // lives in their own process set it to their event loop once, in main.
    static void setPump(std::function<void()> pump);

    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    void linkAs(const std::filesystem::path& link) const;

    // Writes everything, waiting while the line is full.
    void send(std::string_view bytes);
    // Writes what the line takes at once, without waiting.
    void sendNow(std::string_view bytes);
    // The cable is pulled: the gateway's side reads no more.
    void hangUp();
    // Bytes that reached the gateway's side but were not read from it yet.
    int waitingAtGatewaySide() const;

    // Whatever the gateway has written so far, without waiting.
    std::string takeReceived();
    // Until `count` bytes came or the limit passed; returns what came.
    std::string receive(std::size_t count, std::chrono::milliseconds limit = kLimit);
    // Until what came ends with `tail`.
    std::string receiveUntil(std::string_view tail, std::chrono::milliseconds limit = kLimit);
    // Until what came holds an ETX and the check byte after it.
    std::string receiveFrame(std::chrono::milliseconds limit = kLimit);
    // Whatever arrives within `span`.
    std::string receiveFor(std::chrono::milliseconds span);

private:
    static constexpr std::chrono::milliseconds kLimit{15000};

    std::string receiveWhile(const std::function<bool(const std::string&)>& wanting,
                             std::chrono::milliseconds limit);
    void await(short events, int timeoutMs) const;

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace tavorline::testing
