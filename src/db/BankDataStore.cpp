#include "db/BankDataStore.h"

#include "db/AgentKey.h"
#include "db/RowInserter.h"
#include "db/Sql.h"

#include <array>

namespace kovrin {

namespace {

#define KOVRIN_MEMBER(name) &BankDataRow::name,
constexpr QString BankDataRow::*kFields[] = {KOVRIN_BANKDATA_COLUMNS(KOVRIN_MEMBER)};
#undef KOVRIN_MEMBER
constexpr int kFieldCount = int(std::size(kFields));

BankDataRow rowFrom(const RowReader& q) {
    BankDataRow r;
    for (int i = 0; i < kFieldCount; ++i) {
        r.*kFields[i] = q.text(i);
    }
    return r;
}

QVector<BankDataRow> collect(Database& db, const QString& sql, std::initializer_list<QString> binds,
                             DbStatus* status) {
    QVector<BankDataRow> rows;
    RowReader q(db, sql.arg(tables::bankData().selectList(1)), binds);
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
    for (const auto f : kFields) {
        if (this->*f != o.*f) {
            return false;
        }
    }
    return true;
}

QString encodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return QStringLiteral("UTF-8");
        case TextEncoding::Utf8WithBom:
            return QStringLiteral("UTF-8 with a byte-order mark");
        case TextEncoding::Latin1:
            break;
    }
    return QStringLiteral("Latin-1");
}

TextEncoding encodingNamed(const QString& name) {
    for (const TextEncoding e : {TextEncoding::Utf8, TextEncoding::Utf8WithBom}) {
        if (name == encodingName(e)) {
            return e;
        }
    }
    return TextEncoding::Latin1;
}

DbStatus BankDataStore::replaceAgentRows(const QString& agentId, const QVector<BankDataRow>& rows) {
    return m_db.inTransaction([&]() { return writeAgentRows(agentId, rows); });
}

DbStatus BankDataStore::replaceDownload(const QString& agentId, const QVector<BankDataRow>& rows,
                                        const QString& fileName, TextEncoding encoding) {
    return m_db.inTransaction([&]() -> DbStatus {
        if (DbStatus s = writeAgentRows(agentId, rows); !s) {
            return s;
        }
        const QString table = tables::downloadInfo().name;
        if (DbStatus del = execSql(m_db, table,
                                   QStringLiteral("DELETE FROM DownloadInfo WHERE ") + agentIsSql(),
                                   {agentKey(agentId)});
            !del) {
            return del;
        }
        return execSql(m_db, table, tables::downloadInfo().insertStatement(),
                       {agentId, fileName, encodingName(encoding)});
    });
}

TextEncoding BankDataStore::downloadEncoding(const QString& agentId, DbStatus* status) {
    RowReader q(m_db,
                QStringLiteral("SELECT Encoding FROM DownloadInfo WHERE %1 ORDER BY rowid DESC "
                               "LIMIT 1")
                    .arg(agentIsSql()),
                {agentKey(agentId)});
    const TextEncoding e = q.next() ? encodingNamed(q.text(0)) : TextEncoding::Latin1;
    if (status) {
        *status = q.status();
    }
    return e;
}

DbStatus BankDataStore::writeAgentRows(const QString& agentId, const QVector<BankDataRow>& rows) {
    if (DbStatus del = execSql(m_db, QStringLiteral("BankData"),
                               QStringLiteral("DELETE FROM BankData WHERE ") + agentIsSql(),
                               {agentKey(agentId)});
        !del) {
        return del;
    }
    RowInserter ins(m_db, tables::bankData().insertStatement());
    if (DbStatus p = ins.prepared(); !p) {
        return p;
    }
    std::array<const QString*, kFieldCount> values{};
    for (const BankDataRow& r : rows) {
        for (int i = 0; i < kFieldCount; ++i) {
            values[size_t(i)] = &(r.*kFields[i]);
        }
        if (DbStatus st = ins.insert(1, values.data(), kFieldCount); !st) {
            return st;
        }
    }
    return {};
}

QVector<BankDataRow> BankDataStore::rowsToSend(const QString& agentId, const QString& fileName,
                                               DbStatus* status) {
    return collect(
        m_db,
        QStringLiteral("SELECT %1 FROM BankData WHERE ") + agentIsSql() +
            QStringLiteral(" AND SNo = '1' AND FileName = ? ORDER BY ACName COLLATE NOCASE, "
                           "OpeningDate, rowid"),
        {agentKey(agentId), fileName}, status);
}

QVector<BankDataRow> BankDataStore::agentRows(const QString& agentId, DbStatus* status) {
    return collect(m_db,
                   QStringLiteral("SELECT %1 FROM BankData WHERE ") + agentIsSql() +
                       QStringLiteral(" ORDER BY rowid"),
                   {agentKey(agentId)}, status);
}

std::optional<BankDataRow> BankDataStore::findAccount(const QString& acNumber,
                                                      const QString& schemeCode,
                                                      const QString& categoryCode,
                                                      const QString& agentId, DbStatus* status) {
    const QVector<BankDataRow> rows =
        collect(m_db,
                QStringLiteral("SELECT %1 FROM BankData WHERE ACNumber = ? AND SchemeCode = ? AND "
                               "CategoryCode = ? AND ") +
                    agentIsSql() + QStringLiteral(" ORDER BY rowid LIMIT 1"),
                {acNumber, schemeCode, categoryCode, agentKey(agentId)}, status);
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    return rows.front();
}

}  // namespace kovrin
