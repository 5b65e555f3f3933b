#include "windows/win_clock.h"

#include <windows.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tavorline::win {

LocalTime WinClock::now() const {
    SYSTEMTIME time;
    GetLocalTime(&time);
    return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

// Sleep() rounds up to the system tick (15.6 ms unless someone raised the
// timer resolution); a high-resolution waitable timer keeps 100 ms at 100.
void WinClock::wait(std::chrono::milliseconds duration) {
    if (duration.count() <= 0) return;
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    if (timer == nullptr) {
        Sleep(static_cast<DWORD>(duration.count()));
        return;
    }
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(duration.count()) * 10000;
    if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
        WaitForSingleObject(timer, INFINITE);
    } else {
        Sleep(static_cast<DWORD>(duration.count()));
    }
    CloseHandle(timer);
}

}  // namespace tavorline::win
