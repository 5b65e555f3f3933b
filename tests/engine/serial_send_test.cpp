// AproSend: chunked writes to the terminal that never hang the counter.
#include "gateway_fixture.h"

namespace tavorline::testing {
namespace {

using ::testing::ElementsAre;

class SerialSend : public GatewayFixture {
protected:
    void SetUp() override {
        start();
        gateway.call().WatchCount = 3;
        gateway.call().TMTag = 0;
    }
    void expectActivityMarked() {
        EXPECT_EQ(gateway.call().WatchCount, 30);
        EXPECT_EQ(gateway.call().TMTag, 1);
    }
};

TEST_F(SerialSend, EmptyTextStillPassesThroughTheQueueOnce) {
    const int flushes = serial.outFlushes;
    gateway.AproSend("");
    expectActivityMarked();
    EXPECT_EQ(serial.outFlushes, flushes + 1);
    EXPECT_THAT(serial.chunks, ElementsAre(""));
}

TEST_F(SerialSend, TextIsSentInChunksOfTheQueueSize) {
    gateway.AproSend(Bytes(4096, 'a'));
    EXPECT_EQ(serial.chunks.size(), 1u);
    serial.chunks.clear();
    gateway.AproSend(Bytes(4096, 'a') + "b");
    ASSERT_EQ(serial.chunks.size(), 2u);
    EXPECT_EQ(serial.chunks[0].size(), 4096u);
    EXPECT_EQ(serial.chunks[1], "b");
}

TEST_F(SerialSend, ClosedPortSendsNothingButCountsAsActivity) {
    serial.close();
    gateway.AproSend("abc");
    expectActivityMarked();
    EXPECT_TRUE(serial.chunks.empty());
}

TEST_F(SerialSend, FailureDropsTheRestSilently) {
    serial.failPutAt = 2;
    EXPECT_NO_THROW(gateway.AproSend(Bytes(5000, 'x')));
    ASSERT_EQ(serial.chunks.size(), 1u);
    EXPECT_EQ(serial.chunks[0].size(), 4096u);
}

TEST_F(SerialSend, WaitsForTheQueueToDrainBeforeTheNextChunk) {
    serial.queueLevels = {300, 0};
    serial.drainPerPoll = 100;
    gateway.AproSend(Bytes(4097, 'x'));
    EXPECT_THAT(clock.waits, ElementsAre(50, 50, 50));
    EXPECT_EQ(serial.chunks.size(), 2u);
}

TEST_F(SerialSend, QueueThatNeverDrainsIsGivenUp) {
    serial.queueLevels = {10};
    gateway.AproSend(Bytes(5000, 'x'));
    EXPECT_EQ(serial.chunks.size(), 1u) << "the rest of the text is dropped";
    EXPECT_EQ(clock.waits.size(), 200u);
    serial.queued = 0;
    gateway.AproSend("next");
    EXPECT_EQ(serial.chunks.back(), "next");
}

TEST_F(SerialSend, LostLineIsLoggedAndShown) {
    gateway.AproLineLost("Input/output error");
    EXPECT_EQ(ui.statuses.back(), "COM6: Input/output error");
    EXPECT_EQ(logLines().back(), "[COM  14:03:27][COM6: Input/output error]");
}

TEST_F(SerialSend, LineThatComesBackIsReopenedByAReset) {
    gateway.AproLineLost("Input/output error");
    serial.close();
    const int opens = serial.opens;
    gateway.AproLineBack();
    EXPECT_EQ(serial.opens, opens + 1);
    EXPECT_TRUE(serial.isOpen());
    EXPECT_THAT(logLines(), ::testing::Contains("[COM  14:03:27][COM6: the device is back]"));
    EXPECT_EQ(ui.statuses.back(), "\xB4\xEB\xB1\xE2\xC1\xDF ...");
}

}  // namespace
}  // namespace tavorline::testing
