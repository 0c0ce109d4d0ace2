#include "reports/FrmReportPreview.h"

#include "core/Messages.h"
#include "reports/ReportCsv.h"
#include "reports/ReportPainter.h"
#include "ui/FocusColours.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace kovrin {

namespace {

const QString kScreen = QStringLiteral("frmReportPreview");
constexpr int kPageGap = 12;

QString chooseWithDialog(QWidget* parent, const QString& caption, const QString& suggested,
                         const QString& filter) {
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

bool choosePrinterWithDialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace

ReportPagesView::ReportPagesView(const ReportDocument& doc, QWidget* parent)
    : QWidget(parent), m_doc(doc) {
    setObjectName(QStringLiteral("PagesView"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, FocusColours::kMidGrey);
    setPalette(p);
    resize(sizeHint());
}

double ReportPagesView::scale() const {
    return logicalDpiY() / 72.0;
}

QSize ReportPagesView::pageSize() const {
    return QSize(qRound(m_doc.geometry.width * scale()), qRound(m_doc.geometry.height * scale()));
}

int ReportPagesView::pageTop(int index) const {
    return kPageGap + index * (pageSize().height() + kPageGap);
}

QSize ReportPagesView::sizeHint() const {
    const QSize page = pageSize();
    return QSize(page.width() + 2 * kPageGap, pageTop(static_cast<int>(m_doc.pages.size())));
}

void ReportPagesView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QSize page = pageSize();
    for (int i = 0; i < m_doc.pages.size(); ++i) {
        const QRect rect(QPoint(kPageGap, pageTop(i)), page);
        if (!rect.intersects(event->rect())) {
            continue;
        }
        painter.fillRect(rect, Qt::white);
        painter.save();
        painter.translate(rect.topLeft());
        ReportPainter::paintPage(painter, m_doc, i, scale());
        painter.restore();
    }
}

FrmReportPreview::FrmReportPreview(PreviewContent content, QWidget* parent)
    : QDialog(parent),
      m_content(std::move(content)),
      m_chooseFile(chooseWithDialog),
      m_choosePrinter(choosePrinterWithDialog) {
    setObjectName(kScreen);
    setWindowTitle(m_content.document.title);

    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    auto add = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    QPushButton* print = add("cmdPrint", QStringLiteral("&Print"));
    QPushButton* pdf = add("cmdSavePdf", QStringLiteral("Save as P&DF"));
    QPushButton* csv = add("cmdSaveCsv", QStringLiteral("Save as &CSV"));
    buttons->addStretch();
    const int count = static_cast<int>(m_content.document.pages.size());
    auto* pages =
        new QLabel(count == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(count));
    pages->setObjectName(QStringLiteral("lblPages"));
    buttons->addWidget(pages);
    QPushButton* close = add("cmdClose", QStringLiteral("C&lose"));
    layout->addLayout(buttons);

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("scrPages"));
    scroll->setWidget(new ReportPagesView(m_content.document));
    scroll->setAlignment(Qt::AlignHCenter);
    layout->addWidget(scroll, 1);
    resize(scroll->widget()->width() + 40, 720);

    connect(print, &QPushButton::clicked, this, &FrmReportPreview::cmdPrint_Click);
    connect(pdf, &QPushButton::clicked, this, &FrmReportPreview::cmdSavePdf_Click);
    connect(csv, &QPushButton::clicked, this, &FrmReportPreview::cmdSaveCsv_Click);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    FocusColours::apply(this);
}

QString FrmReportPreview::askPath(const QString& caption, const QString& name,
                                  const QString& suffix, const QString& filter) {
    const QString suggested = QDir(m_content.folder).filePath(name);
    QString path = m_chooseFile(this, caption, suggested, filter);
    if (path.isEmpty()) {
        return path;
    }
    if (QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) != 0) {
        path += QLatin1Char('.') + suffix;
    }
    return path;
}

void FrmReportPreview::cmdPrint_Click() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setDocName(m_content.document.title);
    if (!m_choosePrinter(printer, this)) {
        return;
    }
    QString error;
    if (!ReportPainter::render(m_content.document, printer, &error)) {
        Messages::critical(kScreen, QStringLiteral("The report could not be printed: %1.\nCheck "
                                                   "the printer and try again.")
                                        .arg(error));
    }
}

void FrmReportPreview::cmdSavePdf_Click() {
    const QString path = askPath(QStringLiteral("Save as PDF"), m_content.pdfFileName,
                                 QStringLiteral("pdf"), QStringLiteral("PDF files (*.pdf)"));
    if (path.isEmpty()) {
        return;
    }
    QString error;
    if (!ReportPainter::savePdf(m_content.document, path, &error)) {
        Messages::critical(kScreen,
                           QStringLiteral("The report could not be saved as %1: %2.\nChoose "
                                          "another folder or file name and try again.")
                               .arg(QDir::toNativeSeparators(path), error));
        return;
    }
    Messages::info(
        kScreen, QStringLiteral("The report was saved as %1.").arg(QDir::toNativeSeparators(path)));
}

void FrmReportPreview::cmdSaveCsv_Click() {
    const QString path = askPath(QStringLiteral("Save as CSV"), m_content.csvFileName,
                                 QStringLiteral("csv"), QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    QString error;
    if (!saveFile(path, m_content.csv, &error)) {
        Messages::critical(kScreen, QStringLiteral("The rows could not be saved as %1: %2.\nChoose "
                                                   "another folder or file name and try again.")
                                        .arg(QDir::toNativeSeparators(path), error));
        return;
    }
    Messages::info(
        kScreen, QStringLiteral("The rows were saved as %1.").arg(QDir::toNativeSeparators(path)));
}

}  // namespace kovrin
