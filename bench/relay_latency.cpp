// relay_latency: how much delay the gateway adds between terminal and host,
// measured with real processes against socat, a relay that only copies.
//
// Every run starts fresh processes and measures, message by message:
//   host -> terminal: from the host's send of a chunk to its first byte at
//                     the terminal's end of the pty;
//   terminal -> host: from the terminal's last request byte to the whole
//                     request at the host; for the gateway less the 100 ms
//                     of quiet it waits for before it forwards a request.
// Paths: the gateway in mode VT over plain TCP (host chunks pass through
// unchanged), socat between the same kind of pty and the same host, and the
// gateway in mode LF over TLS with SEED on both sides. The machine's floor
// for terminal -> host: a bare process that sleeps the quiet period on an
// exact timer and then writes to the host. Also the start-up time (exec to
// the first "대기중 ..." line) and the idle resident memory.
//
// The figure of each run is its p50 and p99; the table shows the median of
// the runs, because a shared machine disturbs single runs.
//
//   relay_latency [--runs R] [--messages N] [--starts K] [--only socat|vt|lf|floor]
// TAVORLINE=PATH measures another build of the gateway.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "host_sim/host_cipher.h"
#include "host_sim/host_link.h"
#include "sim/payment_messages.h"
#include "support/framing.h"

namespace tavorline::bench {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using e2e::ChildProcess;
using e2e::TempFolder;

constexpr auto kQuietPeriod = 100ms;  // the gateway's wait before it forwards a request
constexpr int kWarmUp = 10;
constexpr int kStepLimitMs = 5000;
const std::string kReady = "대기중 ...";

double milliseconds(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void require(bool condition, const std::string& what) {
    if (!condition) throw Failure(what);
}

// The q-quantile of the samples, by the nearest-rank method.
double quantile(std::vector<double> samples, double q) {
    if (samples.empty()) return NAN;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(samples.size())));
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

double median(std::vector<double> values) { return quantile(std::move(values), 0.5); }

// The terminal's end of the line: a pty descriptor, raw.
class TerminalEnd {
public:
    explicit TerminalEnd(int fd) : fd_(fd) {
        termios raw{};
        ::tcgetattr(fd_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fd_, TCSANOW, &raw);
    }
    ~TerminalEnd() { ::close(fd_); }
    TerminalEnd(const TerminalEnd&) = delete;
    TerminalEnd& operator=(const TerminalEnd&) = delete;

    void write(BytesView bytes) {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR) continue;
            require(written > 0, "terminal write failed");
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
    }

    // Waits for the next byte; the time it became readable.
    std::optional<Clock::time_point> awaitByte(int timeoutMs) {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) != 1 || (entry.revents & POLLIN) == 0) {
            return std::nullopt;
        }
        return Clock::now();
    }

    // Reads until `count` bytes came; what came.
    Bytes read(std::size_t count, int timeoutMs = kStepLimitMs) {
        Bytes got;
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0 || !awaitByte(static_cast<int>(left.count()))) break;
            char buffer[4096];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int fd_;
};

// One accepted host connection: reads whole messages as the mode frames them.
class HostEnd {
public:
    HostEnd(std::unique_ptr<sim::HostConnection> connection, const sim::HostCipher* cipher)
        : connection_(std::move(connection)), cipher_(cipher) {}

    void send(BytesView bytes) { connection_->send(bytes); }

    // Reads until one whole message is in; the time its last byte was read.
    std::pair<Bytes, Clock::time_point> receiveMessage() {
        Bytes buffer;
        const auto end = Clock::now() + std::chrono::milliseconds(kStepLimitMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            require(left.count() > 0, "the host got no whole request in time");
            const auto read = connection_->readSome(buffer, static_cast<int>(left.count()));
            const Clock::time_point at = Clock::now();
            require(read != sim::HostConnection::Read::Closed, "the gateway hung up");
            if (read == sim::HostConnection::Read::Timeout) continue;
            const std::size_t length =
                cipher_ != nullptr ? cipher_->messageLength(buffer) : sim::frameLength(buffer);
            if (length == 0) continue;
            require(length == buffer.size(), "more than one message in a read");
            return {cipher_ != nullptr ? cipher_->open(buffer).plain : buffer, at};
        }
    }

private:
    std::unique_ptr<sim::HostConnection> connection_;
    const sim::HostCipher* cipher_;
};

