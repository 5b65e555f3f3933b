#pragma once

#include <chrono>
#include <thread>

namespace tavorline::testing {

// Between checks of what another thread or process brings about.
inline void pauseBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

// True as soon as `condition` holds; false if it still does not once `limit`
// has passed. Between checks `pumpOnce` runs: one turn of the test thread's
// event loop where what is awaited arrives as its events, else a pause. The
// condition is checked once more after the last turn, so a slow turn that
// overruns the limit is not mistaken for a failure.
template <typename Condition, typename PumpOnce = void (*)()>
bool eventually(Condition condition, std::chrono::milliseconds limit,
                PumpOnce pumpOnce = &pauseBriefly) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        pumpOnce();
    }
    return true;
}

}  // namespace tavorline::testing
