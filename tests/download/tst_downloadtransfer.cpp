// The download exchange against an in-memory line: the order of frames, acknowledgements
// with wrong numbers, rejections, silence, abandonment, and the import steps before it.
#include "DownloadFixture.h"
#include "core/Clock.h"
#include "download/DownloadFile.h"
#include "download/DownloadTransfer.h"
#include "link/DownloadFrames.h"
#include "link/Frame.h"
#include "support/FakeSerialLink.h"
#include "support/MessageRecorder.h"

#include <QSignalSpy>
#include <QtTest>
#include <functional>

using namespace kovrin;

static const kovrin::FixedClock kMorning(QDateTime(QDate(2026, 3, 25), QTime(8, 30, 15)));

namespace {

QByteArray ack(int record) {
    return link::buildShortFrame('D', quint16(record), "AACK");
}
QByteArray nack(int record) {
    return link::buildShortFrame('D', quint16(record), "NACK");
}

bool isEnd(const QByteArray& f) {
    return f.size() == 14 && f.mid(9, 4) == "OVER";
}

// A terminal's answers written as rules, one per frame sent: "H" the header, "E" the end
// frame, a number an account record; "#n" its n-th sending ("#*" every one). The answers,
// in order: "ack" (its own number), "ackN", "ack-" (no number), "nack", "nackN", "none",
// each with "@ms" to come that much later; "noise" starts noise on the line that lasts to the
// end. A frame without a rule is acknowledged.
//   "5#1=ack4,ack5"   the first record 5 gets a stale AACK 4 and then its own
struct ScriptedTerminal {
    QMap<QString, QStringList> rules;
    QMap<QString, int> sent;
    bool everyAnswerTwice = false;
    bool noise = false;

    explicit ScriptedTerminal(const QString& text) {
        for (const QString& rule : text.split(' ', Qt::SkipEmptyParts)) {
            if (rule == "twice") {
                everyAnswerTwice = true;
                continue;
            }
            rules[rule.section('=', 0, 0)] = rule.section('=', 1).split(',');
        }
    }

    // The replies to a frame, each with its delay.
    QList<QPair<QByteArray, int>> answer(const QByteArray& frame) {
        const int record = link::recordNumberOf(frame).value_or(0);
        const QString key = isEnd(frame) ? "E" : record == 0 ? "H" : QString::number(record);
        const int n = ++sent[key];
        QStringList words =
            rules.value(key + "#" + QString::number(n), rules.value(key + "#*", {"ack"}));
        QList<QPair<QByteArray, int>> out;
        for (const QString& w : words) {
            const QString word = w.section('@', 0, 0);
            const int delay = w.contains('@') ? w.section('@', 1).toInt() : 0;
            QByteArray reply;
            noise = noise || word == "noise";
            if (word == "ack") {
                reply = ack(isEnd(frame) ? 0 : record);
            } else if (word == "ack-") {
                reply = "AACK" + QByteArray(10, ' ');
            } else if (word.startsWith("ack")) {
                reply = ack(word.mid(3).toInt());
            } else if (word == "nack") {
                reply = nack(record);
            } else if (word.startsWith("nack")) {
                reply = nack(word.mid(4).toInt());
            }
            if (!reply.isEmpty()) {
                out << qMakePair(reply, delay);
                if (everyAnswerTwice) {
                    out << qMakePair(reply, delay);
                }
            }
        }
        return out;
    }
};

// The record numbers of the frames written, the end frame shown as -1.
QList<int> records(const QList<QByteArray>& frames) {
    QList<int> r;
    for (const QByteArray& f : frames) {
        r << (isEnd(f) ? -1 : link::recordNumberOf(f).value_or(-99));
    }
    return r;
}

}  // namespace

class TestDownloadTransfer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void threeAccountsInOrder();
    void repliesThatDoNotAdvance_data();
    void repliesThatDoNotAdvance();
    void thirteenCharactersStartNothing();
    void closOrBackAbandons();
    void timeOutsStepBackOnceThenResend();
    void cableMessageEveryFifthTimeOut();
    void entriesAreChecked();
    void missingFile();
    void refusedBeforeAnythingIsSent_data();
    void refusedBeforeAnythingIsSent();
    void acceptedFiles_data();
    void acceptedFiles();
    void tooManyRecords();
    void accountsCheckedBeforeThePortOpens_data();
    void accountsCheckedBeforeThePortOpens();
    void portThatCannotBeOpenedStoresNothing();
    void portFailingMidwayEndsTheTransfer();
    void secondDownloadGetsTimeOutResends();
    void fullDownloadOf2000Accounts();
    void messageHoldsTheTransfer();
    void transferLogRecordsTheExchange();
    void revisionsOnAcksWithoutReliableNumbers_data();
    void revisionsOnAcksWithoutReliableNumbers();
    void revision20IgnoresClosAndBack();
    void revision20SendAgainRestartsCleanly();

