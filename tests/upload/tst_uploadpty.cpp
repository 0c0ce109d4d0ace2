// Whole uploads over a pseudo-terminal against the simulator serving scripted days, through
// the Receive Data screen and the program's own serial line (ports/com1).
#include "app/AppContext.h"
#include "core/Clock.h"
#include "db/BankDataStore.h"
#include "db/RestoreDataStore.h"
#include "hht-sim/PtyDevice.h"
#include "hht-sim/Terminal.h"
#include "hht-sim/UploadScript.h"
#include "link/Frame.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"
#include "upload/FrmReceive.h"
#include "upload/RestoreData.h"
#include "upload/UploadTransfer.h"

#include <sys/resource.h>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QtTest>
#include <csignal>

using namespace kovrin;

static const kovrin::FixedClock kEvening(QDateTime(QDate(2026, 12, 7), QTime(19, 0)));

namespace {

const QString kAgent = "005            ";

// A downloaded account: the columns as the import stores them from the bank's file.
BankDataRow account(const QString& number, const QString& name, const QString& myDate) {
    BankDataRow r;
    r.AgentID = kAgent;
    r.BranchID = "BR001          ";
    r.CategoryCode = "S";
    r.SchemeCode = "DD001";
    r.ACNumber = number.rightJustified(15, '0');
    r.ACName = name.leftJustified(50, ' ');
    r.BalAmount = "00015000";
    r.AgreedAmount = "00500";
    r.OpeningDate = "010424";
    r.Txndate = "061226";
    r.FileName = "bank/0050712d.txt";
    r.CustomerCode = "C00001";
    r.MyDate = myDate;
    r.BankSoftACNumber = "BS" + number.rightJustified(13, '0');
    return r;
}

// One line of the bank upload file, put together here field by field.
QByteArray listingLine(const BankDataRow& a, const QByteArray& amount, const QByteArray& dateTime,
                       const QByteArray& number, const QByteArray& datewise,
                       const QByteArray& lastTxn) {
    return a.BranchID.toLatin1() + "S" + "DD001" + a.ACNumber.toLatin1() +
           a.CustomerCode.toLatin1() + a.ACName.toLatin1() + "0000015000.00" + "00500.00" +
           lastTxn + a.AgentID.toLatin1() + amount + dateTime + number + datewise + " " +
           a.BankSoftACNumber.toLatin1() + "\r\n";
}

const char* kDay = R"(agent 5
agent-id 005
date 0712
account S DD001 000000000012345
txn 500 05/12/2026 09:15 1
txn 250 05/12/2026 16:40 2
account S DD001 000000000067890
txn 100 06/12/2026 10:05 3
txn 75 05/12/2026 11:00 4
account S DD001 000000000055555 no-transactions
account S DD001 000000000099999
txn 40 07/12/2026 12:30 5
)";

// The same day without the account that was not downloaded.
const QString kKnownDay = QString(kDay).section("account S DD001 000000000099999", 0, 0);

}  // namespace

class TestUploadPty : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void scriptedDayThroughTheScreen();
    void faultsOnTheLineGiveTheSameResult_data();
    void faultsOnTheLineGiveTheSameResult();
    void buttonsDuringAnUpload();
    void storeFailsThenStoreAgain_data();
    void storeFailsThenStoreAgain();
    void fourteenThousandTransactions();
    void writeFilesAgainFromANewScreen();

private:
    void setUp(const QString& scriptText, sim::TerminalConfig config);
    QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void cleanReference(const sim::TerminalConfig& config);
    // The three files of the day: bank upload, check and backup.
    QList<QByteArray> dayFiles() {
        return {read(m_pf->filePath("bank/0050712u.txt")),
                read(m_pf->filePath("BackupData/0050712uCheck.txt")),
                read(m_pf->filePath("BackupData/005_07_12_26.txt"))};
    }

    std::unique_ptr<test::TempProgramFolder> m_pf;
    std::unique_ptr<test::MessageRecorder> m_rec;
    std::unique_ptr<AppContext> m_ctx;
    std::unique_ptr<sim::PtyDevice> m_device;
    std::unique_ptr<sim::Terminal> m_terminal;
    std::unique_ptr<FrmReceive> m_screen;
    QVector<RestoreDataRow> m_cleanRows;
    QList<QByteArray> m_cleanFiles;
};

