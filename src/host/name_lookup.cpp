#include "host/name_lookup.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "host/host_transport.h"

namespace tavorline {
namespace {

// Shared by the caller and the lookup's thread, so that it outlives
// whichever of them lets go last.
struct PendingLookup {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<Bytes> address;
    std::exception_ptr failure;
};

}  // namespace

Bytes lookUpWithin(const NameLookup& lookup, const Bytes& hostName,
                   std::chrono::milliseconds timeout) {
    if (timeout.count() <= 0) return lookup(hostName);
    auto pending = std::make_shared<PendingLookup>();
    // The thread owns copies of all it uses: the caller may be long gone
    // when the name servers answer.
    std::thread([pending, lookup, hostName] {
        std::optional<Bytes> address;
        std::exception_ptr failure;
        try {
            address = lookup(hostName);
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(pending->mutex);
        pending->address = std::move(address);
        pending->failure = failure;
        pending->answered.notify_one();
    }).detach();

    std::unique_lock<std::mutex> lock(pending->mutex);
    const bool answered = pending->answered.wait_for(
        lock, timeout, [&] { return pending->address || pending->failure; });
    if (!answered) throw HostError("Host " + hostName + " not found: no answer in time");
    if (pending->failure) std::rethrow_exception(pending->failure);
    return *pending->address;
}

}  // namespace tavorline
