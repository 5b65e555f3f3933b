#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace tavorline::win {

// Waits, on a thread of its own, for the kernel objects it was given, and
// posts `message` (wParam: the object's id) to `window` when one is
// signalled. A reported object is not looked at again until rearm(), so the
// window's thread gets at most one message per object at a time and decides
// when the next may come.
//
// It waits on duplicates of the handles: the owner may close an object as
// soon as it has removed it, even while this thread is still waiting.
class ObjectWaiter {
public:
    // One wait covers at most this many objects, besides the waiter's own.
    static constexpr std::size_t kMaxObjects = MAXIMUM_WAIT_OBJECTS - 1;

    ObjectWaiter(HWND window, UINT message);
    ~ObjectWaiter();
    ObjectWaiter(const ObjectWaiter&) = delete;
    ObjectWaiter& operator=(const ObjectWaiter&) = delete;

    // Throws when the object cannot be waited for, or too many are.
    void add(std::uint32_t id, HANDLE object);
    void remove(std::uint32_t id);
    void rearm(std::uint32_t id);

private:
    struct Entry {
        std::uint32_t id;
        HANDLE object;  // our duplicate
        bool armed;
    };

    void run();
    bool takeArmedEntries(std::vector<Entry>& armed);
    bool disarm(std::uint32_t id);
    void report(std::uint32_t id);

    const HWND window_;
    const UINT message_;
    HANDLE wake_;
    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::vector<HANDLE> retired_;  // duplicates to close once not waited on
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tavorline::win
