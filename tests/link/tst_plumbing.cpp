// The plumbing shared by both transfers: held events while a message is up, the transfer
// log, and the port number to device rule.
#include "core/Clock.h"
#include "link/HeldEvents.h"
#include "link/PortMapping.h"
#include "link/SerialPortLink.h"
#include "link/TransferLog.h"
#include "support/FakeSerialLink.h"
#include "support/MessageRecorder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kovrin;
using namespace kovrin::link;

class TestPlumbing : public QObject {
    Q_OBJECT
private slots:
    void eventsWaitWhileAMessageIsUp();
    void staleTickIsDropped();
    void eventsRunAtOnceWithoutAMessage();
    void promptsAnsweredLaterHoldOnlyTheirOwnTransfer();
    void transferLogLines();
    void portNumbersNameDevices_data();
    void portNumbersNameDevices();
    void portMappingIsChecked();
};

void TestPlumbing::eventsWaitWhileAMessageIsUp() {
    test::FakeSerialLink port;
    QString error;
    QVERIFY(port.open(&error));
    TransferTimer timer;
    timer.setInterval(5);
    QStringList trace;
    HeldEvents* held = nullptr;
    held = new HeldEvents([&] { trace << "arrival:" + QString::fromLatin1(port.readAll()); },
                          [&](TransferTimer* t) {
                              trace << QString("tick");
                              t->stop();
                          },
                          &Messages::show, &port);
    connect(&port, &link::SerialLink::readyRead, held, &HeldEvents::arrival);
    connect(&timer, &TransferTimer::timeout, held, [&] { held->tick(&timer); });

    test::MessageRecorder rec;
    // While the message is on screen the terminal keeps sending and the timer keeps running.
    rec.whileShown([&](const MessageRequest&) {
        timer.start();
        port.inject("AA");
        QTest::qWait(30);
        port.inject("CK");
        QTest::qWait(30);
        trace << "answered";
    });
    held->show(
        {"t", "Please Check the Communication Cable", MsgIcon::Critical, MsgButtons::Ok, {}});
    trace << "step finished";
    QCOMPARE(trace, QStringList({"answered", "step finished"}));
    QCOMPARE(port.pendingBytes(), 4);  // the bytes waited in the port's buffer
    QTRY_COMPARE(trace.size(), 4);
    QCOMPARE(trace[2], QString("arrival:AACK"));
    QCOMPARE(trace[3], QString("tick"));  // the timer was not armed again: its tick comes after
}

// A tick noted while a message was up is dropped when the timer was stopped, or armed again
// for a new period, before the tick could be delivered: only the new period's tick counts.
void TestPlumbing::staleTickIsDropped() {
    for (const bool restart : {false, true}) {
        test::FakeSerialLink port;
        QString error;
        QVERIFY(port.open(&error));
        TransferTimer timer;
        timer.setInterval(5);
        int ticks = 0, arrivals = 0;
        HeldEvents held(
            [&] {
                ++arrivals;
                port.readAll();
                if (restart) {
                    timer.startFor(60);
                } else {
                    timer.stop();
                }
            },
            [&](TransferTimer*) { ++ticks; }, &Messages::show);
        connect(&port, &link::SerialLink::readyRead, &held, &HeldEvents::arrival);
        connect(&timer, &TransferTimer::timeout, &held, [&] { held.tick(&timer); });
        test::MessageRecorder rec;
        rec.whileShown([&](const MessageRequest&) {
            timer.start();
            QTest::qWait(20);
            port.inject("reply");
        });
        held.show({"t", "x", MsgIcon::Information, MsgButtons::Ok, {}});
        QTRY_COMPARE(arrivals, 1);
        QTest::qWait(20);
        QCOMPARE(ticks, 0);  // the noted tick belonged to a period that had ended
        if (restart) {
            QTRY_COMPARE(ticks, 1);  // the new period's own tick
        }
    }
}

void TestPlumbing::eventsRunAtOnceWithoutAMessage() {
    int arrivals = 0;
    TransferTimer t;
    QList<TransferTimer*> ticked;
    HeldEvents held([&] { ++arrivals; }, [&](TransferTimer* timer) { ticked << timer; },
                    &Messages::show);
    held.arrival();
    held.tick(&t);
    QCOMPARE(arrivals, 1);
    QCOMPARE(ticked, QList<TransferTimer*>{&t});
}

