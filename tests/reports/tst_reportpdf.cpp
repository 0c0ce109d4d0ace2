// Both reports rendered to PDF offscreen, read back with poppler: page count, fonts, titles,
// headings, labels with their exact spacing, group and grand totals, and the collections that
// could not be read at the end.
#include "CollectionRows.h"
#include "PdfText.h"
#include "reports/DailyReportPager.h"
#include "reports/FrmReportPreview.h"
#include "reports/ReportCsv.h"
#include "reports/ReportPainter.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QtTest>

using namespace kovrin;
using test::PdfLine;
using test::PdfPage;

namespace {

const QDate kDec7(2009, 12, 7);
const QDate kDec8(2009, 12, 8);

ReportHeading heading() {
    return ReportHeading{"State Bank of Kovrin", "Main Road", kDec7, kDec8};
}

// 150 rows on 7 December (several pages), 3 on 8 December.
DailyCollectionData dailyData() {
    QVector<CollectionRow> rows;
    for (int i = 0; i < 150; ++i) {
        rows.push_back({"001", QString("%1").arg(1000 + i, 15, 10, QChar('0')),
                        Hundredths(500000 + 100 * i), Hundredths(2550 + i), kDec7});
    }
    rows.push_back({"O'Neil", "AC'7 X", Hundredths(123456), Hundredths(1000), kDec8});
    rows.push_back({"O'Neil", "AC'8", std::nullopt, Hundredths(5), kDec8});
    rows.push_back({"002", "31", Hundredths(99), Hundredths(99), kDec8});
    return groupByDate(rows);
}

// 60 rows of six agents over ten days from 7 December.
AgentCollectionData agentData() {
    AgentCollectionData data;
    for (int i = 0; i < 60; ++i) {
        data.rows.push_back({QString("%1").arg(i % 6 + 1, 3, 10, QChar('0')), Hundredths(i * 1001),
                             kDec7.addDays(i / 6)});
    }
    return data;
}

// Collections of agent 009 that could not be read.
QVector<UnreadableRow> unreadableRows(int count) {
    QVector<UnreadableRow> rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back({"009", QString::number(7000 + i), i % 2 ? "0000005.00" : "00000x0.00",
                        i % 2 ? "00/12/2009 10:00" : "07/12/2009 10:00"});
    }
    return rows;
}

// A long report: `rows` collections over two days, a few thousand pages of them.
std::shared_ptr<const DailyCollectionData> longData(int rows) {
    auto data = std::make_shared<DailyCollectionData>();
    for (int d = 0; d < 2; ++d) {
        CollectionGroup g{kDec7.addDays(d), {}, 0, {}};
        for (int i = 0; i < rows / 2; ++i) {
            g.rows.push_back({QString("%1").arg(i / 2000 + 1, 3, 10, QChar('0')),
                              QString("%1").arg(i, 15, 10, QChar('0')), Hundredths(100000 + i),
                              Hundredths(100 + i % 1000), g.Date});
            g.total += g.rows.last().CollectedAmt;
        }
        data->grandTotal += g.total;
        data->groups.push_back(std::move(g));
    }
    return data;
}

PreviewContent longPreview(const std::shared_ptr<const DailyCollectionData>& data,
                           const QString& folder) {
    PreviewContent c;
    c.report = pagedDailyCollection(data, heading());
    c.writeCsv = [data](QIODevice& out) { return writeDailyCollectionCsv(*data, out); };
    c.folder = folder;
    c.pdfFileName = "long.pdf";
    c.csvFileName = "long.csv";
    return c;
}

}  // namespace

class TestReportPdf : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void dailyCollectionPdf();
    void agentCollectionPdf();
    void unreadableAtTheEnd_data();
    void unreadableAtTheEnd();
    void textsAreInArial();
    void pageImagesShowTheText();
    void failedSaveLeavesNoFile();
    void longReportShowsItsFirstPageFirst();
    void cancelledPdfLeavesNoFile_data();
    void cancelledPdfLeavesNoFile();
    void rowsNotReadSaveNothing_data();
    void rowsNotReadSaveNothing();

private:
    QString render(const ReportDocument& doc, const QString& name);
    test::TempProgramFolder m_pf;
};

void TestReportPdf::initTestCase() {
    for (const char* tool : {"pdftotext", "pdfinfo", "pdffonts"}) {
        QVERIFY2(!test::popplerTool(tool).isEmpty(),
                 qPrintable(QString("%1 (Debian package poppler-utils) is needed: run scripts/deps")
                                .arg(tool)));
    }
}

