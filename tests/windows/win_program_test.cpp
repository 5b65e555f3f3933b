// tavorline.exe end to end under Wine: started headless on COM9 (a pty that
// run_with_pty.sh provides), talked to by window messages from this process
// and from tavorline-web.exe, ended by WM_CLOSE.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "child_process.h"
#include "temp_folder.h"
#include "under_wine.h"
#include "windows/win_version_source.h"
#include "windows/window_web_bridge.h"

namespace tavorline::win {
namespace {

using namespace std::chrono_literals;
using tavorline::testing::ChildProcess;
using tavorline::testing::TempFolder;
using tavorline::testing::writeBytes;

// "대기중 ..." as the headless gateway prints it: UTF-8.
constexpr char kWaitingUtf8[] = "\xEB\x8C\x80\xEA\xB8\xB0\xEC\xA4\x91 ...\n";
constexpr char kLastData[] = "0200RECORD-OF-THE-LAST-APPROVAL";

struct WebClientRun {
    std::optional<int> exitCode;
    std::string output;
};

WebClientRun runWebClient(const std::string& argument) {
    ChildProcess client({windowsPath(TAVORLINE_WEB_EXE), argument});
    const std::optional<int> status = client.waitForExit();
    return {status, client.output()};
}

// COPYDATASTRUCT for `size` bytes of `data`, sent the way a web screen does.
LRESULT sendCopyData(HWND gateway, const char* data, DWORD size, UINT flags, DWORD_PTR* result) {
    COPYDATASTRUCT block{};
    block.cbData = size;
    block.lpData = const_cast<char*>(data);
    return SendMessageTimeoutW(gateway, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&block), flags,
                               kPatienceMs, result);
}

class GatewayProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* com = std::getenv("TAVORLINE_TEST_COM");
        if (com == nullptr) GTEST_SKIP() << "needs the pty line that run_with_pty.sh provides";
        writeBytes(home_ / "vorn.Ini",
                   std::string("[VORN]\r\nEcPort=") + com +
                       "\r\nEcSpeed=9600\r\nWebTimeout=1\r\nLastData=" + kLastData + "\r\n");
        gateway_.emplace(std::vector<std::string>{windowsPath(TAVORLINE_EXE), "--headless",
                                                  "--home", home_.path().string()});
        ASSERT_TRUE(gateway_->waitForOutput(kWaitingUtf8)) << gateway_->transcript();
        window_ = FindWindowW(L"TFmain", L"Tavorline");
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        if (!gateway_) return;
        EXPECT_TRUE(PostMessageW(window_, WM_CLOSE, 0, 0));
        EXPECT_EQ(gateway_->waitForExit(), 0) << gateway_->transcript();
    }

    TempFolder home_;
    std::optional<ChildProcess> gateway_;
    HWND window_ = nullptr;
};

// Found by class and caption, registered, and the answer to the last-data
// request arrives inside the client's own send (lastdata fails otherwise).
TEST_F(GatewayProgramTest, WebScreenRegistersAndGetsTheLastDataInsideItsRequest) {
    const WebClientRun lastData = runWebClient("lastdata");
    EXPECT_EQ(lastData.exitCode, 0);
    EXPECT_EQ(lastData.output, std::string(kLastData) + "\n");

    // A block without NUL ends at cbData, not at the sender's next byte.
    DWORD_PTR result = 1;
    ASSERT_NE(sendCopyData(window_, "HELLOWORLD", 5, SMTO_NORMAL, &result), 0);
    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(gateway_->waitForOutput("\nHELLO\n"));
    EXPECT_EQ(gateway_->output().find("HELLOW"), std::string::npos);
}

// A web window that handles nothing: our thread is blocked in its own send
// (SMTO_BLOCK) when the gateway's answer comes. The gateway gives up after
// WebTimeout (1 s) and serves the next web screen as before.
TEST_F(GatewayProgramTest, SilentWebWindowCostsAtMostTheTimeout) {
    const HWND silent =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(silent, nullptr);
    DWORD_PTR result = 0;
    ASSERT_NE(SendMessageTimeoutW(window_, WM_WEBHANDLE, 0, reinterpret_cast<LPARAM>(silent),
                                  SMTO_NORMAL, kPatienceMs, &result),
              0);

    const auto before = std::chrono::steady_clock::now();
    ASSERT_NE(sendCopyData(window_, "0LA", 4, SMTO_BLOCK, &result), 0);
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 3s);

    const WebClientRun lastData = runWebClient("lastdata");
    EXPECT_EQ(lastData.exitCode, 0);
    EXPECT_EQ(lastData.output, std::string(kLastData) + "\n");
    DestroyWindow(silent);
}

TEST(GatewayCommandLine, AnswersLikeTheLinuxProgram) {
    struct Case {
        const char* argument;
        int exitCode;
        const char* output;
    };
    const Case cases[] = {
        {"--version", 0, "tavorline " TAVORLINE_VERSION "\n"},
        {"--frobnicate", 2, ""},
        {"--home", 2, ""},
        {"stray", 2, ""},
    };
    for (const Case& c : cases) {
        ChildProcess program({windowsPath(TAVORLINE_EXE), c.argument});
        EXPECT_EQ(program.waitForExit(), c.exitCode) << c.argument;
        EXPECT_EQ(program.output(), c.output) << c.argument;
    }
}

// The version strings come from the program file's own resource; this test
// program carries the same one.
TEST(WinVersionSource, ReadsTheKoreanStringBlockOfItsOwnFile) {
    const std::optional<VersionStrings> version = WinVersionSource().read();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->FileVersion, TAVORLINE_VERSION);
    EXPECT_EQ(version->CompanyName, "Tavorline");
    EXPECT_EQ(version->OriginalFilename, "tavorline.exe");
}

}  // namespace
}  // namespace tavorline::win
