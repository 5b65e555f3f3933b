#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/bytes.h"

namespace tavorline::win {

// One gateway per folder: two would fight over the terminal's COM port and
// write the same vorn.Ini and log. The staff start the program a second
// time by double-clicking its shortcut again; that start finds the first
// here, brings its window to the front and ends.
//
// The gateways of other folders (two terminals on one PC) are left alone:
// the mutex is named after a hash of the folder, and only the window of the
// gateway of that folder is asked to show itself.
class SingleInstance {
public:
    explicit SingleInstance(const std::filesystem::path& programFolder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False only when another gateway of this folder surely runs.
    bool isFirst() const { return first_; }
    // Why it cannot be told whether another runs (the mutex could not be
    // made), in CP949; empty when it can. Such a start goes on as the first: the COM
    // port, which one program alone can open, still keeps a second gateway
    // off the line.
    const Bytes& doubt() const { return doubt_; }

private:
    HANDLE mutex_ = nullptr;
    bool first_ = true;
    Bytes doubt_;
};

// What names a gateway's folder between processes: a hash of its path as
// the system compares paths (whole, in one case, one kind of separator).
std::uint64_t folderKey(const std::filesystem::path& programFolder);

// The message a gateway's main window answers by showing itself, when its
// wParam and lParam carry its folderKey (low half, high half); it answers 1
// then, 0 to another folder's key.
UINT showMainWindowMessage();
bool isShowRequestFor(std::uint64_t key, WPARAM wParam, LPARAM lParam);
// Asks the gateway of `programFolder` to show its main window in front;
// false when none answered.
bool bringRunningGatewayToFront(const std::filesystem::path& programFolder);

}  // namespace tavorline::win
