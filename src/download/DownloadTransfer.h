#pragma once

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/Revision.h"
#include "db/Database.h"
#include "download/DownloadImport.h"
#include "link/DownloadFrames.h"
#include "link/Frame.h"
#include "link/ReplyReaders.h"
#include "link/SerialLink.h"
#include "link/TransferChannel.h"
#include "link/TransferLog.h"
#include "link/TransferTimer.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QVector>
#include <functional>

namespace kovrin {

// Timer intervals of the download; tests shorten them.
struct DownloadTimings {
    int buildDelayMs = 10;  // Timer1: the account frames are built shortly after the header
    int responseMs = 1000;  // Timer2: no answer to the frame on the line
    int watchdogMs = 5000;  // Timer3: no traffic at all
    // A reply still arriving when its time-out is due (a byte came this recently) gets once
    // the time a reply takes on the line and this long again instead of being cut off.
    int pieceGapMs = 250;
};

// How the download treats the terminal's replies: revision 2.1 checks the record number of
// every acknowledgement; revision 2.0, for terminals whose acknowledgements carry no reliable
// number, advances on any "AACK" that can be the answer to the frame on the line: what waits
// at the port when a frame is sent is dropped, and an answer that begins before the frame
// could have crossed the line (its length at the line's speed) is stale.
struct DownloadRules {
    bool checkRecordNumbers = true;  // a wrong number steps back two records
    bool closOrBackAbandons = true;  // "CLOS"/"BACK": the terminal is not in download mode
    QString completionText = QStringLiteral("Download Completed Successfully!");
    bool finishOnCompletion = true;       // empty the entries and close the port when done
    bool holdButtonsWhileSending = true;  // Send and Clear disabled during a transfer

    static DownloadRules forRevision(Revision r);
};

// The phases of a download. In each sending phase exactly one frame is on the line at a
// time: the header, one account frame, or the end frame.
enum class DownloadPhase {
    Idle,      // nothing sent yet, or the transfer ended
    Header,    // the header frame is on the line
    Building,  // the header was accepted; the account frames are being built
    Accounts,  // one account frame is on the line
    EndFrame,  // the end frame is on the line
    Done,      // the terminal acknowledged the end frame
};

// The state of a download between events.
struct DownloadState {
    DownloadPhase phase = DownloadPhase::Idle;
    QByteArray TxFrame;     // the header or end frame last built
    int RetryCount = 0;     // attempts that made no progress; every fifth: cable message
    bool LinkDone = false;  // a download completed
    bool HeaderPending = false;
    bool OverSent = false;
    bool SendingHeld = true;  // the account frames are not built yet
    int NextRecord = 0;       // the account frame being sent
    int ExpectedRecord = 0;   // the number the answer to the frame on the line carries
    int ReceivedRecord = 0;   // the number of the last "AACK"
    int AccountTotal = 0;
    bool inFlight = false;          // a frame is on the line, its answer awaited
    bool attemptCounted = false;    // the frame on the line has counted toward RetryCount
    bool stepBackDue = false;       // the first time-out after an answer steps back one record
    int failuresSinceProgress = 0;  // a refusal after the first goes again only at the time-out
    bool resendDue = false;         // a refused frame waits for the response timer
    int highestSent = 0;            // the highest account record sent so far
    int highestAcked = 1;           // the highest account record acknowledged: the progress
    bool extended = false;          // the frame on the line had its time-out extended once

    // One reset per phase: what a phase starts from.
    void startTransfer();
    void startHeader();
    void startAccounts(int accounts);
    void startEndFrame();
};

// One download to the hand-held terminal, from the Send button to the end frame: the import
// checks the entries and reads the bank's file, the accounts are stored, then the header
// frame, one account frame per acknowledgement and the end frame go out, one frame on the
// line at a time, recovering from rejected frames, wrong or stale record numbers and
// silence. Driven by the port's arrivals and three timers; the screen only shows its state
// (progress, buttons) and its messages.
class DownloadTransfer : public QObject {
    Q_OBJECT
public:
    using Entry = DownloadImport::Entry;

