#include "db/RestoreDataStore.h"

#include "db/RowInserter.h"

#include "db/Val.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <array>
#include <memory>

namespace kovrin {

namespace {

const char* const kColumns =
    "AgentID, BranchID, AccountNo, Amtcollected, DateTime, TransactionNumber, CategoryCode, "
    "SchemeCode, CustomerCode, AccountName, BalanceAmount, AgreedAmount, LastTxndate, "
    "DatewiseTxn, BankSoftACNumber";

QString errorOf(const QSqlQuery& q) {
    const QSqlError e = q.lastError();
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

std::initializer_list<QString RestoreDataRow::*> fields() {
    static const std::initializer_list<QString RestoreDataRow::*> f = {
        &RestoreDataRow::AgentID,         &RestoreDataRow::BranchID,
        &RestoreDataRow::AccountNo,       &RestoreDataRow::Amtcollected,
        &RestoreDataRow::DateTime,        &RestoreDataRow::TransactionNumber,
        &RestoreDataRow::CategoryCode,    &RestoreDataRow::SchemeCode,
        &RestoreDataRow::CustomerCode,    &RestoreDataRow::AccountName,
        &RestoreDataRow::BalanceAmount,   &RestoreDataRow::AgreedAmount,
        &RestoreDataRow::LastTxndate,     &RestoreDataRow::DatewiseTxn,
        &RestoreDataRow::BankSoftACNumber};
    return f;
}

QVector<RestoreDataRow> collect(QSqlQuery& q, DbStatus* status) {
    QVector<RestoreDataRow> rows;
    if (!q.exec()) {
        if (status) {
            *status = DbStatus::failure(errorOf(q));
        }
        return rows;
    }
    while (q.next()) {
        RestoreDataRow r;
        int i = 0;
        for (auto f : fields()) {
            r.*f = q.value(i++).toString();
        }
        rows.push_back(std::move(r));
    }
    if (status) {
        *status = {};
    }
    return rows;
}

}  // namespace

bool RestoreDataRow::operator==(const RestoreDataRow& o) const {
    for (auto f : fields()) {
        if (this->*f != o.*f) {
            return false;
        }
    }
    return true;
}

bool UploadInfo::operator==(const UploadInfo& o) const {
    return AgentID == o.AgentID && AgentDateKey == o.AgentDateKey &&
           TotalTransactions == o.TotalTransactions && TotalAmount == o.TotalAmount &&
           UploadedAt == o.UploadedAt;
}

DbStatus RestoreDataStore::replaceAgentRows(const QString& agentId,
                                            const QVector<RestoreDataRow>& rows) {
    return m_db.inTransaction([&]() { return writeAgentRows(agentId, rows); });
}

DbStatus RestoreDataStore::replaceUpload(const UploadInfo& info,
                                         const QVector<RestoreDataRow>& rows) {
    return m_db.inTransaction([&]() -> DbStatus {
        if (DbStatus s = writeAgentRows(info.AgentID, rows); !s) {
            return s;
        }
        QSqlQuery del(m_db.handle());
        del.prepare(QStringLiteral("DELETE FROM UploadInfo WHERE AgentID = ?"));
        del.addBindValue(info.AgentID);
        if (!del.exec()) {
            return DbStatus::failure(errorOf(del));
        }
        QSqlQuery ins(m_db.handle());
        ins.prepare(
            QStringLiteral("INSERT INTO UploadInfo (AgentID, AgentDateKey, "
                           "TotalTransactions, TotalAmount, UploadedAt) "
                           "VALUES (?,?,?,?,?)"));
        ins.addBindValue(info.AgentID);
        ins.addBindValue(info.AgentDateKey);
        ins.addBindValue(info.TotalTransactions);
        ins.addBindValue(info.TotalAmount);
        ins.addBindValue(info.UploadedAt.toString(Qt::ISODateWithMs));
        if (!ins.exec()) {
            return DbStatus::failure(errorOf(ins));
        }
        return {};
    });
}

std::optional<UploadInfo> RestoreDataStore::uploadInfo(const QString& agentId, DbStatus* status) {
    const QVector<UploadInfo> infos = readUploadInfos(&agentId, status);
    if (infos.isEmpty()) {
        return std::nullopt;
    }
    return infos.front();
}

QVector<UploadInfo> RestoreDataStore::uploadInfos(DbStatus* status) {
    return readUploadInfos(nullptr, status);
}

QVector<UploadInfo> RestoreDataStore::readUploadInfos(const QString* agentId, DbStatus* status) {
    QSqlQuery q(m_db.handle());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT AgentID, AgentDateKey, TotalTransactions, TotalAmount, "
                             "UploadedAt FROM UploadInfo %1 ORDER BY UploadedAt DESC, rowid DESC")
                  .arg(agentId ? QStringLiteral("WHERE AgentID = ?") : QString()));
    if (agentId) {
        q.addBindValue(*agentId);
    }
    QVector<UploadInfo> infos;
    if (!q.exec()) {
        if (status) {
            *status = DbStatus::failure(errorOf(q));
        }
        return infos;
    }
    while (q.next()) {
        UploadInfo i;
        i.AgentID = q.value(0).toString();
        i.AgentDateKey = q.value(1).toString();
        i.TotalTransactions = q.value(2).toInt();
        i.TotalAmount = q.value(3).toLongLong();
        i.UploadedAt = QDateTime::fromString(q.value(4).toString(), Qt::ISODateWithMs);
        infos.push_back(std::move(i));
    }
    if (status) {
        *status = {};
    }
    return infos;
}

