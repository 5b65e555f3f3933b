// tavorline: the card-payment gateway between the terminal's serial line and
// the payment host.
#include <QApplication>
#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <memory>
#include <string_view>

#include "app/headless_ui.h"
#include "qt/command_line.h"
#include "qt/cp949.h"
#include "qt/desktop/desktop_program.h"
#include "qt/gateway_runtime.h"
#include "qt/host_pin_command.h"
#include "qt/termination_signals.h"

namespace {

constexpr int kUsageError = 2;

int printAndExit(std::FILE* stream, const QString& text, int status) {
    const QByteArray utf8 = text.toUtf8();
    std::fputs(utf8.constData(), stream);
    if (!utf8.endsWith('\n')) std::fputc('\n', stream);
    return status;
}

// Qt aborts when a window system it cannot reach is asked for; without one
// the program says so itself (and still reads a bad command line).
bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(name)) return true;
    }
    return false;
}

// The headless gateway, the help and the version work without a display.
// Decided before Qt starts: the kind of application object cannot change.
bool wantsDesktop(int argc, char* argv[]) {
    if (!hasDisplay()) return false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--headless" || argument == "--help" || argument == "-h" ||
            argument == "--version" || argument.starts_with("--host-pin")) {
            return false;
        }
    }
    return true;
}

// Reached only when wantsDesktop() chose a plain application.
QString whyNoDesktop() {
    if (!hasDisplay()) {
        return QStringLiteral(
            "no display for the desktop program (DISPLAY and WAYLAND_DISPLAY "
            "are unset); run 'tavorline --headless'");
    }
    return QStringLiteral("--help, --version and --headless cannot be the value of another option");
}

int runDesktop(const tavorline::CommandLine& commandLine,
               tavorline::TerminationSignals& termination) {
    tavorline::DesktopUi ui;
    tavorline::GatewayRuntime runtime(commandLine.programFolder, ui, commandLine.bridgePath);
    tavorline::DesktopProgram program(ui, runtime, QSystemTrayIcon::isSystemTrayAvailable());
    QObject::connect(&termination, &tavorline::TerminationSignals::received, &ui.mainWindow(),
                     [&program] { program.requestStop(); });
    program.start();
    return program.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    // The engine reads settings files saved as "Unicode" through our CP949.
    static const tavorline::Cp949WideText wideText;
    tavorline::profile::useWideText(wideText);
    const std::unique_ptr<QCoreApplication> application =
        wantsDesktop(argc, argv) ? std::make_unique<QApplication>(argc, argv)
                                 : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavorline"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVORLINE_VERSION));
    // First, so that a stop requested while the gateway starts is not lost.
    tavorline::TerminationSignals termination;
    QObject::connect(&termination, &tavorline::TerminationSignals::received, application.get(),
                     &QCoreApplication::quit);

    const tavorline::CommandLine commandLine =
        tavorline::parseCommandLine(QCoreApplication::arguments());
    using Action = tavorline::CommandLine::Action;
    switch (commandLine.action) {
        case Action::ShowHelp:
        case Action::ShowVersion:
            return printAndExit(stdout, commandLine.message, 0);
        case Action::Refuse:
            return printAndExit(
                stderr,
                QStringLiteral("tavorline: %1\nTry 'tavorline --help'.").arg(commandLine.message),
                kUsageError);
        case Action::ReadHostPin:
            return tavorline::runHostPinCommand(commandLine.programFolder,
                                                commandLine.hostPinTarget, commandLine.saveHostPin);
        case Action::Run:
            break;
    }
    if (!commandLine.headless) {
        if (!qobject_cast<QApplication*>(application.get())) {
            return printAndExit(stderr, QStringLiteral("tavorline: ") + whyNoDesktop(),
                                kUsageError);
        }
        return runDesktop(commandLine, termination);
    }

    tavorline::HeadlessUi ui(
        [](tavorline::BytesView text) { return tavorline::fromCp949(text).toStdString(); });
    tavorline::GatewayRuntime runtime(commandLine.programFolder, ui, commandLine.bridgePath);
    runtime.start();
    QCoreApplication::exec();
    runtime.stop();
    return 0;
}
