// The terminal's replies during a download, and the frame checks of both directions, over
// any bytes.
#include "FuzzCheck.h"
#include "link/Frame.h"
#include "link/ReplyReaders.h"

#include <cstddef>
#include <cstdint>

using namespace kovrin::link;

namespace {

bool wordAt(QByteArrayView text, int pos, const char* word) {
    for (int k = 0; k < 4; ++k) {
        char c = text[pos - 1 + k];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != word[k]) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A buffer of exactly the input's length: a read past it is reported.
    const QByteArrayView v(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const DownloadReply r = parseDownloadReply(v);
    if (v.size() < kShortFrameSize) {
        FUZZ_CHECK(!r.complete && !r.abandon && r.ackPos == 0 && !r.ackRecord && !r.nack);
    } else {
        FUZZ_CHECK(r.complete);
        FUZZ_CHECK(r.ackPos >= 0 && r.ackPos <= v.size() - 3);
        if (r.ackPos > 0) {
            FUZZ_CHECK(wordAt(v, r.ackPos, "AACK"));
        }
        FUZZ_CHECK(r.ackRecord.has_value() == (r.ackPos > 2));
        FUZZ_CHECK(r.abandon == (findWord(v, "CLOS") > 0 || findWord(v, "BACK") > 0));
    }

    const bool crc = CheckCRC(v);
    if (crc) {
        FUZZ_CHECK(v.size() >= kLongFrameSize);
        unsigned sum = 0;
        for (int i = kHeaderSize; i < kLongFrameSize; ++i) {
            sum += static_cast<quint8>(v[i]);
        }
        FUZZ_CHECK(sum % 256 == 0);
    }
    FUZZ_CHECK(recordNumberOf(v).has_value() == (v.size() >= kHeaderSize));

    // A frame built around the input's first bytes reads back as built.
    if (v.size() >= 2) {
        const quint16 rec =
            static_cast<quint16>((static_cast<quint8>(v[0]) << 8) | static_cast<quint8>(v[1]));
        const QByteArray ack = buildShortFrame(kModeDownload, rec, "AACK");
        const DownloadReply back = parseDownloadReply(ack);
        FUZZ_CHECK(back.complete && back.ackPos == 10 && !back.nack && !back.abandon);
        FUZZ_CHECK(recordNumberOf(ack) == back.ackRecord);
        QByteArray frame = frameHeader(kModeUpload, kLongLength, rec);
        frame.append(v.sliced(2).first(std::min<qsizetype>(v.size() - 2, kPayloadSize)));
        frame.append(QByteArray(kLongFrameSize - 1 - frame.size(), ' '));
        FUZZ_CHECK(CheckCRC(withChecksum(frame)));
    }
    // The readers cut any byte stream, fed in pieces, into replies without losing or
    // inventing bytes: every byte is in a reply, dropped, or still held.
    const int piece = v.isEmpty() ? 1 : 1 + static_cast<quint8>(v[0]) % 40;
    DownloadReplyReader down;
    UploadReplyReader up;
    qsizetype inReplies = 0, upInFrames = 0;
    int dropped = 0, upDropped = 0;
    for (qsizetype at = 0; at < v.size(); at += piece) {
        const QByteArrayView chunk = v.sliced(at, std::min<qsizetype>(piece, v.size() - at));
        down.append(chunk);
        while (const std::optional<QByteArray> reply = down.next()) {
            FUZZ_CHECK(reply->size() >= kShortFrameSize);
            const DownloadReply parsed = parseDownloadReply(*reply);
            FUZZ_CHECK(parsed.abandon || parsed.ackPos > 0 || parsed.nack);
            inReplies += reply->size();
        }
        dropped += down.takeDropped();
        up.append(chunk);
        while (const std::optional<UploadReplyReader::Reply> reply = up.next()) {
            if (reply->kind == UploadReplyReader::Kind::Frame) {
                FUZZ_CHECK(reply->bytes.size() == kLongFrameSize);
            } else {
                FUZZ_CHECK(findWord(reply->bytes, "NACK") > 0);
                FUZZ_CHECK(reply->bytes.size() < kLongFrameSize);
            }
            upInFrames += reply->bytes.size();
        }
        upDropped += up.takeDropped();
        FUZZ_CHECK(upInFrames + upDropped + up.size() == at + chunk.size());
    }
    FUZZ_CHECK(inReplies + dropped <= v.size());
    return 0;
}
