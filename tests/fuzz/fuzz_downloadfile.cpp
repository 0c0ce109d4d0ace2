// The reader of the bank's download file over any bytes: it never reads past the input,
// and what it accepts is what it promises (at most 2000 records of fixed-width fields, in
// text the terminal can show; a refused record named by its line).
#include "FuzzCheck.h"
#include "download/DownloadFile.h"

#include <cstddef>
#include <cstdint>

using namespace kovrin;

namespace {

bool latin1(const QString& field) {
    for (const QChar c : field) {
        if (c.unicode() > 0xFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const DownloadFileContents c = parseDownloadFile(bytes);
    switch (c.status) {
        case DownloadFileContents::Status::Ok: {
            FUZZ_CHECK(c.records.size() == c.recordCount);
            FUZZ_CHECK(c.recordCount <= kMaxDownloadRecords);
            const QVector<BankDataRow> rows = bankDataRows(c, QStringLiteral("bank/0050325d.txt"));
            FUZZ_CHECK(rows.size() == c.records.size());
            for (const DownloadRecord& r : c.records) {
                FUZZ_CHECK(r.BranchID.size() <= 15 && r.CategoryCode.size() <= 1);
                FUZZ_CHECK(r.SchemeCode.size() <= 5 && r.ACNumber.size() <= 15);
                FUZZ_CHECK(r.CustomerCode.size() <= 6 && r.ACName.size() <= 50);
                FUZZ_CHECK(r.BalAmount.size() <= 8 && r.AgreedAmount.size() <= 5);
                FUZZ_CHECK(r.MyDate.size() <= 6 && r.OpeningDate.size() <= 6);
                FUZZ_CHECK(r.Txndate.size() <= 6 && r.AgentID.size() <= 15);
                FUZZ_CHECK(r.BankSoftACNumber.size() <= 15);
                FUZZ_CHECK(r.replacedFields >= 0 && r.replacedFields <= 13);
                FUZZ_CHECK(r.line >= 1);
                for (const QString* f :
                     {&r.BranchID, &r.CategoryCode, &r.SchemeCode, &r.ACNumber, &r.CustomerCode,
                      &r.ACName, &r.BalAmount, &r.AgreedAmount, &r.MyDate, &r.AgentID,
                      &r.OpeningDate, &r.Txndate, &r.BankSoftACNumber}) {
                    FUZZ_CHECK(latin1(*f));
                }
            }
            for (const BankDataRow& r : rows) {
                FUZZ_CHECK(r.AgentID == c.agentId && r.BranchID == c.branchId);
            }
            break;
        }
        case DownloadFileContents::Status::TooManyRecords:
            FUZZ_CHECK(c.recordCount > kMaxDownloadRecords);
            FUZZ_CHECK(c.records.isEmpty());
            break;
        case DownloadFileContents::Status::FormatError:
            FUZZ_CHECK(c.records.isEmpty());
            FUZZ_CHECK(c.errorLine >= 1 && c.errorText.size() < 136);
            FUZZ_CHECK(!c.errorText.contains(QLatin1Char('\n')));
            break;
        case DownloadFileContents::Status::ReadError:
            FUZZ_CHECK(false);  // bytes in memory cannot fail to be read
            break;
    }
    // The same bytes read the same way again.
    const DownloadFileContents again = parseDownloadFile(bytes);
    FUZZ_CHECK(again.status == c.status && again.recordCount == c.recordCount);
    FUZZ_CHECK(again.errorLine == c.errorLine && again.errorText == c.errorText);
    return 0;
}
