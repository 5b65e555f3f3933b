#pragma once

#include "support/clock.h"

namespace tavorline {

// Local wall-clock time, and waits that block the thread (the terminal
// protocol's pauses are meant to hold everything else back).
class QtClock : public Clock {
public:
    LocalTime now() const override;
    void wait(std::chrono::milliseconds duration) override;
};

}  // namespace tavorline
