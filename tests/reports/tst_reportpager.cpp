// The daily collection report read a page at a time on its own thread: the same rows, sums,
// pages and CSV as the whole read, whatever the page size and the pages kept; a store commits
// while it reads; Cancel stops a long read. Report2 and the register, read whole on their own
// thread, likewise.
#include "CollectionRows.h"
#include "db/Database.h"
#include "db/LedgerStore.h"
#include "reports/DailyReportPager.h"
#include "reports/ReportCsv.h"
#include "reports/ReportLayout.h"
#include "reports/WholeReportReader.h"
#include "support/TempProgramFolder.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

using namespace kovrin;
using test::collection;

class TestReportPager : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void pagesReadTheSameReport_data();
    void pagesReadTheSameReport();
    void storeCommitsWhileTheReportReads_data();
    void storeCommitsWhileTheReportReads();
    void cancelStopsALongRead_data();
    void cancelStopsALongRead();

private:
    // Rows of every kind the report's order has to tell apart: agents and accounts equal as
    // numbers but not as text, ones that are not numbers, collections alike in every column of
    // the order (a repeated transaction number with the same amount), three days, collections
    // not posted and collections that cannot be read.
    void addMixedRows();
    void addRows(int n, const char* dateTime);
    QString path() const { return m_db->filePath(); }
    test::TempProgramFolder* m_pf = nullptr;
    std::unique_ptr<Database> m_db;
};

namespace {
const QDate kDec7(2009, 12, 7);
const QDate kDec9(2009, 12, 9);

QByteArray pagedCsv(DailyReportPager& pager) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    const CsvOutcome outcome = streamDailyCollectionCsv(pager, out, &error);
    return outcome == CsvOutcome::Done ? out.data() : "failed: " + error.toUtf8();
}

// Appends one upload of `n` collections of agent `agent` for 07/12/2009 on `db`.
DbStatus storeUpload(Database& db, const QString& agent, int n) {
    QVector<RestoreDataRow> rows;
    for (int i = 0; i < n; ++i) {
        RestoreDataRow r;
        r.AgentID = agent.leftJustified(15);
        r.BranchID = QStringLiteral("BR01");
        r.AccountNo = QString::number(100000 + i).rightJustified(15, QLatin1Char('0'));
        r.Amtcollected = QStringLiteral("0000100.00");
        r.DateTime = QStringLiteral("07/12/2009 10:15");
        r.TransactionNumber = QString::number(i + 1).rightJustified(4, QLatin1Char('0'));
        r.CategoryCode = QStringLiteral("S");
        r.SchemeCode = QStringLiteral("DDS01");
        r.BalanceAmount = QStringLiteral("0000001000.00");
        r.LastTxndate = QStringLiteral("01/12/2009");
        rows.push_back(r);
    }
    const LedgerHeader h{agent, agent + QStringLiteral("0712"), n,
                         -1,    QDateTime(kDec7, QTime(18, 0)), {}};
    return db.inTransaction([&] { return LedgerStore(db).append(h, rows); });
}
}  // namespace

void TestReportPager::init() {
    m_pf = new test::TempProgramFolder;
    QString error;
    m_db = Database::open(m_pf->folder().databasePath(), &error);
    QVERIFY2(m_db, qPrintable(error));
}

void TestReportPager::cleanup() {
    m_db.reset();
    delete m_pf;
}

void TestReportPager::addMixedRows() {
    const char* const agents[] = {"001", "1", "A7", "12"};
    const char* const accounts[] = {"000000000012345", "12345", "99", "ABC"};
    const char* const days[] = {"07/12/2009 10:00", "08/12/2009 11:30", "09/12/2009 09:05"};
    QVERIFY(m_db->inTransaction([&]() -> DbStatus {
        for (int i = 0; i < 72; ++i) {
            test::Collection c =
                collection(agents[i % 4], accounts[(i / 4) % 4],
                           QStringLiteral("%1.00").arg(i % 3 + 1, 7, 10, QLatin1Char('0')),
                           days[(i / 16) % 3]);
            c.branch = i % 5 == 0 ? QStringLiteral("BR02") : QStringLiteral("BR01");
            if (i % 6 == 0) {
                c.transaction = QStringLiteral("0500");  // the same number again
            }
            if (i % 11 == 0) {
                c.lastTxndate.clear();  // not in the download
            }
            if (!test::insertCollection(*m_db, c)) {
                return DbStatus::failure("insert");
            }
        }
        test::Collection bad = collection("1", "77", "0000001.00", "00/12/2009 10:00");
        bad.branch = QStringLiteral("BR09");
        return test::insertCollection(*m_db, bad) ? DbStatus{} : DbStatus::failure("insert");
    }));
    QVERIFY(test::ledgerFromRestoreData(*m_db));
}

