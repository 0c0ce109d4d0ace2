// The PC's own work in a download, without the line: the import and store of the bank's
// file, and the building of the account frames.
#include "BenchData.h"
#include "db/BankDataStore.h"
#include "download/DownloadFile.h"
#include "link/DownloadFrames.h"

#include <benchmark/benchmark.h>

using namespace kovrin;

namespace {

// readDownloadFile, bankDataRows and the one-transaction replacement of the agent's rows:
// what the Send button does before the port is used.
void BM_ImportAndStore(benchmark::State& state) {
    const int n = int(state.range(0));
    bench::BenchFolder folder;
    const QString path = QDir(folder.bankFolder()).filePath(QStringLiteral("0050325d.txt"));
    bench::writeFile(path, bench::downloadFile(n));
    const QString fileName = pathWithoutRoot(path);
    for (auto _ : state) {
        const DownloadFileContents contents = readDownloadFile(path);
        if (contents.status != DownloadFileContents::Status::Ok || contents.records.size() != n) {
            state.SkipWithError("the download file was not read");
            break;
        }
        const DbStatus st =
            BankDataStore(*folder.db)
                .replaceAgentRows(contents.agentId, bankDataRows(contents, fileName));
        if (!st) {
            state.SkipWithError(st.error.toStdString().c_str());
            break;
        }
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
}

std::vector<link::AccountFields> accountsOf(const QVector<BankDataRow>& rows) {
    std::vector<link::AccountFields> out;
    for (const BankDataRow& r : rows) {
        out.push_back({r.CategoryCode, r.SchemeCode, r.ACNumber, r.ACName, r.BalAmount,
                       r.AgreedAmount, r.OpeningDate, r.Txndate});
    }
    return out;
}

QVector<BankDataRow> storedRows(bench::BenchFolder& folder, int n, QString* fileName) {
    const QString path = QDir(folder.bankFolder()).filePath(QStringLiteral("0050325d.txt"));
    bench::writeFile(path, bench::downloadFile(n));
    *fileName = pathWithoutRoot(path);
    const DownloadFileContents contents = readDownloadFile(path);
    BankDataStore(*folder.db).replaceAgentRows(contents.agentId, bankDataRows(contents, *fileName));
    return BankDataStore(*folder.db).rowsToSend(contents.agentId, *fileName);
}

// The account frames from the stored accounts (the encoders and checksums only).
void BM_BuildAccountFrames(benchmark::State& state) {
    const int n = int(state.range(0));
    bench::BenchFolder folder;
    QString fileName;
    const std::vector<link::AccountFields> accounts = accountsOf(storedRows(folder, n, &fileName));
    for (auto _ : state) {
        QVector<QByteArray> table;
        table.reserve(n + 1);
        int c = 2;
        for (const link::AccountFields& a : accounts) {
            link::BuildResult b = link::buildAccountFrame(c++, a);
            if (!b.ok) {
                state.SkipWithError("an account frame could not be built");
                return;
            }
            table.push_back(std::move(b.frame));
        }
        benchmark::DoNotOptimize(table.data());
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
}

// What happens when the header is accepted: the accounts read back in name order and
// every frame built.
void BM_ReadAndBuildAccountFrames(benchmark::State& state) {
    const int n = int(state.range(0));
    bench::BenchFolder folder;
    QString fileName;
    storedRows(folder, n, &fileName);
    for (auto _ : state) {
        const QVector<BankDataRow> rows =
            BankDataStore(*folder.db).rowsToSend(bench::agentId(), fileName);
        QVector<QByteArray> table;
        table.reserve(rows.size() + 1);
        int c = 2;
        for (const link::AccountFields& a : accountsOf(rows)) {
            table.push_back(link::buildAccountFrame(c++, a).frame);
        }
        if (table.size() != n) {
            state.SkipWithError("accounts missing");
            break;
        }
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int n : {200, 500, 1000, 2000}) {
        b->Arg(n);
    }
    b->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
}

}  // namespace

BENCHMARK(BM_ImportAndStore)->Apply(sizes);
BENCHMARK(BM_BuildAccountFrames)->Apply(sizes);
BENCHMARK(BM_ReadAndBuildAccountFrames)->Apply(sizes);