struct Direction {
    std::vector<double> hostToTerminal;
    std::vector<double> terminalToHost;
};

// The messages of the measurement: a payment request and its approval.
struct Messages {
    Bytes request = sim::buildRequestFrame(sim::sampleRequest());
    Bytes response =
        sim::buildResponseFrame(sim::responseTo(request, true, sim::kApprovedCode, "12345678"));
};

// Measures `count` messages each way, alternating, with pauses that keep the
// messages apart and out of step with any timer.
Direction measure(TerminalEnd& terminal, HostEnd& host, const Messages& messages,
                  BytesView sealedResponse, Clock::duration deducted, int count,
                  std::mt19937& random) {
    std::uniform_int_distribution<int> pauseMs(2, 20);
    Direction result;
    for (int i = -kWarmUp; i < count; ++i) {
        const Clock::time_point sent = Clock::now();
        host.send(sealedResponse);
        const auto first = terminal.awaitByte(kStepLimitMs);
        require(first.has_value(), "no response reached the terminal");
        const Bytes arrived = terminal.read(messages.response.size());
        require(arrived == messages.response, "the terminal got another response than was sent");
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));

        terminal.write(messages.request);
        const Clock::time_point written = Clock::now();
        const auto [request, received] = host.receiveMessage();
        require(request == messages.request, "the host got another request than was sent");
        if (i >= 0) {
            result.hostToTerminal.push_back(milliseconds(*first - sent));
            result.terminalToHost.push_back(milliseconds(received - written - deducted));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
    }
    return result;
}

Bytes lineCheck() { return Make_Frame("LC"); }

// A pty pair whose slave the relay (gateway or socat) opens through DIR/COM6;
// the bench keeps the master as the terminal and a slave descriptor so the
// line outlives the gateway's reopening of it.
struct GatewayLine {
    explicit GatewayLine(const std::filesystem::path& home) {
        int master = -1;
        char name[256] = {};
        require(::openpty(&master, &slave, name, nullptr, nullptr) == 0, "openpty failed");
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        std::filesystem::create_symlink(name, home / "COM6");
        terminal = std::make_unique<TerminalEnd>(master);
    }
    ~GatewayLine() { ::close(slave); }

    int slave = -1;
    std::unique_ptr<TerminalEnd> terminal;
};

// The gateway of this build, or the one TAVORLINE names (to compare builds).
std::string gatewayProgram() {
    const char* chosen = std::getenv("TAVORLINE");
    return chosen != nullptr && *chosen != '\0' ? chosen : e2e::program("tavorline");
}

// Its status lines go to a file. A thread of the bench that woke for each of
// them competed with the host's reader for this machine's two CPUs: with it,
// terminal -> host p99 measured about 3.3 ms, without it about 1.1 ms.
std::unique_ptr<ChildProcess> startGateway(const std::filesystem::path& home) {
    auto gateway = std::make_unique<ChildProcess>(
        std::vector<std::string>{gatewayProgram(), "--headless", "--home", home.string()},
        home / "gateway.out");
    require(gateway->waitForOutput(kReady), "the gateway did not start\n" + gateway->transcript());
    return gateway;
}

// The gateway empties its input after it shows its idle status, so the
// terminal's first bytes may be lost: a line check until it is answered.
void awaitLineCheck(TerminalEnd& terminal) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        terminal.write(lineCheck());
        const Bytes answer = terminal.read(3, 1000);
        if (answer == "\x06\x06\x06") {
            terminal.read(3, attempt > 0 ? 500 : 0);  // a late answer to an earlier check
            return;
        }
    }
    throw Failure("the gateway never answered the line check");
}

