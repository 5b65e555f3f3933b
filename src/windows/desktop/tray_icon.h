#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace tavorline::win {

// The gateway's icon in the notification area, with its hint and its menu
// 화면표시 / 끝내기. The icon belongs to the main window, whose messages
// pass through handle(). When Explorer starts again (or late, after the
// gateway at logon) it broadcasts TaskbarCreated, and the icon comes back.
class TrayIcon {
public:
    static constexpr UINT kCallbackMessage = WM_APP + 1;
    static constexpr UINT kIconId = 1;

    TrayIcon(HWND owner, HICON icon, std::wstring hint);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // False where there is no notification area (yet).
    bool show();
    void hide();
    bool isShown() const { return shown_; }

    // The menu, also offered by the main window when there is no tray.
    void popUpMenu();

    std::optional<LRESULT> handle(UINT message, WPARAM wParam, LPARAM lParam);

    std::function<void()> onShowWindow;  // 화면표시, or a double click
    std::function<void()> onExit;        // 끝내기

private:
    bool notify(DWORD action);

    HWND owner_;
    HICON icon_;
    std::wstring hint_;
    UINT taskbarCreated_;
    bool wanted_ = false;
    bool shown_ = false;
};

}  // namespace tavorline::win
