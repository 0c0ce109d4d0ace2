// The two report layouts on pages (bands, texts, page breaks) and the CSV of their rows.
#include "reports/ReportCsv.h"
#include "reports/ReportLayout.h"
#include "support/TempProgramFolder.h"

#include <QFile>
#include <QtTest>

using namespace kovrin;

namespace {

const QDate kDec7(2009, 12, 7);
const QDate kDec8(2009, 12, 8);

ReportHeading heading(const QDate& from = kDec7, const QDate& to = kDec8) {
    return ReportHeading{"State Bank of Kovrin", "Main Road", from, to};
}

// Rows on consecutive days from 7 December, the first `notPosted` of each day kept out of the
// bank upload file; then `unreadable` rows that could not be read.
DailyCollectionData dailyData(const QVector<int>& rowsPerDay, int unreadable = 0,
                              int notPosted = 0) {
    QVector<CollectionRow> rows;
    for (int d = 0; d < rowsPerDay.size(); ++d) {
        for (int i = 0; i < rowsPerDay[d]; ++i) {
            rows.push_back(CollectionRow{QString("%1").arg(d + 1, 3, 10, QChar('0')),
                                         QString::number(1000 + i), Hundredths(100000 + i),
                                         Hundredths(100 + i), kDec7.addDays(d),
                                         i >= notPosted ? Posting::Posted
                                         : i % 2 == 0   ? Posting::NotInDownload
                                                        : Posting::RepeatedNumber});
        }
    }
    DailyCollectionData data = groupByDate(rows);
    for (int i = 0; i < unreadable; ++i) {
        data.unreadable.push_back(
            {"009", QString::number(7000 + i), "00000x0.00", "00/12/2009 10:00"});
    }
    return data;
}

const ReportText* find(const Band& b, const QString& name) {
    for (const ReportText& t : b.texts) {
        if (t.name == name) {
            return &t;
        }
    }
    return nullptr;
}

QString textOf(const Band& b, const QString& name) {
    const ReportText* t = find(b, name);
    return t ? t->text : QString("<none>");
}

}  // namespace

class TestReportLayout : public QObject {
    Q_OBJECT
private slots:
    void dailyReportBandsAndTexts();
    void dailyPagesKeepGroupsWithTheirHeaders_data();
    void dailyPagesKeepGroupsWithTheirHeaders();
    void agentReportBandsAndPages();
    void uploadRegisterBandsTotalsAndCsv();
    void headingDateRange();
    void defaultFileNames();
    void csvOfDailyReport();
    void csvOfAgentReport();
    void csvFieldsAreQuotedWhenNeeded_data();
    void csvFieldsAreQuotedWhenNeeded();
    void saveFileReplacesWholeOrNothing();

private:
    // Checks what must hold on the pages of any daily collection report.
    static void checkDailyPages(const ReportDocument& doc, const DailyCollectionData& data);
};

