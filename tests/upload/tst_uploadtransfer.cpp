// The upload exchange against an in-memory line: requests, checksums, time-outs, the end.
#include "core/Clock.h"
#include "hht-sim/TerminalFrames.h"
#include "link/Frame.h"
#include "link/TransferLog.h"
#include "support/FakeSerialLink.h"
#include "support/MessageRecorder.h"
#include "upload/KeptUpload.h"
#include "upload/UploadTransfer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace kovrin;

static const kovrin::FixedClock kEvening(QDateTime(QDate(2026, 12, 7), QTime(18, 0)));

namespace {

// A day of `frames` transaction frames for agent 001 on 07/12, one transaction each.
QVector<QByteArray> day(int frames, int announced = -1) {
    QVector<QByteArray> f;
    f << sim::buildCountFrame(announced < 0 ? frames : announced, "001            ").frame;
    f << sim::buildDayHeaderFrame("0010712", frames, 100LL * frames).frame;
    for (int i = 0; i < frames; ++i) {
        sim::CollectedTransaction t{100, QDate(2026, 12, 7), QTime(10, i % 60), i + 1};
        f << sim::buildTransactionFrame(i + 2, "S", "DDS01",
                                        QString::number(i + 1).rightJustified(15, '0'), {t}, false)
                 .frame;
    }
    return f;
}

bool isRequest(const QByteArray& f) {
    return f.size() == 10;
}

// A terminal's replies written as rules, one per request: "N#k" the k-th request for record
// N ("N#*" every one). The replies, in order: "ok" (the record's frame), "other" (another
// record's frame), "pieces" (the frame in four pieces 100 ms apart), "half" (its first half
// only), "stray" (three stray bytes), "nack", "none", "noise" (noise on the line from then
// on); each with "@ms" to come that much later. A request without a rule gets its frame.
struct ScriptedTerminal {
    QVector<QByteArray> frames;
    QMap<QString, QStringList> rules;
    QMap<int, int> asked;
    bool noise = false;

    ScriptedTerminal(QVector<QByteArray> f, const QString& text) : frames(std::move(f)) {
        for (const QString& rule : text.split(' ', Qt::SkipEmptyParts)) {
            rules[rule.section('=', 0, 0)] = rule.section('=', 1).split(',');
        }
    }

    QList<QPair<QByteArray, int>> answer(int record) {
        const int n = ++asked[record];
        const QStringList words = rules.value(QString("%1#%2").arg(record).arg(n),
                                              rules.value(QString("%1#*").arg(record), {"ok"}));
        const QByteArray frame = frames.value(record, QByteArray(137, '\0'));
        QList<QPair<QByteArray, int>> out;
        for (const QString& w : words) {
            const QString word = w.section('@', 0, 0);
            const int delay = w.contains('@') ? w.section('@', 1).toInt() : 0;
            noise = noise || word == "noise";
            if (word == "ok") {
                out << qMakePair(frame, delay);
            } else if (word == "other") {
                QByteArray other = frame;
                other[8] = char(record + 10);  // the header is not in the checksum
                out << qMakePair(other, delay);
            } else if (word == "pieces") {
                for (int i = 0; i < 4; ++i) {
                    out << qMakePair(frame.mid(i * 35, 35), delay + 100 * i);
                }
            } else if (word == "badcount") {
                // A count of transactions no frame holds, under a right checksum.
                QByteArray bad = frame.left(136);
                bad[132] = char(0x08);
                out << qMakePair(link::withChecksum(bad), delay);
            } else if (word == "badtotals") {
                QByteArray bad = frame.left(136);
                bad[18] = char(0x0A);  // the total amount's first byte is not BCD
                out << qMakePair(link::withChecksum(bad), delay);
            } else if (word == "half") {
                out << qMakePair(frame.left(60), delay);
            } else if (word == "stray") {
                out << qMakePair(QByteArray("\x00\x7f\x20", 3), delay);
            } else if (word == "nack") {
                out << qMakePair(QByteArray("\x01\xff\x10\xf0U\x00\x07\x00\x00NACK", 13), delay);
            }
        }
        return out;
    }
};

QList<int> requests(const QList<QByteArray>& written) {
    QList<int> r;
    for (const QByteArray& f : written) {
        r << (isRequest(f) ? link::recordNumberOf(f).value_or(-9) : -1);  // -1: end frame
    }
    return r;
}

}  // namespace

