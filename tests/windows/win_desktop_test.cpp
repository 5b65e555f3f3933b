// tavorline.exe as the tray program, under Wine with an X display (Xvfb,
// which gives Wine a notification area) and COM9 on a pty: the window the
// web screen needs, the tray icon and its menu, closing, a second start.
// And the display window, in this process.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "temp_folder.h"
#include "windows/desktop/display_window.h"
#include "windows/desktop/error_boxes.h"
#include "windows/desktop/look.h"
#include "windows/desktop/main_window_face.h"
#include "windows/desktop/tray_icon.h"
#include "windows/event_loop.h"
#include "windows/win_timer.h"

namespace tavorline::win {
namespace {

using tavorline::testing::TempFolder;
using tavorline::testing::writeBytes;

constexpr wchar_t kWaiting[] = L"대기중 ...";

// Polls what another process shows, which no event tells us.
template <typename Condition>
bool eventually(Condition condition) {
    for (DWORD waited = 0; waited < kPatienceMs; waited += 50) {
        if (condition()) return true;
        Sleep(50);
    }
    return condition();
}

std::wstring textOf(HWND control) {
    wchar_t text[256] = {};
    GetWindowTextW(control, text, static_cast<int>(std::size(text)));
    return text;
}

class DesktopProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* com = std::getenv("TAVORLINE_TEST_COM");
        if (com == nullptr) GTEST_SKIP() << "needs the pty line that run_with_pty.sh provides";
        writeBytes(home_ / "vorn.Ini",
                   std::string("[VORN]\r\nEcPort=") + com + "\r\nEcSpeed=9600\r\n");
        gateway_.emplace(startCommand());
        ASSERT_TRUE(gateway_->started());
        ASSERT_TRUE(eventually([this] {
            window_ = FindWindowW(L"TFmain", L"Tavorline");
            return window_ != nullptr;
        }));
        ASSERT_TRUE(eventually([this] { return statusLine() == kWaiting; })) << statusLine();
    }

    std::wstring startCommand() const {
        return quoted(windowsPath(TAVORLINE_EXE)) + L" --home " + quoted(home_.path().wstring());
    }
    std::wstring statusLine() const {
        return textOf(GetDlgItem(window_, MainWindowFace::kStatusLine));
    }
    // Changing nothing succeeds exactly when the icon is there.
    bool trayIconShown() const {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = window_;
        data.uID = TrayIcon::kIconId;
        return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    }
    bool gatewayRuns() { return gateway_->exitCodeWithin(0) == STILL_ACTIVE; }

    TempFolder home_;
    std::optional<ChildProcess> gateway_;
    HWND window_ = nullptr;
};