private:
    // Starts a download of `accounts` accounts for agent 5, day 2503.
    void start(int accounts, const QString& transactions = "3");
    // Answers every frame written with `reply(frame)` (empty: silence), after the write.
    void answerWith(std::function<QByteArray(const QByteArray&)> reply);
    void answerAll() {
        answerWith([](const QByteArray& f) { return ack(link::recordNumberOf(f).value_or(0)); });
    }

    std::unique_ptr<test::DownloadFixture> m_fx;
    std::unique_ptr<test::FakeSerialLink> m_port;
    std::unique_ptr<test::MessageRecorder> m_rec;
    std::unique_ptr<DownloadTransfer> m_tx;
    QList<QPair<int, int>> m_progress;
    int m_completed = 0;
};

void TestDownloadTransfer::init() {
    m_fx = std::make_unique<test::DownloadFixture>();
    m_port = std::make_unique<test::FakeSerialLink>();
    m_rec = std::make_unique<test::MessageRecorder>();
    m_tx = std::make_unique<DownloadTransfer>(*m_fx->db, m_fx->settings, m_fx->pf.path(), *m_port,
                                              *m_fx->log);
    m_tx->setTimings({1, 60000, 60000});  // time-outs are driven by hand unless a test says
    m_tx->setClock(kMorning);
    m_tx->setTerminalPasswords("0042", "1234");
    m_progress.clear();
    m_completed = 0;
    connect(m_tx.get(), &DownloadTransfer::progress, this,
            [this](int s, int t) { m_progress << qMakePair(s, t); });
    connect(m_tx.get(), &DownloadTransfer::completed, this, [this] { ++m_completed; });
}

void TestDownloadTransfer::cleanup() {
    m_tx.reset();
    m_port.reset();
    m_rec.reset();
    m_fx.reset();
}

void TestDownloadTransfer::start(int accounts, const QString& transactions) {
    m_fx->writeFile("0052503d.txt", test::downloadFile(accounts));
    m_tx->cmdSend_Click({"5", "2503", transactions});
}

void TestDownloadTransfer::answerWith(std::function<QByteArray(const QByteArray&)> reply) {
    connect(m_port.get(), &test::FakeSerialLink::wrote, this, [this, reply](const QByteArray& f) {
        const QByteArray r = reply(f);
        if (!r.isEmpty()) {
            QTimer::singleShot(0, m_port.get(), [this, r] { m_port->inject(r); });
        }
    });
}

