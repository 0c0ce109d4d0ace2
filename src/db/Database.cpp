#include "db/Database.h"

#include "core/SafeFile.h"
#include "db/FileUpgrade.h"
#include "db/RowInserter.h"
#include "db/Schema.h"
#include "db/Sql.h"
#include "db/Tables.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace kovrin {

namespace {

// How long an open waits for another program that holds the file for a moment.
constexpr int kBusyTimeoutMs = 3000;

using Kind = DbOpenProblem::Kind;

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("kovrin-db-%1").arg(++counter);
}

QString errorText(const QSqlError& e) {
    const QString t = sqlReason(e).trimmed();
    return t.isEmpty() ? QStringLiteral("unknown database error") : t;
}

int engineCode(const QSqlError& e) {
    return e.nativeErrorCode().toInt();
}

DbStatus exec(QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        return DbStatus::failure(errorText(q.lastError()), {}, engineCode(q.lastError()));
    }
    return {};
}

QString systemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// What an engine error means for the operator: another program's lock, a file the program
// may not write, or `otherwise`.
Kind kindOf(const QSqlError& e, Kind otherwise) {
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok) & 0xff;  // primary code of an extended one
    if (!ok) {
        return otherwise;
    }
    switch (code) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return Kind::Locked;
        case SQLITE_READONLY:
            return Kind::ReadOnly;
        case SQLITE_FULL:
        case SQLITE_IOERR:
            return Kind::NoSpace;
        default:
            return otherwise;
    }
}

// Moves `from` to `to` unless something is there already; a file at `to` is never replaced.
// Returns 0, or the system's error number (EEXIST: `to` was there).
int moveIntoPlace(const QByteArray& from, const QByteArray& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
#endif
    // A file system without that rename: a second name fails the same way on an existing one.
    if (::link(from.constData(), to.constData()) != 0) {
        return errno;
    }
    ::unlink(from.constData());
    return 0;
}

// The new file's name in its folder survives a power cut.
void syncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes the tables, report views and version into the empty file `path`.
DbStatus buildSchema(const QString& path) {
    const QString name = nextConnectionName();
    DbStatus result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            result = DbStatus::failure(errorText(db.lastError()));
        } else if (!db.transaction()) {
            result = DbStatus::failure(errorText(db.lastError()));
        } else {
            for (const QString& sql :
                 schema::createTables() + schema::indexesAndViews() +
                     QStringList{
                         QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion)}) {
                result = exec(db, sql);
                if (!result) {
                    break;
                }
            }
            if (!result) {
                db.rollback();
            } else if (!db.commit()) {
                result = DbStatus::failure(errorText(db.lastError()));
                db.rollback();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

// A missing database file: built complete under a temporary name in the same folder, then
// moved into place. Nothing ever carries the file's name half-made, and only the temporary
// file is removed when the building fails. When another program put a file there in the
// meantime, that file is kept and used.
DbOpenProblem createFile(const QString& path) {
    const QString temporary =
        QStringLiteral("%1.%2-%3.new")
            .arg(path)
            .arg(QCoreApplication::applicationPid())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    const QByteArray from = QFile::encodeName(temporary);
    // Readable and writable as the file-creation mask allows: by the group only, in a folder
    // the operators of a PC share.
    const int fd = ::open(from.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return {Kind::NotCreated, systemError(errno)};
    }
    ::close(fd);
    auto removeTemporary = [&] {
        QFile::remove(temporary + QStringLiteral("-journal"));
        QFile::remove(temporary);
    };
    if (const DbStatus built = buildSchema(temporary); !built) {
        removeTemporary();
        return {Kind::NotCreated, built.error};
    }
    const int moved = moveIntoPlace(from, QFile::encodeName(path));
    if (moved == EEXIST) {
        removeTemporary();  // another start created it first: its file is the one
        return {};
    }
    if (moved != 0) {
        removeTemporary();
        return {Kind::NotCreated, systemError(moved)};
    }
    syncFolder(QFileInfo(path).absolutePath());
    return {};
}

// The columns a table of the file has (names in lower case, as they compare without regard to
// case); empty when the table is not there.
QSet<QString> columnsOf(QSqlDatabase& db, const QString& table, DbOpenProblem* problem) {
    QSqlQuery q(db);
    QSet<QString> have;
    if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(tables::quoted(table)))) {
        *problem = {kindOf(q.lastError(), Kind::Unusable), errorText(q.lastError())};
        return have;
    }
    while (q.next()) {
        have.insert(q.value(1).toString().toLower());
    }
    return have;
}

// The file must hold the program's four tables before the program uses it.
DbOpenProblem checkTables(QSqlDatabase& db) {
    for (const tables::Table* t : tables::required()) {
        DbOpenProblem p;
        if (columnsOf(db, t->name, &p).isEmpty()) {
            return p.kind != Kind::None
                       ? p
                       : DbOpenProblem{Kind::Unusable,
                                       QStringLiteral("the table %1 is missing").arg(t->name)};
        }
    }
    return {};
}

