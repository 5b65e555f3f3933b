#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <condition_variable>
#include <mutex>

#include "pty_pair.h"

// Helpers for end-to-end tests: real programs of build/bin, pty pairs for the
// terminal's cable, temporary gateway folders. Waits take a safety limit only;
// they return as soon as what they wait for is there.
namespace tavorline::e2e {

using namespace std::chrono_literals;

// The generous limit for anything the gateway should do within a second.
inline constexpr std::chrono::milliseconds kSafetyLimit = 15s;

// A program of the build tree's bin folder.
std::string program(std::string_view name);

// A folder that is removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A child process whose standard output and error are collected as they come.
// Ended with SIGTERM (then SIGKILL) when the object goes, if still running,
// and sent SIGTERM by the kernel when the thread that made it ends: make it
// on the test's own thread, which outlives it.
// With an output file, both streams go to that file instead and no thread of
// this process wakes for each line the child prints: for measurements, where
// such a thread would compete for the CPUs with what is being timed.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> arguments,
                          std::optional<std::filesystem::path> outputFile = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    std::string output() const;
    std::string errors() const;
    // Waits until standard output holds `text`; false at the limit.
    bool waitForOutput(std::string_view text, std::chrono::milliseconds limit = kSafetyLimit);
    // The first line of standard output, empty at the limit.
    std::string firstLine(std::chrono::milliseconds limit = kSafetyLimit);
    // The exit status once the process has ended and its output is all in,
    // nullopt at the limit; -N when signal N ended it.
    std::optional<int> waitForExit(std::chrono::milliseconds limit = kSafetyLimit);
    bool running();
    void terminate();
    // Everything the process printed, for failure messages.
    std::string transcript() const;

private:
    void collect(int outFd, int errFd);
    bool awaitOutput(const std::function<bool(const std::string&)>& done,
                     std::chrono::milliseconds limit);

    std::string name_;
    std::optional<std::filesystem::path> outputFile_;
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string out_;
    std::string err_;
    bool drained_ = false;  // both pipes at their end
};

// The terminal's cable (blocking waits: the gateway runs in its own process).
using testing::PtyPair;

// A socat pty pair: two links whose devices are connected to each other, for
// running terminal-sim against the gateway the way an installer would.
class SocatPair {
public:
    SocatPair(const std::filesystem::path& gatewaySide, const std::filesystem::path& terminalSide);
    ~SocatPair();

private:
    std::unique_ptr<ChildProcess> socat_;
};

// Text in the gateway's code page (CP949) from UTF-8.
std::string cp949(std::string_view utf8);
std::string readFile(const std::filesystem::path& file);

// vorn.Ini in `home` with section [VORN], CR LF line ends, the keys in order.
void writeVornIni(const std::filesystem::path& home,
                  const std::vector<std::pair<std::string, std::string>>& keys);
// The value of `key` in vorn.Ini, without the quotes that keep trailing blanks.
std::optional<std::string> iniValue(const std::filesystem::path& home, std::string_view key);
// Today's daily log of the gateway in `home`, CP949 bytes.
std::string todaysLog(const std::filesystem::path& home);
// Waits until today's log holds `text` (CP949); false at the limit.
bool waitForLog(const std::filesystem::path& home, std::string_view text,
                std::chrono::milliseconds limit = kSafetyLimit);

// The gateway, headless, on the folder `home`; started once it shows its
// first idle status.
class GatewayProcess {
public:
    explicit GatewayProcess(const std::filesystem::path& home);
    ChildProcess& process() { return *process_; }
    bool ready() const { return ready_; }

private:
    std::unique_ptr<ChildProcess> process_;
    bool ready_ = false;
};

// The running child of this process whose program is `name`; -1 when none.
pid_t childPid(std::string_view name);

}  // namespace tavorline::e2e
