// The hht-sim program in its own process, driven over its pseudo-terminal with
// QSerialPort.

#include "link/DownloadFrames.h"
#include "link/Frame.h"
#include "link/UploadFrames.h"
#include "support/SimHarness.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

using namespace kovrin;
using namespace kovrin::link;

namespace {

// Starts hht-sim and returns the device it prints, empty on failure.
QString start(QProcess& p, const QStringList& args) {
    p.start(QStringLiteral(HHT_SIM_PATH), args);
    if (!p.waitForStarted(5000)) {
        return {};
    }
    QDeadlineTimer deadline(10000);
    while (!p.canReadLine() && !deadline.hasExpired()) {
        p.waitForReadyRead(100);
    }
    const QString line = QString::fromLocal8Bit(p.readLine()).trimmed();
    return line.startsWith("device: ") ? line.mid(8) : QString();
}

QByteArray send(QSerialPort& port, const QByteArray& frame, int replyBytes) {
    port.write(frame);
    port.flush();
    return test::readAtLeast(port, replyBytes);
}

void writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

}  // namespace

class TestSimProcess : public QObject {
    Q_OBJECT

private slots:
    void uploadFromAScript() {
        QTemporaryDir dir;
        const QString script = dir.filePath("day.txt");
        writeFile(script,
                  "agent 5\ndate 0712\naccount S DD001 A1\ntxn 750 07/12/2026 09:45 17\n"
                  "fault twice-at 1\nfault stray-at 1:2\n");
        QProcess p;
        const QString device = start(p, {"--mode", "upload", "--script", script, "--linger", "0"});
        QVERIFY2(!device.isEmpty(), p.readAllStandardError().constData());
        QSerialPort port;
        QVERIFY2(test::openLinePort(port, device), qPrintable(port.errorString()));

        const CountInfo c = DecodeFifthProtocol(send(port, buildRequestFrame(0), 137));
        QVERIFY(c.ok);
        QCOMPARE(c.TotalRecords, 1);
        QCOMPARE(c.agentId, QString("005            "));
        // The script's faults: the header twice, then two stray bytes.
        const QByteArray twice = send(port, buildRequestFrame(1), 276);
        QCOMPARE(twice.size(), 276);
        QCOMPARE(twice.mid(137, 137), twice.left(137));
        QCOMPARE(twice.right(2), QByteArray("\x00\x7F", 2));
        const HeaderInfo h = DecodeThirdProtocol(twice.left(137));
        QCOMPARE(h.AgentDateKey, QString("0050712"));
        QCOMPARE(h.amountText, QString("750.00"));
        const QByteArray t = send(port, buildRequestFrame(2), 137);
        QVERIFY(CheckCRC(t));
        const TransactionFrame tf = decodeTransactionFrame(t, 2026);
        QCOMPARE(tf.transactions[0].DateTime, QString("07/12/2026 09:45"));
        QCOMPARE(tf.transactions[0].TransactionNumber, QString("0017"));

        port.write(buildEndFrame('U'));
        port.flush();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("upload ended with OVER"));
    }

    void downloadWithARejectedRecord() {
        QTemporaryDir dir;
        const QString out = dir.filePath("out");
        QProcess p;
        const QString device = start(p, {"--mode", "download", "--out", out, "--nack-at=2",
                                         "--split", "2", "--nack-end", "1", "--linger", "0"});
        QVERIFY2(!device.isEmpty(), p.readAllStandardError().constData());
        QSerialPort port;
        QVERIFY2(test::openLinePort(port, device), qPrintable(port.errorString()));

        HeaderFields hf;
        hf.accountCount = 1;
        hf.agentId = "AG005";
        hf.downloadKey = "0050712";
        hf.clock = QDateTime(QDate(2026, 12, 7), QTime(8, 0));
        const QByteArray header = buildHeaderFrame(hf).frame;
        const QByteArray a2 =
            buildAccountFrame(2, {"S", "DD001", "A1", "MEENA", "100", "10", "", ""}).frame;
        QCOMPARE(send(port, header, 14), buildShortFrame('D', 0, "AACK"));
        QCOMPARE(send(port, a2, 14), buildShortFrame('D', 2, "NACK"));
        QCOMPARE(send(port, a2, 14), buildShortFrame('D', 2, "AACK"));
        QCOMPARE(send(port, buildEndFrame('D'), 14), buildShortFrame('D', 0, "NACK"));
        QVERIFY(!QDir(out).exists());  // not complete until an end frame is acknowledged
        QCOMPARE(send(port, buildEndFrame('D'), 14), buildShortFrame('D', 0, "AACK"));
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);

        QFile list(QDir(out).filePath("accounts.txt"));
        QVERIFY(list.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(list.readAll());
        QVERIFY2(text.contains("agent id:        \"AG005          \""), qPrintable(text));
        QVERIFY(text.contains("     2 | S | DD001 | A1              | MEENA"));
        QVERIFY(text.endsWith("Problems\n  none\n"));
        QFile hexFile(QDir(out).filePath("frames.hex"));
        QVERIFY(hexFile.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = hexFile.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 5);  // header, record 2 twice, end frame twice
        QCOMPARE(lines[4], " 14: " + buildEndFrame('D').toHex(' '));
    }

    void badScriptStopsWithTheLine() {
        QTemporaryDir dir;
        const QString script = dir.filePath("bad.txt");
        writeFile(script, "agent 5\ndate 0712\naccount S DD001 A1\ntxn 7.5 07/12/2026 09:45 1\n");
        QProcess p;
        p.start(QStringLiteral(HHT_SIM_PATH), {"--mode", "upload", "--script", script});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("bad.txt: line 4: amount \"7.5\""));
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
