#include "db/Schema.h"

namespace kovrin::schema {

namespace {

// The day's header of each agent's last stored upload (one row per agent), kept with its
// rows so that the bank upload file and the check file can be written again from them.
QStringList uploadInfoTable() {
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS UploadInfo (AgentID TEXT, AgentDateKey TEXT, "
                       "TotalTransactions INTEGER, TotalAmount INTEGER, UploadedAt TEXT)"),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS UploadInfoAgent ON UploadInfo (AgentID)"),
    };
}

}  // namespace

// Every column is text. SNo has text affinity so that the number 1 written by the program
// is kept as '1' and found by SNo='1'.
QStringList createTables() {
    QStringList statements{
        QStringLiteral("CREATE TABLE Path (SNo TEXT, BankName TEXT, BranchName TEXT, "
                       "\"Comm Port\" TEXT, FontSize TEXT, BankInfoPath TEXT, ReportPath TEXT)"),
        QStringLiteral("CREATE TABLE Password (SNo TEXT, admin TEXT, \"user\" TEXT, setup TEXT, "
                       "download TEXT)"),
        QStringLiteral("CREATE TABLE BankData (SNo TEXT, AgentID TEXT, BranchID TEXT, "
                       "CategoryCode TEXT, SchemeCode TEXT, ACNumber TEXT, ACName TEXT, "
                       "BalAmount TEXT, AgreedAmount TEXT, OpeningDate TEXT, Txndate TEXT, "
                       "FileName TEXT, CustomerCode TEXT, MyDate TEXT, BankSoftACNumber TEXT)"),
        QStringLiteral("CREATE TABLE RestoreData (SNo TEXT, AgentID TEXT, BranchID TEXT, "
                       "AccountNo TEXT, Amtcollected TEXT, DateTime TEXT, TransactionNumber TEXT, "
                       "CategoryCode TEXT, SchemeCode TEXT, CustomerCode TEXT, AccountName TEXT, "
                       "BalanceAmount TEXT, AgreedAmount TEXT, LastTxndate TEXT, DatewiseTxn TEXT, "
                       "BankSoftACNumber TEXT)"),
        QStringLiteral("CREATE INDEX BankDataAgent ON BankData (AgentID)"),
        QStringLiteral("CREATE INDEX RestoreDataAgent ON RestoreData (AgentID)"),
    };
    return statements + uploadInfoTable();
}

QStringList upgradeTables(int fromVersion) {
    QStringList statements;
    if (fromVersion < 3) {
        statements += uploadInfoTable();
    }
    return statements;
}

