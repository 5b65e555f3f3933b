#include "windows/main_window.h"

#include <system_error>

#include "windows/window_class.h"
#include "windows/window_web_bridge.h"

namespace tavorline::win {

MainWindow::MainWindow() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    registerWindowClass(kClassName, &forwardToObject<MainWindow>,
                        static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
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
