// The header and account frames the PC sends during a download.

#include "link/DownloadFrames.h"
#include "link/FrameBytes.h"

#include <QtTest>

using namespace kovrin::link;
using kovrin::test::byteAt;
using kovrin::test::hex;
using kovrin::test::sumOf;

namespace {

HeaderFields sampleHeader() {
    HeaderFields h;
    h.accountCount = 5;
    h.branchId = "BR0001         ";
    h.agentId = "AG012          ";
    h.fontSize = "1";
    h.bankName = "Kovrin Bank";
    h.branchName = "Main Street";
    h.transactionDigit = "3";
    h.downloadPassword = "1234";
    h.setupPassword = "987";
    h.downloadKey = "0122512";
    h.clock = QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9));
    return h;
}

AccountFields sampleAccount() {
    AccountFields a;
    a.CategoryCode = "S";
    a.SchemeCode = "DD001";
    a.ACNumber = "000000000012345";
    a.ACName = "RAMESH KUMAR";
    a.BalAmount = "1234567";
    a.AgreedAmount = "500";
    a.OpeningDate = "250309";
    a.TxnDate = "";
    return a;
}

QByteArray header(const HeaderFields& h) {
    const BuildResult r = buildHeaderFrame(h);
    if (!r.ok) {
        qWarning() << r.reason;
    }
    return r.frame;
}

QByteArray account(int recordNo, const AccountFields& a) {
    const BuildResult r = buildAccountFrame(recordNo, a);
    if (!r.ok) {
        qWarning() << r.reason;
    }
    return r.frame;
}

}  // namespace

class TestDownloadFrames : public QObject {
    Q_OBJECT

private slots:
    void headerFrameByteForByte() {
        QByteArray expected = hex("01 FF 10 F0 44 00 82 00 00 00 05");
        expected += "BR0001         ";
        expected += "AG012          ";
        expected += "1";
        expected += "Kovrin Bank" + QByteArray(37, ' ');
        expected += "Main Street" + QByteArray(11, ' ');
        expected += "3";
        expected += "1234";
        expected += "1";
        expected += "0987";
        expected += "0122512";
        expected += hex("07 12 26 14 05 09");
        expected += " ";
        QCOMPARE(expected.size(), 136);
        expected += static_cast<char>((256 - sumOf(expected + '\0', 10, 136) % 256) % 256);

        const QByteArray frame = header(sampleHeader());
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
    }

    void accountCountBytes() {
        HeaderFields h = sampleHeader();
        h.accountCount = 300;
        QCOMPARE(header(h).mid(9, 2), hex("01 2C"));
        h.accountCount = 5;
        QCOMPARE(header(h).mid(9, 2), hex("00 05"));
        h.accountCount = 0;
        QCOMPARE(header(h).mid(9, 2), hex("00 00"));
    }

    void bankNameOfTenIsFollowedBy38Spaces() {
        HeaderFields h = sampleHeader();
        h.bankName = "ABCDEFGHIJ";
        const QByteArray f = header(h);
        QCOMPARE(f.mid(42, 48), QByteArray("ABCDEFGHIJ") + QByteArray(38, ' '));
        QCOMPARE(f.at(90), 'M');  // branch name starts at 91
    }

    void longNamesAreCutSoTheLayoutNeverShifts() {
        HeaderFields h = sampleHeader();
        h.bankName = QString(50, 'B');
        h.branchName = "ABCDEFGHIJKLMNOPQRSTUVWX";  // 24, as the settings screen allows
        const QByteArray f = header(h);
        QCOMPARE(f.size(), 137);
        QCOMPARE(f.mid(42, 48), QByteArray(48, 'B'));
        QCOMPARE(f.mid(90, 22), QByteArray("ABCDEFGHIJKLMNOPQRSTUV"));
        QCOMPARE(f.at(112), '3');
        QCOMPARE(f.mid(122, 7), QByteArray("0122512"));
    }

    void branchNameFieldIsAlways22() {
        for (int n : {0, 1, 21, 22}) {
            HeaderFields h = sampleHeader();
            h.branchName = QString(n, 'x');
            const QByteArray f = header(h);
            QCOMPARE(f.mid(90, 22), QByteArray(n, 'x') + QByteArray(22 - n, ' '));
            QCOMPARE(f.at(112), '3');
        }
    }

    void defaultsForEmptyAndNegativeSettings() {
        HeaderFields h = sampleHeader();
        h.fontSize = "-1";
        h.transactionDigit = "";
        h.downloadPassword = "";
        h.setupPassword = "";
        const QByteArray f = header(h);
        QCOMPARE(f.at(41), '0');
        QCOMPARE(f.at(112), '1');
        QCOMPARE(f.mid(113, 4), QByteArray("0000"));
        QCOMPARE(f.at(117), '1');
        QCOMPARE(f.mid(118, 4), QByteArray("0000"));
        h.fontSize = "0";
        QCOMPARE(header(h).at(41), '0');
        h.fontSize = "";
        QCOMPARE(header(h).at(41), '0');
    }

    void clockBytesAreBcdOfDayMonthYearHourMinuteSecond() {
        QCOMPARE(headerClockBytes(QDateTime(QDate(2009, 3, 25), QTime(23, 59, 58))),
                 hex("25 03 09 23 59 58"));
        QCOMPARE(headerClockBytes(QDateTime(QDate(2030, 1, 1), QTime(0, 0, 0))),
                 hex("01 01 30 00 00 00"));
    }

