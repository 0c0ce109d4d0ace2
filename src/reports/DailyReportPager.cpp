#include "reports/DailyReportPager.h"

#include "reports/ReportSql.h"

#include <sqlite3.h>

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <chrono>
#include <memory>
#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace kovrin {

using namespace report_sql;

namespace {

// The report's order, the collection's id last so that no two rows have the same place.
const char* const kOrder[8] = {
    "Date",      "CAST(AgentID AS INTEGER)", "AgentID",        "CAST(AccountNo AS INTEGER)",
    "AccountNo", "TransactionNumber",        "CollectedPaise", "CollectionID"};

const char* const kRows =
    "SELECT AgentID, AccountNo, ClosingPaise, CollectedPaise, Date, Posted, InDownload, "
    "CAST(AgentID AS INTEGER), CAST(AccountNo AS INTEGER), TransactionNumber, CollectionID "
    "FROM Report1 WHERE Unreadable = 0 AND Date BETWEEN ? AND ?";

QString orderFrom(int first) {
    QStringList columns;
    for (int i = first; i < 8; ++i) {
        columns << QLatin1String(kOrder[i]);
    }
    return QStringLiteral(" ORDER BY ") + columns.join(QStringLiteral(", "));
}

// How often the reader tells how far it has come.
constexpr int kProgressMs = 100;

}  // namespace

// The reading itself, on the reader's thread only: the connection and its statements.
class DailyReportPager::Reader {
public:
    Reader(const QString& path, const ReportFilter& filter) : m_conn(path), m_filter(filter) {
        m_values = QStringList{isoText(filter.from), isoText(filter.to)};
        restrict("AgentID", filter.agent, &m_where, &m_values);
        restrict("AccountNo", filter.account, &m_where, &m_values);
    }

    bool open(const std::atomic<bool>& cancel, ReportStatus* status) const {
        if (!m_conn.isOpen()) {
            fail(status, ReportStatus::Code::DatabaseError, m_conn.error());
            return false;
        }
        m_conn.giveUpWaitingWhen(cancel);
        return true;
    }

    // The branches of the report's collections and those that cannot be read.
    bool head(QVector<UnreadableRow>* unreadable, QStringList* branchIds, ReportStatus* status) {
        QSet<QString> branches;
        if (!readUnreadable(m_conn, m_where, m_values, unreadable, &branches, status)) {
            return false;
        }
        // Without an account, from the ledger's day totals (one row per upload, agent, branch
        // and day), which hold the same branches as the collections they add up.
        QString sql;
        QStringList values{isoText(m_filter.from), isoText(m_filter.to)};
        if (m_filter.account.trimmed().isEmpty()) {
            sql = QStringLiteral(
                "SELECT DISTINCT BranchID FROM LedgerDay WHERE Superseded = 0 AND Collections > 0 "
                "AND Date BETWEEN ? AND ? AND BranchID <> ''");
            restrict("AgentID", m_filter.agent, &sql, &values);
        } else {
            sql = QStringLiteral(
                      "SELECT DISTINCT BranchID FROM Report1 WHERE Unreadable = 0 AND "
                      "Date BETWEEN ? AND ? AND BranchID <> ''") +
                  m_where;
            values = m_values;
        }
        Query q(m_conn, sql, values);
        while (q.next()) {
            branches.insert(q.text(0));
        }
        if (!report_sql::finished(q, status)) {
            return false;
        }
        *branchIds = QStringList(branches.cbegin(), branches.cend());
        branchIds->sort();
        return true;
    }

