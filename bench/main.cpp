// The benchmarks run on a Qt event loop (the transfers need one; the rest ignores it).
//
// With --screens, only the whole transfers through the program's screens run: on a
// QApplication with the program's style, on whatever display the platform gives
// (scripts/bench runs them on Xvfb, the others offscreen).
#include "ScreenBench.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QCoreApplication>
#include <QStyleFactory>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    bool screens = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screens") == 0) {
            screens = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;

    std::unique_ptr<QCoreApplication> app;
    if (screens) {
        auto gui = std::make_unique<QApplication>(argc, argv);
        gui->setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        app = std::move(gui);
        benchmark::ClearRegisteredBenchmarks();
        kovrin::bench::registerScreenBenchmarks();
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
