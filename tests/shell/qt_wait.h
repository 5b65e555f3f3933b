#pragma once

// Waits in the tests of the Qt program, whose objects live on the test's
// thread and act only while its event loop runs.
#include <QtCore/qtestsupport_core.h>

#include <chrono>

#include "eventually.h"

namespace tavorline::testing {

// Only a failing test waits this long.
inline constexpr std::chrono::milliseconds kSafetyLimit{10000};

// Ten milliseconds of this thread's event loop: the step QTest::qWaitFor
// takes between checks.
inline void runQtEventsOnce() { QTest::qWait(10); }

// Until `condition` holds, the event loop running between checks.
template <typename Condition>
bool eventually(Condition condition) {
    return eventually(condition, kSafetyLimit, runQtEventsOnce);
}

}  // namespace tavorline::testing
