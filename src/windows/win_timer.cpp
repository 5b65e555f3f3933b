#include "windows/win_timer.h"

#include <stdexcept>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tavorline::win {
namespace {

// Windows 10 1803 and later; elsewhere (and under Wine) the flag is refused
// and an ordinary timer does.
HANDLE createTimer() {
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    if (timer == nullptr) timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    if (timer == nullptr) throw std::runtime_error("cannot create a timer");
    return timer;
}

}  // namespace

WinTimer::WinTimer(EventLoop& loop, std::chrono::milliseconds interval)
    : loop_(loop), timer_(createTimer()), interval_(interval) {}

WinTimer::~WinTimer() {
    setEnabled(false);
    CloseHandle(timer_);
}

void WinTimer::setInterval(std::chrono::milliseconds interval) {
    interval_ = interval;
    if (enabled_) arm();
}

void WinTimer::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled) {
        loop_.watch(timer_, [this] { tick(); });
        arm();
    } else {
        CancelWaitableTimer(timer_);
        loop_.unwatch(timer_);
    }
}

void WinTimer::arm() {
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(interval_.count()) * 10000;  // relative, 100 ns units
    SetWaitableTimer(timer_, &due, static_cast<LONG>(interval_.count()), nullptr, nullptr, FALSE);
}

void WinTimer::tick() {
    if (enabled_ && handler_) handler_();
}

}  // namespace tavorline::win