class TestUploadTransfer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void normalUpload();
    void nothingIsAskedAfterTheLastRecord();
    void replyInPieces_data();
    void replyInPieces();
    void repliesThatDoNotAdvance_data();
    void repliesThatDoNotAdvance();
    void receiveDuringTheUploadIsIgnored();
    void endOfTheUpload_data();
    void endOfTheUpload();
    void resumeAfterAnInterruption_data();
    void resumeAfterAnInterruption();
    void twoRepliesGluedTogether();
    void shortNackReply();
    void badChecksumAsksAgain();
    void fifteenBadChecksumsPrompt_data();
    void fifteenBadChecksumsPrompt();
    void timeOutsStepBackOnce();
    void cableMessageEveryFifthTimeOut();
    void announcementCappedAt2000();
    void countOfZeroEndsAfterTheHeader();
    void portClosedAtReceive();
    void promptHoldsTheTransfer();
    void badCountFrameIsReported();

private:
    void serve(const QVector<QByteArray>& frames);
    void answer(const QByteArray& bytes) {
        QTimer::singleShot(0, m_port.get(), [this, bytes] { m_port->inject(bytes); });
    }

    QTemporaryDir m_dir;
    std::unique_ptr<test::FakeSerialLink> m_port;
    std::unique_ptr<link::TransferLog> m_log;
    std::unique_ptr<test::MessageRecorder> m_rec;
    std::unique_ptr<UploadTransfer> m_tx;
    QList<UploadData> m_stored;
    std::function<QByteArray(int)> m_reply;  // the terminal's answer to a request
    bool m_storeSucceeds = true;
    bool m_totalsDiffer = false;  // what the store finds against the terminal's totals
    QString m_outcome;            // the store's message, when it shows one
};

void TestUploadTransfer::init() {
    m_port = std::make_unique<test::FakeSerialLink>();
    m_log = std::make_unique<link::TransferLog>(m_dir.path());
    m_rec = std::make_unique<test::MessageRecorder>();
    m_stored.clear();
    m_reply = nullptr;
    m_storeSucceeds = true;
    m_outcome.clear();
    m_totalsDiffer = false;
    m_tx = std::make_unique<UploadTransfer>(
        *m_port, *m_log, [this](const UploadData& d, const auto& message) {
            m_stored << d;
            if (m_storeSucceeds && !m_outcome.isEmpty()) {
                message({"frmReceive", m_outcome, MsgIcon::Information, MsgButtons::Ok, {}});
            }
            return RestoreResult{m_storeSucceeds, m_storeSucceeds && m_totalsDiffer};
        });
    m_tx->setTimings({60000, 60000, 5});
    connect(m_port.get(), &test::FakeSerialLink::wrote, this, [this](const QByteArray& f) {
        if (m_reply && isRequest(f)) {
            const QByteArray r = m_reply(link::recordNumberOf(f).value_or(0));
            if (!r.isEmpty()) {
                answer(r);
            }
        }
    });
    m_tx->Form_Load();
}

void TestUploadTransfer::cleanup() {
    m_tx.reset();
    m_rec.reset();
    m_log.reset();
    m_port.reset();
}

void TestUploadTransfer::serve(const QVector<QByteArray>& frames) {
    m_reply = [frames](int r) { return r < frames.size() ? frames[r] : QByteArray(137, '\0'); };
}

void TestUploadTransfer::normalUpload() {
    QSignalSpy enabled(m_tx.get(), &UploadTransfer::receiveEnabled);
    QSignalSpy header(m_tx.get(), &UploadTransfer::headerShown);
    QSignalSpy progress(m_tx.get(), &UploadTransfer::progress);
    const QVector<QByteArray> frames = day(3);
    serve(frames);
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_stored.size(), 1);
    QCOMPARE(requests(m_port->written), QList<int>({0, 1, 2, 3, 4, -1}));
    QCOMPARE(m_port->written.last(), QByteArray::fromHex("01FF10F055000700004F564552C4"));
    QCOMPARE(enabled.size(), 1);
    QCOMPARE(enabled[0][0].toBool(), false);  // Receive is disabled from the count frame on
    QCOMPARE(header.size(), 1);
    QCOMPARE(header[0][0].toString(), QString("001"));
    QCOMPARE(header[0][1].toString(), QString("0712"));
    QCOMPARE(header[0][2].toInt(), 3);
    QCOMPARE(header[0][3].toString(), QString("300.00"));
    QCOMPARE(progress.size(), 3);
    QCOMPARE(progress[2][0].toInt(), 3);
    QCOMPARE(progress[2][1].toInt(), 3);
    const UploadData& d = m_stored[0];
    QCOMPARE(d.TotalRecords, 3);
    QCOMPARE(d.agentId, QString("001            "));
    QCOMPARE(d.header.AgentDateKey, QString("0010712"));
    QCOMPARE(d.RecordFrames.size(), 5);
    for (int k = 0; k < 5; ++k) {
        QCOMPARE(d.RecordFrames[k], frames[k]);
    }
    QVERIFY(m_tx->linkDone());
}

