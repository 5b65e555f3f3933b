#pragma once

#include <cstdint>

#include "support/bytes.h"

namespace tavorline {

// The data block of a WM_COPYDATA as the gateway takes it: `cbData` bytes at
// `lpData`, never more; a block without data is empty, whatever cbData
// claims. dwData says nothing the gateway needs. Gateway::WMCopyData stops
// at the first NUL.
BytesView copyDataBytes(const void* lpData, std::uint32_t cbData);

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
