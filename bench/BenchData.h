#pragma once

// Inputs of the benchmarks, made here: download files of any size, temporary program
// folders with a database, and a message seam that answers at once.

#include "core/AppSettings.h"
#include "core/Messages.h"
#include "db/Database.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

namespace kovrin::bench {

// A 174-character record of the bank's download file for account i of agent 005.
inline QByteArray downloadLine(int i) {
    QByteArray l(174, ' ');
    auto put = [&l](int col, const QByteArray& v) { l.replace(col - 1, v.size(), v); };
    put(1, "BR001");
    put(16, "S");
    put(17, "DDS01");
    put(22, QByteArray::number(100000 + i).rightJustified(15, '0'));
    put(37, "C" + QByteArray::number(i).rightJustified(5, '0'));
    put(43, "DEPOSITOR " + QByteArray::number((i * 7919) % 10007).rightJustified(5, '0'));
    put(95, QByteArray::number(1000 + i).rightJustified(8, '0'));
    put(106, "00500");
    put(114, "07/12/2026");
    put(124, "005");
    put(139, "25/03/2009");
    put(149, "06/12/2026");
    put(160, "BS" + QByteArray::number(i).rightJustified(13, '0'));
    return l;
}

inline QByteArray downloadFile(int accounts) {
    QByteArray f;
    f.reserve(accounts * 176);
    for (int i = 0; i < accounts; ++i) {
        f += downloadLine(i) + "\r\n";
    }
    return f;
}

// The id the download file gives agent 005 (15 characters, as read from its columns).
inline QString agentId() {
    return QStringLiteral("005            ");
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
}

// A temporary program folder with its database and a bank folder.
struct BenchFolder {
    QTemporaryDir dir;
    std::unique_ptr<Database> db;
    AppSettings settings;

    BenchFolder() {
        QString error;
        db = Database::open(QDir(dir.path()).filePath(QStringLiteral("HandHeldData.mdb")), &error);
        if (!db) {
            throw std::runtime_error(error.toStdString());
        }
        QDir(dir.path()).mkpath(QStringLiteral("bank"));
        settings.BankName = QStringLiteral("Kovrin Co-operative Bank");
        settings.BranchName = QStringLiteral("Market Road");
        settings.FontSize = QStringLiteral("1");
        settings.CommPort = QStringLiteral("1");
        settings.BankInfoPath = bankFolder();
    }
    QString path() const { return dir.path(); }
    QString bankFolder() const { return QDir(dir.path()).filePath(QStringLiteral("bank")); }
};

// Messages are answered at once (Ok) and counted; their texts are kept.
struct QuietMessages {
    int count = 0;
    QString last;
    QStringList texts;
    QuietMessages() {
        Messages::setPresenter([this](const MessageRequest& r) {
            ++count;
            last = r.text;
            texts << r.text;
            return r.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
        });
    }
    ~QuietMessages() { Messages::setPresenter(nullptr); }
};

}  // namespace kovrin::bench