// Two transfers whose prompts are answered later (rows of the Transfer Station): each is held
// from its prompt to its answer, whatever the order of the answers, and the other is not; a
// transfer stopped meanwhile forgets its prompt, and an answer that comes after runs nothing.
void TestPlumbing::promptsAnsweredLaterHoldOnlyTheirOwnTransfer() {
    struct Transfer {
        test::FakeSerialLink port;
        std::unique_ptr<HeldEvents> held;
        std::function<void(MsgAnswer)> answer;  // the prompt's buttons
        QStringList trace;
    };
    Transfer a, b;
    for (Transfer* t : {&a, &b}) {
        QString error;
        QVERIFY(t->port.open(&error));
        t->held = std::make_unique<HeldEvents>(
            [t] { t->trace << "arrival:" + QString::fromLatin1(t->port.readAll()); },
            [](TransferTimer*) {}, &Messages::show);
        t->held->setPresenters(&Messages::show,
                               [t](const MessageRequest&, std::function<void(MsgAnswer)> answered) {
                                   t->answer = std::move(answered);
                               });
        connect(&t->port, &link::SerialLink::readyRead, t->held.get(), &HeldEvents::arrival);
        t->held->ask(
            {"t", "Error in CRC", MsgIcon::Critical, MsgButtons::OkCancel, {}},
            [t](MsgAnswer answer) { t->trace << (answer == MsgAnswer::Ok ? "OK" : "Cancel"); });
        QVERIFY(t->held->isHeld());
        t->port.inject("AACK");
    }
    QTest::qWait(20);
    QCOMPARE(a.trace, QStringList());
    QCOMPARE(b.trace, QStringList());
    b.answer(MsgAnswer::Cancel);  // the one asked last is answered first
    QTRY_COMPARE(b.trace, QStringList({"Cancel", "arrival:AACK"}));
    QCOMPARE(a.trace, QStringList());  // still waiting for its own answer
    a.answer(MsgAnswer::Ok);
    QTRY_COMPARE(a.trace, QStringList({"OK", "arrival:AACK"}));

    a.held->ask({"t", "Error in CRC", MsgIcon::Critical, MsgButtons::OkCancel, {}},
                [&a](MsgAnswer) { a.trace << "answered after the stop"; });
    a.held->forget();  // the transfer stopped
    QVERIFY(!a.held->isHeld());
    a.answer(MsgAnswer::Ok);
    a.port.inject("NACK");
    QTRY_COMPARE(a.trace.last(), QString("arrival:NACK"));
    QVERIFY(!a.trace.contains("answered after the stop"));
}

void TestPlumbing::transferLogLines() {
    QTemporaryDir dir;
    TransferLog log(dir.path());
    FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(10, 1, 2, 345)));
    log.setClock(clock);
    log.begin("download agent 005 file srv/0050325d.txt");
    log.sent(QByteArray::fromHex("01FF10F0440007"));
    log.received(
        QByteArray("\x00\x02"
                   "AACK",
                   6));
    log.event("time-out 1: record 2 sent again");
    log.end("completed");
    // Several transfers write at once: each line of a port's view names the port.
    TransferLog port3(log, [] { return QString("port 3"); });
    port3.event("header accepted");
    QFile f(dir.filePath("transfer-2026-12-08.log"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines, QStringList({
                        "10:01:02.345 BEGIN download agent 005 file srv/0050325d.txt",
                        "10:01:02.345 TX 01 FF 10 F0 44 00 07",
                        "10:01:02.345 RX 00 02 41 41 43 4B",
                        "10:01:02.345 EVENT time-out 1: record 2 sent again",
                        "10:01:02.345 END completed",
                        "10:01:02.345 port 3 EVENT header accepted",
                    }));
    // A transfer that runs past midnight goes on in the next day's file.
    clock.set(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59, 999)));
    log.begin("upload");
    clock.advance(8);
    log.received(QByteArray::fromHex("0a"));
    log.end("completed");
    QFile next(dir.filePath("transfer-2026-12-09.log"));
    QVERIFY(next.open(QIODevice::ReadOnly));
    QCOMPARE(next.readAll(), QByteArray("00:00:00.007 RX 0A\n00:00:00.007 END completed\n"));
    QVERIFY(f.seek(0));
    QVERIFY(f.readAll().endsWith("23:59:59.999 BEGIN upload\n"));
}

// The system reports a USB adapter under its stable name and the first on-board port.
const SystemPorts kReported = {{"/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0",
                                "/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A1B2C3"},
                               {"/dev/ttyS0", "/dev/ttyS0", "", "", ""}};

void TestPlumbing::portNumbersNameDevices_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("link");    // ports/comN made to point there ("" none)
    QTest::addColumn<QString>("mapped");  // the device the port is mapped to
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("shown");    // PortDevice::describe()
    QTest::addColumn<QString>("refusal");  // the start of the opening's refusal ("" opens)
    const QString none;
    const QString byId = kReported[0].device;
    QTest::newRow("link wins over a mapping")
        << "3"
        << "/dev/null" << byId << 3 << "/dev/null (present)" << none;
    QTest::newRow("a link to nothing is absent")
        << "4"
        << "nothing-here" << none << 4 << "%1/nothing-here (absent)" << none;
    QTest::newRow("mapped and reported")
        << " 2 " << none << byId << 2 << byId + " (present)" << none;
    QTest::newRow("mapped to its location")
        << "2" << none << "/dev/ttyUSB0" << 2 << "/dev/ttyUSB0 (present)" << none;
    QTest::newRow("mapped, not reported: absent, not another device")
        << "1" << none << "/dev/serial/by-id/usb-gone" << 1 << "/dev/serial/by-id/usb-gone (absent)"
        << "Serial port 1 (/dev/serial/by-id/usb-gone) is absent: the system does not report";
    QTest::newRow("ttyS reported") << "1" << none << none << 1 << "/dev/ttyS0 (present)" << none;
    QTest::newRow("ttyS not reported: no device") << "10" << none << none << 10 << "no device"
                                                  << "Serial port 10 has no device: no device is";
    for (const char* bad : {"", "0", "11", "COM3", "-1"}) {
        QTest::newRow(qPrintable(QString("setting \"%1\"").arg(bad)))
            << bad << none << none << 0 << "no device"
            << "The serial port is not set";
    }
}

