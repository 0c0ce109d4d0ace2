// The report screen and the preview: opening state, the report choice, Enter, the messages of
// View, and Print, "Save as PDF" and "Save as CSV" with the dialogs replaced.
#include "CollectionRows.h"
#include "PdfText.h"
#include "app/AppContext.h"
#include "app/FrmMain.h"
#include "reports/FrmReport.h"
#include "reports/FrmReportPreview.h"
#include "station/FrmStation.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"
#include "ui/FocusColours.h"

#include <QApplication>
#include <QBuffer>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSqlQuery>
#include <QtTest>
#include <optional>

using namespace kovrin;
using test::collection;

namespace {
const QDate kDec7(2009, 12, 7);
const QDate kDec8(2009, 12, 8);
}  // namespace

class TestReportScreen : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void openingState();
    void report2HidesBoxesAndReport1ShowsThemWithTheirText();
    void keyboardChoiceShowsAndHides();
    void enterMovesTheFocusWithoutViewing();
    void viewWithoutAChoiceAsksForOne();
    void fromAfterToIsRefused();
    void noCollectionsNamesRangeAndFilters();
    void viewShowsDailyReportWithSettingsAndFilters();
    void previewSavesPdfAndCsvInTheReportFolder();
    void previewPrints();
    void viewShowsAgentReportIgnoringHiddenBoxes();
    void unreadableRowsAreListedAndLeftOut_data();
    void unreadableRowsAreListedAndLeftOut();
    void branchIdLine_data();
    void branchIdLine();
    void saveDialogStartsInProgramFolderWithoutReportFolder();
    void exitCloses();
    void mainMenuOpensTheScreenModal();
    void slowFirstPageOffersCancel_data();
    void slowFirstPageOffersCancel();

private:
    void add(const test::Collection& c) { QVERIFY(test::insertCollection(m_ctx->db(), c)); }
    // Sets up the screen for a View; the preview runner records what it was given.
    void choose(FrmReport& f, const char* option, const QDate& from, const QDate& to,
                const QString& agent = {}, const QString& account = {});
    template <typename T>
    static T* child(QObject& parent, const char* name) {
        T* c = parent.findChild<T*>(name);
        if (!c) {
            qWarning() << "no control" << name;
        }
        return c;
    }

    test::TempProgramFolder* m_pf = nullptr;
    test::MessageRecorder* m_rec = nullptr;
    std::unique_ptr<AppContext> m_ctx;
    std::optional<PreviewContent> m_shown;
    int m_previews = 0;
};

void TestReportScreen::init() {
    m_pf = new test::TempProgramFolder;
    m_rec = new test::MessageRecorder;
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error);
    QVERIFY2(m_ctx, qPrintable(error));
    QVERIFY(QDir(m_pf->path()).mkdir("reports"));
    m_ctx->settings().BankName = "State Bank of Kovrin";
    m_ctx->settings().BranchName = "Main Road";
    m_ctx->settings().ReportPath = m_pf->filePath("reports");
    m_rec->clear();
    m_shown.reset();
    m_previews = 0;
}

void TestReportScreen::cleanup() {
    m_ctx.reset();
    delete m_rec;
    delete m_pf;
}

void TestReportScreen::choose(FrmReport& f, const char* option, const QDate& from, const QDate& to,
                              const QString& agent, const QString& account) {
    QVERIFY(test::ledgerFromRestoreData(m_ctx->db()));
    child<QRadioButton>(f, option)->click();
    child<QLineEdit>(f, "txtAgentID")->setText(agent);
    child<QLineEdit>(f, "txtAccountNo")->setText(account);
    child<QDateEdit>(f, "FromDTPicker")->setDate(from);
    child<QDateEdit>(f, "ToDTPicker")->setDate(to);
    f.setPreviewRunner([this](FrmReportPreview& p) {
        ++m_previews;
        m_shown = p.content();
    });
}

