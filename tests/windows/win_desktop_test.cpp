// tavorline.exe as the tray program, under Wine with an X display (Xvfb,
// which gives Wine a notification area) and COM9 on a pty: the window the
// web screen needs, the tray icon and its menu, closing, a second start.
// And the display window, in this process.
#include <gtest/gtest.h>

#include <winsock2.h>
// After winsock2.h: on its own it would bring in the older winsock.h.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "eventually.h"
#include "loopback_socket.h"
#include "temp_folder.h"
#include "under_wine.h"
#include "windows/desktop/display_window.h"
#include "windows/desktop/error_boxes.h"
#include "windows/desktop/look.h"
#include "windows/desktop/main_window_face.h"
#include "windows/desktop/tray_icon.h"
#include "windows/event_loop.h"
#include "windows/win_serial_port.h"
#include "windows/win_timer.h"

namespace tavorline::win {
namespace {

using namespace std::chrono_literals;
using tavorline::testing::ChildProcess;
using tavorline::testing::eventually;
using tavorline::testing::TempFolder;
using tavorline::testing::writeBytes;

constexpr wchar_t kWaiting[] = L"대기중 ...";

// The popup menu on the screen, once there is one.
HWND shownMenu() {
    HWND menu = nullptr;
    eventually(
        [&menu] { return (menu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(menu); },
        kPatience);
    return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
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
        ASSERT_TRUE(eventually(
            [this] { return (window_ = FindWindowW(L"TFmain", L"Tavorline")) != nullptr; },
            kPatience));
        ASSERT_TRUE(eventually([this] { return statusLine() == kWaiting; }, kPatience))
            << statusLine();
    }

    std::vector<std::string> startCommand() const {
        return {windowsPath(TAVORLINE_EXE), "--home", home_.path().string()};
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
    EXPECT_TRUE(eventually([this] { return IsWindowVisible(window_) != FALSE; }, kPatience));

    clickIcon(WM_RBUTTONUP);
    const HWND menu = shownMenu();
    ASSERT_NE(menu, nullptr);
    PostMessageW(menu, WM_KEYDOWN, 'E', 0);
    EXPECT_EQ(gateway_->waitForExit(), 0);
}

// The shortcut double-clicked again: the second start shows the first's
// window and leaves; the first keeps its port. Closing the window only hides it.
TEST_F(DesktopProgramTest, SecondStartShowsTheFirstAndClosingOnlyHides) {
    ChildProcess second(startCommand());
    EXPECT_EQ(second.waitForExit(), 0);
    EXPECT_TRUE(IsWindowVisible(window_));
    EXPECT_TRUE(gateway_->running());
    EXPECT_EQ(statusLine(), kWaiting);

    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_TRUE(gateway_->running());
    EXPECT_TRUE(trayIconShown());
}

struct WindowSearch {
    DWORD process;
    std::wstring className;
    std::vector<HWND> found;
};

BOOL CALLBACK collectProcessWindow(HWND window, LPARAM search) {
    auto& wanted = *reinterpret_cast<WindowSearch*>(search);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (process == wanted.process && className == wanted.className) wanted.found.push_back(window);
    return TRUE;
}

// The top-level windows of class `className` that a gateway process has.
std::vector<HWND> windowsOf(const ChildProcess& gateway, const wchar_t* className) {
    WindowSearch search{gateway.processId(), className, {}};
    EnumWindows(&collectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The main window of a gateway process, once it has one.
HWND mainWindowOf(const ChildProcess& gateway) {
    std::vector<HWND> found;
    eventually([&] { return !(found = windowsOf(gateway, L"TFmain")).empty(); }, kPatience);
    return found.empty() ? nullptr : found.front();
}

// Two terminals on one PC: a gateway per folder. A second start finds its
// own folder's gateway however long the folder's path, and shows only that
// one's window.
TEST_F(DesktopProgramTest, ASecondStartShowsOnlyItsOwnFoldersGateway) {
    const std::filesystem::path deep = home_ / std::string(100, 'd') / std::string(100, 'e');
    std::filesystem::create_directories(deep);
    writeBytes(deep / "vorn.Ini", "[VORN]\r\nEcPort=57\r\nEcSpeed=9600\r\n");
    const std::vector<std::string> deepStart{windowsPath(TAVORLINE_EXE), "--home", deep.string()};
    ChildProcess other(deepStart);
    const HWND otherWindow = mainWindowOf(other);
    ASSERT_NE(otherWindow, nullptr);

    ChildProcess again(deepStart);
    EXPECT_EQ(again.waitForExit(), 0) << "a second gateway started for the same folder";
    EXPECT_TRUE(
        eventually([otherWindow] { return IsWindowVisible(otherWindow) != FALSE; }, kPatience));
    EXPECT_FALSE(IsWindowVisible(window_)) << "another folder's window came up";
    EXPECT_TRUE(other.running());
}

// The payment host of a call: accepts one connection on 127.0.0.1 and keeps
// what it receives.
class CallHost {
public:
    CallHost() {
        ::listen(listener_.socket, 1);
        thread_ = std::thread([this] { serve(); });
    }
    ~CallHost() {
        // Ends a wait in accept.
        closesocket(std::exchange(listener_.socket, INVALID_SOCKET));
        if (connection_ != INVALID_SOCKET) shutdown(connection_, SD_BOTH);
        thread_.join();
        if (connection_ != INVALID_SOCKET) closesocket(connection_);
    }
    int port() const { return listener_.port; }
    bool connected() const { return connection_ != INVALID_SOCKET; }
    void send(const std::string& bytes) {
        ::send(connection_, bytes.data(), static_cast<int>(bytes.size()), 0);
    }
    std::string received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    void serve() {
        const SOCKET connection = ::accept(listener_.socket, nullptr, nullptr);
        if (connection == INVALID_SOCKET) return;
        connection_ = connection;
        char buffer[4096];
        int got = 0;
        while ((got = recv(connection, buffer, sizeof buffer, 0)) > 0) {
            std::lock_guard lock(mutex_);
            received_.append(buffer, static_cast<std::size_t>(got));
        }
    }

    LoopbackSocket listener_;
    std::atomic<SOCKET> connection_ = INVALID_SOCKET;
    std::thread thread_;
    std::mutex mutex_;
    std::string received_;
};

// A call in mode VT (plain TCP, no cipher) with the terminal played here on
// the other end of the gateway's line, while the staff hold a modal loop of
// the system open in the gateway: the tray menu, a move of its window.
class DesktopCallTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* gatewayCom = std::getenv("TAVORLINE_TEST_GATEWAY_COM");
        const char* terminalCom = std::getenv("TAVORLINE_TEST_TERMINAL_COM");
        if (gatewayCom == nullptr || terminalCom == nullptr) {
            GTEST_SKIP() << "needs the pty pair that run_with_pty.sh provides";
        }
        gatewayCom_ = gatewayCom;
        terminal_.setComNumber(std::atoi(terminalCom));
        terminal_.setBaud(9600);
        terminal_.setReceiveHandler([this](std::uint16_t count) {
            for (int i = 0; i < count && terminal_.charReady(); ++i) heard_ += terminal_.getChar();
        });
        terminal_.open();
    }

    void startGateway(const std::string& settings, const std::string& program) {
        writeBytes(home_ / "vorn.Ini",
                   "[VORN]\r\nEcPort=" + gatewayCom_ + "\r\nEcSpeed=9600\r\n" + settings);
        gateway_.emplace(std::vector<std::string>{program, "--home", home_.path().string()});
        window_ = mainWindowOf(*gateway_);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(eventually(
            [this] { return textOf(GetDlgItem(window_, MainWindowFace::kStatusLine)) == kWaiting; },
            kPatience));
        // The start empties the line's input just after it shows the waiting
        // status: a dial sent then is lost. An answered line check says the
        // start is over; one sent too early is asked again.
        bool answered = false;
        for (int attempt = 0; attempt < 5 && !answered; ++attempt) {
            heard_.clear();
            terminal_.putString("\x02LC0001\x03");
            answered =
                terminalSees([this] { return heard_.find("\x06\x06\x06") != Bytes::npos; }, 2s);
        }
        ASSERT_TRUE(answered) << "the gateway never answered the line check";
        heard_.clear();
    }

    // Pumps the terminal's line until `condition` holds.
    template <typename Condition>
    bool terminalSees(Condition condition, std::chrono::milliseconds limit = kPatience) {
        return eventually(condition, limit, [this] { loop_.runOnce(20); });
    }

    void dial(const Bytes& sequence) {
        terminal_.putString(sequence);
        ASSERT_TRUE(terminalSees([this] { return heard_.find("*DESTINATION:") != Bytes::npos; }));
        terminal_.putString("IP127.0.0.1/" + std::to_string(host_.port()) + "\r\r\r");
        ASSERT_TRUE(eventually([this] { return host_.connected(); }, kPatience));
    }

    // A reply from the host reaches the terminal, and the terminal's request
    // reaches the host once the line has been quiet for 100 ms.
    void exchange(const std::string& tag) {
        const std::string reply = "\x02" + tag + " reply\x03";
        host_.send(reply);
        EXPECT_TRUE(terminalSees([&] { return heard_.find(reply) != Bytes::npos; }))
            << tag << ": the host's reply did not reach the terminal";
        const std::string request = "\x02" + tag + " request\x03";
        terminal_.putString(request);
        const auto hostHasIt = [&] { return host_.received().find(request) != std::string::npos; };
        EXPECT_TRUE(terminalSees(hostHasIt))
            << tag << ": the terminal's request did not reach the host";
    }

    bool inModalLoop(DWORD flag) const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info) &&
               (info.flags & flag) != 0;
    }

