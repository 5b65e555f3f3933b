#pragma once

// The desktop program's own resources, shared by desktop.rc and the code.
#define IDI_TAVORLINE 1
#define IDR_LOGO 101
#define IDR_RESET_GLYPH 102
#define IDR_SETTINGS_GLYPH 103
#define IDR_CLOSE_GLYPH 104
#define IDR_ICON_16 105
#define IDR_ICON_32 106
#define IDR_ICON_64 107
