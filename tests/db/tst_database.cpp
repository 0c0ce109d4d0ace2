// Opening the database file: creation on first start, refusal of unusable files.
#include "db/BankDataStore.h"
#include "db/Database.h"
#include "db/LedgerStore.h"
#include "db/PortDeviceStore.h"
#include "db/RestoreDataStore.h"
#include "db/Schema.h"
#include "db/Val.h"
#include "support/OlderDatabase.h"
#include "support/TempProgramFolder.h"

#include <sqlite3.h>

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

using namespace kovrin;

namespace {

// The pages a connection may add to the file, made from the next connection on: a full disk
// as the engine meets it (SQLITE_FULL). -1: no limit.
int g_sparePages = -1;

int limitPages(sqlite3* db, const char**, const sqlite3_api_routines*) {
    if (g_sparePages >= 0) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA page_count", -1, &st, nullptr);
        const int pages = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : 0;
        sqlite3_finalize(st);
        const QByteArray sql =
            "PRAGMA max_page_count = " + QByteArray::number(pages + g_sparePages);
        sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    }
    return SQLITE_OK;
}

QByteArray contentsOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void createsSchemaOnFirstStart();
    void reopensExistingFile();
    void refusesCorruptFileAndKeepsIt();
    void refusesDatabaseWithoutTables();
    void olderFileGetsNewColumns();
    void oldFileGetsReportViews();
    void olderFileGetsUploadInfoAndKeepsItsRows_data();
    void olderFileGetsUploadInfoAndKeepsItsRows();
    void newFileHasUploadInfo();
    void olderFileGetsRunningClosingAmounts_data();
    void olderFileGetsRunningClosingAmounts();
    void olderFileGetsItsLedgerOnce_data();
    void olderFileGetsItsLedgerOnce();
    void olderLedgerLearnsWhatTheBankPosted();
    void upgradeTellsHowFarItIsOrThatTheDiskIsFull_data();
    void upgradeTellsHowFarItIsOrThatTheDiskIsFull();
    void snoWrittenAsNumberIsFoundAsText();
    void valReadsLeadingNumber_data();
    void valReadsLeadingNumber();
    void dayOfKeyIsTheNearestToTheReceipt_data();
    void dayOfKeyIsTheNearestToTheReceipt();
};

void TestDatabase::createsSchemaOnFirstStart() {
    test::TempProgramFolder pf;
    QString error;
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY2(db, qPrintable(error));
    QVERIFY(QFile::exists(pf.filePath("HandHeldData.mdb")));
    QSqlQuery q(db->handle());
    QVERIFY(
        q.exec("SELECT name, type FROM sqlite_master WHERE type IN ('table','view') "
               "ORDER BY name"));
    QStringList names;
    while (q.next()) {
        names << q.value(0).toString() + ":" + q.value(1).toString();
    }
    QCOMPARE(names,
             QStringList({"BankData:table", "DownloadInfo:table", "LedgerCollection:table",
                          "LedgerDay:table", "LedgerUpload:table", "Password:table", "Path:table",
                          "PortDevices:table", "Register:view", "Report1:view", "Report2:view",
                          "RestoreData:table", "StationPorts:table", "UploadInfo:table"}));
    // The report queries yield the columns the reports bind.
    QVERIFY(q.exec("SELECT * FROM Report1"));
    QSqlRecord r1 = q.record();
    for (const char* c : {"AgentID", "AccountNo", "ClosingAmt", "CollectedAmt", "Date"}) {
        QVERIFY2(r1.indexOf(c) >= 0, c);
    }
    QVERIFY(q.exec("SELECT * FROM Report2"));
    QSqlRecord r2 = q.record();
    for (const char* c : {"AgentID", "CollectedAmt", "Date"}) {
        QVERIFY2(r2.indexOf(c) >= 0, c);
    }
}

