#pragma once

// The bytes of the three files an upload leaves: the bank upload file that the bank's core
// software posts (CreateFlatFile), the hexadecimal backup of the raw frames (CreateFlatFile1)
// and the check listing of every stored row of the agent (CreateFlatFile2). Pure: rows or
// frames in, bytes out; the caller writes them. The two listings are in the encoding of the
// agent's download file (Latin-1 unless it came in UTF-8; a character the encoding cannot
// hold is written as "?" and its line reported); the backup is ASCII. Every line ends with
// CR LF, and there is no header, trailer or separator line (a UTF-8 file whose download began
// with a byte-order mark begins with one too).

#include "db/RestoreDataStore.h"
#include "upload/UploadTransfer.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QVector>
#include <optional>

namespace kovrin {

// DatewiseNumber: the running number of a line within its transaction date (the first five
// characters of DateTime, DD/MM), in the order lines are written. A line whose date differs
// from the previous line's starts again at "0001"; the same date counts on ("0002", ...,
// five digits from 10000 on). The first line of a listing always starts at "0001".
class DatewiseCounter {
public:
    QString next(const QString& dateTime);

private:
    QString m_previousKey;
    int m_count = 0;  // 0 before the first line
};

// Widths of the listing line's columns (the bank's download record widths).
namespace listing {
constexpr int kBranchID = 15;
constexpr int kCategoryCode = 1;
constexpr int kSchemeCode = 5;
constexpr int kAccountNo = 15;
constexpr int kCustomerCode = 6;
constexpr int kAccountName = 50;
constexpr int kBalanceAmount = 13;
constexpr int kAgreedAmount = 8;
constexpr int kLastTxndate = 10;
constexpr int kAgentID = 15;
constexpr int kAmtcollected = 10;
constexpr int kDateTime = 16;
constexpr int kTransactionNumber = 4;
constexpr int kDatewiseNumber = 4;
constexpr int kBankSoftACNumber = 15;
constexpr int kLineLength = 188;  // without CR LF
}  // namespace listing

// One line of the bank upload file or of the check file, CR LF included: BranchID,
// CategoryCode, SchemeCode, AccountNo, CustomerCode, AccountName, BalanceAmount,
// AgreedAmount, LastTxndate (10 blanks for "//20", an account without a date), AgentID,
// Amtcollected, DateTime, TransactionNumber, DatewiseNumber, one blank, BankSoftACNumber.
// Every field keeps its columns: a text is padded on the right with blanks or cut to its
// width, so an empty name or amount does not move the fields after it. The numbers
// (BalanceAmount, AgreedAmount, Amtcollected, TransactionNumber, DatewiseNumber) are padded
// but never cut: a transaction number from 10000 on makes the line one character longer
// rather than lose a digit.
// Counted in characters, whatever the encoding; `replaced`, when given, gets the number of
// characters the encoding could not hold.
QByteArray listingLine(const RestoreDataRow& row, const QString& DatewiseNumber,
                       TextEncoding encoding = TextEncoding::Latin1, int* replaced = nullptr);

// The bank upload file and its running totals.
struct BankUploadFile {
    QByteArray bytes;
    double UploadedAmount = 0;   // sum of the amounts of the lines written
    int UploadedCount = 0;       // number of lines written
    QVector<int> replacedLines;  // lines (from 1) with characters written as "?"

    // The totals agree with the day's header: the number of transactions and the amount
    // (whole currency units) that the terminal counted.
    bool totalsMatch(int TotalTransactions, qint64 TotalAmount) const;
};

// CreateFlatFile: from the agent's rows with a collected amount in order of the transaction
// number (inUploadFileOrder: numeric, so 10000 follows 9999), one line for the first postable
// row of each transaction number. A row whose account was not in the agent's download, or
// whose amount or date could not be read, is left out (postable): the bank's software gets
// only accounts it sent, with real amounts and dates. bankFileReasons says why each row that
// is not written was left out.
BankUploadFile CreateFlatFile(const QVector<RestoreDataRow>& rows,
                              TextEncoding encoding = TextEncoding::Latin1);

// CreateFlatFile1: one line per frame slot k, 0 to TotalRecords + 1 (TotalRecords at most
// 2000): k in decimal, " ) ", then for each of the slot's first 137 bytes "[" position "] "
// + the byte in two upper-case hexadecimal digits + two blanks. A slot that holds fewer
// bytes lists those it has; a slot that was never filled gives its number alone.
QByteArray CreateFlatFile1(const UploadData& data);

// The frames listed in a backup file, slot by slot (the reverse of CreateFlatFile1); empty
// when the text is not such a listing.
std::optional<QVector<QByteArray>> parseBackupFile(const QByteArray& text);

// CreateFlatFile2: one line for each of the agent's rows, in the order given (Val of the
// account name, inCheckFileOrder), rows without an amount and repeated transaction numbers
// included; the date-wise numbers are counted in this order.
QByteArray CreateFlatFile2(const QVector<RestoreDataRow>& rows,
                           TextEncoding encoding = TextEncoding::Latin1,
                           QVector<int>* replacedLines = nullptr);

// The bank upload file: BankInfoPath, a separator when it does not end with one, the
// AgentDateKey and "u.txt" (0010712u.txt for agent 001 on 7 December).
QString bankUploadFilePath(const QString& BankInfoPath, const QString& AgentDateKey);

// The backup file's name: the agent number (first 3 characters of AgentDateKey), "_" and
// the PC's date as dd_mm_yy: 001_07_12_26.txt.
QString backupFileName(const QString& AgentDateKey, const QDate& today);

// The check file's name: the AgentDateKey, "u" and "Check.txt": 0010712uCheck.txt, whether
// the bank upload file could be written or not.
QString checkFileName(const QString& AgentDateKey);

// The folder of the backup and check files, inside the program folder.
inline QString backupFolderName() {
    return QStringLiteral("BackupData");
}

}  // namespace kovrin
