#include "app/Program.h"
#include "app/ProgramFolder.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    return kovrin::runProgram(app, kovrin::ProgramFolder(QCoreApplication::applicationDirPath()));
}