void writeIni(const std::filesystem::path& home, const std::string& ecType) {
    e2e::writeVornIni(home, {{"EcPort", "6"},
                             {"EcSpeed", "9600"},
                             {"EcType", ecType},
                             {"DnAddr", "127.0.0.1"},
                             {"UpAddr", "127.0.0.1"}});
}

// The gateway in one mode: dial, destination, connect; then the messages.
Direction measureGateway(bool tls, int count, std::mt19937& random) {
    const Messages messages;
    TempFolder home;
    GatewayLine line(home.path());
    std::unique_ptr<sim::HostCipher> cipher;
    if (tls) cipher = std::make_unique<sim::HostCipher>(sim::DestinationMode::LF, 2048);
    sim::TlsSetup setup;
    setup.enabled = tls;
    sim::HostListener listener("127.0.0.1", 0, setup);
    writeIni(home.path(), "A");
    const auto gateway = startGateway(home.path());
    TerminalEnd& terminal = *line.terminal;
    awaitLineCheck(terminal);

    terminal.write(tls ? "\n\n\n" : "\v\v\v");
    require(terminal.read(13) == "*DESTINATION:", "no prompt");
    terminal.write("IP127.0.0.1/" + std::to_string(listener.port()) + "\r\r\r");
    auto connection = listener.accept(kStepLimitMs, kStepLimitMs);
    require(connection != nullptr, "the gateway did not connect\n" + gateway->transcript());
    if (tls) require(terminal.read(7) == Bytes(7, '\x05'), "no seven ENQ");
    HostEnd host(std::move(connection), cipher.get());
    const Bytes sealed = tls ? cipher->sealResponse(messages.response) : messages.response;
    Direction result = measure(terminal, host, messages, sealed, kQuietPeriod, count, random);
    terminal.write("CCCCC");
    require(gateway->running(), "the gateway ended during the measurement");
    return result;
}

// socat between the same kind of pty line and the same kind of loopback
// host: socat opens the line's device as the gateway does, and the bench
// keeps the other end as the terminal, so both relays are timed over the
// same direction of the pty.
Direction measureSocat(int count, std::mt19937& random) {
    const Messages messages;
    TempFolder home;
    GatewayLine line(home.path());
    sim::HostListener listener("127.0.0.1", 0, sim::TlsSetup{});
    ChildProcess socat({"socat", "open:" + (home.path() / "COM6").string() + ",raw,echo=0",
                        "tcp:127.0.0.1:" + std::to_string(listener.port()) + ",nodelay"});
    auto connection = listener.accept(kStepLimitMs, kStepLimitMs);
    require(connection != nullptr, "socat did not connect\n" + socat.transcript());
    HostEnd host(std::move(connection), nullptr);
    return measure(*line.terminal, host, messages, messages.response, 0ms, count, random);
}

