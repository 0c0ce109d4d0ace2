// Uploads over a noisy line at the pace of 19200 baud: the simulator on a pseudo-terminal
// garbles and loses bytes of its frames, answers "NACK", numbers frames wrongly, splits them,
// answers late, twice or with stray bytes after them and stays silent, each run with its own
// fixed seed. Every run must either store rows and write files identical to a clean run's,
// or end with one of the program's messages and leave the agent's stored rows and files as
// they were. The one exception is the link's own limit: a frame garbled in two bytes whose
// changes cancel out in the 8-bit checksum cannot be told from a good one. One upload on a
// clean line is cut short half-way and taken up by a program started anew, from the records
// kept on disk: it must store the same.
#include "core/Clock.h"
#include "download/DownloadFixture.h"
#include "hht-sim/PtyDevice.h"
#include "hht-sim/Terminal.h"
#include "hht-sim/TerminalFrames.h"
#include "link/Frame.h"
#include "link/SerialPortLink.h"
#include "support/MessageRecorder.h"
#include "upload/RestoreData.h"
#include "upload/UploadTransfer.h"

#include <QRegularExpression>
#include <QtTest>
#include <random>

using namespace kovrin;

static const kovrin::FixedClock kEvening(QDateTime(QDate(2026, 3, 25), QTime(18, 0)));

namespace {

constexpr int kFrames = 15;
constexpr int kRuns = 30;
const QString kAgent = QStringLiteral("005            ");

QString accountNumber(int i) {
    return QString::number(100000 + i).rightJustified(15, u'0');
}

QVector<BankDataRow> accounts() {
    QVector<BankDataRow> rows;
    for (int i = 0; i < kFrames; ++i) {
        BankDataRow r;
        r.AgentID = kAgent;
        r.BranchID = "BR001          ";
        r.CategoryCode = "S";
        r.SchemeCode = "DDS01";
        r.ACNumber = accountNumber(i);
        r.ACName = QString("DEPOSITOR %1").arg(kFrames - i).leftJustified(50);
        r.BalAmount = "00012345";
        r.AgreedAmount = "00100";
        r.MyDate = "150309";
        r.BankSoftACNumber = QString("BS%1").arg(i, 13, 10, QChar('0'));
        rows << r;
    }
    return rows;
}

// Count, header and kFrames transaction frames of seven collections each.
QVector<QByteArray> dayFrames() {
    QVector<QByteArray> f;
    QVector<QByteArray> tx;
    qint64 total = 0;
    int number = 0;
    for (int i = 0; i < kFrames; ++i) {
        QVector<sim::CollectedTransaction> t;
        for (int k = 0; k < 7; ++k) {
            const qint64 amount = 10 + (i * 7 + k) * 13 % 990;
            total += amount;
            t << sim::CollectedTransaction{amount, QDate(2026, 3, 25), QTime(8 + k, i), ++number};
        }
        tx << sim::buildTransactionFrame(i + 2, "S", "DDS01", accountNumber(i), t, false).frame;
    }
    f << sim::buildCountFrame(kFrames, kAgent).frame;
    f << sim::buildDayHeaderFrame("0050325", number, total).frame;
    return f + tx;
}

struct Outcome {
    bool stored = false;
    int resumedAt = 0;   // the record a cut upload went on from
    bool ended = false;  // the transfer is no longer under way
    QStringList messages;
    QVector<QByteArray> frames;  // as handed to the store
    QVector<RestoreDataRow> rows;
    QMap<QString, QByteArray> files;  // name -> bytes, of the bank and BackupData folders
};

QMap<QString, QByteArray> filesIn(const QStringList& folders) {
    QMap<QString, QByteArray> out;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({"*.txt"}, QDir::Files)) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::ReadOnly);
            out[QDir(folder).dirName() + "/" + name] = f.readAll();
        }
    }
    return out;
}

// The backup file lists each frame as received, its nine header bytes included. The checksum
// covers only what follows them: a frame numbered wrongly, or with a garbled header byte, is
// taken for its contents, which are the clean run's.
QByteArray withoutFrameHeaders(const QByteArray& file) {
    static const QRegularExpression number(QStringLiteral("\\[[1-9]\\] [0-9A-F]{2}  "));
    return QString::fromLatin1(file).remove(number).toLatin1();
}

