#include "host_sim/host_script.h"

#include <charconv>
#include <chrono>
#include <random>
#include <sstream>
#include <thread>

#include "sim/errors.h"
#include "sim/payment_messages.h"
#include "sim/readable.h"
#include "support/framing.h"

namespace tavorline::sim {
namespace {

// After the first bytes of a message, how long the line may stay quiet before
// what came is taken as the whole message.
constexpr int kQuietMs = 300;
constexpr std::size_t kLargestNoise = 1 << 20;
constexpr const char* kDefaultApproval = "12345678";
constexpr const char* kDefaultDecline = "1001";

struct StepName {
    std::string_view word;
    ScriptStep::Kind kind;
    std::size_t fewest;
    std::size_t most;
};

constexpr StepName kSteps[] = {
    {"request", ScriptStep::Kind::Request, 0, 1}, {"approve", ScriptStep::Kind::Approve, 0, 1},
    {"decline", ScriptStep::Kind::Decline, 0, 1}, {"field", ScriptStep::Kind::Field, 1, 2},
    {"send", ScriptStep::Kind::Send, 1, 2},       {"raw", ScriptStep::Kind::Raw, 1, 1},
    {"noise", ScriptStep::Kind::Noise, 1, 1},     {"ack", ScriptStep::Kind::Ack, 0, 0},
    {"wait", ScriptStep::Kind::Wait, 1, 1},       {"close", ScriptStep::Kind::Close, 0, 0},
    {"end", ScriptStep::Kind::End, 0, 0},
};

[[noreturn]] void fail(int line, const std::string& why) {
    throw ScriptError("script line " + std::to_string(line) + ": " + why);
}

int number(const std::string& word, int line, int lowest, int highest) {
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < lowest ||
        value > highest) {
        fail(line, "expected a number from " + std::to_string(lowest) + " to " +
                       std::to_string(highest) + ", not \"" + word + "\"");
    }
    return value;
}

char controlByte(const std::string& name, int line) {
    static constexpr std::pair<std::string_view, char> kNames[] = {{"ACK", ctl::ACK},
                                                                   {"NAK", ctl::NAK},
                                                                   {"DLE", ctl::DLE},
                                                                   {"ESC", ctl::ESC},
                                                                   {"ENQ", ctl::ENQ}};
    for (const auto& [text, byte] : kNames) {
        if (text == name) return byte;
    }
    fail(line, "send takes ACK, NAK, DLE, ESC or ENQ, not \"" + name + "\"");
}

Bytes fromHex(const std::string& text, int line) {
    Bytes bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ':') continue;
        int value = -1;
        if (c >= '0' && c <= '9') value = c - '0';
        if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
        if (value < 0) fail(line, std::string("not a hex digit: ") + c);
        if (high < 0) {
            high = value;
        } else {
            bytes += static_cast<char>(high * 16 + value);
            high = -1;
        }
    }
    if (high >= 0 || bytes.empty()) fail(line, "raw needs whole bytes in hex");
    return bytes;
}

std::vector<std::string> splitWords(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string word;
    while (in >> word) words.push_back(word);
    return words;
}

// "field N TEXT" keeps TEXT as written, blanks included; "raw" takes hex with blanks.
std::vector<std::string> argumentsOf(ScriptStep::Kind kind, const std::string& rest) {
    if (kind == ScriptStep::Kind::Raw) return {rest};
    if (kind != ScriptStep::Kind::Field) return splitWords(rest);
    const std::size_t blank = rest.find(' ');
    if (blank == std::string::npos) return {rest};
    return {rest.substr(0, blank), rest.substr(blank + 1)};
}

