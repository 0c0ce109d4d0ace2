#include "upload/UploadTransfer.h"

#include "core/Messages.h"
#include "link/Frame.h"
#include "upload/PartialUploads.h"

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmReceive");
const QString kCheckCable = QStringLiteral("Please Check the Communication Cable");
const QString kReceiveAgain = QStringLiteral(
    " The upload was stopped; check the cable and the terminal, then press Receive again.");
const QString kNoAnswer = QStringLiteral(
    "The HandHeld Terminal does not answer the request for its records. Put the terminal in "
    "Upload Mode, check the cable, then press Receive again.");
const QString kNotSafe = QStringLiteral(
    "The collections of this upload are not safe yet, so the terminal was not told that the "
    "upload is over: it still holds them. Put right what the message before this one says "
    "(for example, free disk space), then press Store Again.");
const QString kReleased = QStringLiteral(
    "The collections are stored, and the terminal was told that the upload is over.");
const QString kNotReleased = QStringLiteral(
    "The collections are stored, but the terminal did not answer as the one that sent them, so "
    "it was not told that the upload is over: its collections stay on it. To take them again, "
    "open this screen anew and press Receive; or clear its day once the bank has the files.");
// Requests without progress before the cable message (or, for the count, the message that
// the terminal does not answer).
constexpr int kRetriesPerMessage = 5;
// Count requests made to find the terminal again before it is told that the upload is over.
constexpr int kReleaseTries = 2;
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
    : QObject(parent),
      m_channel(port, log, kScreen, &Messages::show),
      m_restore(std::move(restore)) {
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
    return m_state.phase != UploadPhase::Idle && m_state.phase != UploadPhase::Done &&
           m_state.phase != UploadPhase::Unstored;
}

