#include "db/RestoreDataStore.h"

#include "db/AgentKey.h"
#include "db/LedgerStore.h"
#include "db/RowInserter.h"
#include "db/Sql.h"

#include "db/Val.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <array>
#include <memory>

namespace kovrin {

namespace {

#define KOVRIN_MEMBER(name) &RestoreDataRow::name,
constexpr QString RestoreDataRow::*kFields[] = {KOVRIN_RESTOREDATA_COLUMNS(KOVRIN_MEMBER)};
#undef KOVRIN_MEMBER
constexpr int kFieldCount = int(std::size(kFields));

QVector<RestoreDataRow> collect(SqlStatement& q, DbStatus* status) {
    QVector<RestoreDataRow> rows;
    if (q.exec()) {
        while (q.next()) {
            RestoreDataRow r;
            for (int i = 0; i < kFieldCount; ++i) {
                r.*kFields[i] = q.text(i);
            }
            rows.push_back(std::move(r));
        }
    }
    if (status) {
        *status = q.status();
    }
    return rows;
}

}  // namespace

bool RestoreDataRow::operator==(const RestoreDataRow& o) const {
    for (const auto f : kFields) {
        if (this->*f != o.*f) {
            return false;
        }
    }
    return true;
}

bool UploadInfo::operator==(const UploadInfo& o) const {
    return AgentID == o.AgentID && AgentDateKey == o.AgentDateKey &&
           TotalTransactions == o.TotalTransactions && TotalAmount == o.TotalAmount &&
           UploadedAt == o.UploadedAt && Encoding == o.Encoding;
}

DbStatus RestoreDataStore::replaceAgentRows(const QString& agentId,
                                            const QVector<RestoreDataRow>& rows) {
    return m_db.inTransaction([&]() { return writeAgentRows(agentId, rows); });
}

DbStatus RestoreDataStore::replaceUpload(const UploadInfo& info,
                                         const QVector<RestoreDataRow>& rows,
                                         const QString& backupFile) {
    return m_db.inTransaction([&]() -> DbStatus {
        if (DbStatus s = writeAgentRows(info.AgentID, rows); !s) {
            return s;
        }
        const QString table = tables::uploadInfo().name;
        if (DbStatus del =
                execSql(m_db, table, QStringLiteral("DELETE FROM UploadInfo WHERE ") + agentIsSql(),
                        {agentKey(info.AgentID)});
            !del) {
            return del;
        }
        if (DbStatus ins =
                execSql(m_db, table, tables::uploadInfo().insertStatement(),
                        {info.AgentID, info.AgentDateKey, info.TotalTransactions, info.TotalAmount,
                         info.UploadedAt.toString(Qt::ISODateWithMs), encodingName(info.Encoding)});
            !ins) {
            return ins;
        }
        const bool totalsRead = info.TotalTransactions >= 0 && info.TotalAmount >= 0;
        const LedgerHeader header{info.AgentID,
                                  info.AgentDateKey,
                                  totalsRead ? info.TotalTransactions : -1,
                                  totalsRead ? info.TotalAmount * 100 : -1,
                                  info.UploadedAt,
                                  backupFile};
        return LedgerStore(m_db).append(header, rows);
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
    const QString sql =
        QStringLiteral("SELECT %1 FROM UploadInfo %2 ORDER BY UploadedAt DESC, rowid DESC")
            .arg(tables::uploadInfo().selectList(),
                 agentId ? QStringLiteral("WHERE ") + agentIsSql() : QString());
    SqlStatement q = agentId
                         ? SqlStatement(m_db, tables::uploadInfo().name, sql, {agentKey(*agentId)})
                         : SqlStatement(m_db, tables::uploadInfo().name, sql);
    QVector<UploadInfo> infos;
    if (!q.exec()) {
        if (status) {
            *status = q.status();
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
        i.Encoding = encodingNamed(q.value(5).toString());
        infos.push_back(std::move(i));
    }
    if (status) {
        *status = {};
    }
    return infos;
}

DbStatus RestoreDataStore::writeAgentRows(const QString& agentId,
                                          const QVector<RestoreDataRow>& rows) {
    if (DbStatus del = execSql(m_db, QStringLiteral("RestoreData"),
                               QStringLiteral("DELETE FROM RestoreData WHERE ") + agentIsSql(),
                               {agentKey(agentId)});
        !del) {
        return del;
    }
    // One prepared statement for every row: an upload has up to 14000 of them.
    RowInserter ins(m_db, tables::restoreData().insertStatement());
    if (DbStatus p = ins.prepared(); !p) {
        return p;
    }
    const QString emptyText = QStringLiteral("");
    std::array<const QString*, kFieldCount> values{};
    for (const RestoreDataRow& r : rows) {
        for (int i = 0; i < kFieldCount; ++i) {
            // A column without a value holds empty text, never NULL: the statements and
            // the report views compare it with ''.
            const QString& v = r.*kFields[i];
            values[size_t(i)] = v.isNull() ? &emptyText : &v;
        }
        if (DbStatus st = ins.insert(1, values.data(), kFieldCount); !st) {
            return st;
        }
    }
    return {};
}

QVector<RestoreDataRow> RestoreDataStore::agentRows(const QString& agentId, DbStatus* status) {
    SqlStatement q(m_db, QStringLiteral("RestoreData"),
                   QStringLiteral("SELECT %1 FROM RestoreData WHERE %2 ORDER BY rowid")
                       .arg(tables::restoreData().selectList(1), agentIsSql()),
                   {agentKey(agentId)});
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
