#pragma once

#include "reports/ReportData.h"

#include <QString>
#include <QVector>
#include <Qt>
#include <memory>
#include <vector>

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

// The blocks of a report, each made only when it is placed on a page that is drawn: a report of
// hundreds of thousands of rows never holds more than the pages on screen. Placing a block on a
// page needs only its height.
class BlockSource {
public:
    virtual ~BlockSource() = default;
    virtual int count() const = 0;
    virtual double height(int block) const = 0;
    // The group the block belongs to (-1: none), and whether it starts with the group's header.
    virtual int group(int block) const = 0;
    virtual bool opensGroup(int block) const = 0;
    virtual QVector<Band> bands(int block) const = 0;
    // The header repeated under the page header when `group` goes on over a page break; a
    // group without one gets an empty band of height 0.
    virtual Band continuedHeader(int group) const = 0;

    // A source still being read grows: count() gives the blocks known so far, each of them
    // final, and complete() tells when there are no more.
    virtual bool complete() const { return true; }
    // Takes in what has been read since it was last called.
    virtual void refresh() {}
    // Waits up to `ms` for more blocks; false when none came.
    virtual bool waitForMore(int /*ms*/) { return false; }
    // Whether blocks first..end-1 can be made without waiting for the database; asks for the
    // ones that cannot.
    virtual bool atHand(int /*first*/, int /*end*/) { return true; }
    // Why the blocks could not be read (the database's reason, or the reading was stopped);
    // empty while all is well. Blocks made after a failure are empty.
    virtual QString error() const { return {}; }
};

// A report laid out a few pages at a time: the page breaks are found block by block (cheap:
// heights only), and a page's bands are made when the page is asked for. The pages found so
// far can be shown and printed while the rest are still being found.
class PagedReport {
public:
    PagedReport(ReportKind kind, QString name, QString title, const PageGeometry& geometry,
                QVector<Band> reportHeader, Band pageHeader, std::shared_ptr<BlockSource> blocks);

    ReportKind kind() const { return m_kind; }
    QString name() const { return m_name; }
    QString title() const { return m_title; }
    const PageGeometry& geometry() const { return m_geometry; }

    // The pages whose contents are known so far (all of them once complete()).
    int pageCount() const;
    bool complete() const { return m_blocks->complete() && m_next >= m_blocks->count(); }
    // Places up to `blocks` more blocks; true once every block is placed.
    bool layOut(int blocks);
    // Places blocks until page `index` is known (or there are no more).
    void layOutPage(int index);
    // Places every block, waiting for a source still being read.
    void layOutAll();
    // Places every block known so far: at once, without waiting.
    void layOutKnown();

    // Page `index` (one of the first pageCount()), made now.
    ReportPage page(int index) const;
    // Whether page `index` can be made without waiting for its rows; asks for them if not.
    bool pageAtHand(int index);
    // Why the report's rows could not be read; empty while all is well.
    QString readError() const { return m_blocks->error(); }
    QStringList pageTexts(int index) const;
    // Every page, made now: for small reports and tests.
    ReportDocument document();

private:
    ReportKind m_kind;
    QString m_name;
    QString m_title;
    PageGeometry m_geometry;
    QVector<Band> m_reportHeader;
    Band m_pageHeader;
    std::shared_ptr<BlockSource> m_blocks;
    std::vector<int> m_pageStarts;  // the first block of each page begun
    int m_next = 0;                 // the next block to place
    double m_y = 0;                 // where it would go on the last page begun
    bool m_onlyHeaders = true;
};

class DailyReportPager;

// The daily collection report as its reader reads it: laid out as the rows come, each page's
// rows taken from the reader when the page is made. `heading` is made once the reader has its
// head (the branches).
std::shared_ptr<PagedReport> pagedDailyCollection(std::shared_ptr<DailyReportPager> pager,
                                                  const ReportHeading& heading,
                                                  const PageGeometry& geometry = {});

// The laid-out reports, a few pages at a time. The data is shared, not copied.
std::shared_ptr<PagedReport> pagedDailyCollection(std::shared_ptr<const DailyCollectionData> data,
                                                  const ReportHeading& heading,
                                                  const PageGeometry& geometry = {});
std::shared_ptr<PagedReport> pagedAgentCollection(std::shared_ptr<const AgentCollectionData> data,
                                                  const ReportHeading& heading,
                                                  const PageGeometry& geometry = {});
std::shared_ptr<PagedReport> pagedUploadRegister(std::shared_ptr<const RegisterData> data,
                                                 const ReportHeading& heading,
                                                 const PageGeometry& geometry = {});

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

// The upload register, "KOVRIN UPLOAD REGISTER": one group per day with its uploads (agent,
// time received, the terminal's count and total, the stored count and total, the difference,
// the outcome, superseded uploads marked), the day's totals and the grand totals.
ReportDocument layoutUploadRegister(const RegisterData& data, const ReportHeading& heading,
                                    const PageGeometry& geometry = {});

// The name offered when a report is saved: the report and its date range, e.g.
// "DailyCollectionSummary_2009-12-07_to_2009-12-08.pdf".
QString defaultReportFileName(ReportKind kind, const QDate& from, const QDate& to,
                              const QString& suffix);

}  // namespace kovrin
