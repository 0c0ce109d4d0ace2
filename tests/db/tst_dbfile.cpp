// The database file as a whole: a damaged file found at start, and the daily backup copies.
#include "app/AppContext.h"
#include "core/Clock.h"
#include "core/ProcessSignals.h"
#include "db/BankDataStore.h"
#include "db/Database.h"
#include "db/DatabaseBackup.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QtTest>
#include <atomic>

using namespace kovrin;

static const kovrin::FixedClock kTodayClock(QDateTime(QDate(2026, 3, 25), QTime(9, 0)));
static const kovrin::FixedClock kTomorrowClock(QDateTime(QDate(2026, 3, 26), QTime(9, 0)));

namespace {

const QDate kToday(2026, 3, 25);

QByteArray contentsOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A database with `n` accounts of agent 005 in it.
void fillDatabase(const QString& path, int n) {
    QString error;
    auto db = Database::open(path, &error);
    QVERIFY2(db, qPrintable(error));
    QVector<BankDataRow> rows;
    for (int i = 0; i < n; ++i) {
        BankDataRow r;
        r.AgentID = "005";
        r.ACNumber = QString::number(100000 + i);
        r.ACName = QString("DEPOSITOR %1 ").arg(i) + QString(40, 'x');
        rows << r;
    }
    QVERIFY(BankDataStore(*db).replaceAgentRows("005", rows));
}

// The program's start, then the day's copy it makes once the main menu is shown.
std::unique_ptr<AppContext> startAndCopy(const test::TempProgramFolder& pf, QString* error,
                                         const Clock& clock) {
    auto ctx = AppContext::startUp(pf.folder(), error, clock);
    if (ctx) {
        ctx->startDailyBackup();
        ctx->finishDailyBackup();
    }
    return ctx;
}

int accountsIn(const QString& path) {
    QSqlDatabase c = QSqlDatabase::addDatabase("QSQLITE", "probe");
    int n = -1;
    {
        c.setDatabaseName(path);
        if (c.open()) {
            QSqlQuery q(c);
            if (q.exec("SELECT COUNT(*) FROM BankData") && q.next()) {
                n = q.value(0).toInt();
            }
            c.close();
        }
    }
    c = QSqlDatabase();
    QSqlDatabase::removeDatabase("probe");
    return n;
}

}  // namespace

class TestDbFile : public QObject {
    Q_OBJECT
private slots:
    void damagedPageIsFoundAtStart();
    void firstStartOfTheDayMakesACopy();
    void secondStartOfTheDayLeavesTheCopy();
    void onlyTheLastSevenAreKept_data();
    void onlyTheLastSevenAreKept();
    void failedCopyIsReportedAndTheProgramGoesOn_data();
    void failedCopyIsReportedAndTheProgramGoesOn();
    void storeAndCopyDoNotWaitForReaders();
};

void TestDbFile::damagedPageIsFoundAtStart() {
    test::TempProgramFolder pf;
    const QString path = pf.folder().databasePath();
    fillDatabase(path, 3000);
    // A table page in the middle of the file overwritten, as a failing disk would leave it:
    // the file still opens as SQLite, only the check finds the damage.
    QByteArray bytes = contentsOf(path);
    QVERIFY(bytes.size() > 40 * 4096);
    bytes.replace(20 * 4096, 4096, QByteArray(4096, '\x5a'));
    writeFile(path, bytes);

    test::MessageRecorder rec;
    QString error;
    auto ctx = startAndCopy(pf, &error, kTodayClock);
    QVERIFY(!ctx);
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    QVERIFY2(error.contains("damaged"), qPrintable(error));
    QCOMPARE(contentsOf(path), bytes);  // never repaired or overwritten
    // No copy of a damaged file is taken for a backup.
    QVERIFY(!QFile::exists(pf.filePath("BackupData/" + databaseCopyName(kToday))));
}

void TestDbFile::firstStartOfTheDayMakesACopy() {
    test::TempProgramFolder pf;
    fillDatabase(pf.folder().databasePath(), 50);
    test::MessageRecorder rec;
    QString error;
    auto ctx = startAndCopy(pf, &error, kTodayClock);
    QVERIFY2(ctx, qPrintable(error));
    QCOMPARE(rec.texts(), QStringList{"Please Select CommPort and BankName"});
    const QString copy = pf.filePath("BackupData/HandHeldData-2026-03-25.mdb");
    QVERIFY(QFile::exists(copy));
    QVERIFY(!QFile::exists(copy + ".part"));
    QCOMPARE(accountsIn(copy), 50);
    // The copy is a database the program itself accepts.
    auto restored = Database::open(copy, &error);
    QVERIFY2(restored, qPrintable(error));
}

