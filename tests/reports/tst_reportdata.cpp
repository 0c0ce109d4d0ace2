// The report queries Report1 and Report2 and the report data source: rows, groups, sums,
// running closing amounts, filters by date range, agent and account, rows that cannot be read
// and the branches of the rows.
#include "CollectionRows.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "reports/ReportData.h"
#include "support/TempProgramFolder.h"

#include <QSqlQuery>
#include <QtTest>
#include <limits>

using namespace kovrin;
using test::collection;

class TestReportData : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void report1ColumnsAreNumbersAndDates();
    void report1LeavesOutRowsWithoutAmount();
    void report2SumsExactlyPerAgentAndDate();
    void groupsByDateWithSums();
    void rangeIncludesBothDays();
    void closingAmountRunsOverTheAccountsCollections_data();
    void closingAmountRunsOverTheAccountsCollections();
    void filtersCompareDigitsAsNumbers_data();
    void filtersCompareDigitsAsNumbers();
    void agentAndAccountWithBlanksAndQuotes();
    void typedTextNeverBecomesSql();
    void missingBalanceLeavesClosingAmountEmpty();
    void collectionsKeptOutOfTheBankFileAreMarked_data();
    void collectionsKeptOutOfTheBankFileAreMarked();
    void unreadableRowsAreListedApart_data();
    void unreadableRowsAreListedApart();
    void branchesOfTheRows();
    void hundredsOfRowsOnOneDate();
    void ownConnectionIsClosedAfterRead();
    void missingFileIsAnErrorAndNotCreated();
    void olderFileGetsTheNewViews();
    void amountText_data();
    void amountText();
    void describeNamesRangeAndFilters();

private:
    void add(const test::Collection& c) { QVERIFY(test::insertCollection(*m_db, c)); }
    // The ledger made from the rows added, then the report source over it.
    ReportSource source() {
        test::ledgerFromRestoreData(*m_db);
        return ReportSource(m_db->filePath());
    }
    static ReportFilter range(const QDate& from, const QDate& to, const QString& agent = {},
                              const QString& account = {}) {
        return ReportFilter{from, to, agent, account};
    }
    test::TempProgramFolder* m_pf = nullptr;
    std::unique_ptr<Database> m_db;
};

namespace {
const QDate kDec7(2009, 12, 7);
const QDate kDec8(2009, 12, 8);
const QDate kDec9(2009, 12, 9);

// The report's rows as "agent|account|closing|collected|date", the closing amount empty when
// it is not known.
QStringList rowTexts(const DailyCollectionData& d) {
    QStringList out;
    for (const CollectionGroup& g : d.groups) {
        for (const CollectionRow& r : g.rows) {
            out << QStringList{r.AgentID, r.AccountNo,
                               r.ClosingAmt ? amountText(*r.ClosingAmt) : QString(),
                               amountText(r.CollectedAmt), r.Date.toString(Qt::ISODate)}
                       .join('|');
        }
    }
    return out;
}

QStringList rowTexts(const AgentCollectionData& d) {
    QStringList out;
    for (const AgentCollectionRow& r : d.rows) {
        out << QStringList{r.AgentID, amountText(r.CollectedAmt), r.Date.toString(Qt::ISODate)}
                   .join('|');
    }
    return out;
}

// Rows that could not be read as "agent|account|stored amount|stored date-time".
QStringList unreadableTexts(const QVector<UnreadableRow>& rows) {
    QStringList out;
    for (const UnreadableRow& r : rows) {
        out << QStringList{r.AgentID, r.AccountNo, r.Amtcollected, r.DateTime}.join('|');
    }
    return out;
}
}  // namespace

void TestReportData::init() {
    m_pf = new test::TempProgramFolder;
    QString error;
    m_db = Database::open(m_pf->folder().databasePath(), &error);
    QVERIFY2(m_db, qPrintable(error));
}

void TestReportData::cleanup() {
    m_db.reset();
    delete m_pf;
}

