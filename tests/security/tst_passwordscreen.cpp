// Password maintenance: kinds and levels, key rules, old-password checks and saving.
#include "app/AppContext.h"
#include "db/PasswordStore.h"
#include "security/FrmPassEntry.h"
#include "security/FrmPassword.h"
#include "security/Passwords.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

using namespace kovrin;

namespace {
// What a mouse click does to a control: the focus, then the click (for buttons).
void operatorClick(QWidget* w) {
    w->setFocus(Qt::MouseFocusReason);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->click();
    }
}
}  // namespace

class TestPasswordScreen : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void framesFollowTheFocus();
    void maximumLengthSetOnClick();
    void changeEachPassword_data();
    void changeEachPassword();
    void softwarePasswordNeverStoredInClear();
    void wrongOldPasswordAtFocus();
    void wrongOldPasswordAtUpdateSavesNothing();
    void confirmationMismatch();
    void newAndConfirmationEqualApartFromCaseAndBlanks();
    void digitFilterAndBackspace();
    void enterMovesThroughTheBoxes();
    void noSelectionSavesNothing();
    void secondChangeNeedsTheNewValue();
    void terminalPasswordNeverLongerThanFourDigits();

private:
    FrmPassword* open();
    void choose(FrmPassword* f, const char* kind, const char* level);
    void fill(FrmPassword* f, const QString& oldPw, const QString& newPw, const QString& confirm);
    QLineEdit* box(FrmPassword* f, const char* name) { return f->findChild<QLineEdit*>(name); }
    bool entryAccepts(const QString& typed);

    test::TempProgramFolder* m_pf = nullptr;
    test::MessageRecorder* m_rec = nullptr;
    std::unique_ptr<AppContext> m_ctx;
    std::unique_ptr<FrmPassword> m_screen;
};

void TestPasswordScreen::init() {
    m_pf = new test::TempProgramFolder;
    m_rec = new test::MessageRecorder;
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error);
    QVERIFY(m_ctx);
    PasswordStore store(m_ctx->db());
    QVERIFY(
        store.save(PasswordColumn::Admin, *security::storedFormOf(PasswordColumn::Admin, "adm")));
    QVERIFY(store.save(PasswordColumn::User, "UsEr"));  // clear text from an older file
    QVERIFY(store.save(PasswordColumn::Setup, "1111"));
    QVERIFY(store.save(PasswordColumn::Download, "0022"));
    m_rec->clear();
}

void TestPasswordScreen::cleanup() {
    m_screen.reset();
    m_ctx.reset();
    delete m_rec;
    delete m_pf;
}

FrmPassword* TestPasswordScreen::open() {
    m_screen = std::make_unique<FrmPassword>(*m_ctx);
    m_screen->show();
    if (!QTest::qWaitForWindowActive(m_screen.get())) {
        return nullptr;
    }
    return m_screen.get();
}

void TestPasswordScreen::choose(FrmPassword* f, const char* kind, const char* level) {
    operatorClick(f->findChild<QRadioButton*>(kind));
    operatorClick(f->findChild<QRadioButton*>(level));
}

void TestPasswordScreen::fill(FrmPassword* f, const QString& oldPw, const QString& newPw,
                              const QString& confirm) {
    operatorClick(box(f, "txtOldPass"));
    QTest::keyClicks(box(f, "txtOldPass"), oldPw);
    operatorClick(box(f, "txtNewPass"));  // the old password is checked
    QTest::keyClicks(box(f, "txtNewPass"), newPw);
    operatorClick(box(f, "txtConfirmPass"));
    QTest::keyClicks(box(f, "txtConfirmPass"), confirm);
}

bool TestPasswordScreen::entryAccepts(const QString& typed) {
    FrmPassEntry entry(*m_ctx);
    QSignalSpy accepted(&entry, &FrmPassEntry::passwordAccepted);
    QTest::keyClicks(entry.findChild<QLineEdit*>("txtNewPass"), typed);
    test::MessageRecorder quiet;
    entry.findChild<QPushButton*>("cmdOK")->click();
    return accepted.count() == 1;
}

