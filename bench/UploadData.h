#pragma once

// A day of collections for the upload benchmarks: `frames` transaction frames of seven
// transactions each, for accounts that agent 005's download holds.

#include "BenchData.h"
#include "db/BankDataStore.h"
#include "hht-sim/TerminalFrames.h"
#include "upload/UploadTransfer.h"

namespace kovrin::bench {

inline QString accountNumber(int i) {
    return QString::number(100000 + i).rightJustified(15, QLatin1Char('0'));
}

// The downloaded accounts the collections are matched against.
inline QVector<BankDataRow> downloadedAccounts(int n) {
    QVector<BankDataRow> rows;
    for (int i = 0; i < n; ++i) {
        BankDataRow r;
        r.AgentID = agentId();
        r.BranchID = QStringLiteral("BR001          ");
        r.CategoryCode = QStringLiteral("S");
        r.SchemeCode = QStringLiteral("DDS01");
        r.ACNumber = accountNumber(i);
        r.CustomerCode = QStringLiteral("C%1").arg(i, 5, 10, QLatin1Char('0'));
        r.ACName = QStringLiteral("DEPOSITOR %1").arg(i).leftJustified(50);
        r.BalAmount = QStringLiteral("00012345");
        r.AgreedAmount = QStringLiteral("00100");
        r.OpeningDate = QStringLiteral("010120");
        r.Txndate = QStringLiteral("061226");
        r.FileName = QStringLiteral("bank/0050325d.txt");
        r.MyDate = QStringLiteral("150309");
        r.BankSoftACNumber = QStringLiteral("BS%1").arg(i, 13, 10, QLatin1Char('0'));
        rows << r;
    }
    return rows;
}

// The frames the terminal serves: count (record 0), the day's header (1), then the
// transaction frames (2 on), seven transactions in each.
inline QVector<QByteArray> collectionFrames(int frames) {
    QVector<QByteArray> out;
    out << sim::buildCountFrame(frames, agentId()).frame;
    QVector<QByteArray> transactions;
    qint64 total = 0;
    int number = 0;
    for (int i = 0; i < frames; ++i) {
        QVector<sim::CollectedTransaction> t;
        for (int k = 0; k < 7; ++k) {
            const qint64 amount = 10 + (i * 7 + k) % 990;
            total += amount;
            t << sim::CollectedTransaction{amount, QDate(2026, 3, 25), QTime(8 + k, i % 60),
                                           ++number};
        }
        transactions << sim::buildTransactionFrame(i + 2, QStringLiteral("S"),
                                                   QStringLiteral("DDS01"), accountNumber(i), t,
                                                   false)
                            .frame;
    }
    out << sim::buildDayHeaderFrame(QStringLiteral("0050325"), number, total).frame;
    out += transactions;
    return out;
}

// What the transfer hands to the store once the last record is in.
inline UploadData uploadData(const QVector<QByteArray>& frames) {
    UploadData d;
    d.RecordFrames = frames;
    d.TotalRecords = int(frames.size()) - 2;
    d.agentId = agentId();
    d.header = link::DecodeThirdProtocol(frames[1]);
    return d;
}

}  // namespace kovrin::bench
