#include "terminal_sim/terminal_call.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "sim/errors.h"
#include "sim/readable.h"
#include "support/framing.h"

namespace tavorline::sim {
namespace {

constexpr std::string_view kPrompt = "*DESTINATION:";
constexpr std::size_t kEnquiries = 7;
constexpr std::size_t kEndOfCall = 3;
// Control bytes of one chunk arrive together; this much quiet ends a run.
constexpr int kRunQuietMs = 50;
// The gateway answers a line check after 200 ms; it drops what comes while it
// opens its port, so a line check unanswered this long is sent again.
constexpr int kLineCheckPatienceMs = 1000;

bool isControl(char byte) {
    return byte == ctl::ACK || byte == ctl::NAK || byte == ctl::DLE || byte == ctl::ESC ||
           byte == ctl::ENQ;
}

bool endsCall(BytesView run) { return run.find(Bytes(kEndOfCall, ctl::ESC)) != BytesView::npos; }

}  // namespace

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Approved:
            return "approved";
        case Outcome::Declined:
            return "declined";
        case Outcome::NoResponse:
            return "no response";
    }
    return "?";
}

TerminalSession::TerminalSession(SerialLine& line, std::FILE* out, int stepTimeoutMs)
    : line_(line), out_(out), stepTimeoutMs_(stepTimeoutMs) {}

void TerminalSession::logon() {
    send("logon", Bytes(3, ctl::SI));
    awaitFrame("the logon reply");
}

void TerminalSession::lineCheck() {
    const Deadline deadline(stepTimeoutMs_);
    const Bytes answer(3, ctl::ACK);
    int attempt = 1;
    for (;; ++attempt) {
        send("line check", Make_Frame("LC"));
        const Deadline patience(kLineCheckPatienceMs);
        while (pending_.size() < answer.size() &&
               line_.readSome(pending_, patience.remainingMs())) {
        }
        if (pending_.find_first_not_of(ctl::ACK) != Bytes::npos) {
            report(out_, "<- unexpected", pending_);
            throw ProtocolError("expected three ACK for the line check");
        }
        if (pending_.size() >= answer.size()) break;
        if (deadline.expired()) throw ProtocolError("no answer to the line check");
        note(out_, "   no answer yet: the gateway may still be starting; again");
    }
    // An earlier attempt may be answered late: its ACK belong to no call.
    if (attempt > 1 && pending_.size() < 2 * answer.size()) {
        line_.readSome(pending_, kLineCheckPatienceMs / 2);
    }
    report(out_, "<- line check answer", pending_);
    pending_.clear();
}

Outcome TerminalSession::pay(const CallPlan& plan) {
    send("dial", Bytes(3, plan.dialByte));
    expect("prompt", kPrompt);
    send("destination", "IP" + plan.destination + Bytes(3, ctl::CR));
    takeEnquiries(plan);
    const Bytes frame = buildRequestFrame(plan.request);
    const Bytes readable = readableForm(frame);
    send("request", frame);
    if (readable != frame) report(out_, "   (unmasked)", readable);

    Outcome outcome = Outcome::NoResponse;
    bool callEnded = false;
    while (outcome == Outcome::NoResponse && !callEnded) {
        if (pending_.empty() && !awaitBytes(stepTimeoutMs_)) {
            throw ProtocolError("no response to the request");
        }
        if (pending_[0] == ctl::STX) {
            const Bytes response = readableForm(awaitFrame("the response"));
            const auto fields = responseFields(response);
            outcome = fields[7] == kApprovedCode ? Outcome::Approved : Outcome::Declined;
            note(out_, std::string("   ") + outcomeName(outcome) + ": result code " +
                           symbolic(fields[7]) + ", approval number " + symbolic(fields[26]) +
                           ", message " + symbolic(fields[20]));
        } else if (isControl(pending_[0])) {
            callEnded = endsCall(takeControlRun());
        } else {
            report(out_, "<- unexpected", pending_);
            throw ProtocolError(
                "the gateway sent something that is neither a frame nor control bytes");
        }
    }
    if (!callEnded) {
        send("acknowledge", Bytes(1, ctl::ACK));
        while (!callEnded) {
            if (pending_.empty() && !awaitBytes(stepTimeoutMs_)) {
                throw ProtocolError("the call did not end (no three ESC)");
            }
            if (dropZeroFill()) continue;
            if (!isControl(pending_[0])) {
                report(out_, "<- unexpected", pending_);
                throw ProtocolError("expected the end of the call, got other bytes");
            }
            callEnded = endsCall(takeControlRun());
        }
    }
    send("hang up", "CCCCC");
    return outcome;
}

