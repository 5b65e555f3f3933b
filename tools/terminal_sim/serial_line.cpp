#include "terminal_sim/serial_line.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/errors.h"

namespace tavorline::sim {
namespace {

speed_t speedFor(int baudRate) {
    static constexpr std::pair<int, speed_t> kSpeeds[] = {
        {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baudRate) return speed;
    }
    throw SetupError("unsupported speed " + std::to_string(baudRate));
}

}  // namespace

SerialLine::SerialLine(const std::string& device, int baudRate) : device_(device) {
    const speed_t speed = speedFor(baudRate);
    // Without O_NONBLOCK, opening a real port whose CLOCAL is still off waits
    // for the carrier, which a terminal's cable may never raise: for ever.
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) throw SetupError("cannot open " + device + ": " + std::strerror(errno));
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0) {
        ::close(fd_);
        throw SetupError(device + " is not a serial device: " + std::strerror(errno));
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
    if (::tcsetattr(fd_, TCSANOW, &settings) != 0 ||
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd_);
        throw SetupError("cannot set up " + device + ": " + std::strerror(errno));
    }
}

SerialLine::~SerialLine() {
    if (fd_ >= 0) ::close(fd_);
}

void SerialLine::write(BytesView bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0)
            throw ProtocolError("cannot write to " + device_ + ": " + std::strerror(errno));
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    ::tcdrain(fd_);
}

bool SerialLine::readSome(Bytes& into, int timeoutMs) {
    pollfd entry{fd_, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return false;
    char buffer[4096];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got <= 0) throw ProtocolError("the line " + device_ + " is gone");
    into.append(buffer, static_cast<std::size_t>(got));
    return true;
}

}  // namespace tavorline::sim
