// Start-up: database, settings row, the message seam and the operator log; and the two
// programs themselves started on one folder: one runs, a second start is told so, and every
// start that cannot go on says why and what to do, in a message that reaches operator.log.
#include "app/AppContext.h"
#include "core/Clock.h"
#include "core/Messages.h"
#include "db/SettingsStore.h"
#include "support/MessageRecorder.h"
#include "support/OlderDatabase.h"
#include "support/TempProgramFolder.h"

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

using namespace kovrin;

static const kovrin::FixedClock kMorning(QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5)));

namespace {

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString oneLine(QString text) {
    return text.replace('\n', ' ');
}

// What a start-up message says, with the folder and the database file filled in.
QString expand(QString text, const QString& folder) {
    return text.replace("{db}", QDir::toNativeSeparators(folder + "/HandHeldData.mdb"))
        .replace("{folder}", QDir::toNativeSeparators(folder));
}

const QString kAlreadyRunning =
    "The program is already running in the folder {folder}. Only one copy may run on a folder "
    "at a time: use the one that is open, or close it before starting again.";
const QString kSelectSettings = "Please Select CommPort and BankName";

// How a program is started: as the operator (another user than root, whose rights are not the
// administrator's), under a limit to the size of the files it writes.
struct Limits {
    bool asOperator = false;
    qint64 fileSize = 0;  // bytes; 0 for none
};

// A program folder holding the two programs, kovrin and kovrin-2.0, as the package lays them
// out: each keeps its files beside itself. They are started as an operator would start them,
// offscreen, with their messages printed on standard output instead of shown.
class ProgramsFolder {
public:
    ProgramsFolder() {
        QFile::setPermissions(path(), QFile::Permissions(0x7777));
        for (const QString& exe : {QString(KOVRIN_PROGRAM), QString(KOVRIN_PROGRAM_20)}) {
            const QString to = filePath(QFileInfo(exe).fileName());
            // A second name for the file when the folders share a disk, a copy otherwise.
            if (::link(QFile::encodeName(exe).constData(), QFile::encodeName(to).constData()) !=
                0) {
                QFile::copy(exe, to);
            }
        }
    }
    ~ProgramsFolder() { QFile::setPermissions(path(), QFile::Permissions(0x7777)); }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    QString program(bool revision20 = false) const {
        return filePath(revision20 ? "kovrin-2.0" : "kovrin");
    }
    QString database() const { return filePath("HandHeldData.mdb"); }

    // Everything but the programs themselves.
    QStringList files() const {
        QStringList names = QDir(path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                   QDir::Hidden | QDir::System);
        names.removeAll("kovrin");
        names.removeAll("kovrin-2.0");
        return names;
    }
    void empty() const {
        for (const QString& name : files()) {
            const QString p = filePath(name);
            QFileInfo(p).isDir() ? QDir(p).removeRecursively() : QFile::remove(p);
        }
    }

    std::unique_ptr<QProcess> start(bool revision20 = false, Limits limits = {}) const {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KOVRIN_PRINT_MESSAGES", "1");
        p->setProcessEnvironment(env);
        p->setChildProcessModifier([limits] {
            // The program meets a file-size limit with its signal's own action.
            ::signal(SIGXFSZ, SIG_DFL);
            if (limits.fileSize > 0) {
                const rlimit lim{rlim_t(limits.fileSize), rlim_t(limits.fileSize)};
                if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) {
                    ::_exit(120);
                }
            }
            if (limits.asOperator && ::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                ::_exit(121);
            }
        });
        p->start(program(revision20), {});
        return p;
    }

private:
    QTemporaryDir m_dir;
};

// Waits until the program has printed `text` or has ended; returns what it printed.
QString waitForMessage(QProcess& p, const QString& text, int ms = 60000) {
    QString out;
    QDeadlineTimer deadline(ms);
    while (!out.contains(text) && !deadline.hasExpired()) {
        if (p.state() == QProcess::NotRunning) {
            out += QString::fromUtf8(p.readAllStandardOutput());
            break;
        }
        p.waitForReadyRead(100);
        out += QString::fromUtf8(p.readAllStandardOutput());
    }
    return out;
}

