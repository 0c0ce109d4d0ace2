// The PC's own work after an upload: frames to rows, the store, the three files; and its
// parts on their own.
#include "UploadData.h"
#include "core/Clock.h"
#include "db/RestoreDataStore.h"
#include "upload/BankFiles.h"
#include "upload/RestoreData.h"
#include "upload/RestoreRows.h"

#include <benchmark/benchmark.h>

using namespace kovrin;

static const kovrin::FixedClock kEvening(QDateTime(QDate(2026, 3, 25), QTime(18, 0)));

namespace {

// RestoreData::run: the backup file, the rows matched against the download, the store in
// one transaction, the bank upload file and the check file.
void BM_UploadStoreAndFiles(benchmark::State& state) {
    const int frames = int(state.range(0));
    bench::BenchFolder folder;
    BankDataStore(*folder.db).replaceAgentRows(bench::agentId(), bench::downloadedAccounts(frames));
    const UploadData data = bench::uploadData(bench::collectionFrames(frames));
    RestoreData restore(*folder.db, folder.settings, ProgramFolder(folder.path()));
    restore.setClock(kEvening);
    QStringList messages;
    const MessageFunction message = [&messages](const MessageRequest& r) {
        messages << r.text;
        return MsgAnswer::Ok;
    };
    for (auto _ : state) {
        messages.clear();
        const RestoreOutcome out = restore.run(data, message);
        if (!out.stored || out.rowCount != frames * 7 || !out.totalsMatch ||
            out.checkFile.isEmpty() || out.backupFile.isEmpty()) {
            state.SkipWithError(
                ("upload not stored: " + messages.join(" / ")).toStdString().c_str());
            break;
        }
    }
    state.SetComplexityN(frames);
    state.counters["transactions"] = frames * 7;
}

void BM_BuildRestoreRows(benchmark::State& state) {
    const int frames = int(state.range(0));
    const UploadData data = bench::uploadData(bench::collectionFrames(frames));
    const AccountLookup accounts(bench::downloadedAccounts(frames));
    for (auto _ : state) {
        QVector<RestoreProblem> problems;
        const QVector<RestoreDataRow> rows = buildRestoreRows(data, accounts, 2026, &problems);
        if (rows.size() != frames * 7 || !problems.isEmpty()) {
            state.SkipWithError("rows missing");
            break;
        }
    }
    state.SetComplexityN(frames);
}

void BM_ReplaceUpload(benchmark::State& state) {
    const int frames = int(state.range(0));
    bench::BenchFolder folder;
    const UploadData data = bench::uploadData(bench::collectionFrames(frames));
    QVector<RestoreProblem> problems;
    const QVector<RestoreDataRow> rows =
        buildRestoreRows(data, AccountLookup(bench::downloadedAccounts(frames)), 2026, &problems);
    const UploadInfo info{bench::agentId(), QStringLiteral("0050325"),
                          data.header.TotalTransactions, data.header.totalAmount,
                          QDateTime(QDate(2026, 3, 25), QTime(18, 0))};
    for (auto _ : state) {
        const DbStatus st = RestoreDataStore(*folder.db).replaceUpload(info, rows);
        if (!st) {
            state.SkipWithError(st.error.toStdString().c_str());
            break;
        }
    }
    state.SetComplexityN(frames);
}

// The bytes of the three files from the stored rows (no disk).
void BM_UploadFileBytes(benchmark::State& state) {
    const int frames = int(state.range(0));
    const UploadData data = bench::uploadData(bench::collectionFrames(frames));
    QVector<RestoreProblem> problems;
    const QVector<RestoreDataRow> rows =
        buildRestoreRows(data, AccountLookup(bench::downloadedAccounts(frames)), 2026, &problems);
    for (auto _ : state) {
        const QByteArray backup = CreateFlatFile1(data);
        const BankUploadFile upload = CreateFlatFile(inUploadFileOrder(rows));
        const QByteArray check = CreateFlatFile2(inCheckFileOrder(rows));
        if (upload.UploadedCount != frames * 7 || backup.isEmpty() || check.isEmpty()) {
            state.SkipWithError("lines missing");
            break;
        }
    }
    state.SetComplexityN(frames);
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int n : {200, 500, 1000, 2000}) {
        b->Arg(n);
    }
    b->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
}

}  // namespace

BENCHMARK(BM_UploadStoreAndFiles)->Apply(sizes);
BENCHMARK(BM_BuildRestoreRows)->Apply(sizes);
BENCHMARK(BM_ReplaceUpload)->Apply(sizes);
BENCHMARK(BM_UploadFileBytes)->Apply(sizes);
