// The Transfer Station over pseudo-terminals, several simulated terminals at once, through
// its screen: downloads and uploads side by side end as each would alone; a terminal that
// fails leaves the others to complete; a prompt waits in its row only; rows finishing
// together both store; the keyboard, the ports in use and busy ports.
#include "app/AppContext.h"
#include "db/BankDataStore.h"
#include "db/RestoreDataStore.h"
#include "db/StationPortStore.h"
#include "download/DownloadFixture.h"
#include "hht-sim/PtyDevice.h"
#include "hht-sim/Terminal.h"
#include "hht-sim/TerminalFrames.h"
#include "link/Frame.h"
#include "link/SerialPortLink.h"
#include "station/FrmStation.h"
#include "station/Station.h"
#include "support/FakeSerialLink.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"
#include "upload/FrmReceive.h"
#include "upload/UploadTransfer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSqlQuery>
#include <QtTest>

using namespace kovrin;

namespace {

const FixedClock kMorning(QDateTime(QDate(2026, 3, 25), QTime(8, 30, 15)));
const DownloadTimings kDownloadTimings{10, 300, 1500, 60};
const UploadTimings kUploadTimings{300, 1500, 20, 60};
const QString kCable = QStringLiteral("Please Check the Communication Cable");
const QString kNotInDownloadMode =
    QStringLiteral("Please goto Download Mode in the HandHeld Terminal and then Send Data!");
// In the station's words: a row is started again with its Start button.
const QString kNoAnswer = QStringLiteral(
    "The HandHeld Terminal does not answer the request for its records. Put the terminal in "
    "Upload Mode, check the cable, then press Start again.");

// One terminal's work: a download of `size` accounts, or an upload of `size` transaction
// frames, for agent `agent` on port `port`.
struct Job {
    int port = 1;
    StationDirection direction = StationDirection::Download;
    int agent = 1;
    int size = 30;

    bool isDownload() const { return direction == StationDirection::Download; }
    QString agentId() const {
        return QString::number(agent).rightJustified(3, '0').leftJustified(15);
    }
    QString key() const { return QString::number(agent).rightJustified(3, '0') + "2503"; }
};

QString accountNumber(int agent, int i) {
    return QString::number(agent * 100000 + i).rightJustified(15, '0');
}

// The frames a terminal serves for an upload job: count, day header, transaction frames of
// up to seven collections each.
QVector<QByteArray> uploadFrames(const Job& job) {
    QVector<QByteArray> transactions;
    qint64 total = 0;
    int number = 0;
    for (int i = 0; i < job.size; ++i) {
        QVector<sim::CollectedTransaction> t;
        for (int k = 0; k < 1 + (i + job.agent) % 7; ++k) {
            const qint64 amount = 10 + (i * 7 + k + job.agent) % 990;
            total += amount;
            t << sim::CollectedTransaction{amount, QDate(2026, 3, 24), QTime(8 + k, i % 60),
                                           ++number};
        }
        transactions << sim::buildTransactionFrame(i + 2, "S", "DDS01", accountNumber(job.agent, i),
                                                   t, false)
                            .frame;
    }
    QVector<QByteArray> frames;
    frames << sim::buildCountFrame(job.size, job.agentId()).frame
           << sim::buildDayHeaderFrame(job.key(), number, total).frame;
    return frames + transactions;
}

// The accounts an upload job's collections are matched against.
QVector<BankDataRow> downloadedAccounts(const Job& job) {
    QVector<BankDataRow> rows;
    for (int i = 0; i < job.size; ++i) {
        BankDataRow r;
        r.AgentID = job.agentId();
        r.BranchID = "BR001          ";
        r.CategoryCode = "S";
        r.SchemeCode = "DDS01";
        r.ACNumber = accountNumber(job.agent, i);
        r.CustomerCode = QString("C%1").arg(i, 5, 10, QChar('0'));
        r.ACName = QString("DEPOSITOR %1").arg(i).leftJustified(50);
        r.BalAmount = "00012345";
        r.AgreedAmount = "00100";
        r.OpeningDate = "010120";
        r.Txndate = "240326";
        r.FileName = "bank/" + job.key() + "d.txt";
        r.MyDate = "150309";
        r.BankSoftACNumber = QString("BS%1").arg(i, 13, 10, QChar('0'));
        rows << r;
    }
    return rows;
}

// What a job left behind: on the terminal for a download, in the database and the files for
// an upload.
struct Outcome {
    QString state;
    QString message;
    QByteArray header;
    QMap<int, QByteArray> accounts;
    QList<QByteArray> files;
    int storedRows = 0;

    bool operator==(const Outcome& o) const {
        return state == o.state && message == o.message && header == o.header &&
               accounts == o.accounts && files == o.files && storedRows == o.storedRows;
    }
};

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A program folder with its database and a bank folder, the Transfer Station screen over
// it, and simulated terminals on pseudo-terminals linked as ports/comN.
class Rig : public QObject {
public:
    struct Sim {
        std::unique_ptr<sim::PtyDevice> device;
        std::unique_ptr<sim::Terminal> terminal;
        // The answer to this record waits until release() (-1: none is held).
        int holdRecord = -1;
        QByteArray held;
    };

