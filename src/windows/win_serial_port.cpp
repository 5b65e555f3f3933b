#include "windows/win_serial_port.h"

#include "windows/win_text.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace tavorline::win {
namespace {

constexpr std::size_t kMaxEventCount = std::numeric_limits<std::uint16_t>::max();
constexpr DWORD kQueueSize = 4096;
constexpr std::size_t kReadChunk = 65536;
constexpr DWORD kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
// Slack on top of twice the line time, for the driver and a busy machine.
constexpr DWORD kWriteSlackMs = 1000;
// How often a lost device is looked for, only while it is lost: first every
// two seconds, at most once a minute for one that keeps failing.
constexpr std::chrono::milliseconds kDeviceWatchFirst{2000};
constexpr std::chrono::milliseconds kDeviceWatchLongest{64000};
constexpr ULONGLONG kLineSettledMs = 60000;
// How long a call may look signalled yet unfinished before it counts as
// aborted (see finish()).
constexpr std::chrono::milliseconds kLostCompletionGrace{5};

HANDLE createManualResetEvent() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) throw std::runtime_error("cannot create an event");
    return event;
}

// Starts an overlapped call's bookkeeping; false (with the error left in
// GetLastError) when it failed at once. Completion, at once or later, always
// shows on the event, so one handler deals with both.
bool started(BOOL result, OVERLAPPED& overlapped) {
    if (result) {
        SetEvent(overlapped.hEvent);
        return true;
    }
    return GetLastError() == ERROR_IO_PENDING;
}

}  // namespace

WinSerialPort::WinSerialPort(EventLoop& loop, std::filesystem::path programFolder)
    : loop_(loop),
      programFolder_(std::move(programFolder)),
      readBuffer_(kReadChunk, '\0'),
      lostEvent_(createManualResetEvent()),
      deviceWatch_(loop, kDeviceWatchFirst),
      deviceWatchInterval_(kDeviceWatchFirst) {
    read_.overlapped.hEvent = createManualResetEvent();
    write_.overlapped.hEvent = createManualResetEvent();
    loop_.watch(lostEvent_, [this] { reportLineLost(); });
    deviceWatch_.setHandler([this] { checkWatchedDevice(); });
}

WinSerialPort::~WinSerialPort() {
    close();
    loop_.unwatch(lostEvent_);
    for (HANDLE event : {lostEvent_, read_.overlapped.hEvent, write_.overlapped.hEvent}) {
        CloseHandle(event);
    }
}

void WinSerialPort::setComNumber(int number) { comNumber_ = number; }

void WinSerialPort::setBaud(int baud) { baud_ = baud; }

Bytes WinSerialPort::portLabel() const { return "COM" + std::to_string(comNumber_); }

std::wstring WinSerialPort::devicePath() const {
    return L"\\\\.\\COM" + std::to_wstring(comNumber_);
}

void WinSerialPort::open() {
    if (isOpen()) return;
    if (comNumber_ <= 0) {
        throw SerialError(portLabel() + " is not a serial port: the port number must be 1 or more");
    }
    if (baud_ <= 0) {
        throw SerialError(portLabel() + ": " + std::to_string(baud_) + " is not a valid speed");
    }
    port_ = CreateFileW(devicePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port_ == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        throw SerialError("Cannot open serial port " + portLabel() + " (\\\\.\\" + portLabel() +
                          "): " + systemMessage(error));
    }
    try {
        configure();
    } catch (const SerialError&) {
        CloseHandle(port_);
        port_ = INVALID_HANDLE_VALUE;
        throw;
    }
    ++openCount_;
    outputDrained_ = false;
    writeError_.clear();
    loop_.watch(read_.overlapped.hEvent, [this] { onReadDone(); });
    loop_.watch(write_.overlapped.hEvent, [this] { collectWrite(); });
    receiveNext();
}

