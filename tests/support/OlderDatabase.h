#pragma once

#include "db/Database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QString>

namespace kovrin::test {

// Makes `path` a database file of version 4, before the ledger, in the rollback-journal mode
// of that version: `agents` agents' last uploads of `rowsEach` collections each in
// RestoreData. Empty when made; what failed otherwise.
inline QString makeOlderDatabase(const QString& path, int agents, int rowsEach) {
    QString error;
    {
        auto db = Database::open(path, &error);
        if (!db) {
            return error;
        }
        QSqlQuery q(db->handle());
        auto run = [&q](const QString& sql) {
            return q.exec(sql) ? QString() : sql + ": " + q.lastError().text();
        };
        for (const char* sql : {"DROP TABLE LedgerCollection", "DROP TABLE LedgerDay",
                                "DROP TABLE LedgerUpload", "BEGIN"}) {
            if (QString e = run(QString::fromLatin1(sql)); !e.isEmpty()) {
                return e;
            }
        }
        for (int a = 1; a <= agents; ++a) {
            for (int r = 0; r < rowsEach; ++r) {
                const QString row =
                    QStringLiteral(
                        "INSERT INTO RestoreData (SNo, AgentID, AccountNo, Amtcollected, DateTime, "
                        "TransactionNumber, BalanceAmount, LastTxndate) VALUES ('1', '%1', '%2', "
                        "'%3.00', '07/12/2026 10:%4', '%5', '0000001000.00', '01/12/2026')")
                        .arg(a, 3, 10, QLatin1Char('0'))
                        .arg(100000 + r)
                        .arg(10 + r % 90, 7, 10, QLatin1Char('0'))
                        .arg(r % 60, 2, 10, QLatin1Char('0'))
                        .arg(r + 1, 4, 10, QLatin1Char('0'));
                if (QString e = run(row); !e.isEmpty()) {
                    return e;
                }
            }
        }
        for (const char* sql : {"COMMIT", "PRAGMA user_version = 4"}) {
            if (QString e = run(QString::fromLatin1(sql)); !e.isEmpty()) {
                return e;
            }
        }
    }
    // The earlier versions kept a rollback journal.
    QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v4"));
    other.setDatabaseName(path);
    if (!other.open() || !QSqlQuery(other).exec(QStringLiteral("PRAGMA journal_mode = DELETE"))) {
        error = QStringLiteral("the journal mode could not be set");
    }
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("v4"));
    return error;
}

}  // namespace kovrin::test
