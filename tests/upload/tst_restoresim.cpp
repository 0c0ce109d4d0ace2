// The simulator's example day stored and written: the terminal simulator builds the frames
// from its upload script, the accounts come from its example download file, and the store
// reads them as it reads a real terminal's.
#include "UploadFixture.h"
#include "core/Clock.h"
#include "download/DownloadFile.h"
#include "hht-sim/UploadScript.h"
#include "upload/RestoreData.h"

#include <QtTest>

using namespace kovrin;

static const kovrin::FixedClock kEvening(QDateTime(QDate(2026, 12, 7), QTime(19, 0)));
using namespace kovrin::test;

class TestRestoreSim : public QObject {
    Q_OBJECT
private slots:
    void exampleDay();
};

void TestRestoreSim::exampleDay() {
    const QString examples = QStringLiteral(KOVRIN_SIM_EXAMPLES);
    const DownloadFileContents download = readDownloadFile(examples + "/0050712d.txt");
    QCOMPARE(download.status, DownloadFileContents::Status::Ok);
    const sim::ScriptResult script = sim::loadUploadScript(examples + "/day-0050712.txt");
    QVERIFY2(script.ok, qPrintable(script.error));
    const sim::UploadFrames frames = sim::buildUploadFrames(script.script);
    QVERIFY2(frames.ok, qPrintable(frames.error));

    StoreFixture f;
    f.download(bankDataRows(download, "bank/0050712d.txt"), download.agentId);
    UploadData d;
    d.RecordFrames = frames.frames;
    d.TotalRecords = link::DecodeFifthProtocol(frames.frames[0]).TotalRecords;
    d.agentId = link::DecodeFifthProtocol(frames.frames[0]).agentId;
    d.header = link::DecodeThirdProtocol(frames.frames[1]);
    QVERIFY(d.header.ok);
    RestoreData restore(*f.db, f.settings, f.pf.folder());
    restore.setClock(kEvening);
    const RestoreOutcome out = restore.run(d, f.messages());

    // Account 99999 was not in the download: its 250 is held back from the bank's file. All
    // that the terminal declared was stored: the upload is complete, the 250 listed apart.
    QCOMPARE(out.rowCount, 5);
    QCOMPARE(out.leftOutCollections, 1);
    QCOMPARE(f.recorder.messages.size(), 2);
    QCOMPARE(f.recorder.messages[0].text, QString("Upload Completed Successfully"));
    QVERIFY2(f.recorder.messages[1].text.contains(
                 "S DD001 000000000099999   0000250.00   07/12/2026 11:30   No. 0003"),
             qPrintable(f.recorder.messages[1].text));

    const auto line = [](const QByteArray& account, const QByteArray& customer,
                         const QByteArray& name, const QByteArray& balance,
                         const QByteArray& agreed, const QByteArray& amount,
                         const QByteArray& dateTime, const QByteArray& numbers,
                         const QByteArray& bankSoft) {
        return "BR001          SDD001" + account + customer + name +
               QByteArray(50 - name.size(), ' ') + balance + agreed + "06/12/2026005            " +
               amount + dateTime + numbers + " " + bankSoft + "\r\n";
    };
    QCOMPARE(readAll(out.uploadFile),
             line("000000000012345", "C00001", "MEENA KUMARI", "0000015000.00", "00500.00",
                  "0000500.00", "07/12/2026 09:15", "00010001", "BS0000000000001") +
                 line("000000000067890", "C00002", "ARUN PRAKASH", "0000002300.00", "00100.00",
                      "0000100.00", "07/12/2026 10:05", "00020002", "BS0000000000002") +
                 line("000000000012345", "C00001", "MEENA KUMARI", "0000015000.00", "00500.00",
                      "0000500.00", "07/12/2026 16:40", "00040003", "BS0000000000001"));
    const QByteArray check = readAll(out.checkFile);
    QCOMPARE(out.checkFile, f.backupPath("0050712uCheck.txt"));
    QCOMPARE(out.uploadFile, f.bankPath("0050712u.txt"));
    QCOMPARE(check.count("\r\n"), 5);
    QVERIFY(check.contains(line("000000000055555", "C00003", "LAKSHMI DEVI", "0000000880.00",
                                "00050.00", QByteArray(10, ' '), QByteArray(16, ' '), "    0001",
                                "BS0000000000003")));
}

QTEST_GUILESS_MAIN(TestRestoreSim)
#include "tst_restoresim.moc"
