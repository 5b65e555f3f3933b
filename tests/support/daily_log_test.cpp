#include "support/daily_log.h"

#include <gtest/gtest.h>

#include "fake_clock.h"
#include "system_file_identity.h"
#include "temp_folder.h"

namespace tavorline {
namespace {

using testing::readBytes;

class DailyLogTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(folder / "LOG"); }

    testing::TempFolder folder;
    testing::FakeClock clock;
    DailyLog log{folder.path(), clock};
};

TEST_F(DailyLogTest, AppendsLinesWithCrLf) {
    log.Write_Log("[HOST 14:03:27][\xC1\xA2\xBC\xD3]");
    log.Write_Log("");
    const auto today = folder / "LOG" / "log20261207.txt";
    EXPECT_EQ(log.todaysPath(), today);
    EXPECT_EQ(readBytes(today), "[HOST 14:03:27][\xC1\xA2\xBC\xD3]\r\n\r\n");
}

TEST_F(DailyLogTest, EachWriteUsesTheDateOfThatMoment) {
    clock.time = {2026, 12, 31, 23, 59, 59};
    log.Write_Log("old year");
    clock.time = {2027, 1, 1, 0, 0, 0};
    log.Write_Log("new year");
    EXPECT_EQ(readBytes(folder / "LOG" / "log20261231.txt"), "old year\r\n");
    EXPECT_EQ(readBytes(folder / "LOG" / "log20270101.txt"), "new year\r\n");
}

TEST_F(DailyLogTest, RemovedFileComesBackAndRemovedFolderLosesLines) {
    log.Write_Log("first");
    std::filesystem::remove(log.todaysPath());
    log.Write_Log("second");
    EXPECT_EQ(readBytes(log.todaysPath()), "second\r\n");

    std::filesystem::remove_all(folder / "LOG");
    EXPECT_NO_THROW(log.Write_Log("lost"));
    EXPECT_FALSE(std::filesystem::exists(folder / "LOG"));
}

TEST_F(DailyLogTest, NamedFileIsUsedAsGiven) {
    const auto trace = folder / "log.txt";
    log.Write_Log("[RECV 14:03:27][02]", trace.string());
    EXPECT_EQ(readBytes(trace), "[RECV 14:03:27][02]\r\n");
    EXPECT_FALSE(std::filesystem::exists(log.todaysPath()));
}

// Today's file kept open between lines, as the Linux program keeps it.
class KeptOpenDailyLogTest : public DailyLogTest {
protected:
    testing::SystemFileIdentity identity;
    DailyLog keptOpen{folder.path(), clock, &identity};
};

TEST_F(KeptOpenDailyLogTest, LinesEndInCrLfAndShareOneOpening) {
    keptOpen.Write_Log("[HOST 14:03:27][\xC1\xA2\xBC\xD3]");
    keptOpen.Write_Log("");
    EXPECT_EQ(readBytes(keptOpen.todaysPath()), "[HOST 14:03:27][\xC1\xA2\xBC\xD3]\r\n\r\n");
    EXPECT_EQ(identity.opens, 1);
}

// Windows refuses to rename a file that the C library holds open.
#ifndef _WIN32
TEST_F(KeptOpenDailyLogTest, RenamedFileKeepsItsLinesAndTheNextLineGoesToThePath) {
    const auto rotated = folder / "LOG" / "log20261207.txt.1";
    keptOpen.Write_Log("before");
    std::filesystem::rename(keptOpen.todaysPath(), rotated);
    keptOpen.Write_Log("after");
    EXPECT_EQ(readBytes(rotated), "before\r\n");
    EXPECT_EQ(readBytes(keptOpen.todaysPath()), "after\r\n");
}
#endif

// A full disk, played by /dev/full: the file still is the one at the path,
// but its stream has failed, and each line tries a fresh one.
#ifdef __linux__
TEST_F(KeptOpenDailyLogTest, LineAfterAFailedWriteOpensTheFileAgain) {
    std::filesystem::create_symlink("/dev/full", keptOpen.todaysPath());
    keptOpen.Write_Log("lost");
    keptOpen.Write_Log("lost too");
    EXPECT_EQ(identity.opens, 2);
}
#endif

}  // namespace
}  // namespace tavorline
