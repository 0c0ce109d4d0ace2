// The statements of the settings, BankData and RestoreData stores, with values that hold
// quotes, and the one-transaction replacement of an agent's rows.
#include "db/AgentKey.h"
#include "db/BankDataStore.h"
#include "db/LedgerStore.h"
#include "db/RestoreDataStore.h"
#include "db/SettingsStore.h"
#include "support/TempProgramFolder.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

using namespace kovrin;

namespace {

BankDataRow account(const QString& agent, const QString& file, const QString& acNumber,
                    const QString& name, const QString& opening = "010120") {
    BankDataRow r;
    r.AgentID = agent;
    r.BranchID = "BR'01          ";
    r.CategoryCode = "S";
    r.SchemeCode = "DDS01";
    r.ACNumber = acNumber;
    r.ACName = name;
    r.BalAmount = "00001234";
    r.AgreedAmount = "00100";
    r.OpeningDate = opening;
    r.Txndate = "020220";
    r.FileName = file;
    r.CustomerCode = "C00001";
    r.MyDate = "030320";
    r.BankSoftACNumber = "BS" + acNumber;
    return r;
}

RestoreDataRow collected(const QString& agent, const QString& account, const QString& amount,
                         const QString& txn, const QString& name) {
    RestoreDataRow r;
    r.AgentID = agent;
    r.AccountNo = account;
    r.Amtcollected = amount;
    r.DateTime = "07/12/2026 10:15";
    r.TransactionNumber = txn;
    r.AccountName = name;
    r.BalanceAmount = "0000001234.00";
    return r;
}

int count(Database& db, const QString& sql) {
    QSqlQuery q(db.handle());
    if (!q.exec(sql) || !q.next()) {
        return -1;
    }
    return q.value(0).toInt();
}

}  // namespace

class TestStores : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void settingsLoadWithoutRow();
    void settingsReadAllFieldsWithoutRegardToCase();
    void configurationFirstSaveCreatesRowWithUnpickedFont();
    void configurationSaveOverExistingRowMapsFontText();
    void configurationKeepsPortWhenNoneChosen();
    void folderSaveCreatesRowWithOnlyThatFolder();
    void settingsValuesWithQuotes();

    void bankDataReplaceRemovesEveryEarlierRowOfTheAgent();
    void bankDataQuotesInAgentAndFileName();
    void bankDataSendOrderIsNameThenOpeningDate();
    void bankDataReplaceIsAtomic();
    void bankDataFindAccountIsExact();
    void agentIdsCompareOneWay_data();
    void agentIdsCompareOneWay();

    void restoreDataReplaceAndUploadRows();
    void restoreDataCheckRowsInValOrder();
    void restoreDataReplaceIsAtomic();
    void storedTextKeepsMissingAndEmptyApart();
    void uploadRowsInNumberOrderPast9999();
    void manyRowsKeepTheirValuesAndOrder();
    void uploadInfoReplacedWithTheRows();
    void uploadInfoRollsBackWithTheRows();

private:
    test::TempProgramFolder* m_pf = nullptr;
    std::unique_ptr<Database> m_db;
};

void TestStores::init() {
    m_pf = new test::TempProgramFolder;
    QString error;
    m_db = Database::open(m_pf->folder().databasePath(), &error);
    QVERIFY2(m_db, qPrintable(error));
}

void TestStores::cleanup() {
    m_db.reset();
    delete m_pf;
    m_pf = nullptr;
}

void TestStores::settingsLoadWithoutRow() {
    DbStatus st;
    QVERIFY(!SettingsStore(*m_db).load(&st));
    QVERIFY(st.ok);
}

void TestStores::settingsReadAllFieldsWithoutRegardToCase() {
    QSqlQuery q(m_db->handle());
    QVERIFY(
        q.exec("INSERT INTO Path (SNo, BankName, BranchName, \"Comm Port\", FontSize, "
               "BankInfoPath, ReportPath) VALUES ('1', 'B', 'Br', '3', '1', '/bank', NULL)"));
    const auto s = SettingsStore(*m_db).load();
    QVERIFY(s);
    QCOMPARE(s->BankName, QString("B"));
    QCOMPARE(s->BranchName, QString("Br"));
    QCOMPARE(s->CommPort, QString("3"));
    QCOMPARE(s->FontSize, QString("1"));
    QCOMPARE(s->BankInfoPath, QString("/bank"));
    QCOMPARE(s->ReportPath, QString(""));  // a field without a value reads as empty text
}

