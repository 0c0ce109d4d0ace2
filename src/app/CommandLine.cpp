#include "app/CommandLine.h"

#include "core/Messages.h"

#include <QDir>
#include <QFileInfo>

namespace kovrin {

CommandLine parseCommandLine(const QStringList& args) {
    CommandLine c;
    auto fail = [&c](const QString& error) {
        c.action = CommandLine::Action::Error;
        c.error = error;
        c.folder.clear();
        c.logFolder.clear();
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
        } else if (const QString option = arg.section(u'=', 0, 0);
                   option == u"--folder" || option == u"--log-folder") {
            QString value;
            if (arg == option) {
                if (i + 1 >= args.size()) {
                    return fail(QStringLiteral("%1 needs a folder").arg(option));
                }
                value = args[++i];
            } else {
                value = arg.mid(option.size() + 1);
            }
            if (value.isEmpty()) {
                return fail(QStringLiteral("%1 needs a folder, not an empty name").arg(option));
            }
            (option == u"--folder" ? c.folder : c.logFolder) =
                QDir::cleanPath(QDir::current().absoluteFilePath(value));
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
        QStringLiteral("Usage: %1 [--folder DIR] [--log-folder DIR]").arg(program),
        QStringLiteral("       %1 --version | --help").arg(program),
        QString(),
        Messages::programTitle() + QStringLiteral(": sends the bank's accounts to a"),
        QStringLiteral("collection agent's hand-held terminal and stores the collections read"),
        QStringLiteral("back from it."),
        QString(),
        QStringLiteral("  --folder DIR       the program folder: the database HandHeldData.mdb,"),
        QStringLiteral("                     BackupData/, DownLoadData/ and ports/ (created when"),
        QStringLiteral("                     missing); without it, the folder of the executable"),
        QStringLiteral("  --log-folder DIR   operator.log and the daily transfer logs (created"),
        QStringLiteral("                     when missing); without it, the program folder"),
        QStringLiteral("  --version          print the program's name and version"),
        QStringLiteral("  --help, -h         this text"),
        QString(),
        QStringLiteral("Exit status: 0 when the main menu is closed, 1 when the program cannot"),
        QStringLiteral("start (a folder or the database cannot be used, or root on a folder the"),
        QStringLiteral("operators share), 2 for a wrong command line."),
    };
    return lines.join(u'\n') + u'\n';
}

QString versionLine(const QString& program, const QString& version) {
    return QStringLiteral("%1 (%2) %3\n").arg(program, Messages::programTitle(), version);
}

}  // namespace kovrin
