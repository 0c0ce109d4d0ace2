// The Transfer Station driving several terminals at once: each simulated terminal on its own
// pseudo-terminal and its own thread, pacing its answers at 19200 baud, as eight terminals on
// a USB serial hub would. The same run with one terminal gives the time of one transfer
// alone; the PC's share is the CPU time of the program's one thread over the run.
#include "BenchData.h"
#include "LedgerData.h"
#include "RunUntil.h"
#include "SimThread.h"
#include "UploadData.h"
#include "core/OperatorLog.h"
#include "link/TransferLog.h"
#include "reports/DailyReportPager.h"
#include "reports/ReportLayout.h"
#include "station/Station.h"

#include <benchmark/benchmark.h>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using namespace kovrin;

namespace {

QByteArray agentDigits(int agent) {
    return QByteArray::number(agent).rightJustified(3, '0');
}

// Agent `agent`'s download file: the benchmark file with the agent's number in columns
// 124-126 of every record.
QByteArray downloadFileOf(int agent, int accounts) {
    QByteArray f = bench::downloadFile(accounts);
    for (int i = 0; i < accounts; ++i) {
        f.replace(qsizetype(i) * 176 + 123, 3, agentDigits(agent));
    }
    return f;
}

QString agentIdOf(int agent) {
    return QString::fromLatin1(agentDigits(agent)).leftJustified(15);
}

// Agent `agent`'s day: the benchmark's collections (seven a frame), with the agent's id and key.
QVector<QByteArray> collectionFramesOf(int agent, int frames) {
    QVector<QByteArray> out = bench::collectionFrames(frames);
    out[0] = sim::buildCountFrame(frames, agentIdOf(agent)).frame;
    const link::HeaderInfo h = link::DecodeThirdProtocol(out[1]);
    out[1] = sim::buildDayHeaderFrame(QString::fromLatin1(agentDigits(agent)) + "0325",
                                      h.TotalTransactions, h.totalAmount)
                 .frame;
    return out;
}

void stationPaced(benchmark::State& state, StationDirection direction) {
    const int terminals = int(state.range(0));
    const int n = int(state.range(1));
    const bool download = direction == StationDirection::Download;
    double cpuMs = 0;
    double wallMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bench::BenchFolder folder;
        bench::QuietMessages messages;
        OperatorLog operatorLog(QDir(folder.path()).filePath(QStringLiteral("operator.log")));
        link::TransferLog log(folder.path());
        QDir(folder.path()).mkpath(QStringLiteral("ports"));
        std::vector<std::unique_ptr<bench::SimThread>> sims;
        QMap<int, StationEntries> entries;
        for (int port = 1; port <= terminals; ++port) {
            const int agent = port;
            sim::TerminalConfig config;
            config.mode = download ? sim::Mode::Download : sim::Mode::Upload;
            config.paced = true;
            sims.push_back(std::make_unique<bench::SimThread>(
                config, download ? QVector<QByteArray>() : collectionFramesOf(agent, n)));
            if (!sims.back()->open()) {
                state.SkipWithError(sims.back()->error().toStdString().c_str());
                return;
            }
            QFile::link(sims.back()->devicePath(),
                        QDir(folder.path()).filePath(QStringLiteral("ports/com%1").arg(port)));
            if (download) {
                bench::writeFile(QDir(folder.bankFolder())
                                     .filePath(QString::fromLatin1(agentDigits(agent)) +
                                               QStringLiteral("2503d.txt")),
                                 downloadFileOf(agent, n));
                entries.insert(port, {QString::number(agent), QStringLiteral("2503"),
                                      QStringLiteral("3"), direction});
            } else {
                QVector<BankDataRow> accounts = bench::downloadedAccounts(n);
                for (BankDataRow& r : accounts) {
                    r.AgentID = agentIdOf(agent);
                }
                BankDataStore(*folder.db).replaceAgentRows(agentIdOf(agent), accounts);
                entries.insert(port, {QString::number(agent), {}, {}, direction});
            }
        }
        Station station(StationServices{*folder.db, folder.settings, ProgramFolder(folder.path()),
                                        log, operatorLog, Clock::system()});
        state.ResumeTiming();

        QElapsedTimer wall;
        wall.start();
        const double cpu0 = bench::threadCpuMs();
        station.startAll(entries);
        const auto ended = [&] {
            for (int port = 1; port <= terminals; ++port) {
                if (station.row(port).isBusy()) {
                    return false;
                }
            }
            return true;
        };
        const bool finished = bench::runUntil(ended, 900000);
        cpuMs += bench::threadCpuMs() - cpu0;
        wallMs += double(wall.elapsed());

        state.PauseTiming();
        for (auto& s : sims) {
            s->finish();
        }
        for (int port = 1; port <= terminals; ++port) {
            const StationRow& r = station.row(port);
            const bool whole =
                download ? sims[port - 1]->accountsReceived() == n : sims[port - 1]->endReceived();
            if (!finished || r.state() != RowState::Completed || !whole) {
                state.SkipWithError(QStringLiteral("port %1 did not complete: %2")
                                        .arg(port)
                                        .arg(r.lastMessage())
                                        .toStdString()
                                        .c_str());
                return;
            }
        }
        state.ResumeTiming();
    }
    state.counters["wall_ms"] = benchmark::Counter(wallMs, benchmark::Counter::kAvgIterations);
    state.counters["pc_cpu_ms"] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
    state.counters["pc_share_pct"] = benchmark::Counter(wallMs > 0 ? 100.0 * cpuMs / wallMs : 0);
}