QString TestReportPdf::render(const ReportDocument& doc, const QString& name) {
    const QString path = m_pf.filePath(name);
    QString error;
    if (!ReportPainter::savePdf(doc, path, &error)) {
        qWarning() << "savePdf:" << error;
        return {};
    }
    return path;
}

void TestReportPdf::dailyCollectionPdf() {
    const DailyCollectionData data = dailyData();
    const ReportDocument doc = layoutDailyCollection(data, heading());
    const QString path = render(doc, "daily.pdf");
    QVERIFY(!path.isEmpty());
    QCOMPARE(doc.pages.size(), 4);
    QCOMPARE(test::pdfPageCount(path), 4);
    const QVector<PdfPage> pages = test::pdfPages(path);
    QCOMPARE(pages.size(), 4);

    // The title once, on the first page; the page header on every page.
    QCOMPARE(pages[0].value(0), PdfLine{"KOVRIN DAILY COLLECTION SUMMARY"});
    for (int p = 0; p < pages.size(); ++p) {
        const PdfPage& page = pages[p];
        QCOMPARE(test::lineStarting(page, "Bank Name :"),
                 PdfLine({"Bank Name :", "State Bank of Kovrin"}));
        QCOMPARE(test::lineStarting(page, "Branch ID :"), PdfLine({"Branch ID :", "Main Road"}));
        QCOMPARE(test::lineStarting(page, "Date :"),
                 PdfLine({"Date :", "07/Dec/2009 to 08/Dec/2009"}));
        QCOMPARE(test::countLinesStarting(page, "AgentID"), p == 3 ? 2 : 1);
        QCOMPARE(test::lineStarting(page, "AgentID"),
                 PdfLine({"AgentID", "Account No", "Bank Posting", "Closing Amount",
                          "Collected Amount"}));
        if (p > 0) {
            QCOMPARE(test::countLinesStarting(page, "KOVRIN DAILY COLLECTION SUMMARY"), 0);
            // The group that goes on over the break has its header again.
            QCOMPARE(test::lineStarting(page, "07/Dec/2009"),
                     PdfLine({"07/Dec/2009", "(continued)"}));
        }
    }
    QCOMPARE(test::lineStarting(pages[0], "07/Dec/2009"), PdfLine{"07/Dec/2009"});
    // Detail rows: 43 on page one, 45 on the next two, then the last 7 December rows.
    auto rowsOn = [&](int p) { return test::countLinesStarting(pages[p], "001"); };
    QCOMPARE(rowsOn(0), 43);
    QCOMPARE(rowsOn(1), 45);
    QCOMPARE(rowsOn(2), 45);
    QCOMPARE(rowsOn(3), 17);
    QCOMPARE(test::lineStarting(pages[0], "001"),
             PdfLine({"001", "000000000001000", "5000.00", "25.50"}));

    // Group sums and the grand sum, labels with three blanks before "Rs.".
    Hundredths first = 0;
    for (int i = 0; i < 150; ++i) {
        first += 2550 + i;
    }
    QCOMPARE(amountText(first), QString("3936.75"));
    const PdfPage& last = pages[3];
    QCOMPARE(test::countLinesStarting(last, "Group Total :   Rs."), 2);
    QStringList sums;
    for (const PdfLine& l : last) {
        if (l.value(0) == "Group Total :   Rs.") {
            QCOMPARE(l.size(), 2);
            sums << l[1];
        }
    }
    QCOMPARE(sums, QStringList({"3936.75", "11.04"}));
    QCOMPARE(test::lineStarting(last, "Grand Total :   Rs."),
             PdfLine({"Grand Total :   Rs.", "3947.79"}));
    QCOMPARE(last.last(), PdfLine({"Grand Total :   Rs.", "3947.79"}));
    for (int p = 0; p < 3; ++p) {
        QCOMPARE(test::countLinesStarting(pages[p], "Group Total :   Rs."), 0);
        QCOMPARE(test::countLinesStarting(pages[p], "Grand Total :   Rs."), 0);
    }
    // The 8 December group: agent and account texts as stored, an unknown balance left empty.
    QCOMPARE(test::lineStarting(last, "08/Dec/2009"), PdfLine{"08/Dec/2009"});
    QCOMPARE(test::lineStarting(last, "O'Neil"), PdfLine({"O'Neil", "AC'7 X", "1234.56", "10.00"}));
    QVERIFY(last.contains(PdfLine({"O'Neil", "AC'8", "0.05"})));
    QCOMPARE(test::lineStarting(last, "002"), PdfLine({"002", "31", "0.99", "0.99"}));
}

