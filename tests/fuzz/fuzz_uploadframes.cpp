// The decoders of the upload's count, header and transaction frames over any bytes: a frame
// they call good holds only values that read faithfully.
#include "FuzzCheck.h"
#include "link/Frame.h"
#include "link/UploadFrames.h"

#include <QDate>
#include <QDateTime>
#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace kovrin::link;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView v(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const CountInfo count = DecodeFifthProtocol(v);
    if (count.ok) {
        FUZZ_CHECK(v.size() >= kLongFrameSize);
        FUZZ_CHECK(count.TotalRecords >= 0 && count.TotalRecords < 32768);
        FUZZ_CHECK(count.agentId.size() == 15);
    } else {
        FUZZ_CHECK(!count.reason.isEmpty());
    }

    const HeaderInfo header = DecodeThirdProtocol(v);
    if (header.ok) {
        FUZZ_CHECK(v.size() >= kLongFrameSize);
        FUZZ_CHECK(header.AgentDateKey.size() == 7);
    } else {
        FUZZ_CHECK(!header.reason.isEmpty() && !header.totalsRead);
    }
    if (header.totalsRead) {
        FUZZ_CHECK(header.ok);
        FUZZ_CHECK(header.TotalTransactions >= 0 && header.TotalTransactions < 32768);
        FUZZ_CHECK(header.amountDigits.size() == 8);
        FUZZ_CHECK(header.totalAmount >= 0 && header.totalAmount <= 99999999);
        FUZZ_CHECK(header.amountText == QString::number(header.totalAmount) + ".00");
    } else {
        FUZZ_CHECK(!header.reason.isEmpty() && header.amountText.isEmpty());
    }

    // The reference year matters only for the year of a slot: 2026 and one taken from the
    // input.
    const int referenceYear = v.isEmpty() ? 2026 : 2000 + static_cast<quint8>(v[0]) % 100;
    const TransactionFrame tf = decodeTransactionFrame(v, referenceYear);
    FUZZ_CHECK(tf.shortFrame == (v.size() < kLongFrameSize));
    FUZZ_CHECK(tf.CategoryCode.size() <= 1 && tf.SchemeCode.size() <= 5);
    FUZZ_CHECK(tf.AccountNo.size() <= 15);
    if (tf.ok) {
        FUZZ_CHECK(!tf.shortFrame);
        FUZZ_CHECK(tf.noTransactions || (tf.count >= 0 && tf.count <= kSlotsPerFrame));
    } else {
        FUZZ_CHECK(!tf.reason.isEmpty());
    }
    int readSlots = 0;
    for (const TransactionSlot& s : tf.transactions) {
        if (s.state == SlotState::Unread) {
            FUZZ_CHECK(!s.ok);
            continue;
        }
        ++readSlots;
        if (s.ok) {
            FUZZ_CHECK(s.state == SlotState::Read);
            FUZZ_CHECK(s.amount >= 0 && s.amount <= 999999);
            FUZZ_CHECK(s.Amtcollected.size() == 10 && s.Amtcollected.endsWith(".00"));
            FUZZ_CHECK(s.DateTime.size() == 16);
            FUZZ_CHECK(QDateTime::fromString(s.DateTime, "dd/MM/yyyy HH:mm").isValid());
            FUZZ_CHECK(s.year >= std::max(2000, referenceYear - 14) &&
                       s.year <= std::max(2015, referenceYear + 1));
            FUZZ_CHECK(s.number >= 0 && s.number <= 65535);
        } else if (s.state == SlotState::Read) {
            FUZZ_CHECK(!s.reason.isEmpty());
            FUZZ_CHECK(!tf.ok);
        }
    }
    FUZZ_CHECK(readSlots <= kSlotsPerFrame);
    if (!tf.noTransactions && tf.count >= 0 && tf.count <= kSlotsPerFrame) {
        FUZZ_CHECK(readSlots == tf.count);
    }
    return 0;
}