// What this machine itself adds to the terminal -> host path: a process that
// sleeps the quiet period on an exact timer and then writes the request to
// the same kind of loopback host, with nothing in between. Waking from a
// 100 ms sleep costs more than socat's relay of a message already awaited.
[[noreturn]] void sleepThenSend(int goFd, std::uint16_t port, const Bytes& request) {
    const int host = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(host, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(host, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(1);
    const int timer = ::timerfd_create(CLOCK_MONOTONIC, 0);
    const itimerspec quiet{{0, 0}, {0, std::chrono::nanoseconds(kQuietPeriod).count()}};
    char go = 0;
    while (::read(goFd, &go, 1) == 1) {
        ::timerfd_settime(timer, 0, &quiet, nullptr);
        std::uint64_t expirations = 0;
        if (::read(timer, &expirations, sizeof expirations) != sizeof expirations) ::_exit(1);
        if (::write(host, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
            ::_exit(1);
        }
    }
    ::_exit(0);
}

std::vector<double> measureFloor(int count, std::mt19937& random) {
    const Messages messages;
    sim::HostListener listener("127.0.0.1", 0, sim::TlsSetup{});
    int go[2];
    require(::pipe(go) == 0, "pipe failed");
    const pid_t sleeper = ::fork();
    require(sleeper >= 0, "fork failed");
    if (sleeper == 0) {
        ::close(go[1]);
        sleepThenSend(go[0], static_cast<std::uint16_t>(listener.port()), messages.request);
    }
    ::close(go[0]);
    auto connection = listener.accept(kStepLimitMs, kStepLimitMs);
    require(connection != nullptr, "the sleeper did not connect");
    HostEnd host(std::move(connection), nullptr);
    std::uniform_int_distribution<int> pauseMs(4, 40);
    std::vector<double> samples;
    for (int i = -kWarmUp; i < count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
        const Clock::time_point started = Clock::now();
        require(::write(go[1], "g", 1) == 1, "the sleeper is gone");
        const auto [request, received] = host.receiveMessage();
        require(request == messages.request, "the host got another request than was sent");
        if (i >= 0) samples.push_back(milliseconds(received - started - kQuietPeriod));
    }
    ::close(go[1]);
    ::waitpid(sleeper, nullptr, 0);
    return samples;
}

long residentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Start-up to ready of one fresh gateway, and its resident memory once it
// has answered a line check and idled for two seconds.
std::pair<double, long> startOnce() {
    TempFolder home;
    GatewayLine line(home.path());
    writeIni(home.path(), "A");
    const Clock::time_point started = Clock::now();
    ChildProcess gateway({gatewayProgram(), "--headless", "--home", home.path().string()});
    require(gateway.waitForOutput(kReady), "the gateway did not start\n" + gateway.transcript());
    const double ready = milliseconds(Clock::now() - started);
    awaitLineCheck(*line.terminal);
    std::this_thread::sleep_for(2s);
    return {ready, residentKilobytes(e2e::childPid("tavorline"))};
}

struct Summary {
    std::vector<double> p50;
    std::vector<double> p99;
    void add(const std::vector<double>& samples) {
        p50.push_back(quantile(samples, 0.50));
        p99.push_back(quantile(samples, 0.99));
    }
};

struct Options {
    int runs = 5;
    int messages = 250;
    int starts = 10;
    std::string only;  // one path: socat, vt, lf or floor
};

Options parse(int argc, char* argv[]) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&] {
            if (i + 1 >= argc) throw Failure(argument + " needs a value");
            return std::atoi(argv[++i]);
        };
        if (argument == "--runs") {
            options.runs = value();
        } else if (argument == "--messages") {
            options.messages = value();
        } else if (argument == "--starts") {
            options.starts = value();
        } else if (argument == "--only" && i + 1 < argc) {
            options.only = argv[++i];
        } else {
            throw Failure("unknown option " + argument +
                          "\nusage: relay_latency [--runs R] [--messages N] [--starts K] [--only socat|vt|lf|floor]");
        }
    }
    require(options.runs >= 1 && options.messages >= 1 && options.starts >= 1,
            "counts must be positive");
    return options;
}

}  // namespace
}  // namespace tavorline::bench

