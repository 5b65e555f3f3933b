#pragma once

#include <cstdint>

#include "support/bytes.h"

namespace tavorline {

// The channel to the web-screen application.
class WebBridge {
public:
    virtual ~WebBridge() = default;
    // Sends `text` (the bridge appends the NUL) to the window registered as
    // `webHandle` and waits, for a bounded time, until it has been handled.
    // Nothing is reported when nobody is there.
    virtual void send(std::uint64_t webHandle, BytesView text) = 0;
};

}  // namespace tavorline
