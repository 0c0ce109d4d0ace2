#pragma once

// Waiting on the event loop for what a benchmark measures.

#include <QCoreApplication>
#include <QTimer>

namespace kovrin::bench {

// Runs the event loop until `done` or the deadline; false on time-out. Each call waits for
// an event without spinning, so the CPU time of this thread is the program's own.
template <typename Done>
bool runUntil(Done done, int timeoutMs) {
    bool expired = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&expired] { expired = true; });
    deadline.start(timeoutMs);
    while (!done() && !expired) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

}  // namespace kovrin::bench
