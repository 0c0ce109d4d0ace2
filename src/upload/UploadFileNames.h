#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace kovrin {

// The AgentDateKey of an upload names its files: it must not lead out of their folder or be
// refused by it.
bool fitsFileName(const QString& key);

// The name of the backup file of an upload whose AgentDateKey cannot name a file: the frames
// must still be on disk before the terminal is told that the upload is over.
// upload_dd_mm_yy_hhmmss.txt, by the PC's date and time.
QString fallbackBackupFileName(const QDateTime& now);

// The file in BackupData that keeps the records of an upload as they arrive:
// <AgentDateKey>-partial.kept, or upload-<12 hexadecimal digits of a hash of the count and
// header records>-partial.kept when the key cannot name a file.
QString keptFileName(const QString& key, const QByteArray& count, const QByteArray& header);

}  // namespace kovrin