    Rig() {
        QString error;
        ctx = AppContext::startUp(pf.folder(), &error, kMorning);
        if (!ctx) {
            qFatal("the program could not start: %s", qPrintable(error));
        }
        QDir(pf.path()).mkpath("bank");
        QDir(pf.path()).mkpath("ports");
        AppSettings& s = ctx->settings();
        s.BankName = "Kovrin Co-operative Bank";
        s.BranchName = "Market Road";
        s.FontSize = "1";
        s.CommPort = "9";
        s.BankInfoPath = pf.filePath("bank");
        screen = std::make_unique<FrmStation>(*ctx);
        screen->station().setTimings(kDownloadTimings, kUploadTimings);
        screen->show();
        rec.clear();  // the start-up's message about the settings row
    }
    ~Rig() override {
        screen.reset();
        sims.clear();
    }

    StationRow& row(int port) { return screen->station().row(port); }
    template <typename W>
    W* control(const char* base, int port) {
        return screen->findChild<W*>(QLatin1String(base) + QString::number(port));
    }
    QString state(int port) {
        return StationRow::stateText(row(port).state(), row(port).entries().direction);
    }

    // A terminal for the job on its port, in the job's mode unless `otherMode`.
    Sim& attach(const Job& job, sim::TerminalConfig config = {}, bool otherMode = false) {
        const bool download = job.isDownload() != otherMode;
        config.mode = download ? sim::Mode::Download : sim::Mode::Upload;
        Sim& s = sims[job.port];
        s.device = std::make_unique<sim::PtyDevice>();
        const QString error = s.device->openPty();
        if (!error.isEmpty()) {
            qFatal("no pseudo-terminal: %s", qPrintable(error));
        }
        s.terminal = std::make_unique<sim::Terminal>(config);
        if (!download) {
            s.terminal->setUploadFrames(uploadFrames(job));
        }
        connect(s.device.get(), &sim::PtyDevice::received, s.terminal.get(), &sim::Terminal::feed);
        connect(s.terminal.get(), &sim::Terminal::output, this,
                [this, port = job.port](const QByteArray& bytes) {
                    Sim& t = sims[port];
                    if (t.holdRecord >= 0 && link::recordNumberOf(bytes) == t.holdRecord) {
                        t.held = bytes;
                        return;
                    }
                    if (t.device) {
                        t.device->write(bytes);
                    }
                });
        const QString link = pf.filePath(QString("ports/com%1").arg(job.port));
        QFile::remove(link);
        QFile::link(s.device->devicePath(), link);
        if (job.isDownload()) {
            const QByteArray agent = QByteArray::number(job.agent).rightJustified(3, '0');
            QFile f(pf.filePath("bank/" + job.key() + "d.txt"));
            f.open(QIODevice::WriteOnly);
            f.write(test::downloadFile(job.size, agent));
        } else {
            BankDataStore(ctx->db()).replaceAgentRows(job.agentId(), downloadedAccounts(job));
        }
        return s;
    }

    // The job's entries typed into its row.
    void type(const Job& job) {
        control<QLineEdit>("txtAgent", job.port)->setText(QString::number(job.agent));
        control<QLineEdit>("txtDate", job.port)->setText(job.isDownload() ? "2503" : "");
        control<QLineEdit>("txtTransact", job.port)->setText(job.isDownload() ? "3" : "");
        control<QComboBox>("cmbDirection", job.port)->setCurrentIndex(job.isDownload() ? 0 : 1);
    }

    bool ended(int port) { return !row(port).isBusy() && row(port).state() != RowState::Idle; }

    Outcome outcome(const Job& job) {
        Outcome o;
        o.state = state(job.port);
        o.message = row(job.port).lastMessage();
        if (job.isDownload()) {
            o.header = sims[job.port].terminal->downloadHeader();
            o.accounts = sims[job.port].terminal->downloadAccounts();
        } else {
            o.files = {
                readFile(pf.filePath("bank/" + job.key() + "u.txt")),
                readFile(pf.filePath("BackupData/" + job.key() + "uCheck.txt")),
                readFile(pf.filePath(
                    QString("BackupData/%1_25_03_26.txt").arg(job.agent, 3, 10, QChar('0'))))};
            o.storedRows = RestoreDataStore(ctx->db()).agentRows(job.agentId()).size();
        }
        return o;
    }

    QStringList lines(const QString& path) {
        return QString::fromUtf8(readFile(path)).split('\n', Qt::SkipEmptyParts);
    }

