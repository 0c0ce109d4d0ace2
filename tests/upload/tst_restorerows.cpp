// Frames to RestoreData rows: the scan of the transaction frames, the count byte, the
// transaction txSlots, the account details from the download and the rows of unknown accounts.
#include "UploadFixture.h"
#include "upload/RestoreRows.h"

#include <QtTest>

using namespace kovrin;
using namespace kovrin::test;

namespace {

AccountLookup lookupOf(std::initializer_list<BankDataRow> rows) {
    return AccountLookup(QVector<BankDataRow>(rows));
}

QVector<RestoreDataRow> rowsOf(const QList<QByteArray>& frames, const AccountLookup& accounts,
                               int referenceYear = 2026,
                               QVector<RestoreProblem>* problems = nullptr) {
    return buildRestoreRows(upload(frames), accounts, referenceYear, problems);
}

}  // namespace

class TestRestoreRows : public QObject {
    Q_OBJECT
private slots:
    void countZeroGivesNoRow();
    void countThreeGivesThreeRowsInSlotOrder();
    void markedFrameGivesItsOwnAccountWithoutAmount();
    void markedLastFrameGivesItsOwnAccount();
    void slotFields_data();
    void slotFields();
    void accountDetailsFromTheDownload();
    void accountFormats_data();
    void accountFormats();
    void lookupIsExactButForTheAgentsSpelling();
    void unknownAccountKeepsTheAgentAndNothingElse();
    void nothingLeaksFromAnEarlierUpload();
    void countThatDoesNotFitGivesNoRow();
    void badAmountIsNotGuessedAndReported();
    void badDateIsReported();
    void missingAndShortRecordsAreReported();
    void onlyTheAnnouncedFramesAreRead();
    void noRowLimit();
};

void TestRestoreRows::countZeroGivesNoRow() {
    const auto rows =
        rowsOf({transactionFrame(2, accountNo(1), 0x00)}, lookupOf({bankAccount(1, "A")}));
    QCOMPARE(rows.size(), 0);
}

void TestRestoreRows::countThreeGivesThreeRowsInSlotOrder() {
    const QList<QByteArray> txSlots = {slotBytes("00 01 00", "05 CA 09 15", 11),
                                       slotBytes("00 02 00", "05 CA 10 20", 12),
                                       slotBytes("00 03 00", "06 CA 11 25", 13),
                                       slotBytes("00 09 99", "07 CA 12 30", 14)};  // past the count
    const auto rows = rowsOf({transactionFrame(2, accountNo(1), 0x03, txSlots)},
                             lookupOf({bankAccount(1, "SITA")}));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].Amtcollected, QString("0000100.00"));
    QCOMPARE(rows[1].Amtcollected, QString("0000200.00"));
    QCOMPARE(rows[2].Amtcollected, QString("0000300.00"));
    QCOMPARE(rows[0].DateTime, QString("05/12/2026 09:15"));
    QCOMPARE(rows[2].DateTime, QString("06/12/2026 11:25"));
    QCOMPARE(rows[1].TransactionNumber, QString("0012"));
    for (const auto& r : rows) {
        QCOMPARE(r.AccountNo, QString(accountNo(1)));
        QCOMPARE(r.SchemeCode, QString("DDS01"));
        QCOMPARE(r.CategoryCode, QString("S"));
        QCOMPARE(r.AccountName, QString("SITA").leftJustified(50));
        QCOMPARE(r.BankSoftACNumber, QString("BS0000000000001"));
    }
}

void TestRestoreRows::markedFrameGivesItsOwnAccountWithoutAmount() {
    const auto accounts = lookupOf({bankAccount(1, "ONE"), bankAccount(2, "TWO")});
    const auto rows =
        rowsOf({transactionFrame(2, accountNo(1), 0x20),
                transactionFrame(3, accountNo(2), 0x01, {slotBytes("00 00 50", "07 CA 10 00", 1)})},
               accounts);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].AccountNo, QString(accountNo(1)));
    QCOMPARE(rows[0].AccountName, QString("ONE").leftJustified(50));
    QCOMPARE(rows[0].Amtcollected, QString());
    QCOMPARE(rows[0].DateTime, QString());
    QCOMPARE(rows[0].TransactionNumber, QString());
    QCOMPARE(rows[0].AgentID, kAgent);
    QCOMPARE(rows[1].AccountNo, QString(accountNo(2)));
    QCOMPARE(rows[1].Amtcollected, QString("0000050.00"));
}

void TestRestoreRows::markedLastFrameGivesItsOwnAccount() {
    const auto rows =
        rowsOf({transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 00 50", "07 CA 10 00", 1)}),
                transactionFrame(3, accountNo(2), 0x20)},
               lookupOf({bankAccount(1, "ONE"), bankAccount(2, "TWO")}));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].AccountNo, QString(accountNo(2)));
    QCOMPARE(rows[1].AccountName, QString("TWO").leftJustified(50));
    QVERIFY(rows[1].Amtcollected.isEmpty());
}

