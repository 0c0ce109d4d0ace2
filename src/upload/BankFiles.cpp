#include "upload/BankFiles.h"

#include "db/Val.h"
#include "upload/RestoreRows.h"

#include <QDir>
#include <algorithm>
#include <cmath>

namespace kovrin {

namespace {

constexpr int kBackupBytes = 137;  // the bytes of a frame the backup lists
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

// The text as 8-bit characters: a character outside Latin-1 becomes "?".
void putLatin1(QByteArray& line, QStringView text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        line += u < 0x100 ? static_cast<char>(u) : '?';
    }
}

// A text field: padded with blanks or cut to its width.
void putText(QByteArray& line, const QString& text, int width) {
    const qsizetype n = std::min<qsizetype>(text.size(), width);
    putLatin1(line, QStringView(text).left(n));
    line.append(width - n, ' ');
}

// A number field: padded with blanks to its width, never cut.
void putNumber(QByteArray& line, const QString& text, int width) {
    putLatin1(line, text);
    if (text.size() < width) {
        line.append(width - text.size(), ' ');
    }
}

// "[c] " for c = 1..137, made once.
const QVector<QByteArray>& positionLabels() {
    static const QVector<QByteArray> labels = [] {
        QVector<QByteArray> l;
        l.reserve(kBackupBytes);
        for (int c = 1; c <= kBackupBytes; ++c) {
            l.push_back('[' + QByteArray::number(c) + "] ");
        }
        return l;
    }();
    return labels;
}

}  // namespace

QString DatewiseCounter::next(const QString& dateTime) {
    const QString key = dateTime.left(5);
    if (m_count == 0 || key != m_previousKey) {
        m_previousKey = key;
        m_count = 1;
    } else {
        ++m_count;
    }
    return QString::number(m_count).rightJustified(4, u'0');
}

QByteArray listingLine(const RestoreDataRow& row, const QString& DatewiseNumber) {
    using namespace listing;
    QByteArray line;
    line.reserve(kLineLength + 4);
    putText(line, row.BranchID, kBranchID);
    putText(line, row.CategoryCode, kCategoryCode);
    putText(line, row.SchemeCode, kSchemeCode);
    putText(line, row.AccountNo, kAccountNo);
    putText(line, row.CustomerCode, kCustomerCode);
    putText(line, row.AccountName, kAccountName);
    putNumber(line, row.BalanceAmount, kBalanceAmount);
    putNumber(line, row.AgreedAmount, kAgreedAmount);
    // "//20" is what an account without a date in the download gets.
    putText(line, row.LastTxndate == QLatin1String("//20") ? QString() : row.LastTxndate,
            kLastTxndate);
    putText(line, row.AgentID, kAgentID);
    putNumber(line, row.Amtcollected, kAmtcollected);
    putText(line, row.DateTime, kDateTime);
    putNumber(line, row.TransactionNumber, kTransactionNumber);
    putNumber(line, DatewiseNumber, kDatewiseNumber);
    line += ' ';
    putText(line, row.BankSoftACNumber, kBankSoftACNumber);
    line += kLineEnd;
    return line;
}

bool BankUploadFile::totalsMatch(int TotalTransactions, qint64 TotalAmount) const {
    return UploadedCount == TotalTransactions &&
           std::llround(UploadedAmount * 100) == TotalAmount * 100;
}

BankUploadFile CreateFlatFile(const QVector<RestoreDataRow>& rows) {
    BankUploadFile file;
    file.bytes.reserve(rows.size() * (listing::kLineLength + 3));
    DatewiseCounter datewise;
    QString previousNumber = QStringLiteral("0");
    qint64 hundredths = 0;  // whole hundredths: the sum stays exact
    for (const RestoreDataRow& row : rows) {
        if (!postable(row)) {
            continue;  // an unknown account, an amount or a date that could not be read
        }
        // Rows of one transaction number are neighbours: only the first is posted.
        if (row.TransactionNumber == previousNumber) {
            continue;
        }
        previousNumber = row.TransactionNumber;
        file.bytes += listingLine(row, datewise.next(row.DateTime));
        hundredths += std::llround(vbVal(row.Amtcollected) * 100);
        ++file.UploadedCount;
    }
    file.UploadedAmount = static_cast<double>(hundredths) / 100;
    return file;
}

QByteArray CreateFlatFile1(const UploadData& data) {
    static const char kHex[] = "0123456789ABCDEF";
    const QVector<QByteArray>& labels = positionLabels();
    const int last = std::clamp(data.TotalRecords, 0, kMaxUploadRecords) + 1;
    QByteArray out;
    out.reserve((last + 1) * (kBackupBytes * 10 + 10));
    for (int k = 0; k <= last; ++k) {
        const QByteArray slot = k < data.RecordFrames.size() ? data.RecordFrames[k] : QByteArray();
        out += QByteArray::number(k);
        out += " ) ";
        const int n = std::min<int>(kBackupBytes, static_cast<int>(slot.size()));
        for (int c = 0; c < n; ++c) {
            const auto b = static_cast<quint8>(slot[c]);
            out += labels[c];
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
            out += "  ";
        }
        out += kLineEnd;
    }
    return out;
}

std::optional<QVector<QByteArray>> parseBackupFile(const QByteArray& text) {
    QVector<QByteArray> frames;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        if (l.isEmpty()) {
            continue;
        }
        const qsizetype sep = l.indexOf(" ) ");
        bool ok = false;
        const int k = sep > 0 ? l.left(sep).toInt(&ok) : -1;
        if (!ok || k != frames.size()) {
            return std::nullopt;  // slots are listed from 0, one after the other
        }
        QByteArray frame;
        qsizetype at = sep + 3;
        while (at < l.size()) {
            // "[c] HH  "
            const qsizetype close = l.indexOf("] ", at);
            if (l[at] != '[' || close < 0 || close + 4 > l.size()) {
                return std::nullopt;
            }
            const int c = l.mid(at + 1, close - at - 1).toInt(&ok);
            const QByteArray hex = l.mid(close + 2, 2);
            const QByteArray byte = QByteArray::fromHex(hex);
            if (!ok || c != frame.size() + 1 || byte.size() != 1 || hex.toUpper() != hex) {
                return std::nullopt;
            }
            frame += byte;
            at = close + 4;
            while (at < l.size() && l[at] == ' ') {
                ++at;
            }
        }
        frames.push_back(frame);
    }
    if (frames.isEmpty()) {
        return std::nullopt;
    }
    return frames;
}

QByteArray CreateFlatFile2(const QVector<RestoreDataRow>& rows) {
    QByteArray out;
    out.reserve(rows.size() * (listing::kLineLength + 3));
    DatewiseCounter datewise;
    for (const RestoreDataRow& row : rows) {
        out += listingLine(row, datewise.next(row.DateTime));
    }
    return out;
}

QString bankUploadFilePath(const QString& BankInfoPath, const QString& AgentDateKey) {
    QString path = BankInfoPath;
    if (!path.endsWith(u'/') && !path.endsWith(u'\\')) {
        path += QDir::separator();
    }
    return path + AgentDateKey + QStringLiteral("u.txt");
}

QString backupFileName(const QString& AgentDateKey, const QDate& today) {
    return AgentDateKey.left(3) + u'_' + today.toString(QStringLiteral("dd_MM_yy")) +
           QStringLiteral(".txt");
}

QString checkFileName(const QString& AgentDateKey) {
    return AgentDateKey + QStringLiteral("uCheck.txt");
}

}  // namespace kovrin