// Report1: one row per collected transaction (a row of RestoreData with a collected amount).
//   AgentID, AccountNo, BranchID: without the blanks that pad them.
//   CollectedAmt: Amtcollected as a number.
//   ClosingAmt: the account's balance after this collection: the downloaded balance
//   (BalanceAmount) plus the account's collections up to and including this one, in
//   transaction-number order. An account is the agent, account number, scheme and category
//   the upload matched it by. The sums are made in hundredths, so they are exact.
//   Date: the collection's day from DateTime (DD/MM/20YY HH:NN) as an ISO date (YYYY-MM-DD),
//   which sorts and compares as a date.
//   TransactionNumber: the terminal's transaction number as a number ("0042" is 42, and 10000
//   comes after 9999), the order of an account's collections.
//   Amtcollected, DateTime: the texts as stored, so that a row that cannot be read can be
//   shown as it is.
// A text that is not a well-formed amount or date gives NULL rather than a made-up number, so
// the report side can list the row apart instead of counting it as nothing. ClosingAmt is NULL
// when the balance is missing (an account the upload did not find among the downloaded ones)
// or cannot be read, and from an account's first collection whose amount cannot be read on:
// from there on the balance is not known.
// Report2: one row per agent and date with the sum of that day's collections whose amount and
// date can be read, added up in hundredths so that the sum is exact. The others cannot be put
// in a day's total; they are the rows of Report1 with a NULL CollectedAmt or Date.
QStringList createViews() {
    // After its first character: digits with at most one decimal point and at most two
    // decimals, and less than a hundred thousand million. The column is already trimmed.
    const QString amountOk = QStringLiteral(
        "substr(%1, 2) NOT GLOB '*[^0-9.]*' AND %1 NOT GLOB '*.*.*' AND "
        "%1 NOT GLOB '*.[0-9][0-9][0-9]*' AND abs(CAST(%1 AS REAL)) < 1e11");
    const QString collectedOk =
        QStringLiteral("a GLOB '[0-9]*' AND ") + amountOk.arg(QStringLiteral("a"));
    const QString balanceOk = QStringLiteral("(b GLOB '[0-9]*' OR b GLOB '-[0-9]*') AND ") +
                              amountOk.arg(QStringLiteral("b"));
    return {
        QStringLiteral("DROP VIEW IF EXISTS Report2"),
        QStringLiteral("DROP VIEW IF EXISTS Report1"),
        QStringLiteral(
            "CREATE VIEW Report1 AS SELECT AgentID, AccountNo, BranchID, "
            "CASE WHEN Bal IS NOT NULL AND count(*) OVER account = count(Amt) OVER account "
            "THEN (Bal + sum(Amt) OVER account) / 100.0 END AS ClosingAmt, "
            "Amt / 100.0 AS CollectedAmt, Date, TransactionNumber, Amtcollected, DateTime FROM ("
            "SELECT Seq, AgentID, AccountNo, BranchID, Scheme, Category, TransactionNumber, "
            "Amtcollected, DateTime, "
            "CASE WHEN %1 THEN CAST(round(CAST(a AS REAL) * 100) AS INTEGER) END AS Amt, "
            "CASE WHEN %2 THEN CAST(round(CAST(b AS REAL) * 100) AS INTEGER) END AS Bal, "
            "CASE WHEN dt GLOB '[0-9][0-9]/[0-9][0-9]/[0-9][0-9][0-9][0-9]*' AND "
            "date(iso, '+0 days') = iso THEN iso END AS Date FROM ("
            "SELECT rowid AS Seq, trim(coalesce(AgentID, '')) AS AgentID, "
            "trim(coalesce(AccountNo, '')) AS AccountNo, "
            "trim(coalesce(BranchID, '')) AS BranchID, "
            "trim(coalesce(SchemeCode, '')) AS Scheme, "
            "trim(coalesce(CategoryCode, '')) AS Category, "
            "CAST(trim(coalesce(TransactionNumber, '')) AS INTEGER) AS TransactionNumber, "
            "coalesce(Amtcollected, '') AS Amtcollected, coalesce(DateTime, '') AS DateTime, "
            "trim(coalesce(Amtcollected, '')) AS a, "
            "trim(coalesce(BalanceAmount, '')) AS b, trim(coalesce(DateTime, '')) AS dt, "
            "substr(trim(coalesce(DateTime, '')), 7, 4) || '-' || "
            "substr(trim(coalesce(DateTime, '')), 4, 2) || '-' || "
            "substr(trim(coalesce(DateTime, '')), 1, 2) AS iso "
            "FROM RestoreData) WHERE a <> '') "
            "WINDOW account AS (PARTITION BY AgentID, AccountNo, Scheme, Category "
            "ORDER BY TransactionNumber, Seq ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW)")
            .arg(collectedOk, balanceOk),
        QStringLiteral("CREATE VIEW Report2 AS SELECT AgentID, "
                       "sum(CAST(round(CollectedAmt * 100) AS INTEGER)) / 100.0 AS CollectedAmt, "
                       "Date FROM Report1 WHERE CollectedAmt IS NOT NULL AND Date IS NOT NULL "
                       "GROUP BY AgentID, Date"),
    };
}

QList<TableColumns> requiredColumns() {
    return {
        {"Path",
         {"SNo", "BankName", "BranchName", "Comm Port", "FontSize", "BankInfoPath", "ReportPath"}},
        {"Password", {"SNo", "admin", "user", "setup", "download"}},
        {"BankData",
         {"SNo", "AgentID", "BranchID", "CategoryCode", "SchemeCode", "ACNumber", "ACName",
          "BalAmount", "AgreedAmount", "OpeningDate", "Txndate", "FileName", "CustomerCode",
          "MyDate", "BankSoftACNumber"}},
        {"RestoreData",
         {"SNo", "AgentID", "BranchID", "AccountNo", "Amtcollected", "DateTime",
          "TransactionNumber", "CategoryCode", "SchemeCode", "CustomerCode", "AccountName",
          "BalanceAmount", "AgreedAmount", "LastTxndate", "DatewiseTxn", "BankSoftACNumber"}},
    };
}

}  // namespace kovrin::schema
