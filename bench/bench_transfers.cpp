// Whole transfers over a pseudo-terminal against the simulator on its own thread: from the
// Send button to the completion message. With the simulator answering at once the time is
// the PC's work plus the pseudo-terminal's; with the simulator pacing its bytes at 19200
// baud the line dominates, and the PC's share is the CPU time of the PC's thread.
#include "BenchData.h"
#include "RunUntil.h"
#include "SimThread.h"
#include "UploadData.h"
#include "download/DownloadTransfer.h"
#include "link/SerialPortLink.h"
#include "link/TransferLog.h"
#include "upload/RestoreData.h"
#include "upload/UploadTransfer.h"

#include <benchmark/benchmark.h>
#include <QFile>

using namespace kovrin;

namespace {

template <typename Sim>
void wholeDownload(benchmark::State& state, bool paced) {
    const int n = int(state.range(0));
    double cpuMs = 0;
    double lineMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bench::BenchFolder folder;
        bench::QuietMessages messages;
        sim::TerminalConfig config;
        config.paced = paced;
        Sim sim(config);
        if (!sim.open()) {
            state.SkipWithError(sim.error().toStdString().c_str());
            return;
        }
        QDir(folder.path()).mkpath(QStringLiteral("ports"));
        QFile::link(sim.devicePath(), QDir(folder.path()).filePath(QStringLiteral("ports/com1")));
        bench::writeFile(QDir(folder.bankFolder()).filePath(QStringLiteral("0052503d.txt")),
                         bench::downloadFile(n));
        link::SerialPortLink port(folder.path(), [] { return QStringLiteral("1"); });
        link::TransferLog log(folder.path());
        DownloadTransfer tx(*folder.db, folder.settings, folder.path(), port, log);
        tx.setTerminalPasswords(QStringLiteral("0042"), QStringLiteral("1234"));
        bool completed = false;
        QObject::connect(&tx, &DownloadTransfer::completed, [&] { completed = true; });
        state.ResumeTiming();

        const double cpu0 = bench::threadCpuMs();
        tx.cmdSend_Click({QStringLiteral("5"), QStringLiteral("2503"), QStringLiteral("3")});
        const bool finished = bench::runUntil([&] { return completed || !tx.isSending(); }, 600000);
        cpuMs += bench::threadCpuMs() - cpu0;

        state.PauseTiming();
        sim.finish();
        if (!finished || !completed || sim.accountsReceived() != n) {
            state.SkipWithError(("download not completed: " + messages.last).toStdString().c_str());
            return;
        }
        // Bytes on the line both ways: header, accounts and end frame out, one 14-byte
        // answer each back; 10 bits a byte at 19200 baud.
        const qint64 bytes = qint64(n + 1) * 137 + 14 + sim.bytesSent();
        lineMs += double(bytes) * 10.0 / 19200.0 * 1000.0;
        state.ResumeTiming();
    }
    state.SetComplexityN(n);
    state.counters["pc_cpu_ms"] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
    state.counters["line_ms_19200"] =
        benchmark::Counter(lineMs, benchmark::Counter::kAvgIterations);
}

void BM_WholeDownload(benchmark::State& state) {
    wholeDownload<bench::SimThread>(state, false);
}

void BM_WholeDownloadPaced(benchmark::State& state) {
    wholeDownload<bench::SimThread>(state, true);
}

void BM_WholeDownloadOneThread(benchmark::State& state) {
    wholeDownload<bench::SimHere>(state, false);
}

// From the Receive button to the end of the store and the files, `frames` transaction
// frames of seven transactions each.
template <typename Sim>
void wholeUpload(benchmark::State& state, bool paced) {
    const int n = int(state.range(0));
    const QVector<QByteArray> frames = bench::collectionFrames(n);
    double cpuMs = 0;
    double lineMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bench::BenchFolder folder;
        bench::QuietMessages messages;
        BankDataStore(*folder.db).replaceAgentRows(bench::agentId(), bench::downloadedAccounts(n));
        sim::TerminalConfig config;
        config.mode = sim::Mode::Upload;
        config.paced = paced;
        Sim sim(config, frames);
        if (!sim.open()) {
            state.SkipWithError(sim.error().toStdString().c_str());
            return;
        }
        QDir(folder.path()).mkpath(QStringLiteral("ports"));
        QFile::link(sim.devicePath(), QDir(folder.path()).filePath(QStringLiteral("ports/com1")));
        link::SerialPortLink port(folder.path(), [] { return QStringLiteral("1"); });
        link::TransferLog log(folder.path());
        RestoreData restore(*folder.db, folder.settings, ProgramFolder(folder.path()));
        RestoreOutcome outcome;
        bool stored = false;
        UploadTransfer tx(port, log, [&](const UploadData& d, const MessageFunction& message) {
            outcome = restore.run(d, message);
            stored = true;
            return RestoreResult{outcome.safe || outcome.nothingToStore, outcome.totalsDiffer};
        });
        tx.Form_Load();
        state.ResumeTiming();

        const double cpu0 = bench::threadCpuMs();
        tx.cmdSend_Click();
        const bool finished = bench::runUntil([&] { return stored; }, 900000);
        cpuMs += bench::threadCpuMs() - cpu0;

        state.PauseTiming();
        tx.stop();
        sim.finish();
        if (!finished || !outcome.stored || outcome.rowCount != n * 7 || !outcome.totalsMatch) {
            state.SkipWithError(("upload not completed: " + messages.last).toStdString().c_str());
            return;
        }
        // Requests of 10 bytes out, 137-byte frames back, the end frame.
        const qint64 bytes = qint64(n + 2) * 10 + 14 + sim.bytesSent();
        lineMs += double(bytes) * 10.0 / 19200.0 * 1000.0;
        state.ResumeTiming();
    }
    state.SetComplexityN(n);
    state.counters["pc_cpu_ms"] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
    state.counters["line_ms_19200"] =
        benchmark::Counter(lineMs, benchmark::Counter::kAvgIterations);
}

void BM_WholeUpload(benchmark::State& state) {
    wholeUpload<bench::SimThread>(state, false);
}

void BM_WholeUploadPaced(benchmark::State& state) {
    wholeUpload<bench::SimThread>(state, true);
}

void BM_WholeUploadOneThread(benchmark::State& state) {
    wholeUpload<bench::SimHere>(state, false);
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int n : {200, 500, 1000, 2000}) {
        b->Arg(n);
    }
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Complexity(benchmark::oN);
}

}  // namespace

BENCHMARK(BM_WholeDownload)->Apply(sizes)->Iterations(5);
BENCHMARK(BM_WholeDownloadPaced)->Apply(sizes)->Iterations(1);
BENCHMARK(BM_WholeUpload)->Apply(sizes)->Iterations(5);
BENCHMARK(BM_WholeUploadPaced)->Apply(sizes)->Iterations(1);
BENCHMARK(BM_WholeDownloadOneThread)->Apply(sizes)->Iterations(5);
BENCHMARK(BM_WholeUploadOneThread)->Apply(sizes)->Iterations(5);
