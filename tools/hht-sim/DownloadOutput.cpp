#include "DownloadOutput.h"

#include "Terminal.h"
#include "TerminalFrames.h"

#include <QDir>
#include <QFile>
#include <QStringList>

namespace kovrin::sim {

namespace {

QString quoted(const QString& s) {
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString writeFile(const QString& path, const QString& text) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) < 0 ||
        !f.flush()) {
        return QStringLiteral("%1: %2").arg(path, f.errorString());
    }
    return {};
}

}  // namespace

QString accountListText(const QByteArray& header, const QMap<int, QByteArray>& accounts) {
    QStringList out;
    QStringList problems;
    int announced = -1;
    out << QStringLiteral("Header");
    if (header.isEmpty()) {
        out << QStringLiteral("  (no header frame received)");
        problems << QStringLiteral("no header frame");
    } else {
        const ReceivedHeader h = parseHeaderFrame(header);
        announced = h.accountCount;
        out << QStringLiteral("  accounts:        %1").arg(h.accountCount)
            << QStringLiteral("  branch id:       %1").arg(quoted(h.branchId))
            << QStringLiteral("  agent id:        %1").arg(quoted(h.agentId))
            << QStringLiteral("  font size:       %1").arg(h.fontSize)
            << QStringLiteral("  bank name:       %1").arg(quoted(h.bankName))
            << QStringLiteral("  branch name:     %1").arg(quoted(h.branchName))
            << QStringLiteral("  transactions:    %1").arg(h.transactionDigit)
            << QStringLiteral("  download pwd:    %1").arg(h.downloadPassword)
            << QStringLiteral("  setup pwd:       %1").arg(h.setupPassword)
            << QStringLiteral("  download key:    %1").arg(h.downloadKey)
            << QStringLiteral("  PC date and time: %1")
                   .arg(h.clock.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
        if (!h.ok) {
            problems << QStringLiteral("header: %1").arg(h.reason);
        }
    }
    out << QString() << QStringLiteral("Accounts");
    out << QStringLiteral(
               "  record | c | schem | account number  | %1 | balance    | agreed | opened "
               "| last txn")
               .arg(QStringLiteral("name"), -28);
    for (auto it = accounts.cbegin(); it != accounts.cend(); ++it) {
        const ReceivedAccount a = parseAccountFrame(it.value());
        out << QStringLiteral("  %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9")
                   .arg(it.key(), 6)
                   .arg(a.CategoryCode, a.SchemeCode, a.ACNumber, a.ACName, a.balanceDigits,
                        a.agreedDigits, a.openingDate, a.txnDate);
        if (!a.ok) {
            problems << QStringLiteral("record %1: %2").arg(it.key()).arg(a.reason);
        }
        if (announced >= 0 && (it.key() < 2 || it.key() > announced + 1)) {
            problems << QStringLiteral("record %1 is beyond the %2 accounts announced")
                            .arg(it.key())
                            .arg(announced);
        }
    }
    for (int r = 2; r <= announced + 1; ++r) {
        if (!accounts.contains(r)) {
            problems << QStringLiteral("record %1 missing").arg(r);
        }
    }
    out << QString() << QStringLiteral("Problems");
    if (problems.isEmpty()) {
        out << QStringLiteral("  none");
    }
    for (const QString& p : problems) {
        out << QStringLiteral("  ") + p;
    }
    return out.join(u'\n') + u'\n';
}

QString framesHexText(const QList<QByteArray>& frames) {
    QString out;
    for (const QByteArray& f : frames) {
        out += QStringLiteral("%1: %2\n").arg(f.size(), 3).arg(QString::fromLatin1(f.toHex(' ')));
    }
    return out;
}

QString writeDownloadOutput(const QString& folder, const Terminal& terminal) {
    if (!QDir().mkpath(folder)) {
        return QStringLiteral("cannot create the folder %1").arg(folder);
    }
    const QDir dir(folder);
    const QString e =
        writeFile(dir.filePath(QStringLiteral("accounts.txt")),
                  accountListText(terminal.downloadHeader(), terminal.downloadAccounts()));
    if (!e.isEmpty()) {
        return e;
    }
    return writeFile(dir.filePath(QStringLiteral("frames.hex")),
                     framesHexText(terminal.receivedFrames()));
}

}  // namespace kovrin::sim
