#pragma once

class QApplication;

namespace kovrin {

class ProgramFolder;
enum class Revision;

// Starts the program in `folder`: the message boxes, the database and settings, the main
// menu. Returns the exit code.
int runProgram(QApplication& app, const ProgramFolder& folder, Revision revision);

// Which program this is: its name, its version and its revision.
struct ProgramIdentity {
    const char* name;
    const char* version;
    Revision revision;
};

// The whole program from its command line: --help and --version answered, a bad option
// refused (status 2), the program folder made ready or its problem named before any window
// (status 1), an operator outside the folder's group told what to do, then runProgram.
int programMain(int argc, char* argv[], const ProgramIdentity& identity);

}  // namespace kovrin
