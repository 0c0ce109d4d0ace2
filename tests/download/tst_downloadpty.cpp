// Whole downloads over a pseudo-terminal against the terminal simulator, through the
// program's own serial line (ports/com1 linked to the pseudo-terminal).
#include "DownloadFixture.h"
#include "core/Clock.h"
#include "download/DownloadTransfer.h"
#include "hht-sim/PtyDevice.h"
#include "hht-sim/Terminal.h"
#include "link/Frame.h"
#include "link/SerialPortLink.h"
#include "support/MessageRecorder.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QtTest>

using namespace kovrin;

static const kovrin::FixedClock kMorning(QDateTime(QDate(2026, 3, 25), QTime(8, 30, 15)));

namespace {

// The frames are built here from the file's columns, byte by byte, without the program's
// encoders: packed BCD of a digit string, text cut or padded, the checksum.
QByteArray bcd(const QByteArray& digits) {
    QByteArray out;
    for (int i = 0; i + 1 < digits.size(); i += 2) {
        out += char(((digits[i] - '0') << 4) | (digits[i + 1] - '0'));
    }
    return out;
}

QByteArray finish(QByteArray frame) {
    int sum = 0;
    for (int i = 9; i < frame.size(); ++i) {
        sum += quint8(frame[i]);
    }
    frame += char((256 - sum % 256) % 256);
    return frame;
}

QByteArray accountFrame(int record, const QByteArray& line) {
    QByteArray f = QByteArray::fromHex("01FF10F0440082");
    f += char(record >> 8);
    f += char(record & 0xFF);
    f += line.mid(15, 1) + line.mid(16, 5) + line.mid(21, 15);
    f += line.mid(42, 28);  // the name cut to 28 (the file's 50 are padded already)
    f += bcd(line.mid(94, 8).rightJustified(10, '0'));
    f += bcd(line.mid(105, 5).rightJustified(6, '0'));
    f += bcd(line.mid(138, 2) + line.mid(141, 2) + line.mid(146, 2));
    f += bcd(line.mid(148, 2) + line.mid(151, 2) + line.mid(156, 2));
    f += QByteArray(64, ' ');
    return finish(f);
}

QByteArray headerFrame(int accounts, const QByteArray& line) {
    QByteArray f = QByteArray::fromHex("01FF10F044008200 00");
    f += char(accounts >> 8);
    f += char(accounts & 0xFF);
    f += line.mid(0, 15) + line.mid(123, 15);
    f += "1";  // font size Big
    f += QByteArray("Kovrin Co-operative Bank").leftJustified(48, ' ');
    f += QByteArray("Market Road").leftJustified(22, ' ');
    f += "3";  // number of transactions typed
    f += "0042"
         "1"
         "1234";                               // download password, constant, setup password
    f += "0052503";                            // download key
    f += QByteArray::fromHex("250326083015");  // 25/03/26 08:30:15
    f += " ";
    return finish(f);
}

}  // namespace

class TestDownloadPty : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void framesEqualThoseBuiltFromTheFile();
    void faultsOnTheLine_data();
    void faultsOnTheLine();
    void cableMessageLeftUp();
    void terminalNotInDownloadMode();
    void revision20AdvancesWhere21StepsBack();
    void twoThousandAccounts();
    void lineLostMidway();
    void busyPortIsNamed_data();
    void busyPortIsNamed();

private:
    void setUp(const sim::TerminalConfig& config);
    void send(const QByteArray& file);

    std::unique_ptr<test::DownloadFixture> m_fx;
    std::unique_ptr<sim::PtyDevice> m_device;
    std::unique_ptr<sim::Terminal> m_terminal;
    std::unique_ptr<link::SerialPortLink> m_port;
    std::unique_ptr<DownloadTransfer> m_tx;
    std::unique_ptr<test::MessageRecorder> m_rec;
    int m_completed = 0;
    // The terminal's header and accounts after a clean download, by number of accounts.
    QMap<int, QPair<QByteArray, QMap<int, QByteArray>>> m_clean;
};

