#pragma once

// Uploads written byte by byte for the store's tests: transaction frames, count and header
// frames, the downloaded accounts they are matched against, and a program folder with a
// database and a bank folder.

#include "core/AppSettings.h"
#include "db/BankDataStore.h"
#include "db/Database.h"
#include "link/FrameBytes.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"
#include "upload/UploadTransfer.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <memory>

namespace kovrin::test {

inline const QString kAgent = QStringLiteral("005            ");  // 15 characters

// Nine bytes of a transaction slot: amount (3 BCD bytes), day, month and year nibble, hour,
// minute (BCD), transaction number (2 bytes, high first).
inline QByteArray slotBytes(const char* amount, const char* dateTime, int number) {
    QByteArray s = hex(amount) + hex(dateTime);
    s.append(static_cast<char>(number / 256));
    s.append(static_cast<char>(number % 256));
    return s;
}

// A 137-byte transaction frame: category at 10, scheme at 11-15, account at 16-30, the
// txSlots from 70, the count byte at 133.
inline QByteArray transactionFrame(int recordNo, const QByteArray& account, quint8 countByte,
                                   const QList<QByteArray>& txSlots = {},
                                   const QByteArray& scheme = "DDS01", char category = 'S') {
    QList<QPair<int, QByteArray>> fields;
    fields.append({10, QByteArray(1, category)});
    fields.append({11, scheme});
    fields.append({16, account});
    for (int t = 0; t < txSlots.size(); ++t) {
        fields.append({70 + 9 * t, txSlots[t]});
    }
    fields.append({133, QByteArray(1, static_cast<char>(countByte))});
    return replyFrame(recordNo, fields);
}

inline QByteArray countFrame(int total, const QString& agent = kAgent) {
    return replyFrame(0, {{10, QByteArray(1, static_cast<char>(total / 256))},
                          {11, QByteArray(1, static_cast<char>(total % 256))},
                          {27, agent.toLatin1()}});
}

// A 15-character account number.
inline QByteArray accountNo(int i) {
    return QByteArray::number(100000 + i).rightJustified(15, '0');
}

// The downloaded account behind accountNo(i).
inline BankDataRow bankAccount(int i, const QString& name, const QString& agent = kAgent) {
    BankDataRow r;
    r.AgentID = agent;
    r.BranchID = "BR001          ";
    r.CategoryCode = "S";
    r.SchemeCode = "DDS01";
    r.ACNumber = QString::fromLatin1(accountNo(i));
    r.CustomerCode = QStringLiteral("C%1").arg(i, 5, 10, QChar('0'));
    r.ACName = name.leftJustified(50);
    r.BalAmount = "00012345";
    r.AgreedAmount = "00100";
    r.OpeningDate = "010120";
    r.Txndate = "061226";
    r.FileName = "bank/0050712d.txt";
    r.MyDate = "150309";
    r.BankSoftACNumber = QStringLiteral("BS%1").arg(i, 13, 10, QChar('0'));
    return r;
}

// An upload: count frame, the day's header, then the transaction frames given.
inline UploadData upload(const QList<QByteArray>& transactionFrames,
                         const QString& AgentDateKey = "0050712", int totalTransactions = 0,
                         qint64 totalAmount = 0, const QString& agent = kAgent) {
    UploadData d;
    // The header frame carries the day's totals, as a terminal sends them: the number of
    // transactions (2 bytes) and the amount in 8 BCD digits.
    const QByteArray count{1, static_cast<char>(totalTransactions / 256)};
    const QByteArray amount =
        QByteArray::fromHex(QByteArray::number(totalAmount).rightJustified(8, '0'));
    d.RecordFrames << countFrame(static_cast<int>(transactionFrames.size()), agent)
                   << replyFrame(1, {{10, AgentDateKey.toLatin1()},
                                     {17, count + char(totalTransactions % 256)},
                                     {19, amount}});
    d.RecordFrames += transactionFrames;
    d.TotalRecords = static_cast<int>(transactionFrames.size());
    d.agentId = agent;
    d.header.ok = true;
    d.header.totalsRead = true;
    d.header.AgentDateKey = AgentDateKey;
    d.header.agentNumber = AgentDateKey.left(3);
    d.header.dateDdmm = AgentDateKey.right(4);
    d.header.TotalTransactions = totalTransactions;
    d.header.totalAmount = totalAmount;
    return d;
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return "<" + path.toLocal8Bit() + " cannot be read>";
    }
    return f.readAll();
}

// A program folder with its database, settings whose BankInfoPath is an existing folder
// "bank" inside it, and a message recorder.
struct StoreFixture {
    TempProgramFolder pf;
    std::unique_ptr<Database> db;
    AppSettings settings;
    MessageRecorder recorder;
    QString bankFolder;

    StoreFixture() {
        QString error;
        db = Database::open(pf.folder().databasePath(), &error);
        bankFolder = pf.filePath("bank");
        QDir().mkpath(bankFolder);
        settings.BankInfoPath = bankFolder;
    }

    void download(const QVector<BankDataRow>& rows, const QString& agent = kAgent) {
        BankDataStore(*db).replaceAgentRows(agent, rows);
    }

    // The message function the transfer hands to the store.
    std::function<MsgAnswer(const MessageRequest&)> messages() {
        return [](const MessageRequest& r) { return Messages::show(r); };
    }

    QString backupPath(const QString& name) const {
        return QDir(pf.filePath("BackupData")).filePath(name);
    }
    QString bankPath(const QString& name) const { return QDir(bankFolder).filePath(name); }

    int rowCount(const QString& where = "1=1") {
        QSqlQuery q(db->handle());
        if (!q.exec("SELECT count(*) FROM RestoreData WHERE " + where) || !q.next()) {
            return -1;
        }
        return q.value(0).toInt();
    }
};

}  // namespace kovrin::test