void TestUploadTransfer::nothingIsAskedAfterTheLastRecord() {
    serve(day(2));
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_stored.size(), 1);
    const int written = m_port->written.size();
    m_tx->Timer1_Timer();
    m_tx->Timer3_Timer();
    m_port->inject(day(2)[3]);  // a late answer
    m_tx->cmdSend_Click();
    QTest::qWait(20);
    QCOMPARE(m_port->written.size(), written);
    QCOMPARE(m_stored.size(), 1);  // stored exactly once
}

void TestUploadTransfer::replyInPieces_data() {
    QTest::addColumn<QList<int>>("pieces");  // the sizes in which the reply arrives
    QTest::newRow("whole") << QList<int>{137};
    QTest::newRow("136 and 1") << QList<int>{50, 86, 1};
    QTest::newRow("8 bytes at a time, as the line gives them")
        << QList<int>{8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 1};
}

// Nothing is looked at before the whole reply is in; it is then read, and logged, once.
void TestUploadTransfer::replyInPieces() {
    QFETCH(QList<int>, pieces);
    const QVector<QByteArray> frames = day(1);
    m_log->event("pieces");  // the log written out so far: this test's lines follow
    const QStringList logs = QDir(m_dir.path()).entryList({"transfer-*.log"});
    QCOMPARE(logs.size(), 1);
    QFile f(m_dir.filePath(logs[0]));
    const qint64 before = f.size();
    m_tx->cmdSend_Click();
    int at = 0;
    for (const int n : pieces) {
        QCOMPARE(requests(m_port->written), QList<int>({0}));  // not whole yet: nothing yet
        m_port->inject(frames[0].mid(at, n));
        at += n;
    }
    QCOMPARE(requests(m_port->written), QList<int>({0, 1}));
    m_log->event("read");
    QVERIFY(f.open(QIODevice::ReadOnly) && f.seek(before));
    const QStringList rx =
        QString::fromLatin1(f.readAll()).split('\n').filter(QRegularExpression(" RX "));
    QCOMPARE(rx.size(), 1);
    QVERIFY(rx[0].endsWith(" RX " + frames[0].toHex(' ').toUpper()));
}

