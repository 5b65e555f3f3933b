// Start-up, the reset of port and call, the watchdog and the orderly end.
#include <functional>

#include "gateway_fixture.h"
#include "support/texts.h"

namespace tavorline::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

using StartAndReset = GatewayFixture;

TEST_F(StartAndReset, StartOpensTheConfiguredPortAndWaits) {
    gateway.FormCreate();
    EXPECT_EQ(ui.title, "Tavorline[6.0.2.2] Com:6");
    EXPECT_THAT(serial.openedWith, ElementsAre(std::pair{6, 9600}));
    EXPECT_TRUE(serial.isOpen());
    EXPECT_THAT(ui.statuses, ElementsAre(texts::kStatusResetting, texts::kStatusWaiting));
    EXPECT_THAT(clock.waits, ElementsAre(200));
    EXPECT_EQ(library.loads, 1);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "LOG"));
    EXPECT_FALSE(tm.enabled()) << "the watchdog only ticks when the shop asks for it";
    EXPECT_EQ(gateway.call().WatchCount, 30);
    EXPECT_EQ(serial.inFlushes, 1);
}

TEST_F(StartAndReset, TitleWithoutVersionRecord) {
    versions.versions.reset();
    gateway.FormCreate();
    EXPECT_EQ(ui.title, "Tavorline[] Com:6");
}

TEST_F(StartAndReset, MissingCipherLibraryIsNotAnErrorAtStart) {
    library.loadable = false;
    gateway.FormCreate();
    EXPECT_TRUE(ui.errors.empty());
    EXPECT_TRUE(serial.isOpen());
}

// The shell names the file; a Korean folder stays CP949 on its way.
TEST_F(StartAndReset, StartSaysWhichCipherLibraryFileLoaded) {
    const Bytes file = "C:\\\xC6\xF7\xBD\xBA\\VornLib.dll";  // C:\포스\VornLib.dll
    library.file = file;
    gateway.FormCreate();
    EXPECT_EQ(ui.statuses.front(), "VornLib: " + file);
    EXPECT_THAT(logLines(), Contains("[DLL  14:03:27][VornLib: " + file + "]"));
}

TEST_F(StartAndReset, PortThatCannotOpenLeavesTheResetHalfDone) {
    serial.failOpen = true;
    EXPECT_THROW(gateway.FormCreate(), SerialError);
    EXPECT_THAT(ui.statuses, ElementsAre(texts::kStatusResetting));
    serial.failOpen = false;
    gateway.BT_INITClick();
    EXPECT_TRUE(serial.isOpen());
    EXPECT_EQ(ui.statuses.back(), texts::kStatusWaiting);
}

// A first start without a port says in one line which file and key to set.
TEST_F(StartAndReset, MissingPortSettingSaysWhatToDo) {
    const Bytes ini = (folder / "vorn.Ini").string();
    const std::pair<std::function<void()>, Bytes> cases[] = {
        {[&] { std::filesystem::remove(folder / "vorn.Ini"); }, ini + " does not exist"},
        {[&] {
             writeIni({{"EcSpeed", "9600"}});
         },
         ini + " has no EcPort"},
        {[&] {
             writeIni({{"EcPort", "COM1"}});
         },
         "EcPort=COM1 in " + ini + " is no port number"},
    };
    for (const auto& [prepare, problem] : cases) {
        prepare();
        try {
            gateway.FormCreate();
            ADD_FAILURE() << problem << ": no error";
        } catch (const SerialError& error) {
            EXPECT_EQ(Bytes(error.what()),
                      problem +
                          ": set the terminal's serial port in the settings dialog, or write "
                          "EcPort=N (N the port's number, 1 or more) under [VORN] in that file; "
                          "see docs/configuration.md");
        }
        EXPECT_FALSE(serial.isOpen());
    }
}

TEST_F(StartAndReset, OldestTlsVersionComesFromTheSetting) {
    const std::pair<const char*, TlsVersion> cases[] = {
        {"1.0", TlsVersion::V1_0}, {"1.1", TlsVersion::V1_1},  {"1.3", TlsVersion::V1_3},
        {"1.2", TlsVersion::V1_2}, {"TLS1", TlsVersion::V1_2}, {"", TlsVersion::V1_2},
    };
    gateway.FormCreate();
    for (const auto& [setting, expected] : cases) {
        setIni("TlsMinVersion", setting);
        gateway.BT_INITClick();
        EXPECT_EQ(host.oldestTls, expected) << setting;
    }
}

