#include "child_process.h"

#include "eventually.h"
#include "temp_folder.h"

namespace tavorline::testing {

using namespace std::chrono_literals;

ChildProcess::ChildProcess(std::vector<std::string> arguments,
                           std::optional<std::filesystem::path> outputFile)
    : name_(arguments.at(0)), outputFile_(std::move(outputFile)) {
    launch(std::move(arguments));
    if (outputFile_) return;
    streamsOpen_ = 2;
    readers_.emplace_back([this] { collect(0, out_); });
    readers_.emplace_back([this] { collect(1, err_); });
}

ChildProcess::~ChildProcess() {
    terminate();
    for (std::thread& reader : readers_) reader.join();
    releaseProcess();
}

void ChildProcess::collect(int stream, std::string& into) {
    char buffer[4096];
    for (std::size_t got; (got = readSome(stream, buffer, sizeof buffer)) > 0;) {
        std::lock_guard lock(mutex_);
        into.append(buffer, got);
        changed_.notify_all();
    }
    closePipe(stream);
    std::lock_guard lock(mutex_);
    --streamsOpen_;
    changed_.notify_all();
}

std::string ChildProcess::output() const {
    if (outputFile_) return readBytes(*outputFile_);
    std::lock_guard lock(mutex_);
    return out_;
}

std::string ChildProcess::errors() const {
    std::lock_guard lock(mutex_);
    return err_;
}

bool ChildProcess::awaitOutput(const std::function<bool(const std::string&)>& done,
                               std::chrono::milliseconds limit) {
    if (outputFile_) return eventually([&] { return done(readBytes(*outputFile_)); }, limit);
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(out_); });
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
    const auto end = std::chrono::steady_clock::now() + limit;
    if (!eventually([this] { return status_ || (status_ = exitStatusNow()); }, limit)) {
        return std::nullopt;
    }
    // Whatever it printed last may still be on its way through the pipes.
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, std::max(end, std::chrono::steady_clock::now() + 1s),
                        [this] { return streamsOpen_ == 0; });
    return status_;
}

bool ChildProcess::running() { return !waitForExit(0ms).has_value(); }

void ChildProcess::terminate() {
    if (!running()) return;
    end(false);
    if (waitForExit(5s)) return;
    end(true);
    waitForExit(5s);
}

std::string ChildProcess::transcript() const {
    if (outputFile_) return "--- " + name_ + " output and errors:\n" + readBytes(*outputFile_);
    std::lock_guard lock(mutex_);
    return "--- " + name_ + " output:\n" + out_ + "--- " + name_ + " errors:\n" + err_;
}

}  // namespace tavorline::testing