void TestReportData::report1ColumnsAreNumbersAndDates() {
    add(collection("001            ", "  000000000012345", "0001234.50", "07/12/2009 10:15",
                   "0000010000.25"));
    QVERIFY(test::ledgerFromRestoreData(*m_db));
    QSqlQuery q(m_db->handle());
    QVERIFY(
        q.exec("SELECT AgentID, AccountNo, ClosingAmt, CollectedAmt, Date, typeof(ClosingAmt),"
               " typeof(CollectedAmt) FROM Report1"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("001"));
    QCOMPARE(q.value(1).toString(), QString("000000000012345"));
    QCOMPARE(q.value(2).toDouble(), 11234.75);
    QCOMPARE(q.value(3).toDouble(), 1234.5);
    QCOMPARE(q.value(4).toString(), QString("2009-12-07"));
    QCOMPARE(q.value(5).toString(), QString("real"));
    QCOMPARE(q.value(6).toString(), QString("real"));
    QVERIFY(!q.next());
    // The date compares as a date.
    QVERIFY(
        q.exec("SELECT count(*) FROM Report1 WHERE Date BETWEEN '2009-12-01' AND '2009-12-31'"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);
}

void TestReportData::report1LeavesOutRowsWithoutAmount() {
    // The rows of accounts the terminal marks as without collections: no amount, no date.
    add(collection("001", "11", "", ""));
    add(collection("001", "12", "   ", "  "));
    add(collection("001", "13", "0000000.00", "07/12/2009 10:17"));
    QVERIFY(test::ledgerFromRestoreData(*m_db));
    QSqlQuery q(m_db->handle());
    QVERIFY(q.exec("SELECT AccountNo, CollectedAmt FROM Report1"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("13"));
    QCOMPARE(q.value(1).toDouble(), 0.0);
    QVERIFY(!q.next());
}

void TestReportData::report2SumsExactlyPerAgentAndDate() {
    // 0.10 + 0.20 added as binary fractions is not 0.30; the view adds hundredths.
    add(collection("001", "1", "0000000.10", "07/12/2009 09:00"));
    add(collection("001            ", "2", "0000000.20", "07/12/2009 09:30"));
    add(collection("002", "3", "0000050.00", "07/12/2009 09:00"));
    add(collection("001", "4", "0000007.00", "08/12/2009 09:00"));
    QVERIFY(m_db->inTransaction([&]() -> DbStatus {
        for (int i = 0; i < 1000; ++i) {
            if (!test::insertCollection(*m_db, collection("003", QString::number(i), "0000000.01",
                                                          "08/12/2009 11:00"))) {
                return DbStatus::failure("insert");
            }
        }
        return {};
    }));
    ReportStatus st;
    const AgentCollectionData d = source().agentCollection(range(kDec7, kDec8), &st);
    QVERIFY2(st, qPrintable(st.detail));
    const QVector<AgentCollectionRow> expected = {
        {"001", 30, kDec7}, {"002", 5000, kDec7}, {"001", 700, kDec8}, {"003", 1000, kDec8}};
    QCOMPARE(d.rows, expected);
    QVERIFY(test::ledgerFromRestoreData(*m_db));
    QSqlQuery q(m_db->handle());
    QVERIFY(
        q.exec("SELECT CollectedAmt FROM Report2 WHERE AgentID = '001' AND Date = '2009-12-07'"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toDouble(), 0.3);
}

void TestReportData::groupsByDateWithSums() {
    // Inserted out of order: the report is in date order, then agent and account.
    add(collection("002", "500", "0000020.00", "09/12/2009 10:00", "0000000100.00"));
    add(collection("001", "300", "0000010.50", "07/12/2009 11:00", "0000000200.00"));
    add(collection("010", "100", "0000001.25", "07/12/2009 09:00", "0000000300.00"));
    add(collection("001", "200", "0000002.00", "07/12/2009 12:00", "0000000400.00"));
    add(collection("001", "9", "0000099.99", "08/12/2009 08:00", "0000000000.01"));
    add(collection("001", "9", "0000055.55", "06/12/2009 08:00"));  // before the range
    add(collection("001", "9", "0000066.66", "10/12/2009 08:00"));  // after the range
    ReportStatus st;
    const DailyCollectionData d = source().dailyCollection(range(kDec7, kDec9), &st);
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(d.groups.size(), 3);
    QCOMPARE(d.groups[0].Date, kDec7);
    const QVector<CollectionRow> day7 = {{"001", "200", 40200, 200, kDec7},
                                         {"001", "300", 21050, 1050, kDec7},
                                         {"010", "100", 30125, 125, kDec7}};
    QCOMPARE(d.groups[0].rows, day7);
    QCOMPARE(d.groups[0].total, Hundredths(1375));
    QCOMPARE(d.groups[1].Date, kDec8);
    QCOMPARE(d.groups[1].rows, QVector<CollectionRow>({{"001", "9", 10000, 9999, kDec8}}));
    QCOMPARE(d.groups[1].total, Hundredths(9999));
    QCOMPARE(d.groups[2].Date, kDec9);
    QCOMPARE(d.groups[2].total, Hundredths(2000));
    QCOMPARE(d.grandTotal, Hundredths(1375 + 9999 + 2000));
    QCOMPARE(d.rowCount(), 5);
}

void TestReportData::rangeIncludesBothDays() {
    add(collection("001", "1", "0000001.00", "07/12/2009 00:00"));
    add(collection("001", "2", "0000002.00", "07/12/2009 23:59"));
    add(collection("001", "3", "0000004.00", "08/12/2009 23:59"));
    add(collection("001", "4", "0000008.00", "09/12/2009 00:00"));
    ReportStatus st;
    QCOMPARE(source().dailyCollection(range(kDec7, kDec7), &st).grandTotal, Hundredths(300));
    QCOMPARE(source().dailyCollection(range(kDec8, kDec8), &st).grandTotal, Hundredths(400));
    QCOMPARE(source().dailyCollection(range(kDec7, kDec8), &st).grandTotal, Hundredths(700));
    QCOMPARE(source().dailyCollection(range(kDec8, kDec9), &st).grandTotal, Hundredths(1200));
    QCOMPARE(
        source().dailyCollection(range(QDate(2009, 12, 10), QDate(2010, 1, 1)), &st).rowCount(), 0);
    QVERIFY(st);
    QCOMPARE(source().agentCollection(range(kDec8, kDec8), &st).rows.size(), 1);
}

void TestReportData::closingAmountRunsOverTheAccountsCollections_data() {
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("agent");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QStringList>("rows");
    // The collections of the test, by account: the closing amount is the downloaded balance
    // plus the account's collections up to this one, in transaction-number order (42, 9999,
    // 10000), whatever the order of the rows in the table and whatever the range asked for.
    const QStringList dec7 = {
        "001|000000000000077|520.00|20.00|2009-12-07",
        "001|000000000000088||5.00|2009-12-07",  // balance not known
        "001|000000000000099||5.00|2009-12-07",  // after an amount that cannot be read
        "001|000000000012345|1100.00|100.00|2009-12-07",
        "001|000000000012345|1200.00|100.00|2009-12-07",
        "001|000000000099999||5.00|2009-12-07",         // after an amount stored without its digits
        "002|000000000012345|2001.00|1.00|2009-12-07",  // another agent's account
    };
    const QStringList dec8 = {
        "001|000000000000077|530.00|10.00|2009-12-08",
        "001|000000000012345|1250.00|50.00|2009-12-08",
        "002|000000000012345|2003.00|2.00|2009-12-08",
    };
    const QString none;
    QTest::newRow("both days") << kDec7 << kDec8 << none << none << dec7 + dec8;
    QTest::newRow("second day: the first day's collections count")
        << kDec8 << kDec8 << none << none << dec8;
    QTest::newRow("one agent") << kDec7 << kDec8 << QString("2") << none
                               << QStringList{dec7[6], dec8[2]};
    QTest::newRow("one account of both agents")
        << kDec7 << kDec8 << none << QString("12345")
        << QStringList{dec7[3], dec7[4], dec7[6], dec8[1], dec8[2]};
    QTest::newRow("one agent's account on the second day")
        << kDec8 << kDec8 << QString("001") << QString("000000000012345") << QStringList{dec8[1]};
}

void TestReportData::closingAmountRunsOverTheAccountsCollections() {
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, agent);
    QFETCH(QString, account);
    QFETCH(QStringList, rows);
    const QString a12345 = "000000000012345";
    // Out of transaction order, and 10000 before 9999 as text.
    add(collection("001", a12345, "0000050.00", "08/12/2009 10:00", "0000001000.00", "10000"));
    add(collection("001", a12345, "0000100.00", "07/12/2009 10:00", "0000001000.00", "9999"));
    add(collection("001", a12345, "0000100.00", "07/12/2009 09:00", "0000001000.00", "0042"));
    add(collection("002", a12345, "0000002.00", "08/12/2009 09:00", "0000002000.00", "0002"));
    add(collection("002", a12345, "0000001.00", "07/12/2009 09:00", "0000002000.00", "0001"));
    add(collection("001", "000000000000077", "0000010.00", "08/12/2009 09:00", "0000000500.00",
                   "0005"));
    add(collection("001", "000000000000077", "0000020.00", "07/12/2009 11:00", "0000000500.00",
                   "0003"));
    add(collection("001", "000000000000088", "0000005.00", "07/12/2009 11:00", "", "0007"));
    add(collection("001", "000000000000099", "00000x0.00", "07/12/2009 11:00", "0000000300.00",
                   "0011"));
    add(collection("001", "000000000000099", "0000005.00", "07/12/2009 11:30", "0000000300.00",
                   "0012"));
    // The terminal's amount bytes were not BCD: stored without an amount.
    add(collection("001", "000000000099999", "", "07/12/2009 12:00", "0000000300.00", "0020"));
    add(collection("001", "000000000099999", "0000005.00", "07/12/2009 12:30", "0000000300.00",
                   "0021"));
    ReportStatus st;
    const DailyCollectionData d = source().dailyCollection(range(from, to, agent, account), &st);
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(rowTexts(d), rows);
    // Every reader of the saved query sees the same closing amounts.
    QVERIFY(test::ledgerFromRestoreData(*m_db));
    QSqlQuery q(m_db->handle());
    QVERIFY(
        q.exec("SELECT group_concat(ClosingAmt, ' ') FROM (SELECT ClosingAmt FROM Report1 "
               "WHERE AgentID = '001' AND AccountNo = '000000000012345' AND "
               "Date = '2009-12-08' ORDER BY TransactionNumber)"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("1250.0"));
}

void TestReportData::filtersCompareDigitsAsNumbers_data() {
    QTest::addColumn<QString>("agent");
    QTest::addColumn<QString>("account");
    QTest::addColumn<Hundredths>("total");
    // Digits only: compared as numbers, leading zeros and blanks ignored. Anything else: as
    // text, exactly, without surrounding blanks.
    struct Case {
        const char* name;
        const char* agent;
        const char* account;
        Hundredths total;
    };
    const Case cases[] = {
        {"agent 1", "1", "", 300},
        {"agent 001", "001", "", 300},
        {"agent with blanks", "  01 ", "", 300},
        {"agent 10", "10", "", 400},
        {"agent 11", "11", "", 800},
        {"agent with a letter", "1A", "", 1600},
        {"agent 0", "0", "", 3200},
        {"no such agent", "2", "", 0},
        {"everything", "", "", 204700},
        {"account 12345", "", "12345", 19200},
        {"account with zeros", "", "000000000012345", 19200},
        {"account with blanks", "", " 0012345 ", 19200},
        {"account 1", "", "1", 100},
        {"account 0", "", "0", 102400},
        {"account with a letter", "", "0012345A", 25600},
        {"letters: zeros count", "", "12345A", 0},
        {"letters: exact", "", "ac 12", 0},
        {"letters and a blank", "", " AC 12 ", 51200},
        {"agent and account", "5", "12345", 19200},
        {"account of another agent", "1", "12345", 0},
    };
    for (const Case& c : cases) {
        QTest::newRow(c.name) << QString(c.agent) << QString(c.account) << c.total;
    }
}

void TestReportData::filtersCompareDigitsAsNumbers() {
    QFETCH(QString, agent);
    QFETCH(QString, account);
    QFETCH(Hundredths, total);
    add(collection("001            ", "1", "0000001.00", "07/12/2009 10:00"));
    add(collection("  1", "2", "0000002.00", "07/12/2009 10:00"));
    add(collection("010", "3", "0000004.00", "07/12/2009 10:00"));
    add(collection("11", "4", "0000008.00", "07/12/2009 10:00"));
    add(collection("1A", "5", "0000016.00", "07/12/2009 10:00"));
    add(collection("000", "6", "0000032.00", "07/12/2009 10:00"));
    add(collection("005", "   000000000012345", "0000064.00", "07/12/2009 10:00"));
    add(collection("005", "12345", "0000128.00", "07/12/2009 10:00"));
    add(collection("005", "0012345A", "0000256.00", "07/12/2009 10:00"));
    add(collection("005", "AC 12", "0000512.00", "07/12/2009 10:00"));
    add(collection("005", "000", "0001024.00", "07/12/2009 10:00"));
    ReportStatus st;
    QCOMPARE(source().dailyCollection(range(kDec7, kDec7, agent, account), &st).grandTotal, total);
    QVERIFY2(st, qPrintable(st.detail));
}

void TestReportData::agentAndAccountWithBlanksAndQuotes() {
    add(collection("O'Brien 7      ", "  AC'12 3      ", "0000001.00", "07/12/2009 10:00"));
    add(collection("O'Brien 7", "AC'12", "0000002.00", "07/12/2009 10:00"));
    add(collection("O'Brien", "AC'12 3", "0000004.00", "07/12/2009 10:00"));
    add(collection("005", "   000000000077", "0000008.00", "07/12/2009 10:00"));
    ReportStatus st;
    auto total = [&](const QString& agent, const QString& account) {
        return source().dailyCollection(range(kDec7, kDec7, agent, account), &st).grandTotal;
    };
    QCOMPARE(total(" O'Brien 7 ", ""), Hundredths(300));
    QCOMPARE(total("O'Brien 7", " AC'12 3 "), Hundredths(100));
    QCOMPARE(total("", "AC'12 3"), Hundredths(500));
    QCOMPARE(total("", "AC'12"), Hundredths(200));
    QCOMPARE(total("5", "000000000077"), Hundredths(800));
    QVERIFY(st);
    const DailyCollectionData d =
        source().dailyCollection(range(kDec7, kDec7, "O'Brien 7", "AC'12 3"), &st);
    QCOMPARE(d.groups.value(0).rows.value(0).AgentID, QString("O'Brien 7"));
    QCOMPARE(d.groups.value(0).rows.value(0).AccountNo, QString("AC'12 3"));
}

void TestReportData::typedTextNeverBecomesSql() {
    add(collection("001", "1", "0000001.00", "07/12/2009 10:00"));
    ReportStatus st;
    for (const QString& text : {QString("1' OR '1'='1"), QString("x'); DROP TABLE RestoreData; --"),
                                QString("%"), QString("*")}) {
        QCOMPARE(source().dailyCollection(range(kDec7, kDec7, text), &st).rowCount(), 0);
        QVERIFY2(st, qPrintable(st.detail));
        QCOMPARE(source().dailyCollection(range(kDec7, kDec7, {}, text), &st).rowCount(), 0);
        QVERIFY2(st, qPrintable(st.detail));
    }
    QCOMPARE(source().dailyCollection(range(kDec7, kDec7), &st).rowCount(), 1);
}

void TestReportData::missingBalanceLeavesClosingAmountEmpty() {
    add(collection("001", "1", "0000012.00", "07/12/2009 10:00", ""));
    add(collection("001", "2", "0000003.00", "07/12/2009 10:00", "-0000000005.50"));
    // A balance that cannot be read is no better known than a missing one.
    add(collection("001", "3", "0000001.00", "07/12/2009 10:00", "12,50"));
    add(collection("001", "4", "0000001.00", "07/12/2009 10:00", "99999999999999999999.00"));
    ReportStatus st;
    const DailyCollectionData d = source().dailyCollection(range(kDec7, kDec7), &st);
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(rowTexts(d), QStringList({"001|1||12.00|2009-12-07", "001|2|-2.50|3.00|2009-12-07",
                                       "001|3||1.00|2009-12-07", "001|4||1.00|2009-12-07"}));
    QCOMPARE(d.grandTotal, Hundredths(1700));  // the collections still count
    QVERIFY(d.unreadable.isEmpty());
}

void TestReportData::collectionsKeptOutOfTheBankFileAreMarked_data() {
    // Collections of agent 001 on 7 December, in stored order, as
    // "account|transaction number|in the download (y/n)|amount".
    QTest::addColumn<QStringList>("collections");
    QTest::addColumn<QStringList>("marks");  // the report's rows' marks, in report order
    QTest::addColumn<QString>("notPosted");  // count|total, of the day and of the report
    QTest::newRow("all posted") << QStringList{"1|0001|y|12.00", "2|0002|y|3.00"}
                                << QStringList{"", ""} << "0|0.00";
    QTest::newRow("account not in the download") << QStringList{"1|0001|y|12.00", "2|0002|n|3.00"}
                                                 << QStringList{"", "Not in download"} << "1|3.00";
    QTest::newRow("repeated transaction number: the first is posted")
        << QStringList{"2|0007|y|3.00", "1|0007|y|12.00"} << QStringList{"Repeated number", ""}
        << "1|12.00";
    QTest::newRow("a number taken by a collection not posted is free")
        << QStringList{"1|0007|n|12.00", "2|0007|y|3.00", "3|0007|y|4.00"}
        << QStringList{"Not in download", "", "Repeated number"} << "2|16.00";
}

// The collections the bank upload file leaves out count in the reports' sums, marked, with
// what the bank posts and what it does not under the sums.
void TestReportData::collectionsKeptOutOfTheBankFileAreMarked() {
    QFETCH(QStringList, collections);
    QFETCH(QStringList, marks);
    QFETCH(QString, notPosted);
    Hundredths total = 0;
    for (const QString& c : collections) {
        const QStringList f = c.split('|');
        test::Collection row =
            collection("001", f[0], f[3].rightJustified(10, '0'), "07/12/2009 10:00");
        row.transaction = f[1];
        row.lastTxndate = f[2] == "y" ? "01/12/2009" : "";
        total += *hundredthsOf(f[3]);
        add(row);
    }
    ReportStatus st;
    const DailyCollectionData d = source().dailyCollection(range(kDec7, kDec7), &st);
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(d.groups.size(), 1);
    QStringList seen;
    for (const CollectionRow& r : d.groups[0].rows) {
        seen << postingText(r.posting);
    }
    QCOMPARE(seen, marks);
    QCOMPARE(d.grandTotal, total);  // they still count
    QCOMPARE(QString("%1|%2").arg(d.notPosted.count).arg(kovrin::amountText(d.notPosted.total)),
             notPosted);
    QCOMPARE(d.groups[0].notPosted.count, d.notPosted.count);
    QCOMPARE(d.groups[0].notPosted.total, d.notPosted.total);
}

void TestReportData::unreadableRowsAreListedApart_data() {
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("dateTime");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("agent");
    QTest::addColumn<QString>("account");
    QTest::addColumn<bool>("listed");  // the row of agent 004 is listed by both reports
    // A readable collection of 12.00 by agent 001 on 7 December, and one of agent 004, account
    // 77 whose stored texts are these, uploaded for 7 December.
    struct Case {
        const char* name;
        const char* amount;
        const char* dateTime;
        QDate day;
        const char* agent;
        const char* account;
        bool listed;
    };
    const char* dec7 = "07/12/2009 10:00";
    const Case cases[] = {
        {"letter in the amount", "00001O2.00", dec7, kDec7, "", "", true},
        {"blanks kept", "  00001O2.00 ", dec7, kDec7, "", "", true},
        {"sign", "-000012.00", dec7, kDec7, "", "", true},
        {"two points", "12.3.4", dec7, kDec7, "", "", true},
        {"three decimals", "12.345", dec7, kDec7, "", "", true},
        {"exponent", "1e5", dec7, kDec7, "", "", true},
        {"no whole part", ".50", dec7, kDec7, "", "", true},
        {"too large", "100000000000.00", dec7, kDec7, "", "", true},
        {"day byte 00", "0000005.00", "00/12/2009 10:00", kDec7, "", "", true},
        {"30 February, on its upload's day", "0000005.00", "30/02/2009 10:00", kDec7, "", "", true},
        {"30 February, not after its upload's day", "0000005.00", "30/02/2009 10:00", kDec8, "", "",
         false},
        {"day byte 00, not before its upload's day", "0000005.00", "00/12/2009 10:00",
         QDate(2009, 12, 6), "", "", false},
        {"25 o'clock, as a date that cannot be read", "0000005.00", "07/12/2009 25:00", kDec7, "",
         "", true},
        {"minute 60", "0000005.00", "07/12/2009 10:60", kDec7, "", "", true},
        {"amount on a day outside the range", "00001O2.00", "09/12/2009 10:00", kDec7, "", "",
         false},
        {"only the agent's account", "00001O2.00", dec7, kDec7, "4", "77", true},
        {"amount bytes that were not BCD: stored without one", "", dec7, kDec7, "", "", true},
    };
    for (const Case& c : cases) {
        QTest::newRow(c.name) << QString(c.amount) << QString(c.dateTime) << c.day
                              << QString(c.agent) << QString(c.account) << c.listed;
    }
}

void TestReportData::unreadableRowsAreListedApart() {
    QFETCH(QString, amount);
    QFETCH(QString, dateTime);
    QFETCH(QDate, day);
    QFETCH(QString, agent);
    QFETCH(QString, account);
    QFETCH(bool, listed);
    add(collection("001", "1", "0000012.00", "07/12/2009 10:00"));
    add(collection("004", "  77 ", amount, dateTime));
    {
        QSqlQuery q(m_db->handle());
        QVERIFY(
            q.exec("INSERT INTO UploadInfo (AgentID, AgentDateKey, TotalTransactions, "
                   "TotalAmount, UploadedAt) VALUES ('004', '0040712', 1, 0, "
                   "'2009-12-07T18:00:00.000')"));
    }
    const QStringList stored = {"004|77|" + amount + "|" + dateTime};
    const bool good = day == kDec7 && agent.isEmpty();  // the readable row is in the report
    ReportStatus st;
    const DailyCollectionData d = source().dailyCollection(range(day, day, agent, account), &st);
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(rowTexts(d), good ? QStringList{"001|1|1012.00|12.00|2009-12-07"} : QStringList());
    QCOMPARE(d.grandTotal, Hundredths(good ? 1200 : 0));
    QCOMPARE(unreadableTexts(d.unreadable), listed ? stored : QStringList());
    const AgentCollectionData a = source().agentCollection(range(day, day), &st);
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(rowTexts(a), day == kDec7 ? QStringList{"001|12.00|2009-12-07"} : QStringList());
    QCOMPARE(unreadableTexts(a.unreadable), listed ? stored : QStringList());
    // Report2 has no row for the day's collections that cannot be read.
    QVERIFY(test::ledgerFromRestoreData(*m_db));
    QSqlQuery q(m_db->handle());
    QVERIFY(q.exec("SELECT count(*) FROM Report2 WHERE AgentID = '004'"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 0);
}

void TestReportData::branchesOfTheRows() {
    test::Collection c = collection("001", "1", "0000001.00", "07/12/2009 10:00");
    for (const char* branch : {" BR02 ", "", "BR01", "BR02"}) {
        c.branch = branch;
        add(c);
    }
    c.branch = "BR09";  // outside the range
    c.dateTime = "09/12/2009 10:00";
    add(c);
    c.branch = "BR00";  // a collection that cannot be read, of its upload's day (the last)
    c.dateTime = "00/12/2009 10:00";
    add(c);
    ReportStatus st;
    QCOMPARE(source().dailyCollection(range(kDec7, kDec8), &st).branchIds,
             QStringList({"BR01", "BR02"}));
    QCOMPARE(source().agentCollection(range(kDec7, kDec8), &st).branchIds,
             QStringList({"BR01", "BR02"}));
    QCOMPARE(source().dailyCollection(range(kDec9, kDec9), &st).branchIds,
             QStringList({"BR00", "BR09"}));
    QVERIFY(st);
}

void TestReportData::hundredsOfRowsOnOneDate() {
    QVERIFY(m_db->inTransaction([&]() -> DbStatus {
        for (int i = 0; i < 450; ++i) {
            const QString amount =
                QString("%1.%2").arg(i, 7, 10, QChar('0')).arg(i % 100, 2, 10, QChar('0'));
            if (!test::insertCollection(
                    *m_db, collection("001", QString("%1").arg(i, 15, 10, QChar('0')), amount,
                                      "07/12/2009 10:00"))) {
                return DbStatus::failure("insert");
            }
        }
        return {};
    }));
    ReportStatus st;
    const DailyCollectionData d = source().dailyCollection(range(kDec7, kDec7), &st);
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(d.groups.size(), 1);
    QCOMPARE(d.groups[0].rows.size(), 450);
    Hundredths expected = 0;
    for (int i = 0; i < 450; ++i) {
        expected += Hundredths(i) * 100 + i % 100;
        QCOMPARE(d.groups[0].rows[i].AccountNo, QString("%1").arg(i, 15, 10, QChar('0')));
    }
    QCOMPARE(d.groups[0].total, expected);
    QCOMPARE(d.grandTotal, expected);
}

void TestReportData::ownConnectionIsClosedAfterRead() {
    add(collection("001", "1", "0000012.00", "07/12/2009 10:00"));
    QStringList before = QSqlDatabase::connectionNames();
    before.sort();
    ReportStatus st;
    QCOMPARE(source().dailyCollection(range(kDec7, kDec7), &st).rowCount(), 1);
    QCOMPARE(source().agentCollection(range(kDec7, kDec7), &st).rows.size(), 1);
    QStringList after = QSqlDatabase::connectionNames();
    after.sort();
    QCOMPARE(after, before);
    // The program's own connection goes on working, also inside a transaction.
    QVERIFY(m_db->inTransaction([&]() -> DbStatus {
        QSqlQuery q(m_db->handle());
        return q.exec("DELETE FROM RestoreData") ? DbStatus{} : DbStatus::failure("delete");
    }));
    QCOMPARE(source().dailyCollection(range(kDec7, kDec7), &st).rowCount(), 0);
}

void TestReportData::missingFileIsAnErrorAndNotCreated() {
    const QString path = m_pf->filePath("Elsewhere.mdb");
    ReportStatus st;
    ReportSource(path).dailyCollection(range(kDec7, kDec7), &st);
    QCOMPARE(st.code, ReportStatus::Code::DatabaseError);
    QVERIFY(!st.detail.isEmpty());
    QVERIFY(!QFile::exists(path));
    ReportSource(path).agentCollection(range(kDec7, kDec7), &st);
    QCOMPARE(st.code, ReportStatus::Code::DatabaseError);
}

void TestReportData::olderFileGetsTheNewViews() {
    {
        QVERIFY(test::ledgerFromRestoreData(*m_db));
        QSqlQuery q(m_db->handle());
        QVERIFY(q.exec("DROP VIEW Report2"));
        QVERIFY(q.exec("DROP VIEW Report1"));
        QVERIFY(
            q.exec("CREATE VIEW Report1 AS SELECT AgentID, AccountNo, 0 AS ClosingAmt, "
                   "0 AS CollectedAmt, DateTime AS Date FROM RestoreData"));
        QVERIFY(
            q.exec("CREATE VIEW Report2 AS SELECT AgentID, 0 AS CollectedAmt, "
                   "DateTime AS Date FROM RestoreData"));
        QVERIFY(q.exec("PRAGMA user_version = 1"));
    }
    add(collection("001  ", "1", "0000012.00", "07/12/2009 10:00"));
    m_db.reset();
    QString error;
    m_db = Database::open(m_pf->folder().databasePath(), &error);
    QVERIFY2(m_db, qPrintable(error));
    QVERIFY(test::ledgerFromRestoreData(*m_db));
    QSqlQuery q(m_db->handle());
    QVERIFY(q.exec("PRAGMA user_version"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), schema::kVersion);
    ReportStatus st;
    const DailyCollectionData d = source().dailyCollection(range(kDec7, kDec7, "1"), &st);
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(d.grandTotal, Hundredths(1200));
}

void TestReportData::amountText_data() {
    QTest::addColumn<qint64>("amount");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0.00";
    QTest::newRow("paise") << qint64(5) << "0.05";
    QTest::newRow("no separator") << qint64(123456789) << "1234567.89";
    QTest::newRow("negative") << qint64(-250) << "-2.50";
    QTest::newRow("largest") << std::numeric_limits<qint64>::max() << "92233720368547758.07";
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << "-92233720368547758.08";
}

void TestReportData::amountText() {
    QFETCH(qint64, amount);
    QFETCH(QString, text);
    QCOMPARE(kovrin::amountText(amount), text);
}

void TestReportData::describeNamesRangeAndFilters() {
    QCOMPARE(range(kDec7, kDec8).describe(ReportKind::DailyCollection),
             QString("from 07/Dec/2009 to 08/Dec/2009"));
    QCOMPARE(range(kDec7, kDec7, "1", "").describe(ReportKind::DailyCollection),
             QString("on 07/Dec/2009 for agent 1"));
    QCOMPARE(range(kDec7, kDec7, "", " 12 ").describe(ReportKind::DailyCollection),
             QString("on 07/Dec/2009 for account 12"));
    QCOMPARE(range(kDec7, kDec8, "1", "12").describe(ReportKind::DailyCollection),
             QString("from 07/Dec/2009 to 08/Dec/2009 for agent 1 and account 12"));
    QCOMPARE(range(kDec7, kDec8, "1", "12").describe(ReportKind::AgentCollection),
             QString("from 07/Dec/2009 to 08/Dec/2009"));
    QCOMPARE(reportDateText(QDate(2010, 1, 5)), QString("05/Jan/2010"));
}

QTEST_GUILESS_MAIN(TestReportData)
#include "tst_reportdata.moc"
