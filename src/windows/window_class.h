#pragma once

#include <windows.h>

namespace tavorline::win {

// Registers a window class whose procedure hands every message to the C++
// object passed as the creation parameter: `T::handle(message, wParam,
// lParam)`, with `T::window_` set before the first message is handled.
template <typename T>
LRESULT CALLBACK forwardToObject(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (self->window_ == nullptr) self->window_ = window;
    return self->handle(message, wParam, lParam);
}

// Throws when the class cannot be registered; a class registered before
// (a second window of the kind) is fine.
void registerWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background);

}  // namespace tavorline::win