void TestStores::configurationFirstSaveCreatesRowWithUnpickedFont() {
    AppSettings s;
    ConfigurationInput in{"  State Bank  ", QString("4"), " Main Road ", -1, "Small"};
    QVERIFY(SettingsStore(*m_db).saveConfiguration(in, s));
    QSqlQuery q(m_db->handle());
    QVERIFY(
        q.exec("SELECT SNo, BankName, \"Comm Port\", BranchName, FontSize, BankInfoPath, "
               "ReportPath FROM Path"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("1"));
    QCOMPARE(q.value(1).toString(), QString("State Bank"));
    QCOMPARE(q.value(2).toString(), QString("4"));
    QCOMPARE(q.value(3).toString(), QString("Main Road"));
    QCOMPARE(q.value(4).toString(), QString("-1"));
    QVERIFY(q.value(5).toString().isEmpty());
    QVERIFY(q.value(6).toString().isEmpty());
    QVERIFY(!q.next());
    QCOMPARE(s.BankName, QString("State Bank"));
    QCOMPARE(s.CommPort, QString("4"));
    QCOMPARE(s.BranchName, QString("Main Road"));
    QCOMPARE(s.FontSize, QString("-1"));
}

void TestStores::configurationSaveOverExistingRowMapsFontText() {
    AppSettings s;
    SettingsStore store(*m_db);
    QVERIFY(store.saveConfiguration({"A", QString("1"), "B", -1, "Small"}, s));
    QVERIFY(store.saveConfiguration({"A", QString("1"), "B", -1, "Small"}, s));
    QCOMPARE(s.FontSize, QString("0"));
    QVERIFY(store.saveConfiguration({"A", QString("1"), "B", 1, "Big"}, s));
    QCOMPARE(s.FontSize, QString("1"));
    QVERIFY(store.saveConfiguration({"A", QString("1"), "B", 5, "Huge"}, s));
    QCOMPARE(s.FontSize, QString("1"));  // other text keeps the stored value
    QCOMPARE(count(*m_db, "SELECT count(*) FROM Path"), 1);
}

void TestStores::configurationKeepsPortWhenNoneChosen() {
    QSqlQuery q(m_db->handle());
    QVERIFY(q.exec("INSERT INTO Path (SNo, \"Comm Port\") VALUES ('1', 'COM3')"));
    AppSettings s;
    QVERIFY(SettingsStore(*m_db).saveConfiguration({"A", std::nullopt, "B", -1, "Small"}, s));
    QCOMPARE(SettingsStore(*m_db).load()->CommPort, QString("COM3"));
    QCOMPARE(s.CommPort, QString("COM3"));
}

void TestStores::folderSaveCreatesRowWithOnlyThatFolder() {
    AppSettings s;
    QVERIFY(SettingsStore(*m_db).saveFolder(FolderKind::BankInformation, "/srv/bank", s));
    QSqlQuery q(m_db->handle());
    QVERIFY(q.exec("SELECT * FROM Path"));
    QVERIFY(q.next());
    const QSqlRecord r = q.record();
    for (int i = 0; i < r.count(); ++i) {
        const QString name = r.fieldName(i);
        const QString v = r.value(i).toString();
        if (name == "SNo") {
            QCOMPARE(v, QString("1"));
        } else if (name == "BankInfoPath") {
            QCOMPARE(v, QString("/srv/bank"));
        } else {
            QVERIFY2(v.isEmpty(), qPrintable(name));
        }
    }
    QCOMPARE(s.BankInfoPath, QString("/srv/bank"));
    QVERIFY(SettingsStore(*m_db).saveFolder(FolderKind::Report, "/srv/reports", s));
    const auto loaded = SettingsStore(*m_db).load();
    QCOMPARE(loaded->BankInfoPath, QString("/srv/bank"));
    QCOMPARE(loaded->ReportPath, QString("/srv/reports"));
}

void TestStores::settingsValuesWithQuotes() {
    AppSettings s;
    QVERIFY(SettingsStore(*m_db).saveConfiguration(
        {"O'Brien \"Savings\" Bank", QString("2"), "St. Mary's", 1, "Big"}, s));
    QVERIFY(SettingsStore(*m_db).saveFolder(FolderKind::BankInformation, "/data/it's'", s));
    const auto loaded = SettingsStore(*m_db).load();
    QCOMPARE(loaded->BankName, QString("O'Brien \"Savings\" Bank"));
    QCOMPARE(loaded->BranchName, QString("St. Mary's"));
    QCOMPARE(loaded->BankInfoPath, QString("/data/it's'"));
}

void TestStores::bankDataReplaceRemovesEveryEarlierRowOfTheAgent() {
    BankDataStore store(*m_db);
    QVERIFY(store.replaceAgentRows("005", {account("005", "bank/0050325d.txt", "1", "A"),
                                           account("005", "bank/0050325d.txt", "2", "B")}));
    QVERIFY(store.replaceAgentRows("007", {account("007", "bank/0070325d.txt", "9", "Z")}));
    QVERIFY(store.replaceAgentRows("005", {account("005", "bank/0050326d.txt", "3", "C")}));
    const auto rows = store.agentRows("005");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].ACNumber, QString("3"));
    QCOMPARE(rows[0], account("005", "bank/0050326d.txt", "3", "C"));
    QCOMPARE(store.agentRows("007").size(), 1);  // other agents untouched
    QCOMPARE(count(*m_db, "SELECT count(*) FROM BankData WHERE SNo='1'"), 2);
}