DbStatus RestoreDataStore::writeAgentRows(const QString& agentId,
                                          const QVector<RestoreDataRow>& rows) {
    QSqlQuery del(m_db.handle());
    del.prepare(QStringLiteral("DELETE FROM RestoreData WHERE AgentID = ?"));
    del.addBindValue(agentId);
    if (!del.exec()) {
        return DbStatus::failure(errorOf(del));
    }
    // One prepared statement for every row: an upload has up to 14000 of them.
    RowInserter ins(m_db, QStringLiteral("INSERT INTO RestoreData (SNo, %1) VALUES "
                                         "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                              .arg(QLatin1String(kColumns)));
    if (DbStatus p = ins.prepared(); !p) {
        return p;
    }
    const QString emptyText = QStringLiteral("");
    std::array<const QString*, 15> values{};
    for (const RestoreDataRow& r : rows) {
        size_t i = 0;
        for (auto f : fields()) {
            // A column without a value holds empty text, never NULL: the statements and
            // the report views compare it with ''.
            values[i++] = (r.*f).isNull() ? &emptyText : &(r.*f);
        }
        if (DbStatus st = ins.insert(1, values.data(), int(i)); !st) {
            return st;
        }
    }
    return {};
}

QVector<RestoreDataRow> RestoreDataStore::agentRows(const QString& agentId, DbStatus* status) {
    QSqlQuery q(m_db.handle());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM RestoreData WHERE AgentID = ? ORDER BY rowid")
                  .arg(QLatin1String(kColumns)));
    q.addBindValue(agentId);
    return collect(q, status);
}

QVector<RestoreDataRow> RestoreDataStore::uploadFileRows(const QString& agentId, DbStatus* status) {
    return inUploadFileOrder(agentRows(agentId, status));
}

QVector<RestoreDataRow> RestoreDataStore::checkFileRows(const QString& agentId, DbStatus* status) {
    return inCheckFileOrder(agentRows(agentId, status));
}

namespace {

// The rows at the positions of `order`, moved out of `rows`.
QVector<RestoreDataRow> takeInOrder(QVector<RestoreDataRow>& rows,
                                    const QVector<qsizetype>& order) {
    QVector<RestoreDataRow> sorted;
    sorted.reserve(order.size());
    for (const qsizetype i : order) {
        sorted.push_back(std::move(rows[i]));
    }
    return sorted;
}

}  // namespace

QVector<RestoreDataRow> inUploadFileOrder(QVector<RestoreDataRow> rows) {
    QVector<qsizetype> order;
    order.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (!rows[i].Amtcollected.isEmpty()) {
            order.push_back(i);
        }
    }
    // Zero-filled numbers of four digits, five from 10000 on: the shorter text first.
    std::stable_sort(order.begin(), order.end(), [&rows](qsizetype a, qsizetype b) {
        const QString& x = rows[a].TransactionNumber;
        const QString& y = rows[b].TransactionNumber;
        return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
    return takeInOrder(rows, order);
}

QVector<RestoreDataRow> inCheckFileOrder(QVector<RestoreDataRow> rows) {
    QVector<double> keys;
    keys.reserve(rows.size());
    QVector<qsizetype> order;
    order.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        keys.push_back(vbVal(rows[i].AccountName));
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&keys](qsizetype a, qsizetype b) { return keys[a] < keys[b]; });
    return takeInOrder(rows, order);
}

}  // namespace kovrin
