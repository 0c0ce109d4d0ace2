#include "db/FileUpgrade.h"

#include "db/LedgerStore.h"
#include "db/RowInserter.h"
#include "db/Schema.h"
#include "db/Sql.h"

#include <sqlite3.h>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QVector>
#include <utility>

namespace kovrin {

namespace {

// Tells the window how far the upgrade has come: when a step begins, after each agent's
// collections and each index, and every tenth of a second from inside one long statement (an
// index over the whole table), so that the window is never left without a repaint for long.
class Progress {
public:
    Progress(sqlite3* handle, const UpgradeReport& report) : m_handle(handle), m_report(report) {
        m_clock.start();
        if (m_report && m_handle) {
            sqlite3_progress_handler(m_handle, kInstructions, &Progress::tick, this);
        }
    }
    ~Progress() {
        if (m_report && m_handle) {
            sqlite3_progress_handler(m_handle, 0, nullptr, nullptr);
        }
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void step(qint64 done, qint64 total, const QString& what, bool over = false) {
        m_now = {done, total, what, over};
        tell();
    }
    // The last report: done whole, or undone.
    void finish(bool done) {
        m_now.total = qMax<qint64>(m_now.total, 1);
        if (done) {
            m_now.done = m_now.total;
        }
        m_now.step = done ? QStringLiteral("done") : QStringLiteral("undone");
        m_now.over = true;
        tell();
    }
    void advance(qint64 done) {
        m_now.done = done;
        tell();
    }

private:
    static constexpr int kInstructions = 50000;  // between two looks at the clock
    static constexpr int kEveryMs = 100;

    static int tick(void* self) {
        auto* p = static_cast<Progress*>(self);
        if (p->m_clock.elapsed() >= kEveryMs) {
            p->tell();
        }
        return 0;  // never interrupts the statement
    }
    void tell() {
        m_clock.restart();
        if (m_report) {
            m_report(m_now);
        }
    }

    sqlite3* m_handle;
    const UpgradeReport& m_report;
    QElapsedTimer m_clock;
    UpgradeProgress m_now;
};

DbStatus exec(Database& db, const QString& sql) {
    QSqlQuery q(db.handle());
    if (!q.exec(sql)) {
        const QSqlError e = q.lastError();
        return DbStatus::failure(sqlReason(e), {}, e.nativeErrorCode().toInt());
    }
    return {};
}

qint64 count(Database& db, const QString& sql, DbStatus* status) {
    NativeStatement q(db, sql);
    const qint64 n = q.next() ? q.integer(0) : 0;
    *status = q.status();
    return n;
}

// The indexes of the ledger's collections and day totals, as made: entering every row of a
// large file goes faster into the bare tables, the indexes made once over them afterwards.
QVector<std::pair<QString, QString>> ledgerIndexes(Database& db, DbStatus* status) {
    NativeStatement q(db,
                      QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' "
                                     "AND tbl_name IN ('LedgerCollection', 'LedgerDay') AND sql "
                                     "IS NOT NULL ORDER BY name"));
    QVector<std::pair<QString, QString>> out;
    while (q.next()) {
        out.push_back({q.text(0), q.text(1)});
    }
    *status = q.status();
    return out;
}

// The ledger of a file that had none, from the uploads it holds (the last of each agent).
DbStatus seedLedger(Database& db, Progress& progress) {
    DbStatus st;
    if (count(db, QStringLiteral("SELECT count(*) FROM LedgerUpload"), &st) != 0 || !st) {
        return st;  // a ledger is there already
    }
    const qint64 rows = count(db, QStringLiteral("SELECT count(*) FROM RestoreData"), &st);
    if (!st) {
        return st;
    }
    // Making the indexes over the entered rows takes about a third of the time of entering
    // them.
    const qint64 total = rows + rows / 3 + 1;
    progress.step(0, total, QStringLiteral("entering the collections into the ledger"));
    const QVector<std::pair<QString, QString>> indexes = ledgerIndexes(db, &st);
    if (!st) {
        return st;
    }
    for (const auto& [name, sql] : indexes) {
        if (DbStatus s = exec(db, QStringLiteral("DROP INDEX %1").arg(name)); !s) {
            return s;
        }
    }
    if (DbStatus s = LedgerStore(db).seedFromRestoreData(
            [&progress](qint64 entered) { progress.advance(entered); });
        !s) {
        return s;
    }
    progress.step(rows, total, QStringLiteral("indexing the ledger"));
    qint64 done = rows;
    for (const auto& [name, sql] : indexes) {
        if (DbStatus s = exec(db, sql); !s) {
            return s;
        }
        done += (total - rows) / qMax<qsizetype>(indexes.size(), 1);
        progress.advance(done);
    }
    return {};
}

}  // namespace

DbStatus upgradeFile(Database& db, int version, const QStringList& statements,
                     const UpgradeReport& report) {
    DbStatus st;
    sqlite3* handle = nativeHandle(db, &st);
    if (!handle) {
        return st;
    }
    Progress progress(handle, report);
    progress.step(0, 0, QStringLiteral("adding the new tables and indexes"));
    // A larger page cache while the ledger's rows go in: the work is the tables' own B-trees.
    const QString cacheWas = [&db] {
        QSqlQuery q(db.handle());
        return q.exec(QStringLiteral("PRAGMA cache_size")) && q.next() ? q.value(0).toString()
                                                                       : QStringLiteral("-2000");
    }();
    exec(db, QStringLiteral("PRAGMA cache_size = -65536"));
    const DbStatus result = db.inTransaction([&]() -> DbStatus {
        for (const QString& sql : statements) {
            if (DbStatus e = exec(db, sql); !e) {
                return e;
            }
        }
        return version < schema::kLedgerVersion ? seedLedger(db, progress) : DbStatus{};
    });
    exec(db, QStringLiteral("PRAGMA cache_size = %1").arg(cacheWas));
    progress.finish(bool(result));
    return result;
}

}  // namespace kovrin