void TestDbFile::secondStartOfTheDayLeavesTheCopy() {
    test::TempProgramFolder pf;
    test::MessageRecorder rec;
    fillDatabase(pf.folder().databasePath(), 10);
    QString error;
    {
        auto ctx = startAndCopy(pf, &error, kTodayClock);
        QVERIFY(ctx);
    }
    const QString copy = pf.filePath("BackupData/" + databaseCopyName(kToday));
    const QByteArray first = contentsOf(copy);
    fillDatabase(pf.folder().databasePath(), 20);
    {
        auto ctx = startAndCopy(pf, &error, kTodayClock);
        QVERIFY(ctx);
        const BackupOutcome again = makeDailyBackup(ctx->db(), pf.filePath("BackupData"), kToday);
        QCOMPARE(again.status, BackupOutcome::Status::AlreadyThere);
    }
    QCOMPARE(contentsOf(copy), first);  // the day's first state is what is kept
    QCOMPARE(accountsIn(copy), 10);
    // The next day gets its own copy.
    auto ctx = startAndCopy(pf, &error, kTomorrowClock);
    QVERIFY(ctx);
    QCOMPARE(accountsIn(pf.filePath("BackupData/" + databaseCopyName(kToday.addDays(1)))), 20);
}

void TestDbFile::onlyTheLastSevenAreKept_data() {
    QTest::addColumn<QString>("copies");  // MM-dd of 2026: each named for its day, written on it
    QTest::addColumn<QString>("kept");    // the copies left beside today's
    QTest::newRow("ten older copies, some days missing")
        << "03-01 03-02 03-03 03-05 03-08 03-09 03-12 03-15 03-20 03-24"
        << "03-08 03-09 03-12 03-15 03-20 03-24";
    // The PC's clock ran ahead for a week: today's copy is kept all the same.
    QTest::newRow("seven copies dated after today") << "04-01 04-02 04-03 04-04 04-05 04-06 04-07"
                                                    << "04-02 04-03 04-04 04-05 04-06 04-07";
}

void TestDbFile::onlyTheLastSevenAreKept() {
    QFETCH(QString, copies);
    QFETCH(QString, kept);
    test::TempProgramFolder pf;
    QVERIFY(QDir(pf.path()).mkpath("BackupData"));
    const QDir backups(pf.filePath("BackupData"));
    // Older copies, and files of the upload that share the folder.
    for (const QString& day : copies.split(' ')) {
        const QDate d = QDate::fromString("2026-" + day, Qt::ISODate);
        QFile f(backups.filePath(databaseCopyName(d)));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("old copy") == 8);
        QVERIFY(f.setFileTime(d.startOfDay(), QFileDevice::FileModificationTime));
    }
    writeFile(backups.filePath("0050325u.bak"), "upload backup");
    writeFile(backups.filePath("HandHeldData-notes.mdb"), "not a dated copy");
    test::MessageRecorder rec;
    QString error;
    auto ctx = startAndCopy(pf, &error, kTodayClock);
    QVERIFY(ctx);
    QStringList expected{"HandHeldData-notes.mdb"};
    for (const QString& day : (kept + " 03-25").split(' ')) {
        expected << "HandHeldData-2026-" + day + ".mdb";
    }
    expected.sort();
    QCOMPARE(backups.entryList({"HandHeldData-*"}, QDir::Files, QDir::Name), expected);
    QVERIFY(QFile::exists(backups.filePath("0050325u.bak")));
    QCOMPARE(accountsIn(backups.filePath(databaseCopyName(kToday))), 0);
}

void TestDbFile::failedCopyIsReportedAndTheProgramGoesOn_data() {
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<qint64>("fileSizeLimit");  // bytes a file may grow to; 0: no limit
    QTest::addColumn<QString>("reason");        // as the message gives it
    // Root may write anywhere, so the failures are made by what stands in the way, and a full
    // disk by a file-size limit, which holds for root too.
    QTest::newRow("BackupData is a file") << "BackupData" << qint64(0) << "could not be created";
    QTest::newRow("the copy cannot be written")
        << "BackupData/HandHeldData-2026-03-25.mdb.part/x" << qint64(0)
        << "could not be made: Is a directory.";
    // Room for the write-ahead log's index (32 KB) beside the file, none for the copy.
    QTest::newRow("a full disk") << QString() << qint64(40000)
                                 << "could not be made: disk I/O error (File too large).";
}

