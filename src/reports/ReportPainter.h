#pragma once

#include "reports/ReportLayout.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <functional>

class QPainter;
class QPagedPaintDevice;

namespace kovrin {

// Draws the pages of a laid-out report in Arial (Liberation Sans where Arial is missing, a face
// with the same metrics) on any paint device: the preview, a printer or a PDF file.
class ReportPainter {
public:
    // The font of a text style, sized for a painter whose units are points (see paintPage).
    static QFont font(TextStyle style, const QPaintDevice* device);

    // Draws page `index` with its top left corner at the painter's origin. `pointsToDevice`
    // is the number of device pixels per point (the painter is scaled by it while drawing).
    static void paintPage(QPainter& painter, const ReportDocument& doc, int index,
                          double pointsToDevice);

    // Draws every page on a printer or a PDF writer, one page of the device per report page,
    // scaled to fit the device's paper when it is not A4. False when the device cannot be
    // painted on.
    static bool render(const ReportDocument& doc, QPagedPaintDevice& device, QString* error);

    // Writes the report as a PDF file; the file is replaced only when the whole report was
    // written. On failure returns false and puts the reason into *error.
    static bool savePdf(const ReportDocument& doc, const QString& path, QString* error);

    // One page as a white image at `dotsPerInch`.
    static QImage pageImage(const ReportDocument& doc, int index, double dotsPerInch);

    // A page of a report laid out a few pages at a time.
    static void paintPage(QPainter& painter, const ReportPage& page, const PageGeometry& geometry,
                          double pointsToDevice);

    // Told after each page is drawn: the pages drawn, the pages known so far and whether that
    // is all of them. Returning false stops the drawing.
    using Progress = std::function<bool(int done, int known, bool complete)>;
    enum class Outcome { Done, Failed, Cancelled };

    // Draws the report page by page, laying out each page just before it is drawn, so that
    // only one page is held at a time whatever the report's size. A printer's job stopped by
    // `progress` is aborted, never printed in part.
    static Outcome render(PagedReport& report, QPagedPaintDevice& device, QString* error,
                          const Progress& progress = {});
    // Writes the PDF file in the same way; stopped or failed, no file is left (an earlier file
    // of that name stays as it was).
    static Outcome savePdf(PagedReport& report, const QString& path, QString* error,
                           const Progress& progress = {});
};

}  // namespace kovrin
