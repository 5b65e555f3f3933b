#include "sim/readable.h"

#include <algorithm>
#include <ctime>

namespace tavorline::sim {
namespace {

const char* controlName(unsigned char byte) {
    static const char* const kNames[0x20] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                             "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                             "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                             "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    return byte < 0x20 ? kNames[byte] : nullptr;
}

bool printable(unsigned char byte) { return byte >= 0x20 && byte < 0x7F; }

std::string more(std::size_t count) { return "... (" + std::to_string(count) + " more bytes)"; }

}  // namespace

std::string symbolic(BytesView bytes, std::size_t limit) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    const std::size_t shown = std::min(bytes.size(), limit);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (printable(byte)) {
            text += static_cast<char>(byte);
        } else if (const char* name = controlName(byte)) {
            text += '<';
            text += name;
            text += '>';
        } else {
            text += '<';
            text += kHex[byte >> 4];
            text += kHex[byte & 0x0F];
            text += '>';
        }
    }
    if (shown < bytes.size()) text += more(bytes.size() - shown);
    return text;
}

std::string hexDump(BytesView bytes, std::size_t limit) {
    constexpr std::size_t kPerLine = 16;
    std::string dump;
    const std::size_t shown = std::min(bytes.size(), limit);
    char line[128];
    for (std::size_t offset = 0; offset < shown; offset += kPerLine) {
        int used = std::snprintf(line, sizeof line, "    %04zx ", offset);
        std::string text;
        for (std::size_t i = 0; i < kPerLine; ++i) {
            if (offset + i < shown) {
                const auto byte = static_cast<unsigned char>(bytes[offset + i]);
                used += std::snprintf(line + used, sizeof line - used, " %02x", byte);
                text += printable(byte) ? static_cast<char>(byte) : '.';
            } else {
                used += std::snprintf(line + used, sizeof line - used, "   ");
            }
        }
        dump.append(line, static_cast<std::size_t>(used));
        dump += "  ";
        dump += text;
        dump += '\n';
    }
    if (shown < bytes.size()) dump += "    " + more(bytes.size() - shown) + "\n";
    return dump;
}

std::string timeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    return text;
}

void report(std::FILE* out, std::string_view headline, BytesView bytes) {
    std::string text = timeOfDay() + " " + std::string(headline) + " (" +
                       std::to_string(bytes.size()) +
                       (bytes.size() == 1 ? " byte)\n" : " bytes)\n");
    text += "    " + symbolic(bytes) + "\n";
    text += hexDump(bytes);
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

void note(std::FILE* out, std::string_view text) {
    std::fprintf(out, "%s %.*s\n", timeOfDay().c_str(), static_cast<int>(text.size()), text.data());
    std::fflush(out);
}

int Deadline::remainingMs(int cap) const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          end_ - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<long long>(left, cap));
}

}  // namespace tavorline::sim
