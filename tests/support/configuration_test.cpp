#include "support/configuration.h"

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace tavorline {
namespace {

using testing::readBytes;
using testing::writeBytes;

class FakeVersions : public VersionSource {
public:
    std::optional<VersionStrings> strings;
    std::optional<VersionStrings> read() const override { return strings; }
};

class ConfigurationTest : public ::testing::Test {
protected:
    testing::TempFolder folder;
    FakeVersions versions;
    Configuration config{folder.path(), versions};
    const std::filesystem::path ini = folder / "vorn.Ini";
};

TEST_F(ConfigurationTest, LoadCreatesLogFolderAndReadsEveryKey) {
    writeBytes(ini,
               "[VORN]\r\nAdslAddr=10.1.2.3\r\nRsaYN=Y\r\nEcType=\r\nDscAddr=9.9.9.9\r\n"
               "HostTimeout=15\r\n");
    config.Load_Config();

    EXPECT_TRUE(std::filesystem::is_directory(folder / "LOG"));
    EXPECT_EQ(config.iniPath(), ini.string());
    const ConfigRecord& r = config.record();
    EXPECT_EQ(r.AdslAddr, "10.1.2.3");
    EXPECT_EQ(r.RsaYn, "Y");
    EXPECT_EQ(r.EcType, "");
    EXPECT_EQ(r.HostTimeout, "15");
    for (const Bytes* missing : {&r.AdslCPort, &r.EcPort, &r.DownAddr, &r.WatchdogYn}) {
        EXPECT_EQ(*missing, kMissing);
    }
    EXPECT_EQ(r.FfAddr, "");
    EXPECT_EQ(config.version().FileVersion, "");
}

TEST_F(ConfigurationTest, VersionStringsSurviveALoadWithoutThem) {
    versions.strings = VersionStrings{};
    versions.strings->FileVersion = "6.0.1.0";
    config.Load_Config();
    versions.strings.reset();
    config.Load_Config();
    EXPECT_EQ(config.version().FileVersion, "6.0.1.0");
}

TEST_F(ConfigurationTest, LogFolderThatCannotBeMadeIsReportedButTheKeysAreRead) {
    writeBytes(folder / "LOG", "a file in the way");
    writeBytes(ini, "[VORN]\r\nEcPort=3\r\n");
    config.Load_Config();
    EXPECT_NE(config.logFolderProblem().find("Unable to create folder"), Bytes::npos);
    EXPECT_EQ(config.record().EcPort, "3");
    std::filesystem::remove(folder / "LOG");
    config.Load_Config();
    EXPECT_EQ(config.logFolderProblem(), "");
}

TEST_F(ConfigurationTest, SavedSettingReachesNextLoad) {
    config.Load_Config();
    config.Ini_Write(kSection, "EcSpeed", "38400", config.iniPath());
    config.Ini_Write(kSection, "RsaYN", "N", config.iniPath());
    config.Load_Config();
    EXPECT_EQ(config.record().EcSpeed, "38400");
    EXPECT_EQ(config.record().RsaYn, "N");
}

TEST_F(ConfigurationTest, ShortNameMeansProgramFolderOnlyWhenExact) {
    testing::TempFolder elsewhere;
    writeBytes(ini, "[VORN]\r\nLastData=program folder\r\n");
    writeBytes(elsewhere / "VORN.INI", "[VORN]\r\nLastData=current folder\r\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());

    EXPECT_EQ(config.Ini_Read(kSection, "LastData", "vorn.ini"), "program folder");
    EXPECT_EQ(config.Ini_Read(kSection, "LastData", "VORN.INI"), "current folder");
    config.Ini_Write(kSection, "LastData", "new", "vorn.ini");
    std::filesystem::current_path(previous);

    EXPECT_EQ(config.Ini_Read(kSection, "LastData", ini.string()), "new");
    // Windows folds case, so the current folder's VORN.INI is also "vorn.ini":
    // it must be untouched and alone.
    EXPECT_EQ(readBytes(elsewhere / "VORN.INI"), "[VORN]\r\nLastData=current folder\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(elsewhere.path()), {}), 1);
}

TEST_F(ConfigurationTest, FailedWriteNamesTheFile) {
    config.Ini_Write(kSection, "LastData", "old", "vorn.ini");
    try {
        config.Ini_Write(kSection, "LastData", "a\r\nb", "vorn.ini");
        FAIL() << "a value with a line break was written";
    } catch (const ConfigWriteError& error) {
        EXPECT_EQ(Bytes(error.what()), "Unable to write to " + ini.string());
    }
    EXPECT_THROW(config.Ini_Write(kSection, "EcPort", "1", (folder / "no" / "x.ini").string()),
                 ConfigWriteError);
    EXPECT_EQ(config.Ini_Read(kSection, "LastData", ini.string()), "old");
}

}  // namespace
}  // namespace tavorline
