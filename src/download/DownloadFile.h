#pragma once

#include "db/BankDataStore.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace kovrin {

// One account record of the bank's download file, cut from its fixed columns.
struct DownloadRecord {
    QString BranchID;          // columns 1-15
    QString CategoryCode;      // 16
    QString SchemeCode;        // 17-21
    QString ACNumber;          // 22-36
    QString CustomerCode;      // 37-42
    QString ACName;            // 43-92
    QString BalAmount;         // 95-102
    QString AgreedAmount;      // 106-110
    QString MyDate;            // ddmmyy from 114-115, 117-118, 122-123
    QString AgentID;           // 124-138
    QString OpeningDate;       // ddmmyy from 139-140, 142-143, 147-148
    QString Txndate;           // ddmmyy from 149-150, 152-153, 157-158
    QString BankSoftACNumber;  // 160-174
    int line = 0;              // the line of the file the record starts on
    // Fields whose text had characters the terminal cannot show (outside Latin-1); each such
    // character was replaced by "?".
    int replacedFields = 0;
};

// The most records a download may carry (the terminal's record numbers stop there).
constexpr int kMaxDownloadRecords = 2000;

struct DownloadFileContents {
    enum class Status {
        Ok,
        FormatError,     // a short record could not be completed to an accepted length
        TooManyRecords,  // more than 2000 records
        ReadError,       // the file could not be read
    };
    Status status = Status::Ok;
    QVector<DownloadRecord> records;               // in file order; empty unless Ok
    int recordCount = 0;                           // records read (also when there are too many)
    QString branchId;                              // of the last record read
    QString agentId;                               // of the last record read
    TextEncoding encoding = TextEncoding::Latin1;  // the file came in (downloadFileText)
    QString error;                                 // the system's reason for a ReadError
    // For a FormatError: the line (from 1) the record that could not be completed starts on,
    // and that line's text.
    int errorLine = 0;
    QString errorText;
};

// The text of a download file: a UTF-8 byte-order mark at the start is skipped; bytes that
// are valid UTF-8 are read as UTF-8, anything else as Latin-1 (one character per byte). A
// character beyond the 16-bit range becomes one U+FFFD, so that every character of the text
// is one QChar and columns count characters. *encoding, when given, says which it was: UTF-8
// after a byte-order mark, UTF-8 with characters beyond ASCII, else Latin-1.
QString downloadFileText(const QByteArray& bytes, TextEncoding* encoding = nullptr);

// Reads the records of a download file from its bytes (CR LF or LF line ends; encoding as
// downloadFileText). A line of 136 characters or more is one record; a shorter one is
// completed from the comma-separated continuation that the bank's software writes when it
// breaks a record. Every field comes out as text the terminal can show: a character outside
// Latin-1 becomes "?", counted in the record's replacedFields.
DownloadFileContents parseDownloadFile(const QByteArray& bytes);

// Reads and parses the file at `path`.
DownloadFileContents readDownloadFile(const QString& path);

// Cuts the columns of one complete record line.
DownloadRecord parseDownloadRecord(const QString& line);

// The download file of an agent and day: `bankInfoPath`, a separator when it does not end
// with one, the agent number formatted "000", the ddmm text as typed, and "d.txt".
QString downloadFilePath(const QString& bankInfoPath, const QString& agentNumber,
                         const QString& ddmm);

// The existing file for `path`: the path itself, or on a case-sensitive file system a file
// in the same folder whose name differs only in letter case (a file copied from Windows).
// Empty when there is none.
QString findDownloadFile(const QString& path);

// The path without its root (the drive, colon and backslash on Windows, the leading "/"
// elsewhere): the FileName kept with each imported account.
QString pathWithoutRoot(const QString& path);

// The rows stored in BankData for the records of one file: every row carries the branch and
// agent identifiers of the last record read, and the file's FileName value.
QVector<BankDataRow> bankDataRows(const DownloadFileContents& contents, const QString& fileName);

}  // namespace kovrin