void TestReportLayout::dailyReportBandsAndTexts() {
    DailyCollectionData data = dailyData({2, 1});
    data.groups[0].rows[1].ClosingAmt.reset();
    const ReportDocument doc = layoutDailyCollection(data, heading());
    QCOMPARE(doc.name, QString("DataReport1"));
    QCOMPARE(doc.title, QString("KOVRIN DAILY COLLECTION SUMMARY"));
    QCOMPARE(doc.pages.size(), 1);
    const auto& bands = doc.pages[0].bands;
    QVector<BandKind> kinds;
    for (const PlacedBand& pb : bands) {
        kinds << pb.band.kind;
    }
    QCOMPARE(kinds,
             QVector<BandKind>({BandKind::ReportHeader, BandKind::PageHeader, BandKind::GroupHeader,
                                BandKind::Detail, BandKind::Detail, BandKind::GroupFooter,
                                BandKind::GroupHeader, BandKind::Detail, BandKind::GroupFooter,
                                BandKind::ReportFooter}));
    QCOMPARE(textOf(bands[0].band, "lblTitle"), QString("KOVRIN DAILY COLLECTION SUMMARY"));
    const Band& ph = bands[1].band;
    QCOMPARE(textOf(ph, "lblBankName"), QString("Bank Name :"));
    QCOMPARE(textOf(ph, "lbBankName"), QString("State Bank of Kovrin"));
    QCOMPARE(textOf(ph, "lblBranchID"), QString("Branch ID :"));
    QCOMPARE(textOf(ph, "lbBranchID"), QString("Main Road"));
    QCOMPARE(textOf(ph, "lblDate"), QString("Date :"));
    QCOMPARE(textOf(ph, "lbDate"), QString("07/Dec/2009 to 08/Dec/2009"));
    const Band& gh = bands[2].band;
    QCOMPARE(textOf(gh, "txtDate"), QString("07/Dec/2009"));
    QStringList headings;
    for (const char* n : {"lblAgentID", "lblAccountNo", "lblClosingAmt", "lblCollectedAmt"}) {
        headings << textOf(gh, n);
    }
    QCOMPARE(headings,
             QStringList({"AgentID", "Account No", "Closing Amount", "Collected Amount"}));
    QVERIFY(!find(gh, "lblContinued"));
    const Band& d1 = bands[3].band;
    QCOMPARE(textOf(d1, "txtAgentID"), QString("001"));
    QCOMPARE(textOf(d1, "txtAccountNo"), QString("1000"));
    QCOMPARE(textOf(d1, "txtClosingAmt"), QString("1000.00"));
    QCOMPARE(textOf(d1, "txtCollectedAmt"), QString("1.00"));
    QCOMPARE(find(d1, "txtCollectedAmt")->align, Qt::Alignment(Qt::AlignRight));
    QCOMPARE(textOf(bands[4].band, "txtClosingAmt"), QString(""));  // balance not known
    QCOMPARE(textOf(bands[5].band, "lblGroupTotal"), QString("Group Total :   Rs."));
    QCOMPARE(textOf(bands[5].band, "Function1"), QString("2.01"));
    QCOMPARE(textOf(bands[6].band, "txtDate"), QString("08/Dec/2009"));
    QCOMPARE(textOf(bands[8].band, "Function1"), QString("1.00"));
    QCOMPARE(textOf(bands[9].band, "lblGrandTotal"), QString("Grand Total :   Rs."));
    QCOMPARE(textOf(bands[9].band, "Function2"), QString("3.01"));
    // Bands follow one another down the page.
    for (int i = 1; i < bands.size(); ++i) {
        QCOMPARE(bands[i].y, bands[i - 1].y + bands[i - 1].band.height);
    }
    QCOMPARE(bands[0].y, doc.geometry.margin);
}