void TestPasswordScreen::framesFollowTheFocus() {
    FrmPassword* f = open();
    QVERIFY(f);
    QCOMPARE(f->windowTitle(), QString("Password"));
    auto* frame4 = f->findChild<QGroupBox*>("Frame4");
    auto* frame5 = f->findChild<QGroupBox*>("Frame5");
    auto* software = f->findChild<QRadioButton*>("OpSoftware");
    auto* handHeld = f->findChild<QRadioButton*>("OpHandHeld");
    // The terminal kind has the focus when the screen opens: its levels show, unchosen.
    QTRY_VERIFY(handHeld->hasFocus());
    QVERIFY(frame4->isVisible());
    QVERIFY(!frame5->isVisible());
    QVERIFY(!handHeld->isChecked() && !software->isChecked());
    for (const char* n : {"OpAdmin", "OpUser", "OpSetup", "OpDownload"}) {
        QVERIFY(!f->findChild<QRadioButton*>(n)->isChecked());
    }
    software->setFocus(Qt::TabFocusReason);
    QVERIFY(frame5->isVisible());
    QVERIFY(!frame4->isVisible());
    QCOMPARE(f->findChild<QRadioButton*>("OpDownload")->text(), QString("Main Screen"));
}

void TestPasswordScreen::maximumLengthSetOnClick() {
    FrmPassword* f = open();
    QVERIFY(f);
    QCOMPARE(box(f, "txtOldPass")->maxLength(), 4);
    operatorClick(f->findChild<QRadioButton*>("OpSoftware"));
    for (const char* n : {"txtOldPass", "txtNewPass", "txtConfirmPass"}) {
        QCOMPARE(box(f, n)->maxLength(), 10);
        QCOMPARE(box(f, n)->echoMode(), QLineEdit::Password);
    }
    // Focus alone (the keyboard, without a click) shows the levels but keeps the length.
    f->findChild<QRadioButton*>("OpHandHeld")->setFocus(Qt::TabFocusReason);
    QVERIFY(f->findChild<QGroupBox*>("Frame4")->isVisible());
    QCOMPARE(box(f, "txtNewPass")->maxLength(), 10);
    operatorClick(f->findChild<QRadioButton*>("OpHandHeld"));
    QCOMPARE(box(f, "txtNewPass")->maxLength(), 4);
}

void TestPasswordScreen::changeEachPassword_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("level");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("oldPw");
    QTest::addColumn<QString>("newPw");
    QTest::addColumn<QString>("stored");
    QTest::newRow("admin") << "OpSoftware"
                           << "OpAdmin" << int(PasswordColumn::Admin) << "ADM"
                           << " NewBoss "
                           << "newboss";
    QTest::newRow("user") << "OpSoftware"
                          << "OpUser" << int(PasswordColumn::User) << "user"
                          << "Clerk2"
                          << "clerk2";
    QTest::newRow("setup") << "OpHandHeld"
                           << "OpSetup" << int(PasswordColumn::Setup) << "1111"
                           << "0042"
                           << "0042";
    QTest::newRow("main screen") << "OpHandHeld"
                                 << "OpDownload" << int(PasswordColumn::Download) << "0022"
                                 << "9"
                                 << "9";
}

void TestPasswordScreen::changeEachPassword() {
    QFETCH(QString, kind);
    QFETCH(QString, level);
    QFETCH(int, column);
    QFETCH(QString, oldPw);
    QFETCH(QString, newPw);
    QFETCH(QString, stored);
    FrmPassword* f = open();
    QVERIFY(f);
    choose(f, qPrintable(kind), qPrintable(level));
    fill(f, oldPw, newPw, newPw);
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->texts(), QStringList{"Data Saved Successfully"});
    QCOMPARE(m_rec->last().title, QString("DATA SAVE"));
    QCOMPARE(m_rec->last().icon, MsgIcon::Information);
    const PasswordRow row = *PasswordStore(m_ctx->db()).load();
    const QString values[] = {row.admin, row.user, row.setup, row.download};
    const QString value = values[column];
    if (column <= int(PasswordColumn::User)) {
        QVERIFY(security::isHashed(value));
        QVERIFY(security::matchesEntry(value, stored));
        QVERIFY(!security::matchesEntry(value, newPw));
    } else {
        QCOMPARE(value, stored);
    }
    if (column == int(PasswordColumn::Admin)) {
        QVERIFY(entryAccepts("newboss"));  // verified through the password entry
        QVERIFY(!entryAccepts("NewBoss"));
        QVERIFY(!entryAccepts("adm"));
    }
}

