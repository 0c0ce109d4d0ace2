#pragma once

#include "reports/ReportLayout.h"

#include <QByteArray>
#include <QDialog>
#include <functional>

class QPrinter;
class QLabel;

namespace kovrin {

// What the preview shows and saves: the laid-out report, the same rows as CSV, and where and
// under which names the save dialogs start.
struct PreviewContent {
    ReportDocument document;
    QByteArray csv;
    QString folder;       // the report folder (AppSettings.ReportPath) or a stand-in for it
    QString pdfFileName;  // offered names, e.g. DailyCollectionSummary_2009-12-07.pdf
    QString csvFileName;
};

// The pages of a report, one under the other, drawn at the screen's size.
class ReportPagesView : public QWidget {
    Q_OBJECT
public:
    ReportPagesView(const ReportDocument& doc, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    // Top edge of page `index` in the view.
    int pageTop(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double scale() const;
    QSize pageSize() const;
    const ReportDocument& m_doc;
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

    void cmdPrint_Click();
    void cmdSavePdf_Click();
    void cmdSaveCsv_Click();

private:
    QString askPath(const QString& caption, const QString& name, const QString& suffix,
                    const QString& filter);

    PreviewContent m_content;
    FileChooser m_chooseFile;
    PrinterChooser m_choosePrinter;
};

}  // namespace kovrin
