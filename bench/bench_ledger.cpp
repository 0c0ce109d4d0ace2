// The collection ledger at the size of a large branch: the report queries over a day of
// 70 000 and of 700 000 collections and over a month of 3 million, and the ledger's share of
// the store of a 14 000-transaction upload. The View of the daily report and the program's
// start on such files are in bench_ledgerscreens.cpp (they need a display).
#include "LedgerData.h"
#include "reports/ReportData.h"
#include "reports/WholeReportReader.h"

#include <benchmark/benchmark.h>
#include <time.h>
#include <QElapsedTimer>

namespace kovrin {

namespace {

void report1(benchmark::State& state, const bench::LedgerShape& shape, const QDate& from,
             const QDate& to, const QString& agent, const QString& account) {
    const ReportSource source(bench::ledgerDatabase(shape));
    const ReportFilter filter{from, to, agent, account};
    int rows = 0;
    for (auto _ : state) {
        ReportStatus st;
        const DailyCollectionData d = source.dailyCollection(filter, &st);
        if (!st) {
            state.SkipWithError(st.detail.toStdString().c_str());
            break;
        }
        rows = d.rowCount();
    }
    state.counters["rows"] = rows;
}

void report2(benchmark::State& state, const bench::LedgerShape& shape, const QDate& from,
             const QDate& to) {
    const ReportSource source(bench::ledgerDatabase(shape));
    const ReportFilter filter{from, to, {}, {}};
    int rows = 0;
    for (auto _ : state) {
        ReportStatus st;
        const AgentCollectionData d = source.agentCollection(filter, &st);
        if (!st) {
            state.SkipWithError(st.detail.toStdString().c_str());
            break;
        }
        rows = int(d.rows.size());
    }
    state.counters["rows"] = rows;
}

// The processor time of the calling thread, in milliseconds.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Report2 or the upload register of the month, read on the calling thread (reader:0, as View
// did on the program's thread) or by their own reader while the calling thread waits
// (reader:1, as View does now): the time to the report, and the calling thread's processor
// time, the program's thread's share of it.
void wholeReportOfMonth(benchmark::State& state, ReportKind kind) {
    const bool ownReader = state.range(0) != 0;
    const QString path = bench::ledgerDatabase(bench::kMonth3m);
    const ReportFilter filter{bench::ledgerFirstDay(), bench::ledgerFirstDay().addDays(29), {}, {}};
    int rows = 0;
    double cpuMs = 0;
    for (auto _ : state) {
        const double cpuBefore = threadCpuMs();
        ReportStatus st;
        if (ownReader) {
            WholeReportReader reader(path, kind, filter);
            reader.start();
            reader.wait(600000);
            st = reader.status();
            if (const auto agents = reader.agents()) {
                rows = int(agents->rows.size());
            } else if (const auto uploads = reader.uploads()) {
                rows = uploads->rowCount();
            }
        } else if (kind == ReportKind::AgentCollection) {
            rows = int(ReportSource(path).agentCollection(filter, &st).rows.size());
        } else {
            rows = ReportSource(path).uploadRegister(filter, &st).rowCount();
        }
        cpuMs += threadCpuMs() - cpuBefore;
        if (!st) {
            state.SkipWithError(st.detail.toStdString().c_str());
            break;
        }
    }
    state.counters["rows"] = rows;
    state.counters["callerCpuMs"] =
        cpuMs / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

const bench::LedgerShape& dayShape(benchmark::State& state) {
    return state.range(0) == 70000 ? bench::kDay70k : bench::kDay700k;
}

// Report1 of the whole day: every collection read, in report order.
void BM_LedgerReport1Day(benchmark::State& state) {
    const QDate day = bench::ledgerFirstDay();
    report1(state, dayShape(state), day, day, {}, {});
    state.SetComplexityN(state.range(0));
}

// Report1 of one agent's account on that day: the filter's index, whatever the day's size.
void BM_LedgerReport1Account(benchmark::State& state) {
    const QDate day = bench::ledgerFirstDay();
    report1(state, dayShape(state), day, day, QStringLiteral("3"),
            QString::number(100000 + 2 * 10000 + 1500));
}

// Report1 of one agent for the day.
void BM_LedgerReport1Agent(benchmark::State& state) {
    const QDate day = bench::ledgerFirstDay();
    report1(state, dayShape(state), day, day, QStringLiteral("3"), {});
}

void BM_LedgerReport2Day(benchmark::State& state) {
    const QDate day = bench::ledgerFirstDay();
    report2(state, dayShape(state), day, day);
}

void BM_LedgerReport2Month(benchmark::State& state) {
    wholeReportOfMonth(state, ReportKind::AgentCollection);
}

void BM_LedgerRegisterMonth(benchmark::State& state) {
    wholeReportOfMonth(state, ReportKind::UploadRegister);
}

void BM_LedgerReport1AgentDayOfMonth(benchmark::State& state) {
    const QDate day = bench::ledgerFirstDay().addDays(17);
    report1(state, bench::kMonth3m, day, day, QStringLiteral("27"), {});
}

// The ledger's share of the store of one upload of 14 000 collections, into a ledger of a day
// of 700 000: the rows built, inserted with their indexes and the day totals, in the store's
// transaction (rolled back after each run so that the file stays as it is). A second upload
// of the same agent and day also marks the first one's 14 000 collections superseded.
void BM_LedgerAppend(benchmark::State& state) {
    const bool again = state.range(0) != 0;
    QString error;
    auto db = Database::open(bench::ledgerDatabase(bench::kDay700k), &error);
    if (!db) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    const QDate day = bench::ledgerFirstDay().addDays(again ? 0 : 1);
    const QVector<RestoreDataRow> rows = bench::ledgerUploadRows(bench::kDay700k, 4, day);
    const LedgerHeader h{bench::agentText(4),
                         bench::agentText(4) + day.toString("ddMM"),
                         14000,
                         -1,
                         QDateTime(day, QTime(19, 0)),
                         {}};
    for (auto _ : state) {
        QElapsedTimer t;
        db->inTransaction([&]() -> DbStatus {
            t.start();
            const DbStatus st = LedgerStore(*db).append(h, rows);
            state.SetIterationTime(t.nsecsElapsed() / 1e9);
            return st ? DbStatus::failure(QStringLiteral("rolled back")) : st;
        });
    }
    state.counters["rows"] = rows.size();
}

}  // namespace

BENCHMARK(BM_LedgerReport1Day)
    ->Arg(70000)
    ->Arg(700000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_LedgerReport1Agent)->Arg(70000)->Arg(700000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LedgerReport1Account)->Arg(70000)->Arg(700000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LedgerReport2Day)->Arg(70000)->Arg(700000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LedgerReport2Month)->ArgName("reader")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LedgerRegisterMonth)->ArgName("reader")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LedgerReport1AgentDayOfMonth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LedgerAppend)
    ->ArgName("again")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);

}  // namespace kovrin
