#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace kovrin {

// An upload received but not stored yet: its backup file, with a mark beside it
// (<backup>.unstored) that holds when it was received. The mark goes once the upload is
// stored, and the marks of older uploads of the same agent go when a newer upload of that
// agent is stored: Store Again never offers an older upload over a newer one unasked.
struct UnstoredBackup {
    QString file;          // the backup file
    QString agentId;       // the agent of its count record; empty when it cannot be read
    QString agentDateKey;  // the agent and ddmm of its header
    QDateTime receivedAt;  // when it was received; invalid when not known
};

// The mark beside a backup file.
QString unstoredMarkPath(const QString& backupFile);
// What the mark holds: when the upload was received.
QByteArray unstoredMarkText(const QDateTime& receivedAt);
// The upload in a backup file, by its first two lines, and when it was received.
UnstoredBackup describeUnstored(const QString& backupFile);
// Removes the marks of the agent's uploads received up to `receivedAt` in the program
// folder's BackupData: a newer upload of the agent, received then, is stored.
void clearOlderMarks(const QString& programFolder, const QString& agentId,
                     const QDateTime& receivedAt);

}  // namespace kovrin
