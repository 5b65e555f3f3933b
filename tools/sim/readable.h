#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "support/bytes.h"

// What the simulators print: every message both as text with its control
// bytes named and as a hex dump, so that an installer can read a call off the
// screen and a host developer can compare bytes.
namespace tavorline::sim {

// Control bytes by name (<STX>, <FS>, <ESC> ...), other bytes outside
// 0x20..0x7E as <xx>; at most `limit` bytes, then a note of how many follow.
std::string symbolic(BytesView bytes, std::size_t limit = 1024);

// Offset, sixteen bytes in hex, the same bytes as text; each line indented by
// four blanks and ended by a newline. At most `limit` bytes, then a note.
std::string hexDump(BytesView bytes, std::size_t limit = 256);

// Local time of day as hh:mm:ss.zzz.
std::string timeOfDay();

// One line with the time and `headline`, then the bytes in both forms.
void report(std::FILE* out, std::string_view headline, BytesView bytes);
// One line with the time and `text`.
void note(std::FILE* out, std::string_view text);

// A point in time that blocking waits must not pass.
class Deadline {
public:
    explicit Deadline(int milliseconds)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds)) {}
    bool expired() const { return std::chrono::steady_clock::now() >= end_; }
    // Milliseconds left, 0 once expired, never more than `cap`.
    int remainingMs(int cap = 1 << 30) const;

private:
    std::chrono::steady_clock::time_point end_;
};

}  // namespace tavorline::sim