// The web screen finds the window while nobody sees it; the staff see the
// icon only. When Explorer comes back, so does the icon.
TEST_F(DesktopProgramTest, StartsHiddenInTheTrayAndTheIconOutlivesExplorer) {
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_TRUE(trayIconShown());

    NOTIFYICONDATAW gone{};
    gone.cbSize = sizeof gone;
    gone.hWnd = window_;
    gone.uID = TrayIcon::kIconId;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    ASSERT_FALSE(trayIconShown());
    SendMessageW(window_, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(trayIconShown());
}

// What the staff do with the icon: a double click shows the window; 끝내기
// in its menu, picked by its key, ends the program in order.
TEST_F(DesktopProgramTest, IconShowsTheWindowAndItsMenuEndsTheProgram) {
    const auto clickIcon = [this](UINT mouseMessage) {
        PostMessageW(window_, TrayIcon::kCallbackMessage, TrayIcon::kIconId, mouseMessage);
    };
    clickIcon(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(eventually([this] { return IsWindowVisible(window_) != FALSE; }));

    clickIcon(WM_RBUTTONUP);
    HWND menu = nullptr;
    ASSERT_TRUE(eventually([&menu] {
        menu = FindWindowW(L"#32768", nullptr);
        return menu != nullptr && IsWindowVisible(menu);
    }));
    PostMessageW(menu, WM_KEYDOWN, 'E', 0);
    EXPECT_EQ(gateway_->exitCode(), 0u);
}

// The shortcut double-clicked again: the second start shows the first's
// window and leaves; the first keeps its port. Closing the window only hides it.
TEST_F(DesktopProgramTest, SecondStartShowsTheFirstAndClosingOnlyHides) {
    ChildProcess second(startCommand());
    ASSERT_TRUE(second.started());
    EXPECT_EQ(second.exitCode(), 0u);
    EXPECT_TRUE(IsWindowVisible(window_));
    EXPECT_TRUE(gatewayRuns());
    EXPECT_EQ(statusLine(), kWaiting);

    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_TRUE(gatewayRuns());
    EXPECT_TRUE(trayIconShown());
}

struct ProcessWindow {
    DWORD process;
    HWND window = nullptr;
};

BOOL CALLBACK findProcessWindow(HWND window, LPARAM wanted) {
    auto& search = *reinterpret_cast<ProcessWindow*>(wanted);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (process != search.process || std::wstring(className) != L"TFmain") return TRUE;
    search.window = window;
    return FALSE;
}

// The main window of a gateway process, once it has one.
HWND mainWindowOf(const ChildProcess& gateway) {
    ProcessWindow search{gateway.processId()};
    eventually([&search] {
        EnumWindows(&findProcessWindow, reinterpret_cast<LPARAM>(&search));
        return search.window != nullptr;
    });
    return search.window;
}

// Two terminals on one PC: a gateway per folder. A second start finds its
// own folder's gateway however long the folder's path, and shows only that
// one's window.
TEST_F(DesktopProgramTest, ASecondStartShowsOnlyItsOwnFoldersGateway) {
    const std::filesystem::path deep = home_ / std::string(100, 'd') / std::string(100, 'e');
    std::filesystem::create_directories(deep);
    writeBytes(deep / "vorn.Ini", "[VORN]\r\nEcPort=57\r\nEcSpeed=9600\r\n");
    const std::wstring deepStart =
        quoted(windowsPath(TAVORLINE_EXE)) + L" --home " + quoted(deep.wstring());
    ChildProcess other(deepStart);
    ASSERT_TRUE(other.started());
    const HWND otherWindow = mainWindowOf(other);
    ASSERT_NE(otherWindow, nullptr);

    ChildProcess again(deepStart);
    EXPECT_EQ(again.exitCode(), 0u) << "a second gateway started for the same folder";
    EXPECT_TRUE(eventually([otherWindow] { return IsWindowVisible(otherWindow) != FALSE; }));
    EXPECT_FALSE(IsWindowVisible(window_)) << "another folder's window came up";
    EXPECT_EQ(other.exitCodeWithin(0), STILL_ACTIVE);
}

class DisplayWindowTest : public ::testing::Test {
protected:
    HWND field(DisplayField which) const {
        return GetDlgItem(display_.handle(), DisplayWindow::kFirstField + static_cast<int>(which));
    }
    void handlePendingMessages() {
        while (loop_.runOnce(0)) {
        }
    }

    EventLoop loop_;
    DisplayWindow display_{loop_};
};

// Escape empties the fields and leaves the window open; closing hides it
// with its texts kept for the next showing.
TEST_F(DisplayWindowTest, EscapeClearsAndClosingHidesWithTheTextsKept) {
    const std::wstring dump(4000, L'A');
    display_.setField(DisplayField::Request1, dump);
    display_.setField(DisplayField::Answer2, L"응답");
    display_.show();
    // Sizes are client areas.
    const look::Scale scale = look::Scale::ofScreen();
    RECT client{};
    GetClientRect(display_.handle(), &client);
    EXPECT_EQ(client.right, scale(1020));
    EXPECT_EQ(client.bottom, scale(176));
    EXPECT_EQ(textOf(field(DisplayField::Answer2)), L"응답");
    wchar_t whole[4100] = {};
    GetWindowTextW(field(DisplayField::Request1), whole, 4100);
    EXPECT_EQ(std::wstring(whole), dump) << "a long dump is cut";

    SendMessageW(display_.handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(display_.handle()));
    EXPECT_EQ(textOf(field(DisplayField::Answer2)), L"응답");

    display_.show();
    PostMessageW(field(DisplayField::Request2), WM_KEYDOWN, VK_ESCAPE, 0);
    handlePendingMessages();
    EXPECT_TRUE(IsWindowVisible(display_.handle()));
    for (DisplayField which : {DisplayField::Request1, DisplayField::Request2,
                               DisplayField::Answer1, DisplayField::Answer2}) {
        EXPECT_EQ(textOf(field(which)), L"");
    }
}

// The boxes of the errors no handler caught: one at a time, each text once
// while it is shown or waiting, and the program's events go on meanwhile
// (the timer below runs inside the box's own loop).
constexpr wchar_t kErrorCaption[] = L"error box test";

BOOL CALLBACK collectErrorBox(HWND window, LPARAM found) {
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (IsWindowVisible(window) && std::wstring(caption) == kErrorCaption) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

TEST(ErrorBoxesTest, OneBoxAtATimeAndARepeatIsNotShownAgain) {
    EventLoop loop;
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       nullptr, nullptr);
    ErrorBoxes errors(owner, kErrorCaption);
    loop.filterMessages(owner, [&errors](const MSG& message) { return errors.handle(message.message); });

    std::vector<std::wstring> shown;
    int mostOpen = 0;
    WinTimer watcher(loop, std::chrono::milliseconds(50));
    watcher.setHandler([&] {
        std::vector<HWND> boxes;
        EnumThreadWindows(GetCurrentThreadId(), &collectErrorBox, reinterpret_cast<LPARAM>(&boxes));
        mostOpen = std::max(mostOpen, static_cast<int>(boxes.size()));
        if (boxes.empty()) return;
        wchar_t text[64] = {};
        GetDlgItemTextW(boxes.front(), 0xFFFF, text, 64);
        shown.push_back(text);
        if (shown.size() == 1) {
            errors.report(L"first");
            errors.report(L"second");
            errors.report(L"second");
        }
        PostMessageW(boxes.front(), WM_COMMAND, IDOK, 0);
    });
    watcher.setEnabled(true);
    errors.report(L"first");
    errors.report(L"first");
    for (int pass = 0; pass < 200 && (shown.size() < 2 || errors.boxOpen()); ++pass) {
        loop.runOnce(100);
    }
    // Any box still to come would show within these passes.
    for (int pass = 0; pass < 5; ++pass) loop.runOnce(100);
    watcher.setEnabled(false);
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"first", L"second"}));
    EXPECT_EQ(mostOpen, 1);
    DestroyWindow(owner);
}

}  // namespace
}  // namespace tavorline::win
