// The command line, the program folder made ready before any window, and the folders shared
// by the operators' group.
#include "app/AppContext.h"
#include "app/CommandLine.h"
#include "app/SharedFolder.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QtTest>

using namespace kovrin;

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void optionsAreRead();
    void wrongCommandLinesAreNamed();
    void helpAndVersionTexts();
    void folderIsCreatedOrItsProblemNamed();
    void operatorOutsideTheGroupIsToldWhatToDo_data();
    void operatorOutsideTheGroupIsToldWhatToDo();
    void adviceIsShownAndLogged();
    void sharedFolderIsForTheGroupOnly();
};

void TestCommandLine::optionsAreRead() {
    const CommandLine none = parseCommandLine({});
    QCOMPARE(none.action, CommandLine::Action::Run);
    QVERIFY(none.folder.isEmpty());

    const CommandLine relative = parseCommandLine({"--folder", "data/../kovrin-data/"});
    QCOMPARE(relative.action, CommandLine::Action::Run);
    QCOMPARE(relative.folder, QDir::current().absoluteFilePath("kovrin-data"));

    // A launcher's folder can be overridden: the last one counts.
    const CommandLine twice = parseCommandLine({"--folder", "/var/lib/kovrin", "--folder=/srv/k"});
    QCOMPARE(twice.folder, QString("/srv/k"));
    QVERIFY(twice.logFolder.isEmpty());
    const CommandLine logs =
        parseCommandLine({"--log-folder", "/var/log/kovrin", "--folder", "/k"});
    QCOMPARE(logs.logFolder, QString("/var/log/kovrin"));
    QCOMPARE(logs.folder, QString("/k"));
    QCOMPARE(parseCommandLine({"--log-folder=/l/"}).logFolder, QString("/l"));

    QCOMPARE(parseCommandLine({"--version"}).action, CommandLine::Action::Version);
    QCOMPARE(parseCommandLine({"--folder", "/x", "-h"}).action, CommandLine::Action::Help);
    QCOMPARE(parseCommandLine({"--version", "--help"}).action, CommandLine::Action::Help);
}

void TestCommandLine::wrongCommandLinesAreNamed() {
    const QList<QPair<QStringList, QString>> cases{
        {{"--fodler", "/x"}, "unknown option \"--fodler\""},
        {{"-platform", "offscreen"}, "unknown option \"-platform\""},
        {{"/var/lib/kovrin"}, "unexpected argument \"/var/lib/kovrin\""},
        {{"--folder"}, "--folder needs a folder"},
        {{"--folder="}, "--folder needs a folder, not an empty name"},
        {{"--log-folder"}, "--log-folder needs a folder"},
        {{"--log-folder=", "--folder", "/x"}, "--log-folder needs a folder, not an empty name"},
        {{"--version", "--bogus"}, "unknown option \"--bogus\""},
    };
    for (const auto& [args, error] : cases) {
        const CommandLine c = parseCommandLine(args);
        QCOMPARE(c.action, CommandLine::Action::Error);
        QCOMPARE(c.error, error);
        QVERIFY(c.folder.isEmpty() && c.logFolder.isEmpty());
    }
}

void TestCommandLine::helpAndVersionTexts() {
    QCOMPARE(versionLine("kovrin-2.0", "2.0"),
             QString("kovrin-2.0 (Kovrin Hand-Held Interface Software) 2.0\n"));
    const QString usage = usageText("kovrin");
    QVERIFY(usage.startsWith("Usage: kovrin [--folder DIR] [--log-folder DIR]\n"));
    QVERIFY(usage.contains("--folder DIR") && usage.contains("--version") &&
            usage.contains("--help"));
    QVERIFY(usage.contains("--log-folder DIR"));
    QVERIFY(
        usage.contains("1 when the program cannot\nstart (a folder or the database cannot "
                       "be used, or root on a folder the\noperators share), 2 for a wrong "
                       "command line."));
}