void TestDownloadTransfer::threeAccountsInOrder() {
    answerAll();
    start(3);
    QTRY_COMPARE(m_completed, 1);
    QCOMPARE(records(m_port->written), QList<int>({0, 2, 3, 4, -1}));
    QCOMPARE(m_port->written.last(),
             QByteArray::fromHex("01FF10F044000700004F564552C4"));  // the end frame
    QCOMPARE(m_progress.mid(0, 3), (QList<QPair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    QCOMPARE(m_rec->texts(), QStringList{"Download Completed Successfully!"});
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);
    QVERIFY(!m_port->isOpen());
    QVERIFY(!m_tx->isSending());
    QVERIFY(m_tx->linkDone());
    QCOMPARE(m_fx->bankRows(), 3);
}

void TestDownloadTransfer::repliesThatDoNotAdvance_data() {
    QTest::addColumn<QString>("terminal");
    QTest::addColumn<QList<int>>("frames");  // records sent; -1 the end frame
    QTest::addColumn<int>("cableMessages");
    const QList<int> clean{0, 2, 3, 4, 5, 6, 7, -1};
    QTest::newRow("clean") << "" << clean << 0;
    // The header refused, then answered with a wrong number: sent again at once the first
    // time, at the next time-out after that.
    QTest::newRow("header refused")
        << "H#1=nack H#2=ack1" << QList<int>{0, 0, 0, 2, 3, 4, 5, 6, 7, -1} << 0;
    QTest::newRow("number never sent: back two")
        << "5#1=ack9" << QList<int>{0, 2, 3, 4, 5, 3, 4, 5, 6, 7, -1} << 0;
    QTest::newRow("NACK of record 2") << "2#1=nack" << QList<int>{0, 2, 2, 3, 4, 5, 6, 7, -1} << 0;
    QTest::newRow("stale answer dropped") << "5#1=ack4,ack5" << clean << 0;
    QTest::newRow("stale NACK dropped") << "6#1=nack5,ack6" << clean << 0;
    QTest::newRow("every answer twice") << "twice" << clean << 0;
    QTest::newRow("header answered twice") << "H#1=ack,ack" << clean << 0;
    // Record 5's answer comes after its time-out: record 4 goes again (first time-out after
    // an answer), and the late answer finds record 5 sent before: dropped.
    QTest::newRow("late answer") << "5#1=ack@330" << QList<int>{0, 2, 3, 4, 5, 4, 5, 6, 7, -1} << 0;
    QTest::newRow("end frame refused, then lost")
        << "E#1=nack E#2=none" << QList<int>{0, 2, 3, 4, 5, 6, 7, -1, -1, -1} << 0;
    QTest::newRow("end frame answered by an old number")
        << "E#1=ack7" << QList<int>{0, 2, 3, 4, 5, 6, 7, -1, -1} << 0;
    // Refused five times: the cable message, whatever the terminal answers in between.
    QTest::newRow("record 3 refused five times")
        << "3#1=nack 3#2=nack 3#3=nack 3#4=nack 3#5=nack"
        << QList<int>{0, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 4, 5, 6, 7, -1} << 1;
    // Bytes that never make an answer keep arriving while record 4 goes unanswered: its
    // time-out is extended once, then the download goes on.
    QTest::newRow("noise while record 4 is unanswered")
        << "4#1=noise" << QList<int>{0, 2, 3, 4, 3, 4, 5, 6, 7, -1} << 0;
    QTest::newRow("silent on record 4, answering record 3")
        << "4#1=none 4#2=none 4#3=none 4#4=none 4#5=none"
        << QList<int>{0, 2, 3, 4, 3, 4, 3, 4, 3, 4, 3, 4, 3, 4, 5, 6, 7, -1} << 1;
}

// Replies that do not move the download on: wrong, stale, refused, late, repeated or missing.
// At most one frame is ever on the line, and the download ends with every account sent.
void TestDownloadTransfer::repliesThatDoNotAdvance() {
    QFETCH(QString, terminal);
    QFETCH(QList<int>, frames);
    QFETCH(int, cableMessages);
    m_tx->setTimings({1, 150, 60000, 20});
    ScriptedTerminal t(terminal);
    connect(m_port.get(), &test::FakeSerialLink::wrote, this, [&](const QByteArray& f) {
        for (const auto& [reply, delay] : t.answer(f)) {
            QTimer::singleShot(delay, m_port.get(), [this, r = reply] { m_port->inject(r); });
        }
    });
    QTimer noise;
    connect(&noise, &QTimer::timeout, this, [&] {
        if (t.noise && m_completed == 0) {
            m_port->inject(QByteArray("\x00\x7f\x20", 3));
        }
    });
    noise.start(5);
    start(6);
    QTRY_COMPARE_WITH_TIMEOUT(m_completed, 1, 10000);
    QTest::qWait(400);  // late answers land after the end and change nothing
    QCOMPARE(records(m_port->written), frames);
    QCOMPARE(m_rec->count("Please Check the Communication Cable"), cableMessages);
    QCOMPARE(m_rec->texts().last(), QString("Download Completed Successfully!"));
    QCOMPARE(m_completed, 1);
}

void TestDownloadTransfer::thirteenCharactersStartNothing() {
    start(2);
    QCOMPARE(records(m_port->written), QList<int>({0}));
    const QByteArray reply = ack(0);
    m_port->inject(reply.left(13));
    QTest::qWait(30);
    QCOMPARE(records(m_port->written), QList<int>({0}));
    m_port->inject(reply.mid(13));
    QTRY_COMPARE(records(m_port->written), QList<int>({0, 2}));
}

void TestDownloadTransfer::closOrBackAbandons() {
    start(3);
    m_port->inject(ack(0));
    QTRY_COMPARE(m_port->written.size(), 2);
    // A reply holding both "BACK" and "AACK" abandons the transfer.
    m_port->inject(QByteArray("\x01\xff\x10\xf0"
                              "D",
                              5) +
                   QByteArray("\x00\x07\x00\x02", 4) + "AACKback");
    QCOMPARE(m_rec->texts(),
             QStringList{"Please goto Download Mode in the HandHeld Terminal and then Send Data!"});
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);
    QVERIFY(!m_tx->isSending());
    QVERIFY(!m_port->isOpen());
    QCOMPARE(m_completed, 0);  // the entries keep their text
    QTest::qWait(20);
    QCOMPARE(m_port->written.size(), 2);
}

void TestDownloadTransfer::timeOutsStepBackOnceThenResend() {
    answerWith([](const QByteArray& f) {
        const int r = link::recordNumberOf(f).value_or(0);
        return r <= 6 ? ack(r) : QByteArray();  // silence from record 7 on
    });
    start(8);
    QTRY_COMPARE(records(m_port->written).last(), 7);
    m_port->written.clear();
    m_tx->Timer2_Timer();  // first time-out: record 6 again
    QCOMPARE(records(m_port->written), QList<int>({6}));
    QTRY_COMPARE(records(m_port->written), QList<int>({6, 7}));  // 6 acknowledged: 7 next
    m_port->written.clear();
    m_tx->Timer2_Timer();
    m_tx->Timer2_Timer();
    // The retry count went back to 0 with the reply to record 6: the first time-out after
    // it steps back again, the second resends the current record.
    QCOMPARE(records(m_port->written), QList<int>({6, 6}));
}

