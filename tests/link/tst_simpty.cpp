// The simulated terminal on a real pseudo-terminal, the PC's end opened with QSerialPort.

#include "hht-sim/DownloadOutput.h"
#include "hht-sim/TerminalFrames.h"
#include "hht-sim/UploadScript.h"
#include "link/DownloadFrames.h"
#include "link/Frame.h"
#include "link/UploadFrames.h"
#include "support/SimHarness.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kovrin;
using namespace kovrin::link;
using kovrin::test::SimHarness;

namespace {

HeaderFields header(int accounts) {
    HeaderFields h;
    h.accountCount = accounts;
    h.branchId = "BR0001         ";
    h.agentId = "AG012          ";
    h.fontSize = "0";
    h.bankName = "Kovrin Bank";
    h.branchName = "Main Street";
    h.transactionDigit = "";
    h.downloadPassword = "1234";
    h.setupPassword = "5678";
    h.downloadKey = "0122512";
    h.clock = QDateTime(QDate(2026, 12, 25), QTime(9, 30, 0));
    return h;
}

AccountFields account(const QString& number, const QString& name, const QString& balance) {
    return {"S", "DD001", number, name, balance, "200", "010120", "241226"};
}

const char* kScript = R"(# agent 12, 25 December
agent 12
agent-id AG012
date 2512
account S DD001 ACC-1
txn 500 25/12/2026 10:15 1
txn 250.00 25/12/2026 11:40 2
account S DD001 ACC-2 no-transactions
)";

}  // namespace

class TestSimPty : public QObject {
    Q_OBJECT

private slots:
    void downloadOverAPseudoTerminal() {
        SimHarness sim({});
        QVERIFY2(sim.open(), qPrintable(sim.error()));
        QVERIFY(sim.device().devicePath().startsWith("/dev/"));
        QSignalSpy ended(&sim.terminal(), &sim::Terminal::ended);

        const QByteArray h = buildHeaderFrame(header(2)).frame;
        QCOMPARE(sim.exchange(h, 14), buildShortFrame('D', 0, "AACK"));
        const QByteArray a2 = buildAccountFrame(2, account("ACC-1", "ANITA", "1500")).frame;
        QCOMPARE(sim.exchange(a2, 14), buildShortFrame('D', 2, "AACK"));
        const QByteArray a3 = buildAccountFrame(3, account("ACC-2", "BALU", "75")).frame;
        const QByteArray ack3 = sim.exchange(a3, 14);
        QCOMPARE(parseDownloadReply(ack3).ackRecord, std::optional<int>(3));
        QCOMPARE(ended.count(), 0);
        QCOMPARE(sim.exchange(buildEndFrame('D'), 14), buildShortFrame('D', 0, "AACK"));
        QCOMPARE(ended.count(), 1);

        QCOMPARE(sim.terminal().receivedFrames(),
                 (QList<QByteArray>{h, a2, a3, buildEndFrame('D')}));
        const QString list = sim::accountListText(sim.terminal().downloadHeader(),
                                                  sim.terminal().downloadAccounts());
        QVERIFY2(list.contains("accounts:        2"), qPrintable(list));
        QVERIFY(list.contains("download key:    0122512"));
        QVERIFY(list.contains("PC date and time: 25/12/2026 09:30:00"));
        QVERIFY2(list.contains("     2 | S | DD001 | ACC-1           | ANITA" + QString(23, ' ') +
                               " | 0000001500 | 000200 | 010120 | 241226"),
                 qPrintable(list));
        QVERIFY(list.contains("     3 | S | DD001 | ACC-2           | BALU" + QString(24, ' ') +
                              " | 0000000075 | 000200 | 010120 | 241226"));
        QVERIFY(list.endsWith("Problems\n  none\n"));
    }

