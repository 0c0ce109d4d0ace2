// The simulated terminal on a byte stream: answers and injected faults.

#include "hht-sim/Terminal.h"
#include "hht-sim/TerminalFrames.h"
#include "link/DownloadFrames.h"
#include "link/Frame.h"
#include "link/FrameBytes.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

using namespace kovrin;
using namespace kovrin::link;
using sim::Mode;
using sim::Terminal;
using sim::TerminalConfig;

namespace {

QByteArray headerFrame() {
    HeaderFields h;
    h.accountCount = 3;
    h.agentId = "AG012";
    h.downloadKey = "0122512";
    h.clock = QDateTime(QDate(2026, 12, 25), QTime(9, 30, 0));
    return buildHeaderFrame(h).frame;
}

QByteArray accountFrame(int recordNo) {
    return buildAccountFrame(recordNo,
                             {"S", "DD001", QString::number(recordNo), "NAME", "10", "1", "", ""})
        .frame;
}

QByteArray ack(int recordNo) {
    return buildShortFrame('D', static_cast<quint16>(recordNo), "AACK");
}

QByteArray nack(int recordNo) {
    return buildShortFrame('D', static_cast<quint16>(recordNo), "NACK");
}

// A terminal with its output collected, each write with the time it came (ms on `clock`).
struct Rig {
    explicit Rig(TerminalConfig config) : terminal(config) {
        clock.start();
        QObject::connect(&terminal, &Terminal::output, [this](const QByteArray& b) {
            out.append(b), writes.append(b), writeTimes.append(clock.elapsed());
        });
        QObject::connect(&terminal, &Terminal::log,
                         [this](const QString& line) { logs.append(line); });
    }
    // When the byte at `offset` of everything written came; -1 if it has not.
    qint64 timeOfByte(qsizetype offset) const {
        for (int i = 0; i < writes.size(); ++i) {
            offset -= writes[i].size();
            if (offset < 0) {
                return writeTimes[i];
            }
        }
        return -1;
    }
    // Feeds bytes and returns what was answered at once.
    QByteArray feed(const QByteArray& bytes) {
        out.clear();
        terminal.feed(bytes);
        return out;
    }
    Terminal terminal;
    QElapsedTimer clock;
    QByteArray out;
    QList<QByteArray> writes;
    QList<qint64> writeTimes;
    QStringList logs;
};

TerminalConfig download() {
    return {};
}

TerminalConfig upload() {
    TerminalConfig c;
    c.mode = Mode::Upload;
    return c;
}

// Record 0, 1 and two transaction frames.
QVector<QByteArray> servedFrames() {
    const sim::CollectedTransaction t{500, QDate(2026, 12, 25), QTime(10, 0), 1};
    return {sim::buildCountFrame(2, "AG012").frame,
            sim::buildDayHeaderFrame("0122512", 1, 500).frame,
            sim::buildTransactionFrame(2, "S", "DD001", "ACC-1", {t}, false).frame,
            sim::buildTransactionFrame(3, "S", "DD001", "ACC-2", {}, true).frame};
}

}  // namespace

Q_DECLARE_METATYPE(kovrin::sim::Faults)

class TestTerminal : public QObject {
    Q_OBJECT

private slots:
    void downloadAcknowledgesEachRecord() {
        Rig rig(download());
        QSignalSpy ended(&rig.terminal, &Terminal::ended);
        QCOMPARE(rig.feed(headerFrame()),
                 kovrin::test::hex("01 FF 10 F0 44 00 07 00 00 41 41 43 4B F0"));
        QCOMPARE(rig.feed(accountFrame(2)), ack(2));
        QCOMPARE(rig.feed(accountFrame(3)), ack(3));
        QCOMPARE(rig.feed(accountFrame(256)), ack(256));
        QCOMPARE(ended.count(), 0);
        QCOMPARE(rig.feed(buildEndFrame('D')), ack(0));
        QCOMPARE(ended.count(), 1);
        QVERIFY(rig.terminal.endReceived());
        QCOMPARE(rig.terminal.downloadHeader(), headerFrame());
        QCOMPARE(rig.terminal.downloadAccounts().keys(), (QList<int>{2, 3, 256}));
        QCOMPARE(rig.terminal.receivedFrames().size(), 5);
    }

