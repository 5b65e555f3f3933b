// The program's one loop under load: an object that is signalled again and
// again must not keep the windows or the other objects waiting.
#include <gtest/gtest.h>

#include "windows/event_loop.h"

namespace tavorline::win {
namespace {

// A manual-reset event that its handler never resets: signalled for good,
// as Wine's serial wait is while a busy line keeps ending it.
struct BusyEvent {
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    int served = 0;
    ~BusyEvent() { CloseHandle(event); }
};

TEST(WinEventLoop, ABusyObjectStarvesNeitherMessagesNorOtherObjects) {
    EventLoop loop;
    BusyEvent first;
    BusyEvent second;
    loop.watch(first.event, [&first] { ++first.served; });
    loop.watch(second.event, [&second] { ++second.served; });

    int posted = 0;
    const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    loop.filterMessages(window, [&posted](const MSG& message) {
        if (message.message == WM_APP) ++posted;
        return message.message == WM_APP;
    });
    PostMessageW(window, WM_APP, 0, 0);

    for (int pass = 0; pass < 4; ++pass) ASSERT_TRUE(loop.runOnce(0));
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(first.served, 2);
    EXPECT_EQ(second.served, 2);
    DestroyWindow(window);
}

}  // namespace
}  // namespace tavorline::win
