#include "db/DatabaseBackup.h"

#include "db/Sql.h"

#include <QDir>
#include <QFile>
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

BackupOutcome makeDailyBackup(Database& db, const QString& backupFolder, const QDate& today,
                              int keep) {
    BackupOutcome out;
    const QDir dir(backupFolder);
    out.filePath = dir.filePath(databaseCopyName(today));
    auto failed = [&](const QString& reason) {
        out.status = BackupOutcome::Status::Failed;
        out.error = QStringLiteral(
                        "The daily backup copy %1 of the database could not be made: "
                        "%2. The program carries on; copy %3 by hand to be safe.")
                        .arg(native(out.filePath), reason, native(db.filePath()));
        return out;
    };
    if (!QDir().mkpath(backupFolder)) {
        return failed(
            QStringLiteral("the folder %1 could not be created").arg(native(backupFolder)));
    }
    if (QFile::exists(out.filePath)) {
        out.status = BackupOutcome::Status::AlreadyThere;
    } else {
        // Written under a temporary name and renamed once complete: a copy cut short (full
        // disk, power lost) never carries a backup's name.
        const QString partial = out.filePath + QStringLiteral(".part");
        QFile::remove(partial);
        QSqlQuery q(db.handle());
        q.prepare(QStringLiteral("VACUUM INTO ?"));
        q.addBindValue(partial);
        if (!q.exec()) {
            const QString reason = sqlReason(q.lastError());
            QFile::remove(partial);
            return failed(reason);
        }
        if (!QFile::rename(partial, out.filePath)) {
            QFile::remove(partial);
            return failed(QStringLiteral("the finished copy could not be renamed"));
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
        if (QFile::remove(dir.filePath(copies[i]))) {
            out.removed << dir.filePath(copies[i]);
        }
    }
    return out;
}

}  // namespace kovrin
