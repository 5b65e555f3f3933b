// desktop_screenshots OUT_DIR: renders the main window, the settings dialog
// and the display window as the shop sees them into OUT_DIR as PNG pictures,
// for the README. The gateway runs for real in a temporary folder with its
// terminal on a pty; the display window shows an approved payment's request
// and response, built as the terminal and the host build them.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "pty_pair.h"
#include "qt/desktop/desktop_program.h"
#include "qt/desktop/settings_dialog.h"
#include "sim/payment_messages.h"
#include "support/framing.h"

namespace tavorline {
namespace {

constexpr char kIni[] =
    "[VORN]\r\nEcPort=6\r\nEcSpeed=9600\r\nEcType=A\r\nAdslAddr=203.0.113.10\r\n"
    "AdslSPort=7001\r\nUpAddr=203.0.113.20\r\nUpPort=7101\r\nDnAddr=203.0.113.30\r\n"
    "DnPort=7201\r\n";

bool save(QWidget& widget, const QDir& out, const char* name) {
    const QString path = out.filePath(QString::fromLatin1(name));
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// What the gateway shows after it relayed an approved payment.
void showPayment(UiSink& ui) {
    const Bytes request = sim::buildRequestFrame(sim::sampleRequest());
    const Bytes response =
        sim::buildResponseFrame(sim::responseTo(request, true, sim::kApprovedCode, "30012345"));
    ui.setAddress("ALF:203.0.113.10/7001");
    ui.setDisplayField(DisplayField::Request1, Str_ToHex(request));
    ui.setDisplayField(DisplayField::Request2, sim::readableForm(request));
    ui.setDisplayField(DisplayField::Answer1, Str_ToHex(response));
    ui.setDisplayField(DisplayField::Answer2, sim::readableForm(response));
}

int render(const QDir& out) {
    QTemporaryDir home;
    testing::PtyPair line;
    const QDir folder(home.path());
    QFile ini(folder.filePath(QStringLiteral("vorn.Ini")));
    if (!home.isValid() || !ini.open(QIODevice::WriteOnly) || ini.write(kIni) < 0 ||
        !QFile::link(QString::fromStdString(line.slavePath()),
                     folder.filePath(QStringLiteral("COM6")))) {
        std::fprintf(stderr, "cannot prepare the program's folder\n");
        return 1;
    }
    ini.close();

    DesktopUi ui;
    GatewayRuntime runtime(QFile::encodeName(home.path()).toStdString(), ui);
    DesktopProgram program(ui, runtime, false);
    program.start();
    showPayment(ui);

    TFSET01 settings(runtime.gateway().config(), runtime.gateway().DispMode, ui);
    settings.show();
    ui.showDisplayWindow();
    for (QWidget* window :
         {static_cast<QWidget*>(&ui.mainWindow()), static_cast<QWidget*>(&settings),
          static_cast<QWidget*>(&ui.displayWindow())}) {
        if (!QTest::qWaitForWindowExposed(window)) return 1;
    }
    const bool saved = save(ui.mainWindow(), out, "main-window.png") &&
                       save(settings, out, "settings-dialog.png") &&
                       save(ui.displayWindow(), out, "display-window.png");
    runtime.stop();
    return saved ? 0 : 1;
}

}  // namespace
}  // namespace tavorline

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: desktop_screenshots OUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) return 1;
    return tavorline::render(out);
}
