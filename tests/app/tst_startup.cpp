// Start-up: database, settings row, the message seam and the operator log.
#include "app/AppContext.h"
#include "app/Messages.h"
#include "db/SettingsStore.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <QFile>
#include <QSqlQuery>
#include <QtTest>

using namespace kovrin;

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesDatabaseAndWarnsOnce();
    void settingsRowIsCopiedIntoAppSettings();
    void unusableDatabaseEndsStartUp();
    void operatorLogReceivesEveryMessage();
    void messageWithoutPresenterStillLogged();
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
    QVERIFY2(error.contains(pf.folder().databasePath()), qPrintable(error));
    QCOMPARE(QFileInfo(f).size(), 4096);
}

void TestStartup::operatorLogReceivesEveryMessage() {
    test::TempProgramFolder pf;
    test::MessageRecorder rec;
    QString error;
    auto ctx = AppContext::startUp(pf.folder(), &error);
    QVERIFY(ctx);
    ctx->operatorLog().setClock([] { return QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5)); });
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

void TestStartup::messageWithoutPresenterStillLogged() {
    test::TempProgramFolder pf;
    OperatorLog log(pf.filePath("operator.log"));
    Messages::setOperatorLog(&log);
    QCOMPARE(Messages::show({"x", "Prompt", MsgIcon::Critical, MsgButtons::OkCancel, {}}),
             MsgAnswer::Ok);
    Messages::setOperatorLog(nullptr);
    QFile f(pf.filePath("operator.log"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("\tx\tPrompt\n"));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
