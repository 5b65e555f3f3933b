#include "windows/event_loop.h"

#include <algorithm>
#include <stdexcept>

namespace tavorline::win {

void EventLoop::watch(HANDLE object, Handler handler) {
    unwatch(object);
    // One wait covers at most this many objects besides the message queue.
    if (watches_.size() + 1 >= MAXIMUM_WAIT_OBJECTS) {
        throw std::length_error("too many objects to wait for");
    }
    watches_.push_back({object, std::move(handler)});
}

void EventLoop::unwatch(HANDLE object) {
    std::erase_if(watches_, [object](const Watch& watch) { return watch.object == object; });
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

// A wait reports the first signalled object of its list, and the message
// queue only when no object is signalled. So that an object signalled again
// and again (Wine's serial waits, a busy host) starves neither the others nor
// the windows, each pass starts the list after the object served last and
// then takes the messages already queued.
bool EventLoop::runOnce(DWORD timeoutMs) {
    const std::size_t count = watches_.size();
    std::vector<HANDLE> objects;
    objects.reserve(count);
    const std::size_t first = count == 0 ? 0 : nextFirst_ % count;
    for (std::size_t i = 0; i < count; ++i) objects.push_back(watches_[(first + i) % count].object);
    const DWORD woken = MsgWaitForMultipleObjectsEx(static_cast<DWORD>(count), objects.data(),
                                                    timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_TIMEOUT || woken == WAIT_FAILED) return false;
    if (woken == WAIT_OBJECT_0 + count) {
        dispatchMessages();
        return true;
    }
    const DWORD position =
        woken >= WAIT_ABANDONED_0 ? woken - WAIT_ABANDONED_0 : woken - WAIT_OBJECT_0;
    if (position >= count) return false;
    const std::size_t index = (first + position) % count;
    nextFirst_ = index + 1;
    // The handler may change the list (and so this very entry): call a copy.
    const Handler handler = watches_[index].handler;
    handler();
    if (!quitting_) dispatchMessages();
    return true;
}

void EventLoop::dispatchMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit(static_cast<int>(message.wParam));
            return;
        }
        if (filtered(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
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

}  // namespace tavorline::win
