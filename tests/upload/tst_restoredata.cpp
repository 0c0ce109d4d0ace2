// RestoreData end to end: backup, store and the two listing files written into a temporary
// program folder and bank folder, the messages the operator sees, failures, and writing the
// files again from the stored rows.
#include "UploadFixture.h"
#include "core/Clock.h"
#include "core/SafeFile.h"
#include "db/LedgerStore.h"
#include "reports/ReportData.h"
#include "upload/BankFiles.h"
#include "upload/RestoreData.h"

#include <QElapsedTimer>
#include <QSqlRecord>
#include <QtTest>
#include <ctime>

using namespace kovrin;

static const kovrin::FixedClock kClock(QDateTime(QDate(2026, 12, 7), QTime(18, 30)));
using namespace kovrin::test;

namespace {

QByteArray blanks(int n) {
    return QByteArray(n, ' ');
}

QString nameOf(int a) {
    return QStringLiteral("DEPOSITOR %1").arg(a);
}

// A day of 40 collections: accounts 0-4 with seven each and account 5 with five, numbered
// j = 1..40 in frame order, j * 125 collected, 05/12 for the first twenty and 06/12 after;
// then an account marked as without collections and a frame with none.
struct FortyDay {
    QList<QByteArray> frames;
    QVector<BankDataRow> accounts;
    qint64 total = 0;

    FortyDay() {
        int j = 0;
        for (int a = 0; a < 6; ++a) {
            QList<QByteArray> txSlots;
            for (int t = 0; t < (a < 5 ? 7 : 5); ++t) {
                ++j;
                total += j * 125;
                txSlots << slotBytes(
                    QByteArray::number(j * 125).rightJustified(6, '0').data(),
                    QString::asprintf("%02d CA %02d %02d", day(j), 8 + t, j).toLatin1().data(), j);
            }
            frames << transactionFrame(a + 2, accountNo(a), static_cast<quint8>(txSlots.size()),
                                       txSlots);
            accounts << bankAccount(a, nameOf(a));
        }
        frames << transactionFrame(8, accountNo(6), 0x20) << transactionFrame(9, accountNo(7), 0);
        accounts << bankAccount(6, nameOf(6)) << bankAccount(7, nameOf(7));
    }
    static int day(int j) { return j <= 20 ? 5 : 6; }
    static int account(int j) { return (j - 1) / 7; }
    static int slot(int j) { return (j - 1) % 7; }
    static QByteArray amount(int j) {
        return QByteArray::number(j * 125).rightJustified(7, '0') + ".00";
    }
    static QByteArray dateTime(int j) {
        return QString::asprintf("%02d/12/2026 %02d:%02d", day(j), 8 + slot(j), j).toLatin1();
    }
    // The line of collection j in the bank upload file and the check file.
    static QByteArray line(int j) {
        const int a = account(j);
        const QByteArray datewise = QByteArray::number(j <= 20 ? j : j - 20).rightJustified(4, '0');
        return "BR001          SDDS01" + accountNo(a) + "C0000" + QByteArray::number(a) +
               nameOf(a).toLatin1() + blanks(50 - nameOf(a).size()) +
               "0000012345.0000100.0015/03/2009005            " + amount(j) + dateTime(j) +
               QByteArray::number(j).rightJustified(4, '0') + datewise + " BS000000000000" +
               QByteArray::number(a) + "\r\n";
    }
};

QByteArray fortyUploadFile() {
    QByteArray b;
    for (int j = 1; j <= 40; ++j) {
        b += FortyDay::line(j);
    }
    return b;
}

QByteArray fortyCheckFile() {
    // Val of "DEPOSITOR ..." is 0 for every row: stored order; the amount-less row last.
    return fortyUploadFile() + "BR001          SDDS01" + accountNo(6) + "C00006" +
           nameOf(6).toLatin1() + blanks(50 - nameOf(6).size()) +
           "0000012345.0000100.0015/03/2009005            " + blanks(10 + 16 + 4) + "0001 " +
           "BS0000000000006\r\n";
}

struct Store : StoreFixture {
    RestoreData restore{*db, settings, pf.folder()};
    Store() { restore.setClock(kClock); }
    RestoreOutcome run(const UploadData& d) { return restore.run(d, messages()); }
};

}  // namespace

class TestRestoreData : public QObject {
    Q_OBJECT
private slots:
    void fortyTransactionDay();
    void totalsThatDiffer();
    void bankInfoPathWithItsSeparator();
    void missingBankFolder_data();
    void missingBankFolder();
    void unwritableUploadFile();
    void unwritableCheckFile();
    void backupFolderCannotBeMade();
    void linkInPlaceOfAFile_data();
    void linkInPlaceOfAFile();
    void storeThatIsNotSafe_data();
    void storeThatIsNotSafe();
    void writeFilesAgainGivesTheSameBytes();
    void writeFilesAgainAfterTheBankFolderIsChosen();
    void writeFilesAgainWithoutAStoredUpload();
    void secondUploadReplacesTheFirst_data();
    void secondUploadReplacesTheFirst();
    void countOfZeroChangesNothing();
    void headerWithoutTotals();
    void uploadWithoutCollections();
    void collectionsOfUnknownAccountsAreShown();
    void collectionsThatCannotBePosted_data();
    void collectionsThatCannotBePosted();
    void datesReadAgainstThePcsYear();
    void headerThatCannotNameAFile();
    void filesInTheEncodingOfTheDownload_data();
    void filesInTheEncodingOfTheDownload();
    void transferCallsTheStore();
    void fullUpload();
    void ledgerKeepsEveryUpload_data();
    void ledgerKeepsEveryUpload();
};

namespace {

// One collection of agent 005 from account 2 at `dateTime` (dd hh mm as the slot's BCD bytes).
UploadData oneCollection(const char* key, const char* amount, const char* dateTime,
                         int terminalCount, qint64 terminalTotal) {
    return upload({transactionFrame(2, accountNo(2), 0x01, {slotBytes(amount, dateTime, 1)})}, key,
                  terminalCount, terminalTotal);
}

// The register as "agent|day|terminal count|terminal total|stored count|stored total|
// difference|outcome|superseded".
QStringList registerLines(const RegisterData& d) {
    QStringList out;
    for (const RegisterGroup& g : d.groups) {
        for (const RegisterRow& r : g.rows) {
            out << QStringList{r.AgentID,
                               r.Day.toString(Qt::ISODate),
                               r.TerminalCount ? QString::number(*r.TerminalCount) : "-",
                               r.TerminalTotal ? amountText(*r.TerminalTotal) : "-",
                               QString::number(r.StoredCount),
                               amountText(r.StoredTotal),
                               r.difference() ? amountText(*r.difference()) : "-",
                               r.Outcome,
                               r.superseded ? "superseded" : ""}
                       .join('|');
        }
    }
    return out;
}

}  // namespace

