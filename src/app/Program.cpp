#include "app/Program.h"

#include "app/AppContext.h"
#include "app/FrmMain.h"
#include "core/Messages.h"
#include "core/ProcessSignals.h"
#include "core/ProgramFolder.h"
#include "ui/MessageBoxPresenter.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTimer>

namespace kovrin {

int runProgram(QApplication& app, const ProgramFolder& folder, Revision revision) {
    // A file-size limit makes writes fail and be reported, rather than end the program.
    ignoreFileSizeSignal();
    // Fusion draws button faces from the palette, so the focus colours show on every platform.
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setApplicationName(QStringLiteral("Kovrin Hand-Held Interface Software"));
    // Only the tests that start this program set KOVRIN_PRINT_MESSAGES: they read its messages
    // on standard output, each answered at once, instead of boxes that wait for an operator.
    Messages::setPresenter(qEnvironmentVariableIsSet("KOVRIN_PRINT_MESSAGES") ? printMessage
                                                                              : showMessageBox);

    // A refused start has shown and logged its message already.
    QString error;
    std::unique_ptr<AppContext> ctx = AppContext::startUp(folder, &error);
    if (!ctx) {
        return 1;
    }
    ctx->setRevision(revision);
    FrmMain menu(*ctx);
    QObject::connect(&menu, &FrmMain::programEnded, &app, &QApplication::quit);
    menu.show();
    // The day's copy of the database once the menu is there: the operator need not wait.
    QTimer::singleShot(0, &menu, [&ctx] { ctx->startDailyBackup(); });
    const int status = app.exec();
    ctx->finishDailyBackup();
    return status;
}

}  // namespace kovrin
