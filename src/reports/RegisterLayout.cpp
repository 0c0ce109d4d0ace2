// The upload register: one line per stored upload, grouped by the day its key names, with the
// terminal's totals beside the stored ones.
#include "reports/ReportBands.h"
#include "reports/ReportLayout.h"

namespace kovrin {

using namespace report_bands;

namespace {

// Column positions of the upload register, each wide enough for what it holds in Arial 10:
// an agent number of up to fifteen digits (5.56 points a digit), "dd/MM HH:mm", counts up to
// five digits under their two-line headings, amounts up to 99999999.99, the outcome and the
// note; two points between columns, within the 523 points of the page.
struct RegisterColumns {
    double agentX = 0, agentW = 84;
    double receivedX = 86, receivedW = 56;
    double terminalCountX = 144, countW = 42;
    double terminalTotalX = 188, totalW = 62;
    double storedCountX = 252;
    double storedTotalX = 296;
    double differenceX = 360, differenceW = 60;
    double outcomeX = 422, outcomeW = 46;
    double markX = 470, markW = 53;
};

constexpr double kRegisterHeaderHeight = 3 * kLineHeight + 8;
constexpr double kRegisterFooterHeight = kLineHeight + 8;
constexpr double kRegisterReportFooterHeight = 3 * kLineHeight + 12;

// The line of the uploads without the terminal's totals, under the totals, when there are any.
double withoutTotalsHeight(const RegisterTotals& t) {
    return t.withoutTotals > 0 ? kLineHeight : 0;
}
double footerHeight(const RegisterTotals& t) {
    return kRegisterFooterHeight + withoutTotalsHeight(t);
}
double reportFooterHeight(const RegisterTotals& t) {
    return kRegisterReportFooterHeight + withoutTotalsHeight(t);
}

QString countText(std::optional<int> n) {
    return n ? QString::number(*n) : QString();
}

QString optionalAmount(std::optional<Hundredths> a) {
    return a ? amountText(*a) : QString();
}

Band registerGroupHeader(const QDate& day, bool continued) {
    const RegisterColumns c;
    Band b{BandKind::GroupHeader, kRegisterHeaderHeight, {}};
    b.texts << text(QStringLiteral("txtDay"), reportDateText(day), 0, 2, 100);
    if (continued) {
        b.texts << text(QStringLiteral("lblContinued"), QStringLiteral("(continued)"), 110, 2, 100);
    }
    const double y1 = kLineHeight + 2;
    const double y2 = y1 + kLineHeight;
    auto heading = [&](const char* name, const QString& first, const QString& second, double x,
                       double w, Qt::Alignment align) {
        b.texts << label(QLatin1String(name), first, x, second.isEmpty() ? y2 : y1, w, align);
        if (!second.isEmpty()) {
            b.texts << label(QLatin1String(name) + QStringLiteral("2"), second, x, y2, w, align);
        }
    };
    heading("lblAgentID", QStringLiteral("AgentID"), {}, c.agentX, c.agentW, Qt::AlignLeft);
    heading("lblReceived", QStringLiteral("Received"), {}, c.receivedX, c.receivedW, Qt::AlignLeft);
    heading("lblTerminalCount", QStringLiteral("Terminal"), QStringLiteral("Count"),
            c.terminalCountX, c.countW, Qt::AlignRight);
    heading("lblTerminalTotal", QStringLiteral("Terminal"), QStringLiteral("Total"),
            c.terminalTotalX, c.totalW, Qt::AlignRight);
    heading("lblStoredCount", QStringLiteral("Stored"), QStringLiteral("Count"), c.storedCountX,
            c.countW, Qt::AlignRight);
    heading("lblStoredTotal", QStringLiteral("Stored"), QStringLiteral("Total"), c.storedTotalX,
            c.totalW, Qt::AlignRight);
    heading("lblDifference", QStringLiteral("Difference"), {}, c.differenceX, c.differenceW,
            Qt::AlignRight);
    heading("lblOutcome", QStringLiteral("Outcome"), {}, c.outcomeX, c.outcomeW, Qt::AlignLeft);
    heading("lblMark", QStringLiteral("Note"), {}, c.markX, c.markW, Qt::AlignLeft);
    return b;
}

Band registerDetail(const RegisterRow& r) {
    const RegisterColumns c;
    const TextStyle v = TextStyle::Value;
    return Band{
        BandKind::Detail,
        kDetailHeight,
        {text(QStringLiteral("txtAgentID"), r.AgentID, c.agentX, 0, c.agentW),
         text(QStringLiteral("txtReceived"),
              r.ReceivedAt.isValid() ? r.ReceivedAt.toString(QStringLiteral("dd/MM HH:mm"))
                                     : QStringLiteral("earlier"),
              c.receivedX, 0, c.receivedW),
         text(QStringLiteral("txtTerminalCount"), countText(r.TerminalCount), c.terminalCountX, 0,
              c.countW, v, Qt::AlignRight),
         text(QStringLiteral("txtTerminalTotal"), optionalAmount(r.TerminalTotal), c.terminalTotalX,
              0, c.totalW, v, Qt::AlignRight),
         text(QStringLiteral("txtStoredCount"), QString::number(r.StoredCount), c.storedCountX, 0,
              c.countW, v, Qt::AlignRight),
         text(QStringLiteral("txtStoredTotal"), amountText(r.StoredTotal), c.storedTotalX, 0,
              c.totalW, v, Qt::AlignRight),
         text(QStringLiteral("txtDifference"), optionalAmount(r.difference()), c.differenceX, 0,
              c.differenceW, v, Qt::AlignRight),
         text(QStringLiteral("txtOutcome"), r.Outcome, c.outcomeX, 0, c.outcomeW),
         text(QStringLiteral("txtMark"), r.superseded ? QStringLiteral("Superseded") : QString(),
              c.markX, 0, c.markW)}};
}

Band registerTotals(BandKind kind, const QString& caption, const RegisterTotals& t) {
    const RegisterColumns c;
    const TextStyle s = TextStyle::Total;
    const bool grand = kind == BandKind::ReportFooter;
    Band b{kind,
           grand ? reportFooterHeight(t) : footerHeight(t),
           {label(grand ? QStringLiteral("lblGrandTotal") : QStringLiteral("lblDayTotal"), caption,
                  c.agentX, 4, c.terminalCountX - 4),
            text(QStringLiteral("sumTerminalCount"), QString::number(t.terminalCount),
                 c.terminalCountX, 4, c.countW, s, Qt::AlignRight),
            text(QStringLiteral("sumTerminalTotal"), amountText(t.terminalTotal), c.terminalTotalX,
                 4, c.totalW, s, Qt::AlignRight),
            text(QStringLiteral("sumStoredCount"), QString::number(t.storedCount), c.storedCountX,
                 4, c.countW, s, Qt::AlignRight),
            text(QStringLiteral("sumStoredTotal"), amountText(t.storedTotal), c.storedTotalX, 4,
                 c.totalW, s, Qt::AlignRight),
            text(QStringLiteral("sumDifference"), amountText(t.difference), c.differenceX, 4,
                 c.differenceW, s, Qt::AlignRight)}};
    // The stored figures of the uploads that brought no totals of the terminal's: beside the
    // terminal's they would not add up, so they have a line of their own.
    if (t.withoutTotals > 0) {
        const double y = 4 + kLineHeight;
        b.texts << label(QStringLiteral("lblWithoutTotals"),
                         QStringLiteral("Without terminal totals :"), c.agentX, y,
                         c.storedCountX - 4)
                << text(QStringLiteral("sumWithoutTotalsCount"),
                        QString::number(t.withoutTotalsCount), c.storedCountX, y, c.countW, s,
                        Qt::AlignRight)
                << text(QStringLiteral("sumWithoutTotalsStored"), amountText(t.withoutTotalsStored),
                        c.storedTotalX, y, c.totalW, s, Qt::AlignRight);
    }
    if (grand) {
        const double w = c.markX + c.markW;
        const double y = 4 + kLineHeight + withoutTotalsHeight(t);
        b.texts << text(QStringLiteral("lblRegisterNote"),
                        QStringLiteral("Difference: the stored total less the terminal's own "
                                       "total. Totals count the uploads not superseded;"),
                        0, y, w)
                << text(QStringLiteral("lblRegisterNote2"),
                        QStringLiteral("an upload of the same agent and day received again "
                                       "supersedes the earlier one (%1 listed as superseded).")
                            .arg(t.superseded),
                        0, y + kLineHeight, w);
    }
    return b;
}

class RegisterSource : public BlockSource {
public:
    explicit RegisterSource(std::shared_ptr<const RegisterData> data) : m_data(std::move(data)) {
        int n = 0;
        for (const RegisterGroup& g : m_data->groups) {
            m_groupStarts.push_back(n);
            n += static_cast<int>(g.rows.size());
        }
        m_rows = n;
    }
    int count() const override { return m_rows + 1; }
    double height(int i) const override {
        if (i == m_rows) {
            return reportFooterHeight(m_data->grandTotals);
        }
        const auto [g, r] = place(i);
        const RegisterGroup& group = m_data->groups[g];
        return kDetailHeight + (r == 0 ? kRegisterHeaderHeight : 0) +
               (r == group.rows.size() - 1 ? footerHeight(group.totals) : 0);
    }
    int group(int i) const override { return i == m_rows ? -1 : place(i).first; }
    bool opensGroup(int i) const override { return i < m_rows && place(i).second == 0; }
    QVector<Band> bands(int i) const override {
        if (i == m_rows) {
            return {registerTotals(BandKind::ReportFooter, QStringLiteral("Grand Total :"),
                                   m_data->grandTotals)};
        }
        const auto [g, r] = place(i);
        const RegisterGroup& group = m_data->groups[g];
        QVector<Band> out;
        if (r == 0) {
            out << registerGroupHeader(group.Day, false);
        }
        out << registerDetail(group.rows[r]);
        if (r == group.rows.size() - 1) {
            out << registerTotals(BandKind::GroupFooter, QStringLiteral("Day Total :"),
                                  group.totals);
        }
        return out;
    }
    Band continuedHeader(int group) const override {
        return registerGroupHeader(m_data->groups[group].Day, true);
    }

private:
    std::pair<int, int> place(int i) const {
        const auto it = std::upper_bound(m_groupStarts.begin(), m_groupStarts.end(), i);
        const int g = static_cast<int>(it - m_groupStarts.begin()) - 1;
        return {g, i - m_groupStarts[size_t(g)]};
    }

    std::shared_ptr<const RegisterData> m_data;
    std::vector<int> m_groupStarts;
    int m_rows = 0;
};

}  // namespace

std::shared_ptr<PagedReport> pagedUploadRegister(std::shared_ptr<const RegisterData> data,
                                                 const ReportHeading& heading,
                                                 const PageGeometry& geometry) {
    const QString title = QStringLiteral("KOVRIN UPLOAD REGISTER");
    return std::make_shared<PagedReport>(
        ReportKind::UploadRegister, QStringLiteral("UploadRegister"), title, geometry,
        reportHeader(title, geometry), pageHeader(heading, geometry),
        std::make_shared<RegisterSource>(std::move(data)));
}

ReportDocument layoutUploadRegister(const RegisterData& data, const ReportHeading& heading,
                                    const PageGeometry& geometry) {
    return pagedUploadRegister(borrowed(data), heading, geometry)->document();
}

}  // namespace kovrin
