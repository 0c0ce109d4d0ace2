#include "upload/UploadTransfer.h"

#include "link/Frame.h"

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmReceive");
const QString kCheckCable = QStringLiteral("Please Check the Communication Cable");
const QString kReceiveAgain = QStringLiteral(
    " The upload was stopped; check the cable and the terminal, then press Receive again.");
const QString kNoAnswer = QStringLiteral(
    "The HandHeld Terminal does not answer the request for its records. Put the terminal in "
    "Upload Mode, check the cable, then press Receive again.");
// Requests without progress before the cable message (or, for the count, the message that
// the terminal does not answer).
constexpr int kRetriesPerMessage = 5;
}  // namespace

void UploadState::startUpload() {
    const bool linkDone = LinkDone;
    *this = UploadState{};
    LinkDone = linkDone;
    phase = UploadPhase::Count;
    TotalRecords = 5000;
}

UploadTransfer::UploadTransfer(link::SerialLink& port, link::TransferLog& log, Restore restore,
                               QObject* parent)
    : QObject(parent), m_channel(port, log, kScreen), m_restore(std::move(restore)) {
    m_channel.setHandlers([this] { MSComm1_OnComm(); },
                          [this](link::TransferTimer* t) { onTick(t); });
    for (link::TransferTimer* t : {&Timer1, &Timer3, &DrainTimer}) {
        m_channel.addTimer(*t);
    }
    setTimings({});
    connect(&port, &link::SerialLink::failed, this, [this](const QString& reason) {
        if (isActive() && !finished()) {
            fail(QStringLiteral("failed: ") + reason, reason + kReceiveAgain);
        }
    });
}

UploadTransfer::~UploadTransfer() {
    stop();
}

void UploadTransfer::setTimings(const UploadTimings& t) {
    m_timings = t;
    Timer1.setInterval(t.replyMs);
    Timer3.setInterval(t.inactivityMs);
    DrainTimer.setInterval(t.drainMs);
}

bool UploadTransfer::isActive() const {
    return m_state.phase != UploadPhase::Idle && m_state.phase != UploadPhase::Done;
}

MsgAnswer UploadTransfer::message(const QString& text, MsgIcon icon, MsgButtons buttons) {
    return m_channel.message(text, icon, buttons);
}

void UploadTransfer::Form_Load() {
    m_state.LinkDone = false;
    emit receiveEnabled(true);
    QString error;
    if (!m_channel.port().open(&error)) {
        message(error, MsgIcon::Critical);
    }
}

void UploadTransfer::stop() {
    m_channel.stopTimers();
    m_channel.forget();
    const bool wasActive = isActive();
    if (wasActive && !finished()) {
        m_channel.log().end(QStringLiteral("stopped: the upload screen was closed"));
        m_state.phase = UploadPhase::Idle;
    }
    m_state.awaiting = false;
    m_channel.port().close();
    if (wasActive && !finished()) {
        emit activeChanged(false);
    }
}

void UploadTransfer::end(const QString& logText) {
    m_channel.stopTimers();
    m_channel.forget();
    m_state.awaiting = false;
    m_state.phase = UploadPhase::Idle;
    m_replies.clear();
    m_channel.log().end(logText);
    emit receiveEnabled(true);
    emit activeChanged(false);
}

void UploadTransfer::fail(const QString& logText, const QString& text) {
    end(logText);
    message(text, MsgIcon::Critical);
}

bool UploadTransfer::request(int recordNo) {
    m_state.RecordNo = recordNo;
    m_state.TxFrame = link::buildRequestFrame(quint16(recordNo));
    QString error;
    if (!m_channel.send(m_state.TxFrame, &error)) {
        fail(QStringLiteral("failed: ") + error, error + kReceiveAgain);
        return false;
    }
    m_state.awaiting = true;
    m_state.attemptCounted = false;
    Timer1.start();
    Timer3.start();
    return true;
}

void UploadTransfer::cmdSend_Click() {
    if (finished()) {
        return;  // one opening of the screen performs one upload
    }
    if (isActive()) {
        m_channel.log().event(QStringLiteral("Receive pressed during the upload: ignored"));
        return;
    }
    if (!m_channel.port().isOpen()) {
        QString error;
        if (!m_channel.port().open(&error)) {
            message(QStringLiteral("The serial port is not open, so nothing can be received. %1")
                        .arg(error),
                    MsgIcon::Critical);
            return;
        }
    }
    m_channel.log().begin(QStringLiteral("upload"));
    m_channel.stopTimers();
    m_channel.forget();
    m_state.startUpload();
    m_replies.clear();
    // Whatever waits at the port now came before the request: it is not its reply.
    m_channel.drain(QStringLiteral("received before the count request"));
    emit receiveEnabled(false);
    emit activeChanged(true);
    request(0);  // FifthProtocol
}

