#pragma once

#include "reports/ReportLayout.h"

#include <QFont>
#include <QImage>
#include <QString>

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
};

}  // namespace kovrin
