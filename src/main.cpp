#include "app/CommandLine.h"
#include "app/MessageBoxPresenter.h"
#include "app/Messages.h"
#include "app/Program.h"
#include "app/ProgramFolder.h"
#include "app/Revision.h"
#include "app/SharedFolder.h"

#include <QApplication>
#include <cstdio>

namespace {

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

}  // namespace

// Set per program by the build: KOVRIN_REVISION (21 for kovrin, 20 for kovrin-2.0),
// KOVRIN_PROGRAM (the executable's name) and KOVRIN_VERSION.
int main(int argc, char* argv[]) {
    using namespace kovrin;
    const QString program = QStringLiteral(KOVRIN_PROGRAM);
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
            print(stdout, versionLine(program, QStringLiteral(KOVRIN_VERSION)));
            return 0;
        case CommandLine::Action::Error:
            print(stderr, QStringLiteral("%1: %2\nTry %1 --help.\n").arg(program, command.error));
            return kExitUsage;
        case CommandLine::Action::Run:
            break;
    }

    // The program folder is made ready, or its problem told, before any window opens.
    const ProgramFolder folder(programFolderPath(command));
    const QString folderError = prepareProgramFolder(folder.path());
    if (!folderError.isEmpty()) {
        print(stderr, QStringLiteral("%1: %2\n").arg(program, folderError));
    }
    const QString advice = groupAdvice(groupFacts(folder.path()));
    if (!advice.isEmpty()) {
        print(stderr, QStringLiteral("%1: %2\n").arg(program, advice));
    } else if (!folderError.isEmpty()) {
        return kExitCannotStart;
    }

    int qtArgc = 1;  // the arguments are the program's: Qt reads none of them
    QApplication app(qtArgc, argv);
    if (!advice.isEmpty()) {
        // An operator who starts the program from the menu sees no standard error.
        Messages::setPresenter(showMessageBox);
        showGroupAdvice(folder, advice);
        if (!folderError.isEmpty()) {
            return kExitCannotStart;
        }
    }
    useGroupPermissions(folder);
    shareDatabaseWithGroup(folder);
    return runProgram(app, folder, KOVRIN_REVISION == 20 ? Revision::V2_0 : Revision::V2_1);
}
