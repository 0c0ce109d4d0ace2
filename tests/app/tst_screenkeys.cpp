// The keys every screen shares: Enter on a focused push button, the moving and editing keys in
// the boxes that take digits only, pasted and dropped text held to the boxes' rules, and the
// password boxes' stars.
#include "app/FrmConfigure.h"
#include "app/FrmDrive.h"
#include "app/FrmMain.h"
#include "download/FrmSend.h"
#include "reports/FrmReport.h"
#include "security/FrmPassEntry.h"
#include "security/FrmPassword.h"
#include "station/FrmStation.h"
#include "support/ScreenFixture.h"
#include "upload/FrmReceive.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QtTest>

using namespace kovrin;

class TestScreenKeys : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void movingAndEditingKeysWorkInDigitBoxes_data();
    void movingAndEditingKeysWorkInDigitBoxes();
    void pastedAndDroppedTextFollowsTheBoxRule_data();
    void pastedAndDroppedTextFollowsTheBoxRule();
    void passwordBoxesShowStars_data();
    void passwordBoxesShowStars();
    void everyEntryBoxIsNamed_data();
    void everyEntryBoxIsNamed();

private:
    QWidget* open(const QString& screen);
    // A click on the password screen's kind and level options, as the operator makes it.
    void choosePasswordKind(const QString& kind);
    QLineEdit* focusedBox(const QString& name);
    // Types `script`: characters as typed, <home> <end> <left> <right> <del> <bs> as keys.
    static void play(QWidget* w, const QString& script);

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
    } else if (screen == "frmStation") {
        m_screen = std::make_unique<FrmStation>(ctx);
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

void TestScreenKeys::choosePasswordKind(const QString& kind) {
    if (kind.isEmpty()) {
        return;
    }
    const char* level = kind == "OpHandHeld" ? "OpSetup" : "OpAdmin";
    for (const QString& name : {kind, QString(level)}) {
        auto* option = m_screen->findChild<QRadioButton*>(name);
        option->setFocus(Qt::MouseFocusReason);
        option->click();
    }
}

QLineEdit* TestScreenKeys::focusedBox(const QString& name) {
    auto* box = m_screen->findChild<QLineEdit*>(name);
    if (box) {
        box->setFocus(Qt::MouseFocusReason);
    }
    return box;
}

void TestScreenKeys::play(QWidget* w, const QString& script) {
    static const QMap<QString, Qt::Key> keys = {{"home", Qt::Key_Home},  {"end", Qt::Key_End},
                                                {"left", Qt::Key_Left},  {"right", Qt::Key_Right},
                                                {"del", Qt::Key_Delete}, {"bs", Qt::Key_Backspace}};
    for (int i = 0; i < script.size(); ++i) {
        if (script[i] == '<') {
            const int close = script.indexOf('>', i);
            QTest::keyClick(w, keys.value(script.mid(i + 1, close - i - 1)));
            i = close;
        } else {
            QTest::keyClicks(w, QString(script[i]));
        }
    }
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
        << "cmdView"
        << QStringList{"Please choose Report1, Report2 or Upload Register, then press View."} << 0
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

void TestScreenKeys::movingAndEditingKeysWorkInDigitBoxes_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("kind");  // the password screen's kind, chosen first
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("text");
    QTest::newRow("agent: Home, Right, Delete") << "frmsend"
                                                << ""
                                                << "txtAgent"
                                                << "1a23<home><right><del>"
                                                << "13";
    QTest::newRow("agent: Left, Delete, then a digit") << "frmsend"
                                                       << ""
                                                       << "txtAgent"
                                                       << "123<left><left><del>4"
                                                       << "143";
    QTest::newRow("date: Delete at Home, then a digit at End") << "frmsend"
                                                               << ""
                                                               << "txtDate"
                                                               << "0325<home><del><end>9"
                                                               << "3259";
    QTest::newRow("date: Backspace empties the entry") << "frmsend"
                                                       << ""
                                                       << "txtDate"
                                                       << "0325<left><bs>"
                                                       << "";
    QTest::newRow("transactions: Home, Delete") << "frmsend"
                                                << ""
                                                << "txtTransact"
                                                << "5<home><del>8x6"
                                                << "6";
    QTest::newRow("old password: Delete at Home, a digit at End") << "frmPassword"
                                                                  << "OpHandHeld"
                                                                  << "txtOldPass"
                                                                  << "1234<home><del><end>5"
                                                                  << "2345";
    QTest::newRow("new password: Right, Delete keeps the zeros") << "frmPassword"
                                                                 << "OpHandHeld"
                                                                 << "txtNewPass"
                                                                 << "0042<home><right><right><del>"
                                                                 << "002";
    QTest::newRow("confirmation: Backspace drops the last digit") << "frmPassword"
                                                                  << "OpHandHeld"
                                                                  << "txtConfirmPass"
                                                                  << "9b87<left><bs>"
                                                                  << "98";
}

void TestScreenKeys::movingAndEditingKeysWorkInDigitBoxes() {
    QFETCH(QString, screen);
    QFETCH(QString, kind);
    QFETCH(QString, box);
    QFETCH(QString, script);
    QFETCH(QString, text);
    QVERIFY(open(screen));
    choosePasswordKind(kind);
    QLineEdit* e = focusedBox(box);
    QVERIFY(e);
    QTRY_VERIFY(e->hasFocus());
    play(e, script);
    QCOMPARE(e->text(), text);
    QVERIFY(e->hasFocus());  // no key moved the focus away
    QCOMPARE(m_fx->rec.messages.size(), 0);
}

void TestScreenKeys::pastedAndDroppedTextFollowsTheBoxRule_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("drop");  // dropped rather than pasted with Ctrl+V
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<QString>("text");
    QTest::newRow("agent, digits pasted") << "frmsend"
                                          << ""
                                          << "txtAgent"
                                          << "1" << false << "23"
                                          << "123";
    QTest::newRow("agent, letters pasted") << "frmsend"
                                           << ""
                                           << "txtAgent"
                                           << "" << false << "abc"
                                           << "";
    QTest::newRow("agent, a digit and a letter pasted") << "frmsend"
                                                        << ""
                                                        << "txtAgent"
                                                        << "1" << false << "2a"
                                                        << "1";
    QTest::newRow("agent, blanks dropped") << "frmsend"
                                           << ""
                                           << "txtAgent"
                                           << "" << true << " 5 "
                                           << "";
    QTest::newRow("date, dropped") << "frmsend"
                                   << ""
                                   << "txtDate"
                                   << "" << true << "0325"
                                   << "0325";
    QTest::newRow("date, with a slash dropped") << "frmsend"
                                                << ""
                                                << "txtDate"
                                                << "" << true << "03/2"
                                                << "";
    QTest::newRow("transactions, 8 pasted") << "frmsend"
                                            << ""
                                            << "txtTransact"
                                            << "" << false << "8"
                                            << "";
    QTest::newRow("transactions, 7 pasted") << "frmsend"
                                            << ""
                                            << "txtTransact"
                                            << "" << false << "7"
                                            << "7";
    QTest::newRow("terminal password, digits pasted") << "frmPassword"
                                                      << "OpHandHeld"
                                                      << "txtOldPass"
                                                      << "" << false << "42"
                                                      << "42";
    QTest::newRow("terminal password, letters pasted") << "frmPassword"
                                                       << "OpHandHeld"
                                                       << "txtNewPass"
                                                       << "1" << false << "4x2"
                                                       << "1";
    QTest::newRow("terminal password, a letter dropped") << "frmPassword"
                                                         << "OpHandHeld"
                                                         << "txtConfirmPass"
                                                         << "" << true << "x"
                                                         << "";
    QTest::newRow("software password, letters pasted") << "frmPassword"
                                                       << "OpSoftware"
                                                       << "txtOldPass"
                                                       << "a" << false << "Bc 1"
                                                       << "aBc 1";
}

