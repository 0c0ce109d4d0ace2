#pragma once

#include "reports/ReportData.h"

#include <QObject>
#include <QVector>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace kovrin {

// One date of the daily collection report as far as it has been read: where its rows begin
// among the report's rows, how many there are and their sums. The rows themselves are not kept.
struct DailyGroupInfo {
    QDate Date;
    qint64 firstRow = 0;
    qint64 rows = 0;
    Hundredths total = 0;
    NotPosted notPosted;
};

// What the reader knows of the report at one moment.
struct DailyReportState {
    bool headRead = false;  // the branches and the collections that could not be read
    bool walked = false;    // every row has been read once: the groups and sums are final
    bool cancelled = false;
    ReportStatus status;
    qint64 rows = 0;  // rows read so far
    QVector<DailyGroupInfo> groups;
    Hundredths grandTotal = 0;
    NotPosted notPosted;
    QVector<UnreadableRow> unreadable;
    QStringList branchIds;  // distinct, sorted

    bool failed() const { return status.code != ReportStatus::Code::Ok; }
    bool empty() const { return headRead && walked && rows == 0 && unreadable.isEmpty(); }
};

// The daily collection report (Report1) read off the program's thread, a page of rows at a
// time, on a read-only connection of its own: the first page is there as soon as it is read,
// the rest are read in order after it while the report is shown. Each page is one short read
// along the report's index, taken up where the page before ended (by the key of its last row,
// never by counting rows), so a store never waits for more than one page and the rows read
// never pile up: only the first pages and the pages asked for last are kept, the others are
// read again when asked for. The groups and sums are added up as the rows go by.
//
// Everything but the signals may be called from any thread; the signals come from the reader's
// thread (connections to objects of other threads are queued).
class DailyReportPager : public QObject {
    Q_OBJECT
public:
    struct Options {
        int pageRows = 256;    // rows of one read
        int cachedPages = 16;  // pages kept
    };

    DailyReportPager(QString databasePath, ReportFilter filter, Options options);
    DailyReportPager(QString databasePath, ReportFilter filter)
        : DailyReportPager(std::move(databasePath), std::move(filter), Options{}) {}
    // Stops the reading and waits for the reader's thread to end.
    ~DailyReportPager() override;
    DailyReportPager(const DailyReportPager&) = delete;
    DailyReportPager& operator=(const DailyReportPager&) = delete;

    const ReportFilter& filter() const { return m_filter; }
    int pageRows() const { return m_options.pageRows; }

    // Starts the reader's thread (once).
    void start();
    // Stops the reading between two pages; rows asked for afterwards are never given.
    void cancel();

    DailyReportState state() const;

    // Row `row` of the report when its page is at hand; otherwise asks for the page (pageRead
    // follows) and gives none.
    std::optional<CollectionRow> rowIfRead(qint64 row);
    // Whether rows first..end-1 are at hand; asks for the pages that are not.
    bool rowsAtHand(qint64 first, qint64 end);
    // The rows of page `page`, read for it if need be; waits at most `timeoutMs` (forever when
    // negative). None when the page does not exist, the reading failed, was cancelled or the
    // time ran out.
    std::optional<QVector<CollectionRow>> rowsOfPage(qint64 page, int timeoutMs = -1);
    // Waits until the head (branches, unreadable collections) and the first page are read, or
    // the reading has ended; false when the time ran out.
    bool waitForFirstPage(int timeoutMs);

    // Waits until more than `rows` rows are read, or the reading has ended; false when the
    // time ran out.
    bool waitForRowsBeyond(qint64 rows, int timeoutMs);

    // Pages read from the database so far (each read counts, the ones read again too).
    qint64 pagesRead() const { return m_pagesRead.load(); }

signals:
    // The head and the first page are read, or the reading ended before them.
    void firstPageRead();
    // More rows have been read (at most a few times a second).
    void progressed();
    // A page asked for is at hand.
    void pageRead(qint64 page);
    // Every row has been read once, or the reading failed or was cancelled.
    void finished();

private:
    // One value of a row's place in the report's order: a number or a text, either may be NULL.
    struct KeyValue {
        bool isText = false;
        std::optional<qint64> number;
        QString text;
    };
    // The place of a row in the report's order: the columns of the order and the row's id.
    using Key = std::array<KeyValue, 8>;
    struct Page {
        QVector<CollectionRow> rows;
        std::optional<Key> last;
    };
    class Reader;

    void run();
    void keep(qint64 page, QVector<CollectionRow> rows);  // under m_mutex
    bool firstPageKnown() const;                          // under m_mutex

    const QString m_path;
    const ReportFilter m_filter;
    const Options m_options;

    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<qint64> m_pagesRead{0};

    mutable std::mutex m_mutex;
    std::condition_variable m_work;   // the reader: a page is wanted, or stop
    std::condition_variable m_ready;  // the askers: a page is at hand, or the reading ended
    DailyReportState m_state;
    bool m_ended = false;                          // the reader's thread has nothing more to do
    std::vector<std::optional<Key>> m_pageStarts;  // the key before each page read once
    std::map<qint64, QVector<CollectionRow>> m_cache;
    std::deque<qint64> m_used;  // cached pages asked for, the oldest first
    std::set<qint64> m_wanted;
};

}  // namespace kovrin
