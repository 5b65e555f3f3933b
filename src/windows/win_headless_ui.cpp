#include "windows/win_headless_ui.h"

#include <atomic>
#include <string>

#include "windows/win_text.h"

namespace tavorline::win {
namespace {

// A reader's line is one text: line breaks inside it would split it.
void writeLine(std::FILE* stream, std::string line) {
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

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

WinHeadlessUi::WinHeadlessUi(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

void WinHeadlessUi::showStatus(BytesView text) { writeLine(out_, utf8FromCp949(text)); }

void WinHeadlessUi::setTitle(BytesView) {}

void WinHeadlessUi::setAddress(BytesView) {}

void WinHeadlessUi::setDisplayField(DisplayField, BytesView) {}

void WinHeadlessUi::clearDisplay() {}

void WinHeadlessUi::showDisplayWindow() {}

void WinHeadlessUi::reportError(BytesView message) {
    writeLine(err_, "tavorline: " + utf8FromCp949(message));
}

void closeOnConsoleBreak(HWND window) {
    windowToClose.store(window);
    SetConsoleCtrlHandler(&onConsoleControl, TRUE);
}

}  // namespace tavorline::win