// What a file of an older version lacks: the tables and columns added to db/Tables.h since
// (its rows stay as they are), and on a change of version the indexes and report views.
QStringList upgradeStatements(QSqlDatabase& db, int version, DbOpenProblem* problem) {
    QStringList statements;
    for (const tables::Table* t : tables::all()) {
        const QSet<QString> have = columnsOf(db, t->name, problem);
        if (problem->kind != Kind::None) {
            return {};
        }
        if (have.isEmpty()) {
            statements << t->createStatement();
            continue;
        }
        for (const tables::Column& c : t->columns) {
            if (!have.contains(c.name.toLower())) {
                statements << t->addColumnStatement(c);
            }
        }
    }
    if (version < schema::kVersion || !statements.isEmpty()) {
        statements << schema::indexesAndViews()
                   << QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion);
    }
    return statements;
}

// The program reads and writes rows through the engine's own statement interface on the
// connection Qt's driver opened: both must be the same SQLite, or the handle would be used
// by a library that did not make it.
DbOpenProblem checkSameEngine(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT sqlite_source_id()")) || !q.next()) {
        return {kindOf(q.lastError(), Kind::Unusable), errorText(q.lastError())};
    }
    const QString driver = q.value(0).toString();
    const QString linked = QString::fromLatin1(sqlite3_sourceid());
    if (driver != linked) {
        return {Kind::Engine,
                QStringLiteral("Qt's SQLite driver uses SQLite %1, the program SQLite %2")
                    .arg(driver, linked)};
    }
    return {};
}

// The engine's own file system layer, wrapped: a path with a symbolic link in it is refused
// where the engine would have resolved it, and every file the engine opens is opened without
// following a link, so a link put in place of a file between the two is refused as well.
sqlite3_vfs* g_engineFiles = nullptr;

int fullPathWithoutLinks(sqlite3_vfs*, const char* name, int size, char* out) {
    const int rc = g_engineFiles->xFullPathname(g_engineFiles, name, size, out);
    return rc == SQLITE_OK_SYMLINK ? SQLITE_CANTOPEN_SYMLINK : rc;
}

int openWithoutFollowing(const char* path, int flags, int mode) {
    return ::open(path, flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

// The files of the database next to it, which the engine makes and removes as it works.
const char* const kCompanions[] = {"", "-journal", "-wal", "-shm"};

}  // namespace

void guardDatabaseFiles() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_engineFiles = sqlite3_vfs_find(nullptr);
        if (!g_engineFiles) {
            return;
        }
        static sqlite3_vfs guarded = *g_engineFiles;
        guarded.zName = "kovrin-nofollow";
        guarded.xFullPathname = fullPathWithoutLinks;
        if (g_engineFiles->iVersion >= 3 && g_engineFiles->xSetSystemCall) {
            g_engineFiles->xSetSystemCall(
                g_engineFiles, "open", reinterpret_cast<sqlite3_syscall_ptr>(openWithoutFollowing));
        }
        sqlite3_vfs_register(&guarded, 1);
    });
}

Database::Database(QSqlDatabase db, QString connectionName, QString filePath)
    : m_db(std::move(db)),
      m_connectionName(std::move(connectionName)),
      m_filePath(std::move(filePath)) {}

