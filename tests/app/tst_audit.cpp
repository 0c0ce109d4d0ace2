// The audit trail of settings and passwords in the operator log.
#include "app/AppContext.h"
#include "app/FrmConfigure.h"
#include "app/FrmDrive.h"
#include "core/Clock.h"
#include "db/PasswordStore.h"
#include "security/FrmPassEntry.h"
#include "security/FrmPassword.h"
#include "support/MessageRecorder.h"
#include "support/TempProgramFolder.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace kovrin;

static const kovrin::FixedClock kClock(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));

class TestAudit : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void passwordEntries();
    void settingsChanges();
    void folderChange();
    void passwordChangeNamesThePasswordNeverItsValue();

private:
    QStringList auditLines();
    std::unique_ptr<test::TempProgramFolder> m_pf;
    std::unique_ptr<test::MessageRecorder> m_rec;
    std::unique_ptr<AppContext> m_ctx;
};

void TestAudit::init() {
    m_pf = std::make_unique<test::TempProgramFolder>();
    m_rec = std::make_unique<test::MessageRecorder>();
    QString error;
    m_ctx = AppContext::startUp(m_pf->folder(), &error, kClock);
    QVERIFY(m_ctx);
}

void TestAudit::cleanup() {
    m_ctx.reset();
    m_rec.reset();
    m_pf.reset();
}

QStringList TestAudit::auditLines() {
    QFile f(m_pf->filePath("operator.log"));
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList out;
    for (const QString& l : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)) {
        if (l.contains("\tAUDIT ")) {
            out << l;
        }
    }
    return out;
}

void TestAudit::passwordEntries() {
    FrmPassEntry entry(*m_ctx);
    QTest::keyClicks(entry.findChild<QLineEdit*>("txtNewPass"), "wrong");
    entry.findChild<QPushButton*>("cmdOK")->click();
    entry.findChild<QPushButton*>("cmdOK")->click();  // empty: no password row, accepted
    QCOMPARE(auditLines(),
             QStringList({"2026-12-08 09:00:00\tfrmPassEntry\tAUDIT administrator password refused",
                          "2026-12-08 09:00:00\tfrmPassEntry\tAUDIT administrator password "
                          "accepted"}));
    QFile log(m_pf->filePath("operator.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(!log.readAll().contains("wrong"));  // what was typed is never written
}

void TestAudit::settingsChanges() {
    {
        FrmConfigure f(*m_ctx);
        f.findChild<QLineEdit*>("txtBankName")->setText("First Bank");
        f.findChild<QPushButton*>("cmdUpdate")->click();
    }
    FrmConfigure f(*m_ctx);
    f.findChild<QLineEdit*>("txtBankName")->setText("Second Bank");
    f.findChild<QComboBox*>("cmbComPort")->setCurrentIndex(2);
    f.findChild<QPushButton*>("cmdUpdate")->click();
    f.findChild<QPushButton*>("cmdUpdate")->click();
    const QStringList lines = auditLines();
    QCOMPARE(lines.size(), 3);
    QVERIFY(
        lines[0].endsWith("AUDIT settings changed: BankName '' -> 'First Bank'; "
                          "Comm Port '' -> '1'; FontSize '' -> '-1'"));
    QVERIFY(
        lines[1].endsWith("AUDIT settings changed: BankName 'First Bank' -> 'Second Bank'; "
                          "Comm Port '1' -> '3'; FontSize '-1' -> '0'"));
    QVERIFY(lines[2].endsWith("\tfrmConfigure\tAUDIT settings saved, nothing changed"));
}

void TestAudit::folderChange() {
    QTemporaryDir tree;
    FrmDrive f(*m_ctx, nullptr, [] { return QStringList{QDir::rootPath()}; });
    f.findChild<QRadioButton*>("OpBank")->setChecked(true);
    f.setCurrentFolder(tree.path());
    f.findChild<QPushButton*>("cmdSend")->click();
    QCOMPARE(auditLines().size(), 1);
    QVERIFY(auditLines()[0].endsWith(
        QString("\tfrmDrive\tAUDIT settings changed: BankInfoPath '' -> '%1'").arg(tree.path())));
}

void TestAudit::passwordChangeNamesThePasswordNeverItsValue() {
    PasswordStore(m_ctx->db()).save(PasswordColumn::Setup, "1111");
    FrmPassword f(*m_ctx);
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    auto click = [&f](const char* name) {
        auto* b = f.findChild<QRadioButton*>(name);
        b->setFocus(Qt::MouseFocusReason);
        b->click();
    };
    auto type = [&f](const char* name, const QString& text) {
        auto* e = f.findChild<QLineEdit*>(name);
        e->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(e, text);
    };
    click("OpHandHeld");
    click("OpSetup");
    type("txtOldPass", "9999");
    type("txtNewPass", "");  // the wrong old password is refused here
    type("txtOldPass", "1111");
    type("txtNewPass", "4321");
    type("txtConfirmPass", "4321");
    f.findChild<QPushButton*>("cmdSend")->click();
    const QStringList lines = auditLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(
        lines[0].endsWith("\tfrmPassword\tAUDIT password change refused: wrong old setup "
                          "password"));
    QVERIFY(lines[1].endsWith("\tfrmPassword\tAUDIT password changed: setup"));
    QFile log(m_pf->filePath("operator.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray all = log.readAll();
    QVERIFY(!all.contains("4321"));
    QVERIFY(!all.contains("9999"));
}

QTEST_MAIN(TestAudit)
#include "tst_audit.moc"