void TestPasswordScreen::softwarePasswordNeverStoredInClear() {
    FrmPassword* f = open();
    QVERIFY(f);
    choose(f, "OpSoftware", "OpUser");
    fill(f, "user", "Zebra7Qx", "zebra7qx");
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->texts(), QStringList{"Data Saved Successfully"});
    m_screen.reset();
    m_ctx.reset();  // the database file is closed
    QFile file(m_pf->folder().databasePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.contains("zebra7qx"));
    QVERIFY(!bytes.contains("Zebra7Qx"));
    QVERIFY(bytes.contains("$argon2id$"));
}

void TestPasswordScreen::wrongOldPasswordAtFocus() {
    FrmPassword* f = open();
    QVERIFY(f);
    choose(f, "OpHandHeld", "OpSetup");
    operatorClick(box(f, "txtOldPass"));
    QTest::keyClicks(box(f, "txtOldPass"), "1234");
    operatorClick(box(f, "txtNewPass"));
    QCOMPARE(m_rec->texts(), QStringList{"Password entered is incorrect"});
    QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
    QVERIFY(box(f, "txtOldPass")->text().isEmpty());
    QTRY_VERIFY(box(f, "txtOldPass")->hasFocus());
}

void TestPasswordScreen::wrongOldPasswordAtUpdateSavesNothing() {
    FrmPassword* f = open();
    QVERIFY(f);
    choose(f, "OpSoftware", "OpAdmin");
    // Filled out of order: the new password first, then a wrong old one, then Update.
    operatorClick(box(f, "txtConfirmPass"));
    QTest::keyClicks(box(f, "txtConfirmPass"), "hacked");
    box(f, "txtNewPass")->setText("hacked");
    operatorClick(box(f, "txtOldPass"));
    QTest::keyClicks(box(f, "txtOldPass"), "guess");
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->texts(), QStringList{"Password entered is incorrect"});
    QVERIFY(entryAccepts("adm"));
    QVERIFY(!entryAccepts("hacked"));
}

void TestPasswordScreen::confirmationMismatch() {
    FrmPassword* f = open();
    QVERIFY(f);
    choose(f, "OpHandHeld", "OpDownload");
    fill(f, "0022", "5555", "5556");
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->texts(), QStringList{"Conifrming New Password is Incorrect"});
    QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
    QVERIFY(box(f, "txtConfirmPass")->text().isEmpty());
    QTRY_VERIFY(box(f, "txtConfirmPass")->hasFocus());
    QCOMPARE(PasswordStore(m_ctx->db()).load()->download, QString("0022"));
}

void TestPasswordScreen::newAndConfirmationEqualApartFromCaseAndBlanks() {
    FrmPassword* f = open();
    QVERIFY(f);
    choose(f, "OpSoftware", "OpAdmin");
    fill(f, "adm", " MixCase", "mixcase  ");
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->texts(), QStringList{"Data Saved Successfully"});
    QVERIFY(entryAccepts("mixcase"));
}

void TestPasswordScreen::digitFilterAndBackspace() {
    FrmPassword* f = open();
    QVERIFY(f);
    choose(f, "OpHandHeld", "OpSetup");
    QLineEdit* old = box(f, "txtOldPass");
    operatorClick(old);
    QTest::keyClicks(old, "0a1b2");
    QCOMPARE(old->text(), QString("012"));  // letters are ignored
    QTest::keyClick(old, Qt::Key_Backspace);
    QCOMPARE(old->text(), QString("1"));  // the last digit goes, and the leading zero with it
    QTest::keyClick(old, Qt::Key_Backspace);
    QCOMPARE(old->text(), QString("0"));
    QTest::keyClick(old, Qt::Key_Backspace);
    QCOMPARE(old->text(), QString("0"));

    // With the software kind chosen every key is taken as typed.
    choose(f, "OpSoftware", "OpAdmin");
    operatorClick(old);
    QTest::keyClicks(old, "ab1");
    QTest::keyClick(old, Qt::Key_Backspace);
    QCOMPARE(old->text(), QString("ab"));
}