void UploadTransfer::setPartialUploads(PartialUploads* uploads, std::function<QString()> portKey) {
    m_partials = uploads;
    m_portKey = std::move(portKey);
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

void UploadTransfer::stop(const QString& why) {
    m_channel.stopTimers();
    m_channel.forget();
    const bool wasActive = isActive();
    if (wasActive && !finished()) {
        keepPartial();
        m_channel.log().end(QStringLiteral("stopped: ") + why);
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
    keepPartial();
    end(logText);
    message(text, MsgIcon::Critical);
}

void UploadTransfer::keepPartial() {
    if (!m_partials || m_state.phase != UploadPhase::Records || m_state.highestReceived < 2) {
        return;
    }
    PartialUpload p;
    p.nextRecord = m_state.highestReceived + 1;
    p.RecordFrames = m_state.RecordFrames.mid(0, p.nextRecord);
    const QString file = m_partials->keep(m_portKey ? m_portKey() : QString(), p);
    m_channel.log().event(
        QStringLiteral("kept the %1 transaction records received for the next "
                       "Receive on this port%2")
            .arg(p.nextRecord - 2)
            .arg(file.isEmpty() ? QString() : QStringLiteral(" (and in %1)").arg(file)));
}

bool UploadTransfer::resumeKept() {
    if (!m_partials) {
        return false;
    }
    const std::optional<PartialUpload> kept = m_partials->take(m_portKey ? m_portKey() : QString());
    if (!kept) {
        return false;
    }
    const int last = qMin(m_state.TotalRecords, kMaxUploadRecords) + 1;
    if (kept->RecordFrames.size() < 2 || kept->RecordFrames[0] != m_state.RecordFrames.value(0) ||
        kept->RecordFrames[1] != m_state.RecordFrames.value(1) || kept->nextRecord > last) {
        m_channel.log().event(QStringLiteral("the %1 records kept from an upload cut short were "
                                             "discarded: this upload's count or header differ")
                                  .arg(kept->nextRecord - 2));
        return false;
    }
    m_state.RecordFrames = kept->RecordFrames;
    m_state.highestReceived = kept->nextRecord - 1;
    m_channel.log().event(QStringLiteral("resuming at record %1").arg(kept->nextRecord));
    emit resumed(kept->nextRecord);
    emit inProgress(true);
    emit progress(kept->nextRecord - 2, m_state.TotalRecords);
    m_state.phase = UploadPhase::Records;
    m_state.stepBackDue = false;
    request(kept->nextRecord);
    return true;
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
    if (finished() || m_state.phase == UploadPhase::Unstored) {
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
            if (resumeKept()) {
                return;
            }
            m_state.phase = UploadPhase::Records;
            m_state.stepBackDue = false;
            request(2);
            return;
        }
        case UploadPhase::Releasing: {
            // The count again: the same terminal is on the line only if it is the count of
            // the upload just stored, byte for byte.
            finishRelease(frame == m_pending.RecordFrames.value(0));
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
        case UploadPhase::Unstored:
        case UploadPhase::Done:
            return;
    }
}

// The last record is in: the frames are backed up and stored, and only then is the terminal
// told that the upload is over. An upload that could not be made safe keeps its frames for
// Store Again, and the terminal keeps its data.
void UploadTransfer::lastRecord() {
    m_state.LinkDone = true;
    m_state.phase = UploadPhase::Storing;
    m_state.awaiting = false;
    m_channel.stopTimers();
    m_replies.clear();
    emit inProgress(true);
    m_pending = UploadData{};
    m_pending.RecordFrames = m_state.RecordFrames;
    m_pending.TotalRecords = qMin(m_state.TotalRecords, kMaxUploadRecords);
    m_pending.agentId = m_agentId;
    m_pending.header = m_header;
    m_channel.log().event(QStringLiteral("last record received; storing %1 transaction records")
                              .arg(m_pending.TotalRecords));
    if (!store()) {
        return;
    }
    sendOver();
    m_state.phase = UploadPhase::Done;
    m_pending = UploadData{};
    m_channel.log().end(QStringLiteral("completed"));
    emit activeChanged(false);
}

bool UploadTransfer::store() {
    const bool safe =
        m_restore(m_pending, [this](const MessageRequest& r) { return m_channel.show(r); });
    emit inProgress(false);
    if (safe) {
        emit storeAgainAvailable(false);
        return true;
    }
    m_state.phase = UploadPhase::Unstored;
    m_channel.log().event(
        QStringLiteral("the upload is not safe yet: the end frame is not sent; "
                       "the frames are kept for Store Again"));
    emit activeChanged(false);
    emit storeAgainAvailable(true);
    message(kNotSafe, MsgIcon::Critical);
    return false;
}

void UploadTransfer::sendOver() {
    if (!m_state.HeaderDecoded) {
        return;
    }
    const QByteArray over = link::buildEndFrame(link::kModeUpload);
    QString error;
    if (m_channel.send(over, &error)) {
        m_state.TxFrame = over;
        return;
    }
    m_channel.log().event(QStringLiteral("the end frame could not be sent: ") + error);
    message(QStringLiteral("The end frame could not be sent to the terminal: %1\nThe collections "
                           "received are stored, but the terminal was not told that the upload "
                           "is over: do not clear its day before checking the files.")
                .arg(error),
            MsgIcon::Critical);
}

bool UploadTransfer::storeAgain() {
    if (m_state.phase != UploadPhase::Unstored) {
        return false;
    }
    m_channel.log().event(QStringLiteral("Store Again"));
    m_state.phase = UploadPhase::Storing;
    emit activeChanged(true);
    emit inProgress(true);
    if (store()) {
        release();
    }
    return true;
}

void UploadTransfer::release() {
    if (!m_channel.port().isOpen()) {
        finishRelease(false);
        return;
    }
    m_state.phase = UploadPhase::Releasing;
    m_state.releaseTries = 0;
    m_replies.clear();
    m_channel.drain(QStringLiteral("received before the count request"));
    request(0);
}

void UploadTransfer::finishRelease(bool released) {
    m_channel.stopTimers();
    m_state.awaiting = false;
    m_replies.clear();
    if (released) {
        sendOver();
    }
    m_state.phase = UploadPhase::Done;
    m_pending = UploadData{};
    m_channel.log().end(released ? QStringLiteral("stored again; the terminal was told")
                                 : QStringLiteral("stored again; the terminal was not told"));
    emit activeChanged(false);
    message(released ? kReleased : kNotReleased,
            released ? MsgIcon::Information : MsgIcon::Critical);
}

void UploadTransfer::afterBadChecksum() {
    m_channel.drain(QStringLiteral("after a bad checksum"));
    ++m_state.CrcErrorCount;
    if (m_state.CrcErrorCount == 15) {
        // The answer may come later (a row of the Transfer Station): the upload is held
        // until then, and goes on here.
        m_channel.ask(QStringLiteral("Error in CRC,Press OK to try again or Cancel to Quit"),
                      MsgIcon::Critical, MsgButtons::OkCancel, [this](MsgAnswer a) {
                          if (a == MsgAnswer::Cancel) {
                              stop(QStringLiteral("Cancel at the checksum prompt"));
                              emit closeRequested();
                              return;
                          }
                          m_state.CrcErrorCount = 0;
                          askAgain();
                      });
        return;
    }
    askAgain();
}

void UploadTransfer::askAgain() {
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
    if ((m_state.LinkDone && m_state.phase != UploadPhase::Releasing) || !m_state.awaiting) {
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
    if (m_state.phase == UploadPhase::Releasing) {
        if (++m_state.releaseTries >= kReleaseTries) {
            finishRelease(false);
        } else {
            request(0);
        }
        return;
    }
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