ScriptStep parseLine(const std::string& text, int line) {
    const std::size_t start = text.find_first_not_of(" \t");
    const std::size_t nameEnd = text.find_first_of(" \t", start);
    const std::string name = text.substr(start, nameEnd - start);
    const StepName* known = nullptr;
    for (const StepName& candidate : kSteps) {
        if (candidate.word == name) known = &candidate;
    }
    if (known == nullptr) fail(line, "unknown step \"" + name + "\"");
    ScriptStep step{known->kind, {}, {}, 0, line};
    const std::size_t restStart =
        nameEnd == std::string::npos ? std::string::npos : text.find_first_not_of(" \t", nameEnd);
    if (restStart != std::string::npos) step.words = argumentsOf(step.kind, text.substr(restStart));
    if (step.words.size() < known->fewest || step.words.size() > known->most) {
        fail(line, name + " takes " + std::to_string(known->fewest) + " to " +
                       std::to_string(known->most) + " arguments");
    }
    switch (step.kind) {
        case ScriptStep::Kind::Field:
            step.number = number(step.words[0], line, 6, 34);
            step.bytes = step.words.size() > 1 ? step.words[1] : Bytes();
            break;
        case ScriptStep::Kind::Send: {
            const int count = step.words.size() > 1 ? number(step.words[1], line, 1, 64) : 3;
            step.bytes = Bytes(static_cast<std::size_t>(count), controlByte(step.words[0], line));
            break;
        }
        case ScriptStep::Kind::Raw:
            step.bytes = fromHex(step.words[0], line);
            break;
        case ScriptStep::Kind::Noise:
            step.number = number(step.words[0], line, 1, static_cast<int>(kLargestNoise));
            break;
        case ScriptStep::Kind::Wait:
            step.number = number(step.words[0], line, 0, 600000);
            break;
        default:
            break;
    }
    return step;
}

Bytes noise(std::size_t size) {
    // Fixed seed: a run can be repeated byte for byte.
    std::mt19937 generator(20250101);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(byte(generator));
    return bytes;
}

std::string describeRequest(BytesView readable) {
    const std::vector<Bytes> fields = requestFields(readable);
    std::string text = "   transaction " + symbolic(transactionCodeOf(readable));
    if (fields.size() > 3) text += ", card field " + symbolic(fields[3]);
    return text;
}

}  // namespace

Script parseScript(const std::string& text) {
    Script script;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        script.push_back(parseLine(line, number));
    }
    if (script.empty()) throw ScriptError("the script has no steps");
    return script;
}

Script builtInScript(bool approve) {
    return parseScript(std::string("request\n") + (approve ? "approve\n" : "decline\n") +
                       "ack\nsend ESC\nend\n");
}

HostCall::HostCall(HostConnection& connection, HostCipher& cipher, std::FILE* out,
                   int stepTimeoutMs)
    : connection_(connection), cipher_(cipher), out_(out), stepTimeoutMs_(stepTimeoutMs) {}

void HostCall::run(const Script& script) {
    if (cipher_.mode() == DestinationMode::AR) keyExchange();
    for (const ScriptStep& each : script) {
        if (!connection_.open()) break;
        step(each);
    }
    connection_.close();
}

void HostCall::keyExchange() {
    sendChunk("public key to the gateway", {}, cipher_.publicKeyDer());
    const Deadline deadline(stepTimeoutMs_);
    const std::size_t wanted = cipher_.wrappedKeyLength();
    while (pending_.size() < wanted) {
        const auto read = connection_.readSome(pending_, deadline.remainingMs());
        if (read == HostConnection::Read::Closed) {
            throw ProtocolError("the gateway hung up instead of answering the public key");
        }
        if (read == HostConnection::Read::Timeout) {
            throw ProtocolError("no key answer from the gateway (" +
                                std::to_string(pending_.size()) + " of " + std::to_string(wanted) +
                                " bytes)");
        }
    }
    const Bytes answer = pending_.substr(0, wanted);
    pending_.erase(0, wanted);
    report(out_, "<- wrapped session key from the gateway", answer);
    cipher_.acceptSessionKey(answer);
    sendChunk("key exchange done", {}, Bytes(3, ctl::ACK));
}

void HostCall::step(const ScriptStep& step) {
    switch (step.kind) {
        case ScriptStep::Kind::Request:
            expectRequest(step);
            break;
        case ScriptStep::Kind::Approve:
            answer(true, step);
            break;
        case ScriptStep::Kind::Decline:
            answer(false, step);
            break;
        case ScriptStep::Kind::Field:
            fieldOverrides_[static_cast<std::size_t>(step.number)] = step.bytes;
            overridden_[static_cast<std::size_t>(step.number)] = true;
            break;
        case ScriptStep::Kind::Send:
            sendChunk("control to the gateway", step.bytes, cipher_.sealControl(step.bytes));
            break;
        case ScriptStep::Kind::Raw:
            sendChunk("raw bytes to the gateway", {}, step.bytes);
            break;
        case ScriptStep::Kind::Noise:
            sendChunk("noise to the gateway", {}, noise(static_cast<std::size_t>(step.number)));
            break;
        case ScriptStep::Kind::Ack: {
            const Incoming incoming = receive("the terminal's ACK");
            if (incoming.plain != Bytes(1, ctl::ACK)) {
                throw ProtocolError("expected the terminal's ACK, got " + symbolic(incoming.plain));
            }
            break;
        }
        case ScriptStep::Kind::Wait:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.number));
            break;
        case ScriptStep::Kind::Close:
            note(out_, "-- hanging up");
            connection_.close();
            break;
        case ScriptStep::Kind::End:
            awaitHangUp();
            break;
    }
}

