// Frame header, checksum, end and request frames, and the download replies.

#include "link/Frame.h"
#include "link/FrameBytes.h"

#include <QtTest>

using namespace kovrin::link;
using kovrin::test::hex;
using kovrin::test::replyFrame;

class TestFrames : public QObject {
    Q_OBJECT

private slots:
    void endFrameOfDownload() {
        QCOMPARE(buildEndFrame('D'), hex("01 FF 10 F0 44 00 07 00 00 4F 56 45 52 C4"));
        QCOMPARE(buildEndFrame('D').size(), kShortFrameSize);
    }

    void endFrameOfUpload() {
        QCOMPARE(buildEndFrame('U'), hex("01 FF 10 F0 55 00 07 00 00 4F 56 45 52 C4"));
    }

    void requestFrames() {
        QCOMPARE(buildRequestFrame(0), hex("01 FF 10 F0 55 00 03 00 00 00"));
        QCOMPARE(buildRequestFrame(1), hex("01 FF 10 F0 55 00 03 00 01 00"));
        QCOMPARE(buildRequestFrame(258), hex("01 FF 10 F0 55 00 03 01 02 00"));
        QCOMPARE(buildRequestFrame(2001), hex("01 FF 10 F0 55 00 03 07 D1 00"));
    }

    void acknowledgementShortFrames() {
        QCOMPARE(buildShortFrame('D', 7, "AACK"), hex("01 FF 10 F0 44 00 07 00 07 41 41 43 4B F0"));
        QCOMPARE(buildShortFrame('D', 256, "NACK"),
                 hex("01 FF 10 F0 44 00 07 01 00 4E 41 43 4B E3"));
    }

    void checksumOfDataSum0x1234() {
        // 0x1234 = 4660 = 18 * 255 + 70: eighteen 0xFF bytes and one 0x46.
        QByteArray data(18, '\xFF');
        data.append('\x46');
        QCOMPARE(checksumOf(data), 0xCC);

        QByteArray frame = replyFrame(2, {{10, data}});
        QCOMPARE(static_cast<quint8>(frame[136]), 0xCC);
        QVERIFY(CheckCRC(frame));
        for (int b = 0; b < 256; ++b) {
            if (b == 0xCC) {
                continue;
            }
            frame[136] = static_cast<char>(b);
            QVERIFY2(!CheckCRC(frame), qPrintable(QString::number(b, 16)));
        }
    }

    void allZeroFramePasses() {
        QVERIFY(CheckCRC(QByteArray(137, '\0')));
        QCOMPARE(checksumOf(QByteArray(127, '\0')), 0);
    }

    void headerBytesAreNotSummed() {
        QByteArray frame(137, '\0');
        frame[0] = '\x55';
        frame[8] = '\x01';
        QVERIFY(CheckCRC(frame));
    }

    void checkCrcOfShortAndLongText() {
        QVERIFY(!CheckCRC(QByteArray(136, '\0')));
        QVERIFY(!CheckCRC(QByteArray()));
        // A longer text (two replies glued together) is tested on its first 137 bytes only.
        QByteArray glued = replyFrame(3, {{20, hex("12 34")}});
        glued.append(QByteArray(137, '\x7F'));
        QVERIFY(CheckCRC(glued));
    }

    void withChecksumSumsFromPositionTen() {
        const QByteArray f = withChecksum(frameHeader('D', kShortLength, 0) + "OVER");
        QCOMPARE(static_cast<quint8>(f.back()), 0xC4);
        QCOMPARE(frameHeader('U', kLongLength, 0x0102), hex("01 FF 10 F0 55 00 82 01 02"));
    }

    void recordNumberOfAFrame() {
        QCOMPARE(recordNumberOf(hex("01 FF 10 F0 44 00 07 01 00")), std::optional<int>(256));
        QVERIFY(!recordNumberOf(hex("01 FF 10 F0 44 00 07 01")));
    }

    void findWordIgnoresLetterCase() {
        QCOMPARE(findWord("xxAACKyy", "AACK"), 3);
        QCOMPARE(findWord("xxaAcKyy", "AACK"), 3);
        QCOMPARE(findWord("AACK", "AACK"), 1);
        QCOMPARE(findWord("AAC", "AACK"), 0);
        QCOMPARE(findWord("", "AACK"), 0);
        // Only ASCII letters fold: 0xC1 is not "A".
        QCOMPARE(findWord("\xC1"
                          "ACK",
                          "AACK"),
                 0);
    }

    void acknowledgementOfRecord7And256() {
        const DownloadReply r7 = parseDownloadReply(buildShortFrame('D', 7, "AACK"));
        QVERIFY(r7.complete);
        QVERIFY(!r7.abandon);
        QCOMPARE(r7.ackPos, 10);
        QCOMPARE(r7.ackRecord, std::optional<int>(7));
        QVERIFY(!r7.nack);

        const DownloadReply r256 = parseDownloadReply(hex("01 FF 10 F0 44 00 07 01 00") + "AACK?");
        QCOMPARE(r256.ackRecord, std::optional<int>(256));
    }

    void ackAnywhereInTheReply() {
        const QByteArray reply = QByteArray("zzzzzzzzzz") + hex("00 05") + "aack";
        const DownloadReply r = parseDownloadReply(reply);
        QCOMPARE(r.ackPos, 13);
        QCOMPARE(r.ackRecord, std::optional<int>(5));
    }

    void ackAtPositionOneOrTwoHasNoNumber() {
        DownloadReply r = parseDownloadReply("AACKxxxxxxxxxxxx");
        QCOMPARE(r.ackPos, 1);
        QVERIFY(!r.ackRecord);
        r = parseDownloadReply("xAACKxxxxxxxxxxx");
        QCOMPARE(r.ackPos, 2);
        QVERIFY(!r.ackRecord);
        r = parseDownloadReply(QByteArray("\x00\x03", 2) + "AACKxxxxxxxxxx");
        QCOMPARE(r.ackPos, 3);
        QCOMPARE(r.ackRecord, std::optional<int>(3));
    }

    void fewerThanFourteenBytesAreNotLookedAt() {
        const QByteArray ack = buildShortFrame('D', 7, "AACK");
        const DownloadReply r = parseDownloadReply(ack.left(13));
        QVERIFY(!r.complete);
        QCOMPARE(r.ackPos, 0);
        QVERIFY(!r.ackRecord);
        QVERIFY(parseDownloadReply(ack).complete);
    }

    void closAndBackTakePrecedence() {
        DownloadReply r = parseDownloadReply(buildShortFrame('D', 2, "AACK") + "BACK");
        QVERIFY(r.abandon);
        r = parseDownloadReply(buildShortFrame('D', 2, "clos"));
        QVERIFY(r.abandon);
        r = parseDownloadReply(buildShortFrame('D', 2, "NACK") + "Back");
        QVERIFY(r.abandon);
        QVERIFY(r.nack);
    }

    void nackInAnyCase() {
        const DownloadReply r = parseDownloadReply(buildShortFrame('D', 2, "nAcK"));
        QVERIFY(r.nack);
        QCOMPARE(r.ackPos, 0);
        QVERIFY(!r.abandon);
    }

    void replyWithNoWord() {
        const DownloadReply r = parseDownloadReply(QByteArray(20, 'x'));
        QVERIFY(r.complete);
        QVERIFY(!r.abandon && !r.nack && r.ackPos == 0 && !r.ackRecord);
    }
};

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
