// The command line, the program folder made ready before any window, and the folder shared
// by the group dialout.
#include "app/AppContext.h"
#include "app/CommandLine.h"
#include "app/SharedFolder.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

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
    void operatorOutsideTheGroupIsToldWhatToDo();
    void setGroupIdFolderIsSharedWithTheGroup();
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
        {{"--version", "--bogus"}, "unknown option \"--bogus\""},
    };
    for (const auto& [args, error] : cases) {
        const CommandLine c = parseCommandLine(args);
        QCOMPARE(c.action, CommandLine::Action::Error);
        QCOMPARE(c.error, error);
        QVERIFY(c.folder.isEmpty());
    }
}

void TestCommandLine::helpAndVersionTexts() {
    QCOMPARE(versionLine("kovrin-2.0", "2.0"),
             QString("kovrin-2.0 (Kovrin Hand-Held Interface Software) 2.0\n"));
    const QString usage = usageText("kovrin");
    QVERIFY(usage.startsWith("Usage: kovrin [--folder DIR]\n"));
    QVERIFY(usage.contains("--folder DIR") && usage.contains("--version") &&
            usage.contains("--help"));
    QVERIFY(
        usage.contains("1 when the program folder or\nthe database cannot be used, 2 for a "
                       "wrong command line"));
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

void TestCommandLine::operatorOutsideTheGroupIsToldWhatToDo() {
    GroupFacts f;
    f.user = "teller";
    f.folder = "/var/lib/kovrin";
    f.folderOfGroup = true;
    const QString advice = groupAdvice(f);
    QVERIFY2(advice.contains("You (user teller) are not in the group dialout, to which the "
                             "program folder /var/lib/kovrin and the serial ports belong"),
             qPrintable(advice));
    QVERIFY(advice.contains("\n    sudo usermod -aG dialout teller\n"));
    QVERIFY(advice.endsWith("then log out and log in again."));

    f.inAccountGroups = true;  // added, but the session began before
    QVERIFY(groupAdvice(f).contains("added to the group dialout after you logged in"));
    QVERIFY(groupAdvice(f).contains("Log out and log in again"));

    GroupFacts member = f;
    member.inProcessGroups = true;
    QCOMPARE(groupAdvice(member), QString());
    GroupFacts root = f;
    root.inAccountGroups = false;
    root.superUser = true;
    QCOMPARE(groupAdvice(root), QString());
    GroupFacts otherFolder = f;
    otherFolder.inAccountGroups = false;
    otherFolder.folderOfGroup = false;  // a portable folder in the operator's home
    QCOMPARE(groupAdvice(otherFolder), QString());

    // The facts of this process: a folder of its own group needs no advice.
    test::TempProgramFolder pf;
    const GroupFacts own = groupFacts(pf.path());
    QCOMPARE(own.folder, pf.path());
    QVERIFY(!own.user.isEmpty());
    QCOMPARE(groupAdvice(own), QString());

    // The advice is one message through the seam, kept in the operator log.
    test::MessageRecorder rec;
    showGroupAdvice(pf.folder(), advice);
    QCOMPARE(rec.texts(), QStringList{advice});
    QCOMPARE(rec.last().icon, MsgIcon::Warning);
    QFile log(pf.folder().operatorLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("sudo usermod -aG dialout teller"));
    QVERIFY(Messages::operatorLog() == nullptr);
}

void TestCommandLine::setGroupIdFolderIsSharedWithTheGroup() {
    test::TempProgramFolder plain;
    shareDatabaseWithGroup(plain.folder());
    QVERIFY(!QFile::exists(plain.folder().databasePath()));  // left to the start-up

    test::TempProgramFolder pf;
    QVERIFY(::chmod(QFile::encodeName(pf.path()).constData(), 02775) == 0);
    const mode_t before = ::umask(022);
    useGroupPermissions(pf.folder());
    const mode_t during = ::umask(before);
    QCOMPARE(during, mode_t(002));

    shareDatabaseWithGroup(pf.folder());
    struct stat db {};
    QVERIFY(::stat(QFile::encodeName(pf.folder().databasePath()).constData(), &db) == 0);
    QCOMPARE(db.st_mode & 0777, mode_t(0664));

    // The database made in advance is the program's own: the start-up takes it as it is.
    test::MessageRecorder rec;
    QString error;
    auto ctx = AppContext::startUp(pf.folder(), &error);
    QVERIFY2(ctx, qPrintable(error));
    QCOMPARE(rec.texts(), QStringList{"Please Select CommPort and BankName"});
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
