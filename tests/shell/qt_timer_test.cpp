#include "qt/qt_timer.h"

#include <gtest/gtest.h>

#include <QTest>
#include <chrono>

#include "qt_wait.h"

namespace tavorline {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kInterval = 100ms;

class QtTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        timer.setHandler([this] {
            ++ticks;
            lastTick = Clock::now();
        });
    }

    void restart() {
        timer.setEnabled(false);
        timer.setEnabled(true);
        lastStart = Clock::now();
    }

    QtTimer timer{kInterval};
    int ticks = 0;
    Clock::time_point lastStart;
    Clock::time_point lastTick;
};

// The request's quiet period: every byte restarts it, and it ends a whole
// interval after the last byte, never at a deadline an earlier start set.
TEST_F(QtTimerTest, RestartingPostponesTheTickByAWholeInterval) {
    restart();
    for (int i = 0; i < 12; ++i) {
        QTest::qWait(20);
        restart();
    }
    EXPECT_EQ(ticks, 0);
    ASSERT_TRUE(testing::eventually([this] { return ticks > 0; }));
    EXPECT_GE(lastTick - lastStart, kInterval);
    timer.setEnabled(false);
}

TEST_F(QtTimerTest, StoppedTimerStaysSilent) {
    timer.setEnabled(true);
    QTest::qWait(20);
    timer.setEnabled(false);
    EXPECT_FALSE(timer.enabled());
    QTest::qWait(3 * static_cast<int>(kInterval.count()));
    EXPECT_EQ(ticks, 0);
}

TEST_F(QtTimerTest, EnablingARunningTimerKeepsItsDeadline) {
    restart();
    QTest::qWait(50);
    timer.setEnabled(true);
    ASSERT_TRUE(testing::eventually([this] { return ticks > 0; }));
    EXPECT_LT(lastTick - lastStart, kInterval + 45ms);
    timer.setEnabled(false);
}

TEST_F(QtTimerTest, TicksAgainUntilStopped) {
    restart();
    ASSERT_TRUE(testing::eventually([this] { return ticks >= 3; }));
    EXPECT_GE(lastTick - lastStart, 3 * kInterval);
    timer.setEnabled(false);
    const int stoppedAt = ticks;
    QTest::qWait(2 * static_cast<int>(kInterval.count()));
    EXPECT_EQ(ticks, stoppedAt);
}

}  // namespace
}  // namespace tavorline
