#pragma once

#include <windows.h>

#include <cstdint>

namespace tavorline::win {

// The logo, the button glyphs and the icons are PNG pictures in the
// program's resources; GDI+ decodes them and draws them at the size the
// screen's DPI asks for, so that they stay sharp at any display scaling.
// One object for the whole program: it holds the GDI+ session.
class Pictures {
public:
    Pictures();
    ~Pictures();
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;

    // The picture drawn at `size` over `background`, for the white panels
    // and buttons; the caller deletes it. Null when the picture is missing.
    HBITMAP bitmap(int resourceId, SIZE size, COLORREF background) const;
    // The picture as an icon of `size` pixels square; the caller destroys it.
    HICON icon(int resourceId, int size) const;

private:
    std::uintptr_t session_ = 0;
};

}  // namespace tavorline::win
