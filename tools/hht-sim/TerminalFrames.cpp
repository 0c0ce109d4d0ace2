#include "TerminalFrames.h"

#include "link/Encoding.h"
#include "link/Frame.h"

#include <QStringList>

namespace kovrin::sim {

using namespace kovrin::link;

namespace {

QString text(QByteArrayView frame, int pos, int len) {
    return textOf(frame.sliced(pos - 1, len));
}

// BCD digits of a field, or the reason they are not BCD.
QString bcdDigits(QByteArrayView frame, int pos, int len, QStringList& problems,
                  const QString& what) {
    const std::optional<QString> digits = unpackBcd(frame.sliced(pos - 1, len));
    if (!digits) {
        problems << what + QStringLiteral(" is not BCD");
        return {};
    }
    return *digits;
}

QString frameProblem(QByteArrayView frame) {
    if (frame.size() != kLongFrameSize) {
        return QStringLiteral("frame has %1 bytes, not 137").arg(frame.size());
    }
    if (!CheckCRC(frame)) {
        return QStringLiteral("checksum is wrong");
    }
    return {};
}

BuildResult failed(const QString& reason) {
    return {false, {}, reason};
}

// Completes a long reply frame: payload padded with spaces to position 136, checksum.
BuildResult finish(QByteArray frame) {
    if (frame.size() > kLongFrameSize - 1) {
        return failed(QStringLiteral("payload is too long"));
    }
    frame.append(QByteArray(kLongFrameSize - 1 - frame.size(), ' '));
    return {true, withChecksum(frame), {}};
}

std::optional<QByteArray> exactText(const QString& value, int width) {
    if (value.size() > width) {
        return std::nullopt;
    }
    return fixedText(value, width);
}

}  // namespace

ReceivedHeader parseHeaderFrame(QByteArrayView frame) {
    ReceivedHeader h;
    h.reason = frameProblem(frame);
    if (!h.reason.isEmpty()) {
        return h;
    }
    QStringList problems;
    h.accountCount = HEX_DECIMAL(static_cast<quint8>(frame[9]), static_cast<quint8>(frame[10]));
    h.branchId = text(frame, 12, 15);
    h.agentId = text(frame, 27, 15);
    h.fontSize = text(frame, 42, 1);
    h.bankName = text(frame, 43, 48);
    h.branchName = text(frame, 91, 22);
    h.transactionDigit = text(frame, 113, 1);
    h.downloadPassword = text(frame, 114, 4);
    h.constantOne = text(frame, 118, 1);
    h.setupPassword = text(frame, 119, 4);
    h.downloadKey = text(frame, 123, 7);
    h.clockDigits = bcdDigits(frame, 130, 6, problems, QStringLiteral("date and time"));
    if (!h.clockDigits.isEmpty()) {
        h.clock = QDateTime::fromString(QStringLiteral("20") + h.clockDigits.mid(4, 2) +
                                            h.clockDigits.mid(2, 2) + h.clockDigits.left(2) +
                                            h.clockDigits.mid(6),
                                        QStringLiteral("yyyyMMddHHmmss"));
        if (!h.clock.isValid()) {
            problems << QStringLiteral("date and time %1 is no date").arg(h.clockDigits);
        }
    }
    if (frame[4] != kModeDownload || recordNumberOf(frame) != 0) {
        problems << QStringLiteral("not a download frame of record 0");
    }
    h.ok = problems.isEmpty();
    h.reason = problems.join(QStringLiteral("; "));
    return h;
}

ReceivedAccount parseAccountFrame(QByteArrayView frame) {
    ReceivedAccount a;
    a.reason = frameProblem(frame);
    if (!a.reason.isEmpty()) {
        return a;
    }
    QStringList problems;
    a.recordNo = recordNumberOf(frame).value_or(0);
    a.CategoryCode = text(frame, 10, 1);
    a.SchemeCode = text(frame, 11, 5);
    a.ACNumber = text(frame, 16, 15);
    a.ACName = text(frame, 31, 28);
    a.balanceDigits = bcdDigits(frame, 59, 5, problems, QStringLiteral("balance"));
    a.agreedDigits = bcdDigits(frame, 64, 3, problems, QStringLiteral("agreed amount"));
    a.openingDate = bcdDigits(frame, 67, 3, problems, QStringLiteral("opening date"));
    a.txnDate = bcdDigits(frame, 70, 3, problems, QStringLiteral("last transaction date"));
    if (frame.sliced(72, 64) != QByteArray(64, ' ')) {
        problems << QStringLiteral("positions 73-136 are not spaces");
    }
    if (frame[4] != kModeDownload || a.recordNo < 2) {
        problems << QStringLiteral("not a download account record");
    }
    a.ok = problems.isEmpty();
    a.reason = problems.join(QStringLiteral("; "));
    return a;
}

BuildResult buildCountFrame(int transactionFrames, const QString& agentId) {
    if (transactionFrames < 0 || transactionFrames > 65535) {
        return failed(
            QStringLiteral("record count %1 does not fit two bytes").arg(transactionFrames));
    }
    const auto id = exactText(agentId, 15);
    if (!id) {
        return failed(QStringLiteral("agent id is longer than 15"));
    }
    const ByteSplit n = checkbin2(static_cast<quint16>(transactionFrames));
    QByteArray f = frameHeader(kModeUpload, kLongLength, 0);
    f.append(static_cast<char>(n.hi)).append(static_cast<char>(n.lo));  // 10-11
    f.append(QByteArray(15, ' '));                                      // 12-26
    f.append(*id);                                                      // 27-41
    return finish(f);
}

BuildResult buildDayHeaderFrame(const QString& agentDateKey, int totalTransactions,
                                qint64 totalAmount) {
    if (agentDateKey.size() != 7) {
        return failed(
            QStringLiteral("agent and date key \"%1\" is not 7 characters").arg(agentDateKey));
    }
    if (totalTransactions < 0 || totalTransactions > 65535) {
        return failed(QStringLiteral("transaction total does not fit two bytes"));
    }
    const std::optional<QString> amount = zeroFilled(totalAmount, 8);
    if (!amount) {
        return failed(QStringLiteral("total amount %1 is not up to 8 digits").arg(totalAmount));
    }
    const ByteSplit n = checkbin2(static_cast<quint16>(totalTransactions));
    QByteArray f = frameHeader(kModeUpload, kLongLength, 1);
    f.append(fixedText(agentDateKey, 7));                               // 10-16
    f.append(static_cast<char>(n.hi)).append(static_cast<char>(n.lo));  // 17-18
    f.append(*packBcd(*amount));                                        // 19-22
    return finish(f);
}

std::optional<QByteArray> transactionSlot(const CollectedTransaction& t) {
    const std::optional<QString> amount = zeroFilled(t.amount, 6);
    if (!amount || !t.date.isValid() || !t.time.isValid() || t.date.year() < 2000 || t.number < 0 ||
        t.number > 65535) {
        return std::nullopt;
    }
    const auto bcd = [](int v) { return static_cast<char>(*checkbin1(QString::number(v))); };
    QByteArray s = *packBcd(*amount);                                                // 0-2
    s.append(bcd(t.date.day()));                                                     // 3
    s.append(static_cast<char>(t.date.month() * 16 + (t.date.year() - 2000) % 16));  // 4
    s.append(bcd(t.time.hour()));                                                    // 5
    s.append(bcd(t.time.minute()));                                                  // 6
    const ByteSplit n = checkbin2(static_cast<quint16>(t.number));
    s.append(static_cast<char>(n.hi)).append(static_cast<char>(n.lo));  // 7-8
    return s;
}

BuildResult buildTransactionFrame(int recordNo, const QString& category, const QString& scheme,
                                  const QString& account,
                                  const QVector<CollectedTransaction>& transactions,
                                  bool noTransactions) {
    if (recordNo < 2 || recordNo > 65535) {
        return failed(QStringLiteral("record %1 is not a transaction record").arg(recordNo));
    }
    if (transactions.size() > 7 || (noTransactions && !transactions.isEmpty())) {
        return failed(QStringLiteral("a frame holds 0 to 7 transactions"));
    }
    const auto cat = exactText(category, 1);
    const auto sch = exactText(scheme, 5);
    const auto acc = exactText(account, 15);
    if (!cat || !sch || !acc) {
        return failed(QStringLiteral("account %1/%2/%3 does not fit its fields")
                          .arg(category, scheme, account));
    }
    QByteArray f = frameHeader(kModeUpload, kLongLength, static_cast<quint16>(recordNo));
    f.append(*cat).append(*sch).append(*acc);  // 10-30
    f.append(QByteArray(39, ' '));             // 31-69, not read by the PC
    QByteArray slotBytes;
    for (const CollectedTransaction& t : transactions) {
        const std::optional<QByteArray> s = transactionSlot(t);
        if (!s) {
            return failed(QStringLiteral("transaction %1 of account %2 cannot be kept")
                              .arg(t.number)
                              .arg(account));
        }
        slotBytes.append(*s);
    }
    slotBytes.append(QByteArray(63 - slotBytes.size(), '\0'));  // 70-132
    f.append(slotBytes);
    f.append(noTransactions ? '\x20' : static_cast<char>(transactions.size()));  // 133
    return finish(f);
}

}  // namespace kovrin::sim
