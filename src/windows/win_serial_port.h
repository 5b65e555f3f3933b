#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "terminal/serial_port.h"
#include "windows/event_loop.h"
#include "windows/win_timer.h"

namespace tavorline::win {

// The terminal's serial line on a Win32 COM port (\\.\COMN), overlapped:
// the read (which is also the wait for received bytes) and the write each
// complete on an event the EventLoop watches, so the one thread never blocks on the line.
//
// Receive events are raised from the event loop, never from inside a call the
// engine is making, so the engine's handler is never re-entered.
class WinSerialPort : public SerialPort {
public:
    using ReceiveHandler = std::function<void(std::uint16_t count)>;
    using LineLostHandler = std::function<void(const std::string& reason)>;
    using LineBackHandler = std::function<void()>;
    using ActivityHandler = std::function<void()>;

    WinSerialPort(EventLoop& loop, std::filesystem::path programFolder);
    ~WinSerialPort() override;
    WinSerialPort(const WinSerialPort&) = delete;
    WinSerialPort& operator=(const WinSerialPort&) = delete;

    // The receive event: called with the number of bytes waiting (at most
    // 65535). The handler must not throw: it runs straight from the event loop.
    void setReceiveHandler(ReceiveHandler handler) { receiveHandler_ = std::move(handler); }
    // The device went away (an adapter pulled out); the port has been closed.
    // `reason` is the system's text in CP949.
    void setLineLostHandler(LineLostHandler handler) { lineLostHandler_ = std::move(handler); }
    // The lost device is there to be opened again; the port is still closed.
    void setLineBackHandler(LineBackHandler handler) { lineBackHandler_ = std::move(handler); }

    // Bytes came in or went out, while monitoring is on: the R and T lights.
    void setActivityHandlers(ActivityHandler received, ActivityHandler transmitted) {
        receivedActivity_ = std::move(received);
        transmittedActivity_ = std::move(transmitted);
    }

    void setComNumber(int number) override;
    void setBaud(int baud) override;
    void open() override;
    void close() override;
    bool isOpen() const override;
    bool charReady() override;
    unsigned char getChar() override;
    void putString(BytesView bytes) override;
    int outBuffUsed() override;
    void flushOutBuffer() override;
    void flushInBuffer() override;
    void setMonitoring(bool on) override;

protected:
    // GetOverlappedResult on the port: where tests stand in a call whose
    // result never comes.
    virtual BOOL overlappedResult(OVERLAPPED& overlapped, DWORD& transferred, BOOL wait);
    const OVERLAPPED& readOverlapped() const { return read_.overlapped; }

private:
    struct Operation {
        OVERLAPPED overlapped{};
        bool pending = false;
        // Since when the event has said done while the result says not.
        std::optional<std::chrono::steady_clock::time_point> incompleteSince;
    };

    Bytes portLabel() const;
    std::wstring devicePath() const;
    void configure();

    void receiveNext();
    DWORD finish(Operation& operation, DWORD& transferred);
    void onReadDone();
    void deliverReceived();

    void startWriting();
    void collectWrite();
    void throwWriteError();

    void loseLine(DWORD error);
    void reportLineLost();
    void checkWatchedDevice();

    EventLoop& loop_;
    std::filesystem::path programFolder_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
    int comNumber_ = 0;
    int baud_ = 0;
    bool monitoring_ = false;
    ActivityHandler receivedActivity_;
    ActivityHandler transmittedActivity_;
    // Counts opens, so that a receive handler that reset the port (closing
    // and opening it again) is noticed by the code that called it.
    std::uint64_t openCount_ = 0;

    Operation read_;
    Bytes readBuffer_;
    // Received bytes the engine has not taken yet, from inputStart_ on.
    Bytes input_;
    std::size_t inputStart_ = 0;
    std::uint64_t bytesTaken_ = 0;

    Operation write_;
    Bytes writing_;   // what the pending write sends; it must live until done
    Bytes outQueue_;  // what waits for that write to finish
    std::string writeError_;
    // Output last counted as fully sent, with no write since.
    bool outputDrained_ = false;

    HANDLE lostEvent_;
    std::string lostReason_;
    bool lossQueued_ = false;
    WinTimer deviceWatch_;
    std::chrono::milliseconds deviceWatchInterval_;
    ULONGLONG lineBackAt_ = 0;

    ReceiveHandler receiveHandler_;
    LineLostHandler lineLostHandler_;
    LineBackHandler lineBackHandler_;
};

}  // namespace tavorline::win