void TestPlumbing::portNumbersNameDevices() {
    QFETCH(QString, setting);
    QFETCH(QString, link);
    QFETCH(QString, mapped);
    QFETCH(int, number);
    QFETCH(QString, shown);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("ports"));
    if (!link.isEmpty()) {
        const QString target = link.startsWith('/') ? link : dir.filePath(link);
        QVERIFY(QFile::link(target, dir.filePath("ports/com" + setting.trimmed())));
    }
    PortDirectory ports;
    int scans = 0;
    ports.setScanner([&scans] {
        ++scans;
        return kReported;
    });
    ports.rescan();
    if (number != 0) {
        ports.setMapping({{number, SystemPort{mapped, "", "", "", ""}}});
    }
    const PortDevice p = ports.resolve(dir.path(), setting);
    QCOMPARE(p.number, number);
    QCOMPARE(p.describe(), shown.replace("%1", dir.path()));
    if (refusal.isEmpty()) {
        return;
    }
    // An absent device is refused before anything is opened, saying what to do.
    SerialPortLink port(
        dir.path(), [setting] { return setting; }, "Send Data");
    port.setDirectory(&ports);
    QString error;
    QVERIFY(!port.open(&error));
    QVERIFY2(error.startsWith(refusal), qPrintable(error));
    QVERIFY(error.contains(number == 0 ? "Configuration screen" : "then try again"));
    QCOMPARE(scans, number == 0 ? 1 : 2);  // looked at again when opened
}

// Two ports on one device are found, by the device they lead to; the audit trail names
// each change.
void TestPlumbing::portMappingIsChecked() {
    QTemporaryDir dir;
    QVERIFY(QFile::link("/dev/null", dir.filePath("null-by-id")));
    QCOMPARE(sharedDevices({{1, "/dev/ttyUSB0"}, {2, ""}, {3, "/dev/ttyUSB1"}}), QStringList());
    QCOMPARE(sharedDevices({{1, "/dev/ttyUSB0"}, {4, "/dev/ttyUSB0"}, {7, "/dev/ttyUSB0"}}),
             QStringList{"port 1, port 4 and port 7 (/dev/ttyUSB0)"});
    QCOMPARE(sharedDevices({{2, "/dev/null"}, {5, dir.filePath("null-by-id")}}).size(), 1);
    QCOMPARE(mappingChanges({{1, "/dev/ttyUSB0"}, {2, "/dev/ttyUSB1"}},
                            {{2, "/dev/ttyUSB1"}, {3, "/dev/ttyUSB0"}}),
             QStringList({"port 1: /dev/ttyUSB0 -> none", "port 3: none -> /dev/ttyUSB0"}));
    QCOMPARE(kReported[0].label(), QString("ttyUSB0: FT232R USB UART, FTDI, serial A1B2C3"));

    // The system's devices are looked at again only when a device folder has changed.
    int scans = 0;
    WatchedPortScan watched([&scans] { return ++scans == 1 ? SystemPorts{} : kReported; },
                            {dir.path(), dir.filePath("by-id")});
    QVERIFY(watched().isEmpty());
    QVERIFY(watched().isEmpty());
    QCOMPARE(scans, 1);
    QVERIFY(QDir(dir.path()).mkdir("by-id"));  // an adapter plugged in
    QCOMPARE(watched(), kReported);
    QCOMPARE(watched(), kReported);
    QCOMPARE(scans, 2);

    // A link to a file is never opened as a port: nothing could be written to it.
    QFile file(dir.filePath("a-colleague's-file"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("kept\n") == 5);
    file.close();
    QVERIFY(QDir(dir.path()).mkdir("ports"));
    QVERIFY(QFile::link(file.fileName(), dir.filePath("ports/com5")));
    SerialPortLink port(
        dir.path(), [] { return QString("5"); }, "Send Data");
    QString error;
    QVERIFY(!port.open(&error));
    QCOMPARE(error, QString("Serial port 5 (%1) could not be opened: it is not a serial device. "
                            "Check the link ports/com5 in the program folder.")
                        .arg(file.fileName()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("kept\n"));
}

QTEST_GUILESS_MAIN(TestPlumbing)
#include "tst_plumbing.moc"