void WinSerialPort::configure() {
    const auto fail = [this](const char* what) {
        const DWORD error = GetLastError();
        throw SerialError("Cannot open serial port " + portLabel() + " (\\\\.\\" + portLabel() +
                          "): " + what + ": " + systemMessage(error));
    };
    SetupComm(port_, kQueueSize, kQueueSize);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port_, &dcb)) fail("cannot read the line settings");
    dcb.BaudRate = static_cast<DWORD>(baud_);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(port_, &dcb)) fail("cannot set the line settings");
    // A pty has no modem lines and refuses these; the terminal cable has them
    // and wants them up.
    EscapeCommFunction(port_, SETDTR);
    EscapeCommFunction(port_, SETRTS);

    // With only an interval time-out a read waits for the first byte and
    // ends at the first pause after it (one that returns at the first byte
    // never completes under Wine). A write may take twice its line time
    // before it counts as stuck.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 2;
    timeouts.WriteTotalTimeoutMultiplier =
        (2 * kBitsPerByte * 1000 + static_cast<DWORD>(baud_) - 1) / static_cast<DWORD>(baud_);
    timeouts.WriteTotalTimeoutConstant = kWriteSlackMs;
    if (!SetCommTimeouts(port_, &timeouts)) fail("cannot set the time-outs");
    PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

// Pending calls must finish before their buffers go: cancel them and wait
// for the cancellation, which the driver completes at once.
void WinSerialPort::close() {
    if (!isOpen()) return;
    for (HANDLE event : {read_.overlapped.hEvent, write_.overlapped.hEvent}) {
        loop_.unwatch(event);
    }
    CancelIo(port_);
    for (Operation* operation : {&read_, &write_}) {
        DWORD transferred = 0;
        if (operation->pending) {
            GetOverlappedResult(port_, &operation->overlapped, &transferred, TRUE);
        }
        operation->pending = false;
        ResetEvent(operation->overlapped.hEvent);
    }
    CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
    input_.clear();
    inputStart_ = 0;
    writing_.clear();
    outQueue_.clear();
}

bool WinSerialPort::isOpen() const { return port_ != INVALID_HANDLE_VALUE; }

bool WinSerialPort::charReady() { return isOpen() && inputStart_ < input_.size(); }

unsigned char WinSerialPort::getChar() {
    if (!charReady()) throw SerialError("No received byte waiting on " + portLabel());
    ++bytesTaken_;
    return static_cast<unsigned char>(input_[inputStart_++]);
}

// The pending read is the wait for received bytes. No WaitCommEvent: under
// Wine 8 each one runs on a helper thread that never releases its per-thread
// loader data, and on a pty every wait ends within milliseconds, so an idle
// port grew the process by about 100 kB a second.
void WinSerialPort::receiveNext() {
    if (!started(ReadFile(port_, readBuffer_.data(), static_cast<DWORD>(readBuffer_.size()),
                          nullptr, &read_.overlapped),
                 read_.overlapped)) {
        return loseLine(GetLastError());
    }
    read_.pending = true;
}

// The result of a call whose event was signalled. On Windows a signalled
// event means the result is there, and asking with bWait=TRUE returns at
// once. Wine 8 now and then signals the event and never fills in the result
// (the OVERLAPPED says pending for ever; seen on WaitCommEvent): asked with
// bWait=TRUE it mostly reads as done; should it still say incomplete, the
// loop comes back at once (the event stays signalled), and after a few
// milliseconds the call counts as aborted, so that the port starts it again
// rather than stop reading.
DWORD WinSerialPort::finish(Operation& operation, DWORD& transferred) {
    if (!operation.pending) {
        ResetEvent(operation.overlapped.hEvent);
        return ERROR_IO_INCOMPLETE;
    }
    // Never block the thread on a call that has not ended.
    if (WaitForSingleObject(operation.overlapped.hEvent, 0) != WAIT_OBJECT_0) {
        return ERROR_IO_INCOMPLETE;
    }
    DWORD error = overlappedResult(operation.overlapped, transferred, TRUE) ? ERROR_SUCCESS
                                                                           : GetLastError();
    if (error == ERROR_IO_INCOMPLETE) {
        const auto now = std::chrono::steady_clock::now();
        if (!operation.incompleteSince) operation.incompleteSince = now;
        if (now - *operation.incompleteSince < kLostCompletionGrace) return error;
        CancelIoEx(port_, &operation.overlapped);
        error = ERROR_OPERATION_ABORTED;
        transferred = 0;
    }
    operation.incompleteSince.reset();
    ResetEvent(operation.overlapped.hEvent);
    operation.pending = false;
    return error;
}