void TestReportLayout::checkDailyPages(const ReportDocument& doc, const DailyCollectionData& data) {
    QVector<QString> rowsSeen;
    QVector<QString> unreadableSeen;
    QString groupDate;
    int footers = 0;
    int unreadableHeaders = 0;
    for (int p = 0; p < doc.pages.size(); ++p) {
        const auto& bands = doc.pages[p].bands;
        int i = 0;
        if (p == 0) {
            QCOMPARE(bands.value(i++).band.kind, BandKind::ReportHeader);
        }
        QCOMPARE(bands.value(i).band.kind, BandKind::PageHeader);
        QCOMPARE(textOf(bands[i].band, "lbBankName"), QString("State Bank of Kovrin"));
        ++i;
        QVERIFY2(i < bands.size(), "a page with nothing but headers");
        const PlacedBand& last = bands.last();
        QVERIFY2(last.y + last.band.height <= doc.geometry.bottom() + 1e-9, "past the bottom");
        // After the page header comes a group header or the heading of the collections that
        // could not be read (either repeated, when its list goes on from the page before), or
        // the report footer.
        const BandKind firstKind = bands[i].band.kind;
        QVERIFY2(firstKind == BandKind::GroupHeader || firstKind == BandKind::ReportFooter ||
                     firstKind == BandKind::UnreadableHeader,
                 qPrintable(QString("page %1 starts without a group header").arg(p + 1)));
        for (; i < bands.size(); ++i) {
            const Band& b = bands[i].band;
            if (b.kind == BandKind::GroupHeader) {
                QVERIFY2(i + 1 < bands.size() && bands[i + 1].band.kind == BandKind::Detail,
                         "a group header without a row under it");
                // Repeated, marked "(continued)", exactly when the page before ended inside a
                // group.
                const bool continued = find(b, "lblContinued") != nullptr;
                const bool insideGroup =
                    p > 0 && i == 1 && doc.pages[p - 1].bands.last().band.kind == BandKind::Detail;
                QCOMPARE(continued, insideGroup);
                if (continued) {
                    QCOMPARE(textOf(b, "txtDate"), groupDate);
                }
                groupDate = textOf(b, "txtDate");
            } else if (b.kind == BandKind::Detail) {
                rowsSeen << textOf(b, "txtAgentID") + "/" + textOf(b, "txtAccountNo") + "/" +
                                textOf(b, "txtPosting");
            } else if (b.kind == BandKind::GroupFooter) {
                QVERIFY2(bands[i - 1].band.kind == BandKind::Detail, "a footer without its rows");
                // What the bank posts and what it does not, under the sum, when not all.
                const CollectionGroup& g = data.groups[footers];
                QCOMPARE(textOf(b, "Function1NotPosted"),
                         g.notPosted.count ? amountText(g.notPosted.total) : QString("<none>"));
                QCOMPARE(textOf(b, "Function1Posted"), g.notPosted.count
                                                           ? amountText(g.total - g.notPosted.total)
                                                           : QString("<none>"));
                ++footers;
            } else if (b.kind == BandKind::UnreadableHeader) {
                QVERIFY2(
                    i + 1 < bands.size() && bands[i + 1].band.kind == BandKind::UnreadableDetail,
                    "the unreadable heading without a row under it");
                const bool continued = find(b, "lblContinued") != nullptr;
                QCOMPARE(continued, unreadableHeaders > 0);
                QCOMPARE(continued,
                         p > 0 && i == 1 &&
                             doc.pages[p - 1].bands.last().band.kind == BandKind::UnreadableDetail);
                QCOMPARE(textOf(b, "lblUnreadable"), QString("Collections that could not be read"));
                QCOMPARE(textOf(b, "lblUnreadableNote"),
                         QString("These collections are left out of the totals."));
                QStringList headings;
                for (const char* n : {"lblUnreadableAgentID", "lblUnreadableAccountNo",
                                      "lblStoredAmount", "lblStoredDateTime"}) {
                    headings << textOf(b, n);
                }
                QCOMPARE(headings, QStringList({"AgentID", "Account No", "Stored Amount",
                                                "Stored Date and Time"}));
                ++unreadableHeaders;
            } else if (b.kind == BandKind::UnreadableDetail) {
                // Only after the grand total.
                QVERIFY2(footers == data.groups.size() && unreadableHeaders > 0,
                         "an unreadable row before the end");
                unreadableSeen << QStringList{textOf(b, "txtUnreadableAgentID"),
                                              textOf(b, "txtUnreadableAccountNo"),
                                              textOf(b, "txtStoredAmount"),
                                              textOf(b, "txtStoredDateTime")}
                                      .join('/');
            }
        }
        // A page is only broken when what comes next would not have fitted on it.
        if (p + 1 < doc.pages.size()) {
            const auto& next = doc.pages[p + 1].bands;
            int j = 1;
            if (find(next[j].band, "lblContinued")) {
                ++j;  // the repeated header belongs to the new page, not to what moved
            }
            double need = next[j].band.height;
            if (next[j].band.kind == BandKind::GroupHeader ||
                next[j].band.kind == BandKind::UnreadableHeader) {
                need += next[++j].band.height;
            }
            if (j + 1 < next.size() && next[j].band.kind == BandKind::Detail &&
                next[j + 1].band.kind == BandKind::GroupFooter) {
                need += next[j + 1].band.height;
            }
            QVERIFY2(last.y + last.band.height + need > doc.geometry.bottom(),
                     qPrintable(QString("page %1 broken too early").arg(p + 1)));
        }
    }
    QVector<QString> expected;
    for (const CollectionGroup& g : data.groups) {
        for (const CollectionRow& r : g.rows) {
            expected << r.AgentID + "/" + r.AccountNo + "/" + postingText(r.posting);
        }
    }
    QCOMPARE(rowsSeen, expected);  // every row once, in order
    QCOMPARE(footers, data.groups.size());
    QVector<QString> expectedUnreadable;
    for (const UnreadableRow& r : data.unreadable) {
        expectedUnreadable << QStringList{r.AgentID, r.AccountNo, r.Amtcollected, r.DateTime}.join(
            '/');
    }
    QCOMPARE(unreadableSeen, expectedUnreadable);
    QCOMPARE(doc.pages.last().bands.last().band.kind,
             data.unreadable.isEmpty() ? BandKind::ReportFooter : BandKind::UnreadableDetail);
    // The grand total counts the readable rows only.
    Hundredths sum = 0;
    for (const CollectionGroup& g : data.groups) {
        sum += g.total;
    }
    for (const ReportPage& page : doc.pages) {
        for (const PlacedBand& pb : page.bands) {
            if (pb.band.kind == BandKind::ReportFooter) {
                QCOMPARE(textOf(pb.band, "Function2"), amountText(sum));
                const NotPosted& n = data.notPosted;
                QCOMPARE(textOf(pb.band, "Function2Posted"),
                         n.count ? amountText(sum - n.total) : QString("<none>"));
                QCOMPARE(textOf(pb.band, "Function2NotPosted"),
                         n.count ? amountText(n.total) : QString("<none>"));
                QCOMPARE(textOf(pb.band, "lblGrandTotalNotPosted"),
                         n.count ? QString("Not posted :   Rs.") : QString("<none>"));
            }
        }
    }
}