    void frameWithAWrongChecksumIsRefused() {
        Rig rig(download());
        QByteArray f = accountFrame(2);
        f[50] = static_cast<char>(f[50] + 1);
        QCOMPARE(rig.feed(f), buildShortFrame('D', 2, "NACK"));
        QVERIFY(rig.terminal.downloadAccounts().isEmpty());
        QByteArray end = buildEndFrame('D');
        end[13] = '\0';
        QCOMPARE(rig.feed(end), buildShortFrame('D', 0, "NACK"));
        QVERIFY(!rig.terminal.endReceived());
    }

    void framesArriveInPiecesAndWithNoise() {
        Rig rig(download());
        const QByteArray stream =
            QByteArray("\x00\x13garbage", 9) + accountFrame(2) + accountFrame(3);
        QByteArray answered;
        for (int i = 0; i < stream.size(); i += 10) {
            answered += rig.feed(stream.mid(i, 10));
        }
        QCOMPARE(answered, ack(2) + ack(3));
        QCOMPARE(rig.terminal.noiseBytes(), 9);
    }

    void incompleteFrameIsThrownAwayAfterSilence() {
        TerminalConfig c = download();
        c.partialTimeoutMs = 30;
        Rig rig(c);
        QVERIFY(rig.feed(accountFrame(2).left(60)).isEmpty());
        QTest::qWait(80);
        QCOMPARE(rig.feed(accountFrame(2)), ack(2));
        QCOMPARE(rig.terminal.noiseBytes(), 60);
    }

    void nackAtFiresOnce() {
        TerminalConfig c = download();
        c.faults.nackAt = {2};
        Rig rig(c);
        QCOMPARE(rig.feed(headerFrame()), ack(0));
        QCOMPARE(rig.feed(accountFrame(2)), buildShortFrame('D', 2, "NACK"));
        QVERIFY(rig.terminal.downloadAccounts().isEmpty());
        QCOMPARE(rig.feed(accountFrame(2)), ack(2));
        QVERIFY(rig.terminal.downloadAccounts().contains(2));
    }

    void wrongNumberInTheAcknowledgement() {
        TerminalConfig c = download();
        c.faults.wrongNumberAt = {3};
        Rig rig(c);
        QCOMPARE(rig.feed(accountFrame(3)), ack(4));
        QCOMPARE(parseDownloadReply(ack(4)).ackRecord, std::optional<int>(4));
        QCOMPARE(rig.feed(accountFrame(3)), ack(3));
    }

    void silenceForSomeRequests() {
        TerminalConfig c = download();
        c.faults.silentFirst = 1;
        c.faults.silentAt = {{2, 2}};
        Rig rig(c);
        QVERIFY(rig.feed(headerFrame()).isEmpty());
        QCOMPARE(rig.feed(headerFrame()), ack(0));
        QVERIFY(rig.feed(accountFrame(2)).isEmpty());
        QVERIFY(rig.feed(accountFrame(2)).isEmpty());
        QCOMPARE(rig.feed(accountFrame(2)), ack(2));
        QCOMPARE(rig.terminal.receivedFrames().size(), 5);
    }

    void closAndBackInsteadOfTheAcknowledgement() {
        TerminalConfig c = download();
        c.faults.closAt = {0};
        c.faults.backAt = {2};
        Rig rig(c);
        const QByteArray clos = rig.feed(headerFrame());
        QCOMPARE(clos, buildShortFrame('D', 0, "CLOS"));
        QVERIFY(parseDownloadReply(clos).abandon);
        QVERIFY(rig.terminal.downloadHeader().isEmpty());
        QCOMPARE(rig.feed(accountFrame(2)), buildShortFrame('D', 2, "BACK"));
        QCOMPARE(rig.feed(headerFrame()), ack(0));
    }

