#pragma once

class QApplication;

namespace kovrin {

class ProgramFolder;
enum class Revision;

// Starts the program in `folder`: the message boxes, the database and settings, the main
// menu. Returns the exit code.
int runProgram(QApplication& app, const ProgramFolder& folder, Revision revision);

}  // namespace kovrin