void TestReportLayout::dailyPagesKeepGroupsWithTheirHeaders_data() {
    QTest::addColumn<QVector<int>>("rowsPerDay");
    QTest::addColumn<int>("unreadable");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("notPosted");  // of each day, kept out of the bank upload file
    // Rows start 120 pt down on page one (margin, title, page header) and 128 pt down on the
    // others (margin, page header, repeated group header); the page ends 36 pt above its foot.
    // The rows that could not be read come after the grand total, under a 57 pt heading.
    QTest::newRow("one row") << QVector<int>{1} << 0 << 1 << 0;
    QTest::newRow("whole report on one page") << QVector<int>{39} << 0 << 1 << 0;
    QTest::newRow("grand total alone on the next page") << QVector<int>{40} << 0 << 2 << 0;
    QTest::newRow("last row keeps its footer") << QVector<int>{42} << 0 << 2 << 0;
    QTest::newRow("hundreds of rows") << QVector<int>{400} << 0 << 10 << 0;
    QTest::newRow("many small groups")
        << QVector<int>{3, 5, 1, 40, 2, 1, 30, 7, 1, 1, 60} << 0 << 5 << 0;
    QTest::newRow("group moves whole") << QVector<int>{38, 1} << 0 << 2 << 0;
    QTest::newRow("unreadable rows after the grand total") << QVector<int>{3} << 2 << 1 << 0;
    QTest::newRow("only unreadable rows") << QVector<int>{} << 3 << 1 << 0;
    QTest::newRow("unreadable heading moves with its first row") << QVector<int>{36} << 1 << 2 << 0;
    QTest::newRow("unreadable list goes on over a page break") << QVector<int>{35} << 3 << 2 << 0;
    QTest::newRow("hundreds of unreadable rows") << QVector<int>{1} << 120 << 3 << 0;
    // Two lines under each sum with collections not posted: what the bank posts, what it does not.
    QTest::newRow("collections not posted") << QVector<int>{3, 2, 4} << 1 << 1 << 2;
    QTest::newRow("not posted lines fit with the grand total") << QVector<int>{35} << 0 << 1 << 1;
    QTest::newRow("not posted lines take the grand total over") << QVector<int>{36} << 0 << 2 << 1;
}

