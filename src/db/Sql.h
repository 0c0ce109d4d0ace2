#pragma once

#include "db/Database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <initializer_list>

namespace kovrin {

// The engine's reason for a failure, in its own words when it gives them.
QString sqlReason(const QSqlError& error);

// One statement on the database's connection: prepared, its values bound in order (never
// spliced into the text), run. A failure is kept as a DbStatus with the engine's reason and
// the table it concerns.
class SqlStatement {
public:
    SqlStatement(Database& db, const QString& table, const QString& sql,
                 std::initializer_list<QVariant> binds = {});

    // Runs the statement; false on a failure (see status()).
    bool exec();
    // The next row of a SELECT.
    bool next() { return m_query.next(); }
    QVariant value(int column) const { return m_query.value(column); }
    QString text(int column) const { return m_query.value(column).toString(); }

    DbStatus status() const { return m_status; }

private:
    QSqlQuery m_query;
    QString m_table;
    DbStatus m_status;
};

// Runs one statement and gives its outcome.
DbStatus execSql(Database& db, const QString& table, const QString& sql,
                 std::initializer_list<QVariant> binds = {});

}  // namespace kovrin
