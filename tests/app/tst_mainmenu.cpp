// The main menu: captions, opening the settings screens, ending the program, focus colours.
#include "app/AppContext.h"
#include "app/FrmConfigure.h"
#include "app/FrmDrive.h"
#include "app/FrmMain.h"
#include "core/ProcessSignals.h"
#include "hht-sim/PtyDevice.h"
#include "hht-sim/Terminal.h"
#include "hht-sim/TerminalFrames.h"
#include "link/SerialPortLink.h"
#include "security/FrmPassEntry.h"
#include "security/FrmPassword.h"
#include "station/FrmStation.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"
#include "ui/FocusColours.h"
#include "upload/FrmReceive.h"
#include "upload/KeptUpload.h"
#include "upload/UploadTransfer.h"

#include <csignal>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace kovrin;

class TestMainMenu : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void captionsAndButtons();
    void versionTextOfEachRevision();
    void settingsButtonsOpenSingleInstances();
    void closingTheMenuEndsTheProgram();
    void endingWhileAnUploadRuns_data();
    void endingWhileAnUploadRuns();
    void focusColoursFollowTheFocus();

private:
    test::TempProgramFolder* m_pf = nullptr;
    test::MessageRecorder* m_rec = nullptr;
    std::unique_ptr<AppContext> m_ctx;
};

void TestMainMenu::init() {
    m_pf = new test::TempProgramFolder;
    m_rec = new test::MessageRecorder;
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error);
    QVERIFY(m_ctx);
}

void TestMainMenu::cleanup() {
    m_ctx.reset();
    delete m_rec;
    delete m_pf;
}

void TestMainMenu::captionsAndButtons() {
    FrmMain menu(*m_ctx);
    QCOMPARE(menu.objectName(), QString("frmMain"));
    QCOMPARE(menu.windowTitle(), QString("Kovrin Hand-Held Interface Software"));
    QStringList labels;
    for (QLabel* l : menu.findChildren<QLabel*>()) {
        labels << l->text();
    }
    QVERIFY(labels.contains("Kovrin Hand-Held Interface Software"));
    QVERIFY(labels.contains("Version 2.1 Tamsel"));
    const QList<QPair<QString, QString>> buttons = {
        {"cmdSend", "&SEND DATA"},           {"cmdReceive", "&RECEIVE DATA"},
        {"cmdConfigure", "&CONFIGURE"},      {"cmdDrive", "&DRIVE SELECTION"},
        {"cmdPassword", "P&ASSWORD"},        {"cmdReport", "RE&PORT"},
        {"cmdStation", "&TRANSFER STATION"}, {"cmdExit", "&EXIT"}};
    for (const auto& [name, caption] : buttons) {
        auto* b = menu.findChild<QPushButton*>(name);
        QVERIFY2(b, qPrintable(name));
        QCOMPARE(b->text(), caption);
        QVERIFY(b->isEnabled());
    }
    QCOMPARE(menu.findChildren<QPushButton*>().size(), 8);
    // In this order, top to bottom: the station comes after REPORT.
    QLayout* column = menu.findChild<QGroupBox*>("Frame1")->layout();
    QCOMPARE(column->count(), buttons.size());
    for (int i = 0; i < column->count(); ++i) {
        QCOMPARE(column->itemAt(i)->widget()->objectName(), buttons[i].first);
    }
}

void TestMainMenu::versionTextOfEachRevision() {
    for (auto [revision, text] : {std::pair{Revision::V2_0, "Version 2.0 Tamsel"},
                                  std::pair{Revision::V2_1, "Version 2.1 Tamsel"}}) {
        m_ctx->setRevision(revision);
        FrmMain menu(*m_ctx);
        QCOMPARE(menu.findChild<QLabel*>("lblVersion")->text(), QString(text));
    }
}

