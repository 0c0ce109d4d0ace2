// Downloads over a noisy line at the pace of 19200 baud: the simulator on a pseudo-terminal
// garbles and loses bytes of its answers, answers "NACK", numbers answers wrongly, answers
// late, twice or with stray bytes after them, refuses or ignores the end frame and stays
// silent, each run with its own fixed seed. Every run must either complete with the terminal
// holding exactly the frames of a clean run, or end with one of the program's messages; the
// accounts stored are the file's either way.
#include "core/Clock.h"
#include "download/DownloadFixture.h"
#include "download/DownloadTransfer.h"
#include "hht-sim/PtyDevice.h"
#include "hht-sim/Terminal.h"
#include "link/SerialPortLink.h"
#include "support/MessageRecorder.h"

#include <QtTest>
#include <random>

using namespace kovrin;

static const kovrin::FixedClock kMorning(QDateTime(QDate(2026, 3, 25), QTime(8, 30, 15)));

namespace {

constexpr int kAccounts = 40;
constexpr int kRuns = 60;

const QString kCompleted = QStringLiteral("Download Completed Successfully!");
const QString kNotInDownloadMode =
    QStringLiteral("Please goto Download Mode in the HandHeld Terminal and then Send Data!");
const QString kCheckCable = QStringLiteral("Please Check the Communication Cable");

struct Outcome {
    bool completed = false;
    bool stillSending = false;
    QStringList messages;
    QByteArray header;
    QMap<int, QByteArray> accounts;
    QVector<BankDataRow> rows;
    int framesSent = 0;
};

Outcome runDownload(const sim::TerminalConfig& config) {
    Outcome out;
    test::DownloadFixture fx;
    test::MessageRecorder rec;
    sim::PtyDevice device;
    if (!device.openPty().isEmpty()) {
        return out;
    }
    sim::Terminal terminal(config);
    QObject::connect(&device, &sim::PtyDevice::received, &terminal, &sim::Terminal::feed);
    QObject::connect(&terminal, &sim::Terminal::output, &device, &sim::PtyDevice::write);
    QDir(fx.pf.path()).mkpath("ports");
    QFile::link(device.devicePath(), fx.pf.filePath("ports/com1"));
    link::SerialPortLink port(fx.pf.path(), [] { return QString("1"); });
    DownloadTransfer tx(*fx.db, fx.settings, fx.pf.path(), port, *fx.log);
    tx.setClock(kMorning);
    tx.setTerminalPasswords("0042", "1234");
    tx.setTimings({5, 100, 1000, 20});
    bool completed = false;
    QObject::connect(&tx, &DownloadTransfer::completed, [&] { completed = true; });

    fx.writeFile("0052503d.txt", test::downloadFile(kAccounts));
    tx.cmdSend_Click({"5", "2503", "3"});
    // Waits for events without spinning: the transfer's timers fire on time.
    bool expired = false;
    QTimer::singleShot(60000, &tx, [&expired] { expired = true; });
    while (tx.isSending() && !expired) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    out.completed = completed;
    out.stillSending = tx.isSending();
    tx.stop();
    out.messages = rec.texts();
    out.header = terminal.downloadHeader();
    out.accounts = terminal.downloadAccounts();
    out.rows = BankDataStore(*fx.db).agentRows("005            ");
    // Each run has its own folder: the file's name is compared without it.
    for (BankDataRow& r : out.rows) {
        r.FileName = r.FileName.endsWith("bank/0052503d.txt") ? "bank/0052503d.txt" : "?";
    }
    out.framesSent = int(terminal.receivedFrames().size());
    return out;
}

// The faults of one run, drawn from its seed.
sim::TerminalConfig noisyLine(quint32 seed) {
    std::mt19937 rng(seed);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto record = [&] { return pick(0, kAccounts + 1) == 1 ? 0 : pick(2, kAccounts + 1); };
    sim::TerminalConfig c;
    c.paced = true;
    sim::Faults& f = c.faults;
    f.seed = seed;
    // The timing of a real terminal: an answer after the PC's time-out, an answer sent twice,
    // stray bytes after an answer, an end frame refused or not answered.
    for (int i = pick(0, 2); i > 0; --i) {
        f.lateAt[record()] = pick(150, 300);
    }
    for (int i = pick(0, 2); i > 0; --i) {
        f.twiceAt.insert(record());
    }
    for (int i = pick(0, 2); i > 0; --i) {
        f.strayAt[record()] = pick(1, 20);
    }
    f.nackEnd = pick(0, 3) == 0 ? pick(1, 2) : 0;
    f.silentEnd = pick(0, 3) == 0 ? 1 : 0;
    f.corruptRate = std::array{0.0, 0.002, 0.005, 0.01}[size_t(pick(0, 3))];
    f.dropRate = std::array{0.0, 0.002, 0.005}[size_t(pick(0, 2))];
    for (int i = pick(0, 2); i > 0; --i) {
        f.nackAt.insert(record());
    }
    for (int i = pick(0, 2); i > 0; --i) {
        f.wrongNumberAt.insert(record());
    }
    for (int i = pick(0, 2); i > 0; --i) {
        f.silentAt[record()] += pick(1, 3);
    }
    if (pick(0, 3) == 0) {
        f.splitPieces = pick(2, 5);
        f.splitDelayMs = 2;
    }
    // Now and then the terminal is taken out of download mode half-way.
    if (pick(0, 19) == 0) {
        (pick(0, 1) ? f.closAt : f.backAt).insert(pick(2, kAccounts + 1));
    }
    return c;
}

}  // namespace

