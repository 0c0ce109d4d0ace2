#pragma once

#include "app/AppSettings.h"
#include "app/Revision.h"
#include "db/Database.h"
#include "link/HeldEvents.h"
#include "link/SerialLink.h"
#include "link/TransferLog.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <QVector>
#include <functional>

namespace kovrin {

// What the operator typed on the download screen.
struct DownloadEntries {
    QString agent;         // up to 3 digits
    QString date;          // ddmm
    QString transactions;  // one digit 0-7, or empty
};

// Timer intervals of the download; tests shorten them.
struct DownloadTimings {
    int buildDelayMs = 10;  // Timer1: the account frames are built shortly after the header
    int responseMs = 1000;  // Timer2: no complete reply
    int watchdogMs = 5000;  // Timer3: no traffic at all
};

// How the download treats the terminal's replies: revision 2.1 checks the record number of
// every acknowledgement; revision 2.0, for terminals whose acknowledgements carry no reliable
// number, advances on any "AACK".
struct DownloadRules {
    bool checkRecordNumbers = true;  // a wrong number steps back two records
    bool closOrBackAbandons = true;  // "CLOS"/"BACK": the terminal is not in download mode
    QString completionText = QStringLiteral("Download Completed Successfully!");
    bool finishOnCompletion = true;       // empty the entries and close the port when done
    bool holdButtonsWhileSending = true;  // Send and Clear disabled during a transfer

    static DownloadRules forRevision(Revision r);
};

// One download to the hand-held terminal, from the Send button to the end frame: checks
// the entries, reads the bank's file, stores its accounts, then sends the header frame, one
// account frame per acknowledgement and the end frame, recovering from rejected frames,
// wrong record numbers and silence. Driven by the port's arrivals and three timers; the
// screen only shows its state (progress, buttons) and its messages.
class DownloadTransfer : public QObject {
    Q_OBJECT
public:
    enum class Entry { Agent, Date };

    DownloadTransfer(Database& db, const AppSettings& settings, QString programFolder,
                     link::SerialLink& port, link::TransferLog& log, QObject* parent = nullptr);
    ~DownloadTransfer() override;

    void setTimings(const DownloadTimings& t);
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    // The terminal's download-mode and setup-mode passwords, read when the screen loads.
    void setTerminalPasswords(const QString& download, const QString& setup);
    void setRules(const DownloadRules& rules) { m_rules = rules; }
    const DownloadRules& rules() const { return m_rules; }

    // The Send button: checks the entries, imports the file and starts the transfer.
    void cmdSend_Click(const DownloadEntries& entries);
    // Stops whatever runs (the screen is closed): timers off, port closed.
    void stop();

    bool isSending() const { return m_sending; }
    bool linkDone() const { return LinkDone; }
    int accountTotal() const { return AccountTotal; }

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
    MsgAnswer message(const QString& text, MsgIcon icon);
    void setSending(bool sending);
    void finish(const QString& logText);
    void fail(const QString& text);
    bool writeFrame(const QByteArray& frame);
    void showProgress();
    void stopTimers();
    static void enable(QTimer& timer);
    void onTick(QTimer* timer);

    Database& m_db;
    const AppSettings& m_settings;
    QString m_programFolder;
    link::SerialLink& m_port;
    link::TransferLog& m_log;
    link::HeldEvents m_held;
    std::function<QDateTime()> m_clock;
    DownloadRules m_rules;
    QString m_downloadPassword, m_setupPassword;

    // The file being sent.
    QString m_agentId;  // as read from the file's last record
    QString m_branchId;
    QString m_fileName;  // the path without its root, as stored with the accounts
    QString m_transactionDigit;
    QString m_downloadKey;

    // Link state.
    QByteArray RxBuffer;
    QByteArray TxFrame;
    int RetryCount = 0;
    bool LinkDone = false;
    bool HeaderPending = false;
    bool OverSent = false;
    int NextRecord = 0;
    int ExpectedRecord = 0;
    int ReceivedRecord = 0;
    bool SendingHeld = false;
    int AccountTotal = 0;
    QVector<QByteArray> FrameTable;  // the frame of record r at index r - 1
    bool m_sending = false;

    QTimer Timer1, Timer2, Timer3;
};

}  // namespace kovrin