void TestUploadPty::init() {
    m_pf = std::make_unique<test::TempProgramFolder>();
    m_rec = std::make_unique<test::MessageRecorder>();
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error, kEvening);
    QVERIFY(m_ctx);
    m_ctx->settings().BankInfoPath = m_pf->filePath("bank");
    m_ctx->settings().CommPort = "1";
    QVERIFY(QDir().mkpath(m_ctx->settings().BankInfoPath));
    QVERIFY(BankDataStore(m_ctx->db())
                .replaceAgentRows(kAgent, {account("12345", "MEENA KUMARI", "150309"),
                                           account("67890", "ARUN PRAKASH", ""),
                                           account("55555", "LAKSHMI DEVI", "010126")}));
    m_rec->clear();
}

void TestUploadPty::cleanup() {
    m_screen.reset();
    m_terminal.reset();
    m_device.reset();
    m_ctx.reset();
    m_rec.reset();
    m_pf.reset();
}

void TestUploadPty::setUp(const QString& scriptText, sim::TerminalConfig config) {
    config.mode = sim::Mode::Upload;
    const sim::ScriptResult script = sim::parseUploadScript(scriptText);
    QVERIFY2(script.ok, qPrintable(script.error));
    const sim::UploadFrames frames = sim::buildUploadFrames(script.script);
    QVERIFY2(frames.ok, qPrintable(frames.error));
    m_device = std::make_unique<sim::PtyDevice>();
    QCOMPARE(m_device->openPty(), QString());
    m_terminal = std::make_unique<sim::Terminal>(config);
    m_terminal->setUploadFrames(frames.frames);
    connect(m_device.get(), &sim::PtyDevice::received, m_terminal.get(), &sim::Terminal::feed);
    connect(m_terminal.get(), &sim::Terminal::output, m_device.get(), &sim::PtyDevice::write);
    QVERIFY(QDir(m_pf->path()).mkpath("ports"));
    QFile::remove(m_pf->filePath("ports/com1"));
    QVERIFY(QFile::link(m_device->devicePath(), m_pf->filePath("ports/com1")));
    m_screen = std::make_unique<FrmReceive>(*m_ctx);
    // A reply still arriving at its time-out gets 71 ms (a reply's time on the line) and 150.
    m_screen->transfer().setTimings({300, 1500, 20, 150});
    m_screen->show();
    QTRY_VERIFY(m_screen->findChild<QPushButton*>("cmdSend")->isEnabled());
}

