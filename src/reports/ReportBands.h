#pragma once

// What the layouts of the reports share: band heights, the title and the page header, text
// helpers. Used only by the layouts (ReportLayout.cpp, RegisterLayout.cpp).

#include "reports/ReportLayout.h"

#include <memory>

namespace kovrin::report_bands {

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

inline ReportText text(const QString& name, const QString& t, double x, double y, double width,
                       TextStyle style = TextStyle::Value, Qt::Alignment align = Qt::AlignLeft) {
    return ReportText{name, t, x, y, width, align, style};
}

inline ReportText label(const QString& name, const QString& t, double x, double y, double width,
                        Qt::Alignment align = Qt::AlignLeft) {
    return text(name, t, x, y, width, TextStyle::Label, align);
}

inline QVector<Band> reportHeader(const QString& title, const PageGeometry& g) {
    return {Band{BandKind::ReportHeader,
                 kTitleHeight,
                 {text(QStringLiteral("lblTitle"), title, 0, 4, g.contentWidth(), TextStyle::Title,
                       Qt::AlignHCenter)}}};
}

// "Bank Name :", "Branch ID :" and "Date :" with their values, one line each.
inline Band pageHeader(const ReportHeading& h, const PageGeometry& g) {
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

// Does nothing when the pointer it is given goes away: data laid out at once by its owner.
template <typename T>
std::shared_ptr<const T> borrowed(const T& data) {
    return std::shared_ptr<const T>(&data, [](const T*) {});
}

}  // namespace kovrin::report_bands
