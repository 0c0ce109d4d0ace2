// Whole transfers through the program's screens, as the operator runs them: "Send Data" filled
// in and its Send button clicked, "Receive Data" and its Receive button, each screen shown
// and painting its progress, the port being the program's own serial line (ports/com1 linked
// to the pseudo-terminal of the simulator, which runs on its own thread). Timed from the
// click to the completion message. The PC thread's CPU time is the program's own share,
// painting included; the display's own work (an X server) is not in it.
#include "BenchData.h"
#include "RunUntil.h"
#include "ScreenBench.h"
#include "SimThread.h"
#include "UploadData.h"
#include "app/AppContext.h"
#include "db/BankDataStore.h"
#include "db/RestoreDataStore.h"
#include "download/DownloadTransfer.h"
#include "download/FrmSend.h"
#include "upload/FrmReceive.h"
#include "upload/UploadTransfer.h"

#include <benchmark/benchmark.h>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QWidget>
#include <QWindow>

using namespace kovrin;

namespace {

// A program folder started up as the program starts it (database, the day's copy, settings),
// its port 1 linked to the simulator's pseudo-terminal.
struct ScreenFolder {
    QTemporaryDir dir;
    std::unique_ptr<AppContext> ctx;
    QString error;

    explicit ScreenFolder(const QString& device) {
        const ProgramFolder folder(dir.path());
        ctx = AppContext::startUp(folder, &error);
        if (!ctx) {
            return;
        }
        AppSettings& s = ctx->settings();
        s.BankName = QStringLiteral("Kovrin Co-operative Bank");
        s.BranchName = QStringLiteral("Market Road");
        s.FontSize = QStringLiteral("1");
        s.CommPort = QStringLiteral("1");
        s.BankInfoPath = folder.filePath(QStringLiteral("bank"));
        if (!QDir().mkpath(s.BankInfoPath) || !QDir(dir.path()).mkpath(QStringLiteral("ports")) ||
            !QFile::link(device, folder.filePath(QStringLiteral("ports/com1")))) {
            error = QStringLiteral("cannot prepare the program folder ") + dir.path();
            ctx.reset();
        }
    }
};

// Counts the paint events a widget gets: the screen really paints what it shows.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) {
        if (widget) {
            widget->installEventFilter(this);
        }
    }
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return QObject::eventFilter(watched, event);
    }
};

// Shows the screen and waits until the display has it up (exposed), so that it paints.
bool showOnDisplay(QWidget& screen) {
    screen.show();
    return bench::runUntil(
        [&screen] { return screen.windowHandle() && screen.windowHandle()->isExposed(); }, 10000);
}

// One transfer: what the benchmark reports, or why it failed.
struct Run {
    QString error;
    double wallMs = 0;
    double cpuMs = 0;
    int exchanges = 0;  // frames the PC sent to the terminal, each answered but the last
    int paints = 0;     // paint events of the progress bar
    int arrivals = 0;   // pieces of replies the PC read, each a wake-up of its thread
};

// The pieces the program read from the line, from its transfer logs ("RX" lines).
int arrivalsLogged(const QString& programFolder) {
    int n = 0;
    const QDir dir(programFolder);
    for (const QString& name : dir.entryList({QStringLiteral("transfer-*.log")}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly)) {
            n += int(f.readAll().count(" RX "));
        }
    }
    return n;
}

// Times `click` to `done` (wall and the PC thread's CPU); what the screen still had to
// paint once `done` holds is painted within the time.
template <typename Click, typename Done>
bool timed(benchmark::State& state, Run& run, Click click, Done done, int timeoutMs) {
    state.ResumeTiming();
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = bench::threadCpuMs();
    click();
    const bool finished = bench::runUntil(done, timeoutMs);
    QCoreApplication::sendPostedEvents();
    run.cpuMs = bench::threadCpuMs() - cpu0;
    run.wallMs = double(wall.nsecsElapsed()) / 1e6;
    state.PauseTiming();
    return finished;
}

