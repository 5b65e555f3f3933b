#pragma once

#include <string>

#include "support/bytes.h"

namespace tavorline::sim {

// The terminal's end of the cable: a serial device (or one end of a pty pair)
// in raw mode, 8 data bits, no parity, one stop bit.
class SerialLine {
public:
    SerialLine(const std::string& device, int baudRate);
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Writes every byte and waits until the line has taken them.
    void write(BytesView bytes);
    // Waits up to `timeoutMs` for bytes and appends what is there; false on
    // timeout. Throws ProtocolError when the line is gone.
    bool readSome(Bytes& into, int timeoutMs);

private:
    int fd_ = -1;
    std::string device_;
};

}  // namespace tavorline::sim
