// tavorline-web.exe: a web screen on the command line. Finds the gateway's
// window, registers its own, asks for the last approved transaction, or
// sends a request for the terminal, and prints what the gateway sends back.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/web_bridge_frame.h"
#include "web_client/commands_help.h"
#include "windows/win_text.h"
#include "windows/window_web_bridge.h"

namespace {

using namespace tavorline;
using namespace tavorline::win;

constexpr int kExitOk = 0;
constexpr int kExitLink = 1;  // the gateway went away or did not answer in time
constexpr int kExitUsage = 2;
constexpr int kExitNotThere = 3;  // no gateway window

const std::string kHelp = std::string(R"(Usage: tavorline-web.exe [OPTION]... COMMAND
Talks to the Tavorline gateway as the web screen does, with window messages
to its window (class TFmain, caption "Tavorline").

)") + kCommandsHelp + R"(Options:
      --handle N        the window handle to register (default: this
                        program's own window, which prints what it receives)
      --count N         listen: stop after N texts
  -t, --timeout SECONDS how long to wait for each reply (default 10)
  -h, --help            show this help

TEXT is taken in CP949, the gateway's code page. Texts are printed as the
gateway keeps them (CP949 bytes).

Exit status: 0 done; 1 the gateway went away or did not answer in time;
2 bad command line; 3 the gateway is not there.
)";

struct Options {
    std::string command;
    Bytes text;
    std::uint64_t handle = 0;
    long count = -1;
    UINT timeoutMs = 10000;
};

struct LinkError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void usage(const std::string& why) {
    std::fprintf(stderr, "tavorline-web: %s\nTry 'tavorline-web --help'.\n", why.c_str());
    std::exit(kExitUsage);
}

unsigned long long numberIn(const std::wstring& text, const char* option, unsigned long long lowest,
                            unsigned long long highest) {
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long long value = std::wcstoull(text.c_str(), &end, 0);
    if (text.empty() || *end != L'\0' || errno != 0 || text[0] == L'-' || value < lowest ||
        value > highest) {
        usage(std::string(option) + ": not a number from " + std::to_string(lowest) + " to " +
              std::to_string(highest) + ": " + utf8FromWide(text));
    }
    return value;
}

std::vector<std::wstring> arguments() {
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> result(list + (count > 0 ? 1 : 0), list + count);
    LocalFree(list);
    return result;
}

Options parse(const std::vector<std::wstring>& args) {
    Options options;
    std::vector<std::wstring> operands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& argument = args[i];
        auto value = [&](const char* option) -> std::wstring {
            if (i + 1 == args.size()) usage(std::string(option) + ": missing value");
            return args[++i];
        };
        if (argument == L"--") {
            operands.insert(operands.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (argument == L"-h" || argument == L"--help") {
            std::fputs(kHelp.c_str(), stdout);
            std::exit(kExitOk);
        } else if (argument == L"--handle") {
            options.handle = numberIn(value("--handle"), "--handle", 1, UINTPTR_MAX);
        } else if (argument == L"--count") {
            options.count = static_cast<long>(numberIn(value("--count"), "--count", 1, 1000000000));
        } else if (argument == L"-t" || argument == L"--timeout") {
            options.timeoutMs =
                static_cast<UINT>(numberIn(value("--timeout"), "--timeout", 1, 3600)) * 1000;
        } else if (argument.size() > 1 && argument[0] == L'-') {
            usage("unknown option: " + utf8FromWide(argument));
        } else {
            operands.push_back(argument);
        }
    }
    if (operands.empty()) usage("no command");
    options.command = utf8FromWide(operands[0]);
    if (options.command != "send" && options.command != "listen" && options.command != "lastdata") {
        usage("unknown command: " + options.command);
    }
    const std::size_t wanted = options.command == "send" ? 2 : 1;
    if (operands.size() != wanted) usage(options.command + ": wrong number of arguments");
    if (options.command == "send") options.text = cp949FromWide(operands[1]);
    return options;
}

void printLine(BytesView text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Our own window: the gateway's texts arrive here as WM_COPYDATA, also
// nested inside our own sends to the gateway.
class WebWindow {
public:
    WebWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &WebWindow::procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TavorlineWebClient";
        RegisterClassExW(&windowClass);
        // Message-only: nobody needs to find it but by the handle we register.
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
        if (window_ == nullptr) throw LinkError("cannot create a window");
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~WebWindow() { DestroyWindow(window_); }

    HWND handle() const { return window_; }
    long received() const { return received_; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<WebWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && message == WM_COPYDATA) {
            const auto* block = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (block != nullptr && block->dwData == kWebTextTag) {
                const BytesView data = copyDataBlock(block);
                printLine(data.substr(0, data.find('\0')));
                ++self->received_;
            }
            return TRUE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    long received_ = 0;
};

class GatewayWindow {
public:
    explicit GatewayWindow(UINT timeoutMs) : timeoutMs_(timeoutMs) {
        window_ = FindWindowW(L"TFmain", L"Tavorline");
        if (window_ == nullptr) throw std::out_of_range("no window TFmain \"Tavorline\"");
        DWORD processId = 0;
        GetWindowThreadProcessId(window_, &processId);
        process_ = OpenProcess(SYNCHRONIZE, FALSE, processId);
    }
    ~GatewayWindow() {
        if (process_ != nullptr) CloseHandle(process_);
    }

    void registerWindow(std::uint64_t handle) {
        call(WM_WEBHANDLE, 0, static_cast<LPARAM>(handle));
    }
    void copyData(HWND sender, BytesView text) {
        Bytes data(text);
        data.push_back('\0');
        COPYDATASTRUCT block{};
        block.cbData = static_cast<DWORD>(data.size());
        block.lpData = data.data();
        call(WM_COPYDATA, reinterpret_cast<WPARAM>(sender), reinterpret_cast<LPARAM>(&block));
    }
    // Handles what is sent to us until the gateway ends (false).
    bool serve() {
        const DWORD objects = process_ != nullptr ? 1 : 0;
        const DWORD woken =
            MsgWaitForMultipleObjects(objects, &process_, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 && objects == 1) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        return true;
    }

private:
    void call(UINT message, WPARAM wParam, LPARAM lParam) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(window_, message, wParam, lParam, SMTO_NORMAL, timeoutMs_,
                                &result) == 0) {
            throw LinkError(GetLastError() == ERROR_TIMEOUT ? "the gateway did not answer in time"
                                                            : "the gateway went away");
        }
    }

    HWND window_ = nullptr;
    HANDLE process_ = nullptr;
    UINT timeoutMs_;
};

std::uint64_t handleOf(HWND window) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window));
}

