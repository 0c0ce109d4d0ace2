#pragma once

// Databases holding a large ledger, written with the ledger's own store (its prepared inserts,
// one transaction a day) and kept in build-bench/ledger-data/ so that later runs reuse them.
//   day70k:   one day of  5 agents x 2000 accounts x 7 collections (70 000)
//   day700k:  one day of 50 agents x 2000 accounts x 7 collections (700 000)
//   month3m:  30 days of 50 agents x 2000 accounts x 1 collection (3 000 000)

#include "db/Database.h"
#include "db/LedgerStore.h"
#include "db/RestoreDataStore.h"
#include "db/Sql.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>
#include <QVector>
#include <stdexcept>

namespace kovrin::bench {

struct LedgerShape {
    const char* name;
    int agents;
    int accounts;
    int perAccount;  // collections of an account a day
    int days;
    long long collections() const { return 1LL * agents * accounts * perAccount * days; }
};

inline const LedgerShape kDay70k{"day70k", 5, 2000, 7, 1};
inline const LedgerShape kDay700k{"day700k", 50, 2000, 7, 1};
inline const LedgerShape kMonth3m{"month3m", 50, 2000, 1, 30};

// The first day of every ledger.
inline QDate ledgerFirstDay() {
    return QDate(2026, 3, 1);
}

inline QString agentText(int a) {
    return QString::number(a + 1).rightJustified(3, QLatin1Char('0'));
}

// The collections of agent `a` on `day`, as an upload stores them.
inline QVector<RestoreDataRow> ledgerUploadRows(const LedgerShape& s, int a, const QDate& day) {
    QVector<RestoreDataRow> rows;
    rows.reserve(s.accounts * s.perAccount);
    const QString agent = agentText(a).leftJustified(15);
    const QString date = day.toString(QStringLiteral("dd/MM/yyyy"));
    int number = 0;
    for (int c = 0; c < s.accounts; ++c) {
        const QString account = QString::number(100000 + a * 10000 + c).rightJustified(15, '0');
        for (int t = 0; t < s.perAccount; ++t) {
            RestoreDataRow r;
            r.AgentID = agent;
            r.BranchID = QStringLiteral("BR001          ");
            r.AccountNo = account;
            r.Amtcollected = QString::number(50 + (c * 7 + t) % 450).rightJustified(7, '0') +
                             QStringLiteral(".00");
            r.DateTime = date + QStringLiteral(" %1:%2")
                                    .arg(9 + t, 2, 10, QLatin1Char('0'))
                                    .arg(c % 60, 2, 10, QLatin1Char('0'));
            r.TransactionNumber = QString::number(++number).rightJustified(4, '0');
            r.CategoryCode = QStringLiteral("S");
            r.SchemeCode = QStringLiteral("DDS01");
            r.BalanceAmount = QStringLiteral("0000012345.00");
            r.LastTxndate = QStringLiteral("24/03/2026");
            rows.push_back(std::move(r));
        }
    }
    return rows;
}

// The program folder holding the ledger of `shape` (HandHeldData.mdb), made when missing.
inline QString ledgerFolder(const LedgerShape& s) {
    const QString root = QDir(QCoreApplication::applicationDirPath())
                             .absoluteFilePath(QStringLiteral("../ledger-data"));
    const QString folder = QDir(root).filePath(QLatin1String(s.name));
    const QString path = QDir(folder).filePath(QStringLiteral("HandHeldData.mdb"));
    if (QFile::exists(path)) {
        return folder;
    }
    QDir().mkpath(folder);
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    {
        QString error;
        auto db = Database::open(building, &error);
        if (!db) {
            throw std::runtime_error(error.toStdString());
        }
        for (int d = 0; d < s.days; ++d) {
            const QDate day = ledgerFirstDay().addDays(d);
            const DbStatus st = db->inTransaction([&]() -> DbStatus {
                for (int a = 0; a < s.agents; ++a) {
                    const LedgerHeader h{agentText(a),
                                         agentText(a) + day.toString(QStringLiteral("ddMM")),
                                         s.accounts * s.perAccount,
                                         -1,
                                         QDateTime(day, QTime(18, a % 60)),
                                         {}};
                    if (DbStatus x = LedgerStore(*db).append(h, ledgerUploadRows(s, a, day)); !x) {
                        return x;
                    }
                }
                return {};
            });
            if (!st) {
                throw std::runtime_error(st.error.toStdString());
            }
        }
    }
    QFile::rename(building, path);
    return folder;
}

// A file of the version before the ledger (4) holding the day of `shape` as its uploads, one
// per agent in RestoreData with its header in UploadInfo, in the rollback-journal mode that
// version kept: what the first start of this version finds on a large branch's PC. Made
// once, in build-bench/ledger-data/<name>-v4/.
inline QString olderDatabase(const LedgerShape& s) {
    const QString root = QDir(QCoreApplication::applicationDirPath())
                             .absoluteFilePath(QStringLiteral("../ledger-data"));
    const QString folder = QDir(root).filePath(QLatin1String(s.name) + QStringLiteral("-v4"));
    const QString path = QDir(folder).filePath(QStringLiteral("HandHeldData.mdb"));
    if (QFile::exists(path)) {
        return path;
    }
    QDir().mkpath(folder);
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    {
        QString error;
        auto db = Database::open(building, &error);
        if (!db) {
            throw std::runtime_error(error.toStdString());
        }
        const QDate day = ledgerFirstDay();
        for (int a = 0; a < s.agents; ++a) {
            UploadInfo info;
            info.AgentID = agentText(a).leftJustified(15);
            info.AgentDateKey = agentText(a) + day.toString(QStringLiteral("ddMM"));
            info.TotalTransactions = s.accounts * s.perAccount;
            info.UploadedAt = QDateTime(day, QTime(18, a % 60));
            if (DbStatus x = RestoreDataStore(*db).replaceUpload(info, ledgerUploadRows(s, a, day));
                !x) {
                throw std::runtime_error(x.error.toStdString());
            }
        }
        // What version 4 did not have.
        for (const char* sql :
             {"DROP TABLE LedgerCollection", "DROP TABLE LedgerDay", "DROP TABLE LedgerUpload",
              "DROP TABLE DownloadInfo", "DROP INDEX BankDataAgentKey",
              "DROP INDEX RestoreDataAgentKey", "PRAGMA user_version = 4", "VACUUM"}) {
            if (DbStatus x = execSql(*db, {}, QString::fromLatin1(sql)); !x) {
                throw std::runtime_error(x.error.toStdString());
            }
        }
        execSql(*db, {}, QStringLiteral("PRAGMA journal_mode = DELETE"));
    }
    QFile::rename(building, path);
    return path;
}

inline QString ledgerDatabase(const LedgerShape& s) {
    return QDir(ledgerFolder(s)).filePath(QStringLiteral("HandHeldData.mdb"));
}

// The peak resident memory of this process since the last resetPeakMemory, in megabytes.
inline double peakMemoryMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return -1;
}

// The resident memory of this process now, in megabytes.
inline double residentMemoryMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return -1;
}

inline void resetPeakMemory() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) {
        f.write("5");
    }
}

}  // namespace kovrin::bench
