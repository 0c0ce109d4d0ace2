#include "reports/ReportLayout.h"

#include <algorithm>

// The page machinery every report shares: blocks laid out on pages as they become known, a
// group's header repeated at the top of a page it continues on.

namespace kovrin {

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

PagedReport::PagedReport(ReportKind kind, QString name, QString title, const PageGeometry& geometry,
                         QVector<Band> reportHeader, Band pageHeader,
                         std::shared_ptr<BlockSource> blocks)
    : m_kind(kind),
      m_name(std::move(name)),
      m_title(std::move(title)),
      m_geometry(geometry),
      m_reportHeader(std::move(reportHeader)),
      m_pageHeader(std::move(pageHeader)),
      m_blocks(std::move(blocks)) {
    m_pageStarts.push_back(0);
    m_y = m_geometry.margin + m_pageHeader.height;
    for (const Band& b : m_reportHeader) {
        m_y += b.height;
    }
}

int PagedReport::pageCount() const {
    // The last page begun is known only once nothing more can go on it.
    return static_cast<int>(m_pageStarts.size()) - (complete() ? 0 : 1);
}

bool PagedReport::layOut(int blocks) {
    m_blocks->refresh();
    const int end = std::min(m_blocks->count(), m_next + std::max(blocks, 0));
    for (; m_next < end; ++m_next) {
        const double height = m_blocks->height(m_next);
        // A block taller than a whole page would never fit: it is placed on a page of its own
        // rather than starting pages for ever.
        if (m_y + height > m_geometry.bottom() && !m_onlyHeaders) {
            m_pageStarts.push_back(m_next);
            m_y = m_geometry.margin + m_pageHeader.height;
            const int group = m_blocks->group(m_next);
            if (group >= 0 && !m_blocks->opensGroup(m_next)) {
                m_y += m_blocks->continuedHeader(group).height;
            }
        }
        m_y += height;
        m_onlyHeaders = false;
    }
    return complete();
}

void PagedReport::layOutPage(int index) {
    while (!complete() && pageCount() <= index && m_blocks->error().isEmpty()) {
        const int before = m_next;
        layOut(256);
        // The source is still being read: wait for its next rows rather than spin.
        if (m_next == before && !complete() && !m_blocks->waitForMore(50) &&
            !m_blocks->error().isEmpty()) {
            break;
        }
    }
}

void PagedReport::layOutAll() {
    layOutKnown();
    while (!complete() && m_blocks->error().isEmpty()) {
        m_blocks->waitForMore(50);
        layOutKnown();
    }
}

void PagedReport::layOutKnown() {
    m_blocks->refresh();
    layOut(m_blocks->count());
}

bool PagedReport::pageAtHand(int index) {
    if (index < 0 || index >= pageCount()) {
        return true;
    }
    const int first = m_pageStarts[size_t(index)];
    const int end = size_t(index) + 1 < m_pageStarts.size() ? m_pageStarts[size_t(index) + 1]
                                                            : m_blocks->count();
    return m_blocks->atHand(first, end);
}

ReportPage PagedReport::page(int index) const {
    ReportPage page;
    if (index < 0 || index >= pageCount()) {
        return page;
    }
    double y = m_geometry.margin;
    auto place = [&](const Band& b) {
        page.bands.push_back(PlacedBand{y, b});
        y += b.height;
    };
    if (index == 0) {
        for (const Band& b : m_reportHeader) {
            place(b);
        }
    }
    place(m_pageHeader);
    const int first = m_pageStarts[size_t(index)];
    const int end = size_t(index) + 1 < m_pageStarts.size() ? m_pageStarts[size_t(index) + 1]
                                                            : m_blocks->count();
    if (index > 0 && first < end) {
        const int group = m_blocks->group(first);
        if (group >= 0 && !m_blocks->opensGroup(first)) {
            const Band continued = m_blocks->continuedHeader(group);
            if (continued.height > 0) {
                place(continued);
            }
        }
    }
    for (int i = first; i < end; ++i) {
        for (const Band& b : m_blocks->bands(i)) {
            place(b);
        }
    }
    return page;
}

QStringList PagedReport::pageTexts(int index) const {
    QStringList out;
    for (const PlacedBand& pb : page(index).bands) {
        for (const ReportText& t : pb.band.texts) {
            out << t.text;
        }
    }
    return out;
}

ReportDocument PagedReport::document() {
    layOutAll();
    ReportDocument doc;
    doc.kind = m_kind;
    doc.name = m_name;
    doc.title = m_title;
    doc.geometry = m_geometry;
    for (int i = 0; i < pageCount(); ++i) {
        doc.pages.push_back(page(i));
    }
    return doc;
}

namespace {

// Blocks given whole, for paginate().
class ListSource : public BlockSource {
public:
    ListSource(const QVector<Band>& continued, const QVector<KeepTogether>& blocks)
        : m_continued(continued), m_blocks(blocks) {}
    int count() const override { return static_cast<int>(m_blocks.size()); }
    double height(int i) const override {
        double h = 0;
        for (const Band& b : m_blocks[i].bands) {
            h += b.height;
        }
        return h;
    }
    int group(int i) const override { return m_blocks[i].group; }
    bool opensGroup(int i) const override { return m_blocks[i].opensGroup; }
    QVector<Band> bands(int i) const override { return m_blocks[i].bands; }
    Band continuedHeader(int group) const override {
        return group < m_continued.size() ? m_continued[group] : Band{BandKind::GroupHeader, 0, {}};
    }

private:
    const QVector<Band>& m_continued;
    const QVector<KeepTogether>& m_blocks;
};

}  // namespace

QVector<ReportPage> paginate(const QVector<Band>& reportHeader, const Band& pageHeader,
                             const QVector<Band>& continuedHeaders,
                             const QVector<KeepTogether>& blocks, const PageGeometry& geometry) {
    auto source = std::make_shared<ListSource>(continuedHeaders, blocks);
    PagedReport report(ReportKind::DailyCollection, {}, {}, geometry, reportHeader, pageHeader,
                       source);
    return report.document().pages;
}

}  // namespace kovrin
