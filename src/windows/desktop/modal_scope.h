#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace tavorline::win {

class EventLoop;

// A modal dialog on the program's own loop. Made before the dialog, it
// disables the program's windows as they are then (hidden ones too, for the
// tray can show the main window meanwhile); what the dialog makes after it,
// its hints and drop-down lists, stays usable. Disabled windows still get
// their messages (the web screen's, timers): only the staff's input is kept
// from them. The serial line, the host and the timers, which only the
// EventLoop watches, go on being served, so a payment never waits for the
// staff to close a dialog.
class ModalScope {
public:
    explicit ModalScope(EventLoop& loop);
    ~ModalScope() { end(); }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

    // Runs the loop until `closed()` says so or the program is ending.
    void runUntil(const std::function<bool()>& closed);
    // Enables the windows again. Call it before the dialog goes, so that the
    // window it came from, not some other program, gets the activation back.
    void end();

private:
    static BOOL CALLBACK disable(HWND window, LPARAM self);

    EventLoop& loop_;
    std::vector<HWND> disabled_;
};

}  // namespace tavorline::win
