#pragma once

#include <windows.h>

namespace tavorline::win {

// An 11-pixel lamp that lights in its colour for a moment after activity on
// the terminal's line, and is white when dark.
class StatusLight {
public:
    // Long enough to see a single byte go by, short enough that a quiet line
    // looks quiet at once.
    static constexpr UINT kLitMs = 100;

    StatusLight(HWND parent, RECT place, COLORREF litColour);
    ~StatusLight();
    StatusLight(const StatusLight&) = delete;
    StatusLight& operator=(const StatusLight&) = delete;

    // Lights the lamp, or keeps it lit, for kLitMs from now. Painted at
    // once: the gateway often blocks the thread right after line activity.
    void flash();
    bool isLit() const { return lit_; }

private:
    template <typename T>
    friend LRESULT CALLBACK forwardToObject(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    void repaintNow();

    HWND window_ = nullptr;
    COLORREF litColour_;
    bool lit_ = false;
};

}  // namespace tavorline::win
