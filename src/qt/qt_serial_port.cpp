#include "qt/qt_serial_port.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "qt/cp949.h"
#include "qt/yield_to_reader.h"

namespace tavorline {
namespace {

constexpr qint64 kMaxEventCount = std::numeric_limits<std::uint16_t>::max();
constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
// Slack on top of twice the line time, for the driver and a busy machine.
constexpr qint64 kDrainSlackMs = 1000;
// How often a lost device is looked for, only while it is lost: first every
// two seconds, at most once a minute for one that keeps failing.
constexpr int kDeviceWatchFirstMs = 2000;
constexpr int kDeviceWatchLongestMs = 64000;
constexpr qint64 kLineSettledMs = 60000;

}  // namespace

QtSerialPort::QtSerialPort(std::filesystem::path programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)) {
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
    deviceWatch_.setInterval(kDeviceWatchFirstMs);
    deviceWatch_.setTimerType(Qt::VeryCoarseTimer);
    connect(&deviceWatch_, &QTimer::timeout, this, &QtSerialPort::checkWatchedDevice);
}

QtSerialPort::~QtSerialPort() { close(); }

void QtSerialPort::setReceiveHandler(ReceiveHandler handler) { handler_ = std::move(handler); }

QString QtSerialPort::devicePath(const std::filesystem::path& programFolder, int number) {
    const QString local = QDir(QFile::decodeName(programFolder.c_str()))
                              .filePath(QStringLiteral("COM%1").arg(number));
    // A dangling link still names the device the user meant: opening it
    // reports that, rather than silently trying a built-in port.
    const QFileInfo info(local);
    if (info.exists() || info.isSymLink()) return local;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

void QtSerialPort::setComNumber(int number) { comNumber_ = number; }

void QtSerialPort::setBaud(int baud) { baud_ = baud; }

Bytes QtSerialPort::portLabel() const { return "COM" + std::to_string(comNumber_); }

void QtSerialPort::open() {
    if (port_.isOpen()) return;
    if (comNumber_ <= 0) {
        throw SerialError(portLabel() + " is not a serial port: the port number must be 1 or more");
    }
    if (baud_ <= 0) {
        throw SerialError(portLabel() + ": " + std::to_string(baud_) + " is not a valid speed");
    }
    const QString path = devicePath(programFolder_, comNumber_);
    port_.setPortName(path);
    port_.setBaudRate(baud_);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        const std::string message = "Cannot open serial port " + portLabel() + " (" +
                                    toCp949(path) + "): " + toCp949(port_.errorString());
        port_.clearError();
        throw SerialError(message);
    }
    outputDrained_ = false;
    openedPath_ = path;
    // A pty has no modem lines; the terminal cable does, and wants them up.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    port_.clearError();
}

void QtSerialPort::close() {
    if (port_.isOpen()) port_.close();
}

bool QtSerialPort::isOpen() const { return port_.isOpen(); }

bool QtSerialPort::charReady() { return port_.isOpen() && port_.bytesAvailable() > 0; }

unsigned char QtSerialPort::getChar() {
    char byte = 0;
    if (!port_.isOpen() || !port_.getChar(&byte)) {
        throw SerialError("No received byte waiting on " + portLabel());
    }
    ++bytesTaken_;
    return static_cast<unsigned char>(byte);
}

// Bytes go to the driver at once while Qt holds none of ours: handing them
// to QSerialPort alone would leave them until the event loop or a wait
// writes them. What the driver does not take waits in Qt's queue, and the
// call returns once that queue is empty, so that the engine's drain poll
// finds it empty and never adds its 50 ms.
void QtSerialPort::putString(BytesView bytes) {
    if (!port_.isOpen()) throw SerialError(portLabel() + " is not open");
    if (bytes.empty()) return;
    if (monitoring_) emit transmitted();
    outputDrained_ = false;
    bytes.remove_prefix(writeToDriver(bytes));
    if (bytes.empty()) return;
    const auto size = static_cast<qint64>(bytes.size());
    if (port_.write(bytes.data(), size) != size) {
        const std::string message =
            "Cannot write to " + portLabel() + ": " + toCp949(port_.errorString());
        port_.clearError();
        port_.clear(QSerialPort::Output);
        throw SerialError(message);
    }
    const qint64 lineTimeMs = size * kBitsPerByte * 1000 / std::max(baud_, 1);
    const QDeadlineTimer deadline(2 * lineTimeMs + kDrainSlackMs);
    while (port_.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime())) &&
            port_.error() != QSerialPort::NoError && port_.error() != QSerialPort::TimeoutError) {
            break;
        }
    }
    if (port_.bytesToWrite() > 0) {
        const std::string reason = port_.error() != QSerialPort::NoError
                                       ? toCp949(port_.errorString())
                                       : std::string("the line does not take the bytes");
        port_.clearError();
        port_.clear(QSerialPort::Output);
        throw SerialError("Cannot write to " + portLabel() + ": " + reason);
    }
}

