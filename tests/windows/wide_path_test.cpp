// The engine's files in a folder whose name the ANSI code page may not hold.
#include <gtest/gtest.h>

#include "fake_clock.h"
#include "support/configuration.h"
#include "support/daily_log.h"
#include "temp_folder.h"

namespace tavorline {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::writeBytes;

class NoVersions : public VersionSource {
public:
    std::optional<VersionStrings> read() const override { return std::nullopt; }
};

// The configuration is read and written, and the daily log written, in
// 포스\Tavorline; the log is free for others between lines, as the staff
// copy, rename or delete it while the gateway runs.
TEST(WidePathTest, ConfigurationAndDailyLogWorkInAKoreanFolder) {
    testing::TempFolder temp;
    const fs::path folder = temp.path() / fs::path(u8"포스") / "Tavorline";
    fs::create_directories(folder);
    writeBytes(folder / "vorn.Ini", "[VORN]\r\nEcPort=3\r\n");

    NoVersions versions;
    Configuration config(folder, versions);
    config.Load_Config();
    EXPECT_EQ(config.logFolderProblem(), "");
    EXPECT_EQ(config.record().EcPort, "3");
    // UTF-8: 포 is ED 8F AC, 스 is EC 8A A4.
    EXPECT_TRUE(config.iniPath().ends_with("\\\xED\x8F\xAC\xEC\x8A\xA4\\Tavorline\\vorn.Ini"))
        << config.iniPath();
    // "대기중" in CP949, as the gateway stores Korean texts.
    config.Ini_Write("VORN", "LastData", "\xB4\xEB\xB1\xE2\xC1\xDF", config.iniPath());
    EXPECT_EQ(readBytes(folder / "vorn.Ini"),
              "[VORN]\r\nEcPort=3\r\nLastData=\xB4\xEB\xB1\xE2\xC1\xDF\r\n");
    EXPECT_EQ(config.Ini_Read("VORN", "LastData", "vorn.ini"), "\xB4\xEB\xB1\xE2\xC1\xDF");

    testing::FakeClock clock;
    DailyLog log(folder, clock);
    const fs::path today = folder / "LOG" / "log20261207.txt";
    log.Write_Log("[SR   14:03:27][one]");
    fs::rename(today, folder / "LOG" / "kept.txt");
    log.Write_Log("[SR   14:03:28][two]");
    EXPECT_EQ(readBytes(folder / "LOG" / "kept.txt"), "[SR   14:03:27][one]\r\n");
    EXPECT_EQ(readBytes(today), "[SR   14:03:28][two]\r\n");
    EXPECT_TRUE(fs::remove(today));
    log.Write_Log("[SR   14:03:29][three]");
    EXPECT_EQ(readBytes(today), "[SR   14:03:29][three]\r\n");
}

}  // namespace
}  // namespace tavorline