void TestStores::bankDataQuotesInAgentAndFileName() {
    BankDataStore store(*m_db);
    const QString agent = "0'5 ' OR '1'='1";
    const QString file = "ban'k/00'50325d.txt";
    QVERIFY(store.replaceAgentRows("other", {account("other", file, "1", "X")}));
    QVERIFY(store.replaceAgentRows(agent, {account(agent, file, "1", "A")}));
    QCOMPARE(store.rowsToSend(agent, file).size(), 1);
    QCOMPARE(store.rowsToSend(agent, file)[0].AgentID, agent);
    QVERIFY(store.findAccount("1", "DDS01", "S", agent));
    QVERIFY(store.replaceAgentRows(agent, {}));
    QCOMPARE(store.agentRows(agent).size(), 0);
    QCOMPARE(store.agentRows("other").size(), 1);
}

void TestStores::bankDataSendOrderIsNameThenOpeningDate() {
    BankDataStore store(*m_db);
    QVERIFY(store.replaceAgentRows(
        "005", {account("005", "f", "1", "ramesh", "020120"), account("005", "f", "2", "Anil"),
                account("005", "f", "3", "RAMESH", "010120"), account("005", "g", "4", "Aaron"),
                account("005", "f", "5", "babu")}));
    QStringList order;
    for (const auto& r : store.rowsToSend("005", "f")) {
        order << r.ACNumber;
    }
    QCOMPARE(order, QStringList({"2", "5", "3", "1"}));
}

void TestStores::bankDataReplaceIsAtomic() {
    BankDataStore store(*m_db);
    QVERIFY(store.replaceAgentRows("005", {account("005", "f", "1", "Old")}));
    QSqlQuery q(m_db->handle());
    QVERIFY(
        q.exec("CREATE TRIGGER fail BEFORE INSERT ON BankData WHEN NEW.ACName = 'Bad' "
               "BEGIN SELECT RAISE(ABORT, 'injected failure'); END"));
    const DbStatus st = store.replaceAgentRows(
        "005", {account("005", "f", "2", "New"), account("005", "f", "3", "Bad")});
    QVERIFY(!st.ok);
    QVERIFY2(st.error.contains("injected failure"), qPrintable(st.error));
    const auto rows = store.agentRows("005");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].ACName, QString("Old"));
}