TEST_F(StartAndReset, PortEditedByHandTakesEffectAtTheSecondReset) {
    gateway.FormCreate();
    setIni("EcPort", "3");
    gateway.BT_INITClick();
    gateway.BT_INITClick();
    EXPECT_THAT(serial.openedWith,
                ElementsAre(std::pair{6, 9600}, std::pair{6, 9600}, std::pair{3, 9600}));
}

TEST_F(StartAndReset, ResetDuringACallLogsTheDroppedCallAndGoesIdle) {
    gateway.FormCreate();
    terminalSends("\x0A\x0A\x0A");
    terminalSends("IP10.1.2.3/5000\r\r\r");
    gateway.BT_INITClick();
    EXPECT_FALSE(host.open);
    EXPECT_EQ(logLines()[logLines().size() - 2],
              "[HOST 14:03:27][" + Bytes(texts::kLogDisconnected) + "LF:10.1.2.3/5000)]");
    EXPECT_EQ(gateway.call().CallStage, 0);
    EXPECT_EQ(gateway.call().TMTag, 0);
}

TEST_F(StartAndReset, WatchdogResetsOnlyAQuietCall) {
    gateway.FormCreate();
    auto& call = gateway.call();

    call.TMTag = 1;
    call.CallStage = 2;
    call.WatchCount = 1;
    const int opens = serial.opens;
    gateway.TMTimer();
    EXPECT_EQ(serial.opens, opens + 1);
    EXPECT_EQ(call.WatchCount, 30);
    EXPECT_EQ(call.TMTag, 0);
    EXPECT_EQ(call.CallStage, 0);

    call.TMTag = 0;
    call.WatchCount = 5;
    gateway.TMTimer();
    EXPECT_EQ(call.WatchCount, 5);

    call.TMTag = 1;
    call.CallStage = 0;
    gateway.TMTimer();
    EXPECT_EQ(call.WatchCount, 5);

    call.TMTag = 0;
    call.WatchCount = 0;
    gateway.TMTimer();
    EXPECT_EQ(serial.opens, opens + 2);
    EXPECT_EQ(call.WatchCount, 30);
}

TEST_F(StartAndReset, WatchdogLeftAtSixtyWhenThePortFailsToReopen) {
    gateway.FormCreate();
    gateway.call().WatchCount = 0;
    serial.failOpen = true;
    EXPECT_THROW(gateway.TMTimer(), SerialError);
    EXPECT_EQ(gateway.call().WatchCount, 60);
}

TEST_F(StartAndReset, WatchdogTicksWhenTheConfigurationSaysSo) {
    setIni("WatchdogYn", "Y");
    gateway.FormCreate();
    EXPECT_TRUE(tm.enabled());
}

TEST_F(StartAndReset, SettingsResetOnlyWhenPortOrSpeedChanged) {
    gateway.FormCreate();
    const int opens = serial.opens;
    gateway.settingsClosed("6", "9600");
    EXPECT_EQ(serial.opens, opens);

    setIni("EcSpeed", "19200");
    gateway.settingsClosed("6", "9600");
    EXPECT_EQ(serial.opens, opens + 1);
    EXPECT_EQ(serial.baud, 19200);

    setIni("EcPort", "7");
    gateway.settingsClosed("6", "19200");
    EXPECT_EQ(ui.title, "Tavorline[6.0.2.2] Com:7");
    EXPECT_EQ(serial.opens, opens + 2);
    EXPECT_EQ(serial.comNumber, 7);
}

TEST_F(StartAndReset, LogFolderInTheWayIsShownOnceAndResetsStillFinish) {
    std::ofstream(folder / "LOG") << "a file where the folder belongs";
    gateway.FormCreate();
    gateway.call().CallStage = 3;
    gateway.BT_INITClick();
    EXPECT_EQ(gateway.call().CallStage, 0);
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_NE(ui.errors[0].find("Unable to create folder"), Bytes::npos);
}

TEST_F(StartAndReset, OrderlyEndClosesEverything) {
    gateway.FormCreate();
    terminalSends("\x0A\x0A\x0A");
    terminalSends("IP10.1.2.3/5000\r\r\r");
    gateway.FormDestroy();
    EXPECT_FALSE(serial.isOpen());
    EXPECT_FALSE(host.open);
    EXPECT_EQ(library.unloads, 1);
    EXPECT_EQ(logLines().back(), "[SOCK 14:03:27][Disconnected.]");
}

}  // namespace
}  // namespace tavorline::testing