BOOL WinSerialPort::overlappedResult(OVERLAPPED& overlapped, DWORD& transferred, BOOL wait) {
    return GetOverlappedResult(port_, &overlapped, &transferred, wait);
}

void WinSerialPort::onReadDone() {
    DWORD count = 0;
    const DWORD error = finish(read_, count);
    if (error == ERROR_IO_INCOMPLETE) return;
    if (error != ERROR_SUCCESS && error != ERROR_OPERATION_ABORTED) return loseLine(error);
    if (inputStart_ == input_.size()) {
        input_.clear();
        inputStart_ = 0;
    }
    input_.append(readBuffer_.data(), count);
    if (count > 0 && monitoring_ && receivedActivity_) receivedActivity_();
    const std::uint64_t openCount = openCount_;
    deliverReceived();
    // The handler may have reset the port, which started its own reading.
    if (openCount_ == openCount && isOpen()) receiveNext();
}

// The engine's count is 16-bit: a burst above that is offered in several
// events, and bytes the handler left behind are offered again only while it
// takes some, so a handler that takes nothing waits for new bytes.
void WinSerialPort::deliverReceived() {
    const std::uint64_t openCount = openCount_;
    while (receiveHandler_ && charReady()) {
        const std::uint64_t takenBefore = bytesTaken_;
        const std::size_t waiting = input_.size() - inputStart_;
        receiveHandler_(static_cast<std::uint16_t>(std::min(waiting, kMaxEventCount)));
        if (bytesTaken_ == takenBefore || openCount_ != openCount) return;
    }
}

void WinSerialPort::putString(BytesView bytes) {
    if (!isOpen()) throw SerialError(portLabel() + " is not open");
    throwWriteError();
    if (bytes.empty()) return;
    outputDrained_ = false;
    outQueue_.append(bytes);
    if (monitoring_ && transmittedActivity_) transmittedActivity_();
    if (!write_.pending) startWriting();
    throwWriteError();
}

void WinSerialPort::startWriting() {
    if (outQueue_.empty()) return;
    writing_.swap(outQueue_);
    outQueue_.clear();
    ResetEvent(write_.overlapped.hEvent);
    if (!started(WriteFile(port_, writing_.data(), static_cast<DWORD>(writing_.size()), nullptr,
                           &write_.overlapped),
                 write_.overlapped)) {
        const DWORD error = GetLastError();
        writeError_ = "Cannot write to " + portLabel() + ": " + systemMessage(error);
        writing_.clear();
        return loseLine(error);
    }
    write_.pending = true;
}

// Notes a finished write and starts the next one. Called from the event loop
// and from outBuffUsed, since the engine polls that with the loop blocked.
void WinSerialPort::collectWrite() {
    DWORD written = 0;
    const DWORD error = finish(write_, written);
    if (error == ERROR_IO_INCOMPLETE) return;
    if (error != ERROR_SUCCESS) {
        writeError_ = "Cannot write to " + portLabel() + ": " + systemMessage(error);
        writing_.clear();
        outQueue_.clear();
        return loseLine(error);
    }
    if (written < writing_.size()) {
        writeError_ = "Cannot write to " + portLabel() + ": the line does not take the bytes";
        outQueue_.clear();
    }
    writing_.clear();
    startWriting();
}

