#include "reports/ReportLayout.h"

#include "reports/DailyReportPager.h"
#include "reports/ReportBands.h"

#include <algorithm>

namespace kovrin {

using namespace report_bands;

QString ReportHeading::dateRangeText() const {
    if (from == to) {
        return reportDateText(from);
    }
    return QStringLiteral("%1 to %2").arg(reportDateText(from), reportDateText(to));
}

QString branchIdText(const QStringList& branchIds, const QString& branchName) {
    return branchIds.isEmpty() ? branchName : branchIds.join(QStringLiteral(", "));
}

namespace {

// Column positions of the daily collection report: agent and account numbers of fifteen
// digits, the mark of a collection the bank does not post, and the amounts, the collected one
// at the right edge.
struct DailyColumns {
    double agentX = 0, agentW = 84;
    double accountX = 88, accountW = 96;
    double postingX = 192, postingW = 98;
    double closingX = 296, closingW = 110;
    double collectedX = 413, collectedW = 110;
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
                     c.collectedX, h, c.collectedW, Qt::AlignRight)
            << label(QStringLiteral("lblPosting"), QStringLiteral("Bank Posting"), c.postingX, h,
                     c.postingW);
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
              c.collectedW, TextStyle::Value, Qt::AlignRight),
         text(QStringLiteral("txtPosting"), postingText(r.posting), c.postingX, 0, c.postingW)}};
}

// The lines under a sum when some of its collections are not posted to the bank.
double notPostedHeight(const NotPosted& n) {
    return n.count > 0 ? 2 * kLineHeight : 0;
}

