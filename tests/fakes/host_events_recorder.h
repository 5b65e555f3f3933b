#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/host_transport.h"

namespace tavorline::testing {

// What a host transport reported, for the adapter tests of both programs.
struct HostEventsRecorder : HostTransportEvents {
    void onReceived(BytesView chunk) override {
        chunks.emplace_back(chunk);
        if (whenReceived) whenReceived();
    }
    void onPeerClosed() override {
        ++peerClosed;
        openDuringLoss.push_back(transport->isOpen());
    }
    void onBroken() override {
        ++broken;
        openDuringLoss.push_back(transport->isOpen());
    }
    std::string all() const {
        std::string joined;
        for (const std::string& chunk : chunks) joined += chunk;
        return joined;
    }

    HostTransport* transport = nullptr;
    std::function<void()> whenReceived;
    std::vector<std::string> chunks;
    int peerClosed = 0;
    int broken = 0;
    std::vector<bool> openDuringLoss;
};

// Bytes of every value in a sequence no chunking can hide: a byte lost,
// doubled or moved shows.
inline std::string bytePattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13) % 256);
    return bytes;
}

}  // namespace tavorline::testing