    test::TempProgramFolder pf;
    test::MessageRecorder rec;
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<FrmStation> screen;
    std::map<int, Sim> sims;
};

// Runs the jobs at once with Start All and waits until every row has ended.
QMap<int, Outcome> runTogether(const QList<Job>& jobs) {
    Rig rig;
    for (const Job& j : jobs) {
        rig.attach(j);
        rig.type(j);
    }
    rig.screen->cmdStartAll_Click();
    QMap<int, Outcome> out;
    for (const Job& j : jobs) {
        if (!QTest::qWaitFor([&] { return rig.ended(j.port); }, 30000)) {
            qWarning("port %d did not end: %s", j.port, qPrintable(rig.row(j.port).lastMessage()));
        }
    }
    for (const Job& j : jobs) {
        out.insert(j.port, rig.outcome(j));
    }
    return out;
}

}  // namespace

class TestStation : public QObject {
    Q_OBJECT
private slots:
    void severalAtOnceEndAsEachAlone();
    void oneTerminalFailsTheOthersComplete_data();
    void oneTerminalFailsTheOthersComplete();
    void promptsWaitInTheirOwnRows_data();
    void promptsWaitInTheirOwnRows();
    void rowsFinishingTogetherBothStore();
    void agentServedByOneScreenAtATime();
    void keyboardRowByRow();
    void rowKeysStartAndStop_data();
    void rowKeysStartAndStop();
    void portsInUseAreKept();
    void busyPortsBothWays();
};

// Four downloads and four uploads on eight ports at once: what each terminal holds, and the
// rows and files of each upload, are byte for byte those of the same transfer run alone.
// The day's transfer log names the port on every line; operator.log the port of each message.
void TestStation::severalAtOnceEndAsEachAlone() {
    const QList<Job> jobs = {
        {1, StationDirection::Download, 1, 30}, {2, StationDirection::Upload, 5, 12},
        {3, StationDirection::Download, 2, 45}, {4, StationDirection::Upload, 6, 9},
        {5, StationDirection::Download, 3, 20}, {6, StationDirection::Upload, 7, 15},
        {7, StationDirection::Download, 4, 35}, {8, StationDirection::Upload, 8, 10}};
    QMap<int, Outcome> alone;
    for (const Job& j : jobs) {
        alone.insert(j.port, runTogether({j}).value(j.port));
        QCOMPARE(alone[j.port].state, QString("Completed"));
    }

    Rig rig;
    for (const Job& j : jobs) {
        rig.attach(j);
        rig.type(j);
    }
    auto* startAll = rig.screen->findChild<QPushButton*>("cmdStartAll");
    QCOMPARE(startAll->shortcut(), QKeySequence("Alt+A"));
    startAll->click();
    for (const Job& j : jobs) {
        QVERIFY2(rig.row(j.port).isBusy(), qPrintable(rig.row(j.port).lastMessage()));  // at once
    }
    for (const Job& j : jobs) {
        QVERIFY2(QTest::qWaitFor([&] { return rig.ended(j.port); }, 30000),
                 qPrintable(QString::number(j.port)));
    }
    for (const Job& j : jobs) {
        const Outcome together = rig.outcome(j);
        QVERIFY2(
            together == alone[j.port],
            qPrintable(
                QString("port %1: %2 / %3").arg(j.port).arg(together.state, together.message)));
        QCOMPARE(together.state, QString("Completed"));
        if (j.isDownload()) {
            QCOMPARE(together.accounts.size(), j.size);
            QCOMPARE(together.message, QString("Download Completed Successfully!"));
            QVERIFY(rig.control<QLineEdit>("txtAgent", j.port)->text().isEmpty());  // done
        } else {
            QCOMPARE(together.message, QString("Upload Completed Successfully"));
            QVERIFY(together.storedRows > 0);
        }
    }

    // Every line of the day's log names its port; each port's transfer begins and ends once.
    const QStringList log = rig.lines(rig.ctx->transferLog().currentFilePath());
    const QRegularExpression line(
        "^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} port ([1-8]) "
        "(BEGIN|TX|RX|EVENT|END) ");
    QMap<int, QStringList> sections;
    for (const QString& l : log) {
        const QRegularExpressionMatch m = line.match(l);
        QVERIFY2(m.hasMatch(), qPrintable(l));
        if (m.captured(2) == "BEGIN" || m.captured(2) == "END") {
            sections[m.captured(1).toInt()] << l.section(' ', 3);
        }
    }
    QCOMPARE(sections.size(), jobs.size());
    for (const Job& j : jobs) {
        QCOMPARE(sections[j.port].size(), 2);
        QVERIFY(sections[j.port][0].startsWith(j.isDownload() ? "BEGIN download" : "BEGIN upload"));
        QVERIFY(sections[j.port][1].startsWith("END completed"));
    }
    const QStringList ops = rig.lines(rig.ctx->operatorLog().filePath());
    for (const Job& j : jobs) {
        const QString text = QString("\tfrmStation\tPort %1: %2")
                                 .arg(j.port)
                                 .arg(j.isDownload() ? "Download Completed Successfully!"
                                                     : "Upload Completed Successfully");
        QVERIFY2(
            std::any_of(ops.begin(), ops.end(), [&](const QString& l) { return l.endsWith(text); }),
            qPrintable(text));
    }
    QVERIFY(rig.rec.messages.isEmpty());  // no message box of the program's
}

