#include "windows/desktop/desktop_ui.h"

#include "windows/desktop/display_window.h"
#include "windows/desktop/error_boxes.h"
#include "windows/desktop/main_window_face.h"
#include "windows/win_text.h"

namespace tavorline::win {

void DesktopUi::showStatus(BytesView text) { face_->showStatus(wideFromCp949(text)); }

void DesktopUi::setTitle(BytesView text) { face_->setTitleLine(wideFromCp949(text)); }

void DesktopUi::setAddress(BytesView text) { face_->setAddressLine(wideFromCp949(text)); }

void DesktopUi::setDisplayField(DisplayField field, BytesView text) {
    display_.setField(field, wideFromCp949(text));
}

void DesktopUi::clearDisplay() { display_.clear(); }

void DesktopUi::showDisplayWindow() { display_.show(); }

void DesktopUi::reportError(BytesView message) { errors_->report(wideFromCp949(message)); }

}  // namespace tavorline::win
