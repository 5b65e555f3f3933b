#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace tavorline::testing {

// A pseudo-terminal standing in for the terminal's cable: the gateway opens
// the slave side like a serial device, the test plays the terminal on the
// master side. The test keeps its own slave descriptor open so that the line
// survives the gateway closing and reopening its end.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }

    // Writes everything, running the Qt event loop while the line is full.
    void send(std::string_view bytes);
    // Writes what the line takes at once, without running the event loop.
    void sendNow(std::string_view bytes);
    // The cable is pulled: the gateway's side reads no more.
    void hangUp();
    // Bytes that reached the gateway's side but were not read from it yet.
    int waitingAtGatewaySide() const;
    // Whatever the gateway has written so far.
    std::string takeReceived();
    // Waits (running the event loop) until `count` bytes have come, or the
    // safety limit is reached; returns what came.
    std::string receive(std::size_t count,
                        std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace tavorline::testing