void TestCommandLine::folderIsCreatedOrItsProblemNamed() {
    QTemporaryDir tmp;
    const QString nested = tmp.filePath("a/b/kovrin");
    QCOMPARE(prepareProgramFolder(nested), QString());
    QVERIFY(QFileInfo(nested).isDir());
    QCOMPARE(prepareProgramFolder(nested), QString());  // an existing folder is fine

    QFile file(tmp.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(
        prepareProgramFolder(file.fileName()),
        QString("The program folder %1 cannot be used: it is not a folder.").arg(file.fileName()));
    QCOMPARE(prepareProgramFolder(tmp.filePath("file/kovrin")),
             QString("The program folder %1 cannot be created: Not a directory.")
                 .arg(tmp.filePath("file/kovrin")));

    if (::geteuid() != 0) {  // root writes in any folder
        QVERIFY(QFile::setPermissions(nested, QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(
            prepareProgramFolder(nested),
            QString("The program folder %1 is read-only (Permission denied).\nThe program cannot "
                    "start. The program needs to write in this folder (its database, logs and "
                    "copies): make it writable, then start again.")
                .arg(nested));
    }
}

// Operators belong to the folder's group (the data) and to dialout (the ports): one message
// names the command for both, whichever is missing.
void TestCommandLine::operatorOutsideTheGroupIsToldWhatToDo_data() {
    QTest::addColumn<QList<bool>>("inProcess");  // kovrin, dialout
    QTest::addColumn<QList<bool>>("inAccount");
    QTest::addColumn<QString>("folderGroup");
    QTest::addColumn<QStringList>("says");  // empty: no advice
    const QString command = "\n\n    sudo usermod -aG kovrin,dialout teller\n\nthen log out";
    const QString data =
        "the program folder /var/lib/kovrin belongs to the group kovrin, so "
        "the program cannot keep its data there";
    const QString ports =
        "the serial ports belong to the group dialout, so the program cannot "
        "talk to the hand-held terminal";
    QTest::newRow("in neither") << QList<bool>{false, false} << QList<bool>{false, false}
                                << "kovrin"
                                << QStringList{
                                       "You (user teller) are not in the group kovrin "
                                       "and dialout: " +
                                           data + "; " + ports + ".",
                                       command};
    QTest::newRow("data only") << QList<bool>{true, false} << QList<bool>{true, false} << "kovrin"
                               << QStringList{"not in the group dialout: " + ports + ".", command};
    QTest::newRow("ports only") << QList<bool>{false, true} << QList<bool>{false, true} << "kovrin"
                                << QStringList{"not in the group kovrin: " + data + ".", command};
    QTest::newRow("added since the login")
        << QList<bool>{false, true} << QList<bool>{true, true} << "kovrin"
        << QStringList{"were added to the group kovrin after you logged in",
                       "Log out and log in again, then start the program."};
    QTest::newRow("member of both")
        << QList<bool>{true, true} << QList<bool>{true, true} << "kovrin" << QStringList{};
    QTest::newRow("a private folder")
        << QList<bool>{false, false} << QList<bool>{false, false} << "" << QStringList{};
}

void TestCommandLine::operatorOutsideTheGroupIsToldWhatToDo() {
    QFETCH(QList<bool>, inProcess);
    QFETCH(QList<bool>, inAccount);
    QFETCH(QString, folderGroup);
    QFETCH(QStringList, says);
    GroupFacts f;
    f.user = "teller";
    f.folder = "/var/lib/kovrin";
    f.folderGroup = folderGroup;
    if (!folderGroup.isEmpty()) {
        f.groups = QStringList{"kovrin", "dialout"};
        f.inProcess = inProcess;
        f.inAccount = inAccount;
    }
    const QString advice = groupAdvice(f);
    QCOMPARE(advice.isEmpty(), says.isEmpty());
    for (const QString& part : says) {
        QVERIFY2(advice.contains(part), qPrintable(advice));
    }
    f.superUser = true;  // root is refused apart
    QCOMPARE(groupAdvice(f), QString());
}

// The facts of this process, and the advice shown through the seam and kept in the log.
void TestCommandLine::adviceIsShownAndLogged() {
    test::TempProgramFolder pf;
    const GroupFacts own = groupFacts(pf.path());
    QCOMPARE(own.folder, pf.path());
    QVERIFY(!own.user.isEmpty());
    QCOMPARE(own.folderGroup, QString());  // a folder of its own: private
    QCOMPARE(groupAdvice(own), QString());

    test::MessageRecorder rec;
    const QString advice = "You (user teller) are not in the group kovrin: ...";
    showGroupAdvice(pf.folder(), advice);
    QCOMPARE(rec.texts(), QStringList{advice});
    QCOMPARE(rec.last().icon, MsgIcon::Warning);
    QFile log(pf.folder().operatorLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains(advice.toUtf8()));
    QVERIFY(Messages::operatorLog() == nullptr);
}

// In a folder the operators share, what the program makes is for the group and no one else;
// anywhere, nothing is for others. Root may not work in a shared folder.
void TestCommandLine::sharedFolderIsForTheGroupOnly() {
    test::TempProgramFolder plain;
    const mode_t before = ::umask(022);
    useGroupPermissions(plain.folder());
    QCOMPARE(::umask(022), mode_t(027));
    QCOMPARE(rootRefusal({plain.path()}), QString());

    // A folder of another group (the tests run as root in CI, where they may give it one).
    test::TempProgramFolder pf;
    const struct group* dialout = ::getgrnam("dialout");
    QVERIFY(dialout);
    const gid_t group = dialout->gr_gid;
    const bool shared = ::chown(QFile::encodeName(pf.path()).constData(), 0, group) == 0;
    QVERIFY(::chmod(QFile::encodeName(pf.path()).constData(), 02770) == 0);
    useGroupPermissions(pf.folder());
    QCOMPARE(::umask(before), shared ? mode_t(007) : mode_t(027));
    if (!shared) {
        QSKIP("the folder could not be given to another group (not root)");
    }
    QCOMPARE(sharingGroup(pf.path()), QString("dialout"));
    const QString refusal = rootRefusal({plain.path(), pf.path()});
    QCOMPARE(refusal.isEmpty(), ::geteuid() != 0);
    if (!refusal.isEmpty()) {
        QVERIFY2(refusal.startsWith("The program must be run by an operator, not by root: the "
                                    "folder " +
                                    pf.path() +
                                    " is shared by the operators of this "
                                    "PC through the group dialout"),
                 qPrintable(refusal));
        QVERIFY(refusal.contains("\n\n    sudo usermod -aG dialout <user>\n\n"));
    }

    // The database the start-up makes there is the group's.
    ::umask(007);
    test::MessageRecorder rec;
    QString error;
    auto ctx = AppContext::startUp(pf.folder(), &error);
    ::umask(before);
    QVERIFY2(ctx, qPrintable(error));
    struct stat db {};
    QVERIFY(::stat(QFile::encodeName(pf.folder().databasePath()).constData(), &db) == 0);
    QCOMPARE(db.st_mode & 0777, mode_t(0660));
    QCOMPARE(db.st_gid, group);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
