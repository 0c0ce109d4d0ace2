#include "reports/FrmReportPreview.h"

#include "core/Messages.h"
#include "reports/DailyReportPager.h"
#include "reports/ReportCsv.h"
#include "reports/ReportPainter.h"
#include "ui/FocusColours.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace kovrin {

namespace {

const QString kScreen = QStringLiteral("frmReportPreview");
constexpr int kPageGap = 12;

QString chooseWithDialog(QWidget* parent, const QString& caption, const QString& suggested,
                         const QString& filter) {
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

// The rows of the report could not all be read, so none of it went out.
QString unreadRowsMessage(const QString& where, const QString& reason) {
    return QStringLiteral(
               "The rows of the report could not all be read from the database: "
               "%1.\nNothing was %2. Close the report and view it again; if it "
               "happens again, call support.")
        .arg(reason, where);
}

bool choosePrinterWithDialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace

ReportPagesView::ReportPagesView(std::shared_ptr<PagedReport> report, QWidget* parent)
    : QWidget(parent), m_report(std::move(report)) {
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
    const PageGeometry& g = m_report->geometry();
    return QSize(qRound(g.width * scale()), qRound(g.height * scale()));
}

int ReportPagesView::pageTop(int index) const {
    return kPageGap + index * (pageSize().height() + kPageGap);
}

QSize ReportPagesView::sizeHint() const {
    const QSize page = pageSize();
    return QSize(page.width() + 2 * kPageGap, pageTop(m_report->pageCount()));
}

void ReportPagesView::pagesAdded() {
    resize(sizeHint());
}

const ReportPage& ReportPagesView::pageAt(int index) {
    constexpr int kKept = 8;
    auto it = m_pages.find(index);
    if (it == m_pages.end()) {
        if (m_order.size() >= kKept) {
            m_pages.remove(m_order.takeFirst());
        }
        it = m_pages.insert(index, m_report->page(index));
        m_order.push_back(index);
        ++m_made;
    }
    return *it;
}

void ReportPagesView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QSize page = pageSize();
    const int step = page.height() + kPageGap;
    // Only the pages the damaged area touches.
    const int first = std::max(0, (event->rect().top() - kPageGap) / step);
    const int last = std::min(m_report->pageCount() - 1, event->rect().bottom() / step);
    for (int i = first; i <= last; ++i) {
        const QRect rect(QPoint(kPageGap, pageTop(i)), page);
        if (!rect.intersects(event->rect())) {
            continue;
        }
        painter.fillRect(rect, Qt::white);
        if (!m_pages.contains(i) && !m_report->pageAtHand(i)) {
            // Its rows are being read: drawn when they come (the reader asks for a repaint).
            ++m_waited;
            painter.drawText(rect, Qt::AlignCenter, QStringLiteral("Reading the report ..."));
            continue;
        }
        painter.save();
        painter.translate(rect.topLeft());
        ReportPainter::paintPage(painter, pageAt(i), m_report->geometry(), scale());
        painter.restore();
    }
}

FrmReportPreview::FrmReportPreview(PreviewContent content, QWidget* parent)
    : QDialog(parent),
      m_content(std::move(content)),
      m_chooseFile(chooseWithDialog),
      m_choosePrinter(choosePrinterWithDialog) {
    setObjectName(kScreen);
    setWindowTitle(m_content.report->title());
    // The first page is shown at once; the others are laid out while the operator reads it.
    m_content.report->layOutPage(0);

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
    m_pageCount = new QLabel;
    m_pageCount->setObjectName(QStringLiteral("lblPages"));
    buttons->addWidget(m_pageCount);
    QPushButton* close = add("cmdClose", QStringLiteral("C&lose"));
    layout->addLayout(buttons);

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("scrPages"));
    m_view = new ReportPagesView(m_content.report);
    scroll->setWidget(m_view);
    scroll->setAlignment(Qt::AlignHCenter);
    layout->addWidget(scroll, 1);
    resize(m_view->width() + 40, 720);
    // A report of a few dozen pages is laid out whole at once.
    layOutMore();

