#include "app/Program.h"

#include "app/AppContext.h"
#include "app/CommandLine.h"
#include "app/FrmMain.h"
#include "app/SharedFolder.h"
#include "app/UpgradeWindow.h"
#include "core/Messages.h"
#include "core/ProcessSignals.h"
#include "core/ProgramFolder.h"
#include "core/Revision.h"
#include "ui/MessageBoxPresenter.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStyleFactory>
#include <QTimer>
#include <cstdio>

namespace kovrin {

namespace {

// Only the tests that start this program set KOVRIN_PRINT_MESSAGES: they read its messages on
// standard output, each answered at once, instead of boxes that wait for an operator.
void setPresenter() {
    Messages::setPresenter(qEnvironmentVariableIsSet("KOVRIN_PRINT_MESSAGES") ? printMessage
                                                                              : showMessageBox);
}

QString canonical(const QString& folder) {
    const QString resolved = QFileInfo(folder).canonicalFilePath();
    return resolved.isEmpty() ? folder : resolved;
}

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

}  // namespace

int programMain(int argc, char* argv[], const ProgramIdentity& identity) {
    const QString program = QString::fromLatin1(identity.name);
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const CommandLine command = parseCommandLine(args);
    switch (command.action) {
        case CommandLine::Action::Help:
            print(stdout, usageText(program));
            return 0;
        case CommandLine::Action::Version:
            print(stdout, versionLine(program, QString::fromLatin1(identity.version)));
            return 0;
        case CommandLine::Action::Error:
            print(stderr, QStringLiteral("%1: %2\nTry %1 --help.\n").arg(program, command.error));
            return kExitUsage;
        case CommandLine::Action::Run:
            break;
    }

    // Root is refused on the folders the operators share, before anything is made there.
    const QString dataFolder = programFolderPath(command);
    if (const QString refusal = rootRefusal({dataFolder, command.logFolder}); !refusal.isEmpty()) {
        print(stderr, QStringLiteral("%1: %2\n").arg(program, refusal));
        int qtArgc = 1;
        QApplication app(qtArgc, argv);
        setPresenter();
        Messages::show(
            {QStringLiteral("frmMain"), refusal, MsgIcon::Critical, MsgButtons::Ok, QString()});
        return kExitCannotStart;
    }

    // The folders are made ready, or their problem told, before any window opens; what is made
    // is never for others.
    useGroupPermissions(ProgramFolder(dataFolder));
    QString folderError = prepareProgramFolder(dataFolder);
    if (folderError.isEmpty() && !command.logFolder.isEmpty()) {
        folderError = prepareProgramFolder(command.logFolder, QStringLiteral("log folder"));
    }
    // Below these folders no link is followed; the folders themselves are taken as the
    // administrator made them, resolved once here.
    const ProgramFolder folder(canonical(dataFolder), canonical(command.logFolder));
    if (!folderError.isEmpty()) {
        print(stderr, QStringLiteral("%1: %2\n").arg(program, folderError));
    }
    const QString advice = groupAdvice(groupFacts(folder.path()));
    if (!advice.isEmpty()) {
        print(stderr, QStringLiteral("%1: %2\n").arg(program, advice));
    }

    int qtArgc = 1;  // the arguments are the program's: Qt reads none of them
    QApplication app(qtArgc, argv);
    // An operator who starts the program from the menu sees no standard error: the advice and
    // the folder's problem are shown as messages too (and written to the operator log, or to
    // standard error when the log cannot be written).
    setPresenter();
    useGroupPermissions(folder);
    if (!advice.isEmpty()) {
        showGroupAdvice(folder, advice);
    }
    if (!folderError.isEmpty()) {
        showGroupAdvice(folder, folderError, MsgIcon::Critical);
        return kExitCannotStart;
    }
    return runProgram(app, folder, identity.revision);
}

int runProgram(QApplication& app, const ProgramFolder& folder, Revision revision) {
    // A file-size limit makes writes fail and be reported, rather than end the program.
    ignoreFileSizeSignal();
    // Fusion draws button faces from the palette, so the focus colours show on every platform.
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setApplicationName(QStringLiteral("Kovrin Hand-Held Interface Software"));
    // The desktop's entry and icon for the program's windows.
    QGuiApplication::setDesktopFileName(revision == Revision::V2_0
                                            ? QStringLiteral("com.tamsel.Kovrin20")
                                            : QStringLiteral("com.tamsel.Kovrin"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("kovrin"),
                                                 QIcon(QStringLiteral(":/icons/kovrin-256.png"))));
    setPresenter();

    // A refused start has shown and logged its message already.
    QString error;
    std::unique_ptr<AppContext> ctx;
    {
        // A file of an older version is upgraded before the main menu: a window says so.
        UpgradeWindow upgrade(folder.databasePath());
        ctx = AppContext::startUp(folder, &error, Clock::system(),
                                  [&upgrade](const UpgradeProgress& p) { upgrade.show(p); });
    }
    if (!ctx) {
        return 1;
    }
    ctx->setRevision(revision);
    // The serial devices are those this machine reports.
    ctx->ports().setScanner(link::WatchedPortScan());
    ctx->ports().rescan();
    FrmMain menu(*ctx);
    QObject::connect(&menu, &FrmMain::programEnded, &app, &QApplication::quit);
    // The session ending (logout, shutdown) closes the program as EXIT would, unasked.
    endOnTermination([&menu](const QString& signal) { menu.endBySignal(signal); });
    menu.show();
    // The day's copy of the database once the menu is there: the operator need not wait.
    QTimer::singleShot(0, &menu, [&ctx] { ctx->startDailyBackup(); });
    const int status = app.exec();
    endOnTermination({});  // the menu is going: a signal from now on is taken and dropped
    // A copy still under way is given up: the program does not hold its folder while a large
    // file is copied, or while another program keeps the copy waiting.
    ctx->stopDailyBackup();
    return status;
}

}  // namespace kovrin
