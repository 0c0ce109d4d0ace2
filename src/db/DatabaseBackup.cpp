#include "db/DatabaseBackup.h"

#include "core/SafeFile.h"
#include "db/Sql.h"

#include <sqlite3.h>
#include <algorithm>
#include <cstring>

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

// The reason for a step of the copy that failed with `rc`: the step leaves no message of its
// own on the connection ("not an error"), so the code's meaning is told, with the system's
// reason when there is one ("disk I/O error (File too large)" under a file-size limit,
// "database or disk is full").
QString stepFailure(sqlite3* dest, int rc) {
    QString reason = QString::fromUtf8(sqlite3_errstr(rc));
    int err = 0;  // the copy file's own last failure, else the connection's
    if (sqlite3_file_control(dest, "main", SQLITE_FCNTL_LAST_ERRNO, &err) != SQLITE_OK ||
        err == 0) {
        err = sqlite3_system_errno(dest);
    }
    if (err != 0) {
        reason += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(err)));
    }
    return reason;
}

// While another program holds the database, the copy waits its turn a little at a time, and
// gives up at once when it is to stop.
struct Waiting {
    const std::atomic<bool>* stop = nullptr;
    static constexpr int kLongest = 3000;  // ms: then the step fails busy and is tried again

    bool stopped() const { return stop && stop->load(); }

    static int busy(void* self, int tries) {
        const auto* w = static_cast<const Waiting*>(self);
        if (w->stopped() || tries * 20 >= kLongest) {
            return 0;
        }
        sqlite3_sleep(20);
        return 1;
    }
    // The check of a large file reads every page: it is cut short as well.
    static int progress(void* self) { return static_cast<const Waiting*>(self)->stopped(); }
};

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
// thousand pages at a time, all of them read in one read transaction of `source`: in the
// file's write-ahead-log mode that is one moment of the file, and the program's stores go on
// meanwhile without waiting for the copy or starting it again. With `check`, the finished copy
// is checked for damage (what it finds, the file's own damage, copied page by page, goes into
// *damage), so that the live file is never held for a read of every page. Empty when done;
// the reason otherwise.
QString copyDatabase(sqlite3* source, const QString& target, bool check, Waiting* waiting,
                     bool* stopped, QString* damage) {
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
    rc = sqlite3_exec(source, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                      nullptr);
    if (rc != SQLITE_OK) {
        *stopped = waiting->stopped();
        reason = *stopped ? QString() : reasonOf(source, rc);
        sqlite3_exec(source, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(dest);
        return reason;
    }
    sqlite3_backup* backup = sqlite3_backup_init(dest, "main", source, "main");
    if (!backup) {
        reason = reasonOf(dest, SQLITE_ERROR);
        sqlite3_exec(source, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(dest);
        return reason;
    }
    constexpr int kPagesAStep = 4096;  // 16 MB of 4 KB pages
    do {
        rc = sqlite3_backup_step(backup, kPagesAStep);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            sqlite3_sleep(20);  // another program holds the file: the copy waits its turn
        }
        if (waiting->stopped()) {
            *stopped = true;
            break;
        }
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    if (!*stopped && rc != SQLITE_DONE) {
        reason = stepFailure(dest, rc);  // before the copy file is let go
    }
    const int finished = sqlite3_backup_finish(backup);
    if (reason.isEmpty() && !*stopped && finished != SQLITE_OK) {
        reason = stepFailure(dest, finished);
    }
    sqlite3_exec(source, "ROLLBACK", nullptr, nullptr, nullptr);
    if (check && reason.isEmpty() && !*stopped) {
        // The check of a large copy reads every page: it is cut short as well.
        sqlite3_progress_handler(dest, 10000, &Waiting::progress, waiting);
        *damage = damageOf(dest);
        *stopped = waiting->stopped();
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
        Waiting waiting{stop};
        sqlite3_busy_handler(source, &Waiting::busy, &waiting);
        // Written under a temporary name and renamed once complete: a copy cut short (full
        // disk, power lost) never carries a backup's name.
        const QString partial = out.filePath + QStringLiteral(".part");
        const GuardedPath partialFile = guarded(databaseCopyName(today) + QStringLiteral(".part"));
        const FileResult cleared = files::remove(partialFile);
        if (!cleared) {
            sqlite3_close(source);
            return failed(cleared.error);
        }
        if (const FileResult made = files::createNew(partialFile); !made) {
            sqlite3_close(source);
            return failed(made.error);
        }
        bool stopped = false;
        QString damage;
        const QString reason = copyDatabase(source, partial, check, &waiting, &stopped, &damage);
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
        if (!damage.isEmpty()) {
            // No copy of a damaged file is kept for a backup.
            files::remove(partialFile);
            out.status = BackupOutcome::Status::Damaged;
            out.error = QStringLiteral(
                            "The database file %1 is damaged (%2).\nNo backup copy was made of it. "
                            "Close the program and restore the file from a backup copy in %3, or "
                            "call support.")
                            .arg(native(databasePath), damage, native(backupFolder));
            return out;
        }
        if (const FileResult renamed = files::rename(partialFile, target); !renamed) {
            files::remove(partialFile);
            return failed(
                QStringLiteral("the finished copy could not be renamed: %1").arg(renamed.error));
        }
        out.status = BackupOutcome::Status::Made;
    }
    // Today's copy and the newest others by the time they were made, `keep` in all. The name's
    // date is the one the clock gave: a clock that once ran ahead names copies after today,
    // which must not push today's out.
    const QString todays = databaseCopyName(today);
    QFileInfoList others;
    for (const QFileInfo& f : dir.entryInfoList(QDir::Files, QDir::Name | QDir::Reversed)) {
        if (copyName().match(f.fileName()).hasMatch() && f.fileName() != todays) {
            others << f;
        }
    }
    std::stable_sort(others.begin(), others.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.lastModified() > b.lastModified();  // the newest first, then the later name
    });
    for (qsizetype i = std::max(keep - 1, 0); i < others.size(); ++i) {
        if (files::remove(guarded(others[i].fileName()))) {
            out.removed << others[i].filePath();
        }
    }
    return out;
}

}  // namespace kovrin
