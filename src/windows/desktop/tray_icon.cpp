#include "windows/desktop/tray_icon.h"

#include <shellapi.h>

namespace tavorline::win {
namespace {

enum MenuCommand : UINT { kShowCommand = 1, kExitCommand = 2 };

}  // namespace

TrayIcon::TrayIcon(HWND owner, HICON icon, std::wstring hint)
    : owner_(owner),
      icon_(icon),
      hint_(std::move(hint)),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {}

TrayIcon::~TrayIcon() { hide(); }

bool TrayIcon::show() {
    wanted_ = true;
    shown_ = notify(NIM_ADD) || notify(NIM_MODIFY);
    return shown_;
}

void TrayIcon::hide() {
    wanted_ = false;
    if (shown_) notify(NIM_DELETE);
    shown_ = false;
}

bool TrayIcon::notify(DWORD action) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner_;
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kCallbackMessage;
    data.hIcon = icon_;
    lstrcpynW(data.szTip, hint_.c_str(), static_cast<int>(std::size(data.szTip)));
    return Shell_NotifyIconW(action, &data) != FALSE;
}

void TrayIcon::popUpMenu() {
    const HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, kShowCommand, L"화면표시(&S)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kExitCommand, L"끝내기(&E)");
    SetMenuDefaultItem(menu, kShowCommand, FALSE);
    POINT at;
    GetCursorPos(&at);
    // Without this the menu stays open when the user clicks elsewhere.
    SetForegroundWindow(owner_);
    const UINT chosen = static_cast<UINT>(TrackPopupMenuEx(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, owner_, nullptr));
    PostMessageW(owner_, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (chosen == kShowCommand && onShowWindow) onShowWindow();
    if (chosen == kExitCommand && onExit) onExit();
}

std::optional<LRESULT> TrayIcon::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_) {
        if (wanted_) show();
        return 0;
    }
    if (message != kCallbackMessage || wParam != kIconId) return std::nullopt;
    switch (LOWORD(lParam)) {
        case WM_LBUTTONDBLCLK:
            if (onShowWindow) onShowWindow();
            break;
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
            popUpMenu();
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace tavorline::win
