#pragma once

#include "db/Database.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVector>
#include <initializer_list>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace kovrin {

// The engine's own handle of an open database; null with *status set when there is none.
sqlite3* nativeHandle(Database& db, DbStatus* status);
sqlite3* nativeHandle(const QSqlDatabase& db, DbStatus* status);

// One prepared statement on the engine's own interface, which the stores, the ledger and the
// reports all go through: values bound by position (texts as UTF-8, the file's encoding, kept
// until the statement is reset, so the engine reads them where they are), typed values read
// where they are. A failure's reason names `table` when one is given.
class NativeStatement {
public:
    NativeStatement(Database& db, const QString& sql, const QString& table = {});
    NativeStatement(sqlite3* db, const QString& sql, const QString& table = {});
    ~NativeStatement();
    NativeStatement(const NativeStatement&) = delete;
    NativeStatement& operator=(const NativeStatement&) = delete;

    // Whether it could be prepared and every step so far went well; the engine's reason if not.
    DbStatus status() const { return m_status; }

    void bind(int i, qint64 v);
    void bind(int i, const std::optional<qint64>& v);
    // A null text binds NULL, any other (the empty one included) text.
    void bind(int i, const QString& v);
    // Runs a statement that gives no rows, then resets it for the next values.
    DbStatus run();
    // Steps to the next row; false at the end or on a failure (see status()).
    bool next();
    // Ready for new values: the bindings and their texts go.
    void reset();

    bool isNull(int c) const;
    qint64 integer(int c) const;
    std::optional<qint64> optionalInteger(int c) const;
    // The bytes of column c, valid until the next step.
    QByteArrayView bytes(int c) const;
    // A NULL as a null text.
    QString text(int c) const;
    qint64 lastRowId() const;

private:
    void prepare(const QString& sql);
    void fail();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    DbStatus m_status;
    QString m_table;
    QVector<QByteArray> m_texts;
    bool m_done = false;
};

// Reads the rows of one SELECT on the engine's own statement interface: every column as
// text, NULL as a null text, as the general query interface gives them, without caching
// each row on the way. The values of `binds` are bound to the ?s in order.
class RowReader {
public:
    RowReader(Database& db, const QString& sql, std::initializer_list<QString> binds);
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    // Steps to the next row; false at the end or on a failure (see status()).
    bool next() { return m_stmt.next(); }
    QString text(int column) const { return m_stmt.text(column); }
    DbStatus status() const { return m_stmt.status(); }

private:
    NativeStatement m_stmt;
};

// Inserts many rows through one prepared INSERT on the engine's own statement interface,
// inside the caller's transaction. Values are bound, never spliced into the text: the
// number 1 of SNo, then the texts of the row, a null text as NULL and any other (the empty
// one included) as text. A store of 14000 uploaded rows spends most of its time binding
// values; binding them directly costs a fraction of the general query interface.
class RowInserter {
public:
    // `sql` is "INSERT INTO T (SNo, a, b, ...) VALUES (?, ?, ?, ...)".
    RowInserter(Database& db, const QString& sql) : m_stmt(db, sql) {}
    RowInserter(const RowInserter&) = delete;
    RowInserter& operator=(const RowInserter&) = delete;

    // The statement could not be prepared: the engine's reason.
    DbStatus prepared() const { return m_stmt.status(); }

    // One row: SNo and the texts in the order of the statement's columns.
    DbStatus insert(int sno, std::initializer_list<const QString*> values) {
        return insert(sno, values.begin(), int(values.size()));
    }
    DbStatus insert(int sno, const QString* const* values, int count);

private:
    NativeStatement m_stmt;
};

}  // namespace kovrin
