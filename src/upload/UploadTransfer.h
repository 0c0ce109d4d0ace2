#pragma once

#include "link/HeldEvents.h"
#include "link/SerialLink.h"
#include "link/TransferLog.h"
#include "link/UploadFrames.h"

#include <QObject>
#include <QTimer>
#include <QVector>
#include <functional>

namespace kovrin {

// Timer intervals of the upload; tests shorten them.
struct UploadTimings {
    int replyMs = 1000;       // Timer1: an incomplete reply or none at all
    int inactivityMs = 5000;  // Timer3: no traffic after a handled reply
    int drainMs = 50;         // after a bad checksum, what else arrives is thrown away this long
};

// What an upload collected, handed to the store once the last record is in.
struct UploadData {
    QVector<QByteArray> RecordFrames;  // slot k: the reply to request k, as received
    int TotalRecords = 0;              // transaction frames announced (capped at 2000)
    QString agentId;                   // 15 characters, from the count frame
    link::HeaderInfo header;           // the day's header frame
};

// The most transaction records one upload takes.
constexpr int kMaxUploadRecords = 2000;

// One upload from the hand-held terminal: requests record 0 (the count), 1 (the day's
// header), then the transaction records one by one; tests each reply's checksum, asks again
// after a bad one or after silence, shows progress, sends the end frame after the last record
// and hands the frames to the store. Driven by the port's arrivals and two timers.
class UploadTransfer : public QObject {
    Q_OBJECT
public:
    // Runs the store and the files for a finished upload; gets the transfer's message
    // function, so that the transfer stays held while the store's messages are up.
    using Restore = std::function<void(const UploadData&,
                                       const std::function<MsgAnswer(const MessageRequest&)>&)>;

    UploadTransfer(link::SerialLink& port, link::TransferLog& log, Restore restore,
                   QObject* parent = nullptr);
    ~UploadTransfer() override;

    void setTimings(const UploadTimings& t);

    // The screen opened: LinkDone cleared, the port opened (a failure is reported).
    void Form_Load();
    // The Receive button (or Enter on it): asks for record 0.
    void cmdSend_Click();
    // The screen closes: timers off, port closed.
    void stop();

    bool linkDone() const { return LinkDone; }
    int recordNo() const { return RecordNo; }
    int crcErrorCount() const { return CrcErrorCount; }
    bool finished() const { return m_finished; }

    // The steps of the exchange, public for the tests that drive them one by one.
    void MSComm1_OnComm();
    void Timer1_Timer();
    void Timer3_Timer();

signals:
    void receiveEnabled(bool enabled);
    // The day's header as the screen shows it.
    void headerShown(const QString& agentNumber, const QString& ddmm, int totalTransactions,
                     const QString& amountText);
    // "Upload in Progress,Please wait ..." shown or hidden.
    void inProgress(bool shown);
    // Transaction records received so far, out of the total announced.
    void progress(int received, int total);
    // Cancel at the checksum prompt closes the screen.
    void closeRequested();

private:
    MsgAnswer message(const QString& text, MsgIcon icon, MsgButtons buttons = MsgButtons::Ok);
    bool request(int recordNo);
    void FourthProtocol();
    void afterBadChecksum();
    void lastRecord();
    void end(const QString& logText);
    void onTick(QTimer* timer);
    static void enable(QTimer& timer);

    link::SerialLink& m_port;
    link::TransferLog& m_log;
    Restore m_restore;
    link::HeldEvents m_held;

    int RecordNo = 0;
    QByteArray RxBuffer;
    QByteArray TxFrame;
    QVector<QByteArray> RecordFrames;
    int TotalRecords = 0;
    bool LinkDone = false;
    bool HeaderDecoded = false;
    int CrcErrorCount = 0;
    int RetryCount = 0;
    QString m_agentId;
    link::HeaderInfo m_header;
    bool m_active = false;    // an upload is under way
    bool m_finished = false;  // the last record is in: nothing more is asked
    bool m_draining = false;

    QTimer Timer1, Timer3, DrainTimer;
};

}  // namespace kovrin
