#include "db/Database.h"

#include "db/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace kovrin {

namespace {

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("kovrin-db-%1").arg(++counter);
}

QString errorText(const QSqlError& e) {
    QString t = e.databaseText().trimmed();
    if (t.isEmpty()) {
        t = e.text().trimmed();
    }
    return t.isEmpty() ? QStringLiteral("unknown database error") : t;
}

DbStatus exec(QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        return DbStatus::failure(errorText(q.lastError()));
    }
    return {};
}

// The file must hold the four tables with their columns (names compared without regard
// to case) before the program uses it.
DbStatus checkTables(QSqlDatabase& db) {
    for (const auto& t : schema::requiredColumns()) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(QLatin1String(t.table)))) {
            return DbStatus::failure(errorText(q.lastError()));
        }
        QSet<QString> have;
        while (q.next()) {
            have.insert(q.value(1).toString().toLower());
        }
        if (have.isEmpty()) {
            return DbStatus::failure(
                QStringLiteral("the table %1 is missing").arg(QLatin1String(t.table)));
        }
        for (const QString& c : t.columns) {
            if (!have.contains(c.toLower())) {
                return DbStatus::failure(QStringLiteral("the column %1 of table %2 is missing")
                                             .arg(c, QLatin1String(t.table)));
            }
        }
    }
    return {};
}

}  // namespace

Database::Database(QSqlDatabase db, QString connectionName, QString filePath)
    : m_db(std::move(db)),
      m_connectionName(std::move(connectionName)),
      m_filePath(std::move(filePath)) {}

Database::~Database() {
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

std::unique_ptr<Database> Database::open(const QString& filePath, QString* error) {
    const QFileInfo info(filePath);
    const bool existed = info.exists();
    auto fail = [&](const QString& reason) -> std::unique_ptr<Database> {
        if (error) {
            *error = QStringLiteral("The database file %1 cannot be used: %2.")
                         .arg(QDir::toNativeSeparators(info.absoluteFilePath()), reason);
        }
        return nullptr;
    };
    if (existed && !info.isFile()) {
        return fail(QStringLiteral("it is not a file"));
    }

    const QString name = nextConnectionName();
    std::unique_ptr<Database> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(info.absoluteFilePath());
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
        if (!db.open()) {
            const QString reason = errorText(db.lastError());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return fail(reason);
        }
        result.reset(new Database(db, name, info.absoluteFilePath()));
    }
    QSqlDatabase& db = result->m_db;

    if (!existed) {
        const DbStatus created = result->inTransaction([&]() -> DbStatus {
            for (const QString& sql : schema::createTables() + schema::createViews()) {
                if (DbStatus s = exec(db, sql); !s) {
                    return s;
                }
            }
            return exec(db, QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion));
        });
        if (!created) {
            result.reset();
            QFile::remove(info.absoluteFilePath());  // only the file this call created
            return fail(created.error);
        }
        return result;
    }

    // An existing file: make sure it is a sound SQLite database holding our tables.
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next()) {
            return fail(errorText(q.lastError()));
        }
        const QString verdict = q.value(0).toString();
        if (verdict != QLatin1String("ok")) {
            return fail(QStringLiteral("the file is damaged (%1)").arg(verdict));
        }
    }
    if (DbStatus s = checkTables(db); !s) {
        return fail(s.error);
    }
    // A file of an older version gets the tables added since (its rows stay as they are);
    // the report views are definitions, not data, and are made again.
    QSqlQuery v(db);
    int version = 0;
    if (v.exec(QStringLiteral("PRAGMA user_version")) && v.next()) {
        version = v.value(0).toInt();
    }
    if (version < schema::kVersion) {
        const DbStatus s = result->inTransaction([&]() -> DbStatus {
            for (const QString& sql : schema::upgradeTables(version) + schema::createViews()) {
                if (DbStatus e = exec(db, sql); !e) {
                    return e;
                }
            }
            return exec(db, QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion));
        });
        if (!s) {
            return fail(s.error);
        }
    }
    return result;
}

DbStatus Database::begin() {
    if (!m_db.transaction()) {
        return DbStatus::failure(errorText(m_db.lastError()));
    }
    return {};
}

DbStatus Database::commit() {
    if (!m_db.commit()) {
        const QString e = errorText(m_db.lastError());
        m_db.rollback();
        return DbStatus::failure(e);
    }
    return {};
}

void Database::rollback() {
    m_db.rollback();
}

}  // namespace kovrin
