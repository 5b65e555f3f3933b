#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

#include "support/timer.h"

namespace tavorline {

// One of the gateway's timers, ticking from the event loop.
//
// The request's 100 ms quiet period is measured with it, so it must not be
// late by a millisecond: Qt rounds every timer's wait up to whole
// milliseconds, which on its own makes a quiet period up to 1 ms too long.
// On Linux the timer is therefore a timerfd watched by the event loop, exact
// to the kernel's wake-up; elsewhere it is a precise QTimer.
class QtTimer : public Timer {
public:
    explicit QtTimer(std::chrono::milliseconds interval);
    ~QtTimer() override;
    QtTimer(const QtTimer&) = delete;
    QtTimer& operator=(const QtTimer&) = delete;

    // The tick; it must not throw (it runs straight from the event loop).
    void setHandler(std::function<void()> handler);

    void setEnabled(bool enabled) override;
    bool enabled() const override;

    class Clockwork;

private:
    std::unique_ptr<Clockwork> clockwork_;
};

}  // namespace tavorline
