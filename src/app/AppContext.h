#pragma once

#include "db/DatabaseBackup.h"
#include "db/PortDeviceStore.h"
#include "ui/ScreenContext.h"

#include <atomic>
#include <memory>

class QLockFile;
class QObject;
class QThread;

namespace kovrin {

// What every screen shares for the life of the program: the program folder, the open
// database, the in-memory settings, the operator and transfer logs, and the one clock.
class AppContext : public ScreenContext {
public:
    AppContext(ProgramFolder folder, std::unique_ptr<Database> db,
               const Clock& clock = Clock::system());
    ~AppContext() override;

    const ProgramFolder& folder() const override { return m_folder; }
    Database& db() override { return *m_db; }
    AppSettings& settings() override { return m_settings; }
    OperatorLog& operatorLog() override { return m_log; }
    link::TransferLog& transferLog() override { return m_transferLog; }
    const Clock& clock() const override { return m_clock; }
    Revision revision() const override { return m_revision; }
    void setRevision(Revision r) { m_revision = r; }
    link::PortDirectory& ports() override { return m_ports; }
    // The devices the ports are mapped to, as stored, from now on.
    void setPortMapping(const QMap<int, PortDeviceRow>& mapping);

    // Takes the folder's lock (ProgramFolder::lockFilePath) for the life of the context,
    // opens the database in `folder` (creating it when missing) and loads the settings row.
    // Shows "Please Select CommPort and BankName" when there is none. The day's backup copy is
    // made afterwards, once the main menu is shown (startDailyBackup).
    // A start that cannot go on (the program already running on the folder, a read-only or
    // unwritable folder, a database locked by another program, read-only, damaged or not
    // ours) is refused: the message, with what to do, is shown, written to the operator log
    // (standard error when the log cannot be written) and put into *error; returns null.
    // A start refused because the program runs there already touches no file but the log.
    // Everything of the program reads the date and time from `clock`. The upgrade of a
    // database file of an older version tells `upgrade` how far it has come (a window shows
    // it); one that cannot write (a full disk) is refused as such, the file being intact.
    static std::unique_ptr<AppContext> startUp(const ProgramFolder& folder, QString* error,
                                               const Clock& clock = Clock::system(),
                                               const UpgradeReport& upgrade = {});

    // Makes the day's backup copy of the database (BackupData/HandHeldData-YYYY-MM-DD.mdb, the
    // last seven kept) when it is not there yet, on a thread and a connection of its own, so
    // that the operator can work meanwhile; a file too large to be checked at start is checked
    // first. A failed copy, or damage found, is reported once it is over (the event loop
    // tells it) and the program goes on.
    void startDailyBackup();
    // Waits until the copy begun by startDailyBackup is over and reports its failure now.
    void finishDailyBackup();
    // The program ends: a copy still under way is stopped (its part file removed) rather than
    // waited for, so the folder's lock is let go at once; a copy that failed before is told.
    void stopDailyBackup();
    // The copy is under way.
    bool dailyBackupRunning() const;

private:
    void reportDailyBackup(bool fromWatcher);

    const Clock& m_clock;
    ProgramFolder m_folder;
    std::unique_ptr<QLockFile> m_lock;  // released after the database is closed
    std::unique_ptr<Database> m_db;
    AppSettings m_settings;
    OperatorLog m_log;
    link::TransferLog m_transferLog;
    link::PortDirectory m_ports;
    Revision m_revision = Revision::V2_1;
    std::unique_ptr<QThread> m_backupThread;
    std::unique_ptr<QObject> m_backupWatcher;  // receives the end of the copy on this thread
    std::atomic<bool> m_stopBackup{false};
    BackupOutcome m_backup;
};

}  // namespace kovrin
