// The terminal's side of the frames: every builder of one side read back by the other.

#include "hht-sim/DownloadOutput.h"
#include "hht-sim/FrameAssembler.h"
#include "hht-sim/TerminalFrames.h"
#include "link/DownloadFrames.h"
#include "link/Frame.h"
#include "link/FrameBytes.h"
#include "link/UploadFrames.h"

#include <QtTest>
#include <random>

using namespace kovrin;
using namespace kovrin::link;
using kovrin::test::hex;
using kovrin::test::sumOf;

namespace {

QByteArray withSum(QByteArray f136) {
    f136.append(static_cast<char>((256 - sumOf(f136, 10, 136) % 256) % 256));
    return f136;
}

}  // namespace

class TestSimFrames : public QObject {
    Q_OBJECT

private slots:
    void countFrameByteForByte() {
        QByteArray expected = hex("01 FF 10 F0 55 00 82 00 00 00 28");
        expected += QByteArray(15, ' ') + "AG012" + QByteArray(10, ' ') + QByteArray(95, ' ');
        const BuildResult r = sim::buildCountFrame(40, "AG012");
        QVERIFY(r.ok);
        QCOMPARE(r.frame.toHex(' '), withSum(expected).toHex(' '));
    }

    void dayHeaderFrameByteForByte() {
        QByteArray expected = hex("01 FF 10 F0 55 00 82 00 01");
        expected += "0122512" + hex("00 2A 00 01 23 45") + QByteArray(114, ' ');
        const BuildResult r = sim::buildDayHeaderFrame("0122512", 42, 12345);
        QVERIFY(r.ok);
        QCOMPARE(r.frame.toHex(' '), withSum(expected).toHex(' '));
    }

    void transactionFrameByteForByte() {
        const QVector<sim::CollectedTransaction> txns{
            {12345, QDate(2009, 12, 7), QTime(14, 35), 42},
            {5, QDate(2010, 1, 31), QTime(9, 5), 256}};
        QByteArray expected = hex("01 FF 10 F0 55 00 82 00 05");
        expected += "S" + QByteArray("DD001") + "ACC-1          " + QByteArray(39, ' ');
        expected += hex("01 23 45 07 C9 14 35 00 2A") + hex("00 00 05 31 1A 09 05 01 00");
        expected += QByteArray(45, '\0') + hex("02") + "   ";
        const BuildResult r = sim::buildTransactionFrame(5, "S", "DD001", "ACC-1", txns, false);
        QVERIFY2(r.ok, qPrintable(r.reason));
        QCOMPARE(r.frame.toHex(' '), withSum(expected).toHex(' '));

        const BuildResult none = sim::buildTransactionFrame(6, "S", "DD001", "ACC-2", {}, true);
        QCOMPARE(static_cast<quint8>(none.frame[132]), 0x20);
        QCOMPARE(none.frame.mid(69, 63), QByteArray(63, '\0'));
    }

    void terminalBuildersRefuseWhatDoesNotFit() {
        QVERIFY(!sim::buildCountFrame(65536, "A").ok);
        QVERIFY(!sim::buildCountFrame(1, QString(16, 'A')).ok);
        QVERIFY(!sim::buildDayHeaderFrame("012251", 1, 1).ok);
        QVERIFY(!sim::buildDayHeaderFrame("0122512", 1, 100000000).ok);
        const sim::CollectedTransaction t{1, QDate(2026, 1, 1), QTime(0, 0), 1};
        QVERIFY(!sim::buildTransactionFrame(2, "S", "D", "A",
                                            QVector<sim::CollectedTransaction>(8, t), false)
                     .ok);
        QVERIFY(!sim::buildTransactionFrame(2, "S", "D", "A", {t}, true).ok);
        QVERIFY(!sim::buildTransactionFrame(1, "S", "D", "A", {t}, false).ok);
        QVERIFY(!sim::buildTransactionFrame(2, "SS", "D", "A", {t}, false).ok);
        QVERIFY(!sim::transactionSlot({1000000, QDate(2026, 1, 1), QTime(0, 0), 1}));
        QVERIFY(!sim::transactionSlot({1, QDate(1999, 1, 1), QTime(0, 0), 1}));
        QVERIFY(!sim::transactionSlot({1, QDate(2026, 1, 1), QTime(0, 0), 65536}));
    }

