// Decoding of the count, header and transaction frames returned during an upload.

#include "link/FrameBytes.h"
#include "link/UploadFrames.h"

#include <QtTest>

using namespace kovrin::link;
using kovrin::test::hex;
using kovrin::test::replyFrame;

namespace {

// A transaction frame of one account with the given count byte and slots.
QByteArray txnFrame(quint8 countByte, const QList<QByteArray>& slotBytes) {
    QList<QPair<int, QByteArray>> fields{
        {10, "S"}, {11, "DD001"}, {16, "ACC-1          "}, {133, QByteArray(1, char(countByte))}};
    for (int t = 0; t < slotBytes.size(); ++t) {
        fields.append({70 + 9 * t, slotBytes[t]});
    }
    return replyFrame(5, fields);
}

}  // namespace

class TestUploadFrames : public QObject {
    Q_OBJECT

private slots:
    void countFrame() {
        CountInfo c =
            DecodeFifthProtocol(replyFrame(0, {{10, hex("00 28")}, {27, "AG012          "}}));
        QVERIFY(c.ok);
        QCOMPARE(c.TotalRecords, 40);
        QCOMPARE(c.agentId, QString("AG012          "));
        c = DecodeFifthProtocol(replyFrame(0, {{10, hex("01 00")}}));
        QVERIFY(c.ok);
        QCOMPARE(c.TotalRecords, 256);
        QCOMPARE(c.agentId, QString(15, QChar(0)));
        c = DecodeFifthProtocol(replyFrame(0, {{10, hex("7F FF")}}));
        QVERIFY(c.ok);
        QCOMPARE(c.TotalRecords, 32767);
    }

    void countOf32768OrMoreIsABadFrame() {
        for (const char* bytes : {"80 00", "FF FF", "80 01"}) {
            const CountInfo c = DecodeFifthProtocol(replyFrame(0, {{10, hex(bytes)}}));
            QVERIFY(!c.ok);
            QVERIFY(c.reason.contains("32768"));
        }
    }

    void headerFrame() {
        const HeaderInfo h = DecodeThirdProtocol(
            replyFrame(1, {{10, "0122512"}, {17, hex("00 2A")}, {19, hex("00 01 23 45")}}));
        QVERIFY(h.ok);
        QCOMPARE(h.AgentDateKey, QString("0122512"));
        QCOMPARE(h.agentNumber, QString("012"));
        QCOMPARE(h.dateDdmm, QString("2512"));
        QCOMPARE(h.TotalTransactions, 42);
        QCOMPARE(h.amountDigits, QString("00012345"));
        QCOMPARE(h.totalAmount, 12345);
        QCOMPARE(h.amountText, QString("12345.00"));
    }

    void headerAmountLimits() {
        HeaderInfo h = DecodeThirdProtocol(replyFrame(1, {{19, hex("99 99 99 99")}}));
        QVERIFY(h.ok);
        QCOMPARE(h.amountDigits, QString("99999999"));
        QCOMPARE(h.amountText, QString("99999999.00"));
        h = DecodeThirdProtocol(QByteArray(137, '\0'));
        QVERIFY(h.ok);
        QCOMPARE(h.amountText, QString("0.00"));
        QCOMPARE(h.TotalTransactions, 0);
    }

    // Totals that cannot be read leave the header readable (the agent and the day), with
    // nothing to compare the collections with.
    void headerWithInvalidBcdAmountHasNoTotals() {
        const HeaderInfo h =
            DecodeThirdProtocol(replyFrame(1, {{10, "0050712"}, {19, hex("00 0A 23 45")}}));
        QVERIFY(h.ok);
        QVERIFY(!h.totalsRead);
        QCOMPARE(h.AgentDateKey, QString("0050712"));
        QVERIFY(h.reason.contains("BCD"));
        QVERIFY(h.amountText.isEmpty());
    }

    void headerTotalOf32768OrMoreHasNoTotals() {
        const HeaderInfo h = DecodeThirdProtocol(replyFrame(1, {{17, hex("80 00")}}));
        QVERIFY(h.ok && !h.totalsRead);
        QVERIFY(h.reason.contains("32768"));
        QVERIFY(DecodeThirdProtocol(replyFrame(1, {{17, hex("7F FF")}})).totalsRead);
        QVERIFY(!DecodeThirdProtocol(QByteArray(136, '\0')).ok);  // not whole
    }