void TestReportLayout::dailyPagesKeepGroupsWithTheirHeaders() {
    QFETCH(QVector<int>, rowsPerDay);
    QFETCH(int, unreadable);
    QFETCH(int, pages);
    QFETCH(int, notPosted);
    const DailyCollectionData data = dailyData(rowsPerDay, unreadable, notPosted);
    const ReportDocument doc = layoutDailyCollection(data, heading());
    checkDailyPages(doc, data);
    QCOMPARE(doc.pages.size(), pages);
    for (int p = 1; p < doc.pages.size(); ++p) {
        QVERIFY(!doc.pageTexts(p).contains("KOVRIN DAILY COLLECTION SUMMARY"));
    }
    QVERIFY(doc.pageTexts(0).contains("KOVRIN DAILY COLLECTION SUMMARY"));
}

// The register: a day's uploads with the terminal's totals beside the stored ones, the
// difference, the outcome and the superseded upload marked; day and grand totals count only the
// uploads not superseded, and the differences only those whose header could be read.
void TestReportLayout::uploadRegisterBandsTotalsAndCsv() {
    auto row = [](const char* agent, const QDate& day, std::optional<int> count,
                  std::optional<Hundredths> total, int stored, Hundredths storedTotal,
                  const char* outcome, bool superseded) {
        RegisterRow r;
        r.AgentID = agent;
        r.AgentDateKey = QString(agent) + day.toString("ddMM");
        r.Day = day;
        r.ReceivedAt = QDateTime(day, QTime(18, 5));
        r.TerminalCount = count;
        r.TerminalTotal = total;
        r.StoredCount = stored;
        r.StoredTotal = storedTotal;
        r.Outcome = outcome;
        r.superseded = superseded;
        return r;
    };
    RegisterData data;
    const QVector<QVector<RegisterRow>> days = {
        {row("005", kDec7, 40, 1025000, 40, 1025000, "Agrees", true),
         row("005", kDec7, 1, 7500, 1, 7500, "Agrees", false),
         row("006", kDec7, 3, 30000, 2, 20000, "Differs", false)},
        {row("005", kDec8, std::nullopt, std::nullopt, 4, 1000, "No totals", false)}};
    for (const QVector<RegisterRow>& rows : days) {
        RegisterGroup g{rows.first().Day, rows, {}};
        for (const RegisterRow& r : rows) {
            g.totals.add(r);
            data.grandTotals.add(r);
        }
        data.groups << g;
    }
    QCOMPARE(data.groups[0].totals.difference, Hundredths(-10000));
    // Like with like: the stored total beside the terminal's is that of the same uploads.
    QCOMPARE(data.grandTotals.storedTotal, Hundredths(7500 + 20000));
    QCOMPARE(data.grandTotals.terminalTotal, Hundredths(7500 + 30000));
    QCOMPARE(data.grandTotals.withoutTotalsStored, Hundredths(1000));
    QCOMPARE(data.grandTotals.superseded, 1);

    const ReportDocument doc = layoutUploadRegister(data, heading());
    QCOMPARE(doc.name, QString("UploadRegister"));
    QCOMPARE(doc.pages.size(), 1);
    QStringList lines;
    for (const PlacedBand& pb : doc.pages[0].bands) {
        if (pb.band.kind == BandKind::Detail || pb.band.kind == BandKind::GroupFooter ||
            pb.band.kind == BandKind::ReportFooter) {
            QStringList texts;
            for (const ReportText& t : pb.band.texts) {
                if (!t.name.startsWith("lblRegisterNote")) {
                    texts << t.text;
                }
            }
            lines << texts.join('|');
        }
    }
    QCOMPARE(lines, QStringList({
                        "005|07/12 18:05|40|10250.00|40|10250.00|0.00|Agrees|Superseded",
                        "005|07/12 18:05|1|75.00|1|75.00|0.00|Agrees|",
                        "006|07/12 18:05|3|300.00|2|200.00|-100.00|Differs|",
                        "Day Total :|4|375.00|3|275.00|-100.00",
                        "005|08/12 18:05|||4|10.00||No totals|",
                        "Day Total :|0|0.00|0|0.00|0.00|Without terminal totals :|4|10.00",
                        "Grand Total :|4|375.00|3|275.00|-100.00|Without terminal totals :|4|10.00",
                    }));
    const QStringList texts = doc.pageTexts(0);
    for (const char* heading : {"KOVRIN UPLOAD REGISTER", "07/Dec/2009", "Terminal", "Stored",
                                "Difference", "Outcome", "Note"}) {
        QVERIFY2(texts.contains(heading), heading);
    }
    QVERIFY(texts.last().contains("(1 listed as superseded)"));
    // Every field of a line has room of its own, within the page: an agent number of fifteen
    // digits (5.56 points each in Arial 10) beside the time received, and every figure.
    for (const PlacedBand& pb : doc.pages[0].bands) {
        QVector<ReportText> fields = pb.band.texts;
        std::sort(fields.begin(), fields.end(), [](const ReportText& a, const ReportText& b) {
            return std::tie(a.y, a.x) < std::tie(b.y, b.x);
        });
        for (int i = 0; i < fields.size(); ++i) {
            const ReportText& t = fields[i];
            QVERIFY2(t.x + t.width <= doc.geometry.contentWidth() + 0.01, qPrintable(t.name));
            if (i + 1 < fields.size() && fields[i + 1].y == t.y) {
                QVERIFY2(t.x + t.width <= fields[i + 1].x,
                         qPrintable(t.name + " runs into " + fields[i + 1].name));
            }
            if (t.name == "txtAgentID") {
                QVERIFY2(t.width >= 15 * 5.56, "no room for an agent number of 15 digits");
            }
        }
    }

    const QList<QByteArray> csv = uploadRegisterCsv(data).split('\n');
    QCOMPARE(csv.size(), 6);  // the heading, four uploads, and the end of the last line
    QCOMPARE(csv[1],
             QByteArray("2009-12-07,005,0050712,2009-12-07 18:05:00,40,10250.00,40,10250.00,"
                        "0,0.00,Agrees,no,,,\r"));
    QCOMPARE(csv[3], QByteArray("2009-12-07,006,0060712,2009-12-07 18:05:00,3,300.00,2,200.00,"
                                "-1,-100.00,Differs,yes,,,\r"));
    QCOMPARE(csv[4], QByteArray("2009-12-08,005,0050812,2009-12-08 18:05:00,,,4,10.00,,,No "
                                "totals,yes,,,\r"));
}

