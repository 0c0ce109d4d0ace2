// The bytes of the bank upload file, the backup file and the check file, compared with lines
// the tests write out column by column.
#include "UploadFixture.h"
#include "upload/BankFiles.h"

#include <QtTest>

using namespace kovrin;
using namespace kovrin::test;

namespace {

const QByteArray kBranch = "BR001          ";
const QByteArray kBankSoft = "BS0000000000001";

RestoreDataRow row(const QString& txn, const QString& dateTime,
                   const QString& amount = "0000500.00", const QString& account = "000000000100001",
                   const QString& name = "RAMESH") {
    RestoreDataRow r;
    r.AgentID = kAgent;
    r.BranchID = QString::fromLatin1(kBranch);
    r.AccountNo = account;
    r.Amtcollected = amount;
    r.DateTime = dateTime;
    r.TransactionNumber = txn;
    r.CategoryCode = "S";
    r.SchemeCode = "DDS01";
    r.CustomerCode = "C00001";
    r.AccountName = name;
    r.BalanceAmount = "0000012345.50";
    r.AgreedAmount = "00100.00";
    r.LastTxndate = "15/03/2009";
    r.BankSoftACNumber = QString::fromLatin1(kBankSoft);
    return r;
}

QByteArray blanks(int n) {
    return QByteArray(n, ' ');
}

// The line of row(...) with the given varying fields, written out column by column.
QByteArray line(const QByteArray& txn, const QByteArray& dateTime, const QByteArray& datewise,
                const QByteArray& amount = "0000500.00",
                const QByteArray& account = "000000000100001", const QByteArray& name = "RAMESH") {
    return kBranch + "S" + "DDS01" + account + "C00001" + name + blanks(50 - name.size()) +
           "0000012345.50" + "00100.00" + "15/03/2009" + "005            " + amount + dateTime +
           txn + datewise + " " + kBankSoft + "\r\n";
}

QList<QByteArray> linesOf(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

}  // namespace

class TestBankFiles : public QObject {
    Q_OBJECT
private slots:
    void listingLineColumns();
    void repeatedTransactionNumberOnceInUploadFileTwiceInCheckFile();
    void datewiseNumbersInWriteOrder();
    void accountWithoutDateGivesBlankField();
    void fieldsKeepTheirColumns();
    void fiveDigitTransactionNumberMakesTheLineLonger();
    void unknownAccountOnlyInCheckFile();
    void totals();
    void emptyUploadFile();
    void latin1Text();
    void backupLines();
    void backupOfMoreThan2000Records();
    void backupOfShortAndMissingSlots();
    void fileNames();
};

void TestBankFiles::listingLineColumns() {
    const QByteArray l = listingLine(row("0042", "07/12/2026 14:35"), "0003");
    const QByteArray expected = "BR001          SDDS01000000000100001C00001RAMESH" + blanks(44) +
                                "0000012345.5000100.0015/03/2009005            0000500.00"
                                "07/12/2026 14:3500420003 BS0000000000001\r\n";
    QCOMPARE(l, expected);
    QCOMPARE(l.size(), 190);
    QCOMPARE(l.mid(92, 13), QByteArray("0000012345.50"));  // column 93
    QCOMPARE(l.mid(105, 8), QByteArray("00100.00"));       // column 106
    QCOMPARE(l.mid(113, 10), QByteArray("15/03/2009"));    // column 114
    QCOMPARE(l.mid(138, 10), QByteArray("0000500.00"));    // column 139
    QCOMPARE(l.mid(164, 4), QByteArray("0042"));           // column 165
    QCOMPARE(l.mid(173, 15), kBankSoft);                   // column 174
}

void TestBankFiles::repeatedTransactionNumberOnceInUploadFileTwiceInCheckFile() {
    const QVector<RestoreDataRow> rows = {
        row("0003", "07/12/2026 10:00"),
        row("0007", "07/12/2026 10:05", "0000100.00"),
        row("0007", "07/12/2026 10:06", "0000200.00", "000000000100002"),
        row("0009", "07/12/2026 10:10"),
    };
    const BankUploadFile upload = CreateFlatFile(rows);
    QCOMPARE(upload.bytes, line("0003", "07/12/2026 10:00", "0001") +
                               line("0007", "07/12/2026 10:05", "0002", "0000100.00") +
                               line("0009", "07/12/2026 10:10", "0003"));
    QCOMPARE(upload.UploadedCount, 3);
    QCOMPARE(upload.UploadedAmount, 1100.0);
    QCOMPARE(CreateFlatFile2(rows),
             line("0003", "07/12/2026 10:00", "0001") +
                 line("0007", "07/12/2026 10:05", "0002", "0000100.00") +
                 line("0007", "07/12/2026 10:06", "0003", "0000200.00", "000000000100002") +
                 line("0009", "07/12/2026 10:10", "0004"));
}

void TestBankFiles::datewiseNumbersInWriteOrder() {
    const QVector<RestoreDataRow> rows = {
        row("0001", "05/12/2026 09:00"),
        row("0002", "05/12/2026 09:30"),
        row("0003", "06/12/2026 10:00"),
        row("0004", "05/12/2026 11:00"),
    };
    QCOMPARE(CreateFlatFile(rows).bytes, line("0001", "05/12/2026 09:00", "0001") +
                                             line("0002", "05/12/2026 09:30", "0002") +
                                             line("0003", "06/12/2026 10:00", "0001") +
                                             line("0004", "05/12/2026 11:00", "0001"));
    // The check file counts in its own order.
    const QVector<RestoreDataRow> checkOrder = {rows[2], rows[0], rows[3], rows[1]};
    QCOMPARE(CreateFlatFile2(checkOrder), line("0003", "06/12/2026 10:00", "0001") +
                                              line("0001", "05/12/2026 09:00", "0001") +
                                              line("0004", "05/12/2026 11:00", "0002") +
                                              line("0002", "05/12/2026 09:30", "0003"));
}

void TestBankFiles::accountWithoutDateGivesBlankField() {
    RestoreDataRow r = row("0001", "07/12/2026 10:00");
    r.LastTxndate = "//20";
    const QByteArray l = listingLine(r, "0001");
    QCOMPARE(l.size(), 190);
    QCOMPARE(l.mid(113, 10), blanks(10));
    QCOMPARE(l.mid(123, 15), QByteArray("005            "));
    QCOMPARE(l.left(113), line("0001", "07/12/2026 10:00", "0001").left(113));
    QCOMPARE(l.mid(123), line("0001", "07/12/2026 10:00", "0001").mid(123));
}

void TestBankFiles::fieldsKeepTheirColumns() {
    // An amount-less row of an account that the download did not hold.
    RestoreDataRow unknown;
    unknown.AgentID = kAgent;
    unknown.AccountNo = "000000000100009";
    unknown.CategoryCode = "S";
    unknown.SchemeCode = "DDS01";
    QCOMPARE(CreateFlatFile2({unknown}),
             blanks(15) + "S" + "DDS01" + "000000000100009" + blanks(6) + blanks(50) + blanks(13) +
                 blanks(8) + blanks(10) + "005            " + blanks(10) + blanks(16) + blanks(4) +
                 "0001" + " " + blanks(15) + "\r\n");

    // Texts longer than their columns are cut; short ones padded.
    RestoreDataRow r = row("0001", "07/12/2026 10:00");
    r.AccountName = QString(60, 'N');
    r.AccountNo = "12345";
    r.BranchID = "B";
    const QByteArray l = listingLine(r, "0001");
    QCOMPARE(l.size(), 190);
    QCOMPARE(l.left(15), QByteArray("B") + blanks(14));
    QCOMPARE(l.mid(21, 15), QByteArray("12345") + blanks(10));
    QCOMPARE(l.mid(42, 50), QByteArray(50, 'N'));
    QCOMPARE(l.mid(92, 13), QByteArray("0000012345.50"));
}

void TestBankFiles::fiveDigitTransactionNumberMakesTheLineLonger() {
    const QByteArray l = listingLine(row("10000", "07/12/2026 10:00"), "0001");
    QCOMPARE(l, kBranch + "SDDS01000000000100001C00001RAMESH" + blanks(44) +
                    "0000012345.5000100.0015/03/2009005            0000500.0007/12/2026 10:00"
                    "100000001 " +
                    kBankSoft + "\r\n");
    QCOMPARE(l.size(), 191);
}

void TestBankFiles::unknownAccountOnlyInCheckFile() {
    RestoreDataRow unknown = row("0002", "07/12/2026 10:01", "0000700.00", "000000000100009", "");
    unknown.BranchID.clear();
    unknown.CustomerCode.clear();
    unknown.BalanceAmount.clear();
    unknown.AgreedAmount.clear();
    unknown.LastTxndate.clear();
    unknown.BankSoftACNumber.clear();
    RestoreDataRow known = row("0002", "07/12/2026 10:02");
    const QVector<RestoreDataRow> rows = {row("0001", "07/12/2026 10:00"), unknown, known};
    const BankUploadFile upload = CreateFlatFile(rows);
    // Its number is not taken by the unknown row: the known row of the same number is posted.
    QCOMPARE(upload.bytes,
             line("0001", "07/12/2026 10:00", "0001") + line("0002", "07/12/2026 10:02", "0002"));
    QCOMPARE(upload.UploadedCount, 2);
    QCOMPARE(upload.UploadedAmount, 1000.0);
    const QList<QByteArray> check = linesOf(CreateFlatFile2(rows));
    QCOMPARE(check.size(), 3);
    QCOMPARE(check[1], blanks(15) + "SDDS01000000000100009" + blanks(6 + 50 + 13 + 8 + 10) +
                           "005            0000700.0007/12/2026 10:0100020002 " + blanks(15) +
                           "\r");
}

void TestBankFiles::totals() {
    const QVector<RestoreDataRow> rows = {row("0001", "07/12/2026 10:00"),
                                          row("0002", "07/12/2026 10:01"),
                                          row("0003", "07/12/2026 10:02")};
    const BankUploadFile upload = CreateFlatFile(rows);
    QCOMPARE(upload.UploadedAmount, 1500.0);
    QCOMPARE(upload.UploadedCount, 3);
    QVERIFY(upload.totalsMatch(3, 1500));
    QVERIFY(!upload.totalsMatch(4, 1500));
    QVERIFY(!upload.totalsMatch(3, 1501));
    QVERIFY(!upload.totalsMatch(3, 150000));
}

void TestBankFiles::emptyUploadFile() {
    RestoreDataRow noAmount = row("", "", "");
    const BankUploadFile upload = CreateFlatFile({noAmount});
    QCOMPARE(upload.bytes, QByteArray());
    QCOMPARE(upload.UploadedCount, 0);
    QCOMPARE(upload.UploadedAmount, 0.0);
    QVERIFY(upload.totalsMatch(0, 0));
    QVERIFY(!upload.totalsMatch(1, 0));
}

void TestBankFiles::latin1Text() {
    RestoreDataRow r = row("0001", "07/12/2026 10:00");
    r.AccountName = QString::fromUtf8("JOS\u00c9 \u0160");
    const QByteArray l = listingLine(r, "0001");
    QCOMPARE(l.size(), 190);
    QCOMPARE(l.mid(42, 6), QByteArray("JOS\xC9 ?"));
}

void TestBankFiles::backupLines() {
    UploadData d = upload(
        {transactionFrame(2, accountNo(1), 0x01, {slotBytes("0A FF 05", "07 CA 10 00", 1)})});
    d.RecordFrames[2] += "extra bytes after the frame";
    const QByteArray bytes = CreateFlatFile1(d);
    const QList<QByteArray> lines = linesOf(bytes);
    QCOMPARE(lines.size(), 3);
    QVERIFY(bytes.endsWith("\r\n"));
    for (int k = 0; k < 3; ++k) {
        QByteArray expected = QByteArray::number(k) + " ) ";
        for (int c = 1; c <= 137; ++c) {
            expected +=
                QString::asprintf("[%d] %02X  ", c, static_cast<quint8>(d.RecordFrames[k][c - 1]))
                    .toLatin1();
        }
        QCOMPARE(lines[k], expected + "\r");
    }
    QVERIFY(lines[2].startsWith("2 ) [1] 01  [2] FF  [3] 10  [4] F0  [5] 55  "));
    QVERIFY(lines[2].contains("[70] 0A  [71] FF  [72] 05  [73] 07  [74] CA  "));
    QVERIFY(lines[2].endsWith("  \r"));
}

void TestBankFiles::backupOfMoreThan2000Records() {
    QList<QByteArray> frames;
    for (int i = 0; i < 2100; ++i) {
        frames << transactionFrame(i + 2, accountNo(i), 0x00);
    }
    UploadData d = upload(frames);
    d.TotalRecords = 2500;
    const QList<QByteArray> lines = linesOf(CreateFlatFile1(d));
    QCOMPARE(lines.size(), 2002);
    QVERIFY(lines.first().startsWith("0 ) [1] 01  "));
    QVERIFY(lines.last().startsWith("2001 ) [1] 01  [2] FF  "));
}

void TestBankFiles::backupOfShortAndMissingSlots() {
    UploadData d = upload({});
    d.RecordFrames << QByteArray::fromHex("0AFF05");
    d.TotalRecords = 2;  // slot 3 was never filled
    const QByteArray bytes = CreateFlatFile1(d);
    const QList<QByteArray> lines = linesOf(bytes);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[2], QByteArray("2 ) [1] 0A  [2] FF  [3] 05  \r"));
    QCOMPARE(lines[3], QByteArray("3 ) \r"));
}

void TestBankFiles::fileNames() {
    QCOMPARE(bankUploadFilePath("/srv/bank", "0010712"), QString("/srv/bank/0010712u.txt"));
    QCOMPARE(bankUploadFilePath("/srv/bank/", "0010712"), QString("/srv/bank/0010712u.txt"));
    QCOMPARE(bankUploadFilePath("C:\\Bank\\", "0010712"), QString("C:\\Bank\\0010712u.txt"));
    QCOMPARE(backupFileName("0010712", QDate(2026, 12, 7)), QString("001_07_12_26.txt"));
    QCOMPARE(backupFileName("0120107", QDate(2027, 1, 31)), QString("012_31_01_27.txt"));
    QCOMPARE(checkFileName("0010712"), QString("0010712uCheck.txt"));
}

QTEST_GUILESS_MAIN(TestBankFiles)
#include "tst_bankfiles.moc"
