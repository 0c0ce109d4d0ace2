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
    if (fromVersion < 2) {
        statements += uploadInfoTable();
    }
    return statements;
}

// Report1: one row per collected transaction. Report2: one row per agent and date.
// Date is the collection's day from DateTime (DD/MM/YYYY HH:NN) as an ISO date, which
// sorts and compares as a date.
QStringList createViews() {
    return {
        QStringLiteral("DROP VIEW IF EXISTS Report2"),
        QStringLiteral("DROP VIEW IF EXISTS Report1"),
        QStringLiteral("CREATE VIEW Report1 AS SELECT AgentID, AccountNo, "
                       "CAST(trim(coalesce(BalanceAmount, '')) AS REAL) + "
                       "CAST(trim(Amtcollected) AS REAL) AS ClosingAmt, "
                       "CAST(trim(Amtcollected) AS REAL) AS CollectedAmt, "
                       "substr(DateTime, 7, 4) || '-' || substr(DateTime, 4, 2) || '-' || "
                       "substr(DateTime, 1, 2) AS Date "
                       "FROM RestoreData WHERE trim(coalesce(Amtcollected, '')) <> ''"),
        QStringLiteral("CREATE VIEW Report2 AS SELECT AgentID, SUM(CollectedAmt) AS CollectedAmt, "
                       "Date FROM Report1 GROUP BY AgentID, Date"),
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