void TestRestoreRows::slotFields_data() {
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<int>("referenceYear");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("dateTime");
    QTest::addColumn<QString>("number");
    QTest::newRow("2009") << slotBytes("01 23 45", "07 C9 14 35", 0x2A) << 2009 << "0012345.00"
                          << "07/12/2009 14:35"
                          << "0042";
    QTest::newRow("nibble 9 in 2026")
        << slotBytes("01 23 45", "07 C9 14 35", 0x2A) << 2026 << "0012345.00"
        << "07/12/2025 14:35"
        << "0042";
    QTest::newRow("a collection of 07/12/2026")
        << slotBytes("00 00 05", "07 CA 09 05", 0x100) << 2026 << "0000005.00"
        << "07/12/2026 09:05"
        << "0256";
    QTest::newRow("January 2010") << slotBytes("99 99 99", "31 1A 23 59", 9999) << 2010
                                  << "0999999.00"
                                  << "31/01/2010 23:59"
                                  << "9999";
    QTest::newRow("1 January of the year after the PC's")
        << slotBytes("00 01 00", "01 1B 00 05", 7) << 2026 << "0000100.00"
        << "01/01/2027 00:05"
        << "0007";
    QTest::newRow("five digits") << slotBytes("00 00 01", "01 1A 00 00", 10000) << 2012
                                 << "0000001.00"
                                 << "01/01/2010 00:00"
                                 << "10000";
}

void TestRestoreRows::slotFields() {
    QFETCH(QByteArray, slot);
    QFETCH(int, referenceYear);
    QVector<RestoreProblem> problems;
    const auto rows = rowsOf({transactionFrame(2, accountNo(1), 0x01, {slot})},
                             lookupOf({bankAccount(1, "A")}), referenceYear, &problems);
    QCOMPARE(rows.size(), 1);
    QTEST(rows[0].Amtcollected, "amount");
    QTEST(rows[0].DateTime, "dateTime");
    QTEST(rows[0].TransactionNumber, "number");
    QCOMPARE(problems.size(), 0);
}

void TestRestoreRows::accountDetailsFromTheDownload() {
    const auto rows =
        rowsOf({transactionFrame(2, accountNo(7), 0x01, {slotBytes("00 01 00", "07 CA 10 00", 3)})},
               lookupOf({bankAccount(7, "RAMESH KUMAR")}));
    QCOMPARE(rows.size(), 1);
    const RestoreDataRow& r = rows[0];
    QCOMPARE(r.AgentID, kAgent);
    QCOMPARE(r.BranchID, QString("BR001          "));
    QCOMPARE(r.AccountNo, QString("000000000100007"));
    QCOMPARE(r.CategoryCode, QString("S"));
    QCOMPARE(r.SchemeCode, QString("DDS01"));
    QCOMPARE(r.CustomerCode, QString("C00007"));
    QCOMPARE(r.AccountName, QString("RAMESH KUMAR").leftJustified(50));
    QCOMPARE(r.BalanceAmount, QString("0000012345.00"));
    QCOMPARE(r.AgreedAmount, QString("00100.00"));
    QCOMPARE(r.LastTxndate, QString("15/03/2009"));
    QCOMPARE(r.BankSoftACNumber, QString("BS0000000000007"));
    QCOMPARE(r.DatewiseTxn, QString());
    QVERIFY(accountFound(r));
}

void TestRestoreRows::accountFormats_data() {
    QTest::addColumn<QString>("balAmount");
    QTest::addColumn<QString>("agreedAmount");
    QTest::addColumn<QString>("myDate");
    QTest::addColumn<QString>("balance");
    QTest::addColumn<QString>("agreed");
    QTest::addColumn<QString>("lastTxn");
    QTest::newRow("half") << "12345.5"
                          << "100"
                          << "150309"
                          << "0000012345.50"
                          << "00100.00"
                          << "15/03/2009";
    QTest::newRow("zeros") << "00012345"
                           << "00100"
                           << "010126"
                           << "0000012345.00"
                           << "00100.00"
                           << "01/01/2026";
    QTest::newRow("rounded") << "  99.995 "
                             << "12.344"
                             << ""
                             << "0000000100.00"
                             << "00012.34"
                             << "//20";
    QTest::newRow("blank date") << "0"
                                << "0"
                                << "      "
                                << "0000000000.00"
                                << "00000.00"
                                << "  /  /20  ";
    QTest::newRow("long") << "123456789012"
                          << "123456"
                          << "3112"
                          << "123456789012.00"
                          << "123456.00"
                          << "31/12/20";
    QTest::newRow("no number") << "N/A"
                               << ""
                               << "150309"
                               << "N/A"
                               << ""
                               << "15/03/2009";
}

