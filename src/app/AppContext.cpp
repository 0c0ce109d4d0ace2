#include "app/AppContext.h"

#include "core/Messages.h"
#include "core/SafeFile.h"
#include "db/DatabaseBackup.h"
#include "db/SettingsStore.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>
#include <cerrno>
#include <cstring>

namespace kovrin {

namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Why the program may not write in `folder`, or nothing when it may.
QString readOnlyReason(const QString& folder) {
    if (::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) ==
            0 ||
        (errno != EACCES && errno != EPERM && errno != EROFS)) {
        return {};
    }
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString alreadyRunning(const QString& folder) {
    return QStringLiteral(
               "The program is already running in the folder %1.\nOnly one copy may run on a "
               "folder at a time: use the one that is open, or close it before starting again.")
        .arg(native(folder));
}

QString folderReadOnly(const QString& folder, const QString& reason) {
    return QStringLiteral(
               "The program folder %1 is read-only (%2).\nThe program cannot start. The program "
               "needs to write in this folder (its database, logs and copies): make it "
               "writable, then start again.")
        .arg(native(folder), reason);
}

QString folderNotWritable(const QString& folder, const QString& what) {
    return QStringLiteral(
               "The program cannot write in its folder %1: %2.\nThe program cannot start. Make "
               "room on the disk (or have the folder checked), then start again.")
        .arg(native(folder), what);
}

QString databaseRefused(const QString& dbPath, const QString& dbError,
                        const DbOpenProblem& problem) {
    switch (problem.kind) {
        case DbOpenProblem::Kind::Locked:
            return QStringLiteral(
                       "The database file %1 is in use by another program (%2).\nThe program "
                       "cannot start. Close the other program, then start again.")
                .arg(native(dbPath), problem.reason);
        case DbOpenProblem::Kind::ReadOnly:
            return QStringLiteral(
                       "The database file %1 is read-only (%2).\nThe program cannot start. The "
                       "program needs to write to this file: make it writable, then start "
                       "again.")
                .arg(native(dbPath), problem.reason);
        case DbOpenProblem::Kind::NotCreated:
            return folderNotWritable(
                QFileInfo(dbPath).absolutePath(),
                QStringLiteral("the database file %1 could not be created (%2)")
                    .arg(QFileInfo(dbPath).fileName(), problem.reason));
        case DbOpenProblem::Kind::Engine:
            return QStringLiteral(
                       "The database file %1 cannot be opened: %2.\nThe program cannot start. "
                       "Its SQLite library is not the one of Qt's SQLite driver: install the "
                       "program's packages again, then start again.")
                .arg(native(dbPath), problem.reason);
        case DbOpenProblem::Kind::Link:
            return QStringLiteral(
                       "The database file cannot be opened: %1.\nThe program cannot "
                       "start.")
                .arg(problem.reason);
        case DbOpenProblem::Kind::NoSpace: {
            // An upgrade adds about as much as the file holds already.
            const qint64 mb = QFileInfo(dbPath).size() / (1024 * 1024) + 1;
            return QStringLiteral(
                       "The database file %1 could not be written (%2): the disk is full or "
                       "the system refused the write.\nThe file is intact: %3 The program "
                       "cannot start. Free at least %4 MB on the disk that holds %5, then start "
                       "again.")
                .arg(native(dbPath), problem.reason,
                     problem.upgrading
                         ? QStringLiteral("its upgrade for this version of the program was "
                                          "undone, and nothing in it was changed.")
                         : QStringLiteral("nothing in it was changed."),
                     QString::number(problem.upgrading ? mb : 1),
                     native(QFileInfo(dbPath).absolutePath()));
        }
        case DbOpenProblem::Kind::None:
        case DbOpenProblem::Kind::Unusable:
            break;
    }
    return dbError + QStringLiteral(
                         "\nThe program cannot start. Restore the file from a backup, or move it "
                         "away so that a new empty database is created.");
}

}  // namespace

AppContext::AppContext(ProgramFolder folder, std::unique_ptr<Database> db, const Clock& clock)
    : m_clock(clock),
      m_folder(std::move(folder)),
      m_db(std::move(db)),
      m_log(m_folder.operatorLogPath(), clock),
      m_transferLog(m_folder.logFolder(), clock) {
    Messages::setOperatorLog(&m_log);
}

AppContext::~AppContext() {
    // A copy still under way when the program ends is given up: no half copy is left.
    if (m_backupThread) {
        m_stopBackup = true;
        m_backupThread->wait();
        m_backupWatcher.reset();
        m_backupThread.reset();
    }
    if (Messages::operatorLog() == &m_log) {
        Messages::setOperatorLog(nullptr);
    }
}

