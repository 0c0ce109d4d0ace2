// Reading the bank's download file: fixed columns, repaired records, limits, file names.
#include "DownloadFixture.h"
#include "download/DownloadFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kovrin;

namespace {

// A complete 174-character record line built from its fields.
QByteArray recordLine(const QByteArray& account, const QByteArray& name = "RAMESH KUMAR",
                      const QByteArray& agent = "005            ") {
    QByteArray l(174, ' ');
    auto put = [&l](int col, const QByteArray& v) { l.replace(col - 1, v.size(), v); };
    put(1, "BR001          ");
    put(16, "S");
    put(17, "DDS01");
    put(22, account.leftJustified(15, ' '));
    put(37, "C00042");
    put(43, name.leftJustified(50, ' '));
    put(95, "00012345");
    put(106, "00500");
    put(114, "07/12/2026");
    put(124, agent);
    put(139, "25/03/2009");
    put(149, "06/12/2026");
    put(160, "BS0000000000077");
    return l;
}

}  // namespace

class TestDownloadFile : public QObject {
    Q_OBJECT
private slots:
    void fullLineIsParsedByColumns();
    void lineEndsAndTrailingBlankLines();
    void textEncodings_data();
    void textEncodings();
    void lastBranchAndAgentGoToEveryRow();
    void shortFieldsAreJoinedWithCommas();
    void longFieldWithoutBlankFillsToColumn136();
    void fieldOf46CharactersStartsAtColumn71();
    void fieldsWithBlanksArePlacedByTheirTail_data();
    void fieldsWithBlanksArePlacedByTheirTail();
    void fieldOfOtherShapeIsDropped();
    void quotedFieldLosesItsQuotes();
    void uncompletableRecordsAreFormatErrors_data();
    void uncompletableRecordsAreFormatErrors();
    void recordLimit();
    void fileNames();
    void findsFileWhoseNameDiffersInCase();
    void unreadableFileIsAReadError();
};

void TestDownloadFile::fullLineIsParsedByColumns() {
    const DownloadFileContents c = parseDownloadFile(recordLine("000000000000123") + "\r\n");
    QCOMPARE(c.status, DownloadFileContents::Status::Ok);
    QCOMPARE(c.records.size(), 1);
    const DownloadRecord& r = c.records[0];
    QCOMPARE(r.BranchID, QString("BR001          "));
    QCOMPARE(r.CategoryCode, QString("S"));
    QCOMPARE(r.SchemeCode, QString("DDS01"));
    QCOMPARE(r.ACNumber, QString("000000000000123"));
    QCOMPARE(r.CustomerCode, QString("C00042"));
    QCOMPARE(r.ACName, QString("RAMESH KUMAR").leftJustified(50, ' '));
    QCOMPARE(r.BalAmount, QString("00012345"));
    QCOMPARE(r.AgreedAmount, QString("00500"));
    QCOMPARE(r.MyDate, QString("071226"));
    QCOMPARE(r.AgentID, QString("005            "));
    QCOMPARE(r.OpeningDate, QString("250309"));
    QCOMPARE(r.Txndate, QString("061226"));
    QCOMPARE(r.BankSoftACNumber, QString("BS0000000000077"));
}

void TestDownloadFile::lineEndsAndTrailingBlankLines() {
    const QByteArray a = recordLine("1"), b = recordLine("2");
    for (const QByteArray& bytes : {a + "\r\n" + b + "\r\n", a + "\n" + b,
                                    a + "\r\n" + b + "\r\n\r\n", a + "\n" + b + "\n\n  \n"}) {
        const DownloadFileContents c = parseDownloadFile(bytes);
        QCOMPARE(c.status, DownloadFileContents::Status::Ok);
        QCOMPARE(c.records.size(), 2);
        QCOMPARE(c.records[1].ACNumber.trimmed(), QString("2"));
    }
    QCOMPARE(parseDownloadFile("").records.size(), 0);
    QCOMPARE(parseDownloadFile("").status, DownloadFileContents::Status::Ok);
}