void TestPasswordScreen::enterMovesThroughTheBoxes() {
    FrmPassword* f = open();
    QVERIFY(f);
    choose(f, "OpHandHeld", "OpSetup");
    operatorClick(box(f, "txtOldPass"));
    QTest::keyClicks(box(f, "txtOldPass"), "1111");
    QTest::keyClick(box(f, "txtOldPass"), Qt::Key_Return);
    QTRY_VERIFY(box(f, "txtNewPass")->hasFocus());
    QCOMPARE(m_rec->messages.size(), 0);  // the right old password
    QTest::keyClicks(box(f, "txtNewPass"), "2222");
    QTest::keyClick(box(f, "txtNewPass"), Qt::Key_Return);
    QTRY_VERIFY(box(f, "txtConfirmPass")->hasFocus());
    QTest::keyClicks(box(f, "txtConfirmPass"), "2222");
    QTest::keyClick(box(f, "txtConfirmPass"), Qt::Key_Return);
    QTRY_VERIFY(f->findChild<QPushButton*>("cmdSend")->hasFocus());
    QCOMPARE(PasswordStore(m_ctx->db()).load()->setup, QString("1111"));  // Enter does not save

    // Enter on the options moves to the levels and from a level to the old password.
    auto* software = f->findChild<QRadioButton*>("OpSoftware");
    software->setFocus();
    QTest::keyClick(software, Qt::Key_Return);
    QTRY_VERIFY(f->findChild<QRadioButton*>("OpAdmin")->hasFocus());
    QTest::keyClick(f->findChild<QRadioButton*>("OpAdmin"), Qt::Key_Return);
    QTRY_VERIFY(box(f, "txtOldPass")->hasFocus());
}

void TestPasswordScreen::noSelectionSavesNothing() {
    FrmPassword* f = open();
    QVERIFY(f);
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->messages.size(), 1);
    QVERIFY(m_rec->last().text != "Data Saved Successfully");
    QVERIFY(m_rec->last().text.contains("Choose the password to change"));
    const PasswordRow row = *PasswordStore(m_ctx->db()).load();
    QCOMPARE(row.setup, QString("1111"));
    QCOMPARE(row.download, QString("0022"));
}

void TestPasswordScreen::secondChangeNeedsTheNewValue() {
    FrmPassword* f = open();
    QVERIFY(f);
    choose(f, "OpHandHeld", "OpSetup");
    fill(f, "1111", "2222", "2222");
    f->findChild<QPushButton*>("cmdSend")->click();
    choose(f, "OpHandHeld", "OpSetup");
    fill(f, "1111", "3333", "3333");  // the value from when the screen opened no longer works
    QCOMPARE(m_rec->count("Password entered is incorrect"), 1);
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(PasswordStore(m_ctx->db()).load()->setup, QString("2222"));
    m_rec->clear();
    choose(f, "OpHandHeld", "OpSetup");
    fill(f, "2222", "3333", "3333");
    f->findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(m_rec->texts(), QStringList{"Data Saved Successfully"});
    QCOMPARE(PasswordStore(m_ctx->db()).load()->setup, QString("3333"));
}

void TestPasswordScreen::terminalPasswordNeverLongerThanFourDigits() {
    FrmPassword* f = open();
    QVERIFY(f);
    // Software clicked (length 10), then the terminal chosen without a click on its kind.
    operatorClick(f->findChild<QRadioButton*>("OpSoftware"));
    f->findChild<QRadioButton*>("OpHandHeld")->setChecked(true);
    operatorClick(f->findChild<QRadioButton*>("OpSetup"));
    fill(f, "1111", "123456", "123456");
    QCOMPARE(box(f, "txtNewPass")->text(), QString("123456"));
    f->findChild<QPushButton*>("cmdSend")->click();
    QVERIFY(m_rec->last().text.contains("at most 4 digits"));
    QCOMPARE(PasswordStore(m_ctx->db()).load()->setup, QString("1111"));
}

QTEST_MAIN(TestPasswordScreen)
#include "tst_passwordscreen.moc"
