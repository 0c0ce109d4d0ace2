#include "db/SingleRow.h"

#include "db/Sql.h"
#include "db/Tables.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace kovrin {

namespace {
using tables::quoted;
QString errorOf(const QSqlQuery& q) {
    return sqlReason(q.lastError());
}
}  // namespace

std::optional<QSqlRecord> readSingleRow(Database& db, const QString& table, DbStatus* status) {
    QSqlQuery q(db.handle());
    if (!q.exec(QStringLiteral("SELECT * FROM %1 WHERE SNo='1' LIMIT 1").arg(quoted(table)))) {
        if (status) {
            *status = DbStatus::failure(errorOf(q));
        }
        return std::nullopt;
    }
    if (status) {
        *status = {};
    }
    if (!q.next()) {
        return std::nullopt;
    }
    return q.record();
}

DbStatus writeSingleRow(Database& db, const QString& table, const ColumnValues& columns) {
    return db.inTransaction([&]() -> DbStatus {
        QSqlQuery probe(db.handle());
        if (!probe.exec(
                QStringLiteral("SELECT 1 FROM %1 WHERE SNo='1' LIMIT 1").arg(quoted(table)))) {
            return DbStatus::failure(errorOf(probe));
        }
        const bool exists = probe.next();
        probe.finish();
        if (!exists) {
            QStringList names{QStringLiteral("SNo")};
            QStringList marks{QStringLiteral("?")};
            for (const auto& c : columns) {
                names << quoted(c.first);
                marks << QStringLiteral("?");
            }
            QSqlQuery ins(db.handle());
            ins.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(quoted(table), names.join(QLatin1Char(',')),
                                 marks.join(QLatin1Char(','))));
            ins.addBindValue(1);  // SNo is written as the number 1
            for (const auto& c : columns) {
                ins.addBindValue(c.second);
            }
            return ins.exec() ? DbStatus{} : DbStatus::failure(errorOf(ins));
        }
        if (columns.isEmpty()) {
            return {};
        }
        QStringList sets;
        for (const auto& c : columns) {
            sets << quoted(c.first) + QStringLiteral(" = ?");
        }
        QSqlQuery up(db.handle());
        up.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE SNo='1'")
                       .arg(quoted(table), sets.join(QLatin1Char(','))));
        for (const auto& c : columns) {
            up.addBindValue(c.second);
        }
        return up.exec() ? DbStatus{} : DbStatus::failure(errorOf(up));
    });
}

QString fieldText(const QSqlRecord& record, const QString& name) {
    const int i = record.indexOf(name);  // QSqlRecord matches names without regard to case
    return i < 0 ? QString() : record.value(i).toString();
}

}  // namespace kovrin