bool UploadTransfer::countFailure(const QString& why) {
    if (m_state.attemptCounted) {
        return true;
    }
    m_state.attemptCounted = true;
    ++m_state.RetryCount;
    m_channel.log().event(QStringLiteral("%1 for record %2 (without progress: %3)")
                              .arg(why)
                              .arg(m_state.RecordNo)
                              .arg(m_state.RetryCount));
    if (m_state.RetryCount < kRetriesPerMessage) {
        return true;
    }
    m_state.RetryCount = 0;
    if (m_state.phase == UploadPhase::Count) {
        // The terminal never answered the count request: it is not in upload mode, or
        // the cable is not there.
        fail(QStringLiteral("failed: no answer to the count request"), kNoAnswer);
        return false;
    }
    message(kCheckCable, MsgIcon::Critical);
    return isActive();
}

void UploadTransfer::MSComm1_OnComm() {
    const QByteArray in = m_channel.receive();
    if (!m_state.awaiting) {
        if (!in.isEmpty()) {
            m_channel.log().event(QStringLiteral("no request is on the line: dropped"));
        }
        return;
    }
    Timer3.stop();
    m_replies.append(in);
    while (m_state.awaiting) {
        const std::optional<link::UploadReplyReader::Reply> reply = m_replies.next();
        if (!reply) {
            break;
        }
        if (reply->kind == link::UploadReplyReader::Kind::Nack) {
            m_channel.log().event(QStringLiteral("NACK for record %1").arg(m_state.RecordNo));
            message(QStringLiteral("No Acknowledgement from HandHeld Terminal"),
                    MsgIcon::Information);
            if (!countFailure(QStringLiteral("NACK"))) {
                return;
            }
            continue;  // the time-out asks again
        }
        handleFrame(reply->bytes);
    }
    if (const int dropped = m_replies.takeDropped()) {
        m_channel.log().event(QStringLiteral("%1 stray byte(s) dropped").arg(dropped));
    }
    if (m_state.awaiting) {
        Timer3.start();
    }
}

void UploadTransfer::handleFrame(const QByteArray& frame) {
    const int number = link::recordNumberOf(frame).value_or(-1);
    if (number != m_state.RecordNo) {
        // A late or repeated reply to another request: the reply to this one is still
        // awaited, within the same time-out.
        m_channel.log().event(QStringLiteral("reply numbered %1 while record %2 is asked for: "
                                             "discarded")
                                  .arg(number)
                                  .arg(m_state.RecordNo));
        countFailure(QStringLiteral("reply for another record"));
        return;
    }
    Timer1.stop();
    m_state.awaiting = false;
    m_replies.discard();  // whatever came with the reply came before the next request
    const int k = m_state.RecordNo;
    if (m_state.RecordFrames.size() <= k) {
        m_state.RecordFrames.resize(k + 1);
    }
    m_state.RecordFrames[k] = frame;

    // A count of transactions no frame can hold is damage the checksum missed: the frame is
    // asked for again like one with a bad checksum.
    const bool badCount = m_state.phase == UploadPhase::Records &&
                          !link::countByteFits(static_cast<quint8>(frame[132]));
    if (!link::CheckCRC(frame) || badCount) {
        m_channel.log().event(badCount ? QStringLiteral("record %1: its number of transactions "
                                                        "(byte %2) cannot be right")
                                             .arg(k)
                                             .arg(quint8(frame[132]), 2, 16, QLatin1Char('0'))
                                       : QStringLiteral("bad checksum on record %1").arg(k));
        // Whatever else the terminal sends now belongs to the bad reply: it is thrown away
        // for a moment before the record is asked for again.
        m_channel.drain(QStringLiteral("after a bad checksum"));
        DrainTimer.start();
        return;
    }
    m_state.stepBackDue = true;
    if (k > m_state.highestReceived) {
        m_state.highestReceived = k;
        m_state.RetryCount = 0;  // progress
    }

    switch (m_state.phase) {
        case UploadPhase::Count: {
            const link::CountInfo count = link::DecodeFifthProtocol(frame);
            if (!count.ok) {
                fail(QStringLiteral("failed: bad count record: ") + count.reason,
                     QStringLiteral("The terminal's count record cannot be read (%1). Nothing "
                                    "was stored; press Receive to try again.")
                         .arg(count.reason));
                return;
            }
            m_state.TotalRecords = count.TotalRecords;
            m_agentId = count.agentId;
            m_channel.log().event(QStringLiteral("count: %1 transaction records, agent %2")
                                      .arg(m_state.TotalRecords)
                                      .arg(m_agentId.trimmed()));
            m_state.phase = UploadPhase::Header;
            request(1);  // ThirdProtocol
            return;
        }
        case UploadPhase::Header: {
            const link::HeaderInfo header = link::DecodeThirdProtocol(frame);
            if (!header.ok) {
                fail(QStringLiteral("failed: bad header record: ") + header.reason,
                     QStringLiteral("The terminal's header record cannot be read (%1). Nothing "
                                    "was stored; press Receive to try again.")
                         .arg(header.reason));
                return;
            }
            m_header = header;
            m_state.HeaderDecoded = true;
            if (!header.totalsRead) {
                // The day is known; its totals cannot be compared with what is received.
                m_channel.log().event(QStringLiteral("header totals not read: ") + header.reason);
            }
            emit headerShown(header.agentNumber, header.dateDdmm,
                             header.totalsRead ? header.TotalTransactions : -1,
                             header.totalsRead ? header.amountText : QString());
            if (m_state.TotalRecords == 0) {
                lastRecord();  // no transaction records follow the header
                return;
            }
            m_state.phase = UploadPhase::Records;
            m_state.stepBackDue = false;
            request(2);
            return;
        }
        case UploadPhase::Records: {
            const bool isLast = k - 1 == m_state.TotalRecords || k - 1 == kMaxUploadRecords;
            emit inProgress(true);
            emit progress(k - 1, m_state.TotalRecords);
            if (isLast) {
                lastRecord();
                return;
            }
            m_state.CrcErrorCount = 0;
            request(k + 1);  // FourthProtocol
            return;
        }
        case UploadPhase::Idle:
        case UploadPhase::Storing:
        case UploadPhase::Done:
            return;
    }
}