void TestReportPdf::agentCollectionPdf() {
    const AgentCollectionData data = agentData();
    const ReportDocument doc = layoutAgentCollection(data, heading());
    const QString path = render(doc, "agents.pdf");
    QVERIFY(!path.isEmpty());
    QCOMPARE(test::pdfPageCount(path), 2);
    const QVector<PdfPage> pages = test::pdfPages(path);
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages[0].value(0), PdfLine{"KOVRIN AGENT COLLECTION SUMMARY"});
    QCOMPARE(test::countLinesStarting(pages[1], "KOVRIN AGENT COLLECTION SUMMARY"), 0);
    int rows = 0;
    for (const PdfPage& page : pages) {
        QCOMPARE(test::lineStarting(page, "Bank Name :"),
                 PdfLine({"Bank Name :", "State Bank of Kovrin"}));
        QCOMPARE(test::lineStarting(page, "Branch ID :"), PdfLine({"Branch ID :", "Main Road"}));
        QCOMPARE(test::lineStarting(page, "Date :"),
                 PdfLine({"Date :", "07/Dec/2009 to 08/Dec/2009"}));
        QCOMPARE(test::lineStarting(page, "AgentID"),
                 PdfLine({"AgentID", "Collected Amount", "Date"}));
        for (const PdfLine& l : page) {
            if (l.size() == 3 && l[0].startsWith("00")) {
                QCOMPARE(l,
                         PdfLine({data.rows[rows].AgentID, amountText(data.rows[rows].CollectedAmt),
                                  reportDateText(data.rows[rows].Date)}));
                ++rows;
            }
        }
    }
    QCOMPARE(rows, 60);
    QVERIFY(pages[1].contains(PdfLine({"006", "590.59", "16/Dec/2009"})));
}

void TestReportPdf::unreadableAtTheEnd_data() {
    QTest::addColumn<bool>("daily");
    QTest::addColumn<int>("unreadable");
    QTest::addColumn<int>("pages");  // pages with the list; 4 (daily) and 2 (agents) without
    QTest::newRow("daily, on the last page") << true << 5 << 4;
    QTest::newRow("daily, over two pages") << true << 40 << 5;
    QTest::newRow("agents, on the last page") << false << 3 << 2;
    QTest::newRow("agents, over two pages") << false << 50 << 3;
}

void TestReportPdf::unreadableAtTheEnd() {
    QFETCH(bool, daily);
    QFETCH(int, unreadable);
    QFETCH(int, pages);
    const QVector<UnreadableRow> rows = unreadableRows(unreadable);
    ReportDocument doc;
    if (daily) {
        DailyCollectionData data = dailyData();
        data.unreadable = rows;
        doc = layoutDailyCollection(data, heading());
    } else {
        AgentCollectionData data = agentData();
        data.unreadable = rows;
        doc = layoutAgentCollection(data, heading());
    }
    const QString path = render(doc, daily ? "daily-unreadable.pdf" : "agents-unreadable.pdf");
    QVERIFY(!path.isEmpty());
    QCOMPARE(test::pdfPageCount(path), pages);
    const QVector<PdfPage> pdf = test::pdfPages(path);
    QCOMPARE(pdf.size(), pages);
    QVector<PdfLine> listed;
    bool headed = false;
    for (int p = 0; p < pdf.size(); ++p) {
        const PdfPage& page = pdf[p];
        const int at = page.indexOf(test::lineStarting(page, "Collections that could not be read"));
        if (at < 0) {
            QVERIFY2(!headed, "a page of the list without its heading");
            QCOMPARE(test::countLinesStarting(page, "009"), 0);
            continue;
        }
        // The heading, marked when the list goes on from the page before, what becomes of the
        // rows, and the column headings; the rows under it; nothing after them.
        QCOMPARE(page[at], headed ? PdfLine({"Collections that could not be read", "(continued)"})
                                  : PdfLine{"Collections that could not be read"});
        QCOMPARE(page.value(at + 1), PdfLine{"These collections are left out of the totals."});
        QCOMPARE(page.value(at + 2),
                 PdfLine({"AgentID", "Account No", "Stored Amount", "Stored Date and Time"}));
        QVERIFY(at + 3 < page.size());
        listed += page.mid(at + 3);
        if (daily && !headed) {
            // After the grand total, which counts the readable rows only.
            QCOMPARE(page.value(at - 1), PdfLine({"Grand Total :   Rs.", "3947.79"}));
        }
        headed = true;
    }
    QVector<PdfLine> expected;
    for (const UnreadableRow& r : rows) {
        expected << PdfLine({r.AgentID, r.AccountNo, r.Amtcollected, r.DateTime});
    }
    QCOMPARE(listed, expected);
}

