// The password entry in front of the settings screens.
#include "app/AppContext.h"
#include "db/PasswordStore.h"
#include "security/FrmPassEntry.h"
#include "security/Passwords.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <sodium.h>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace kovrin;

class TestPassEntry : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void screenContents();
    void noRowAcceptsEmptyPassword();
    void comparisonIsExact_data();
    void comparisonIsExact();
    void enterBehavesAsOk();
    void attemptsAreUnlimited();
    void cancelOpensNothing();
    void weakHashIsMadeStrongerAtCorrectEntry();

private:
    bool tryPassword(const QString& stored, const QString& typed, bool useEnter = false);
    test::TempProgramFolder* m_pf = nullptr;
    test::MessageRecorder* m_rec = nullptr;
    std::unique_ptr<AppContext> m_ctx;
};

void TestPassEntry::init() {
    m_pf = new test::TempProgramFolder;
    m_rec = new test::MessageRecorder;
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error);
    QVERIFY(m_ctx);
    m_rec->clear();
}

void TestPassEntry::cleanup() {
    m_ctx.reset();
    delete m_rec;
    delete m_pf;
}

bool TestPassEntry::tryPassword(const QString& stored, const QString& typed, bool useEnter) {
    if (!stored.isNull()) {
        PasswordStore(m_ctx->db()).save(PasswordColumn::Admin, stored);
    }
    FrmPassEntry entry(*m_ctx);
    entry.show();
    QSignalSpy accepted(&entry, &FrmPassEntry::passwordAccepted);
    auto* box = entry.findChild<QLineEdit*>("txtNewPass");
    QTest::keyClicks(box, typed);
    if (useEnter) {
        QTest::keyClick(box, Qt::Key_Return);
    } else {
        entry.findChild<QPushButton*>("cmdOK")->click();
    }
    if (accepted.count() == 1) {
        return !entry.isVisible();  // closes itself before the settings screen opens
    }
    return false;
}

void TestPassEntry::screenContents() {
    FrmPassEntry entry(*m_ctx);
    QCOMPARE(entry.windowTitle(), QString("PasswordEntry"));
    auto* box = entry.findChild<QLineEdit*>("txtNewPass");
    QCOMPARE(box->echoMode(), QLineEdit::Password);
    QCOMPARE(box->maxLength(), 10);
    QCOMPARE(entry.findChild<QPushButton*>("cmdOK")->text(), QString("&OK"));
    QCOMPARE(entry.findChild<QPushButton*>("cmdCancel")->text(), QString("&Cancel"));
    QCOMPARE(entry.findChild<QLineEdit*>("txtUser")->text(), QString("Admin"));
}

void TestPassEntry::noRowAcceptsEmptyPassword() {
    QVERIFY(tryPassword(QString(), ""));
    QCOMPARE(m_rec->messages.size(), 0);
}

void TestPassEntry::comparisonIsExact_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    const QString hashed = *security::storedFormOf(PasswordColumn::Admin, "Manager");
    QTest::newRow("hashed, lower case") << hashed << "manager" << true;
    QTest::newRow("hashed, capital typed") << hashed << "Manager" << false;
    QTest::newRow("hashed, trailing blank") << hashed << "manager " << false;
    QTest::newRow("clear with capitals, typed lower") << "MaNaGeR"
                                                      << "manager" << true;
    QTest::newRow("clear with capitals, typed as stored") << "MaNaGeR"
                                                          << "MaNaGeR" << false;
    QTest::newRow("clear, trailing blank") << "manager"
                                           << "manager " << false;
    QTest::newRow("empty column, empty typed") << ""
                                               << "" << true;
    QTest::newRow("empty column, text typed") << ""
                                              << "x" << false;
}

void TestPassEntry::comparisonIsExact() {
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QCOMPARE(tryPassword(stored, typed), accepted);
    if (!accepted) {
        QCOMPARE(m_rec->texts(), QStringList{"Password entered is Incorrect"});
        QCOMPARE(m_rec->last().icon, MsgIcon::Critical);
    }
}

void TestPassEntry::enterBehavesAsOk() {
    const QString hashed = *security::storedFormOf(PasswordColumn::Admin, "boss");
    QVERIFY(tryPassword(hashed, "boss", true));
    QVERIFY(!tryPassword(QString(), "Boss", true));
    QCOMPARE(m_rec->texts(), QStringList{"Password entered is Incorrect"});
}

void TestPassEntry::attemptsAreUnlimited() {
    PasswordStore(m_ctx->db()).save(PasswordColumn::Admin, "boss");
    FrmPassEntry entry(*m_ctx);
    entry.show();
    QSignalSpy accepted(&entry, &FrmPassEntry::passwordAccepted);
    auto* box = entry.findChild<QLineEdit*>("txtNewPass");
    for (int i = 0; i < 6; ++i) {
        QTest::keyClicks(box, "wrong");
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(box->text().isEmpty());  // emptied after each wrong password
    }
    QCOMPARE(m_rec->count("Password entered is Incorrect"), 6);
    QVERIFY(entry.isVisible());
    QTest::keyClicks(box, "boss");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(accepted.count(), 1);
}

void TestPassEntry::cancelOpensNothing() {
    FrmPassEntry entry(*m_ctx);
    entry.show();
    QSignalSpy accepted(&entry, &FrmPassEntry::passwordAccepted);
    entry.findChild<QPushButton*>("cmdCancel")->click();
    QVERIFY(!entry.isVisible());
    QCOMPARE(accepted.count(), 0);
}

QTEST_MAIN(TestPassEntry)
#include "tst_passentry.moc"

// A hash made with the older, interactive limits works, and the first correct entry replaces
// it with one of today's moderate limits; a wrong entry leaves it.
void TestPassEntry::weakHashIsMadeStrongerAtCorrectEntry() {
    const security::HashStrength today = security::hashStrength();
    security::setHashStrength(
        {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE});
    const QString weak = security::hashPassword("boss");
    security::setHashStrength(today);
    QVERIFY(weak.startsWith("$argon2id$v=19$m=65536,t=2,"));
    QVERIFY(security::needsRehash(weak));

    QVERIFY(!tryPassword(weak, "bos"));
    QCOMPARE(PasswordStore(m_ctx->db()).load()->admin, weak);
    QVERIFY(tryPassword(QString(), "boss"));
    const QString strong = PasswordStore(m_ctx->db()).load()->admin;
    QVERIFY2(strong.startsWith("$argon2id$v=19$m=262144,t=3,"), qPrintable(strong));
    QVERIFY(!security::needsRehash(strong));
    QVERIFY(security::matchesEntry(strong, "boss"));
    QFile log(m_pf->folder().operatorLogPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray audit = log.readAll();
    QVERIFY(audit.contains("AUDIT administrator password's hash made stronger"));
    QVERIFY(!audit.contains("boss"));
}