void TestUploadPty::scriptedDayThroughTheScreen() {
    setUp(kDay, {});
    QTest::qWait(20);  // the port opens once the screen is up
    QCOMPARE(m_rec->messages.size(), 0);
    m_screen->findChild<QPushButton*>("cmdSend")->click();
    // The terminal counted the collection for 99999, which the bank's file leaves out: all
    // it declared was stored, and the operator is shown that collection.
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("Upload Completed Successfully") == 1, 10000);
    QTRY_VERIFY(m_terminal->endReceived());  // the end frame reaches the terminal
    QCOMPARE(m_screen->findChild<QLabel*>("Label4")->text(), QString("005"));
    QCOMPARE(m_screen->findChild<QLabel*>("Label6")->text(), QString("0712"));
    QCOMPARE(m_screen->findChild<QLabel*>("TotalTransact")->text(), QString("5"));
    QCOMPARE(m_screen->findChild<QLabel*>("txtTotalAmount")->text(), QString("965.00"));
    QCOMPARE(m_screen->findChild<QLabel*>("lblRecord")->text(), QString("4 / 4"));
    QVERIFY(!m_screen->findChild<QPushButton*>("cmdSend")->isEnabled());
    QVERIFY(!m_screen->findChild<QLabel*>("Label9")->isVisible());

    // The rows: 5 collections and the amount-less row of 55555, every one with the agent.
    const QVector<RestoreDataRow> rows = RestoreDataStore(m_ctx->db()).checkFileRows(kAgent);
    QCOMPARE(rows.size(), 6);
    const QVector<RestoreDataRow> upload = RestoreDataStore(m_ctx->db()).uploadFileRows(kAgent);
    QCOMPARE(upload.size(), 5);
    QCOMPARE(upload[0].Amtcollected, QString("0000500.00"));
    QCOMPARE(upload[0].DateTime, QString("05/12/2026 09:15"));
    QCOMPARE(upload[0].TransactionNumber, QString("0001"));
    QCOMPARE(upload[0].AccountName, QString("MEENA KUMARI").leftJustified(50, ' '));
    QCOMPARE(upload[0].BalanceAmount, QString("0000015000.00"));
    QCOMPARE(upload[0].LastTxndate, QString("15/03/2009"));
    QCOMPARE(upload[4].AccountNo, QString("000000000099999"));  // not downloaded: kept
    QCOMPARE(upload[4].AgentID, kAgent);
    QVERIFY(upload[4].AccountName.isEmpty());

    // The bank upload file, built here from the script and the downloaded accounts: the
    // unknown account 99999 stays out; date-wise numbers 0001, 0002 (05/12), 0001 (06/12),
    // 0003 would follow for the next 05/12 line.
    const BankDataRow a1 = account("12345", "MEENA KUMARI", "150309");
    const BankDataRow a2 = account("67890", "ARUN PRAKASH", "");
    const QByteArray expected =
        listingLine(a1, "0000500.00", "05/12/2026 09:15", "0001", "0001", "15/03/2009") +
        listingLine(a1, "0000250.00", "05/12/2026 16:40", "0002", "0002", "15/03/2009") +
        listingLine(a2, "0000100.00", "06/12/2026 10:05", "0003", "0001", QByteArray(10, ' ')) +
        listingLine(a2, "0000075.00", "05/12/2026 11:00", "0004", "0001", QByteArray(10, ' '));
    const QByteArray got = read(m_pf->filePath("bank/0050712u.txt"));
    QCOMPARE(got, expected);
    QVERIFY(got.split('\n').first().size() == 189);  // 188 characters and CR
    QCOMPARE(read(m_pf->filePath("BackupData/0050712uCheck.txt")).count("\r\n"), 6);
    const QByteArray backup = read(m_pf->filePath("BackupData/005_07_12_26.txt"));
    QCOMPARE(backup.count("\r\n"), 6);  // slots 0 to 5
    QVERIFY(backup.startsWith("0 ) [1] 01  [2] FF  [3] 10  [4] F0  [5] 55  "));
    QVERIFY(m_rec->texts().join('\n').contains("000000000099999"));  // shown to the operator
}

void TestUploadPty::faultsOnTheLineGiveTheSameResult_data() {
    QTest::addColumn<QStringList>("faults");  // name=value, as on hht-sim's command line
    QTest::addColumn<bool>("paced");          // the terminal answers at 19200 baud
    QTest::newRow("bad checksum on record 3") << QStringList{"bad-checksum-at=3"} << false;
    QTest::newRow("silence for record 2") << QStringList{"silent-at=2:2"} << false;
    QTest::newRow("replies in pieces") << QStringList{"split=4"} << false;
    QTest::newRow("NACK for record 4") << QStringList{"nack-at=4"} << false;
    // A terminal's own timing, at 19200 baud (a reply takes 71 ms; the PC waits 300 ms).
    QTest::newRow("reply late past its time-out") << QStringList{"late-at=3:450"} << true;
    QTest::newRow("header reply late") << QStringList{"late-at=1:450"} << true;
    QTest::newRow("count reply late") << QStringList{"late-at=0:450"} << true;
    QTest::newRow("reply sent twice") << QStringList{"twice-at=2"} << true;
    QTest::newRow("count reply sent twice") << QStringList{"twice-at=0"} << true;
    QTest::newRow("stray bytes") << QStringList{"stray-at=2:5", "stray-at=4:40"} << true;
    QTest::newRow("reply still arriving at its time-out") << QStringList{"late-at=3:260"} << true;
    QTest::newRow("wrong number") << QStringList{"wrong-number-at=3"} << true;
}

// Whatever goes wrong on the line, the upload stores the rows and writes the three files of
// a clean run, byte for byte.
void TestUploadPty::faultsOnTheLineGiveTheSameResult() {
    QFETCH(QStringList, faults);
    QFETCH(bool, paced);
    sim::TerminalConfig config;
    config.beyond = sim::Beyond::Silent;
    config.paced = paced;
    cleanReference(config);
    for (const QString& f : faults) {
        QCOMPARE(sim::applyFault(config.faults, f.section('=', 0, 0), f.section('=', 1)),
                 QString());
    }
    setUp(kKnownDay, config);
    QTest::qWait(20);
    m_screen->findChild<QPushButton*>("cmdSend")->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("Upload Completed Successfully") == 1, 20000);
    QCOMPARE(RestoreDataStore(m_ctx->db()).checkFileRows(kAgent), m_cleanRows);
    QCOMPARE(dayFiles(), m_cleanFiles);
}