void TestReportPdf::textsAreInArial() {
    const QString path = render(layoutDailyCollection(dailyData(), heading()), "fonts.pdf");
    QVERIFY(!path.isEmpty());
    const QStringList lines = QString::fromUtf8(test::runPoppler("pdffonts", {path})).split('\n');
    QStringList fonts;
    for (const QString& l : lines.mid(2)) {
        if (!l.trimmed().isEmpty()) {
            fonts << l.section(' ', 0, 0).section('+', -1);
        }
    }
    QVERIFY(!fonts.isEmpty());
    for (const QString& f : fonts) {
        // Arial, or Liberation Sans, which has Arial's metrics, where Arial is not installed.
        QVERIFY2(f.startsWith("Arial") || f.startsWith("LiberationSans"), qPrintable(f));
        QVERIFY2(!f.startsWith("LiberationSansNarrow"), qPrintable(f));
    }
    QVERIFY(fonts.filter("Bold").size() >= 1);
}

void TestReportPdf::pageImagesShowTheText() {
    const ReportDocument doc = layoutDailyCollection(dailyData(), heading());
    const QImage page = ReportPainter::pageImage(doc, 0, 72);
    QCOMPARE(page.size(), QSize(595, 842));
    auto inkIn = [&](const QRect& r) {
        int dark = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                dark += qGray(page.pixel(x, y)) < 128 ? 1 : 0;
            }
        }
        return dark;
    };
    QVERIFY(inkIn(QRect(150, 40, 300, 26)) > 50);   // the title, centred
    QVERIFY(inkIn(QRect(0, 0, 595, 36)) == 0);      // the top margin stays white
    QVERIFY(inkIn(QRect(500, 150, 59, 600)) > 50);  // the right-aligned collected amounts
    QVERIFY(inkIn(QRect(561, 0, 34, 842)) == 0);    // nothing runs into the right margin
    QVERIFY(ReportPainter::pageImage(doc, 99, 72).pixel(300, 50) == qRgb(255, 255, 255));
}

void TestReportPdf::failedSaveLeavesNoFile() {
    const ReportDocument doc = layoutDailyCollection(dailyData(), heading());
    QString error;
    const QString bad = m_pf.filePath("missing folder/report.pdf");
    QVERIFY(!ReportPainter::savePdf(doc, bad, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(bad));
    // Saving over an earlier file replaces it.
    const QString path = m_pf.filePath("again.pdf");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    QVERIFY2(ReportPainter::savePdf(doc, path, &error), qPrintable(error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().startsWith("%PDF-"));
    QCOMPARE(test::pdfPageCount(path), 4);
    // A link at the chosen name is refused: what it points at is never written.
    const QString link = m_pf.filePath("linked.pdf");
    QVERIFY(QFile::link(path, link));
    QVERIFY(!ReportPainter::savePdf(doc, link, &error));
    QVERIFY2(error.contains("link"), qPrintable(error));
    f.seek(0);
    QVERIFY(f.readAll().startsWith("%PDF-"));
    QCOMPARE(QFileInfo(link).symLinkTarget(), path);
}

// The preview of a report of thousands of pages shows its first page before the last one is
// laid out, makes only the pages it draws, and fills in the page count as it goes.
void TestReportPdf::longReportShowsItsFirstPageFirst() {
    const auto data = longData(120000);
    FrmReportPreview preview(longPreview(data, m_pf.path()));
    const std::shared_ptr<PagedReport> report = preview.content().report;
    QVERIFY(!report->complete());
    QVERIFY(report->pageCount() >= 1);
    QVERIFY(report->pageTexts(0).contains("KOVRIN DAILY COLLECTION SUMMARY"));
    auto* pages = preview.findChild<QLabel*>("lblPages");
    QVERIFY2(pages->text().endsWith("pages so far ..."), qPrintable(pages->text()));
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    auto* view =
        qobject_cast<ReportPagesView*>(preview.findChild<QScrollArea*>("scrPages")->widget());
    QVERIFY(view->pagesMade() >= 1);
    QVERIFY(view->pagesMade() <= 3);  // the pages in sight, not the report
    QTRY_VERIFY_WITH_TIMEOUT(report->complete(), 60000);
    // The page count of the whole report, and its last page with the grand total.
    PagedReport whole(*pagedDailyCollection(data, heading()));
    whole.layOutAll();
    QCOMPARE(report->pageCount(), whole.pageCount());
    QVERIFY(report->pageCount() > 2000);
    QCOMPARE(pages->text(), QString("%1 pages").arg(whole.pageCount()));
    const QStringList last = report->pageTexts(report->pageCount() - 1);
    QCOMPARE(last.mid(last.size() - 2),
             QStringList({"Grand Total :   Rs.", amountText(data->grandTotal)}));
    QVERIFY(view->height() >= view->pageTop(report->pageCount() - 1));
}

void TestReportPdf::cancelledPdfLeavesNoFile_data() {
    QTest::addColumn<bool>("earlierFile");
    QTest::newRow("a new file") << false;
    QTest::newRow("over an earlier file") << true;
}

// Cancel in the progress dialog of a long PDF export: no file, no half file, and an earlier
// file of the same name stays as it was.
void TestReportPdf::cancelledPdfLeavesNoFile() {
    QFETCH(bool, earlierFile);
    test::TempProgramFolder folder;
    const QString path = folder.filePath("long.pdf");
    if (earlierFile) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("earlier");
    }
    const QStringList before = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
    test::MessageRecorder rec;
    FrmReportPreview preview(longPreview(longData(40000), folder.path()));
    preview.setFileChooser(
        [&](QWidget*, const QString&, const QString&, const QString&) { return path; });
    int pagesWritten = 0;
    QTimer cancel;
    cancel.setInterval(20);
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (auto* d = preview.findChild<QProgressDialog*>("dlgProgress")) {
            pagesWritten = d->value();
            if (pagesWritten >= 3) {
                d->cancel();
            }
        }
    });
    cancel.start();
    preview.findChild<QPushButton*>("cmdSavePdf")->click();
    cancel.stop();
    QVERIFY(pagesWritten >= 3);
    QVERIFY(pagesWritten < preview.content().report->pageCount());
    QCOMPARE(rec.texts(), QStringList{"Saving was cancelled: " + QDir::toNativeSeparators(path) +
                                      " was not written."});
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), before);
    if (earlierFile) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("earlier"));
    }
    QVERIFY(!preview.findChild<QProgressDialog*>("dlgProgress"));
}

