// A replacement of an agent's rows is all or nothing: a database error half-way through, or
// the program killed in the middle of a large store, leaves the agent's old rows as they
// were and the file sound. A database made by several programs at once is one sound file.
#include "db/BankDataStore.h"
#include "db/Database.h"
#include "db/RestoreDataStore.h"
#include "download/DownloadFixture.h"
#include "download/DownloadTransfer.h"
#include "support/FakeSerialLink.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <csignal>
#include <iostream>

using namespace kovrin;

namespace {

const QString kAgent = QStringLiteral("005            ");

QVector<RestoreDataRow> collections(int n, const QString& tag) {
    QVector<RestoreDataRow> rows;
    rows.reserve(n);
    for (int i = 0; i < n; ++i) {
        RestoreDataRow r;
        r.AgentID = kAgent;
        r.BranchID = "BR001";
        r.AccountNo = QString::number(100000 + i / 7).rightJustified(15, '0');
        r.Amtcollected = QString::number(100 + i % 900).rightJustified(7, '0') + ".00";
        r.DateTime = "25/03/2026 10:15";
        r.TransactionNumber = QString::number(i + 1).rightJustified(4, '0');
        r.CategoryCode = "S";
        r.SchemeCode = "DDS01";
        r.AccountName = tag + QString::number(i);
        rows << r;
    }
    return rows;
}

QString integrity(Database& db) {
    QSqlQuery q(db.handle());
    if (!q.exec("PRAGMA integrity_check") || !q.next()) {
        return "no answer";
    }
    return q.value(0).toString();
}

// Makes every insert of a row whose account is `account` fail, on this connection only.
void failInsertOf(Database& db, const QString& table, const QString& column,
                  const QString& account) {
    QSqlQuery q(db.handle());
    QVERIFY2(q.exec(QString("CREATE TEMP TRIGGER injected BEFORE INSERT ON %1 WHEN NEW.%2 = '%3' "
                            "BEGIN SELECT RAISE(ABORT, 'injected failure'); END")
                        .arg(table, column, account)),
             qPrintable(q.lastError().text()));
}

// The child process: stores `rows` collections for the agent and says when done.
int storeChild(const QString& path, int rows) {
    QString error;
    auto db = Database::open(path, &error);
    if (!db) {
        std::cerr << error.toStdString() << "\n";
        return 2;
    }
    const DbStatus st = RestoreDataStore(*db).replaceUpload(
        {kAgent, "0050326", rows, 100LL * rows, QDateTime(QDate(2026, 3, 26), QTime(18, 0))},
        collections(rows, "new "));
    std::cout << (st ? "stored" : "failed") << std::endl;
    return st ? 0 : 1;
}

// The child process: opens (creating it when missing) the database the moment `go` appears,
// then stores one account of `agent`.
int createChild(const QString& path, const QString& go, const QString& agent) {
    std::cout << "ready" << std::endl;
    while (!QFile::exists(go)) {
        QThread::usleep(100);
    }
    QString error;
    auto db = Database::open(path, &error);
    if (!db) {
        std::cout << error.toStdString() << std::endl;
        return 2;
    }
    BankDataRow r;
    r.AgentID = agent;
    r.ACNumber = "100001";
    const DbStatus st = BankDataStore(*db).replaceAgentRows(agent, {r});
    std::cout << (st ? "stored" : "failed: " + st.error.toStdString()) << std::endl;
    return st ? 0 : 1;
}

}  // namespace

class TestAtomicity : public QObject {
    Q_OBJECT
private slots:
    void errorHalfWayKeepsTheOldCollections();
    void errorHalfWayKeepsTheOldAccounts();
    void downloadWhoseStoreFailsSendsNothing();
    void killedDuringALargeStore();
    void firstOpeningsAtOnceShareOneFile();
};

void TestAtomicity::errorHalfWayKeepsTheOldCollections() {
    test::TempProgramFolder pf;
    QString error;
    auto db = Database::open(pf.folder().databasePath(), &error);
    QVERIFY(db);
    RestoreDataStore store(*db);
    const QVector<RestoreDataRow> old = collections(300, "old ");
    QVERIFY(store.replaceAgentRows(kAgent, old));
    QVector<RestoreDataRow> fresh = collections(14000, "new ");
    fresh[9000].AccountNo = "BROKEN";
    failInsertOf(*db, "RestoreData", "AccountNo", "BROKEN");
    const DbStatus st = store.replaceAgentRows(kAgent, fresh);
    QVERIFY(!st);
    QVERIFY2(st.error.contains("injected failure"), qPrintable(st.error));
    QCOMPARE(store.checkFileRows(kAgent).size(), old.size());
    QCOMPARE(store.uploadFileRows(kAgent).first().AccountName, QString("old 0"));
    QCOMPARE(integrity(*db), QString("ok"));
    // The connection is usable afterwards: the next store goes through.
    fresh[9000].AccountNo = "000000000101285";
    QVERIFY(store.replaceAgentRows(kAgent, fresh));
    QCOMPARE(store.checkFileRows(kAgent).size(), 14000);
}

void TestAtomicity::errorHalfWayKeepsTheOldAccounts() {
    test::DownloadFixture fx;
    BankDataStore store(*fx.db);
    QVector<BankDataRow> old;
    for (int i = 0; i < 50; ++i) {
        BankDataRow r;
        r.AgentID = kAgent;
        r.ACNumber = QString::number(i);
        old << r;
    }
    QVERIFY(store.replaceAgentRows(kAgent, old));
    QVector<BankDataRow> fresh = old;
    for (int i = 0; i < 1950; ++i) {
        fresh << old[i % 50];
    }
    fresh[1500].ACNumber = "BROKEN";
    failInsertOf(*fx.db, "BankData", "ACNumber", "BROKEN");
    QVERIFY(!store.replaceAgentRows(kAgent, fresh));
    QCOMPARE(store.agentRows(kAgent), old);
    QCOMPARE(integrity(*fx.db), QString("ok"));
}