// Every stored upload goes into the ledger with the terminal's totals beside the stored ones:
// the reports read every day's collections from it, and an upload of the same agent and day
// received again supersedes the earlier one, which the register still lists.
void TestRestoreData::ledgerKeepsEveryUpload_data() {
    QTest::addColumn<QList<UploadData>>("uploads");
    QTest::addColumn<QStringList>("report2");  // agent|amount|date over 1-7 December
    QTest::addColumn<int>("report1Rows");      // collections of Report1 over the same range
    QTest::addColumn<QStringList>("listed");   // the register, see registerLines
    // Grand totals: uploads|terminal|stored|difference|superseded, the stored total beside the
    // terminal's being that of the uploads with the terminal's totals; then the uploads
    // without them: uploads|collections|stored.
    QTest::addColumn<QString>("totals");
    // When each upload is received (7 December 2026, 18:30 when not given). The reports cover
    // the week up to the last one's day and the day after.
    QTest::addColumn<QList<QDateTime>>("received");

    const FortyDay forty;
    const UploadData day5 = oneCollection("0050512", "00 01 00", "05 CA 10 00", 1, 100);
    const UploadData day6 = oneCollection("0050612", "00 02 00", "06 CA 10 00", 1, 200);
    QTest::newRow("two days, both in the reports")
        << QList<UploadData>{day5, day6}
        << QStringList{"005|100.00|2026-12-05", "005|200.00|2026-12-06"} << 2
        << QStringList{"005|2026-12-05|1|100.00|1|100.00|0.00|Agrees|",
                       "005|2026-12-06|1|200.00|1|200.00|0.00|Agrees|"}
        << "2|300.00|300.00|0.00|0|0|0|0.00" << QList<QDateTime>{};
    QTest::newRow("the same day received again supersedes the first")
        << QList<UploadData>{upload(forty.frames, "0050712", 40, forty.total),
                             oneCollection("0050712", "00 00 75", "07 CA 10 00", 1, 75)}
        << QStringList{"005|75.00|2026-12-07"} << 1
        << QStringList{"005|2026-12-07|40|102500.00|40|102500.00|0.00|Agrees|superseded",
                       "005|2026-12-07|1|75.00|1|75.00|0.00|Agrees|"}
        << "1|75.00|75.00|0.00|1|0|0|0.00" << QList<QDateTime>{};
    QTest::newRow("three times: only the last counts")
        << QList<UploadData>{day5, oneCollection("0050512", "00 03 00", "05 CA 11 00", 1, 300),
                             oneCollection("0050512", "00 04 00", "05 CA 12 00", 1, 400)}
        << QStringList{"005|400.00|2026-12-05"} << 1
        << QStringList{"005|2026-12-05|1|100.00|1|100.00|0.00|Agrees|superseded",
                       "005|2026-12-05|1|300.00|1|300.00|0.00|Agrees|superseded",
                       "005|2026-12-05|1|400.00|1|400.00|0.00|Agrees|"}
        << "1|400.00|400.00|0.00|2|0|0|0.00" << QList<QDateTime>{};
    UploadData noTotals = oneCollection("0050612", "00 02 00", "06 CA 10 00", 1, 200);
    noTotals.header.totalsRead = false;
    QTest::newRow("totals that differ, and none")
        << QList<UploadData>{oneCollection("0050512", "00 01 00", "05 CA 10 00", 2, 150), noTotals}
        << QStringList{"005|100.00|2026-12-05", "005|200.00|2026-12-06"} << 2
        << QStringList{"005|2026-12-05|2|150.00|1|100.00|-50.00|Differs|",
                       "005|2026-12-06|-|-|1|200.00|-|No totals|"}
        << "2|150.00|100.00|-50.00|0|1|1|200.00" << QList<QDateTime>{};
    // A day typed for tomorrow on New Year's Eve, received that evening and again the next
    // morning: one day of the agent, received twice.
    const UploadData newYear = oneCollection("0050101", "00 01 00", "31 CA 19 00", 1, 100);
    QTest::newRow("a day typed for tomorrow, received again on the day")
        << QList<UploadData>{newYear, newYear} << QStringList{"005|100.00|2026-12-31"} << 1
        << QStringList{"005|2027-01-01|1|100.00|1|100.00|0.00|Agrees|superseded",
                       "005|2027-01-01|1|100.00|1|100.00|0.00|Agrees|"}
        << "1|100.00|100.00|0.00|1|0|0|0.00"
        << QList<QDateTime>{QDateTime(QDate(2026, 12, 31), QTime(20, 0)),
                            QDateTime(QDate(2027, 1, 1), QTime(9, 0))};
    // The terminal's clock past midnight before the PC's.
    QTest::newRow("a collection dated in the year after the PC's")
        << QList<UploadData>{oneCollection("0050101", "00 01 00", "01 1B 00 05", 1, 100)}
        << QStringList{"005|100.00|2027-01-01"} << 1
        << QStringList{"005|2027-01-01|1|100.00|1|100.00|0.00|Agrees|"}
        << "1|100.00|100.00|0.00|0|0|0|0.00"
        << QList<QDateTime>{QDateTime(QDate(2026, 12, 31), QTime(23, 55))};
}

