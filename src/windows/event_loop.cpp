#include "windows/event_loop.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "windows/object_waiter.h"
#include "windows/window_class.h"

namespace tavorline::win {
namespace {

constexpr const wchar_t* kWindowClass = L"Tavorline.EventLoop";
constexpr UINT kObjectSignalled = WM_APP + 1;
// One pass of our loop dispatches at most this many messages, so that a
// process posting to us without pause cannot keep the loop from returning
// (and the modal steps built on runOnce from looking at their state).
constexpr std::size_t kMessagesPerPass = 64;

}  // namespace

EventLoop::EventLoop() {
    registerWindowClass(kWindowClass, &forwardToObject<EventLoop>, nullptr);
    CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                    GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) throw std::runtime_error("cannot create the event loop's window");
    waiter_ = std::make_unique<ObjectWaiter>(window_, kObjectSignalled);
}

// The waiter stops before the window goes, so it never posts to a window
// that is no more.
EventLoop::~EventLoop() {
    waiter_.reset();
    DestroyWindow(window_);
}

void EventLoop::watch(HANDLE object, Handler handler) {
    unwatch(object);
    const std::uint32_t id = ++lastId_;
    waiter_->add(id, object);
    watches_.push_back({id, object, std::move(handler)});
}

// A report already posted for the object finds no watch under its id and is
// dropped, also when the same object is watched again meanwhile: a timer
// restarted after its tick was posted must not tick early.
void EventLoop::unwatch(HANDLE object) {
    std::erase_if(watches_, [this, object](const Watch& watch) {
        if (watch.object != object) return false;
        waiter_->remove(watch.id);
        return true;
    });
}

void EventLoop::filterMessages(HWND window, MessageFilter filter) {
    unfilterMessages(window);
    filters_.push_back({window, std::move(filter)});
}

void EventLoop::unfilterMessages(HWND window) {
    std::erase_if(filters_, [window](const Filter& filter) { return filter.window == window; });
}

int EventLoop::run() {
    while (!quitting_) runOnce(INFINITE);
    return exitCode_;
}

void EventLoop::quit(int exitCode) {
    exitCode_ = exitCode;
    quitting_ = true;
}

bool EventLoop::runOnce(DWORD timeoutMs) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) &&
        MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE) !=
            WAIT_OBJECT_0) {
        return false;
    }
    dispatchMessages();
    if (handlerError_) std::rethrow_exception(std::exchange(handlerError_, nullptr));
    return true;
}

std::size_t EventLoop::dispatchMessages() {
    MSG message;
    std::size_t count = 0;
    while (count < kMessagesPerPass && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ++count;
        if (message.message == WM_QUIT) {
            quit(static_cast<int>(message.wParam));
            break;
        }
        if (filtered(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return count;
}

bool EventLoop::filtered(const MSG& message) const {
    if (message.hwnd == nullptr) return false;
    for (const Filter& filter : filters_) {
        const bool ours = message.hwnd == filter.window || IsChild(filter.window, message.hwnd);
        // A copy: the filter may close its window and so remove itself.
        if (ours) return MessageFilter(filter.filter)(message);
    }
    return false;
}

LRESULT EventLoop::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kObjectSignalled) return DefWindowProcW(window_, message, wParam, lParam);
    serve(static_cast<std::uint32_t>(wParam));
    return 0;
}

// A handler may run inside a message loop of the system's (a menu's, a
// message box's), through which no exception can pass: what it throws waits
// for our own loop.
void EventLoop::serve(std::uint32_t id) {
    const auto found = std::find_if(watches_.begin(), watches_.end(),
                                    [id](const Watch& watch) { return watch.id == id; });
    if (found == watches_.end()) return;
    // The handler may change the list (and so this very entry): call a copy.
    const Handler handler = found->handler;
    try {
        handler();
    } catch (...) {
        if (!handlerError_) handlerError_ = std::current_exception();
    }
    const bool stillWatched = std::any_of(watches_.begin(), watches_.end(),
                                          [id](const Watch& watch) { return watch.id == id; });
    if (stillWatched) waiter_->rearm(id);
}

}  // namespace tavorline::win