void TestReportPager::addRows(int n, const char* dateTime) {
    QVERIFY(m_db->inTransaction([&]() -> DbStatus {
        for (int i = 0; i < n; ++i) {
            if (!test::insertCollection(
                    *m_db, collection("001", QString::number(1000 + i), "0000002.50", dateTime))) {
                return DbStatus::failure("insert");
            }
        }
        return {};
    }));
    QVERIFY(test::ledgerFromRestoreData(*m_db));
}

void TestReportPager::pagesReadTheSameReport_data() {
    QTest::addColumn<int>("pageRows");
    QTest::addColumn<int>("cachedPages");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("agent");
    QTest::addColumn<QString>("account");
    // One row a page and one page kept: every page is read again from its start when asked.
    QTest::newRow("1 row a page, all days") << 1 << 1 << kDec7 << kDec9 << ""
                                            << "";
    QTest::newRow("2 rows, all days") << 2 << 2 << kDec7 << kDec9 << ""
                                      << "";
    QTest::newRow("3 rows, one day") << 3 << 2 << kDec9 << kDec9 << ""
                                     << "";
    QTest::newRow("5 rows, agent 1") << 5 << 1 << kDec7 << kDec9 << "1"
                                     << "";
    QTest::newRow("4 rows, account 12345") << 4 << 3 << kDec7 << kDec9 << ""
                                           << "12345";
    QTest::newRow("1 row, agent A7 and account ABC") << 1 << 1 << kDec7 << kDec9 << "A7"
                                                     << "ABC";
    QTest::newRow("a page holds them all") << 256 << 16 << kDec7 << kDec9 << ""
                                           << "";
    QTest::newRow("the rows fill whole pages") << 9 << 2 << kDec7 << kDec9 << ""
                                               << "";
    QTest::newRow("no collections") << 3 << 2 << QDate(2010, 1, 1) << QDate(2010, 1, 2) << ""
                                    << "";
}

void TestReportPager::pagesReadTheSameReport() {
    QFETCH(int, pageRows);
    QFETCH(int, cachedPages);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, agent);
    QFETCH(QString, account);
    addMixedRows();
    const ReportFilter filter{from, to, agent, account};
    ReportStatus st;
    const DailyCollectionData whole = ReportSource(path()).dailyCollection(filter, &st);
    QVERIFY2(st, qPrintable(st.detail));

    auto pager = std::make_shared<DailyReportPager>(
        path(), filter, DailyReportPager::Options{pageRows, cachedPages});
    pager->start();
    QVERIFY(pager->waitForFirstPage(10000));
    QCOMPARE(pagedCsv(*pager), dailyCollectionCsv(whole));

    const DailyReportState s = pager->state();
    QVERIFY(s.walked);
    QVERIFY(!s.failed());
    QCOMPARE(s.rows, qint64(whole.rowCount()));
    QCOMPARE(s.groups.size(), whole.groups.size());
    for (int g = 0; g < whole.groups.size(); ++g) {
        QCOMPARE(s.groups[g].Date, whole.groups[g].Date);
        QCOMPARE(s.groups[g].rows, qint64(whole.groups[g].rows.size()));
        QCOMPARE(s.groups[g].total, whole.groups[g].total);
        QCOMPARE(s.groups[g].notPosted.total, whole.groups[g].notPosted.total);
    }
    QCOMPARE(s.grandTotal, whole.grandTotal);
    QCOMPARE(s.notPosted.count, whole.notPosted.count);
    QCOMPARE(s.branchIds, whole.branchIds);
    QCOMPARE(s.unreadable.size(), whole.unreadable.size());
    QCOMPARE(s.empty(), whole.rowCount() == 0 && whole.unreadable.isEmpty());

    // The pages laid out from the reader, text for text those of the whole read.
    const ReportHeading heading{"Bank", branchIdText(s.branchIds, "Branch"), from, to};
    const ReportDocument expected = layoutDailyCollection(whole, heading);
    auto paged = pagedDailyCollection(pager, heading);
    paged->layOutAll();
    QCOMPARE(paged->pageCount(), expected.pages.size());
    for (int p = paged->pageCount() - 1; p >= 0; --p) {  // backwards: pages read again
        QCOMPARE(paged->pageTexts(p), expected.pageTexts(p));
    }
    QVERIFY(paged->readError().isEmpty());
}

