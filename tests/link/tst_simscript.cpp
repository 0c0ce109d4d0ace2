// The upload script of the simulator and its command line.

#include "hht-sim/SimOptions.h"
#include "hht-sim/UploadScript.h"
#include "link/Frame.h"
#include "link/UploadFrames.h"

#include <QFile>
#include <QtTest>

using namespace kovrin;
using namespace kovrin::sim;

namespace {

UploadScript parsed(const QString& text) {
    const ScriptResult r = parseUploadScript(text);
    if (!r.ok) {
        qWarning() << r.error;
    }
    return r.script;
}

QString errorOf(const QString& text) {
    return parseUploadScript(text).error;
}

}  // namespace

class TestSimScript : public QObject {
    Q_OBJECT

private slots:
    void scriptWithCommentsBlankLinesAndQuotes() {
        const UploadScript s = parsed(
            "  # the day of agent 7\n"
            "\n"
            "agent 7   # trailing comment\n"
            "date 0503\r\n"
            "account S DD001 \"  12 345\"\n"
            "txn 500 05/03/2026 10:15 1\n"
            "txn 20.00 05/03/2026 10:20 2\n"
            "ACCOUNT R RD 99 no-transactions\n"
            "fault late-at 3:1300\n"
            "fault twice-at \"4\"  # quoted like any word\n"
            "FAULT stray-at 5\n"
            "fault seed 7\n");
        QCOMPARE(s.agentNumber, QString("007"));
        QCOMPARE(s.agentId, QString("007            "));
        QCOMPARE(s.ddmm, QString("0503"));
        QCOMPARE(s.agentDateKey(), QString("0070503"));
        QCOMPARE(s.accounts.size(), 2);
        QCOMPARE(s.accounts[0].account, QString("  12 345       "));
        QCOMPARE(s.accounts[0].scheme, QString("DD001"));
        QCOMPARE(s.accounts[0].transactions.size(), 2);
        QCOMPARE(s.accounts[0].transactions[1].amount, 20);
        QCOMPARE(s.accounts[0].transactions[1].time, QTime(10, 20));
        QCOMPARE(s.accounts[1].scheme, QString("RD   "));
        QVERIFY(s.accounts[1].noTransactions);
        QCOMPARE(s.accounts[1].line, 8);
        QCOMPARE(s.faults.size(), 4);
        QCOMPARE(s.faults[0].line, 9);
        QCOMPARE(s.faults[0].name, QString("late-at"));
        QCOMPARE(s.faults[0].value, QString("3:1300"));
        // Added to the command line's faults; a single value is the script's.
        Faults f;
        f.nackAt = {2};
        f.lateAt = {{1, 50}};
        f.seed = 3;
        applyScriptFaults(s, f);
        QCOMPARE(f.nackAt, (QSet<int>{2}));
        QCOMPARE(f.lateAt, (QMap<int, int>{{1, 50}, {3, 1300}}));
        QCOMPARE(f.twiceAt, (QSet<int>{4}));
        QCOMPARE(f.strayAt, (QMap<int, int>{{5, 3}}));
        QCOMPARE(f.seed, 7u);
    }

    void collectedOnGivesTheDateAndTheDefaultDay() {
        const UploadScript s = parsed(
            "agent 12\nagent-id \"AG 12\"\ncollected-on 25/12/2026\n"
            "account S DD001 A1\ntxn 5 09:00 1\ntxn 6 24/12/2026 09:00 2\n");
        QCOMPARE(s.ddmm, QString("2512"));
        QCOMPARE(s.agentId, QString("AG 12          "));
        QCOMPARE(s.accounts[0].transactions[0].date, QDate(2026, 12, 25));
        QCOMPARE(s.accounts[0].transactions[1].date, QDate(2026, 12, 24));
    }

