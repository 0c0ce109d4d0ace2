// The command line.
#include "app/CommandLine.h"

#include <QDir>
#include <QtTest>

using namespace kovrin;

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void optionsAreRead();
    void wrongCommandLinesAreNamed();
    void helpAndVersionTexts();
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

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
