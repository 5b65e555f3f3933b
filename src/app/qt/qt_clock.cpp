#include "app/qt/qt_clock.h"

#include <QDateTime>
#include <QThread>

namespace tavorline {

LocalTime QtClock::now() const {
    const QDateTime local = QDateTime::currentDateTime();
    const QDate date = local.date();
    const QTime time = local.time();
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

void QtClock::wait(std::chrono::milliseconds duration) {
    if (duration.count() > 0) QThread::msleep(static_cast<unsigned long>(duration.count()));
}

}  // namespace tavorline