    void badLinesAreReportedWithTheirNumber() {
        const QString head = "agent 1\ndate 0101\naccount S DD001 A1\n";
        QCOMPARE(errorOf(head + "txn 12.50 01/01/2026 10:00 1\n"),
                 QString("line 4: amount \"12.50\" is not whole units of up to 6 digits"));
        QCOMPARE(errorOf(head + "txn 1234567 01/01/2026 10:00 1\n").left(7), QString("line 4:"));
        QCOMPARE(errorOf(head + "txn 1 31/02/2026 10:00 1\n").left(7), QString("line 4:"));
        QCOMPARE(errorOf(head + "txn 1 01/01/1999 10:00 1\n").left(7), QString("line 4:"));
        QCOMPARE(errorOf(head + "txn 1 01/01/2026 24:00 1\n").left(7), QString("line 4:"));
        QCOMPARE(errorOf(head + "txn 1 01/01/2026 10:00 65536\n").left(7), QString("line 4:"));
        QCOMPARE(errorOf(head + "txn 1 10:00 1\n"),
                 QString("line 4: txn without a date and no \"collected-on\" line before"));
        QCOMPARE(errorOf(head + "\nbogus 1\n"), QString("line 5: unknown line \"bogus\""));
        QCOMPARE(errorOf("agent 1\ndate 0101\ntxn 1 01/01/2026 10:00 1\n"),
                 QString("line 3: txn before any account"));
        QCOMPARE(errorOf("agent 1\ndate 0101\naccount S D A no-transactions\n"
                         "txn 1 01/01/2026 10:00 1\n"),
                 QString("line 4: account of line 3 is marked no-transactions"));
        QCOMPARE(errorOf("agent 1\ndate 0101\naccount SS D A\n").left(7), QString("line 3:"));
        QCOMPARE(errorOf("agent 1\ndate 0101\naccount S DD0011 A\n").left(7), QString("line 3:"));
        QCOMPARE(errorOf("agent 1\ndate 0101\naccount S D 1234567890123456\n").left(7),
                 QString("line 3:"));
        QCOMPARE(errorOf("agent 1\ndate 0101\naccount S D A maybe\n").left(7), QString("line 3:"));
        QCOMPARE(errorOf("agent 1000\n").left(7), QString("line 1:"));
        QCOMPARE(errorOf("agent 1\ndate 3202\n").left(7), QString("line 2:"));
        QCOMPARE(errorOf("agent 1\nagent-id \"unclosed\n"),
                 QString("line 2: a double quote is not closed"));
        QCOMPARE(errorOf("agent 1\nagent-id 1234567890123456\n").left(7), QString("line 2:"));
        QCOMPARE(errorOf("agent 1\ntotal-amount 100000000\n").left(7), QString("line 2:"));
        QCOMPARE(errorOf(head + "fault late-at 3\n"),
                 QString("line 4: late-at: \"3\" is not valid"));
        QCOMPARE(errorOf(head + "fault stray-at 3:0\n"),
                 QString("line 4: stray-at: \"3:0\" is not valid"));
        QCOMPARE(errorOf(head + "\n\nfault slow-at 3\n"), QString("line 6: unknown fault slow-at"));
        QCOMPARE(errorOf(head + "fault twice-at\n"),
                 QString("line 4: expected: fault <name> <value>"));
        QCOMPARE(errorOf(head + "fault nack-end 1 2\n").left(7), QString("line 4:"));
        QCOMPARE(errorOf("date 0101\n"), QString("no \"agent\" line"));
        QCOMPARE(errorOf("agent 1\n"), QString("no \"date\" line"));
    }

    void framesOfAScript() {
        QString text = "agent 12\ndate 2512\naccount S DD001 A1\n";
        for (int k = 1; k <= 9; ++k) {
            text += QString("txn %1 25/12/2026 10:%2 %3\n")
                        .arg(k * 100)
                        .arg(k, 2, 10, QChar('0'))
                        .arg(k);
        }
        text += "account S DD001 A2\naccount S DD001 A3 no-transactions\n";
        const UploadFrames f = buildUploadFrames(parsed(text));
        QVERIFY2(f.ok, qPrintable(f.error));
        QCOMPARE(f.frames.size(), 6);  // count, header, A1 (7 + 2), A2, A3

        const link::CountInfo c = link::DecodeFifthProtocol(f.frames[0]);
        QCOMPARE(c.TotalRecords, 4);
        QCOMPARE(c.agentId, QString("012            "));
        const link::HeaderInfo h = link::DecodeThirdProtocol(f.frames[1]);
        QCOMPARE(h.AgentDateKey, QString("0122512"));
        QCOMPARE(h.TotalTransactions, 9);
        QCOMPARE(h.amountText, QString("4500.00"));

        const link::TransactionFrame a = link::decodeTransactionFrame(f.frames[2], 2026);
        const link::TransactionFrame b = link::decodeTransactionFrame(f.frames[3], 2026);
        QCOMPARE(a.AccountNo, QString("A1             "));
        QCOMPARE(b.AccountNo, a.AccountNo);
        QCOMPARE(a.count, 7);
        QCOMPARE(b.count, 2);
        QCOMPARE(b.transactions[1].number, 9);
        QCOMPARE(b.transactions[1].Amtcollected, QString("0000900.00"));
        QCOMPARE(link::recordNumberOf(f.frames[3]), std::optional<int>(3));
        const link::TransactionFrame a2 = link::decodeTransactionFrame(f.frames[4], 2026);
        QCOMPARE(a2.count, 0);
        QVERIFY(!a2.noTransactions);
        const link::TransactionFrame a3 = link::decodeTransactionFrame(f.frames[5], 2026);
        QVERIFY(a3.noTransactions);
        QCOMPARE(link::recordNumberOf(f.frames[5]), std::optional<int>(5));
    }