    void shortControlFramesAreBad() {
        const QByteArray f = replyFrame(0, {{10, hex("00 28")}}).left(136);
        QVERIFY(!DecodeFifthProtocol(f).ok);
        QVERIFY(!DecodeThirdProtocol(f).ok);
        QVERIFY(!DecodeFifthProtocol(QByteArray()).ok);
    }

    void transactionAccountFieldsAndSlots() {
        const TransactionFrame tf = decodeTransactionFrame(
            txnFrame(0x03, {hex("01 23 45 07 C9 14 35 00 2A"), hex("00 00 05 31 1A 09 05 01 00"),
                            hex("99 99 99 01 C0 00 00 27 10")}),
            2014);
        QVERIFY2(tf.ok, qPrintable(tf.reason));
        QVERIFY(!tf.shortFrame);
        QCOMPARE(tf.CategoryCode, QString("S"));
        QCOMPARE(tf.SchemeCode, QString("DD001"));
        QCOMPARE(tf.AccountNo, QString("ACC-1          "));
        QCOMPARE(tf.count, 3);
        QVERIFY(!tf.noTransactions);

        const TransactionSlot& s0 = tf.transactions[0];
        QCOMPARE(s0.state, SlotState::Read);
        QCOMPARE(s0.Amtcollected, QString("0012345.00"));
        QCOMPARE(s0.amount, 12345);
        QCOMPARE(s0.DateTime, QString("07/12/2009 14:35"));
        QCOMPARE(s0.TransactionNumber, QString("0042"));
        QCOMPARE(s0.number, 42);

        const TransactionSlot& s1 = tf.transactions[1];
        QCOMPARE(s1.Amtcollected, QString("0000005.00"));
        QCOMPARE(s1.month, 1);
        QCOMPARE(s1.year, 2010);
        QCOMPARE(s1.DateTime, QString("31/01/2010 09:05"));
        QCOMPARE(s1.TransactionNumber, QString("0256"));

        const TransactionSlot& s2 = tf.transactions[2];
        QCOMPARE(s2.Amtcollected, QString("0999999.00"));
        QCOMPARE(s2.DateTime, QString("01/12/2000 00:00"));
        QCOMPARE(s2.TransactionNumber, QString("10000"));

        for (int t = 3; t < kSlotsPerFrame; ++t) {
            QCOMPARE(tf.transactions[t].state, SlotState::Unread);
        }
    }

    void referenceYearPlacesTheYearNibble() {
        QCOMPARE(slotYear(0x9, 2015), 2009);
        QCOMPARE(slotYear(0xF, 2015), 2015);
        QCOMPARE(slotYear(0x0, 2010), 2000);
        QCOMPARE(slotYear(0xF, 2010), 2015);
        QCOMPARE(slotYear(0x5, 1990), 2005);
        // In 2026 the nibbles stand for 2012 to 2027: a terminal already in the next year
        // dates its collections in that year, not sixteen years back.
        QCOMPARE(slotYear(0xA, 2026), 2026);  // 2026 - 2000 = 26 = 0x1A
        QCOMPARE(slotYear(0xB, 2026), 2027);
        QCOMPARE(slotYear(0xC, 2026), 2012);
        QCOMPARE(slotYear(0x0, 2026), 2016);
        QCOMPARE(slotYear(0x9, 2026), 2025);
        QCOMPARE(slotYear(0x0, 2016), 2016);
        QCOMPARE(slotYear(0x1, 2016), 2017);
        QCOMPARE(slotYear(0x2, 2016), 2002);
    }

    void collectionOf2026ReadIn2026() {
        const TransactionFrame tf =
            decodeTransactionFrame(txnFrame(0x01, {hex("00 10 00 07 CA 10 20 00 01")}), 2026);
        QVERIFY(tf.ok);
        QCOMPARE(tf.transactions[0].DateTime, QString("07/12/2026 10:20"));
        // Read with the old rule it would have been 07/12/2010.
        const TransactionFrame old =
            decodeTransactionFrame(txnFrame(0x01, {hex("00 10 00 07 CA 10 20 00 01")}), 2015);
        QCOMPARE(old.transactions[0].DateTime, QString("07/12/2010 10:20"));
    }

    void accountWithoutTransactions() {
        const TransactionFrame tf = decodeTransactionFrame(txnFrame(0x20, {}), 2026);
        QVERIFY(tf.ok);
        QCOMPARE(tf.count, kNoTransactionsMark);
        QVERIFY(tf.noTransactions);
        for (const TransactionSlot& s : tf.transactions) {
            QCOMPARE(s.state, SlotState::Unread);
        }
    }