    DownloadTransfer(Database& db, const AppSettings& settings, QString programFolder,
                     link::SerialLink& port, link::TransferLog& log, QObject* parent = nullptr);
    ~DownloadTransfer() override;

    void setTimings(const DownloadTimings& t);
    // The PC's date and time of the header frame.
    void setClock(const Clock& clock) { m_clock = &clock; }
    // The terminal's download-mode and setup-mode passwords are read from the Password row at
    // each Send, so a password changed while the screen is open reaches the terminal with the
    // next download ("0000" for each when there is no row). Fixed ones replace the reading
    // (tests and tools without a row of their own).
    void setTerminalPasswords(const QString& download, const QString& setup);
    void setRules(const DownloadRules& rules) { m_rules = rules; }
    // Who serves the agent, as another transfer of the same agent is told ("the Send Data
    // screen", "port 3 of the Transfer Station").
    void setHolder(const QString& holder) { m_holder = holder; }
    // Where the download's messages go instead of the program's message boxes: a row of the
    // Transfer Station (none of the download's messages asks a question).
    void setPresenter(MessagePresenter present) { m_channel.setPresenters(std::move(present)); }
    const DownloadRules& rules() const { return m_rules; }

    // The Send button: checks the entries, imports the file and starts the transfer.
    void cmdSend_Click(const DownloadEntries& entries);
    // Stops whatever runs (the screen is closed): timers off, port closed. `why` goes into
    // the transfer log.
    void stop(const QString& why = QStringLiteral("the download screen was closed"));

    bool isSending() const { return m_sending; }
    bool linkDone() const { return m_state.LinkDone; }
    int accountTotal() const { return m_state.AccountTotal; }
    const DownloadState& state() const { return m_state; }

    // The steps of the exchange, public for the tests that drive them one by one.
    void FirstProtocol();
    void SecondProtocol();
    void SendOneByOne();
    void MSComm1_OnComm();
    void Timer2_Timer();
    void Timer3_Timer();

signals:
    // Send and Clear are disabled while a download runs.
    void sendingChanged(bool sending);
    // The progress label and bar: accounts acknowledged so far, out of the total.
    void progress(int sent, int total);
    // The download completed: the screen empties its entries and goes back to the agent.
    void completed();
    // An entry was refused: the screen puts the focus on it.
    void focusEntry(Entry entry);

private:
    enum class Verdict { Accept, Stale, Early, Refuse, Ignore };

    MsgAnswer message(const QString& text, MsgIcon icon);
    void setSending(bool sending);
    void abandon(const QString& logText);
    void fail(const QString& text);
    void complete();
    // Puts the frame of the current phase on the line and arms the response time-out.
    void transmit();
    void resend();
    void handleReply(const QByteArray& text);
    Verdict judge(const link::DownloadReply& reply, int* number) const;
    bool wasSentBefore(int record) const;
    // An attempt that made no progress; the cable message every fifth. False when the
    // transfer ended meanwhile.
    bool countFailure(const QString& why);
    void showProgress();
    void onTick(link::TransferTimer* timer);
    link::HeaderFields headerFields(int accounts) const;
    bool readTerminalPasswords(QString* error);

    Database& m_db;
    const AppSettings& m_settings;
    DownloadImport m_import;
    link::TransferChannel m_channel;
    const Clock* m_clock = &Clock::system();
    DownloadRules m_rules;
    DownloadTimings m_timings;
    bool m_fixedPasswords = false;
    QString m_holder = QStringLiteral("the Send Data screen");
    QString m_downloadPassword, m_setupPassword;

    PreparedDownload m_file;  // the file being sent (its rows are not kept once stored)
    DownloadState m_state;
    link::DownloadReplyReader m_replies;
    QVector<QByteArray> FrameTable;  // the frame of record r at index r - 1
    bool m_sending = false;
    QElapsedTimer m_sentAt;   // when the frame on the line was written
    int m_sentBytes = 0;      // its length
    int m_replyStartMs = -1;  // when its answer began to arrive, after the write; -1 not yet

    link::TransferTimer Timer1, Timer2, Timer3;
};

}  // namespace kovrin
