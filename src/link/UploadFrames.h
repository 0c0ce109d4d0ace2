#pragma once

// Decoding of the 137-byte frames the terminal returns during an upload: the count frame
// (record 0), the day's header frame (record 1) and the transaction frames (records 2 on).
// Every decoder takes any bytes of any length: it never reads past the end, and it reports
// a frame it cannot read faithfully as bad (ok false, with a reason) instead of guessing.
// The checksum is tested separately, with CheckCRC.

#include <QByteArrayView>
#include <QString>
#include <array>

namespace kovrin::link {

// Record 0: how many transaction frames follow, and for which agent.
//   10-11 number of transaction frames (big-endian, below 32768)   27-41 agent id
struct CountInfo {
    bool ok = false;
    QString reason;
    int TotalRecords = 0;
    QString agentId;  // 15 characters, blanks included
};

CountInfo DecodeFifthProtocol(QByteArrayView frame);

// Record 1: the day's header.
//   10-16 AgentDateKey (3-character agent, ddmm)   17-18 number of transactions
//   (big-endian, below 32768)   19-22 total amount, 8 BCD digits in whole units
struct HeaderInfo {
    bool ok = false;  // the frame is whole: the agent and the date can be read
    QString reason;
    // The number of transactions and the total amount could be read. A header whose totals
    // cannot be read still names the day; its collections cannot be checked against it.
    bool totalsRead = false;
    QString AgentDateKey;  // 7 characters
    QString agentNumber;   // its first 3 characters
    QString dateDdmm;      // its last 4 characters
    int TotalTransactions = 0;
    QString amountDigits;  // "00012345"
    qint64 totalAmount = 0;
    QString amountText;  // "12345.00", as the upload screen shows it
};

HeaderInfo DecodeThirdProtocol(QByteArrayView frame);

// The count byte of a transaction frame (position 133) is one a frame can hold: 0-7 in BCD,
// or 0x20 for an account without transactions.
bool countByteFits(quint8 countByte);

constexpr int kSlotsPerFrame = 7;
constexpr int kSlotSize = 9;
// The count byte 0x20 (read as 20) marks an account that had no transactions.
constexpr int kNoTransactionsMark = 20;

enum class SlotState {
    Unread,   // past the frame's count of transactions
    Read,     // decoded (see ok)
    Missing,  // within the count, but the frame ends before the slot does
};

// One collected transaction, from a 9-byte slot:
//   0-2 amount, 6 BCD digits in whole units   3 day (BCD)   4 month (high nibble) and
//   year - 2000 (low nibble)   5 hour (BCD)   6 minute (BCD)   7-8 transaction number
struct TransactionSlot {
    SlotState state = SlotState::Unread;
    bool ok = false;
    QString reason;
    qint64 amount = 0;
    QString Amtcollected;  // "0012345.00"; empty when the amount bytes are not BCD
    int day = 0;
    int month = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    // "DD/MM/YYYY HH:NN" as received: a byte that is not BCD shows as its two hexadecimal
    // digits ("1A/12/2026"), so that such a date can never be taken for a real one.
    QString DateTime;
    int number = 0;
    QString TransactionNumber;  // "0042"; five digits from 10000 on
};

// A transaction frame:
//   10 category   11-15 scheme   16-30 account number   70-132 seven slots of 9 bytes
//   133 number of transactions (BCD 0-7), or 0x20 for an account without transactions
struct TransactionFrame {
    bool ok = false;
    QString reason;           // the first problem found
    bool shortFrame = false;  // fewer than 137 bytes: the fields are what was there
    QString CategoryCode;
    QString SchemeCode;
    QString AccountNo;
    int count = -1;  // BinCheck of position 133; -1 when the frame does not reach it
    bool noTransactions = false;
    std::array<TransactionSlot, kSlotsPerFrame> transactions;
};

// The year of a slot. The terminal keeps only the low nibble of (year - 2000); the year
// meant is the one with that nibble among the sixteen years that end with the year after the
// reference year (the PC's year at the upload), never before 2000: with a reference year up
// to 2014 it is 2000 + nibble; in 2026 the nibbles map to 2012-2027.
int slotYear(int nibble, int referenceYear);

TransactionFrame decodeTransactionFrame(QByteArrayView frame, int referenceYear);

}  // namespace kovrin::link
