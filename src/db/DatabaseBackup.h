#pragma once

#include "db/Database.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace kovrin {

// The daily copy of the database file kept under the program folder's BackupData folder,
// HandHeldData-YYYY-MM-DD.mdb, the last seven days kept. Made with SQLite's own consistent
// copy of a live database (VACUUM INTO), so a copy is never half a transaction.
struct BackupOutcome {
    enum class Status {
        Made,          // today's copy was written
        AlreadyThere,  // today's copy existed: nothing done
        Failed,        // see error; the database itself is untouched
    };
    Status status = Status::Made;
    QString filePath;     // today's copy
    QString error;        // for the operator: names the file and the reason
    QStringList removed;  // older copies deleted to keep the last seven
};

constexpr int kBackupsKept = 7;

// The name of the copy of one day.
QString databaseCopyName(const QDate& day);

// Makes today's copy of `db` in `backupFolder` (created when missing) unless it exists,
// then deletes the oldest copies beyond `keep`. Files of other names are left alone.
BackupOutcome makeDailyBackup(Database& db, const QString& backupFolder, const QDate& today,
                              int keep = kBackupsKept);

}  // namespace kovrin
