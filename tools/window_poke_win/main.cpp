// window-poke.exe show CLASS CAPTION       shows that top-level window
// window-poke.exe click CLASS CAPTION ID   presses its button ID
// window-poke.exe wait CLASS CAPTION       waits until that window exists
// window-poke.exe visible CLASS CAPTION    exits 0 when it is visible, else 3
// window-poke.exe close CLASS CAPTION      asks it to close (WM_CLOSE)
// window-poke.exe text CLASS CAPTION ID    prints the text of its control ID
// The window is looked for for up to ten seconds. A pressed button may open
// a modal dialog: the press is posted, so this program does not wait for it.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>

namespace {

HWND findWindow(const wchar_t* className, const wchar_t* caption) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (const HWND window = FindWindowW(className, caption)) return window;
        Sleep(100);
    }
    return nullptr;
}

std::wstring windowText(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

int usage() {
    std::fputs(
        "usage: window-poke.exe show|wait|visible|close CLASS CAPTION\n"
        "       window-poke.exe click|text CLASS CAPTION ID\n",
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
    if (action == L"visible" && count == 4) return IsWindowVisible(window) ? 0 : 3;
    if (action == L"close" && count == 4) return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    if (count != 5) return usage();
    const HWND control = GetDlgItem(window, static_cast<int>(std::wcstol(args[4], nullptr, 10)));
    if (control == nullptr) {
        std::fputs("window-poke: no such control\n", stderr);
        return 1;
    }
    if (action == L"click") {
        PostMessageW(control, BM_CLICK, 0, 0);
        return 0;
    }
    if (action == L"text") {
        std::puts(utf8(windowText(control)).c_str());
        return 0;
    }
    return usage();
}