// The files a running process holds open, as the system names them: a file deleted since it
// was opened reads "... (deleted)".
QStringList openFiles(qint64 pid) {
    QStringList files;
    const QDir fds(QString("/proc/%1/fd").arg(pid));
    for (const QString& fd :
         fds.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        char target[4096];
        const ssize_t n =
            ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target);
        files << (n > 0 ? QString::fromLocal8Bit(target, int(n)) : QString());
    }
    return files;
}

// The database the program left: sound, with its tables.
QString checkDatabase(const QString& path) {
    QString verdict;
    {
        QSqlDatabase c = QSqlDatabase::addDatabase("QSQLITE", "check");
        c.setDatabaseName(path);
        c.setConnectOptions("QSQLITE_OPEN_READONLY");
        if (!c.open()) {
            return "cannot be opened: " + c.lastError().text();
        }
        QSqlQuery q(c);
        if (!q.exec("PRAGMA integrity_check") || !q.next()) {
            verdict = "cannot be read: " + q.lastError().text();
        } else {
            verdict = q.value(0).toString();
            QStringList tables;
            q.exec("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
            while (q.next()) {
                tables << q.value(0).toString();
            }
            if (tables != QStringList{"BankData", "DownloadInfo", "LedgerCollection", "LedgerDay",
                                      "LedgerUpload", "Password", "Path", "PortDevices",
                                      "RestoreData", "StationPorts", "UploadInfo"}) {
                verdict += " tables " + tables.join(',');
            }
        }
        c.close();
    }
    QSqlDatabase::removeDatabase("check");
    return verdict;
}

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesDatabaseAndWarnsOnce();
    void settingsRowIsCopiedIntoAppSettings();
    void unusableDatabaseEndsStartUp();
    void operatorLogReceivesEveryMessage();
    void messageLoggedBeforeItIsShown();
    void twoStartsAtOnceRunOneProgram();
    void lockOfAKilledProgramIsTakenOver();
    void refusedStartSaysWhyAndWhatToDo_data();
    void refusedStartSaysWhyAndWhatToDo();
};

void TestStartup::firstStartCreatesDatabaseAndWarnsOnce() {
    test::TempProgramFolder pf;
    test::MessageRecorder rec;
    QString error;
    auto ctx = AppContext::startUp(pf.folder(), &error);
    QVERIFY2(ctx, qPrintable(error));
    QVERIFY(QFile::exists(pf.filePath("HandHeldData.mdb")));
    QCOMPARE(rec.messages.size(), 1);
    QCOMPARE(rec.last().text, QString("Please Select CommPort and BankName"));
    QCOMPARE(rec.last().icon, MsgIcon::Critical);
    QCOMPARE(rec.last().buttons, MsgButtons::Ok);
    QCOMPARE(ctx->settings(), AppSettings{});
}

void TestStartup::settingsRowIsCopiedIntoAppSettings() {
    test::TempProgramFolder pf;
    {
        QString error;
        auto db = Database::open(pf.folder().databasePath(), &error);
        QSqlQuery q(db->handle());
        QVERIFY(
            q.exec("INSERT INTO Path (SNo, BankName, BranchName, \"Comm Port\", fontsize, "
                   "BankInfoPath, ReportPath) VALUES (1, 'Bank', '', '10', '-1', 'C:\\Bank', "
                   "'/r')"));
    }
    test::MessageRecorder rec;
    QString error;
    auto ctx = AppContext::startUp(pf.folder(), &error);
    QVERIFY(ctx);
    QCOMPARE(rec.messages.size(), 0);
    const AppSettings& s = ctx->settings();
    QCOMPARE(s.BankName, QString("Bank"));
    QCOMPARE(s.BranchName, QString(""));  // empty fields are loaded unchanged
    QCOMPARE(s.CommPort, QString("10"));
    QCOMPARE(s.FontSize, QString("-1"));
    QCOMPARE(s.BankInfoPath, QString("C:\\Bank"));
    QCOMPARE(s.ReportPath, QString("/r"));
}