void TestRestoreData::ledgerKeepsEveryUpload() {
    QFETCH(QList<UploadData>, uploads);
    QFETCH(QStringList, report2);
    QFETCH(int, report1Rows);
    QFETCH(QStringList, listed);
    QFETCH(QString, totals);
    QFETCH(QList<QDateTime>, received);
    Store s;
    s.download(FortyDay().accounts);
    FixedClock clock(kClock.now());
    s.restore.setClock(clock);
    for (int i = 0; i < uploads.size(); ++i) {
        clock.set(received.value(i, kClock.now()));
        QVERIFY(s.run(uploads[i]).stored);
    }
    // RestoreData holds the last upload only, as it always has.
    QCOMPARE(s.rowCount(), 1);

    const ReportSource source(s.db->filePath());
    const QDate last = clock.today();
    const ReportFilter week{last.addDays(-6), last.addDays(1), {}, {}};
    ReportStatus st;
    QStringList agentRows;
    for (const AgentCollectionRow& r : source.agentCollection(week, &st).rows) {
        agentRows << QStringList{r.AgentID, amountText(r.CollectedAmt),
                                 r.Date.toString(Qt::ISODate)}
                         .join('|');
    }
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(agentRows, report2);
    const DailyCollectionData daily = source.dailyCollection(week, &st);
    QCOMPARE(daily.rowCount(), report1Rows);
    Hundredths sum = 0;
    for (const QString& r : report2) {
        sum += *hundredthsOf(r.section('|', 1, 1));
    }
    QCOMPARE(daily.grandTotal, sum);

    const RegisterData reg = source.uploadRegister(week, &st);
    QVERIFY2(st, qPrintable(st.detail));
    QCOMPARE(registerLines(reg), listed);
    const RegisterTotals& t = reg.grandTotals;
    QCOMPARE(QStringList({QString::number(t.uploads), amountText(t.terminalTotal),
                          amountText(t.storedTotal), amountText(t.difference),
                          QString::number(t.superseded), QString::number(t.withoutTotals),
                          QString::number(t.withoutTotalsCount), amountText(t.withoutTotalsStored)})
                 .join('|'),
             totals);
    // The files written are kept with the latest upload.
    const QVector<LedgerUploadRow> ledger = LedgerStore(*s.db).uploads();
    QCOMPARE(ledger.size(), uploads.size());
    QCOMPARE(ledger.last().UploadFile, s.bankPath(uploads.last().header.AgentDateKey + "u.txt"));
    QCOMPARE(ledger.last().CheckFile,
             s.backupPath(uploads.last().header.AgentDateKey + "uCheck.txt"));
    QVERIFY(ledger.last().BackupFile.endsWith(backupFileName("005", last)));
}

void TestRestoreData::fortyTransactionDay() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    const RestoreOutcome out = s.run(upload(day.frames, "0050712", 40, day.total));

    QCOMPARE(s.recorder.texts(), QStringList({"Upload Completed Successfully"}));
    QCOMPARE(s.recorder.last().icon, MsgIcon::Information);
    QCOMPARE(s.recorder.last().screen, QString("frmReceive"));
    QVERIFY(out.stored);
    QVERIFY(out.totalsMatch);
    QCOMPARE(out.rowCount, 41);

    QSqlQuery q(s.db->handle());
    QVERIFY(
        q.exec("SELECT SNo, AgentID, BranchID, AccountNo, Amtcollected, DateTime, "
               "TransactionNumber, CategoryCode, SchemeCode, CustomerCode, AccountName, "
               "BalanceAmount, AgreedAmount, LastTxndate, DatewiseTxn, BankSoftACNumber "
               "FROM RestoreData ORDER BY rowid"));
    for (int j = 1; j <= 41; ++j) {
        QVERIFY(q.next());
        const int a = j <= 40 ? FortyDay::account(j) : 6;
        const QStringList expected = {"1",
                                      kAgent,
                                      "BR001          ",
                                      accountNo(a),
                                      j <= 40 ? FortyDay::amount(j) : "",
                                      j <= 40 ? FortyDay::dateTime(j) : "",
                                      j <= 40 ? QString::number(j).rightJustified(4, '0') : "",
                                      "S",
                                      "DDS01",
                                      "C0000" + QString::number(a),
                                      nameOf(a).leftJustified(50),
                                      "0000012345.00",
                                      "00100.00",
                                      "15/03/2009",
                                      "",
                                      "BS000000000000" + QString::number(a)};
        for (int c = 0; c < expected.size(); ++c) {
            QVERIFY2(
                q.value(c).toString() == expected[c],
                qPrintable(QString("row %1, %2: %3 instead of %4")
                               .arg(j)
                               .arg(q.record().fieldName(c), q.value(c).toString(), expected[c])));
        }
    }
    QVERIFY(!q.next());

    QCOMPARE(out.uploadFile, s.bankPath("0050712u.txt"));
    QCOMPARE(readAll(out.uploadFile), fortyUploadFile());
    QCOMPARE(out.checkFile, s.backupPath("0050712uCheck.txt"));
    QCOMPARE(readAll(out.checkFile), fortyCheckFile());
    QCOMPARE(out.backupFile, s.backupPath("005_07_12_26.txt"));
    const QByteArray backup = readAll(out.backupFile);
    QCOMPARE(backup.count("\r\n"), 10);  // count, header and eight transaction frames
    QVERIFY(backup.startsWith("0 ) [1] 01  [2] FF  [3] 10  [4] F0  [5] 55  [6] 00  [7] 82  "));
    QVERIFY(backup.contains("\r\n9 ) [1] 01  "));
}

void TestRestoreData::totalsThatDiffer() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    RestoreOutcome out = s.run(upload(day.frames, "0050712", 40, day.total + 1));
    QCOMPARE(s.recorder.texts(), QStringList({"Serious Problem While Uploading "}));
    QCOMPARE(s.recorder.last().icon, MsgIcon::Critical);
    QVERIFY(!out.totalsMatch);
    QCOMPARE(readAll(s.bankPath("0050712u.txt")), fortyUploadFile());  // the file stays

    s.recorder.clear();
    out = s.run(upload(day.frames, "0050712", 41, day.total));
    QCOMPARE(s.recorder.texts(), QStringList({"Serious Problem While Uploading "}));
}

void TestRestoreData::bankInfoPathWithItsSeparator() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    s.settings.BankInfoPath = s.bankFolder + "/";
    const RestoreOutcome out = s.run(upload(day.frames, "0050712", 40, day.total));
    QCOMPARE(out.uploadFile, s.bankPath("0050712u.txt"));
    QCOMPARE(readAll(s.bankPath("0050712u.txt")), fortyUploadFile());
    QCOMPARE(QDir(s.bankFolder).entryList(QDir::Files), QStringList({"0050712u.txt"}));
}

void TestRestoreData::missingBankFolder_data() {
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing") << "no such folder";
    QTest::newRow("empty") << "";
    QTest::newRow("a file") << "file.txt";
}

void TestRestoreData::missingBankFolder() {
    QFETCH(QString, folder);
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    QFile(s.pf.filePath("file.txt")).open(QIODevice::WriteOnly);
    s.settings.BankInfoPath = folder.isEmpty() ? folder : s.pf.filePath(folder);
    const RestoreOutcome out = s.run(upload(day.frames, "0050712", 40, day.total));
    QCOMPARE(
        s.recorder.texts(),
        QStringList({"Bank Upload Folder does not Exist,Select BankInfoPath and UpLoad Again"}));
    QCOMPARE(s.recorder.last().icon, MsgIcon::None);
    QCOMPARE(s.recorder.last().buttons, MsgButtons::Ok);
    QVERIFY(out.stored);
    QVERIFY(out.uploadFile.isEmpty());
    QVERIFY(QDir(s.bankFolder).entryList(QDir::Files).isEmpty());
    // The check file keeps its name: the operator finds it where it always is.
    QCOMPARE(out.checkFile, s.backupPath("0050712uCheck.txt"));
    QCOMPARE(readAll(s.backupPath("0050712uCheck.txt")), fortyCheckFile());
}

