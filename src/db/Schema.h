#pragma once

#include <QStringList>

namespace kovrin::schema {

// Version of the schema this program creates; kept in PRAGMA user_version.
constexpr int kVersion = 2;

// Statements that create the tables, indexes and report views of a new database file.
QStringList createTables();
// Statements that (re)create the two report views.
QStringList createViews();

// Columns each table must have for the program to use an existing file.
struct TableColumns {
    const char* table;
    QStringList columns;
};
QList<TableColumns> requiredColumns();

}  // namespace kovrin::schema
