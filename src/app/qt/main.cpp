// tavorline: the card-payment gateway between the terminal's serial line and
// the payment host.
#include <QCoreApplication>
#include <cstdio>

#include "app/qt/command_line.h"
#include "app/qt/gateway_runtime.h"
#include "app/qt/headless_ui.h"
#include "app/qt/termination_signals.h"

namespace {

constexpr int kUsageError = 2;

int printAndExit(std::FILE* stream, const QString& text, int status) {
    const QByteArray utf8 = text.toUtf8();
    std::fputs(utf8.constData(), stream);
    if (!utf8.endsWith('\n')) std::fputc('\n', stream);
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavorline"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVORLINE_VERSION));
    // First, so that a stop requested while the gateway starts is not lost.
    tavorline::TerminationSignals termination;
    QObject::connect(&termination, &tavorline::TerminationSignals::received, &application,
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
        case Action::Run:
            break;
    }
    if (!commandLine.headless) {
        return printAndExit(stderr,
                            QStringLiteral("tavorline: the desktop program is not available in "
                                           "this build yet; run 'tavorline --headless'."),
                            kUsageError);
    }

    tavorline::HeadlessUi ui;
    tavorline::GatewayRuntime runtime(commandLine.programFolder, ui);
    runtime.start();
    QCoreApplication::exec();
    runtime.stop();
    return 0;
}
