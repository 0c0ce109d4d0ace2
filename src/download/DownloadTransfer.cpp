#include "download/DownloadTransfer.h"

#include "core/Messages.h"
#include "db/BankDataStore.h"
#include "link/AgentsServed.h"
#include "link/Frame.h"

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmsend");
const QString kNotInDownloadMode =
    QStringLiteral("Please goto Download Mode in the HandHeld Terminal and then Send Data!");
const QString kCheckCable = QStringLiteral("Please Check the Communication Cable");
const QString kSendAgain = QStringLiteral(
    " The download was stopped; check the cable and the terminal, then press Send again.");
}  // namespace

DownloadRules DownloadRules::forRevision(Revision r) {
    DownloadRules rules;
    if (r == Revision::V2_0) {
        rules.checkRecordNumbers = false;
        rules.closOrBackAbandons = false;
        rules.completionText = QStringLiteral("Download Completed Successfully");
        rules.finishOnCompletion = false;
        rules.holdButtonsWhileSending = false;
    }
    return rules;
}

void DownloadState::startTransfer() {
    const int keptTotal = AccountTotal;
    *this = DownloadState{};
    AccountTotal = keptTotal;
}

void DownloadState::startHeader() {
    phase = DownloadPhase::Header;
    HeaderPending = true;
    SendingHeld = true;
    OverSent = false;
    NextRecord = 0;
    ExpectedRecord = 0;
    RetryCount = 0;
    stepBackDue = false;
}

void DownloadState::startAccounts(int accounts) {
    phase = DownloadPhase::Accounts;
    HeaderPending = false;
    SendingHeld = false;
    AccountTotal = accounts;
    NextRecord = 2;
    ExpectedRecord = 2;
    RetryCount = 0;
    highestSent = 0;
    highestAcked = 1;
    stepBackDue = false;
}

void DownloadState::startEndFrame() {
    phase = DownloadPhase::EndFrame;
    OverSent = true;
    ExpectedRecord = 0;
}

DownloadTransfer::DownloadTransfer(Database& db, const AppSettings& settings, QString programFolder,
                                   link::SerialLink& port, link::TransferLog& log, QObject* parent)
    : QObject(parent),
      m_db(db),
      m_settings(settings),
      m_import(settings, std::move(programFolder)),
      m_channel(port, log, kScreen, &Messages::show) {
    m_channel.setHandlers([this] { MSComm1_OnComm(); },
                          [this](link::TransferTimer* t) { onTick(t); });
    for (link::TransferTimer* t : {&Timer1, &Timer2, &Timer3}) {
        m_channel.addTimer(*t);
    }
    setTimings({});
    connect(&port, &link::SerialLink::failed, this, [this](const QString& reason) {
        if (m_sending) {
            fail(reason + kSendAgain);
        }
    });
}

DownloadTransfer::~DownloadTransfer() {
    stop();
    link::AgentsServed::release(this);
}

void DownloadTransfer::setTimings(const DownloadTimings& t) {
    m_timings = t;
    Timer1.setInterval(t.buildDelayMs);
    Timer2.setInterval(t.responseMs);
    Timer3.setInterval(t.watchdogMs);
}

MsgAnswer DownloadTransfer::message(const QString& text, MsgIcon icon) {
    return m_channel.message(text, icon);
}

void DownloadTransfer::setSending(bool sending) {
    if (!sending) {
        link::AgentsServed::release(this);  // the agent is free for other screens again
    }
    if (m_sending != sending) {
        m_sending = sending;
        emit sendingChanged(sending);
    }
}

void DownloadTransfer::stop(const QString& why) {
    m_channel.stopTimers();
    m_channel.forget();
    m_channel.port().close();
    if (m_sending) {
        m_channel.log().end(QStringLiteral("stopped: ") + why);
    }
    m_state.phase = DownloadPhase::Idle;
    m_state.inFlight = false;
    setSending(false);
}

// Ends the transfer: timers off, held events forgotten, the port closed, Send and Clear back.
void DownloadTransfer::abandon(const QString& logText) {
    m_channel.stopTimers();
    m_channel.forget();
    m_channel.port().close();
    m_channel.log().end(logText);
    m_state.phase = DownloadPhase::Idle;
    m_state.inFlight = false;
    m_replies.clear();
    setSending(false);
}

// Ends the transfer after a failure: the operator is told, and the entries keep their text.
void DownloadTransfer::fail(const QString& text) {
    abandon(QStringLiteral("failed: ") + text);
    message(text, MsgIcon::Critical);
}

void DownloadTransfer::showProgress() {
    emit progress(qMax(0, m_state.NextRecord - 2), m_state.AccountTotal);
}