void TestUploadTransfer::repliesThatDoNotAdvance_data() {
    QTest::addColumn<QString>("terminal");
    QTest::addColumn<QList<int>>("asked");  // requests written; -1 the end frame
    QTest::addColumn<QString>("message");   // the last message; empty when none
    const QList<int> clean{0, 1, 2, 3, 4, -1};
    QTest::newRow("clean") << "" << clean << "";
    // Record 3's reply comes after its time-out: record 2 is asked again (first time-out
    // after a reply), then 3; the late reply finds record 4 asked for and is discarded.
    QTest::newRow("late reply") << "3#1=ok@330" << QList<int>{0, 1, 2, 3, 2, 3, 4, -1} << "";
    QTest::newRow("late header") << "1#1=ok@330" << QList<int>{0, 1, 1, 2, 3, 4, -1} << "";
    QTest::newRow("header totals unreadable") << "1#1=badtotals" << clean << "";
    QTest::newRow("late count") << "0#1=ok@330" << QList<int>{0, 0, 1, 2, 3, 4, -1} << "";
    QTest::newRow("reply twice") << "2#1=ok,ok" << clean << "";
    QTest::newRow("count reply twice") << "0#1=ok,ok" << clean << "";
    QTest::newRow("another record's reply")
        << "2#1=other" << QList<int>{0, 1, 2, 2, 3, 4, -1} << "";
    QTest::newRow("stray bytes after a reply") << "2#1=ok,stray" << clean << "";
    QTest::newRow("stray bytes before a reply") << "3#1=stray,ok@20" << clean << "";
    QTest::newRow("pieces past the time-out") << "2#1=pieces" << clean << "";
    QTest::newRow("half a reply") << "2#1=half" << QList<int>{0, 1, 2, 2, 3, 4, -1} << "";
    // Bytes that never make a reply keep arriving while record 3 goes unanswered: its
    // time-out is extended once, then the upload goes on.
    QTest::newRow("noise while record 3 is unanswered")
        << "3#1=noise" << QList<int>{0, 1, 2, 3, 2, 3, 4, -1} << "";
    QTest::newRow("count byte no frame holds")
        << "3#1=badcount" << QList<int>{0, 1, 2, 3, 3, 4, -1} << "";
    QTest::newRow("NACK") << "3#1=nack" << QList<int>{0, 1, 2, 3, 2, 3, 4, -1}
                          << "No Acknowledgement from HandHeld Terminal";
    QTest::newRow("count never answered")
        << "0#*=none" << QList<int>{0, 0, 0, 0, 0}
        << "The HandHeld Terminal does not answer the request for its records. Put the "
           "terminal in Upload Mode, check the cable, then press Receive again.";
    QTest::newRow("record 3 answered by others")
        << "3#*=other" << QList<int>{0, 1, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3}
        << "Please Check the Communication Cable";
}

// Replies that are late, repeated, for another record, in pieces or missing: each record is
// stored from its own reply, or the operator is told and nothing is stored.
void TestUploadTransfer::repliesThatDoNotAdvance() {
    QFETCH(QString, terminal);
    QFETCH(QList<int>, asked);
    QFETCH(QString, message);
    m_tx->setTimings({150, 60000, 5, 120});
    m_port->lineByteMicros = 520;  // 19200 baud: a reply takes 71 ms on the line
    const QVector<QByteArray> frames = day(3);
    ScriptedTerminal t(frames, terminal);
    QSignalSpy enabled(m_tx.get(), &UploadTransfer::receiveEnabled);
    m_rec->whileShown([&](const MessageRequest& r) {
        if (r.text == message && !message.startsWith("No Ack")) {
            m_tx->stop();  // the operator closes the screen
        }
    });
    connect(m_port.get(), &test::FakeSerialLink::wrote, this, [&](const QByteArray& f) {
        if (isRequest(f)) {
            for (const auto& [reply, delay] : t.answer(link::recordNumberOf(f).value_or(0))) {
                QTimer::singleShot(delay, m_port.get(), [this, r = reply] { m_port->inject(r); });
            }
        }
    });
    QTimer noise;
    connect(&noise, &QTimer::timeout, this, [&] {
        if (t.noise && m_stored.isEmpty()) {
            m_port->inject(QByteArray("\x00\x7f\x20", 3));
        }
    });
    noise.start(5);
    m_tx->cmdSend_Click();
    if (message.isEmpty() || message.startsWith("No Ack")) {
        QTRY_COMPARE_WITH_TIMEOUT(m_stored.size(), 1, 10000);
        QTest::qWait(400);  // late replies land after the end and change nothing
        QCOMPARE(m_stored.size(), 1);
        const bool headerAltered = terminal.contains("badtotals");
        for (int k = 0; k < frames.size(); ++k) {
            if (k != 1 || !headerAltered) {
                QCOMPARE(m_stored[0].RecordFrames[k], frames[k]);
            }
        }
        QCOMPARE(m_stored[0].header.totalsRead, !headerAltered);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_rec->count(message), 1, 10000);
        QCOMPARE(m_stored.size(), 0);
        if (asked.first() == 0 && asked.size() == 5) {
            QCOMPARE(enabled.last()[0].toBool(), true);  // Receive comes back
            QVERIFY(!m_tx->isActive());
        }
    }
    QCOMPARE(requests(m_port->written), asked);
    if (!message.isEmpty()) {
        QCOMPARE(m_rec->texts().last(), message);
    }
}

