#include "host_sim/host_cipher.h"

#include <algorithm>
#include <vector>

#include "sim/errors.h"
#include "sim/payment_messages.h"
#include "support/framing.h"
#include "vornlib_host.h"

namespace tavorline::sim {
namespace {

constexpr char kDes3Key[] = "QWVRMXZL50381627";
constexpr std::size_t kDesBlock = 8;
// The gateway sends requests of 20 bytes or fewer as they are.
constexpr std::size_t kShortLimit = 20;
constexpr std::size_t kSealedHeader = 6;
constexpr std::size_t kSmallestSeedText = 44;  // base64 of an IV and one block

bool isBase64(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=';
}

std::optional<Bytes> seedDecrypt(BytesView text) {
    if (text.size() < kSmallestSeedText || text.size() % 4 != 0 ||
        !std::all_of(text.begin(), text.end(), isBase64)) {
        return std::nullopt;
    }
    std::vector<char> area(VORNLIB_SEED_AREA_SIZE);
    const Bytes input(text);
    const int count = SEED_Vorn("D", input.c_str(), area.data());
    if (count < 0) return std::nullopt;
    return Bytes(area.data(), static_cast<std::size_t>(count));
}

// 8-byte blocks, the last one filled with zero bytes, as the gateway cuts them.
Bytes des3(BytesView input, bool encrypt) {
    Bytes out;
    std::size_t p = 0;
    do {
        unsigned char block[kDesBlock] = {};
        const std::size_t take = std::min(kDesBlock, input.size() - p);
        std::copy_n(reinterpret_cast<const unsigned char*>(input.data()) + p, take, block);
        unsigned char result[kDesBlock];
        (encrypt ? EncDES3 : DecDES3)(block, kDes3Key, result);
        out.append(reinterpret_cast<const char*>(result), kDesBlock);
        p += kDesBlock;
    } while (p < input.size());
    return out;
}

// A decrypted 3DES request: one frame, then only the zero fill of the last block.
std::optional<Bytes> des3Frame(BytesView message) {
    if (message.empty() || message.size() % kDesBlock != 0) return std::nullopt;
    const Bytes plain = des3(message, false);
    const std::size_t length = frameLength(plain);
    if (length == 0 || plain.find_first_not_of('\0', length) != Bytes::npos) return std::nullopt;
    return plain.substr(0, length);
}

Incoming frameOrShort(BytesView plain) {
    const bool frame = !plain.empty() && plain.front() == ctl::STX;
    return {frame ? Incoming::Kind::Frame : Incoming::Kind::Short, Bytes(plain)};
}

}  // namespace

std::optional<DestinationMode> parseMode(std::string_view name) {
    static constexpr std::pair<std::string_view, DestinationMode> kModes[] = {
        {"CR", DestinationMode::CR}, {"LF", DestinationMode::LF}, {"AD", DestinationMode::AD},
        {"FF", DestinationMode::FF}, {"VT", DestinationMode::VT}, {"AR", DestinationMode::AR}};
    for (const auto& [text, mode] : kModes) {
        if (text == name) return mode;
    }
    return std::nullopt;
}

const char* modeName(DestinationMode mode) {
    switch (mode) {
        case DestinationMode::CR:
            return "CR";
        case DestinationMode::LF:
            return "LF";
        case DestinationMode::AD:
            return "AD";
        case DestinationMode::FF:
            return "FF";
        case DestinationMode::VT:
            return "VT";
        case DestinationMode::AR:
            return "AR";
    }
    return "?";
}

HostCipher::HostCipher(DestinationMode mode, int rsaBits) : mode_(mode), rsaBits_(rsaBits) {
    if (mode_ == DestinationMode::AR) {
        rsaKey_ = VornHost_NewRsaKey(rsaBits);
        if (rsaKey_ == nullptr) {
            throw SetupError("cannot make an RSA key of " + std::to_string(rsaBits) + " bits");
        }
    }
}

HostCipher::~HostCipher() {
    if (rsaKey_ != nullptr) VornHost_FreeRsaKey(rsaKey_);
}

const char* HostCipher::wireForm() const {
    switch (mode_) {
        case DestinationMode::CR:
        case DestinationMode::LF:
            return "SEED text";
        case DestinationMode::AD:
            return "3DES blocks";
        case DestinationMode::AR:
            return "sealed";
        default:
            return "plain";
    }
}

Bytes HostCipher::publicKeyDer() const {
    unsigned char der[4096];
    const int length = VornHost_PublicKeyDer(rsaKey_, der, sizeof der);
    if (length <= 0) throw SetupError("cannot export the RSA public key");
    return Bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
}

std::size_t HostCipher::wrappedKeyLength() const { return static_cast<std::size_t>(rsaBits_ / 8); }

void HostCipher::acceptSessionKey(BytesView answer) {
    haveSessionKey_ =
        VornHost_UnwrapSessionKey(rsaKey_, reinterpret_cast<const unsigned char*>(answer.data()),
                                  static_cast<int>(answer.size()), sessionKey_.data()) == 0;
    if (!haveSessionKey_) throw ProtocolError("the gateway's key answer does not unwrap");
}

void HostCipher::endCall() {
    sessionKey_.fill(0);
    haveSessionKey_ = false;
}

std::size_t HostCipher::messageLength(BytesView buffer) const {
    if (buffer.empty()) return 0;
    switch (mode_) {
        case DestinationMode::AR: {
            if (buffer.size() < kSealedHeader) return 0;
            const std::size_t body = (static_cast<unsigned char>(buffer[4]) << 8) |
                                     static_cast<unsigned char>(buffer[5]);
            return buffer.size() >= kSealedHeader + body ? kSealedHeader + body : 0;
        }
        case DestinationMode::CR:
        case DestinationMode::LF:
            if (!isBase64(buffer[0])) return buffer.size();
            return seedDecrypt(buffer) ? buffer.size() : 0;
        case DestinationMode::AD:
            if (buffer.size() < kDesBlock) return buffer.size();
            return des3Frame(buffer) ? buffer.size() : 0;
        case DestinationMode::FF:
        case DestinationMode::VT:
            return buffer[0] == ctl::STX ? frameLength(buffer) : buffer.size();
    }
    return 0;
}

std::optional<Incoming> HostCipher::tryOpen(BytesView message) const {
    switch (mode_) {
        case DestinationMode::AR: {
            if (!haveSessionKey_) return std::nullopt;
            std::vector<unsigned char> plain(message.size() + kDesBlock);
            const int count = VornHost_Open(reinterpret_cast<const unsigned char*>(message.data()),
                                            static_cast<int>(message.size()), sessionKey_.data(),
                                            plain.data(), static_cast<int>(plain.size()));
            if (count < 0) return std::nullopt;
            return frameOrShort(BytesView(reinterpret_cast<const char*>(plain.data()),
                                          static_cast<std::size_t>(count)));
        }
        case DestinationMode::CR:
        case DestinationMode::LF:
            if (const auto plain = seedDecrypt(message)) return frameOrShort(*plain);
            break;
        case DestinationMode::AD:
            if (const auto plain = des3Frame(message)) return frameOrShort(*plain);
            break;
        case DestinationMode::FF:
        case DestinationMode::VT:
            return frameOrShort(message);
    }
    // What the gateway passes on unencrypted: the terminal's short messages.
    if (message.size() <= kShortLimit && message[0] != ctl::STX) {
        return Incoming{Incoming::Kind::Short, Bytes(message)};
    }
    return std::nullopt;
}

Incoming HostCipher::open(BytesView message) const {
    if (auto incoming = tryOpen(message)) return std::move(*incoming);
    throw ProtocolError(std::string("cannot open ") + std::to_string(message.size()) +
                        " bytes as " + wireForm() + " of mode " + modeName(mode_));
}

Bytes HostCipher::seal(BytesView plain) const {
    std::vector<unsigned char> out(VORNHOST_SEALED_SIZE(plain.size()));
    const int count = VornHost_Seal("TVLN", reinterpret_cast<const unsigned char*>(plain.data()),
                                    static_cast<int>(plain.size()), sessionKey_.data(), out.data(),
                                    static_cast<int>(out.size()));
    if (count < 0) throw SetupError("cannot seal " + std::to_string(plain.size()) + " bytes");
    return Bytes(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(count));
}

Bytes HostCipher::sealResponse(BytesView frame) const {
    switch (mode_) {
        case DestinationMode::CR:
        case DestinationMode::LF: {
            std::vector<char> area(VORNLIB_SEED_AREA_SIZE);
            const Bytes input(frame);
            const int count = SEED_Vorn("E", input.c_str(), area.data());
            if (count < 0) throw SetupError("SEED refuses the response");
            return Bytes(area.data(), static_cast<std::size_t>(count));
        }
        case DestinationMode::AD:
            return des3(frame, true);
        case DestinationMode::AR:
            return seal(frame);
        case DestinationMode::FF:
        case DestinationMode::VT:
            break;
    }
    return Bytes(frame);
}

Bytes HostCipher::sealControl(BytesView bytes) const {
    return mode_ == DestinationMode::AR ? seal(bytes) : Bytes(bytes);
}

}  // namespace tavorline::sim
