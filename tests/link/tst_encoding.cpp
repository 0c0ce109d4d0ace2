// Field conversions of the hand-held link.

#include "link/Encoding.h"
#include "link/FrameBytes.h"

#include <QtTest>

using namespace kovrin::link;
using kovrin::test::hex;

class TestEncoding : public QObject {
    Q_OBJECT

private slots:
    void checkbin1PacksTwoDigits() {
        QCOMPARE(checkbin1("07"), std::optional<quint8>(0x07));
        QCOMPARE(checkbin1("25"), std::optional<quint8>(0x25));
        QCOMPARE(checkbin1("99"), std::optional<quint8>(0x99));
        QCOMPARE(checkbin1("00"), std::optional<quint8>(0x00));
        QCOMPARE(checkbin1("7"), std::optional<quint8>(0x07));
        QCOMPARE(checkbin1(" 9 "), std::optional<quint8>(0x09));
    }

    void checkbin1RefusesWhatIsNotOneOrTwoDigits() {
        QVERIFY(!checkbin1(""));
        QVERIFY(!checkbin1("100"));
        QVERIFY(!checkbin1("1a"));
        QVERIFY(!checkbin1("-1"));
    }

    void checkbin2SplitsHighAndLow() {
        QCOMPARE(checkbin2(300).hi, 0x01);
        QCOMPARE(checkbin2(300).lo, 0x2C);
        QCOMPARE(checkbin2(5).hi, 0x00);
        QCOMPARE(checkbin2(5).lo, 0x05);
        QCOMPARE(checkbin2(256).hi, 0x01);
        QCOMPARE(checkbin2(256).lo, 0x00);
        QCOMPARE(checkbin2(65535).hi, 0xFF);
        QCOMPARE(checkbin2(65535).lo, 0xFF);
    }

    void hexDecimalCombines() {
        QCOMPARE(HEX_DECIMAL(0x00, 0x07), 7);
        QCOMPARE(HEX_DECIMAL(0x01, 0x00), 256);
        QCOMPARE(HEX_DECIMAL(0x00, 0x2A), 42);
        QCOMPARE(HEX_DECIMAL(0x7F, 0xFF), 32767);
        QCOMPARE(HEX_DECIMAL(0xFF, 0xFF), 65535);
    }

    void binCheckReadsNibblesAsDigits() {
        QCOMPARE(BinCheck(0x99), 99);
        QCOMPARE(BinCheck(0x25), 25);
        QCOMPARE(BinCheck(0x07), 7);
        QCOMPARE(BinCheck(0x20), 20);
        QCOMPARE(BinCheck(0xAB), 111);
        QCOMPARE(BinCheck(0x00), 0);
        QVERIFY(isValidBcd(0x99));
        QVERIFY(!isValidBcd(0x9A));
        QVERIFY(!isValidBcd(0xA9));
    }

    void string2byteEndsWithZero() {
        const ByteBuf buf = String2byte(QByteArray("\x01\x00", 2), 2);
        QCOMPARE(buf[0], 0x01);
        QCOMPARE(buf[1], 0x00);
        QCOMPARE(buf[2], 0x00);

        const ByteBuf ab = String2byte("ABCDEF", 2);
        QCOMPARE(ab[0], 'A');
        QCOMPARE(ab[1], 'B');
        QCOMPARE(ab[2], 0);  // not 'C'

        const ByteBuf ten = String2byte("0123456789XYZ", 10);
        QCOMPARE(ten[9], '9');
        QCOMPARE(ten[10], 0);
    }

    void string2byteOfAShortTextStopsAtItsEnd() {
        const ByteBuf buf = String2byte("A", 5);
        QCOMPARE(buf[0], 'A');
        for (size_t i = 1; i < buf.size(); ++i) {
            QCOMPARE(buf[i], 0);
        }
        const ByteBuf tooMany = String2byte("ABCDEFGHIJKL", 20);
        QCOMPARE(tooMany[9], 'J');
        QCOMPARE(tooMany[10], 0);
    }

    void packBcdOfBalanceAgreedAmountAndDate() {
        QCOMPARE(packBcd("0001234567"), std::optional<QByteArray>(hex("00 01 23 45 67")));
        QCOMPARE(packBcd("000500"), std::optional<QByteArray>(hex("00 05 00")));
        QCOMPARE(packBcd("250309"), std::optional<QByteArray>(hex("25 03 09")));
        QCOMPARE(packBcd(""), std::optional<QByteArray>(QByteArray()));
        QVERIFY(!packBcd("123"));
        QVERIFY(!packBcd("12a4"));
    }