    m_layOut = new QTimer(this);
    m_layOut->setInterval(0);
    connect(m_layOut, &QTimer::timeout, this, [this] {
        const int before = m_content.report->pageCount();
        // Done, or waiting for the reader's next rows (it says when they come).
        if (layOutMore() || (m_content.pager && m_content.report->pageCount() == before)) {
            m_layOut->stop();
        }
    });
    if (!m_content.report->complete()) {
        m_layOut->start();
    }
    if (m_content.pager) {
        const auto more = [this] {
            if (!m_content.report->complete() && !m_layOut->isActive()) {
                m_layOut->start();
            }
        };
        connect(m_content.pager.get(), &DailyReportPager::progressed, this, more);
        connect(m_content.pager.get(), &DailyReportPager::finished, this, [this, more] {
            more();
            const DailyReportState st = m_content.pager->state();
            if (st.failed() && !m_toldFailure) {
                m_toldFailure = true;
                m_pageCount->setText(QStringLiteral("The rest could not be read"));
                Messages::critical(kScreen,
                                   QStringLiteral("The rest of the report could not be read from "
                                                  "the database: %1.\nClose the report and view "
                                                  "it again; if it happens again, call support.")
                                       .arg(st.status.detail));
            }
        });
        connect(m_content.pager.get(), &DailyReportPager::pageRead, m_view,
                qOverload<>(&QWidget::update));
    }

    connect(print, &QPushButton::clicked, this, &FrmReportPreview::cmdPrint_Click);
    connect(pdf, &QPushButton::clicked, this, &FrmReportPreview::cmdSavePdf_Click);
    connect(csv, &QPushButton::clicked, this, &FrmReportPreview::cmdSaveCsv_Click);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    FocusColours::apply(this);
}

bool FrmReportPreview::layOutMore() {
    // About 40 pages of rows at a time: the window stays responsive in between.
    const bool done = m_content.report->layOut(2000);
    m_view->pagesAdded();
    showPageCount();
    return done;
}

void FrmReportPreview::showPageCount() {
    if (m_toldFailure) {
        return;
    }
    const int count = m_content.report->pageCount();
    if (!m_content.report->complete()) {
        m_pageCount->setText(QStringLiteral("%1 pages so far ...").arg(count));
    } else {
        m_pageCount->setText(count == 1 ? QStringLiteral("1 page")
                                        : QStringLiteral("%1 pages").arg(count));
    }
}

QProgressDialog* FrmReportPreview::newProgressDialog(const QString& caption) {
    auto* d = new QProgressDialog(caption, QStringLiteral("Cancel"), 0, 0, this);
    d->setObjectName(QStringLiteral("dlgProgress"));
    d->setWindowTitle(m_content.report->title());
    d->setWindowModality(Qt::WindowModal);
    d->setMinimumDuration(300);
    d->setAutoClose(false);
    d->setAutoReset(false);
    return d;
}

ReportPainter::Progress FrmReportPreview::progressDialog(const QString& caption,
                                                         QProgressDialog** dialog) {
    QProgressDialog* d = newProgressDialog(caption);
    *dialog = d;
    return [this, d, caption](int done, int known, bool complete) {
        if (complete) {
            d->setMaximum(known);
            d->setLabelText(QStringLiteral("%1: page %2 of %3").arg(caption).arg(done).arg(known));
        } else {
            d->setLabelText(
                QStringLiteral("%1: page %2 of at least %3").arg(caption).arg(done).arg(known));
        }
        d->setValue(complete ? done : 0);
        QCoreApplication::processEvents();
        showPageCount();
        return !d->wasCanceled();
    };
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
    printer.setDocName(m_content.report->title());
    if (!m_choosePrinter(printer, this)) {
        return;
    }
    QString error;
    // Finding the page breaks needs only the heights of the rows: the total is known at once.
    m_content.report->layOutKnown();
    QProgressDialog* dialog = nullptr;
    const ReportPainter::Progress progress = progressDialog(QStringLiteral("Printing"), &dialog);
    const ReportPainter::Outcome outcome =
        ReportPainter::render(*m_content.report, printer, &error, progress);
    delete dialog;
    m_view->pagesAdded();
    showPageCount();
    if (outcome == ReportPainter::Outcome::Failed && !m_content.report->readError().isEmpty()) {
        Messages::critical(kScreen, unreadRowsMessage(QStringLiteral("sent to the printer"),
                                                      m_content.report->readError()));
    } else if (outcome == ReportPainter::Outcome::Failed) {
        Messages::critical(kScreen, QStringLiteral("The report could not be printed: %1.\nCheck "
                                                   "the printer and try again.")
                                        .arg(error));
    } else if (outcome == ReportPainter::Outcome::Cancelled) {
        Messages::info(kScreen, QStringLiteral("Printing was cancelled: nothing was sent to the "
                                               "printer."));
    }
}

