// Today's log kept open between lines, and a rotation or backup tool that
// renames it and puts a new file at its path.
#include <gtest/gtest.h>

#include "../support/fake_clock.h"
#include "qt/posix_file_identity.h"
#include "support/daily_log.h"
#include "temp_folder.h"

namespace tavorline {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;

TEST(DailyLogRotation, LinesFollowThePathNotTheRenamedFile) {
    testing::TempFolder folder;
    testing::FakeClock clock;
    fs::create_directory(folder / "LOG");
    PosixFileIdentity identity;
    DailyLog log(folder.path(), clock, &identity);
    const fs::path today = log.todaysPath();
    const fs::path rotated = folder / "LOG" / "log20261207.txt.1";

    log.Write_Log("before");
    fs::rename(today, rotated);
    testing::writeBytes(today, "");
    log.Write_Log("after rotation");
    EXPECT_EQ(readBytes(rotated), "before\r\n");
    EXPECT_EQ(readBytes(today), "after rotation\r\n");

    fs::remove(today);
    log.Write_Log("after removal");
    EXPECT_EQ(readBytes(today), "after removal\r\n");
}

}  // namespace
}  // namespace tavorline
