#include "db/BankDataStore.h"

#include "db/RowInserter.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kovrin {

namespace {

const char* const kColumns =
    "AgentID, BranchID, CategoryCode, SchemeCode, ACNumber, ACName, BalAmount, AgreedAmount, "
    "OpeningDate, Txndate, FileName, CustomerCode, MyDate, BankSoftACNumber";

QString errorOf(const QSqlQuery& q) {
    const QSqlError e = q.lastError();
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

BankDataRow rowFrom(const RowReader& q) {
    BankDataRow r;
    int i = 0;
    for (QString* f : {&r.AgentID, &r.BranchID, &r.CategoryCode, &r.SchemeCode, &r.ACNumber,
                       &r.ACName, &r.BalAmount, &r.AgreedAmount, &r.OpeningDate, &r.Txndate,
                       &r.FileName, &r.CustomerCode, &r.MyDate, &r.BankSoftACNumber}) {
        *f = q.text(i++);
    }
    return r;
}

QVector<BankDataRow> collect(Database& db, const QString& sql, std::initializer_list<QString> binds,
                             DbStatus* status) {
    QVector<BankDataRow> rows;
    RowReader q(db, sql.arg(QLatin1String(kColumns)), binds);
    while (q.next()) {
        rows.push_back(rowFrom(q));
    }
    if (status) {
        *status = q.status();
    }
    if (!q.status()) {
        rows.clear();
    }
    return rows;
}

}  // namespace

bool BankDataRow::operator==(const BankDataRow& o) const {
    return AgentID == o.AgentID && BranchID == o.BranchID && CategoryCode == o.CategoryCode &&
           SchemeCode == o.SchemeCode && ACNumber == o.ACNumber && ACName == o.ACName &&
           BalAmount == o.BalAmount && AgreedAmount == o.AgreedAmount &&
           OpeningDate == o.OpeningDate && Txndate == o.Txndate && FileName == o.FileName &&
           CustomerCode == o.CustomerCode && MyDate == o.MyDate &&
           BankSoftACNumber == o.BankSoftACNumber;
}

DbStatus BankDataStore::replaceAgentRows(const QString& agentId, const QVector<BankDataRow>& rows) {
    return m_db.inTransaction([&]() -> DbStatus {
        QSqlQuery del(m_db.handle());
        del.prepare(QStringLiteral("DELETE FROM BankData WHERE AgentID = ?"));
        del.addBindValue(agentId);
        if (!del.exec()) {
            return DbStatus::failure(errorOf(del));
        }
        RowInserter ins(m_db, QStringLiteral("INSERT INTO BankData (SNo, %1) VALUES "
                                             "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                                  .arg(QLatin1String(kColumns)));
        if (DbStatus p = ins.prepared(); !p) {
            return p;
        }
        for (const BankDataRow& r : rows) {
            const DbStatus st =
                ins.insert(1, {&r.AgentID, &r.BranchID, &r.CategoryCode, &r.SchemeCode, &r.ACNumber,
                               &r.ACName, &r.BalAmount, &r.AgreedAmount, &r.OpeningDate, &r.Txndate,
                               &r.FileName, &r.CustomerCode, &r.MyDate, &r.BankSoftACNumber});
            if (!st) {
                return st;
            }
        }
        return {};
    });
}

QVector<BankDataRow> BankDataStore::rowsToSend(const QString& agentId, const QString& fileName,
                                               DbStatus* status) {
    return collect(
        m_db,
        QStringLiteral("SELECT %1 FROM BankData WHERE AgentID = ? AND SNo = '1' AND "
                       "FileName = ? ORDER BY ACName COLLATE NOCASE, OpeningDate, rowid"),
        {agentId, fileName}, status);
}

QVector<BankDataRow> BankDataStore::agentRows(const QString& agentId, DbStatus* status) {
    return collect(m_db, QStringLiteral("SELECT %1 FROM BankData WHERE AgentID = ? ORDER BY rowid"),
                   {agentId}, status);
}

std::optional<BankDataRow> BankDataStore::findAccount(const QString& acNumber,
                                                      const QString& schemeCode,
                                                      const QString& categoryCode,
                                                      const QString& agentId, DbStatus* status) {
    const QVector<BankDataRow> rows =
        collect(m_db,
                QStringLiteral("SELECT %1 FROM BankData WHERE ACNumber = ? AND SchemeCode = ? AND "
                               "CategoryCode = ? AND AgentID = ? ORDER BY rowid LIMIT 1"),
                {acNumber, schemeCode, categoryCode, agentId}, status);
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    return rows.front();
}

}  // namespace kovrin
