#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace tavorline::win {

class ObjectWaiter;

// Everything that happens reaches the program's one thread as a window
// message, so whichever message loop is running drives the gateway: ours,
// a tray menu's, a message box's, a window being dragged, a dialog's.
//
// The kernel objects the adapters watch (the serial port's overlapped
// events, a socket's network event, a waitable timer) are waited for by a
// small waiter thread. When one is signalled, the waiter posts one message
// for it to a hidden window of this thread and stops watching it; the
// handler then runs here, on the main thread, from whatever loop dispatches
// that message, and only after it has returned is the object watched again.
// So a handler never runs twice at once, a busy object costs one message per
// pass instead of starving the rest, and the engine only ever runs on the
// main thread.
//
// A thread that waits inside SendMessage (a slow web window taking
// WM_COPYDATA) dispatches sent messages only: what the objects reported
// meanwhile is served as soon as the send returns.
class EventLoop {
public:
    using Handler = std::function<void()>;
    // Sees a message for its window (or a child of it) before our own loop
    // dispatches it; true when it used the message up. A dialog's key preview.
    using MessageFilter = std::function<bool(const MSG&)>;

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // `handler` runs each time `object` is signalled. A manual-reset event
    // must be reset by its handler, or it runs again at once. The object may
    // be closed once it is unwatched.
    void watch(HANDLE object, Handler handler);
    void unwatch(HANDLE object);

    // One filter per window; a new one replaces the old.
    void filterMessages(HWND window, MessageFilter filter);
    void unfilterMessages(HWND window);

    // Dispatches messages until quit().
    int run();
    void quit(int exitCode);
    bool quitting() const { return quitting_; }

    // Handles what is ready, a bounded number of messages, waiting at most
    // `timeoutMs` for the first of it; false when nothing came. Lets a modal
    // step (or a test) wait for one thing while the rest of the program
    // carries on. Rethrows what a watch's handler threw.
    bool runOnce(DWORD timeoutMs);

private:
    struct Watch {
        std::uint32_t id;
        HANDLE object;
        Handler handler;
    };

    struct Filter {
        HWND window;
        MessageFilter filter;
    };

    template <typename T>
    friend LRESULT CALLBACK forwardToObject(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void serve(std::uint32_t id);

    std::size_t dispatchMessages();
    bool filtered(const MSG& message) const;

    HWND window_ = nullptr;  // hidden, message-only: where the waiter posts
    std::unique_ptr<ObjectWaiter> waiter_;
    // What a handler threw inside a message loop not ours, for runOnce.
    std::exception_ptr handlerError_;
    std::vector<Watch> watches_;
    std::vector<Filter> filters_;
    std::uint32_t lastId_ = 0;
    bool quitting_ = false;
    int exitCode_ = 0;
};

}  // namespace tavorline::win
