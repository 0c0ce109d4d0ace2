#pragma once

// Rows of RestoreData as an upload leaves them, inserted straight into the database file, and
// put into the collection ledger the way an older database's rows are when it is first opened
// (one upload per agent), which is what the reports read.
#include "db/Database.h"
#include "db/LedgerStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QtTest>

namespace kovrin::test {

struct Collection {
    QString agent = QStringLiteral("001            ");
    QString account = QStringLiteral("000000000012345");
    QString amount = QStringLiteral("0000100.00");  // "" for a row without a collected amount
    QString dateTime = QStringLiteral("07/12/2009 10:15");
    QString balance = QStringLiteral("0000001000.00");
    // The terminal numbers an upload's collections one by one; empty: the next number (the bank
    // upload file posts only the first collection of a number).
    QString transaction;
    QString branch = QStringLiteral("BR01");
    QString lastTxndate = QStringLiteral("01/12/2009");  // "": the account was not downloaded
};

inline QString nextTransactionNumber() {
    static int number = 0;
    return QString::number(++number).rightJustified(4, QLatin1Char('0'));
}

inline bool insertCollection(Database& db, const Collection& c) {
    QSqlQuery q(db.handle());
    q.prepare(QStringLiteral(
        "INSERT INTO RestoreData (SNo, AgentID, BranchID, AccountNo, Amtcollected, DateTime, "
        "TransactionNumber, CategoryCode, SchemeCode, CustomerCode, AccountName, BalanceAmount, "
        "AgreedAmount, LastTxndate, DatewiseTxn, BankSoftACNumber) "
        "VALUES (1, ?, ?, ?, ?, ?, ?, 'S', 'DDS01', 'C1', 'Name', ?, '00100.00', ?, '', 'BS1')"));
    q.addBindValue(c.agent);
    q.addBindValue(c.branch);
    q.addBindValue(c.account);
    q.addBindValue(c.amount);
    q.addBindValue(c.dateTime);
    q.addBindValue(c.transaction.isEmpty() ? nextTransactionNumber() : c.transaction);
    q.addBindValue(c.balance);
    q.addBindValue(c.lastTxndate);
    if (!q.exec()) {
        qWarning() << "insert failed:" << q.lastError().text();
        return false;
    }
    return true;
}

// The ledger made again from the rows of RestoreData: emptied, then seeded.
inline bool ledgerFromRestoreData(Database& db) {
    const DbStatus st = db.inTransaction([&]() -> DbStatus {
        for (const char* table : {"LedgerCollection", "LedgerDay", "LedgerUpload"}) {
            QSqlQuery q(db.handle());
            if (!q.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(table)))) {
                return DbStatus::failure(q.lastError().text());
            }
        }
        return LedgerStore(db).seedFromRestoreData();
    });
    if (!st) {
        qWarning() << "ledger:" << st.error;
    }
    return bool(st);
}

// A collection of `amount` (e.g. "0000012.50") by `agent` from `account` at `dateTime`, the
// terminal's transaction number `transaction`, of an account downloaded with `balance`.
inline Collection collection(const QString& agent, const QString& account, const QString& amount,
                             const QString& dateTime,
                             const QString& balance = QStringLiteral("0000001000.00"),
                             const QString& transaction = {}) {
    Collection c;
    c.agent = agent;
    c.account = account;
    c.amount = amount;
    c.dateTime = dateTime;
    c.balance = balance;
    c.transaction = transaction;
    return c;
}

}  // namespace kovrin::test