    void countZeroGivesNoSlot() {
        const TransactionFrame tf =
            decodeTransactionFrame(txnFrame(0x00, {hex("01 23 45 07 C9 14 35 00 2A")}), 2026);
        QVERIFY(tf.ok);
        QCOMPARE(tf.count, 0);
        QCOMPARE(tf.transactions[0].state, SlotState::Unread);
    }

    void countBeyondSevenIsBad() {
        for (quint8 b : {quint8(0x08), quint8(0x09), quint8(0x10), quint8(0x1A), quint8(0x21)}) {
            const TransactionFrame tf = decodeTransactionFrame(txnFrame(b, {}), 2026);
            QVERIFY(!tf.ok);
            QVERIFY(!tf.noTransactions);
            QVERIFY(tf.reason.contains("count byte"));
        }
    }

    void sevenSlotsFillTheFrame() {
        QList<QByteArray> slotBytes;
        for (int t = 0; t < 7; ++t) {
            QByteArray s = hex("00 00 10 01 1A 08 00 00 00");
            s[8] = static_cast<char>(t + 1);
            slotBytes << s;
        }
        const TransactionFrame tf = decodeTransactionFrame(txnFrame(0x07, slotBytes), 2015);
        QVERIFY(tf.ok);
        for (int t = 0; t < 7; ++t) {
            QCOMPARE(tf.transactions[t].state, SlotState::Read);
            QCOMPARE(tf.transactions[t].number, t + 1);
        }
    }

    void invalidBcdAmountMakesTheSlotBad() {
        const TransactionFrame tf =
            decodeTransactionFrame(txnFrame(0x01, {hex("01 2A 45 07 C9 14 35 00 2A")}), 2015);
        QVERIFY(!tf.ok);
        QVERIFY(!tf.transactions[0].ok);
        QVERIFY(tf.transactions[0].Amtcollected.isEmpty());
        QVERIFY(tf.reason.contains("amount"));
    }

    void impossibleDatesAndTimesAreBad() {
        for (const char* s : {"00 00 01 00 C9 14 35 00 01", "00 00 01 31 29 14 35 00 01",
                              "00 00 01 07 09 14 35 00 01", "00 00 01 07 D9 14 35 00 01",
                              "00 00 01 07 C9 24 35 00 01", "00 00 01 07 C9 14 60 00 01",
                              "00 00 01 0A C9 14 35 00 01"}) {
            const TransactionFrame tf = decodeTransactionFrame(txnFrame(0x01, {hex(s)}), 2015);
            QVERIFY2(!tf.ok, s);
            QVERIFY2(!tf.transactions[0].ok, s);
        }
        // 29 February of a leap year is a date.
        QVERIFY(
            decodeTransactionFrame(txnFrame(0x01, {hex("00 00 01 29 28 10 00 00 01")}), 2015).ok);
    }

    void shortTransactionFrameGivesWhatIsThere() {
        const QByteArray full = txnFrame(0x02, {hex("01 23 45 07 C9 14 35 00 2A")});
        TransactionFrame tf = decodeTransactionFrame(full.left(20), 2015);
        QVERIFY(!tf.ok);
        QVERIFY(tf.shortFrame);
        QCOMPARE(tf.CategoryCode, QString("S"));
        QCOMPARE(tf.SchemeCode, QString("DD001"));
        QCOMPARE(tf.AccountNo, QString("ACC-1"));
        QCOMPARE(tf.count, -1);

        tf = decodeTransactionFrame(full.left(133), 2015);
        QVERIFY(tf.shortFrame);
        QVERIFY(!tf.ok);
        QCOMPARE(tf.count, 2);
        QCOMPARE(tf.transactions[0].state, SlotState::Read);
        QCOMPARE(tf.transactions[0].DateTime, QString("07/12/2009 14:35"));

        tf = decodeTransactionFrame(QByteArray(), 2015);
        QVERIFY(tf.shortFrame);
        QVERIFY(tf.CategoryCode.isEmpty());
    }

    void allZeroFrameHasNoTransactions() {
        const TransactionFrame tf = decodeTransactionFrame(QByteArray(137, '\0'), 2026);
        QVERIFY(tf.ok);
        QCOMPARE(tf.count, 0);
        QCOMPARE(tf.AccountNo, QString(15, QChar(0)));
    }
};

QTEST_GUILESS_MAIN(TestUploadFrames)
#include "tst_uploadframes.moc"