void TestRestoreData::unwritableUploadFile() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    QVERIFY(QDir(s.bankFolder).mkdir("0050712u.txt"));  // a folder where the file should go
    const RestoreOutcome out = s.run(upload(day.frames, "0050712", 40, day.total));
    QCOMPARE(s.recorder.messages.size(), 1);
    const QString text = s.recorder.last().text;
    QVERIFY2(text.startsWith("The bank upload file " +
                             QDir::toNativeSeparators(s.bankPath("0050712u.txt")) +
                             " could not be written: "),
             qPrintable(text));
    QVERIFY2(text.contains("write the files again"), qPrintable(text));
    QCOMPARE(s.recorder.last().icon, MsgIcon::Critical);
    QVERIFY(out.stored);
    QCOMPARE(s.rowCount(), 41);
    QCOMPARE(readAll(s.backupPath("0050712uCheck.txt")), fortyCheckFile());
}

void TestRestoreData::unwritableCheckFile() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    QVERIFY(QDir().mkpath(s.backupPath("0050712uCheck.txt")));
    const RestoreOutcome out = s.run(upload(day.frames, "0050712", 40, day.total));
    QCOMPARE(s.recorder.messages.size(), 2);
    QCOMPARE(s.recorder.messages[0].text, QString("Upload Completed Successfully"));
    QVERIFY2(s.recorder.last().text.startsWith(
                 "The check file " + QDir::toNativeSeparators(s.backupPath("0050712uCheck.txt")) +
                 " could not be written: "),
             qPrintable(s.recorder.last().text));
    QVERIFY(out.checkFile.isEmpty());
    QCOMPARE(readAll(out.uploadFile), fortyUploadFile());
}

void TestRestoreData::backupFolderCannotBeMade() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    QFile blocker(s.pf.filePath("BackupData"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const RestoreOutcome out = s.run(upload(day.frames, "0050712", 40, day.total));
    const QString folderMessage = "The folder " +
                                  QDir::toNativeSeparators(s.pf.filePath("BackupData")) +
                                  " could not be created: ";
    // Without the backup on disk the upload is not safe: nothing is stored, and the
    // terminal keeps its data.
    QCOMPARE(s.recorder.texts().size(), 1);
    QVERIFY2(s.recorder.messages[0].text.startsWith(folderMessage),
             qPrintable(s.recorder.messages[0].text));
    QVERIFY(s.recorder.messages[0].text.endsWith(
        ". The backup file was not written, so the upload is not safe yet."));
    QVERIFY(!out.stored && !out.safe);
    QCOMPARE(s.rowCount(), 0);
}

// Another account of the PC may put a link where one of the upload's files goes: nothing is
// written through it, the operator is told which link, and an upload whose backup cannot be
// written is not stored.
void TestRestoreData::linkInPlaceOfAFile_data() {
    QTest::addColumn<QString>("link");     // in the program folder, or "bank/..."
    QTest::addColumn<QString>("message");  // how the message about it starts
    QTest::addColumn<bool>("stored");
    QTest::newRow("backup") << "BackupData/005_07_12_26.txt"
                            << "The backup file " << false;
    QTest::newRow("mark of an unstored backup") << "BackupData/005_07_12_26.unstored"
                                                << "The backup file " << false;
    QTest::newRow("backup folder") << "BackupData"
                                   << "The folder " << false;
    QTest::newRow("check file") << "BackupData/0050712uCheck.txt"
                                << "The check file " << true;
    QTest::newRow("bank upload file") << "bank/0050712u.txt"
                                      << "The bank upload file " << true;
}

void TestRestoreData::linkInPlaceOfAFile() {
    QFETCH(QString, link);
    QFETCH(QString, message);
    QFETCH(bool, stored);
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim.txt");
    QFile f(victim);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("a colleague's file\n") > 0);
    f.close();
    const QString linkPath = s.pf.filePath(link);
    QDir().mkpath(QFileInfo(linkPath).path());
    QVERIFY(QFile::link(link == "BackupData" ? elsewhere.path() : victim, linkPath));

    const RestoreOutcome out = s.run(upload(day.frames, "0050712", 40, day.total));
    QCOMPARE(readAll(victim), QByteArray("a colleague's file\n"));
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"victim.txt"});
    const QStringList texts = s.recorder.texts();
    const auto it = std::find_if(texts.begin(), texts.end(),
                                 [&](const QString& t) { return t.startsWith(message); });
    QVERIFY2(it != texts.end(), qPrintable(texts.join('|')));
    QVERIFY2(it->contains(files::linkRefusal(linkPath)), qPrintable(*it));
    QCOMPARE(out.stored, stored);
    QCOMPARE(s.rowCount(), stored ? 41 : 0);
}

// The frames must be on disk and the rows committed before an upload is safe. A store that
// fails leaves the agent's earlier rows, keeps the backup and its mark, and is stored later
// from the backup exactly as a clean store.
void TestRestoreData::storeThatIsNotSafe_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");  // how the first message starts
    QTest::newRow("backup cannot be written") << "backup"
                                              << "The backup file ";
    QTest::newRow("database refuses the rows")
        << "database"
        << "The collections could not be stored in table RestoreData: disk full.";
    QTest::newRow("read-only database")
        << "read-only"
        << "The collections could not be stored in table RestoreData: ";
    // A newer upload of the agent stored the next day: the older one is not offered again.
    QTest::newRow("database refuses the rows, a newer upload stored the next day")
        << "database, newer"
        << "The collections could not be stored in table RestoreData: disk full.";
}