int listen(GatewayWindow& gateway, WebWindow& window, const Options& options) {
    gateway.registerWindow(options.handle != 0 ? options.handle : handleOf(window.handle()));
    while (options.count < 0 || window.received() < options.count) {
        if (!gateway.serve()) throw LinkError("the gateway ended");
    }
    return kExitOk;
}

int lastData(GatewayWindow& gateway, WebWindow& window, const Options& options) {
    gateway.registerWindow(options.handle != 0 ? options.handle : handleOf(window.handle()));
    // Any first byte, then "LA": the gateway's test for a last-data request.
    // The answer comes inside this send.
    gateway.copyData(window.handle(), "0LA");
    if (window.received() == 0) throw LinkError("the gateway replied without sending the record");
    return kExitOk;
}

}  // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    const Options options = parse(arguments());
    try {
        WebWindow window;
        GatewayWindow gateway(options.timeoutMs);
        if (options.command == "listen") return listen(gateway, window, options);
        if (options.command == "lastdata") return lastData(gateway, window, options);
        gateway.copyData(window.handle(), options.text);
        return kExitOk;
    } catch (const std::out_of_range& error) {
        std::fprintf(stderr, "tavorline-web: the gateway is not there: %s\n", error.what());
        return kExitNotThere;
    } catch (const LinkError& error) {
        std::fprintf(stderr, "tavorline-web: %s\n", error.what());
        return kExitLink;
    }
}
