#pragma once

#include <QStringList>

namespace kovrin::schema {

// Version of the schema this program creates; kept in PRAGMA user_version.
// 1: the four tables and the report views; 2: report views that refuse amounts and dates
// they cannot read; 3: table UploadInfo; 4: Report1's closing amount is the account's
// balance after each collection, Report1 gives the stored texts of a row and its branch, and
// Report2 adds up the collections that can be read.
constexpr int kVersion = 4;

// Statements that create the tables, indexes and report views of a new database file.
QStringList createTables();
// Statements that bring the tables of a file of an older version up to this one: they add
// what is missing and never touch the rows already there.
QStringList upgradeTables(int fromVersion);
// Statements that (re)create the two report views.
QStringList createViews();

// Columns each table must have for the program to use an existing file. UploadInfo is not
// among them: an older file gets it when it is opened.
struct TableColumns {
    const char* table;
    QStringList columns;
};
QList<TableColumns> requiredColumns();

}  // namespace kovrin::schema
