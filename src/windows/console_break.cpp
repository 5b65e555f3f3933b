#include "windows/console_break.h"

#include <atomic>

namespace tavorline::win {
namespace {

std::atomic<HWND> windowToClose{nullptr};

// Windows ends the process at most 5 s after a close, logoff or shutdown
// handler is called, and at once when it returns.
constexpr DWORD kEndingAllowanceMs = 4500;

BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            PostMessageW(windowToClose.load(), WM_CLOSE, 0, 0);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // Returning would end the process now; the program's thread
            // ends it sooner, once the port is closed and the host gone.
            PostMessageW(windowToClose.load(), WM_CLOSE, 0, 0);
            Sleep(kEndingAllowanceMs);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void closeOnConsoleBreak(HWND window) {
    windowToClose.store(window);
    SetConsoleCtrlHandler(&onConsoleControl, TRUE);
}

}  // namespace tavorline::win