// An upload; when `cutAt` is given, the program ends once that many transaction records are
// in, and a program started anew on the same folder and database receives the upload again.
Outcome runUpload(const sim::TerminalConfig& config, int cutAt = 0) {
    Outcome out;
    test::DownloadFixture fx;
    test::MessageRecorder rec;
    BankDataStore(*fx.db).replaceAgentRows(kAgent, accounts());
    sim::PtyDevice device;
    if (!device.openPty().isEmpty()) {
        return out;
    }
    sim::Terminal terminal(config);
    terminal.setUploadFrames(dayFrames());
    QObject::connect(&device, &sim::PtyDevice::received, &terminal, &sim::Terminal::feed);
    QObject::connect(&terminal, &sim::Terminal::output, &device, &sim::PtyDevice::write);
    QDir(fx.pf.path()).mkpath("ports");
    QFile::link(device.devicePath(), fx.pf.filePath("ports/com1"));
    bool stored = false;
    // One run of the program: its own line, store and transfer on the fixture's folder.
    const auto receive = [&](int cut) {
        link::SerialPortLink port(fx.pf.path(), [] { return QString("1"); });
        RestoreData restore(*fx.db, fx.settings, fx.pf.folder());
        restore.setClock(kEvening);
        UploadTransfer tx(port, *fx.log, [&](const UploadData& d, const MessageFunction& message) {
            out.frames = d.RecordFrames;
            const RestoreOutcome r = restore.run(d, message);
            stored = r.stored;
            return RestoreResult{r.safe || r.nothingToStore, r.totalsDiffer};
        });
        tx.setKeepFolder(fx.pf.path());
        // A 137-byte reply takes 71 ms at 19200 baud.
        tx.setTimings({150, 1000, 5, 30});
        bool closed = false;
        QObject::connect(&tx, &UploadTransfer::closeRequested, [&closed] { closed = true; });
        QObject::connect(&tx, &UploadTransfer::resumed, [&out](int r) { out.resumedAt = r; });
        QObject::connect(&tx, &UploadTransfer::progress, &tx, [&tx, cut](int received, int) {
            if (received == cut) {
                QTimer::singleShot(0, &tx, [&tx] { tx.stop(QStringLiteral("the program ended")); });
            }
        });
        tx.Form_Load();
        tx.cmdSend_Click();
        // Over once the store has run, or the transfer gave up (a message said why).
        bool expired = false;
        QTimer::singleShot(60000, &tx, [&expired] { expired = true; });
        while (tx.isActive() && !closed && !expired) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        out.ended = !tx.isActive() || closed;
        tx.stop();
    };
    if (cutAt > 0) {
        receive(cutAt);
    }
    receive(0);
    out.stored = stored;
    out.messages = rec.texts();
    out.rows = RestoreDataStore(*fx.db).agentRows(kAgent);
    out.files = filesIn({fx.bankFolder, fx.pf.filePath("BackupData")});
    return out;
}

sim::TerminalConfig noisyLine(quint32 seed) {
    std::mt19937 rng(seed);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    sim::TerminalConfig c;
    c.mode = sim::Mode::Upload;
    c.paced = true;
    sim::Faults& f = c.faults;
    f.seed = seed;
    f.corruptRate = std::array{0.0, 0.0005, 0.001, 0.003}[size_t(pick(0, 3))];
    f.dropRate = std::array{0.0, 0.0005, 0.002}[size_t(pick(0, 2))];
    // The timing of a real terminal: a reply after the PC's time-out, a reply sent twice,
    // stray bytes after a reply.
    for (int i = pick(0, 2); i > 0; --i) {
        f.lateAt[pick(0, kFrames + 1)] = pick(200, 400);
    }
    for (int i = pick(0, 2); i > 0; --i) {
        f.twiceAt.insert(pick(0, kFrames + 1));
    }
    for (int i = pick(0, 2); i > 0; --i) {
        f.strayAt[pick(0, kFrames + 1)] = pick(1, 20);
    }
    for (int i = pick(0, 2); i > 0; --i) {
        f.nackAt.insert(pick(0, kFrames + 1));
    }
    for (int i = pick(0, 2); i > 0; --i) {
        f.wrongNumberAt.insert(pick(0, kFrames + 1));
    }
    for (int i = pick(0, 2); i > 0; --i) {
        f.silentAt[pick(0, kFrames + 1)] += pick(1, 3);
    }
    for (int i = pick(0, 1); i > 0; --i) {
        f.badChecksumAt.insert(pick(0, kFrames + 1));
    }
    if (pick(0, 3) == 0) {
        f.splitPieces = pick(2, 5);
        f.splitDelayMs = 2;
    }
    return c;
}

}  // namespace

