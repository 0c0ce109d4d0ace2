#pragma once

#include "reports/ReportData.h"

#include <QString>
#include <QVector>
#include <Qt>

namespace kovrin {

// The two report layouts as banded pages: what is written where, in points (1/72 inch)
// from the top left corner of the page. Laying out needs no fonts or devices; the renderer
// draws the pages in Arial on a printer, a PDF file or the preview.

// Height of one line of text in a band.
constexpr double kReportLineHeight = 15;

enum class TextStyle {
    Title,  // the report's title, 14 pt bold
    Label,  // fixed captions and column headings, 10 pt bold
    Value,  // bound fields, 10 pt
    Total,  // group and grand sums, 10 pt bold
};

struct ReportText {
    QString name;  // the field's or label's name in the layout (lbBankName, txtAccountNo, ...)
    QString text;
    double x = 0;      // left edge of the field, from the page's left margin
    double y = 0;      // top of the field's line, from the top of its band
    double width = 0;  // the field's width; right-aligned text ends at x + width
    Qt::Alignment align = Qt::AlignLeft;
    TextStyle style = TextStyle::Value;
};

// The unreadable bands come after everything else: the heading of the collections that could
// not be read, with their column headings, and one band per such collection.
enum class BandKind {
    ReportHeader,
    PageHeader,
    GroupHeader,
    Detail,
    GroupFooter,
    ReportFooter,
    UnreadableHeader,
    UnreadableDetail,
};

struct Band {
    BandKind kind = BandKind::Detail;
    double height = 0;
    QVector<ReportText> texts;
};

struct PlacedBand {
    double y = 0;  // top of the band, from the page's top edge
    Band band;
};

struct ReportPage {
    QVector<PlacedBand> bands;
};

// A4 portrait with half-inch margins.
struct PageGeometry {
    double width = 595.276;
    double height = 841.89;
    double margin = 36;
    double contentWidth() const { return width - 2 * margin; }
    double bottom() const { return height - margin; }
};

// What fills the page header: the settings' bank name, the branch (see branchIdText) and the
// date range.
struct ReportHeading {
    QString bankName;
    QString branchId;
    QDate from;
    QDate to;

    // lbDate: "07/Dec/2009 to 08/Dec/2009", or the one date when both are the same.
    QString dateRangeText() const;
};

// lbBranchID: the branch ids the report's rows carry, "BR01" or "BR01, BR02"; when they carry
// none (rows of accounts the upload did not find), the settings' branch name.
QString branchIdText(const QStringList& branchIds, const QString& branchName);

struct ReportDocument {
    ReportKind kind = ReportKind::DailyCollection;
    QString name;   // DataReport1 or DataReport2
    QString title;  // the report header's title
    PageGeometry geometry;
    QVector<ReportPage> pages;

    // Every text of a page, top to bottom and left to right, for tests and checks.
    QStringList pageTexts(int page) const;
};

// Bands that stay on one page together: a group header with the group's first row, the
// group's last row with its footer, or a single row.
struct KeepTogether {
    QVector<Band> bands;
    int group = -1;           // the group the bands belong to; -1: none
    bool opensGroup = false;  // starts with the group's header
};

// Puts the blocks on pages: the report header once at the top of the first page, the page
// header at the top of every page, then blocks while they fit. A block that does not fit
// starts a new page; a group that goes on over a page break has `continuedHeaders[group]`
// repeated under the page header.
QVector<ReportPage> paginate(const QVector<Band>& reportHeader, const Band& pageHeader,
                             const QVector<Band>& continuedHeaders,
                             const QVector<KeepTogether>& blocks, const PageGeometry& geometry);

// DataReport1, "KOVRIN DAILY COLLECTION SUMMARY": one group per date with its rows, the
// group's sum and the sum of the report; after it, the collections that could not be read.
ReportDocument layoutDailyCollection(const DailyCollectionData& data, const ReportHeading& heading,
                                     const PageGeometry& geometry = {});

// DataReport2, "KOVRIN AGENT COLLECTION SUMMARY": one row per agent and date; after them, the
// collections that could not be read.
ReportDocument layoutAgentCollection(const AgentCollectionData& data, const ReportHeading& heading,
                                     const PageGeometry& geometry = {});

// The name offered when a report is saved: the report and its date range, e.g.
// "DailyCollectionSummary_2009-12-07_to_2009-12-08.pdf".
QString defaultReportFileName(ReportKind kind, const QDate& from, const QDate& to,
                              const QString& suffix);

}  // namespace kovrin
