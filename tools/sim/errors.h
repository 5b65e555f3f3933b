#pragma once

#include <stdexcept>

namespace tavorline::sim {

// Exit codes shared by the simulators, so that scripts can tell a broken
// protocol from a mistyped command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitProtocol = 1;  // the other side broke the protocol or timed out
inline constexpr int kExitUsage = 2;
inline constexpr int kExitSetup = 3;    // device, socket, certificate or library unusable
inline constexpr int kExitOutcome = 4;  // the call ran, but not to the outcome asked for

// The other side sent something the protocol does not allow, or nothing in time.
struct ProtocolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Something of our own could not be set up.
struct SetupError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace tavorline::sim