void TestDatabase::reopensExistingFile() {
    test::TempProgramFolder pf;
    QString error;
    {
        auto db = Database::open(pf.folder().databasePath(), &error);
        QVERIFY(db);
        QSqlQuery q(db->handle());
        QVERIFY(q.exec("INSERT INTO Path (SNo, BankName) VALUES (1, 'Keep me')"));
    }
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY2(db, qPrintable(error));
    QSqlQuery q(db->handle());
    QVERIFY(q.exec("SELECT BankName FROM Path WHERE SNo='1'"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("Keep me"));
}

void TestDatabase::refusesCorruptFileAndKeepsIt() {
    test::TempProgramFolder pf;
    const QByteArray garbage = QByteArray("This is not a database at all. ").repeated(200);
    QFile f(pf.folder().databasePath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(garbage);
    f.close();
    QString error;
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY(!db);
    QVERIFY2(error.contains("HandHeldData.mdb"), qPrintable(error));
    QVERIFY2(error.contains("not a database"), qPrintable(error));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), garbage);  // never overwritten
}

void TestDatabase::refusesDatabaseWithoutTables() {
    test::TempProgramFolder pf;
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
        other.setDatabaseName(pf.folder().databasePath());
        QVERIFY(other.open());
        QSqlQuery q(other);
        QVERIFY(q.exec("CREATE TABLE Unrelated (x TEXT)"));
        other.close();
    }
    QSqlDatabase::removeDatabase("other");
    QString error;
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY(!db);
    QVERIFY2(error.contains("table Path is missing"), qPrintable(error));
}

// A file of an older version lacks columns added to a table since: they are added when the
// file is opened, and the rows already there keep their values.
void TestDatabase::olderFileGetsNewColumns() {
    test::TempProgramFolder pf;
    QString error;
    {
        auto db = Database::open(pf.folder().databasePath(), &error);
        QVERIFY(db);
        QSqlQuery q(db->handle());
        QVERIFY(q.exec("DROP TABLE Password"));
        QVERIFY(q.exec("CREATE TABLE Password (SNo TEXT, admin TEXT)"));
        QVERIFY(q.exec("INSERT INTO Password VALUES ('1', 'kept')"));
    }
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY2(db, qPrintable(error));
    QSqlQuery q(db->handle());
    QVERIFY(q.exec("SELECT SNo, admin, user, setup, download FROM Password"));
    QVERIFY(q.next());
    QCOMPARE(q.value(1).toString(), QString("kept"));
    QVERIFY(q.value(2).isNull());
}

void TestDatabase::oldFileGetsReportViews() {
    test::TempProgramFolder pf;
    QString error;
    {
        auto db = Database::open(pf.folder().databasePath(), &error);
        QVERIFY(db);
        QSqlQuery q(db->handle());
        QVERIFY(q.exec("DROP VIEW Report2"));
        QVERIFY(q.exec("DROP VIEW Report1"));
        QVERIFY(q.exec("PRAGMA user_version = 0"));
    }
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY2(db, qPrintable(error));
    QSqlQuery q(db->handle());
    QVERIFY(q.exec("SELECT * FROM Report1"));
    QVERIFY(q.exec("SELECT * FROM Report2"));
}

void TestDatabase::olderFileGetsUploadInfoAndKeepsItsRows_data() {
    QTest::addColumn<int>("version");
    QTest::newRow("first") << 1;
    QTest::newRow("report views") << 2;
    QTest::newRow("the ledger, before the encodings") << 5;
    QTest::newRow("before the ports' devices") << 7;
}