void TestReportScreen::openingState() {
    FrmReport f(*m_ctx);
    QCOMPARE(f.objectName(), QString("frmReport"));
    QCOMPARE(f.windowTitle(), QString("Report"));
    QVERIFY(f.isModal());
    QCOMPARE(child<QRadioButton>(f, "OptReport1")->text(), QString("Report1"));
    QCOMPARE(child<QRadioButton>(f, "OptReport2")->text(), QString("Report2"));
    QCOMPARE(child<QRadioButton>(f, "OptReport3")->text(), QString("Upload Register"));
    QVERIFY(!child<QRadioButton>(f, "OptReport1")->isChecked());
    QVERIFY(!child<QRadioButton>(f, "OptReport2")->isChecked());
    QCOMPARE(child<QDateEdit>(f, "FromDTPicker")->date(), QDate::currentDate());
    QCOMPARE(child<QDateEdit>(f, "ToDTPicker")->date(), QDate::currentDate());
    QCOMPARE(child<QDateEdit>(f, "FromDTPicker")->displayFormat(), QString("dd-MMM-yyyy"));
    QCOMPARE(child<QLabel>(f, "lbAgentID")->text(), QString("Agent ID :"));
    QCOMPARE(child<QLabel>(f, "lbAccountNo")->text(), QString("Account No :"));
    QCOMPARE(child<QLabel>(f, "lbFromDate")->text(), QString("From Date :"));
    QCOMPARE(child<QLabel>(f, "lbToDate")->text(), QString("To Date :"));
    QCOMPARE(child<QPushButton>(f, "cmdView")->text(), QString("&View"));
    QCOMPARE(child<QPushButton>(f, "cmdExit")->text(), QString("&Exit"));
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    for (const char* n : {"txtAgentID", "txtAccountNo", "lbAgentID", "lbAccountNo"}) {
        QVERIFY2(child<QWidget>(f, n)->isVisible(), n);
    }
    QCOMPARE(child<QPushButton>(f, "cmdView")->palette().color(QPalette::Button),
             FocusColours::kMidGrey);
    QCOMPARE(m_rec->messages.size(), 0);
}

void TestReportScreen::report2HidesBoxesAndReport1ShowsThemWithTheirText() {
    FrmReport f(*m_ctx);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    child<QLineEdit>(f, "txtAgentID")->setText("001");
    child<QLineEdit>(f, "txtAccountNo")->setText("12345");
    const QStringList boxes = {"txtAgentID", "txtAccountNo", "lbAgentID", "lbAccountNo"};
    QTest::mouseClick(child<QRadioButton>(f, "OptReport2"), Qt::LeftButton);
    QVERIFY(child<QRadioButton>(f, "OptReport2")->isChecked());
    for (const QString& n : boxes) {
        QVERIFY2(!child<QWidget>(f, qPrintable(n))->isVisible(), qPrintable(n));
    }
    QVERIFY(child<QDateEdit>(f, "FromDTPicker")->isVisible());
    QVERIFY(child<QDateEdit>(f, "ToDTPicker")->isVisible());
    QTest::mouseClick(child<QRadioButton>(f, "OptReport1"), Qt::LeftButton);
    QVERIFY(!child<QRadioButton>(f, "OptReport2")->isChecked());
    for (const QString& n : boxes) {
        QVERIFY2(child<QWidget>(f, qPrintable(n))->isVisible(), qPrintable(n));
    }
    QCOMPARE(child<QLineEdit>(f, "txtAgentID")->text(), QString("001"));
    QCOMPARE(child<QLineEdit>(f, "txtAccountNo")->text(), QString("12345"));
}

void TestReportScreen::keyboardChoiceShowsAndHides() {
    FrmReport f(*m_ctx);
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    auto* opt2 = child<QRadioButton>(f, "OptReport2");
    opt2->setFocus();
    QTRY_VERIFY(opt2->hasFocus());
    QTest::keyClick(opt2, Qt::Key_Space);
    QVERIFY(opt2->isChecked());
    QVERIFY(!child<QLineEdit>(f, "txtAgentID")->isVisible());
    auto* opt1 = child<QRadioButton>(f, "OptReport1");
    opt1->setFocus();
    QTRY_VERIFY(opt1->hasFocus());
    QTest::keyClick(opt1, Qt::Key_Space);
    QVERIFY(opt1->isChecked());
    QVERIFY(child<QLineEdit>(f, "txtAgentID")->isVisible());
}

