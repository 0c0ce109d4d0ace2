#pragma once

#include "db/Database.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <atomic>
#include <optional>

namespace kovrin {

// Amounts of the reports are kept in hundredths (paise) so that every sum is exact.
using Hundredths = qint64;

// An amount written with two decimals, no thousands separator, "-" before a negative one:
// the report format "0.00".
QString amountText(Hundredths amount);
// A number read from a report query, rounded to hundredths; none when it is not a number or is
// beyond a hundred thousand million (no collection or balance comes near it, and sums of such
// amounts stay exact).
std::optional<Hundredths> hundredthsOf(const QVariant& number);

// Dates on the reports and in the messages: "dd/MMM/yyyy" in English month names.
QString reportDateText(const QDate& date);

enum class ReportKind {
    DailyCollection,  // DataReport1, over the saved query Report1
    AgentCollection,  // DataReport2, over the saved query Report2
    UploadRegister,   // the upload register, over the view Register
};

// What the operator asked for on the report screen.
struct ReportFilter {
    QDate from;
    QDate to;
    QString agent;    // daily collection and register only; empty: every agent
    QString account;  // daily collection only; empty: every account

    // The range and, for the daily collection report, the agent and account (for the register,
    // the agent), in words
    // ("from 07/Dec/2009 to 08/Dec/2009 for agent 1 and account 12"), for the messages.
    QString describe(ReportKind kind) const;
};

// Whether the bank upload file took a collection, and why not: its account was not in the
// agent's download, or an earlier collection of the upload carries its transaction number.
// Such a collection is stored and counts in the reports' sums, but the bank never posts it.
enum class Posting : quint8 {
    Posted,
    NotInDownload,
    RepeatedNumber,
};

// The mark of a collection the bank does not post ("Not in download", "Repeated number");
// empty for one it posts.
QString postingText(Posting p);

// A row of Report1.
struct CollectionRow {
    QString AgentID;
    QString AccountNo;
    std::optional<Hundredths> ClosingAmt;  // none when the account's balance is not known
    Hundredths CollectedAmt = 0;
    QDate Date;
    Posting posting = Posting::Posted;

    bool operator==(const CollectionRow& o) const;
};

// A stored collection whose amount or date cannot be read ("00/12/2009 10:15", say, from a
// terminal that sent a day byte 00). It is in no group and no total: the reports list it apart
// with its texts as they are stored.
struct UnreadableRow {
    QString AgentID;
    QString AccountNo;
    QString Amtcollected;  // as stored, blanks included
    QString DateTime;      // as stored, blanks included

    bool operator==(const UnreadableRow& o) const;
};

// The sums of collections not posted to the bank (kept out of the bank upload file): with
// them the report's totals reconcile with the bank's posting (posted = total - notPosted).
struct NotPosted {
    int count = 0;
    Hundredths total = 0;
    void add(const CollectionRow& r) {
        if (r.posting != Posting::Posted) {
            ++count;
            total += r.CollectedAmt;
        }
    }
};

// The rows of one date of the daily collection report, with their sum.
struct CollectionGroup {
    QDate Date;
    QVector<CollectionRow> rows;
    Hundredths total = 0;
    NotPosted notPosted;
};

// The daily collection report: groups in date order and the sum of them all; then the rows
// that could not be read, which no sum counts; and the branches the rows carry.
struct DailyCollectionData {
    QVector<CollectionGroup> groups;
    Hundredths grandTotal = 0;
    NotPosted notPosted;  // of the whole report
    QVector<UnreadableRow> unreadable;
    QStringList branchIds;  // distinct, sorted; empty when no row carries one
    int rowCount() const;
};

// A row of Report2: one agent's collections of one day.
struct AgentCollectionRow {
    QString AgentID;
    Hundredths CollectedAmt = 0;
    QDate Date;