// Receive pressed again while the count's reply is slow: the count is not asked again over
// it, and its reply is taken once.
void TestUploadTransfer::receiveDuringTheUploadIsIgnored() {
    const QVector<QByteArray> frames = day(2);
    m_tx->cmdSend_Click();
    m_tx->cmdSend_Click();
    QCOMPARE(requests(m_port->written), QList<int>({0}));
    serve(frames);
    m_port->inject(frames[0]);
    QTRY_COMPARE(m_stored.size(), 1);
    QCOMPARE(requests(m_port->written), QList<int>({0, 1, 2, 3, -1}));
}

// The terminal is told that the upload is over only once its collections are safe, and
// before the outcome is shown. A store that fails keeps the frames and the terminal's data:
// Store Again stores them, then asks for the count to see that the same terminal is there
// before it sends the end frame. Stored totals that differ from the terminal's keep the
// terminal's day unless the operator says to release it.
void TestUploadTransfer::endOfTheUpload_data() {
    QTest::addColumn<bool>("storedAtOnce");
    QTest::addColumn<bool>("overWritten");
    QTest::addColumn<QString>("terminalAfter");  // at Store Again, or the totals' answer
    QTest::addColumn<QList<int>>("asked");
    QTest::addColumn<QStringList>("messages");
    const QString notSafe =
        "The collections of this upload are not safe yet, so the terminal was not told that the "
        "upload is over: it still holds them. Put right what the message before this one says "
        "(for example, free disk space), then press Store Again.";
    const QString released =
        "The collections are stored, and the terminal was told that the upload is over.";
    const QString notReleased =
        "The collections are stored, but the terminal did not answer as the one that sent them, "
        "so it was not told that the upload is over: its collections stay on it. To take them "
        "again, open this screen anew and press Receive; or clear its day once the bank has "
        "the files.";
    const QString ok = "Upload Completed Successfully";
    const QString differs = "Serious Problem While Uploading ";
    const QString ask =
        "The collections stored differ from the terminal's own totals, so the terminal was not "
        "told that the upload is over: it keeps its collections, and the day can be received "
        "again. Tell the terminal now that the upload is over?";
    QTest::newRow("stored") << true << true << "" << QList<int>{0, 1, 2, 3, -1} << QStringList{ok};
    QTest::newRow("end frame not written")
        << true << false << "" << QList<int>{0, 1, 2, 3}
        << QStringList{
               "The end frame could not be sent to the terminal: the device refused the "
               "write\nThe collections received are stored, but the terminal was not "
               "told that the upload is over: do not clear its day before checking the "
               "files.",
               ok};
    QTest::newRow("totals differ, terminal kept")
        << true << true << "differs, No" << QList<int>{0, 1, 2, 3}
        << QStringList{differs, ask,
                       "The collections stored differ from the terminal's own totals, and the "
                       "terminal was not told that the upload is over: it keeps its "
                       "collections. Compare the check file with the terminal's report, then "
                       "receive the day again."};
    QTest::newRow("totals differ, terminal released")
        << true << true << "differs, Yes" << QList<int>{0, 1, 2, 3, -1}
        << QStringList{differs, ask};
    QTest::newRow("store failed, stored again")
        << false << true << "same" << QList<int>{0, 1, 2, 3, 0, -1}
        << QStringList{notSafe, ok, released};
    QTest::newRow("store failed, another terminal")
        << false << true << "other" << QList<int>{0, 1, 2, 3, 0}
        << QStringList{notSafe, ok, notReleased};
    QTest::newRow("store failed, terminal gone")
        << false << true << "silent" << QList<int>{0, 1, 2, 3, 0, 0}
        << QStringList{notSafe, ok, notReleased};
    QTest::newRow("store failed, port fails while the terminal is looked for")
        << false << true << "port fails" << QList<int>{0, 1, 2, 3, 0}
        << QStringList{notSafe, ok,
                       "the device went away. The collections are stored, but the terminal was "
                       "not told that the upload is over: it still holds them. Clear its day "
                       "only once the bank has the files."};
}

