#pragma once

#include "db/BankDataStore.h"
#include "db/Database.h"
#include "db/Tables.h"

#include <QDateTime>
#include <QString>
#include <QVector>
#include <optional>

namespace kovrin {

// One collected transaction (or an amount-less row) of an upload, as kept in RestoreData:
// one text per column of the table after SNo (KOVRIN_RESTOREDATA_COLUMNS). Amtcollected is
// "0000000.00", or "" for a row without a collected amount; DateTime is DD/MM/20YY HH:NN.
struct RestoreDataRow {
#define KOVRIN_TEXT_FIELD(name) QString name;
    KOVRIN_RESTOREDATA_COLUMNS(KOVRIN_TEXT_FIELD)
#undef KOVRIN_TEXT_FIELD

    bool operator==(const RestoreDataRow& o) const;
};

// The day's header of an agent's last stored upload (table UploadInfo): the name of its
// files and the totals the terminal counted, so that the bank upload file and the check file
// can be written again from the stored rows without a new transfer.
struct UploadInfo {
    QString AgentID;       // 15 characters, as the count frame gives it
    QString AgentDateKey;  // 7 characters: agent number and ddmm
    int TotalTransactions = 0;
    qint64 TotalAmount = 0;  // whole currency units
    QDateTime UploadedAt;
    // The encoding of the download the rows were matched against: the files' encoding.
    TextEncoding Encoding = TextEncoding::Latin1;

    bool operator==(const UploadInfo& o) const;
};

// Table RestoreData: the transactions of the last upload of each agent.
class RestoreDataStore {
public:
    explicit RestoreDataStore(Database& db) : m_db(db) {}

    // Deletes every row of the agent (whatever its date) and adds `rows`, in one transaction.
    DbStatus replaceAgentRows(const QString& agentId, const QVector<RestoreDataRow>& rows);

    // The same for a whole upload: the agent's rows and its UploadInfo row are replaced, and
    // the upload is added to the collection ledger (LedgerStore), in one transaction, so the
    // header kept always belongs to the rows kept and the ledger never misses a stored upload.
    // `backupFile` is the backup of its frames, kept in the ledger.
    DbStatus replaceUpload(const UploadInfo& info, const QVector<RestoreDataRow>& rows,
                           const QString& backupFile = {});

    // The header of the agent's last stored upload; empty when none is stored (or on failure).
    std::optional<UploadInfo> uploadInfo(const QString& agentId, DbStatus* status = nullptr);

    // The headers of every agent's last stored upload, the latest first.
    QVector<UploadInfo> uploadInfos(DbStatus* status = nullptr);

    // Every row of the agent, in the order they were stored.
    QVector<RestoreDataRow> agentRows(const QString& agentId, DbStatus* status = nullptr);

    // The agent's rows in the orders of the bank upload file and of the check listing (see
    // inUploadFileOrder and inCheckFileOrder).
    QVector<RestoreDataRow> uploadFileRows(const QString& agentId, DbStatus* status = nullptr);
    QVector<RestoreDataRow> checkFileRows(const QString& agentId, DbStatus* status = nullptr);

private:
    DbStatus writeAgentRows(const QString& agentId, const QVector<RestoreDataRow>& rows);
    QVector<UploadInfo> readUploadInfos(const QString* agentId, DbStatus* status);

    Database& m_db;
};

// Rows of the bank upload file, from rows in stored order: those with a collected amount, in
// order of the transaction number (rows of the same number in stored order). The numbers are
// zero-filled texts of four digits, five from 10000 on: shorter texts come first, so that
// 10000 follows 9999 rather than 1000.
QVector<RestoreDataRow> inUploadFileOrder(QVector<RestoreDataRow> rows);

// Rows of the check listing, from rows in stored order: all of them, in the numeric order
// that Val reads from the start of AccountName (ties in stored order).
QVector<RestoreDataRow> inCheckFileOrder(QVector<RestoreDataRow> rows);

}  // namespace kovrin