void TestMainMenu::settingsButtonsOpenSingleInstances() {
    FrmMain menu(*m_ctx);
    menu.show();
    // "&CONFIGURE" and "&DRIVE SELECTION" open the same password entry; the settings screen
    // that follows is the one of the button pressed last.
    menu.findChild<QPushButton*>("cmdConfigure")->click();
    QCOMPARE(menu.findChildren<FrmPassEntry*>().size(), 1);
    menu.findChild<QPushButton*>("cmdDrive")->click();
    const auto entries = menu.findChildren<FrmPassEntry*>();
    QCOMPARE(entries.size(), 1);
    QVERIFY(entries[0]->isWindow());
    entries[0]->findChild<QPushButton*>("cmdOK")->click();  // no Password row: empty accepted
    QTRY_COMPARE(menu.findChildren<FrmPassEntry*>().size(), 0);
    QCOMPARE(menu.findChildren<FrmDrive*>().size(), 1);
    QCOMPARE(menu.findChildren<FrmConfigure*>().size(), 0);

    menu.findChild<QPushButton*>("cmdDrive")->click();
    menu.findChild<QPushButton*>("cmdConfigure")->click();
    menu.findChild<FrmPassEntry*>()->findChild<QPushButton*>("cmdOK")->click();
    auto configs = menu.findChildren<FrmConfigure*>();
    QCOMPARE(configs.size(), 1);
    QVERIFY(configs[0]->isVisible());
    QVERIFY(menu.isEnabled());  // modeless: the menu stays usable

    menu.openConfigure();
    QCOMPARE(menu.findChildren<FrmConfigure*>().size(), 1);  // brought forward, not doubled
    configs[0]->close();                                     // Exit unloads the screen
    QTRY_COMPARE(menu.findChildren<FrmConfigure*>().size(), 0);

    menu.findChild<QPushButton*>("cmdPassword")->click();
    QCOMPARE(menu.findChildren<FrmPassword*>().size(), 1);
    QCOMPARE(menu.findChildren<FrmPassEntry*>().size(), 0);  // no separate password entry

    menu.findChild<QPushButton*>("cmdStation")->click();
    menu.findChild<QPushButton*>("cmdStation")->click();
    // A window of its own, not one of the menu's: the report screen, modal to the menu, never
    // blocks it.
    QCOMPARE(menu.findChildren<FrmStation*>().size(), 0);
    QList<FrmStation*> stations;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* station = qobject_cast<FrmStation*>(w)) {
            stations << station;
        }
    }
    QCOMPARE(stations.size(), 1);
    QVERIFY(!stations[0]->parentWidget());
    QVERIFY(stations[0]->isVisible());
    QCOMPARE(stations[0]->windowTitle(), QString("Transfer Station"));
    // Map Ports... leads to the Configuration screen, behind the administrator password.
    stations[0]->findChild<QPushButton*>("cmdMapPorts")->click();
    QCOMPARE(menu.findChildren<FrmConfigure*>().size(), 0);
    menu.findChild<FrmPassEntry*>()->findChild<QPushButton*>("cmdOK")->click();
    QCOMPARE(menu.findChildren<FrmConfigure*>().size(), 1);
}

void TestMainMenu::closingTheMenuEndsTheProgram() {
    FrmMain menu(*m_ctx);
    menu.show();
    menu.openDrive();
    QSignalSpy ended(&menu, &FrmMain::programEnded);
    menu.findChild<QPushButton*>("cmdExit")->click();
    QCOMPARE(ended.count(), 1);
    QVERIFY(!menu.isVisible());
}

// EXIT while an upload runs asks first (No keeps everything running); EXIT answered Yes, and
// the session ending (SIGTERM, SIGHUP), stop the upload as closing its screen would: the
// records received stay on disk for the next Receive, the transfer log ends with the reason,
// and the port is let go.
void TestMainMenu::endingWhileAnUploadRuns_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");  // the transfer log's END; empty: the upload goes on
    QTest::newRow("EXIT, answered No") << "No"
                                       << "";
    QTest::newRow("EXIT, answered Yes") << "Yes"
                                        << "END stopped: the program was closed";
    QTest::newRow("SIGTERM") << "SIGTERM"
                             << "END stopped: the program was ended by SIGTERM (logout or "
                                "shutdown)";
    QTest::newRow("SIGHUP") << "SIGHUP"
                            << "END stopped: the program was ended by SIGHUP (logout or "
                               "shutdown)";
}