    // Faults of how an answer goes out, and of the end frame, on an instant and a paced line:
    // the frames are fed one right after the other, and everything written is compared in
    // order once the terminal has nothing left to write.
    void answersLateTwiceStrayAndEndFrameFaults_data() {
        QTest::addColumn<sim::Faults>("faults");
        QTest::addColumn<bool>("paced");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("lateFrom");  // offset of the late answer in the output, or -1
        QTest::addColumn<int>("lateMs");
        QTest::addColumn<int>("endsAt");  // the frame whose answer completes the download
        QTest::addColumn<QString>("logged");

        const QByteArray h = headerFrame();
        const QByteArray a2 = accountFrame(2);
        const QByteArray a3 = accountFrame(3);
        const QByteArray end = buildEndFrame('D');
        const QByteArray stray3 = kovrin::test::hex("00 7F 20");
        const QByteArray stray7 = kovrin::test::hex("00 7F 20 00 7F 20 00");
        for (const bool paced : {false, true}) {
            const char* line = paced ? "paced" : "instant";
            sim::Faults late;
            late.lateAt = {{2, 300}};
            QTest::addRow("late, %s", line)
                << late << paced << QList<QByteArray>{a2, a3, a2} << ack(2) + ack(3) + ack(2) << 0
                << 300 << -1 << "answer to record 2 held back 300 ms (fault)";
            sim::Faults lateLater;
            lateLater.lateAt = {{2, 250}};
            lateLater.splitPieces = 2;
            lateLater.splitDelayMs = 10;
            QTest::addRow("late in pieces after an answer in time, %s", line)
                << lateLater << paced << QList<QByteArray>{h, a2, a3} << ack(0) + ack(2) + ack(3)
                << 14 << 250 << -1 << "answer to record 2 held back 250 ms (fault)";
            sim::Faults twice;
            twice.twiceAt = {2};
            QTest::addRow("twice, %s", line) << twice << paced << QList<QByteArray>{a2, a3, a2}
                                             << ack(2) + ack(2) + ack(3) + ack(2) << -1 << 0 << -1
                                             << "answer to record 2 sent twice (fault)";
            sim::Faults stray;
            stray.strayAt = {{2, 3}};
            QTest::addRow("stray, %s", line)
                << stray << paced << QList<QByteArray>{a2, a3, a2}
                << ack(2) + stray3 + ack(3) + ack(2) << -1 << 0 << -1
                << "3 stray byte(s) after the answer to record 2 (fault)";
            sim::Faults all;
            all.lateAt = {{0, 200}};
            all.twiceAt = {0};
            all.strayAt = {{0, 7}};
            QTest::addRow("late, twice and stray on one answer, %s", line)
                << all << paced << QList<QByteArray>{h, a2} << ack(0) + ack(0) + stray7 + ack(2)
                << 0 << 200 << -1 << "7 stray byte(s) after the answer to record 0 (fault)";
            sim::Faults nackEnd;
            nackEnd.nackEnd = 2;
            QTest::addRow("nack-end, %s", line)
                << nackEnd << paced << QList<QByteArray>{h, end, end, end}
                << ack(0) + nack(0) + nack(0) + ack(0) << -1 << 0 << 3
                << "end frame: answered NACK (fault)";
            sim::Faults silentEnd;
            silentEnd.silentEnd = 2;
            QTest::addRow("silent-end, %s", line)
                << silentEnd << paced << QList<QByteArray>{h, end, end, end} << ack(0) + ack(0)
                << -1 << 0 << 3 << "end frame: no answer (fault)";
            sim::Faults both;
            both.silentEnd = 1;
            both.nackEnd = 1;
            both.lateAt = {{0, 200}};
            QTest::addRow("silent-end, then nack-end, the header late, %s", line)
                << both << paced << QList<QByteArray>{h, end, end, end} << ack(0) + nack(0) + ack(0)
                << 0 << 200 << 3 << "end frame: no answer (fault)";
        }
    }