// Waits until the terminal has taken `frames` frames: what the port still holds goes out on
// the event loop, and the simulator takes it on its own thread.
void waitForFrames(const bench::SimThread& sim, int frames) {
    for (int i = 0; i < 2000 && sim.framesReceived() < frames; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
}

Run downloadThroughScreen(benchmark::State& state, int accounts, const QByteArray& file,
                          bool paced) {
    Run run;
    bench::QuietMessages messages;
    sim::TerminalConfig config;
    config.paced = paced;
    bench::SimThread sim(config);
    if (!sim.open()) {
        run.error = sim.error();
        return run;
    }
    ScreenFolder folder(sim.devicePath());
    if (!folder.ctx) {
        run.error = folder.error;
        return run;
    }
    bench::writeFile(
        QDir(folder.ctx->settings().BankInfoPath).filePath(QStringLiteral("0052503d.txt")), file);

    FrmSend screen(*folder.ctx);
    PaintCounter paints(screen.findChild<QProgressBar*>(QStringLiteral("barRecord")));
    if (!showOnDisplay(screen)) {
        run.error = QStringLiteral("the Send Data screen was not shown on the display");
        return run;
    }
    screen.findChild<QLineEdit*>(QStringLiteral("txtAgent"))->setText(QStringLiteral("5"));
    screen.findChild<QLineEdit*>(QStringLiteral("txtDate"))->setText(QStringLiteral("2503"));
    screen.findChild<QLineEdit*>(QStringLiteral("txtTransact"))->setText(QStringLiteral("3"));
    auto* send = screen.findChild<QPushButton*>(QStringLiteral("cmdSend"));
    const QString completion = screen.transfer().rules().completionText;
    messages.texts.clear();
    paints.count = 0;

    const bool finished = timed(
        state, run, [send] { send->click(); },
        [&] { return messages.texts.contains(completion) || !screen.transfer().isSending(); },
        600000);

    run.paints = paints.count;
    run.exchanges = sim.framesReceived();
    screen.close();
    sim.finish();
    run.arrivals = arrivalsLogged(folder.dir.path());
    if (!finished || !messages.texts.contains(completion) || sim.accountsReceived() != accounts) {
        run.error = QStringLiteral("download not completed: ") + messages.texts.join(" / ");
    }
    return run;
}

Run uploadThroughScreen(benchmark::State& state, int frames, const QVector<QByteArray>& served,
                        bool paced) {
    static const QString kCompleted = QStringLiteral("Upload Completed Successfully");
    Run run;
    bench::QuietMessages messages;
    sim::TerminalConfig config;
    config.mode = sim::Mode::Upload;
    config.paced = paced;
    bench::SimThread sim(config, served);
    if (!sim.open()) {
        run.error = sim.error();
        return run;
    }
    ScreenFolder folder(sim.devicePath());
    if (!folder.ctx) {
        run.error = folder.error;
        return run;
    }
    BankDataStore(folder.ctx->db())
        .replaceAgentRows(bench::agentId(), bench::downloadedAccounts(frames));

    FrmReceive screen(*folder.ctx);
    UploadTransfer& tx = screen.transfer();
    bool loaded = false;  // the port is opened once the screen is up
    QObject::connect(&tx, &UploadTransfer::receiveEnabled, [&loaded](bool on) { loaded = on; });
    PaintCounter paints(screen.findChild<QProgressBar*>(QStringLiteral("barRecord")));
    if (!showOnDisplay(screen) || !bench::runUntil([&loaded] { return loaded; }, 10000)) {
        run.error = QStringLiteral("the Receive Data screen was not shown on the display");
        return run;
    }
    auto* receive = screen.findChild<QPushButton*>(QStringLiteral("cmdSend"));
    messages.texts.clear();
    paints.count = 0;

    const bool finished = timed(
        state, run, [receive] { receive->click(); },
        [&] { return messages.texts.contains(kCompleted) || !tx.isActive(); }, 900000);

    run.paints = paints.count;
    waitForFrames(sim, frames + 3);  // the requests, then the end frame
    run.exchanges = sim.framesReceived();
    screen.close();
    sim.finish();
    run.arrivals = arrivalsLogged(folder.dir.path());
    const int rows = int(RestoreDataStore(folder.ctx->db()).checkFileRows(bench::agentId()).size());
    if (!finished || !messages.texts.contains(kCompleted) || rows != frames * 7) {
        run.error = QStringLiteral("upload not completed (%1 rows): ").arg(rows) +
                    messages.texts.join(" / ");
    }
    return run;
}

// Runs `one` per iteration, everything but the click-to-completion part untimed; reports the
// averages per transfer.
template <typename One>
void screenTransfer(benchmark::State& state, One one) {
    Run total;
    for (auto _ : state) {
        state.PauseTiming();
        const Run run = one(state);
        if (!run.error.isEmpty()) {
            state.ResumeTiming();
            state.SkipWithError(run.error.toStdString().c_str());
            return;
        }
        total.wallMs += run.wallMs;
        total.cpuMs += run.cpuMs;
        total.exchanges += run.exchanges;
        total.paints += run.paints;
        total.arrivals += run.arrivals;
        state.ResumeTiming();
    }
    using benchmark::Counter;
    state.counters["wall_ms"] = Counter(total.wallMs, Counter::kAvgIterations);
    state.counters["pc_cpu_ms"] = Counter(total.cpuMs, Counter::kAvgIterations);
    // The PC thread's share of the time on the line, in per cent.
    state.counters["pc_share_pct"] = total.wallMs > 0 ? 100.0 * total.cpuMs / total.wallMs : 0.0;
    state.counters["exchanges"] = Counter(total.exchanges, Counter::kAvgIterations);
    state.counters["pc_cpu_ms_per_exchange"] =
        total.exchanges > 0 ? total.cpuMs / total.exchanges : 0.0;
    state.counters["bar_paints"] = Counter(total.paints, Counter::kAvgIterations);
    state.counters["arrivals"] = Counter(total.arrivals, Counter::kAvgIterations);
    state.SetComplexityN(state.range(0));
}

void screenDownload(benchmark::State& state, bool paced) {
    const int accounts = int(state.range(0));
    const QByteArray file = bench::downloadFile(accounts);
    screenTransfer(state, [&](benchmark::State& s) {
        return downloadThroughScreen(s, accounts, file, paced);
    });
}

void screenUpload(benchmark::State& state, bool paced) {
    const int frames = int(state.range(0));
    const QVector<QByteArray> served = bench::collectionFrames(frames);
    screenTransfer(
        state, [&](benchmark::State& s) { return uploadThroughScreen(s, frames, served, paced); });
}

}  // namespace

namespace kovrin::bench {

void registerScreenBenchmarks() {
    struct Entry {
        const char* name;
        void (*fn)(benchmark::State&, bool);
        bool paced;
    };
    for (const Entry& e : {Entry{"BM_ScreenDownload", screenDownload, false},
                           Entry{"BM_ScreenDownloadPaced", screenDownload, true},
                           Entry{"BM_ScreenUpload", screenUpload, false},
                           Entry{"BM_ScreenUploadPaced", screenUpload, true}}) {
        benchmark::RegisterBenchmark(e.name, [e](benchmark::State& s) { e.fn(s, e.paced); })
            ->Arg(2000)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(e.paced ? 1 : 5);
    }
    registerLedgerScreenBenchmarks();
}

}  // namespace kovrin::bench