void DownloadTransfer::FirstProtocol() {
    m_state.startHeader();
    const link::BuildResult built = link::buildHeaderFrame(headerFields(m_state.AccountTotal));
    if (!built.ok) {
        fail(QStringLiteral("The header frame could not be built: %1").arg(built.reason));
        return;
    }
    m_state.TxFrame = built.frame;
    transmit();
}

void DownloadTransfer::SecondProtocol() {
    DbStatus st;
    const QVector<BankDataRow> rows =
        BankDataStore(m_db).rowsToSend(m_file.agentId, m_file.fileName, &st);
    if (!st) {
        fail(QStringLiteral("The accounts could not be read from the database: %1").arg(st.error));
        return;
    }
    FrameTable.clear();
    FrameTable.reserve(rows.size() + 1);
    FrameTable.push_back(QByteArray());  // record 1 is never an account
    int c = 2;
    for (const BankDataRow& r : rows) {
        const link::BuildResult built =
            link::buildAccountFrame(c, {r.CategoryCode, r.SchemeCode, r.ACNumber, r.ACName,
                                        r.BalAmount, r.AgreedAmount, r.OpeningDate, r.Txndate});
        if (!built.ok) {
            fail(QStringLiteral("The account %1 (%2) cannot be sent: %3. Correct the download "
                                "file and press Send again.")
                     .arg(r.ACNumber.trimmed(), r.ACName.trimmed(), built.reason));
            return;
        }
        FrameTable.push_back(built.frame);
        ++c;
    }
    m_state.startAccounts(int(rows.size()));
    m_channel.log().event(
        QStringLiteral("header accepted; %1 account frames built").arg(m_state.AccountTotal));
    SendOneByOne();
}

// The next frame of the accounts phase: the account frame NextRecord, or the end frame once
// every account is acknowledged. Once the end frame has gone out, only the end frame is sent.
void DownloadTransfer::SendOneByOne() {
    if (m_state.SendingHeld || !m_sending) {
        return;
    }
    if (m_state.phase == DownloadPhase::Accounts && m_state.NextRecord > m_state.AccountTotal + 1) {
        m_state.startEndFrame();
        m_state.TxFrame = link::buildEndFrame(link::kModeDownload);
    }
    transmit();
}

void DownloadTransfer::transmit() {
    QByteArray frame;
    switch (m_state.phase) {
        case DownloadPhase::Header:
        case DownloadPhase::EndFrame:
            frame = m_state.TxFrame;
            break;
        case DownloadPhase::Accounts:
            m_state.ExpectedRecord = m_state.NextRecord;
            m_state.highestSent = qMax(m_state.highestSent, m_state.NextRecord);
            frame = FrameTable.value(m_state.NextRecord - 1);
            break;
        case DownloadPhase::Idle:
        case DownloadPhase::Building:
        case DownloadPhase::Done:
            return;  // nothing may be sent
    }
    if (!m_rules.checkRecordNumbers) {
        // Without record numbers an answer is known only by when it comes: whatever arrived
        // before this frame went out cannot answer it.
        const int held = int(m_replies.size());
        m_replies.clear();
        if (held > 0) {
            m_channel.log().event(
                QStringLiteral("%1 byte(s) dropped: received before the frame was sent").arg(held));
        }
        m_channel.drain(QStringLiteral("received before the frame was sent"));
    }
    QString error;
    const bool sent = m_state.phase == DownloadPhase::Header
                          ? m_channel.sendMasked(frame, link::headerPasswordPositions(),
                                                 QStringLiteral("the terminal's passwords"), &error)
                          : m_channel.send(frame, &error);
    if (!sent) {
        fail(error + kSendAgain);
        return;
    }
    m_state.resendDue = false;
    m_state.inFlight = true;
    m_state.attemptCounted = false;
    m_state.extended = false;
    m_sentAt.start();
    m_sentBytes = int(frame.size());
    m_replyStartMs = -1;
    Timer2.start();
    Timer3.start();
}

bool DownloadTransfer::wasSentBefore(int record) const {
    return record == 0 || (record >= 2 && record <= m_state.highestSent);
}

DownloadTransfer::Verdict DownloadTransfer::judge(const link::DownloadReply& reply,
                                                  int* number) const {
    const bool ack = reply.ackPos > 0;
    if (!ack && !reply.nack) {
        return Verdict::Ignore;
    }
    if (!m_rules.checkRecordNumbers) {
        // Revision 2.0: any acknowledgement is the one awaited, unless it began before the
        // frame on the line could have reached the terminal.
        if (m_replyStartMs >= 0 && m_replyStartMs < m_channel.port().lineMs(m_sentBytes)) {
            return Verdict::Early;
        }
        return ack ? Verdict::Accept : Verdict::Refuse;
    }
    const std::optional<int> n = ack ? reply.ackRecord : reply.nackRecord;
    if (n) {
        *number = *n;
    }
    if (ack) {
        if (!n) {
            // An acknowledgement without a number accepts the header or the end frame; for an
            // account it is a wrong number.
            return m_state.phase == DownloadPhase::Accounts ? Verdict::Refuse : Verdict::Accept;
        }
        if (*n == m_state.ExpectedRecord) {
            return Verdict::Accept;
        }
        return wasSentBefore(*n) ? Verdict::Stale : Verdict::Refuse;
    }
    // "NACK": a refusal of the frame on the line, unless it names a frame sent before.
    if (n && *n != m_state.ExpectedRecord && wasSentBefore(*n)) {
        return Verdict::Stale;
    }
    return Verdict::Refuse;
}