void TestScreenKeys::pastedAndDroppedTextFollowsTheBoxRule() {
    QFETCH(QString, screen);
    QFETCH(QString, kind);
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(bool, drop);
    QFETCH(QString, inserted);
    QFETCH(QString, text);
    QVERIFY(open(screen));
    choosePasswordKind(kind);
    QLineEdit* e = focusedBox(box);
    QVERIFY(e);
    QTRY_VERIFY(e->hasFocus());
    QTest::keyClicks(e, typed);
    if (drop) {
        QMimeData mime;
        mime.setText(inserted);
        const QPoint at(e->width() - 2, e->height() / 2);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e, &move);
        QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e, &dropped);
    } else {
        QGuiApplication::clipboard()->setText(inserted);
        QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(e->text(), text);
    QCOMPARE(m_fx->rec.messages.size(), 0);
}

void TestScreenKeys::passwordBoxesShowStars_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::newRow("password entry") << "frmPassEntry"
                                    << ""
                                    << "txtNewPass"
                                    << "Adm1n";
    QTest::newRow("software, old password") << "frmPassword"
                                            << "OpSoftware"
                                            << "txtOldPass"
                                            << "boss";
    QTest::newRow("terminal, new password") << "frmPassword"
                                            << "OpHandHeld"
                                            << "txtNewPass"
                                            << "0042";
    QTest::newRow("terminal, confirmation") << "frmPassword"
                                            << "OpHandHeld"
                                            << "txtConfirmPass"
                                            << "7";
}

