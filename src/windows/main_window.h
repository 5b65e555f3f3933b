#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "support/bytes.h"

namespace tavorline::win {

// The gateway's top-level window TFmain, caption "Tavorline": it exists from
// start to end, hidden, so that the web screen can find it by class and
// caption and send it WM_WEBHANDLE and WM_COPYDATA at any moment.
class MainWindow {
public:
    static constexpr const wchar_t* kClassName = L"TFmain";
    static constexpr const wchar_t* kCaption = L"Tavorline";
    // A fixed dialog frame with a caption and no title-bar buttons, above
    // every other window.
    static constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    static constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;

    MainWindow();
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND handle() const { return window_; }

    // Each runs on the thread that made the window; both messages answer 0.
    std::function<void(std::uint64_t webHandle)> onWebHandle;
    std::function<void(BytesView block)> onCopyData;
    // A request to close the window (WM_CLOSE); without a handler the window
    // stays as it is.
    std::function<void()> onClose;
    // Every other message goes here first (the desktop program's buttons,
    // tray and painting); without an answer it gets the default handling.
    std::function<std::optional<LRESULT>(UINT message, WPARAM wParam, LPARAM lParam)>
        onOtherMessage;

private:
    template <typename T>
    friend LRESULT CALLBACK forwardToObject(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
};

}  // namespace tavorline::win
