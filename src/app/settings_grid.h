#pragma once

// Where the settings dialog puts things, in pixels of a 96-DPI screen: the
// same numbers behind both programs' dialogs, so that they look alike. Rows
// of caption and value cells, two pairs to a row, and the buttons below.
namespace tavorline::settings_grid {

inline constexpr int kClientWidth = 560;
inline constexpr int kClientHeight = 325;

enum Row { kPortRow, kSpeedRow, kCreditRow, kPmsRow, kTerminalInfoRow };
enum Column { kLeft, kRight };

inline constexpr int kTableLeft = 24;
inline constexpr int kTableTop = 44;
inline constexpr int kRowHeight = 34;
inline constexpr int kCaptionWidth = 104;
inline constexpr int kValueWidth = 152;
inline constexpr int kColumnWidth = kCaptionWidth + kValueWidth;
inline constexpr int kEditorInsetX = 3;
inline constexpr int kEditorInsetY = 4;
// The hidden RSA cell: a check box, then an edit beside it.
inline constexpr int kCheckBoxWidth = 24;

inline constexpr int kButtonTop = 272;
inline constexpr int kButtonWidth = 96;
inline constexpr int kButtonHeight = 30;
inline constexpr int kButtonGap = 8;

}  // namespace tavorline::settings_grid