class TestSoakDownload : public QObject {
    Q_OBJECT
private slots:
    void noisyLines();
};

void TestSoakDownload::noisyLines() {
    const Outcome clean = runDownload([] {
        sim::TerminalConfig c;
        c.paced = true;
        return c;
    }());
    QVERIFY(clean.completed);
    QCOMPARE(clean.accounts.size(), kAccounts);
    QCOMPARE(clean.rows.size(), kAccounts);
    QCOMPARE(clean.messages, QStringList{kCompleted});

    int completed = 0;
    int abandoned = 0;
    int resent = 0;
    for (quint32 seed = 1; seed <= kRuns; ++seed) {
        const sim::TerminalConfig config = noisyLine(seed);
        const Outcome o = runDownload(config);
        const QByteArray id = "seed " + QByteArray::number(seed);
        QVERIFY2(!o.stillSending, id + ": still sending after a minute");
        // Whatever happened, the accounts stored are the file's.
        QVERIFY2(o.rows == clean.rows, id);
        // The terminal never holds a frame that differs from the clean run's.
        for (auto it = o.accounts.cbegin(); it != o.accounts.cend(); ++it) {
            QVERIFY2(clean.accounts.value(it.key()) == it.value(), id);
        }
        for (const QString& m : o.messages) {
            QVERIFY2(m == kCompleted || m == kNotInDownloadMode || m == kCheckCable,
                     qPrintable(id + ": " + m));
        }
        if (o.completed) {
            QVERIFY2(o.header == clean.header, id);
            QVERIFY2(o.accounts == clean.accounts, id);
            QVERIFY2(o.messages.last() == kCompleted, id);
            ++completed;
        } else {
            QVERIFY2(o.messages.contains(kNotInDownloadMode), id);
            QVERIFY2(!config.faults.closAt.isEmpty() || !config.faults.backAt.isEmpty() ||
                         config.faults.corruptRate > 0,
                     id + ": ended without a reason on the line");
            ++abandoned;
        }
        resent += o.framesSent - (kAccounts + 2);
    }
    qInfo(
        "download soak at 19200 baud: %d runs, %d completed identical to the clean run, %d "
        "ended with the download-mode message, %d frames sent again",
        kRuns, completed, abandoned, resent);
    QCOMPARE(completed + abandoned, int(kRuns));
    QVERIFY(completed >= kRuns - 5);
    QVERIFY(resent > kRuns);  // the line really was noisy
}

QTEST_GUILESS_MAIN(TestSoakDownload)
#include "tst_soakdownload.moc"