void TestStores::bankDataFindAccountIsExact() {
    BankDataStore store(*m_db);
    QVERIFY(store.replaceAgentRows("005", {account("005", "f", "000000000000123", "A")}));
    QVERIFY(store.findAccount("000000000000123", "DDS01", "S", "005"));
    QVERIFY(!store.findAccount("000000000000123 ", "DDS01", "S", "005"));
    QVERIFY(!store.findAccount("000000000000123", "DDS02", "S", "005"));
    QVERIFY(!store.findAccount("000000000000123", "DDS01", "R", "005"));
    QVERIFY(!store.findAccount("000000000000123", "DDS01", "S", "006"));
}

void TestStores::agentIdsCompareOneWay_data() {
    QTest::addColumn<QString>("stored");  // as the download file or the terminal gave it
    QTest::addColumn<QString>("asked");   // as another file, the terminal or the operator gives it
    QTest::addColumn<bool>("same");
    struct Case {
        const char* name;
        const char* stored;
        const char* asked;
        bool same;
    };
    const Case cases[] = {
        {"typed and padded", "005            ", "005", true},
        {"a record of 136 characters and the terminal's 15", "005          ", "005    ", true},
        {"leading zeros", "000000000000005", "5", true},
        {"tab and CR", "\t7\r", "007", true},
        {"zeros only", "000", "0", true},
        {"another agent", "005", "006", false},
        {"zero and nothing", "000", "   ", false},
        {"text: exactly, without its blanks", " A05 ", "A05", true},
        {"text: letter case counts", "A05", "a05", false},
        {"text: its zeros count", "05A", "5A", false},
    };
    for (const Case& c : cases) {
        QTest::newRow(c.name) << QString(c.stored) << QString(c.asked) << c.same;
    }
}

// Every store finds, replaces and supersedes an agent's rows by the agent's identifier as it
// compares, the same way as agentKey, through the expression its indexes are made of.
void TestStores::agentIdsCompareOneWay() {
    QFETCH(QString, stored);
    QFETCH(QString, asked);
    QFETCH(bool, same);
    QCOMPARE(sameAgent(stored, asked), same);
    QSqlQuery q(m_db->handle());
    q.prepare("WITH v(AgentID) AS (SELECT ?) SELECT " + agentKeySql("AgentID") + " FROM v");
    q.addBindValue(stored);
    QVERIFY(q.exec() && q.next());
    QCOMPARE(q.value(0).toString(), agentKey(stored));
    q.prepare("EXPLAIN QUERY PLAN SELECT * FROM BankData WHERE " + agentIsSql());
    q.addBindValue(agentKey(asked));
    QVERIFY2(q.exec() && q.next(), qPrintable(q.lastError().text()));
    QVERIFY2(q.value(3).toString().contains("BankDataAgentKey"), qPrintable(q.value(3).toString()));

    BankDataStore bank(*m_db);
    QVERIFY(bank.replaceAgentRows(stored, {account(stored, "f", "1", "A")}));
    QCOMPARE(bank.agentRows(asked).size(), same ? 1 : 0);
    QCOMPARE(bank.rowsToSend(asked, "f").size(), same ? 1 : 0);
    QCOMPARE(bank.findAccount("1", "DDS01", "S", asked).has_value(), same);
    QVERIFY(bank.replaceAgentRows(asked, {}));
    QCOMPARE(bank.agentRows(stored).size(), same ? 0 : 1);

    RestoreDataStore restore(*m_db);
    const QDateTime evening(QDate(2026, 12, 7), QTime(18, 0));
    QVERIFY(restore.replaceUpload({stored, "0050712", 1, 100, evening},
                                  {collected(stored, "1", "0000100.00", "0001", "A")}));
    QVERIFY(restore.replaceUpload({asked, "0050712", 1, 50, evening.addSecs(60)},
                                  {collected(asked, "1", "0000050.00", "0001", "A")}));
    QCOMPARE(count(*m_db, "SELECT count(*) FROM RestoreData"), same ? 1 : 2);
    QCOMPARE(count(*m_db, "SELECT count(*) FROM UploadInfo"), same ? 1 : 2);
    // The same agent's day received again supersedes the first upload in the ledger.
    const QVector<LedgerUploadRow> ledger = LedgerStore(*m_db).uploads();
    QCOMPARE(ledger.size(), 2);
    QCOMPARE(ledger[0].SupersededBy.has_value(), same);
}

