#include "db/DatabaseBackup.h"

#include "core/SafeFile.h"
#include "db/Sql.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace kovrin {

namespace {

const QRegularExpression& copyName() {
    static const QRegularExpression re(QStringLiteral("^HandHeldData-\\d{4}-\\d{2}-\\d{2}\\.mdb$"));
    return re;
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

QString databaseCopyName(const QDate& day) {
    return QStringLiteral("HandHeldData-%1.mdb").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

namespace {

// The engine's reason for a failure on `db`.
QString reasonOf(sqlite3* db, int rc) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}

// The whole file checked for damage on a connection of its own: empty when it is sound.
QString damageOf(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    QString verdict;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &stmt, nullptr) != SQLITE_OK) {
        return reasonOf(db, SQLITE_ERROR);
    }
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    } else {
        verdict = reasonOf(db, rc);
    }
    sqlite3_finalize(stmt);
    return verdict == QLatin1String("ok") ? QString() : verdict;
}

// Copies the database at `source` into the new file `target` with the online backup, a few
// thousand pages at a time: a write of the program between two steps starts the copy again,
// so the copy is always of one moment. Empty when done; the reason otherwise.
QString copyDatabase(sqlite3* source, const QString& target, const std::atomic<bool>* stop,
                     bool* stopped) {
    sqlite3* dest = nullptr;
    const QByteArray path = QFile::encodeName(target);
    // The file was made empty by the program: the engine opens it, never a link in its place.
    int rc = sqlite3_open_v2(path.constData(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    QString reason;
    if (rc != SQLITE_OK) {
        reason = reasonOf(dest, rc);
        sqlite3_close(dest);
        return reason;
    }
    sqlite3_backup* backup = sqlite3_backup_init(dest, "main", source, "main");
    if (!backup) {
        reason = reasonOf(dest, SQLITE_ERROR);
        sqlite3_close(dest);
        return reason;
    }
    constexpr int kPagesAStep = 4096;  // 16 MB of 4 KB pages
    do {
        rc = sqlite3_backup_step(backup, kPagesAStep);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            sqlite3_sleep(20);  // the program is writing: the copy waits its turn
        }
        if (stop && stop->load()) {
            *stopped = true;
            break;
        }
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    if (!*stopped && rc != SQLITE_DONE) {
        reason = reasonOf(dest, rc);
    }
    sqlite3_backup_finish(backup);
    if (reason.isEmpty() && !*stopped && sqlite3_errcode(dest) != SQLITE_OK &&
        sqlite3_errcode(dest) != SQLITE_DONE) {
        reason = reasonOf(dest, SQLITE_ERROR);
    }
    sqlite3_close(dest);
    return reason;
}

}  // namespace

BackupOutcome makeDailyBackup(Database& db, const QString& backupFolder, const QDate& today,
                              int keep) {
    return makeDailyBackup(db.filePath(), backupFolder, today, keep, !db.checkedAtOpen());
}

BackupOutcome makeDailyBackup(const QString& databasePath, const QString& backupFolder,
                              const QDate& today, int keep, bool check,
                              const std::atomic<bool>* stop) {
    BackupOutcome out;
    guardDatabaseFiles();
    const QDir dir(backupFolder);
    out.filePath = dir.filePath(databaseCopyName(today));
    auto failed = [&](const QString& reason) {
        out.status = BackupOutcome::Status::Failed;
        out.error = QStringLiteral(
                        "The daily backup copy %1 of the database could not be made: "
                        "%2. The program carries on; copy %3 by hand to be safe.")
                        .arg(native(out.filePath), reason, native(databasePath));
        return out;
    };
    // The copies live in a folder of the program folder: neither that folder nor a copy is
    // ever reached through a link.
    const QFileInfo folderInfo(QDir::cleanPath(backupFolder));
    const QString root = folderInfo.path();
    auto guarded = [&](const QString& name) {
        return GuardedPath(root, folderInfo.fileName() + QLatin1Char('/') + name);
    };
    if (const FileResult made = files::makeFolder(GuardedPath(root, folderInfo.fileName()));
        !made) {
        return failed(QStringLiteral("the folder %1 could not be created: %2")
                          .arg(native(backupFolder), made.error));
    }
    const GuardedPath target = guarded(databaseCopyName(today));
    if (files::isLink(target)) {
        return failed(files::linkRefusal(out.filePath));
    }
    if (QFile::exists(out.filePath)) {
        out.status = BackupOutcome::Status::AlreadyThere;
    } else {
        sqlite3* source = nullptr;
        const QByteArray path = QFile::encodeName(databasePath);
        const int rc = sqlite3_open_v2(path.constData(), &source, SQLITE_OPEN_READONLY, nullptr);
        if (rc != SQLITE_OK) {
            const QString reason = reasonOf(source, rc);
            sqlite3_close(source);
            return failed(reason);
        }
        sqlite3_busy_timeout(source, 3000);
        if (check) {
            if (const QString damage = damageOf(source); !damage.isEmpty()) {
                sqlite3_close(source);
                out.status = BackupOutcome::Status::Damaged;
                out.error =
                    QStringLiteral(
                        "The database file %1 is damaged (%2).\nNo backup copy was made of it. "
                        "Close the program and restore the file from a backup copy in %3, or "
                        "call support.")
                        .arg(native(databasePath), damage, native(backupFolder));
                return out;
            }
        }
        // Written under a temporary name and renamed once complete: a copy cut short (full
        // disk, power lost) never carries a backup's name.
        const QString partial = out.filePath + QStringLiteral(".part");
        const GuardedPath partialFile = guarded(databaseCopyName(today) + QStringLiteral(".part"));
        files::remove(partialFile);
        if (const FileResult made = files::createNew(partialFile); !made) {
            sqlite3_close(source);
            return failed(made.error);
        }
        bool stopped = false;
        const QString reason = copyDatabase(source, partial, stop, &stopped);
        sqlite3_close(source);
        if (stopped) {
            files::remove(partialFile);
            out.status = BackupOutcome::Status::Stopped;
            return out;
        }
        if (!reason.isEmpty()) {
            files::remove(partialFile);
            return failed(reason);
        }
        if (const FileResult renamed = files::rename(partialFile, target); !renamed) {
            files::remove(partialFile);
            return failed(
                QStringLiteral("the finished copy could not be renamed: %1").arg(renamed.error));
        }
        out.status = BackupOutcome::Status::Made;
    }
    // Names sort by date: everything before the newest `keep` goes.
    QStringList copies;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        if (copyName().match(name).hasMatch()) {
            copies << name;
        }
    }
    for (int i = 0; i + keep < copies.size(); ++i) {
        if (files::remove(guarded(copies[i]))) {
            out.removed << dir.filePath(copies[i]);
        }
    }
    return out;
}

}  // namespace kovrin
