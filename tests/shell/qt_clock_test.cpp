#include "qt/qt_clock.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QThread>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace tavorline {
namespace {

constexpr int kSecondsPerDay = 24 * 60 * 60;

int secondOfDay(const LocalTime& time) { return (time.hour * 60 + time.minute) * 60 + time.second; }

int secondOfDay(const QDateTime& time) { return time.time().msecsSinceStartOfDay() / 1000; }

// Sleeps until the wall clock's second has just changed.
void awaitNextSecond() {
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    while (QDateTime::currentSecsSinceEpoch() == second) QThread::msleep(5);
}

// Sets the process's time zone for the test and puts back what was there.
class ZoneForTest {
public:
    explicit ZoneForTest(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        set(zone);
    }
    ~ZoneForTest() {
        if (saved_) {
            set(saved_->c_str());
        } else {
            ::unsetenv("TZ");
            ::tzset();
        }
    }
    ZoneForTest(const ZoneForTest&) = delete;
    ZoneForTest& operator=(const ZoneForTest&) = delete;

    static void set(const char* zone) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }

private:
    std::optional<std::string> saved_;
};

TEST(QtClockTest, ShowsEachNewSecondOfTheWallClock) {
    QtClock clock;
    for (int round = 0; round < 3; ++round) {
        awaitNextSecond();
        const int before = secondOfDay(QDateTime::currentDateTime());
        const int shown = secondOfDay(clock.now());
        EXPECT_TRUE(shown == before || shown == (before + 1) % kSecondsPerDay)
            << "round " << round << ": shown " << shown << ", wall clock " << before;
    }
}

// A shop machine's zone may be set while the gateway runs; log times follow
// it from the next second on.
TEST(QtClockTest, FollowsAChangeOfTimeZoneFromTheNextSecond) {
    const ZoneForTest zone("UTC0");
    QtClock clock;
    awaitNextSecond();
    const int utc = secondOfDay(clock.now());
    ZoneForTest::set("KST-9");
    awaitNextSecond();
    const int korea = secondOfDay(clock.now());
    const int ahead = ((korea - utc) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
    EXPECT_GE(ahead, 9 * 3600);
    EXPECT_LE(ahead, 9 * 3600 + 2);
}

}  // namespace
}  // namespace tavorline