void TestDownloadTransfer::cableMessageEveryFifthTimeOut() {
    start(3);
    m_port->inject(ack(0));
    QTRY_COMPARE(m_port->written.size(), 2);
    for (int i = 1; i <= 10; ++i) {
        m_tx->Timer2_Timer();
        const int expected = i / 5;
        QCOMPARE(m_rec->count("Please Check the Communication Cable"), expected);
    }
    QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
    // Time-outs 1 to 10 sent record 2 each time (record 2 cannot step back further).
    QCOMPARE(records(m_port->written.mid(2)), QList<int>(10, 2));
}

void TestDownloadTransfer::entriesAreChecked() {
    QSignalSpy focus(m_tx.get(), &DownloadTransfer::focusEntry);
    m_tx->cmdSend_Click({" ", "2503", ""});
    QCOMPARE(m_rec->texts(), QStringList{"Enter Agent ID"});
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);
    m_tx->cmdSend_Click({"5", "", ""});
    m_tx->cmdSend_Click({"5", "032", ""});
    // An agent that is not a number is asked for again, never read as agent "000".
    m_fx->writeFile("0000325d.txt", test::downloadFile(1, "000"));
    m_tx->cmdSend_Click({"abc", "0325", ""});
    m_tx->cmdSend_Click({"1x", "0325", ""});
    QCOMPARE(m_rec->texts(), QStringList({"Enter Agent ID", "Enter Date", "Enter Date",
                                          "Enter Agent ID", "Enter Agent ID"}));
    QCOMPARE(focus.size(), 5);
    QCOMPARE(focus[0][0].value<DownloadTransfer::Entry>(), DownloadTransfer::Entry::Agent);
    QCOMPARE(focus[2][0].value<DownloadTransfer::Entry>(), DownloadTransfer::Entry::Date);
    QCOMPARE(focus[3][0].value<DownloadTransfer::Entry>(), DownloadTransfer::Entry::Agent);
    QCOMPARE(focus[4][0].value<DownloadTransfer::Entry>(), DownloadTransfer::Entry::Agent);
    QCOMPARE(m_fx->bankRows("000            "), 0);
    QCOMPARE(m_port->opened, 0);
}

void TestDownloadTransfer::missingFile() {
    QSignalSpy sending(m_tx.get(), &DownloadTransfer::sendingChanged);
    m_tx->cmdSend_Click({"12", "0107", ""});
    QCOMPARE(m_rec->texts(), QStringList{"File does not exist!"});
    QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
    QCOMPARE(sending.size(), 2);  // disabled, then enabled again
    QVERIFY(!m_tx->isSending());
    QVERIFY(QDir(m_fx->pf.path()).exists("DownLoadData") == false);
}

void TestDownloadTransfer::refusedBeforeAnythingIsSent_data() {
    QTest::addColumn<QString>("agent");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QByteArray>("file");  // written as the file of the agent and day typed
    QTest::addColumn<QString>("message");  // %F: the file's path
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("focus");  // -1 none, else the entry

    const QString nothing = "Nothing was stored and nothing was sent.";
    const QString empty =
        "The download file %F is empty: it holds no account records.\n"
        "Ask the bank for the file again. " +
        nothing;
    const int critical = int(MsgIcon::Critical);
    QTest::newRow("empty file") << "5"
                                << "2503" << QByteArray() << empty << critical << -1;
    QTest::newRow("blank lines only")
        << "5"
        << "2503" << QByteArray("\r\n   \r\n\t\n\n") << empty << critical << -1;
    QTest::newRow("byte-order mark and a line end")
        << "5"
        << "2503" << QByteArray("\xEF\xBB\xBF\r\n") << empty << critical << -1;

    auto otherAgent = [&nothing](const QString& id, int line, const QString& typed) {
        return QString(
                   "The download file %F holds the accounts of agent %1 (line %2), not of "
                   "agent %3.\nCheck the agent ID, or ask the bank for the file of agent %3. ")
                   .arg(id)
                   .arg(line)
                   .arg(typed) +
               nothing;
    };
    QTest::newRow("file of agent 7")
        << "5"
        << "2503" << test::downloadFile(3, "007") << otherAgent("007", 1, "5") << critical << -1;
    QByteArray mixed = test::downloadFile(4);
    mixed.replace(2 * 176 + 123, 3, "006");  // the third record
    QTest::newRow("one record of agent 6")
        << "5"
        << "2503" << mixed << otherAgent("006", 3, "5") << critical << -1;
    QTest::newRow("agent 50 is not agent 5")
        << "5"
        << "2503" << test::downloadFile(2, "050") << otherAgent("050", 1, "5") << critical << -1;
    QTest::newRow("agent 5 is not agent 12")
        << "12"
        << "2503" << test::downloadFile(2) << otherAgent("005", 1, "12") << critical << -1;
    QTest::newRow("agent ID not a number") << "5"
                                           << "2503" << test::downloadFile(2, "AG005")
                                           << otherAgent("AG005", 1, "5") << critical << -1;
    QTest::newRow("no agent ID")
        << "5"
        << "2503" << test::downloadFile(2, "   ")
        << "The download file %F does not name its agent: no record has an agent ID in columns "
           "124-138.\nAsk the bank for the file again. " +
               nothing
        << critical << -1;

    const int none = int(MsgIcon::None);
    QTest::newRow("record cut short")
        << "5"
        << "2503" << test::downloadFile(2) + QByteArray(133, 'x') + "\r\n"
        << "Error in DATA FORMAT\nLine 3: \"" + QString(40, 'x') + "...\"" << none << -1;
    QTest::newRow("record cut short, control characters")
        << "5"
        << "2503"
        << test::downloadFile(1) +
               "BR001\tS\x01"
               "DDS01\r\n"
        << "Error in DATA FORMAT\nLine 2: \"BR001<09>S<01>DDS01\"" << none << -1;

    const int information = int(MsgIcon::Information);
    for (const char* day : {"3102", "3004x", "0000", "9999", "3104", "0013", "1200", "3a02"}) {
        QTest::newRow(day) << "5" << day << test::downloadFile(2)
                           << QString(day) +
                                  " is not a day and month. Enter the date as ddmm, "
                                  "for example 2503 for 25 March."
                           << information << int(DownloadTransfer::Entry::Date);
    }
}

