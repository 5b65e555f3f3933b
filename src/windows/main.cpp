// tavorline.exe: the card-payment gateway between the terminal's serial line
// and the payment host, as a Win32 program.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "app/headless_ui.h"
#include "windows/console_break.h"
#include "windows/desktop/desktop_program.h"
#include "windows/desktop/single_instance.h"
#include "windows/event_loop.h"
#include "windows/gateway_program.h"
#include "windows/host_pin_command.h"
#include "windows/win_text.h"

namespace {

using namespace tavorline;
using namespace tavorline::win;

constexpr int kUsageError = 2;
constexpr int kStartFailed = 1;

constexpr const char* kHelp =
    "Usage: tavorline.exe [options]\n"
    "Tavorline card-payment gateway: relays payments between the card terminal on a\n"
    "serial port and the payment host over TCP or TLS.\n"
    "\n"
    "Options:\n"
    "  -h, --help      Show this help and exit.\n"
    "  --version       Show the version and exit.\n"
    "  --headless      Run without a window on the screen: status lines go to\n"
    "                  standard output, errors to standard error. Ctrl+C,\n"
    "                  Ctrl+Break or WM_CLOSE to the gateway's window ends it.\n"
    "                  From cmd.exe, which does not wait for window programs,\n"
    "                  run it as: start /wait tavorline.exe --headless\n"
    "  --home <DIR>    The gateway's folder: it holds vorn.Ini and the LOG\n"
    "                  folder, and is searched first for the cipher library.\n"
    "                  Serial port N is \\\\.\\COMN. Default: the folder of the\n"
    "                  executable.\n"
    "  --host-pin <HOST:PORT>\n"
    "                  Connect to a payment host over TLS (with TlsMinVersion\n"
    "                  and HostTimeout from vorn.Ini), print the pin of its key\n"
    "                  for TlsPin and its certificate's subject, issuer and\n"
    "                  validity, and exit. See docs\\host-security.md.\n"
    "  --save          With --host-pin: add the pin to TlsPin in the gateway's\n"
    "                  vorn.Ini, keeping the pins already there.\n"
    "\n"
    "Without --headless it is the tray program. One gateway runs per folder: a\n"
    "second start shows the running one's window and ends.\n";

struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Refuse, ReadHostPin };
    Action action = Action::Run;
    bool headless = false;
    std::filesystem::path programFolder;
    std::string message;  // UTF-8: why the command line is refused
    std::wstring hostPinTarget;  // --host-pin HOST:PORT
    bool saveHostPin = false;    // --save
};

std::filesystem::path executableFolder() {
    std::wstring name(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()))) ==
           name.size()) {
        name.resize(name.size() * 2);
    }
    name.resize(length);
    return std::filesystem::path(name).parent_path();
}

std::vector<std::wstring> arguments() {
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> result(list + std::min(count, 1), list + count);
    LocalFree(list);
    return result;
}

CommandLine refuse(std::string why) {
    CommandLine result;
    result.action = CommandLine::Action::Refuse;
    result.message = std::move(why);
    return result;
}

CommandLine parse(const std::vector<std::wstring>& args) {
    CommandLine result;
    std::wstring home;
    bool homeSet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& argument = args[i];
        if (argument == L"-h" || argument == L"--help") {
            result.action = CommandLine::Action::ShowHelp;
        } else if (argument == L"--version") {
            if (result.action == CommandLine::Action::Run) {
                result.action = CommandLine::Action::ShowVersion;
            }
        } else if (argument == L"--headless") {
            result.headless = true;
        } else if (argument == L"--home") {
            if (i + 1 == args.size()) return refuse("Missing value after '--home'.");
            home = args[++i];
            homeSet = true;
        } else if (argument.starts_with(L"--home=")) {
            home = argument.substr(7);
            homeSet = true;
        } else if (argument == L"--host-pin") {
            if (i + 1 == args.size()) return refuse("Missing value after '--host-pin'.");
            result.hostPinTarget = args[++i];
        } else if (argument == L"--save") {
            result.saveHostPin = true;
        } else if (argument.starts_with(L"-") && argument.size() > 1) {
            return refuse("Unknown option '" + utf8FromWide(argument) + "'.");
        } else {
            return refuse("Unexpected argument: " + utf8FromWide(argument));
        }
    }
    if (result.action != CommandLine::Action::Run) return result;
    if (!result.hostPinTarget.empty()) {
        result.action = CommandLine::Action::ReadHostPin;
    } else if (result.saveHostPin) {
        return refuse("--save goes with --host-pin");
    }
    result.programFolder = executableFolder();
    if (homeSet) {
        std::error_code error;
        if (!std::filesystem::is_directory(home, error)) {
            return refuse("--home: " + utf8FromWide(home) + " is not a folder");
        }
        result.programFolder = std::filesystem::absolute(home, error);
    }
    return result;
}

