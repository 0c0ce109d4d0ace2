#pragma once

#include <QSqlDatabase>
#include <QString>
#include <memory>

namespace kovrin {

// Outcome of a database operation: ok, or the engine's error text and the table it concerns
// (empty when it concerns the file as a whole).
struct DbStatus {
    bool ok = true;
    QString error;
    QString table;

    static DbStatus failure(const QString& e, const QString& table = {}) {
        return {false, e, table};
    }
    explicit operator bool() const { return ok; }
};

// Why a database file was refused; each calls for something else from the operator.
struct DbOpenProblem {
    enum class Kind {
        None,
        Locked,      // another program holds a lock on the file (a write under way, or exclusive)
        ReadOnly,    // the file cannot be written by this program
        Unusable,    // damaged, or not a database of this program
        NotCreated,  // a missing file could not be created in its folder
        Engine,      // Qt's SQLite driver and the program's SQLite are not the same library
        Link,        // the file (or its journal) is a symbolic link: never followed
    };
    Kind kind = Kind::None;
    QString reason;  // the engine's or the system's words, e.g. "database is locked"
};

// Every database file the program opens (its own, the reports', the daily copy) is opened by
// SQLite without following a symbolic link anywhere in its path: a link where a database
// file should be fails to open. Made once, before the first connection.
void guardDatabaseFiles();

// The local database file HandHeldData.mdb (SQLite). Opened once; created with its
// tables and report queries when missing; an existing file that is not a usable database
// is refused and never overwritten.
class Database {
public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (or creates) the file. On failure returns null, puts into *error a message that
    // names the file and the engine's reason, and into *problem what kind of failure it was.
    // A file is only accepted once it has been found writable and free of other programs'
    // locks. A missing file is built under a temporary name in the same folder and moved into
    // place complete; a file that appeared there in the meantime is used instead, never
    // replaced. No path deletes or overwrites the file.
    // A file up to kCheckedAtOpen bytes is checked for damage (PRAGMA quick_check, which reads
    // every page) when it is opened; a larger one is checked with the day's copy, after the
    // main menu is shown (makeDailyBackup), so that a large file does not hold up the start.
    static std::unique_ptr<Database> open(const QString& filePath, QString* error,
                                          DbOpenProblem* problem = nullptr);
    static constexpr qint64 kCheckedAtOpen = 32 * 1024 * 1024;
    // The file was checked for damage when it was opened.
    bool checkedAtOpen() const { return m_checkedAtOpen; }

    QSqlDatabase handle() const { return m_db; }
    QString filePath() const { return m_filePath; }

    // Runs fn inside one transaction: committed when fn returns ok, rolled back otherwise.
    template <typename Fn>
    DbStatus inTransaction(Fn fn);

private:
    Database(QSqlDatabase db, QString connectionName, QString filePath);
    DbStatus begin();
    DbStatus commit();
    void rollback();

    QSqlDatabase m_db;
    QString m_connectionName;
    QString m_filePath;
    bool m_checkedAtOpen = false;
};

template <typename Fn>
DbStatus Database::inTransaction(Fn fn) {
    if (DbStatus s = begin(); !s) {
        return s;
    }
    DbStatus result = fn();
    if (!result) {
        rollback();
        return result;
    }
    return commit();
}

}  // namespace kovrin