// The rows and files of a clean upload of the known day, made once.
void TestUploadPty::cleanReference(const sim::TerminalConfig& config) {
    if (!m_cleanFiles.isEmpty()) {
        return;
    }
    setUp(kKnownDay, config);
    QTest::qWait(20);
    m_screen->findChild<QPushButton*>("cmdSend")->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("Upload Completed Successfully") == 1, 20000);
    m_cleanRows = RestoreDataStore(m_ctx->db()).checkFileRows(kAgent);
    m_cleanFiles = dayFiles();
    QCOMPARE(m_cleanRows.size(), 5);
    cleanup();
    init();
}

// A store that fails after the last record: the terminal is not told that the upload is
// over, the frames stay on the screen, and Store Again, once the cause is put right, stores
// the rows and files of a clean upload and then releases the terminal.
void TestUploadPty::storeFailsThenStoreAgain_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("newScreen");  // the screen closed: stored from the backup file
    QTest::newRow("database error") << "database" << false;
    QTest::newRow("read-only database") << "read-only" << false;
    QTest::newRow("file-size limit") << "file-size" << false;
    QTest::newRow("backup file cannot be written") << "backup" << false;
    QTest::newRow("database error, program closed") << "database" << true;
    // A newer upload of the agent was stored meanwhile: Store Again names the day of each and
    // asks; No stores nothing.
    QTest::newRow("database error, program closed, newer upload stored")
        << "database, newer" << true;
}

void TestUploadPty::storeFailsThenStoreAgain() {
    QFETCH(QString, fault);
    QFETCH(bool, newScreen);
    sim::TerminalConfig config;
    config.beyond = sim::Beyond::Silent;
    cleanReference(config);
    setUp(kKnownDay, config);
    QTest::qWait(20);
    QSqlQuery q(m_ctx->db().handle());
    const auto breakIt = [&](bool on) {
        if (fault.startsWith("database")) {
            QVERIFY(q.exec(on ? "CREATE TEMP TRIGGER fail BEFORE INSERT ON RestoreData BEGIN "
                                "SELECT RAISE(ABORT, 'disk full'); END"
                              : "DROP TRIGGER fail"));
        } else if (fault == "read-only") {
            QVERIFY(q.exec(on ? "PRAGMA query_only = ON" : "PRAGMA query_only = OFF"));
        } else if (fault == "file-size") {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = on ? 1024 : RLIM_INFINITY;
            limit.rlim_max = RLIM_INFINITY;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        } else if (on) {  // a folder where the backup file goes
            QVERIFY(QDir().mkpath(m_pf->filePath("BackupData/005_07_12_26.txt")));
        } else {
            QVERIFY(QDir(m_pf->filePath("BackupData/005_07_12_26.txt")).removeRecursively());
        }
    };
    breakIt(true);
    auto* storeAgain = m_screen->findChild<QPushButton*>("cmdStoreAgain");
    QVERIFY(!storeAgain->isEnabled());
    m_screen->findChild<QPushButton*>("cmdSend")->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_screen->transfer().holdsUnstoredUpload(), 20000);
    breakIt(false);
    QVERIFY(m_rec->texts().last().startsWith("The collections of this upload are not safe yet"));
    QTest::qWait(100);
    QVERIFY(!m_terminal->endReceived());  // the terminal keeps its day
    QVERIFY(RestoreDataStore(m_ctx->db()).checkFileRows(kAgent).isEmpty());
    QVERIFY(storeAgain->isEnabled());
    m_rec->clear();
    if (newScreen) {
        // The frames in memory are gone with the screen; the backup file on disk holds them.
        m_screen.reset();
        FrmReceive later(*m_ctx);
        auto* again = later.findChild<QPushButton*>("cmdStoreAgain");
        QVERIFY(again->isEnabled());
        if (fault.endsWith("newer")) {
            const UploadInfo newer{kAgent, "0050812", 1, 100,
                                   QDateTime(QDate(2026, 12, 8), QTime(10, 0))};
            QVERIFY(RestoreDataStore(m_ctx->db()).replaceUpload(newer, {}));
            m_rec->answerNext(MsgAnswer::No);
            again->click();
            QCOMPARE(m_rec->texts(),
                     QStringList{
                         QDir::toNativeSeparators(m_pf->filePath("BackupData/005_07_12_26.txt")) +
                         " holds the upload of agent 005 for day 0712, received "
                         "07/12/2026 19:00. A newer upload of agent 005 is stored (day "
                         "0812, received 08/12/2026 10:00): storing this one replaces "
                         "its collections and its files. Store the older upload?"});
            QVERIFY(m_rec->last().defaultNo);
            QCOMPARE(RestoreDataStore(m_ctx->db()).uploadInfo(kAgent)->AgentDateKey,
                     QString("0050812"));
            QVERIFY(again->isEnabled());
            return;
        }
        again->click();
        QCOMPARE(m_rec->texts().first(), QString("Upload Completed Successfully"));
        QVERIFY2(m_rec->texts().last().endsWith("The terminal was not told that the upload is "
                                                "over: if it still holds that day, clear it only "
                                                "once the bank has the files."),
                 qPrintable(m_rec->texts().last()));
        QVERIFY(!again->isEnabled());
        QCOMPARE(RestoreDataStore(m_ctx->db()).checkFileRows(kAgent), m_cleanRows);
        QCOMPARE(dayFiles(), m_cleanFiles);
        return;
    }
    storeAgain->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_terminal->endReceived(), 10000);
    QTRY_COMPARE(m_rec->texts().last(),
                 QString("The collections are stored, and the terminal was told that the upload "
                         "is over."));
    QCOMPARE(RestoreDataStore(m_ctx->db()).checkFileRows(kAgent), m_cleanRows);
    QCOMPARE(dayFiles(), m_cleanFiles);
    QVERIFY(!storeAgain->isEnabled());
}

