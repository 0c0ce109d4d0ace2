#pragma once

#include "db/Database.h"

#include <QString>
#include <optional>

namespace kovrin {

// The four passwords of table Password, as stored. The PC software's two passwords are
// kept as salted hashes (or, in an older file, still as clear text); the terminal's two
// are digits in clear, since the download sends them to the terminal.
struct PasswordRow {
    QString admin;
    QString user;
    QString setup;
    QString download;
};

enum class PasswordColumn { Admin, User, Setup, Download };

QString columnName(PasswordColumn column);

class PasswordStore {
public:
    explicit PasswordStore(Database& db) : m_db(db) {}

    // The password row, or nullopt when there is none (or on a database error, in *status).
    std::optional<PasswordRow> load(DbStatus* status = nullptr);

    // Stores one column; creates the row (SNo 1) when there is none.
    DbStatus save(PasswordColumn column, const QString& storedValue);

private:
    Database& m_db;
};

}  // namespace kovrin