void TestReportScreen::enterMovesTheFocusWithoutViewing() {
    add(collection("001", "1", "0000010.00", QDate::currentDate().toString("dd/MM/yyyy 10:00")));
    FrmReport f(*m_ctx);
    f.setPreviewRunner([this](FrmReportPreview&) { ++m_previews; });
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    // Enter on a chosen option views nothing: no button of the screen is a default one.
    for (const char* name : {"OptReport2", "OptReport1"}) {
        auto* option = child<QRadioButton>(f, name);
        option->click();
        option->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(option->hasFocus());
        QTest::keyClick(option, Qt::Key_Return);
        QTest::keyClick(option, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY2(option->isChecked(), name);
        QVERIFY2(f.isVisible(), name);
    }
    QCOMPARE(m_previews, 0);
    QCOMPARE(m_rec->messages.size(), 0);
    QVERIFY(!child<QPushButton>(f, "cmdView")->isDefault());
    auto* agent = child<QLineEdit>(f, "txtAgentID");
    agent->setFocus();
    QTRY_VERIFY(agent->hasFocus());
    QTest::keyClicks(agent, "1");
    QTest::keyClick(agent, Qt::Key_Return);
    auto* account = child<QLineEdit>(f, "txtAccountNo");
    QTRY_VERIFY(account->hasFocus());
    QTest::keyClick(account, Qt::Key_Enter);
    auto* from = child<QDateEdit>(f, "FromDTPicker");
    QTRY_VERIFY(from->hasFocus());
    QTest::keyClick(from, Qt::Key_Return);
    QTRY_VERIFY(child<QDateEdit>(f, "ToDTPicker")->hasFocus());
    QCOMPARE(agent->text(), QString("1"));
    QCOMPARE(m_previews, 0);
    QCOMPARE(m_rec->messages.size(), 0);
    QVERIFY(f.isVisible());
}

void TestReportScreen::viewWithoutAChoiceAsksForOne() {
    FrmReport f(*m_ctx);
    f.setPreviewRunner([this](FrmReportPreview&) { ++m_previews; });
    child<QPushButton>(f, "cmdView")->click();
    QCOMPARE(m_rec->texts(),
             QStringList{"Please choose Report1, Report2 or Upload Register, then press View."});
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);
    QCOMPARE(m_rec->last().screen, QString("frmReport"));
    QCOMPARE(m_previews, 0);
}

void TestReportScreen::fromAfterToIsRefused() {
    add(collection("001", "1", "0000010.00", "07/12/2009 10:00"));
    FrmReport f(*m_ctx);
    choose(f, "OptReport2", kDec8, kDec7);
    f.cmdView_Click();
    QCOMPARE(m_rec->texts(),
             QStringList{"The From Date (08/Dec/2009) is after the To Date (07/Dec/2009).\n"
                         "Please choose a From Date on or before the To Date."});
    QCOMPARE(m_previews, 0);
}

void TestReportScreen::noCollectionsNamesRangeAndFilters() {
    add(collection("001", "12", "0000010.00", "08/12/2009 10:00"));
    FrmReport f(*m_ctx);
    choose(f, "OptReport1", kDec7, kDec7, " 7 ", "12");
    f.cmdView_Click();
    choose(f, "OptReport1", kDec7, kDec8, "", "O'Neil");
    f.cmdView_Click();
    choose(f, "OptReport2", kDec7, kDec7, "1", "12");
    f.cmdView_Click();
    QCOMPARE(m_rec->texts(),
             QStringList({"There are no collections on 07/Dec/2009 for agent 7 and account 12.\n"
                          "Choose other dates, or check the Agent ID and Account No.",
                          "There are no collections from 07/Dec/2009 to 08/Dec/2009 for account "
                          "O'Neil.\nChoose other dates, or check the Agent ID and Account No.",
                          "There are no collections on 07/Dec/2009.\nChoose other dates."}));
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);
    QCOMPARE(m_previews, 0);
}

