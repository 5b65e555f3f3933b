#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace tavorline::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::function<void()>& pump() {
    static std::function<void()> instance;
    return instance;
}

int millisecondsLeft(Clock::time_point end) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

// Children (the gateway, the simulators) must not hold the test's line.
void closeOnExec(int fd) { ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC); }

}  // namespace

void PtyPair::setPump(std::function<void()> function) { pump() = std::move(function); }

PtyPair::PtyPair() {
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    closeOnExec(master_);
    closeOnExec(slave_);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    if (master_ >= 0) ::close(master_);
    ::close(slave_);
}

void PtyPair::linkAs(const std::filesystem::path& link) const {
    std::filesystem::create_symlink(slavePath_, link);
}

void PtyPair::send(std::string_view bytes) {
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!bytes.empty()) {
        const ssize_t written = ::write(master_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("pty write failed");
        }
        const int left = millisecondsLeft(end);
        if (left == 0) throw std::runtime_error("pty does not take the bytes");
        await(POLLOUT, left);
    }
}

void PtyPair::sendNow(std::string_view bytes) {
    if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("pty did not take the bytes at once");
    }
}

void PtyPair::hangUp() {
    ::close(master_);
    master_ = -1;
}

int PtyPair::waitingAtGatewaySide() const {
    int waiting = 0;
    ::ioctl(slave_, FIONREAD, &waiting);
    return waiting;
}

std::string PtyPair::takeReceived() {
    std::string received;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(master_, buffer, sizeof buffer);
        if (count <= 0) break;
        received.append(buffer, static_cast<std::size_t>(count));
    }
    return received;
}

std::string PtyPair::receive(std::size_t count, std::chrono::milliseconds limit) {
    return receiveWhile([count](const std::string& got) { return got.size() < count; }, limit);
}

std::string PtyPair::receiveUntil(std::string_view tail, std::chrono::milliseconds limit) {
    return receiveWhile([tail](const std::string& got) { return !got.ends_with(tail); }, limit);
}

std::string PtyPair::receiveFrame(std::chrono::milliseconds limit) {
    return receiveWhile(
        [](const std::string& got) {
            const std::size_t etx = got.find('\x03');
            return etx == std::string::npos || etx + 1 >= got.size();
        },
        limit);
}

std::string PtyPair::receiveFor(std::chrono::milliseconds span) {
    return receiveWhile([](const std::string&) { return true; }, span);
}

std::string PtyPair::receiveWhile(const std::function<bool(const std::string&)>& wanting,
                                  std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    std::string received = takeReceived();
    while (wanting(received)) {
        const int left = millisecondsLeft(end);
        if (left == 0) break;
        await(POLLIN, left);
        received += takeReceived();
    }
    return received;
}

// With a pump, a millisecond at a time, so that the gateway in this process
// runs while the test waits for it.
void PtyPair::await(short events, int timeoutMs) const {
    const bool pumping = static_cast<bool>(pump());
    if (pumping) pump()();
    pollfd entry{master_, events, 0};
    ::poll(&entry, 1, pumping ? std::min(timeoutMs, 1) : timeoutMs);
}

}  // namespace tavorline::testing
