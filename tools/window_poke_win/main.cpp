// window-poke.exe show CLASS CAPTION       shows that top-level window
// window-poke.exe click CLASS CAPTION ID   presses its button ID
// window-poke.exe wait CLASS CAPTION       waits until that window exists
// The window is looked for for up to ten seconds. A pressed button may open
// a modal dialog: the press is posted, so this program does not wait for it.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string_view>

namespace {

HWND findWindow(const wchar_t* className, const wchar_t* caption) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (const HWND window = FindWindowW(className, caption)) return window;
        Sleep(100);
    }
    return nullptr;
}

int usage() {
    std::fputs("usage: window-poke.exe show|wait CLASS CAPTION\n"
               "       window-poke.exe click CLASS CAPTION ID\n",
               stderr);
    return 2;
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 4) return usage();
    const std::wstring_view action = args[1];
    const HWND window = findWindow(args[2], args[3]);
    if (window == nullptr) {
        std::fputs("window-poke: no such window\n", stderr);
        return 1;
    }
    if (action == L"wait" && count == 4) return 0;
    if (action == L"show" && count == 4) {
        ShowWindow(window, SW_SHOWNORMAL);
        SetForegroundWindow(window);
        return 0;
    }
    if (action == L"click" && count == 5) {
        const HWND button = GetDlgItem(window, static_cast<int>(std::wcstol(args[4], nullptr, 10)));
        if (button == nullptr) {
            std::fputs("window-poke: no such button\n", stderr);
            return 1;
        }
        PostMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }
    return usage();
}