void TestRestoreData::storeThatIsNotSafe() {
    QFETCH(QString, fault);
    QFETCH(QString, message);
    Store clean;
    const FortyDay day;
    clean.download(day.accounts);
    clean.run(upload(day.frames, "0050712", 40, day.total));

    Store s;
    s.download(day.accounts);
    s.run(upload(day.frames.mid(0, 1), "0050612", 7, 3500));
    QVERIFY(QFile::remove(s.backupPath("005_07_12_26.txt")));
    QVERIFY(QFile::remove(s.bankPath("0050612u.txt")));
    s.recorder.clear();
    QSqlQuery q(s.db->handle());
    if (fault == "backup") {
        QVERIFY(QDir().mkpath(s.backupPath("005_07_12_26.txt")));  // a folder in the way
    } else if (fault.startsWith("database")) {
        QVERIFY(q.exec("CREATE TRIGGER fail BEFORE INSERT ON RestoreData WHEN NEW.AccountNo = '" +
                       accountNo(3) + "' BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    } else {
        QVERIFY(q.exec("PRAGMA query_only = ON"));
    }
    const UploadData d = upload(day.frames, "0050712", 40, day.total);
    RestoreOutcome out = s.run(d);
    QVERIFY(!out.safe && !out.stored);
    QCOMPARE(s.recorder.messages.size(), 1);
    QVERIFY2(s.recorder.last().text.startsWith(message), qPrintable(s.recorder.last().text));
    QCOMPARE(s.rowCount(), 7);  // the earlier upload's rows, untouched
    QVERIFY(!QFile::exists(s.bankPath("0050712u.txt")));
    QVERIFY(!QFile::exists(s.backupPath("0050712uCheck.txt")));
    const bool backupKept = fault != "backup";
    QCOMPARE(s.restore.unstoredBackups(),
             backupKept ? QStringList{s.backupPath("005_07_12_26.txt")} : QStringList{});

    // Put right, then stored again: from the frames kept (as Store Again on the screen that
    // received them), or from the backup (on a screen opened later).
    if (fault == "backup") {
        QVERIFY(QDir(s.backupPath("005_07_12_26.txt")).removeRecursively());
    } else if (fault.startsWith("database")) {
        QVERIFY(q.exec("DROP TRIGGER fail"));
    } else {
        QVERIFY(q.exec("PRAGMA query_only = OFF"));
    }
    s.recorder.clear();
    if (fault.endsWith("newer")) {
        const FixedClock nextDay(QDateTime(QDate(2026, 12, 8), QTime(18, 0)));
        s.restore.setClock(nextDay);
        QVERIFY(s.run(upload(day.frames.mid(0, 1), "0050812", 7, 3500)).safe);
        QVERIFY(s.restore.unstoredBackups().isEmpty());            // the older mark went with it
        QVERIFY(QFile::exists(s.backupPath("005_07_12_26.txt")));  // the backup itself stays
        return;
    }
    out = backupKept ? s.restore.storeFromBackup(s.backupPath("005_07_12_26.txt"), s.messages())
                     : s.run(d);
    QVERIFY(out.safe);
    QCOMPARE(s.recorder.texts(), QStringList{"Upload Completed Successfully"});
    QVERIFY(s.restore.unstoredBackups().isEmpty());  // the mark is gone
    QCOMPARE(RestoreDataStore(*s.db).checkFileRows(kAgent),
             RestoreDataStore(*clean.db).checkFileRows(kAgent));
    for (const QString& file : {s.bankPath("0050712u.txt"), s.backupPath("0050712uCheck.txt"),
                                s.backupPath("005_07_12_26.txt")}) {
        QCOMPARE(readAll(file), readAll(QString(file).replace(s.pf.path(), clean.pf.path())));
    }
}

void TestRestoreData::writeFilesAgainGivesTheSameBytes() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    const RestoreOutcome first = s.run(upload(day.frames, "0050712", 40, day.total));
    const QByteArray uploadBytes = readAll(first.uploadFile);
    const QByteArray checkBytes = readAll(first.checkFile);
    QVERIFY(QFile::remove(first.uploadFile));
    QVERIFY(QFile::remove(first.checkFile));
    s.download({});  // a new download the next morning does not change the stored rows
    s.recorder.clear();

    const RestoreOutcome again = s.restore.writeFilesAgain(kAgent, s.messages());
    QCOMPARE(s.recorder.texts(), QStringList({"Upload Completed Successfully"}));
    QCOMPARE(again.uploadFile, first.uploadFile);
    QCOMPARE(again.checkFile, first.checkFile);
    QCOMPARE(readAll(again.uploadFile), uploadBytes);
    QCOMPARE(readAll(again.checkFile), checkBytes);
    QCOMPARE(uploadBytes, fortyUploadFile());
}

void TestRestoreData::writeFilesAgainAfterTheBankFolderIsChosen() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    s.settings.BankInfoPath = s.pf.filePath("not yet chosen");
    s.run(upload(day.frames, "0050712", 40, day.total));
    QVERIFY(QFile::exists(s.backupPath("0050712uCheck.txt")));
    s.settings.BankInfoPath = s.bankFolder;
    s.recorder.clear();

    const RestoreOutcome again = s.restore.writeFilesAgain(s.restore.lastAgentId(), s.messages());
    QCOMPARE(s.recorder.texts(), QStringList({"Upload Completed Successfully"}));
    QCOMPARE(readAll(s.bankPath("0050712u.txt")), fortyUploadFile());
    QCOMPARE(readAll(s.backupPath("0050712uCheck.txt")), fortyCheckFile());
    QVERIFY(again.totalsMatch);
}

void TestRestoreData::writeFilesAgainWithoutAStoredUpload() {
    Store s;
    const RestoreOutcome out = s.restore.writeFilesAgain(kAgent, s.messages());
    QCOMPARE(s.recorder.texts(),
             QStringList({"No upload of agent 005 is stored, so there are no files to write."}));
    QVERIFY(out.uploadFile.isEmpty());
    QVERIFY(!QDir(s.pf.filePath("BackupData")).exists());
}

void TestRestoreData::secondUploadReplacesTheFirst_data() {
    QTest::addColumn<QString>("downloaded");  // the agent's id as its download file gave it
    QTest::newRow("as the terminal gives it") << kAgent;
    QTest::newRow("records of 136 characters") << QString("005          ");
    QTest::newRow("records of 137 characters") << QString("005           ");
    QTest::newRow("leading zeros") << QString("000000000000005");
}

