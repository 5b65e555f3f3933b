#include "e2e_support.h"

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavorline::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// In the child between fork and exec: system calls only, the parent has
// threads. The kernel sends SIGTERM to the child when the test process dies,
// however it dies (a crash, ctest's time-out), so that no child outlives it;
// without that a host-sim or gateway would stay on loopback for ever. Exec
// failures go to `report` as errno.
[[noreturn]] void becomeChild(char* const* argv, pid_t parent, int outFd, int errFd,
                              const char* outputFile, int report) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);  // the parent died before prctl
    if (outputFile != nullptr) {
        outFd = ::open(outputFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        errFd = outFd;
    }
    if (outFd < 0 || ::dup2(outFd, STDOUT_FILENO) < 0 || ::dup2(errFd, STDERR_FILENO) < 0) {
        const int error = errno;
        ::write(report, &error, sizeof error);
        ::_exit(127);
    }
    ::execvp(argv[0], argv);
    const int error = errno;
    ::write(report, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

std::string program(std::string_view name) {
    return std::string(TAVORLINE_BIN_DIR) + "/" + std::string(name);
}

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tavorline-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ChildProcess::ChildProcess(std::vector<std::string> arguments,
                           std::optional<std::filesystem::path> outputFile)
    : name_(arguments.at(0)), outputFile_(std::move(outputFile)) {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (!outputFile_ && (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)) {
        throw std::runtime_error("pipe failed");
    }
    int report[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (outputFile_) drained_ = true;
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        becomeChild(argv.data(), parent, out[1], err[1],
                    outputFile_ ? outputFile_->c_str() : nullptr, report[1]);
    }
    int failed = pid_ < 0 ? errno : 0;
    const auto closeIfOpen = [](int fd) {
        if (fd >= 0) ::close(fd);
    };
    closeIfOpen(out[1]);
    closeIfOpen(err[1]);
    closeIfOpen(report[1]);
    // The report pipe closes at the exec: nothing to read means it started.
    if (pid_ > 0 && ::read(report[0], &failed, sizeof failed) == sizeof failed) {
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(report[0]);
    if (failed != 0) {
        closeIfOpen(out[0]);
        closeIfOpen(err[0]);
        throw std::runtime_error("cannot start " + name_ + ": " + std::strerror(failed));
    }
    if (!outputFile_) {
        reader_ = std::thread([this, outFd = out[0], errFd = err[0]] { collect(outFd, errFd); });
    }
}

ChildProcess::~ChildProcess() {
    terminate();
    if (reader_.joinable()) reader_.join();
}

void ChildProcess::collect(int outFd, int errFd) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (pollfd& entry : fds) {
            if (entry.fd < 0 || entry.revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(entry.fd, buffer, sizeof buffer);
            if (got <= 0) {
                ::close(entry.fd);
                entry.fd = -1;
                --open;
                continue;
            }
            std::lock_guard lock(mutex_);
            (entry.fd == outFd ? out_ : err_).append(buffer, static_cast<std::size_t>(got));
            changed_.notify_all();
        }
    }
    std::lock_guard lock(mutex_);
    drained_ = true;
    changed_.notify_all();
}

std::string ChildProcess::output() const {
    if (outputFile_) return readFile(*outputFile_);
    std::lock_guard lock(mutex_);
    return out_;
}

std::string ChildProcess::errors() const {
    std::lock_guard lock(mutex_);
    return err_;
}

bool ChildProcess::awaitOutput(const std::function<bool(const std::string&)>& done,
                               std::chrono::milliseconds limit) {
    if (!outputFile_) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return done(out_); });
    }
    const auto end = Clock::now() + limit;
    while (!done(readFile(*outputFile_))) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

bool ChildProcess::waitForOutput(std::string_view text, std::chrono::milliseconds limit) {
    return awaitOutput(
        [text](const std::string& out) { return out.find(text) != std::string::npos; }, limit);
}

std::string ChildProcess::firstLine(std::chrono::milliseconds limit) {
    if (!awaitOutput([](const std::string& out) { return out.find('\n') != std::string::npos; },
                     limit)) {
        return {};
    }
    const std::string out = output();
    return out.substr(0, out.find('\n'));
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!status_) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            break;
        }
        if (done < 0 || Clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, std::max(end, Clock::now() + 1s), [this] { return drained_; });
    return status_;
}

bool ChildProcess::running() { return !waitForExit(0ms).has_value(); }

void ChildProcess::terminate() {
    if (!running()) return;
    ::kill(pid_, SIGTERM);
    if (waitForExit(5s)) return;
    ::kill(pid_, SIGKILL);
    waitForExit(5s);
}

std::string ChildProcess::transcript() const {
    if (outputFile_) return "--- " + name_ + " output and errors:\n" + readFile(*outputFile_);
    std::lock_guard lock(mutex_);
    return "--- " + name_ + " output:\n" + out_ + "--- " + name_ + " errors:\n" + err_;
}

SocatPair::SocatPair(const std::filesystem::path& gatewaySide,
                     const std::filesystem::path& terminalSide) {
    socat_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"socat", "pty,raw,echo=0,link=" + gatewaySide.string(),
                                 "pty,raw,echo=0,link=" + terminalSide.string()});
    const auto end = Clock::now() + kSafetyLimit;
    while (!(std::filesystem::exists(gatewaySide) && std::filesystem::exists(terminalSide))) {
        if (Clock::now() >= end || !socat_->running()) {
            throw std::runtime_error("socat made no pty pair\n" + socat_->transcript());
        }
        std::this_thread::sleep_for(5ms);
    }
}

SocatPair::~SocatPair() = default;

std::string cp949(std::string_view utf8) {
    iconv_t converter = ::iconv_open("CP949", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP949 converter");
    std::string in(utf8);
    std::string out(in.size() * 2 + 8, '\0');
    char* inPointer = in.data();
    char* outPointer = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t result = ::iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) throw std::runtime_error("not CP949 text");
    out.resize(out.size() - outLeft);
    return out;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeVornIni(const std::filesystem::path& home,
                  const std::vector<std::pair<std::string, std::string>>& keys) {
    std::ofstream out(home / "vorn.Ini", std::ios::binary);
    out << "[VORN]\r\n";
    for (const auto& [key, value] : keys) out << key << '=' << value << "\r\n";
}

std::optional<std::string> iniValue(const std::filesystem::path& home, std::string_view key) {
    std::istringstream lines(readFile(home / "vorn.Ini"));
    std::string line;
    const std::string prefix = std::string(key) + "=";
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return std::nullopt;
}

std::string todaysLog(const std::filesystem::path& home) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char name[32];
    std::strftime(name, sizeof name, "log%Y%m%d.txt", &local);
    return readFile(home / "LOG" / name);
}

bool waitForLog(const std::filesystem::path& home, std::string_view text,
                std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (todaysLog(home).find(text) == std::string::npos) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

GatewayProcess::GatewayProcess(const std::filesystem::path& home) {
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{program("tavorline"), "--headless", "--home", home.string()});
    ready_ = process_->waitForOutput("대기중");
}

pid_t childPid(std::string_view name) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text)) continue;
        const auto open = text.find('(');
        const auto close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        char state = 0;
        int parent = 0;
        std::istringstream(text.substr(close + 1)) >> state >> parent;
        if (parent == ::getpid() && state != 'Z' &&
            std::string_view(text).substr(open + 1, close - open - 1) == name.substr(0, 15)) {
            return static_cast<pid_t>(std::stol(text));
        }
    }
    return -1;
}

}  // namespace tavorline::e2e
