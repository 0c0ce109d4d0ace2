// Every decoder takes arbitrary bytes of any length. The bytes are copied into a buffer of
// exactly their length, so the address sanitizer reports any read past the end.

#include "link/Encoding.h"
#include "link/Frame.h"
#include "link/FrameBytes.h"
#include "link/UploadFrames.h"

#include <QtTest>
#include <random>
#include <vector>

using namespace kovrin::link;

namespace {

// Runs every decoder over the bytes; returns a value depending on what they read so the
// calls cannot be optimised away.
qint64 decodeAll(const std::vector<char>& bytes) {
    const QByteArrayView v(bytes.data(), static_cast<qsizetype>(bytes.size()));
    qint64 seen = 0;
    seen += CheckCRC(v) ? 1 : 0;
    seen += recordNumberOf(v).value_or(0);
    const DownloadReply r = parseDownloadReply(v);
    seen += r.ackPos + r.ackRecord.value_or(0) + (r.nack ? 1 : 0) + (r.abandon ? 1 : 0);
    seen += findWord(v, "OVER");
    const CountInfo c = DecodeFifthProtocol(v);
    seen += c.TotalRecords + c.agentId.size();
    const HeaderInfo h = DecodeThirdProtocol(v);
    seen += h.TotalTransactions + h.totalAmount + h.AgentDateKey.size();
    const TransactionFrame tf = decodeTransactionFrame(v, 2026);
    seen += tf.count + tf.AccountNo.size() + tf.SchemeCode.size();
    for (const TransactionSlot& s : tf.transactions) {
        seen += s.amount + s.number + s.DateTime.size();
    }
    seen += String2byte(v, 10)[9];
    seen += unpackBcd(v.first(std::min<qsizetype>(v.size(), 8))).value_or(QString()).size();
    return seen;
}

std::vector<char> copyOf(const QByteArray& b) {
    return std::vector<char>(b.begin(), b.end());
}

}  // namespace

class TestLinkFuzz : public QObject {
    Q_OBJECT

private slots:
    void everyPrefixOfRealFrames() {
        QList<QByteArray> frames{
            kovrin::test::replyFrame(0, {{10, kovrin::test::hex("00 28")}}),
            kovrin::test::replyFrame(1, {{10, "0122512"}, {19, kovrin::test::hex("00 01 23 45")}}),
            kovrin::test::replyFrame(
                2, {{133, kovrin::test::hex("07")}, {70, QByteArray(63, '\x11')}}),
            buildEndFrame('D'),
            buildShortFrame('D', 7, "AACK"),
            buildRequestFrame(3)};
        for (const QByteArray& f : frames) {
            const QByteArray doubled = f + f;
            for (int n = 0; n <= doubled.size(); ++n) {
                decodeAll(copyOf(doubled.left(n)));
            }
        }
    }

    void randomBytesOfRandomLengths() {
        std::mt19937 rng(20261207);
        std::uniform_int_distribution<int> length(0, 400);
        std::uniform_int_distribution<int> byte(0, 255);
        for (int i = 0; i < 3000; ++i) {
            std::vector<char> bytes(static_cast<size_t>(length(rng)));
            for (char& c : bytes) {
                c = static_cast<char>(byte(rng));
            }
            // Some frames look real: a sync header and a plausible count byte.
            if (bytes.size() >= 133 && i % 3 == 0) {
                const char head[] = {1, '\xFF', 0x10, '\xF0', 'U', 0, '\x82'};
                std::copy(std::begin(head), std::end(head), bytes.begin());
                bytes[132] = static_cast<char>(i % 8);
            }
            decodeAll(bytes);
        }
    }

    void slotsDecodedAsGoodHaveValidBytes() {
        std::mt19937 rng(42);
        std::uniform_int_distribution<int> byte(0, 255);
        const auto bcd = [&](int lo, int hi) {
            const int v = std::uniform_int_distribution<int>(lo, hi)(rng);
            return static_cast<char>((v / 10) * 16 + v % 10);
        };
        int good = 0;
        int bad = 0;
        for (int i = 0; i < 2000; ++i) {
            QByteArray f(137, '\0');
            for (int t = 0; t < kSlotsPerFrame; ++t) {
                char* s = f.data() + 69 + 9 * t;
                s[0] = bcd(0, 99);
                s[1] = bcd(0, 99);
                s[2] = bcd(0, 99);
                s[3] = bcd(1, 28);
                s[4] = static_cast<char>(std::uniform_int_distribution<int>(1, 12)(rng) * 16 +
                                         byte(rng) % 16);
                s[5] = bcd(0, 23);
                s[6] = bcd(0, 59);
                s[7] = static_cast<char>(byte(rng));
                s[8] = static_cast<char>(byte(rng));
                if (byte(rng) % 2 == 0) {
                    s[byte(rng) % 7] = static_cast<char>(byte(rng));  // garble one byte
                }
            }
            f[132] = static_cast<char>(1 + i % 7);
            const TransactionFrame tf = decodeTransactionFrame(f, 2026);
            for (int t = 0; t < tf.count; ++t) {
                const TransactionSlot& s = tf.transactions[static_cast<size_t>(t)];
                QCOMPARE(s.state, SlotState::Read);
                const QByteArray raw = f.mid(69 + 9 * t, 9);
                const bool bytesValid = isValidBcd(raw[0]) && isValidBcd(raw[1]) &&
                                        isValidBcd(raw[2]) && isValidBcd(raw[3]) &&
                                        isValidBcd(raw[5]) && isValidBcd(raw[6]);
                if (s.ok) {
                    QVERIFY(bytesValid);
                    QCOMPARE(s.Amtcollected.size(), 10);
                    QCOMPARE(s.DateTime.size(), 16);
                    QVERIFY(s.amount >= 0 && s.amount <= 999999);
                    QVERIFY(QDateTime::fromString(s.DateTime, "dd/MM/yyyy HH:mm").isValid());
                    ++good;
                } else {
                    QVERIFY(!tf.ok);
                    ++bad;
                }
            }
        }
        QVERIFY(good > 1000);
        QVERIFY(bad > 1000);
    }
};

QTEST_GUILESS_MAIN(TestLinkFuzz)
#include "tst_linkfuzz.moc"
