#include "db/RowInserter.h"

#include <sqlite3.h>
#include <QSqlDriver>
#include <QVariant>

namespace kovrin {

RowInserter::RowInserter(Database& db, const QString& sql) {
    const QVariant handle = db.handle().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        m_status = DbStatus::failure(QStringLiteral("the database driver is not SQLite"));
        return;
    }
    m_db = *static_cast<sqlite3* const*>(handle.data());
    if (!m_db) {
        m_status = DbStatus::failure(QStringLiteral("the database is not open"));
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

DbStatus RowInserter::insert(int sno, std::initializer_list<const QString*> values) {
    if (!m_stmt) {
        return m_status;
    }
    sqlite3_reset(m_stmt);
    int i = 1;
    if (sqlite3_bind_int(m_stmt, i++, sno) != SQLITE_OK) {
        return failure();
    }
    m_utf8.resize(qsizetype(values.size()));
    for (const QString* v : values) {
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
