#pragma once

#include <QTimer>
#include <chrono>
#include <functional>

#include "support/timer.h"

namespace tavorline {

// One of the gateway's timers on a QTimer. Precise, because the request's
// 100 ms quiet period is measured with it.
class QtTimer : public Timer {
public:
    explicit QtTimer(std::chrono::milliseconds interval);

    // The tick; it must not throw (it runs straight from the event loop).
    void setHandler(std::function<void()> handler);

    void setEnabled(bool enabled) override;
    bool enabled() const override;

private:
    QTimer timer_;
    std::function<void()> handler_;
};

}  // namespace tavorline