// A file of an older version gets the tables added since and the columns its tables lack:
// UploadInfo (whose rows, from version 3 on, stay, their files in Latin-1 as they were) and
// DownloadInfo, PortDevices (no port mapped), and keeps its rows.
void TestDatabase::olderFileGetsUploadInfoAndKeepsItsRows() {
    QFETCH(int, version);
    test::TempProgramFolder pf;
    QString error;
    {
        auto db = Database::open(pf.folder().databasePath(), &error);
        QVERIFY(db);
        QSqlQuery q(db->handle());
        QVERIFY(q.exec("DROP TABLE UploadInfo"));
        QVERIFY(q.exec("DROP TABLE DownloadInfo"));
        QVERIFY(q.exec("DROP TABLE PortDevices"));
        if (version >= 3) {
            QVERIFY(
                q.exec("CREATE TABLE UploadInfo (AgentID TEXT, AgentDateKey TEXT, "
                       "TotalTransactions INTEGER, TotalAmount INTEGER, UploadedAt TEXT)"));
            QVERIFY(q.exec("INSERT INTO UploadInfo VALUES ('001', '0010712', 1, 100, '')"));
        }
        QVERIFY(
            q.exec("INSERT INTO RestoreData (SNo, AgentID, Amtcollected) "
                   "VALUES ('1', '001', '0000100.00')"));
        QVERIFY(q.exec("INSERT INTO BankData (SNo, AgentID, ACName) VALUES ('1', '001', 'A')"));
        QVERIFY(q.exec(QString("PRAGMA user_version = %1").arg(version)));
    }
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY2(db, qPrintable(error));
    QSqlQuery q(db->handle());
    QVERIFY(
        q.exec("SELECT AgentID, AgentDateKey, TotalTransactions, TotalAmount, UploadedAt, "
               "Encoding FROM UploadInfo"));
    QCOMPARE(q.next(), version >= 3);
    const auto info = RestoreDataStore(*db).uploadInfo("1");
    QCOMPARE(info.has_value(), version >= 3);
    QVERIFY(!info || (info->TotalAmount == 100 && info->Encoding == TextEncoding::Latin1));
    DbStatus st;
    QCOMPARE(BankDataStore(*db).downloadEncoding("001", &st), TextEncoding::Latin1);
    QVERIFY2(st, qPrintable(st.error));
    QVERIFY(q.exec("SELECT Amtcollected FROM RestoreData WHERE AgentID = '001'"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("0000100.00"));
    QVERIFY(q.exec("SELECT count(*) FROM BankData"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QVERIFY(PortDeviceStore(*db).load(&st).isEmpty());
    QVERIFY2(st, qPrintable(st.error));
    QVERIFY(q.exec("PRAGMA user_version"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), schema::kVersion);
}

void TestDatabase::newFileHasUploadInfo() {
    test::TempProgramFolder pf;
    QString error;
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY(db);
    QSqlQuery q(db->handle());
    QVERIFY(q.exec("INSERT INTO UploadInfo (AgentID, AgentDateKey) VALUES ('001', '0010712')"));
    // One header per agent.
    QVERIFY(!q.exec("INSERT INTO UploadInfo (AgentID, AgentDateKey) VALUES ('001', '0010812')"));
}

void TestDatabase::olderFileGetsRunningClosingAmounts_data() {
    QTest::addColumn<int>("version");
    QTest::newRow("first") << 1;
    QTest::newRow("report views") << 2;
    QTest::newRow("upload info") << 3;
}

void TestDatabase::olderFileGetsRunningClosingAmounts() {
    QFETCH(int, version);
    test::TempProgramFolder pf;
    QString error;
    auto closingAmounts = [](QSqlDatabase db, const QString& order) {
        QSqlQuery q(db);
        if (!q.exec("SELECT group_concat(ClosingAmt, ' ') FROM (SELECT ClosingAmt FROM Report1 "
                    "ORDER BY " +
                    order + ")") ||
            !q.next()) {
            return QString("query failed: %1").arg(q.lastError().text());
        }
        return q.value(0).toString();
    };
    {
        auto db = Database::open(pf.folder().databasePath(), &error);
        QVERIFY(db);
        QSqlQuery q(db->handle());
        // The report views as the older versions left them: each row's closing amount is its
        // balance plus its own collection.
        QVERIFY(q.exec("DROP VIEW Report2"));
        QVERIFY(q.exec("DROP VIEW Report1"));
        QVERIFY(
            q.exec("CREATE VIEW Report1 AS SELECT trim(AgentID) AS AgentID, "
                   "trim(AccountNo) AS AccountNo, "
                   "CAST(BalanceAmount AS REAL) + CAST(Amtcollected AS REAL) AS ClosingAmt, "
                   "CAST(Amtcollected AS REAL) AS CollectedAmt, substr(DateTime, 7, 4) || '-' || "
                   "substr(DateTime, 4, 2) || '-' || substr(DateTime, 1, 2) AS Date "
                   "FROM RestoreData WHERE Amtcollected <> ''"));
        QVERIFY(
            q.exec("CREATE VIEW Report2 AS SELECT AgentID, sum(CollectedAmt) AS CollectedAmt, "
                   "Date FROM Report1 GROUP BY AgentID, Date"));
        if (version < 3) {
            QVERIFY(q.exec("DROP TABLE UploadInfo"));
        }
        for (const char* row :
             {"'10000', '0000050.00'", "'0001', '0000100.00'", "'0002', '0000100.00'"}) {
            QVERIFY(q.exec(QString("INSERT INTO RestoreData (SNo, AgentID, AccountNo, "
                                   "BalanceAmount, DateTime, TransactionNumber, Amtcollected) "
                                   "VALUES ('1', '001', '000000000012345', '0000001000.00', "
                                   "'07/12/2009 10:00', %1)")
                               .arg(row)));
        }
        QVERIFY(q.exec(QString("PRAGMA user_version = %1").arg(version)));
        QCOMPARE(closingAmounts(db->handle(), "ClosingAmt"), QString("1050.0 1100.0 1100.0"));
    }
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY2(db, qPrintable(error));
    QCOMPARE(closingAmounts(db->handle(), "TransactionNumber"), QString("1100.0 1200.0 1250.0"));
    QSqlQuery q(db->handle());
    QVERIFY(q.exec("SELECT CollectedAmt FROM Report2"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toDouble(), 250.0);
    QVERIFY(q.exec("SELECT count(*) FROM RestoreData"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 3);
    QVERIFY(q.exec("PRAGMA user_version"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), schema::kVersion);
    QVERIFY(q.exec("SELECT count(*) FROM UploadInfo"));
}

void TestDatabase::olderFileGetsItsLedgerOnce_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("uploadInfo");  // the file kept the terminal's totals
    QTest::newRow("first") << 1 << false;
    QTest::newRow("upload info") << 3 << true;
    QTest::newRow("running closing amounts") << 4 << true;
}

// A file from before the ledger: at its first opening each agent's rows of RestoreData become
// one upload of the ledger, in the same transaction as the rest of the upgrade; the next
// openings leave the ledger alone.
void TestDatabase::olderFileGetsItsLedgerOnce() {
    QFETCH(int, version);
    QFETCH(bool, uploadInfo);
    test::TempProgramFolder pf;
    QString error;
    auto rows = [](QSqlDatabase db, const QString& sql) {
        QSqlQuery q(db);
        QStringList out;
        if (!q.exec(sql)) {
            return QStringList{"failed: " + q.lastError().text()};
        }
        while (q.next()) {
            QStringList fields;
            for (int c = 0; c < q.record().count(); ++c) {
                fields << q.value(c).toString();
            }
            out << fields.join('|');
        }
        return out;
    };
    {
        auto db = Database::open(pf.folder().databasePath(), &error);
        QVERIFY(db);
        QSqlQuery q(db->handle());
        for (const char* table : {"LedgerCollection", "LedgerDay", "LedgerUpload"}) {
            QVERIFY(q.exec(QString("DROP TABLE %1").arg(table)));
        }
        // Agent 005: two collections of one account, an amount-less row, one that cannot be
        // read; agent 006 (padded as the count frame gives it): one collection, no header.
        for (
            const char* row :
            {"'005', '11', '0000100.00', '07/12/2026 10:00', '0002', '0000001000.00', '07/12/2026'",
             "'005', '11', '0000050.00', '07/12/2026 09:00', '0001', '0000001000.00', '07/12/2026'",
             "'005', '12', '', '', '', '0000000500.00', '07/12/2026'",
             "'005', '13', '00000x0.00', '07/12/2026 11:00', '0003', '', ''",
             "'006            ', '21', '0000007.00', '06/12/2026 10:00', '0001', '0000000070.00', "
             "'01/12/2026'"}) {
            QVERIFY2(q.exec(QString("INSERT INTO RestoreData (SNo, AgentID, AccountNo, "
                                    "Amtcollected, DateTime, TransactionNumber, BalanceAmount, "
                                    "LastTxndate) VALUES ('1', %1)")
                                .arg(row)),
                     qPrintable(q.lastError().text()));
        }
        if (uploadInfo) {
            QVERIFY(
                q.exec("INSERT INTO UploadInfo (AgentID, AgentDateKey, TotalTransactions, "
                       "TotalAmount, UploadedAt) VALUES ('005            ', '0050712', 3, 150, "
                       "'2026-12-07T18:30:00.000')"));
        } else {
            QVERIFY(q.exec("DROP TABLE UploadInfo"));
        }
        QVERIFY(q.exec(QString("PRAGMA user_version = %1").arg(version)));
    }
    const QString uploads =
        "SELECT AgentID, AgentDateKey, Day, TerminalCount, TerminalTotal, StoredCount, "
        "StoredTotal, ReceivedAt, Outcome, SupersededBy IS NULL FROM LedgerUpload ORDER BY AgentID";
    const QStringList expected = {
        uploadInfo ? "005|0050712|2026-12-07|3|15000|3|15000|2026-12-07T18:30:00|Agrees|1"
                   : "005||2026-12-07|||3|15000||No totals|1",
        "006||2026-12-06|||1|700||No totals|1"};
    for (int opening = 0; opening < 2; ++opening) {
        auto db = Database::open(pf.folder().databasePath(), &error);
        QVERIFY2(db, qPrintable(error));
        QCOMPARE(rows(db->handle(), uploads), expected);
        QCOMPARE(rows(db->handle(),
                      "SELECT AgentID, AccountNo, ClosingAmt, CollectedAmt, Date, "
                      "Amtcollected, InDownload FROM Report1 "
                      "ORDER BY AgentID, TransactionNumber"),
                 QStringList({"005|11|1050|50|2026-12-07|0000050.00|1",
                              "005|11|1150|100|2026-12-07|0000100.00|1",
                              "005|13|||2026-12-07|00000x0.00|0",
                              "006|21|77|7|2026-12-06|0000007.00|1"}));
        QCOMPARE(rows(db->handle(), "SELECT count(*) FROM RestoreData"), QStringList{"5"});
        QCOMPARE(rows(db->handle(), "PRAGMA user_version"),
                 QStringList{QString::number(schema::kVersion)});
    }
}

// A ledger kept before it knew what the bank upload file took: at the first opening each
// collection is marked posted or not by the file's rule, and one at a time of day that is not
// real leaves its day's total as unreadable.
void TestDatabase::olderLedgerLearnsWhatTheBankPosted() {
    test::TempProgramFolder pf;
    QString error;
    {
        auto db = Database::open(pf.folder().databasePath(), &error);
        QVERIFY2(db, qPrintable(error));
        QSqlQuery q(db->handle());
        QVERIFY(
            q.exec("INSERT INTO LedgerUpload (UploadID, AgentID, Day, StoredCount, "
                   "StoredTotal) VALUES (1, '005', '2026-12-07', 5, 1500)"));
        // Account, transaction number, time, amount, in the download, unreadable.
        for (const char* row : {"'11', 1, '10:00', 100, 1, 0", "'12', 1, '10:05', 200, 1, 0",
                                "'13', 2, '10:10', 300, 0, 0", "'14', 3, '25:00', 400, 1, 0",
                                "'15', 4, '10:20', NULL, 1, 1"}) {
            QVERIFY2(q.exec(QString("INSERT INTO LedgerCollection (UploadID, Superseded, "
                                    "AgentID, BranchID, Date, AccountNo, TransactionNumber, Time, "
                                    "Amount, InDownload, Unreadable) VALUES (1, 0, '005', 'BR1', "
                                    "'2026-12-07', %1)")
                                .arg(row)),
                     qPrintable(q.lastError().text()));
        }
        QVERIFY(q.exec("INSERT INTO LedgerDay VALUES (1, 0, '005', 'BR1', '2026-12-07', 4, 1000)"));
        QVERIFY(q.exec("UPDATE LedgerCollection SET Posted = NULL"));
        QVERIFY(q.exec("PRAGMA user_version = 6"));
    }
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY2(db, qPrintable(error));
    QSqlQuery q(db->handle());
    QVERIFY(
        q.exec("SELECT AccountNo, Posted, Unreadable, coalesce(StoredDateTime, '') "
               "FROM LedgerCollection ORDER BY AccountNo"));
    QStringList marks;
    while (q.next()) {
        marks << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                             q.value(3).toString()}
                     .join('|');
    }
    QCOMPARE(marks,
             QStringList({"11|1|0|", "12|0|0|", "13|0|0|", "14|0|1|07/12/2026 25:00", "15|0|1|"}));
    QVERIFY(q.exec("SELECT Collections, Total FROM LedgerDay"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 3);
    QCOMPARE(q.value(1).toInt(), 600);
}

void TestDatabase::upgradeTellsHowFarItIsOrThatTheDiskIsFull_data() {
    QTest::addColumn<int>("agents");
    QTest::addColumn<int>("rowsEach");
    QTest::addColumn<int>("sparePages");  // -1: no limit
    QTest::addColumn<QString>("told");    // what the upgrade told, report by report
    const QString begin = "0/0 adding the new tables and indexes|";
    QTest::newRow("no uploads") << 0 << 0 << -1
                                << begin +
                                       "0/1 entering the collections into the ledger|"
                                       "0/1 indexing the ledger|1/1 done.";
    QTest::newRow("one agent") << 1 << 30 << -1
                               << begin +
                                      "0/41 entering the collections into the ledger|"
                                      "30/41 entering the collections into the ledger|"
                                      "30/41 indexing the ledger|41/41 done.";
    QTest::newRow("three agents") << 3 << 300 << -1
                                  << begin +
                                         "0/1201 entering the collections into the ledger|"
                                         "300/1201 entering the collections into the ledger|"
                                         "600/1201 entering the collections into the ledger|"
                                         "900/1201 entering the collections into the ledger|"
                                         "900/1201 indexing the ledger|1201/1201 done.";
    // The pages the file may grow by: a disk that fills up while the second agent's
    // collections are entered, or while the ledger's indexes are made.
    QTest::newRow("a full disk")
        << 3 << 300 << 12
        << begin +
               "0/1201 entering the collections into the ledger|"
               "300/1201 entering the collections into the ledger|300/1201 undone.";
    QTest::newRow("a full disk at the indexes")
        << 3 << 300 << 20
        << begin +
               "0/1201 entering the collections into the ledger|"
               "300/1201 entering the collections into the ledger|"
               "600/1201 entering the collections into the ledger|"
               "900/1201 entering the collections into the ledger|"
               "900/1201 indexing the ledger|900/1201 undone.";
}

// The upgrade of a file from before the ledger tells how far it has come: when it begins, after
// each agent's collections, when the indexes are made, and when it is over (repeated reports
// from inside one long statement aside). A disk that fills up during it undoes it: the file is
// as it was, refused as one that could not be written (not as damaged), and upgraded at the
// next start with room on the disk.
void TestDatabase::upgradeTellsHowFarItIsOrThatTheDiskIsFull() {
    QFETCH(int, agents);
    QFETCH(int, rowsEach);
    QFETCH(int, sparePages);
    QFETCH(QString, told);
    test::TempProgramFolder pf;
    const QString path = pf.folder().databasePath();
    const QString made = test::makeOlderDatabase(path, agents, rowsEach);
    QVERIFY2(made.isEmpty(), qPrintable(made));
    const QByteArray before = contentsOf(path);

    // Each step's first report, and every report of an agent's collections entered; what
    // has been done never goes back within a step.
    QStringList reports;
    UpgradeProgress last;
    bool forward = true;
    auto record = [&](const UpgradeProgress& p) {
        const QString r =
            QString("%1/%2 %3%4").arg(p.done).arg(p.total).arg(p.step, p.over ? "." : "");
        if (p.step == last.step) {
            forward = forward && p.done >= last.done && p.total == last.total;
        }
        if (reports.isEmpty() || (p.step != last.step && !reports.last().endsWith(r)) ||
            (p.step.startsWith("entering") && p.done != last.done)) {
            reports << r;
        }
        last = p;
    };
    g_sparePages = sparePages;
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(&limitPages));
    QString error;
    DbOpenProblem problem;
    auto db = Database::open(path, &error, &problem, record);
    sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&limitPages));
    g_sparePages = -1;
    QCOMPARE(reports.join('|'), told);
    QVERIFY(forward);
    if (sparePages >= 0) {
        QVERIFY(!db);
        QCOMPARE(int(problem.kind), int(DbOpenProblem::Kind::NoSpace));
        QVERIFY(problem.upgrading);
        QCOMPARE(problem.reason, QString("database or disk is full"));
        QCOMPARE(error, "The database file " + QDir::toNativeSeparators(path) +
                            " could not be written: database or disk is full.");
        QCOMPARE(contentsOf(path), before);
        QVERIFY(!QFile::exists(path + "-journal"));
        db = Database::open(path, &error);
        QVERIFY2(db, qPrintable(error));
    }
    QVERIFY2(db, qPrintable(error));
    QSqlQuery q(db->handle());
    QVERIFY(q.exec("SELECT count(*), (SELECT count(*) FROM LedgerCollection) FROM LedgerUpload"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), agents);
    QCOMPARE(q.value(1).toInt(), agents * rowsEach);
    QVERIFY(
        q.exec("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name LIKE "
               "'Ledger%' AND sql IS NOT NULL"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(),
             schema::indexesAndViews().filter("CREATE INDEX").filter(" ON Ledger").size());
    QVERIFY(q.exec("PRAGMA journal_mode"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("wal"));
}

void TestDatabase::snoWrittenAsNumberIsFoundAsText() {
    test::TempProgramFolder pf;
    QString error;
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY(db);
    QSqlQuery q(db->handle());
    q.prepare("INSERT INTO BankData (SNo, AgentID) VALUES (?, 'x')");
    q.addBindValue(1);
    QVERIFY(q.exec());
    QVERIFY(q.exec("SELECT typeof(SNo) FROM BankData WHERE SNo='1'"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("text"));
}

void TestDatabase::valReadsLeadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("digits") << "123" << 123.0;
    QTest::newRow("leading blanks") << "   42abc" << 42.0;
    QTest::newRow("blanks inside") << "1 2 3" << 123.0;
    QTest::newRow("letter first") << "RAMESH 12" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("decimal") << "0012345.50" << 12345.5;
    QTest::newRow("negative") << "-7 days" << -7.0;
    QTest::newRow("exponent") << "1E3x" << 1000.0;
    QTest::newRow("incomplete exponent") << "12E" << 12.0;
    QTest::newRow("sign only") << "-" << 0.0;
}

void TestDatabase::valReadsLeadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(vbVal(text), value);
}

void TestDatabase::dayOfKeyIsTheNearestToTheReceipt_data() {
    QTest::addColumn<QString>("keyReceivedDay");  // the key, the day received, the day it names
    QTest::newRow("the same day") << QString("0050712 2026-12-07 2026-12-07");
    QTest::newRow("received a day late") << QString("0050612 2026-12-07 2026-12-06");
    QTest::newRow("typed for tomorrow") << QString("0050812 2026-12-07 2026-12-08");
    QTest::newRow("New Year's Eve, for tomorrow") << QString("0050101 2026-12-31 2027-01-01");
    QTest::newRow("New Year's Day, yesterday's") << QString("0053112 2027-01-01 2026-12-31");
    QTest::newRow("29 February before") << QString("0052902 2025-03-01 2024-02-29");
    QTest::newRow("29 February after") << QString("0052902 2027-12-31 2028-02-29");
    QTest::newRow("no such day") << QString("0053102 2026-12-07 ");
    QTest::newRow("not a day") << QString("005ab12 2026-12-07 ");
}

void TestDatabase::dayOfKeyIsTheNearestToTheReceipt() {
    QFETCH(QString, keyReceivedDay);
    const QStringList c = keyReceivedDay.split(' ');
    QCOMPARE(dayOfKey(c[0], QDate::fromString(c[1], Qt::ISODate)).toString(Qt::ISODate), c[2]);
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
