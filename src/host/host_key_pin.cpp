#include "host/host_key_pin.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "support/configuration.h"

namespace tavorline {
namespace {

constexpr BytesView kPrefix = "sha256/";
constexpr BytesView kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool isSeparator(char c) { return c == ',' || c == ' ' || c == '\t'; }

std::vector<BytesView> splitPins(BytesView setting) {
    std::vector<BytesView> pins;
    std::size_t at = 0;
    while (at < setting.size()) {
        while (at < setting.size() && isSeparator(setting[at])) ++at;
        std::size_t end = at;
        while (end < setting.size() && !isSeparator(setting[end])) ++end;
        if (end > at) pins.push_back(setting.substr(at, end - at));
        at = end;
    }
    return pins;
}

// Exactly 43 base64 characters and one "=": the only spelling of 32 bytes.
// The last character carries two bits of padding, which must be zero, so
// that every digest has one pin text and a pin compares as its text.
std::optional<KeyDigest> parsePin(BytesView pin) {
    if (pin.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    pin.remove_prefix(kPrefix.size());
    if (pin.size() != 44 || pin[43] != '=') return std::nullopt;
    KeyDigest digest{};
    unsigned bits = 0;
    int held = 0;
    std::size_t out = 0;
    for (std::size_t i = 0; i < 43; ++i) {
        const std::size_t value = kAlphabet.find(pin[i]);
        if (value == BytesView::npos) return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            digest[out++] = static_cast<unsigned char>(bits >> held);
            bits &= (1u << held) - 1;
        }
    }
    if (bits != 0) return std::nullopt;
    return digest;
}

}  // namespace

Bytes pinText(BytesView digest) {
    if (digest.size() != KeyDigest{}.size()) return Bytes(kPrefix) + "?";
    Bytes text(kPrefix);
    std::size_t i = 0;
    for (; i + 3 <= digest.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(digest[i]) << 16 |
                           static_cast<unsigned char>(digest[i + 1]) << 8 |
                           static_cast<unsigned char>(digest[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6) text += kAlphabet[(v >> shift) & 63];
    }
    // 32 bytes leave two over: three characters and one "=".
    const unsigned v = static_cast<unsigned char>(digest[i]) << 16 |
                       static_cast<unsigned char>(digest[i + 1]) << 8;
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += kAlphabet[(v >> 6) & 63];
    text += '=';
    return text;
}

HostKeyPins HostKeyPins::parse(BytesView setting) {
    HostKeyPins result;
    if (setting == kMissing) return result;
    for (BytesView pin : splitPins(setting)) {
        const auto digest = parsePin(pin);
        if (!digest) {
            result.pins_.clear();
            result.malformed_ = true;
            return result;
        }
        result.pins_.push_back(*digest);
    }
    return result;
}

bool HostKeyPins::accepts(BytesView digest) const {
    if (malformed_) return false;
    if (pins_.empty()) return true;
    return std::any_of(pins_.begin(), pins_.end(), [digest](const KeyDigest& pin) {
        return BytesView(reinterpret_cast<const char*>(pin.data()), pin.size()) == digest;
    });
}

Bytes settingWithPin(BytesView setting, BytesView pin) {
    if (!parsePin(pin)) throw std::invalid_argument("not a pin: " + Bytes(pin));
    if (HostKeyPins::parse(setting).malformed()) {
        throw std::invalid_argument("TlsPin is malformed: " + Bytes(setting));
    }
    if (setting == kMissing) return Bytes(pin);
    const std::vector<BytesView> pins = splitPins(setting);
    if (std::find(pins.begin(), pins.end(), pin) != pins.end()) return Bytes(setting);
    if (pins.empty()) return Bytes(pin);
    return Bytes(setting) + "," + Bytes(pin);
}

}  // namespace tavorline
