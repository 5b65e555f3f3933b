// Linux: fork and exec, the streams on pipes, ended by signals.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "child_process.h"

namespace tavorline::testing {
namespace {

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

void closeIfOpen(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace

void ChildProcess::launch(std::vector<std::string> arguments) {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (!outputFile_ && (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)) {
        throw std::runtime_error("pipe failed");
    }
    int report[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        becomeChild(argv.data(), parent, out[1], err[1],
                    outputFile_ ? outputFile_->c_str() : nullptr, report[1]);
    }
    int failed = pid < 0 ? errno : 0;
    closeIfOpen(out[1]);
    closeIfOpen(err[1]);
    closeIfOpen(report[1]);
    // The report pipe closes at the exec: nothing to read means it started.
    if (pid > 0 && ::read(report[0], &failed, sizeof failed) == sizeof failed) {
        ::waitpid(pid, nullptr, 0);
    }
    ::close(report[0]);
    if (failed != 0) {
        closeIfOpen(out[0]);
        closeIfOpen(err[0]);
        throw std::runtime_error("cannot start " + name_ + ": " + std::strerror(failed));
    }
    process_ = pid;
    processId_ = static_cast<unsigned long>(pid);
    pipes_[0] = out[0];
    pipes_[1] = err[0];
}

std::size_t ChildProcess::readSome(int stream, char* buffer, std::size_t size) {
    ssize_t got = 0;
    do {
        got = ::read(static_cast<int>(pipes_[stream]), buffer, size);
    } while (got < 0 && errno == EINTR);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void ChildProcess::closePipe(int stream) { ::close(static_cast<int>(pipes_[stream])); }

std::optional<int> ChildProcess::exitStatusNow() {
    int status = 0;
    if (::waitpid(static_cast<pid_t>(process_), &status, WNOHANG) != process_) return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

void ChildProcess::end(bool forcibly) {
    ::kill(static_cast<pid_t>(process_), forcibly ? SIGKILL : SIGTERM);
}

void ChildProcess::releaseProcess() {}

}  // namespace tavorline::testing
