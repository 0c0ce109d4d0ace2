#include "reports/ReportData.h"

#include "db/Database.h"
#include "db/RowInserter.h"
#include "db/Sql.h"
#include "reports/ReportSql.h"

#include <sqlite3.h>
#include <QByteArrayView>
#include <QHash>
#include <QSet>

#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <cmath>
#include <cstdlib>

namespace kovrin {

QString amountText(Hundredths amount) {
    const bool negative = amount < 0;
    // Work on the magnitude as unsigned so that the most negative value does not overflow.
    const quint64 magnitude =
        negative ? quint64(0) - static_cast<quint64>(amount) : static_cast<quint64>(amount);
    return QStringLiteral("%1%2.%3")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(magnitude / 100)
        .arg(static_cast<uint>(magnitude % 100), 2, 10, QLatin1Char('0'));
}

std::optional<Hundredths> hundredthsOf(const QVariant& number) {
    constexpr double kLargest = 1e13;  // in hundredths
    if (number.isNull()) {
        return std::nullopt;
    }
    bool ok = false;
    const double hundredths = number.toDouble(&ok) * 100.0;
    if (!ok || !std::isfinite(hundredths) || std::fabs(hundredths) >= kLargest) {
        return std::nullopt;
    }
    return std::llround(hundredths);
}

QString reportDateText(const QDate& date) {
    return QLocale::c().toString(date, QStringLiteral("dd/MMM/yyyy"));
}

QString ReportFilter::describe(ReportKind kind) const {
    QString text =
        from == to ? QStringLiteral("on %1").arg(reportDateText(from))
                   : QStringLiteral("from %1 to %2").arg(reportDateText(from), reportDateText(to));
    if (kind == ReportKind::UploadRegister && !agent.trimmed().isEmpty()) {
        text += QStringLiteral(" for agent %1").arg(agent.trimmed());
    } else if (kind == ReportKind::DailyCollection) {
        const QString a = agent.trimmed();
        const QString c = account.trimmed();
        if (!a.isEmpty() && !c.isEmpty()) {
            text += QStringLiteral(" for agent %1 and account %2").arg(a, c);
        } else if (!a.isEmpty()) {
            text += QStringLiteral(" for agent %1").arg(a);
        } else if (!c.isEmpty()) {
            text += QStringLiteral(" for account %1").arg(c);
        }
    }
    return text;
}

QString postingText(Posting p) {
    switch (p) {
        case Posting::Posted:
            break;
        case Posting::NotInDownload:
            return QStringLiteral("Not in download");
        case Posting::RepeatedNumber:
            return QStringLiteral("Repeated number");
    }
    return {};
}

bool CollectionRow::operator==(const CollectionRow& o) const {
    return AgentID == o.AgentID && AccountNo == o.AccountNo && ClosingAmt == o.ClosingAmt &&
           CollectedAmt == o.CollectedAmt && Date == o.Date && posting == o.posting;
}

bool UnreadableRow::operator==(const UnreadableRow& o) const {
    return AgentID == o.AgentID && AccountNo == o.AccountNo && Amtcollected == o.Amtcollected &&
           DateTime == o.DateTime;
}

bool AgentCollectionRow::operator==(const AgentCollectionRow& o) const {
    return AgentID == o.AgentID && CollectedAmt == o.CollectedAmt && Date == o.Date;
}

int DailyCollectionData::rowCount() const {
    int n = 0;
    for (const CollectionGroup& g : groups) {
        n += g.rows.size();
    }
    return n;
}

DailyCollectionData groupByDate(const QVector<CollectionRow>& rows) {
    DailyCollectionData data;
    for (const CollectionRow& r : rows) {
        if (data.groups.isEmpty() || data.groups.last().Date != r.Date) {
            data.groups.push_back(CollectionGroup{r.Date, {}, 0, {}});
        }
        CollectionGroup& g = data.groups.last();
        g.rows.push_back(r);
        g.total += r.CollectedAmt;
        g.notPosted.add(r);
        data.grandTotal += r.CollectedAmt;
        data.notPosted.add(r);
    }
    return data;
}

std::optional<Hundredths> RegisterRow::difference() const {
    if (!TerminalTotal) {
        return std::nullopt;
    }
    return StoredTotal - *TerminalTotal;
}

std::optional<int> RegisterRow::countDifference() const {
    if (!TerminalCount) {
        return std::nullopt;
    }
    return StoredCount - *TerminalCount;
}

void RegisterTotals::add(const RegisterRow& r) {
    if (r.superseded) {
        ++superseded;
        return;
    }
    ++uploads;
    if (r.TerminalCount && r.TerminalTotal) {
        terminalCount += *r.TerminalCount;
        terminalTotal += *r.TerminalTotal;
        storedCount += r.StoredCount;
        storedTotal += r.StoredTotal;
        difference += *r.difference();
    } else {
        ++withoutTotals;
        withoutTotalsCount += r.StoredCount;
        withoutTotalsStored += r.StoredTotal;
    }
}

bool RegisterTotals::operator==(const RegisterTotals& o) const {
    return uploads == o.uploads && terminalCount == o.terminalCount &&
           terminalTotal == o.terminalTotal && storedCount == o.storedCount &&
           storedTotal == o.storedTotal && difference == o.difference &&
           withoutTotals == o.withoutTotals && withoutTotalsCount == o.withoutTotalsCount &&
           withoutTotalsStored == o.withoutTotalsStored && superseded == o.superseded;
}

int RegisterData::rowCount() const {
    int n = 0;
    for (const RegisterGroup& g : groups) {
        n += g.rows.size();
    }
    return n;
}

using namespace report_sql;

namespace {

// The collections of Report1 that can be read, in a date range, in the order of the daily
// report (the order of the ledger's index: no sort); and those that cannot be read: by their
// date, or without one by their upload's day, so that each is listed in the reports of its
// day instead of silently falling out of them or turning up in every report. Only one of an
// upload of no known day at all (an older file's, without a key or a date) is listed whatever
// the range.
const char* const kReport1Rows =
    "SELECT AgentID, AccountNo, BranchID, ClosingPaise, CollectedPaise, Date, Posted, "
    "InDownload FROM Report1 "
    "WHERE Unreadable = 0 AND Date BETWEEN ? AND ?";
const char* const kUnreadableRows =
    "SELECT AgentID, AccountNo, BranchID, Amtcollected, DateTime FROM Report1 "
    "WHERE Unreadable = 1 AND (coalesce(Date, UploadDay) BETWEEN ?1 AND ?2 OR "
    "(Date IS NULL AND UploadDay IS NULL))";
const char* const kReport1Order =
    " ORDER BY Date, CAST(AgentID AS INTEGER), AgentID, CAST(AccountNo AS INTEGER), AccountNo, "
    "TransactionNumber, CollectedPaise";

}  // namespace

namespace report_sql {

bool finished(const Query& q, ReportStatus* status) {
    if (!q.error().isEmpty()) {
        fail(status, ReportStatus::Code::DatabaseError, q.error());
        return false;
    }
    return true;
}

// The collections that cannot be read, in report order; their branches into `branches`.
bool readUnreadable(const ReportConnection& conn, const QString& where, const QStringList& values,
                    QVector<UnreadableRow>* rows, QSet<QString>* branches, ReportStatus* status) {
    Query q(conn, QLatin1String(kUnreadableRows) + where + QLatin1String(kReport1Order), values);
    while (q.next()) {
        rows->push_back(UnreadableRow{q.text(0), q.text(1), q.text(3), q.text(4)});
        const QString branch = q.text(2);
        if (!branch.isEmpty()) {
            branches->insert(branch);
        }
    }
    return finished(q, status);
}

}  // namespace report_sql

namespace {

// Whether the reading was stopped; the status says so when it was.
bool stopped(const std::atomic<bool>* cancel, ReportStatus* status) {
    if (cancel && cancel->load(std::memory_order_relaxed)) {
        fail(status, ReportStatus::Code::Cancelled,
             QStringLiteral("the reading of the report was stopped"));
        return true;
    }
    return false;
}

// The report connection opened for a read that may be cancelled.
bool opened(const ReportConnection& conn, const std::atomic<bool>* cancel, ReportStatus* status) {
    if (!conn.isOpen()) {
        fail(status, ReportStatus::Code::DatabaseError, conn.error());
        return false;
    }
    if (cancel) {
        conn.giveUpWaitingWhen(*cancel);
    }
    return !stopped(cancel, status);
}

QStringList sorted(const QSet<QString>& set) {
    QStringList list(set.cbegin(), set.cend());
    list.sort();
    return list;
}

}  // namespace

DailyCollectionData ReportSource::dailyCollection(const ReportFilter& filter,
                                                  ReportStatus* status) const {
    if (status) {
        *status = {};
    }
    ReportConnection conn(m_path);
    if (!conn.isOpen()) {
        fail(status, ReportStatus::Code::DatabaseError, conn.error());
        return {};
    }
    QString where;
    QStringList values{isoText(filter.from), isoText(filter.to)};
    restrict("AgentID", filter.agent, &where, &values);
    restrict("AccountNo", filter.account, &where, &values);

    DailyCollectionData data;
    QSet<QString> branches;
    {
        // The number of collections of each day, from the ledger's day totals, so that each
        // day's rows are held in one block of the right size.
        QHash<QDate, qint64> perDay;
        if (filter.agent.trimmed().isEmpty() && filter.account.trimmed().isEmpty()) {
            Query days(conn,
                       QStringLiteral("SELECT Date, sum(Collections) FROM Report2 "
                                      "WHERE Date BETWEEN ? AND ? GROUP BY Date"),
                       {isoText(filter.from), isoText(filter.to)});
            while (days.next()) {
                perDay.insert(days.date(0), days.integer(1));
            }
            if (!finished(days, status)) {
                return {};
            }
        }
        Query q(conn, QLatin1String(kReport1Rows) + where + QLatin1String(kReport1Order), values);
        SharedText agent, account, branch;
        QByteArray lastBranch;
        QDate day;
        CollectionGroup* group = nullptr;
        while (q.next()) {
            const QDate date = q.date(5);
            if (!group || date != day) {
                day = date;
                data.groups.push_back(CollectionGroup{date, {}, 0, {}});
                group = &data.groups.last();
                group->rows.reserve(perDay.value(date));
            }
            CollectionRow r;
            r.AgentID = agent.get(q, 0);
            r.AccountNo = account.get(q, 1);
            const QString b = branch.get(q, 2);
            if (!b.isEmpty()) {
                branches.insert(b);
            }
            r.ClosingAmt = q.optionalInteger(3);
            r.CollectedAmt = q.integer(4);
            r.Date = date;
            if (q.integer(6) == 0) {
                r.posting = q.integer(7) == 0 ? Posting::NotInDownload : Posting::RepeatedNumber;
            }
            group->total += r.CollectedAmt;
            group->notPosted.add(r);
            data.grandTotal += r.CollectedAmt;
            data.notPosted.add(r);
            group->rows.push_back(std::move(r));
        }
        if (!finished(q, status)) {
            return {};
        }
    }
    if (!readUnreadable(conn, where, values, &data.unreadable, &branches, status)) {
        return {};
    }
    data.branchIds = sorted(branches);
    return data;
}

AgentCollectionData ReportSource::agentCollection(const ReportFilter& filter, ReportStatus* status,
                                                  const std::atomic<bool>* cancel) const {
    if (status) {
        *status = {};
    }
    ReportConnection conn(m_path);
    if (!opened(conn, cancel, status)) {
        return {};
    }
    const QStringList range{isoText(filter.from), isoText(filter.to)};
    AgentCollectionData data;
    QSet<QString> branches;
    {
        Query q(conn,
                QStringLiteral("SELECT AgentID, CollectedPaise, Date FROM Report2 "
                               "WHERE Date BETWEEN ? AND ? "
                               "ORDER BY Date, CAST(AgentID AS INTEGER), AgentID"),
                range);
        while (q.next()) {
            if (stopped(cancel, status)) {
                return {};
            }
            AgentCollectionRow r;
            r.AgentID = q.text(0);
            r.CollectedAmt = q.integer(1);
            r.Date = q.date(2);
            if (!r.Date.isValid() || std::llabs(r.CollectedAmt) >= 10000000000000LL) {
                // The ledger adds up amounts that could be read; only a sum beyond any real
                // day's collections gets here.
                fail(status, ReportStatus::Code::DatabaseError,
                     QStringLiteral("the total of agent %1 for %2 cannot be read")
                         .arg(r.AgentID, q.text(2)));
                return {};
            }
            data.rows.push_back(std::move(r));
        }
        if (stopped(cancel, status) || !finished(q, status)) {
            return {};
        }
    }
    {
        Query q(conn,
                QStringLiteral("SELECT DISTINCT BranchID FROM LedgerDay WHERE Superseded = 0 "
                               "AND Date BETWEEN ? AND ? AND BranchID <> ''"),
                range);
        while (q.next()) {
            branches.insert(q.text(0));
        }
        if (stopped(cancel, status) || !finished(q, status)) {
            return {};
        }
    }
    // The collections that are in no day's total.
    const bool read = readUnreadable(conn, {}, range, &data.unreadable, &branches, status);
    if (stopped(cancel, status) || !read) {
        return {};
    }
    data.branchIds = sorted(branches);
    return data;
}

RegisterData ReportSource::uploadRegister(const ReportFilter& filter, ReportStatus* status,
                                          const std::atomic<bool>* cancel) const {
    if (status) {
        *status = {};
    }
    ReportConnection conn(m_path);
    if (!opened(conn, cancel, status)) {
        return {};
    }
    QString sql = QStringLiteral(
        "SELECT UploadID, AgentID, AgentDateKey, Day, ReceivedAt, TerminalCount, TerminalTotal, "
        "StoredCount, StoredTotal, Outcome, Counted, BackupFile, UploadFile, CheckFile "
        "FROM Register WHERE Day BETWEEN ? AND ?");
    QStringList values{isoText(filter.from), isoText(filter.to)};
    restrict("AgentID", filter.agent, &sql, &values);
    sql += QStringLiteral(" ORDER BY Day, CAST(AgentID AS INTEGER), AgentID, UploadID");
    RegisterData data;
    Query q(conn, sql, values);
    while (q.next()) {
        if (stopped(cancel, status)) {
            return {};
        }
        RegisterRow r;
        r.UploadID = q.integer(0);
        r.AgentID = q.text(1);
        r.AgentDateKey = q.text(2);
        r.Day = q.date(3);
        r.ReceivedAt = QDateTime::fromString(q.text(4), Qt::ISODate);
        if (const auto c = q.optionalInteger(5)) {
            r.TerminalCount = int(*c);
        }
        r.TerminalTotal = q.optionalInteger(6);
        r.StoredCount = int(q.integer(7));
        r.StoredTotal = q.integer(8);
        r.Outcome = q.text(9);
        r.superseded = q.integer(10) == 0;
        r.BackupFile = q.text(11);
        r.UploadFile = q.text(12);
        r.CheckFile = q.text(13);
        if (data.groups.isEmpty() || data.groups.last().Day != r.Day) {
            data.groups.push_back(RegisterGroup{r.Day, {}, {}});
        }
        data.groups.last().totals.add(r);
        data.grandTotals.add(r);
        data.groups.last().rows.push_back(std::move(r));
    }
    if (stopped(cancel, status) || !finished(q, status)) {
        return {};
    }
    return data;
}

}  // namespace kovrin
