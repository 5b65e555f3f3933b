#include "base64.h"

#include <array>
#include <cstdint>

namespace vornlib {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kNotInAlphabet = -1;

constexpr std::array<int, 256> makeDecodeTable() {
    std::array<int, 256> table{};
    table.fill(kNotInAlphabet);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    }
    return table;
}
constexpr std::array<int, 256> kDecodeTable = makeDecodeTable();

std::size_t paddingCount(std::string_view text) {
    if (text.ends_with("==")) return 2;
    if (text.ends_with('=')) return 1;
    return 0;
}

}  // namespace

void base64Encode(std::span<const unsigned char> in, char* out) {
    std::size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const std::uint32_t group = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        *out++ = kAlphabet[(group >> 18) & 63];
        *out++ = kAlphabet[(group >> 12) & 63];
        *out++ = kAlphabet[(group >> 6) & 63];
        *out++ = kAlphabet[group & 63];
    }
    const std::size_t rest = in.size() - i;
    if (rest == 0) return;
    const std::uint32_t group = (in[i] << 16) | (rest == 2 ? in[i + 1] << 8 : 0);
    *out++ = kAlphabet[(group >> 18) & 63];
    *out++ = kAlphabet[(group >> 12) & 63];
    *out++ = rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    *out++ = '=';
}

std::optional<std::vector<unsigned char>> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    const std::size_t padding = paddingCount(text);
    const std::string_view digits = text.substr(0, text.size() - padding);

    std::vector<unsigned char> bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t group = 0;
    int bits = 0;
    for (const char c : digits) {
        const int value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value == kNotInAlphabet) return std::nullopt;
        group = (group << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<unsigned char>(group >> bits));
        }
    }
    // Bits left over must be zero, or "QQ==" and "QR==" would both mean "A".
    if ((group & ((1u << bits) - 1)) != 0) return std::nullopt;
    return bytes;
}

}  // namespace vornlib
