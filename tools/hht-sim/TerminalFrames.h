#pragma once

// The terminal's side of the frames: it reads the header and account frames a download
// sends, and builds the count, header and transaction frames an upload asks for. It uses
// the same encodings as the PC side (link/), so a test that runs one side's builder
// through the other side's reader checks both.

#include "link/DownloadFrames.h"

#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVector>

namespace kovrin::sim {

using link::BuildResult;

// A download header frame as the terminal reads it.
struct ReceivedHeader {
    bool ok = false;  // 137 bytes, checksum right, every BCD byte valid
    QString reason;
    int accountCount = 0;
    QString branchId;    // 15
    QString agentId;     // 15
    QString fontSize;    // "0" or "1"
    QString bankName;    // 48, padding included
    QString branchName;  // 22, padding included
    QString transactionDigit;
    QString downloadPassword;
    QString constantOne;  // position 118, always "1"
    QString setupPassword;
    QString downloadKey;
    QString clockDigits;  // "071226140509": ddMMyyhhmmss
    QDateTime clock;      // the same, read with years 2000-2099
};

ReceivedHeader parseHeaderFrame(QByteArrayView frame);

// A download account frame as the terminal reads it.
struct ReceivedAccount {
    bool ok = false;
    QString reason;
    int recordNo = 0;
    QString CategoryCode;
    QString SchemeCode;
    QString ACNumber;
    QString ACName;         // 28, padding included
    QString balanceDigits;  // 10
    QString agreedDigits;   // 6
    QString openingDate;    // ddmmyy
    QString txnDate;        // ddmmyy
};

ReceivedAccount parseAccountFrame(QByteArrayView frame);

// One collected transaction as the terminal keeps it.
struct CollectedTransaction {
    qint64 amount = 0;  // whole units, 0-999999
    QDate date;         // the terminal keeps the year's low nibble only
    QTime time;
    int number = 0;  // 0-65535
};

// Record 0: the number of transaction frames and the agent id (15 characters).
BuildResult buildCountFrame(int transactionFrames, const QString& agentId);

// Record 1: AgentDateKey (7 characters), the day's number of transactions and total amount
// (whole units, up to 8 digits).
BuildResult buildDayHeaderFrame(const QString& agentDateKey, int totalTransactions,
                                qint64 totalAmount);

// A transaction frame of one account with up to 7 transactions; with noTransactions the
// count byte is 0x20 and no slot is filled.
BuildResult buildTransactionFrame(int recordNo, const QString& category, const QString& scheme,
                                  const QString& account,
                                  const QVector<CollectedTransaction>& transactions,
                                  bool noTransactions);

// The 9-byte slot of one transaction.
std::optional<QByteArray> transactionSlot(const CollectedTransaction& t);

}  // namespace kovrin::sim