// A group's or the report's sum; when some of its collections were kept out of the bank upload
// file, what the bank posts and what it does not, so that the report reconciles with the bank.
Band totalBand(BandKind kind, double height, const QString& labelName, const QString& caption,
               const QString& sumName, Hundredths sum, const NotPosted& notPosted) {
    const DailyColumns c;
    const double labelX = c.collectedX - 174, labelW = 170;
    Band b{kind,
           height + notPostedHeight(notPosted),
           {label(labelName, caption, labelX, 4, labelW),
            text(sumName, amountText(sum), c.collectedX, 4, c.collectedW, TextStyle::Total,
                 Qt::AlignRight)}};
    if (notPosted.count > 0) {
        const double y = 4 + kLineHeight;
        b.texts << label(labelName + QStringLiteral("Posted"),
                         QStringLiteral("Posted to the bank :   Rs."), labelX, y, labelW)
                << text(sumName + QStringLiteral("Posted"), amountText(sum - notPosted.total),
                        c.collectedX, y, c.collectedW, TextStyle::Total, Qt::AlignRight)
                << text(sumName + QStringLiteral("NotPostedCount"),
                        notPosted.count == 1
                            ? QStringLiteral("(1 collection)")
                            : QStringLiteral("(%1 collections)").arg(notPosted.count),
                        c.accountX, y + kLineHeight, labelX - 4 - c.accountX, TextStyle::Value,
                        Qt::AlignRight)
                << label(labelName + QStringLiteral("NotPosted"),
                         QStringLiteral("Not posted :   Rs."), labelX, y + kLineHeight, labelW)
                << text(sumName + QStringLiteral("NotPosted"), amountText(notPosted.total),
                        c.collectedX, y + kLineHeight, c.collectedW, TextStyle::Total,
                        Qt::AlignRight);
    }
    return b;
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

constexpr double kUnreadableHeaderHeight = 8 + 3 * kLineHeight + 4;

// The collections that could not be read, at the end of a report, from block `first` on: the
// heading stays with the first of them, and comes again on every page the list goes on to. The
// list counts as group `group`.
struct UnreadableTail {
    const QVector<UnreadableRow>* rows = nullptr;
    int first = 0;
    int group = 0;

    int count() const { return static_cast<int>(rows->size()); }
    bool holds(int block) const { return block >= first && block < first + count(); }
    double height(int block) const {
        return kDetailHeight + (block == first ? kUnreadableHeaderHeight : 0);
    }
    QVector<Band> bands(int block) const {
        QVector<Band> out;
        if (block == first) {
            out << unreadableHeader(false);
        }
        out << unreadableDetail((*rows)[block - first]);
        return out;
    }
};

class DailySource : public BlockSource {
public:
    explicit DailySource(std::shared_ptr<const DailyCollectionData> data)
        : m_data(std::move(data)) {
        int n = 0;
        for (const CollectionGroup& g : m_data->groups) {
            m_groupStarts.push_back(n);
            n += static_cast<int>(g.rows.size());
        }
        m_rows = n;
        m_tail =
            UnreadableTail{&m_data->unreadable, n + 1, static_cast<int>(m_data->groups.size())};
    }
    int count() const override { return m_rows + 1 + m_tail.count(); }
    double height(int i) const override {
        if (i < m_rows) {
            const auto [g, r] = place(i);
            const CollectionGroup& group = m_data->groups[g];
            return kDetailHeight + (r == 0 ? kGroupHeaderHeight : 0) +
                   (r == group.rows.size() - 1
                        ? kGroupFooterHeight + notPostedHeight(group.notPosted)
                        : 0);
        }
        return i == m_rows ? kReportFooterHeight + notPostedHeight(m_data->notPosted)
                           : m_tail.height(i);
    }
    int group(int i) const override {
        return i < m_rows ? place(i).first : i == m_rows ? -1 : m_tail.group;
    }
    bool opensGroup(int i) const override {
        return i < m_rows ? place(i).second == 0 : i == m_tail.first;
    }
    QVector<Band> bands(int i) const override {
        if (i == m_rows) {
            return {totalBand(BandKind::ReportFooter, kReportFooterHeight,
                              QStringLiteral("lblGrandTotal"),
                              QStringLiteral("Grand Total :   Rs."), QStringLiteral("Function2"),
                              m_data->grandTotal, m_data->notPosted)};
        }
        if (i > m_rows) {
            return m_tail.bands(i);
        }
        const auto [g, r] = place(i);
        const CollectionGroup& group = m_data->groups[g];
        QVector<Band> out;
        if (r == 0) {
            out << dailyGroupHeader(group.Date, false);
        }
        out << dailyDetail(group.rows[r]);
        if (r == group.rows.size() - 1) {
            out << totalBand(BandKind::GroupFooter, kGroupFooterHeight,
                             QStringLiteral("lblGroupTotal"), QStringLiteral("Group Total :   Rs."),
                             QStringLiteral("Function1"), group.total, group.notPosted);
        }
        return out;
    }
    Band continuedHeader(int group) const override {
        if (group < m_data->groups.size()) {
            return dailyGroupHeader(m_data->groups[group].Date, true);
        }
        return unreadableHeader(true);
    }

private:
    // The group of row block i and its place in the group.
    std::pair<int, int> place(int i) const {
        const auto it = std::upper_bound(m_groupStarts.begin(), m_groupStarts.end(), i);
        const int g = static_cast<int>(it - m_groupStarts.begin()) - 1;
        return {g, i - m_groupStarts[size_t(g)]};
    }

    std::shared_ptr<const DailyCollectionData> m_data;
    std::vector<int> m_groupStarts;
    int m_rows = 0;
    UnreadableTail m_tail;
};

// The daily collection report from its reader: the groups and sums as far as they are read,
// each row asked of the reader when its band is made.
class PagerSource : public BlockSource {
public:
    explicit PagerSource(std::shared_ptr<DailyReportPager> pager) : m_pager(std::move(pager)) {
        refresh();
    }
    void refresh() override {
        DailyReportState s = m_pager->state();
        if (s.failed()) {
            m_error = s.status.detail;
        } else if (s.cancelled) {
            m_error = QStringLiteral("the reading of the report was stopped");
        }
        if (s.headRead && !m_headTaken) {
            m_unreadable = s.unreadable;
            m_headTaken = true;
        }
        m_groups = std::move(s.groups);
        m_groupStarts.clear();
        for (const DailyGroupInfo& g : m_groups) {
            m_groupStarts.push_back(g.firstRow);
        }
        m_rows = static_cast<int>(s.rows);
        m_walked = s.walked && m_headTaken && m_error.isEmpty();
        m_grandTotal = s.grandTotal;
        m_notPosted = s.notPosted;
        m_tail = UnreadableTail{&m_unreadable, m_rows + 1, static_cast<int>(m_groups.size())};
    }
    bool complete() const override { return m_walked; }
    bool waitForMore(int ms) override { return m_pager->waitForRowsBeyond(m_rows, ms); }
    QString error() const override { return m_error; }
    // The last row read may be the last of its date: it is placed once the next one is known.
    int count() const override {
        return m_walked ? m_rows + 1 + m_tail.count() : std::max(m_rows - 1, 0);
    }
    double height(int i) const override {
        if (i < m_rows) {
            const auto [g, r] = place(i);
            const DailyGroupInfo& group = m_groups[g];
            return kDetailHeight + (r == 0 ? kGroupHeaderHeight : 0) +
                   (r == group.rows - 1 ? kGroupFooterHeight + notPostedHeight(group.notPosted)
                                        : 0);
        }
        return i == m_rows ? kReportFooterHeight + notPostedHeight(m_notPosted) : m_tail.height(i);
    }
    int group(int i) const override {
        return i < m_rows ? place(i).first : i == m_rows ? -1 : m_tail.group;
    }
    bool opensGroup(int i) const override {
        return i < m_rows ? place(i).second == 0 : i == m_tail.first;
    }
    bool atHand(int first, int end) override {
        return m_pager->rowsAtHand(first, std::min(end, m_rows));
    }
    QVector<Band> bands(int i) const override {
        if (i == m_rows) {
            return {totalBand(BandKind::ReportFooter, kReportFooterHeight,
                              QStringLiteral("lblGrandTotal"),
                              QStringLiteral("Grand Total :   Rs."), QStringLiteral("Function2"),
                              m_grandTotal, m_notPosted)};
        }
        if (i > m_rows) {
            return m_tail.bands(i);
        }
        const auto [g, r] = place(i);
        const DailyGroupInfo& group = m_groups[g];
        QVector<Band> out;
        if (r == 0) {
            out << dailyGroupHeader(group.Date, false);
        }
        out << dailyDetail(rowAt(i));
        if (r == group.rows - 1) {
            out << totalBand(BandKind::GroupFooter, kGroupFooterHeight,
                             QStringLiteral("lblGroupTotal"), QStringLiteral("Group Total :   Rs."),
                             QStringLiteral("Function1"), group.total, group.notPosted);
        }
        return out;
    }
    Band continuedHeader(int group) const override {
        if (group < m_groups.size()) {
            return dailyGroupHeader(m_groups[group].Date, true);
        }
        return unreadableHeader(true);
    }

private:
    std::pair<int, qint64> place(int i) const {
        const auto it = std::upper_bound(m_groupStarts.begin(), m_groupStarts.end(), qint64(i));
        const int g = static_cast<int>(it - m_groupStarts.begin()) - 1;
        return {g, i - m_groupStarts[size_t(g)]};
    }
    // The row from the reader, read again if it is no longer at hand. When it cannot be had
    // (the reading failed or was stopped) the band stays empty and error() says why.
    CollectionRow rowAt(int i) const {
        if (auto r = m_pager->rowIfRead(i)) {
            return *r;
        }
        const qint64 page = i / m_pager->pageRows();
        if (const auto rows = m_pager->rowsOfPage(page)) {
            const qint64 at = i - page * m_pager->pageRows();
            if (at < rows->size()) {
                return (*rows)[at];
            }
        }
        m_error = m_pager->state().failed() ? m_pager->state().status.detail
                                            : QStringLiteral(
                                                  "the reading of the report was "
                                                  "stopped");
        return {};
    }

    std::shared_ptr<DailyReportPager> m_pager;
    QVector<DailyGroupInfo> m_groups;
    std::vector<qint64> m_groupStarts;
    QVector<UnreadableRow> m_unreadable;
    bool m_headTaken = false;
    int m_rows = 0;
    bool m_walked = false;
    Hundredths m_grandTotal = 0;
    NotPosted m_notPosted;
    UnreadableTail m_tail;
    mutable QString m_error;
};

// Column positions of the agent collection report.
constexpr double kAgentX = 0, kAgentW = 120;
constexpr double kAgentAmountX = 130, kAgentAmountW = 150;
constexpr double kAgentDateX = 320, kAgentDateW = 150;

class AgentSource : public BlockSource {
public:
    explicit AgentSource(std::shared_ptr<const AgentCollectionData> data)
        : m_data(std::move(data)),
          m_tail{&m_data->unreadable, static_cast<int>(m_data->rows.size()), 0} {}
    int count() const override { return m_tail.first + m_tail.count(); }
    double height(int i) const override {
        return i < m_tail.first ? kDetailHeight : m_tail.height(i);
    }
    int group(int i) const override { return i < m_tail.first ? -1 : 0; }
    bool opensGroup(int i) const override { return i == m_tail.first; }
    QVector<Band> bands(int i) const override {
        if (i >= m_tail.first) {
            return m_tail.bands(i);
        }
        const AgentCollectionRow& r = m_data->rows[i];
        return {Band{BandKind::Detail,
                     kDetailHeight,
                     {text(QStringLiteral("txtAgentID"), r.AgentID, kAgentX, 0, kAgentW),
                      text(QStringLiteral("txtCollectedAmt"), amountText(r.CollectedAmt),
                           kAgentAmountX, 0, kAgentAmountW, TextStyle::Value, Qt::AlignRight),
                      text(QStringLiteral("txtDate"), reportDateText(r.Date), kAgentDateX, 0,
                           kAgentDateW)}}};
    }
    Band continuedHeader(int) const override { return unreadableHeader(true); }

private:
    std::shared_ptr<const AgentCollectionData> m_data;
    UnreadableTail m_tail;
};

// Report1 of rows read whole or read page by page: the same bands either way.
std::shared_ptr<PagedReport> dailyCollection(std::shared_ptr<BlockSource> source,
                                             const ReportHeading& heading,
                                             const PageGeometry& geometry) {
    const QString title = QStringLiteral("KOVRIN DAILY COLLECTION SUMMARY");
    return std::make_shared<PagedReport>(ReportKind::DailyCollection, QStringLiteral("DataReport1"),
                                         title, geometry, reportHeader(title, geometry),
                                         pageHeader(heading, geometry), std::move(source));
}

}  // namespace

