// The folder screen: drives, stored folders and its save rules.
#include "app/AppContext.h"
#include "app/FrmDrive.h"
#include "db/SettingsStore.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace kovrin;

class TestDrive : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void savingWithoutAnOptionWritesNothing();
    void savingBankFolderOverEmptyTableCreatesRow();
    void storedBankFolderShownOnLoad();
    void reportOptionWithMissingFolderLeavesLists();
    void unreadableDriveSaysDeviceNotAvailable();
    void reportOptionSavesReportPath();
    void updateWithoutAFolderAsksForOne_data();
    void updateWithoutAFolderAsksForOne();
    void comingBackToTheScreenKeepsTheBrowsedFolder();

private:
    FrmDrive* makeScreen();
    QString stored(const QString& column);
    test::TempProgramFolder* m_pf = nullptr;
    test::MessageRecorder* m_rec = nullptr;
    std::unique_ptr<AppContext> m_ctx;
    QTemporaryDir m_tree;
};

void TestDrive::init() {
    m_pf = new test::TempProgramFolder;
    m_rec = new test::MessageRecorder;
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error);
    QVERIFY(m_ctx);
    m_rec->clear();
    QVERIFY(QDir(m_tree.path()).mkpath("bank/in"));
    QVERIFY(QDir(m_tree.path()).mkpath("reports"));
}

void TestDrive::cleanup() {
    m_ctx.reset();
    delete m_rec;
    delete m_pf;
}

FrmDrive* TestDrive::makeScreen() {
    const QString root = QDir::rootPath();
    return new FrmDrive(*m_ctx, nullptr, [root] {
        return QStringList{root, "/no-such-drive-kovrin"};
    });
}

QString TestDrive::stored(const QString& column) {
    QSqlQuery q(m_ctx->db().handle());
    if (!q.exec(QString("SELECT \"%1\" FROM Path WHERE SNo='1'").arg(column)) || !q.next()) {
        return "<no row>";
    }
    return q.value(0).toString();
}

void TestDrive::savingWithoutAnOptionWritesNothing() {
    std::unique_ptr<FrmDrive> f(makeScreen());
    f->setCurrentFolder(m_tree.path() + "/bank");
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(stored("SNo"), QString("<no row>"));
    QCOMPARE(m_rec->messages.size(), 1);
    QVERIFY(m_rec->last().text != "Data Saved Successfully");
    QVERIFY(m_rec->last().text.contains("Bank Information"));
    QVERIFY(m_rec->last().text.contains("Report Path"));
}

void TestDrive::savingBankFolderOverEmptyTableCreatesRow() {
    std::unique_ptr<FrmDrive> f(makeScreen());
    QCOMPARE(f->windowTitle(), QString("Drive Selection"));
    QVERIFY(f->findChild<QLabel*>("lbFilePath")->text().isEmpty());
    QVERIFY(!f->findChild<QRadioButton*>("OpBank")->isChecked());
    QVERIFY(!f->findChild<QRadioButton*>("OpReport")->isChecked());
    f->findChild<QRadioButton*>("OpBank")->setChecked(true);
    const QString folder = m_tree.path() + "/bank/in";
    f->setCurrentFolder(folder);
    QCOMPARE(f->findChild<QLabel*>("lbFilePath")->text(), QDir::toNativeSeparators(folder));
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->texts(), QStringList{"Data Saved Successfully"});
    QCOMPARE(stored("SNo"), QString("1"));
    QCOMPARE(stored("BankInfoPath"), folder);
    QCOMPARE(stored("ReportPath"), QString(""));
    QCOMPARE(stored("BankName"), QString(""));
    QCOMPARE(m_ctx->settings().BankInfoPath, folder);
}

void TestDrive::storedBankFolderShownOnLoad() {
    AppSettings s;
    const QString folder = m_tree.path() + "/bank/in";
    QVERIFY(SettingsStore(m_ctx->db()).saveFolder(FolderKind::BankInformation, folder, s));
    std::unique_ptr<FrmDrive> f(makeScreen());
    QCOMPARE(f->currentFolder(), folder);
    QCOMPARE(m_ctx->settings().BankInfoPath, folder);
    QCOMPARE(f->findChild<QComboBox*>("Drive1")->currentText(), QDir::rootPath());
}

void TestDrive::reportOptionWithMissingFolderLeavesLists() {
    AppSettings s;
    const QString bank = m_tree.path() + "/bank";
    QVERIFY(SettingsStore(m_ctx->db()).saveFolder(FolderKind::BankInformation, bank, s));
    QVERIFY(SettingsStore(m_ctx->db()).saveFolder(FolderKind::Report, m_tree.path() + "/gone", s));
    std::unique_ptr<FrmDrive> f(makeScreen());
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f.get()));
    QCOMPARE(f->currentFolder(), bank);
    auto* report = f->findChild<QRadioButton*>("OpReport");
    report->setFocus();
    QTRY_VERIFY(report->hasFocus());
    QCOMPARE(f->currentFolder(), bank);  // the lists did not move
    QCOMPARE(m_ctx->settings().ReportPath, m_tree.path() + "/gone");
    QCOMPARE(m_rec->messages.size(), 0);
}

