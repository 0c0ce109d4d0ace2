#include "reports/ReportPainter.h"

#include "core/SafeFile.h"

#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>

namespace kovrin {

namespace {

double pointSize(TextStyle style) {
    return style == TextStyle::Title ? 14 : 10;
}

double lineHeight(TextStyle style) {
    return style == TextStyle::Title ? 22 : kReportLineHeight;
}

}  // namespace

QFont ReportPainter::font(TextStyle style, const QPaintDevice* device) {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    // Unhinted outlines keep the advances of the face, so spacing is the same on every device.
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setBold(style != TextStyle::Value);
    // The painter draws in points: the device turns a font's point size into pixels with its
    // own resolution, so the size is given back in the painter's units.
    const int dpi = device ? device->logicalDpiY() : 72;
    f.setPointSizeF(pointSize(style) * 72.0 / (dpi > 0 ? dpi : 72));
    return f;
}

void ReportPainter::paintPage(QPainter& painter, const ReportDocument& doc, int index,
                              double pointsToDevice) {
    if (index < 0 || index >= doc.pages.size()) {
        return;
    }
    paintPage(painter, doc.pages[index], doc.geometry, pointsToDevice);
}

void ReportPainter::paintPage(QPainter& painter, const ReportPage& page,
                              const PageGeometry& geometry, double pointsToDevice) {
    painter.save();
    painter.scale(pointsToDevice, pointsToDevice);
    painter.setPen(Qt::black);
    const double left = geometry.margin;
    for (const PlacedBand& pb : page.bands) {
        for (const ReportText& t : pb.band.texts) {
            if (t.text.isEmpty()) {
                continue;
            }
            painter.setFont(font(t.style, painter.device()));
            const QRectF box(left + t.x, pb.y + t.y, t.width, lineHeight(t.style));
            painter.drawText(box,
                             static_cast<int>(t.align | Qt::AlignVCenter) | Qt::TextDontClip |
                                 Qt::TextSingleLine,
                             t.text);
        }
    }
    painter.restore();
}

bool ReportPainter::render(const ReportDocument& doc, QPagedPaintDevice& device, QString* error) {
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error) {
            *error = QStringLiteral("the printer or file cannot be written to");
        }
        return false;
    }
    // The layout is A4; other paper gets the same pages scaled to fit.
    const double scale =
        std::min(device.width() / doc.geometry.width, device.height() / doc.geometry.height);
    for (int i = 0; i < doc.pages.size(); ++i) {
        if (i > 0 && !device.newPage()) {
            painter.end();
            if (error) {
                *error = QStringLiteral("a new page could not be started");
            }
            return false;
        }
        paintPage(painter, doc, i, scale);
    }
    if (!painter.end()) {
        if (error) {
            *error = QStringLiteral("the pages could not be finished");
        }
        return false;
    }
    return true;
}

bool ReportPainter::savePdf(const ReportDocument& doc, const QString& path, QString* error) {
    files::WholeFileWriter file(GuardedPath::ofFile(path));
    if (const FileResult opened = file.open(); !opened) {
        if (error) {
            *error = opened.error;
        }
        return false;
    }
    {
        QPdfWriter writer(file.device());
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Portrait);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(doc.title);
        writer.setCreator(QStringLiteral("Kovrin Hand-Held Interface Software"));
        if (!render(doc, writer, error)) {
            return false;
        }
    }
    if (const FileResult written = file.commit(); !written) {
        if (error) {
            *error = written.error;
        }
        return false;
    }
    return true;
}

ReportPainter::Outcome ReportPainter::render(PagedReport& report, QPagedPaintDevice& device,
                                             QString* error, const Progress& progress) {
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error) {
            *error = QStringLiteral("the printer or file cannot be written to");
        }
        return Outcome::Failed;
    }
    const PageGeometry& g = report.geometry();
    const double scale = std::min(device.width() / g.width, device.height() / g.height);
    // Rows that could not be read are never printed as blanks, nor the report cut short
    // where they stopped: the job is dropped.
    const auto readFailed = [&](const QString& reason) {
        if (auto* printer = dynamic_cast<QPrinter*>(&device)) {
            printer->abort();
        }
        painter.end();
        if (error) {
            *error = reason;
        }
        return Outcome::Failed;
    };
    for (int i = 0;; ++i) {
        report.layOutPage(i);
        if (i >= report.pageCount()) {
            if (const QString failed = report.readError(); !failed.isEmpty()) {
                return readFailed(failed);
            }
            break;
        }
        if (i > 0 && !device.newPage()) {
            painter.end();
            if (error) {
                *error = QStringLiteral("a new page could not be started");
            }
            return Outcome::Failed;
        }
        paintPage(painter, report.page(i), g, scale);
        if (const QString failed = report.readError(); !failed.isEmpty()) {
            return readFailed(failed);
        }
        if (progress && !progress(i + 1, report.pageCount(), report.complete())) {
            // A print job is thrown away rather than printed in part.
            if (auto* printer = dynamic_cast<QPrinter*>(&device)) {
                printer->abort();
            }
            painter.end();
            return Outcome::Cancelled;
        }
    }
    if (!painter.end()) {
        if (error) {
            *error = QStringLiteral("the pages could not be finished");
        }
        return Outcome::Failed;
    }
    return Outcome::Done;
}

ReportPainter::Outcome ReportPainter::savePdf(PagedReport& report, const QString& path,
                                              QString* error, const Progress& progress) {
    files::WholeFileWriter file(GuardedPath::ofFile(path));
    if (const FileResult opened = file.open(); !opened) {
        if (error) {
            *error = opened.error;
        }
        return Outcome::Failed;
    }
    Outcome outcome = Outcome::Done;
    {
        QPdfWriter writer(file.device());
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Portrait);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(report.title());
        writer.setCreator(QStringLiteral("Kovrin Hand-Held Interface Software"));
        outcome = render(report, writer, error, progress);
    }
    if (outcome != Outcome::Done) {
        return outcome;  // the file stays as it was
    }
    if (const FileResult written = file.commit(); !written) {
        if (error) {
            *error = written.error;
        }
        return Outcome::Failed;
    }
    return Outcome::Done;
}

QImage ReportPainter::pageImage(const ReportDocument& doc, int index, double dotsPerInch) {
    const double scale = dotsPerInch / 72.0;
    QImage image(qRound(doc.geometry.width * scale), qRound(doc.geometry.height * scale),
                 QImage::Format_ARGB32_Premultiplied);
    const int dotsPerMetre = qRound(dotsPerInch / 0.0254);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paintPage(painter, doc, index, scale);
    return image;
}

}  // namespace kovrin