void TestReportScreen::viewShowsDailyReportWithSettingsAndFilters() {
    add(collection("001            ", "  000000000012345", "0000010.50", "07/12/2009 10:00",
                   "0000000100.00"));
    add(collection("001", "000000000012346", "0000002.25", "08/12/2009 11:00"));
    add(collection("002", "000000000012345", "0000099.00", "07/12/2009 10:00"));
    add(collection("001", "000000000012345", "0000005.00", "09/12/2009 10:00"));
    FrmReport f(*m_ctx);
    choose(f, "OptReport1", kDec7, kDec8, "1");
    f.cmdView_Click();
    QCOMPARE(m_rec->messages.size(), 0);
    QCOMPARE(m_previews, 1);
    QVERIFY(m_shown);
    const ReportDocument doc = m_shown->report->document();
    QCOMPARE(doc.name, QString("DataReport1"));
    QCOMPARE(doc.pages.size(), 1);
    const QStringList texts = doc.pageTexts(0);
    QCOMPARE(texts.mid(0, 7),
             QStringList({"KOVRIN DAILY COLLECTION SUMMARY", "Bank Name :", "State Bank of Kovrin",
                          "Branch ID :", "BR01", "Date :", "07/Dec/2009 to 08/Dec/2009"}));
    QVERIFY(texts.contains("000000000012345"));
    QVERIFY(texts.contains("110.50"));
    QVERIFY(texts.contains("000000000012346"));
    QVERIFY(!texts.contains("99.00"));  // agent 002
    QVERIFY(!texts.contains("5.00"));   // 9 December
    QCOMPARE(texts.last(), QString("12.75"));
    QCOMPARE(m_shown->pdfFileName, QString("DailyCollectionSummary_2009-12-07_to_2009-12-08.pdf"));
    QCOMPARE(m_shown->csvFileName, QString("DailyCollectionSummary_2009-12-07_to_2009-12-08.csv"));
    QCOMPARE(m_shown->folder, m_pf->filePath("reports"));
    QBuffer csv;
    QVERIFY(csv.open(QIODevice::WriteOnly));
    QVERIFY(m_shown->writeCsv(csv));
    QCOMPARE(csv.data(),
             QByteArray("Date,AgentID,Account No,Closing Amount,Collected Amount,Bank Posting\r\n"
                        "2009-12-07,001,000000000012345,110.50,10.50,Posted\r\n"
                        "2009-12-08,001,000000000012346,1002.25,2.25,Posted\r\n"));
}

