#include "qt/qt_timer.h"

#include <QtGlobal>

#if defined(Q_OS_LINUX)
#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include <sys/timerfd.h>
#include <unistd.h>
#else
#include <QTimer>
#endif

namespace tavorline {

#if defined(Q_OS_LINUX)

// The engine restarts the quiet-period timer for every byte it receives, so
// a restart only moves the deadline; the kernel timer is set again when it
// goes off early or when the new deadline comes before the one it holds.
class QtTimer::Clockwork {
public:
    using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

    explicit Clockwork(std::chrono::milliseconds interval)
        : interval_(interval), fd_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
        if (fd_ < 0) {
            throw std::runtime_error(std::string("Cannot create a timer: ") + std::strerror(errno));
        }
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { onExpired(); });
    }

    ~Clockwork() {
        notifier_.reset();
        ::close(fd_);
    }

    Clockwork(const Clockwork&) = delete;
    Clockwork& operator=(const Clockwork&) = delete;

    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

    // A stopped timer leaves the kernel timer as it is: it goes off at most
    // once more, and is then ignored.
    void setEnabled(bool enabled) {
        if (enabled == active_) return;
        active_ = enabled;
        if (!enabled) return;
        deadline_ = Clock::now() + interval_;
        if (!armedFor_ || *armedFor_ > deadline_) arm(deadline_);
    }

    bool enabled() const { return active_; }

private:
    void arm(Clock::time_point at) {
        const auto sinceEpoch = at.time_since_epoch();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
        itimerspec setting{};
        setting.it_value.tv_sec = static_cast<time_t>(seconds.count());
        setting.it_value.tv_nsec = static_cast<long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds).count());
        ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &setting, nullptr);
        armedFor_ = at;
    }

    // Ticks missed while the loop was busy make one tick, as with QTimer.
    // Nothing to read means the kernel timer was set again after the loop
    // saw it go off.
    void onExpired() {
        std::uint64_t expirations = 0;
        if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations) return;
        armedFor_.reset();
        if (!active_) return;
        const Clock::time_point now = Clock::now();
        if (now < deadline_) {
            arm(deadline_);
            return;
        }
        deadline_ += interval_;
        if (deadline_ <= now) deadline_ = now + interval_;
        arm(deadline_);
        if (handler_) handler_();
    }

    std::chrono::milliseconds interval_;
    int fd_;
    bool active_ = false;
    Clock::time_point deadline_;
    std::optional<Clock::time_point> armedFor_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> handler_;
};

#else

class QtTimer::Clockwork {
public:
    explicit Clockwork(std::chrono::milliseconds interval) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(interval);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (handler_) handler_();
        });
    }

    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

    void setEnabled(bool enabled) {
        if (!enabled) {
            timer_.stop();
        } else if (!timer_.isActive()) {
            timer_.start();
        }
    }

    bool enabled() const { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> handler_;
};

#endif

QtTimer::QtTimer(std::chrono::milliseconds interval)
    : clockwork_(std::make_unique<Clockwork>(interval)) {}

QtTimer::~QtTimer() = default;

void QtTimer::setHandler(std::function<void()> handler) {
    clockwork_->setHandler(std::move(handler));
}

void QtTimer::setEnabled(bool enabled) { clockwork_->setEnabled(enabled); }

bool QtTimer::enabled() const { return clockwork_->enabled(); }

}  // namespace tavorline