// One row's terminal fails while three others (two downloads, one upload) complete.
void TestStation::oneTerminalFailsTheOthersComplete_data() {
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("message");  // the row's message starts with it
    const int down = int(StationDirection::Download);
    const int up = int(StationDirection::Upload);
    QTest::newRow("download, silent") << down << "silent"
                                      << "Sending" << kCable;
    QTest::newRow("download, pulled") << down << "pulled"
                                      << "Failed"
                                      << "Serial port 1 (";
    QTest::newRow("download, wrong mode") << down << "wrong mode"
                                          << "Failed" << kNotInDownloadMode;
    QTest::newRow("upload, silent") << up << "silent"
                                    << "Failed" << kNoAnswer;
    QTest::newRow("upload, pulled") << up << "pulled"
                                    << "Failed"
                                    << "Serial port 1 (";
    QTest::newRow("upload, wrong mode") << up << "wrong mode"
                                        << "Failed" << kNoAnswer;
    // The row typed agent 9; the terminal on its port holds agent 7's day.
    QTest::newRow("upload, another agent's terminal")
        << up << "other agent"
        << "Failed"
        << "The terminal on this port holds the collections of agent 007, not of agent 9 as "
           "typed: nothing was received or stored, and the terminal keeps its collections. "
           "Connect agent 9's terminal, or correct the agent, then press Start again.";
    // What is stored differs from the terminal's totals: the row keeps the outcome and asks
    // in the row whether to tell the terminal (No: it keeps its day, the row its entries).
    QTest::newRow("upload, totals differ") << up << "totals differ"
                                           << "Answer needed"
                                           << "Serious Problem While Uploading ";
    // The store fails: the cause and what to do, both whole; Stop asks before the frames
    // kept for Store Again are dropped.
    QTest::newRow("upload, store fails")
        << up << "store fails"
        << "Not stored"
        << "The collections could not be stored in table RestoreData: disk full. The agent's "
           "earlier rows are kept as they were.\nThe collections of this upload are not safe "
           "yet";
}