    // Up to `limit` rows after `after` (from the first when none), in the report's order. The
    // rows after a place are those with the same first k columns and a greater (k+1)th, for
    // k from 7 down to 0: each such read goes straight to its place in the report's index.
    bool read(const std::optional<Key>& after, int limit, const std::atomic<bool>& cancel,
              Page* page, ReportStatus* status) {
        page->rows.clear();
        page->rows.reserve(limit);
        page->last.reset();
        // The reads of one page in one read transaction of their own: a store waits for one
        // page at most, and the page is read as one state of the file.
        if (!exec("BEGIN", status)) {
            return false;
        }
        bool ok = true;
        if (!after) {
            ok = readLevel(-1, {}, limit, page, status);
        }
        for (int level = 7; after && ok && level >= 0 && page->rows.size() < limit; --level) {
            if (cancel.load()) {
                break;
            }
            ok = readLevel(level, *after, limit - int(page->rows.size()), page, status);
        }
        ReportStatus ended;
        exec("COMMIT", &ended);
        if (ok && !ended) {
            *status = ended;
            return false;
        }
        return ok;
    }

private:
    bool exec(const char* sql, ReportStatus* status) {
        char* message = nullptr;
        if (sqlite3_exec(m_conn.native(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
            fail(status, ReportStatus::Code::DatabaseError,
                 message ? QString::fromUtf8(message) : QStringLiteral("the read was refused"));
            sqlite3_free(message);
            return false;
        }
        return true;
    }

    // The statement of one kind of read, prepared the first time it is needed.
    template <typename Sql>
    NativeStatement& statement(int which, const Sql& sql) {
        auto it = m_statements.find(which);
        if (it == m_statements.end()) {
            it = m_statements
                     .emplace(which, std::make_unique<NativeStatement>(m_conn.native(), sql()))
                     .first;
        }
        return *it->second;
    }

    static void bindValue(NativeStatement& s, int i, const KeyValue& v) {
        if (v.isText) {
            s.bind(i, v.text);
        } else {
            s.bind(i, v.number);
        }
    }
    static bool isNull(const KeyValue& v) { return v.isText ? v.text.isNull() : !v.number; }

    // level -1: from the first row; otherwise the rows equal to `after` in its first `level`
    // columns and greater in the next one (NULL comes first in the order: after a NULL, every
    // value that is not NULL).
    bool readLevel(int level, const Key& after, int limit, Page* page, ReportStatus* status) {
        const bool afterNull = level >= 0 && isNull(after[size_t(level)]);
        const int which = (level + 1) * 2 + (afterNull ? 1 : 0);
        NativeStatement& q = statement(which, [&] {
            QString sql = QLatin1String(kRows) + m_where;
            for (int i = 0; i < level; ++i) {
                sql += QStringLiteral(" AND %1 IS ?").arg(QLatin1String(kOrder[i]));
            }
            if (level >= 0) {
                sql += afterNull
                           ? QStringLiteral(" AND %1 IS NOT NULL").arg(QLatin1String(kOrder[level]))
                           : QStringLiteral(" AND %1 > ?").arg(QLatin1String(kOrder[level]));
            }
            // The columns held equal need no ordering: leaving them out lets the engine read
            // the index in its order instead of sorting what it found.
            return sql + orderFrom(std::max(level, 0)) + QStringLiteral(" LIMIT ?");
        });
        int b = 1;
        for (const QString& v : m_values) {
            q.bind(b++, v);
        }
        for (int i = 0; i < level; ++i) {
            bindValue(q, b++, after[size_t(i)]);
        }
        if (level >= 0 && !afterNull) {
            bindValue(q, b++, after[size_t(level)]);
        }
        q.bind(b++, qint64(limit));
        // The columns of the order that are numbers: CAST(AgentID), CAST(AccountNo),
        // TransactionNumber, CollectedPaise, CollectionID.
        static constexpr int kNumberColumns[5] = {7, 8, 9, 3, 10};
        std::optional<qint64> numbers[5];
        QString lastDate;
        int read = 0;
        while (q.next()) {
            CollectionRow r;
            r.AgentID = m_agent.get(q, 0);
            r.AccountNo = m_account.get(q, 1);
            r.ClosingAmt = q.optionalInteger(2);
            r.CollectedAmt = q.integer(3);
            const QString dateText = m_date.get(q, 4);
            if (dateText != m_dateText) {
                m_dateText = dateText;
                m_day = dateOf(q.bytes(4));
            }
            r.Date = m_day;
            if (q.integer(5) == 0) {
                r.posting = q.integer(6) == 0 ? Posting::NotInDownload : Posting::RepeatedNumber;
            }
            lastDate = dateText;
            for (int i = 0; i < 5; ++i) {
                numbers[i] = q.optionalInteger(kNumberColumns[i]);
            }
            page->rows.push_back(std::move(r));
            ++read;
        }
        // The place of the last row read, to go on from.
        if (read > 0) {
            const CollectionRow& r = page->rows.last();
            page->last = Key{KeyValue{true, {}, lastDate},    KeyValue{false, numbers[0], {}},
                             KeyValue{true, {}, r.AgentID},   KeyValue{false, numbers[1], {}},
                             KeyValue{true, {}, r.AccountNo}, KeyValue{false, numbers[2], {}},
                             KeyValue{false, numbers[3], {}}, KeyValue{false, numbers[4], {}}};
        }
        const DbStatus st = q.status();
        // Done with it: the read ends here, so a store is never kept waiting between pages.
        q.reset();
        if (!st) {
            fail(status, ReportStatus::Code::DatabaseError, st.error);
            // A statement that failed is made again for the next read.
            m_statements.erase(which);
            return false;
        }
        return true;
    }

    static QDate dateOf(QByteArrayView b) {
        return b.size() == 10 ? QDate::fromString(QString::fromLatin1(b), Qt::ISODate) : QDate();
    }

    ReportConnection m_conn;
    ReportFilter m_filter;
    QString m_where;
    QStringList m_values;
    std::map<int, std::unique_ptr<NativeStatement>> m_statements;
    SharedText m_agent;
    SharedText m_account;
    SharedText m_date;
    QString m_dateText;
    QDate m_day;
};

DailyReportPager::DailyReportPager(QString databasePath, ReportFilter filter, Options options)
    : m_path(std::move(databasePath)), m_filter(std::move(filter)), m_options(options) {}

DailyReportPager::~DailyReportPager() {
    cancel();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void DailyReportPager::start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { run(); });
    }
}

