#pragma once

// The command line of hht-sim.

#include "Terminal.h"

#include <QString>
#include <QStringList>

namespace kovrin::sim {

struct SimOptions {
    bool help = false;
    TerminalConfig terminal;
    QString device;      // a serial device to use instead of a new pseudo-terminal
    QString outFolder;   // download: where the account list and the frames go
    QString scriptPath;  // upload: the day's collections
    bool stay = false;   // keep answering after the end frame
    int lingerMs = 500;  // after the end, time for the PC to read the last answer
};

struct OptionsResult {
    bool ok = false;
    SimOptions options;
    QString error;
};

// Reads the arguments (without the program name): "--name value" or "--name=value".
OptionsResult parseSimOptions(const QStringList& args);

QString usageText();

}  // namespace kovrin::sim
