#include "windows/desktop/single_instance.h"

#include <string>

#include "windows/main_window.h"

namespace tavorline::win {
namespace {

constexpr UINT kAnswerTimeoutMs = 5000;

// Global: a second user on the same PC must not open the port either. The
// folder is part of the name, in one case, with no backslash after the
// namespace's own.
std::wstring mutexName(const std::filesystem::path& programFolder) {
    std::wstring folder = std::filesystem::absolute(programFolder).lexically_normal().wstring();
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
    for (wchar_t& character : folder) {
        if (character == L'\\') character = L'/';
    }
    return L"Global\\Tavorline.Gateway:" + folder;
}

}  // namespace

SingleInstance::SingleInstance(const std::filesystem::path& programFolder) {
    mutex_ = CreateMutexW(nullptr, FALSE, mutexName(programFolder).c_str());
    first_ = mutex_ == nullptr || GetLastError() != ERROR_ALREADY_EXISTS;
}

SingleInstance::~SingleInstance() {
    if (mutex_) CloseHandle(mutex_);
}

UINT showMainWindowMessage() { return RegisterWindowMessageW(L"Tavorline.ShowMainWindow"); }

bool bringRunningGatewayToFront() {
    const HWND running = FindWindowW(MainWindow::kClassName, MainWindow::kCaption);
    if (running == nullptr) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(running, &process);
    // We were started by the user and may hand the foreground on.
    AllowSetForegroundWindow(process);
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(running, showMainWindowMessage(), 0, 0, SMTO_ABORTIFHUNG,
                               kAnswerTimeoutMs, &answer) != 0;
}

}  // namespace tavorline::win
