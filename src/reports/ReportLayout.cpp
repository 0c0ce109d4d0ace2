#include "reports/ReportLayout.h"

#include <algorithm>

namespace kovrin {

namespace {

// Band heights, in points.
constexpr double kLineHeight = kReportLineHeight;
constexpr double kTitleHeight = 30;
constexpr double kPageHeaderPadding = 9;
constexpr double kDetailHeight = kLineHeight;
constexpr double kGroupHeaderHeight = 2 * kLineHeight + 8;
constexpr double kGroupFooterHeight = kLineHeight + 8;
constexpr double kReportFooterHeight = kLineHeight + 12;

// Page header label and value columns.
constexpr double kLabelWidth = 90;

ReportText text(const QString& name, const QString& t, double x, double y, double width,
                TextStyle style = TextStyle::Value, Qt::Alignment align = Qt::AlignLeft) {
    return ReportText{name, t, x, y, width, align, style};
}

ReportText label(const QString& name, const QString& t, double x, double y, double width,
                 Qt::Alignment align = Qt::AlignLeft) {
    return text(name, t, x, y, width, TextStyle::Label, align);
}

QVector<Band> reportHeader(const QString& title, const PageGeometry& g) {
    return {Band{BandKind::ReportHeader,
                 kTitleHeight,
                 {text(QStringLiteral("lblTitle"), title, 0, 4, g.contentWidth(), TextStyle::Title,
                       Qt::AlignHCenter)}}};
}

// "Bank Name :", "Branch ID :" and "Date :" with their values, one line each.
Band pageHeader(const ReportHeading& h, const PageGeometry& g) {
    const double valueWidth = g.contentWidth() - kLabelWidth;
    Band b{BandKind::PageHeader, 3 * kLineHeight + kPageHeaderPadding, {}};
    const QList<QPair<QString, QString>> lines = {{QStringLiteral("Bank Name :"), h.bankName},
                                                  {QStringLiteral("Branch ID :"), h.branchId},
                                                  {QStringLiteral("Date :"), h.dateRangeText()}};
    const char* const labels[] = {"lblBankName", "lblBranchID", "lblDate"};
    const char* const values[] = {"lbBankName", "lbBranchID", "lbDate"};
    for (int i = 0; i < 3; ++i) {
        const double y = i * kLineHeight;
        b.texts << label(QLatin1String(labels[i]), lines[i].first, 0, y, kLabelWidth)
                << text(QLatin1String(values[i]), lines[i].second, kLabelWidth, y, valueWidth);
    }
    return b;
}

}  // namespace

QString ReportHeading::dateRangeText() const {
    if (from == to) {
        return reportDateText(from);
    }
    return QStringLiteral("%1 to %2").arg(reportDateText(from), reportDateText(to));
}

QString branchIdText(const QStringList& branchIds, const QString& branchName) {
    return branchIds.isEmpty() ? branchName : branchIds.join(QStringLiteral(", "));
}

QStringList ReportDocument::pageTexts(int page) const {
    QStringList out;
    if (page < 0 || page >= pages.size()) {
        return out;
    }
    for (const PlacedBand& pb : pages[page].bands) {
        for (const ReportText& t : pb.band.texts) {
            out << t.text;
        }
    }
    return out;
}

QVector<ReportPage> paginate(const QVector<Band>& reportHeader, const Band& pageHeader,
                             const QVector<Band>& continuedHeaders,
                             const QVector<KeepTogether>& blocks, const PageGeometry& geometry) {
    QVector<ReportPage> pages;
    double y = 0;
    bool onlyHeaders = true;  // nothing but headers on the current page yet
    auto place = [&](const Band& b) {
        pages.last().bands.push_back(PlacedBand{y, b});
        y += b.height;
    };
    auto startPage = [&]() {
        pages.push_back({});
        y = geometry.margin;
        if (pages.size() == 1) {
            for (const Band& b : reportHeader) {
                place(b);
            }
        }
        place(pageHeader);
        onlyHeaders = true;
    };
    startPage();
    for (const KeepTogether& block : blocks) {
        double height = 0;
        for (const Band& b : block.bands) {
            height += b.height;
        }
        const bool continues = block.group >= 0 && !block.opensGroup;
        // A block taller than a whole page would never fit: it is placed on a page of its own
        // rather than starting pages for ever.
        if (y + height > geometry.bottom() && !onlyHeaders) {
            startPage();
            if (continues && block.group < continuedHeaders.size()) {
                place(continuedHeaders[block.group]);
            }
        }
        for (const Band& b : block.bands) {
            place(b);
        }
        onlyHeaders = false;
    }
    return pages;
}

namespace {

// Column positions of the daily collection report.
struct DailyColumns {
    double agentX = 0, agentW = 110;
    double accountX = 120, accountW = 150;
    double closingX = 280, closingW = 110;
    double collectedX = 400, collectedW = 123;
};

// The date, then the column headings on the line below. A group that goes on over a page
// break gets its header again, marked "(continued)".
Band dailyGroupHeader(const QDate& date, bool continued) {
    const DailyColumns c;
    const double h = kLineHeight + 2;  // the headings' line
    Band b{BandKind::GroupHeader, kGroupHeaderHeight, {}};
    b.texts << text(QStringLiteral("txtDate"), reportDateText(date), 0, 2, c.agentW);
    if (continued) {
        b.texts << text(QStringLiteral("lblContinued"), QStringLiteral("(continued)"), c.accountX,
                        2, c.accountW);
    }
    b.texts << label(QStringLiteral("lblAgentID"), QStringLiteral("AgentID"), c.agentX, h, c.agentW)
            << label(QStringLiteral("lblAccountNo"), QStringLiteral("Account No"), c.accountX, h,
                     c.accountW)
            << label(QStringLiteral("lblClosingAmt"), QStringLiteral("Closing Amount"), c.closingX,
                     h, c.closingW, Qt::AlignRight)
            << label(QStringLiteral("lblCollectedAmt"), QStringLiteral("Collected Amount"),
                     c.collectedX, h, c.collectedW, Qt::AlignRight);
    return b;
}

Band dailyDetail(const CollectionRow& r) {
    const DailyColumns c;
    return Band{
        BandKind::Detail,
        kDetailHeight,
        {text(QStringLiteral("txtAgentID"), r.AgentID, c.agentX, 0, c.agentW),
         text(QStringLiteral("txtAccountNo"), r.AccountNo, c.accountX, 0, c.accountW),
         text(QStringLiteral("txtClosingAmt"), r.ClosingAmt ? amountText(*r.ClosingAmt) : QString(),
              c.closingX, 0, c.closingW, TextStyle::Value, Qt::AlignRight),
         text(QStringLiteral("txtCollectedAmt"), amountText(r.CollectedAmt), c.collectedX, 0,
              c.collectedW, TextStyle::Value, Qt::AlignRight)}};
}

Band totalBand(BandKind kind, double height, const QString& labelName, const QString& caption,
               const QString& sumName, Hundredths sum) {
    const DailyColumns c;
    return Band{kind,
                height,
                {label(labelName, caption, c.closingX - 60, 4, 170),
                 text(sumName, amountText(sum), c.collectedX, 4, c.collectedW, TextStyle::Total,
                      Qt::AlignRight)}};
}

// Column positions of the collections that could not be read.
struct UnreadableColumns {
    double agentX = 0, agentW = 110;
    double accountX = 120, accountW = 150;
    double amountX = 280, amountW = 110;
    double dateTimeX = 400, dateTimeW = 123;
};

// "Collections that could not be read", what becomes of them, and the column headings; marked
// "(continued)" when the list goes on over a page break.
Band unreadableHeader(bool continued) {
    const UnreadableColumns c;
    const double top = 8;  // apart from what comes before
    Band b{BandKind::UnreadableHeader, top + 3 * kLineHeight + 4, {}};
    b.texts << label(QStringLiteral("lblUnreadable"),
                     QStringLiteral("Collections that could not be read"), 0, top, c.amountX - 10);
    if (continued) {
        b.texts << text(QStringLiteral("lblContinued"), QStringLiteral("(continued)"), c.amountX,
                        top, c.amountW);
    }
    const double h = top + 2 * kLineHeight;
    b.texts << text(QStringLiteral("lblUnreadableNote"),
                    QStringLiteral("These collections are left out of the totals."), 0,
                    top + kLineHeight, c.dateTimeX + c.dateTimeW)
            << label(QStringLiteral("lblUnreadableAgentID"), QStringLiteral("AgentID"), c.agentX, h,
                     c.agentW)
            << label(QStringLiteral("lblUnreadableAccountNo"), QStringLiteral("Account No"),
                     c.accountX, h, c.accountW)
            << label(QStringLiteral("lblStoredAmount"), QStringLiteral("Stored Amount"), c.amountX,
                     h, c.amountW)
            << label(QStringLiteral("lblStoredDateTime"), QStringLiteral("Stored Date and Time"),
                     c.dateTimeX, h, c.dateTimeW);
    return b;
}

Band unreadableDetail(const UnreadableRow& r) {
    const UnreadableColumns c;
    return Band{
        BandKind::UnreadableDetail,
        kDetailHeight,
        {text(QStringLiteral("txtUnreadableAgentID"), r.AgentID, c.agentX, 0, c.agentW),
         text(QStringLiteral("txtUnreadableAccountNo"), r.AccountNo, c.accountX, 0, c.accountW),
         text(QStringLiteral("txtStoredAmount"), r.Amtcollected, c.amountX, 0, c.amountW),
         text(QStringLiteral("txtStoredDateTime"), r.DateTime, c.dateTimeX, 0, c.dateTimeW)}};
}

// The collections that could not be read, at the end of a report: the heading stays with the
// first of them, and comes again on every page the list goes on to. The list counts as one
// more group, after those in `continued`.
void addUnreadable(const QVector<UnreadableRow>& rows, QVector<Band>* continued,
                   QVector<KeepTogether>* blocks) {
    if (rows.isEmpty()) {
        return;
    }
    const int group = static_cast<int>(continued->size());
    continued->push_back(unreadableHeader(true));
    for (int i = 0; i < rows.size(); ++i) {
        KeepTogether block{{}, group, i == 0};
        if (i == 0) {
            block.bands << unreadableHeader(false);
        }
        block.bands << unreadableDetail(rows[i]);
        blocks->push_back(block);
    }
}

}  // namespace

ReportDocument layoutDailyCollection(const DailyCollectionData& data, const ReportHeading& heading,
                                     const PageGeometry& geometry) {
    ReportDocument doc;
    doc.kind = ReportKind::DailyCollection;
    doc.name = QStringLiteral("DataReport1");
    doc.title = QStringLiteral("KOVRIN DAILY COLLECTION SUMMARY");
    doc.geometry = geometry;

    QVector<Band> continued;
    QVector<KeepTogether> blocks;
    for (int gi = 0; gi < data.groups.size(); ++gi) {
        const CollectionGroup& group = data.groups[gi];
        continued << dailyGroupHeader(group.Date, true);
        const Band footer = totalBand(
            BandKind::GroupFooter, kGroupFooterHeight, QStringLiteral("lblGroupTotal"),
            QStringLiteral("Group Total :   Rs."), QStringLiteral("Function1"), group.total);
        for (int ri = 0; ri < group.rows.size(); ++ri) {
            KeepTogether block{{}, gi, ri == 0};
            if (ri == 0) {
                block.bands << dailyGroupHeader(group.Date, false);
            }
            block.bands << dailyDetail(group.rows[ri]);
            if (ri == group.rows.size() - 1) {
                block.bands << footer;
            }
            blocks << block;
        }
    }
    blocks << KeepTogether{
        {totalBand(BandKind::ReportFooter, kReportFooterHeight, QStringLiteral("lblGrandTotal"),
                   QStringLiteral("Grand Total :   Rs."), QStringLiteral("Function2"),
                   data.grandTotal)},
        -1,
        false};
    addUnreadable(data.unreadable, &continued, &blocks);
    doc.pages = paginate(reportHeader(doc.title, geometry), pageHeader(heading, geometry),
                         continued, blocks, geometry);
    return doc;
}

ReportDocument layoutAgentCollection(const AgentCollectionData& data, const ReportHeading& heading,
                                     const PageGeometry& geometry) {
    ReportDocument doc;
    doc.kind = ReportKind::AgentCollection;
    doc.name = QStringLiteral("DataReport2");
    doc.title = QStringLiteral("KOVRIN AGENT COLLECTION SUMMARY");
    doc.geometry = geometry;

    constexpr double agentX = 0, agentW = 120;
    constexpr double amountX = 130, amountW = 150;
    constexpr double dateX = 320, dateW = 150;
    // The page header carries the column headings under the bank, branch and date lines.
    Band header = pageHeader(heading, geometry);
    const double headingsY = header.height;
    header.height += kLineHeight + kPageHeaderPadding;
    header.texts << label(QStringLiteral("lblAgentID"), QStringLiteral("AgentID"), agentX,
                          headingsY, agentW)
                 << label(QStringLiteral("lblCollectedAmt"), QStringLiteral("Collected Amount"),
                          amountX, headingsY, amountW, Qt::AlignRight)
                 << label(QStringLiteral("lblDateHeading"), QStringLiteral("Date"), dateX,
                          headingsY, dateW);

    QVector<KeepTogether> blocks;
    for (const AgentCollectionRow& r : data.rows) {
        blocks << KeepTogether{
            {Band{BandKind::Detail,
                  kDetailHeight,
                  {text(QStringLiteral("txtAgentID"), r.AgentID, agentX, 0, agentW),
                   text(QStringLiteral("txtCollectedAmt"), amountText(r.CollectedAmt), amountX, 0,
                        amountW, TextStyle::Value, Qt::AlignRight),
                   text(QStringLiteral("txtDate"), reportDateText(r.Date), dateX, 0, dateW)}}},
            -1,
            false};
    }
    QVector<Band> continued;
    addUnreadable(data.unreadable, &continued, &blocks);
    doc.pages = paginate(reportHeader(doc.title, geometry), header, continued, blocks, geometry);
    return doc;
}

QString defaultReportFileName(ReportKind kind, const QDate& from, const QDate& to,
                              const QString& suffix) {
    const QString base = kind == ReportKind::DailyCollection
                             ? QStringLiteral("DailyCollectionSummary")
                             : QStringLiteral("AgentCollectionSummary");
    const QString range =
        from == to
            ? from.toString(Qt::ISODate)
            : QStringLiteral("%1_to_%2").arg(from.toString(Qt::ISODate), to.toString(Qt::ISODate));
    return QStringLiteral("%1_%2.%3").arg(base, range, suffix);
}

}  // namespace kovrin
