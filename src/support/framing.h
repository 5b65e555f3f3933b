#pragma once

#include <cstdint>

#include "support/bytes.h"

// Stateless text and frame routines shared by the terminal and host sides.
// Positions in comments count bytes from 1, as the terminal documentation does.
namespace tavorline {

// XOR of every byte, OR 0x20. Empty text gives a single 0x20.
Bytes Calc_Check(BytesView text);
// STX, body, ETX and the check character of body + ETX.
Bytes Make_Frame(BytesView body);
// Returns the text before the first separator and leaves in `source` what
// follows it; without a separator (or with an empty one) returns all of
// `source` and empties it.
Bytes Get_Token(Bytes& source, BytesView separator);
// Lenient number: digits and '-' collected, ',' and blanks skipped, anything
// else (or more than 20 bytes, or a value outside 32 bits) gives 0.
std::int32_t Str_ToNum(BytesView text);
// Upper-case hex, two digits per byte, no separator.
Bytes Str_ToHex(BytesView text);
// Text followed by blanks, cut to exactly `width` bytes (empty for width <= 0).
Bytes Pad_Right(BytesView text, int width);
// `piece` repeated `count` times (empty for count <= 0).
Bytes Repeat_Str(int count, BytesView piece);
// Every byte of value 0x20 or less removed from both ends.
Bytes Trim(BytesView text);

// The masking transform of masked terminal and host frames.
void Mask_Key(Bytes& seed, Bytes& key);
Bytes Mask_Digits(BytesView key);
Bytes Unmask_Body(BytesView body, BytesView digits);
// Readable form of a masked frame. Text too short to hold a code and seed,
// or without an ETX, is unmasked as far as it goes and never read past its end.
Bytes Unmask_Frame(BytesView frame);

// True when `text` holds `pattern` starting at a 1-based position in 1..lastStart
// (the first occurrence decides). An empty pattern is never found, in either.
bool foundWithin(BytesView text, BytesView pattern, std::size_t lastStart);
bool contains(BytesView text, BytesView pattern);

}  // namespace tavorline
