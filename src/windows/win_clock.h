#pragma once

#include "support/clock.h"

namespace tavorline::win {

// Local time from the system; the protocol's waits block the thread, as the
// terminal expects, on a high-resolution timer where there is one.
class WinClock : public Clock {
public:
    LocalTime now() const override;
    void wait(std::chrono::milliseconds duration) override;
};

}  // namespace tavorline::win
