// A disk that fills up while the bank files are written (simulated with a file-size limit,
// which holds for root too), and folders the operator may not write into: each file that
// cannot be written is named in a message with the system's reason, the earlier version of
// every file stays whole, nothing half-written is left beside them, and the database is not
// touched.
#include "core/Clock.h"
#include "core/ProcessSignals.h"
#include "db/RestoreDataStore.h"
#include "support/TempProgramFolder.h"
#include "upload/RestoreData.h"
#include "upload/RestoreRows.h"
#include "upload/UploadFixture.h"

#include <sys/resource.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QProcess>
#include <QSqlQuery>
#include <QtTest>
#include <csignal>
#include <iostream>

using namespace kovrin;

static const kovrin::FixedClock kEvening(QDateTime(QDate(2026, 3, 25), QTime(18, 0)));
using namespace kovrin::test;

namespace {

// A day of `frames` transaction frames of seven collections, for accounts 0 to frames - 1.
UploadData day(int frames, int firstNumber) {
    QList<QByteArray> list;
    qint64 total = 0;
    int n = firstNumber;
    for (int i = 0; i < frames; ++i) {
        QList<QByteArray> txSlots;
        for (int t = 0; t < 7; ++t) {
            txSlots << slotBytes("00 01 00", "25 3A 10 00", n++);
            total += 100;
        }
        list << transactionFrame(i + 2, accountNo(i), 0x07, txSlots);
    }
    return upload(list, "0050325", frames * 7, total);
}

QMap<QString, QByteArray> snapshot(const QStringList& folders) {
    QMap<QString, QByteArray> out;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
            out[dir.filePath(name)] = readAll(dir.filePath(name));
        }
    }
    return out;
}

// The child: writes the agent's files again from the stored rows under a file-size limit,
// printing each message on a line of its own. It leaves SIGXFSZ to the program's own start:
// without that, the first write past the limit ends the child.
int writeFilesChild(const QString& programFolder, const QString& bankFolder, qint64 limit,
                    bool asNobody) {
    QString error;
    auto db = Database::open(ProgramFolder(programFolder).databasePath(), &error);
    if (!db) {
        std::cout << "no database: " << error.toStdString() << std::endl;
        return 2;
    }
    AppSettings settings;
    settings.BankInfoPath = bankFolder;
    RestoreData restore(*db, settings, ProgramFolder(programFolder));
    ignoreFileSizeSignal();
    const rlimit lim{rlim_t(limit), rlim_t(limit)};
    if (limit > 0 && setrlimit(RLIMIT_FSIZE, &lim) != 0) {
        return 3;
    }
    // Root writes into read-only folders: the operator's rights are those of an ordinary user.
    if (asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
        return 4;
    }
    restore.writeFilesAgain(kAgent, [](const MessageRequest& r) {
        std::cout << r.text.toStdString() << std::endl;
        return MsgAnswer::Ok;
    });
    return 0;
}

}  // namespace

class TestFullDisk : public QObject {
    Q_OBJECT
private slots:
    void filesThatDoNotFitKeepTheirEarlierVersion();
    void readOnlyFoldersKeepTheirFiles();
};

