#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "support/bytes.h"

struct VornHostKey;

namespace tavorline::sim {

// The gateway's destination modes as the host sees them: each decides how
// requests arrive and how replies must go out.
enum class DestinationMode { CR, LF, AD, FF, VT, AR };

std::optional<DestinationMode> parseMode(std::string_view name);
const char* modeName(DestinationMode mode);

// One message from the gateway, opened.
struct Incoming {
    enum class Kind {
        Frame,  // a request frame (STX .. ETX, check byte)
        Short,  // a few bytes the gateway passes on as they are, such as the terminal's ACK
    };
    Kind kind = Kind::Short;
    Bytes plain;
};

// The host's side of a destination mode's cipher, through libVornLib:
// SEED text for CR and LF, 3DES blocks for AD, the key exchange and sealed
// messages for AR, nothing for FF and VT.
class HostCipher {
public:
    HostCipher(DestinationMode mode, int rsaBits);
    ~HostCipher();
    HostCipher(const HostCipher&) = delete;
    HostCipher& operator=(const HostCipher&) = delete;

    DestinationMode mode() const { return mode_; }
    // How requests travel, for the printout.
    const char* wireForm() const;

    // Mode AR. The host's first chunk of every call: its public key as DER.
    Bytes publicKeyDer() const;
    // Length of the gateway's wrapped session key (the modulus size).
    std::size_t wrappedKeyLength() const;
    // Takes the gateway's answer; throws ProtocolError when it does not unwrap.
    void acceptSessionKey(BytesView answer);
    // Forgets the session key of the last call.
    void endCall();

    // How many bytes at the start of `buffer` make one whole message, or 0
    // when that cannot be told yet.
    std::size_t messageLength(BytesView buffer) const;
    // Opens one message; throws ProtocolError when it is not one.
    Incoming open(BytesView message) const;
    // A response frame as the gateway expects it in this mode.
    Bytes sealResponse(BytesView frame) const;
    // Control bytes (three ACK, ESC ...): in the clear, except in mode AR.
    Bytes sealControl(BytesView bytes) const;

private:
    std::optional<Incoming> tryOpen(BytesView message) const;
    Bytes seal(BytesView plain) const;

    DestinationMode mode_;
    VornHostKey* rsaKey_ = nullptr;
    int rsaBits_ = 0;
    std::array<unsigned char, 20> sessionKey_{};
    bool haveSessionKey_ = false;
};

}  // namespace tavorline::sim