void TestRestoreRows::accountFormats() {
    QFETCH(QString, balAmount);
    QFETCH(QString, agreedAmount);
    QFETCH(QString, myDate);
    BankDataRow a = bankAccount(1, "A");
    a.BalAmount = balAmount;
    a.AgreedAmount = agreedAmount;
    a.MyDate = myDate;
    const auto rows = rowsOf({transactionFrame(2, accountNo(1), 0x20)}, lookupOf({a}));
    QCOMPARE(rows.size(), 1);
    QTEST(rows[0].BalanceAmount, "balance");
    QTEST(rows[0].AgreedAmount, "agreed");
    QTEST(rows[0].LastTxndate, "lastTxn");
    QVERIFY(accountFound(rows[0]));
}

void TestRestoreRows::lookupIsExactButForTheAgentsSpelling() {
    BankDataRow otherScheme = bankAccount(1, "OTHER SCHEME");
    otherScheme.SchemeCode = "DDS02";
    BankDataRow otherCategory = bankAccount(1, "OTHER CATEGORY");
    otherCategory.CategoryCode = "R";
    const BankDataRow otherAgent = bankAccount(1, "OTHER AGENT", "006            ");
    BankDataRow trimmed = bankAccount(1, "TRIMMED");
    trimmed.ACNumber = "100001";
    const BankDataRow first = bankAccount(1, "FIRST");
    const BankDataRow second = bankAccount(1, "SECOND");
    const AccountLookup accounts(
        QVector<BankDataRow>{otherScheme, otherCategory, otherAgent, trimmed, first, second});
    const auto rows = rowsOf({transactionFrame(2, accountNo(1), 0x20)}, accounts);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].AccountName, QString("FIRST").leftJustified(50));
    QVERIFY(accounts.find("100001", "DDS01", "S", kAgent) != nullptr);
    QVERIFY(accounts.find("100001 ", "DDS01", "S", kAgent) == nullptr);
    // The agent as it compares: a short download record's id, or the typed number.
    QVERIFY(accounts.find(accountNo(1), "DDS01", "S", "005") != nullptr);
    QVERIFY(accounts.find(accountNo(1), "DDS01", "S", "5          ") != nullptr);
    QVERIFY(accounts.find(accountNo(1), "DDS01", "S", "05A") == nullptr);
}

void TestRestoreRows::unknownAccountKeepsTheAgentAndNothingElse() {
    const auto rows =
        rowsOf({transactionFrame(2, accountNo(9), 0x01, {slotBytes("00 07 00", "07 CA 10 00", 5)})},
               lookupOf({bankAccount(1, "A")}));
    QCOMPARE(rows.size(), 1);
    RestoreDataRow expected;
    expected.AgentID = kAgent;
    expected.AccountNo = accountNo(9);
    expected.SchemeCode = "DDS01";
    expected.CategoryCode = "S";
    expected.Amtcollected = "0000700.00";
    expected.DateTime = "07/12/2026 10:00";
    expected.TransactionNumber = "0005";
    QCOMPARE(rows[0], expected);
    QVERIFY(!accountFound(rows[0]));
}

void TestRestoreRows::nothingLeaksFromAnEarlierUpload() {
    const auto accounts = lookupOf({bankAccount(1, "KNOWN")});
    const auto first =
        rowsOf({transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 01 00", "07 CA 10 00", 1)})},
               accounts);
    QCOMPARE(first[0].AccountName, QString("KNOWN").leftJustified(50));
    const auto second =
        rowsOf({transactionFrame(2, accountNo(2), 0x20),
                transactionFrame(3, accountNo(1), 0x01, {slotBytes("00 02 00", "08 CA 10 00", 2)})},
               accounts);
    QCOMPARE(second.size(), 2);
    QCOMPARE(second[0].AccountName, QString());
    QCOMPARE(second[0].BranchID, QString());
    QCOMPARE(second[0].DateTime, QString());
    QCOMPARE(second[0].TransactionNumber, QString());
    QCOMPARE(second[0].DatewiseTxn, QString());
    QCOMPARE(second[1].DatewiseTxn, QString());
    QCOMPARE(second[1].Amtcollected, QString("0000200.00"));
}

void TestRestoreRows::countThatDoesNotFitGivesNoRow() {
    QList<QByteArray> txSlots;
    for (int t = 0; t < 7; ++t) {
        txSlots << slotBytes("00 00 10", "07 CA 10 00", 100 + t);
    }
    for (const quint8 countByte : {quint8(0x08), quint8(0x1A), quint8(0x99)}) {
        QVector<RestoreProblem> problems;
        const auto rows = rowsOf({transactionFrame(2, accountNo(1), countByte, txSlots)},
                                 lookupOf({bankAccount(1, "A")}), 2026, &problems);
        QCOMPARE(rows.size(), 0);  // never seven collections, some of them invented
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0].recordNo, 2);
        QCOMPARE(problems[0].slot, 0);
        QCOMPARE(problems[0].bytes, QByteArray(1, static_cast<char>(countByte)));
        QVERIFY2(problems[0].what.contains("none of its transactions could be read"),
                 qPrintable(problems[0].what));
    }
}

