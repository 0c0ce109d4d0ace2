#pragma once

#include "db/Database.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <initializer_list>

struct sqlite3;
struct sqlite3_stmt;

namespace kovrin {

// The engine's own handle of an open database; null with *status set when there is none.
sqlite3* nativeHandle(Database& db, DbStatus* status);
sqlite3* nativeHandle(const QSqlDatabase& db, DbStatus* status);

// Reads the rows of one SELECT on the engine's own statement interface: every column as
// text, NULL as a null text, as the general query interface gives them, without caching
// each row on the way. The values of `binds` are bound to the ?s in order.
class RowReader {
public:
    RowReader(Database& db, const QString& sql, std::initializer_list<QString> binds);
    ~RowReader();
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    // Steps to the next row; false at the end or on a failure (see status()).
    bool next();
    QString text(int column) const;
    DbStatus status() const { return m_status; }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    DbStatus m_status;
    QVector<QByteArray> m_binds;
};

// Inserts many rows through one prepared INSERT on the engine's own statement interface,
// inside the caller's transaction. Values are bound, never spliced into the text: the
// number 1 of SNo, then the texts of the row, a null text as NULL and any other (the empty
// one included) as text. A store of 14000 uploaded rows spends most of its time binding
// values; binding them directly costs a fraction of the general query interface.
class RowInserter {
public:
    // `sql` is "INSERT INTO T (SNo, a, b, ...) VALUES (?, ?, ?, ...)".
    RowInserter(Database& db, const QString& sql);
    ~RowInserter();
    RowInserter(const RowInserter&) = delete;
    RowInserter& operator=(const RowInserter&) = delete;

    // The statement could not be prepared: the engine's reason.
    DbStatus prepared() const { return m_status; }

    // One row: SNo and the texts in the order of the statement's columns.
    DbStatus insert(int sno, std::initializer_list<const QString*> values) {
        return insert(sno, values.begin(), int(values.size()));
    }
    DbStatus insert(int sno, const QString* const* values, int count);

private:
    DbStatus failure() const;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    DbStatus m_status;
    QVector<QByteArray> m_utf8;  // the bound texts of the current row, in the file's encoding
};

}  // namespace kovrin