// How many of the bytes the driver took; none while Qt still queues earlier
// ones, which must go first.
std::size_t QtSerialPort::writeToDriver(BytesView bytes) {
    if (port_.bytesToWrite() > 0) return 0;
    for (;;) {
        const ssize_t written = ::write(port_.handle(), bytes.data(), bytes.size());
        if (written > 0) yieldToReader();
        if (written >= 0) return static_cast<std::size_t>(written);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        throw SerialError("Cannot write to " + portLabel() + ": " + std::strerror(errno));
    }
}

// Counts what Qt still holds and what the driver has not put on the line
// yet: the next chunk begins with a flush of the output, which must not
// throw away bytes the driver is still sending.
int QtSerialPort::outBuffUsed() {
    if (!port_.isOpen()) return 0;
    // Pushes a queue that has not drained yet: the engine polls with the
    // event loop blocked, so nothing else would move it.
    if (port_.bytesToWrite() > 0) port_.waitForBytesWritten(0);
    int inDriver = 0;
    if (::ioctl(port_.handle(), TIOCOUTQ, &inDriver) != 0) inDriver = 0;
    const qint64 used = port_.bytesToWrite() + std::max(inDriver, 0);
    outputDrained_ = used == 0;
    return static_cast<int>(std::min<qint64>(used, kMaxEventCount));
}

// Only what is still counted as waiting is discarded. A pty counts nothing
// once written, and flushing it anyway can drop bytes on their way to the
// other side. Output seen drained stays drained until the next write, so the
// driver need not be asked again before it.
void QtSerialPort::flushOutBuffer() {
    if (!port_.isOpen() || outputDrained_) return;
    if (outBuffUsed() > 0) {
        port_.clear(QSerialPort::Output);
        outputDrained_ = true;
    }
}

void QtSerialPort::flushInBuffer() {
    if (port_.isOpen()) port_.clear(QSerialPort::Input);
}

void QtSerialPort::setMonitoring(bool on) { monitoring_ = on; }

void QtSerialPort::onReadyRead() {
    if (monitoring_) emit received();
    scheduleReceiveEvent();
}

// An unplugged adapter (EIO) or a hung-up line (a read that returns nothing)
// leaves a dead descriptor that QSerialPort would report again on every pass
// of the event loop. Letting go of it at once stops that, and lets the next
// reset find the device again when it comes back. Queued, because
// QSerialPort reports this from inside its own notifier.
void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) return;
    if (closeQueued_) return;
    closeQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            closeQueued_ = false;
            const QSerialPort::SerialPortError error = port_.error();
            if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) return;
            const QString reason = port_.errorString();
            close();
            watchForDevice(openedPath_);
            emit lineLost(reason);
        },
        Qt::QueuedConnection);
}

// Once the device is there again (an adapter plugged back in, a link whose
// target came back) it is reported, so that the gateway can open it without
// waiting for a reset nobody may press. Each report that leaves the line
// closed, or is followed by a new loss within a minute, makes the next look
// wait twice as long, so a device that keeps failing costs a reset a minute
// at most rather than one every two seconds.
void QtSerialPort::watchForDevice(const QString& path) {
    watchedPath_ = path;
    if (!sinceLineBack_.isValid() || sinceLineBack_.hasExpired(kLineSettledMs)) {
        deviceWatch_.setInterval(kDeviceWatchFirstMs);
    }
    deviceWatch_.start();
}

void QtSerialPort::checkWatchedDevice() {
    if (port_.isOpen()) {
        deviceWatch_.stop();
        return;
    }
    if (!QFileInfo::exists(watchedPath_)) return;
    deviceWatch_.setInterval(std::min(deviceWatch_.interval() * 2, kDeviceWatchLongestMs));
    sinceLineBack_.start();
    emit lineBack();
}

void QtSerialPort::scheduleReceiveEvent() {
    if (eventQueued_) return;
    eventQueued_ = true;
    QMetaObject::invokeMethod(this, &QtSerialPort::raiseReceiveEvent, Qt::QueuedConnection);
}

// Bytes the handler left behind are offered again from the event loop, but
// only when it took some this time: a handler that takes nothing waits for
// new bytes instead of being called round and round.
void QtSerialPort::raiseReceiveEvent() {
    eventQueued_ = false;
    if (!port_.isOpen() || !handler_) return;
    const qint64 waiting = port_.bytesAvailable();
    if (waiting <= 0) return;
    const std::uint64_t takenBefore = bytesTaken_;
    handler_(static_cast<std::uint16_t>(std::min(waiting, kMaxEventCount)));
    const bool tookSome = bytesTaken_ != takenBefore;
    if (tookSome && port_.isOpen() && port_.bytesAvailable() > 0) scheduleReceiveEvent();
}

}  // namespace tavorline
