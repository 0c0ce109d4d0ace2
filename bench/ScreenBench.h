#pragma once

namespace kovrin::bench {

// Registers the whole transfers through the program's screens (BM_Screen...). They need a
// QApplication and a display; main() registers them, in place of the others, for --screens.
void registerScreenBenchmarks();
// The View of the daily report and the start on a large ledger (bench_ledgerscreens.cpp).
void registerLedgerScreenBenchmarks();

}  // namespace kovrin::bench