void DailyReportPager::cancel() {
    m_cancel = true;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_state.walked) {
        m_state.cancelled = true;
    }
    m_work.notify_all();
    m_ready.notify_all();
}

DailyReportState DailyReportPager::state() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}

bool DailyReportPager::firstPageKnown() const {
    return m_ended || m_cancel.load() || (m_state.headRead && !m_pageStarts.empty());
}

bool DailyReportPager::waitForFirstPage(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_ready.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                            [this] { return firstPageKnown(); });
}

bool DailyReportPager::waitForRowsBeyond(qint64 rows, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_ready.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [&] {
        return m_state.rows > rows || m_state.walked || m_ended || m_cancel.load();
    });
}

void DailyReportPager::keep(qint64 page, QVector<CollectionRow> rows) {
    m_cache[page] = std::move(rows);
    m_used.erase(std::remove(m_used.begin(), m_used.end(), page), m_used.end());
    m_used.push_back(page);
    while (m_used.size() > size_t(std::max(m_options.cachedPages, 1))) {
        m_cache.erase(m_used.front());
        m_used.pop_front();
    }
}

std::optional<CollectionRow> DailyReportPager::rowIfRead(qint64 row) {
    if (row < 0) {
        return std::nullopt;
    }
    const qint64 page = row / m_options.pageRows;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_cache.find(page);
    if (it != m_cache.end()) {
        const qint64 at = row - page * m_options.pageRows;
        if (at < it->second.size()) {
            return it->second[at];
        }
        return std::nullopt;
    }
    if (!m_ended && !m_cancel.load() && m_wanted.insert(page).second) {
        m_work.notify_all();
    }
    return std::nullopt;
}

bool DailyReportPager::rowsAtHand(qint64 first, qint64 end) {
    if (first >= end) {
        return true;
    }
    bool all = true;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (qint64 page = first / m_options.pageRows; page <= (end - 1) / m_options.pageRows; ++page) {
        if (m_cache.count(page) == 0) {
            all = false;
            if (!m_ended && !m_cancel.load() && m_wanted.insert(page).second) {
                m_work.notify_all();
            }
        }
    }
    return all;
}

std::optional<QVector<CollectionRow>> DailyReportPager::rowsOfPage(qint64 page, int timeoutMs) {
    if (page < 0) {
        return std::nullopt;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        const auto it = m_cache.find(page);
        if (it != m_cache.end()) {
            return it->second;
        }
        if (m_ended || m_cancel.load() || m_state.failed() ||
            (m_state.walked && page >= qint64(m_pageStarts.size()))) {
            return std::nullopt;
        }
        if (m_wanted.insert(page).second) {
            m_work.notify_all();
        }
        if (timeoutMs < 0) {
            m_ready.wait(lock);
        } else if (m_ready.wait_until(lock, deadline) == std::cv_status::timeout) {
            return std::nullopt;
        }
    }
}