void TestReportLayout::agentReportBandsAndPages() {
    AgentCollectionData data;
    for (int i = 0; i < 130; ++i) {
        data.rows.push_back(
            {QString::number(i % 7 + 1), Hundredths(i * 101), kDec7.addDays(i / 7)});
    }
    const ReportDocument doc = layoutAgentCollection(data, heading());
    QCOMPARE(doc.name, QString("DataReport2"));
    QCOMPARE(doc.title, QString("KOVRIN AGENT COLLECTION SUMMARY"));
    // 36 + 30 + 78 = 144 down before the rows: 44 rows on page one, 46 on the others.
    QCOMPARE(doc.pages.size(), 3);
    int rows = 0;
    for (int p = 0; p < doc.pages.size(); ++p) {
        const auto& bands = doc.pages[p].bands;
        const int first = p == 0 ? 1 : 0;
        QCOMPARE(bands[first].band.kind, BandKind::PageHeader);
        const Band& ph = bands[first].band;
        QCOMPARE(textOf(ph, "lblAgentID"), QString("AgentID"));
        QCOMPARE(textOf(ph, "lblCollectedAmt"), QString("Collected Amount"));
        QCOMPARE(textOf(ph, "lblDateHeading"), QString("Date"));
        QCOMPARE(textOf(ph, "lbBranchID"), QString("Main Road"));
        for (int i = first + 1; i < bands.size(); ++i) {
            QCOMPARE(bands[i].band.kind, BandKind::Detail);
            const Band& d = bands[i].band;
            QCOMPARE(textOf(d, "txtAgentID"), data.rows[rows].AgentID);
            QCOMPARE(textOf(d, "txtCollectedAmt"), amountText(data.rows[rows].CollectedAmt));
            QCOMPARE(textOf(d, "txtDate"), reportDateText(data.rows[rows].Date));
            ++rows;
        }
        QVERIFY(bands.last().y + bands.last().band.height <= doc.geometry.bottom());
    }
    QCOMPARE(rows, 130);
    QCOMPARE(doc.pages[0].bands.size(), 2 + 44);
    QCOMPARE(doc.pages[1].bands.size(), 1 + 46);
    QCOMPARE(doc.pageTexts(0).value(0), QString("KOVRIN AGENT COLLECTION SUMMARY"));
    QCOMPARE(doc.pageTexts(0).filter("/Dec/2009").value(1), QString("07/Dec/2009"));
    QVERIFY(!doc.pageTexts(1).contains("KOVRIN AGENT COLLECTION SUMMARY"));
}

