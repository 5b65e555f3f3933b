#pragma once

#include <windows.h>

#include <chrono>

#include "app/web_bridge.h"

namespace tavorline::win {

// The private message with which the web screen registers its window.
inline constexpr UINT WM_WEBHANDLE = 0x0B32;

// The data block of a WM_COPYDATA as the gateway reads it: never past
// cbData; an absent block is empty. The gateway itself stops at the first NUL.
BytesView copyDataBlock(const COPYDATASTRUCT* block);

// Texts to the web screen as window messages: WM_COPYDATA (dwData 3716, the
// text and a NUL) sent synchronously to the registered window. Messages sent
// to us while we wait are handled meanwhile, so the web screen may ask us
// something inside our own send; a window that answers nothing costs at most
// the reply time-out, and a handle that is no window costs nothing.
class WindowWebBridge : public WebBridge {
public:
    void setReplyTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    void send(std::uint64_t webHandle, BytesView text) override;

private:
    std::chrono::milliseconds timeout_{3000};
};

}  // namespace tavorline::win