// The agent's rows are those of its last upload, found by the agent's identifier as it
// compares, however the download file spelled it: the terminal's 15 characters find the
// accounts of a download whose records were short.
void TestRestoreData::secondUploadReplacesTheFirst() {
    QFETCH(QString, downloaded);
    Store s;
    const FortyDay day;
    QVector<BankDataRow> accounts = day.accounts;
    for (BankDataRow& a : accounts) {
        a.AgentID = downloaded;
    }
    s.download(accounts, downloaded);
    s.download({bankAccount(1, "OTHER AGENT", "006            ")}, "006            ");
    s.run(
        upload({transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 01 00", "05 CA 10 00", 1)})},
               "0060512", 1, 100, "006            "));
    s.recorder.clear();
    const RestoreOutcome first = s.run(upload(day.frames, "0050612", 40, day.total));
    QCOMPARE(s.recorder.texts(), QStringList{"Upload Completed Successfully"});
    QCOMPARE(first.leftOutCollections, 0);
    QCOMPARE(readAll(first.uploadFile).count("\r\n"), 40);
    QCOMPARE(RestoreDataStore(*s.db).agentRows(kAgent).size(), 41);
    s.run(
        upload({transactionFrame(2, accountNo(2), 0x01, {slotBytes("00 00 75", "07 CA 10 00", 1)})},
               "0050712", 1, 75));
    QCOMPARE(RestoreDataStore(*s.db).agentRows(kAgent).size(), 1);
    QCOMPARE(s.rowCount(), 2);
    QCOMPARE(s.rowCount("SNo = '1' AND Amtcollected = '0000075.00'"), 1);
    QCOMPARE(s.rowCount("AgentID = '006            '"), 1);  // another agent's rows stay
    QCOMPARE(RestoreDataStore(*s.db).uploadInfo(kAgent)->AgentDateKey, QString("0050712"));
    QCOMPARE(RestoreDataStore(*s.db).uploadInfo(kAgent)->TotalAmount, 75);
    QCOMPARE(readAll(s.backupPath("0050712uCheck.txt")).count("\r\n"), 1);
}

// A count frame announcing no records: the terminal holds nothing for the agent, so the
// agent's stored collections and the day's files stay as they were.
void TestRestoreData::countOfZeroChangesNothing() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    const RestoreOutcome first = s.run(upload(day.frames, "0050712", 40, day.total));
    const QByteArray bank = readAll(first.uploadFile);
    const QByteArray check = readAll(first.checkFile);
    s.recorder.clear();
    const RestoreOutcome out = s.run(upload({}, "0050712", 0, 0));
    QVERIFY(out.nothingToStore && !out.stored);
    QCOMPARE(s.recorder.texts(),
             QStringList{"The terminal holds no collections for agent 005 (day 0712): nothing "
                         "was stored and no file was written. The agent's earlier collections "
                         "and files are kept as they were."});
    QCOMPARE(s.rowCount(), 41);
    QCOMPARE(readAll(first.uploadFile), bank);
    QCOMPARE(readAll(first.checkFile), check);
    QCOMPARE(RestoreDataStore(*s.db).uploadInfo(kAgent)->TotalAmount, day.total);
}

// A header whose totals could not be read: the collections are stored and written, and the
// operator is told that they could not be compared.
void TestRestoreData::headerWithoutTotals() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    UploadData d = upload(day.frames, "0050712", 40, day.total);
    d.header.totalsRead = false;
    const RestoreOutcome out = s.run(d);
    QVERIFY(out.stored && !out.totalsMatch);
    QCOMPARE(s.recorder.texts(),
             QStringList{"The terminal's totals could not be read, so the collections stored "
                         "could not be compared with them. Check the check file against the "
                         "terminal's own report."});
    QCOMPARE(readAll(out.uploadFile), fortyUploadFile());
    QCOMPARE(RestoreDataStore(*s.db).uploadInfo(kAgent)->TotalTransactions, -1);
    s.recorder.clear();
    s.restore.writeFilesAgain(kAgent, s.messages());  // the same when written again
    QCOMPARE(s.recorder.texts().first(), QString("The terminal's totals could not be read, so "
                                                 "the collections stored could not be compared "
                                                 "with them. Check the check file against the "
                                                 "terminal's own report."));
}

void TestRestoreData::uploadWithoutCollections() {
    Store s;
    const FortyDay day;
    s.download(day.accounts);
    s.run(upload(day.frames, "0050612", 40, day.total));
    s.recorder.clear();
    const RestoreOutcome out = s.run(upload({transactionFrame(2, accountNo(1), 0x00)}, "0050712"));
    QCOMPARE(s.recorder.texts(), QStringList({"Upload Completed Successfully"}));
    QCOMPARE(s.rowCount(), 0);  // the earlier upload's rows are gone all the same
    QVERIFY(QFile::exists(out.uploadFile));
    QCOMPARE(readAll(out.uploadFile), QByteArray());
    QCOMPARE(readAll(out.checkFile), QByteArray());
}

void TestRestoreData::collectionsOfUnknownAccountsAreShown() {
    Store s;
    s.download({bankAccount(1, "KNOWN")});
    const UploadData d = upload(
        {transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 05 00", "07 CA 10 00", 1)}),
         transactionFrame(
             3, accountNo(42), 0x02,
             {slotBytes("00 02 50", "07 CA 10 05", 2), slotBytes("00 01 00", "07 CA 10 06", 3)}),
         transactionFrame(4, accountNo(43), 0x20)},
        "0050712", 3, 850);
    const RestoreOutcome out = s.run(d);
    QCOMPARE(out.leftOutCollections, 2);
    QCOMPARE(s.recorder.messages.size(), 2);
    // Everything the terminal declared was stored: no alarm, but the operator is told what
    // the bank's file leaves out.
    QCOMPARE(s.recorder.messages[0].text, QString("Upload Completed Successfully"));
    const QString text = s.recorder.messages[1].text;
    QCOMPARE(s.recorder.messages[1].icon, MsgIcon::Warning);
    QVERIFY2(text.startsWith("These collections are stored, but not in the bank upload file:\n"
                             "S DDS01 000000000100042   0000250.00   07/12/2026 10:05   No. 0002: "
                             "the account was not in the last download of agent 005\n"
                             "S DDS01 000000000100042   0000100.00   07/12/2026 10:06   No. 0003: "
                             "the account was not in the last download of agent 005\n"
                             "Total 350.00 in 2 collection(s)."),
             qPrintable(text));
    QVERIFY2(text.contains(QDir::toNativeSeparators(s.backupPath("0050712uCheck.txt"))),
             qPrintable(text));
    QVERIFY(!text.contains("100043"));  // no money in the amount-less row
    // Stored with the agent, in the check file, not in the bank upload file.
    QCOMPARE(s.rowCount(QString("AgentID = '%1' AND AccountNo = '%2'").arg(kAgent, accountNo(42))),
             2);
    QCOMPARE(readAll(s.bankPath("0050712u.txt")).count("\r\n"), 1);
    const QByteArray check = readAll(s.backupPath("0050712uCheck.txt"));
    QCOMPARE(check.count("\r\n"), 4);
    QVERIFY(check.contains(blanks(15) + "SDDS01" + accountNo(42) + blanks(6 + 50 + 13 + 8 + 10) +
                           kAgent.toLatin1() + "0000250.0007/12/2026 10:05"));

    // Shown again when the files are written again.
    s.recorder.clear();
    s.restore.writeFilesAgain(kAgent, s.messages());
    QCOMPARE(s.recorder.messages.size(), 2);
    QCOMPARE(s.recorder.messages[1].text, text);
}