    void unpackBcdRefusesInvalidBytes() {
        QCOMPARE(unpackBcd(hex("00 01 23 45")), std::optional<QString>("00012345"));
        QCOMPARE(unpackBcd(hex("99 99 99 99")), std::optional<QString>("99999999"));
        QVERIFY(!unpackBcd(hex("00 0A")));
        QVERIFY(!unpackBcd(hex("F0")));
    }

    void wholeUnitsRoundsHalvesUp() {
        QCOMPARE(wholeUnits("1234567"), std::optional<qint64>(1234567));
        QCOMPARE(wholeUnits(" 500 "), std::optional<qint64>(500));
        QCOMPARE(wholeUnits("12345.5"), std::optional<qint64>(12346));
        QCOMPARE(wholeUnits("12345.49"), std::optional<qint64>(12345));
        QCOMPARE(wholeUnits("0.5"), std::optional<qint64>(1));
        QCOMPARE(wholeUnits(".5"), std::optional<qint64>(1));
        QCOMPARE(wholeUnits("5."), std::optional<qint64>(5));
        QCOMPARE(wholeUnits(""), std::optional<qint64>(0));
        QCOMPARE(wholeUnits("        "), std::optional<qint64>(0));
    }

    void wholeUnitsRefusesWhatIsNotAnAmount() {
        QVERIFY(!wholeUnits("-5"));
        QVERIFY(!wholeUnits("1,000"));
        QVERIFY(!wholeUnits("."));
        QVERIFY(!wholeUnits("12 34"));
        QVERIFY(!wholeUnits("1.2.3"));
        QVERIFY(!wholeUnits("abc"));
        QVERIFY(!wholeUnits("1234567890123456"));
    }

    void zeroFilledPatterns() {
        QCOMPARE(zeroFilled(1234567, 10), std::optional<QString>("0001234567"));
        QCOMPARE(zeroFilled(0, 4), std::optional<QString>("0000"));
        QCOMPARE(zeroFilled(9999, 4), std::optional<QString>("9999"));
        QVERIFY(!zeroFilled(10000, 4));
        QVERIFY(!zeroFilled(-1, 4));
    }

    void digitFieldsForPasswordsAndKey() {
        QCOMPARE(digitField("", 4), std::optional<QString>("0000"));
        QCOMPARE(digitField("12", 4), std::optional<QString>("0012"));
        QCOMPARE(digitField("1234", 4), std::optional<QString>("1234"));
        QCOMPARE(digitField(" 0012 ", 4), std::optional<QString>("0012"));
        QVERIFY(!digitField("00012", 4));
        QCOMPARE(digitField("0122512", 7), std::optional<QString>("0122512"));
        QCOMPARE(digitField("12512", 7), std::optional<QString>("0012512"));
        QVERIFY(!digitField("12345", 4));
        QVERIFY(!digitField("12a", 4));
    }

    void dateDigitsOfEmptyAndShortDates() {
        QCOMPARE(dateDigits(""), std::optional<QString>("000000"));
        QCOMPARE(dateDigits("      "), std::optional<QString>("000000"));
        QCOMPARE(dateDigits("250309"), std::optional<QString>("250309"));
        QCOMPARE(dateDigits("50309"), std::optional<QString>("050309"));
        QVERIFY(!dateDigits("2503091"));
        QVERIFY(!dateDigits("25/03/09"));
        // Day or month padded with a blank: each two-character part on its own.
        QCOMPARE(dateDigits(" 1 309"), std::optional<QString>("010309"));
        QCOMPARE(dateDigits("25 309"), std::optional<QString>("250309"));
        QCOMPARE(dateDigits(" 112 9"), std::optional<QString>("011209"));
        QVERIFY(!dateDigits("1 0309"));  // a blank after the digit is not a padding
        QVERIFY(!dateDigits(" 1 3 9x"));
    }

    void fixedTextCutsAndPads() {
        QCOMPARE(fixedText("abc", 5), QByteArray("abc  "));
        QCOMPARE(fixedText("abcdefg", 5), QByteArray("abcde"));
        QCOMPARE(fixedText("", 3), QByteArray("   "));
        QCOMPARE(fixedText(QString::fromUtf8("Caf\u00e9"), 4), QByteArray("Caf\xe9"));
        QCOMPARE(textOf(QByteArray("Caf\xe9")), QString::fromUtf8("Caf\u00e9"));
    }
};

QTEST_GUILESS_MAIN(TestEncoding)
#include "tst_encoding.moc"
