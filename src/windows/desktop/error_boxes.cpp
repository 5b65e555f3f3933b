#include "windows/desktop/error_boxes.h"

#include <algorithm>

namespace tavorline::win {

void ErrorBoxes::report(std::wstring text) {
    if (known(text) || waiting_.size() >= kMostWaiting) return;
    waiting_.push_back(std::move(text));
    // While a box is open, the loop below shows the rest when it closes.
    if (shown_ || posted_) return;
    posted_ = PostMessageW(owner_, kShowMessage, 0, 0) != FALSE;
}

bool ErrorBoxes::handle(UINT message) {
    if (message != kShowMessage) return false;
    posted_ = false;
    if (shown_) return true;
    while (!waiting_.empty()) {
        shown_ = std::move(waiting_.front());
        waiting_.pop_front();
        MessageBoxW(owner_, shown_->c_str(), caption_,
                    MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
        shown_.reset();
    }
    return true;
}

bool ErrorBoxes::known(const std::wstring& text) const {
    return shown_ == text || std::find(waiting_.begin(), waiting_.end(), text) != waiting_.end();
}

}  // namespace tavorline::win
