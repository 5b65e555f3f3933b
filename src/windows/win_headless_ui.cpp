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

BOOL WINAPI onConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    PostMessageW(windowToClose.load(), WM_CLOSE, 0, 0);
    return TRUE;
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