    void replySplitIntoPiecesArrivesWhole() {
        sim::TerminalConfig config;
        config.faults.splitPieces = 3;
        config.faults.splitDelayMs = 30;
        config.paced = true;
        SimHarness sim(config);
        QVERIFY2(sim.open(), qPrintable(sim.error()));
        sim.port().write(buildHeaderFrame(header(1)).frame);
        // The first piece alone is fewer than the 14 bytes of a reply.
        const QByteArray first = test::readAtLeast(sim.port(), 1);
        QVERIFY(!first.isEmpty());
        QVERIFY(first.size() < 14);
        const QByteArray rest = test::readAtLeast(sim.port(), 14 - static_cast<int>(first.size()));
        QCOMPARE(first + rest, buildShortFrame('D', 0, "AACK"));
    }

    void uploadOverAPseudoTerminal() {
        const sim::ScriptResult script = sim::parseUploadScript(kScript);
        QVERIFY2(script.ok, qPrintable(script.error));
        const sim::UploadFrames frames = sim::buildUploadFrames(script.script);
        QVERIFY2(frames.ok, qPrintable(frames.error));

        SimHarness sim({sim::Mode::Upload, {}, sim::Beyond::Zero, false, 200});
        sim.terminal().setUploadFrames(frames.frames);
        QVERIFY2(sim.open(), qPrintable(sim.error()));
        QSignalSpy ended(&sim.terminal(), &sim::Terminal::ended);

        const QByteArray count = sim.exchange(buildRequestFrame(0), 137);
        QVERIFY(CheckCRC(count));
        const CountInfo c = DecodeFifthProtocol(count);
        QVERIFY(c.ok);
        QCOMPARE(c.TotalRecords, 2);
        QCOMPARE(c.agentId, QString("AG012          "));

        const QByteArray head = sim.exchange(buildRequestFrame(1), 137);
        QVERIFY(CheckCRC(head));
        const HeaderInfo h = DecodeThirdProtocol(head);
        QVERIFY(h.ok);
        QCOMPARE(h.AgentDateKey, QString("0122512"));
        QCOMPARE(h.TotalTransactions, 2);
        QCOMPARE(h.amountText, QString("750.00"));

        const QByteArray t2 = sim.exchange(buildRequestFrame(2), 137);
        QVERIFY(CheckCRC(t2));
        const TransactionFrame f2 = decodeTransactionFrame(t2, 2026);
        QVERIFY2(f2.ok, qPrintable(f2.reason));
        QCOMPARE(f2.AccountNo, QString("ACC-1          "));
        QCOMPARE(f2.count, 2);
        QCOMPARE(f2.transactions[0].Amtcollected, QString("0000500.00"));
        QCOMPARE(f2.transactions[0].DateTime, QString("25/12/2026 10:15"));
        QCOMPARE(f2.transactions[1].Amtcollected, QString("0000250.00"));
        QCOMPARE(f2.transactions[1].TransactionNumber, QString("0002"));

        const TransactionFrame f3 =
            decodeTransactionFrame(sim.exchange(buildRequestFrame(3), 137), 2026);
        QVERIFY(f3.ok);
        QVERIFY(f3.noTransactions);
        QCOMPARE(f3.AccountNo, QString("ACC-2          "));

        // Past the last record: a frame of zeros by default.
        const QByteArray beyond = sim.exchange(buildRequestFrame(4), 137);
        QCOMPARE(beyond.size(), 137);
        QVERIFY(CheckCRC(beyond));
        QCOMPARE(beyond.mid(9), QByteArray(128, '\0'));

        sim.port().write(buildEndFrame('U'));
        QVERIFY(ended.wait(3000));
        QCOMPARE(sim.terminal().receivedFrames().size(), 6);
        QCOMPARE(sim.terminal().receivedFrames().last(), buildEndFrame('U'));
        QVERIFY(test::readFor(sim.port(), 100).isEmpty());  // OVER is not answered
    }

    void portClosedAndOpenedAgainKeepsTheLine() {
        SimHarness sim({});
        QVERIFY2(sim.open(), qPrintable(sim.error()));
        sim.port().close();
        QTest::qWait(50);
        QVERIFY(test::openLinePort(sim.port(), sim.device().devicePath()));
        QCOMPARE(sim.exchange(buildHeaderFrame(header(0)).frame, 14),
                 buildShortFrame('D', 0, "AACK"));
    }
};

QTEST_GUILESS_MAIN(TestSimPty)
#include "tst_simpty.moc"