void TestReportPdf::rowsNotReadSaveNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("PDF") << "cmdSavePdf"
                         << "stopped.pdf"
                         << "The rows of the report could not all be read from the database: the "
                            "reading of the report was stopped.\nNothing was written to %1.";
    QTest::newRow("CSV") << "cmdSaveCsv"
                         << "stopped.csv"
                         << "Saving was cancelled: %1 was not "
                            "written.";
}

// The report's reader stopped before every row was read (pages of one row, one kept): the
// rows it can no longer give are never saved as blanks, nor the report cut short.
void TestReportPdf::rowsNotReadSaveNothing() {
    QFETCH(QString, button);
    QFETCH(QString, file);
    QFETCH(QString, message);
    test::TempProgramFolder folder;
    QString error;
    auto db = Database::open(folder.folder().databasePath(), &error);
    QVERIFY2(db, qPrintable(error));
    QVERIFY(db->inTransaction([&]() -> DbStatus {
        for (int i = 0; i < 120; ++i) {
            if (!test::insertCollection(*db, test::collection("001", QString::number(100 + i),
                                                              "0000001.00", "07/12/2009 10:00"))) {
                return DbStatus::failure("insert");
            }
        }
        return {};
    }));
    QVERIFY(test::ledgerFromRestoreData(*db));
    auto pager = std::make_shared<DailyReportPager>(
        db->filePath(), ReportFilter{kDec7, kDec7, {}, {}}, DailyReportPager::Options{1, 1});
    pager->start();
    QVERIFY(pager->waitForFirstPage(10000));
    pager->cancel();
    PreviewContent c;
    c.report = pagedDailyCollection(pager, heading());
    c.pager = pager;
    c.folder = folder.path();
    c.pdfFileName = "stopped.pdf";
    c.csvFileName = "stopped.csv";
    test::MessageRecorder rec;
    FrmReportPreview preview(c);
    const QString path = folder.filePath(file);
    preview.setFileChooser(
        [&](QWidget*, const QString&, const QString&, const QString&) { return path; });
    preview.findChild<QPushButton*>(button)->click();
    QVERIFY(!QFile::exists(path));
    QCOMPARE(rec.texts().size(), 1);
    QVERIFY2(rec.texts()[0].startsWith(message.arg(QDir::toNativeSeparators(path))),
             qPrintable(rec.texts()[0]));
}

QTEST_MAIN(TestReportPdf)
#include "tst_reportpdf.moc"