void TestUploadTransfer::endOfTheUpload() {
    QFETCH(bool, storedAtOnce);
    QFETCH(bool, overWritten);
    QFETCH(QString, terminalAfter);
    QFETCH(QList<int>, asked);
    QFETCH(QStringList, messages);
    m_tx->setTimings({100, 60000, 5});
    m_storeSucceeds = storedAtOnce;
    m_outcome = "Upload Completed Successfully";
    if (terminalAfter.startsWith("differs")) {
        m_totalsDiffer = true;
        m_outcome = "Serious Problem While Uploading ";
        m_rec->answerNext(MsgAnswer::Ok);  // the outcome, then the question
        m_rec->answerNext(terminalAfter.endsWith("Yes") ? MsgAnswer::Yes : MsgAnswer::No);
    }
    if (!overWritten) {
        m_port->refuseWrite = [](const QByteArray& f) { return f.mid(9, 4) == "OVER"; };
    }
    // When the outcome is shown, the terminal has been told already (when it is told).
    QList<int> askedAtOutcome;
    m_rec->whileShown([&](const MessageRequest& r) {
        if (r.text == m_outcome) {
            askedAtOutcome = requests(m_port->written);
        }
    });
    serve(day(2));
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_stored.size(), 1);
    QCOMPARE(m_tx->isActive(), false);
    QCOMPARE(m_tx->holdsUnstoredUpload(), !storedAtOnce);
    if (!storedAtOnce) {
        m_tx->cmdSend_Click();  // Receive does not throw the kept frames away
        QCOMPARE(m_tx->holdsUnstoredUpload(), true);
        m_storeSucceeds = true;
        if (terminalAfter == "other") {
            serve(day(3));
        } else if (terminalAfter == "silent") {
            m_reply = nullptr;
        } else if (terminalAfter == "port fails") {
            m_reply = [this](int) {
                QTimer::singleShot(0, m_port.get(),
                                   [this] { m_port->fail("the device went away."); });
                return QByteArray();
            };
        }
        QVERIFY(m_tx->storeAgain());
        QTRY_COMPARE(m_tx->isActive(), false);
        QCOMPARE(m_stored.size(), 2);
        QCOMPARE(m_stored[1].RecordFrames, m_stored[0].RecordFrames);
    }
    QCOMPARE(requests(m_port->written), asked);
    QCOMPARE(m_rec->texts(), messages);
    // Stored totals that differ are shown before the operator decides.
    const QList<int> beforeTheDecision{0, 1, 2, 3};
    QCOMPARE(askedAtOutcome, terminalAfter.startsWith("differs") ? beforeTheDecision : asked);
    QVERIFY(m_tx->finished());
    QCOMPARE(m_tx->totalsDiffer(), terminalAfter.startsWith("differs"));
}

// An upload cut short (the screen closed) keeps its records on disk as they arrive: the next
// Receive of the same terminal, on a new transfer (another screen or port, or after a
// restart), goes on from the first record it lacks when the count and header are the same,
// and starts afresh when they differ. A damaged reply never replaces a good record, and a
// record damaged on disk is asked for again.
void TestUploadTransfer::resumeAfterAnInterruption_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<int>>("asked");
    QTest::newRow("same count and header") << "same" << QList<int>{0, 1, 5, 6, 7, -1};
    QTest::newRow("another day") << "other day" << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, -1};
    QTest::newRow("damaged copy of a record asked again")
        << "damaged copy" << QList<int>{0, 1, 5, 6, 7, -1};
    QTest::newRow("record damaged on disk")
        << "damaged on disk" << QList<int>{0, 1, 3, 4, 5, 6, 7, -1};
}