std::unique_ptr<AppContext> AppContext::startUp(const ProgramFolder& folder, QString* error,
                                                const Clock& clock, const UpgradeReport& upgrade) {
    // A refusal is shown like any message and kept in the folder's operator log.
    auto refuse = [&](const QString& text) -> std::unique_ptr<AppContext> {
        OperatorLog log(folder.operatorLogPath(), clock);
        OperatorLog* const attached = Messages::operatorLog();
        Messages::setOperatorLog(&log);
        Messages::critical(QStringLiteral("frmMain"), text);
        Messages::setOperatorLog(attached);
        if (error) {
            *error = text;
        }
        return nullptr;
    };
    if (const QString reason = readOnlyReason(folder.path()); !reason.isEmpty()) {
        return refuse(folderReadOnly(folder.path(), reason));
    }
    // One program per folder, whichever revision: the second start leaves every file alone.
    // The lock of a program that has ended without letting go is taken over; a lock held for
    // hours is not stale.
    // A link in the lock's place is refused, never taken over: it may point at anyone's file.
    if (files::isLink(GuardedPath::ofFile(folder.lockFilePath()))) {
        return refuse(QStringLiteral("The lock file cannot be used: %1.\nThe program cannot "
                                     "start.")
                          .arg(files::linkRefusal(folder.lockFilePath())));
    }
    auto lock = std::make_unique<QLockFile>(folder.lockFilePath());
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        switch (lock->error()) {
            case QLockFile::LockFailedError:
                return refuse(alreadyRunning(folder.path()));
            case QLockFile::PermissionError:
                return refuse(
                    folderReadOnly(folder.path(), QString::fromLocal8Bit(std::strerror(EACCES))));
            case QLockFile::NoError:
            case QLockFile::UnknownError:
                break;
        }
        return refuse(folderNotWritable(folder.path(),
                                        QStringLiteral("the lock file %1 could not be written")
                                            .arg(QFileInfo(folder.lockFilePath()).fileName())));
    }

    QString dbError;
    DbOpenProblem problem;
    std::unique_ptr<Database> db =
        Database::open(folder.databasePath(), &dbError, &problem, upgrade);
    if (!db) {
        return refuse(databaseRefused(folder.databasePath(), dbError, problem));
    }
    auto ctx = std::make_unique<AppContext>(folder, std::move(db), clock);
    ctx->m_lock = std::move(lock);
    DbStatus st;
    const auto settings = SettingsStore(ctx->db()).load(&st);
    if (!st) {
        const QString text =
            QStringLiteral("The settings could not be read from %1: %2.")
                .arg(native(ctx->db().filePath()), st.error) +
            QStringLiteral(
                "\nThe program cannot start. Restore the file from a backup, or move it away so "
                "that a new empty database is created.");
        ctx.reset();
        return refuse(text);
    }
    if (settings) {
        ctx->m_settings = *settings;
    } else {
        Messages::critical(QStringLiteral("frmMain"),
                           QStringLiteral("Please Select CommPort and BankName"));
    }
    const auto mapping = PortDeviceStore(ctx->db()).load(&st);
    if (!st) {
        Messages::critical(
            QStringLiteral("frmMain"),
            QStringLiteral("The devices of the serial ports could not be read: %1\nUntil they "
                           "are mapped again on the Configuration screen, a port is found only "
                           "by its ports/comN link or as /dev/ttyS{N-1}.")
                .arg(st.error));
    }
    ctx->setPortMapping(mapping);
    return ctx;
}

void AppContext::setPortMapping(const QMap<int, PortDeviceRow>& mapping) {
    QMap<int, link::SystemPort> devices;
    for (auto it = mapping.cbegin(); it != mapping.cend(); ++it) {
        devices.insert(it.key(), {it.value().device, QString(), it.value().description,
                                  it.value().manufacturer, it.value().serialNumber});
    }
    m_ports.setMapping(devices);
}

void AppContext::startDailyBackup() {
    if (m_backupThread) {
        return;
    }
    m_stopBackup = false;
    const QString path = m_db->filePath();
    const QString folder = m_folder.filePath(QStringLiteral("BackupData"));
    const QDate today = m_clock.today();
    const bool check = !m_db->checkedAtOpen();
    m_backupThread.reset(QThread::create([this, path, folder, today, check] {
        m_backup = makeDailyBackup(path, folder, today, kBackupsKept, check, &m_stopBackup);
    }));
    m_backupWatcher = std::make_unique<QObject>();
    QObject::connect(m_backupThread.get(), &QThread::finished, m_backupWatcher.get(),
                     [this] { reportDailyBackup(true); });
    m_backupThread->start(QThread::LowPriority);
}

bool AppContext::dailyBackupRunning() const {
    return m_backupThread && !m_backupThread->isFinished();
}

void AppContext::finishDailyBackup() {
    if (m_backupThread) {
        reportDailyBackup(false);
    }
}

void AppContext::stopDailyBackup() {
    if (m_backupThread) {
        m_stopBackup = true;
        reportDailyBackup(false);
    }
}

void AppContext::reportDailyBackup(bool fromWatcher) {
    if (!m_backupThread) {
        return;  // told already
    }
    m_backupThread->wait();
    if (fromWatcher) {
        // Called by the watcher itself: both go once the call is over.
        m_backupWatcher.release()->deleteLater();
        m_backupThread.release()->deleteLater();
    } else {
        m_backupWatcher.reset();
        m_backupThread.reset();
    }
    // Once a day, the first start makes the day's copy; a failure is told but never stops
    // the program.
    if (m_backup.status == BackupOutcome::Status::Failed ||
        m_backup.status == BackupOutcome::Status::Damaged) {
        Messages::critical(QStringLiteral("frmMain"), m_backup.error);
    }
}

}  // namespace kovrin