std::shared_ptr<PagedReport> pagedDailyCollection(std::shared_ptr<const DailyCollectionData> data,
                                                  const ReportHeading& heading,
                                                  const PageGeometry& geometry) {
    return dailyCollection(std::make_shared<DailySource>(std::move(data)), heading, geometry);
}

std::shared_ptr<PagedReport> pagedDailyCollection(std::shared_ptr<DailyReportPager> pager,
                                                  const ReportHeading& heading,
                                                  const PageGeometry& geometry) {
    return dailyCollection(std::make_shared<PagerSource>(std::move(pager)), heading, geometry);
}

std::shared_ptr<PagedReport> pagedAgentCollection(std::shared_ptr<const AgentCollectionData> data,
                                                  const ReportHeading& heading,
                                                  const PageGeometry& geometry) {
    const QString title = QStringLiteral("KOVRIN AGENT COLLECTION SUMMARY");
    // The page header carries the column headings under the bank, branch and date lines.
    Band header = pageHeader(heading, geometry);
    const double headingsY = header.height;
    header.height += kLineHeight + kPageHeaderPadding;
    header.texts << label(QStringLiteral("lblAgentID"), QStringLiteral("AgentID"), kAgentX,
                          headingsY, kAgentW)
                 << label(QStringLiteral("lblCollectedAmt"), QStringLiteral("Collected Amount"),
                          kAgentAmountX, headingsY, kAgentAmountW, Qt::AlignRight)
                 << label(QStringLiteral("lblDateHeading"), QStringLiteral("Date"), kAgentDateX,
                          headingsY, kAgentDateW);
    return std::make_shared<PagedReport>(ReportKind::AgentCollection, QStringLiteral("DataReport2"),
                                         title, geometry, reportHeader(title, geometry), header,
                                         std::make_shared<AgentSource>(std::move(data)));
}

ReportDocument layoutDailyCollection(const DailyCollectionData& data, const ReportHeading& heading,
                                     const PageGeometry& geometry) {
    return pagedDailyCollection(borrowed(data), heading, geometry)->document();
}

ReportDocument layoutAgentCollection(const AgentCollectionData& data, const ReportHeading& heading,
                                     const PageGeometry& geometry) {
    return pagedAgentCollection(borrowed(data), heading, geometry)->document();
}

QString defaultReportFileName(ReportKind kind, const QDate& from, const QDate& to,
                              const QString& suffix) {
    const QString base =
        kind == ReportKind::DailyCollection   ? QStringLiteral("DailyCollectionSummary")
        : kind == ReportKind::AgentCollection ? QStringLiteral("AgentCollectionSummary")
                                              : QStringLiteral("UploadRegister");
    const QString range =
        from == to
            ? from.toString(Qt::ISODate)
            : QStringLiteral("%1_to_%2").arg(from.toString(Qt::ISODate), to.toString(Qt::ISODate));
    return QStringLiteral("%1_%2.%3").arg(base, range, suffix);
}

}  // namespace kovrin
