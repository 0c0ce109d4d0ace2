#pragma once

#include "link/ReplyReaders.h"
#include "link/SerialLink.h"
#include "link/TransferChannel.h"
#include "link/TransferLog.h"
#include "link/TransferTimer.h"
#include "link/UploadFrames.h"

#include <QObject>
#include <QVector>
#include <functional>
#include <memory>

namespace kovrin {

// Timer intervals of the upload; tests shorten them.
struct UploadTimings {
    int replyMs = 1000;       // Timer1: no complete reply to the request on the line
    int inactivityMs = 5000;  // Timer3: no traffic at all
    int drainMs = 50;         // after a bad checksum, what else arrives is thrown away this long
    // A reply still arriving when its time-out is due (a byte came this recently) gets once
    // the time a reply takes on the line and this long again instead of being cut off.
    int pieceGapMs = 250;
};

// What an upload collected, handed to the store once the last record is in.
struct UploadData {
    QVector<QByteArray> RecordFrames;  // slot k: the reply to request k
    int TotalRecords = 0;              // transaction frames announced (capped at 2000)
    QString agentId;                   // 15 characters, from the count frame
    link::HeaderInfo header;           // the day's header frame
};

// The most transaction records one upload takes.
constexpr int kMaxUploadRecords = 2000;

// What the store made of a finished upload.
struct RestoreResult {
    // Safe: the frames backed up on disk and the rows stored (or nothing to store). Only then
    // may the terminal be told that the upload is over.
    bool safe = false;
    // Stored, but what was stored differs from the terminal's own totals.
    bool totalsDiffer = false;
};

class KeptUpload;

// The phases of an upload. While the PC waits for a reply exactly one request is on the line.
enum class UploadPhase {
    Idle,       // Receive not pressed yet, or the upload stopped
    Count,      // record 0 requested: how many records follow
    Header,     // record 1 requested: the day's header
    Records,    // a transaction record requested
    Storing,    // the last record is in: the backup, the store and the files
    Unstored,   // the store or the backup failed: the frames are kept for Store Again, and
                // the terminal, not told that the upload is over, still holds its data
                // (Storing also covers the question whether to tell the terminal, when the
                // stored totals differ from its own)
    Releasing,  // stored by Store Again: the count is asked for to see that the same
                // terminal is there before it is told that the upload is over
    Done,       // stored; this opening of the screen takes no further upload
};

// The state of an upload between events.
struct UploadState {
    UploadPhase phase = UploadPhase::Idle;
    int RecordNo = 0;    // the record requested
    QByteArray TxFrame;  // the frame last written
    QVector<QByteArray> RecordFrames;
    int TotalRecords = 0;
    bool LinkDone = false;
    bool HeaderDecoded = false;
    int CrcErrorCount = 0;        // bad checksums since the last good transaction record
    int RetryCount = 0;           // requests that made no progress; every fifth: a message
    bool awaiting = false;        // a request is on the line, its reply awaited
    bool attemptCounted = false;  // the request on the line has counted toward RetryCount
    bool stepBackDue = false;     // the first time-out after a reply asks for the record before
    bool extended = false;        // the request on the line had its time-out extended once
    int highestReceived = -1;     // the highest record received whole: the progress
    int releaseTries = 0;         // count requests made to release the terminal

    // One reset per upload: what Receive starts from.
    void startUpload();
};

// One upload from the hand-held terminal: requests record 0 (the count), 1 (the day's
// header), then the transaction records one by one; checks that each reply is the one asked
// for and tests its checksum, asks again after a bad one or after silence, shows progress,
// sends the end frame after the last record and hands the frames to the store. Driven by
// the port's arrivals and two timers.
class UploadTransfer : public QObject {
    Q_OBJECT
public:
    // Runs the backup, the store and the files for a finished upload. Its messages (the
    // outcome, the files, the collections kept out of the bank file) go through the function
    // it is given, and are shown once the terminal has been told that the upload is over, or
    // asked whether it should be.
    using Restore = std::function<RestoreResult(
        const UploadData&, const std::function<MsgAnswer(const MessageRequest&)>&)>;

    UploadTransfer(link::SerialLink& port, link::TransferLog& log, Restore restore,
                   QObject* parent = nullptr);
    ~UploadTransfer() override;

    void setTimings(const UploadTimings& t);
    // Where the upload's messages go instead of the program's message boxes (see
    // link::HeldEvents::setPresenters): a row of the Transfer Station.
    void setPresenters(MessagePresenter present, link::HeldEvents::PromptPresenter prompt) {
        m_channel.setPresenters(std::move(present), std::move(prompt));
    }

