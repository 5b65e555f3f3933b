#include "windows/desktop/desktop_program.h"

#include "windows/desktop/resource_ids.h"
#include "windows/desktop/settings_dialog.h"
#include "windows/desktop/single_instance.h"

namespace tavorline::win {

DesktopProgram::DesktopProgram(EventLoop& loop, const std::filesystem::path& programFolder)
    : loop_(loop),
      display_(loop),
      ui_(display_),
      gateway_(loop, programFolder, ui_),
      face_(gateway_.mainWindow().handle(), pictures_),
      errors_(gateway_.mainWindow().handle(), MainWindow::kCaption),
      trayIconPicture_(pictures_.icon(IDR_ICON_16, GetSystemMetrics(SM_CXSMICON))),
      tray_(gateway_.mainWindow().handle(), trayIconPicture_, kTrayHint),
      showMessage_(showMainWindowMessage()),
      folderKey_(folderKey(programFolder)) {
    ui_.attach(face_, errors_);
    setWindowIcons();
    bindButtons();
    followLineActivity();
    MainWindow& window = gateway_.mainWindow();
    // Closing the window only hides it (FormClose).
    window.onClose = [this] { BT_EXITClick(); };
    window.onOtherMessage = [this](UINT message, WPARAM wParam, LPARAM lParam) {
        return handleMainWindowMessage(message, wParam, lParam);
    };
    tray_.onShowWindow = [this] { N1Show1Click(); };
    tray_.onExit = [this] { N2Close1Click(); };
}

DesktopProgram::~DesktopProgram() {
    gateway_.mainWindow().onOtherMessage = nullptr;
    tray_.hide();
    if (trayIconPicture_) DestroyIcon(trayIconPicture_);
    for (HICON icon : windowIcons_) {
        if (icon) DestroyIcon(icon);
    }
}

void DesktopProgram::setWindowIcons() {
    windowIcons_[0] = pictures_.icon(IDR_ICON_16, GetSystemMetrics(SM_CXSMICON));
    windowIcons_[1] = pictures_.icon(IDR_ICON_32, GetSystemMetrics(SM_CXICON));
    for (HWND window : {mainWindow(), display_.handle()}) {
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(windowIcons_[0]));
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcons_[1]));
    }
}

void DesktopProgram::bindButtons() {
    face_.onReset = [this] { BT_INITClick(); };
    face_.onSettings = [this] { BT_PROCESSClick(); };
    face_.onClose = [this] { BT_EXITClick(); };
}

// The R and T lights follow the line while the gateway has monitoring on.
void DesktopProgram::followLineActivity() {
    gateway_.serialPort().setActivityHandlers([this] { face_.receiveLight().flash(); },
                                              [this] { face_.transmitLight().flash(); });
}

// Where there is no notification area (yet), the window is the way in. A
// tray that comes later (Explorer starting after us at logon) gets the icon
// then, and the window stays until the staff close it.
void DesktopProgram::start() {
    if (!tray_.show()) N1Show1Click();
    gateway_.start();
}

void DesktopProgram::stop() {
    if (stopped_) return;
    stopped_ = true;
    gateway_.stop();
    tray_.hide();
}

void DesktopProgram::BT_INITClick() {
    gateway_.guarded([this] { gateway_.gateway().BT_INITClick(); });
}

void DesktopProgram::BT_PROCESSClick() {
    gateway_.guarded([this] {
        Gateway& gateway = gateway_.gateway();
        const Bytes portBefore = gateway.config().record().EcPort;
        const Bytes speedBefore = gateway.config().record().EcSpeed;
        runSettingsDialog(loop_, gateway.config(), gateway.DispMode, ui_, mainWindow());
        gateway.settingsClosed(portBefore, speedBefore);
    });
}

// Closing never ends the program. Without a tray icon a hidden window could
// not be found again, so it goes to the taskbar instead.
void DesktopProgram::BT_EXITClick() {
    if (tray_.isShown()) {
        face_.hide();
    } else {
        ShowWindow(mainWindow(), SW_MINIMIZE);
    }
}

void DesktopProgram::N1Show1Click() { face_.show(); }

// The message loop ends; the program then closes the port, drops the host
// and unloads the cipher library, in that order.
void DesktopProgram::N2Close1Click() { loop_.quit(0); }

std::optional<LRESULT> DesktopProgram::handleMainWindowMessage(UINT message, WPARAM wParam,
                                                               LPARAM lParam) {
    // Every gateway's window hears the request; only this folder's shows.
    if (message == showMessage_) {
        if (!isShowRequestFor(folderKey_, wParam, lParam)) return 0;
        N1Show1Click();
        return 1;
    }
    if (errors_.handle(message)) return 0;
    // Windows ends the process when this returns: the port is closed and
    // the host dropped first, as at 끝내기.
    if (message == WM_ENDSESSION) {
        if (wParam) stop();
        return 0;
    }
    if (message == WM_CONTEXTMENU && !tray_.isShown()) {
        tray_.popUpMenu();
        return 0;
    }
    if (auto answer = tray_.handle(message, wParam, lParam)) return answer;
    return face_.handle(message, wParam, lParam);
}

}  // namespace tavorline::win