void TerminalSession::send(const std::string& what, BytesView bytes) {
    report(out_, "-> " + what, bytes);
    line_.write(bytes);
}

void TerminalSession::expect(const std::string& what, BytesView bytes) {
    const Deadline deadline(stepTimeoutMs_);
    while (pending_.size() < bytes.size() &&
           BytesView(bytes).substr(0, pending_.size()) == pending_) {
        if (!line_.readSome(pending_, deadline.remainingMs())) break;
    }
    if (BytesView(pending_).substr(0, bytes.size()) != bytes) {
        if (!pending_.empty()) report(out_, "<- unexpected", pending_);
        throw ProtocolError(pending_.empty() ? "timed out waiting for the " + what
                                             : "expected the " + what + " " + symbolic(bytes));
    }
    report(out_, "<- " + what, bytes);
    pending_.erase(0, bytes.size());
}

void TerminalSession::takeEnquiries(const CallPlan& plan) {
    if (plan.enq == EnqWait::Required) {
        expect("enquiries", Bytes(kEnquiries, ctl::ENQ));
        return;
    }
    if (pending_.empty() && !awaitBytes(plan.settleMs)) return;
    if (plan.enq == EnqWait::None) {
        report(out_, "<- unexpected", pending_);
        throw ProtocolError("the gateway sent bytes where it should stay quiet");
    }
    expect("enquiries", Bytes(kEnquiries, ctl::ENQ));
}

Bytes TerminalSession::awaitFrame(const std::string& what) {
    const Deadline deadline(stepTimeoutMs_);
    while (frameLength(pending_) == 0) {
        if (!pending_.empty() && pending_[0] != ctl::STX) {
            report(out_, "<- unexpected", pending_);
            throw ProtocolError("expected " + what + " to start with STX");
        }
        if (!line_.readSome(pending_, deadline.remainingMs())) {
            if (!pending_.empty()) report(out_, "<- incomplete", pending_);
            throw ProtocolError("timed out waiting for " + what);
        }
    }
    const Bytes frame = pending_.substr(0, frameLength(pending_));
    pending_.erase(0, frame.size());
    report(out_, "<- " + what, frame);
    if (!checkByteMatches(frame)) throw ProtocolError("the check byte of " + what + " is wrong");
    const Bytes readable = readableForm(frame);
    if (readable != frame) report(out_, "   (unmasked)", readable);
    return frame;
}

Bytes TerminalSession::takeControlRun() {
    auto runLength = [this] {
        std::size_t n = 0;
        while (n < pending_.size() && isControl(pending_[n])) ++n;
        return n;
    };
    while (runLength() == pending_.size() && line_.readSome(pending_, kRunQuietMs)) {
    }
    const Bytes run = pending_.substr(0, runLength());
    pending_.erase(0, run.size());
    report(out_, endsCall(run) ? "<- end of the call" : "<- control", run);
    return run;
}

bool TerminalSession::awaitBytes(int timeoutMs) { return line_.readSome(pending_, timeoutMs); }

bool TerminalSession::dropZeroFill() {
    const std::size_t zeros = std::min(pending_.find_first_not_of('\0'), pending_.size());
    if (zeros == 0) return false;
    report(out_, "<- zero fill of the last 3DES block", pending_.substr(0, zeros));
    pending_.erase(0, zeros);
    return true;
}

}  // namespace tavorline::sim
