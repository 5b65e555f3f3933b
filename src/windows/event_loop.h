#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <vector>

namespace tavorline::win {

// The program's one thread waits here for whatever comes next: a window
// message, or one of the kernel objects the adapters watch (the serial
// port's overlapped events, a socket's network event, a waitable timer).
// Nothing polls; each handler runs on this thread, one at a time.
class EventLoop {
public:
    using Handler = std::function<void()>;
    // Sees a message for its window (or a child of it) before it is
    // dispatched; true when it used the message up. A dialog's key preview.
    using MessageFilter = std::function<bool(const MSG&)>;

    // `handler` runs each time `object` is signalled. A manual-reset event
    // must be reset by its handler, or it runs again at once.
    void watch(HANDLE object, Handler handler);
    void unwatch(HANDLE object);

    // One filter per window; a new one replaces the old.
    void filterMessages(HWND window, MessageFilter filter);
    void unfilterMessages(HWND window);

    // Dispatches messages and signalled objects until quit().
    int run();
    void quit(int exitCode);
    bool quitting() const { return quitting_; }

    // Handles what is ready, waiting at most `timeoutMs` for the first of
    // it; false when nothing came. Lets a blocking step (or a test) wait
    // for one thing while the rest of the program carries on.
    bool runOnce(DWORD timeoutMs);

private:
    struct Watch {
        HANDLE object;
        Handler handler;
    };

    struct Filter {
        HWND window;
        MessageFilter filter;
    };

    void dispatchMessages();
    bool filtered(const MSG& message) const;

    std::vector<Watch> watches_;
    std::vector<Filter> filters_;
    std::size_t nextFirst_ = 0;  // where the next wait starts the list
    bool quitting_ = false;
    int exitCode_ = 0;
};

}  // namespace tavorline::win