void TestFullDisk::filesThatDoNotFitKeepTheirEarlierVersion() {
    StoreFixture s;
    QVector<BankDataRow> accounts;
    for (int i = 0; i < 40; ++i) {
        accounts << bankAccount(i, QString("DEPOSITOR %1").arg(i));
    }
    s.download(accounts);
    RestoreData restore(*s.db, s.settings, s.pf.folder());
    restore.setClock(kEvening);
    // Yesterday's files of this agent and day are there ...
    const RestoreOutcome first = restore.run(day(10, 1), s.messages());
    QVERIFY(first.stored && !first.uploadFile.isEmpty() && !first.checkFile.isEmpty());
    // ... and a larger upload is stored whose files are to be written again.
    const UploadData second = day(40, 500);
    QVector<RestoreProblem> problems;
    const QVector<RestoreDataRow> rows =
        buildRestoreRows(second, AccountLookup(accounts), 2026, &problems);
    QVERIFY(RestoreDataStore(*s.db).replaceUpload(
        {kAgent, "0050325", 280, 28000, QDateTime(QDate(2026, 3, 25), QTime(19, 0))}, rows));
    const QStringList folders{s.bankFolder, s.pf.filePath("BackupData")};
    const QMap<QString, QByteArray> before = snapshot(folders);
    s.db.reset();  // the write-ahead log written back: the file alone holds everything
    const QByteArray dbBefore = readAll(s.pf.folder().databasePath());

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {"--write-files-again", s.pf.path(), s.bankFolder, "4096", "-"});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);  // not ended by SIGXFSZ
    QCOMPARE(child.exitCode(), 0);
    const QStringList messages =
        QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(messages.size(), 2);
    QVERIFY2(messages[0].startsWith("The bank upload file " +
                                    QDir::toNativeSeparators(first.uploadFile) +
                                    " could not be written: "),
             qPrintable(messages[0]));
    const QString check = s.backupPath("0050325uCheck.txt");
    QVERIFY2(messages[1].startsWith("The check file " + QDir::toNativeSeparators(check) +
                                    " could not be written: "),
             qPrintable(messages[1]));
    // The system's reason, not an unknown error.
    for (const QString& m : messages) {
        QVERIFY2(m.contains("could not be written: File too large."), qPrintable(m));
    }
    // Every file as it was, and nothing new beside them.
    QCOMPARE(snapshot(folders), before);
    QCOMPARE(readAll(s.pf.folder().databasePath()), dbBefore);

    // Once there is room again, the files are written from the stored rows.
    QString error;
    s.db = Database::open(s.pf.folder().databasePath(), &error);
    RestoreData again(*s.db, s.settings, s.pf.folder());
    const RestoreOutcome out = again.writeFilesAgain(kAgent, s.messages());
    QVERIFY(out.totalsMatch);
    QCOMPARE(readAll(out.uploadFile).count("\r\n"), 280);
}

void TestFullDisk::readOnlyFoldersKeepTheirFiles() {
    StoreFixture s;
    QVector<BankDataRow> accounts;
    for (int i = 0; i < 12; ++i) {
        accounts << bankAccount(i, QString("DEPOSITOR %1").arg(i));
    }
    s.download(accounts);
    RestoreData restore(*s.db, s.settings, s.pf.folder());
    restore.setClock(kEvening);
    const RestoreOutcome first = restore.run(day(10, 1), s.messages());
    QVERIFY(first.stored);
    const QStringList folders{s.bankFolder, s.pf.filePath("BackupData")};
    const QMap<QString, QByteArray> before = snapshot(folders);
    s.db.reset();  // the write-ahead log written back: the file alone holds everything
    const QByteArray dbBefore = readAll(s.pf.folder().databasePath());
    // Everyone may read the program folder and its database; nobody but the owner may write
    // into the two folders of the files.
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(s.pf.path(), open));
    QVERIFY(QFile::setPermissions(s.pf.folder().databasePath(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    for (const QString& f : folders) {
        QVERIFY(QFile::setPermissions(f, open & ~QFile::Permissions(QFile::WriteOwner)));
    }

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {"--write-files-again", s.pf.path(), s.bankFolder, "0", "nobody"});
    QVERIFY(child.waitForFinished(60000));
    const QStringList messages =
        QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (const QString& f : folders) {
        QFile::setPermissions(f, open);
    }
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(messages.size(), 2);
    QVERIFY2(messages[0].startsWith("The bank upload file " +
                                    QDir::toNativeSeparators(first.uploadFile) +
                                    " could not be written: "),
             qPrintable(messages[0]));
    QVERIFY2(messages[1].startsWith("The check file " +
                                    QDir::toNativeSeparators(s.backupPath("0050325uCheck.txt")) +
                                    " could not be written: "),
             qPrintable(messages[1]));
    for (const QString& m : messages) {
        QVERIFY2(m.contains("ermission denied") || m.contains("is not writable"), qPrintable(m));
    }
    QCOMPARE(snapshot(folders), before);
    QCOMPARE(readAll(s.pf.folder().databasePath()), dbBefore);
}

int main(int argc, char** argv) {
    // The signal's own action, whatever the shell that started the tests set: only the
    // program's start may change it.
    std::signal(SIGXFSZ, SIG_DFL);
    QCoreApplication app(argc, argv);
    if (argc == 6 && QByteArray(argv[1]) == "--write-files-again") {
        return writeFilesChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                               QByteArray(argv[4]).toLongLong(), QByteArray(argv[5]) == "nobody");
    }
    TestFullDisk t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_fulldisk.moc"