void TestReportLayout::headingDateRange() {
    QCOMPARE(heading(kDec7, kDec7).dateRangeText(), QString("07/Dec/2009"));
    QCOMPARE(heading(kDec7, QDate(2010, 1, 31)).dateRangeText(),
             QString("07/Dec/2009 to 31/Jan/2010"));
}

void TestReportLayout::defaultFileNames() {
    QCOMPARE(defaultReportFileName(ReportKind::DailyCollection, kDec7, kDec8, "pdf"),
             QString("DailyCollectionSummary_2009-12-07_to_2009-12-08.pdf"));
    QCOMPARE(defaultReportFileName(ReportKind::AgentCollection, kDec7, kDec7, "csv"),
             QString("AgentCollectionSummary_2009-12-07.csv"));
}

void TestReportLayout::csvOfDailyReport() {
    DailyCollectionData data = dailyData({2, 1});
    data.groups[0].rows[1].ClosingAmt.reset();
    data.groups[0].rows[0].ClosingAmt = -250;  // the program's own number: stays a number
    data.groups[0].rows[1].AgentID = "=1+2";
    data.groups[1].rows[0].AccountNo = "AC,\"7\"";
    data.groups[0].rows[1].posting = Posting::NotInDownload;
    data.groups[1].rows[0].posting = Posting::RepeatedNumber;
    data.unreadable = {{"004", "-77", "-000012.00", "07/12/2009 10:00"},
                       {"005", "12", "0000005.00", "00/12/2009 10:00"}};
    QCOMPARE(dailyCollectionCsv(data),
             QByteArray("Date,AgentID,Account No,Closing Amount,Collected Amount,Bank Posting\r\n"
                        "2009-12-07,001,1000,-2.50,1.00,Posted\r\n"
                        "2009-12-07,'=1+2,1001,,1.01,Not in download\r\n"
                        "2009-12-08,002,\"AC,\"\"7\"\"\",1000.00,1.00,Repeated number\r\n"
                        "Collections that could not be read,AgentID,Account No,,,Stored Amount,"
                        "Stored Date and Time\r\n"
                        "Could not be read,004,'-77,,,'-000012.00,07/12/2009 10:00\r\n"
                        "Could not be read,005,12,,,0000005.00,00/12/2009 10:00\r\n"));
}

