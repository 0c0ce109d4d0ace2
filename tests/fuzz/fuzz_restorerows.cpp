// The upload store from frames over any bytes: the input, cut into 137-byte transaction
// frames, goes through the rows built from the frames and the bytes of the three files.
// Whatever the frames hold, every row keeps its columns and every file line its layout.
#include "FuzzCheck.h"
#include "db/RestoreDataStore.h"
#include "upload/BankFiles.h"
#include "upload/RestoreRows.h"

#include <cstddef>
#include <cstdint>

using namespace kovrin;

namespace {

const QString kAgent = QStringLiteral("005            ");

const AccountLookup& accounts() {
    static const AccountLookup lookup([] {
        QVector<BankDataRow> rows;
        for (int i = 0; i < 4; ++i) {
            BankDataRow r;
            r.AgentID = kAgent;
            r.BranchID = QStringLiteral("BR001          ");
            r.CategoryCode = QStringLiteral("S");
            r.SchemeCode = QStringLiteral("DDS01");
            r.ACNumber = QString::number(100000 + i).rightJustified(15, u'0');
            r.ACName = QStringLiteral("DEPOSITOR %1").arg(i);
            r.BalAmount = i == 3 ? QStringLiteral("12x") : QStringLiteral("00012345");
            r.AgreedAmount = QStringLiteral("00100");
            r.MyDate = i == 2 ? QString() : QStringLiteral("150309");
            r.BankSoftACNumber = QStringLiteral("BS%1").arg(i);
            rows << r;
        }
        return rows;
    }());
    return lookup;
}

int lineCount(const QByteArray& bytes) {
    return int(bytes.count("\r\n"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte says how the announced count differs from the frames received and
    // which year the upload is read against; the rest are the transaction frames.
    const int shift = data[0] % 4 - 1;  // -1 to 2
    const int year = 2000 + data[0] % 60;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    UploadData d;
    d.agentId = kAgent;
    d.RecordFrames << QByteArray(137, '\0') << QByteArray(137, '\0');
    for (qsizetype at = 0; at < rest.size(); at += 137) {
        d.RecordFrames << rest.mid(at, 137);
    }
    const int received = int(d.RecordFrames.size()) - 2;
    d.TotalRecords = std::max(0, received + shift);
    d.header.AgentDateKey = QStringLiteral("0050325");

    QVector<RestoreProblem> problems;
    const QVector<RestoreDataRow> rows = buildRestoreRows(d, accounts(), year, &problems);
    FUZZ_CHECK(rows.size() <= 7 * std::max(received, d.TotalRecords));
    int withAmount = 0;
    for (const RestoreDataRow& r : rows) {
        FUZZ_CHECK(!r.AgentID.isEmpty());
        FUZZ_CHECK(r.CategoryCode.size() <= 1 && r.SchemeCode.size() <= 5);
        FUZZ_CHECK(r.AccountNo.size() <= 15);
        if (!r.Amtcollected.isEmpty()) {
            FUZZ_CHECK(r.Amtcollected.size() == 10 && r.Amtcollected.endsWith(".00"));
            ++withAmount;
        }
        FUZZ_CHECK(accountFound(r) == !r.LastTxndate.isEmpty());
    }
    for (const RestoreProblem& p : problems) {
        FUZZ_CHECK(p.recordNo >= 2 && p.slot >= 0 && p.slot <= 7 && !p.what.isEmpty());
    }

    // The bank's file holds only accounts of the download: its lines keep their layout
    // whatever else the frames hold.
    const BankUploadFile upload = CreateFlatFile(inUploadFileOrder(rows));
    FUZZ_CHECK(upload.UploadedCount <= withAmount);
    const QList<QByteArray> lines = upload.bytes.split('\n');
    FUZZ_CHECK(lines.size() == upload.UploadedCount + 1 && lines.last().isEmpty());
    for (int i = 0; i + 1 < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].size() >= 188 + 1 && lines[i].endsWith('\r'));
        FUZZ_CHECK(!lines[i].chopped(1).contains('\r'));
    }
    // The check listing shows every row, account numbers as the terminal sent them.
    const QByteArray check = CreateFlatFile2(inCheckFileOrder(rows));
    FUZZ_CHECK(check.size() >= qsizetype(rows.size()) * 190);
    FUZZ_CHECK(rows.isEmpty() == check.isEmpty());
    const QByteArray backup = CreateFlatFile1(d);
    FUZZ_CHECK(lineCount(backup) == std::min(d.TotalRecords, 2000) + 2);
    return 0;
}
