#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "e2e_support.h"

// What the fault tests share: the processes behind ChildProcess, their CPU
// time, and one terminal call on a pty pair.
namespace tavorline::e2e {

// User and system time `pid` has used, in clock ticks.
long cpuTicks(pid_t pid);
// The ticks `pid` uses while the test sleeps `span`.
long cpuTicksOver(pid_t pid, std::chrono::milliseconds span);

// How many times the gateway has shown `status` on its status line.
std::size_t statusCount(const ChildProcess& gateway, std::string_view status);

// Waits until the gateway has shown `then` after the last `first`.
bool waitForStatusAfter(ChildProcess& gateway, std::string_view first, std::string_view then,
                        std::chrono::milliseconds limit = kSafetyLimit);

// vorn.Ini for one terminal on COM6; `extra` keys follow.
void writeFaultIni(const std::filesystem::path& home, const std::string& ecType,
                   const std::vector<std::pair<std::string, std::string>>& extra = {});

// Dials in `dial` mode (three of that byte), names `destination` and takes
// the seven ENQ; false, with the reason in `why`, when the gateway does not
// play along.
bool dialAndConnect(PtyPair& line, char dial, const std::string& destination, std::string& why);

// How the gateway carries a call dialled LF: over TLS (EcType A), plain TCP
// (EcType T), or after the key exchange of mode AR (EcType R).
enum class Carried { Tls, PlainTcp, KeyExchange };

// A whole approved payment dialled LF, host-sim the host: played by
// terminal-sim on `device`, or by the test on `line`. Empty when approved,
// otherwise what went wrong. `hostOptions` go to host-sim.
std::string approvedPayment(const std::filesystem::path& device);
std::string approvedPayment(PtyPair& line, Carried carried = Carried::Tls,
                            const std::vector<std::string>& hostOptions = {});

}  // namespace tavorline::e2e