void TestReportScreen::previewSavesPdfAndCsvInTheReportFolder() {
    for (int i = 0; i < 120; ++i) {
        add(collection("001", QString::number(5000 + i), "0000001.00", "07/12/2009 10:00"));
    }
    FrmReport f(*m_ctx);
    choose(f, "OptReport1", kDec7, kDec7);
    QStringList suggested;
    QString pdfPath = m_pf->filePath("reports/daily.pdf");
    QString csvPath = m_pf->filePath("reports/rows");  // the suffix is added
    f.setPreviewRunner([&](FrmReportPreview& p) {
        ++m_previews;
        QCOMPARE(p.windowTitle(), QString("KOVRIN DAILY COLLECTION SUMMARY"));
        QCOMPARE(child<QLabel>(p, "lblPages")->text(), QString("3 pages"));
        QQueue<QString> answers;
        answers << pdfPath << csvPath << QString();
        p.setFileChooser(
            [&](QWidget*, const QString& caption, const QString& path, const QString& filter) {
                suggested << caption + "|" + path + "|" + filter;
                return answers.dequeue();
            });
        child<QPushButton>(p, "cmdSavePdf")->click();
        child<QPushButton>(p, "cmdSaveCsv")->click();
        child<QPushButton>(p, "cmdSavePdf")->click();  // cancelled: nothing happens
        // The pages on screen.
        p.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p));
        const QImage shot = child<QScrollArea>(p, "scrPages")->widget()->grab().toImage();
        int dark = 0;
        for (int y = 0; y < shot.height(); y += 2) {
            for (int x = 0; x < shot.width(); x += 2) {
                dark += qGray(shot.pixel(x, y)) < 100 ? 1 : 0;
            }
        }
        QVERIFY(dark > 100);
        child<QPushButton>(p, "cmdClose")->click();
        QVERIFY(!p.isVisible());
    });
    f.cmdView_Click();
    QCOMPARE(m_previews, 1);
    const QString folder = m_pf->filePath("reports");
    QCOMPARE(
        suggested,
        QStringList(
            {"Save as PDF|" + folder + "/DailyCollectionSummary_2009-12-07.pdf|PDF files (*.pdf)",
             "Save as CSV|" + folder + "/DailyCollectionSummary_2009-12-07.csv|CSV files (*.csv)",
             "Save as PDF|" + folder +
                 "/DailyCollectionSummary_2009-12-07.pdf|PDF files (*.pdf)"}));
    QCOMPARE(test::pdfPageCount(pdfPath), 3);
    const QVector<test::PdfPage> pages = test::pdfPages(pdfPath);
    QCOMPARE(test::lineStarting(pages.value(2), "Grand Total :   Rs."),
             test::PdfLine({"Grand Total :   Rs.", "120.00"}));
    QFile csv(csvPath + ".csv");
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.size(), 122);  // heading, 120 rows, nothing after the last line end
    QCOMPARE(lines[1], QByteArray("2009-12-07,001,5000,1001.00,1.00,Posted\r"));
    QCOMPARE(
        m_rec->texts(),
        QStringList({"The report was saved as " + QDir::toNativeSeparators(pdfPath) + ".",
                     "The rows were saved as " + QDir::toNativeSeparators(csvPath) + ".csv."}));
    QCOMPARE(m_rec->last().screen, QString("frmReportPreview"));
}

void TestReportScreen::previewPrints() {
    add(collection("001", "1", "0000010.00", "07/12/2009 10:00"));
    FrmReport f(*m_ctx);
    choose(f, "OptReport2", kDec7, kDec7);
    const QString printed = m_pf->filePath("printed.pdf");
    int asked = 0;
    QPageSize::PageSizeId offered = QPageSize::Custom;
    f.setPreviewRunner([&](FrmReportPreview& p) {
        // Cancelled at the print dialog: nothing printed.
        p.setPrinterChooser([&](QPrinter&, QWidget*) {
            ++asked;
            return false;
        });
        child<QPushButton>(p, "cmdPrint")->click();
        QVERIFY(!QFile::exists(printed));
        // A printer that writes a file stands in for the branch's printer.
        p.setPrinterChooser([&](QPrinter& printer, QWidget*) {
            ++asked;
            offered = printer.pageLayout().pageSize().id();
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printed);
            return true;
        });
        child<QPushButton>(p, "cmdPrint")->click();
    });
    f.cmdView_Click();
    QCOMPARE(asked, 2);
    QCOMPARE(offered, QPageSize::A4);
    QCOMPARE(test::pdfPageCount(printed), 1);
    const QVector<test::PdfPage> pages = test::pdfPages(printed);
    QCOMPARE(pages.value(0).value(0), test::PdfLine{"KOVRIN AGENT COLLECTION SUMMARY"});
    QVERIFY(pages.value(0).contains(test::PdfLine({"001", "10.00", "07/Dec/2009"})));
    QCOMPARE(m_rec->messages.size(), 0);
}