    bool operator==(const AgentCollectionRow& o) const;
};

// The agent collection report: its rows, then the collections that could not be put in any
// day's total; and the branches of the collections.
struct AgentCollectionData {
    QVector<AgentCollectionRow> rows;
    QVector<UnreadableRow> unreadable;
    QStringList branchIds;  // distinct, sorted; empty when no collection carries one
};

// One stored upload in the register: the terminal's own totals (from the day's header) beside
// what was stored. A later upload of the same agent and day supersedes it: it is listed but no
// longer counted, in the register's totals or in the reports.
struct RegisterRow {
    qint64 UploadID = 0;
    QString AgentID;
    QString AgentDateKey;
    QDate Day;
    QDateTime ReceivedAt;              // invalid for an upload taken over from an older database
    std::optional<int> TerminalCount;  // none when the header's totals could not be read
    std::optional<Hundredths> TerminalTotal;
    int StoredCount = 0;
    Hundredths StoredTotal = 0;
    QString Outcome;
    bool superseded = false;
    QString BackupFile;
    QString UploadFile;
    QString CheckFile;

    // Stored less the terminal's; none without the terminal's totals.
    std::optional<Hundredths> difference() const;
    std::optional<int> countDifference() const;
};

// Sums over the uploads that count (not superseded), like with like: the terminal's figures,
// the stored ones beside them and the differences over the uploads whose header could be
// read; the stored figures of those without the terminal's totals apart, on a line of their
// own, so that every line adds up.
struct RegisterTotals {
    int uploads = 0;  // all that count, with the terminal's totals or without
    int terminalCount = 0;
    Hundredths terminalTotal = 0;
    int storedCount = 0;  // of the uploads with the terminal's totals
    Hundredths storedTotal = 0;
    Hundredths difference = 0;
    int withoutTotals = 0;  // uploads that count without the terminal's totals
    int withoutTotalsCount = 0;
    Hundredths withoutTotalsStored = 0;
    int superseded = 0;  // listed, not counted

    void add(const RegisterRow& r);
    bool operator==(const RegisterTotals& o) const;
};

struct RegisterGroup {
    QDate Day;
    QVector<RegisterRow> rows;
    RegisterTotals totals;
};

// The upload register: one group per day with its uploads in agent and arrival order.
struct RegisterData {
    QVector<RegisterGroup> groups;
    RegisterTotals grandTotals;
    int rowCount() const;
};

// Groups rows that arrive in date order into one group per date, with group sums and the
// grand sum.
DailyCollectionData groupByDate(const QVector<CollectionRow>& rows);

// Why a report could not be read.
struct ReportStatus {
    enum class Code {
        Ok,
        DatabaseError,  // the file could not be opened or queried: `detail` has the reason
        Cancelled,      // the reading was stopped before its end
    };
    Code code = Code::Ok;
    QString detail;

    explicit operator bool() const { return code == Code::Ok; }
};

// The report data source: the saved queries Report1 and Report2 of the database file (over the
// collection ledger) and the view Register, read
// through a connection of its own (opened read-only for each read and closed after it), so
// the program's connection is never disturbed. Every value the operator typed is bound.
class ReportSource {
public:
    explicit ReportSource(QString databasePath) : m_path(std::move(databasePath)) {}

    // Rows of Report1 dated from..to (both included), restricted to the agent and the account
    // when they are not empty. An agent or an account made only of digits is compared as a
    // number, so "1" finds "001" and "12345" finds "000000000012345"; other texts are compared
    // exactly, without surrounding blanks. Grouped by date, in date order; within a date by
    // agent, account and transaction number. The rows of the agent and account whose amount or
    // date cannot be read go into `unreadable`: those with an unreadable date whatever the
    // range, since their day is not known.
    DailyCollectionData dailyCollection(const ReportFilter& filter, ReportStatus* status) const;

    // Rows of Report2 dated from..to, in date then agent order, and the collections of the
    // range (or of no known day) that could not be read. When `cancel` is given and set, the
    // reading stops before the next row: none is given, the status says it was cancelled.
    AgentCollectionData agentCollection(const ReportFilter& filter, ReportStatus* status,
                                        const std::atomic<bool>* cancel = nullptr) const;

    // The uploads of the days from..to (the day each upload's key names), restricted to the
    // agent when it is not empty (compared as in dailyCollection), superseded ones included;
    // by day, agent and arrival. `cancel` as for agentCollection.
    RegisterData uploadRegister(const ReportFilter& filter, ReportStatus* status,
                                const std::atomic<bool>* cancel = nullptr) const;

    QString databasePath() const { return m_path; }

private:
    QString m_path;
};

}  // namespace kovrin
