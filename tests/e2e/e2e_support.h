#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "pty_pair.h"
#include "temp_folder.h"

// Helpers for end-to-end tests: real programs of build/bin, pty pairs for the
// terminal's cable, temporary gateway folders. Waits take a safety limit only;
// they return as soon as what they wait for is there.
namespace tavorline::e2e {

using namespace std::chrono_literals;

// The generous limit for anything the gateway should do within a second.
inline constexpr std::chrono::milliseconds kSafetyLimit = 15s;

// A program of the build tree's bin folder.
std::string program(std::string_view name);

// The programs, the terminal's cable (blocking waits: the gateway runs in
// its own process), the gateway's folders.
using testing::ChildProcess;
using testing::PtyPair;
using testing::readBytes;
using testing::TempFolder;

// A socat pty pair: two links whose devices are connected to each other, for
// running terminal-sim against the gateway the way an installer would.
class SocatPair {
public:
    SocatPair(const std::filesystem::path& gatewaySide, const std::filesystem::path& terminalSide);
    ~SocatPair();

private:
    std::unique_ptr<ChildProcess> socat_;
};

// Text in the gateway's code page (CP949) from UTF-8.
std::string cp949(std::string_view utf8);

// vorn.Ini in `home` with section [VORN], CR LF line ends, the keys in order.
void writeVornIni(const std::filesystem::path& home,
                  const std::vector<std::pair<std::string, std::string>>& keys);
// The value of `key` in vorn.Ini, without the quotes that keep trailing blanks.
std::optional<std::string> iniValue(const std::filesystem::path& home, std::string_view key);
// Today's daily log of the gateway in `home`, CP949 bytes.
std::string todaysLog(const std::filesystem::path& home);
// Waits until today's log holds `text` (CP949); false at the limit.
bool waitForLog(const std::filesystem::path& home, std::string_view text,
                std::chrono::milliseconds limit = kSafetyLimit);

// The gateway, headless, on the folder `home`; started once it shows its
// first idle status.
class GatewayProcess {
public:
    explicit GatewayProcess(const std::filesystem::path& home);
    ChildProcess& process() { return *process_; }
    bool ready() const { return ready_; }

private:
    std::unique_ptr<ChildProcess> process_;
    bool ready_ = false;
};

// The running child of this process whose program is `name`; -1 when none.
pid_t childPid(std::string_view name);

}  // namespace tavorline::e2e
