#pragma once

// From the raw frames of an upload to the rows of table RestoreData: one row per collected
// transaction, plus one row without an amount for each frame the terminal marks as carrying
// none, each completed with the account's details from the agent's last download. Pure: no
// database, no files; the caller loads the agent's BankData rows once into an AccountLookup.

#include "db/BankDataStore.h"
#include "db/RestoreDataStore.h"
#include "upload/UploadTransfer.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>
#include <optional>

namespace kovrin {

// The downloaded accounts of an agent, found by the four texts an uploaded transaction
// carries: account number, scheme code and category code, each matched exactly (blanks
// included), and the agent id as it compares (db/AgentKey.h: the download's 13 characters of
// a short record name the same agent as the terminal's 15). When the download held an account
// twice, the first one counts.
class AccountLookup {
public:
    AccountLookup() = default;
    explicit AccountLookup(QVector<BankDataRow> rows);

    const BankDataRow* find(const QString& acNumber, const QString& schemeCode,
                            const QString& categoryCode, const QString& agentId) const;
    int size() const { return static_cast<int>(m_rows.size()); }

private:
    QVector<BankDataRow> m_rows;
    QHash<QString, int> m_index;
};

// Something in the frames that the operator has to hear about: a frame that was not
// received whole, a count of transactions that does not fit the frame, a transaction slot
// whose bytes do not read as an amount, a date or a time.
struct RestoreProblem {
    int recordNo = 0;  // the frame's record number (2 for the first transaction frame)
    int slot = 0;      // the transaction's place in the frame, 1-7; 0 for the frame itself
    QString CategoryCode;
    QString SchemeCode;
    QString AccountNo;
    QString what;
    QByteArray bytes;         // the slot's nine bytes, or the frame's count byte
    bool amountLost = false;  // the row was stored without its amount
};

// The scan of the transaction frames, records 2 to TotalRecords + 1 (at most 2000 of them),
// in record order. The count byte (position 133) decides what a frame gives: 0x20 one row
// without an amount for the frame's own account; 0 no row; 1-7 one row per transaction slot,
// in slot order. Any other count gives no row and is reported: the slots cannot be told apart.
//
// Every row starts empty. Category, scheme and account number come from the frame; the
// account's details (BranchID, CustomerCode, AccountName, BalanceAmount, AgreedAmount,
// LastTxndate, AgentID, BankSoftACNumber) from the account the lookup finds for the upload's
// agent. A row whose account is not found keeps the upload's agent id, so that it is stored,
// replaced and listed with the agent's other rows, and its other account details stay empty.
// DatewiseTxn stays empty: date-wise numbers belong to the files.
//
// A slot that does not decode cleanly still gives its row, with what could be read: an
// amount whose bytes are not BCD is left empty (never guessed), a date or time that is not
// one is kept as read. Each such slot, and each frame that could not be read, is added to
// `problems`.
//
// `referenceYear` is the PC's year at the upload: the terminal sends only the low four bits
// of a year, and the year meant is the one among the sixteen that end with the reference
// year (from 2000 on) that has them.
QVector<RestoreDataRow> buildRestoreRows(const UploadData& data, const AccountLookup& accounts,
                                         int referenceYear, QVector<RestoreProblem>* problems);

// The row's account was found in the agent's download. LastTxndate is never empty for such a
// row (an account without a date gives "//20"), and always empty for any other.
bool accountFound(const RestoreDataRow& row);

// BankData.BalAmount as BalanceAmount: at least 10 integer digits and 2 decimals, rounded
// half away from zero ("12345.5" gives 0000012345.50, "00012345" gives 0000012345.00). An
// empty or blank text stays empty; a text that is not a number is kept as it stands.
QString BalanceAmountOf(const QString& balAmount);

// BankData.AgreedAmount as AgreedAmount, "00000.00": "100" gives 00100.00; same rules.
QString AgreedAmountOf(const QString& agreedAmount);

// BankData.MyDate (ddmmyy) as LastTxndate, DD/MM/20YY: "150309" gives 15/03/2009, a blank
// MyDate "  /  /20  ", an empty one "//20".
QString LastTxndateOf(const QString& myDate);

// A DateTime of the form DD/MM/YYYY HH:NN that is a real date and time.
bool isRealDateTime(const QString& dateTime);

// The row stands for a collected transaction (not the amount-less row of an account the
// terminal marks as without transactions).
bool isCollection(const RestoreDataRow& row);

// Why a collection is kept out of the bank upload file, or empty when it goes in: its account
// was not in the agent's download, its amount could not be read, or its date or time is not
// a real one. Such rows are stored and listed in the check file, and shown to the operator.
QString leftOutReason(const RestoreDataRow& row, const QString& agentId);

// A collection the bank upload file takes.
bool postable(const RestoreDataRow& row);

// Why each of `rows` is kept out of the bank upload file, empty for a row the file takes or
// that is no collection: leftOutReason, or for a postable collection whose transaction number
// an earlier postable one carries, the repeated number (the file takes the first of each
// number). The rows are in stored order, or in any order that keeps it among the rows of one
// number (inUploadFileOrder does).
QStringList bankFileReasons(const QVector<RestoreDataRow>& rows, const QString& agentId);

}  // namespace kovrin
