#include "qt/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace tavorline {

// Installed under /usr the program's own folder is not the user's to write:
// vorn.Ini and the logs then live in the user's data folder.
QString defaultProgramFolder() {
    const QString beside = QCoreApplication::applicationDirPath();
    if (QFileInfo(beside).isWritable()) return beside;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Tavorline card-payment gateway: relays payments between the card terminal on a\n"
        "serial port and the payment host over TCP or TLS."));
    // Descriptions are single lines: the parser wraps them to the terminal's
    // width itself, and a line break of ours would cut a sentence in two.
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help and exit."));
    const QCommandLineOption versionOption(QStringLiteral("version"),
                                           QStringLiteral("Show the version and exit."));
    const QCommandLineOption headlessOption(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window: status lines go to standard output, errors to "
                       "standard error. SIGTERM or SIGINT ends the gateway."));
    const QCommandLineOption homeOption(
        QStringLiteral("home"),
        QStringLiteral(
            "The gateway's folder: it holds vorn.Ini and the LOG folder, and is searched first for "
            "the cipher library. Serial port N is the file COMN in it when present, else "
            "/dev/ttyS(N-1). Default: the folder of the executable, or the per-user data folder "
            "(~/.local/share/tavorline) when that one is not writable."),
        QStringLiteral("DIR"));
    const QCommandLineOption bridgeOption(
        QStringLiteral("bridge"),
        QStringLiteral("The local socket the web screen connects to. Default: Tavorline.sock in "
                       "the gateway's folder."),
        QStringLiteral("PATH"));
    const QCommandLineOption hostPinOption(
        QStringLiteral("host-pin"),
        QStringLiteral(
            "Connect to a payment host over TLS (with TlsMinVersion and HostTimeout from "
            "vorn.Ini), print the pin of its key for TlsPin and its certificate's "
            "subject, issuer and validity, and exit. See docs/host-security.md."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption saveOption(
        QStringLiteral("save"),
        QStringLiteral("With --host-pin: add the pin to TlsPin in the gateway's vorn.Ini, keeping "
                       "the pins already there."));
    parser.addOption(helpOption);
    parser.addOption(hostPinOption);
    parser.addOption(saveOption);
    parser.addOption(versionOption);
    parser.addOption(headlessOption);
    parser.addOption(homeOption);
    parser.addOption(bridgeOption);

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::Refuse;
        result.message = parser.errorText();
        return result;
    }
    if (parser.isSet(helpOption)) {
        result.action = CommandLine::Action::ShowHelp;
        result.message = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.action = CommandLine::Action::ShowVersion;
        result.message = QStringLiteral("tavorline %1").arg(QStringLiteral(TAVORLINE_VERSION));
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = CommandLine::Action::Refuse;
        result.message =
            QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return result;
    }
    result.headless = parser.isSet(headlessOption);
    QString folder = defaultProgramFolder();
    if (parser.isSet(homeOption)) {
        folder = parser.value(homeOption);
        if (!QFileInfo(folder).isDir()) {
            result.action = CommandLine::Action::Refuse;
            result.message = QStringLiteral("--home: %1 is not a folder").arg(folder);
            return result;
        }
    }
    result.programFolder = QFile::encodeName(QDir(folder).absolutePath()).toStdString();
    if (parser.isSet(hostPinOption)) {
        result.action = CommandLine::Action::ReadHostPin;
        result.hostPinTarget = parser.value(hostPinOption);
        result.saveHostPin = parser.isSet(saveOption);
    } else if (parser.isSet(saveOption)) {
        result.action = CommandLine::Action::Refuse;
        result.message = QStringLiteral("--save goes with --host-pin");
    }
    if (parser.isSet(bridgeOption)) {
        result.bridgePath = QFile::encodeName(parser.value(bridgeOption)).toStdString();
    }
    return result;
}

}  // namespace tavorline
