#pragma once

#include <chrono>

namespace tavorline {

struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Wall clock and the terminal protocol's fixed waits (100 ms before the
// prompt, 200 ms before replies, 50 ms output polls). The waits block the
// calling handler on purpose: the terminal expects those pauses.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
    virtual void wait(std::chrono::milliseconds duration) = 0;
};

}  // namespace tavorline