Incoming HostCall::receive(const std::string& awaited) {
    const Deadline deadline(stepTimeoutMs_);
    for (;;) {
        std::size_t length = cipher_.messageLength(pending_);
        if (length == 0) {
            const int wait =
                pending_.empty() ? deadline.remainingMs() : deadline.remainingMs(kQuietMs);
            const auto read = connection_.readSome(pending_, wait);
            if (read == HostConnection::Read::Data) continue;
            if (read == HostConnection::Read::Closed) {
                throw ProtocolError("the gateway hung up while the host waited for " + awaited);
            }
            if (pending_.empty()) throw ProtocolError("timed out waiting for " + awaited);
            length = pending_.size();
        }
        const Bytes wire = pending_.substr(0, length);
        pending_.erase(0, length);
        Incoming incoming;
        try {
            incoming = cipher_.open(wire);
        } catch (const ProtocolError&) {
            report(out_, "<- from the gateway", wire);
            throw;
        }
        // Short messages travel in the clear outside mode AR.
        if (incoming.plain == wire) {
            report(out_, "<- from the gateway", wire);
        } else {
            report(out_, std::string("<- from the gateway, ") + cipher_.wireForm(), wire);
            report(out_, "   opened", incoming.plain);
        }
        return incoming;
    }
}

void HostCall::expectRequest(const ScriptStep& step) {
    Incoming incoming = receive("the request");
    if (incoming.kind != Incoming::Kind::Frame ||
        frameLength(incoming.plain) != incoming.plain.size()) {
        throw ProtocolError("expected one request frame, got " + symbolic(incoming.plain));
    }
    if (!checkByteMatches(incoming.plain)) {
        throw ProtocolError("the request's check byte is wrong");
    }
    const Bytes readable = readableForm(incoming.plain);
    if (readable != incoming.plain) report(out_, "   unmasked", readable);
    note(out_, describeRequest(readable));
    if (!step.words.empty() && transactionCodeOf(readable) != step.words[0]) {
        throw ProtocolError("expected transaction " + step.words[0] + ", got " +
                            symbolic(transactionCodeOf(readable)));
    }
    lastRequest_ = incoming.plain;
}

void HostCall::answer(bool approve, const ScriptStep& step) {
    const Bytes request = lastRequest_.empty() ? buildRequestFrame(sampleRequest()) : lastRequest_;
    const Bytes argument = step.words.empty() ? Bytes() : Bytes(step.words[0]);
    PaymentResponse response =
        responseTo(request, approve, argument.empty() ? kDefaultDecline : argument,
                   argument.empty() ? kDefaultApproval : argument);
    for (std::size_t n = 0; n < overridden_.size(); ++n) {
        if (overridden_[n]) response.fields[n] = fieldOverrides_[n];
    }
    const Bytes frame = buildResponseFrame(response);
    sendChunk(approve ? "approval to the gateway" : "decline to the gateway", frame,
              cipher_.sealResponse(frame));
}

void HostCall::sendChunk(const std::string& what, BytesView plain, BytesView wire) {
    if (!plain.empty() && plain != wire) {
        report(out_, "-> " + what, plain);
        report(out_, std::string("   sent as ") + cipher_.wireForm(), wire);
    } else {
        report(out_, "-> " + what, wire);
    }
    connection_.send(wire);
}

void HostCall::awaitHangUp() {
    const Deadline deadline(stepTimeoutMs_);
    for (;;) {
        const auto read = connection_.readSome(pending_, deadline.remainingMs());
        if (read == HostConnection::Read::Closed && pending_.empty()) {
            note(out_, "-- the gateway hung up");
            connection_.close();
            return;
        }
        if (read == HostConnection::Read::Timeout) {
            throw ProtocolError("the gateway did not hang up after the end of the call");
        }
        if (!pending_.empty()) {
            report(out_, "<- unexpected after the end of the call", pending_);
            throw ProtocolError("the gateway sent more after the end of the call");
        }
    }
}

}  // namespace tavorline::sim
