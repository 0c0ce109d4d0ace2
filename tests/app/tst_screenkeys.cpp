// The keys every screen shares: Enter on a focused push button.
#include "app/FrmConfigure.h"
#include "app/FrmDrive.h"
#include "app/FrmMain.h"
#include "download/FrmSend.h"
#include "reports/FrmReport.h"
#include "security/FrmPassEntry.h"
#include "security/FrmPassword.h"
#include "support/ScreenFixture.h"
#include "upload/FrmReceive.h"

#include <QPushButton>
#include <QtTest>

using namespace kovrin;

class TestScreenKeys : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();

private:
    QWidget* open(const QString& screen);

    std::unique_ptr<test::ScreenFixture> m_fx;
    std::unique_ptr<QWidget> m_screen;
};

void TestScreenKeys::init() {
    m_fx = std::make_unique<test::ScreenFixture>();
    QVERIFY(m_fx->ctx);
}

void TestScreenKeys::cleanup() {
    m_screen.reset();
    m_fx.reset();
}

QWidget* TestScreenKeys::open(const QString& screen) {
    AppContext& ctx = *m_fx->ctx;
    if (screen == "frmMain") {
        m_screen = std::make_unique<FrmMain>(ctx);
    } else if (screen == "frmConfigure") {
        m_screen = std::make_unique<FrmConfigure>(ctx);
    } else if (screen == "frmDrive") {
        m_screen = std::make_unique<FrmDrive>(ctx);
    } else if (screen == "frmPassEntry") {
        m_screen = std::make_unique<FrmPassEntry>(ctx);
    } else if (screen == "frmPassword") {
        m_screen = std::make_unique<FrmPassword>(ctx);
    } else if (screen == "frmsend") {
        m_screen = std::make_unique<FrmSend>(ctx, nullptr, &m_fx->port);
    } else if (screen == "frmReceive") {
        m_screen = std::make_unique<FrmReceive>(ctx, nullptr, &m_fx->port);
    } else if (screen == "frmReport") {
        m_screen = std::make_unique<FrmReport>(ctx);
    } else {
        qWarning() << "no screen" << screen;
        return nullptr;
    }
    m_screen->show();
    if (!QTest::qWaitForWindowActive(m_screen.get())) {
        return nullptr;
    }
    if (m_screen->objectName() != screen) {
        qWarning() << "opened" << m_screen->objectName() << "for" << screen;
        return nullptr;
    }
    QTest::qWait(0);  // what the screen does once it is up (the upload opens its port)
    m_fx->rec.clear();
    return m_screen.get();
}

void TestScreenKeys::enterPressesTheFocusedButton_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("framesSent");
    QTest::addColumn<bool>("closes");
    QTest::newRow("main menu, EXIT") << "frmMain"
                                     << "cmdExit" << QStringList() << 0 << true;
    QTest::newRow("configuration, Update")
        << "frmConfigure"
        << "cmdUpdate" << QStringList{"Data Saved Successfully"} << 0 << false;
    QTest::newRow("configuration, Exit") << "frmConfigure"
                                         << "cmdExit" << QStringList() << 0 << true;
    QTest::newRow("folders, Update")
        << "frmDrive"
        << "cmdSend"
        << QStringList{"Choose \"Bank Information\" or \"Report Path\" first, then the folder, "
                       "and press Update."}
        << 0 << false;
    // No Password row: the empty password is the right one.
    QTest::newRow("password entry, OK") << "frmPassEntry"
                                        << "cmdOK" << QStringList() << 0 << true;
    QTest::newRow("passwords, Update")
        << "frmPassword"
        << "cmdSend"
        << QStringList{"Choose the password to change first: Software (Admin or User) or Hand "
                       "Held Terminal (Setup or Main Screen)."}
        << 0 << false;
    QTest::newRow("send data, Send") << "frmsend"
                                     << "cmdSend" << QStringList{"Enter Agent ID"} << 0 << false;
    QTest::newRow("send data, Exit") << "frmsend"
                                     << "cmdExit" << QStringList() << 0 << true;
    // The Receive button keeps its own rule for Enter: one count request goes out.
    QTest::newRow("receive data, Receive") << "frmReceive"
                                           << "cmdSend" << QStringList() << 1 << false;
    QTest::newRow("receive data, Write Files Again")
        << "frmReceive"
        << "cmdWriteFiles"
        << QStringList{"No upload is stored yet: there are no collections to write the files "
                       "from."}
        << 0 << false;
    QTest::newRow("report, View")
        << "frmReport"
        << "cmdView" << QStringList{"Please choose Report1 or Report2, then press View."} << 0
        << false;
    QTest::newRow("report, Exit") << "frmReport"
                                  << "cmdExit" << QStringList() << 0 << true;
}

void TestScreenKeys::enterPressesTheFocusedButton() {
    QFETCH(QString, screen);
    QFETCH(QString, button);
    QFETCH(QStringList, messages);
    QFETCH(int, framesSent);
    QFETCH(bool, closes);
    QWidget* s = open(screen);
    QVERIFY(s);
    auto* b = s->findChild<QPushButton*>(button);
    QVERIFY(b);
    QVERIFY(!b->isDefault());  // Enter elsewhere does not press it
    b->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(b->hasFocus());
    QTest::keyClick(b, Qt::Key_Return);
    QCOMPARE(m_fx->rec.texts(), messages);
    QCOMPARE(m_fx->port.written.size(), framesSent);
    QCOMPARE(s->isVisible(), !closes);
    if (!closes && b->isEnabled()) {
        // The keypad's Enter does the same; a held Enter (its repeats) presses nothing more.
        m_fx->rec.clear();
        b->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(b->hasFocus());
        QTest::keyClick(b, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(m_fx->rec.texts(), messages);
        m_fx->rec.clear();
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r", true);
        QApplication::sendEvent(b, &repeat);
        QCOMPARE(m_fx->rec.messages.size(), 0);
    }
}

QTEST_MAIN(TestScreenKeys)
#include "tst_screenkeys.moc"
