#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "app/web_bridge_frame.h"

namespace tavorline::web_client {

// The gateway is not listening at the socket.
struct NotThere : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The gateway went away, broke the protocol or did not answer in time.
struct LinkError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A connection to the gateway's web bridge, held the way a web screen holds
// it: every message waits for its reply, and texts the gateway sends in the
// meantime are taken and answered first (nested delivery).
class GatewayLink {
public:
    explicit GatewayLink(const std::string& socketPath);
    ~GatewayLink();
    GatewayLink(const GatewayLink&) = delete;
    GatewayLink& operator=(const GatewayLink&) = delete;

    // Each text the gateway sends, read up to its first NUL.
    std::function<void(BytesView text)> onText;

    // Sends one frame and returns once the gateway has replied.
    void call(BytesView frame, int timeoutMs);
    // Takes the gateway's next text; false when the gateway closed the
    // connection. A negative time-out waits for ever.
    bool serve(int timeoutMs);

private:
    enum class Got { Frame, Closed };
    Got readFrame(BridgeFrame& frame, int timeoutMs);
    void answer(const BridgeFrame& frame);
    void writeAll(BytesView bytes);

    int fd_ = -1;
    BridgeFrameReader reader_;
};

}  // namespace tavorline::web_client
