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

// The texts of a line in the file's encoding: a character the encoding cannot hold (beyond
// Latin-1 in a Latin-1 file, half a surrogate pair in a UTF-8 one) becomes "?" and is counted,
// so that the operator is told.
struct LineText {
    TextEncoding encoding;
    QByteArray& line;
    int replaced = 0;

    void put(QStringView text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char32_t u = text[i].unicode();
            if (u < 0x80) {
                line += static_cast<char>(u);
            } else if (encoding == TextEncoding::Latin1) {
                if (u < 0x100) {
                    line += static_cast<char>(u);
                } else {
                    cannotHold();
                }
            } else if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
                       text[i + 1].isLowSurrogate()) {
                line += text.mid(i, 2).toUtf8();
                ++i;
            } else if (QChar::isSurrogate(u)) {
                cannotHold();
            } else {
                line += text.mid(i, 1).toUtf8();
            }
        }
    }
    // A text field: padded with blanks or cut to its width (in characters).
    void text(const QString& t, int width) {
        const qsizetype n = std::min<qsizetype>(t.size(), width);
        put(QStringView(t).left(n));
        line.append(width - n, ' ');
    }
    // A number field: padded with blanks to its width, never cut.
    void number(const QString& t, int width) {
        put(t);
        if (t.size() < width) {
            line.append(width - t.size(), ' ');
        }
    }

private:
    void cannotHold() {
        line += '?';
        ++replaced;
    }
};

// The UTF-8 byte-order mark, before the first line of a file whose download had one.
const QByteArray kByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

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

QByteArray listingLine(const RestoreDataRow& row, const QString& DatewiseNumber,
                       TextEncoding encoding, int* replaced) {
    using namespace listing;
    QByteArray line;
    line.reserve(kLineLength + 4);
    LineText out{encoding, line};
    out.text(row.BranchID, kBranchID);
    out.text(row.CategoryCode, kCategoryCode);
    out.text(row.SchemeCode, kSchemeCode);
    out.text(row.AccountNo, kAccountNo);
    out.text(row.CustomerCode, kCustomerCode);
    out.text(row.AccountName, kAccountName);
    out.number(row.BalanceAmount, kBalanceAmount);
    out.number(row.AgreedAmount, kAgreedAmount);
    // "//20" is what an account without a date in the download gets.
    out.text(row.LastTxndate == QLatin1String("//20") ? QString() : row.LastTxndate, kLastTxndate);
    out.text(row.AgentID, kAgentID);
    out.number(row.Amtcollected, kAmtcollected);
    out.text(row.DateTime, kDateTime);
    out.number(row.TransactionNumber, kTransactionNumber);
    out.number(DatewiseNumber, kDatewiseNumber);
    line += ' ';
    out.text(row.BankSoftACNumber, kBankSoftACNumber);
    line += kLineEnd;
    if (replaced) {
        *replaced = out.replaced;
    }
    return line;
}

bool BankUploadFile::totalsMatch(int TotalTransactions, qint64 TotalAmount) const {
    return UploadedCount == TotalTransactions &&
           std::llround(UploadedAmount * 100) == TotalAmount * 100;
}

BankUploadFile CreateFlatFile(const QVector<RestoreDataRow>& rows, TextEncoding encoding) {
    BankUploadFile file;
    file.bytes.reserve(rows.size() * (listing::kLineLength + 3));
    if (encoding == TextEncoding::Utf8WithBom) {
        file.bytes += kByteOrderMark;
    }
    DatewiseCounter datewise;
    qint64 hundredths = 0;  // whole hundredths: the sum stays exact
    // An unknown account, an amount or a date that could not be read, a number posted already.
    const QStringList keptOut = bankFileReasons(rows, QString());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const RestoreDataRow& row = rows[i];
        if (!isCollection(row) || !keptOut[i].isEmpty()) {
            continue;
        }
        int replaced = 0;
        file.bytes += listingLine(row, datewise.next(row.DateTime), encoding, &replaced);
        hundredths += std::llround(vbVal(row.Amtcollected) * 100);
        ++file.UploadedCount;
        if (replaced > 0) {
            file.replacedLines << file.UploadedCount;
        }
    }
    file.UploadedAmount = static_cast<double>(hundredths) / 100;
    if (file.UploadedCount == 0) {
        file.bytes.clear();  // no line, no byte-order mark
    }
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

QByteArray CreateFlatFile2(const QVector<RestoreDataRow>& rows, TextEncoding encoding,
                           QVector<int>* replacedLines) {
    QByteArray out;
    out.reserve(rows.size() * (listing::kLineLength + 3));
    if (encoding == TextEncoding::Utf8WithBom && !rows.isEmpty()) {
        out += kByteOrderMark;
    }
    DatewiseCounter datewise;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        int replaced = 0;
        out += listingLine(rows[i], datewise.next(rows[i].DateTime), encoding, &replaced);
        if (replaced > 0 && replacedLines) {
            *replacedLines << int(i + 1);
        }
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
