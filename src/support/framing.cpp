#include "support/framing.h"

#include <algorithm>
#include <charconv>

namespace tavorline {

namespace {

constexpr BytesView kMaskConstant = "PLUMWEXT";
constexpr std::size_t kSeedLength = 8;
// Byte 1 is STX, bytes 2..3 the message code, bytes 4..11 the seed.
constexpr std::size_t kCodeStart = 2;
constexpr std::size_t kSeedStart = 4;
constexpr std::size_t kBodyStart = 12;

unsigned char byteAt(BytesView text, std::size_t index) {
    return static_cast<unsigned char>(text[index]);
}

// Bytes first..last (1-based, inclusive) of text, clipped to what the text
// holds; an empty or reversed range gives empty text.
BytesView span(BytesView text, std::size_t first, std::size_t last) {
    if (first < 1 || first > last || first > text.size()) return {};
    last = std::min(last, text.size());
    return text.substr(first - 1, last - first + 1);
}

// 1-based position of the first occurrence, 0 when absent. An empty pattern
// is never found, as with the separator of Get_Token.
std::size_t positionOf(BytesView text, BytesView pattern) {
    if (pattern.empty()) return 0;
    const auto p = text.find(pattern);
    return p == BytesView::npos ? 0 : p + 1;
}

unsigned char rotateLeft(unsigned char x) {
    return static_cast<unsigned char>((x << 1) | (x >> 7));
}

}  // namespace

Bytes Calc_Check(BytesView text) {
    unsigned char check = 0;
    for (const char b : text) check ^= static_cast<unsigned char>(b);
    return Bytes(1, static_cast<char>(check | 0x20));
}

Bytes Make_Frame(BytesView body) {
    Bytes frame;
    frame.reserve(body.size() + 3);
    frame += ctl::STX;
    frame += body;
    frame += ctl::ETX;
    frame += Calc_Check(BytesView(frame).substr(1));
    return frame;
}

Bytes Get_Token(Bytes& source, BytesView separator) {
    const std::size_t p = positionOf(source, separator);
    if (p == 0) {
        Bytes token = std::move(source);
        source.clear();
        return token;
    }
    Bytes token = source.substr(0, p - 1);
    source.erase(0, p - 1 + separator.size());
    return token;
}

std::int32_t Str_ToNum(BytesView text) {
    if (text.size() > 20) return 0;
    char digits[21];
    std::size_t length = 0;
    for (const char b : text) {
        if ((b >= '0' && b <= '9') || b == '-') {
            digits[length++] = b;
        } else if (b != ',' && b != ' ') {
            return 0;
        }
    }
    if (length == 0) return 0;
    // from_chars takes one leading '-' only and rejects a lone '-'; anything
    // it leaves unread ("1-2") or cannot hold in 32 bits counts as doubt.
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(digits, digits + length, value);
    if (error != std::errc() || end != digits + length) return 0;
    return value;
}

Bytes Str_ToHex(BytesView text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Bytes hex;
    hex.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        hex += kHex[byteAt(text, i) >> 4];
        hex += kHex[byteAt(text, i) & 0x0F];
    }
    return hex;
}

Bytes Pad_Right(BytesView text, int width) {
    if (width <= 0) return {};
    Bytes padded(text.substr(0, static_cast<std::size_t>(width)));
    padded.resize(static_cast<std::size_t>(width), ' ');
    return padded;
}

Bytes Repeat_Str(int count, BytesView piece) {
    Bytes out;
    if (count <= 0) return out;
    out.reserve(piece.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) out += piece;
    return out;
}

Bytes Trim(BytesView text) {
    const auto isBlankOrControl = [](char b) { return static_cast<unsigned char>(b) <= 0x20; };
    const auto first = std::find_if_not(text.begin(), text.end(), isBlankOrControl);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlankOrControl).base();
    return first < last ? Bytes(first, last) : Bytes();
}

// A seed shorter than 8 bytes (only from a truncated frame) yields a key of
// the same shorter length; nothing past the seed is read.
void Mask_Key(Bytes& seed, Bytes& key) {
    const std::size_t n = std::min(seed.size(), kSeedLength);
    Bytes k(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        k[i] = static_cast<char>(byteAt(seed, i) ^ 0xF0 ^ byteAt(kMaskConstant, i));
    }
    seed = k;
    key = std::move(k);
}

// One digit per key byte, at most 8. Every digit depends on key byte 5; a key
// too short to have one (truncated frame) uses 0 in its place.
Bytes Mask_Digits(BytesView key) {
    constexpr std::size_t kPivot = 4;  // key byte 5
    const std::size_t n = std::min(key.size(), kSeedLength);
    const unsigned char pivot = key.size() > kPivot ? byteAt(key, kPivot) : 0;
    Bytes digits(n, '0');
    for (std::size_t i = 0; i < n; ++i) {
        unsigned v = (i == kPivot) ? (pivot & 0x0Fu) : (byteAt(key, i) ^ pivot);
        if (v > 9) v %= 10;
        digits[i] = static_cast<char>('0' + v);
    }
    return digits;
}

// The digit key cycles over its own length (8 for any complete frame); with
// no digits at all the bytes are only rotated and inverted.
Bytes Unmask_Body(BytesView body, BytesView digits) {
    Bytes out;
    if (body.empty()) return out;
    out.reserve(body.size());
    const std::size_t n = body.size();
    std::size_t i = 0;  // 0-based; the last byte (i == n-1) is the delimiter
    std::size_t k = 0;
    for (; i + 1 < n; ++i, ++k) {
        if (k >= digits.size()) k = 0;
        if (body[i] == ctl::SI) break;
        const unsigned char d = digits.empty() ? 0 : byteAt(digits, k);
        out += static_cast<char>(rotateLeft(byteAt(body, i) ^ d) ^ 0xFF);
    }
    out += body.substr(i, n - 1 - i);
    return out;
}

// Frames too short or cut off are still shown and logged, so they are
// unmasked as far as they go instead of being rejected:
// - a missing ETX counts as the end of the text (the body and the clear tail
//   run to the last byte);
// - seed bytes that are missing are absent: the digit key has one digit per
//   seed byte present (see Mask_Key, Mask_Digits), and the code keeps what
//   the text holds of bytes 2..3.
// No byte outside the text is ever read.
Bytes Unmask_Frame(BytesView frame) {
    Bytes seed(span(frame, kSeedStart, kSeedStart + kSeedLength - 1));
    Bytes key;
    Mask_Key(seed, key);
    const Bytes digits = Mask_Digits(key);

    const std::size_t s = positionOf(frame, BytesView(&ctl::SI, 1));
    std::size_t e = positionOf(frame, BytesView(&ctl::ETX, 1));
    if (e == 0) e = frame.size() + 1;

    const BytesView body = s > 0 ? span(frame, kBodyStart, s) : span(frame, kBodyStart, e - 1);

    Bytes out;
    out.reserve(frame.size() + 2);
    out += ctl::STX;
    out += span(frame, kCodeStart, kCodeStart + 1);
    out += digits;
    out += Unmask_Body(body, digits);
    if (s > 0) out += span(frame, s, e - 1);
    out += ctl::ETX;
    return out;
}

// Only the start of the text can hold such an occurrence, so only the start
// is searched: the handshake asks this after every byte of long requests.
bool foundWithin(BytesView text, BytesView pattern, std::size_t lastStart) {
    const std::size_t p = positionOf(text.substr(0, lastStart + pattern.size() - 1), pattern);
    return p > 0 && p <= lastStart;
}

bool contains(BytesView text, BytesView pattern) { return positionOf(text, pattern) > 0; }

}  // namespace tavorline
