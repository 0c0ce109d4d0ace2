#pragma once

#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <memory>

namespace kovrin {

// Outcome of a database operation: ok, or the engine's error text and the table it concerns
// (empty when it concerns the file as a whole).
struct DbStatus {
    bool ok = true;
    QString error;
    QString table;
    int code = 0;  // the engine's result code of the failure, when it gave one

    static DbStatus failure(const QString& e, const QString& table = {}, int code = 0) {
        return {false, e, table, code};
    }
    // The file could not be written: the disk is full, or the system refused the write.
    bool writeFailed() const;
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
        NoSpace,     // the file could not be written (full disk, I/O error); it is intact
    };
    Kind kind = Kind::None;
    QString reason;          // the engine's or the system's words, e.g. "database is locked"
    bool upgrading = false;  // it happened while a file of an older version was upgraded
};

// How far the upgrade of a file of an older version has come. `done` and `total` count the
// collections entered into the ledger and the work of its indexes; total is 0 while it is not
// known yet.
struct UpgradeProgress {
    qint64 done = 0;
    qint64 total = 0;
    QString step;       // what is being done, in the operator's words
    bool over = false;  // the last word: the upgrade is done, or undone
};
// Told when an upgrade starts, as it goes (at least every few tenths of a second, also in the
// middle of one long statement) and when it ends. It must not use the database.
using UpgradeReport = std::function<void(const UpgradeProgress&)>;

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
    // A file of an older version is upgraded in one transaction, its progress told to
    // `progress`; when it cannot be written (a full disk) the file is left as it was.
    // The file is kept in write-ahead-log mode: readers (the reports, the day's copy) and a
    // store never wait for each other.
    static std::unique_ptr<Database> open(const QString& filePath, QString* error,
                                          DbOpenProblem* problem = nullptr,
                                          const UpgradeReport& progress = {});
    static constexpr qint64 kCheckedAtOpen = 32 * 1024 * 1024;
    // The file was checked for damage when it was opened.
    bool checkedAtOpen() const { return m_checkedAtOpen; }

    QSqlDatabase handle() const { return m_db; }
    QString filePath() const { return m_filePath; }

    // Runs fn inside one transaction: committed when fn returns ok, rolled back otherwise.
    template <typename Fn>
    DbStatus inTransaction(Fn fn);

    // Writes what the write-ahead log holds back into the file and empties the log: done when
    // the program ends, so that the file alone holds everything.
    DbStatus checkpoint();

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