class TestSoakUpload : public QObject {
    Q_OBJECT
private slots:
    void noisyLines();
};

void TestSoakUpload::noisyLines() {
    const Outcome clean = runUpload([] {
        sim::TerminalConfig c;
        c.mode = sim::Mode::Upload;
        c.paced = true;
        return c;
    }());
    QVERIFY(clean.stored);
    QCOMPARE(clean.rows.size(), kFrames * 7);
    QCOMPARE(clean.messages, QStringList{"Upload Completed Successfully"});
    QCOMPARE(clean.files.size(), 3);  // bank upload, backup and check files

    // Cut half-way and taken up by a program started anew: only the records it lacks are
    // asked for, and it stores the same rows and files.
    const Outcome resumed = runUpload(
        [] {
            sim::TerminalConfig c;
            c.mode = sim::Mode::Upload;
            c.paced = true;
            return c;
        }(),
        kFrames / 2);
    QVERIFY(resumed.stored);
    QCOMPARE(resumed.resumedAt, kFrames / 2 + 2);
    QCOMPARE(resumed.rows, clean.rows);
    QCOMPARE(resumed.files.keys(), clean.files.keys());
    for (auto it = clean.files.cbegin(); it != clean.files.cend(); ++it) {
        QCOMPARE(resumed.files.value(it.key()), it.value());
    }
    QCOMPARE(resumed.messages, QStringList{"Upload Completed Successfully"});

    const QStringList known{
        "Upload Completed Successfully", "No Acknowledgement from HandHeld Terminal",
        "Please Check the Communication Cable",
        "Error in CRC,Press OK to try again or Cancel to Quit",
        "The HandHeld Terminal does not answer the request for its records. Put the terminal in "
        "Upload Mode, check the cable, then press Receive again."};
    int identical = 0;
    int endedWithMessage = 0;
    int checksumBlind = 0;
    for (quint32 seed = 1; seed <= kRuns; ++seed) {
        const Outcome o = runUpload(noisyLine(seed));
        const QByteArray id = "seed " + QByteArray::number(seed);
        QVERIFY2(o.ended, id + ": still receiving after a minute");
        if (o.stored && o.rows != clean.rows) {
            // Allowed only when a frame garbled past the checksum was stored: its own slot,
            // its checksum right, its contents not the terminal's.
            bool blind = false;
            for (int k = 0; k < o.frames.size() && k < clean.frames.size(); ++k) {
                blind = blind ||
                        (o.frames[k].mid(9) != clean.frames[k].mid(9) &&
                         link::CheckCRC(o.frames[k]) && link::recordNumberOf(o.frames[k]) == k);
            }
            QVERIFY2(blind, id + ": rows differ from the clean run's");
            ++checksumBlind;
            continue;
        }
        if (o.stored) {
            QVERIFY2(o.files.keys() == clean.files.keys(), id);
            for (auto it = clean.files.cbegin(); it != clean.files.cend(); ++it) {
                QVERIFY2(
                    withoutFrameHeaders(o.files.value(it.key())) == withoutFrameHeaders(it.value()),
                    id + ": " + it.key().toLatin1());
            }
            QVERIFY2(o.messages.last() == "Upload Completed Successfully", id);
            for (const QString& m : o.messages) {
                QVERIFY2(known.contains(m), qPrintable(id + ": " + m));
            }
            ++identical;
        } else {
            // Nothing stored: the agent has no rows and no listing was written.
            QVERIFY2(o.rows.isEmpty(), id);
            QVERIFY2(!o.messages.isEmpty(), id);
            ++endedWithMessage;
        }
    }
    qInfo(
        "upload soak at 19200 baud: %d runs, %d stored rows and files identical to the clean "
        "run, %d ended with a message and nothing stored, %d stored a frame garbled past the "
        "checksum",
        kRuns, identical, endedWithMessage, checksumBlind);
    QCOMPARE(identical + endedWithMessage + checksumBlind, int(kRuns));
    QVERIFY(identical >= kRuns - 5);
    QVERIFY(checksumBlind <= 2);
}

QTEST_GUILESS_MAIN(TestSoakUpload)
#include "tst_soakupload.moc"