void TestDownloadFile::textEncodings_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");  // ACName as stored, trimmed
    QTest::addColumn<QString>("branch");
    QTest::addColumn<int>("replacedFields");
    QTest::addColumn<QString>("encoding");  // the file's, in which its uploads' files are written
    const QByteArray bom = "\xEF\xBB\xBF";
    const QByteArray plain = recordLine("1");
    auto utf8 = [&plain](const QString& name) { return test::utf8Line(plain, 43, 50, name); };
    const QString jose = QString::fromUtf8("JOSÉ ÑOÑO");
    const QString branch = "BR001          ";
    QTest::newRow("Latin-1 bytes")
        << recordLine("1", "JOS\xc9 \xd1O\xd1O") << jose << branch << 0 << QString("Latin-1");
    QTest::newRow("UTF-8") << utf8(jose) + "\r\n" << jose << branch << 0 << QString("UTF-8");
    QTest::newRow("UTF-8 after a byte-order mark")
        << bom + utf8(jose) << jose << branch << 0 << QString("UTF-8 with a byte-order mark");
    QTest::newRow("ASCII after a byte-order mark")
        << bom + plain << "RAMESH KUMAR" << branch << 0 << QString("UTF-8 with a byte-order mark");
    QTest::newRow("Cyrillic") << utf8(QString::fromUtf8("ИВАН ПЕТРОВ")) << "???? ??????" << branch
                              << 1 << QString("UTF-8");
    QTest::newRow("beyond 16 bits: one character, one ?")
        << utf8(QString::fromUtf8("RAVI \xF0\x9F\x98\x80 K")) << "RAVI ? K" << branch << 1
        << QString("UTF-8");
    QTest::newRow("combining accent")
        << utf8(QString::fromUtf8("JOSE\xCC\x81")) << "JOSE?" << branch << 1 << QString("UTF-8");
    QString both = QString::fromLatin1(plain);
    both.replace(0, 15, QString::fromUtf8("BRŽ01").leftJustified(15));
    both.replace(42, 50, QString::fromUtf8("ŁUKASZ").leftJustified(50));
    QTest::newRow("name and branch") << both.toUtf8() << "?UKASZ"
                                     << "BR?01          " << 2 << QString("UTF-8");
    QTest::newRow("plain ASCII") << plain << "RAMESH KUMAR" << branch << 0 << QString("Latin-1");
    // Not valid UTF-8 as a whole (a lone \xE9): every byte is one Latin-1 character.
    QTest::newRow("UTF-8 look-alike in a Latin-1 file")
        << recordLine("1", "JOS\xC3\xA9 \xE9") << QString::fromLatin1("JOS\xC3\xA9 \xE9") << branch
        << 0 << QString("Latin-1");
}

// Latin-1 files stay as they are; UTF-8 ones are read by characters, with or without a
// byte-order mark; what the terminal cannot show becomes "?", one per character.
void TestDownloadFile::textEncodings() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, branch);
    QFETCH(int, replacedFields);
    QFETCH(QString, encoding);
    const DownloadFileContents c = parseDownloadFile(bytes);
    QCOMPARE(c.status, DownloadFileContents::Status::Ok);
    QCOMPARE(encodingName(c.encoding), encoding);
    QCOMPARE(c.records.size(), 1);
    const DownloadRecord& r = c.records[0];
    QCOMPARE(r.ACName.trimmed(), name);
    QCOMPARE(r.ACName.size(), 50);
    QCOMPARE(r.BranchID, branch);
    QCOMPARE(r.replacedFields, replacedFields);
    // The columns after the name are where they belong: characters are counted, not bytes.
    QCOMPARE(r.BalAmount, QString("00012345"));
    QCOMPARE(r.AgentID, QString("005            "));
    QCOMPARE(r.BankSoftACNumber, QString("BS0000000000077"));
}

void TestDownloadFile::lastBranchAndAgentGoToEveryRow() {
    QByteArray second = recordLine("2", "B", "007            ");
    second.replace(0, 5, "BR999");
    const DownloadFileContents c = parseDownloadFile(recordLine("1") + "\r\n" + second);
    const QVector<BankDataRow> rows = bankDataRows(c, "srv/bank/0070325d.txt");
    QCOMPARE(rows.size(), 2);
    for (const BankDataRow& r : rows) {
        QCOMPARE(r.AgentID, QString("007            "));
        QCOMPARE(r.BranchID, QString("BR999          "));
        QCOMPARE(r.FileName, QString("srv/bank/0070325d.txt"));
    }
    QCOMPARE(rows[0].ACNumber.trimmed(), QString("1"));
    QCOMPARE(rows[0].MyDate, QString("071226"));
    QCOMPARE(rows[0].BankSoftACNumber, QString("BS0000000000077"));
}