void UploadTransfer::lastRecord() {
    m_state.LinkDone = true;
    m_state.phase = UploadPhase::Storing;
    m_state.awaiting = false;
    m_channel.stopTimers();
    m_replies.clear();
    emit inProgress(true);
    if (m_state.HeaderDecoded) {
        const QByteArray over = link::buildEndFrame(link::kModeUpload);
        QString error;
        if (m_channel.send(over, &error)) {
            m_state.TxFrame = over;
        } else {
            m_channel.log().event(QStringLiteral("the end frame could not be sent: ") + error);
            message(QStringLiteral("The end frame could not be sent to the terminal: %1\nThe "
                                   "collections received are stored now, but the terminal was "
                                   "not told that the upload is over: do not clear its day "
                                   "before checking the files.")
                        .arg(error),
                    MsgIcon::Critical);
        }
    }
    UploadData data;
    data.RecordFrames = m_state.RecordFrames;
    data.TotalRecords = qMin(m_state.TotalRecords, kMaxUploadRecords);
    data.agentId = m_agentId;
    data.header = m_header;
    m_channel.log().event(QStringLiteral("last record received; storing %1 transaction records")
                              .arg(data.TotalRecords));
    const bool dealtWith =
        m_restore(data, [this](const MessageRequest& r) { return m_channel.show(r); });
    emit inProgress(false);
    if (!dealtWith) {
        // Not stored: the operator is told why by the store; Receive comes back so that the
        // upload can be received again.
        m_state.LinkDone = false;
        end(QStringLiteral("failed: the upload could not be stored"));
        return;
    }
    m_state.phase = UploadPhase::Done;
    m_channel.stopTimers();
    m_channel.forget();
    m_channel.log().end(QStringLiteral("completed"));
    emit activeChanged(false);
}

void UploadTransfer::afterBadChecksum() {
    m_channel.drain(QStringLiteral("after a bad checksum"));
    ++m_state.CrcErrorCount;
    if (m_state.CrcErrorCount == 15) {
        const MsgAnswer a = message(QStringLiteral("Error in CRC,Press OK to try again or Cancel "
                                                   "to Quit"),
                                    MsgIcon::Critical, MsgButtons::OkCancel);
        if (a == MsgAnswer::Cancel) {
            stop();
            emit closeRequested();
            return;
        }
        m_state.CrcErrorCount = 0;
    }
    if (!isActive()) {
        return;
    }
    request(m_state.RecordNo);
}

void UploadTransfer::onTick(link::TransferTimer* timer) {
    if (timer == &Timer1) {
        Timer1_Timer();
    } else if (timer == &Timer3) {
        Timer3_Timer();
    } else if (timer == &DrainTimer) {
        if (isActive() && !finished()) {
            afterBadChecksum();
        }
    }
}

// No complete reply within the reply time-out: the request goes out again (one record back
// on the first time-out after a reply).
void UploadTransfer::Timer1_Timer() {
    if (m_state.LinkDone || !m_state.awaiting) {
        Timer1.stop();
        return;
    }
    if (!m_replies.isEmpty() && m_channel.msSinceArrival() < m_timings.pieceGapMs) {
        Timer1.startFor(m_timings.pieceGapMs);  // a reply is still arriving: not cut off
        return;
    }
    Timer1.stop();
    m_state.awaiting = false;
    m_replies.clear();  // a partial reply is thrown away
    if (!countFailure(QStringLiteral("no complete reply"))) {
        return;
    }
    if (m_state.phase == UploadPhase::Records && m_state.stepBackDue && m_state.RecordNo > 2) {
        --m_state.RecordNo;
    }
    m_state.stepBackDue = false;
    request(m_state.RecordNo);
}

// No traffic at all for a while. The request on the line has its own time-out, which decides;
// the inactivity timer only asks again for a request left without one.
void UploadTransfer::Timer3_Timer() {
    Timer3.stop();
    if (!isActive() || finished()) {
        return;
    }
    if (Timer1.isActive() || DrainTimer.isActive() || !m_state.awaiting) {
        Timer3.start();
        return;
    }
    m_channel.log().event(QStringLiteral("no traffic for %1 ms").arg(Timer3.interval()));
    m_replies.clear();
    request(m_state.RecordNo);
}

}  // namespace kovrin
