#pragma once

#include "db/Database.h"
#include "db/Tables.h"

#include <QString>
#include <QVector>
#include <optional>

namespace kovrin {

// One account of a bank download file, as kept in table BankData: one text per column of the
// table after SNo (KOVRIN_BANKDATA_COLUMNS). OpeningDate, Txndate and MyDate are ddmmyy.
struct BankDataRow {
#define KOVRIN_TEXT_FIELD(name) QString name;
    KOVRIN_BANKDATA_COLUMNS(KOVRIN_TEXT_FIELD)
#undef KOVRIN_TEXT_FIELD

    bool operator==(const BankDataRow& o) const;
};

// Table BankData: the accounts of the last download file imported for each agent.
class BankDataStore {
public:
    explicit BankDataStore(Database& db) : m_db(db) {}

    // Deletes every row of the agent (whatever file it came from) and adds `rows`, in one
    // transaction: on any failure the agent's old rows stay as they were.
    DbStatus replaceAgentRows(const QString& agentId, const QVector<BankDataRow>& rows);

    // The accounts of one imported file, in the order they are sent to the terminal: by
    // account name without regard to letter case, then by opening date.
    QVector<BankDataRow> rowsToSend(const QString& agentId, const QString& fileName,
                                    DbStatus* status = nullptr);

    // Every row of the agent, in the order they were stored.
    QVector<BankDataRow> agentRows(const QString& agentId, DbStatus* status = nullptr);

    // The downloaded account of an uploaded transaction: exact match on all four keys.
    std::optional<BankDataRow> findAccount(const QString& acNumber, const QString& schemeCode,
                                           const QString& categoryCode, const QString& agentId,
                                           DbStatus* status = nullptr);

private:
    Database& m_db;
};

}  // namespace kovrin