void TestDownloadFile::shortFieldsAreJoinedWithCommas() {
    // 30 characters, then fields of the continuation joined with commas until 71 or more.
    const QByteArray head(30, 'A');
    const QByteArray bytes = head +
                             "\r\nBBBBBBBBBB,CCCCCCCCCC,DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD"
                             "DDDDDDDDDDDDDDDDDDDDDDDDDDDDD\r\n";
    // 30 + 11 + 11 = 52, then the 69-character field (no blank, 65 or more): a comma,
    // blanks up to 136 - 69 = 67 characters, and the field: a 136-character record.
    const DownloadFileContents c = parseDownloadFile(bytes);
    QCOMPARE(c.status, DownloadFileContents::Status::Ok);
    QCOMPARE(c.records.size(), 1);
    const DownloadRecord& r = c.records[0];
    QCOMPARE(r.BranchID, QString(15, 'A'));
    QCOMPARE(r.SchemeCode, QString("AAAAA"));
    QCOMPARE(r.ACNumber, QString("AAAAAAAAA,BBBBB"));
    QCOMPARE(r.CustomerCode, QString("BBBBB,"));
    QCOMPARE(r.ACName, QString("CCCCCCCCCC,") + QString(14, ' ') + QString(25, 'D'));
    QCOMPARE(r.AgreedAmount, QString(5, 'D'));
}

void TestDownloadFile::longFieldWithoutBlankFillsToColumn136() {
    const QByteArray head = recordLine("9").left(21);  // branch, category and scheme
    QByteArray field = recordLine("9").mid(36, 100);   // columns 37-136, blanks made visible
    field.replace(' ', '_');
    const DownloadFileContents c = parseDownloadFile(head + "\n" + field + "\n");
    QCOMPARE(c.status, DownloadFileContents::Status::Ok);
    // 21 + "," then blanks to 36, then the 100-character field in columns 37-136.
    QCOMPARE(c.records[0].CategoryCode, QString("S"));
    QCOMPARE(c.records[0].ACNumber, QString(",              "));
    QCOMPARE(c.records[0].CustomerCode, QString("C00042"));
    QCOMPARE(c.records[0].BalAmount, QString("00012345"));
}

void TestDownloadFile::fieldOf46CharactersStartsAtColumn71() {
    const QByteArray head = recordLine("1").left(40);
    const QByteArray f(46, 'Z');
    const DownloadFileContents c = parseDownloadFile(head + "\r\n" + f + "\r\n");
    QCOMPARE(c.status, DownloadFileContents::Status::Ok);  // 70 + 46 = 116 characters
    QCOMPARE(c.records[0].CustomerCode, QString("C000, "));
    QCOMPARE(c.records[0].ACName, QString(28, ' ') + QString(22, 'Z'));  // Z from column 71
    QCOMPARE(c.records[0].BalAmount, QString(8, 'Z'));                   // columns 95-102
    QCOMPARE(c.records[0].AgentID, QString(""));                         // beyond the record
}

void TestDownloadFile::fieldsWithBlanksArePlacedByTheirTail_data() {
    QTest::addColumn<int>("tail");
    QTest::addColumn<int>("length");
    QTest::newRow("56 after the last blank") << 56 << 126;
    QTest::newRow("46 after the last blank") << 46 << 116;
    QTest::newRow("66 after the last blank") << 66 << 136;
}

void TestDownloadFile::fieldsWithBlanksArePlacedByTheirTail() {
    QFETCH(int, tail);
    QFETCH(int, length);
    const QByteArray head(25, 'H');
    const QByteArray f = "NAME PART " + QByteArray(tail, 'T');
    const DownloadFileContents c = parseDownloadFile(head + "\n" + f + "\n");
    QCOMPARE(c.status, DownloadFileContents::Status::Ok);
    // The record ends exactly at `length`: its last column holds the field's last character.
    const QString line =
        QString(head) + "," + QString(length - f.size() - head.size() - 1, ' ') + QString(f);
    QCOMPARE(line.size(), length);
    QCOMPARE(c.records[0].ACName, parseDownloadRecord(line).ACName);
    QCOMPARE(c.records[0].BalAmount, parseDownloadRecord(line).BalAmount);
}

void TestDownloadFile::fieldOfOtherShapeIsDropped() {
    // "AB CD" has 2 characters after its blank: dropped; the next field completes the record.
    const QByteArray head(25, 'H');
    const QByteArray f2 = "X " + QByteArray(56, 'Y');
    const DownloadFileContents c = parseDownloadFile(head + "\nAB CD," + f2 + "\n");
    QCOMPARE(c.status, DownloadFileContents::Status::Ok);
    QVERIFY(!c.records[0].ACName.contains("AB CD"));
    QCOMPARE(c.records[0].AgreedAmount, QString(5, 'Y'));  // record of 126: 106-110 are Y
}

void TestDownloadFile::quotedFieldLosesItsQuotes() {
    const QByteArray head(30, 'Q');
    const QByteArray bytes = head + "\n\"" + QByteArray(46, 'N') + "\"\n";
    const DownloadFileContents c = parseDownloadFile(bytes);
    QCOMPARE(c.status, DownloadFileContents::Status::Ok);
    QCOMPARE(c.records[0].ACName.mid(28, 22), QString(22, 'N'));
}

