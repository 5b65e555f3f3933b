#include "qt/qt_clock.h"

#include <QDateTime>
#include <QThread>

namespace tavorline {

LocalTime QtClock::now() const {
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != convertedSecond_) {
        const QDateTime local = QDateTime::fromSecsSinceEpoch(second);
        const QDate date = local.date();
        const QTime time = local.time();
        converted_ = {date.year(), date.month(),  date.day(),
                      time.hour(), time.minute(), time.second()};
        convertedSecond_ = second;
    }
    return converted_;
}

void QtClock::wait(std::chrono::milliseconds duration) {
    if (duration.count() > 0) QThread::msleep(static_cast<unsigned long>(duration.count()));
}

}  // namespace tavorline