    void downloadHeaderRoundTrip() {
        HeaderFields h;
        h.accountCount = 300;
        h.branchId = "BR0001";
        h.agentId = "AG012";
        h.fontSize = "1";
        h.bankName = "Kovrin Co-operative Bank";
        h.branchName = "Old Market Road Branch!";  // 23: cut to 22
        h.transactionDigit = "7";
        h.downloadPassword = "42";
        h.setupPassword = "9999";
        h.downloadKey = "0050325";
        h.clock = QDateTime(QDate(2026, 3, 25), QTime(23, 59, 1));
        const sim::ReceivedHeader r = sim::parseHeaderFrame(buildHeaderFrame(h).frame);
        QVERIFY2(r.ok, qPrintable(r.reason));
        QCOMPARE(r.accountCount, 300);
        QCOMPARE(r.branchId, QString("BR0001         "));
        QCOMPARE(r.agentId, QString("AG012          "));
        QCOMPARE(r.fontSize, QString("1"));
        QCOMPARE(r.bankName, QString("Kovrin Co-operative Bank").leftJustified(48));
        QCOMPARE(r.branchName, QString("Old Market Road Branch"));
        QCOMPARE(r.transactionDigit, QString("7"));
        QCOMPARE(r.downloadPassword, QString("0042"));
        QCOMPARE(r.constantOne, QString("1"));
        QCOMPARE(r.setupPassword, QString("9999"));
        QCOMPARE(r.downloadKey, QString("0050325"));
        QCOMPARE(r.clockDigits, QString("250326235901"));
        QCOMPARE(r.clock, h.clock);
    }

    void downloadAccountsRoundTrip() {
        std::mt19937 rng(7);
        std::uniform_int_distribution<qint64> balance(0, 9999999999LL);
        std::uniform_int_distribution<int> agreed(0, 999999);
        std::uniform_int_distribution<int> letter('A', 'Z');
        for (int r = 2; r < 200; ++r) {
            AccountFields a;
            a.CategoryCode = QString(QChar(letter(rng)));
            a.SchemeCode = QString("SC%1").arg(r % 100, 3, 10, QChar('0'));
            a.ACNumber = QString::number(r * 7919);
            for (int k = 0; k < r % 35; ++k) {
                a.ACName += QChar(letter(rng));
            }
            a.BalAmount = QString::number(balance(rng));
            a.AgreedAmount = QString::number(agreed(rng));
            a.OpeningDate = r % 5 == 0
                                ? QString()
                                : QString("%1%2").arg(r % 28 + 1, 2, 10, QChar('0')).arg("0115");
            a.TxnDate = "311226";
            const BuildResult built = buildAccountFrame(r, a);
            QVERIFY2(built.ok, qPrintable(built.reason));
            const sim::ReceivedAccount got = sim::parseAccountFrame(built.frame);
            QVERIFY2(got.ok, qPrintable(got.reason));
            QCOMPARE(got.recordNo, r);
            QCOMPARE(got.CategoryCode, a.CategoryCode);
            QCOMPARE(got.SchemeCode, a.SchemeCode);
            QCOMPARE(got.ACNumber.trimmed(), a.ACNumber);
            QCOMPARE(got.ACName, a.ACName.left(28).leftJustified(28));
            QCOMPARE(got.balanceDigits.toLongLong(), a.BalAmount.toLongLong());
            QCOMPARE(got.agreedDigits.toInt(), a.AgreedAmount.toInt());
            QCOMPARE(got.openingDate, a.OpeningDate.isEmpty() ? QString("000000") : a.OpeningDate);
            QCOMPARE(got.txnDate, a.TxnDate);
        }
    }

    void terminalParsersRejectDamagedFrames() {
        QByteArray f = buildEndFrame('D');
        QVERIFY(!sim::parseHeaderFrame(f).ok);
        AccountFields a{"S", "DD001", "1", "N", "1", "1", "", ""};
        f = buildAccountFrame(2, a).frame;
        f[40] = 'x';  // checksum no longer matches
        QVERIFY(!sim::parseAccountFrame(f).ok);
        QVERIFY(!sim::parseAccountFrame(f.left(100)).ok);
    }

    void uploadFramesRoundTrip() {
        const CountInfo c = DecodeFifthProtocol(sim::buildCountFrame(1234, "AGENT 7").frame);
        QVERIFY(c.ok);
        QCOMPARE(c.TotalRecords, 1234);
        QCOMPARE(c.agentId, QString("AGENT 7        "));

        const HeaderInfo h =
            DecodeThirdProtocol(sim::buildDayHeaderFrame("0070325", 999, 99999999).frame);
        QVERIFY(h.ok);
        QCOMPARE(h.AgentDateKey, QString("0070325"));
        QCOMPARE(h.TotalTransactions, 999);
        QCOMPARE(h.amountText, QString("99999999.00"));
    }