void TestRestoreData::collectionsThatCannotBePosted_data() {
    QTest::addColumn<QByteArray>("amount");    // the second slot's three amount bytes
    QTest::addColumn<QByteArray>("dateTime");  // its day, month and year, hour, minute
    QTest::addColumn<int>("number");           // its transaction number
    QTest::addColumn<QString>("totals");       // the first message
    QTest::addColumn<QString>("listed");       // its line in the list of those left out
    QTest::newRow("amount not BCD")
        << QByteArray("00 1A 00") << QByteArray("07 CA 10 01") << 2
        << "Serious Problem While Uploading "
        << "(no amount)   07/12/2026 10:01   No. 0002: its amount could not be read\nTotal 0.00 in "
           "1 collection(s), 1 of them without an amount that could be read.";
    QTest::newRow("day 00") << QByteArray("00 02 00") << QByteArray("00 CA 10 01") << 2
                            << "Upload Completed Successfully"
                            << "0000200.00   00/12/2026 10:01   No. 0002: its date or time "
                               "\"00/12/2026 10:01\" is not a real one\n";
    QTest::newRow("month 13") << QByteArray("00 02 00") << QByteArray("07 DA 10 01") << 2
                              << "Upload Completed Successfully"
                              << "0000200.00   07/13/2026 10:01   No. 0002: its date or time "
                                 "\"07/13/2026 10:01\" is not a real one\n";
    QTest::newRow("month 0") << QByteArray("00 02 00") << QByteArray("07 0A 10 01") << 2
                             << "Upload Completed Successfully"
                             << "0000200.00   07/00/2026 10:01   No. 0002: its date or time "
                                "\"07/00/2026 10:01\" is not a real one\n";
    QTest::newRow("hour 24") << QByteArray("00 02 00") << QByteArray("07 CA 24 01") << 2
                             << "Upload Completed Successfully"
                             << "0000200.00   07/12/2026 24:01   No. 0002: its date or time "
                                "\"07/12/2026 24:01\" is not a real one\n";
    QTest::newRow("day byte not BCD") << QByteArray("00 02 00") << QByteArray("1A CA 10 01") << 2
                                      << "Upload Completed Successfully"
                                      << "0000200.00   1A/12/2026 10:01   No. 0002: its date or "
                                         "time \"1A/12/2026 10:01\" is not a real one\n";
    QTest::newRow("a transaction number given twice")
        << QByteArray("00 02 00") << QByteArray("07 CA 10 01") << 1
        << "Upload Completed Successfully"
        << "0000200.00   07/12/2026 10:01   No. 0001: a repeated transaction number: the bank "
           "upload file has the first collection of that number\nTotal 200.00 in 1 collection(s).";
}

// A collection whose amount or date cannot be real, or whose number the bank upload file has
// already, never reaches the bank upload file: it is stored as received, listed in the check
// file and the ledger and shown to the operator with the reason. The terminal's totals are
// compared with everything stored.
void TestRestoreData::collectionsThatCannotBePosted() {
    QFETCH(QByteArray, amount);
    QFETCH(QByteArray, dateTime);
    QFETCH(int, number);
    QFETCH(QString, totals);
    QFETCH(QString, listed);
    Store s;
    s.download({bankAccount(1, "A")});
    const UploadData d =
        upload({transactionFrame(2, accountNo(1), 0x02,
                                 {slotBytes("00 01 00", "07 CA 10 00", 1),
                                  slotBytes(amount.constData(), dateTime.constData(), number)})},
               "0050712", 2, 300);
    const RestoreOutcome out = s.run(d);
    QVERIFY(out.stored);
    QCOMPARE(s.rowCount(), 2);  // stored as received
    QCOMPARE(out.leftOutCollections, 1);
    QCOMPARE(s.recorder.texts().size(), 2);
    QCOMPARE(s.recorder.messages[0].text, totals);
    const QString text = s.recorder.messages[1].text;
    QVERIFY2(text.contains("\nS DDS01 000000000100001   " + listed), qPrintable(text));
    const QByteArray bank = readAll(s.bankPath("0050712u.txt"));
    QCOMPARE(bank.count("\r\n"), 1);
    QVERIFY(bank.contains("0000100.0007/12/2026 10:00"));
    QCOMPARE(readAll(s.backupPath("0050712uCheck.txt")).count("\r\n"), 2);
    QSqlQuery q("SELECT count(*) FROM LedgerCollection", s.db->handle());
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 2);  // both collections, readable or not
}