void TestDbFile::failedCopyIsReportedAndTheProgramGoesOn() {
    QFETCH(QString, obstacle);
    QFETCH(qint64, fileSizeLimit);
    QFETCH(QString, reason);
    test::TempProgramFolder pf;
    fillDatabase(pf.folder().databasePath(), 1000);
    const QByteArray before = contentsOf(pf.folder().databasePath());
    QVERIFY(before.size() > fileSizeLimit);
    if (!obstacle.isEmpty()) {
        QVERIFY(QFileInfo(pf.filePath(obstacle)).dir().mkpath("."));
        writeFile(pf.filePath(obstacle), "in the way");
    }
    test::MessageRecorder rec;
    QString error;
    rlimit limit{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
    if (fileSizeLimit > 0) {
        ignoreFileSizeSignal();  // as the program does at its start
        const rlimit lower{rlim_t(fileSizeLimit), limit.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &lower), 0);
    }
    auto ctx = startAndCopy(pf, &error, kTodayClock);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    QVERIFY2(ctx, qPrintable(error));  // the program starts all the same
    // The copy is made after the start, so its failure is told after the start's message.
    QCOMPARE(rec.messages.size(), 2);
    QCOMPARE(rec.messages[0].text, QString("Please Select CommPort and BankName"));
    const MessageRequest& m = rec.messages[1];
    QCOMPARE(m.icon, MsgIcon::Critical);
    QVERIFY2(m.text.contains("HandHeldData-2026-03-25.mdb"), qPrintable(m.text));
    QVERIFY2(m.text.contains(reason), qPrintable(m.text));
    QVERIFY(!QFileInfo(pf.filePath("BackupData/HandHeldData-2026-03-25.mdb")).isFile());
    QVERIFY(!QFileInfo(pf.filePath("BackupData/HandHeldData-2026-03-25.mdb.part")).isFile());
    QCOMPARE(BankDataStore(ctx->db()).agentRows("005").size(), 1000);
    ctx.reset();
    QCOMPARE(contentsOf(pf.folder().databasePath()), before);
}

// Readers and the store never wait for each other: a store commits while another connection
// (a report, the day's copy) is in the middle of reading, the day's copy is made meanwhile and
// holds the file as it was when the copy began. A copy given up when the program ends leaves
// no part of it behind, and the next start makes it.
void TestDbFile::storeAndCopyDoNotWaitForReaders() {
    test::TempProgramFolder pf;
    fillDatabase(pf.folder().databasePath(), 50);
    test::MessageRecorder rec;
    QString error;
    auto ctx = AppContext::startUp(pf.folder(), &error, kTodayClock);
    QVERIFY2(ctx, qPrintable(error));
    sqlite3* reader = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(pf.folder().databasePath()), &reader), SQLITE_OK);
    QCOMPARE(
        sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM BankData", nullptr, nullptr, nullptr),
        SQLITE_OK);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(BankDataStore(ctx->db()).replaceAgentRows("005", {}));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

    const QString copy = pf.filePath("BackupData/" + databaseCopyName(kToday));
    const std::atomic<bool> stop{true};
    const BackupOutcome stopped = makeDailyBackup(
        pf.folder().databasePath(), pf.filePath("BackupData"), kToday, 7, true, &stop);
    QCOMPARE(int(stopped.status), int(BackupOutcome::Status::Stopped));
    QVERIFY(!QFile::exists(copy + ".part") && !QFile::exists(copy));

    ctx->startDailyBackup();
    ctx->finishDailyBackup();
    sqlite3_exec(reader, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(reader);
    QCOMPARE(rec.texts(), QStringList{"Please Select CommPort and BankName"});
    QCOMPARE(accountsIn(copy), 0);
    QVERIFY(!QFile::exists(copy + ".part"));
    // When the program ends its log is written back: the file alone holds everything.
    QVERIFY(QFile::exists(pf.folder().databasePath() + "-wal"));
    ctx.reset();
    QVERIFY(!QFile::exists(pf.folder().databasePath() + "-wal"));
}

QTEST_GUILESS_MAIN(TestDbFile)
#include "tst_dbfile.moc"
