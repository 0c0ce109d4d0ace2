#pragma once

// What the report readers share: the report connection (read-only, opened on the worker that
// reads), one SELECT on the engine's own interface, and the restriction of a query to what the
// operator typed. Used only by the readers of src/reports.

#include "db/Database.h"
#include "db/RowInserter.h"
#include "db/Sql.h"
#include "reports/ReportData.h"

#include <sqlite3.h>
#include <QByteArrayView>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <thread>

namespace kovrin::report_sql {

inline QString errorText(const QSqlError& e) {
    const QString t = sqlReason(e).trimmed();
    return t.isEmpty() ? QStringLiteral("unknown database error") : t;
}

// How long a report's read waits for a writer that holds the file.
constexpr int kReportBusyTimeoutMs = 3000;

// The report connection: opened read-only on the database file for one read, closed and
// removed when the read is over.
class ReportConnection {
public:
    explicit ReportConnection(const QString& path) {
        static std::atomic<int> counter{0};
        m_name = QStringLiteral("kovrin-report-%1").arg(++counter);
        guardDatabaseFiles();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1")
                                 .arg(kReportBusyTimeoutMs));
        if (!db.open()) {
            m_error = errorText(db.lastError());
            return;
        }
        DbStatus st;
        m_native = nativeHandle(db, &st);
        if (!m_native) {
            m_error = st.error;
        }
    }
    ~ReportConnection() {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    ReportConnection(const ReportConnection&) = delete;
    ReportConnection& operator=(const ReportConnection&) = delete;

    bool isOpen() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    sqlite3* native() const { return m_native; }

    // While a writer holds the file, a read waits for it as long as the busy timeout, in short
    // steps, and gives up at once when `cancel` is set.
    void giveUpWaitingWhen(const std::atomic<bool>& cancel) const {
        if (m_native) {
            sqlite3_busy_handler(m_native, waitUnlessCancelled,
                                 const_cast<std::atomic<bool>*>(&cancel));
        }
    }

private:
    static int waitUnlessCancelled(void* cancel, int tries) {
        constexpr int kStepMs = 10;
        if (static_cast<const std::atomic<bool>*>(cancel)->load() ||
            tries * kStepMs >= kReportBusyTimeoutMs) {
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
        return 1;
    }

    QString m_name;
    QString m_error;
    sqlite3* m_native = nullptr;
};

// One SELECT on the engine's own interface: typed values read where they are, without a
// QVariant per value; the operator's values bound as text.
class Query : public NativeStatement {
public:
    Query(const ReportConnection& conn, const QString& sql, const QStringList& binds)
        : NativeStatement(conn.native(), sql) {
        int i = 1;
        for (const QString& b : binds) {
            bind(i++, b);
        }
    }

    // The ISO date of column c (YYYY-MM-DD); invalid for NULL or anything else.
    QDate date(int c) const {
        const QByteArrayView b = bytes(c);
        if (b.size() != 10 || b[4] != '-' || b[7] != '-') {
            return {};
        }
        int v[3] = {0, 0, 0};
        const int from[3] = {0, 5, 8};
        const int size[3] = {4, 2, 2};
        for (int k = 0; k < 3; ++k) {
            for (int i = from[k]; i < from[k] + size[k]; ++i) {
                if (b[i] < '0' || b[i] > '9') {
                    return {};
                }
                v[k] = v[k] * 10 + (b[i] - '0');
            }
        }
        return QDate(v[0], v[1], v[2]);
    }
    QString error() const { return status() ? QString() : status().error; }
};

// The text of a column, shared with the row before when it is the same: the rows come in
// agent and account order, so the thousands of rows of one agent, and the collections of one
// account, hold one copy of their text.
class SharedText {
public:
    QString get(const NativeStatement& q, int c) {
        const QByteArrayView b = q.bytes(c);
        if (!m_valid || b != QByteArrayView(m_bytes) || q.isNull(c) != m_text.isNull()) {
            m_bytes = b.toByteArray();
            m_text = q.isNull(c) ? QString() : QString::fromUtf8(b);
            m_valid = true;
        }
        return m_text;
    }

private:
    QByteArray m_bytes;
    QString m_text;
    bool m_valid = false;
};

inline QString isoText(const QDate& d) {
    return d.toString(Qt::ISODate);
}

inline bool onlyDigits(const QString& s) {
    if (s.isEmpty()) {
        return false;
    }
    for (const QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

inline QString withoutLeadingZeros(const QString& digits) {
    int i = 0;
    while (i < digits.size() && digits.at(i) == QLatin1Char('0')) {
        ++i;
    }
    return digits.mid(i);
}

inline void fail(ReportStatus* status, ReportStatus::Code code, const QString& detail) {
    if (status) {
        *status = ReportStatus{code, detail};
    }
}

// Restricts a trimmed column to what the operator typed: a text made only of digits is
// compared as a number (leading zeros and blanks ignored, so "1" finds "001"), any other text
// exactly, without its surrounding blanks. `column` is one of the program's own names.
inline void restrict(const char* column, const QString& typed, QString* sql, QStringList* values) {
    const QString t = typed.trimmed();
    const QLatin1String c(column);
    if (onlyDigits(t)) {
        *sql += QStringLiteral(" AND %1 <> '' AND %1 NOT GLOB '*[^0-9]*' AND ltrim(%1, '0') = ?")
                    .arg(c);
        *values << withoutLeadingZeros(t);
    } else if (!t.isEmpty()) {
        *sql += QStringLiteral(" AND %1 = ?").arg(c);
        *values << t;
    }
}

// False, with the engine's reason in *status, when the query failed.
bool finished(const Query& q, ReportStatus* status);

// The collections of Report1 that cannot be read, of the range and restriction of `where` and
// `values` (the range first), in report order; their branches into `branches`.
bool readUnreadable(const ReportConnection& conn, const QString& where, const QStringList& values,
                    QVector<UnreadableRow>* rows, QSet<QString>* branches, ReportStatus* status);

}  // namespace kovrin::report_sql