void TestReportLayout::csvOfAgentReport() {
    AgentCollectionData data;
    data.rows = {{"001", 123456, kDec7}, {"O'Neil", 5, kDec8}, {"@A1", 7, kDec8}};
    QCOMPARE(agentCollectionCsv(data), QByteArray("AgentID,Collected Amount,Date\r\n"
                                                  "001,1234.56,2009-12-07\r\n"
                                                  "O'Neil,0.05,2009-12-08\r\n"
                                                  "'@A1,0.07,2009-12-08\r\n"));
    data.unreadable = {{"004", "77", "00001O2.00", "+7/12/2009 10:00"}};
    QVERIFY(agentCollectionCsv(data).endsWith(
        "'@A1,0.07,2009-12-08\r\n"
        "AgentID,,Collections that could not be read,Account No,Stored Amount,"
        "Stored Date and Time\r\n"
        "004,,Could not be read,77,00001O2.00,'+7/12/2009 10:00\r\n"));
}

void TestReportLayout::csvFieldsAreQuotedWhenNeeded_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");        // csvField: quoted when needed
    QTest::addColumn<QString>("outsideText");  // csvField(spreadsheetText): also never a formula
    struct Case {
        const char* name;
        const char* text;
        const char* field;
        const char* outsideText;
    };
    const Case cases[] = {
        {"plain", "plain text", "plain text", "plain text"},
        {"empty", "", "", ""},
        {"comma", "a,b", "\"a,b\"", "\"a,b\""},
        {"quotes", "say \"hi\"", "\"say \"\"hi\"\"\"", "\"say \"\"hi\"\"\""},
        {"line break", "two\nlines", "\"two\nlines\"", "\"two\nlines\""},
        {"apostrophe", "O'Neil", "O'Neil", "O'Neil"},
        {"equals", "=1+2", "=1+2", "'=1+2"},
        {"plus", "+91 12", "+91 12", "'+91 12"},
        {"minus", "-2+3", "-2+3", "'-2+3"},
        {"at", "@SUM(A1)", "@SUM(A1)", "'@SUM(A1)"},
        {"tab", "\t=1", "\t=1", "'\t=1"},
        {"carriage return", "\r=1", "\"\r=1\"", "\"'\r=1\""},
        {"formula with quotes and commas", "=HYPERLINK(\"http://x\",\"y\")",
         "\"=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"",
         "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
        {"not at the start", "a=b-c", "a=b-c", "a=b-c"},
    };
    for (const Case& c : cases) {
        QTest::newRow(c.name) << QString(c.text) << QString(c.field) << QString(c.outsideText);
    }
}

void TestReportLayout::csvFieldsAreQuotedWhenNeeded() {
    QFETCH(QString, text);
    QFETCH(QString, field);
    QFETCH(QString, outsideText);
    QCOMPARE(csvField(text), field);
    QCOMPARE(csvField(spreadsheetText(text)), outsideText);
}

void TestReportLayout::saveFileReplacesWholeOrNothing() {
    test::TempProgramFolder pf;
    const QString path = pf.filePath("rows.csv");
    QString error;
    QVERIFY2(saveFile(path, "first", &error), qPrintable(error));
    QVERIFY2(saveFile(path, "second", &error), qPrintable(error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("second"));
    QVERIFY(!saveFile(pf.filePath("no such folder/rows.csv"), "x", &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(pf.filePath("no such folder/rows.csv")));
}

QTEST_GUILESS_MAIN(TestReportLayout)
#include "tst_reportlayout.moc"