void TestStartup::unusableDatabaseEndsStartUp() {
    test::TempProgramFolder pf;
    QFile f(pf.folder().databasePath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, '\x5a'));
    f.close();
    test::MessageRecorder rec;
    QString error;
    auto ctx = AppContext::startUp(pf.folder(), &error);
    QVERIFY(!ctx);
    const QString expected = expand(
        "The database file {db} cannot be used: file is not a database.\nThe program cannot "
        "start. Restore the file from a backup, or move it away so that a new empty database "
        "is created.",
        pf.path());
    QCOMPARE(error, expected);
    QCOMPARE(rec.texts(), QStringList{expected});
    QCOMPARE(rec.last().icon, MsgIcon::Critical);
    QVERIFY(
        readText(pf.filePath("operator.log")).endsWith("\tfrmMain\t" + oneLine(expected) + "\n"));
    QCOMPARE(QFileInfo(f).size(), 4096);
    QVERIFY(!QFile::exists(pf.folder().lockFilePath()));  // let go on the way out
}

void TestStartup::operatorLogReceivesEveryMessage() {
    test::TempProgramFolder pf;
    test::MessageRecorder rec;
    QString error;
    auto ctx = AppContext::startUp(pf.folder(), &error, kMorning);
    QVERIFY(ctx);
    Messages::info("frmConfigure", "Data Saved Successfully");
    Messages::show({"frmPassword", "Data Saved Successfully", MsgIcon::Information, MsgButtons::Ok,
                    "DATA SAVE"});
    QCOMPARE(rec.messages.size(), 3);  // the boxes are still shown
    QCOMPARE(rec.messages[2].title, QString("DATA SAVE"));
    QCOMPARE(rec.messages[1].title, Messages::programTitle());
    QFile log(pf.filePath("operator.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].endsWith("\tfrmMain\tPlease Select CommPort and BankName"));
    QCOMPARE(lines[1], QString("2026-12-08 09:30:05\tfrmConfigure\tData Saved Successfully"));
    QCOMPARE(lines[2], QString("2026-12-08 09:30:05\tfrmPassword\tData Saved Successfully"));
}

// The message is in the operator log before the operator sees it: should the program end
// while it is up, the log still holds it.
void TestStartup::messageLoggedBeforeItIsShown() {
    test::TempProgramFolder pf;
    OperatorLog log(pf.filePath("operator.log"));
    Messages::setOperatorLog(&log);
    QByteArray logged;
    Messages::setPresenter([&](const MessageRequest&) {
        QFile f(pf.filePath("operator.log"));
        logged = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        return MsgAnswer::Cancel;
    });
    QCOMPARE(Messages::show({"x", "Prompt", MsgIcon::Critical, MsgButtons::OkCancel, {}}),
             MsgAnswer::Cancel);
    Messages::setPresenter(nullptr);
    Messages::setOperatorLog(nullptr);
    QVERIFY(logged.contains("\tx\tPrompt\n"));
}

// Both revisions started together on an empty folder, again and again: one runs on the file it
// created, the other says that the program runs there and leaves every file alone.
void TestStartup::twoStartsAtOnceRunOneProgram() {
    ProgramsFolder pf;
    const QString running = expand(kAlreadyRunning, pf.path());
    for (int round = 0; round < 30; ++round) {
        pf.empty();
        std::unique_ptr<QProcess> first = pf.start(round % 2 == 1);
        std::unique_ptr<QProcess> second = pf.start(round % 2 == 0);
        QDeadlineTimer deadline(60000);
        while (first->state() != QProcess::NotRunning && second->state() != QProcess::NotRunning &&
               !deadline.hasExpired()) {
            first->waitForFinished(10);
            second->waitForFinished(10);
        }
        const bool firstEnded = first->state() == QProcess::NotRunning;
        QProcess& loser = firstEnded ? *first : *second;
        QProcess& winner = firstEnded ? *second : *first;
        QVERIFY2(loser.state() == QProcess::NotRunning, "neither start ended");
        const QString told = QString::fromUtf8(loser.readAllStandardOutput());
        QCOMPARE(told, running + "\n");
        QCOMPARE(loser.exitStatus(), QProcess::NormalExit);
        QCOMPARE(loser.exitCode(), 1);
        QVERIFY(waitForMessage(winner, kSelectSettings).contains(kSelectSettings));
        QCOMPARE(winner.state(), QProcess::Running);
        // The survivor works on the file in the folder, not on one deleted under it.
        const QStringList open = openFiles(winner.processId());
        QVERIFY2(open.contains(pf.database()), qPrintable(open.join('\n')));
        QVERIFY2(open.filter("(deleted)").isEmpty(), qPrintable(open.join('\n')));
        winner.kill();
        QVERIFY(winner.waitForFinished());

        QCOMPARE(checkDatabase(pf.database()), QString("ok"));
        const QString log = readText(pf.filePath("operator.log"));
        QCOMPARE(log.count("\tfrmMain\t" + running + "\n"), 1);
        QCOMPARE(log.count("\tfrmMain\t" + kSelectSettings + "\n"), 1);
        QCOMPARE(log.count('\n'), 2);
        // Nothing half-made is left beside the file: the lock of the killed program is, and
        // the write-ahead log that the next start takes up.
        QStringList files = pf.files();
        files.removeAll("BackupData");
        files.removeAll("HandHeldData.mdb-wal");
        files.removeAll("HandHeldData.mdb-shm");
        QCOMPARE(files, QStringList({"HandHeldData.mdb", "kovrin.lock", "operator.log"}));
    }
}

void TestStartup::lockOfAKilledProgramIsTakenOver() {
    ProgramsFolder pf;
    std::unique_ptr<QProcess> killed = pf.start();
    QVERIFY(waitForMessage(*killed, kSelectSettings).contains(kSelectSettings));
    killed->kill();
    QVERIFY(killed->waitForFinished());
    QVERIFY(QFile::exists(pf.filePath("kovrin.lock")));
    // The other revision starts and runs: the lock of a program that has ended is no one's.
    std::unique_ptr<QProcess> next = pf.start(true);
    const QString told = waitForMessage(*next, kSelectSettings);
    QCOMPARE(told, kSelectSettings + "\n");
    QCOMPARE(next->state(), QProcess::Running);
    // And holds it: a third start is told that the program runs there.
    std::unique_ptr<QProcess> third = pf.start();
    QVERIFY(third->waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(third->readAllStandardOutput()),
             expand(kAlreadyRunning, pf.path()) + "\n");
    next->kill();
    QVERIFY(next->waitForFinished());
}

namespace {

enum class Obstacle {
    WriteTransaction,  // another program in the middle of writing
    ExclusiveLock,     // another program holding the file to itself
    ReadOnlyDatabase,
    ReadOnlyFolder,
    Damaged,
    NotOurs,
    FileSizeLimit,       // nothing more can be written in the folder
    UpgradeCannotWrite,  // a file of an older version, and too little room for its upgrade
};

// Another program's hold on the database for as long as it lives. (This process must not
// open and close the file meanwhile: that would let go of the locks.)
class OtherProgram {
public:
    OtherProgram(const QString& path, Obstacle how) {
        m_db = QSqlDatabase::addDatabase("QSQLITE", "other program");
        m_db.setDatabaseName(path);
        QVERIFY(m_db.open());
        QSqlQuery q(m_db);
        if (how == Obstacle::ExclusiveLock) {
            QVERIFY(q.exec("PRAGMA locking_mode = EXCLUSIVE"));
            QVERIFY(q.exec("BEGIN EXCLUSIVE"));
        } else {
            QVERIFY(q.exec("BEGIN IMMEDIATE"));
            QVERIFY(q.exec("INSERT INTO Path (SNo, BankName) VALUES (1, 'other')"));
        }
    }
    ~OtherProgram() {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase("other program");
    }

private:
    QSqlDatabase m_db;
};

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

}  // namespace

void TestStartup::refusedStartSaysWhyAndWhatToDo_data() {
    QTest::addColumn<int>("obstacle");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("inLog");  // or, when no log can be written, on standard error
    const QString restore =
        " The program cannot start. Restore the file from a backup, or move it away so that a "
        "new empty database is created.";
    const QString inUse =
        "The database file {db} is in use by another program (database is locked). The program "
        "cannot start. Close the other program, then start again.";
    QTest::newRow("locked by a write") << int(Obstacle::WriteTransaction) << inUse << true;
    QTest::newRow("locked exclusively") << int(Obstacle::ExclusiveLock) << inUse << true;
    QTest::newRow("read-only database")
        << int(Obstacle::ReadOnlyDatabase)
        << "The database file {db} is read-only (Permission denied). The program cannot start. "
           "The program needs to write to this file: make it writable, then start again."
        << true;
    QTest::newRow("read-only folder")
        << int(Obstacle::ReadOnlyFolder)
        << "The program folder {folder} is read-only (Permission denied). The program cannot "
           "start. The program needs to write in this folder (its database, logs and copies): "
           "make it writable, then start again."
        << false;
    QTest::newRow("damaged") << int(Obstacle::Damaged)
                             << "The database file {db} cannot be used: file is not a database." +
                                    restore
                             << true;
    QTest::newRow("not a Kovrin database")
        << int(Obstacle::NotOurs)
        << "The database file {db} cannot be used: the table Path is missing." + restore << true;
    QTest::newRow("folder not writable")
        << int(Obstacle::FileSizeLimit)
        << "The program cannot write in its folder {folder}: the database file HandHeldData.mdb "
           "could not be created (disk I/O error). The program cannot start. Make room on the "
           "disk (or have the folder checked), then start again."
        << true;
    QTest::newRow("upgrade on a full disk")
        << int(Obstacle::UpgradeCannotWrite)
        << "The database file {db} could not be written (disk I/O error): the disk is full or "
           "the system refused the write. The file is intact: its upgrade for this version of "
           "the program was undone, and nothing in it was changed. The program cannot start. "
           "Free at least 1 MB on the disk that holds {folder}, then start again."
        << true;
}

void TestStartup::refusedStartSaysWhyAndWhatToDo() {
    QFETCH(int, obstacle);
    QFETCH(QString, message);
    QFETCH(bool, inLog);
    const auto how = Obstacle(obstacle);
    ProgramsFolder pf;
    message = expand(message, pf.path());
    const QString db = pf.database();
    switch (how) {
        case Obstacle::WriteTransaction:
        case Obstacle::ExclusiveLock:
        case Obstacle::ReadOnlyDatabase: {
            QString error;
            QVERIFY2(Database::open(db, &error), qPrintable(error));
            break;
        }
        case Obstacle::Damaged: {
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(8192, '\x5a'));
            break;
        }
        case Obstacle::NotOurs: {
            {
                QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "not ours");
                other.setDatabaseName(db);
                QVERIFY(other.open());
                QVERIFY(QSqlQuery(other).exec("CREATE TABLE Accounts (Number TEXT)"));
            }
            QSqlDatabase::removeDatabase("not ours");
            break;
        }
        case Obstacle::UpgradeCannotWrite: {
            const QString made = test::makeOlderDatabase(db, 3, 300);
            QVERIFY2(made.isEmpty(), qPrintable(made));
            break;
        }
        case Obstacle::ReadOnlyFolder:
        case Obstacle::FileSizeLimit:
            break;
    }
    const QByteArray dbBefore = contents(db);
    std::unique_ptr<OtherProgram> other;
    if (how == Obstacle::WriteTransaction || how == Obstacle::ExclusiveLock) {
        other = std::make_unique<OtherProgram>(db, how);
    }
    if (how == Obstacle::ReadOnlyDatabase) {
        QVERIFY(QFile::setPermissions(db, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
    if (how == Obstacle::ReadOnlyFolder) {
        QVERIFY(QFile::setPermissions(pf.path(), QFile::Permissions(0x5555)));
    }
    const QStringList filesBefore = pf.files();

    Limits limits;
    limits.asOperator = how == Obstacle::ReadOnlyDatabase || how == Obstacle::ReadOnlyFolder;
    limits.fileSize = how == Obstacle::FileSizeLimit        ? 1024
                      : how == Obstacle::UpgradeCannotWrite ? dbBefore.size() + 4096
                                                            : 0;
    std::unique_ptr<QProcess> p = pf.start(false, limits);
    QVERIFY(p->waitForFinished(60000));
    const QString out = QString::fromUtf8(p->readAllStandardOutput());
    const QString err = QString::fromUtf8(p->readAllStandardError());
    // Told, not ended by a signal (SIGXFSZ under the file-size limit).
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 1);
    QCOMPARE(out, message + "\n");
    const QString line = "\tfrmMain\t" + message + "\n";
    const QString log = readText(pf.filePath("operator.log"));
    if (inLog) {
        QVERIFY2(log.endsWith(line) && log.count('\n') == 1, qPrintable(log + err));
    } else {
        QVERIFY2(err.contains(line), qPrintable(err));
        QVERIFY(!QFile::exists(pf.filePath("operator.log")));
    }
    // Nothing else written, the database as it was.
    QStringList filesAfter = pf.files();
    if (inLog) {
        QVERIFY(filesAfter.removeOne("operator.log"));
    }
    QCOMPARE(filesAfter, filesBefore);
    QCOMPARE(contents(db), dbBefore);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
