#include "windows/desktop/settings_layout.h"

namespace tavorline::win::settings_layout {
namespace {

using namespace settings_grid;

constexpr int kCaptionIndent = 6;
constexpr SIZE kButtonSize{kButtonWidth, kButtonHeight};

RECT cell(Row row, Column column, int left, int width) {
    const int x = kTableLeft + column * kColumnWidth + left;
    const int y = kTableTop + row * kRowHeight;
    return {x, y, x + width, y + kRowHeight};
}

RECT button(int right) {
    return {right - kButtonSize.cx, kButtonTop, right, kButtonTop + kButtonSize.cy};
}

}  // namespace

RECT captionCell(Row row, Column column) { return cell(row, column, 0, kCaptionWidth); }

RECT valueCell(Row row, Column column) { return cell(row, column, kCaptionWidth, kValueWidth); }

RECT captionTextIn(const RECT& captionCell) {
    return {captionCell.left + 1 + kCaptionIndent, captionCell.top + 1, captionCell.right - 1,
            captionCell.bottom - 1};
}

RECT editorIn(const RECT& valueCell) {
    return {valueCell.left + kEditorInsetX, valueCell.top + kEditorInsetY,
            valueCell.right - kEditorInsetX, valueCell.bottom - kEditorInsetY};
}

RECT checkBoxIn(const RECT& valueCell) {
    RECT box = editorIn(valueCell);
    box.right = box.left + kCheckBoxWidth;
    return box;
}

RECT besideCheckBoxIn(const RECT& valueCell) {
    RECT beside = editorIn(valueCell);
    beside.left += kCheckBoxWidth;
    return beside;
}

RECT displaySwitchLabel() { return {kTableLeft, 14, kTableLeft + kCaptionWidth, 34}; }

RECT exitButton() { return button(kTableLeft + 2 * kColumnWidth); }

RECT saveButton() { return button(exitButton().left - kButtonGap); }

}  // namespace tavorline::win::settings_layout
