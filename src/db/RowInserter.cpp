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

RowReader::RowReader(Database& db, const QString& sql, std::initializer_list<QString> binds) {
    m_db = nativeHandle(db, &m_status);
    if (!m_db) {
        return;
    }
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_stmt, nullptr) !=
        SQLITE_OK) {
        m_status = DbStatus::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        return;
    }
    m_binds.reserve(qsizetype(binds.size()));
    int i = 1;
    for (const QString& b : binds) {
        m_binds.push_back(b.toUtf8());
        const int rc = b.isNull() ? sqlite3_bind_null(m_stmt, i)
                                  : sqlite3_bind_text(m_stmt, i, m_binds.back().constData(),
                                                      int(m_binds.back().size()), SQLITE_STATIC);
        if (rc != SQLITE_OK) {
            m_status = DbStatus::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            return;
        }
        ++i;
    }
}

RowReader::~RowReader() {
    sqlite3_finalize(m_stmt);
}

bool RowReader::next() {
    if (!m_stmt) {
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        m_status = DbStatus::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    return false;
}

QString RowReader::text(int column) const {
    if (!m_stmt || sqlite3_column_type(m_stmt, column) == SQLITE_NULL) {
        return {};
    }
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(m_stmt, column));
}

RowInserter::RowInserter(Database& db, const QString& sql) {
    m_db = nativeHandle(db, &m_status);
    if (!m_db) {
        return;
    }
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_stmt, nullptr) !=
        SQLITE_OK) {
        m_status = failure();
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

RowInserter::~RowInserter() {
    sqlite3_finalize(m_stmt);
}

DbStatus RowInserter::failure() const {
    return DbStatus::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
}

DbStatus RowInserter::insert(int sno, const QString* const* values, int count) {
    if (!m_stmt) {
        return m_status;
    }
    sqlite3_reset(m_stmt);
    int i = 1;
    if (sqlite3_bind_int(m_stmt, i++, sno) != SQLITE_OK) {
        return failure();
    }
    m_utf8.resize(count);
    for (int k = 0; k < count; ++k) {
        const QString* v = values[k];
        int rc = SQLITE_OK;
        if (v->isNull()) {
            rc = sqlite3_bind_null(m_stmt, i);
        } else {
            // UTF-8, the file's encoding: the engine stores the bytes without converting.
            QByteArray& bytes = m_utf8[i - 2];
            bytes = v->toUtf8();
            rc = sqlite3_bind_text(m_stmt, i, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
        }
        if (rc != SQLITE_OK) {
            return failure();
        }
        ++i;
    }
    const int rc = sqlite3_step(m_stmt);
    // The texts are bound without a copy: the bindings go before the texts change.
    sqlite3_clear_bindings(m_stmt);
    if (rc != SQLITE_DONE) {
        const DbStatus st = failure();
        sqlite3_reset(m_stmt);
        return st;
    }
    return {};
}

}  // namespace kovrin
