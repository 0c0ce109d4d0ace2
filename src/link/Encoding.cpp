#include "link/Encoding.h"

namespace kovrin::link {

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool allDigits(const QString& text) {
    for (const QChar c : text) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<quint8> checkbin1(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 2 || !allDigits(t)) {
        return std::nullopt;
    }
    const int v = t.toInt();
    return static_cast<quint8>((v / 10) * 16 + v % 10);
}

ByteSplit checkbin2(quint16 value) {
    return {static_cast<quint8>(value / 256), static_cast<quint8>(value % 256)};
}

int HEX_DECIMAL(quint8 hi, quint8 lo) {
    return hi * 256 + lo;
}

int BinCheck(quint8 byte) {
    return (byte / 16) * 10 + byte % 16;
}

bool isValidBcd(quint8 byte) {
    return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}

ByteBuf String2byte(QByteArrayView text, int n) {
    ByteBuf buf{};
    const int count = qBound(0, n, 10);
    for (int i = 0; i < count && i < text.size(); ++i) {
        buf[static_cast<size_t>(i)] = static_cast<quint8>(text[i]);
    }
    // Index n is already 0: the buffer starts all zero.
    return buf;
}

std::optional<QByteArray> packBcd(const QString& digits) {
    if (digits.size() % 2 != 0 || !allDigits(digits)) {
        return std::nullopt;
    }
    QByteArray out;
    out.reserve(digits.size() / 2);
    for (int i = 0; i < digits.size(); i += 2) {
        const int tens = digits[i].unicode() - u'0';
        const int units = digits[i + 1].unicode() - u'0';
        out.append(static_cast<char>(tens * 16 + units));
    }
    return out;
}

std::optional<QString> unpackBcd(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<quint8>(c);
        if (!isValidBcd(b)) {
            return std::nullopt;
        }
        out.append(QChar(u'0' + (b >> 4)));
        out.append(QChar(u'0' + (b & 0x0F)));
    }
    return out;
}

std::optional<qint64> wholeUnits(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        return 0;
    }
    const qsizetype point = t.indexOf(u'.');
    const QString whole = point < 0 ? t : t.left(point);
    const QString fraction = point < 0 ? QString() : t.mid(point + 1);
    if ((whole.isEmpty() && fraction.isEmpty()) || whole.size() > 15 || !allDigits(whole) ||
        !allDigits(fraction)) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const QChar c : whole) {
        value = value * 10 + (c.unicode() - u'0');
    }
    if (!fraction.isEmpty() && fraction[0] >= u'5') {
        ++value;
    }
    return value;
}

std::optional<QString> zeroFilled(qint64 value, int digits) {
    if (value < 0) {
        return std::nullopt;
    }
    const QString text = QString::number(value);
    if (text.size() > digits) {
        return std::nullopt;
    }
    return text.rightJustified(digits, u'0');
}

std::optional<QString> digitField(const QString& text, int digits) {
    const QString t = text.trimmed();
    if (t.size() > digits || !allDigits(t)) {
        return std::nullopt;
    }
    return t.rightJustified(digits, u'0');
}

std::optional<QString> dateDigits(const QString& text) {
    if (std::optional<QString> digits = digitField(text, 6)) {
        return digits;
    }
    // Day, month and year each in two characters, a part padded with a leading blank
    // (" 1 309" for 1/3/09): each part on its own.
    if (text.size() != 6) {
        return std::nullopt;
    }
    QString out;
    for (int i = 0; i < 6; i += 2) {
        const QChar first = text[i];
        const QChar second = text[i + 1];
        if (!isDigit(second) || (first != u' ' && !isDigit(first))) {
            return std::nullopt;
        }
        out += first == u' ' ? QChar(u'0') : first;
        out += second;
    }
    return out;
}

QByteArray fixedText(const QString& text, int width) {
    QByteArray bytes = text.left(width).toLatin1();
    if (bytes.size() < width) {
        bytes.append(QByteArray(width - bytes.size(), ' '));
    }
    return bytes;
}

QString textOf(QByteArrayView bytes) {
    return QString::fromLatin1(bytes);
}

}  // namespace kovrin::link
