// The main menu: captions, opening the settings screens, ending the program, focus colours.
#include "app/AppContext.h"
#include "app/FrmConfigure.h"
#include "app/FrmDrive.h"
#include "app/FrmMain.h"
#include "security/FrmPassEntry.h"
#include "security/FrmPassword.h"
#include "station/FrmStation.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"
#include "ui/FocusColours.h"

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
    const auto stations = menu.findChildren<FrmStation*>();
    QCOMPARE(stations.size(), 1);
    QVERIFY(stations[0]->isVisible());
    QCOMPARE(stations[0]->windowTitle(), QString("Transfer Station"));
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