// A download refused before the port opens: the message says why, the accounts stored for the
// agent (and for any other) are as they were, nothing goes out on the line.
void TestDownloadTransfer::refusedBeforeAnythingIsSent() {
    QFETCH(QString, agent);
    QFETCH(QString, date);
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    QFETCH(int, icon);
    QFETCH(int, focus);
    BankDataStore store(*m_fx->db);
    for (const QByteArray id : {"005", "007"}) {
        const DownloadFileContents earlier = parseDownloadFile(test::downloadFile(2, id));
        QVERIFY(store.replaceAgentRows(earlier.agentId, bankDataRows(earlier, "bank/old.txt")));
    }
    const auto before5 = store.agentRows("005            ");
    const auto before7 = store.agentRows("007            ");
    const QString name = QString("%1").arg(agent.toInt(), 3, 10, QChar('0')) + date + "d.txt";
    m_fx->writeFile(name, file);
    QSignalSpy focused(m_tx.get(), &DownloadTransfer::focusEntry);
    answerAll();
    m_tx->cmdSend_Click({agent, date, "3"});
    QTest::qWait(5);
    message.replace("%F", QDir::toNativeSeparators(QDir(m_fx->bankFolder).filePath(name)));
    QCOMPARE(m_rec->texts(), QStringList{message});
    QCOMPARE(int(m_rec->last().icon), icon);
    QCOMPARE(focused.size(), focus < 0 ? 0 : 1);
    if (focus >= 0) {
        QCOMPARE(int(focused[0][0].value<DownloadTransfer::Entry>()), focus);
    }
    QCOMPARE(m_port->opened, 0);
    QVERIFY(m_port->written.isEmpty());
    QVERIFY(!m_tx->isSending());
    QCOMPARE(store.agentRows("005            "), before5);
    QCOMPARE(store.agentRows("007            "), before7);
    QCOMPARE(before5.size(), 2);
}

