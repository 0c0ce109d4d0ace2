#pragma once

#include "db/Database.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <atomic>

namespace kovrin {

// The daily copy of the database file kept under the program folder's BackupData folder,
// HandHeldData-YYYY-MM-DD.mdb, the last seven days kept. Made with SQLite's online backup on a
// connection of its own, a few thousand pages at a time, so a copy is never half a
// transaction and the program's own connection is never held up for long.
struct BackupOutcome {
    enum class Status {
        Made,          // today's copy was written
        AlreadyThere,  // today's copy existed: nothing done
        Failed,        // see error; the database itself is untouched
        Damaged,       // the check found damage (see error): no copy was made
        Stopped,       // stopped before it was done: no copy was made
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
// then keeps `keep` copies: today's, never deleted, and the others made last (by the time the
// file was written, not the date in its name, which a clock that ran ahead may have put after
// today); older ones are deleted. Files of other names are left alone.
BackupOutcome makeDailyBackup(Database& db, const QString& backupFolder, const QDate& today,
                              int keep = kBackupsKept);

// The same for the database file `databasePath`, on a connection of its own: it may run on a
// thread of its own while the program goes on. With `check`, the finished copy is checked for
// damage (PRAGMA quick_check; see Database::kCheckedAtOpen), which is the file's own, and a
// copy of a damaged file is not kept.
// `stop`, when set, ends the copy between two steps, the check, or a wait for another
// program's lock on the file: no copy and no part of one is left.
BackupOutcome makeDailyBackup(const QString& databasePath, const QString& backupFolder,
                              const QDate& today, int keep = kBackupsKept, bool check = false,
                              const std::atomic<bool>* stop = nullptr);

}  // namespace kovrin
