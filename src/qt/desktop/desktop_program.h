#pragma once

#include "qt/desktop/desktop_ui.h"
#include "qt/gateway_runtime.h"

namespace tavorline {

// The tray program: the gateway driven by the desktop windows. Needs a
// QApplication.
class DesktopProgram {
public:
    // `trayAvailable`: whether the desktop shows tray icons
    // (QSystemTrayIcon::isSystemTrayAvailable()). Without one the main window
    // is shown at start, so that nobody is locked out of the program.
    DesktopProgram(DesktopUi& ui, GatewayRuntime& runtime, bool trayAvailable);

    // The tray icon, then FormCreate (which opens the port), then the main
    // window where there is no tray.
    void start();
    // The event loop until 끝내기 or a stop request, then FormDestroy.
    int exec();
    // A stop signal: ends the program as 끝내기 does, also while an error box
    // or the settings dialog holds the thread, and also before exec().
    void requestStop();

private:
    DesktopUi& ui_;
    GatewayRuntime& runtime_;
    bool trayAvailable_;
    bool stopRequested_ = false;
};

}  // namespace tavorline
