#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace tavorline::win::look {

// The windows are laid out in pixels of a 96-DPI screen, as the shop's
// staff know them; Scale turns those into the screen's pixels, so that at
// 125 or 150 % display scaling the windows grow instead of being stretched
// blurry by the system.
class Scale {
public:
    // The screen's DPI, which the program (DPI-aware by its manifest) sees
    // as it is.
    static Scale ofScreen();
    explicit Scale(int dpi) : dpi_(dpi) {}

    int operator()(int pixelsAt96) const { return MulDiv(pixelsAt96, dpi_, 96); }
    RECT operator()(const RECT& at96) const;
    int dpi() const { return dpi_; }

private:
    int dpi_;
};

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using Brush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;

// The Korean faces the windows were designed with. Every Korean Windows has
// them; elsewhere (an English Windows, Wine) the Nanum faces take their
// place, fixed-pitch for GulimChe, so that Korean never turns into boxes.
Font gulimChe(int points, const Scale& scale, bool bold = false);
Font gulim(int points, const Scale& scale, bool bold = false);
// The main window's font for the few texts that are not Korean.
Font windowFont(const Scale& scale);

// Whether a font family of that name is installed.
bool hasFontFamily(const wchar_t* family);

constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kNavy = RGB(0x00, 0x00, 0x80);
constexpr COLORREF kTeal = RGB(0x00, 0x80, 0x80);
constexpr COLORREF kGrey = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kGreen = RGB(0x00, 0x80, 0x00);

// Client size for a window of the given style, so that the client area
// (not the frame) has the designed size.
SIZE frameSizeFor(SIZE client, DWORD style, DWORD exStyle);
// Top-left corner that centres a window of this size on the work area of
// the primary screen.
POINT centredOnScreen(SIZE window);

}  // namespace tavorline::win::look
