#pragma once

#include "reports/ReportLayout.h"
#include "reports/ReportPainter.h"

#include <QByteArray>
#include <QDialog>
#include <QHash>
#include <QIODevice>
#include <functional>
#include <memory>

class QPrinter;
class QLabel;
class QProgressDialog;
class QTimer;

namespace kovrin {

class DailyReportPager;

// What the preview shows and saves: the report laid out a few pages at a time, the writer of
// the same rows as CSV, and where and under which names the save dialogs start.
struct PreviewContent {
    std::shared_ptr<PagedReport> report;
    std::function<bool(QIODevice&)> writeCsv;
    QString folder;       // the report folder (AppSettings.ReportPath) or a stand-in for it
    QString pdfFileName;  // offered names, e.g. DailyCollectionSummary_2009-12-07.pdf
    QString csvFileName;
    // The reader of the daily collection report while it reads (none for the others): the
    // preview lays out its rows as they come and writes the CSV from it page by page.
    std::shared_ptr<DailyReportPager> pager;
};

// The pages of a report, one under the other, drawn at the screen's size. Only the pages in
// sight are made, and a few of them kept; the view grows as more pages are laid out.
class ReportPagesView : public QWidget {
    Q_OBJECT
public:
    explicit ReportPagesView(std::shared_ptr<PagedReport> report, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    // Top edge of page `index` in the view.
    int pageTop(int index) const;
    // The pages laid out since the view last looked: its size follows.
    void pagesAdded();
    // The pages made for drawing so far (for tests).
    int pagesMade() const { return m_made; }
    // The pages in sight drawn as "Reading ..." so far, their rows not yet at hand (for tests).
    int pagesWaited() const { return m_waited; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double scale() const;
    QSize pageSize() const;
    const ReportPage& pageAt(int index);

    std::shared_ptr<PagedReport> m_report;
    QHash<int, ReportPage> m_pages;  // the pages last drawn
    QVector<int> m_order;            // their indexes, the oldest first
    int m_made = 0;
    int m_waited = 0;
};

// The report preview: the pages on screen with Print, "Save as PDF" and "Save as CSV".
class FrmReportPreview : public QDialog {
    Q_OBJECT
public:
    // Asks where to save: returns the chosen path, or empty text when the operator cancels.
    using FileChooser = std::function<QString(QWidget* parent, const QString& caption,
                                              const QString& suggestedPath, const QString& filter)>;
    // Lets the operator choose and set up a printer; false when cancelled.
    using PrinterChooser = std::function<bool(QPrinter& printer, QWidget* parent)>;

    explicit FrmReportPreview(PreviewContent content, QWidget* parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void setPrinterChooser(PrinterChooser chooser) { m_choosePrinter = std::move(chooser); }

    const PreviewContent& content() const { return m_content; }

    // Lays out more pages; the preview does it when idle until every page is known, and Print
    // and Save as PDF go on from where it is.
    bool layOutMore();

    void cmdPrint_Click();
    void cmdSavePdf_Click();
    void cmdSaveCsv_Click();

private:
    QString askPath(const QString& caption, const QString& name, const QString& suffix,
                    const QString& filter);
    void showPageCount();
    // Save as CSV from the reader, page by page, with the rows written shown and Cancel.
    void saveCsvPaged(const QString& path);
    // A progress dialog with Cancel for the pages being printed or written.
    // A progress window of this preview, modal to it, shown after 0.3 s.
    QProgressDialog* newProgressDialog(const QString& caption);
    ReportPainter::Progress progressDialog(const QString& caption, QProgressDialog** dialog);

    PreviewContent m_content;
    ReportPagesView* m_view = nullptr;
    QLabel* m_pageCount = nullptr;
    QTimer* m_layOut = nullptr;
    FileChooser m_chooseFile;
    PrinterChooser m_choosePrinter;
    bool m_toldFailure = false;
};

}  // namespace kovrin
