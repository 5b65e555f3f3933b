#include "windows/main_window.h"

#include <system_error>

#include "windows/window_web_bridge.h"

namespace tavorline::win {
namespace {

void registerClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = MainWindow::kClassName;
    // A second window in the same process (tests) finds the class there.
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "RegisterClassExW TFmain");
    }
}

}  // namespace

MainWindow::MainWindow() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    registerClass(instance, &MainWindow::procedure);
    // Top-level, not message-only: FindWindowW does not see message-only
    // windows, and the web screen looks for us with it.
    window_ = CreateWindowExW(kExStyle, kClassName, kCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              314, 118, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateWindowExW TFmain");
    }
}

MainWindow::~MainWindow() { DestroyWindow(window_); }

LRESULT CALLBACK MainWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    // The handlers run after CreateWindowExW returned; until then it is ours.
    if (self->window_ == nullptr) self->window_ = window;
    return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_WEBHANDLE:
            if (onWebHandle) onWebHandle(static_cast<std::uintptr_t>(lParam));
            return 0;
        case WM_COPYDATA:
            if (onCopyData) onCopyData(copyDataBlock(reinterpret_cast<COPYDATASTRUCT*>(lParam)));
            return 0;
        case WM_CLOSE:
            if (onClose) onClose();
            return 0;
        default:
            if (onOtherMessage) {
                if (const auto answer = onOtherMessage(message, wParam, lParam)) return *answer;
            }
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

}  // namespace tavorline::win
