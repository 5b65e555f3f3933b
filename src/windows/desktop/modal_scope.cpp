#include "windows/desktop/modal_scope.h"

#include "windows/event_loop.h"

namespace tavorline::win {

ModalScope::ModalScope(EventLoop& loop) : loop_(loop) {
    EnumThreadWindows(GetCurrentThreadId(), &ModalScope::disable, reinterpret_cast<LPARAM>(this));
}

void ModalScope::runUntil(const std::function<bool()>& closed) {
    while (!closed() && !loop_.quitting()) loop_.runOnce(INFINITE);
}

void ModalScope::end() {
    for (HWND window : disabled_) {
        if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    disabled_.clear();
}

BOOL CALLBACK ModalScope::disable(HWND window, LPARAM self) {
    if (IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        reinterpret_cast<ModalScope*>(self)->disabled_.push_back(window);
    }
    return TRUE;
}

}  // namespace tavorline::win