void TestDownloadTransfer::acceptedFiles_data() {
    QTest::addColumn<QString>("agent");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("storedAgent");  // the agent ID of the stored rows and the header
    QTest::addColumn<QString>("name");         // ACName of account 100000 as stored
    QTest::addColumn<QByteArray>("sentName");  // and as its frame carries it (28 bytes)
    QTest::addColumn<QString>("note");         // the completion message's second line

    const QString id5 = "005            ";
    const QByteArray depositor = "DEPOSITOR 0000";
    auto withName = [](const QString& name) {
        return test::utf8Line(test::downloadLine(0, ""), 43, 50, name) + "\r\n" +
               test::downloadLine(1, "DEPOSITOR 0001") + "\r\n";
    };
    auto note = [](int accounts, int fields) {
        return QString(
                   "%1 had characters the terminal cannot show (in %2); each was stored and "
                   "sent as \"?\".")
            .arg(accounts == 1 ? "1 account" : QString("%1 accounts").arg(accounts),
                 fields == 1 ? "1 field" : QString("%1 fields").arg(fields));
    };
    QTest::newRow("agent 005 typed 5")
        << "5"
        << "2503" << test::downloadFile(3) << id5 << QString(depositor) << depositor << QString();
    QTest::newRow("agent 5 typed 005") << "005"
                                       << "2503" << test::downloadFile(3, "5") << "5              "
                                       << QString(depositor) << depositor << QString();
    QTest::newRow("agent '  12' typed 12")
        << "12"
        << "2503" << test::downloadFile(3, "  12") << "  12           " << QString(depositor)
        << depositor << QString();
    // A record repaired from a broken line ends at column 116, before the agent's columns: it
    // belongs to the file's agent, and the rows are stored with the agent the file names.
    QByteArray repaired = test::downloadLine(7, "SHORT");
    repaired = repaired.left(40) + "\r\n" + QByteArray(24, 'N') + "00001234NNN00500NNN07/" + "\r\n";
    QTest::newRow("last record without agent") << "5"
                                               << "2503" << test::downloadFile(2) + repaired << id5
                                               << QString(depositor) << depositor << QString();
    QTest::newRow("29 February") << "5"
                                 << "2902" << test::downloadFile(2) << id5 << QString(depositor)
                                 << depositor << QString();
    const QString jose = QString::fromUtf8("JOSÉ ÑOÑO");
    QTest::newRow("UTF-8 Latin-1 letters")
        << "5"
        << "2503" << withName(jose) << id5 << jose << QByteArray("JOS\xC9 \xD1O\xD1O") << QString();
    QTest::newRow("Latin-1 file") << "5"
                                  << "2503" << test::downloadLine(0, "JOS\xC9 \xD1O\xD1O") + "\r\n"
                                  << id5 << jose << QByteArray("JOS\xC9 \xD1O\xD1O") << QString();
    QTest::newRow("byte-order mark, Cyrillic")
        << "5"
        << "2503"
        << "\xEF\xBB\xBF" + withName(QString::fromUtf8("ИВАН ") + "RAO") << id5 << "???? RAO"
        << QByteArray("???? RAO") << note(1, 1);
    // Two accounts, three fields: the first one's name and branch, the second one's name.
    QString first = QString::fromLatin1(test::downloadLine(0, ""));
    first.replace(0, 5, QString::fromUtf8("BRŽ01"));
    first.replace(42, 50, QString::fromUtf8("ŁUKASZ").leftJustified(50));
    const QByteArray second = test::utf8Line(test::downloadLine(1, ""), 43, 50,
                                             QString::fromUtf8("RAVI \xF0\x9F\x98\x80"));
    QTest::newRow("two accounts, three fields")
        << "5"
        << "2503" << first.toUtf8() + "\n" + second + "\n" + test::downloadLine(2, "X") << id5
        << "?UKASZ" << QByteArray("?UKASZ") << note(2, 3);
}

// Files the download takes: the agent ID in its accepted forms, the possible days, and text
// in Latin-1 or UTF-8; what is stored is what the terminal is sent.
void TestDownloadTransfer::acceptedFiles() {
    QFETCH(QString, agent);
    QFETCH(QString, date);
    QFETCH(QByteArray, file);
    QFETCH(QString, storedAgent);
    QFETCH(QString, name);
    QFETCH(QByteArray, sentName);
    QFETCH(QString, note);
    answerAll();
    m_fx->writeFile(QString("%1").arg(agent.toInt(), 3, 10, QChar('0')) + date + "d.txt", file);
    m_tx->cmdSend_Click({agent, date, "3"});
    QTRY_COMPARE(m_completed, 1);
    const QString done = "Download Completed Successfully!";
    QCOMPARE(m_rec->texts(), QStringList{note.isEmpty() ? done : done + "\n" + note});
    const QVector<BankDataRow> rows = BankDataStore(*m_fx->db).agentRows(storedAgent);
    QCOMPARE(rows.size(), m_tx->accountTotal());
    QCOMPARE(rows[0].ACNumber, QString("000000000100000"));
    QCOMPARE(rows[0].ACName.trimmed(), name);
    QCOMPARE(m_port->written[0].mid(26, 15), storedAgent.toLatin1());  // the header's agent
    int found = 0;
    for (const QByteArray& f : m_port->written) {
        if (f.size() == 137 && f.mid(15, 15) == "000000000100000") {
            QCOMPARE(f.mid(30, 28), sentName.leftJustified(28, ' '));
            ++found;
        }
    }
    QCOMPARE(found, 1);
}

void TestDownloadTransfer::tooManyRecords() {
    for (int n : {2001, 2600}) {
        m_rec->clear();
        m_fx->writeFile("0052503d.txt", test::downloadFile(n));
        m_tx->cmdSend_Click({"5", "2503", ""});
        QCOMPARE(m_rec->texts(),
                 QStringList{"No.of records has exceeded 2000,Please check the DownLoad File"});
        QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
        QCOMPARE(m_fx->bankRows(), 0);
        QCOMPARE(m_port->opened, 0);
    }
}

void TestDownloadTransfer::accountsCheckedBeforeThePortOpens_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("reason");  // empty: the account is sent
    QTest::newRow("balance with a letter")
        << 95 << QByteArray("0001x345") << "the balance \"0001x345\" is not an amount";
    QTest::newRow("agreed amount negative")
        << 106 << QByteArray("-0500") << "the agreed amount \"-0500\" is not an amount";
    QTest::newRow("opening date with letters")
        << 139 << QByteArray("2a/03/2009") << "the opening date \"2a0309\" is not a date ddmmyy";
    QTest::newRow("last transaction date cut")
        << 149 << QByteArray("06/1 /2026") << "the last transaction date \"061 26\"";
    QTest::newRow("day and month padded with a blank") << 139 << QByteArray(" 1/ 3/2009") << "";
}

