#include "reports/ReportData.h"

#include "db/Sql.h"

#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <cmath>

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
    if (kind == ReportKind::DailyCollection) {
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

bool CollectionRow::operator==(const CollectionRow& o) const {
    return AgentID == o.AgentID && AccountNo == o.AccountNo && ClosingAmt == o.ClosingAmt &&
           CollectedAmt == o.CollectedAmt && Date == o.Date;
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
            data.groups.push_back(CollectionGroup{r.Date, {}, 0});
        }
        CollectionGroup& g = data.groups.last();
        g.rows.push_back(r);
        g.total += r.CollectedAmt;
        data.grandTotal += r.CollectedAmt;
    }
    return data;
}

namespace {

QString errorText(const QSqlError& e) {
    const QString t = sqlReason(e).trimmed();
    return t.isEmpty() ? QStringLiteral("unknown database error") : t;
}

// The report connection: opened read-only on the database file for one read, closed and
// removed when the read is over.
class ReportConnection {
public:
    explicit ReportConnection(const QString& path) {
        static std::atomic<int> counter{0};
        m_name = QStringLiteral("kovrin-report-%1").arg(++counter);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=3000"));
        if (!db.open()) {
            m_error = errorText(db.lastError());
        }
    }
    ~ReportConnection() {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    ReportConnection(const ReportConnection&) = delete;
    ReportConnection& operator=(const ReportConnection&) = delete;

    bool isOpen() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
    QString m_error;
};

QString isoText(const QDate& d) {
    return d.toString(Qt::ISODate);
}

bool onlyDigits(const QString& s) {
    if (s.isEmpty()) {
        return false;
    }
    for (const QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

QString withoutLeadingZeros(const QString& digits) {
    int i = 0;
    while (i < digits.size() && digits.at(i) == QLatin1Char('0')) {
        ++i;
    }
    return digits.mid(i);
}

void fail(ReportStatus* status, ReportStatus::Code code, const QString& detail) {
    if (status) {
        *status = ReportStatus{code, detail};
    }
}

// Restricts a trimmed column of Report1 to what the operator typed: a text made only of digits
// is compared as a number (leading zeros and blanks ignored, so "1" finds "001"), any other
// text exactly, without its surrounding blanks. `column` is one of the program's own names.
void restrict(const char* column, const QString& typed, QString* sql, QVariantList* values) {
    const QString t = typed.trimmed();
    const QLatin1String c(column);
    if (onlyDigits(t)) {
        *sql += QStringLiteral(" AND %1 <> '' AND %1 NOT GLOB '*[^0-9]*' AND ltrim(%1, '0') = ?")
                    .arg(c);
        *values << withoutLeadingZeros(t);
    } else if (!t.isEmpty()) {
        *sql += QStringLiteral(" AND %1 = ?").arg(c);
        *values << t;
    }
}

// The rows of Report1 in a date range; rows whose date cannot be read are taken whatever the
// range, so that they are listed instead of silently falling out of it.
const char* const kReport1Rows =
    "SELECT AgentID, AccountNo, BranchID, ClosingAmt, CollectedAmt, Date, Amtcollected, "
    "DateTime FROM Report1 WHERE (Date IS NULL OR Date BETWEEN ? AND ?)";
const char* const kReport1Order =
    " ORDER BY Date, CAST(AgentID AS INTEGER), AgentID, CAST(AccountNo AS INTEGER), AccountNo, "
    "TransactionNumber, CollectedAmt";

bool run(QSqlQuery& q, const QString& sql, const QVariantList& values, ReportStatus* status) {
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : values) {
        q.addBindValue(v);
    }
    if (!q.exec()) {
        fail(status, ReportStatus::Code::DatabaseError, errorText(q.lastError()));
        return false;
    }
    return true;
}

bool finished(const QSqlQuery& q, ReportStatus* status) {
    if (q.lastError().isValid()) {
        fail(status, ReportStatus::Code::DatabaseError, errorText(q.lastError()));
        return false;
    }
    return true;
}

void addBranch(QStringList* branches, const QString& branch) {
    if (!branch.isEmpty() && !branches->contains(branch)) {
        branches->push_back(branch);
    }
}

// Reads the rows of a kReport1Rows query: those whose amount and date can be read into `rows`,
// the others into `unreadable`, and the branch of each into `branches` when it is given.
void readReport1(QSqlQuery& q, QVector<CollectionRow>* rows, QVector<UnreadableRow>* unreadable,
                 QStringList* branches) {
    while (q.next()) {
        CollectionRow r;
        r.AgentID = q.value(0).toString();
        r.AccountNo = q.value(1).toString();
        if (branches) {
            addBranch(branches, q.value(2).toString());
        }
        // None: a balance the upload did not know, or one that could not be read.
        r.ClosingAmt = hundredthsOf(q.value(3));
        const std::optional<Hundredths> collected = hundredthsOf(q.value(4));
        r.Date = QDate::fromString(q.value(5).toString(), Qt::ISODate);
        if (!collected || !r.Date.isValid()) {
            unreadable->push_back(UnreadableRow{r.AgentID, r.AccountNo, q.value(6).toString(),
                                                q.value(7).toString()});
            continue;
        }
        r.CollectedAmt = *collected;
        rows->push_back(std::move(r));
    }
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
    QString sql = QLatin1String(kReport1Rows);
    QVariantList values{isoText(filter.from), isoText(filter.to)};
    restrict("AgentID", filter.agent, &sql, &values);
    restrict("AccountNo", filter.account, &sql, &values);
    sql += QLatin1String(kReport1Order);

    QVector<CollectionRow> rows;
    QVector<UnreadableRow> unreadable;
    QStringList branches;
    {
        QSqlQuery q(conn.db());
        if (!run(q, sql, values, status)) {
            return {};
        }
        readReport1(q, &rows, &unreadable, &branches);
        if (!finished(q, status)) {
            return {};
        }
    }
    DailyCollectionData data = groupByDate(rows);
    data.unreadable = std::move(unreadable);
    branches.sort();
    data.branchIds = std::move(branches);
    return data;
}

AgentCollectionData ReportSource::agentCollection(const ReportFilter& filter,
                                                  ReportStatus* status) const {
    if (status) {
        *status = {};
    }
    ReportConnection conn(m_path);
    if (!conn.isOpen()) {
        fail(status, ReportStatus::Code::DatabaseError, conn.error());
        return {};
    }
    const QVariantList range{isoText(filter.from), isoText(filter.to)};
    AgentCollectionData data;
    {
        QSqlQuery q(conn.db());
        if (!run(q,
                 QStringLiteral("SELECT AgentID, CollectedAmt, Date FROM Report2 "
                                "WHERE Date BETWEEN ? AND ? "
                                "ORDER BY Date, CAST(AgentID AS INTEGER), AgentID"),
                 range, status)) {
            return {};
        }
        while (q.next()) {
            AgentCollectionRow r;
            r.AgentID = q.value(0).toString();
            const std::optional<Hundredths> collected = hundredthsOf(q.value(1));
            r.Date = QDate::fromString(q.value(2).toString(), Qt::ISODate);
            if (!collected || !r.Date.isValid()) {
                // Report2 adds up amounts that could be read; only a sum beyond any real day's
                // collections gets here.
                fail(status, ReportStatus::Code::DatabaseError,
                     QStringLiteral("the total of agent %1 for %2 cannot be read")
                         .arg(r.AgentID, q.value(2).toString()));
                return {};
            }
            r.CollectedAmt = *collected;
            data.rows.push_back(std::move(r));
        }
        if (!finished(q, status)) {
            return {};
        }
    }
    {
        // The collections that are in no day's total.
        QSqlQuery q(conn.db());
        if (!run(q,
                 QLatin1String(kReport1Rows) +
                     QStringLiteral(" AND (CollectedAmt IS NULL OR Date IS NULL)") +
                     QLatin1String(kReport1Order),
                 range, status)) {
            return {};
        }
        QVector<CollectionRow> none;
        readReport1(q, &none, &data.unreadable, nullptr);
        if (!finished(q, status)) {
            return {};
        }
    }
    {
        QSqlQuery q(conn.db());
        if (!run(q,
                 QStringLiteral("SELECT DISTINCT BranchID FROM Report1 "
                                "WHERE (Date IS NULL OR Date BETWEEN ? AND ?) AND BranchID <> ''"),
                 range, status)) {
            return {};
        }
        while (q.next()) {
            addBranch(&data.branchIds, q.value(0).toString());
        }
        if (!finished(q, status)) {
            return {};
        }
    }
    data.branchIds.sort();
    return data;
}

}  // namespace kovrin
