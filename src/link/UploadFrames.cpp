#include "link/UploadFrames.h"

#include "link/Encoding.h"
#include "link/Frame.h"

#include <QDate>
#include <QStringList>
#include <algorithm>

namespace kovrin::link {

namespace {

// Counts are kept in 16-bit signed integers by the upload: larger values are not counts.
constexpr int kCountLimit = 32768;

quint8 at(QByteArrayView frame, int pos) {
    return static_cast<quint8>(frame[pos - 1]);
}

// The bytes from 1-based position `pos`, `len` long, cut at the frame's end.
QByteArrayView field(QByteArrayView frame, int pos, int len) {
    const qsizetype from = std::min<qsizetype>(pos - 1, frame.size());
    const qsizetype n = std::min<qsizetype>(len, frame.size() - from);
    return frame.sliced(from, n);
}

QString shortReason(QByteArrayView frame) {
    return QStringLiteral("frame has %1 bytes, not %2").arg(frame.size()).arg(kLongFrameSize);
}

QString two(int v) {
    return QString::number(v).rightJustified(2, u'0');
}

void decodeSlot(QByteArrayView s, int referenceYear, TransactionSlot& slot) {
    slot.state = SlotState::Read;
    const auto b = [&](int i) { return static_cast<quint8>(s[i]); };
    QStringList problems;

    // An amount that is not BCD is left out rather than shown as a longer number.
    const std::optional<QString> digits = unpackBcd(s.sliced(0, 3));
    if (digits) {
        slot.amount = digits->toLongLong();
        slot.Amtcollected =
            QString::number(slot.amount).rightJustified(7, u'0') + QStringLiteral(".00");
    } else {
        problems << QStringLiteral("amount bytes are not BCD");
    }

    slot.day = BinCheck(b(3));
    slot.month = b(4) >> 4;
    slot.year = slotYear(b(4) & 0x0F, referenceYear);
    slot.hour = BinCheck(b(5));
    slot.minute = BinCheck(b(6));
    if (!isValidBcd(b(3)) || !isValidBcd(b(5)) || !isValidBcd(b(6))) {
        problems << QStringLiteral("date or time bytes are not BCD");
    } else if (!QDate::isValid(slot.year, slot.month, slot.day) || slot.hour > 23 ||
               slot.minute > 59) {
        problems << QStringLiteral("no such date and time");
    }
    // A byte that is not BCD is written as its hexadecimal digits, never as a number it
    // does not hold.
    const auto part = [&](int i, int value) {
        return isValidBcd(b(i)) ? two(value)
                                : QStringLiteral("%1").arg(b(i), 2, 16, QLatin1Char('0')).toUpper();
    };
    slot.DateTime = QStringLiteral("%1/%2/%3 %4:%5")
                        .arg(part(3, slot.day), two(slot.month), QString::number(slot.year),
                             part(5, slot.hour), part(6, slot.minute));

    const ByteBuf buf = String2byte(s.sliced(7, 2), 2);
    slot.number = HEX_DECIMAL(buf[0], buf[1]);
    slot.TransactionNumber = QString::number(slot.number).rightJustified(4, u'0');

    slot.ok = problems.isEmpty();
    slot.reason = problems.join(QStringLiteral("; "));
}

}  // namespace

CountInfo DecodeFifthProtocol(QByteArrayView frame) {
    CountInfo info;
    if (frame.size() < kLongFrameSize) {
        info.reason = shortReason(frame);
        return info;
    }
    info.TotalRecords = HEX_DECIMAL(at(frame, 10), at(frame, 11));
    info.agentId = textOf(field(frame, 27, 15));
    if (info.TotalRecords >= kCountLimit) {
        info.reason = QStringLiteral("record count %1 is not below 32768").arg(info.TotalRecords);
        return info;
    }
    info.ok = true;
    return info;
}

HeaderInfo DecodeThirdProtocol(QByteArrayView frame) {
    HeaderInfo info;
    if (frame.size() < kLongFrameSize) {
        info.reason = shortReason(frame);
        return info;
    }
    info.AgentDateKey = textOf(field(frame, 10, 7));
    info.agentNumber = info.AgentDateKey.left(3);
    info.dateDdmm = info.AgentDateKey.right(4);
    info.ok = true;
    const ByteBuf buf = String2byte(field(frame, 17, 2), 2);
    info.TotalTransactions = HEX_DECIMAL(buf[0], buf[1]);
    if (info.TotalTransactions >= kCountLimit) {
        info.reason =
            QStringLiteral("transaction total %1 is not below 32768").arg(info.TotalTransactions);
        return info;
    }
    const std::optional<QString> digits = unpackBcd(field(frame, 19, 4));
    if (!digits) {
        info.reason = QStringLiteral("total amount bytes are not BCD");
        return info;
    }
    info.amountDigits = *digits;
    info.totalAmount = digits->toLongLong();
    info.amountText = QString::number(info.totalAmount) + QStringLiteral(".00");
    info.totalsRead = true;
    return info;
}

bool countByteFits(quint8 countByte) {
    return countByte == 0x20 || (isValidBcd(countByte) && BinCheck(countByte) <= kSlotsPerFrame);
}

int slotYear(int nibble, int referenceYear) {
    const int n = nibble & 0x0F;
    // A collection dated in the year after the PC's (a terminal whose clock has passed New
    // Year's midnight before the PC's) is in that year, not sixteen years back.
    const int first = std::max(2000, referenceYear - 14);
    // The year in first..first+15 whose (year - 2000) mod 16 is the nibble.
    const int offset = ((n - (first - 2000)) % 16 + 16) % 16;
    return first + offset;
}

TransactionFrame decodeTransactionFrame(QByteArrayView frame, int referenceYear) {
    TransactionFrame tf;
    tf.shortFrame = frame.size() < kLongFrameSize;
    if (tf.shortFrame) {
        tf.reason = shortReason(frame);
    }
    tf.CategoryCode = textOf(field(frame, 10, 1));
    tf.SchemeCode = textOf(field(frame, 11, 5));
    tf.AccountNo = textOf(field(frame, 16, 15));
    if (frame.size() < 133) {
        return tf;
    }
    const quint8 countByte = at(frame, 133);
    tf.count = BinCheck(countByte);
    if (countByte == 0x20) {
        tf.noTransactions = true;
        tf.ok = !tf.shortFrame;
        return tf;
    }
    // Only 0-7 fit the slots; 0x20 is the one other value with a meaning. A byte that only
    // reads as 20 (0x1A) is not taken for the mark.
    if (!isValidBcd(countByte) || tf.count > kSlotsPerFrame) {
        if (tf.reason.isEmpty()) {
            tf.reason = QStringLiteral("count byte 0x%1 is not 0-7 or 0x20")
                            .arg(countByte, 2, 16, QLatin1Char('0'));
        }
        return tf;
    }
    bool slotsOk = true;
    for (int t = 0; t < tf.count; ++t) {
        TransactionSlot& slot = tf.transactions[static_cast<size_t>(t)];
        const int pos = 70 + kSlotSize * t;
        if (frame.size() < pos - 1 + kSlotSize) {
            slot.state = SlotState::Missing;
            slotsOk = false;
            continue;
        }
        decodeSlot(frame.sliced(pos - 1, kSlotSize), referenceYear, slot);
        if (!slot.ok) {
            slotsOk = false;
            if (tf.reason.isEmpty()) {
                tf.reason = QStringLiteral("transaction %1: %2").arg(t + 1).arg(slot.reason);
            }
        }
    }
    tf.ok = !tf.shortFrame && slotsOk;
    return tf;
}

}  // namespace kovrin::link
