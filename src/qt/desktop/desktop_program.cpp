#include "qt/desktop/desktop_program.h"

#include <QApplication>
#include <QDialog>
#include <QSystemTrayIcon>

#include "qt/desktop/look.h"
#include "qt/desktop/status_light.h"

namespace tavorline {

DesktopProgram::DesktopProgram(DesktopUi& ui, GatewayRuntime& runtime, bool trayAvailable)
    : ui_(ui), runtime_(runtime), trayAvailable_(trayAvailable) {
    // Hidden windows and a closed dialog must not end a tray program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(look::programIcon());
    TFmain& window = ui_.mainWindow();
    window.attach(runtime_.gateway(), ui_);
    window.setTrayAvailable(trayAvailable_);
    window.lights().watch(runtime_.serialPort());
}

void DesktopProgram::start() {
    if (trayAvailable_) ui_.mainWindow().trayIcon().show();
    runtime_.start();
    if (!trayAvailable_) ui_.mainWindow().N1Show1Click();
}

int DesktopProgram::exec() {
    const int status = stopRequested_ ? 0 : QApplication::exec();
    runtime_.stop();
    ui_.mainWindow().trayIcon().hide();
    return status;
}

// An error box at start runs before the event loop, where quit() has no
// effect; the windows that hold loops of their own are closed instead.
void DesktopProgram::requestStop() {
    stopRequested_ = true;
    constexpr int kMostNestedWindows = 8;
    for (int closed = 0; closed < kMostNestedWindows; ++closed) {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) break;
        dialog->reject();
    }
    QCoreApplication::quit();
}

}  // namespace tavorline
