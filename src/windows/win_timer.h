#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

#include "support/timer.h"
#include "windows/event_loop.h"

namespace tavorline::win {

// A repeating waitable timer watched by the event loop. High resolution
// where the system has it, so the 100 ms quiet period after a request is
// measured to about a millisecond rather than to the 15.6 ms system tick.
class WinTimer : public Timer {
public:
    WinTimer(EventLoop& loop, std::chrono::milliseconds interval);
    ~WinTimer() override;
    WinTimer(const WinTimer&) = delete;
    WinTimer& operator=(const WinTimer&) = delete;

    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }
    void setInterval(std::chrono::milliseconds interval);

    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }

private:
    void arm();
    void tick();

    EventLoop& loop_;
    HANDLE timer_;
    std::chrono::milliseconds interval_;
    std::function<void()> handler_;
    bool enabled_ = false;
};

}  // namespace tavorline::win