void WinSerialPort::throwWriteError() {
    if (writeError_.empty()) return;
    const std::string message = std::move(writeError_);
    writeError_.clear();
    throw SerialError(message);
}

// Counts what waits in our queue and what the driver has not put on the line
// yet: the next chunk begins with a flush of the output, which must not throw
// away bytes still being sent.
int WinSerialPort::outBuffUsed() {
    if (!isOpen()) return 0;
    collectWrite();
    throwWriteError();
    if (!isOpen()) return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_, &errors, &status)) {
        const DWORD error = GetLastError();
        loseLine(error);
        throw SerialError("Cannot write to " + portLabel() + ": " + systemMessage(error));
    }
    std::size_t used = status.cbOutQue + outQueue_.size();
    if (write_.pending) used += writing_.size();
    outputDrained_ = used == 0;
    return static_cast<int>(std::min(used, kMaxEventCount));
}

// Only what is still counted as waiting is discarded: output seen drained
// stays drained until the next write, so the driver need not be asked again.
void WinSerialPort::flushOutBuffer() {
    if (!isOpen() || outputDrained_) return;
    if (outBuffUsed() == 0) return;
    outQueue_.clear();
    PurgeComm(port_, PURGE_TXABORT | PURGE_TXCLEAR);
    if (write_.pending) {
        CancelIoEx(port_, &write_.overlapped);
        DWORD unused = 0;
        GetOverlappedResult(port_, &write_.overlapped, &unused, TRUE);
        write_.pending = false;
        ResetEvent(write_.overlapped.hEvent);
    }
    writing_.clear();
    outputDrained_ = true;
}

// A read that finished but was not handled yet holds bytes from before the
// flush: they go too.
void WinSerialPort::flushInBuffer() {
    if (!isOpen()) return;
    PurgeComm(port_, PURGE_RXCLEAR);
    input_.clear();
    inputStart_ = 0;
    DWORD unused = 0;
    if (read_.pending && GetOverlappedResult(port_, &read_.overlapped, &unused, FALSE)) {
        read_.pending = false;
        ResetEvent(read_.overlapped.hEvent);
        receiveNext();
    }
}

void WinSerialPort::setMonitoring(bool on) { monitoring_ = on; }

// The device is gone: let go of it at once, and tell the engine from the
// event loop, once, rather than from inside whatever call noticed.
void WinSerialPort::loseLine(DWORD error) {
    if (!isOpen()) return;
    lostReason_ = systemMessage(error);
    close();
    if (lossQueued_) return;
    lossQueued_ = true;
    SetEvent(lostEvent_);
}

// Each report that leaves the line closed, or is followed by a new loss
// within a minute, makes the next look wait twice as long, so a device that
// keeps failing costs a reset a minute at most rather than one every two
// seconds.
void WinSerialPort::reportLineLost() {
    ResetEvent(lostEvent_);
    lossQueued_ = false;
    if (lineBackAt_ == 0 || GetTickCount64() - lineBackAt_ >= kLineSettledMs) {
        deviceWatchInterval_ = kDeviceWatchFirst;
        deviceWatch_.setInterval(deviceWatchInterval_);
    }
    deviceWatch_.setEnabled(true);
    if (lineLostHandler_) lineLostHandler_(lostReason_);
}

// The device is there when it can be opened, or when someone else holds it.
void WinSerialPort::checkWatchedDevice() {
    if (isOpen()) {
        deviceWatch_.setEnabled(false);
        return;
    }
    HANDLE probe = CreateFileW(devicePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
    } else if (const DWORD error = GetLastError();
               error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
        return;
    }
    deviceWatchInterval_ = std::min(deviceWatchInterval_ * 2, kDeviceWatchLongest);
    deviceWatch_.setInterval(deviceWatchInterval_);
    lineBackAt_ = GetTickCount64();
    if (lineBackHandler_) lineBackHandler_();
}

}  // namespace tavorline::win
