#include "app/Program.h"
#include "core/ProgramFolder.h"
#include "core/Revision.h"

#include <QApplication>

// KOVRIN_REVISION is set per program by the build: 21 for kovrin, 20 for kovrin-2.0.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    return kovrin::runProgram(
        app, kovrin::ProgramFolder(QCoreApplication::applicationDirPath()),
        KOVRIN_REVISION == 20 ? kovrin::Revision::V2_0 : kovrin::Revision::V2_1);
}