    void totalsCanBeSetByHand() {
        const UploadFrames f = buildUploadFrames(
            parsed("agent 1\ndate 0101\nrecord-count 40000\ntotal-transactions 33000\n"
                   "total-amount 12345678\n"));
        QVERIFY(f.ok);
        QCOMPARE(f.frames.size(), 2);
        QVERIFY(!link::DecodeFifthProtocol(f.frames[0]).ok);  // 40000 is not a count
        const link::HeaderInfo h = link::DecodeThirdProtocol(f.frames[1]);
        QVERIFY(h.ok && !h.totalsRead);
        QCOMPARE(h.TotalTransactions, 33000);
        QCOMPARE(link::DecodeThirdProtocol(buildUploadFrames(parsed("agent 1\ndate 0101\n"
                                                                    "total-amount 12345678\n"))
                                               .frames[1])
                     .amountText,
                 QString("12345678.00"));
    }

    void readmeExampleIsAValidScript() {
        QFile readme(QStringLiteral(HHT_SIM_README));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        const qsizetype from = text.indexOf("Example:\n\n```\n");
        QVERIFY(from > 0);
        const qsizetype start = from + 14;
        const QString example = text.mid(start, text.indexOf("```", start) - start);
        const ScriptResult r = parseUploadScript(example);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.script.accounts.size(), 3);
        const UploadFrames f = buildUploadFrames(r.script);
        QVERIFY(f.ok);
        QCOMPARE(link::DecodeThirdProtocol(f.frames[1]).amountText, QString("1750.00"));
    }

    void loadingAMissingFileSaysWhich() {
        const ScriptResult r = loadUploadScript("/nonexistent/day.txt");
        QVERIFY(!r.ok);
        QVERIFY(r.error.startsWith("/nonexistent/day.txt: "));
    }

    void commandLineOptions() {
        const QStringList faults{"--late-at",     "5:1300", "--late-at=0:40",  "--twice-at", "6",
                                 "--stray-at",    "7",      "--stray-at=8:10", "--nack-end", "2",
                                 "--silent-end=1"};
        OptionsResult r = parseSimOptions(
            QStringList{"--mode", "upload", "--script=day.txt", "--nack-at", "3", "--nack-at=5",
                        "--silent-at", "2:3", "--split", "4", "--corrupt-rate", "0.25", "--seed",
                        "9", "--beyond", "nack", "--pace"} +
            faults);
        QVERIFY2(r.ok, qPrintable(r.error));
        const SimOptions& o = r.options;
        QCOMPARE(o.terminal.mode, Mode::Upload);
        QCOMPARE(o.scriptPath, QString("day.txt"));
        QCOMPARE(o.terminal.faults.nackAt, (QSet<int>{3, 5}));
        QCOMPARE(o.terminal.faults.silentAt.value(2), 3);
        QCOMPARE(o.terminal.faults.splitPieces, 4);
        QCOMPARE(o.terminal.faults.corruptRate, 0.25);
        QCOMPARE(o.terminal.faults.seed, 9u);
        QCOMPARE(o.terminal.beyond, Beyond::Nack);
        QVERIFY(o.terminal.paced);
        QCOMPARE(o.terminal.faults.lateAt, (QMap<int, int>{{5, 1300}, {0, 40}}));
        QCOMPARE(o.terminal.faults.twiceAt, (QSet<int>{6}));
        QCOMPARE(o.terminal.faults.strayAt, (QMap<int, int>{{7, 3}, {8, 10}}));
        QCOMPARE(o.terminal.faults.nackEnd, 2);
        QCOMPARE(o.terminal.faults.silentEnd, 1);

        r = parseSimOptions({"--mode", "download"});
        QVERIFY(r.ok);
        QCOMPARE(r.options.outFolder, QString("hht-download"));
        QVERIFY(parseSimOptions({"--help"}).options.help);
        QVERIFY(parseSimOptions({"-h"}).options.help);
        QVERIFY(usageText().startsWith("Usage: hht-sim"));
    }

    void badCommandLines() {
        QVERIFY(!parseSimOptions({}).ok);
        QVERIFY(!parseSimOptions({"--mode", "upload"}).ok);  // no script
        QVERIFY(!parseSimOptions({"--mode", "sideways"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--nack-at", "x"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--nack-at", "70000"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--silent-at", "2:0"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--silent-at", "2:3:4"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--corrupt-rate", "1.5"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--late-at", "5"}).ok);  // no delay
        QVERIFY(!parseSimOptions({"--mode", "download", "--late-at", "5:0"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--late-at", "70000:10"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--late-at", "5:1:2"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--twice-at", "-1"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--stray-at", "5:0"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--stray-at", "5:"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--nack-end", "-1"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--silent-end", "x"}).ok);
        QCOMPARE(parseSimOptions({"--mode", "download", "--late-at", "5:ms"}).error,
                 QString("--late-at: \"5:ms\" is not valid"));
        QVERIFY(!parseSimOptions({"--mode", "download", "--split", "0"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--frobnicate", "1"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--out"}).ok);
        QVERIFY(!parseSimOptions({"--mode", "download", "--pace=1"}).ok);
        QVERIFY(!parseSimOptions({"download"}).ok);
        QCOMPARE(parseSimOptions({"--mode", "download", "--beyond", "maybe"}).error,
                 QString("--beyond: \"maybe\" is not valid"));
    }
};

QTEST_GUILESS_MAIN(TestSimScript)
#include "tst_simscript.moc"