int main(int argc, char* argv[]) {
    using namespace tavorline::bench;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const Options options = parse(argc, argv);
        std::mt19937 random(20240611);
        Summary vtUp, vtDown, socatUp, socatDown, lfUp, lfDown, floorDown;
        const auto report = [](int run, const char* path, const Direction& d) {
            std::printf("run %d  %-12s host->terminal p50 %7.3f p99 %7.3f   terminal->host%s p50 %7.3f p99 %7.3f ms\n",
                        run, path, quantile(d.hostToTerminal, 0.5), quantile(d.hostToTerminal, 0.99),
                        std::string_view(path) == "socat" ? "      " : " (net)",
                        quantile(d.terminalToHost, 0.5), quantile(d.terminalToHost, 0.99));
        };
        std::printf("relay_latency: %d runs of %d messages each way, fresh processes every run\n",
                    options.runs, options.messages);
        for (int run = 1; run <= options.runs; ++run) {
            // The order turns round every run, so a slow spell of the machine
            // does not always fall on the same path.
            const std::vector<std::pair<std::string, std::function<void()>>> paths = {
                {"socat", [&] {
                    const Direction d = measureSocat(options.messages, random);
                    socatUp.add(d.hostToTerminal);
                    socatDown.add(d.terminalToHost);
                    report(run, "socat", d);
                }},
                {"vt", [&] {
                    const Direction d = measureGateway(false, options.messages, random);
                    vtUp.add(d.hostToTerminal);
                    vtDown.add(d.terminalToHost);
                    report(run, "gateway VT", d);
                }},
                {"lf", [&] {
                    const Direction d = measureGateway(true, options.messages, random);
                    lfUp.add(d.hostToTerminal);
                    lfDown.add(d.terminalToHost);
                    report(run, "gateway LF", d);
                }},
                {"floor", [&] {
                    const std::vector<double> samples = measureFloor(options.messages, random);
                    floorDown.add(samples);
                    std::printf("run %d  %-12s %38s terminal->host (net) p50 %7.3f p99 %7.3f ms\n",
                                run, "sleep+send", "", quantile(samples, 0.5),
                                quantile(samples, 0.99));
                }}};
            const auto take = [&](const auto& path) {
                if (options.only.empty() || options.only == path.first) path.second();
            };
            if (run % 2 == 1) {
                std::for_each(paths.begin(), paths.end(), take);
            } else {
                std::for_each(paths.rbegin(), paths.rend(), take);
            }
        }
        if (!options.only.empty()) return 0;
        std::vector<double> ready;
        std::vector<double> resident;
        for (int start = 0; start < options.starts; ++start) {
            const auto [ms, kilobytes] = startOnce();
            ready.push_back(ms);
            resident.push_back(static_cast<double>(kilobytes));
        }

        const double upRatio50 = median(vtUp.p50) / median(socatUp.p50);
        const double upRatio99 = median(vtUp.p99) / median(socatUp.p99);
        const double down50 = median(vtDown.p50);
        const double down99 = median(vtDown.p99);
        const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
        std::printf("\nmedian of %d runs (each run's p50 and p99 of %d messages), milliseconds\n",
                    options.runs, options.messages);
        std::printf("%-28s %10s %10s %8s   %s\n", "", "gateway VT", "socat", "ratio", "target");
        std::printf("%-28s %10.3f %10.3f %8.2f   <= 1.5x socat: %s\n", "host -> terminal p50",
                    median(vtUp.p50), median(socatUp.p50), upRatio50, verdict(upRatio50 <= 1.5));
        std::printf("%-28s %10.3f %10.3f %8.2f   <= 2x socat: %s\n", "host -> terminal p99",
                    median(vtUp.p99), median(socatUp.p99), upRatio99, verdict(upRatio99 <= 2.0));
        std::printf("%-28s %10.3f %10.3f %8s   <= 1 ms: %s\n", "terminal -> host p50 (net)",
                    down50, median(socatDown.p50), "-", verdict(down50 <= 1.0));
        std::printf("%-28s %10.3f %10.3f %8s   <= 2 ms: %s\n", "terminal -> host p99 (net)",
                    down99, median(socatDown.p99), "-", verdict(down99 <= 2.0));
        std::printf("%-28s %10s\n", "", "gateway LF");
        std::printf("%-28s %10.3f %10.3f   (TLS and SEED, no target)\n", "host -> terminal p50 / p99",
                    median(lfUp.p50), median(lfUp.p99));
        std::printf("%-28s %10.3f %10.3f\n", "terminal -> host p50 / p99", median(lfDown.p50),
                    median(lfDown.p99));
        std::printf("(net: less the gateway's 100 ms quiet period; socat has none)\n");
        std::printf("%-28s %10.3f %10.3f   (a bare process: timer, then write; no relay)\n",
                    "machine floor, net p50 / p99", median(floorDown.p50), median(floorDown.p99));
        std::printf("\nstart-up to \"%s\" over %d starts: median %.0f ms, slowest %.0f ms\n",
                    kReady.c_str(), options.starts, median(ready),
                    *std::max_element(ready.begin(), ready.end()));
        std::printf("resident memory when idle (2 s after a line check): median %.0f kB\n",
                    median(resident));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "relay_latency: %s\n", error.what());
        return 1;
    }
}