    void headerFieldsThatDoNotFitAreRefused() {
        HeaderFields h = sampleHeader();
        h.downloadPassword = "12345";
        QVERIFY(!buildHeaderFrame(h).ok);
        QVERIFY(!buildHeaderFrame(h).reason.isEmpty());
        h = sampleHeader();
        h.setupPassword = "12a";
        QVERIFY(!buildHeaderFrame(h).ok);
        h = sampleHeader();
        h.downloadKey = "01225123";
        QVERIFY(!buildHeaderFrame(h).ok);
        h = sampleHeader();
        h.transactionDigit = "8";
        QVERIFY(!buildHeaderFrame(h).ok);
        h = sampleHeader();
        h.fontSize = "2";
        QVERIFY(!buildHeaderFrame(h).ok);
        h = sampleHeader();
        h.agentId = QString(16, 'A');
        QVERIFY(!buildHeaderFrame(h).ok);
        h = sampleHeader();
        h.accountCount = 65536;
        QVERIFY(!buildHeaderFrame(h).ok);
        h = sampleHeader();
        h.clock = QDateTime();
        QVERIFY(!buildHeaderFrame(h).ok);
        QVERIFY(buildHeaderFrame(sampleHeader()).ok);
    }

    void shortIdentifiersArePadded() {
        HeaderFields h = sampleHeader();
        h.branchId = "";
        h.agentId = "7";
        const QByteArray f = header(h);
        QCOMPARE(f.mid(11, 15), QByteArray(15, ' '));
        QCOMPARE(f.mid(26, 15), QByteArray("7") + QByteArray(14, ' '));
    }

    void accountFrameByteForByte() {
        QByteArray expected = hex("01 FF 10 F0 44 00 82 00 04");
        expected += "S";
        expected += "DD001";
        expected += "000000000012345";
        expected += "RAMESH KUMAR" + QByteArray(16, ' ');
        expected += hex("00 01 23 45 67");
        expected += hex("00 05 00");
        expected += hex("25 03 09");
        expected += hex("00 00 00");
        expected += QByteArray(64, ' ');
        QCOMPARE(expected.size(), 136);
        expected += static_cast<char>((256 - sumOf(expected + '\0', 10, 136) % 256) % 256);

        QCOMPARE(account(4, sampleAccount()).toHex(' '), expected.toHex(' '));
    }

    void recordNumberOfTheThirdAccount() {
        QCOMPARE(account(4, sampleAccount()).mid(7, 2), hex("00 04"));
        QCOMPARE(account(2, sampleAccount()).mid(7, 2), hex("00 02"));
        QCOMPARE(account(2001, sampleAccount()).mid(7, 2), hex("07 D1"));
    }

    void accountNameCutAndPadded() {
        AccountFields a = sampleAccount();
        a.ACName = QString(28, 'N');
        QCOMPARE(account(2, a).mid(30, 28), QByteArray(28, 'N'));
        a.ACName = QString(28, 'N') + "XY";
        QCOMPARE(account(2, a).mid(30, 28), QByteArray(28, 'N'));
        QCOMPARE(account(2, a).size(), 137);
        a.ACName = "SHORT";
        QCOMPARE(account(2, a).mid(30, 28), QByteArray("SHORT") + QByteArray(23, ' '));
    }

    void amountsAreRoundedToWholeUnits() {
        AccountFields a = sampleAccount();
        a.BalAmount = "12345.5";
        a.AgreedAmount = " 100.49";
        const QByteArray f = account(2, a);
        QCOMPARE(f.mid(58, 5), hex("00 00 01 23 46"));
        QCOMPARE(f.mid(63, 3), hex("00 01 00"));
        a.BalAmount = "";
        QCOMPARE(account(2, a).mid(58, 5), hex("00 00 00 00 00"));
    }

    void blankDatesAreZeroBytes() {
        AccountFields a = sampleAccount();
        a.OpeningDate = "      ";
        a.TxnDate = "010126";
        const QByteArray f = account(2, a);
        QCOMPARE(f.mid(66, 3), hex("00 00 00"));
        QCOMPARE(f.mid(69, 3), hex("01 01 26"));
    }

    void accountFieldsThatDoNotFitAreRefused() {
        AccountFields a = sampleAccount();
        a.BalAmount = "-12";
        QVERIFY(!buildAccountFrame(2, a).ok);
        a = sampleAccount();
        a.BalAmount = "12345678901";
        QVERIFY(!buildAccountFrame(2, a).ok);
        a = sampleAccount();
        a.AgreedAmount = "1000000";
        QVERIFY(!buildAccountFrame(2, a).ok);
        a = sampleAccount();
        a.AgreedAmount = "1,000";
        QVERIFY(!buildAccountFrame(2, a).ok);
        a = sampleAccount();
        a.OpeningDate = "25/03/09";
        QVERIFY(!buildAccountFrame(2, a).ok);
        a = sampleAccount();
        a.SchemeCode = "DD0011";
        QVERIFY(!buildAccountFrame(2, a).ok);
        QVERIFY(!buildAccountFrame(1, sampleAccount()).ok);
        QVERIFY(!buildAccountFrame(65536, sampleAccount()).ok);
        QVERIFY(buildAccountFrame(65535, sampleAccount()).ok);
    }

    void everyLongFrameSumsToAMultipleOf256() {
        QList<QByteArray> frames{header(sampleHeader())};
        for (int r = 2; r < 40; ++r) {
            AccountFields a = sampleAccount();
            a.ACName = QString("NAME %1").arg(r * 7919);
            a.BalAmount = QString::number(r * 104729);
            frames << account(r, a);
        }
        for (const QByteArray& f : frames) {
            QCOMPARE(f.size(), 137);
            QCOMPARE(sumOf(f, 10, 137) % 256, 0u);
        }
    }
};

QTEST_GUILESS_MAIN(TestDownloadFrames)
#include "tst_downloadframes.moc"
