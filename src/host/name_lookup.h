#pragma once

#include <chrono>
#include <functional>

#include "support/bytes.h"

namespace tavorline {

// Asks the system for the first IPv4 address of a host name, as dotted text;
// throws HostError. It may block for as long as the name servers take.
using NameLookup = std::function<Bytes(const Bytes& hostName)>;

// Runs `lookup` on a thread of its own and waits for its answer at most
// `timeout` (0 or less: as long as it takes, on the calling thread). The
// system's lookup cannot be cancelled, so one that misses the deadline is
// left to finish alone and its answer is dropped; the caller is free at once
// and gets HostError "Host <name> not found: no answer in time".
Bytes lookUpWithin(const NameLookup& lookup, const Bytes& hostName,
                   std::chrono::milliseconds timeout);

}  // namespace tavorline
