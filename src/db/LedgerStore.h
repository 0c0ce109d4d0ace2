#pragma once

#include "db/Database.h"
#include "db/RestoreDataStore.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

namespace kovrin {

// The outcome kept for an upload: the terminal's totals against what was stored.
inline const QString kOutcomeAgrees = QStringLiteral("Agrees");
inline const QString kOutcomeDiffers = QStringLiteral("Differs");
inline const QString kOutcomeNoTotals = QStringLiteral("No totals");

// What the ledger keeps of an upload beside its collections.
struct LedgerHeader {
    QString AgentID;            // as the count frame gives it; kept without its blanks
    QString AgentDateKey;       // agent number and ddmm: names the files, gives the upload's day
    int TerminalCount = -1;     // the header's number of transactions; -1: not read
    qint64 TerminalTotal = -1;  // the header's total in hundredths; -1: not read
    QDateTime ReceivedAt;       // invalid for an upload seeded from an older file
    QString BackupFile;
};

// A row of LedgerUpload.
struct LedgerUploadRow {
    qint64 UploadID = 0;
    QString AgentID;
    QString AgentDateKey;
    QDate Day;
    std::optional<int> TerminalCount;
    std::optional<qint64> TerminalTotal;
    int StoredCount = 0;
    qint64 StoredTotal = 0;
    QDateTime ReceivedAt;
    QString Outcome;
    QString BackupFile;
    QString UploadFile;
    QString CheckFile;
    std::optional<qint64> SupersededBy;
};

// The collection ledger (tables LedgerUpload, LedgerCollection, LedgerDay): every upload
// ever stored, with its collections as typed values, never deleted. The reports read it.
class LedgerStore {
public:
    explicit LedgerStore(Database& db) : m_db(db) {}

    // Adds an upload and its collections (the rows of RestoreData with a collected amount or a
    // date: one stored without its amount, which could not be read, or without a real date and
    // time of day, is unreadable; each marked posted when the bank upload file takes it), inside
    // the caller's transaction. An earlier upload of the same agent and day that still counts is
    // marked superseded by this one, with its collections and day totals. The new upload's id goes
    // into *uploadId.
    DbStatus append(const LedgerHeader& header, const QVector<RestoreDataRow>& rows,
                    qint64* uploadId = nullptr);

    // The ledger of a file that had none: one upload per agent from the rows of RestoreData
    // (the agent's last upload), with the terminal's totals of UploadInfo where it has them.
    // Inside the caller's transaction. The rows are read as they are entered, one agent's at
    // a time in memory; `entered`, when given, hears the number of rows entered so far after
    // each agent.
    DbStatus seedFromRestoreData(const std::function<void(qint64 entered)>& entered = {});

    // The bank upload file and check file written for the agent's latest upload; an empty
    // name leaves the file kept as it is.
    DbStatus recordFiles(const QString& agentId, const QString& uploadFile,
                         const QString& checkFile);

    // Every upload of the ledger, in the order they were stored.
    QVector<LedgerUploadRow> uploads(DbStatus* status = nullptr);

private:
    Database& m_db;
};

// An amount or balance text as hundredths: digits with at most one decimal point and two
// decimals, a sign allowed only when `signAllowed`, below a hundred thousand million. None
// for any other text.
std::optional<qint64> ledgerAmount(const QString& text, bool signAllowed);

// The day an AgentDateKey names (agent number and ddmm): that day in the year that puts it
// nearest `received` (31 December received on 1 January is the day before; 1 January received
// on 31 December the day after; 29 February that of the nearest leap year). Invalid when the
// key names no day.
QDate dayOfKey(const QString& agentDateKey, const QDate& received);

}  // namespace kovrin
