#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "support/clock.h"

namespace tavorline::testing {

// A clock that stands still until a test moves it, and waits no time: it
// records each wait, and lets a test act at the moment the engine would sleep.
class FakeClock : public Clock {
public:
    LocalTime now() const override { return time; }
    void wait(std::chrono::milliseconds duration) override {
        waits.push_back(duration.count());
        if (onWait) onWait();
    }
    LocalTime time{2026, 12, 7, 14, 3, 27};
    std::vector<long long> waits;
    std::function<void()> onWait;
};

}  // namespace tavorline::testing