void DailyReportPager::run() {
#ifdef __linux__
    // Behind the program's thread when the processors are busy: the transfers it serves come
    // first, the report a little later.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
    Reader reader(m_path, m_filter);
    ReportStatus status;
    auto end = [&](const ReportStatus& st) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_state.status = st;
            m_ended = true;
            m_wanted.clear();
        }
        m_ready.notify_all();
        emit firstPageRead();
        emit finished();
    };
    if (!reader.open(m_cancel, &status)) {
        end(status);
        return;
    }
    {
        QVector<UnreadableRow> unreadable;
        QStringList branches;
        if (!reader.head(&unreadable, &branches, &status)) {
            end(status);
            return;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state.unreadable = std::move(unreadable);
        m_state.branchIds = std::move(branches);
        m_state.headRead = true;
    }

    std::optional<Key> walkFrom;
    bool walked = false;
    bool firstTold = false;
    QElapsedTimer sinceTold;
    sinceTold.start();
    Page page;
    while (!m_cancel.load()) {
        // A page asked for that has been read once is read again from its start; one further
        // on is kept when the walk gets there.
        qint64 want = -1;
        std::optional<Key> from;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            for (auto it = m_wanted.begin(); it != m_wanted.end();) {
                if (m_cache.count(*it) != 0 || (walked && *it >= qint64(m_pageStarts.size()))) {
                    it = m_wanted.erase(it);
                } else if (*it < qint64(m_pageStarts.size())) {
                    want = *it;
                    from = m_pageStarts[size_t(want)];
                    break;
                } else {
                    ++it;
                }
            }
            if (want < 0 && walked) {
                m_ready.notify_all();
                m_work.wait(lock, [this] {
                    if (m_cancel.load()) {
                        return true;
                    }
                    for (const qint64 p : m_wanted) {
                        if (m_cache.count(p) == 0 && p < qint64(m_pageStarts.size())) {
                            return true;
                        }
                    }
                    return false;
                });
                continue;
            }
        }
        if (want >= 0) {
            if (!reader.read(from, m_options.pageRows, m_cancel, &page, &status)) {
                end(status);
                return;
            }
            if (m_cancel.load()) {
                break;
            }
            ++m_pagesRead;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_wanted.erase(want);
                keep(want, std::move(page.rows));
            }
            m_ready.notify_all();
            emit pageRead(want);
            continue;
        }

        // The next page of the walk: its groups and sums added up, the page kept when it is
        // one of the first or was asked for.
        if (!reader.read(walkFrom, m_options.pageRows, m_cancel, &page, &status)) {
            end(status);
            return;
        }
        if (m_cancel.load()) {
            break;
        }
        ++m_pagesRead;
        walked = page.rows.size() < m_options.pageRows;
        bool asked = false;
        qint64 index = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            index = qint64(m_pageStarts.size());
            if (!page.rows.isEmpty() || index == 0) {
                m_pageStarts.push_back(walkFrom);
            }
            DailyReportState& s = m_state;
            for (const CollectionRow& r : page.rows) {
                if (s.groups.isEmpty() || s.groups.last().Date != r.Date) {
                    s.groups.push_back(DailyGroupInfo{r.Date, s.rows, 0, 0, {}});
                }
                DailyGroupInfo& g = s.groups.last();
                ++g.rows;
                g.total += r.CollectedAmt;
                g.notPosted.add(r);
                s.grandTotal += r.CollectedAmt;
                s.notPosted.add(r);
                ++s.rows;
            }
            s.walked = walked;
            asked = m_wanted.erase(index) > 0;
            if (index < m_options.cachedPages || asked) {
                keep(index, page.rows);
            }
        }
        walkFrom = page.last;
        m_ready.notify_all();
        if (!firstTold) {
            firstTold = true;
            emit firstPageRead();
        }
        if (asked) {
            emit pageRead(index);
        }
        if (walked || sinceTold.elapsed() >= kProgressMs) {
            sinceTold.restart();
            emit progressed();
        }
        if (walked) {
            emit finished();
        }
    }
    // Cancelled.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state.cancelled = !walked;
        m_ended = true;
        m_wanted.clear();
    }
    m_ready.notify_all();
    if (!walked) {
        emit finished();
    }
}

}  // namespace kovrin
