#pragma once

#include <stdexcept>

#include "support/bytes.h"

namespace tavorline {

class SerialError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The serial line towards the terminal (8 data bits, no parity, 1 stop bit,
// no flow control, DTR and RTS on). The shell raises the receive event on the
// main thread with the number of bytes waiting; the engine then takes them
// one at a time.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Both take effect at the next open.
    virtual void setComNumber(int number) = 0;
    virtual void setBaud(int baud) = 0;

    virtual void open() = 0;  // throws SerialError
    virtual void close() = 0;  // no effect when closed
    virtual bool isOpen() const = 0;

    virtual bool charReady() = 0;
    virtual unsigned char getChar() = 0;  // throws SerialError

    // Queues bytes for output (at most 4096 at a time); throws SerialError.
    virtual void putString(BytesView bytes) = 0;
    // Bytes still waiting in the output queue; throws SerialError.
    virtual int outBuffUsed() = 0;
    virtual void flushOutBuffer() = 0;
    virtual void flushInBuffer() = 0;

    // Lets the R and T lights follow the line.
    virtual void setMonitoring(bool on) = 0;
};

}  // namespace tavorline
