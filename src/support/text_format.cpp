#include "support/text_format.h"

#include <charconv>

namespace tavorline {

namespace {

void appendTwoDigits(Bytes& out, int value) {
    out += static_cast<char>('0' + (value / 10) % 10);
    out += static_cast<char>('0' + value % 10);
}

}  // namespace

// A placeholder without a text left fills in as empty text, and texts beyond
// the last placeholder are dropped: a log line must come out even when a
// caller miscounts. Any other '%' sequence is copied as it stands.
Bytes Format(BytesView format, std::initializer_list<BytesView> args) {
    Bytes out;
    out.reserve(format.size() + 64);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        const char following = i + 1 < format.size() ? format[i + 1] : '\0';
        if (c != '%' || (following != 's' && following != 'd' && following != '%')) {
            out += c;
            continue;
        }
        ++i;
        if (following == '%') {
            out += '%';
        } else if (next != args.end()) {
            out += *next++;
        }
    }
    return out;
}

Bytes TimeText(const LocalTime& time) {
    Bytes out;
    out.reserve(8);
    appendTwoDigits(out, time.hour);
    out += ':';
    appendTwoDigits(out, time.minute);
    out += ':';
    appendTwoDigits(out, time.second);
    return out;
}

Bytes DateText(const LocalTime& time) {
    Bytes out;
    out.reserve(8);
    appendTwoDigits(out, time.year / 100);
    appendTwoDigits(out, time.year % 100);
    appendTwoDigits(out, time.month);
    appendTwoDigits(out, time.day);
    return out;
}

Bytes DecimalText(long long value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return Bytes(buffer, result.ptr);
}

}  // namespace tavorline
