// Windows: CreateProcessW, the streams on pipes it inherits, ended by
// TerminateProcess (a program without a console has no gentler request).
#include <windows.h>

#include <stdexcept>

#include "child_process.h"

namespace tavorline::testing {
namespace {

std::wstring wide(const std::string& utf8) {
    std::wstring text(utf8.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// One argument as the C runtime's parser reads it back: quoted, with the
// backslashes before a quote, and before the closing one, doubled.
std::wstring quoted(const std::wstring& argument) {
    std::wstring result = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, L'\\');
    return result + L"\"";
}

HANDLE handle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

void ChildProcess::launch(std::vector<std::string> arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE writeEnds[2] = {nullptr, nullptr};
    if (outputFile_) {
        writeEnds[0] = CreateFileW(outputFile_->wstring().c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        writeEnds[1] = writeEnds[0];
    } else {
        for (int stream = 0; stream < 2; ++stream) {
            HANDLE readEnd = nullptr;
            CreatePipe(&readEnd, &writeEnds[stream], &inherit, 0);
            SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
            pipes_[stream] = reinterpret_cast<std::intptr_t>(readEnd);
        }
    }
    std::wstring commandLine;
    for (const std::string& argument : arguments) {
        commandLine += (commandLine.empty() ? L"" : L" ") + quoted(wide(argument));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnds[0];
    startup.hStdError = writeEnds[1];
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION started{};
    const bool ok = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   nullptr, &startup, &started);
    const DWORD error = GetLastError();
    CloseHandle(writeEnds[0]);
    if (writeEnds[1] != writeEnds[0]) CloseHandle(writeEnds[1]);
    if (!ok) {
        if (!outputFile_) {
            closePipe(0);
            closePipe(1);
        }
        throw std::runtime_error("cannot start " + name_ + ": error " + std::to_string(error));
    }
    CloseHandle(started.hThread);
    process_ = reinterpret_cast<std::intptr_t>(started.hProcess);
    processId_ = started.dwProcessId;
}

std::size_t ChildProcess::readSome(int stream, char* buffer, std::size_t size) {
    DWORD got = 0;
    if (!ReadFile(handle(pipes_[stream]), buffer, static_cast<DWORD>(size), &got, nullptr))
        return 0;
    return got;
}

void ChildProcess::closePipe(int stream) { CloseHandle(handle(pipes_[stream])); }

std::optional<int> ChildProcess::exitStatusNow() {
    if (WaitForSingleObject(handle(process_), 0) != WAIT_OBJECT_0) return std::nullopt;
    DWORD status = 0;
    GetExitCodeProcess(handle(process_), &status);
    return static_cast<int>(status);
}

void ChildProcess::end(bool) { TerminateProcess(handle(process_), 99); }

void ChildProcess::releaseProcess() { CloseHandle(handle(process_)); }

}  // namespace tavorline::testing
