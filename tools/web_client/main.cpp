// tavorline-web: a web screen on the command line. Registers with the
// gateway's web bridge, asks for the last approved transaction, or sends a
// request for the terminal, and prints what the gateway sends back.
#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "web_client/commands_help.h"
#include "web_client/gateway_link.h"

namespace {

using namespace tavorline;
using namespace tavorline::web_client;

constexpr int kExitOk = 0;
constexpr int kExitLink = 1;  // the gateway went away, broke the protocol or timed out
constexpr int kExitUsage = 2;
constexpr int kExitNotThere = 3;  // nobody listens at the socket

const std::string kHelp = std::string(R"(Usage: tavorline-web [OPTION]... COMMAND
Talks to the Tavorline gateway as the web screen does, over its web bridge
socket (DIR/Tavorline.sock).

)") + kCommandsHelp + R"(Options:
      --socket PATH     the gateway's socket
      --home DIR        the gateway's folder: the socket is DIR/Tavorline.sock
                        (default: the folder of this program)
      --handle N        the window handle to register (default: the process id)
      --count N         listen: stop after N texts
  -t, --timeout SECONDS how long to wait for each reply (default 10)
  -h, --help            show this help

Texts are bytes as the gateway keeps them (CP949); pipe through
'iconv -f CP949' to read Korean text in a UTF-8 terminal.

Exit status: 0 done; 1 the gateway went away, broke the protocol or did not
answer in time; 2 bad command line; 3 the gateway is not there.
)";

struct Options {
    std::string socketPath;
    std::string command;
    std::string text;
    std::uint64_t handle = 0;
    long count = -1;
    int timeoutMs = 10000;
};

[[noreturn]] void usage(const std::string& why) {
    std::fprintf(stderr, "tavorline-web: %s\nTry 'tavorline-web --help'.\n", why.c_str());
    std::exit(kExitUsage);
}

unsigned long long numberIn(const char* text, const char* option, unsigned long long lowest,
                            unsigned long long highest) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (end == text || *end != '\0' || errno != 0 || *text == '-' || value < lowest ||
        value > highest) {
        usage(std::string(option) + ": not a number from " + std::to_string(lowest) + " to " +
              std::to_string(highest) + ": " + text);
    }
    return value;
}

std::filesystem::path programFolder() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : self.parent_path();
}

Options parse(int argc, char** argv) {
    enum { kSocket = 1000, kHome, kHandle, kCount };
    static const option kOptions[] = {
        {"socket", required_argument, nullptr, kSocket},
        {"home", required_argument, nullptr, kHome},
        {"handle", required_argument, nullptr, kHandle},
        {"count", required_argument, nullptr, kCount},
        {"timeout", required_argument, nullptr, 't'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    std::string home;
    for (int opt; (opt = getopt_long(argc, argv, "t:h", kOptions, nullptr)) != -1;) {
        switch (opt) {
            case kSocket:
                options.socketPath = optarg;
                break;
            case kHome:
                home = optarg;
                break;
            case kHandle:
                options.handle = numberIn(optarg, "--handle", 1, UINT64_MAX);
                break;
            case kCount:
                options.count = static_cast<long>(numberIn(optarg, "--count", 1, 1000000000));
                break;
            case 't':
                options.timeoutMs = static_cast<int>(numberIn(optarg, "--timeout", 1, 3600)) * 1000;
                break;
            case 'h':
                std::fputs(kHelp.c_str(), stdout);
                std::exit(kExitOk);
            default:
                usage("unknown option");
        }
    }
    if (!options.socketPath.empty() && !home.empty()) {
        usage("--socket and --home exclude each other");
    }
    if (options.socketPath.empty()) {
        const std::filesystem::path folder =
            home.empty() ? programFolder() : std::filesystem::path(home);
        options.socketPath = (folder / "Tavorline.sock").string();
    }
    if (options.handle == 0) options.handle = static_cast<std::uint64_t>(::getpid());

    const int left = argc - optind;
    if (left == 0) usage("no command");
    options.command = argv[optind];
    const int wanted = options.command == "send" ? 2 : 1;
    if (options.command != "send" && options.command != "listen" && options.command != "lastdata") {
        usage("unknown command: " + options.command);
    }
    if (left != wanted) usage(options.command + ": wrong number of arguments");
    if (options.command == "send") options.text = argv[optind + 1];
    if (options.text.size() + 1 > kMaxDataBlock) usage("send: the text is too long");
    return options;
}

void printLine(BytesView text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int listen(GatewayLink& link, const Options& options) {
    long printed = 0;
    link.onText = [&](BytesView text) {
        printLine(text);
        ++printed;
    };
    link.call(webHandleFrame(options.handle), options.timeoutMs);
    while (options.count < 0 || printed < options.count) {
        if (!link.serve(-1)) throw LinkError("the gateway closed the connection");
    }
    return kExitOk;
}

int lastData(GatewayLink& link, const Options& options) {
    bool answered = false;
    link.onText = [&](BytesView text) {
        printLine(text);
        answered = true;
    };
    link.call(webHandleFrame(options.handle), options.timeoutMs);
    // Any first byte, then "LA": the gateway's test for a last-data request.
    const Bytes request = "0LA";
    link.call(copyDataFrame(options.handle, 0, request + '\0'), options.timeoutMs);
    if (!answered) throw LinkError("the gateway replied without sending the record");
    return kExitOk;
}

int send(GatewayLink& link, const Options& options) {
    link.onText = printLine;
    link.call(copyDataFrame(options.handle, 0, options.text + '\0'), options.timeoutMs);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    try {
        GatewayLink link(options.socketPath);
        if (options.command == "listen") return listen(link, options);
        if (options.command == "lastdata") return lastData(link, options);
        return send(link, options);
    } catch (const NotThere& error) {
        std::fprintf(stderr, "tavorline-web: the gateway is not there: %s\n", error.what());
        return kExitNotThere;
    } catch (const LinkError& error) {
        std::fprintf(stderr, "tavorline-web: %s\n", error.what());
        return kExitLink;
    }
}