// An account value its frame cannot carry stops the download before the port is opened:
// the message names the account and the line, nothing is stored and nothing sent.
void TestDownloadTransfer::accountsCheckedBeforeThePortOpens() {
    QFETCH(int, column);
    QFETCH(QByteArray, value);
    QFETCH(QString, reason);
    QList<QByteArray> lines = test::downloadFile(4).split('\n');
    lines[2].replace(column - 1, value.size(), value);  // the third account, line 3
    answerAll();
    m_fx->writeFile("0052503d.txt", lines.join('\n'));
    m_tx->cmdSend_Click({"5", "2503", "3"});
    if (reason.isEmpty()) {
        QTRY_COMPARE(m_completed, 1);
        // Sent pair by pair: 01 03 09 at positions 67-69 of the third account's frame.
        bool found = false;
        for (const QByteArray& f : m_port->written) {
            if (f.size() == 137 && f.mid(15, 15) == "000000000100002") {
                QCOMPARE(f.mid(66, 3), QByteArray::fromHex("010309"));
                found = true;
            }
        }
        QVERIFY(found);
        return;
    }
    QCOMPARE(m_rec->messages.size(), 1);
    const QString text = m_rec->last().text;
    QVERIFY2(text.startsWith("The account 000000000100002 on line 3 of "), qPrintable(text));
    QVERIFY2(text.contains(reason), qPrintable(text));
    QVERIFY(text.endsWith("Nothing was stored and nothing was sent."));
    QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
    QCOMPARE(m_port->opened, 0);
    QCOMPARE(m_fx->bankRows(), 0);
    QVERIFY(!m_tx->isSending());
}

void TestDownloadTransfer::portThatCannotBeOpenedStoresNothing() {
    m_port->openError = "Serial port 1 (/dev/ttyS0) could not be opened: Permission denied.";
    start(3);
    QCOMPARE(m_rec->texts(), QStringList{m_port->openError});  // one message
    QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
    QCOMPARE(m_fx->bankRows(), 0);
    QVERIFY(!m_tx->isSending());
    QVERIFY(m_port->written.isEmpty());
}

void TestDownloadTransfer::portFailingMidwayEndsTheTransfer() {
    start(3);
    m_port->inject(ack(0));
    QTRY_COMPARE(m_port->written.size(), 2);
    m_port->fail("Serial port 1 (/dev/ttyUSB0) stopped working: No such device.");
    QCOMPARE(m_rec->messages.size(), 1);
    QVERIFY(m_rec->last().text.startsWith("Serial port 1 (/dev/ttyUSB0) stopped working"));
    QVERIFY(!m_tx->isSending());
    m_tx->Timer2_Timer();  // nothing is written to the closed port, nothing crashes
    QCOMPARE(m_port->written.size(), 2);
}

void TestDownloadTransfer::secondDownloadGetsTimeOutResends() {
    answerAll();
    start(1);
    QTRY_COMPARE(m_completed, 1);
    QVERIFY(m_tx->linkDone());
    disconnect(m_port.get(), &test::FakeSerialLink::wrote, this, nullptr);
    m_tx->cmdSend_Click({"5", "2503", ""});
    QVERIFY(!m_tx->linkDone());
    const int before = m_port->written.size();
    m_tx->Timer2_Timer();
    QCOMPARE(m_port->written.size(), before + 1);
}

void TestDownloadTransfer::fullDownloadOf2000Accounts() {
    answerAll();
    start(2000);
    QTRY_COMPARE_WITH_TIMEOUT(m_completed, 1, 30000);
    QCOMPARE(m_fx->bankRows(), 2000);
    QCOMPARE(m_port->written.size(), 2002);
    QCOMPARE(link::recordNumberOf(m_port->written[2000]).value_or(0), 2001);
    QCOMPARE(m_progress.last(), qMakePair(2000, 2000));
}

void TestDownloadTransfer::messageHoldsTheTransfer() {
    start(3);
    m_port->inject(ack(0));
    QTRY_COMPARE(m_port->written.size(), 2);
    for (int i = 0; i < 4; ++i) {
        m_tx->Timer2_Timer();
    }
    // The fifth time-out shows the cable message; while it is up the terminal answers.
    m_rec->whileShown([this](const MessageRequest&) {
        m_port->inject(ack(2));
        QTest::qWait(30);
        QCOMPARE(m_port->written.size(), 6);  // nothing of the transfer ran meanwhile
    });
    m_tx->Timer2_Timer();
    m_rec->whileShown(nullptr);
    QCOMPARE(m_rec->count("Please Check the Communication Cable"), 1);
    QCOMPARE(m_port->written.size(), 7);               // the time-out finished: record 2 again
    QTRY_COMPARE(records(m_port->written).last(), 3);  // then the held AACK 2 moved it on
}