void TestStation::oneTerminalFailsTheOthersComplete() {
    QFETCH(int, direction);
    QFETCH(QString, fault);
    QFETCH(QString, state);
    QFETCH(QString, message);
    Rig rig;
    const Job failing{1, StationDirection(direction), 9, 20};
    const QList<Job> others = {{2, StationDirection::Download, 1, 40},
                               {3, StationDirection::Upload, 5, 15},
                               {4, StationDirection::Download, 2, 40}};
    sim::TerminalConfig config;
    config.faults.silentFirst = fault == "silent" ? 1000000 : 0;
    Rig::Sim& sim = rig.attach(failing, config, fault == "wrong mode");
    if (fault == "other agent") {
        sim.terminal->setUploadFrames(uploadFrames({1, StationDirection::Upload, 7, 20}));
    } else if (fault == "totals differ") {
        QVector<QByteArray> frames = uploadFrames(failing);
        frames[1] = sim::buildDayHeaderFrame(failing.key(), 1, 1).frame;
        sim.terminal->setUploadFrames(frames);
    } else if (fault == "store fails") {
        QSqlQuery q(rig.ctx->db().handle());
        QVERIFY(
            q.exec("CREATE TEMP TRIGGER fail BEFORE INSERT ON RestoreData WHEN NEW.AgentID = "
                   "'009            ' BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    }
    if (fault == "pulled") {
        connect(sim.terminal.get(), &sim::Terminal::frameReceived, &rig, [&](const QByteArray& f) {
            if (link::recordNumberOf(f) == 4) {
                QTimer::singleShot(0, &rig, [&] { rig.sims[1].device.reset(); });
            }
        });
    }
    rig.type(failing);
    for (const Job& j : others) {
        rig.attach(j);
        rig.type(j);
    }
    rig.screen->cmdStartAll_Click();
    for (const Job& j : others) {
        QVERIFY(QTest::qWaitFor([&] { return rig.ended(j.port); }, 30000));
        QCOMPARE(rig.state(j.port), QString("Completed"));
    }
    QVERIFY2(
        QTest::qWaitFor(
            [&] { return rig.state(1) == state && rig.row(1).lastMessage().startsWith(message); },
            15000),
        qPrintable(rig.state(1) + ": " + rig.row(1).lastMessage()));
    // The row shows its message whole (or the question waiting in it), all in the tooltip.
    QVERIFY(rig.control<QLabel>("lblMessage", 1)
                ->text()
                .startsWith(rig.row(1).prompt().isEmpty() ? message : rig.row(1).prompt()));
    QVERIFY(
        rig.control<QLabel>("lblMessage", 1)->toolTip().startsWith(message.section('\n', 0, 0)));
    QCOMPARE(rig.sims[2].terminal->downloadAccounts().size(), 40);
    QCOMPARE(RestoreDataStore(rig.ctx->db()).uploadInfo(others[1].agentId())->AgentDateKey,
             others[1].key());
    const QStringList ops = rig.lines(rig.ctx->operatorLog().filePath());
    QVERIFY(std::any_of(ops.begin(), ops.end(), [&](const QString& l) {
        return l.contains("\tfrmStation\tPort 1: " + message.section('\n', 0, 0));
    }));
    if (fault == "totals differ") {
        QCOMPARE(rig.control<QPushButton>("cmdOk", 1)->text(), QString("&Yes"));
        QCOMPARE(rig.control<QPushButton>("cmdCancel", 1)->text(), QString("&No"));
        QCOMPARE(rig.control<QLabel>("lblMessage", 1)->text(), rig.row(1).prompt());
        QVERIFY(QTest::qWaitForWindowActive(rig.screen.get()));
        QTest::keyClick(rig.screen.get(), Qt::Key_N, Qt::AltModifier);  // No, by its access key
        QTRY_COMPARE(rig.state(1), QString("Differs"));
        QVERIFY(
            rig.row(1).lastMessage().startsWith("The collections stored differ from the "
                                                "terminal's own totals"));
        QCOMPARE(rig.control<QLineEdit>("txtAgent", 1)->text(), QString("9"));  // kept
        QTest::qWait(100);
        QVERIFY(!rig.sims[1].terminal->endReceived());  // the terminal keeps its day
    } else if (fault == "store fails") {
        QVERIFY(rig.row(1).lastMessage().endsWith("then press Store Again on this row."));
        rig.rec.answerNext(MsgAnswer::No);
        rig.control<QPushButton>("cmdStop", 1)->click();
        QCOMPARE(rig.state(1), QString("Not stored"));  // kept for Store Again
        rig.control<QPushButton>("cmdStop", 1)->click();
        QCOMPARE(rig.state(1), QString("Stopped"));
        QCOMPARE(rig.rec.messages.size(), 2);
        QVERIFY(rig.rec.last().text.startsWith("Port 1 holds an upload that is not stored yet."));
        QVERIFY(QFile::exists(rig.pf.filePath("BackupData/0092503-partial.kept")));
        rig.rec.clear();
    }
    if (rig.row(1).isBusy()) {
        // A silent terminal: the download goes on trying until the row is stopped.
        rig.control<QPushButton>("cmdStop", 1)->click();
        QCOMPARE(rig.state(1), QString("Stopped"));
    }
    QVERIFY(rig.rec.messages.isEmpty());
}

// Two uploads reach the checksum prompt (every answer to record 3 is damaged) while two
// downloads run: the downloads complete while both prompts wait, each in its row. The row
// asked first is answered first and goes on at once, though the other still waits.
void TestStation::promptsWaitInTheirOwnRows_data() {
    QTest::addColumn<int>("first");   // the answer of the row asked first
    QTest::addColumn<int>("second");  // the answer of the other
    QTest::addColumn<bool>("byKey");  // the other answers with its access key (Alt+K, Alt+C)
    QTest::newRow("OK, OK") << int(MsgAnswer::Ok) << int(MsgAnswer::Ok) << false;
    QTest::newRow("OK, Cancel") << int(MsgAnswer::Ok) << int(MsgAnswer::Cancel) << false;
    QTest::newRow("Cancel, OK") << int(MsgAnswer::Cancel) << int(MsgAnswer::Ok) << false;
    QTest::newRow("OK, Cancel by key") << int(MsgAnswer::Ok) << int(MsgAnswer::Cancel) << true;
    QTest::newRow("Cancel, OK by key") << int(MsgAnswer::Cancel) << int(MsgAnswer::Ok) << true;
}

void TestStation::promptsWaitInTheirOwnRows() {
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, byKey);
    const QString prompt = "Error in CRC,Press OK to try again or Cancel to Quit";
    Rig rig;
    const QList<Job> uploads = {{1, StationDirection::Upload, 5, 8},
                                {2, StationDirection::Upload, 6, 8}};
    const QList<Job> downloads = {{3, StationDirection::Download, 1, 60},
                                  {4, StationDirection::Download, 2, 60}};
    QList<int> asked;
    for (const Job& j : uploads) {
        QVector<QByteArray> frames = uploadFrames(j);
        frames[3][136] = char(frames[3][136] ^ 0x01);
        rig.attach(j).terminal->setUploadFrames(frames);
        rig.type(j);
        connect(&rig.row(j.port), &StationRow::changed, &rig, [&, port = j.port] {
            if (rig.row(port).state() == RowState::Asking && !asked.contains(port)) {
                asked << port;
            }
        });
    }
    for (const Job& j : downloads) {
        rig.attach(j);
        rig.type(j);
    }
    rig.screen->cmdStartAll_Click();
    QVERIFY(QTest::qWaitFor([&] { return asked.size() == 2; }, 30000));
    for (const Job& j : downloads) {
        QVERIFY(QTest::qWaitFor([&] { return rig.ended(j.port); }, 30000));
        QCOMPARE(rig.state(j.port), QString("Completed"));
    }
    for (const Job& j : uploads) {
        QCOMPARE(rig.state(j.port), QString("Answer needed"));  // still waiting
        QCOMPARE(rig.row(j.port).prompt(), prompt);
        QVERIFY(rig.control<QPushButton>("cmdOk", j.port)->isVisible());
        QVERIFY(rig.control<QPushButton>("cmdCancel", j.port)->isVisible());
        QCOMPARE(rig.control<QPushButton>("cmdOk", j.port)->text(), QString("O&K"));
        rig.sims[j.port].terminal->setUploadFrames(uploadFrames(j));  // the line is good again
    }

    // Two prompts in their rows do not widen the station past a screen 1280 pixels wide.
    QVERIFY2(rig.screen->minimumSizeHint().width() <= 1280,
             qPrintable(QString::number(rig.screen->minimumSizeHint().width())));
    QVERIFY(rig.screen->sizeHint().width() <= 1280);
    // At 1280 pixels every row shows whole: no scrolling sideways.
    rig.screen->resize(1280, 800);
    QTest::qWait(0);
    auto* rows = rig.screen->findChild<QScrollArea*>("scrRows");
    QVERIFY2(rows->widget()->minimumSizeHint().width() <= rows->viewport()->width(),
             qPrintable(QString::number(rows->widget()->minimumSizeHint().width())));
    QCOMPARE(rows->horizontalScrollBar()->maximum(), 0);
    const auto answer = [&](int port, int a) {
        rig.control<QPushButton>(a == int(MsgAnswer::Ok) ? "cmdOk" : "cmdCancel", port)->click();
    };
    const auto answerByKey = [&](int a) {
        QVERIFY(QTest::qWaitForWindowActive(rig.screen.get()));
        QTest::keyClick(rig.screen.get(), a == int(MsgAnswer::Ok) ? Qt::Key_K : Qt::Key_C,
                        Qt::AltModifier);
    };
    const auto expected = [](int a) { return a == int(MsgAnswer::Ok) ? "Completed" : "Stopped"; };
    answer(asked[0], first);
    QVERIFY(QTest::qWaitFor([&] { return rig.ended(asked[0]); }, 30000));
    QCOMPARE(rig.state(asked[0]), QString(expected(first)));
    QCOMPARE(rig.state(asked[1]), QString("Answer needed"));  // answered last, still waits
    if (byKey) {
        answerByKey(second);  // the one prompt left on the screen takes its access key
    } else {
        answer(asked[1], second);
    }
    QVERIFY(QTest::qWaitFor([&] { return rig.ended(asked[1]); }, 30000));
    QCOMPARE(rig.state(asked[1]), QString(expected(second)));
    for (const int port : {asked[0], asked[1]}) {
        const Job& j = uploads[port - 1];
        const int a = port == asked[0] ? first : second;
        QCOMPARE(rig.control<QPushButton>("cmdOk", port)->isVisible(), false);
        // OK: the upload went on and was stored whole; Cancel: nothing stored, and the
        // terminal was not told that the upload is over.
        QCOMPARE(rig.outcome(j).storedRows > 0, a == int(MsgAnswer::Ok));
        QTRY_COMPARE(rig.sims[port].terminal->endReceived(), a == int(MsgAnswer::Ok));
    }
    QVERIFY(rig.rec.messages.isEmpty());
}

// Two uploads whose last answers reach the PC at the same moment: both are stored, one
// after the other on the one connection, and each is what it would be alone.
void TestStation::rowsFinishingTogetherBothStore() {
    const QList<Job> jobs = {{1, StationDirection::Upload, 5, 14},
                             {2, StationDirection::Upload, 6, 14}};
    QMap<int, Outcome> alone;
    for (const Job& j : jobs) {
        alone.insert(j.port, runTogether({j}).value(j.port));
    }
    Rig rig;
    for (const Job& j : jobs) {
        rig.attach(j).holdRecord = j.size + 1;  // the last transaction record
        rig.type(j);
    }
    rig.screen->cmdStartAll_Click();
    QVERIFY(QTest::qWaitFor(
        [&] { return !rig.sims[1].held.isEmpty() && !rig.sims[2].held.isEmpty(); }, 30000));
    for (const Job& j : jobs) {  // both last answers on the line at once
        rig.sims[j.port].holdRecord = -1;
        rig.sims[j.port].device->write(rig.sims[j.port].held);
    }
    for (const Job& j : jobs) {
        QVERIFY(QTest::qWaitFor([&] { return rig.ended(j.port); }, 30000));
        QVERIFY(rig.outcome(j) == alone[j.port]);
        QCOMPARE(rig.state(j.port), QString("Completed"));
    }
    // Each store ran to its end before the other began.
    QStringList order;
    for (const QString& l : rig.lines(rig.ctx->transferLog().currentFilePath())) {
        if (l.contains("last record received") || l.contains(" END completed")) {
            order << l.section(' ', 1, 2) + (l.contains(" END ") ? " stored" : " storing");
        }
    }
    QCOMPARE(order.size(), 4);
    QCOMPARE(order[0].section(' ', 0, 1), order[1].section(' ', 0, 1));
    QCOMPARE(order[2].section(' ', 0, 1), order[3].section(' ', 0, 1));
}

// While a row's upload of agent 5 runs, the agent is served there, whatever another screen
// types or its terminal's count record writes ("5" or "005"): Write Files Again of agent 5
// and a second upload of agent 5 on Receive Data are refused until the row has ended.
void TestStation::agentServedByOneScreenAtATime() {
    Rig rig;
    const Job job{1, StationDirection::Upload, 5, 12};
    rig.attach(job).holdRecord = job.size + 1;  // the last record waits
    rig.type(job);
    QVERIFY(RestoreDataStore(rig.ctx->db())
                .replaceUpload({job.agentId(), job.key(), 0, 0, kMorning.now()}, {}));
    rig.screen->cmdStartAll_Click();
    QVERIFY(QTest::qWaitFor([&] { return !rig.sims[1].held.isEmpty(); }, 30000));

    test::FakeSerialLink line;
    FrmReceive receive(*rig.ctx, nullptr, &line);
    receive.show();
    QTRY_VERIFY(line.isOpen());
    receive.writeFilesAgain();
    receive.transfer().cmdSend_Click();
    line.inject(sim::buildCountFrame(3, "5              ").frame);
    QCOMPARE(rig.rec.texts(),
             QStringList({"Agent 005 is being served by port 1 of the Transfer Station now, so "
                          "writing its files again would race it. Wait until it has ended, then "
                          "try again.",
                          "Agent 5 is already being served by port 1 of the Transfer Station: one "
                          "terminal per agent at a time. Nothing was received or stored; once that "
                          "has ended, press Receive again."}));
    QVERIFY(!receive.transfer().isActive());

    rig.sims[1].holdRecord = -1;
    rig.sims[1].device->write(rig.sims[1].held);
    QVERIFY(QTest::qWaitFor([&] { return rig.ended(1); }, 30000));
    QCOMPARE(rig.state(1), QString("Completed"));
    rig.rec.clear();
    receive.writeFilesAgain();  // free again
    QCOMPARE(rig.rec.texts(), QStringList{"Upload Completed Successfully"});
}

// The keyboard goes row by row: agent, day, transactions, direction, Use, Start (Stop when
// it can be pressed), then the next row's agent; the entries take digits as on Send Data;
// Enter goes from the direction straight to the next row's agent.
void TestStation::keyboardRowByRow() {
    Rig rig;
    QVERIFY(QTest::qWaitForWindowActive(rig.screen.get()));
    rig.control<QLineEdit>("txtAgent", 1)->setFocus();
    const QStringList chain = {"txtDate1",      "txtTransact1", "cmbDirection1", "chkUse1",
                               "cmdStart1",     "txtAgent2",    "txtDate2",      "txtTransact2",
                               "cmbDirection2", "chkUse2",      "cmdStart2",     "txtAgent3"};
    for (const QString& next : chain) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
    }
    QLineEdit* agent = rig.control<QLineEdit>("txtAgent", 4);
    QTest::keyClicks(agent, "0a5x12");
    QCOMPARE(agent->text(), QString("051"));
    QTest::keyClick(agent, Qt::Key_Backspace);
    QCOMPARE(agent->text(), QString());
    QLineEdit* transact = rig.control<QLineEdit>("txtTransact", 4);
    QTest::keyClicks(transact, "8");
    QCOMPARE(transact->text(), QString());
    QTest::keyClicks(transact, "7");
    QCOMPARE(transact->text(), QString("7"));
    QTest::keyClick(transact, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("cmbDirection4"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("txtAgent5"));
    QCOMPARE(rig.screen->findChild<QPushButton*>("cmdStartAll")->text(), QString("Start &All"));
}

// Ctrl+N starts row N and Alt+N stops it (Ctrl+0 and Alt+0: row 10), as the row's own
// buttons would: a row that cannot start or stop is left alone. Closing the station while
// rows run stops them.
void TestStation::rowKeysStartAndStop_data() {
    QTest::addColumn<QString>("keys");    // "ctrl+2 alt+2"
    QTest::addColumn<QString>("states");  // port=state after the keys
    QTest::newRow("Ctrl+2 starts its row only") << "ctrl+2"
                                                << "2=Sending;3=;10=";
    QTest::newRow("Ctrl+0 starts row 10") << "ctrl+0"
                                          << "10=Sending;2=";
    QTest::newRow("Alt+2 stops its row") << "ctrl+2 ctrl+3 alt+2"
                                         << "2=Stopped;3=Sending";
    QTest::newRow("Alt+3 on a row that runs nothing") << "alt+3"
                                                      << "3=";
    QTest::newRow("Ctrl+4 on a port out of use") << "ctrl+4"
                                                 << "4=";
}

void TestStation::rowKeysStartAndStop() {
    QFETCH(QString, keys);
    QFETCH(QString, states);
    Rig rig;
    for (const int port : {2, 3, 4, 10}) {
        const Job job{port, StationDirection::Download, port, 600};
        rig.attach(job);
        rig.type(job);
    }
    rig.control<QCheckBox>("chkUse", 4)->click();
    QVERIFY(QTest::qWaitForWindowActive(rig.screen.get()));
    rig.control<QLineEdit>("txtAgent", 1)->setFocus();
    for (const QString& key : keys.split(' ')) {
        const int digit = key.right(1).toInt();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(Qt::Key_0 + digit),
                        key.startsWith("ctrl") ? Qt::ControlModifier : Qt::AltModifier);
    }
    for (const QString& expected : states.split(';')) {
        const int port = expected.section('=', 0, 0).toInt();
        QCOMPARE(rig.state(port), expected.section('=', 1));
    }
    rig.rec.answerNext(MsgAnswer::Yes);
    QVERIFY(rig.screen->close());  // the rows still running stop
    for (const StationRow* row : rig.screen->station().rows()) {
        QVERIFY(!row->isBusy());
    }
}

// Which ports the station uses is a setting in the database: a port taken out of use keeps
// its row shown but greyed, Start All passes it by, and a new screen finds it so.
void TestStation::portsInUseAreKept() {
    Rig rig;
    const Job job{2, StationDirection::Download, 1, 5};
    rig.attach(job);
    rig.type(job);
    rig.control<QCheckBox>("chkUse", 2)->click();
    QVERIFY(!rig.control<QLineEdit>("txtAgent", 2)->isEnabled());
    QVERIFY(rig.lines(rig.ctx->operatorLog().filePath())
                .last()
                .endsWith("AUDIT station ports changed: port 2 taken out of use"));
    // Start All with no row to start says so.
    rig.screen->cmdStartAll_Click();
    QVERIFY(rig.row(2).state() == RowState::Idle);
    QCOMPARE(rig.rec.texts(),
             QStringList{"No row was started: no free row of a port in use has its agent typed. "
                         "Type the agent (for a download also the day) in the rows to start, "
                         "then press Start All."});
    QVERIFY(!StationPortStore(rig.ctx->db()).load().value(2));
    QVERIFY(StationPortStore(rig.ctx->db()).load().value(3));
    FrmStation again(*rig.ctx);
    QVERIFY(!again.findChild<QCheckBox*>("chkUse2")->isChecked());
    QVERIFY(again.findChild<QCheckBox*>("chkUse3")->isChecked());
    // A row shows its port's device: a mapped adapter not plugged in is absent, its long
    // stable name shortened on the row and whole in the tooltip.
    const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0";
    rig.ctx->ports().setMapping({{7, {byId, "", "FT232R USB UART", "FTDI", "A1B2C3D4"}}});
    rig.screen->hide();
    rig.screen->show();  // looks at the devices again
    QLabel* device = rig.control<QLabel>("lblDevice", 7);
    QVERIFY(device->text().endsWith(" (absent)"));
    QVERIFY(device->text().size() < byId.size());
    QCOMPARE(device->toolTip(), byId +
                                    " (absent)\nMapped: usb-FTDI_FT232R_USB_UART_A1B2C3D4-"
                                    "if00-port0: FT232R USB UART, FTDI, serial A1B2C3D4");
    QCOMPARE(rig.control<QLabel>("lblDevice", 8)->text(), QString("no device"));
    // Back in use: the row starts.
    rig.control<QCheckBox>("chkUse", 2)->click();
    rig.screen->cmdStartAll_Click();
    QVERIFY(QTest::qWaitFor([&] { return rig.ended(2); }, 30000));
    QCOMPARE(rig.state(2), QString("Completed"));
}

// A port held by the Receive Data screen is busy for its row, and a port a row holds is busy
// for the Send Data screen; the row says which screen holds it.
void TestStation::busyPortsBothWays() {
    Rig rig;
    const Job job{3, StationDirection::Download, 1, 300};
    rig.attach(job);
    rig.type(job);
    const QString device = rig.sims[3].device->devicePath();
    link::SerialPortLink receive(
        rig.pf.path(), [] { return QString("3"); }, "Receive Data");
    QString error;
    QVERIFY(receive.open(&error));
    rig.control<QPushButton>("cmdStart", 3)->click();
    QCOMPARE(rig.state(3), QString("Failed"));
    QCOMPARE(rig.row(3).lastMessage(),
             QString("Serial port 3 (%1) is busy: the Receive Data screen of this program is "
                     "using it. Close the Receive Data screen, then try again.")
                 .arg(device));
    receive.close();

    rig.control<QPushButton>("cmdStart", 3)->click();
    QVERIFY(rig.row(3).isBusy());
    link::SerialPortLink send(
        rig.pf.path(), [] { return QString("3"); }, "Send Data");
    QVERIFY(!send.open(&error));
    // The row to stop is named: closing the station would stop its other rows too.
    QCOMPARE(error, QString("Serial port 3 (%1) is busy: the Transfer Station screen of this "
                            "program is using it. Stop its row of port 3 (the other rows go on), "
                            "then try again.")
                        .arg(device));
    rig.control<QPushButton>("cmdStop", 3)->click();
    QCOMPARE(rig.state(3), QString("Stopped"));
    QVERIFY(send.open(&error));  // let go when the row stopped
}

QTEST_MAIN(TestStation)
#include "tst_station.moc"