// Receive pressed again while the count's reply is slow, and Write Files Again while the
// upload stores (its messages up): neither touches the upload, whose rows and files are
// those of the day.
void TestUploadPty::buttonsDuringAnUpload() {
    sim::TerminalConfig config;
    config.paced = true;
    config.beyond = sim::Beyond::Silent;
    QCOMPARE(sim::applyFault(config.faults, "late-at", "0:250"), QString());
    setUp(kDay, config);
    QTest::qWait(20);
    auto* receive = m_screen->findChild<QPushButton*>("cmdSend");
    auto* rewrite = m_screen->findChild<QPushButton*>("cmdWriteFiles");
    QVERIFY(rewrite->isEnabled());
    int rewriteEnabledDuringStore = -1;
    m_rec->whileShown([&](const MessageRequest& r) {
        if (r.text.contains("000000000099999") && rewriteEnabledDuringStore < 0) {
            rewriteEnabledDuringStore = rewrite->isEnabled();
            m_screen->writeFilesAgain();  // a click that reached the screen all the same
        }
    });
    receive->click();
    QTest::qWait(100);
    QVERIFY(!rewrite->isEnabled());
    m_screen->transfer().cmdSend_Click();  // Receive again (Enter on the button)
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("Upload Completed Successfully") == 1, 20000);
    QTRY_VERIFY(rewrite->isEnabled());
    QCOMPARE(rewriteEnabledDuringStore, 0);
    QCOMPARE(m_rec->count("Upload Completed Successfully"), 1);  // no files written again
    int countRequests = 0;
    for (const QByteArray& f : m_terminal->receivedFrames()) {
        countRequests += f.size() == 10 && link::recordNumberOf(f) == 0;
    }
    QCOMPARE(countRequests, 1);
    QCOMPARE(RestoreDataStore(m_ctx->db()).checkFileRows(kAgent).size(), 6);
    QCOMPARE(read(m_pf->filePath("BackupData/0050712uCheck.txt")).count("\r\n"), 6);
    QCOMPARE(read(m_pf->filePath("bank/0050712u.txt")).count("\r\n"), 4);
    QVERIFY(rewrite->isEnabled());  // back once the upload is stored
}