void TestUploadTransfer::resumeAfterAnInterruption() {
    QFETCH(QString, kind);
    QFETCH(QList<int>, asked);
    QDir(m_dir.filePath("BackupData")).removeRecursively();  // nothing kept from another row
    m_tx->setKeepFolder(m_dir.path());
    const QVector<QByteArray> frames = day(6);
    QMap<int, int> times;
    m_reply = [&](int r) {
        const int n = ++times[r];
        if (kind == "damaged copy" && r == 4 && n > 1) {
            QByteArray garbled = frames[4];
            garbled[60] = char(garbled[60] ^ 0x10);
            return n == 2 ? garbled : QByteArray();  // then no answer
        }
        return r <= 4 ? frames.value(r) : QByteArray();
    };
    m_tx->cmdSend_Click();
    QTRY_COMPARE(requests(m_port->written).last(), 5);
    if (kind == "damaged copy") {
        m_tx->Timer1_Timer();  // record 4 asked again; its copy comes damaged, then nothing
        QTRY_COMPARE(requests(m_port->written).count(4), 3);
    }
    m_tx->stop();  // the screen is closed while a record is awaited
    const QString keptFile = m_dir.filePath("BackupData/0010712-partial.kept");
    QVERIFY(QFile::exists(keptFile));
    if (kind == "damaged on disk") {
        QFile f(keptFile);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(KeptUpload::kKeptFileMagic.size() + 3 * 137 + 40));
        f.write("\xee");
    }

    cleanup();
    init();  // another screen, or the program started again
    m_tx->setKeepFolder(m_dir.path());
    QSignalSpy resumed(m_tx.get(), &UploadTransfer::resumed);
    QVector<QByteArray> again = frames;
    if (kind == "other day") {
        again[1] = sim::buildDayHeaderFrame("0010812", 6, 600).frame;
    }
    serve(again);
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_stored.size(), 1);
    QCOMPARE(requests(m_port->written), asked);
    QCOMPARE(resumed.size(), kind == "other day" ? 0 : 1);
    QCOMPARE(m_stored[0].RecordFrames, again);               // as if never interrupted
    QCOMPARE(QFile::exists(keptFile), kind == "other day");  // stored: the file goes
    QVERIFY(!QFile::exists(m_dir.filePath("BackupData/0010812-partial.kept")));
}

void TestUploadTransfer::twoRepliesGluedTogether() {
    const QVector<QByteArray> frames = day(2);
    m_reply = [frames](int r) {
        if (r == 2) {
            return frames[2] + frames[3];  // 274 characters at once
        }
        return r < frames.size() ? frames[r] : QByteArray();
    };
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_stored.size(), 1);
    // The second reply came before record 3 was asked for: it is not taken as its reply.
    QCOMPARE(m_stored[0].RecordFrames[2], frames[2]);
    QCOMPARE(requests(m_port->written), QList<int>({0, 1, 2, 3, -1}));
}

void TestUploadTransfer::shortNackReply() {
    m_tx->cmdSend_Click();
    m_port->inject(QByteArray("\x01\xff\x10\xf0U\x00\x07\x00\x00nack", 13));
    QCOMPARE(m_rec->texts(), QStringList{"No Acknowledgement from HandHeld Terminal"});
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);
    m_port->inject(day(1)[0]);  // the dropped text does not spoil the next reply
    QTRY_COMPARE(requests(m_port->written), QList<int>({0, 1}));
}

void TestUploadTransfer::badChecksumAsksAgain() {
    const QVector<QByteArray> frames = day(2);
    int bad = 0;
    m_reply = [&frames, &bad](int r) {
        QByteArray f = frames.value(r);
        if (r == 3 && bad++ < 2) {
            f[50] = char(f[50] ^ 0x01);
        }
        return f;
    };
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_stored.size(), 1);
    QCOMPARE(requests(m_port->written), QList<int>({0, 1, 2, 3, 3, 3, -1}));
    QCOMPARE(m_stored[0].RecordFrames[3], frames[3]);  // the good copy replaced the bad ones
    QCOMPARE(m_rec->messages.size(), 0);
}

void TestUploadTransfer::fifteenBadChecksumsPrompt_data() {
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void TestUploadTransfer::fifteenBadChecksumsPrompt() {
    QFETCH(bool, ok);
    const QVector<QByteArray> frames = day(1);
    int bad = 0;
    m_reply = [&frames, &bad](int r) {
        QByteArray f = frames.value(r);
        if (r == 2 && bad++ < 16) {
            f[136] = char(f[136] + 1);
        }
        return f;
    };
    QSignalSpy close(m_tx.get(), &UploadTransfer::closeRequested);
    m_rec->answerNext(ok ? MsgAnswer::Ok : MsgAnswer::Cancel);
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_rec->messages.size(), 1);
    QCOMPARE(m_rec->last().text, QString("Error in CRC,Press OK to try again or Cancel to Quit"));
    QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
    QCOMPARE(m_rec->last().buttons, MsgButtons::OkCancel);
    if (ok) {
        QTRY_COMPARE(m_stored.size(), 1);  // the count began again and the record came good
        QCOMPARE(requests(m_port->written).count(2), 17);
        QCOMPARE(close.size(), 0);
    } else {
        QCOMPARE(close.size(), 1);
        QTest::qWait(30);
        QCOMPARE(requests(m_port->written).count(2), 15);
        QCOMPARE(m_stored.size(), 0);
        QVERIFY(!m_port->isOpen());
    }
}