void TestReportScreen::viewShowsAgentReportIgnoringHiddenBoxes() {
    add(collection("001", "1", "0000010.00", "07/12/2009 10:00"));
    add(collection("001", "2", "0000000.05", "07/12/2009 12:00"));
    add(collection("002", "3", "0000020.00", "07/12/2009 10:00"));
    add(collection("001", "1", "0000001.00", "08/12/2009 10:00"));
    FrmReport f(*m_ctx);
    choose(f, "OptReport2", kDec7, kDec8, "999", "nothing");
    f.cmdView_Click();
    QCOMPARE(m_rec->messages.size(), 0);
    QVERIFY(m_shown);
    QCOMPARE(m_shown->report->name(), QString("DataReport2"));
    const QStringList texts = m_shown->report->pageTexts(0);
    QCOMPARE(texts.mid(7),
             QStringList({"AgentID", "Collected Amount", "Date", "001", "10.05", "07/Dec/2009",
                          "002", "20.00", "07/Dec/2009", "001", "1.00", "08/Dec/2009"}));
    QCOMPARE(m_shown->pdfFileName, QString("AgentCollectionSummary_2009-12-07_to_2009-12-08.pdf"));
}

void TestReportScreen::unreadableRowsAreListedAndLeftOut_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("unreadable");  // collections of agent 005 that cannot be read
    QTest::addColumn<bool>("readable");   // and one of agent 001 that can
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("rowTexts");  // the report's texts from its rows on
    QTest::addColumn<QByteArray>("csv");
    const QStringList section = {"Collections that could not be read",
                                 "These collections are left out of the totals.",
                                 "AgentID",
                                 "Account No",
                                 "Stored Amount",
                                 "Stored Date and Time"};
    // The unreadable collections in the report's order: of no known day first.
    const QStringList r70 = {"005", "70", "00000x0.00", "07/12/2009 10:00"};
    const QStringList r71 = {"005", "71", "0000005.00", "00/12/2009 10:00"};
    const QStringList r72 = {"005", "72", "00000x0.00", "07/12/2009 10:00"};
    const QString one =
        "1 collection could not be read: its stored amount or date is not valid. The totals "
        "exclude it; it is listed at the end of the report under \"Collections that could not "
        "be read\".\nUpload that agent's collections again, or call support.";
    auto many = [](int n) {
        return QString(
                   "%1 collections could not be read: their stored amounts or dates are not "
                   "valid. The totals exclude them; they are listed at the end of the report "
                   "under \"Collections that could not be read\".\nUpload the collections of "
                   "the agents listed there again, or call support.")
            .arg(n);
    };
    QTest::newRow("daily, one")
        << "OptReport1" << 1 << true << one
        << QStringList({"07/Dec/2009", "AgentID", "Account No", "Closing Amount",
                        "Collected Amount", "Bank Posting", "001", "1", "1010.00", "10.00", "",
                        "Group Total :   Rs.", "10.00", "Grand Total :   Rs.", "10.00"}) +
               section + r70
        << QByteArray(
               "Date,AgentID,Account No,Closing Amount,Collected Amount,Bank Posting\r\n"
               "2009-12-07,001,1,1010.00,10.00,Posted\r\n"
               "Collections that could not be read,AgentID,Account No,,,Stored Amount,"
               "Stored Date and Time\r\n"
               "Could not be read,005,70,,,00000x0.00,07/12/2009 10:00\r\n");
    QTest::newRow("daily, only unreadable")
        << "OptReport1" << 2 << false << many(2)
        << QStringList({"Grand Total :   Rs.", "0.00"}) + section + r71 + r70
        << QByteArray(
               "Date,AgentID,Account No,Closing Amount,Collected Amount,Bank Posting\r\n"
               "Collections that could not be read,AgentID,Account No,,,Stored Amount,"
               "Stored Date and Time\r\n"
               "Could not be read,005,71,,,0000005.00,00/12/2009 10:00\r\n"
               "Could not be read,005,70,,,00000x0.00,07/12/2009 10:00\r\n");
    QTest::newRow("agents, three")
        << "OptReport2" << 3 << true << many(3)
        << QStringList({"AgentID", "Collected Amount", "Date", "001", "10.00", "07/Dec/2009"}) +
               section + r71 + r70 + r72
        << QByteArray(
               "AgentID,Collected Amount,Date\r\n"
               "001,10.00,2009-12-07\r\n"
               "AgentID,,Collections that could not be read,Account No,Stored Amount,"
               "Stored Date and Time\r\n"
               "005,,Could not be read,71,0000005.00,00/12/2009 10:00\r\n"
               "005,,Could not be read,70,00000x0.00,07/12/2009 10:00\r\n"
               "005,,Could not be read,72,00000x0.00,07/12/2009 10:00\r\n");
}

