// The program's one loop: objects signalled again and again, a flood of
// posted messages, and message loops that are not ours (a message box, a
// menu) must all leave the gateway's objects served.
#include <gtest/gtest.h>

#include <cstdlib>

#include "windows/event_loop.h"
#include "windows/win_timer.h"

namespace tavorline::win {
namespace {

using namespace std::chrono_literals;

constexpr DWORD kPassWaitMs = 100;
constexpr int kMaxPasses = 200;

// A manual-reset event that its handler never resets: signalled for good,
// as Wine's serial wait is while a busy line keeps ending it.
struct BusyEvent {
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    int served = 0;
    ~BusyEvent() { CloseHandle(event); }
};

struct MessageWindow {
    HWND handle = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    ~MessageWindow() { DestroyWindow(handle); }
};

void CALLBACK endModalLoops(HWND window, UINT, UINT_PTR timer, DWORD) {
    KillTimer(window, timer);
    EndMenu();
    if (HWND box = FindWindowW(L"#32770", L"modal loop")) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

template <typename Condition>
bool runUntil(EventLoop& loop, Condition condition) {
    for (int pass = 0; pass < kMaxPasses && !condition(); ++pass) loop.runOnce(kPassWaitMs);
    return condition();
}

TEST(WinEventLoop, ABusyObjectStarvesNeitherMessagesNorOtherObjects) {
    EventLoop loop;
    BusyEvent first;
    BusyEvent second;
    loop.watch(first.event, [&first] { ++first.served; });
    loop.watch(second.event, [&second] { ++second.served; });

    int posted = 0;
    MessageWindow window;
    ASSERT_NE(window.handle, nullptr);
    loop.filterMessages(window.handle, [&posted](const MSG& message) {
        if (message.message == WM_APP) ++posted;
        return message.message == WM_APP;
    });
    PostMessageW(window.handle, WM_APP, 0, 0);

    EXPECT_TRUE(runUntil(loop, [&] { return posted == 1 && first.served >= 3 && second.served >= 3; }))
        << posted << " " << first.served << " " << second.served;
    // Each report waits for its handler: never two in a row for the busy one
    // while the other is waiting.
    EXPECT_LE(std::abs(first.served - second.served), 1);
}

// A web screen or any other process may post to us without pause: one pass
// still ends, and an object signalled meanwhile is served among the flood.
TEST(WinEventLoop, APassEndsAndObjectsAreServedDuringAFloodOfMessages) {
    EventLoop loop;
    MessageWindow window;
    constexpr int kFlood = 5000;
    int handled = 0;
    loop.filterMessages(window.handle, [&](const MSG& message) {
        if (message.message != WM_APP) return false;
        if (++handled < kFlood) PostMessageW(window.handle, WM_APP, 0, 0);
        return true;
    });
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    bool served = false;
    loop.watch(event, [&served] { served = true; });

    PostMessageW(window.handle, WM_APP, 0, 0);
    ASSERT_TRUE(loop.runOnce(kPassWaitMs));
    EXPECT_LT(handled, kFlood) << "one pass handled the whole flood";
    SetEvent(event);
    EXPECT_TRUE(runUntil(loop, [&] { return served; }));
    EXPECT_LT(handled, kFlood) << "the object waited for the flood to end";
    loop.unwatch(event);
    CloseHandle(event);
}

// While the staff have a menu or an error box open, the system's loop runs,
// not ours; the timers (and so the serial line and the host) must go on.
TEST(WinEventLoop, TimersTickInsideAMessageBoxAndAMenu) {
    EventLoop loop;
    WinTimer timer(loop, 20ms);
    constexpr int kTicksToClose = 5;
    for (const bool menu : {false, true}) {
        SCOPED_TRACE(menu ? "menu" : "message box");
        int ticks = 0;
        timer.setHandler([&ticks, menu] {
            if (++ticks != kTicksToClose) return;
            if (menu) {
                EndMenu();
            } else if (HWND box = FindWindowW(L"#32770", L"modal loop")) {
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        });
        timer.setEnabled(true);
        // Should the loop stand still, this ends the box or menu anyway.
        MessageWindow owner;
        SetTimer(owner.handle, 1, 3000, &endModalLoops);
        if (menu) {
            const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                                nullptr, nullptr, nullptr);
            const HMENU popup = CreatePopupMenu();
            AppendMenuW(popup, MF_STRING, 1, L"item");
            SetForegroundWindow(window);
            TrackPopupMenuEx(popup, TPM_RETURNCMD, 0, 0, window, nullptr);
            DestroyMenu(popup);
            DestroyWindow(window);
        } else {
            MessageBoxW(nullptr, L"text", L"modal loop", MB_OK);
        }
        timer.setEnabled(false);
        EXPECT_GE(ticks, kTicksToClose);
    }
}

}  // namespace
}  // namespace tavorline::win