void TestDownloadFile::uncompletableRecordsAreFormatErrors_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line");  // where the record that cannot be completed starts
    QTest::addColumn<QString>("text");
    const QByteArray x100(100, 'x');
    QTest::newRow("line of 100") << x100 + "\r\n" + QByteArray(36, 'y') + "\r\n"
                                 << 1 << QString(x100);
    QTest::newRow("line of 71") << QByteArray(71, 'x') + "\r\n" << 1 << QString(71, 'x');
    QTest::newRow("line of 132") << QByteArray(132, 'x') + "\r\n" << 1 << QString(132, 'x');
    QTest::newRow("line of 135") << QByteArray(135, 'x') + "\r\n" << 1 << QString(135, 'x');
    QTest::newRow("joined to 137") << QByteArray(40, 'x') + "\r\n" + QByteArray(96, 'y') + "\r\n"
                                   << 1 << QString(40, 'x');
    QTest::newRow("ends inside a record") << recordLine("1") + "\r\n" + QByteArray(50, 'x') + "\r\n"
                                          << 2 << QString(50, 'x');
    QTest::newRow("after a repaired record")
        << QByteArray(30, 'a') + "\n" + QByteArray(69, 'b') + "\n" + recordLine("2") + "\nBR\t7\n"
        << 4 << "BR\t7";
}

void TestDownloadFile::uncompletableRecordsAreFormatErrors() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    QFETCH(QString, text);
    const DownloadFileContents c = parseDownloadFile(bytes);
    QCOMPARE(c.status, DownloadFileContents::Status::FormatError);
    QVERIFY(c.records.isEmpty());
    QCOMPARE(c.errorLine, line);
    QCOMPARE(c.errorText, text);
}

void TestDownloadFile::recordLimit() {
    QByteArray file;
    for (int i = 0; i < 2000; ++i) {
        file += recordLine(QByteArray::number(i)) + "\r\n";
    }
    DownloadFileContents c = parseDownloadFile(file);
    QCOMPARE(c.status, DownloadFileContents::Status::Ok);
    QCOMPARE(c.records.size(), 2000);
    c = parseDownloadFile(file + recordLine("x") + "\r\n");
    QCOMPARE(c.status, DownloadFileContents::Status::TooManyRecords);
    QCOMPARE(c.recordCount, 2001);
    QVERIFY(c.records.isEmpty());
    for (int i = 0; i < 600; ++i) {
        file += recordLine("y") + "\r\n";
    }
    c = parseDownloadFile(file);
    QCOMPARE(c.status, DownloadFileContents::Status::TooManyRecords);
    QCOMPARE(c.recordCount, 2600);
}

void TestDownloadFile::fileNames() {
    QCOMPARE(downloadFilePath("C:\\Bank", "005", "0325"),
             QString("C:\\Bank") + QDir::separator() + "0050325d.txt");
    QCOMPARE(downloadFilePath("C:\\Bank\\", "005", "0325"), QString("C:\\Bank\\0050325d.txt"));
    QCOMPARE(downloadFilePath("/srv/bank/", "012", "0107"), QString("/srv/bank/0120107d.txt"));
    QCOMPARE(downloadFilePath("/srv/bank", "012", "0107"), QString("/srv/bank/0120107d.txt"));
    QCOMPARE(pathWithoutRoot("C:\\Bank\\0050325d.txt"), QString("Bank\\0050325d.txt"));
    QCOMPARE(pathWithoutRoot("/srv/bank/0050325d.txt"), QString("srv/bank/0050325d.txt"));
}

void TestDownloadFile::findsFileWhoseNameDiffersInCase() {
    QTemporaryDir dir;
    QFile f(dir.filePath("0050325D.TXT"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QCOMPARE(findDownloadFile(dir.filePath("0050325d.txt")), dir.filePath("0050325D.TXT"));
    QCOMPARE(findDownloadFile(dir.filePath("0060325d.txt")), QString());
    QCOMPARE(findDownloadFile(dir.filePath("missing/0050325d.txt")), QString());
}

void TestDownloadFile::unreadableFileIsAReadError() {
    QTemporaryDir dir;
    const DownloadFileContents c = readDownloadFile(dir.path());  // a folder, not a file
    QCOMPARE(c.status, DownloadFileContents::Status::ReadError);
    QVERIFY(!c.error.isEmpty());
}

QTEST_GUILESS_MAIN(TestDownloadFile)
#include "tst_downloadfile.moc"
