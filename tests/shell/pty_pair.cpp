#include "pty_pair.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <cerrno>
#include <stdexcept>

namespace tavorline::testing {

PtyPair::PtyPair() {
    char name[256] = {};
    struct termios raw = {};
    cfmakeraw(&raw);
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    if (master_ >= 0) ::close(master_);
    ::close(slave_);
}

void PtyPair::send(std::string_view bytes) {
    const QDeadlineTimer limit(std::chrono::seconds(30));
    while (!bytes.empty()) {
        const ssize_t written = ::write(master_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno != EAGAIN) throw std::runtime_error("pty write failed");
        if (limit.hasExpired()) throw std::runtime_error("pty does not take the bytes");
        QCoreApplication::processEvents();
        QThread::msleep(1);
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
    ioctl(slave_, FIONREAD, &waiting);
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
    const QDeadlineTimer deadline(limit);
    std::string received = takeReceived();
    while (received.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
        received += takeReceived();
    }
    return received;
}

}  // namespace tavorline::testing