void TestUploadTransfer::timeOutsStepBackOnce() {
    const QVector<QByteArray> frames = day(8);
    m_reply = [&frames](int r) { return r <= 6 ? frames[r] : QByteArray(); };
    m_tx->cmdSend_Click();
    QTRY_COMPARE(requests(m_port->written).last(), 7);
    m_port->written.clear();
    m_reply = nullptr;
    m_tx->Timer1_Timer();  // first time-out while awaiting 7: record 6 asked again
    m_tx->Timer1_Timer();  // a second one in a row: 6 again, no further step back
    QCOMPARE(requests(m_port->written), QList<int>({6, 6}));
    m_tx->Timer3_Timer();  // the request on the line has its own time-out: nothing more goes
    QCOMPARE(requests(m_port->written), QList<int>({6, 6}));
}

void TestUploadTransfer::cableMessageEveryFifthTimeOut() {
    const QVector<QByteArray> frames = day(3);
    m_reply = [&frames](int r) { return r <= 2 ? frames[r] : QByteArray(); };
    m_tx->cmdSend_Click();
    QTRY_COMPARE(requests(m_port->written).last(), 3);
    for (int i = 1; i <= 10; ++i) {
        m_tx->Timer1_Timer();
        QCOMPARE(m_rec->count("Please Check the Communication Cable"), i / 5);
    }
    QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
}

void TestUploadTransfer::announcementCappedAt2000() {
    const QVector<QByteArray> frames = day(2000, 2500);
    serve(frames);
    m_tx->cmdSend_Click();
    QTRY_COMPARE_WITH_TIMEOUT(m_stored.size(), 1, 30000);
    const QList<int> r = requests(m_port->written);
    QCOMPARE(r[r.size() - 2], 2001);  // the last request, then the end frame
    QCOMPARE(m_stored[0].TotalRecords, 2000);
}

void TestUploadTransfer::countOfZeroEndsAfterTheHeader() {
    serve(day(0));
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_stored.size(), 1);
    QCOMPARE(requests(m_port->written), QList<int>({0, 1, -1}));
    QCOMPARE(m_stored[0].TotalRecords, 0);
}

void TestUploadTransfer::portClosedAtReceive() {
    m_tx->stop();
    m_port->openError =
        "Serial port 1 (/dev/ttyS0) could not be opened: No such file or directory.";
    m_tx->cmdSend_Click();
    QCOMPARE(m_rec->messages.size(), 1);
    QVERIFY(m_rec->last().text.startsWith("The serial port is not open"));
    QVERIFY(m_rec->last().text.contains("No such file or directory"));
    QVERIFY(m_port->written.isEmpty());
}

void TestUploadTransfer::promptHoldsTheTransfer() {
    const QVector<QByteArray> frames = day(1);
    int bad = 0;
    m_reply = [&frames, &bad](int r) {
        QByteArray f = frames.value(r);
        if (r == 2 && bad++ < 15) {
            f[136] = char(f[136] + 1);
        }
        return f;
    };
    int writtenWhileShown = -1;
    m_rec->whileShown([&](const MessageRequest&) {
        const int before = m_port->written.size();
        m_port->inject(frames[2]);  // the terminal keeps sending while the prompt is up
        QTest::qWait(40);
        writtenWhileShown = m_port->written.size() - before;
    });
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_rec->messages.size(), 1);
    QCOMPARE(writtenWhileShown, 0);
    QTRY_COMPARE(m_stored.size(), 1);
}

void TestUploadTransfer::badCountFrameIsReported() {
    QByteArray count = day(1)[0];
    count[9] = char(0x80);  // 32768 or more records
    count = link::withChecksum(count.left(136));
    m_reply = [count](int r) { return r == 0 ? count : QByteArray(); };
    QSignalSpy enabled(m_tx.get(), &UploadTransfer::receiveEnabled);
    m_tx->cmdSend_Click();
    QTRY_COMPARE(m_rec->messages.size(), 1);
    QVERIFY(m_rec->last().text.startsWith("The terminal's count record cannot be read"));
    QCOMPARE(enabled.last()[0].toBool(), true);
    QCOMPARE(requests(m_port->written), QList<int>({0}));
}

QTEST_GUILESS_MAIN(TestUploadTransfer)
#include "tst_uploadtransfer.moc"
