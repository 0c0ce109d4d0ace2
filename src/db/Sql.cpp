#include "db/Sql.h"

namespace kovrin {

QString sqlReason(const QSqlError& error) {
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

SqlStatement::SqlStatement(Database& db, const QString& table, const QString& sql,
                           std::initializer_list<QVariant> binds)
    : m_query(db.handle()), m_table(table) {
    m_query.setForwardOnly(true);
    if (!m_query.prepare(sql)) {
        m_status = DbStatus::failure(sqlReason(m_query.lastError()), m_table);
        return;
    }
    for (const QVariant& v : binds) {
        m_query.addBindValue(v);
    }
}

bool SqlStatement::exec() {
    if (!m_status) {
        return false;
    }
    if (!m_query.exec()) {
        m_status = DbStatus::failure(sqlReason(m_query.lastError()), m_table);
        return false;
    }
    return true;
}

DbStatus execSql(Database& db, const QString& table, const QString& sql,
                 std::initializer_list<QVariant> binds) {
    SqlStatement s(db, table, sql, binds);
    s.exec();
    return s.status();
}

}  // namespace kovrin
