#pragma once

#include "support/clock.h"

namespace tavorline::testing {

class FakeClock : public Clock {
public:
    LocalTime time{2026, 12, 6, 14, 3, 27};
    LocalTime now() const override { return time; }
    void wait(std::chrono::milliseconds) override {}
};

}  // namespace tavorline::testing
