#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vornlib {

// Standard alphabet, '=' padding, no line breaks: the SEED text format.
constexpr std::size_t base64Size(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

// Writes exactly base64Size(in.size()) characters; `out` must hold them.
void base64Encode(std::span<const unsigned char> in, char* out);

// Strict decoding: a length that is a multiple of four, only alphabet
// characters, '=' only as the final one or two. Anything else is refused so
// that two different texts never decode to the same bytes.
std::optional<std::vector<unsigned char>> base64Decode(std::string_view text);

}  // namespace vornlib
