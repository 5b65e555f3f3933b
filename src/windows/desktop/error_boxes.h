#pragma once

#include <windows.h>

#include <deque>
#include <optional>
#include <string>

namespace tavorline::win {

// Errors that no handler caught, shown to the staff one box at a time.
//
// A box is never opened from inside the code that reported the error: the
// report is posted to the main window and the box opens from there, with
// nothing half done beneath it. Its own message loop keeps the gateway
// running (every event is a window message). The box is owned by the main
// window, which it disables while open, so the reset button cannot open a
// second box inside the first. A text already shown or waiting is not
// queued again; other texts wait for the box before them.
class ErrorBoxes {
public:
    // Posted to the owner, which hands it to handle().
    static constexpr UINT kShowMessage = WM_APP + 40;
    // Beyond this many different texts waiting, new ones are dropped: the
    // staff would click through them all before they could act on one.
    static constexpr std::size_t kMostWaiting = 8;

    ErrorBoxes(HWND owner, const wchar_t* caption) : owner_(owner), caption_(caption) {}

    void report(std::wstring text);
    // True when it was our message: then the boxes were shown and closed.
    bool handle(UINT message);

    bool boxOpen() const { return shown_.has_value(); }

private:
    bool known(const std::wstring& text) const;

    const HWND owner_;
    const wchar_t* const caption_;
    std::optional<std::wstring> shown_;
    std::deque<std::wstring> waiting_;
    bool posted_ = false;
};

}  // namespace tavorline::win