void TestDownloadPty::init() {
    m_fx = std::make_unique<test::DownloadFixture>();
    m_rec = std::make_unique<test::MessageRecorder>();
    m_completed = 0;
}

void TestDownloadPty::cleanup() {
    m_tx.reset();
    m_port.reset();
    m_terminal.reset();
    m_device.reset();
    m_rec.reset();
    m_fx.reset();
}

void TestDownloadPty::setUp(const sim::TerminalConfig& config) {
    m_device = std::make_unique<sim::PtyDevice>();
    QCOMPARE(m_device->openPty(), QString());
    m_terminal = std::make_unique<sim::Terminal>(config);
    connect(m_device.get(), &sim::PtyDevice::received, m_terminal.get(), &sim::Terminal::feed);
    connect(m_terminal.get(), &sim::Terminal::output, m_device.get(), &sim::PtyDevice::write);
    QVERIFY(QDir(m_fx->pf.path()).mkpath("ports"));
    QVERIFY(QFile::link(m_device->devicePath(), m_fx->pf.filePath("ports/com1")));
    m_port = std::make_unique<link::SerialPortLink>(m_fx->pf.path(), [] { return QString("1"); });
    m_tx = std::make_unique<DownloadTransfer>(*m_fx->db, m_fx->settings, m_fx->pf.path(), *m_port,
                                              *m_fx->log);
    m_tx->setClock(kMorning);
    m_tx->setTerminalPasswords("0042", "1234");
    m_tx->setTimings({10, 300, 1500, 60});
    connect(m_tx.get(), &DownloadTransfer::completed, this, [this] { ++m_completed; });
}

void TestDownloadPty::send(const QByteArray& file) {
    m_fx->writeFile("0052503d.txt", file);
    m_tx->cmdSend_Click({"5", "2503", "3"});
}