    TempFolder home_;
    CallHost host_;
    EventLoop loop_;
    WinSerialPort terminal_{loop_, "."};
    Bytes heard_;
    std::string gatewayCom_;
    std::optional<ChildProcess> gateway_;
    HWND window_ = nullptr;
};

TEST_F(DesktopCallTest, CallGoesOnWhileTheTrayMenuIsOpenAndTheWindowIsMoved) {
    ASSERT_NO_FATAL_FAILURE(startGateway("EcType=T\r\n", windowsPath(TAVORLINE_EXE)));
    ASSERT_NO_FATAL_FAILURE(dial("\v\v\v"));
    exchange("before");

    PostMessageW(window_, TrayIcon::kCallbackMessage, TrayIcon::kIconId, WM_RBUTTONUP);
    const HWND menu = shownMenu();
    ASSERT_NE(menu, nullptr);
    exchange("menu");
    EXPECT_TRUE(IsWindowVisible(menu)) << "the menu closed before the exchange";
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(eventually([menu] { return !IsWindowVisible(menu); }, kPatience));

    PostMessageW(window_, TrayIcon::kCallbackMessage, TrayIcon::kIconId, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(eventually([this] { return IsWindowVisible(window_) != FALSE; }, kPatience));
    PostMessageW(window_, WM_SYSCOMMAND, SC_MOVE, 0);
    ASSERT_TRUE(eventually([this] { return inModalLoop(GUI_INMOVESIZE); }, kPatience));
    exchange("move");
    EXPECT_TRUE(inModalLoop(GUI_INMOVESIZE)) << "the move ended before the exchange";
    PostMessageW(window_, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(eventually([this] { return !inModalLoop(GUI_INMOVESIZE); }, kPatience));
}

// Mode AD with no cipher library anywhere the gateway looks: the request
// cannot be encrypted, and the error box opens. The host's control replies
// still reach the terminal while it is open, and the same error again opens
// no second box.
TEST_F(DesktopCallTest, CallGoesOnUnderItsErrorBoxAndTheErrorDoesNotStackBoxes) {
    const std::filesystem::path program = home_ / "tavorline.exe";
    std::filesystem::copy_file(windowsPath(TAVORLINE_EXE), program);
    const int rotatedFrom = host_.port() - 10000;
    ASSERT_NO_FATAL_FAILURE(
        startGateway("EcType=D\r\nAdslAddr=127.0.0.1\r\nAdslSPort=" + std::to_string(rotatedFrom) +
                         "\r\nAdslCPort=" + std::to_string(rotatedFrom + 9) + "\r\n",
                     program.string()));
    ASSERT_NO_FATAL_FAILURE(dial("\r\r\r"));
    const auto boxes = [this] {
        const std::vector<HWND> found = windowsOf(*gateway_, L"#32770");
        return std::count_if(found.begin(), found.end(),
                             [](HWND box) { return IsWindowVisible(box) != FALSE; });
    };

    // Longer than the short control requests, which pass unencrypted.
    const Bytes request = "\x02" + Bytes(40, 'Q') + "\x03";
    terminal_.putString(request);
    ASSERT_TRUE(terminalSees([&] { return boxes() == 1; })) << "no error box";
    host_.send("\x06\x06\x06");
    EXPECT_TRUE(terminalSees([this] { return heard_.find("\x06\x06\x06") != Bytes::npos; }))
        << "the host's ACK did not reach the terminal under the box";
    terminal_.putString(request);
    // The forwarding runs 100 ms after the last byte; give it ten times that.
    terminalSees([] { return false; }, 1s);
    EXPECT_EQ(boxes(), 1) << "the same error opened a second box";
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
    loop.filterMessages(owner,
                        [&errors](const MSG& message) { return errors.handle(message.message); });

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
