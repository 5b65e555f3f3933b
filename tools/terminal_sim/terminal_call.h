#pragma once

#include <cstdio>
#include <string>

#include "sim/payment_messages.h"
#include "terminal_sim/serial_line.h"

namespace tavorline::sim {

// Whether the gateway sends the seven ENQ that let the terminal send its
// request: after the connect in modes LF and FF (and CR when the gateway
// turns it into 3DES mode AD), after the key exchange in mode AR, never in VT.
enum class EnqWait {
    Required,  // seven ENQ must come
    Maybe,     // take seven ENQ if they come within the settle time
    None,      // nothing may come within the settle time
};

struct CallPlan {
    char dialByte = '\n';     // three of CR, LF, FF or VT open the call
    std::string destination;  // "host/port" for the destination line; empty for the default
    EnqWait enq = EnqWait::Required;
    int settleMs = 800;
    PaymentRequest request;
};

enum class Outcome { Approved, Declined, NoResponse };
const char* outcomeName(Outcome outcome);

// The terminal's side of the gateway's protocol. Every step waits at most the
// step time-out and throws ProtocolError when the gateway answers otherwise.
class TerminalSession {
public:
    TerminalSession(SerialLine& line, std::FILE* out, int stepTimeoutMs);

    // Three SI; the gateway answers with its logon frame.
    void logon();
    // STX "LC" ETX and check byte; the gateway answers with three ACK.
    void lineCheck();
    // One payment call from the dial to the terminal's "CCCCC".
    Outcome pay(const CallPlan& plan);

private:
    void send(const std::string& what, BytesView bytes);
    void expect(const std::string& what, BytesView bytes);
    void takeEnquiries(const CallPlan& plan);
    Bytes awaitFrame(const std::string& what);
    // Leading control bytes of the buffer, once no more arrive.
    Bytes takeControlRun();
    bool awaitBytes(int timeoutMs);
    // Mode AD decrypts whole 8-byte blocks, so zero bytes may follow a
    // response; true when some were dropped.
    bool dropZeroFill();

    SerialLine& line_;
    std::FILE* out_;
    int stepTimeoutMs_;
    Bytes pending_;
};

}  // namespace tavorline::sim
