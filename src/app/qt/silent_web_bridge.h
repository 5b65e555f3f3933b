#pragma once

#include "app/web_bridge.h"

namespace tavorline {

// Where no web-screen application can be reached: nothing is sent, which is
// what the gateway does anyway while no such window has registered.
class SilentWebBridge : public WebBridge {
public:
    void send(std::uint64_t, BytesView) override {}
};

}  // namespace tavorline