void TestReportPager::storeCommitsWhileTheReportReads_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("pageRows");
    QTest::addColumn<bool>("walkFirst");
    QTest::newRow("store between pages of one row") << "Report1" << 1 << false;
    QTest::newRow("store between pages of 16 rows") << "Report1" << 16 << false;
    QTest::newRow("store once every row is read, the reader still open") << "Report1" << 16 << true;
    QTest::newRow("Report2 read while a store commits") << "Report2" << 0 << false;
    QTest::newRow("the register read while a store commits") << "Register" << 0 << false;
}

void TestReportPager::storeCommitsWhileTheReportReads() {
    QFETCH(QString, report);
    QFETCH(int, pageRows);
    QFETCH(bool, walkFirst);
    addRows(400, "07/12/2009 10:00");
    const ReportFilter filter{kDec7, kDec7, {}, {}};
    if (report != "Report1") {
        WholeReportReader reader(
            path(), report == "Report2" ? ReportKind::AgentCollection : ReportKind::UploadRegister,
            filter);
        reader.start();
        QElapsedTimer t;
        t.start();
        const DbStatus stored = storeUpload(*m_db, "2", 50);
        QVERIFY2(stored, qPrintable(stored.error));
        QVERIFY2(t.elapsed() < 2500, qPrintable(QString::number(t.elapsed())));
        QVERIFY(reader.wait(20000));
        QVERIFY2(reader.status(), qPrintable(reader.status().detail));
        // The state before the store or the state after it, never a part of the upload.
        if (const auto agents = reader.agents()) {
            QVERIFY(!reader.uploads());
            const Hundredths before = 400 * 250;
            QCOMPARE(agents->rows.first().CollectedAmt, before);
            QVERIFY(agents->rows.size() == 1 ||
                    (agents->rows.size() == 2 && agents->rows[1].CollectedAmt == 50 * 10000));
        } else {
            const auto uploads = reader.uploads();
            QVERIFY(uploads);
            const RegisterTotals& all = uploads->grandTotals;
            QVERIFY((all.uploads == 1 && all.storedCount + all.withoutTotalsCount == 400) ||
                    (all.uploads == 2 && all.storedCount + all.withoutTotalsCount == 450));
        }
        return;
    }
    DailyReportPager pager(path(), filter, DailyReportPager::Options{pageRows, 2});
    pager.start();
    QVERIFY(pager.waitForFirstPage(10000));
    if (walkFirst) {
        QTRY_VERIFY_WITH_TIMEOUT(pager.state().walked, 20000);
        QVERIFY(pager.rowsOfPage(3, 10000));  // a page read again: the reader is idle after it
    } else {
        QVERIFY(!pager.state().walked);
    }
    // The program's connection stores an upload of another agent for the same day; the reader
    // never holds a lock a writer waits for beyond one page.
    QElapsedTimer t;
    t.start();
    const DbStatus stored = storeUpload(*m_db, "2", 50);
    QVERIFY2(stored, qPrintable(stored.error));
    QVERIFY2(t.elapsed() < 2500, qPrintable(QString::number(t.elapsed())));

    QTRY_VERIFY_WITH_TIMEOUT(pager.state().walked, 20000);
    const DailyReportState s = pager.state();
    QVERIFY2(!s.failed(), qPrintable(s.status.detail));
    // Every collection read once and in order: the 400 stored before, and those of the upload
    // stored meanwhile when the walk had not passed their place (agent 2 comes after agent 1).
    QVERIFY(s.rows == 400 || (!walkFirst && s.rows == 450));
    QCOMPARE(s.grandTotal, Hundredths(400 * 250 + (s.rows - 400) * 10000));
    ReportStatus st;
    const DailyCollectionData now = ReportSource(path()).dailyCollection(filter, &st);
    QCOMPARE(now.rowCount(), 450);
}