void TestDownloadTransfer::transferLogRecordsTheExchange() {
    answerAll();
    start(1);
    QTRY_COMPARE(m_completed, 1);
    QFile f(m_fx->log->currentFilePath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QVERIFY(text.contains("BEGIN download: agent 005, file "));
    QVERIFY(text.contains(" TX 01 FF 10 F0 44 00 82 00 00"));
    // The header carries the terminal's passwords (0042 and 1234): never in the log.
    const QString header = text.section('\n', 1, 1);
    QVERIFY2(header.contains(" 33 ** ** ** ** 31 ** ** ** ** 30 30 35 32 35 30 33 "),
             qPrintable(header));
    // ... nor the checksum, which gives away the sum of their digits.
    QVERIFY(header.endsWith(" 20 ** (the terminal's passwords masked)"));
    QVERIFY(!text.contains("30 30 34 32 31 31 32 33 34"));
    QCOMPARE(m_port->written[0].mid(113, 9), QByteArray("004211234"));  // the wire keeps them
    QVERIFY(text.contains(" RX 01 FF 10 F0 44 00 07 00 02 41 41 43 4B"));
    QVERIFY(text.contains(" END completed: 1 accounts sent"));
}

void TestDownloadTransfer::revisionsOnAcksWithoutReliableNumbers_data() {
    QTest::addColumn<int>("revision");
    QTest::newRow("2.0") << int(Revision::V2_0);
    QTest::newRow("2.1") << int(Revision::V2_1);
}

// Older firmware answers every frame with "AACK" and a number that means nothing: here 9 for
// the odd replies and none at all (AACK at position 1) for the even ones.
void TestDownloadTransfer::revisionsOnAcksWithoutReliableNumbers() {
    QFETCH(int, revision);
    m_tx->setRules(DownloadRules::forRevision(Revision(revision)));
    if (revision == int(Revision::V2_1)) {
        m_tx->setTimings({1, 30, 60000, 5});
    }
    int n = 0;
    answerWith([&n](const QByteArray& f) -> QByteArray {
        if (link::recordNumberOf(f) == 0 && !isEnd(f)) {
            return ack(0);
        }
        return (n++ % 2) ? ack(9) : QByteArray("AACK" + QByteArray(10, ' '));
    });
    start(4);
    if (revision == int(Revision::V2_0)) {
        QTRY_COMPARE(m_rec->count("Download Completed Successfully"), 1);
        QCOMPARE(records(m_port->written), QList<int>({0, 2, 3, 4, 5, -1}));
        QVERIFY(m_port->isOpen());  // revision 2.0 leaves the port open
        QCOMPARE(m_completed, 0);   // and the entries as they are
    } else {
        // Every mismatch steps back two: revision 2.1 never gets past the first record, and
        // the operator is told to check the cable after the fifth refusal.
        QTRY_COMPARE(m_rec->count("Please Check the Communication Cable"), 1);
        // The fifth refusal shows the message; record 2 goes again at the next time-out.
        QTRY_VERIFY(m_port->written.size() >= 7);
        QCOMPARE(records(m_port->written).mid(0, 7), QList<int>({0, 2, 2, 2, 2, 2, 2}));
        QVERIFY(!records(m_port->written).contains(-1));
    }
}

void TestDownloadTransfer::revision20IgnoresClosAndBack() {
    m_tx->setRules(DownloadRules::forRevision(Revision::V2_0));
    start(2);
    m_port->inject(ack(0));
    QTRY_COMPARE(m_port->written.size(), 2);
    m_port->inject(link::buildShortFrame('D', 2, "CLOS"));
    QTest::qWait(10);
    QCOMPARE(m_rec->messages.size(), 0);
    QVERIFY(m_tx->isSending());
    QCOMPARE(m_port->written.size(), 2);  // a reply without AACK or NACK sends nothing
    m_port->inject(ack(2));
    QTRY_COMPARE(records(m_port->written).last(), 3);
}

void TestDownloadTransfer::revision20SendAgainRestartsCleanly() {
    m_tx->setRules(DownloadRules::forRevision(Revision::V2_0));
    start(3);
    m_port->inject(ack(0));
    QTRY_COMPARE(m_port->written.size(), 2);
    m_port->inject(ack(2));
    QTRY_COMPARE(m_port->written.size(), 3);
    m_port->written.clear();
    m_tx->cmdSend_Click({"5", "2503", ""});               // Send again in the middle
    QCOMPARE(records(m_port->written), QList<int>({0}));  // a new header, nothing of the old
    m_tx->Timer3_Timer();
    QCOMPARE(records(m_port->written), QList<int>({0}));  // the old transfer's state is gone
    answerAll();
    m_port->inject(ack(0));
    QTRY_COMPARE(m_rec->count("Download Completed Successfully"), 1);
    QCOMPARE(records(m_port->written), QList<int>({0, 2, 3, 4, -1}));
}

QTEST_GUILESS_MAIN(TestDownloadTransfer)
#include "tst_downloadtransfer.moc"