void TestMainMenu::endingWhileAnUploadRuns() {
    QFETCH(QString, how);
    QFETCH(QString, reason);
    // A terminal that sends its count, header and two records, then falls silent.
    sim::TerminalConfig config;
    config.mode = sim::Mode::Upload;
    config.faults.silentAt[4] = 1000000;
    sim::Terminal terminal(config);
    QVector<QByteArray> frames{sim::buildCountFrame(5, "001            ").frame,
                               sim::buildDayHeaderFrame("0010712", 5, 500).frame};
    for (int i = 0; i < 5; ++i) {
        sim::CollectedTransaction t{100, QDate(2026, 12, 7), QTime(10, i), i + 1};
        frames << sim::buildTransactionFrame(i + 2, "S", "DDS01", QString::number(i + 1), {t},
                                             false)
                      .frame;
    }
    terminal.setUploadFrames(frames);
    sim::PtyDevice device;
    QCOMPARE(device.openPty(), QString());
    connect(&device, &sim::PtyDevice::received, &terminal, &sim::Terminal::feed);
    connect(&terminal, &sim::Terminal::output, &device, &sim::PtyDevice::write);
    QVERIFY(QDir(m_pf->path()).mkpath("ports"));
    QVERIFY(QFile::link(device.devicePath(), m_pf->filePath("ports/com1")));
    m_ctx->settings().CommPort = "1";

    FrmMain menu(*m_ctx);
    endOnTermination([&menu](const QString& signal) { menu.endBySignal(signal); });
    menu.show();
    FrmReceive* receive = menu.openReceive();
    QTest::qWait(50);  // the port opens once the screen is up
    receive->findChild<QPushButton*>("cmdSend")->click();
    QTRY_VERIFY_WITH_TIMEOUT(terminal.receivedFrames().size() >= 5, 10000);  // record 4 asked
    QSignalSpy ended(&menu, &FrmMain::programEnded);
    m_rec->clear();
    if (how == "No" || how == "Yes") {
        m_rec->answerNext(how == "No" ? MsgAnswer::No : MsgAnswer::Yes);
        menu.findChild<QPushButton*>("cmdExit")->click();
        QCOMPARE(m_rec->texts().value(0),
                 QString("Ending the program now stops what is under way: an upload runs on the "
                         "Receive Data screen (what it received is kept for the next Receive of "
                         "the same terminal).\nWhat an upload has received stays on disk for the "
                         "next upload of its terminal. End the program?"));
    } else {
        ::raise(how == "SIGTERM" ? SIGTERM : SIGHUP);
        QTRY_COMPARE(ended.count(), 1);
    }
    endOnTermination({});
    QCOMPARE(ended.count(), reason.isEmpty() ? 0 : 1);
    QCOMPARE(receive->transfer().isActive(), reason.isEmpty());
    QFile log(m_ctx->transferLog().currentFilePath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QCOMPARE(text.contains(" END "), !reason.isEmpty());
    if (reason.isEmpty()) {
        return;
    }
    QVERIFY2(text.trimmed().endsWith(reason.toLatin1()), text.right(200).constData());
    // The records received are on disk; the port is free again.
    QFile kept(m_pf->filePath("BackupData/0010712-partial.kept"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.size(), KeptUpload::kKeptFileMagic.size() + 4 * 137);
    link::SerialPortLink again(m_pf->path(), [] { return QString("1"); });
    QString error;
    QVERIFY2(again.open(&error), qPrintable(error));
    if (how.startsWith("SIG")) {
        QFile ops(m_ctx->operatorLog().filePath());
        QVERIFY(ops.open(QIODevice::ReadOnly));
        QVERIFY(ops.readAll().contains(how.toLatin1() + ": the program is ended by the system"));
    }
}

void TestMainMenu::focusColoursFollowTheFocus() {
    FrmMain menu(*m_ctx);
    menu.show();
    QVERIFY(QTest::qWaitForWindowActive(&menu));
    auto* send = menu.findChild<QPushButton*>("cmdSend");
    auto* receive = menu.findChild<QPushButton*>("cmdReceive");
    send->setFocus();
    QTRY_VERIFY(send->hasFocus());
    QCOMPARE(send->palette().color(QPalette::Button), QColor(0xE0, 0xE0, 0xE0));
    QCOMPARE(send->palette().color(QPalette::ButtonText), QColor(0x40, 0x40, 0x40));
    QCOMPARE(receive->palette().color(QPalette::Button), QColor(0x80, 0x80, 0x80));
    QCOMPARE(receive->palette().color(QPalette::ButtonText), QColor(0xFF, 0xFF, 0xFF));
    receive->setFocus();
    QTRY_VERIFY(receive->hasFocus());
    QCOMPARE(send->palette().color(QPalette::Button), QColor(0x80, 0x80, 0x80));
    QCOMPARE(send->palette().color(QPalette::ButtonText), QColor(0xFF, 0xFF, 0xFF));
    QCOMPARE(receive->palette().color(QPalette::Button), QColor(0xE0, 0xE0, 0xE0));

    // The same mechanism colours the buttons and entries of every screen.
    FrmConfigure* cfg = menu.openConfigure();
    QVERIFY(QTest::qWaitForWindowActive(cfg));
    auto* update = cfg->findChild<QPushButton*>("cmdUpdate");
    update->setFocus();
    QTRY_VERIFY(update->hasFocus());
    QCOMPARE(update->palette().color(QPalette::Button), QColor(0xE0, 0xE0, 0xE0));
    auto* bank = cfg->findChild<QLineEdit*>("txtBankName");
    QCOMPARE(bank->palette().color(QPalette::Base), QColor(0xE0, 0xE0, 0xE0));
    QCOMPARE(bank->palette().color(QPalette::Text), QColor(0x40, 0x40, 0x40));
}

QTEST_MAIN(TestMainMenu)
#include "tst_mainmenu.moc"
