#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>

namespace tavorline {

// What the command line asks for.
struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Refuse, ReadHostPin };

    Action action = Action::Run;
    bool headless = false;
    // Holds vorn.Ini and the LOG folder, and is searched first for the cipher
    // library: --home, or the executable's folder.
    std::filesystem::path programFolder;
    // Where the web screen connects; empty for the default in programFolder.
    std::filesystem::path bridgePath;
    // --host-pin HOST:PORT, and whether --save asks to add the pin to TlsPin.
    QString hostPinTarget;
    bool saveHostPin = false;
    // The help text, the version line, or why the command line is refused.
    QString message;
};

// The executable's folder when it is writable, else the per-user data folder.
QString defaultProgramFolder();

// `arguments` as QCoreApplication::arguments() gives them (program first).
CommandLine parseCommandLine(const QStringList& arguments);

}  // namespace tavorline
