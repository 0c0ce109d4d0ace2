// The program folder is shared by the operators of a PC, and any of them can put a symbolic
// link where a file of the program goes, pointing at a colleague's file. Whatever the program
// writes there (database and journal, lock, logs, the day's copy) never goes through such a
// link: the link is refused and the refusal told; so is a report saved there. The upload's own
// files are in tests/upload/tst_restoredata.cpp.
#include "app/AppContext.h"
#include "core/OperatorLog.h"
#include "core/SafeFile.h"
#include "db/DatabaseBackup.h"
#include "link/TransferLog.h"
#include "reports/ReportCsv.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <QtTest>

using namespace kovrin;

namespace {

const FixedClock kClock(QDateTime(QDate(2026, 12, 9), QTime(8, 30)));
const QByteArray kVictim = "a colleague's file\n";

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

class TestLinks : public QObject {
    Q_OBJECT
private slots:
    void linkInPlaceOfAFile_data();
    void linkInPlaceOfAFile();
};

void TestLinks::linkInPlaceOfAFile_data() {
    QTest::addColumn<QString>("link");     // in the program folder
    QTest::addColumn<QString>("refusal");  // where the refusal is told: "message", "log", ""
    QTest::newRow("database") << "HandHeldData.mdb"
                              << "message";
    QTest::newRow("database journal") << "HandHeldData.mdb-journal"
                                      << "message";
    QTest::newRow("write-ahead log") << "HandHeldData.mdb-wal"
                                     << "message";
    QTest::newRow("lock file") << "kovrin.lock"
                               << "message";
    QTest::newRow("operator log") << "operator.log"
                                  << "";  // on standard error
    QTest::newRow("transfer log") << "transfer-2026-12-09.log"
                                  << "log";
    QTest::newRow("day's copy") << "BackupData/HandHeldData-2026-12-09.mdb"
                                << "copy";
    QTest::newRow("day's copy under way") << "BackupData/HandHeldData-2026-12-09.mdb.part"
                                          << "";  // the link is removed, a new file made
    QTest::newRow("folder of the copies") << "BackupData"
                                          << "copy";
    QTest::newRow("report saved as CSV") << "DailyCollectionSummary_2026-12-09.csv"
                                         << "report";
}

void TestLinks::linkInPlaceOfAFile() {
    QFETCH(QString, link);
    QFETCH(QString, refusal);
    test::TempProgramFolder pf;
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim.txt");
    QFile f(victim);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(kVictim) == kVictim.size());
    f.close();
    const QString linkPath = pf.filePath(link);
    QDir().mkpath(QFileInfo(linkPath).path());
    QVERIFY(QFile::link(link == "BackupData" ? elsewhere.path() : victim, linkPath));

    test::MessageRecorder rec;
    QString error;
    auto ctx = AppContext::startUp(pf.folder(), &error, kClock);
    const QString told = files::linkRefusal(linkPath);
    if (link.startsWith("HandHeldData.mdb") || link == "kovrin.lock") {
        QVERIFY(!ctx);
        QVERIFY2(rec.texts().value(0).contains(told), qPrintable(rec.texts().join('|')));
    } else {
        QVERIFY2(ctx, qPrintable(error));
        if (link == "operator.log") {
            QVERIFY(!ctx->operatorLog().append("frmMain", "a message"));
        }
        link::TransferLog log(pf.path(), kClock);
        log.begin("download: agent 005");
        log.end("completed");
        const BackupOutcome copy = makeDailyBackup(pf.folder().databasePath(),
                                                   pf.filePath("BackupData"), kClock.now().date());
        if (refusal == "copy") {
            QCOMPARE(copy.status, BackupOutcome::Status::Failed);
            QVERIFY2(copy.error.contains(told), qPrintable(copy.error));
        } else {
            QCOMPARE(copy.status, BackupOutcome::Status::Made);
        }
        if (link.endsWith(".csv")) {
            QVERIFY(!saveFile(linkPath, "AgentID\r\n", &error));
            QCOMPARE(error, told);
        }
        if (refusal == "log") {
            QVERIFY2(
                contents(pf.folder().operatorLogPath())
                    .contains(("transfer log\tThe transfer log was not written: " + told).toUtf8()),
                contents(pf.folder().operatorLogPath()).constData());
        }
    }
    QCOMPARE(contents(victim), kVictim);
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"victim.txt"});
}

QTEST_GUILESS_MAIN(TestLinks)
#include "tst_links.moc"
