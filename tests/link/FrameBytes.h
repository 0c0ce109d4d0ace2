#pragma once

// Small helpers for writing frames byte by byte in tests, independent of the builders
// under test.

#include <QByteArray>
#include <QList>
#include <QPair>

namespace kovrin::test {

// Bytes from a hex text; blanks are ignored ("01 FF 10" gives 01 FF 10).
inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The byte at a 1-based position.
inline quint8 byteAt(const QByteArray& frame, int pos) {
    return static_cast<quint8>(frame.at(pos - 1));
}

// A 137-byte upload reply: header 01 FF 10 F0 "U" 00 82 and the record number, zero
// payload with the given bytes placed at their 1-based positions, and a correct checksum.
inline QByteArray replyFrame(int recordNo, const QList<QPair<int, QByteArray>>& fields) {
    QByteArray f(137, '\0');
    const QByteArray head = hex("01 FF 10 F0 55 00 82");
    f.replace(0, head.size(), head);
    f[7] = static_cast<char>(recordNo / 256);
    f[8] = static_cast<char>(recordNo % 256);
    for (const auto& [pos, bytes] : fields) {
        f.replace(pos - 1, bytes.size(), bytes);
    }
    unsigned sum = 0;
    for (int i = 9; i < 136; ++i) {
        sum += static_cast<quint8>(f[i]);
    }
    f[136] = static_cast<char>((256 - sum % 256) % 256);
    return f;
}

// Sum of the bytes at 1-based positions from..to.
inline unsigned sumOf(const QByteArray& frame, int from, int to) {
    unsigned sum = 0;
    for (int p = from; p <= to; ++p) {
        sum += byteAt(frame, p);
    }
    return sum;
}

}  // namespace kovrin::test
