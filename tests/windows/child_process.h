#pragma once

// Our programs started from a test under Wine, with their output on a pipe.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tavorline::win {

inline constexpr DWORD kPatienceMs = 20000;

// The build's Unix paths, as Wine's Z: drive shows them.
inline std::wstring windowsPath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c != '\0'; ++c) path += *c == '/' ? L'\\' : wchar_t(*c);
    return path;
}

// A program of ours with its standard output on a pipe, read as it comes.
class ChildProcess {
public:
    explicit ChildProcess(std::wstring commandLine) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        CreatePipe(&readEnd, &writeEnd, &inherit, 0);
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process_);
        CloseHandle(writeEnd);
        reader_ = std::thread([this, readEnd] { collect(readEnd); });
    }
    ~ChildProcess() {
        if (started_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 99);
        }
        reader_.join();
        if (started_) {
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }

    bool started() const { return started_; }
    DWORD processId() const { return process_.dwProcessId; }

    // True once the output holds `text`.
    bool waitForOutput(const std::string& text) {
        std::unique_lock lock(mutex_);
        return grown_.wait_for(lock, std::chrono::milliseconds(kPatienceMs),
                               [&] { return output_.find(text) != std::string::npos; });
    }
    // The exit status once the program ended.
    DWORD exitCode() {
        if (WaitForSingleObject(process_.hProcess, kPatienceMs) != WAIT_OBJECT_0) return 999;
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        return status;
    }
    // STILL_ACTIVE while it runs on past `ms`.
    DWORD exitCodeWithin(DWORD ms) {
        WaitForSingleObject(process_.hProcess, ms);
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        return status;
    }
    // Everything printed once the program has ended.
    std::string output() {
        std::unique_lock lock(mutex_);
        grown_.wait_for(lock, std::chrono::milliseconds(kPatienceMs), [&] { return closed_; });
        return output_;
    }
    std::string outputSoFar() {
        std::lock_guard lock(mutex_);
        return output_;
    }

private:
    void collect(HANDLE pipe) {
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) {
            std::lock_guard lock(mutex_);
            output_.append(chunk, got);
            grown_.notify_all();
        }
        CloseHandle(pipe);
        std::lock_guard lock(mutex_);
        closed_ = true;
        grown_.notify_all();
    }

    PROCESS_INFORMATION process_{};
    bool started_ = false;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable grown_;
    std::string output_;
    bool closed_ = false;
};

inline std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace tavorline::win
