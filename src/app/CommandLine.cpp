#include "app/CommandLine.h"

#include "core/Messages.h"

#include <QDir>
#include <QFileInfo>

namespace kovrin {

namespace {
const QString kFolderIs = QStringLiteral("--folder=");
}  // namespace

CommandLine parseCommandLine(const QStringList& args) {
    CommandLine c;
    auto fail = [&c](const QString& error) {
        c.action = CommandLine::Action::Error;
        c.error = error;
        c.folder.clear();
        return c;
    };
    bool help = false;
    bool version = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--help" || arg == u"-h") {
            help = true;
        } else if (arg == u"--version") {
            version = true;
        } else if (arg == u"--folder" || arg.startsWith(kFolderIs)) {
            QString value;
            if (arg == u"--folder") {
                if (i + 1 >= args.size()) {
                    return fail(QStringLiteral("--folder needs a folder"));
                }
                value = args[++i];
            } else {
                value = arg.mid(kFolderIs.size());
            }
            if (value.isEmpty()) {
                return fail(QStringLiteral("--folder needs a folder, not an empty name"));
            }
            c.folder = QDir::cleanPath(QDir::current().absoluteFilePath(value));
        } else if (arg.startsWith(u'-')) {
            return fail(QStringLiteral("unknown option \"%1\"").arg(arg));
        } else {
            return fail(QStringLiteral("unexpected argument \"%1\"").arg(arg));
        }
    }
    if (help) {
        c.action = CommandLine::Action::Help;
    } else if (version) {
        c.action = CommandLine::Action::Version;
    }
    return c;
}

QString programFolderPath(const CommandLine& command) {
    if (!command.folder.isEmpty()) {
        return command.folder;
    }
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

QString usageText(const QString& program) {
    const QStringList lines{
        QStringLiteral("Usage: %1 [--folder DIR]").arg(program),
        QStringLiteral("       %1 --version | --help").arg(program),
        QString(),
        Messages::programTitle() + QStringLiteral(": sends the bank's accounts to a"),
        QStringLiteral("collection agent's hand-held terminal and stores the collections read"),
        QStringLiteral("back from it."),
        QString(),
        QStringLiteral(
            "  --folder DIR   the program folder: the database HandHeldData.mdb, the logs,"),
        QStringLiteral(
            "                 BackupData/, DownLoadData/ and ports/ (created when missing);"),
        QStringLiteral("                 without it, the folder of the executable"),
        QStringLiteral("  --version      print the program's name and version"),
        QStringLiteral("  --help, -h     this text"),
        QString(),
        QStringLiteral("Exit status: 0 when the main menu is closed, 1 when the program folder or"),
        QStringLiteral("the database cannot be used, 2 for a wrong command line."),
    };
    return lines.join(u'\n') + u'\n';
}

QString versionLine(const QString& program, const QString& version) {
    return QStringLiteral("%1 (%2) %3\n").arg(program, Messages::programTitle(), version);
}

}  // namespace kovrin