void TestDrive::unreadableDriveSaysDeviceNotAvailable() {
    std::unique_ptr<FrmDrive> f(makeScreen());
    const QString folder = m_tree.path() + "/reports";
    f->setCurrentFolder(folder);
    auto* drive = f->findChild<QComboBox*>("Drive1");
    drive->setCurrentIndex(1);
    QCOMPARE(m_rec->texts(), QStringList{"Device Not Available"});
    QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
    QCOMPARE(f->currentFolder(), folder);  // previous content kept
    QCOMPARE(drive->currentIndex(), 1);    // the drive list shows the drive just chosen
    drive->setCurrentIndex(0);
    QCOMPARE(m_rec->messages.size(), 1);
    QCOMPARE(f->currentFolder(), QDir::rootPath());
    drive->setCurrentIndex(1);
    QCOMPARE(m_rec->count("Device Not Available"), 2);  // once per change
}

void TestDrive::reportOptionSavesReportPath() {
    AppSettings s;
    QVERIFY(SettingsStore(m_ctx->db()).saveFolder(FolderKind::BankInformation, "/keep", s));
    std::unique_ptr<FrmDrive> f(makeScreen());
    f->findChild<QRadioButton*>("OpReport")->setChecked(true);
    f->setCurrentFolder(m_tree.path() + "/reports");
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(stored("ReportPath"), m_tree.path() + "/reports");
    QCOMPARE(stored("BankInfoPath"), QString("/keep"));
    QCOMPARE(m_ctx->settings().ReportPath, m_tree.path() + "/reports");
}

void TestDrive::updateWithoutAFolderAsksForOne_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("caption");
    QTest::newRow("bank information") << "OpBank"
                                      << "Bank Information";
    QTest::newRow("report path") << "OpReport"
                                 << "Report Path";
}

void TestDrive::updateWithoutAFolderAsksForOne() {
    QFETCH(QString, option);
    QFETCH(QString, caption);
    std::unique_ptr<FrmDrive> f(makeScreen());
    QVERIFY(f->currentFolder().isEmpty());  // nothing stored, nothing browsed yet
    f->findChild<QRadioButton*>(option)->setChecked(true);
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->texts(), QStringList{"No folder is chosen for \"" + caption +
                                         "\". Choose the folder under \"Select Folder :\", "
                                         "then press Update."});
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);
    QCOMPARE(stored("SNo"), QString("<no row>"));
    QVERIFY(m_ctx->settings().BankInfoPath.isEmpty());
    QVERIFY(m_ctx->settings().ReportPath.isEmpty());
    // Once a folder is chosen the same Update saves it.
    f->setCurrentFolder(m_tree.path() + "/reports");
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->last().text, QString("Data Saved Successfully"));
    QCOMPARE(stored(option == "OpBank" ? "BankInfoPath" : "ReportPath"),
             m_tree.path() + "/reports");
}

void TestDrive::comingBackToTheScreenKeepsTheBrowsedFolder() {
    AppSettings s;
    const QString stored = m_tree.path() + "/bank/in";
    QVERIFY(SettingsStore(m_ctx->db()).saveFolder(FolderKind::BankInformation, stored, s));
    std::unique_ptr<FrmDrive> f(makeScreen());
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f.get()));
    auto* bank = f->findChild<QRadioButton*>("OpBank");
    bank->setFocus(Qt::MouseFocusReason);
    bank->click();
    QTRY_VERIFY(bank->hasFocus());
    const QString browsed = m_tree.path() + "/reports";
    f->setCurrentFolder(browsed);  // the operator browses; the option keeps the focus
    QCOMPARE(f->currentFolder(), browsed);

    // Another window, then back: the option regains the focus by the window's activation.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!bank->hasFocus());
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.get()));
    QTRY_VERIFY(bank->hasFocus());
    QCOMPARE(f->currentFolder(), browsed);

    // Choosing the option again by the keyboard still shows its stored folder.
    f->findChild<QRadioButton*>("OpReport")->setFocus(Qt::TabFocusReason);
    bank->setFocus(Qt::BacktabFocusReason);
    QCOMPARE(f->currentFolder(), stored);
    QCOMPARE(m_rec->messages.size(), 0);
}

QTEST_MAIN(TestDrive)
#include "tst_drive.moc"
