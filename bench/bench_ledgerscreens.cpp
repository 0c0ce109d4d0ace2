// The program on a large ledger, through its screens: from View to the first page of the daily
// collection report of a day of 70 000 and of 700 000 collections (with the peak memory while
// the preview is open and its pages are laid out), and from the start to the main menu on a
// month of 3 million. Registered for --screens (they need a QApplication and a display).
#include "BenchData.h"
#include "LedgerData.h"
#include "ScreenBench.h"
#include "app/AppContext.h"
#include "app/FrmMain.h"
#include "app/UpgradeWindow.h"
#include "reports/FrmReport.h"
#include "reports/FrmReportPreview.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QWindow>

namespace kovrin::bench {

namespace {

void waitExposed(QWidget& w) {
    QElapsedTimer t;
    t.start();
    while ((!w.windowHandle() || !w.windowHandle()->isExposed()) && t.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // The first page drawn, as the screen shows it.
    w.grab();
}

void viewFirstPage(benchmark::State& state) {
    const LedgerShape& shape = state.range(0) == 70000 ? kDay70k : kDay700k;
    const QString folder = ledgerFolder(shape);
    QuietMessages messages;
    QString error;
    auto ctx = AppContext::startUp(ProgramFolder(folder), &error);
    if (!ctx) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    double peak = 0;
    double laidOut = 0;
    int pages = 0;
    for (auto _ : state) {
        resetPeakMemory();
        FrmReport report(*ctx);
        report.findChild<QRadioButton*>(QStringLiteral("OptReport1"))->setChecked(true);
        report.findChild<QDateEdit*>(QStringLiteral("FromDTPicker"))->setDate(ledgerFirstDay());
        report.findChild<QDateEdit*>(QStringLiteral("ToDTPicker"))->setDate(ledgerFirstDay());
        QElapsedTimer t;
        report.setPreviewRunner([&](FrmReportPreview& preview) {
            preview.show();
            waitExposed(preview);
            state.SetIterationTime(t.nsecsElapsed() / 1e9);
            // The rest of the pages laid out while the preview is open.
            while (!preview.layOutMore()) {
                QCoreApplication::processEvents();
            }
            laidOut = t.nsecsElapsed() / 1e9;
            pages = preview.content().report->pageCount();
            peak = peakMemoryMb();
        });
        t.start();
        report.cmdView_Click();
    }
    state.counters["peak_MB"] = peak;
    state.counters["all_pages_s"] = laidOut;
    state.counters["pages"] = pages;
}

void startToMainMenu(benchmark::State& state) {
    const QString folder = ledgerFolder(kMonth3m);
    QuietMessages messages;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        QString error;
        auto ctx = AppContext::startUp(ProgramFolder(folder), &error);
        if (!ctx) {
            state.SkipWithError(error.toStdString().c_str());
            break;
        }
        FrmMain menu(*ctx);
        menu.show();
        waitExposed(menu);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
    }
}

// The first start of this version on a file of the version before the ledger holding a day of
// 700 000 collections: the upgrade enters them into the ledger behind its window. Timed from
// the start to the main menu shown; counters: when the upgrade's window was first on the
// screen (window_s), the peak resident memory during the start (peak_MB) and the resident
// memory once the main menu is shown (after_MB). Each run upgrades a fresh copy of the file
// (the copying is not timed).
void upgradeOlderFile(benchmark::State& state) {
    const QString older = olderDatabase(kDay700k);
    QuietMessages messages;
    double windowAt = -1;
    double peak = 0;
    double after = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const ProgramFolder folder(dir.path());
        if (!QFile::copy(older, folder.databasePath())) {
            state.SkipWithError("the older file could not be copied");
            break;
        }
        resetPeakMemory();
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        windowAt = -1;
        QString error;
        std::unique_ptr<AppContext> ctx;
        {
            UpgradeWindow window(folder.databasePath());
            ctx =
                AppContext::startUp(folder, &error, Clock::system(), [&](const UpgradeProgress& p) {
                    window.show(p);
                    if (windowAt < 0 && window.isShown()) {
                        windowAt = t.nsecsElapsed() / 1e9;
                    }
                });
        }
        if (!ctx) {
            state.SkipWithError(error.toStdString().c_str());
            break;
        }
        FrmMain menu(*ctx);
        menu.show();
        waitExposed(menu);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        peak = peakMemoryMb();
        after = residentMemoryMb();
    }
    state.counters["window_s"] = windowAt;
    state.counters["peak_MB"] = peak;
    state.counters["after_MB"] = after;
}

}  // namespace

void registerLedgerScreenBenchmarks() {
    benchmark::RegisterBenchmark("BM_LedgerUpgradeOlderFile", upgradeOlderFile)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(3);
    benchmark::RegisterBenchmark("BM_LedgerViewFirstPage", viewFirstPage)
        ->Arg(70000)
        ->Arg(700000)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(3);
    benchmark::RegisterBenchmark("BM_LedgerStartToMainMenu", startToMainMenu)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(5);
}

}  // namespace kovrin::bench
