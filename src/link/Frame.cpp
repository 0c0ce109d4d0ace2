#include "link/Frame.h"

#include "link/Encoding.h"

#include <algorithm>

namespace kovrin::link {

QByteArray frameHeader(char mode, quint8 length, quint16 recordNo) {
    const ByteSplit rec = checkbin2(recordNo);
    QByteArray h;
    h.reserve(kLongFrameSize);
    h.append('\x01').append('\xFF').append('\x10').append('\xF0');
    h.append(mode);
    h.append('\x00').append(static_cast<char>(length));
    h.append(static_cast<char>(rec.hi)).append(static_cast<char>(rec.lo));
    return h;
}

quint8 checksumOf(QByteArrayView payload) {
    unsigned sum = 0;
    for (const char c : payload) {
        sum += static_cast<quint8>(c);
    }
    return static_cast<quint8>((256 - sum % 256) % 256);
}

QByteArray withChecksum(QByteArray frame) {
    const QByteArrayView payload =
        frame.size() > kHeaderSize ? QByteArrayView(frame).sliced(kHeaderSize) : QByteArrayView();
    const quint8 check = checksumOf(payload);
    frame.append(static_cast<char>(check));
    return frame;
}

bool CheckCRC(QByteArrayView frame) {
    if (frame.size() < kLongFrameSize) {
        return false;
    }
    const quint8 expected = checksumOf(frame.sliced(kHeaderSize, kPayloadSize));
    return static_cast<quint8>(frame[kLongFrameSize - 1]) == expected;
}

std::optional<int> recordNumberOf(QByteArrayView frame) {
    if (frame.size() < kHeaderSize) {
        return std::nullopt;
    }
    return HEX_DECIMAL(static_cast<quint8>(frame[7]), static_cast<quint8>(frame[8]));
}

QByteArray buildShortFrame(char mode, quint16 recordNo, QByteArrayView word) {
    QByteArray f = frameHeader(mode, kShortLength, recordNo);
    f.append(word.first(std::min<qsizetype>(4, word.size())).toByteArray());
    if (f.size() < kShortFrameSize - 1) {
        f.append(QByteArray(kShortFrameSize - 1 - f.size(), ' '));
    }
    return withChecksum(f);
}

QByteArray buildEndFrame(char mode) {
    return buildShortFrame(mode, 0, "OVER");
}

QByteArray buildRequestFrame(quint16 recordNo) {
    return withChecksum(frameHeader(kModeUpload, kRequestLength, recordNo));
}

int findWord(QByteArrayView text, QByteArrayView word) {
    if (word.isEmpty() || text.size() < word.size()) {
        return 0;
    }
    const auto upper = [](char c) {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    };
    for (qsizetype i = 0; i + word.size() <= text.size(); ++i) {
        qsizetype k = 0;
        while (k < word.size() && upper(text[i + k]) == upper(word[k])) {
            ++k;
        }
        if (k == word.size()) {
            return static_cast<int>(i + 1);
        }
    }
    return 0;
}

DownloadReply parseDownloadReply(QByteArrayView text) {
    DownloadReply r;
    if (text.size() < kShortFrameSize) {
        return r;
    }
    r.complete = true;
    r.abandon = findWord(text, "CLOS") > 0 || findWord(text, "BACK") > 0;
    r.ackPos = findWord(text, "AACK");
    if (r.ackPos > 2) {
        // Bytes at positions p-2 and p-1 (1-based) are indexes p-3 and p-2.
        r.ackRecord = HEX_DECIMAL(static_cast<quint8>(text[r.ackPos - 3]),
                                  static_cast<quint8>(text[r.ackPos - 2]));
    }
    const int nackPos = findWord(text, "NACK");
    r.nack = nackPos > 0;
    if (nackPos > 2) {
        r.nackRecord = HEX_DECIMAL(static_cast<quint8>(text[nackPos - 3]),
                                   static_cast<quint8>(text[nackPos - 2]));
    }
    return r;
}

}  // namespace kovrin::link
