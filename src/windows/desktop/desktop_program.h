#pragma once

#include <filesystem>
#include <cstdint>
#include <optional>

#include "windows/desktop/desktop_ui.h"
#include "windows/desktop/display_window.h"
#include "windows/desktop/error_boxes.h"
#include "windows/desktop/main_window_face.h"
#include "windows/desktop/pictures.h"
#include "windows/desktop/tray_icon.h"
#include "windows/gateway_program.h"

namespace tavorline::win {

// The gateway as the tray program the shop's staff know: the icon in the
// notification area, the main window behind it, the settings dialog and the
// display window, around the same GatewayProgram the headless mode runs.
class DesktopProgram {
public:
    static constexpr const wchar_t* kTrayHint = L"Tavorline 6.0";

    DesktopProgram(EventLoop& loop, const std::filesystem::path& programFolder);
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // The tray icon, or the main window where there is no tray; then
    // FormCreate.
    void start();
    // FormDestroy, once; the tray icon leaves with it.
    void stop();

    HWND mainWindow() const { return gateway_.mainWindow().handle(); }
    GatewayProgram& gateway() { return gateway_; }

    void BT_INITClick();
    void BT_PROCESSClick();
    void BT_EXITClick();
    void N1Show1Click();
    void N2Close1Click();

private:
    std::optional<LRESULT> handleMainWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void bindButtons();
    void followLineActivity();
    void setWindowIcons();

    EventLoop& loop_;
    Pictures pictures_;
    DisplayWindow display_;
    DesktopUi ui_;
    GatewayProgram gateway_;
    MainWindowFace face_;
    ErrorBoxes errors_;
    HICON trayIconPicture_;
    HICON windowIcons_[2] = {};
    TrayIcon tray_;
    UINT showMessage_;
    std::uint64_t folderKey_;
    bool stopped_ = false;
};

}  // namespace tavorline::win
