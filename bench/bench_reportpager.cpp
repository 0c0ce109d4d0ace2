// The daily collection report read by its reader off the program's thread, on the ledgers of a
// large branch: the first page of a month of 3 million collections and the memory the whole
// read takes, beside the same report read whole on the program's thread; and the store of an
// upload of 14 000 collections while the whole report of a day of 700 000 is read.
#include "LedgerData.h"
#include "db/Database.h"
#include "db/LedgerStore.h"
#include "reports/DailyReportPager.h"
#include "reports/ReportLayout.h"

#include <benchmark/benchmark.h>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

namespace kovrin {

namespace {

// The resident memory of this process now, in megabytes.
double residentMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return -1;
}

// Report1 of the whole month: paged 0 reads it whole on this thread, as View did before;
// paged 1 starts the reader and waits for its first page laid out (the time), then for the
// rest read and laid out (all_rows_s). The memory it takes over what the process held before.
void BM_LedgerReport1MonthFirstPage(benchmark::State& state) {
    const bool paged = state.range(0) != 0;
    const QString path = bench::ledgerDatabase(bench::kMonth3m);
    const ReportFilter filter{bench::ledgerFirstDay(), bench::ledgerFirstDay().addDays(29), {}, {}};
    const ReportHeading heading{QStringLiteral("Bank"), QStringLiteral("BR001"), filter.from,
                                filter.to};
    double growth = 0;
    double allRows = 0;
    qint64 rows = 0;
    for (auto _ : state) {
        const double before = residentMb();
        bench::resetPeakMemory();
        QElapsedTimer t;
        t.start();
        if (paged) {
            auto pager = std::make_shared<DailyReportPager>(path, filter);
            pager->start();
            pager->waitForFirstPage(600000);
            auto report = pagedDailyCollection(pager, heading);
            report->layOutPage(0);
            report->page(0);
            state.SetIterationTime(t.nsecsElapsed() / 1e9);
            report->layOutAll();
            allRows = t.nsecsElapsed() / 1e9;
            rows = pager->state().rows;
            if (pager->state().failed()) {
                state.SkipWithError(pager->state().status.detail.toStdString().c_str());
                return;
            }
        } else {
            ReportStatus st;
            auto data = std::make_shared<DailyCollectionData>(
                ReportSource(path).dailyCollection(filter, &st));
            auto report = pagedDailyCollection(data, heading);
            report->layOutPage(0);
            report->page(0);
            state.SetIterationTime(t.nsecsElapsed() / 1e9);
            report->layOutAll();
            allRows = t.nsecsElapsed() / 1e9;
            rows = data->rowCount();
            if (!st) {
                state.SkipWithError(st.detail.toStdString().c_str());
                return;
            }
        }
        growth = std::max(growth, bench::peakMemoryMb() - before);
    }
    state.counters["peak_growth_MB"] = growth;
    state.counters["all_rows_s"] = allRows;
    state.counters["rows"] = double(rows);
}

// The store of one upload of 14 000 collections (the ledger's rows, committed) into a copy of
// the day of 700 000: alone (reading 0), and while the reader reads that day's whole report
// (reading 1), started just before. A store the reader made fail would stop the benchmark.
void BM_LedgerStoreWhileReport1Reads(benchmark::State& state) {
    const bool reading = state.range(0) != 0;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("HandHeldData.mdb"));
    if (!QFile::copy(bench::ledgerDatabase(bench::kDay700k), path)) {
        state.SkipWithError("the ledger could not be copied");
        return;
    }
    QString error;
    auto db = Database::open(path, &error);
    if (!db) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    const ReportFilter filter{bench::ledgerFirstDay(), bench::ledgerFirstDay(), {}, {}};
    int day = 0;
    int readDuring = 0;
    for (auto _ : state) {
        // A day of its own for every run: nothing superseded, the same work each time.
        const QDate d = bench::ledgerFirstDay().addDays(++day);
        const QVector<RestoreDataRow> rows = bench::ledgerUploadRows(bench::kDay700k, 7, d);
        const LedgerHeader h{bench::agentText(7),
                             bench::agentText(7) + d.toString("ddMM"),
                             14000,
                             -1,
                             QDateTime(d, QTime(19, 0)),
                             {}};
        std::unique_ptr<DailyReportPager> pager;
        if (reading) {
            pager = std::make_unique<DailyReportPager>(path, filter);
            pager->start();
            pager->waitForFirstPage(60000);
        }
        QElapsedTimer t;
        t.start();
        const DbStatus st = db->inTransaction([&] { return LedgerStore(*db).append(h, rows); });
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        if (!st) {
            state.SkipWithError(st.error.toStdString().c_str());
            return;
        }
        if (pager) {
            readDuring += pager->state().walked ? 0 : 1;
        }
    }
    state.counters["reader_still_reading"] = readDuring;
}

}  // namespace

BENCHMARK(BM_LedgerReport1MonthFirstPage)
    ->ArgName("paged")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_LedgerStoreWhileReport1Reads)
    ->ArgName("reading")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5)
    ->Repetitions(3);

}  // namespace kovrin