void TestScreenKeys::passwordBoxesShowStars() {
    QFETCH(QString, screen);
    QFETCH(QString, kind);
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QVERIFY(open(screen));
    choosePasswordKind(kind);
    QLineEdit* e = focusedBox(box);
    QVERIFY(e);
    QTest::keyClicks(e, typed);
    QCOMPARE(e->text(), typed);
    QCOMPARE(e->echoMode(), QLineEdit::Password);
    QCOMPARE(e->displayText(), QString(typed.size(), '*'));
}

// A screen reader names every box the operator types into or chooses from: by its label
// (a buddy) or by an accessible name of its own ("Port 3 agent").
void TestScreenKeys::everyEntryBoxIsNamed_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<int>("boxes");  // how many there are, so that none goes unlooked at
    QTest::newRow("main menu") << "frmMain" << 0;
    QTest::newRow("configuration") << "frmConfigure" << 14;
    QTest::newRow("folder selection") << "frmDrive" << 2;
    QTest::newRow("password entry") << "frmPassEntry" << 2;
    QTest::newRow("password maintenance") << "frmPassword" << 3;
    QTest::newRow("download") << "frmsend" << 3;
    QTest::newRow("upload") << "frmReceive" << 0;
    QTest::newRow("report") << "frmReport" << 4;
    QTest::newRow("transfer station") << "frmStation" << 40;
}

void TestScreenKeys::everyEntryBoxIsNamed() {
    QFETCH(QString, screen);
    QFETCH(int, boxes);
    QVERIFY(open(screen));
    const auto isEntry = [](QWidget* w) {
        return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
               qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QTextEdit*>(w) ||
               qobject_cast<QPlainTextEdit*>(w) ||
               (qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QHeaderView*>(w));
    };
    QSet<QWidget*> buddies;
    for (QLabel* l : m_screen->findChildren<QLabel*>()) {
        if (l->buddy() && !l->text().remove('&').trimmed().isEmpty()) {
            buddies << l->buddy();
        }
    }
    QStringList unnamed;
    int seen = 0;
    for (QWidget* w : m_screen->findChildren<QWidget*>()) {
        if (!isEntry(w)) {
            continue;
        }
        bool part = false;  // the editor inside a combo or a date box, a combo's list
        for (QWidget* up = w->parentWidget(); up && up != m_screen.get(); up = up->parentWidget()) {
            part = part || isEntry(up);
        }
        if (part) {
            continue;
        }
        ++seen;
        if (w->accessibleName().trimmed().isEmpty() && !buddies.contains(w)) {
            unnamed << w->objectName();
        }
    }
    QCOMPARE(unnamed, QStringList());
    QCOMPARE(seen, boxes);
}

QTEST_MAIN(TestScreenKeys)
#include "tst_screenkeys.moc"