void TestRestoreRows::badAmountIsNotGuessedAndReported() {
    QVector<RestoreProblem> problems;
    const QByteArray bad = slotBytes("00 1A 00", "07 CA 10 00", 2);
    const auto rows = rowsOf(
        {transactionFrame(2, accountNo(1), 0x01, {bad}),
         transactionFrame(3, accountNo(1), 0x02, {slotBytes("00 00 10", "07 CA 10 00", 3), bad})},
        lookupOf({bankAccount(1, "A")}), 2026, &problems);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].Amtcollected, QString());
    QCOMPARE(rows[0].TransactionNumber, QString("0002"));
    QCOMPARE(rows[0].DateTime, QString("07/12/2026 10:00"));
    QCOMPARE(rows[1].Amtcollected, QString("0000010.00"));
    QCOMPARE(rows[2].Amtcollected, QString());
    QCOMPARE(problems.size(), 2);
    QCOMPARE(problems[0].recordNo, 2);
    QCOMPARE(problems[0].slot, 1);
    QVERIFY(problems[0].amountLost);
    QCOMPARE(problems[0].bytes, bad);
    QCOMPARE(problems[0].AccountNo, QString(accountNo(1)));
    QCOMPARE(problems[1].recordNo, 3);
    QCOMPARE(problems[1].slot, 2);
}

void TestRestoreRows::badDateIsReported() {
    QVector<RestoreProblem> problems;
    const auto rows =
        rowsOf({transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 01 00", "32 DA 25 00", 4)})},
               lookupOf({bankAccount(1, "A")}), 2026, &problems);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].Amtcollected, QString("0000100.00"));
    QCOMPARE(problems.size(), 1);
    QCOMPARE(problems[0].slot, 1);
    QVERIFY(!problems[0].amountLost);
    QVERIFY2(problems[0].what.contains("no such date"), qPrintable(problems[0].what));
}

void TestRestoreRows::missingAndShortRecordsAreReported() {
    UploadData d = upload(
        {transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 01 00", "07 CA 10 00", 1)}),
         transactionFrame(3, accountNo(1), 0x01, {slotBytes("00 02 00", "07 CA 10 00", 2)})});
    d.RecordFrames[3].truncate(100);
    d.TotalRecords = 3;  // record 4 never came
    QVector<RestoreProblem> problems;
    const auto rows = buildRestoreRows(d, lookupOf({bankAccount(1, "A")}), 2026, &problems);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(problems.size(), 2);
    QCOMPARE(problems[0].recordNo, 3);
    QVERIFY2(problems[0].what.contains("100 bytes"), qPrintable(problems[0].what));
    QCOMPARE(problems[0].AccountNo, QString(accountNo(1)));
    QCOMPARE(problems[1].recordNo, 4);
    QCOMPARE(problems[1].what, QString("the record was not received"));
}

void TestRestoreRows::onlyTheAnnouncedFramesAreRead() {
    UploadData d = upload(
        {transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 01 00", "07 CA 10 00", 1)}),
         transactionFrame(3, accountNo(1), 0x01, {slotBytes("00 02 00", "07 CA 10 00", 2)})});
    d.TotalRecords = 1;
    QCOMPARE(buildRestoreRows(d, lookupOf({bankAccount(1, "A")}), 2026, nullptr).size(), 1);
}

void TestRestoreRows::noRowLimit() {
    QList<QByteArray> frames;
    QVector<BankDataRow> accounts;
    for (int i = 0; i < 2000; ++i) {
        QList<QByteArray> txSlots;
        for (int t = 0; t < 7; ++t) {
            txSlots << slotBytes("00 00 10", "07 CA 10 00", i * 7 + t + 1);
        }
        frames << transactionFrame(i + 2, accountNo(i), 0x07, txSlots);
        accounts << bankAccount(i, "A");
    }
    UploadData d = upload(frames);
    d.TotalRecords = 2500;  // more than 2000 announced: only frames 2 to 2001 are read
    const auto rows = buildRestoreRows(d, AccountLookup(accounts), 2026, nullptr);
    QCOMPARE(rows.size(), 14000);
    QCOMPARE(rows.last().TransactionNumber, QString("14000"));
    QCOMPARE(rows.last().AccountNo, QString(accountNo(1999)));
    QVERIFY(accountFound(rows.last()));
}

QTEST_GUILESS_MAIN(TestRestoreRows)
#include "tst_restorerows.moc"
