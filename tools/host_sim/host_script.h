#pragma once

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "host_sim/host_cipher.h"
#include "host_sim/host_link.h"

namespace tavorline::sim {

// One step of what the host does in a call; see host-sim --help.
struct ScriptStep {
    enum class Kind { Request, Approve, Decline, Field, Send, Raw, Noise, Ack, Wait, Close, End };
    Kind kind;
    std::vector<std::string> words;  // the arguments as written
    Bytes bytes;                     // Send, Raw: the chunk; Field: the text
    int number = 0;                  // Field: the field; Noise: the size; Wait: milliseconds
    int line = 0;
};
using Script = std::vector<ScriptStep>;

// A script that cannot be read; the message names the line.
struct ScriptError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

Script parseScript(const std::string& text);
// request, approve (or decline), ack, send ESC, end.
Script builtInScript(bool approve);

// One call from a connected gateway to its end. Throws ProtocolError when the
// gateway does not keep to the script's expectations.
class HostCall {
public:
    HostCall(HostConnection& connection, HostCipher& cipher, std::FILE* out, int stepTimeoutMs);

    void run(const Script& script);

private:
    void keyExchange();
    void step(const ScriptStep& step);
    Incoming receive(const std::string& awaited);
    void expectRequest(const ScriptStep& step);
    void answer(bool approve, const ScriptStep& step);
    void sendChunk(const std::string& what, BytesView plain, BytesView wire);
    void awaitHangUp();

    HostConnection& connection_;
    HostCipher& cipher_;
    std::FILE* out_;
    int stepTimeoutMs_;
    Bytes pending_;
    Bytes lastRequest_;
    std::array<Bytes, 35> fieldOverrides_;
    std::array<bool, 35> overridden_{};
};

}  // namespace tavorline::sim
