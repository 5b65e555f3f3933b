#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tavorline::testing {

// Generous: under Wine on a busy machine a program takes seconds to start.
inline constexpr std::chrono::milliseconds kChildPatience{20000};

// A program started from a test, its standard output and error collected as
// they come. Ended when the object goes, if still running (on Linux SIGTERM,
// then SIGKILL). On Linux the kernel also sends it SIGTERM when the thread
// that made it ends: make it on the test's own thread, which outlives it.
// With an output file, both streams go to that file instead and no thread of
// this process wakes for each line the child prints: for measurements, where
// such a thread would compete for the CPUs with what is being timed.
class ChildProcess {
public:
    // The program and its arguments, UTF-8; throws when it cannot start.
    explicit ChildProcess(std::vector<std::string> arguments,
                          std::optional<std::filesystem::path> outputFile = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    unsigned long processId() const { return processId_; }
    // What it printed so far.
    std::string output() const;
    std::string errors() const;
    // Waits until standard output holds `text`; false at the limit.
    bool waitForOutput(std::string_view text, std::chrono::milliseconds limit = kChildPatience);
    // The first line of standard output, empty at the limit.
    std::string firstLine(std::chrono::milliseconds limit = kChildPatience);
    // The exit status once the process has ended and its output is all in,
    // nullopt at the limit; on Linux -N when signal N ended it.
    std::optional<int> waitForExit(std::chrono::milliseconds limit = kChildPatience);
    bool running();
    void terminate();
    // Everything the process printed, for failure messages.
    std::string transcript() const;

private:
    bool awaitOutput(const std::function<bool(const std::string&)>& done,
                     std::chrono::milliseconds limit);
    void collect(int stream, std::string& into);

    // The platform's part: child_process_posix.cpp or child_process_windows.cpp.
    // Starts the program with its standard output and error on pipes_, or
    // both in the output file.
    void launch(std::vector<std::string> arguments);
    // Blocks for the next bytes of pipe `stream`; 0 at its end.
    std::size_t readSome(int stream, char* buffer, std::size_t size);
    void closePipe(int stream);
    std::optional<int> exitStatusNow();
    void end(bool forcibly);
    void releaseProcess();

    std::string name_;
    std::optional<std::filesystem::path> outputFile_;
    // The platform's handles, as integers: this header stays free of its headers.
    std::intptr_t process_ = -1;
    std::intptr_t pipes_[2] = {-1, -1};
    unsigned long processId_ = 0;
    std::optional<int> status_;
    std::vector<std::thread> readers_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string out_;
    std::string err_;
    int streamsOpen_ = 0;
};

}  // namespace tavorline::testing
