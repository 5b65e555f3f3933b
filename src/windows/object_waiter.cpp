#include "windows/object_waiter.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <stdexcept>

namespace tavorline::win {
namespace {

// A full message queue (10,000 messages) is the only reason a post fails
// while the window lives: the report is tried again after this pause.
constexpr DWORD kRepostPauseMs = 10;

}  // namespace

ObjectWaiter::ObjectWaiter(HWND window, UINT message)
    : window_(window), message_(message), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (wake_ == nullptr) throw std::runtime_error("cannot create the waiter's event");
    thread_ = std::thread([this] { run(); });
}

ObjectWaiter::~ObjectWaiter() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    SetEvent(wake_);
    thread_.join();
    for (const Entry& entry : entries_) CloseHandle(entry.object);
    for (HANDLE object : retired_) CloseHandle(object);
    CloseHandle(wake_);
}

void ObjectWaiter::add(std::uint32_t id, HANDLE object) {
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), object, GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        throw std::runtime_error("cannot wait for the object: error " +
                                 std::to_string(GetLastError()));
    }
    {
        const std::lock_guard lock(mutex_);
        if (entries_.size() >= kMaxObjects) {
            CloseHandle(duplicate);
            throw std::length_error("too many objects to wait for");
        }
        entries_.push_back({id, duplicate, true});
    }
    SetEvent(wake_);
}

void ObjectWaiter::remove(std::uint32_t id) {
    const std::lock_guard lock(mutex_);
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [id](const Entry& entry) { return entry.id == id; });
    if (found == entries_.end()) return;
    retired_.push_back(found->object);
    entries_.erase(found);
    SetEvent(wake_);
}

void ObjectWaiter::rearm(std::uint32_t id) {
    const std::lock_guard lock(mutex_);
    for (Entry& entry : entries_) {
        if (entry.id == id && !entry.armed) {
            entry.armed = true;
            SetEvent(wake_);
        }
    }
}

void ObjectWaiter::run() {
    for (;;) {
        std::vector<Entry> armed;
        if (!takeArmedEntries(armed)) return;
        std::vector<HANDLE> objects{wake_};
        for (const Entry& entry : armed) objects.push_back(entry.object);
        const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(objects.size()),
                                                   objects.data(), FALSE, INFINITE);
        DWORD position = woken - WAIT_OBJECT_0;
        if (woken >= WAIT_ABANDONED_0 && woken < WAIT_ABANDONED_0 + objects.size()) {
            position = woken - WAIT_ABANDONED_0;
        } else if (woken == WAIT_FAILED) {
            // Cannot happen with handles of our own; never spin on it.
            Sleep(kRepostPauseMs);
            continue;
        }
        if (position == 0 || position >= objects.size()) continue;
        const std::uint32_t id = armed[position - 1].id;
        if (disarm(id)) report(id);
    }
}

// The entries to wait for now, false once stopping; closes the duplicates
// nobody waits on any more.
bool ObjectWaiter::takeArmedEntries(std::vector<Entry>& armed) {
    const std::lock_guard lock(mutex_);
    for (HANDLE object : retired_) CloseHandle(object);
    retired_.clear();
    std::copy_if(entries_.begin(), entries_.end(), std::back_inserter(armed),
                 [](const Entry& entry) { return entry.armed; });
    return !stopping_;
}

bool ObjectWaiter::disarm(std::uint32_t id) {
    const std::lock_guard lock(mutex_);
    for (Entry& entry : entries_) {
        if (entry.id == id && entry.armed) {
            entry.armed = false;
            return true;
        }
    }
    return false;
}

void ObjectWaiter::report(std::uint32_t id) {
    while (!PostMessageW(window_, message_, id, 0)) {
        if (!IsWindow(window_)) return;
        Sleep(kRepostPauseMs);
        const std::lock_guard lock(mutex_);
        if (stopping_) return;
    }
}

}  // namespace tavorline::win