Database::~Database() {
    checkpoint();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

std::unique_ptr<Database> Database::open(const QString& filePath, QString* error,
                                         DbOpenProblem* problem, const UpgradeReport& progress) {
    const QFileInfo info(filePath);
    const QString path = info.absoluteFilePath();
    auto fail = [&](Kind kind, const QString& reason) -> std::unique_ptr<Database> {
        if (error) {
            *error = (kind == Kind::NotCreated
                          ? QStringLiteral("The database file %1 could not be created: %2.")
                      : kind == Kind::NoSpace
                          ? QStringLiteral("The database file %1 could not be written: %2.")
                          : QStringLiteral("The database file %1 cannot be used: %2."))
                         .arg(QDir::toNativeSeparators(path), reason);
        }
        if (problem) {
            *problem = {kind, reason, problem->upgrading};
        }
        return nullptr;
    };
    guardDatabaseFiles();
    for (const char* companion : kCompanions) {
        const QString file = path + QLatin1String(companion);
        if (files::isLink(GuardedPath::ofFile(file))) {
            return fail(Kind::Link, files::linkRefusal(file));
        }
    }
    if (!info.exists()) {
        const DbOpenProblem made = createFile(path);
        if (made.kind != Kind::None) {
            return fail(made.kind, made.reason);
        }
    } else if (!info.isFile()) {
        return fail(Kind::Unusable, QStringLiteral("it is not a file"));
    }
    // The engine quietly opens a file it may not write read-only; the program would find out
    // at its first store. It is found here.
    if (::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | W_OK, AT_EACCESS) != 0) {
        return fail(Kind::ReadOnly, systemError(errno));
    }

    const QString name = nextConnectionName();
    std::unique_ptr<Database> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        if (!db.open()) {
            const QSqlError e = db.lastError();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return fail(kindOf(e, Kind::Unusable), errorText(e));
        }
        result.reset(new Database(db, name, path));
    }
    QSqlDatabase& db = result->m_db;

    // A sound SQLite database holding our tables. Another program's exclusive lock stops the
    // check itself: that is told as such, not as damage.
    result->m_checkedAtOpen = QFileInfo(path).size() <= kCheckedAtOpen;
    if (result->m_checkedAtOpen) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next()) {
            // A file damaged where the check itself stops is damaged all the same.
            if ((q.lastError().nativeErrorCode().toInt() & 0xff) == SQLITE_CORRUPT) {
                return fail(
                    Kind::Unusable,
                    QStringLiteral("the file is damaged (%1)").arg(errorText(q.lastError())));
            }
            return fail(kindOf(q.lastError(), Kind::Unusable), errorText(q.lastError()));
        }
        const QString verdict = q.value(0).toString();
        if (verdict != QLatin1String("ok")) {
            return fail(Kind::Unusable, QStringLiteral("the file is damaged (%1)").arg(verdict));
        }
    }
    if (DbOpenProblem p = checkSameEngine(db); p.kind != Kind::None) {
        return fail(p.kind, p.reason);
    }
    if (DbOpenProblem p = checkTables(db); p.kind != Kind::None) {
        return fail(p.kind, p.reason);
    }
    // A write begun and given up: another program in the middle of writing, or a file the
    // engine could only open for reading, is found now rather than at the first store.
    {
        DbOpenProblem p;
        {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
                p = {kindOf(q.lastError(), Kind::Unusable), errorText(q.lastError())};
            }
        }
        if (p.kind != Kind::None) {
            return fail(p.kind, p.reason);
        }
        if (DbStatus s = exec(db, QStringLiteral("ROLLBACK")); !s) {
            return fail(Kind::Unusable, s.error);
        }
    }
    // A file of an older version gets the tables added since (its rows stay as they are);
    // the report views are definitions, not data, and are made again.
    int version = 0;
    {
        QSqlQuery v(db);
        if (v.exec(QStringLiteral("PRAGMA user_version")) && v.next()) {
            version = v.value(0).toInt();
        }
    }
    DbOpenProblem upgradeProblem;
    const QStringList upgrade = upgradeStatements(db, version, &upgradeProblem);
    if (upgradeProblem.kind != Kind::None) {
        return fail(upgradeProblem.kind, upgradeProblem.reason);
    }
    if (!upgrade.isEmpty()) {
        if (const DbStatus s = upgradeFile(*result, version, upgrade, progress); !s) {
            if (problem) {
                problem->upgrading = true;
            }
            return fail(s.writeFailed() ? Kind::NoSpace : Kind::Unusable, s.error);
        }
    }
    // Readers and the store never wait for each other; every commit is on the disk before
    // the program goes on. A file system that cannot keep the log leaves the file as it was.
    // Programs opening one file at the same moment: the change of mode needs the file alone for
    // an instant, and the engine answers "locked" at once rather than wait on another program
    // that waits too; it is tried again for as long as the busy timeout.
    {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA journal_mode = WAL"))) {
                break;
            }
            const QSqlError e = q.lastError();
            DbStatus handle;
            sqlite3* native = nativeHandle(db, &handle);
            const int code = (native ? sqlite3_errcode(native) : engineCode(e)) & 0xff;
            const bool locked = code == SQLITE_BUSY || code == SQLITE_LOCKED;
            if (!locked || waited.elapsed() >= kBusyTimeoutMs) {
                return fail(locked ? Kind::Locked : kindOf(e, Kind::Unusable), errorText(e));
            }
            QThread::msleep(10);
        }
    }
    if (DbStatus s = exec(db, QStringLiteral("PRAGMA synchronous = FULL")); !s) {
        return fail(Kind::Unusable, s.error);
    }
    return result;
}

DbStatus Database::checkpoint() {
    if (!m_db.isOpen()) {
        return {};
    }
    return exec(m_db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

bool DbStatus::writeFailed() const {
    const int primary = code & 0xff;
    return !ok && (primary == SQLITE_FULL || primary == SQLITE_IOERR);
}

DbStatus Database::begin() {
    if (!m_db.transaction()) {
        return DbStatus::failure(errorText(m_db.lastError()));
    }
    return {};
}

DbStatus Database::commit() {
    if (!m_db.commit()) {
        // The driver's error of a failed commit carries no code: the engine still has it.
        const QSqlError e = m_db.lastError();
        DbStatus handle;
        sqlite3* native = nativeHandle(m_db, &handle);
        const int code = native ? sqlite3_extended_errcode(native) : engineCode(e);
        m_db.rollback();
        return DbStatus::failure(errorText(e), {}, code);
    }
    return {};
}

void Database::rollback() {
    m_db.rollback();
}

}  // namespace kovrin