void TestReportPager::cancelStopsALongRead_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("when");
    QTest::newRow("after the first page") << "Report1"
                                          << "first page";
    QTest::newRow("before the reader starts") << "Report1"
                                              << "not started";
    QTest::newRow("while the CSV is written") << "Report1"
                                              << "csv";
    QTest::newRow("the reader dropped while it reads") << "Report1"
                                                       << "dropped";
    QTest::newRow("while a writer holds the file") << "Report1"
                                                   << "held";
    QTest::newRow("Report2 before the reader starts") << "Report2"
                                                      << "not started";
    QTest::newRow("Report2 while a writer holds the file") << "Report2"
                                                           << "held";
    QTest::newRow("the register while a writer holds the file") << "Register"
                                                                << "held";
}

void TestReportPager::cancelStopsALongRead() {
    QFETCH(QString, report);
    QFETCH(QString, when);
    addRows(600, "07/12/2009 10:00");
    const ReportFilter filter{kDec7, kDec7, {}, {}};
    if (report != "Report1") {
        auto reader = std::make_unique<WholeReportReader>(
            path(), report == "Report2" ? ReportKind::AgentCollection : ReportKind::UploadRegister,
            filter);
        QSignalSpy finished(reader.get(), &WholeReportReader::finished);
        QSqlQuery hold(m_db->handle());
        if (when == "held") {
            // The read waits for the writer; Cancel ends the wait, the writer still there.
            QVERIFY(hold.exec("PRAGMA journal_mode=DELETE"));
            QVERIFY(hold.exec("BEGIN EXCLUSIVE"));
            reader->start();
            QVERIFY(!reader->wait(200));
            reader->cancel();
            QVERIFY(reader->wait(500));
            QVERIFY(hold.exec("ROLLBACK"));
        } else {
            if (when == "not started") {
                reader->cancel();
            }
            reader->start();
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
        QVERIFY(reader->cancelled());
        QVERIFY(!reader->agents());
        QVERIFY(!reader->uploads());
        return;
    }
    auto pager =
        std::make_unique<DailyReportPager>(path(), filter, DailyReportPager::Options{1, 2});
    QSignalSpy finished(pager.get(), &DailyReportPager::finished);
    if (when == "held") {
        // Cancel ends the wait for the writer at once, not after the busy timeout.
        QSqlQuery hold(m_db->handle());
        QVERIFY(hold.exec("PRAGMA journal_mode=DELETE"));
        QVERIFY(hold.exec("BEGIN EXCLUSIVE"));
        pager->start();
        QVERIFY(!pager->waitForFirstPage(200));
        pager->cancel();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 1000);
        QVERIFY(hold.exec("ROLLBACK"));
        QVERIFY(pager->state().cancelled);
        QCOMPARE(pager->state().rows, 0);
        return;
    }
    if (when == "not started") {
        pager->cancel();
        pager->start();
    } else {
        pager->start();
        QVERIFY(pager->waitForFirstPage(10000));
    }
    if (when == "csv") {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        int pages = 0;
        const CsvOutcome outcome =
            streamDailyCollectionCsv(*pager, out, nullptr, [&](qint64) { return ++pages < 5; });
        QCOMPARE(outcome, CsvOutcome::Cancelled);
        QCOMPARE(pages, 5);
        pager->cancel();
    } else if (when == "first page") {
        pager->cancel();
    }
    QElapsedTimer t;
    t.start();
    if (when == "dropped") {
        pager.reset();
        QVERIFY(t.elapsed() < 2000);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    QVERIFY(t.elapsed() < 2000);
    const DailyReportState s = pager->state();
    QVERIFY(s.cancelled);
    QVERIFY(!s.walked);
    QVERIFY(s.rows < 600);
    QVERIFY(pager->pagesRead() < 600);
    // Nothing more is read or given once stopped.
    const qint64 read = pager->pagesRead();
    QVERIFY(!pager->rowsOfPage(599, 1000));
    QVERIFY(!pager->rowIfRead(599));
    QCOMPARE(pager->pagesRead(), read);
    QCOMPARE(pagedCsv(*pager), QByteArray("failed: the reading of the report was stopped"));
}

QTEST_MAIN(TestReportPager)
#include "tst_reportpager.moc"