bool DownloadTransfer::countFailure(const QString& why) {
    if (m_state.attemptCounted) {
        return true;
    }
    m_state.attemptCounted = true;
    ++m_state.RetryCount;
    ++m_state.failuresSinceProgress;
    m_channel.log().event(
        QStringLiteral("%1 (without progress: %2)").arg(why).arg(m_state.RetryCount));
    if (m_state.RetryCount == 5) {
        m_state.RetryCount = 0;
        message(kCheckCable, MsgIcon::Critical);
    }
    return m_sending;
}

void DownloadTransfer::MSComm1_OnComm() {
    const QByteArray in = m_channel.receive();
    if (!m_sending || m_state.phase == DownloadPhase::Done) {
        if (!in.isEmpty()) {
            m_channel.log().event(QStringLiteral("nothing is awaited: dropped"));
        }
        return;
    }
    Timer3.stop();
    if (m_replies.isEmpty() && !in.isEmpty() && m_sentAt.isValid() && m_replyStartMs < 0) {
        m_replyStartMs = int(m_sentAt.elapsed());
    }
    m_replies.append(in);
    while (m_sending) {
        const std::optional<QByteArray> reply = m_replies.next();
        if (!reply) {
            break;
        }
        handleReply(*reply);
    }
    if (const int dropped = m_replies.takeDropped()) {
        m_channel.log().event(QStringLiteral("%1 stray byte(s) dropped").arg(dropped));
    }
    if (m_sending) {
        Timer3.start();
    }
}

void DownloadTransfer::handleReply(const QByteArray& text) {
    const link::DownloadReply reply = link::parseDownloadReply(text);
    if (reply.abandon && m_rules.closOrBackAbandons) {
        abandon(QStringLiteral("abandoned: the terminal is not in download mode"));
        message(kNotInDownloadMode, MsgIcon::Information);
        return;
    }
    if (reply.ackPos > 2 && reply.ackRecord) {
        m_state.ReceivedRecord = *reply.ackRecord;
    }
    if (!m_state.inFlight) {
        m_channel.log().event(QStringLiteral("a reply while no frame is awaited: dropped"));
        return;
    }
    int number = -1;
    const Verdict verdict = judge(reply, &number);
    const QString awaited = m_state.phase == DownloadPhase::Header ? QStringLiteral("header")
                            : m_state.phase == DownloadPhase::EndFrame
                                ? QStringLiteral("end frame")
                                : QString::number(m_state.ExpectedRecord);
    switch (verdict) {
        case Verdict::Ignore:
            m_channel.log().event(QStringLiteral("a reply without AACK or NACK: dropped"));
            return;
        case Verdict::Stale:
            // A late or repeated answer to a frame sent before: the answer to the frame on the
            // line is still awaited, within the same time-out.
            m_channel.log().event(
                QStringLiteral("stale answer for record %1 while %2 is awaited: dropped")
                    .arg(number)
                    .arg(awaited));
            countFailure(QStringLiteral("stale answer"));
            return;
        case Verdict::Early:
            m_channel.log().event(
                QStringLiteral("an answer that began %1 ms after the %2 was sent, before it could "
                               "cross the line (%3 ms): stale, dropped")
                    .arg(m_replyStartMs)
                    .arg(m_state.phase == DownloadPhase::Accounts
                             ? QStringLiteral("record %1").arg(m_state.ExpectedRecord)
                             : awaited)
                    .arg(m_channel.port().lineMs(m_sentBytes)));
            countFailure(QStringLiteral("stale answer"));
            return;
        case Verdict::Refuse: {
            Timer2.stop();
            m_state.inFlight = false;
            const QString why =
                reply.nack ? QStringLiteral("NACK for %1").arg(awaited)
                           : QStringLiteral("answer numbered %1 while %2 is awaited")
                                 .arg(number < 0 ? QStringLiteral("none") : QString::number(number),
                                      awaited);
            if (!countFailure(why)) {
                return;
            }
            m_state.stepBackDue = true;
            if (m_state.phase == DownloadPhase::Accounts && m_rules.checkRecordNumbers) {
                m_state.NextRecord = qMax(m_state.NextRecord - 2, 2);
                m_channel.log().event(
                    QStringLiteral("back two: record %1 next").arg(m_state.NextRecord));
            }
            showProgress();
            if (m_state.failuresSinceProgress > 1) {
                // A terminal that keeps refusing gets the frame again at the pace of the
                // time-outs, not as fast as it can answer.
                m_state.resendDue = true;
                Timer2.start();
                return;
            }
            resend();
            return;
        }
        case Verdict::Accept:
            break;
    }
    Timer2.stop();
    m_state.inFlight = false;
    m_state.stepBackDue = true;
    switch (m_state.phase) {
        case DownloadPhase::Header:
            m_state.phase = DownloadPhase::Building;
            m_state.HeaderPending = false;
            m_state.RetryCount = 0;
            m_state.failuresSinceProgress = 0;
            Timer1.start();
            return;
        case DownloadPhase::Accounts:
            if (m_state.ExpectedRecord > m_state.highestAcked) {
                m_state.highestAcked = m_state.ExpectedRecord;
                m_state.RetryCount = 0;  // progress
                m_state.failuresSinceProgress = 0;
            }
            ++m_state.NextRecord;
            showProgress();
            SendOneByOne();
            return;
        case DownloadPhase::EndFrame:
            complete();
            return;
        case DownloadPhase::Idle:
        case DownloadPhase::Building:
        case DownloadPhase::Done:
            return;
    }
}

