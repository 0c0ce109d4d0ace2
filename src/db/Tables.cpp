#include "db/Tables.h"

#include <QList>
#include <QPair>

namespace kovrin::tables {

namespace {

Table textTable(const QString& name, const QStringList& columns) {
    Table t{name, {}};
    for (const QString& c : columns) {
        t.columns.push_back({c, QStringLiteral("TEXT")});
    }
    return t;
}

#define KOVRIN_COLUMN_NAME(name) QStringLiteral(#name),

}  // namespace

QString quoted(const QString& identifier) {
    QString s = identifier;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString Table::createStatement() const {
    QStringList defs;
    for (const Column& c : columns) {
        defs << quoted(c.name) + QLatin1Char(' ') + c.type;
    }
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
        .arg(name, defs.join(QStringLiteral(", ")));
}

QStringList Table::columnNames() const {
    QStringList names;
    for (const Column& c : columns) {
        names << c.name;
    }
    return names;
}

QString Table::selectList(int from) const {
    QStringList names;
    for (int i = from; i < columns.size(); ++i) {
        names << quoted(columns[i].name);
    }
    return names.join(QStringLiteral(", "));
}

QString Table::insertStatement() const {
    QStringList marks;
    for (int i = 0; i < columns.size(); ++i) {
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(name, selectList(), marks.join(QStringLiteral(",")));
}

QString Table::addColumnStatement(const Column& column) const {
    return QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
        .arg(name, quoted(column.name), column.type);
}

// SNo has text affinity so that the number 1 written by the program is kept as '1' and found
// by SNo='1'.
const Table& path() {
    static const Table t =
        textTable(QStringLiteral("Path"),
                  {QStringLiteral("SNo"), QStringLiteral("BankName"), QStringLiteral("BranchName"),
                   QStringLiteral("Comm Port"), QStringLiteral("FontSize"),
                   QStringLiteral("BankInfoPath"), QStringLiteral("ReportPath")});
    return t;
}

const Table& password() {
    static const Table t =
        textTable(QStringLiteral("Password"),
                  {QStringLiteral("SNo"), QStringLiteral("admin"), QStringLiteral("user"),
                   QStringLiteral("setup"), QStringLiteral("download")});
    return t;
}

const Table& bankData() {
    static const Table t =
        textTable(QStringLiteral("BankData"),
                  {QStringLiteral("SNo"), KOVRIN_BANKDATA_COLUMNS(KOVRIN_COLUMN_NAME)});
    return t;
}

const Table& restoreData() {
    static const Table t =
        textTable(QStringLiteral("RestoreData"),
                  {QStringLiteral("SNo"), KOVRIN_RESTOREDATA_COLUMNS(KOVRIN_COLUMN_NAME)});
    return t;
}

const Table& uploadInfo() {
    static const Table t{QStringLiteral("UploadInfo"),
                         {{QStringLiteral("AgentID"), QStringLiteral("TEXT")},
                          {QStringLiteral("AgentDateKey"), QStringLiteral("TEXT")},
                          {QStringLiteral("TotalTransactions"), QStringLiteral("INTEGER")},
                          {QStringLiteral("TotalAmount"), QStringLiteral("INTEGER")},
                          {QStringLiteral("UploadedAt"), QStringLiteral("TEXT")},
                          {QStringLiteral("Encoding"), QStringLiteral("TEXT")}}};
    return t;
}

const Table& downloadInfo() {
    static const Table t{QStringLiteral("DownloadInfo"),
                         {{QStringLiteral("AgentID"), QStringLiteral("TEXT")},
                          {QStringLiteral("FileName"), QStringLiteral("TEXT")},
                          {QStringLiteral("Encoding"), QStringLiteral("TEXT")}}};
    return t;
}

namespace {

Table typedTable(const QString& name, const QList<QPair<const char*, const char*>>& columns) {
    Table t{name, {}};
    for (const auto& c : columns) {
        t.columns.push_back({QLatin1String(c.first), QLatin1String(c.second)});
    }
    return t;
}

}  // namespace

// Amounts are in hundredths (paise), dates ISO text (YYYY-MM-DD), times HH:MM.
const Table& ledgerUpload() {
    static const Table t = typedTable(QStringLiteral("LedgerUpload"),
                                      {{"UploadID", "INTEGER PRIMARY KEY"},
                                       {"AgentID", "TEXT"},  // without the blanks that pad it
                                       {"AgentDateKey", "TEXT"},
                                       {"Day", "TEXT"},               // the day the key names
                                       {"TerminalCount", "INTEGER"},  // NULL: header not read
                                       {"TerminalTotal", "INTEGER"},
                                       {"StoredCount", "INTEGER"},
                                       {"StoredTotal", "INTEGER"},
                                       {"ReceivedAt", "TEXT"},
                                       {"Outcome", "TEXT"},
                                       {"BackupFile", "TEXT"},
                                       {"UploadFile", "TEXT"},
                                       {"CheckFile", "TEXT"},
                                       {"SupersededBy", "INTEGER"}});
    return t;
}

const Table& ledgerCollection() {
    static const Table t =
        typedTable(QStringLiteral("LedgerCollection"), {{"UploadID", "INTEGER"},
                                                        {"Superseded", "INTEGER"},
                                                        {"AgentID", "TEXT"},
                                                        {"AccountNo", "TEXT"},
                                                        {"SchemeCode", "TEXT"},
                                                        {"CategoryCode", "TEXT"},
                                                        {"BranchID", "TEXT"},
                                                        {"Date", "TEXT"},
                                                        {"Time", "TEXT"},
                                                        {"Amount", "INTEGER"},
                                                        {"TransactionNumber", "INTEGER"},
                                                        {"Closing", "INTEGER"},
                                                        {"InDownload", "INTEGER"},
                                                        {"Unreadable", "INTEGER"},
                                                        {"StoredAmount", "TEXT"},
                                                        {"StoredDateTime", "TEXT"},
                                                        // 1: in the bank upload file
                                                        {"Posted", "INTEGER"}});
    return t;
}

const Table& ledgerDay() {
    static const Table t = typedTable(QStringLiteral("LedgerDay"), {{"UploadID", "INTEGER"},
                                                                    {"Superseded", "INTEGER"},
                                                                    {"AgentID", "TEXT"},
                                                                    {"BranchID", "TEXT"},
                                                                    {"Date", "TEXT"},
                                                                    {"Collections", "INTEGER"},
                                                                    {"Total", "INTEGER"}});
    return t;
}

const Table& stationPorts() {
    static const Table t{QStringLiteral("StationPorts"),
                         {{QStringLiteral("Port"), QStringLiteral("INTEGER")},
                          {QStringLiteral("InUse"), QStringLiteral("INTEGER")}}};
    return t;
}

const Table& portDevices() {
    static const Table t = typedTable(QStringLiteral("PortDevices"), {{"Port", "INTEGER"},
                                                                      {"Device", "TEXT"},
                                                                      {"Description", "TEXT"},
                                                                      {"Manufacturer", "TEXT"},
                                                                      {"SerialNumber", "TEXT"}});
    return t;
}

QVector<const Table*> required() {
    return {&path(), &password(), &bankData(), &restoreData()};
}

QVector<const Table*> all() {
    return required() << &uploadInfo() << &downloadInfo() << &ledgerUpload() << &ledgerCollection()
                      << &ledgerDay() << &stationPorts() << &portDevices();
}

}  // namespace kovrin::tables