    // The screen opened: LinkDone cleared, the port opened (a failure is reported).
    void Form_Load();
    // The Receive button (or Enter on it): asks for record 0. Ignored while an upload runs.
    void cmdSend_Click();
    // The screen closes: timers off, port closed. An upload cut short keeps what it received
    // (see setKeepFolder). `why` goes into the transfer log.
    void stop(const QString& why = QStringLiteral("the upload screen was closed"));
    // Store Again: the upload whose store failed is stored again from the frames kept; once it
    // is safe, the terminal is told that the upload is over if it is still the same one on
    // the line. False when no such upload is kept.
    bool storeAgain();
    // An upload is waiting for Store Again.
    bool holdsUnstoredUpload() const { return m_state.phase == UploadPhase::Unstored; }

    // The program folder whose BackupData keeps the records of every upload as they arrive
    // (KeptUpload): an upload cut short goes on, at the next Receive of the same terminal on
    // any port or screen, from the first record not received.
    void setKeepFolder(const QString& programFolder);
    // Who serves the agent, as another transfer of the same agent is told ("the Receive Data
    // screen", "port 3 of the Transfer Station").
    void setHolder(const QString& holder) { m_holder = holder; }
    // The agent the terminal must hold (a row of the Transfer Station): an upload whose count
    // record names another agent stops before anything is stored. Empty: any agent.
    void setExpectedAgent(const QString& agent) { m_expectedAgent = agent; }
    // The last upload stored differs from the terminal's own totals.
    bool totalsDiffer() const { return m_totalsDiffer; }

    bool linkDone() const { return m_state.LinkDone; }
    int recordNo() const { return m_state.RecordNo; }
    int crcErrorCount() const { return m_state.CrcErrorCount; }
    bool finished() const {
        return m_state.phase == UploadPhase::Storing || m_state.phase == UploadPhase::Done;
    }
    // An upload is under way: from Receive until it is stored or stopped.
    bool isActive() const;
    const UploadState& state() const { return m_state; }

    // The steps of the exchange, public for the tests that drive them one by one.
    void MSComm1_OnComm();
    void Timer1_Timer();
    void Timer3_Timer();

signals:
    void receiveEnabled(bool enabled);
    // An upload started or ended (the screen holds Write Files Again meanwhile).
    void activeChanged(bool active);
    // The day's header as the screen shows it.
    void headerShown(const QString& agentNumber, const QString& ddmm, int totalTransactions,
                     const QString& amountText);
    // "Upload in Progress,Please wait ..." shown or hidden.
    void inProgress(bool shown);
    // Transaction records received so far, out of the total announced.
    void progress(int received, int total);
    // Cancel at the checksum prompt closes the screen.
    void closeRequested();
    // Store Again can be pressed (an upload is kept unstored) or not.
    void storeAgainAvailable(bool available);
    // A kept upload goes on from this record instead of starting over.
    void resumed(int record);

private:
    MsgAnswer message(const QString& text, MsgIcon icon, MsgButtons buttons = MsgButtons::Ok);
    bool request(int recordNo);
    void handleFrame(const QByteArray& frame);
    void afterBadChecksum();
    // The record on the line again, after a bad checksum.
    void askAgain();
    void lastRecord();
    // Stores the upload; true when it is safe. Its messages wait in m_outcome.
    bool store();
    // Tells the terminal that the upload is over, once the count shows it is the same one.
    void release();
    // `failure`: why the terminal could not be looked for (the port failed).
    void finishRelease(bool released, const QString& failure = {});
    // Stored totals that differ: the terminal keeps its collections unless the operator
    // says to tell it; `then` shows what follows.
    void askRelease(std::function<void()> then);
    void sendOver();
    void showOutcome();
    // The upload is stored: whether the terminal was told goes into the log.
    void done(const QString& logText);
    // Checks the agent of the count record, and registers it as served; false when the
    // upload ended.
    bool serveAgent();
    // Logs what an upload cut short keeps on disk for the next Receive.
    void keepPartial();
    // Goes on from a kept upload of the same count and header; false when there is none.
    bool resumeKept();
    // Ends an upload that did not finish; Receive comes back.
    void end(const QString& logText);
    void fail(const QString& logText, const QString& text);
    // A request that made no progress; a message every fifth. False when the upload ended.
    bool countFailure(const QString& why);
    void onTick(link::TransferTimer* timer);

    link::TransferChannel m_channel;
    Restore m_restore;
    UploadTimings m_timings;
    UploadState m_state;
    QString m_agentId;
    link::HeaderInfo m_header;
    link::UploadReplyReader m_replies;
    UploadData m_pending;  // the upload waiting for Store Again
    std::unique_ptr<KeptUpload> m_kept;
    QList<MessageRequest> m_outcome;  // the store's messages, shown after the end frame
    bool m_totalsDiffer = false;
    bool m_askingRelease = false;
    QString m_holder = QStringLiteral("the Receive Data screen");
    QString m_expectedAgent;

    link::TransferTimer Timer1, Timer3, DrainTimer;
};

}  // namespace kovrin
