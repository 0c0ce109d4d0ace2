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

// The text encoding of an agent's download file, which the bank upload file and the check file
// of its uploads are written in: 8-bit Latin-1 (what the bank's software has always written;
// also a file of plain ASCII), UTF-8, or UTF-8 after a byte-order mark.
enum class TextEncoding { Latin1, Utf8, Utf8WithBom };

// The encoding's name as kept in the database and told to the operator ("Latin-1", "UTF-8",
// "UTF-8 with a byte-order mark"), and back; a name that is none of them reads as Latin-1.
QString encodingName(TextEncoding encoding);
TextEncoding encodingNamed(const QString& name);

// Table BankData: the accounts of the last download file imported for each agent. An agent's
// rows are found by its identifier as it compares (db/AgentKey.h), whatever its spelling.
class BankDataStore {
public:
    explicit BankDataStore(Database& db) : m_db(db) {}

    // Deletes every row of the agent (whatever file it came from) and adds `rows`, in one
    // transaction: on any failure the agent's old rows stay as they were.
    DbStatus replaceAgentRows(const QString& agentId, const QVector<BankDataRow>& rows);

    // The same for a whole download: the agent's rows and its DownloadInfo row (the file and
    // the encoding it came in) replaced in one transaction.
    DbStatus replaceDownload(const QString& agentId, const QVector<BankDataRow>& rows,
                             const QString& fileName, TextEncoding encoding);

    // The encoding of the agent's last download file; Latin-1 when none was kept (a download
    // imported before the program kept it).
    TextEncoding downloadEncoding(const QString& agentId, DbStatus* status = nullptr);

    // The accounts of one imported file, in the order they are sent to the terminal: by
    // account name without regard to letter case, then by opening date.
    QVector<BankDataRow> rowsToSend(const QString& agentId, const QString& fileName,
                                    DbStatus* status = nullptr);

    // Every row of the agent, in the order they were stored.
    QVector<BankDataRow> agentRows(const QString& agentId, DbStatus* status = nullptr);

    // The downloaded account of an uploaded transaction: exact match on the account number,
    // scheme and category, the agent as it compares.
    std::optional<BankDataRow> findAccount(const QString& acNumber, const QString& schemeCode,
                                           const QString& categoryCode, const QString& agentId,
                                           DbStatus* status = nullptr);

private:
    DbStatus writeAgentRows(const QString& agentId, const QVector<BankDataRow>& rows);

    Database& m_db;
};

}  // namespace kovrin