// Downloads of `accounts` accounts to `terminals` terminals at once.
void BM_StationDownloadsPaced(benchmark::State& state) {
    stationPaced(state, StationDirection::Download);
}

// Uploads of `frames` transaction frames (seven collections each) from `terminals` terminals
// at once, with their stores and files.
void BM_StationUploadsPaced(benchmark::State& state) {
    stationPaced(state, StationDirection::Upload);
}

// Four paced downloads of 2000 accounts running on the station while the daily collection
// report of a day of 700 000 collections is opened on the program's thread: read whole there
// (paged 0, as the report was read before) or by its reader on a thread of its own (paged 1,
// the first page laid out, then the rest while the event loop runs). Measured while the report
// opens and reads: the longest wait between two frames of any of the four transfers, and the
// longest the program's event loop did not turn. paged 2 opens no report: the waits the
// machine makes anyway.
void BM_StationDownloadsPacedWhileReport1Opens(benchmark::State& state) {
    const int mode = int(state.range(0));
    const bool paged = mode == 1;
    constexpr int kTerminals = 4;
    constexpr int kAccounts = 2000;
    const QString ledger = bench::ledgerDatabase(bench::kDay700k);
    double longestFrameGapMs = 0;
    double longestStallMs = 0;
    double openMs = 0;
    for (auto _ : state) {
        bench::BenchFolder folder;
        bench::QuietMessages messages;
        OperatorLog operatorLog(QDir(folder.path()).filePath(QStringLiteral("operator.log")));
        link::TransferLog log(folder.path());
        QDir(folder.path()).mkpath(QStringLiteral("ports"));
        std::vector<std::unique_ptr<bench::SimThread>> sims;
        QMap<int, StationEntries> entries;
        for (int port = 1; port <= kTerminals; ++port) {
            sim::TerminalConfig config;
            config.mode = sim::Mode::Download;
            config.paced = true;
            sims.push_back(std::make_unique<bench::SimThread>(config));
            if (!sims.back()->open()) {
                state.SkipWithError(sims.back()->error().toStdString().c_str());
                return;
            }
            QFile::link(sims.back()->devicePath(),
                        QDir(folder.path()).filePath(QStringLiteral("ports/com%1").arg(port)));
            bench::writeFile(
                QDir(folder.bankFolder())
                    .filePath(QString::fromLatin1(agentDigits(port)) + QStringLiteral("2503d.txt")),
                downloadFileOf(port, kAccounts));
            entries.insert(port, {QString::number(port), QStringLiteral("2503"),
                                  QStringLiteral("3"), StationDirection::Download});
        }
        Station station(StationServices{*folder.db, folder.settings, ProgramFolder(folder.path()),
                                        log, operatorLog, Clock::system()});
        station.startAll(entries);
        // The transfers under way before the report is opened.
        bench::runUntil([&] { return sims[0]->framesReceived() > 50; }, 30000);

        // The frames the terminals receive, watched from a thread of their own.
        std::atomic<bool> watching{true};
        std::atomic<qint64> gapNs{0};
        std::thread watcher([&] {
            QElapsedTimer clock;
            clock.start();
            std::vector<int> frames(kTerminals, -1);
            std::vector<qint64> since(kTerminals, 0);
            while (watching.load()) {
                const qint64 now = clock.nsecsElapsed();
                for (int i = 0; i < kTerminals; ++i) {
                    const int f = sims[size_t(i)]->framesReceived();
                    if (f != frames[size_t(i)]) {
                        if (frames[size_t(i)] >= 0) {
                            gapNs = std::max(gapNs.load(), now - since[size_t(i)]);
                        }
                        frames[size_t(i)] = f;
                        since[size_t(i)] = now;
                    }
                }
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
        // The event loop's turns, every 5 ms.
        QElapsedTimer turns;
        turns.start();
        qint64 lastTurn = 0;
        qint64 stallNs = 0;
        QTimer tick;
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = turns.nsecsElapsed();
            stallNs = std::max(stallNs, now - lastTurn);
            lastTurn = now;
        });
        tick.start();
        QCoreApplication::processEvents();

        const ReportFilter filter{bench::ledgerFirstDay(), bench::ledgerFirstDay(), {}, {}};
        const ReportHeading heading{QStringLiteral("Bank"), QStringLiteral("BR001"), filter.from,
                                    filter.to};
        QElapsedTimer open;
        open.start();
        lastTurn = turns.nsecsElapsed();
        if (mode == 2) {
            // No report: the waits the machine itself makes, over as long as a paged read.
            bench::runUntil([] { return false; }, 3000);
        } else if (paged) {
            auto pager = std::make_shared<DailyReportPager>(ledger, filter);
            pager->start();
            bench::runUntil([&] { return pager->waitForFirstPage(0); }, 60000);
            auto report = pagedDailyCollection(pager, heading);
            report->layOutPage(0);
            openMs += open.nsecsElapsed() / 1e6;
            // The rest read and laid out while the program goes on, as the preview does.
            QTimer more;
            more.setInterval(0);
            QObject::connect(&more, &QTimer::timeout, [&] {
                const int before = report->pageCount();
                report->layOut(2000);
                more.setInterval(report->pageCount() == before ? 10 : 0);
            });
            more.start();
            bench::runUntil([&] { return report->complete(); }, 120000);
        } else {
            ReportStatus st;
            auto data = std::make_shared<DailyCollectionData>(
                ReportSource(ledger).dailyCollection(filter, &st));
            auto report = pagedDailyCollection(data, heading);
            report->layOutPage(0);
            openMs += open.nsecsElapsed() / 1e6;
            QCoreApplication::processEvents();
        }
        // The frames held up by the report come now: their wait ends with them.
        bench::runUntil([] { return false; }, 300);
        tick.stop();
        watching = false;
        watcher.join();
        longestFrameGapMs = std::max(longestFrameGapMs, gapNs.load() / 1e6);
        longestStallMs = std::max(longestStallMs, stallNs / 1e6);

        const auto ended = [&] {
            for (int port = 1; port <= kTerminals; ++port) {
                if (station.row(port).isBusy()) {
                    return false;
                }
            }
            return true;
        };
        const bool finished = bench::runUntil(ended, 900000);
        for (auto& sim : sims) {
            sim->finish();
        }
        for (int port = 1; port <= kTerminals; ++port) {
            if (!finished || station.row(port).state() != RowState::Completed ||
                sims[size_t(port - 1)]->accountsReceived() != kAccounts) {
                state.SkipWithError(QStringLiteral("port %1 did not complete: %2")
                                        .arg(port)
                                        .arg(station.row(port).lastMessage())
                                        .toStdString()
                                        .c_str());
                return;
            }
        }
    }
    state.counters["longest_frame_gap_ms"] = longestFrameGapMs;
    state.counters["longest_stall_ms"] = longestStallMs;
    state.counters["first_page_ms"] =
        benchmark::Counter(openMs, benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_StationDownloadsPacedWhileReport1Opens)
    ->ArgName("paged")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_StationDownloadsPaced)
    ->ArgNames({"terminals", "accounts"})
    ->Args({1, 200})
    ->Args({8, 200})
    ->Args({1, 2000})
    ->Args({8, 2000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_StationUploadsPaced)
    ->ArgNames({"terminals", "frames"})
    ->Args({1, 200})
    ->Args({8, 200})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