void TestReportScreen::unreadableRowsAreListedAndLeftOut() {
    QFETCH(QString, option);
    QFETCH(int, unreadable);
    QFETCH(bool, readable);
    QFETCH(QString, message);
    QFETCH(QStringList, rowTexts);
    QFETCH(QByteArray, csv);
    if (readable) {
        add(collection("001", "1", "0000010.00", "07/12/2009 10:00"));
    }
    for (int i = 0; i < unreadable; ++i) {
        // An amount that is not one, or a day byte 00 from the terminal.
        add(collection("005", QString("7%1").arg(i), i % 2 ? "0000005.00" : "00000x0.00",
                       i % 2 ? "00/12/2009 10:00" : "07/12/2009 10:00"));
    }
    FrmReport f(*m_ctx);
    choose(f, qPrintable(option), kDec7, kDec7);
    f.cmdView_Click();
    QCOMPARE(m_rec->texts(), QStringList{message});
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);
    QCOMPARE(m_rec->last().screen, QString("frmReport"));
    QCOMPARE(FrmReport::unreadableMessage(unreadable), message);
    QCOMPARE(m_previews, 1);  // the report is shown all the same
    QVERIFY(m_shown);
    const QStringList texts = m_shown->report->pageTexts(0);
    QCOMPARE(texts.mid(texts.size() - rowTexts.size()), rowTexts);
    QBuffer written;
    QVERIFY(written.open(QIODevice::WriteOnly));
    QVERIFY(m_shown->writeCsv(written));
    QCOMPARE(written.data(), csv);
}

void TestReportScreen::branchIdLine_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("branches");  // of the collections, one each
    QTest::addColumn<QString>("branchLine");
    QTest::newRow("daily: the rows' branch") << "OptReport1" << QStringList{" BR01 "} << "BR01";
    QTest::newRow("daily: none, the settings' branch name")
        << "OptReport1" << QStringList{"", "  "} << "Main Road";
    QTest::newRow("daily: one with, one without")
        << "OptReport1" << QStringList{"", "BR01"} << "BR01";
    QTest::newRow("daily: two branches")
        << "OptReport1" << QStringList{"BR02", "BR01", "BR02"} << "BR01, BR02";
    QTest::newRow("agents: the rows' branch") << "OptReport2" << QStringList{"BR07"} << "BR07";
    QTest::newRow("agents: none") << "OptReport2" << QStringList{""} << "Main Road";
}

void TestReportScreen::branchIdLine() {
    QFETCH(QString, option);
    QFETCH(QStringList, branches);
    QFETCH(QString, branchLine);
    test::Collection c = collection("001", "1", "0000010.00", "07/12/2009 10:00");
    for (const QString& b : branches) {
        c.branch = b;
        add(c);
    }
    c.branch = "BR09";  // a collection of another day: not in the report
    c.dateTime = "08/12/2009 10:00";
    add(c);
    FrmReport f(*m_ctx);
    choose(f, qPrintable(option), kDec7, kDec7);
    f.cmdView_Click();
    QVERIFY(m_shown);
    const QStringList texts = m_shown->report->pageTexts(0);
    QCOMPARE(texts.mid(texts.indexOf("Branch ID :"), 2), QStringList({"Branch ID :", branchLine}));
}

void TestReportScreen::saveDialogStartsInProgramFolderWithoutReportFolder() {
    add(collection("001", "1", "0000010.00", "07/12/2009 10:00"));
    m_ctx->settings().ReportPath = m_pf->filePath("gone");
    FrmReport f(*m_ctx);
    choose(f, "OptReport2", kDec7, kDec7);
    f.cmdView_Click();
    QVERIFY(m_shown);
    QCOMPARE(m_shown->folder, m_pf->folder().path());
    m_ctx->settings().ReportPath.clear();
    f.cmdView_Click();
    QCOMPARE(m_shown->folder, m_pf->folder().path());
}

