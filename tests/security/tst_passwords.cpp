// Stored forms and checks of the four passwords.
#include "db/PasswordStore.h"
#include "security/Passwords.h"
#include "support/TempProgramFolder.h"

#include <QtTest>

using namespace kovrin;
using namespace kovrin::security;

class TestPasswords : public QObject {
    Q_OBJECT
private slots:
    void softwarePasswordsAreHashedSalted();
    void terminalPasswordsStayDigitsInClear();
    void entryComparesExactlyWhatWasTyped();
    void entryAgainstClearTextColumn();
    void oldPasswordIsComparedInLowerCase();
    void storeCreatesRowWhenMissing();
};

void TestPasswords::softwarePasswordsAreHashedSalted() {
    const QString a = *storedFormOf(PasswordColumn::Admin, "  Secret1 ");
    const QString b = *storedFormOf(PasswordColumn::Admin, "secret1");
    QVERIFY(isHashed(a));
    QVERIFY(a.startsWith("$argon2id$"));
    QVERIFY(!a.contains("secret1", Qt::CaseInsensitive));
    QVERIFY(a != b);  // salted
    QVERIFY(matchesEntry(a, "secret1"));
    QVERIFY(matchesEntry(b, "secret1"));
    QVERIFY(isHashed(*storedFormOf(PasswordColumn::User, "u")));
}

void TestPasswords::terminalPasswordsStayDigitsInClear() {
    QCOMPARE(*storedFormOf(PasswordColumn::Setup, " 0123 "), QString("0123"));
    QCOMPARE(*storedFormOf(PasswordColumn::Download, "42"), QString("42"));
}

void TestPasswords::entryComparesExactlyWhatWasTyped() {
    const QString stored = *storedFormOf(PasswordColumn::Admin, "Admin");
    QVERIFY(matchesEntry(stored, "admin"));
    QVERIFY(!matchesEntry(stored, "Admin"));   // a typed capital letter fails
    QVERIFY(!matchesEntry(stored, "admin "));  // so does a trailing blank
    QVERIFY(!matchesEntry(stored, ""));
    QVERIFY(matchesEntry("", ""));  // no password stored: the empty entry is accepted
    QVERIFY(!matchesEntry("", "x"));
}

void TestPasswords::entryAgainstClearTextColumn() {
    // A row written by other means, or an older file, still holds clear text.
    QVERIFY(matchesEntry("BoSS", "boss"));
    QVERIFY(!matchesEntry("BoSS", "BoSS"));
    QVERIFY(!matchesEntry("boss", "boss "));
}

void TestPasswords::oldPasswordIsComparedInLowerCase() {
    const QString stored = *storedFormOf(PasswordColumn::User, "clerk");
    QVERIFY(matchesOld(stored, "CLERK"));
    QVERIFY(!matchesOld(stored, "clerk "));  // not trimmed
    QVERIFY(matchesOld("1234", "1234"));
    QVERIFY(matchesOld("Clerk", "cLERK"));
    QVERIFY(!matchesOld("1234", "123"));
}

void TestPasswords::storeCreatesRowWhenMissing() {
    test::TempProgramFolder pf;
    QString error;
    auto db = Database::open(pf.folder().databasePath(), &error);
    PasswordStore store(*db);
    QVERIFY(!store.load());
    QVERIFY(store.save(PasswordColumn::Setup, "0042"));
    auto row = store.load();
    QVERIFY(row);
    QCOMPARE(row->setup, QString("0042"));
    QVERIFY(row->admin.isEmpty());
    QVERIFY(store.save(PasswordColumn::Download, "7"));
    row = store.load();
    QCOMPARE(row->setup, QString("0042"));
    QCOMPARE(row->download, QString("7"));
}

QTEST_GUILESS_MAIN(TestPasswords)
#include "tst_passwords.moc"
