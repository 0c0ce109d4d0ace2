#pragma once

#include <QString>
#include <QStringList>

namespace kovrin {

// Exit statuses of the program besides 0: the program folder or the database cannot be used
// (1), the command line is wrong (2).
constexpr int kExitCannotStart = 1;
constexpr int kExitUsage = 2;

// What the command line asks for. It is read before any window opens; Qt's own options are
// not taken (its environment variables, such as QT_QPA_PLATFORM, do the same).
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString folder;     // --folder, made absolute; empty: the executable's own folder
    QString logFolder;  // --log-folder, made absolute; empty: the program folder
    QString error;      // Action::Error: what is wrong
};

// Reads the arguments (without the program name): "--folder DIR" or "--folder=DIR",
// "--log-folder DIR" or "--log-folder=DIR", "--version", "--help" or "-h". A folder given
// twice: the last one counts, so that the folder a launcher passes can be overridden.
CommandLine parseCommandLine(const QStringList& args);

// The program folder the command line names, or else the executable's own folder (found
// without a QCoreApplication, so that it can be checked before the first window).
QString programFolderPath(const CommandLine& command);

// The texts of --help and --version for the executable `program` ("kovrin", "kovrin-2.0").
QString usageText(const QString& program);
QString versionLine(const QString& program, const QString& version);

}  // namespace kovrin