void TestStores::restoreDataReplaceAndUploadRows() {
    RestoreDataStore store(*m_db);
    QVERIFY(store.replaceAgentRows("0'1", {collected("0'1", "1", "0000100.00", "0002", "x")}));
    QVERIFY(store.replaceAgentRows("0'1", {collected("0'1", "2", "0000050.00", "0003", "b"),
                                           collected("0'1", "3", "", "", "c"),
                                           collected("0'1", "4", "0000020.00", "0001", "d"),
                                           collected("0'1", "5", "0000030.00", "0003", "e")}));
    QVERIFY(store.replaceAgentRows("002", {collected("002", "9", "0000010.00", "0001", "z")}));
    const auto rows = store.uploadFileRows("0'1");
    QStringList accounts;
    for (const auto& r : rows) {
        accounts << r.AccountNo;
    }
    QCOMPARE(accounts, QStringList({"4", "2", "5"}));  // no empty amounts, by number
    QCOMPARE(count(*m_db, "SELECT count(*) FROM RestoreData WHERE SNo='1'"), 5);
    QCOMPARE(store.checkFileRows("0'1").size(), 4);  // rows without an amount too
}

void TestStores::restoreDataCheckRowsInValOrder() {
    RestoreDataStore store(*m_db);
    QVERIFY(store.replaceAgentRows(
        "001", {collected("001", "a", "1", "1", "12 RAJU"), collected("001", "b", "1", "2", "3"),
                collected("001", "c", "1", "3", "SITA"), collected("001", "d", "1", "4", " 100"),
                collected("001", "e", "1", "5", "")}));
    QStringList order;
    for (const auto& r : store.checkFileRows("001")) {
        order << r.AccountNo;
    }
    // SITA and the empty name read as 0 and keep their stored order.
    QCOMPARE(order, QStringList({"c", "e", "b", "a", "d"}));
}

void TestStores::restoreDataReplaceIsAtomic() {
    RestoreDataStore store(*m_db);
    QVERIFY(store.replaceAgentRows("001", {collected("001", "old", "1", "1", "n")}));
    QSqlQuery q(m_db->handle());
    QVERIFY(
        q.exec("CREATE TRIGGER fail BEFORE INSERT ON RestoreData WHEN NEW.AccountNo = 'bad' "
               "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    QVERIFY(!store.replaceAgentRows(
        "001", {collected("001", "new", "1", "1", "n"), collected("001", "bad", "1", "2", "n")}));
    const auto rows = store.checkFileRows("001");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].AccountNo, QString("old"));
}

