#pragma once

// A download set up in a temporary program folder: settings, a bank folder with download
// files written by the test, the database and a serial line of the test's choosing.

#include "core/AppSettings.h"
#include "db/BankDataStore.h"
#include "db/Database.h"
#include "link/TransferLog.h"
#include "support/TempProgramFolder.h"

#include <QDir>
#include <QFile>
#include <memory>

namespace kovrin::test {

// A 174-character download record line.
inline QByteArray downloadLine(int i, const QByteArray& name, const QByteArray& agent = "005",
                               const QByteArray& opening = "25/03/2009") {
    QByteArray l(174, ' ');
    auto put = [&l](int col, const QByteArray& v) { l.replace(col - 1, v.size(), v); };
    put(1, "BR001");
    put(16, "S");
    put(17, "DDS01");
    put(22, QByteArray::number(100000 + i).rightJustified(15, '0'));
    put(37, "C" + QByteArray::number(i).rightJustified(5, '0'));
    put(43, name.left(50));
    put(95, QByteArray::number(1000 + i).rightJustified(8, '0'));
    put(106, "00500");
    put(114, "07/12/2026");
    put(124, agent);
    put(139, opening);
    put(149, "06/12/2026");
    put(160, "BS" + QByteArray::number(i).rightJustified(13, '0'));
    return l;
}

// The line with `text` in its columns from `col`, padded with blanks to `width` characters
// (a character beyond 16 bits counts one), written as UTF-8.
inline QByteArray utf8Line(const QByteArray& line, int col, int width, const QString& text) {
    QString l = QString::fromLatin1(line);
    const qsizetype chars = text.toUcs4().size();
    l.replace(col - 1, width, text + QString(width - chars, QLatin1Char(' ')));
    return l.toUtf8();
}

inline QByteArray downloadFile(int accounts, const QByteArray& agent = "005") {
    QByteArray f;
    for (int i = 0; i < accounts; ++i) {
        f += downloadLine(i, "DEPOSITOR " + QByteArray::number(i).rightJustified(4, '0'), agent) +
             "\r\n";
    }
    return f;
}

struct DownloadFixture {
    TempProgramFolder pf;
    std::unique_ptr<Database> db;
    AppSettings settings;
    std::unique_ptr<link::TransferLog> log;
    QString bankFolder;

    DownloadFixture() {
        QString error;
        db = Database::open(pf.folder().databasePath(), &error);
        bankFolder = pf.filePath("bank");
        QDir().mkpath(bankFolder);
        settings.BankName = "Kovrin Co-operative Bank";
        settings.BranchName = "Market Road";
        settings.FontSize = "1";
        settings.CommPort = "1";
        settings.BankInfoPath = bankFolder;
        log = std::make_unique<link::TransferLog>(pf.path());
    }

    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile f(QDir(bankFolder).filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }

    int bankRows(const QString& agent = "005            ") {
        return BankDataStore(*db).agentRows(agent).size();
    }
};

}  // namespace kovrin::test
