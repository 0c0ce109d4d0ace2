#pragma once

// The frames the PC sends during a download: the header frame (record 0), one account
// frame per account (records 2, 3, ...), then the end frame (buildEndFrame('D')).

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

namespace kovrin::link {

// A built frame, or the reason it could not be built. A value that does not fit its fixed
// field is refused rather than sent: it would shift every later field of the frame.
struct BuildResult {
    bool ok = false;
    QByteArray frame;
    QString reason;
};

// The characters of the branch name the header frame carries, and the terminal shows.
constexpr int kBranchNameWidth = 22;

// What the header frame carries, as the download screen holds it.
struct HeaderFields {
    int accountCount = 0;      // accounts that follow, 0-65535
    QString branchId;          // 15 characters, as read from the download file
    QString agentId;           // 15 characters, as read from the download file
    QString fontSize;          // setting: "0" Small, "1" Big; negative or empty sends "0"
    QString bankName;          // cut to 48, padded with spaces to 48
    QString branchName;        // cut to 22, padded with spaces to 22
    QString transactionDigit;  // "0"-"7"; empty sends "1"
    QString downloadPassword;  // digits, sent as "0000"; empty sends "0000"
    QString setupPassword;     // digits, sent as "0000"; empty sends "0000"
    QString downloadKey;       // 3-digit agent and ddmm, sent as "0000000"
    QDateTime clock;           // the PC's date and time when the frame is built
};

// One account as stored in BankData.
struct AccountFields {
    QString CategoryCode;  // 1 character
    QString SchemeCode;    // 5 characters
    QString ACNumber;      // 15 characters
    QString ACName;        // cut or padded to 28
    QString BalAmount;     // whole units, sent as 10 BCD digits
    QString AgreedAmount;  // whole units, sent as 6 BCD digits
    QString OpeningDate;   // ddmmyy; empty or blank sends 000000
    QString TxnDate;       // ddmmyy; empty or blank sends 000000
};

// The six BCD bytes of the header frame's date and time: day, month, two-digit year,
// hour (00-23), minute, second.
QByteArray headerClockBytes(const QDateTime& clock);

// The 137-byte header frame, record number 0.
//   10-11 account count   12-26 branch id   27-41 agent id   42 font size
//   43-90 bank name       91-112 branch name   113 number of transactions
//   114-117 download password   118 "1"   119-122 setup password   123-129 download key
//   130-135 date and time (BCD)   136 space   137 checksum
BuildResult buildHeaderFrame(const HeaderFields& fields);

// The 0-based positions of the header frame that give away the terminal's passwords: the
// passwords themselves (positions 114-117 and 119-122) and the checksum (137), from which the
// sum of their digits follows, since every other byte of the frame is in the log. Never
// written to a log.
QVector<int> headerPasswordPositions();

// The 137-byte account frame with the given record number (2 for the first account).
//   10 category   11-15 scheme   16-30 account number   31-58 name   59-63 balance (BCD)
//   64-66 agreed amount (BCD)   67-69 opening date (BCD)   70-72 last transaction date
//   (BCD)   73-136 spaces   137 checksum
BuildResult buildAccountFrame(int recordNo, const AccountFields& fields);

}  // namespace kovrin::link
