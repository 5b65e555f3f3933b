#include "app/qt/qt_timer.h"

namespace tavorline {

QtTimer::QtTimer(std::chrono::milliseconds interval) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(interval);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (handler_) handler_();
    });
}

void QtTimer::setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

void QtTimer::setEnabled(bool enabled) {
    if (!enabled) {
        timer_.stop();
    } else if (!timer_.isActive()) {
        timer_.start();
    }
}

bool QtTimer::enabled() const { return timer_.isActive(); }

}  // namespace tavorline