void TestDownloadPty::framesEqualThoseBuiltFromTheFile() {
    setUp({});
    // Sent in name order without regard to case, then by opening date.
    const QByteArray l1 = test::downloadLine(1, "ravi", "005", "02/01/2020");
    const QByteArray l2 = test::downloadLine(2, "Anand Prakash Srinivasan Iyer Long Name");
    const QByteArray l3 = test::downloadLine(3, "RAVI", "005", "01/01/2020");
    send(l1 + "\r\n" + l2 + "\r\n" + l3 + "\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(m_completed, 1, 10000);
    QCOMPARE(m_rec->texts(), QStringList{"Download Completed Successfully!"});
    const QList<QByteArray>& got = m_terminal->receivedFrames();
    QCOMPARE(got.size(), 5);
    QCOMPARE(got[0], headerFrame(3, l3));  // branch and agent of the last record read
    QCOMPARE(got[1], accountFrame(2, l2));
    QCOMPARE(got[2], accountFrame(3, l3));
    QCOMPARE(got[3], accountFrame(4, l1));
    QCOMPARE(got[4], QByteArray::fromHex("01FF10F044000700004F564552C4"));
    QVERIFY(m_terminal->endReceived());
    QVERIFY(!m_port->isOpen());
}

void TestDownloadPty::faultsOnTheLine_data() {
    QTest::addColumn<QStringList>("faults");  // name=value, as on hht-sim's command line
    QTest::addColumn<bool>("paced");          // the terminal answers at 19200 baud
    QTest::addColumn<int>("accounts");
    QTest::addColumn<int>("extraFrames");  // frames sent beyond a clean run's; -1: any number
    QTest::newRow("NACK for record 3") << QStringList{"nack-at=3"} << false << 6 << -1;
    QTest::newRow("wrong number for record 4")
        << QStringList{"wrong-number-at=4"} << false << 6 << -1;
    QTest::newRow("silence for record 2") << QStringList{"silent-at=2:2"} << false << 6 << -1;
    QTest::newRow("bad checksum on record 5")
        << QStringList{"bad-checksum-at=5"} << false << 6 << -1;
    QTest::newRow("replies in pieces") << QStringList{"split=3"} << false << 6 << 0;
    QTest::newRow("glued replies") << QStringList{"glue-at=3"} << false << 6 << -1;
    // A terminal's own timing, at 19200 baud: the PC waits 300 ms for an answer. A late
    // answer costs the record before it and the record itself again, nothing more.
    QTest::newRow("late acknowledgement") << QStringList{"late-at=4:450"} << true << 6 << 2;
    QTest::newRow("late header acknowledgement") << QStringList{"late-at=0:450"} << true << 6 << 1;
    QTest::newRow("duplicated acknowledgement") << QStringList{"twice-at=3"} << true << 6 << 0;
    QTest::newRow("stray bytes") << QStringList{"stray-at=3:5", "stray-at=5:40"} << true << 6 << 0;
    QTest::newRow("header NACK, then silence")
        << QStringList{"nack-at=0", "silent-at=0:2"} << true << 6 << 3;
    QTest::newRow("end frame NACK") << QStringList{"nack-end=2"} << true << 6 << 2;
    QTest::newRow("end frame silence") << QStringList{"silent-end=2"} << true << 6 << 2;
    QTest::newRow("one account, end frame lost") << QStringList{"silent-end=1"} << true << 1 << 1;
    // An answer that starts before the time-out and is still arriving when it is due: it gets
    // once the time a reply takes on the line and the margin. With the real 250 ms margin the
    // pieces (about 180, 240, 300 and 360 ms after the frame) leave a loaded PC 100 ms of slack.
    QTest::newRow("answer in pieces across the time-out")
        << QStringList{"piece-gap=250", "late-at=4:180", "split=4", "split-delay=60"} << true << 6
        << 0;
    // Revision 2.0 takes any acknowledgement; a terminal that answers only once a frame has
    // crossed the 19200-baud line. The last account's acknowledgement comes twice, the copies
    // one right after the other, the second while the end frame is going out: the end frame,
    // refused once, is sent again.
    QTest::newRow("2.0: last acknowledgement twice, end frame refused")
        << QStringList{"revision=2.0", "twice-at=21", "nack-end=1"} << false << 20 << 1;
}

// Whatever goes wrong on the line, the download ends complete with the terminal holding
// exactly the frames of a clean run, and the end frame acknowledged.
void TestDownloadPty::faultsOnTheLine() {
    QFETCH(QStringList, faults);
    QFETCH(bool, paced);
    QFETCH(int, accounts);
    QFETCH(int, extraFrames);
    sim::TerminalConfig config;
    config.paced = paced;
    const bool revision20 = faults.removeAll("revision=2.0") > 0;
    config.crossing = revision20;
    int pieceGapMs = 60;
    for (const QString& f : faults.filter(QStringLiteral("piece-gap="))) {
        pieceGapMs = f.section('=', 1).toInt();
        faults.removeAll(f);
    }
    const QString completion =
        revision20 ? "Download Completed Successfully" : "Download Completed Successfully!";
    if (!m_clean.contains(accounts)) {
        setUp(config);
        send(test::downloadFile(accounts));
        QTRY_COMPARE_WITH_TIMEOUT(m_completed, 1, 20000);
        m_clean[accounts] = {m_terminal->downloadHeader(), m_terminal->downloadAccounts()};
        QCOMPARE(m_clean[accounts].second.size(), accounts);
        cleanup();
        init();
    }
    const auto& [cleanHeader, cleanAccounts] = m_clean[accounts];
    for (const QString& f : faults) {
        QCOMPARE(sim::applyFault(config.faults, f.section('=', 0, 0), f.section('=', 1)),
                 QString());
    }
    setUp(config);
    m_tx->setTimings({10, 300, 1500, pieceGapMs});
    if (revision20) {
        m_tx->setRules(DownloadRules::forRevision(Revision::V2_0));
    }
    send(test::downloadFile(accounts));
    QTRY_COMPARE_WITH_TIMEOUT(m_rec->count(completion), 1, 20000);
    QVERIFY(m_terminal->endReceived());
    QCOMPARE(m_terminal->downloadHeader(), cleanHeader);
    QCOMPARE(m_terminal->downloadAccounts(), cleanAccounts);
    QCOMPARE(m_rec->texts(), QStringList{completion});
    QCOMPARE(m_fx->bankRows(), accounts);
    if (extraFrames >= 0) {
        QCOMPARE(int(m_terminal->receivedFrames().size()), accounts + 2 + extraFrames);
    }
}

// The terminal stays silent until the cable message comes (after five one-second time-outs),
// and the operator leaves the message up for six seconds, past the five-second watchdog.
// Nothing goes out while it is up; afterwards exactly one frame is on the line at a time.
void TestDownloadPty::cableMessageLeftUp() {
    sim::TerminalConfig config;
    config.paced = true;
    config.faults.silentAt[3] = 5;
    setUp(config);
    m_tx->setTimings({});  // the real intervals: 10 ms, 1 s, 5 s
    int framesWhileShown = -1;
    m_rec->whileShown([&](const MessageRequest&) {
        const int before = int(m_terminal->receivedFrames().size());
        QTest::qWait(6000);
        framesWhileShown = int(m_terminal->receivedFrames().size()) - before;
    });
    send(test::downloadFile(6));
    QTRY_COMPARE_WITH_TIMEOUT(m_completed, 1, 30000);
    QCOMPARE(m_rec->texts(), QStringList({"Please Check the Communication Cable",
                                          "Download Completed Successfully!"}));
    QCOMPARE(framesWhileShown, 0);
    QList<int> records;
    for (const QByteArray& f : m_terminal->receivedFrames()) {
        records << (f.size() == 14 ? -1 : link::recordNumberOf(f).value_or(-9));
    }
    // Record 3 unanswered five times, record 2 asked again after each first time-out.
    QCOMPARE(records, QList<int>({0, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 2, 3, 4, 5, 6, 7, -1}));
}

void TestDownloadPty::terminalNotInDownloadMode() {
    sim::TerminalConfig config;
    config.faults.backAt.insert(3);
    setUp(config);
    send(test::downloadFile(4));
    QTRY_COMPARE_WITH_TIMEOUT(m_rec->messages.size(), 1, 10000);
    QCOMPARE(m_rec->last().text,
             QString("Please goto Download Mode in the HandHeld Terminal and then Send Data!"));
    QVERIFY(!m_tx->isSending());
    QVERIFY(!m_port->isOpen());
    QCOMPARE(m_completed, 0);
}

void TestDownloadPty::revision20AdvancesWhere21StepsBack() {
    for (Revision revision : {Revision::V2_0, Revision::V2_1}) {
        cleanup();
        init();
        sim::TerminalConfig config;
        config.crossing = true;  // a terminal answers once the frame has reached it
        for (int r = 2; r <= 5; ++r) {
            config.faults.wrongNumberAt.insert(r);  // older firmware: numbers off by one
        }
        setUp(config);
        m_tx->setRules(DownloadRules::forRevision(revision));
        send(test::downloadFile(4));
        if (revision == Revision::V2_0) {
            QTRY_COMPARE_WITH_TIMEOUT(m_rec->count("Download Completed Successfully"), 1, 10000);
            QCOMPARE(m_terminal->receivedFrames().size(), 6);  // header, 4 accounts, end
        } else {
            // Revision 2.1 steps back at the first wrong number, then goes on once the
            // terminal (whose fault fires once per record) numbers its answers right.
            QTRY_COMPARE_WITH_TIMEOUT(m_completed, 1, 10000);
            QVERIFY(m_terminal->receivedFrames().size() > 6);
            QCOMPARE(m_rec->texts().last(), QString("Download Completed Successfully!"));
        }
        QCOMPARE(m_terminal->downloadAccounts().size(), 4);
    }
}

void TestDownloadPty::twoThousandAccounts() {
    setUp({});
    m_fx->writeFile("0052503d.txt", test::downloadFile(2000));
    QElapsedTimer t;
    t.start();
    m_tx->cmdSend_Click({"5", "2503", "3"});
    QTRY_COMPARE_WITH_TIMEOUT(m_completed, 1, 60000);
    const qint64 ms = t.elapsed();
    QCOMPARE(m_terminal->downloadAccounts().size(), 2000);
    QCOMPARE(m_fx->bankRows(), 2000);
    qInfo("2000-account download over a pseudo-terminal, simulator answering at once: %lld ms", ms);
}

// The terminal's end of the line goes away in the middle of a download (an adapter pulled):
// the line reports it, and the download ends with a message naming the port and the reason.
void TestDownloadPty::lineLostMidway() {
    sim::TerminalConfig config;
    config.paced = true;
    setUp(config);
    connect(m_terminal.get(), &sim::Terminal::frameReceived, this, [this](const QByteArray& f) {
        if (link::recordNumberOf(f) == 4) {
            QTimer::singleShot(0, this, [this] { m_device.reset(); });
        }
    });
    send(test::downloadFile(20));
    QTRY_VERIFY_WITH_TIMEOUT(!m_tx->isSending(), 10000);
    QCOMPARE(m_rec->messages.size(), 1);
    const QString text = m_rec->last().text;
    QVERIFY2(text.startsWith("Serial port 1 (") && text.contains("The download was stopped"),
             qPrintable(text));
    QCOMPARE(m_completed, 0);
    QVERIFY(!m_port->isOpen());
}

void TestDownloadPty::busyPortIsNamed_data() {
    QTest::addColumn<bool>("heldByAScreen");
    QTest::newRow("held by the Receive Data screen") << true;
    QTest::newRow("held by another program") << false;
}

// The port library reports a device locked by someone else as a permission error; the
// operator is told who holds it, never to join the "dialout" group.
void TestDownloadPty::busyPortIsNamed() {
    QFETCH(bool, heldByAScreen);
    setUp({});
    link::SerialPortLink receiveScreen(
        m_fx->pf.path(), [] { return QString("1"); }, "Receive Data");
    QSerialPort otherProgram;
    QString error;
    if (heldByAScreen) {
        QVERIFY(receiveScreen.open(&error));
    } else {
        otherProgram.setPortName(m_device->devicePath());
        QVERIFY(otherProgram.open(QIODevice::ReadWrite));
    }
    send(test::downloadFile(2));
    QCOMPARE(m_rec->messages.size(), 1);
    const QString port = QString("Serial port 1 (%1) is busy: ").arg(m_device->devicePath());
    if (heldByAScreen) {
        QCOMPARE(m_rec->last().text, port +
                                         "the Receive Data screen of this program is using "
                                         "it. Close the Receive Data screen, then try again.");
    } else {
        QCOMPARE(m_rec->last().text,
                 port + QString("another program is using the device (%1, process %2). Close "
                                "that program, then try again.")
                            .arg(QCoreApplication::applicationName())
                            .arg(QCoreApplication::applicationPid()));
    }
    QCOMPARE(m_fx->bankRows(), 0);  // nothing stored, nothing sent
    QVERIFY(m_terminal->receivedFrames().isEmpty());
    // Once the other holder lets go, the same screen sends.
    receiveScreen.close();
    otherProgram.close();
    m_tx->cmdSend_Click({"5", "2503", "3"});
    QTRY_COMPARE_WITH_TIMEOUT(m_completed, 1, 10000);
}

QTEST_GUILESS_MAIN(TestDownloadPty)
#include "tst_downloadpty.moc"
