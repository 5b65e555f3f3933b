#pragma once

#include <string>
#include <string_view>

namespace tavorline {

// Protocol data, log lines and INI values are 8-bit byte strings of any value;
// readable text in them is CP949. Conversion to Unicode happens only at the UI edge.
using Bytes = std::string;
using BytesView = std::string_view;

// The control bytes of the terminal and host protocols.
namespace ctl {
inline constexpr char STX = '\x02';
inline constexpr char ETX = '\x03';
inline constexpr char ENQ = '\x05';
inline constexpr char ACK = '\x06';
inline constexpr char LF = '\x0A';
inline constexpr char VT = '\x0B';
inline constexpr char FF = '\x0C';
inline constexpr char CR = '\x0D';
inline constexpr char SI = '\x0F';
inline constexpr char DLE = '\x10';
inline constexpr char NAK = '\x15';
inline constexpr char EM = '\x19';
inline constexpr char ESC = '\x1B';
inline constexpr char FS = '\x1C';
inline constexpr char GS = '\x1D';
}  // namespace ctl

inline Bytes repeated(char byte, std::size_t count) { return Bytes(count, byte); }

}  // namespace tavorline
