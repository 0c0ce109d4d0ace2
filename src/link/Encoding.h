#pragma once

// Field encodings of the hand-held link: packed BCD, 16-bit big-endian splits, zero-filled
// digit patterns and fixed-width text. Every function returns its result; nothing is kept
// in shared variables between calls.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <optional>

namespace kovrin::link {

// The two bytes of a 16-bit big-endian field.
struct ByteSplit {
    quint8 hi = 0;
    quint8 lo = 0;
};

// The terminal's scratch buffer for two-byte conversions: 11 bytes, indexes 0-10.
using ByteBuf = std::array<quint8, 11>;

// One packed-BCD byte from the text of a number 0-99 ("25" gives 0x25, "07" and "7" give
// 0x07); blanks around the digits are ignored. Empty when the text is not one or two digits.
std::optional<quint8> checkbin1(const QString& text);

// Splits a 16-bit number into its high byte (value div 256) and low byte (value mod 256).
ByteSplit checkbin2(quint16 value);

// Combines a high and a low byte into high * 256 + low (0-65535). The caller decides what a
// value of 32768 or more means: the counts held by the upload stay below it.
int HEX_DECIMAL(quint8 hi, quint8 lo);

// The decimal value of a packed-BCD byte: high nibble * 10 + low nibble (0x25 gives 25, 0x20
// gives 20). Nibbles above 9 are not rejected here (0xAB gives 111): test with isValidBcd.
int BinCheck(quint8 byte);

// True when both nibbles of the byte are decimal digits.
bool isValidBcd(quint8 byte);

// Copies the first n bytes of the text (n from 1 to 10) to indexes 0..n-1 and puts 0 at
// index n; every other index stays 0. A text shorter than n gives what it has.
ByteBuf String2byte(QByteArrayView text, int n);

// Packs a text of an even number of decimal digits into BCD bytes, the first digit pair
// first ("0001234567" gives 00 01 23 45 67). Empty when a character is not a digit or the
// number of digits is odd.
std::optional<QByteArray> packBcd(const QString& digits);

// The digits of packed-BCD bytes, two per byte, the first byte first. Empty when a byte is
// not valid BCD: such a byte would read as a three-digit "pair" and shift the number.
std::optional<QString> unpackBcd(QByteArrayView bytes);

// The value of an amount text in whole currency units, as the terminal shows amounts:
// blanks around the number are ignored, a fraction is rounded to the nearest unit (halves
// upward), an empty text is 0. Empty result for a negative number or anything that is not
// digits with at most one decimal point, or for more than 15 whole digits.
std::optional<qint64> wholeUnits(const QString& text);

// The value written with leading zeros to exactly `digits` digits (the "0000" patterns).
// Empty when the value is negative or needs more digits.
std::optional<QString> zeroFilled(qint64 value, int digits);

// A text of digits only (blanks around it ignored, empty reads as 0) written to exactly
// `digits` digits with leading zeros: passwords "0000", the download key "0000000". Empty
// when the text holds anything but digits or has more than `digits` of them.
std::optional<QString> digitField(const QString& text, int digits);

// A date kept as ddmmyy text, as the six digits sent to the terminal: an empty or blank
// text becomes "000000", a shorter number gets leading zeros, and a part of two characters
// padded with a leading blank is that digit (" 1 309" is "010309"). Empty for anything else.
std::optional<QString> dateDigits(const QString& text);

// A text field of the frame: one byte per character (characters outside Latin-1 become
// "?"), cut to `width` bytes, padded on the right with spaces to `width`.
QByteArray fixedText(const QString& text, int width);

// Bytes of a frame read back as text, one character per byte.
QString textOf(QByteArrayView bytes);

}  // namespace kovrin::link
