// The gateway's files fail it while it runs: the LOG folder becomes
// unwritable, the disk under the log is full, vorn.Ini cannot take the record
// of an approved call. Payments must go on; a record that cannot be stored is
// reported, and the one stored before stays as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <ctime>
#include <fstream>
#include <thread>

#include "e2e_support.h"
#include "fault_support.h"
#include "payment_e2e.h"

namespace tavorline::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::HasSubstr;

std::string todaysLogName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char name[32];
    std::strftime(name, sizeof name, "log%Y%m%d.txt", &local);
    return name;
}

struct LogFault {
    const char* name;
    void (*spoil)(const fs::path& home);
};

void PrintTo(const LogFault& value, std::ostream* out) { *out << value.name; }

class LogCannotBeWritten : public ::testing::TestWithParam<LogFault> {
protected:
    void SetUp() override {
        line.linkAs(home.path() / "COM6");
        writeFaultIni(home.path(), "A", {{"UpAddr", "127.0.0.1"}, {"UpPort", "1"}});
        gateway = std::make_unique<GatewayProcess>(home.path());
        ASSERT_TRUE(gateway->ready()) << gateway->process().transcript();
        // The start reads the configuration (and so makes LOG) just after it
        // shows the waiting status; an answered line check says it is done.
        ASSERT_TRUE(lineCheckAnswered(line)) << gateway->process().transcript();
        GetParam().spoil(home.path());
    }

    TempFolder home;
    PtyPair line;
    std::unique_ptr<GatewayProcess> gateway;
};

TEST_P(LogCannotBeWritten, PaymentsGoOnAndAreStored) {
    for (int payment = 1; payment <= 2; ++payment) {
        EXPECT_EQ(approvedPayment(line), "") << "payment " << payment;
        const auto record = iniValue(home.path(), "LastData");
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(record->substr(306, 4), "0000");
    }
    EXPECT_TRUE(gateway->process().running());
    EXPECT_EQ(gateway->process().errors(), "");
}

// A failed connect runs the full reset, which reloads the configuration and
// so looks for the LOG folder again: a folder that cannot be made must not
// leave the reset half done.
TEST_P(LogCannotBeWritten, AFailedConnectStillResetsForTheNextPayment) {
    // The line is ready once a line check is answered: bytes sent while the
    // start-up reset still runs are flushed with its input.
    ASSERT_TRUE(lineCheckAnswered(line));
    // VT to 127.0.0.1 port 1, where nothing listens.
    line.send("\v\v\v");
    ASSERT_EQ(line.receive(13), "*DESTINATION:");
    line.send("IP\r\r\r");
    ASSERT_TRUE(waitForStatusAfter(gateway->process(), "접속실패 (VT:127.0.0.1/1)", "대기중 ..."))
        << gateway->process().transcript();
    EXPECT_EQ(approvedPayment(line), "") << gateway->process().transcript();
}

INSTANTIATE_TEST_SUITE_P(Spoiled, LogCannotBeWritten,
                         ::testing::Values(LogFault{"FolderReplacedByAFile",
                                                    [](const fs::path& home) {
                                                        fs::remove_all(home / "LOG");
                                                        std::ofstream(home / "LOG")
                                                            << "not a folder\n";
                                                    }},
                                           LogFault{"FolderADanglingLink",
                                                    [](const fs::path& home) {
                                                        fs::remove_all(home / "LOG");
                                                        fs::create_directory_symlink(
                                                            home / "gone" / "LOG", home / "LOG");
                                                    }},
                                           LogFault{"DiskFull",
                                                    [](const fs::path& home) {
                                                        fs::remove(home / "LOG" / todaysLogName());
                                                        fs::create_symlink(
                                                            "/dev/full",
                                                            home / "LOG" / todaysLogName());
                                                    }}),
                         [](const auto& info) { return std::string(info.param.name); });

// The record cannot be stored: the write of the new vorn.Ini fails part way,
// as on a full disk. Simulated with a file size limit on the running gateway
// below the size of vorn.Ini (padded with comment lines) and above that of
// the day's log, so that the log can still tell.
TEST(ConfigurationFileFault, RecordThatCannotBeStoredIsReportedAndTheLastOneStays) {
    constexpr rlim_t kFileLimit = 32 * 1024;
    TempFolder home;
    PtyPair line;
    line.linkAs(home.path() / "COM6");
    std::vector<std::pair<std::string, std::string>> padding;
    for (int i = 0; i < 600; ++i) {
        padding.emplace_back("; padding " + std::to_string(i), std::string(100, 'x'));
    }
    writeFaultIni(home.path(), "A", padding);
    ASSERT_GT(fs::file_size(home.path() / "vorn.Ini"), 2 * kFileLimit);
    // Writing past the limit raises SIGXFSZ, which ends a process unless it is
    // ignored; the gateway inherits the disposition.
    struct sigaction ignore {};
    struct sigaction before {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &before);
    GatewayProcess gateway(home.path());
    ::sigaction(SIGXFSZ, &before, nullptr);
    ASSERT_TRUE(gateway.ready()) << gateway.process().transcript();
    const pid_t pid = childPid("tavorline");
    ASSERT_GT(pid, 0);

    ASSERT_EQ(approvedPayment(line), "");
    const auto previous = iniValue(home.path(), "LastData");
    ASSERT_TRUE(previous.has_value());

    ChildProcess host(hostSimArguments("LF", true));
    const std::string port = host.firstLine();
    ASSERT_TRUE(lineCheckAnswered(line));
    std::string why;
    ASSERT_TRUE(dialAndConnect(line, '\n', "127.0.0.1/" + port, why)) << why;
    const std::string stored = readBytes(home.path() / "vorn.Ini");
    const rlimit limit{kFileLimit, kFileLimit};
    ASSERT_EQ(::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr), 0);
    line.send(requestFrame("D1"));
    const std::string response = line.receiveFrame();
    ASSERT_TRUE(isWholeFrame(response)) << host.transcript();
    EXPECT_EQ(responseField(response, 7), "0000");
    line.send("\x06");
    EXPECT_EQ(line.receive(3), "\x1b\x1b\x1b") << "the terminal has its reply";
    line.send("CCCCC");
    EXPECT_EQ(host.waitForExit(), 0) << host.transcript();

    const std::string failure = "Unable to write to " + (home.path() / "vorn.Ini").string();
    ASSERT_TRUE(waitForLog(home.path(), "[ERR  ")) << todaysLog(home.path());
    EXPECT_THAT(logLines(todaysLog(home.path()), "ERR"), Contains("[" + failure + "]"));
    EXPECT_TRUE(gateway.process().waitForOutput(failure)) << gateway.process().transcript();
    EXPECT_EQ(readBytes(home.path() / "vorn.Ini"), stored) << "vorn.Ini untouched";
    EXPECT_EQ(iniValue(home.path(), "LastData"), previous);
    for (const auto& entry : fs::directory_iterator(home.path())) {
        EXPECT_NE(entry.path().extension(), ".tmp") << "left behind: " << entry.path();
    }
    EXPECT_TRUE(gateway.process().running());
}

}  // namespace
}  // namespace tavorline::e2e