void TestUploadPty::fourteenThousandTransactions() {
    QString script = "agent 5\nagent-id 005\ndate 0712\n";
    for (int i = 0; i < 2000; ++i) {
        script += QString("account S DD001 %1\n").arg(100000 + i, 15, 10, QChar('0'));
        for (int t = 0; t < 7; ++t) {
            script += QString("txn 10 07/12/2026 10:%1 %2\n")
                          .arg(t, 2, 10, QChar('0'))
                          .arg(i * 7 + t + 1);
        }
    }
    setUp(script, {});
    QTest::qWait(20);
    QElapsedTimer timer;
    timer.start();
    m_screen->findChild<QPushButton*>("cmdSend")->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_terminal->endReceived(), 60000);
    const qint64 ms = timer.elapsed();
    QCOMPARE(RestoreDataStore(m_ctx->db()).checkFileRows(kAgent).size(), 14000);
    qInfo(
        "2000-frame, 14000-transaction upload over a pseudo-terminal, store and files "
        "included: %lld ms",
        ms);
    const QVector<RestoreDataRow> rows = RestoreDataStore(m_ctx->db()).checkFileRows(kAgent);
    const QList<QByteArray> files = dayFiles();

    // The same day again, cut short at record 1200 (the screen closed), then taken up after
    // the program is started again: it goes on from where it stopped, and stores the same.
    cleanup();
    init();
    setUp(script, {});
    connect(
        &m_screen->transfer(), &UploadTransfer::progress, m_screen.get(),
        [this](int received, int) {
            if (received == 1200) {
                m_screen->close();
            }
        },
        Qt::QueuedConnection);
    m_screen->findChild<QPushButton*>("cmdSend")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_screen->isVisible(), 30000);
    QVERIFY(QFile::exists(m_pf->filePath("BackupData/0050712-partial.kept")));
    m_screen.reset();
    m_ctx.reset();  // the program ends, and starts again
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error, kEvening);
    QVERIFY2(m_ctx, qPrintable(error));
    m_ctx->settings().BankInfoPath = m_pf->filePath("bank");
    m_ctx->settings().CommPort = "1";
    FrmReceive again(*m_ctx);
    again.show();
    QTest::qWait(50);
    int asked = 0;
    for (const QByteArray& f : m_terminal->receivedFrames()) {
        asked += f.size() == 10;
    }
    again.findChild<QPushButton*>("cmdSend")->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_terminal->endReceived(), 30000);
    QVERIFY2(again.findChild<QLabel*>("lblResumed")->text().startsWith("Resuming at record 120"),
             qPrintable(again.findChild<QLabel*>("lblResumed")->text()));
    QCOMPARE(RestoreDataStore(m_ctx->db()).checkFileRows(kAgent), rows);
    QCOMPARE(dayFiles(), files);
    int askedAgain = 0;
    for (const QByteArray& f : m_terminal->receivedFrames()) {
        askedAgain += f.size() == 10;
    }
    QVERIFY2(askedAgain - asked < 810, qPrintable(QString::number(askedAgain - asked)));
    QVERIFY(!QFile::exists(m_pf->filePath("BackupData/0050712-partial.kept")));  // stored
}

// The bank folder was missing at the upload; once it is there, a newly opened screen writes
// the files from the stored collections, without a new transfer.
void TestUploadPty::writeFilesAgainFromANewScreen() {
    QVERIFY(QDir(m_ctx->settings().BankInfoPath).removeRecursively());
    setUp(kKnownDay, {});
    QTest::qWait(20);
    m_screen->findChild<QPushButton*>("cmdSend")->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        m_rec->count("Bank Upload Folder does not Exist,Select BankInfoPath and UpLoad Again") == 1,
        10000);
    QVERIFY(!QFile::exists(m_pf->filePath("bank/0050712u.txt")));
    m_screen.reset();
    QVERIFY(QDir().mkpath(m_ctx->settings().BankInfoPath));
    m_rec->clear();
    FrmReceive again(*m_ctx);
    again.findChild<QPushButton*>("cmdWriteFiles")->click();
    QCOMPARE(m_rec->texts(), QStringList{"Upload Completed Successfully"});
    QCOMPARE(read(m_pf->filePath("bank/0050712u.txt")).count("\r\n"), 4);
    QVERIFY(QFile::exists(m_pf->filePath("BackupData/0050712uCheck.txt")));
}

QTEST_MAIN(TestUploadPty)
#include "tst_uploadpty.moc"
