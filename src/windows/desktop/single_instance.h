#pragma once

#include <windows.h>

#include <filesystem>

namespace tavorline::win {

// One gateway per folder: two would fight over the terminal's COM port and
// write the same vorn.Ini and log. The staff start the program a second
// time by double-clicking its shortcut again; that start finds the first
// here, brings its window to the front and ends.
class SingleInstance {
public:
    explicit SingleInstance(const std::filesystem::path& programFolder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    bool isFirst() const { return first_; }

private:
    HANDLE mutex_ = nullptr;
    bool first_ = true;
};

// The message the running gateway's main window answers by showing itself.
UINT showMainWindowMessage();
// Asks the running gateway to show its main window in front; false when
// none answered.
bool bringRunningGatewayToFront();

}  // namespace tavorline::win
