// Looking at the serial devices the system reports: the Transfer Station does it every two
// seconds while its screen is up, on the thread its transfers run on.
#include "link/PortMapping.h"

#include <benchmark/benchmark.h>

using namespace kovrin;

namespace {

// One look through the port library, with the stable names of the USB adapters.
void BM_ReportedSerialPorts(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(link::reportedSerialPorts());
    }
}

// The look the program makes: again only when a device came or went.
void BM_WatchedPortScan(benchmark::State& state) {
    link::WatchedPortScan scan;
    scan();
    for (auto _ : state) {
        benchmark::DoNotOptimize(scan());
    }
}

}  // namespace

BENCHMARK(BM_ReportedSerialPorts)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WatchedPortScan)->Unit(benchmark::kMicrosecond);