// An account field the file did not reach (a null text) is stored as NULL, an empty one as
// '', and text outside ASCII comes back as it went in.
void TestStores::storedTextKeepsMissingAndEmptyApart() {
    BankDataRow a = account("005", "f", "1", QString::fromUtf8("Ravi Kum\u0101r \u20ac"));
    a.CustomerCode = QString();
    a.MyDate = QString("");
    QVERIFY(BankDataStore(*m_db).replaceAgentRows("005", {a}));
    QSqlQuery q(m_db->handle());
    QVERIFY(
        q.exec("SELECT typeof(CustomerCode), typeof(MyDate), MyDate = '', typeof(SNo) "
               "FROM BankData"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("null"));
    QCOMPARE(q.value(1).toString(), QString("text"));
    QCOMPARE(q.value(2).toInt(), 1);
    QCOMPARE(q.value(3).toString(), QString("text"));
    QCOMPARE(BankDataStore(*m_db).agentRows("005").first().ACName, a.ACName);

    RestoreDataRow r = collected("005", "1", QString(), "0001", QString::fromUtf8("\u0101"));
    r.DateTime = QString("");
    QVERIFY(RestoreDataStore(*m_db).replaceAgentRows("005", {r}));
    // Collections keep empty text for a missing value: their statements compare with ''.
    QVERIFY(q.exec("SELECT typeof(Amtcollected), typeof(DateTime), AccountName FROM RestoreData"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("text"));
    QCOMPARE(q.value(1).toString(), QString("text"));
    QCOMPARE(q.value(2).toString(), QString::fromUtf8("\u0101"));
}

void TestStores::uploadRowsInNumberOrderPast9999() {
    RestoreDataStore store(*m_db);
    QVERIFY(store.replaceAgentRows(
        "001", {collected("001", "a", "1", "10000", "n"), collected("001", "b", "1", "1001", "n"),
                collected("001", "c", "1", "9999", "n"), collected("001", "d", "1", "1000", "n"),
                collected("001", "e", "1", "10000", "n")}));
    QStringList order;
    for (const auto& r : store.uploadFileRows("001")) {
        order << r.AccountNo;
    }
    QCOMPARE(order, QStringList({"d", "b", "c", "a", "e"}));
}

void TestStores::manyRowsKeepTheirValuesAndOrder() {
    RestoreDataStore store(*m_db);
    QVector<RestoreDataRow> rows;
    for (int i = 0; i < 157; ++i) {  // several statements' worth, and a shorter last one
        RestoreDataRow r = collected("001", QString::number(i), QString::number(i * 3),
                                     QString::number(i).rightJustified(4, '0'), "n");
        r.BankSoftACNumber = "BS" + QString::number(i);
        r.DatewiseTxn = QString();  // no value: stored as empty text
        rows << r;
    }
    QVERIFY(store.replaceAgentRows("001", rows));
    QCOMPARE(count(*m_db, "SELECT count(*) FROM RestoreData WHERE DatewiseTxn = '' AND SNo = '1'"),
             157);
    const QVector<RestoreDataRow> back = store.agentRows("001");
    QCOMPARE(back.size(), 157);
    for (int i = 0; i < 157; ++i) {
        QCOMPARE(back[i], rows[i]);
    }
}

void TestStores::uploadInfoReplacedWithTheRows() {
    RestoreDataStore store(*m_db);
    QCOMPARE(store.uploadInfo("001"), std::nullopt);
    UploadInfo first{"001", "0010612", 3, 1500, QDateTime(QDate(2026, 12, 6), QTime(18, 5))};
    QVERIFY(store.replaceUpload(first, {collected("001", "a", "0000500.00", "0001", "n")}));
    UploadInfo other{"002", "0020712", 1, 10, QDateTime(QDate(2026, 12, 7), QTime(17, 0))};
    QVERIFY(store.replaceUpload(other, {}));
    UploadInfo second{"001", "0010712", 42, 99999999,
                      QDateTime(QDate(2026, 12, 7), QTime(18, 30, 1, 250))};
    QVERIFY(store.replaceUpload(second, {collected("001", "b", "0000010.00", "0002", "n"),
                                         collected("001", "c", "", "", "n")}));
    QCOMPARE(store.uploadInfo("001"), std::optional<UploadInfo>(second));
    QCOMPARE(store.uploadInfo("002"), std::optional<UploadInfo>(other));
    QCOMPARE(count(*m_db, "SELECT count(*) FROM UploadInfo"), 2);
    QCOMPARE(store.checkFileRows("001").size(), 2);
    const QVector<UploadInfo> all = store.uploadInfos();
    QCOMPARE(all.size(), 2);
    QCOMPARE(all[0].AgentID, QString("001"));  // the latest first
    QCOMPARE(all[1].AgentID, QString("002"));
}

void TestStores::uploadInfoRollsBackWithTheRows() {
    RestoreDataStore store(*m_db);
    const UploadInfo first{"001", "0010612", 1, 100, QDateTime(QDate(2026, 12, 6), QTime(9, 0))};
    QVERIFY(store.replaceUpload(first, {collected("001", "old", "0000100.00", "0001", "n")}));
    QSqlQuery q(m_db->handle());
    QVERIFY(
        q.exec("CREATE TRIGGER fail BEFORE INSERT ON UploadInfo "
               "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    const DbStatus s =
        store.replaceUpload({"001", "0010712", 1, 5, QDateTime(QDate(2026, 12, 7), QTime(9, 0))},
                            {collected("001", "new", "0000005.00", "0001", "n")});
    QVERIFY(!s);
    QVERIFY2(s.error.contains("disk full"), qPrintable(s.error));
    QCOMPARE(store.uploadInfo("001"), std::optional<UploadInfo>(first));
    const auto rows = store.checkFileRows("001");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].AccountNo, QString("old"));
}

QTEST_GUILESS_MAIN(TestStores)
#include "tst_stores.moc"