int printAndExit(std::FILE* stream, const std::string& text, int status) {
    std::fputs(text.c_str(), stream);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stream);
    return status;
}

// A window program gets no console of its own. It joins the console of the
// command line it was started from, if any: that console's Ctrl+C and
// Ctrl+Break then reach it, and output that goes nowhere else (not
// redirected to a file or a pipe) is shown there.
void useParentConsole() {
    const bool outputGoesNowhere =
        GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN;
    const bool errorsGoNowhere = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_UNKNOWN;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (outputGoesNowhere) std::freopen("CONOUT$", "w", stdout);
    if (errorsGoNowhere) std::freopen("CONOUT$", "w", stderr);
}

// Status lines are UTF-8 with bare line feeds, as on Linux: a console shows
// them as such, and a pipe reads the same bytes a Linux reader would.
void useUtf8Output() {
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

// A start that could not tell whether it is the folder's only gateway goes
// on, and says so.
void noteDoubt(GatewayProgram& program, const SingleInstance& instance) {
    if (instance.doubt().empty()) return;
    program.note("INST", instance.doubt());
    std::fputs(("tavorline: " + utf8FromCp949(instance.doubt()) + "\n").c_str(), stderr);
}

int runHeadless(const CommandLine& commandLine, const SingleInstance& instance) {
    HeadlessUi ui(utf8FromCp949);
    EventLoop loop;
    GatewayProgram program(loop, commandLine.programFolder, ui);
    program.mainWindow().onClose = [&loop] { loop.quit(0); };
    closeOnConsoleBreak(program.mainWindow().handle());
    program.start();
    noteDoubt(program, instance);
    const int status = loop.run();
    program.stop();
    return status;
}

int runDesktop(const CommandLine& commandLine, const SingleInstance& instance) {
    EventLoop loop;
    DesktopProgram program(loop, commandLine.programFolder);
    program.start();
    noteDoubt(program.gateway(), instance);
    const int status = loop.run();
    program.stop();
    return status;
}

int runGateway(const CommandLine& commandLine) {
    const SingleInstance instance(commandLine.programFolder);
    if (!instance.isFirst()) {
        if (commandLine.headless) {
            return printAndExit(stderr,
                                "tavorline: a gateway is already running from " +
                                    utf8FromWide(commandLine.programFolder.wstring()),
                                kStartFailed);
        }
        bringRunningGatewayToFront(commandLine.programFolder);
        return 0;
    }
    return commandLine.headless ? runHeadless(commandLine, instance)
                                : runDesktop(commandLine, instance);
}

// Nobody reads standard error of a program started from its shortcut.
int reportStartFailure(const CommandLine& commandLine, const std::string& why) {
    if (!commandLine.headless) {
        MessageBoxW(nullptr, wideFromUtf8(why).c_str(), MainWindow::kCaption,
                    MB_OK | MB_ICONERROR | MB_TOPMOST);
    }
    return printAndExit(stderr, "tavorline: " + why, kStartFailed);
}

}  // namespace

int main() {
    // Before anything loads a library by name: see win_cipher_library.h.
    keepLibrarySearchToSafeFolders();
    // The engine reads settings files saved as "Unicode" through the system's CP949.
    static const SystemWideText wideText;
    profile::useWideText(wideText);
    const CommandLine commandLine = parse(arguments());
    if (commandLine.headless || commandLine.action != CommandLine::Action::Run) useParentConsole();
    useUtf8Output();
    switch (commandLine.action) {
        case CommandLine::Action::ShowHelp:
            return printAndExit(stdout, kHelp, 0);
        case CommandLine::Action::ShowVersion:
            return printAndExit(stdout, "tavorline " TAVORLINE_VERSION, 0);
        case CommandLine::Action::Refuse:
            return printAndExit(stderr,
                                "tavorline: " + commandLine.message + "\nTry 'tavorline --help'.",
                                kUsageError);
        case CommandLine::Action::ReadHostPin:
            try {
                return runHostPinCommand(commandLine.programFolder, commandLine.hostPinTarget,
                                         commandLine.saveHostPin);
            } catch (const std::exception& error) {
                return printAndExit(stderr, std::string("tavorline: ") + error.what(), kStartFailed);
            }
        case CommandLine::Action::Run:
            break;
    }
    try {
        return runGateway(commandLine);
    } catch (const std::exception& error) {
        return reportStartFailure(commandLine, error.what());
    }
}