void FrmReportPreview::cmdSavePdf_Click() {
    const QString path = askPath(QStringLiteral("Save as PDF"), m_content.pdfFileName,
                                 QStringLiteral("pdf"), QStringLiteral("PDF files (*.pdf)"));
    if (path.isEmpty()) {
        return;
    }
    QString error;
    m_content.report->layOutKnown();
    QProgressDialog* dialog = nullptr;
    const ReportPainter::Progress progress =
        progressDialog(QStringLiteral("Saving as PDF"), &dialog);
    const ReportPainter::Outcome outcome =
        ReportPainter::savePdf(*m_content.report, path, &error, progress);
    delete dialog;
    m_view->pagesAdded();
    showPageCount();
    if (outcome == ReportPainter::Outcome::Cancelled) {
        Messages::info(kScreen, QStringLiteral("Saving was cancelled: %1 was not written.")
                                    .arg(QDir::toNativeSeparators(path)));
        return;
    }
    if (outcome == ReportPainter::Outcome::Failed && !m_content.report->readError().isEmpty()) {
        Messages::critical(
            kScreen,
            unreadRowsMessage(QStringLiteral("written to %1").arg(QDir::toNativeSeparators(path)),
                              m_content.report->readError()));
        return;
    }
    if (outcome == ReportPainter::Outcome::Failed) {
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
    if (m_content.pager) {
        saveCsvPaged(path);
        return;
    }
    if (!saveFile(path, m_content.writeCsv, &error)) {
        Messages::critical(kScreen, QStringLiteral("The rows could not be saved as %1: %2.\nChoose "
                                                   "another folder or file name and try again.")
                                        .arg(QDir::toNativeSeparators(path), error));
        return;
    }
    Messages::info(
        kScreen, QStringLiteral("The rows were saved as %1.").arg(QDir::toNativeSeparators(path)));
}

void FrmReportPreview::saveCsvPaged(const QString& path) {
    DailyReportPager& pager = *m_content.pager;
    QProgressDialog* d = newProgressDialog(QStringLiteral("Saving as CSV"));
    CsvOutcome outcome = CsvOutcome::Done;
    QString reason;
    QString error;
    const bool saved = saveFile(
        path,
        [&](QIODevice& out) {
            outcome = streamDailyCollectionCsv(pager, out, &reason, [&](qint64 rows) {
                const DailyReportState st = pager.state();
                d->setLabelText(
                    st.walked ? QStringLiteral("Saving as CSV: row %1 of %2").arg(rows).arg(st.rows)
                              : QStringLiteral("Saving as CSV: row %1").arg(rows));
                QCoreApplication::processEvents();
                return !d->wasCanceled();
            });
            return outcome == CsvOutcome::Done;
        },
        &error);
    delete d;
    if (outcome == CsvOutcome::Cancelled) {
        Messages::info(kScreen, QStringLiteral("Saving was cancelled: %1 was not written.")
                                    .arg(QDir::toNativeSeparators(path)));
    } else if (outcome == CsvOutcome::ReadFailed) {
        Messages::critical(kScreen, QStringLiteral("The rows could not be read from the database "
                                                   "to save them as %1: %2.\nNothing was written; "
                                                   "try again, and if it happens again, call "
                                                   "support.")
                                        .arg(QDir::toNativeSeparators(path), reason));
    } else if (!saved) {
        Messages::critical(
            kScreen,
            QStringLiteral("The rows could not be saved as %1: %2.\nChoose "
                           "another folder or file name and try again.")
                .arg(QDir::toNativeSeparators(path),
                     outcome == CsvOutcome::WriteFailed && error.isEmpty() ? reason : error));
    } else {
        Messages::info(
            kScreen,
            QStringLiteral("The rows were saved as %1.").arg(QDir::toNativeSeparators(path)));
    }
}

}  // namespace kovrin
