#pragma once

// Frames of the hand-held link. A frame is a byte string, one byte per character; the
// comments count positions from 1 as the terminal's documentation does.
//
//   1-4  sync 01 FF 10 F0
//   5    mode: "D" while downloading, "U" while uploading
//   6-7  number of bytes after position 7, big-endian (0x0082 long, 0x0007 short,
//        0x0003 request)
//   8-9  record number, big-endian
//   10-  payload, then one checksum byte
//
// The checksum is the low byte of the negated sum of the payload: payload plus checksum add
// up to a multiple of 256. The header is never summed.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace kovrin::link {

constexpr int kHeaderSize = 9;
constexpr int kLongFrameSize = 137;    // header, 127 payload bytes, checksum
constexpr int kShortFrameSize = 14;    // header, a four-letter word, checksum
constexpr int kRequestFrameSize = 10;  // header, checksum
constexpr int kPayloadSize = 127;

constexpr char kModeDownload = 'D';
constexpr char kModeUpload = 'U';

constexpr quint8 kLongLength = 0x82;
constexpr quint8 kShortLength = 0x07;
constexpr quint8 kRequestLength = 0x03;

// The nine header bytes: sync, mode, length (high byte 0), record number.
QByteArray frameHeader(char mode, quint8 length, quint16 recordNo);

// The checksum byte of a payload: (256 - (sum mod 256)) mod 256.
quint8 checksumOf(QByteArrayView payload);

// The frame with its checksum appended, computed over position 10 to its current end.
QByteArray withChecksum(QByteArray frame);

// True when the frame has at least 137 bytes and the byte at position 137 is the checksum of
// positions 10-136. Bytes after position 137 are not looked at; shorter frames are bad.
bool CheckCRC(QByteArrayView frame);

// The record number in positions 8-9, or empty when the frame is shorter than 9 bytes.
std::optional<int> recordNumberOf(QByteArrayView frame);

// A 14-byte short frame: header with length 0x0007 and the record number, the four-letter
// word, checksum. The terminal acknowledges with these ("AACK", "NACK", ...).
QByteArray buildShortFrame(char mode, quint16 recordNo, QByteArrayView word);

// The end frame "OVER" for 'D' (end of a download) or 'U' (end of an upload): record 0.
QByteArray buildEndFrame(char mode);

// The 10-byte upload request for one record number; its check byte is 0 (no payload).
QByteArray buildRequestFrame(quint16 recordNo);

// 1-based position of the first occurrence of an ASCII word in the text, letter case
// ignored; 0 when absent.
int findWord(QByteArrayView text, QByteArrayView word);

// What a reply of the terminal during a download says. The PC looks at a reply only once it
// holds 14 bytes or more; shorter text is "not complete" and nothing else is set.
struct DownloadReply {
    bool complete = false;
    // "CLOS" or "BACK" anywhere: the terminal is not in download mode. Takes precedence over
    // "AACK" and "NACK" in the same reply.
    bool abandon = false;
    // 1-based position of "AACK", 0 when absent.
    int ackPos = 0;
    // The record number in the two bytes just before "AACK" (high, low); none when "AACK"
    // is absent or starts at position 1 or 2.
    std::optional<int> ackRecord;
    bool nack = false;
    // The record number just before "NACK", by the same rule as for "AACK".
    std::optional<int> nackRecord;
};

DownloadReply parseDownloadReply(QByteArrayView text);

}  // namespace kovrin::link
