#pragma once

// The tables of the database, each as one list of its columns. The schema of a new file, the
// check of an existing one (and the columns an older file gets added), the inserts and the
// reads of the stores are all made from these lists: a column is added to a table by adding
// it to its list.

#include <QString>
#include <QStringList>
#include <QVector>

// BankData after SNo: the accounts of each agent's last download. Also the fields of
// BankDataRow, in this order.
// clang-format off
#define KOVRIN_BANKDATA_COLUMNS(X) \
    X(AgentID) \
    X(BranchID) \
    X(CategoryCode) \
    X(SchemeCode) \
    X(ACNumber) \
    X(ACName) \
    X(BalAmount) \
    X(AgreedAmount) \
    X(OpeningDate) \
    X(Txndate) \
    X(FileName) \
    X(CustomerCode) \
    X(MyDate) \
    X(BankSoftACNumber)
// clang-format on

// RestoreData after SNo: the collections of each agent's last upload. Also the fields of
// RestoreDataRow, in this order.
// clang-format off
#define KOVRIN_RESTOREDATA_COLUMNS(X) \
    X(AgentID) \
    X(BranchID) \
    X(AccountNo) \
    X(Amtcollected) \
    X(DateTime) \
    X(TransactionNumber) \
    X(CategoryCode) \
    X(SchemeCode) \
    X(CustomerCode) \
    X(AccountName) \
    X(BalanceAmount) \
    X(AgreedAmount) \
    X(LastTxndate) \
    X(DatewiseTxn) \
    X(BankSoftACNumber)
// clang-format on

namespace kovrin::tables {

struct Column {
    QString name;
    QString type;  // the column's declared type: TEXT for every column of the older tables
};

struct Table {
    QString name;
    QVector<Column> columns;  // in the order of the file

    // "CREATE TABLE IF NOT EXISTS ..." with every column.
    QString createStatement() const;
    QStringList columnNames() const;
    // The columns from `from` on, quoted and separated by commas, for a SELECT.
    QString selectList(int from = 0) const;
    // "INSERT INTO <table> (<every column>) VALUES (?, ...)".
    QString insertStatement() const;
    // "ALTER TABLE <table> ADD COLUMN ..." for a column an older file does not have.
    QString addColumnStatement(const Column& column) const;
};

// The settings row (SNo '1').
const Table& path();
// The passwords row (SNo '1').
const Table& password();
const Table& bankData();
const Table& restoreData();
// The day's header of each agent's last stored upload, and the encoding its files are
// written in.
const Table& uploadInfo();
// Each agent's last download file and the text encoding it came in.
const Table& downloadInfo();
// Which serial ports the Transfer Station uses: one row per port the operator has set.
const Table& stationPorts();
// The device each serial port number is mapped to, as the system reported it when the
// administrator chose it: one row per mapped port.
const Table& portDevices();
// The collection ledger: every stored upload (LedgerUpload), each of its collections with
// typed values (LedgerCollection), and its collections added up by day and branch
// (LedgerDay). Rows are only ever added; a later upload of the same agent and day marks the
// earlier one superseded.
const Table& ledgerUpload();
const Table& ledgerCollection();
const Table& ledgerDay();

// The tables a file must hold to be one of the program's; the others are added when missing.
QVector<const Table*> required();
QVector<const Table*> all();

// An identifier in double quotes ("Comm Port").
QString quoted(const QString& identifier);

}  // namespace kovrin::tables
