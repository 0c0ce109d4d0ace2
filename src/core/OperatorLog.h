#pragma once

#include "core/Clock.h"

#include <QString>

namespace kovrin {

// A plain text file in the program folder with one line per message shown to the
// operator: time, screen and the exact text. The branch hands it to support.
class OperatorLog {
public:
    explicit OperatorLog(const QString& filePath, const Clock& clock = Clock::system());

    // Adds the line. A log that cannot be written (a read-only folder, a full disk) gets the
    // line on standard error instead, so that the message leaves a trace; returns false then.
    bool append(const QString& screen, const QString& text);

    // The audit trail of settings and passwords, in the same file: password entries,
    // settings changes (old and new values of settings that are not secret) and password
    // changes (which password, never its value). The text is marked "AUDIT".
    void audit(const QString& screen, const QString& text);

    QString filePath() const { return m_filePath; }

    // A message on one line, as the log keeps it: line breaks become spaces.
    static QString oneLine(const QString& text);

    void setClock(const Clock& clock) { m_clock = &clock; }

private:
    QString m_filePath;
    const Clock* m_clock;
};

}  // namespace kovrin
