#include "db/RowInserter.h"

#include <sqlite3.h>
#include <QSqlDriver>
#include <QVariant>

namespace kovrin {

sqlite3* nativeHandle(Database& db, DbStatus* status) {
    return nativeHandle(db.handle(), status);
}

sqlite3* nativeHandle(const QSqlDatabase& db, DbStatus* status) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        *status = DbStatus::failure(QStringLiteral("the database driver is not SQLite"));
        return nullptr;
    }
    sqlite3* native = *static_cast<sqlite3* const*>(handle.data());
    if (!native) {
        *status = DbStatus::failure(QStringLiteral("the database is not open"));
    }
    return native;
}

NativeStatement::NativeStatement(Database& db, const QString& sql, const QString& table)
    : m_table(table) {
    m_db = nativeHandle(db, &m_status);
    if (m_db) {
        prepare(sql);
    }
}

NativeStatement::NativeStatement(sqlite3* db, const QString& sql, const QString& table)
    : m_db(db), m_table(table) {
    if (!m_db) {
        m_status = DbStatus::failure(QStringLiteral("the database is not open"), m_table);
        return;
    }
    prepare(sql);
}

NativeStatement::~NativeStatement() {
    sqlite3_finalize(m_stmt);
}

void NativeStatement::prepare(const QString& sql) {
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_stmt, nullptr) !=
        SQLITE_OK) {
        fail();
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

void NativeStatement::fail() {
    if (m_status) {
        m_status = DbStatus::failure(QString::fromUtf8(sqlite3_errmsg(m_db)), m_table,
                                     sqlite3_extended_errcode(m_db));
    }
}

void NativeStatement::bind(int i, qint64 v) {
    if (m_stmt && sqlite3_bind_int64(m_stmt, i, v) != SQLITE_OK) {
        fail();
    }
}

void NativeStatement::bind(int i, const std::optional<qint64>& v) {
    if (v) {
        bind(i, *v);
    } else if (m_stmt && sqlite3_bind_null(m_stmt, i) != SQLITE_OK) {
        fail();
    }
}

void NativeStatement::bind(int i, const QString& v) {
    if (!m_stmt) {
        return;
    }
    int rc = SQLITE_OK;
    if (v.isNull()) {
        rc = sqlite3_bind_null(m_stmt, i);
    } else {
        // The buffer of a QByteArray stays where it is when the list grows.
        m_texts.push_back(v.toUtf8());
        const QByteArray& bytes = m_texts.back();
        rc = sqlite3_bind_text(m_stmt, i, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
    }
    if (rc != SQLITE_OK) {
        fail();
    }
}

DbStatus NativeStatement::run() {
    if (!m_stmt || !m_status) {
        const DbStatus st = m_status;
        reset();
        return st;
    }
    const int rc = sqlite3_step(m_stmt);
    DbStatus st;
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        st = DbStatus::failure(QString::fromUtf8(sqlite3_errmsg(m_db)), m_table,
                               sqlite3_extended_errcode(m_db));
    }
    reset();
    return st;
}

bool NativeStatement::next() {
    if (!m_stmt || m_done || !m_status) {
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        fail();
    }
    m_done = true;
    return false;
}

void NativeStatement::reset() {
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        // The texts are bound without a copy: the bindings go before the texts.
        sqlite3_clear_bindings(m_stmt);
    }
    m_texts.clear();
    m_done = false;
}

bool NativeStatement::isNull(int c) const {
    return sqlite3_column_type(m_stmt, c) == SQLITE_NULL;
}

qint64 NativeStatement::integer(int c) const {
    return sqlite3_column_int64(m_stmt, c);
}

std::optional<qint64> NativeStatement::optionalInteger(int c) const {
    return isNull(c) ? std::nullopt : std::optional<qint64>(integer(c));
}

QByteArrayView NativeStatement::bytes(int c) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
    return QByteArrayView(p, p ? sqlite3_column_bytes(m_stmt, c) : 0);
}

QString NativeStatement::text(int c) const {
    if (!m_stmt || isNull(c)) {
        return {};
    }
    return QString::fromUtf8(bytes(c));
}

qint64 NativeStatement::lastRowId() const {
    return sqlite3_last_insert_rowid(m_db);
}

RowReader::RowReader(Database& db, const QString& sql, std::initializer_list<QString> binds)
    : m_stmt(db, sql) {
    int i = 1;
    for (const QString& b : binds) {
        m_stmt.bind(i++, b);
    }
}

DbStatus RowInserter::insert(int sno, const QString* const* values, int count) {
    if (!m_stmt.status()) {
        return m_stmt.status();
    }
    m_stmt.bind(1, qint64(sno));
    for (int k = 0; k < count; ++k) {
        m_stmt.bind(k + 2, *values[k]);
    }
    return m_stmt.run();
}

}  // namespace kovrin
