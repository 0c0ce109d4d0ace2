#include "db/PasswordStore.h"

#include "db/SingleRow.h"

namespace kovrin {

namespace {
const QString kTable = QStringLiteral("Password");
}

QString columnName(PasswordColumn column) {
    switch (column) {
        case PasswordColumn::Admin:
            return QStringLiteral("admin");
        case PasswordColumn::User:
            return QStringLiteral("user");
        case PasswordColumn::Setup:
            return QStringLiteral("setup");
        case PasswordColumn::Download:
            return QStringLiteral("download");
    }
    return {};
}

std::optional<PasswordRow> PasswordStore::load(DbStatus* status) {
    const auto row = readSingleRow(m_db, kTable, status);
    if (!row) {
        return std::nullopt;
    }
    PasswordRow p;
    p.admin = fieldText(*row, QStringLiteral("admin"));
    p.user = fieldText(*row, QStringLiteral("user"));
    p.setup = fieldText(*row, QStringLiteral("Setup"));
    p.download = fieldText(*row, QStringLiteral("Download"));
    return p;
}

DbStatus PasswordStore::save(PasswordColumn column, const QString& storedValue) {
    return writeSingleRow(m_db, kTable, {qMakePair(columnName(column), storedValue)});
}

}  // namespace kovrin
