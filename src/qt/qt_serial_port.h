#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "terminal/serial_port.h"

namespace tavorline {

// The terminal's serial line on QSerialPort. Port N is the file "COMN" in the
// program's folder when there is one (a symlink to /dev/ttyUSB0 or a pty),
// otherwise /dev/ttyS(N-1).
//
// Receive events are always raised from the event loop, never from inside a
// call the engine is making (QSerialPort reads the line inside
// waitForBytesWritten too), so the engine's handler is never re-entered.
class QtSerialPort : public QObject, public SerialPort {
    Q_OBJECT

public:
    using ReceiveHandler = std::function<void(std::uint16_t count)>;

    explicit QtSerialPort(std::filesystem::path programFolder, QObject* parent = nullptr);
    ~QtSerialPort() override;

    // The receive event: called with the number of bytes waiting (at most
    // 65535). The handler must not throw: it runs straight from the event loop.
    void setReceiveHandler(ReceiveHandler handler);

    // The device that port `number` opens.
    static QString devicePath(const std::filesystem::path& programFolder, int number);

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

signals:
    // Line activity for the R and T lights, while monitoring is on.
    void received();
    void transmitted();
    // The device went away (an adapter pulled out, a line hung up); the
    // port has been closed.
    void lineLost(const QString& reason);
    // The lost device is there to be opened again; the port is still closed.
    void lineBack();

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void watchForDevice(const QString& path);
    void checkWatchedDevice();
    void scheduleReceiveEvent();
    void raiseReceiveEvent();
    std::size_t writeToDriver(BytesView bytes);
    Bytes portLabel() const;

    std::filesystem::path programFolder_;
    QSerialPort port_;
    ReceiveHandler handler_;
    int comNumber_ = 0;
    int baud_ = 0;
    bool monitoring_ = false;
    bool eventQueued_ = false;
    bool closeQueued_ = false;
    // The device as it was opened (QSerialPort's own name drops "/dev/").
    QString openedPath_;
    QTimer deviceWatch_;
    QString watchedPath_;
    QElapsedTimer sinceLineBack_;
    // Output last counted as fully sent, with no write since.
    bool outputDrained_ = false;
    // Counts bytes taken by the engine, to tell a handler that reads from one
    // that leaves everything waiting for more data.
    std::uint64_t bytesTaken_ = 0;
};

}  // namespace tavorline
