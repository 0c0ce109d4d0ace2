#pragma once

#include <QString>
#include <functional>

namespace kovrin {

// A write past the process's file-size limit fails with "File too large", like a write to a
// full disk, instead of ending the program with SIGXFSZ: every writer then reports it as the
// write error it is. Called once at start, before any file is written.
void ignoreFileSizeSignal();

// SIGTERM and SIGHUP (the session ends: logout, shutdown, a closed terminal window) are
// handled like closing the program instead of ending it on the spot: `end` runs on the event
// loop with the signal's name ("SIGTERM") at each such signal, and the program ends in its
// own time. Needs a Qt application; a later call replaces `end` (an empty one: the signals
// are then taken and nothing runs).
void endOnTermination(std::function<void(const QString& signal)> end);

}  // namespace kovrin
