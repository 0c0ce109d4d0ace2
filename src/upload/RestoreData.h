#pragma once

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Messages.h"
#include "core/ProgramFolder.h"
#include "core/SafeFile.h"
#include "db/Database.h"
#include "db/RestoreDataStore.h"
#include "upload/UploadTransfer.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace kovrin {

// Shows one message box and returns the answer: the upload transfer's own message function,
// which keeps the transfer held while a box is up.
using MessageFunction = std::function<MsgAnswer(const MessageRequest&)>;

// What a store or a rewrite of the files did.
struct RestoreOutcome {
    bool stored = false;  // the upload's rows are in RestoreData (run only)
    bool safe = false;    // stored, and the frames backed up on disk
    int rowCount = 0;     // the rows of the upload (stored, or read back for a rewrite)
    QString backupFile;   // the files written; empty when one was not written
    QString uploadFile;
    QString checkFile;
    bool nothingToStore = false;  // the terminal held no collections: nothing was changed
    bool totalsMatch = false;     // what was stored agrees with the day's header
    bool totalsDiffer = false;    // stored, and the day's header gives other totals
    int problemCount = 0;         // records and transactions that did not read cleanly
    int leftOutCollections = 0;   // stored, but kept out of the bank upload file
};

// The work done once the last record of an upload is in: the backup of the raw frames, the
// rows built from the frames and stored in place of the agent's earlier ones, the bank
// upload file in the bank-information folder and the check file beside the backup. Every
// failure is told to the operator, naming the file or table and the reason; the rows once
// stored are never lost, and writeFilesAgain writes the two listing files from them again.
class RestoreData {
public:
    // `settings` is read at each run, so a bank folder chosen after a failed upload counts.
    RestoreData(Database& db, const AppSettings& settings, ProgramFolder folder);

    // The PC's date and time: names the backup file, gives the year that dates are read
    // against, and stamps the stored upload. Tests fix it.
    void setClock(const Clock& clock) { m_clock = &clock; }

    // RestoreData, for a finished upload: in this order
    //   the backup file BackupData/<agent>_dd_mm_yy.txt (replacing one of the same name);
    //   the rows built from the frames, matched against the agent's downloaded accounts;
    //   the agent's RestoreData rows and UploadInfo replaced in one transaction;
    //   the bank upload file BankInfoPath/<AgentDateKey>u.txt, and the comparison of what was
    //   stored with the day's header ("Upload Completed Successfully" or "Serious Problem
    //   While Uploading ", or that the header's totals could not be read);
    //   the check file BackupData/<AgentDateKey>uCheck.txt;
    //   a message for records that could not be read, and one listing the collections kept
    //   out of the bank upload file (accounts not in the agent's last download, amounts or
    //   dates that could not be read) with their total.
    // When the rows cannot be stored nothing else is written (the backup excepted). An upload
    // without transaction records changes nothing and writes nothing.
    // `existingBackup` names a backup file of these frames already on disk (an upload stored
    // from its backup): none is written then.
    RestoreOutcome run(const UploadData& data, const MessageFunction& message,
                       const QString& existingBackup = {});

    // The backup files of uploads that were received but never stored (the program ended, or
    // the store failed, before the store was committed), the oldest first.
    QStringList unstoredBackups() const;
    // Stores an upload from its backup file, as if it had just been received.
    RestoreOutcome storeFromBackup(const QString& backupFile, const MessageFunction& message);
    // The mark beside a backup file whose upload is not stored yet.
    static QString unstoredMarkOf(const QString& backupFile);

    // The function the upload transfer calls; this object must outlive the transfer.
    UploadTransfer::Restore restoreFunction();

    // Writes the bank upload file and the check file again from the agent's stored rows and
    // stored header (UploadInfo), with the same names, the same totals message and the same
    // list of collections for unknown accounts as after the upload: for instance once the
    // operator has chosen the bank folder. No transfer is needed. The agents with a stored
    // upload, the latest first, come from RestoreDataStore::uploadInfos.
    RestoreOutcome writeFilesAgain(const QString& agentId, const MessageFunction& message);

    // The agent id of the upload stored last by this object; empty before the first.
    QString lastAgentId() const { return m_lastAgentId; }

private:
    void writeBackup(const UploadData& data, const QDateTime& now, const MessageFunction& message,
                     RestoreOutcome& outcome);
    // The bank upload file and the check file from the agent's rows in stored order.
    void writeListings(const UploadInfo& info, const QVector<RestoreDataRow>& rows,
                       const MessageFunction& message, RestoreOutcome& outcome);
    // The bank upload file and check file just written, kept with the agent's latest upload
    // in the ledger (a failure is told, nothing else depends on it).
    void recordFiles(const QString& agentId, const MessageFunction& message,
                     const RestoreOutcome& outcome);
    // The message listing the collections kept out of the bank upload file, if any.
    void showLeftOut(const QVector<RestoreDataRow>& rows, const QString& agentId,
                     const MessageFunction& message, RestoreOutcome& outcome);
    // The BackupData folder, made when missing; when it cannot be, the operator is told why
    // and what `notWritten` says.
    bool backupFolder(const QString& notWritten, const MessageFunction& message, QString* path);
    // A file of the program folder, written without following a link below it.
    GuardedPath guarded(const QString& path) const;

    Database& m_db;
    const AppSettings& m_settings;
    ProgramFolder m_folder;
    const Clock* m_clock = &Clock::system();
    QString m_lastAgentId;
};

}  // namespace kovrin
