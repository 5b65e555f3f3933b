#pragma once

#include <initializer_list>

#include "support/bytes.h"
#include "support/clock.h"

namespace tavorline {

// Fills "%s" and "%d" in a log format string with already formatted texts, in
// order. Unlike printf it copies every byte, NUL bytes of raw messages included.
Bytes Format(BytesView format, std::initializer_list<BytesView> args);

// The log's time of day: "hh:nn:ss", 24-hour, two digits each.
Bytes TimeText(const LocalTime& time);
// "yyyymmdd", as the daily log's file name uses it.
Bytes DateText(const LocalTime& time);

Bytes DecimalText(long long value);

}  // namespace tavorline
