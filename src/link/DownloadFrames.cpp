#include "link/DownloadFrames.h"

#include "link/Encoding.h"
#include "link/Frame.h"

namespace kovrin::link {

namespace {

constexpr int kBranchIdWidth = 15;
constexpr int kAgentIdWidth = 15;
constexpr int kBankNameWidth = 48;
constexpr int kCategoryWidth = 1;
constexpr int kSchemeWidth = 5;
constexpr int kAccountWidth = 15;
constexpr int kNameWidth = 28;

BuildResult failed(const QString& reason) {
    return {false, {}, reason};
}

// An identifier that must fill its field: shorter values are padded with spaces, longer
// ones are refused (cutting would send another identifier).
std::optional<QByteArray> identifier(const QString& text, int width) {
    if (text.size() > width) {
        return std::nullopt;
    }
    return fixedText(text, width);
}

// The terminal's font size byte: "1" for Big, "0" for Small, a negative setting or no
// setting at all as Small.
std::optional<char> fontSizeByte(const QString& setting) {
    const QString t = setting.trimmed();
    if (t.isEmpty()) {
        return '0';
    }
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok || v > 1) {
        return std::nullopt;
    }
    return v == 1 ? '1' : '0';
}

std::optional<char> transactionDigitByte(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        return '1';
    }
    if (t.size() != 1 || t[0] < u'0' || t[0] > u'7') {
        return std::nullopt;
    }
    return static_cast<char>(t[0].unicode());
}

// An amount as `digits` BCD digits in whole units.
std::optional<QByteArray> amountBcd(const QString& text, int digits) {
    const std::optional<qint64> units = wholeUnits(text);
    if (!units) {
        return std::nullopt;
    }
    const std::optional<QString> filled = zeroFilled(*units, digits);
    return filled ? packBcd(*filled) : std::nullopt;
}

std::optional<QByteArray> dateBcd(const QString& text) {
    const std::optional<QString> digits = dateDigits(text);
    return digits ? packBcd(*digits) : std::nullopt;
}

}  // namespace

QByteArray headerClockBytes(const QDateTime& clock) {
    const QString text = clock.toString(QStringLiteral("dd/MM/yy HH:mm:ss"));
    QByteArray out;
    for (int pos : {0, 3, 6, 9, 12, 15}) {
        // Each part is two digits by construction of the pattern above.
        out.append(static_cast<char>(checkbin1(text.mid(pos, 2)).value_or(0)));
    }
    return out;
}

BuildResult buildHeaderFrame(const HeaderFields& f) {
    if (f.accountCount < 0 || f.accountCount > 65535) {
        return failed(
            QStringLiteral("account count %1 does not fit two bytes").arg(f.accountCount));
    }
    const auto branchId = identifier(f.branchId, kBranchIdWidth);
    if (!branchId) {
        return failed(QStringLiteral("branch id \"%1\" is longer than 15").arg(f.branchId));
    }
    const auto agentId = identifier(f.agentId, kAgentIdWidth);
    if (!agentId) {
        return failed(QStringLiteral("agent id \"%1\" is longer than 15").arg(f.agentId));
    }
    const auto font = fontSizeByte(f.fontSize);
    if (!font) {
        return failed(QStringLiteral("font size setting \"%1\" is not 0 or 1").arg(f.fontSize));
    }
    const auto txnDigit = transactionDigitByte(f.transactionDigit);
    if (!txnDigit) {
        return failed(QStringLiteral("number of transactions \"%1\" is not a digit 0-7")
                          .arg(f.transactionDigit));
    }
    const auto downloadPassword = digitField(f.downloadPassword, 4);
    const auto setupPassword = digitField(f.setupPassword, 4);
    if (!downloadPassword || !setupPassword) {
        return failed(QStringLiteral("a terminal password is not up to four digits"));
    }
    const auto key = digitField(f.downloadKey, 7);
    if (!key) {
        return failed(
            QStringLiteral("download key \"%1\" is not up to seven digits").arg(f.downloadKey));
    }
    if (!f.clock.isValid()) {
        return failed(QStringLiteral("no date and time for the header frame"));
    }

    const ByteSplit count = checkbin2(static_cast<quint16>(f.accountCount));
    QByteArray frame = frameHeader(kModeDownload, kLongLength, 0);
    frame.append(static_cast<char>(count.hi)).append(static_cast<char>(count.lo));  // 10-11
    frame.append(*branchId);                                                        // 12-26
    frame.append(*agentId);                                                         // 27-41
    frame.append(*font);                                                            // 42
    frame.append(fixedText(f.bankName, kBankNameWidth));                            // 43-90
    frame.append(fixedText(f.branchName, kBranchNameWidth));                        // 91-112
    frame.append(*txnDigit);                                                        // 113
    frame.append(downloadPassword->toLatin1());                                     // 114-117
    frame.append('1');                                                              // 118
    frame.append(setupPassword->toLatin1());                                        // 119-122
    frame.append(key->toLatin1());                                                  // 123-129
    frame.append(headerClockBytes(f.clock));                                        // 130-135
    frame.append(' ');                                                              // 136
    return {true, withChecksum(frame), {}};
}

QVector<int> headerPasswordPositions() {
    return {113, 114, 115, 116, 118, 119, 120, 121, kLongFrameSize - 1};
}

BuildResult buildAccountFrame(int recordNo, const AccountFields& f) {
    if (recordNo < 2 || recordNo > 65535) {
        return failed(QStringLiteral("record number %1 is not an account record").arg(recordNo));
    }
    const auto category = identifier(f.CategoryCode, kCategoryWidth);
    const auto scheme = identifier(f.SchemeCode, kSchemeWidth);
    const auto account = identifier(f.ACNumber, kAccountWidth);
    if (!category || !scheme || !account) {
        return failed(QStringLiteral("the category, scheme or account number (%1/%2/%3) is longer "
                                     "than its field")
                          .arg(f.CategoryCode, f.SchemeCode, f.ACNumber));
    }
    const auto balance = amountBcd(f.BalAmount, 10);
    if (!balance) {
        return failed(QStringLiteral("the balance \"%1\" is not an amount of up to ten digits")
                          .arg(f.BalAmount));
    }
    const auto agreed = amountBcd(f.AgreedAmount, 6);
    if (!agreed) {
        return failed(
            QStringLiteral("the agreed amount \"%1\" is not an amount of up to six digits")
                .arg(f.AgreedAmount));
    }
    const auto opening = dateBcd(f.OpeningDate);
    if (!opening) {
        return failed(
            QStringLiteral("the opening date \"%1\" is not a date ddmmyy").arg(f.OpeningDate));
    }
    const auto txnDate = dateBcd(f.TxnDate);
    if (!txnDate) {
        return failed(
            QStringLiteral("the last transaction date \"%1\" is not a date ddmmyy").arg(f.TxnDate));
    }

    QByteArray frame = frameHeader(kModeDownload, kLongLength, static_cast<quint16>(recordNo));
    frame.append(*category);                        // 10
    frame.append(*scheme);                          // 11-15
    frame.append(*account);                         // 16-30
    frame.append(fixedText(f.ACName, kNameWidth));  // 31-58
    frame.append(*balance);                         // 59-63
    frame.append(*agreed);                          // 64-66
    frame.append(*opening);                         // 67-69
    frame.append(*txnDate);                         // 70-72
    frame.append(QByteArray(64, ' '));              // 73-136
    return {true, withChecksum(frame), {}};
}

}  // namespace kovrin::link