void DownloadTransfer::complete() {
    m_channel.stopTimers();
    m_channel.forget();
    m_state.phase = DownloadPhase::Done;
    m_state.OverSent = false;
    m_state.LinkDone = true;
    m_replies.clear();
    m_channel.log().end(QStringLiteral("completed: %1 accounts sent").arg(m_state.AccountTotal));
    if (m_rules.finishOnCompletion) {
        m_channel.port().close();
    }
    setSending(false);
    emit progress(m_state.AccountTotal, m_state.AccountTotal);
    // Text replaced for the terminal is reported once, with the download's outcome.
    const QString note = DownloadImport::replacedTextNote(m_file);
    message(
        note.isEmpty() ? m_rules.completionText : m_rules.completionText + QLatin1Char('\n') + note,
        MsgIcon::Information);
    if (m_rules.finishOnCompletion) {
        emit completed();
    }
}

void DownloadTransfer::onTick(link::TransferTimer* timer) {
    if (timer == &Timer1) {
        Timer1.stop();
        if (m_sending && m_state.phase == DownloadPhase::Building) {
            SecondProtocol();
        }
    } else if (timer == &Timer2) {
        Timer2_Timer();
    } else if (timer == &Timer3) {
        Timer3_Timer();
    }
}

// No answer to the frame on the line within the response time-out: the frame is sent again
// (an account frame one record back on the first time-out after an answer).
void DownloadTransfer::Timer2_Timer() {
    if (m_state.LinkDone || !m_sending) {
        Timer2.stop();
        return;
    }
    if (m_state.resendDue) {
        Timer2.stop();
        resend();
        return;
    }
    if (!m_state.inFlight) {
        Timer2.stop();
        return;
    }
    // A reply still arriving is not cut off, once; noise does not hold the transfer.
    if (m_channel.extendForArrivingReply(Timer2, !m_replies.isEmpty(), link::kShortFrameSize,
                                         m_timings.pieceGapMs, m_state.extended)) {
        return;
    }
    Timer2.stop();
    m_replies.clear();  // a partial reply is thrown away
    if (!countFailure(QStringLiteral("no answer"))) {
        return;
    }
    m_state.inFlight = false;
    if (m_state.phase == DownloadPhase::Accounts) {
        if (m_state.stepBackDue) {
            m_state.NextRecord = qMax(m_state.NextRecord - 1, 2);
        }
        m_state.stepBackDue = false;
    }
    resend();
}

// The frame of the current phase again: the account frame NextRecord (or the end frame after
// the last account), the header or the end frame.
void DownloadTransfer::resend() {
    m_state.resendDue = false;
    if (m_state.phase == DownloadPhase::Accounts) {
        SendOneByOne();
    } else {
        transmit();
    }
}

// No traffic at all for a while. While a frame's own time-out is armed that time-out decides;
// the watchdog only sends when a frame on the line has none (it never puts a second frame on
// the line).
void DownloadTransfer::Timer3_Timer() {
    Timer3.stop();
    if (!m_sending) {
        return;
    }
    if (Timer2.isActive() || !m_state.inFlight) {
        Timer3.start();
        return;
    }
    m_channel.log().event(QStringLiteral("no traffic for %1 ms").arg(Timer3.interval()));
    m_replies.clear();
    m_state.inFlight = false;
    transmit();
}

}  // namespace kovrin
