#include "windows/desktop/single_instance.h"

#include <cstdio>

#include "windows/main_window.h"
#include "windows/win_text.h"

namespace tavorline::win {
namespace {

constexpr UINT kAnswerTimeoutMs = 5000;

std::wstring comparableFolder(const std::filesystem::path& programFolder) {
    std::error_code error;
    std::wstring folder = std::filesystem::absolute(programFolder, error).lexically_normal().wstring();
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
    for (wchar_t& character : folder) {
        if (character == L'/') character = L'\\';
    }
    return folder;
}

// Global: a second user on the same PC must not open the port either. A
// hash keeps the name short whatever the folder's length.
std::wstring mutexName(std::uint64_t key) {
    wchar_t name[64];
    std::swprintf(name, 64, L"Global\\Tavorline.Gateway.%016llX",
                  static_cast<unsigned long long>(key));
    return name;
}

struct ShowRequest {
    std::uint64_t key;
    bool answered = false;
};

BOOL CALLBACK askToShow(HWND window, LPARAM request) {
    auto& ask = *reinterpret_cast<ShowRequest*>(request);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring_view(className) != MainWindow::kClassName) return TRUE;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // We were started by the user and may hand the foreground on.
    AllowSetForegroundWindow(process);
    DWORD_PTR answer = 0;
    const LPARAM high = static_cast<LPARAM>(ask.key >> 32);
    const WPARAM low = static_cast<WPARAM>(ask.key & 0xFFFFFFFFu);
    if (SendMessageTimeoutW(window, showMainWindowMessage(), low, high, SMTO_ABORTIFHUNG,
                            kAnswerTimeoutMs, &answer) != 0 &&
        answer == 1) {
        ask.answered = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// 64-bit FNV-1a over the path's UTF-16 code units.
std::uint64_t folderKey(const std::filesystem::path& programFolder) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const wchar_t unit : comparableFolder(programFolder)) {
        for (const unsigned byte : {unit & 0xFFu, (unit >> 8) & 0xFFu}) {
            hash ^= byte;
            hash *= 0x100000001B3ull;
        }
    }
    return hash;
}

SingleInstance::SingleInstance(const std::filesystem::path& programFolder) {
    mutex_ = CreateMutexW(nullptr, FALSE, mutexName(folderKey(programFolder)).c_str());
    if (mutex_ == nullptr) {
        doubt_ = "Cannot tell whether this folder's gateway already runs: " +
                 systemMessage(GetLastError());
        return;
    }
    first_ = GetLastError() != ERROR_ALREADY_EXISTS;
}

SingleInstance::~SingleInstance() {
    if (mutex_) CloseHandle(mutex_);
}

UINT showMainWindowMessage() { return RegisterWindowMessageW(L"Tavorline.ShowMainWindow"); }

bool isShowRequestFor(std::uint64_t key, WPARAM wParam, LPARAM lParam) {
    const std::uint64_t asked = (static_cast<std::uint64_t>(static_cast<DWORD>(lParam)) << 32) |
                                static_cast<DWORD>(wParam);
    return asked == key;
}

bool bringRunningGatewayToFront(const std::filesystem::path& programFolder) {
    ShowRequest request{folderKey(programFolder)};
    EnumWindows(&askToShow, reinterpret_cast<LPARAM>(&request));
    return request.answered;
}

}  // namespace tavorline::win
