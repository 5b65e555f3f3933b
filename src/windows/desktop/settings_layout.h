#pragma once

#include <windows.h>

#include "app/settings_grid.h"

namespace tavorline::win::settings_layout {

// The shared grid as Win32 rectangles, in pixels of a 96-DPI screen.
inline constexpr SIZE kClientSize{settings_grid::kClientWidth, settings_grid::kClientHeight};

using settings_grid::Column;
using settings_grid::Row;
using enum settings_grid::Row;
using enum settings_grid::Column;

RECT captionCell(Row row, Column column);
RECT valueCell(Row row, Column column);
// The caption's text inside its cell, off the border and indented.
RECT captionTextIn(const RECT& captionCell);
RECT editorIn(const RECT& valueCell);
// The hidden RSA cell holds a check box and, beside it, an edit.
RECT checkBoxIn(const RECT& valueCell);
RECT besideCheckBoxIn(const RECT& valueCell);

RECT displaySwitchLabel();
RECT saveButton();
RECT exitButton();

inline constexpr COLORREF kBackground = RGB(0xF3, 0xF7, 0xE8);
inline constexpr COLORREF kCaptionFill = RGB(0xE9, 0xEB, 0xDC);
inline constexpr COLORREF kCaptionBorder = RGB(0xCD, 0xD0, 0xBD);
inline constexpr COLORREF kValueFill = RGB(0xF3, 0xF3, 0xF3);
inline constexpr COLORREF kValueBorder = RGB(0xD6, 0xD6, 0xD6);
inline constexpr COLORREF kFocusedBorder = RGB(0xFF, 0x80, 0x00);

}  // namespace tavorline::win::settings_layout
