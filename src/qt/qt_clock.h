#pragma once

#include <QtGlobal>

#include "support/clock.h"

namespace tavorline {

// Local wall-clock time, and waits that block the thread (the terminal
// protocol's pauses are meant to hold everything else back).
class QtClock : public Clock {
public:
    LocalTime now() const override;
    void wait(std::chrono::milliseconds duration) override;

private:
    // Every log line asks for the time twice, right after the gateway has
    // written to the terminal or the host. Converting to local time asks the
    // C library, which looks at the zone file each time; once a second does.
    mutable qint64 convertedSecond_ = -1;
    mutable LocalTime converted_;
};

}  // namespace tavorline