void TestRestoreData::datesReadAgainstThePcsYear() {
    Store s;
    s.download({bankAccount(1, "A")});
    const UploadData d =
        upload({transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 01 00", "07 CA 10 00", 1)})},
               "0050712", 1, 100);
    s.run(d);
    QCOMPARE(s.rowCount("DateTime = '07/12/2026 10:00'"), 1);
    const FixedClock in2010(QDateTime(QDate(2010, 12, 8), QTime(9, 0)));
    s.restore.setClock(in2010);
    s.run(d);
    QCOMPARE(s.rowCount("DateTime = '07/12/2010 10:00'"), 1);
    QVERIFY(QFile::exists(s.backupPath("005_08_12_10.txt")));
}

void TestRestoreData::headerThatCannotNameAFile() {
    Store s;
    s.download({bankAccount(1, "A")});
    const RestoreOutcome out = s.run(
        upload({transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 01 00", "07 CA 10 00", 1)})},
               "../0712", 1, 100));
    QVERIFY(out.stored);
    QCOMPARE(s.rowCount(), 1);
    QCOMPARE(s.recorder.messages.size(), 1);
    QVERIFY(s.recorder.last().text.contains("\"../0712\", which cannot name a file"));
    QVERIFY(QDir(s.bankFolder).entryList(QDir::Files).isEmpty());
    QVERIFY(QDir(s.pf.path()).entryList({"*.txt"}, QDir::Files).isEmpty());
    // The frames are on disk all the same, under a name of the date and time, before the
    // upload counts as safe.
    QVERIFY(out.safe);
    QCOMPARE(out.backupFile, s.backupPath("upload_07_12_26_183000.txt"));
    QVERIFY(s.recorder.last().text.endsWith("Its frames are in the backup file " +
                                            QDir::toNativeSeparators(out.backupFile) + "."));
    QVERIFY(QFile::exists(out.backupFile));
}

void TestRestoreData::filesInTheEncodingOfTheDownload_data() {
    QTest::addColumn<QString>("encoding");  // the agent's download file's
    QTest::addColumn<QString>("name");      // the account's name as stored from it
    QTest::addColumn<QByteArray>("start");  // the start of both files, up to the name's end
    QTest::addColumn<bool>("replaced");     // the operator is told of characters written "?"
    const QByteArray before = "BR001          SDDS01" + accountNo(1) + "C00001";
    const QString jose = QString::fromUtf8("JOSÉ");
    QTest::newRow("Latin-1") << "Latin-1" << jose << before + "JOS\xC9" + blanks(46) << false;
    QTest::newRow("UTF-8") << "UTF-8" << jose << before + "JOS\xC3\x89" + blanks(46) << false;
    QTest::newRow("UTF-8 after a byte-order mark")
        << "UTF-8 with a byte-order mark" << jose
        << "\xEF\xBB\xBF" + before + "JOS\xC3\x89" + blanks(46) << false;
    // A name kept by an earlier program, which the file's encoding cannot hold.
    QTest::newRow("Latin-1 cannot hold it")
        << "Latin-1" << QString::fromUtf8("ŁUKASZ") << before + "?UKASZ" + blanks(44) << true;
}

// The bank's files are in the encoding the agent's download file came in, kept by the import
// and by the upload for its files; what the encoding cannot hold is told.
void TestRestoreData::filesInTheEncodingOfTheDownload() {
    QFETCH(QString, encoding);
    QFETCH(QString, name);
    QFETCH(QByteArray, start);
    QFETCH(bool, replaced);
    Store s;
    QVERIFY(BankDataStore(*s.db).replaceDownload(kAgent, {bankAccount(1, name)},
                                                 "bank/0050712d.txt", encodingNamed(encoding)));
    const RestoreOutcome out = s.run(
        upload({transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 01 00", "07 CA 10 00", 1)})},
               "0050712", 1, 100));
    QVERIFY(out.stored);
    QCOMPARE(s.recorder.texts().size(), replaced ? 3 : 1);
    for (const QString& file : {out.uploadFile, out.checkFile}) {
        QVERIFY2(readAll(file).startsWith(start), readAll(file).constData());
        QCOMPARE(readAll(file).count("\r\n"), 1);
        QCOMPARE(s.recorder.texts().contains(
                     "The file " + QDir::toNativeSeparators(file) +
                     " is written in Latin-1, the encoding of the agent's download file, which "
                     "cannot hold some characters of its line(s) 1: each was written as \"?\". "
                     "The stored collections keep them as they are; tell the bank before it "
                     "posts the file."),
                 replaced);
    }
    QCOMPARE(s.rowCount("AccountName LIKE '" + name + "%'"), 1);
    // Written again in the upload's encoding, whatever the agent's next download came in.
    const QByteArray bank = readAll(out.uploadFile);
    QVERIFY(BankDataStore(*s.db).replaceDownload(kAgent, {bankAccount(1, name)},
                                                 "bank/0050812d.txt", TextEncoding::Utf8));
    s.restore.writeFilesAgain(kAgent, s.messages());
    QCOMPARE(readAll(out.uploadFile), bank);
}

void TestRestoreData::transferCallsTheStore() {
    Store s;
    s.download({bankAccount(1, "A")});
    const UploadTransfer::Restore restore = s.restore.restoreFunction();
    QVector<MessageRequest> shown;
    restore(
        upload({transactionFrame(2, accountNo(1), 0x01, {slotBytes("00 01 00", "07 CA 10 00", 1)})},
               "0050712", 1, 100),
        [&shown](const MessageRequest& r) {
            shown.push_back(r);
            return MsgAnswer::Ok;
        });
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QString("Upload Completed Successfully"));
    QCOMPARE(s.recorder.messages.size(), 0);  // only through the function given
    QCOMPARE(s.restore.lastAgentId(), kAgent);
}

void TestRestoreData::fullUpload() {
    Store s;
    QList<QByteArray> frames;
    QVector<BankDataRow> accounts;
    qint64 total = 0;
    for (int i = 0; i < 2000; ++i) {
        QList<QByteArray> txSlots;
        for (int t = 0; t < 7; ++t) {
            txSlots << slotBytes("00 01 00", "07 CA 10 00", i * 7 + t + 1);
            total += 100;
        }
        frames << transactionFrame(i + 2, accountNo(i), 0x07, txSlots);
        accounts << bankAccount(i, QString("%1 DEPOSITOR").arg(2000 - i));
    }
    s.download(accounts);
    const UploadData d = upload(frames, "0050712", 14000, total);
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpu = std::clock();
    const RestoreOutcome out = s.run(d);
    qInfo(
        "2000 frames, 14000 transactions stored and written in %lld ms (%ld ms of processor "
        "time)",
        timer.elapsed(), static_cast<long>((std::clock() - cpu) * 1000 / CLOCKS_PER_SEC));
    QCOMPARE(s.recorder.texts(), QStringList({"Upload Completed Successfully"}));
    QCOMPARE(s.rowCount(), 14000);
    const QByteArray uploadFile = readAll(out.uploadFile);
    QCOMPARE(uploadFile.count("\r\n"), 14000);
    // In number order; from 10000 on the transaction and date-wise numbers have five digits.
    QCOMPARE(uploadFile.size(), 9999 * 190 + 4001 * 192);
    const QList<QByteArray> lines = uploadFile.split('\n');
    QCOMPARE(lines[9998].mid(164, 9), QByteArray("99999999 "));
    QCOMPARE(lines[9999].mid(164, 11), QByteArray("1000010000 "));
    QCOMPARE(lines[13999].mid(164, 11), QByteArray("1400014000 "));
    const QByteArray check = readAll(out.checkFile);
    QCOMPARE(check.count("\r\n"), 14000);
    QVERIFY(check.startsWith("BR001          SDDS01" + accountNo(1999)));  // Val order
    QCOMPARE(readAll(out.backupFile).count("\r\n"), 2002);
}

QTEST_GUILESS_MAIN(TestRestoreData)
#include "tst_restoredata.moc"