    void transactionYearsRoundTripWithinSixteenYears() {
        // Every year the terminal writes comes back as itself when read with a reference
        // year from the year before to 14 years later.
        for (int year = 2000; year <= 2040; ++year) {
            const sim::CollectedTransaction t{year - 1990, QDate(year, 6, 15), QTime(8, 7), year};
            const QByteArray f = sim::buildTransactionFrame(2, "S", "D", "A", {t}, false).frame;
            for (int ref : {year - 1, year, year + 7, year + 14}) {
                const TransactionFrame tf = decodeTransactionFrame(f, ref);
                QVERIFY(tf.ok);
                QCOMPARE(tf.transactions[0].year, year);
                QCOMPARE(tf.transactions[0].DateTime, QString("15/06/%1 08:07").arg(year));
            }
            // Fifteen years later the same bytes read as the year after that.
            QCOMPARE(decodeTransactionFrame(f, year + 15).transactions[0].year, year + 16);
        }
    }

    void sevenTransactionSlotsRoundTrip() {
        QVector<sim::CollectedTransaction> txns;
        for (int k = 0; k < 7; ++k) {
            txns.append({999999 - k, QDate(2026, 12, 1 + k), QTime(23, 59 - k), 65535 - k});
        }
        const TransactionFrame tf = decodeTransactionFrame(
            sim::buildTransactionFrame(2001, "C", "SCH", "ACCOUNT-NUMBER1", txns, false).frame,
            2026);
        QVERIFY(tf.ok);
        QCOMPARE(tf.count, 7);
        QCOMPARE(tf.AccountNo, QString("ACCOUNT-NUMBER1"));
        QCOMPARE(tf.SchemeCode, QString("SCH  "));
        for (int k = 0; k < 7; ++k) {
            const TransactionSlot& s = tf.transactions[k];
            QCOMPARE(s.amount, 999999 - k);
            QCOMPARE(s.number, 65535 - k);
            QCOMPARE(s.TransactionNumber, QString::number(65535 - k));
            QCOMPARE(s.DateTime,
                     QString("%1/12/2026 23:%2").arg(1 + k, 2, 10, QChar('0')).arg(59 - k));
        }
    }

    void accountListNamesMissingAndUnexpectedRecords() {
        HeaderFields h;
        h.accountCount = 3;
        h.clock = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
        const AccountFields a{"S", "DD001", "A", "N", "1", "1", "", ""};
        QByteArray damaged = buildAccountFrame(3, a).frame;
        damaged[100] = 'x';
        const QMap<int, QByteArray> accounts{
            {2, buildAccountFrame(2, a).frame}, {3, damaged}, {5, buildAccountFrame(5, a).frame}};
        const QString list = sim::accountListText(buildHeaderFrame(h).frame, accounts);
        QVERIFY2(list.endsWith("Problems\n"
                               "  record 3: checksum is wrong\n"
                               "  record 5 is beyond the 3 accounts announced\n"
                               "  record 4 missing\n"),
                 qPrintable(list));
        QVERIFY(sim::accountListText({}, {}).contains("  no header frame\n"));
        QCOMPARE(sim::framesHexText({buildRequestFrame(1)}),
                 QString(" 10: 01 ff 10 f0 55 00 03 00 01 00\n"));
    }

    void assemblerCutsFramesOutOfAStream() {
        sim::FrameAssembler a;
        const QByteArray f1 = buildRequestFrame(5);
        const QByteArray f2 = buildEndFrame('U');
        const QByteArray f3 = sim::buildCountFrame(3, "A").frame;
        const QByteArray stream = QByteArray("noise\x01\xFF", 7) + f1 + f2 + "xx" + f3;
        for (const char c : stream) {
            a.append(QByteArray(1, c));
        }
        QCOMPARE(a.next(), std::optional<QByteArray>(f1));
        QCOMPARE(a.next(), std::optional<QByteArray>(f2));
        QCOMPARE(a.next(), std::optional<QByteArray>(f3));
        QVERIFY(!a.next());
        QVERIFY(!a.hasPartial());
        QCOMPARE(a.noiseBytes(), 9);
    }

    void assemblerSkipsUnknownLengthsAndKeepsASyncStart() {
        sim::FrameAssembler a;
        a.append(hex("01 FF 10 F0 44 00 05 00 00"));  // no frame has 5 bytes after position 7
        a.append(buildEndFrame('D'));
        a.append(hex("01 FF 10"));
        QCOMPARE(a.next(), std::optional<QByteArray>(buildEndFrame('D')));
        QVERIFY(!a.next());
        QVERIFY(a.hasPartial());
        a.append(hex("F0 55 00 03 00 09 00"));
        QCOMPARE(a.next(), std::optional<QByteArray>(buildRequestFrame(9)));
        a.append(hex("01 FF 10 F0 55 00 82 00"));
        QVERIFY(!a.next());
        a.discardPartial();
        QVERIFY(!a.hasPartial());
    }
};

QTEST_GUILESS_MAIN(TestSimFrames)
#include "tst_simframes.moc"
