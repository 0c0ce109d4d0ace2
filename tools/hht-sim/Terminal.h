#pragma once

// A simulated hand-held terminal working on a byte stream: feed() it the bytes the PC sent,
// and it emits output() with the bytes it answers. It knows nothing of ports; PtyDevice or a
// test connects it to a line.
//
// Download mode: every frame is answered with a 14-byte acknowledgement carrying the
// received record number, 01 FF 10 F0 "D" 00 07 hi lo "AACK" checksum; a frame with a wrong
// checksum gets "NACK" instead. The end frame "OVER" is acknowledged too, and then
// ended() is emitted; the download is complete only once an end frame is acknowledged.
//
// Upload mode: every 10-byte request is answered with the 137-byte frame of its record
// number (0 count, 1 header, 2 on transactions); a request beyond the last record gets the
// reply chosen by Beyond. The end frame "OVER" is not answered; endReceived() is emitted.

#include "Faults.h"
#include "FrameAssembler.h"
#include "Outbox.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTimer>
#include <QVector>
#include <random>

namespace kovrin::sim {

enum class Mode { Download, Upload };

// What the terminal answers to a request past its last record.
enum class Beyond {
    Zero,    // a 137-byte frame of zeros (it passes the checksum test and holds nothing)
    Silent,  // no answer
    Nack,    // "NACK"
    Last,    // the last record again
};

struct TerminalConfig {
    Mode mode = Mode::Download;
    Faults faults;
    Beyond beyond = Beyond::Zero;
    bool paced = false;          // write at the pace of 19200 baud
    int partialTimeoutMs = 200;  // a frame left incomplete this long is thrown away
    // Answer a frame only once it would have crossed a 19200-baud line (0.52 ms a byte), as a
    // real terminal does: the PC's writes to a pseudo-terminal take no time of their own.
    bool crossing = false;
};

class Terminal : public QObject {
    Q_OBJECT

public:
    explicit Terminal(const TerminalConfig& config, QObject* parent = nullptr);

    // The frames served in upload mode, indexed by record number.
    void setUploadFrames(const QVector<QByteArray>& frames) { m_uploadFrames = frames; }

    // Bytes from the PC.
    void feed(const QByteArray& bytes);

    // Every frame received, in order, resent ones included.
    const QList<QByteArray>& receivedFrames() const { return m_received; }
    // Download mode: the header frame and the account frames by record number, each the
    // last copy received with a right checksum.
    QByteArray downloadHeader() const { return m_header; }
    const QMap<int, QByteArray>& downloadAccounts() const { return m_accounts; }
    // Everything written to the PC so far.
    const QByteArray& sentBytes() const { return m_sent; }
    bool endReceived() const { return m_ended; }
    qint64 noiseBytes() const { return m_assembler.noiseBytes(); }
    bool idle() const { return m_outbox.idle(); }

signals:
    void output(const QByteArray& bytes);
    void frameReceived(const QByteArray& frame);
    void ended();
    void log(const QString& line);

private:
    void onFrame(const QByteArray& frame);
    QByteArray answerDownload(const QByteArray& frame, int recordNo);
    QByteArray answerUpload(const QByteArray& frame, int recordNo);
    // Sends the reply to record N with the faults of how it goes out: late, twice, stray.
    void sendAnswer(int recordNo, const QByteArray& reply);
    // Queues a reply (after any held back to be glued to it), `delayMs` later than it
    // would go.
    void send(const QByteArray& reply, int delayMs = 0);
    QByteArray corrupt(QByteArray bytes);

    TerminalConfig m_config;
    Faults m_faults;  // what is still to fire
    FrameAssembler m_assembler;
    Outbox m_outbox;
    QTimer m_partialTimer;
    std::mt19937 m_rng;
    QVector<QByteArray> m_uploadFrames;
    QList<QByteArray> m_received;
    QByteArray m_header;
    QMap<int, QByteArray> m_accounts;
    QByteArray m_sent;
    QByteArray m_held;  // a reply held back to be glued to the next one
    int m_crossMs = 0;  // the wait before the next answer goes: the frame's time on the line
    bool m_ended = false;
};

}  // namespace kovrin::sim