void TestAtomicity::downloadWhoseStoreFailsSendsNothing() {
    test::DownloadFixture fx;
    test::MessageRecorder rec;
    test::FakeSerialLink port;
    DownloadTransfer tx(*fx.db, fx.settings, fx.pf.path(), port, *fx.log);
    fx.writeFile("0052503d.txt", test::downloadFile(3));
    tx.cmdSend_Click({"5", "2503", "1"});
    QVERIFY(tx.isSending());
    tx.stop();
    const QVector<BankDataRow> before = BankDataStore(*fx.db).agentRows(kAgent);
    QCOMPARE(before.size(), 3);

    // The next day's file breaks down half-way through its store.
    QByteArray file = test::downloadFile(2000);
    const QByteArray broken = test::downloadLine(1234, "DEPOSITOR 1234");
    failInsertOf(*fx.db, "BankData", "ACNumber", QString::fromLatin1(broken.mid(21, 15)));
    fx.writeFile("0052603d.txt", file);
    port.written.clear();
    rec.clear();
    tx.cmdSend_Click({"5", "2603", "1"});
    QVERIFY(!tx.isSending());
    QCOMPARE(rec.messages.size(), 1);
    QVERIFY2(rec.last().text.contains("0052603d.txt"), qPrintable(rec.last().text));
    QVERIFY2(rec.last().text.contains("Nothing was changed and nothing was sent"),
             qPrintable(rec.last().text));
    QVERIFY(port.written.isEmpty());
    QCOMPARE(BankDataStore(*fx.db).agentRows(kAgent), before);
    QCOMPARE(integrity(*fx.db), QString("ok"));
}

void TestAtomicity::killedDuringALargeStore() {
    test::TempProgramFolder pf;
    const QString path = pf.folder().databasePath();
    const QVector<RestoreDataRow> old = collections(500, "old ");
    {
        QString error;
        auto db = Database::open(path, &error);
        QVERIFY(db);
        QVERIFY(RestoreDataStore(*db).replaceUpload(
            {kAgent, "0050325", 500, 50000, QDateTime(QDate(2026, 3, 25), QTime(18, 0))}, old));
    }
    // Killed once its transaction has begun writing: pages of it are in the write-ahead log.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {"--store-child", path, QString::number(200000)});
    QVERIFY(child.waitForStarted());
    QDeadlineTimer deadline(60000);
    const QString log = path + "-wal";
    while (QFileInfo(log).size() < 1024 * 1024 && !deadline.hasExpired() &&
           child.state() == QProcess::Running) {
        QThread::msleep(2);
    }
    QVERIFY2(QFileInfo(log).size() >= 1024 * 1024, "the store never began");
    QThread::msleep(50);  // into the inserts
    QCOMPARE(child.state(), QProcess::Running);
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    QVERIFY(!child.readAllStandardOutput().contains("stored"));
    QVERIFY(QFile::exists(log));  // the transaction was cut off

    // The next start rolls the cut-off transaction back.
    QString error;
    auto db = Database::open(path, &error);
    QVERIFY2(db, qPrintable(error));
    QCOMPARE(integrity(*db), QString("ok"));
    const QVector<RestoreDataRow> after = RestoreDataStore(*db).checkFileRows(kAgent);
    QCOMPARE(after.size(), old.size());
    for (const RestoreDataRow& r : after) {
        QVERIFY(r.AccountName.startsWith("old "));
    }
    // The day's header kept is the one of the rows kept.
    const std::optional<UploadInfo> info = RestoreDataStore(*db).uploadInfo(kAgent);
    QVERIFY(info);
    QCOMPARE(info->AgentDateKey, QString("0050325"));
    QCOMPARE(info->TotalTransactions, 500);
}

// Three programs open a folder's missing database at the same moment, again and again: one
// file is made, every program stores into that one, and no half-made file or other
// program's file is deleted or replaced.
void TestAtomicity::firstOpeningsAtOnceShareOneFile() {
    const QStringList agents{"001", "002", "003"};
    for (int round = 0; round < 20; ++round) {
        test::TempProgramFolder pf;
        const QString path = pf.folder().databasePath();
        const QString go = pf.filePath("go");
        std::vector<std::unique_ptr<QProcess>> children;
        for (const QString& agent : agents) {
            children.push_back(std::make_unique<QProcess>());
            children.back()->start(QCoreApplication::applicationFilePath(),
                                   {"--create-child", path, go, agent});
        }
        for (auto& c : children) {
            QVERIFY(c->waitForReadyRead(60000));
        }
        QFile(go).open(QIODevice::WriteOnly);
        for (auto& c : children) {
            QVERIFY(c->waitForFinished(60000));
            const QString out = QString::fromUtf8(c->readAllStandardOutput());
            QCOMPARE(out, QString("ready\nstored\n"));
            QCOMPARE(c->exitCode(), 0);
        }
        QString error;
        auto db = Database::open(path, &error);
        QVERIFY2(db, qPrintable(error));
        QCOMPARE(integrity(*db), QString("ok"));
        for (const QString& agent : agents) {
            QCOMPARE(BankDataStore(*db).agentRows(agent).size(), 1);
        }
        db.reset();
        QCOMPARE(QDir(pf.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"go", "HandHeldData.mdb"}));
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--store-child") {
        return storeChild(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    }
    if (argc == 5 && QByteArray(argv[1]) == "--create-child") {
        return createChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                           QString::fromLocal8Bit(argv[4]));
    }
    TestAtomicity t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_atomicity.moc"