void TestReportScreen::exitCloses() {
    FrmReport f(*m_ctx);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    child<QPushButton>(f, "cmdExit")->click();
    QVERIFY(!f.isVisible());
    QCOMPARE(f.result(), int(QDialog::Rejected));
}

void TestReportScreen::mainMenuOpensTheScreenModal() {
    FrmMain menu(*m_ctx);
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QPointer<FrmStation> station = menu.openStation();
    QVERIFY(QTest::qWaitForWindowExposed(station));
    QString modalName;
    bool menuBlocked = false;
    bool stationAnswered = false;
    QTimer::singleShot(0, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) {
            modalName = modal->objectName();
            menuBlocked =
                modal->windowModality() == Qt::WindowModal && modal->parentWidget() == &menu;
            // The Transfer Station, a window of its own, still takes the operator's clicks:
            // its Exit closes it.
            auto* exit = station->findChild<QPushButton*>("cmdExit");
            QTest::mouseClick(station->windowHandle(), Qt::LeftButton, {},
                              exit->mapTo(station, exit->rect().center()));
            stationAnswered = !station || !station->isVisible();
            modal->close();
        }
    });
    child<QPushButton>(menu, "cmdReport")->click();  // returns when the screen is closed
    QCOMPARE(modalName, QString("frmReport"));
    QVERIFY(menuBlocked);
    QVERIFY(stationAnswered);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(menu.findChildren<FrmReport*>().size(), 0);  // gone when closed
}

void TestReportScreen::slowFirstPageOffersCancel_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("Cancel: nothing shown") << "OptReport1" << true;
    QTest::newRow("the first page comes: the report shown") << "OptReport1" << false;
    QTest::newRow("Report2, Cancel: nothing shown") << "OptReport2" << true;
    QTest::newRow("Report2 read: the report shown") << "OptReport2" << false;
    QTest::newRow("the register, Cancel: nothing shown") << "OptReport3" << true;
    QTest::newRow("the register read: the report shown") << "OptReport3" << false;
}

// The database held by a writer: the report's first page (Report2, the register: the report)
// waits for it, and meanwhile View shows "Reading the report ..." with Cancel, the program
// going on.
void TestReportScreen::slowFirstPageOffersCancel() {
    QFETCH(QString, option);
    QFETCH(bool, cancel);
    add(collection("001", "12345", "0000010.50", "07/12/2009 10:00"));
    FrmReport f(*m_ctx);
    choose(f, qPrintable(option), kDec7, kDec7);
    f.setReadingDialogDelay(0);
    QSqlQuery hold(m_ctx->db().handle());
    // A writer the reader has to wait for, whatever the journal.
    QVERIFY(hold.exec("PRAGMA journal_mode=DELETE"));
    QVERIFY(hold.exec("BEGIN EXCLUSIVE"));
    QString dialogText;
    bool screenWaits = false;
    QTimer::singleShot(200, this, [&] {
        auto* d = f.findChild<QProgressDialog*>("dlgReading");
        if (d && d->isVisible()) {
            dialogText = d->labelText();
            screenWaits = !f.isEnabled();
            if (cancel) {
                d->cancel();
            }
        }
        QSqlQuery(m_ctx->db().handle()).exec("ROLLBACK");
    });
    f.cmdView_Click();
    QCOMPARE(dialogText, QString("Reading the report ..."));
    QVERIFY(screenWaits);
    QVERIFY(f.isEnabled());
    QCOMPARE(m_previews, cancel ? 0 : 1);
    QCOMPARE(m_shown.has_value(), !cancel);
    if (m_shown) {
        QVERIFY(m_shown->report->pageCount() > 0);
    }
    QCOMPARE(m_rec->texts(), QStringList());
    QVERIFY(!f.findChild<QProgressDialog*>("dlgReading"));
}

QTEST_MAIN(TestReportScreen)
#include "tst_reportscreen.moc"
