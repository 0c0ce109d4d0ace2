#pragma once

#include "db/Database.h"

#include <QString>
#include <QVector>

namespace kovrin {

// One collected transaction (or an amount-less row) of an upload, as kept in RestoreData.
struct RestoreDataRow {
    QString AgentID;
    QString BranchID;
    QString AccountNo;
    QString Amtcollected;  // "0000000.00", or "" for a row without a collected amount
    QString DateTime;      // DD/MM/20YY HH:NN
    QString TransactionNumber;
    QString CategoryCode;
    QString SchemeCode;
    QString CustomerCode;
    QString AccountName;
    QString BalanceAmount;
    QString AgreedAmount;
    QString LastTxndate;
    QString DatewiseTxn;
    QString BankSoftACNumber;

    bool operator==(const RestoreDataRow& o) const;
};

// Table RestoreData: the transactions of the last upload of each agent.
class RestoreDataStore {
public:
    explicit RestoreDataStore(Database& db) : m_db(db) {}

    // Deletes every row of the agent (whatever its date) and adds `rows`, in one transaction.
    DbStatus replaceAgentRows(const QString& agentId, const QVector<RestoreDataRow>& rows);

    // Rows of the bank upload file: the agent's rows with a collected amount, in text order
    // of the transaction number (rows of the same number in the order they were stored).
    QVector<RestoreDataRow> uploadFileRows(const QString& agentId, DbStatus* status = nullptr);

    // Rows of the check listing: all of the agent's rows, in the numeric order that Val reads
    // from the start of AccountName (ties in the order they were stored).
    QVector<RestoreDataRow> checkFileRows(const QString& agentId, DbStatus* status = nullptr);

private:
    Database& m_db;
};

}  // namespace kovrin
