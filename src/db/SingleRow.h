#pragma once

#include "db/Database.h"

#include <QList>
#include <QPair>
#include <QSqlRecord>
#include <optional>

namespace kovrin {

// The settings and password tables hold one row, SNo '1'.
using ColumnValues = QList<QPair<QString, QString>>;

// Reads the row (select * from <table> where SNo='1'); nullopt when there is none.
// Fields are read by name without regard to case; a field without a value reads as "".
std::optional<QSqlRecord> readSingleRow(Database& db, const QString& table, DbStatus* status);

// Sets only the given columns of the row; when there is no row, adds one with SNo = 1 and
// those columns (the others stay empty). Column names come from the program, values are bound.
DbStatus writeSingleRow(Database& db, const QString& table, const ColumnValues& columns);

// Text of a field of a record, matched without regard to case; "" when absent or empty.
QString fieldText(const QSqlRecord& record, const QString& name);

}  // namespace kovrin