    void answersLateTwiceStrayAndEndFrameFaults() {
        QFETCH(sim::Faults, faults);
        QFETCH(bool, paced);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QByteArray, expected);
        QFETCH(int, lateFrom);
        QFETCH(int, lateMs);
        QFETCH(int, endsAt);
        QFETCH(QString, logged);
        TerminalConfig c = download();
        c.faults = faults;
        c.paced = paced;
        Rig rig(c);
        QSignalSpy ended(&rig.terminal, &Terminal::ended);
        rig.clock.restart();
        for (int i = 0; i < frames.size(); ++i) {
            rig.terminal.feed(frames[i]);
            // Complete only once an end frame is acknowledged.
            QCOMPARE(rig.terminal.endReceived(), endsAt >= 0 && i >= endsAt);
        }
        QTRY_VERIFY_WITH_TIMEOUT(rig.terminal.idle(), 5000);
        QCOMPARE(rig.out.toHex(' '), expected.toHex(' '));
        QCOMPARE(rig.terminal.sentBytes(), expected);
        QCOMPARE(ended.count(), endsAt >= 0 ? 1 : 0);
        QVERIFY2(rig.logs.contains(logged), qPrintable(rig.logs.join('\n')));
        if (lateFrom >= 0) {
            // Nothing of the late answer, nor of what follows it, before its time.
            const qint64 at = rig.timeOfByte(lateFrom);
            QVERIFY2(at >= lateMs, qPrintable(QString::number(at)));
            for (qsizetype b = lateFrom; b < rig.out.size(); ++b) {
                QVERIFY(rig.timeOfByte(b) >= at);
            }
            QVERIFY(lateFrom == 0 || rig.timeOfByte(lateFrom - 1) < at);
        }
    }

    void uploadServesRecordsByNumber() {
        Rig rig(upload());
        rig.terminal.setUploadFrames(servedFrames());
        for (int r : {0, 1, 2, 3, 2}) {
            QCOMPARE(rig.feed(buildRequestFrame(static_cast<quint16>(r))), servedFrames()[r]);
        }
    }

    void uploadBadChecksumOnce() {
        TerminalConfig c = upload();
        c.faults.badChecksumAt = {2};
        Rig rig(c);
        rig.terminal.setUploadFrames(servedFrames());
        const QByteArray bad = rig.feed(buildRequestFrame(2));
        QCOMPARE(bad.size(), 137);
        QVERIFY(!CheckCRC(bad));
        QCOMPARE(bad.left(136), servedFrames()[2].left(136));
        QVERIFY(CheckCRC(rig.feed(buildRequestFrame(2))));
    }

    void uploadGluesAHeldReplyToTheNextOne() {
        TerminalConfig c = upload();
        c.faults.glueAt = {3};
        Rig rig(c);
        rig.terminal.setUploadFrames(servedFrames());
        QVERIFY(rig.feed(buildRequestFrame(3)).isEmpty());
        const QByteArray glued = rig.feed(buildRequestFrame(2));
        QCOMPARE(glued.size(), 274);
        QCOMPARE(glued, servedFrames()[3] + servedFrames()[2]);
        QCOMPARE(rig.writes.size(), 1);  // in one write
    }

    void uploadAnswersOtherFramesAndBadRequests() {
        TerminalConfig c = upload();
        c.faults.nackAt = {1};
        Rig rig(c);
        rig.terminal.setUploadFrames(servedFrames());
        QCOMPARE(rig.feed(buildRequestFrame(1)), buildShortFrame('U', 1, "NACK"));
        QByteArray badRequest = buildRequestFrame(1);
        badRequest[9] = '\x01';
        QCOMPARE(rig.feed(badRequest), buildShortFrame('U', 1, "NACK"));
        QCOMPARE(rig.feed(headerFrame()), buildShortFrame('U', 0, "CLOS"));
        QSignalSpy ended(&rig.terminal, &Terminal::ended);
        QVERIFY(rig.feed(buildEndFrame('U')).isEmpty());
        QCOMPARE(ended.count(), 1);
    }

    void requestsPastTheLastRecord() {
        const QVector<QByteArray> frames = servedFrames();
        struct Case {
            sim::Beyond beyond;
            QByteArray expected;
        };
        QByteArray zero = kovrin::test::hex("01 FF 10 F0 55 00 82 00 09");
        zero.append(QByteArray(128, '\0'));
        for (const Case& k : {Case{sim::Beyond::Zero, zero}, Case{sim::Beyond::Silent, {}},
                              Case{sim::Beyond::Nack, buildShortFrame('U', 9, "NACK")},
                              Case{sim::Beyond::Last, frames.last()}}) {
            TerminalConfig c = upload();
            c.beyond = k.beyond;
            Rig rig(c);
            rig.terminal.setUploadFrames(frames);
            QCOMPARE(rig.feed(buildRequestFrame(9)), k.expected);
        }
    }

    void splitRepliesComeInPiecesWithPauses() {
        TerminalConfig c = upload();
        c.faults.splitPieces = 4;
        c.faults.splitDelayMs = 25;
        Rig rig(c);
        rig.terminal.setUploadFrames(servedFrames());
        QElapsedTimer clock;
        clock.start();
        const QByteArray first = rig.feed(buildRequestFrame(2));
        QCOMPARE(first.size(), 35);
        QTRY_COMPARE_WITH_TIMEOUT(rig.out.size(), 137, 3000);
        QVERIFY(clock.elapsed() >= 70);
        QCOMPARE(rig.writes.size(), 4);
        QCOMPARE(rig.out, servedFrames()[2]);
        QCOMPARE(rig.terminal.sentBytes(), servedFrames()[2]);
    }

    void pacedRepliesGoOutAFewBytesAtATime() {
        TerminalConfig c = upload();
        c.paced = true;
        Rig rig(c);
        rig.terminal.setUploadFrames(servedFrames());
        QElapsedTimer clock;
        clock.start();
        rig.feed(buildRequestFrame(0));
        QTRY_COMPARE_WITH_TIMEOUT(rig.out.size(), 137, 3000);
        QCOMPARE(rig.out, servedFrames()[0]);
        QVERIFY(rig.writes.size() >= 17);
        QVERIFY(clock.elapsed() >= 60);  // 137 bytes at 19200 baud take 71 ms
    }

    void corruptionFollowsItsSeed() {
        const auto run = [](double rate, quint32 seed) {
            TerminalConfig c = upload();
            c.faults.corruptRate = rate;
            c.faults.seed = seed;
            Rig rig(c);
            rig.terminal.setUploadFrames(servedFrames());
            QByteArray all;
            for (int r = 0; r < 4; ++r) {
                all += rig.feed(buildRequestFrame(static_cast<quint16>(r)));
            }
            return all;
        };
        QByteArray clean;
        for (const QByteArray& f : servedFrames()) {
            clean += f;
        }
        QCOMPARE(run(0.0, 5), clean);
        const QByteArray a = run(0.05, 5);
        QCOMPARE(run(0.05, 5), a);
        QVERIFY(run(0.05, 6) != a);
        QCOMPARE(a.size(), clean.size());
        int changed = 0;
        for (int i = 0; i < a.size(); ++i) {
            changed += a[i] != clean[i] ? 1 : 0;
        }
        QVERIFY2(changed > 5 && changed < 70, qPrintable(QString::number(changed)));
        const QByteArray all = run(1.0, 5);
        for (int i = 0; i < all.size(); ++i) {
            QVERIFY(all[i] != clean[i]);
        }
    }

    void lossesFollowTheirSeed() {
        const auto run = [](double rate, quint32 seed) {
            TerminalConfig c = upload();
            c.faults.dropRate = rate;
            c.faults.seed = seed;
            Rig rig(c);
            rig.terminal.setUploadFrames(servedFrames());
            QByteArray all;
            for (int r = 0; r < 4; ++r) {
                all += rig.feed(buildRequestFrame(static_cast<quint16>(r)));
            }
            return all;
        };
        QByteArray clean;
        for (const QByteArray& f : servedFrames()) {
            clean += f;
        }
        QCOMPARE(run(0.0, 5), clean);
        const QByteArray a = run(0.05, 5);
        QCOMPARE(run(0.05, 5), a);
        QVERIFY(run(0.05, 6) != a);
        // What arrives is the answer with some bytes missing, the rest in order.
        QVERIFY2(a.size() > clean.size() - 70 && a.size() < clean.size() - 5,
                 qPrintable(QString::number(a.size())));
        qsizetype at = 0;
        for (const char c : a) {
            at = clean.indexOf(c, at);
            QVERIFY(at >= 0);
            ++at;
        }
        QVERIFY(run(1.0, 5).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTerminal)
#include "tst_terminal.moc"
