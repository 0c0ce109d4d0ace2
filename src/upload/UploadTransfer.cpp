#include "upload/UploadTransfer.h"

#include "core/Messages.h"
#include "link/AgentsServed.h"
#include "link/Frame.h"
#include "upload/KeptUpload.h"

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
    // A reply is looked at once it is whole: the line hands it over a few bytes at a time, and
    // each piece waking the transfer (and writing a log line) cost more than the reply itself.
    // A "NACK", bytes kept from before, or bytes while no request is on the line are looked at
    // as they come.
    m_channel.setReplyWhole(link::kLongFrameSize, [this](QByteArrayView kept) {
        return !m_state.awaiting || !m_replies.isEmpty() || kept.size() >= link::kLongFrameSize ||
               link::findWord(kept, "NACK") > 0;
    });
    setTimings({});
    connect(&port, &link::SerialLink::failed, this, [this](const QString& reason) {
        if (m_state.phase == UploadPhase::Releasing) {
            // Store Again was looking for the terminal: the collections are stored already.
            m_channel.log().event(QStringLiteral("the port failed: ") + reason);
            finishRelease(false, reason);
        } else if (isActive() && !finished()) {
            fail(QStringLiteral("failed: ") + reason, reason + kReceiveAgain);
        }
    });
}

UploadTransfer::~UploadTransfer() {
    stop();
    link::AgentsServed::release(this);
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

void UploadTransfer::setKeepFolder(const QString& programFolder) {
    m_kept = std::make_unique<KeptUpload>(programFolder);
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
    if (m_askingRelease) {
        // Stopped while the operator was asked whether to tell the terminal: it is not told.
        m_askingRelease = false;
        done(QStringLiteral("stored; the terminal was not told (stopped: %1)").arg(why));
    }
    if (m_state.phase == UploadPhase::Releasing) {
        done(QStringLiteral("stored again; the terminal was not told (stopped: %1)").arg(why));
    }
    if (m_state.phase == UploadPhase::Unstored) {
        // The frames kept for Store Again go (the screen asked first); the records stay on
        // disk for the next Receive of the same terminal, which still holds them.
        m_channel.log().end(QStringLiteral("the upload kept for Store Again was dropped: ") + why);
        m_state.phase = UploadPhase::Idle;
        m_pending = UploadData{};
        link::AgentsServed::release(this);
        emit storeAgainAvailable(false);
    }
    const bool wasActive = isActive();
    if (wasActive && !finished()) {
        keepPartial();
        m_channel.log().end(QStringLiteral("stopped: ") + why);
        m_state.phase = UploadPhase::Idle;
        link::AgentsServed::release(this);
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
    link::AgentsServed::release(this);
    emit receiveEnabled(true);
    emit activeChanged(false);
}

void UploadTransfer::fail(const QString& logText, const QString& text) {
    keepPartial();
    end(logText);
    message(text, MsgIcon::Critical);
}

void UploadTransfer::keepPartial() {
    if (!m_kept || m_kept->file().isEmpty()) {
        return;
    }
    m_kept->close();
    if (m_state.phase == UploadPhase::Records && m_kept->keptCount() > 2) {
        m_channel.log().event(QStringLiteral("the %1 transaction records received are kept in "
                                             "%2 for the next Receive of this terminal")
                                  .arg(m_kept->keptCount() - 2)
                                  .arg(m_kept->file()));
    }
}

// The count record names the agent: it must be the one the row was started for, and no
// other screen or row may be serving it.
bool UploadTransfer::serveAgent() {
    const QString agent = m_agentId.trimmed();
    if (!m_expectedAgent.trimmed().isEmpty() &&
        link::AgentsServed::key(m_expectedAgent) != link::AgentsServed::key(m_agentId)) {
        fail(QStringLiteral("failed: the terminal holds agent %1, not agent %2")
                 .arg(agent, m_expectedAgent.trimmed()),
             QStringLiteral("The terminal on this port holds the collections of agent %1, not "
                            "of agent %2 as typed: nothing was received or stored, and the "
                            "terminal keeps its collections. Connect agent %2's terminal, or "
                            "correct the agent, then press Receive again.")
                 .arg(agent, m_expectedAgent.trimmed()));
        return false;
    }
    const QString holder = link::AgentsServed::serve(m_agentId, this, m_holder);
    if (!holder.isEmpty()) {
        fail(QStringLiteral("failed: agent %1 is being served by %2").arg(agent, holder),
             QStringLiteral("Agent %1 is already being served by %2: one terminal per agent at "
                            "a time. Nothing was received or stored; once that has ended, "
                            "press Receive again.")
                 .arg(agent, holder));
        return false;
    }
    return true;
}

// The day's header is in: the records of this upload kept on disk (an upload of the same
// count and header cut short before, on any port) are taken up, and the upload goes on from
// the first record they lack. From here on every record received is kept as it arrives.
bool UploadTransfer::resumeKept() {
    if (!m_kept) {
        return false;
    }
    const KeptUpload::Start kept =
        m_kept->start(m_state.RecordFrames.value(0), m_state.RecordFrames.value(1));
    for (const QString& note : kept.notes) {
        m_channel.log().event(note);
    }
    if (!kept.error.isEmpty()) {
        m_channel.log().event(
            QStringLiteral("the records of this upload cannot be kept on disk: ") + kept.error);
    }
    const int last = qMin(m_state.TotalRecords, kMaxUploadRecords) + 1;
    const int next = qMin(int(kept.frames.size()), last + 1);
    if (next <= 2) {
        return false;
    }
    m_state.RecordFrames = kept.frames.mid(0, next);
    m_state.highestReceived = next - 1;
    m_channel.log().event(
        QStringLiteral("%1 transaction records kept in %2 taken up").arg(next - 2).arg(kept.file));
    m_state.phase = UploadPhase::Records;
    m_state.stepBackDue = false;
    emit inProgress(true);
    emit progress(next - 2, m_state.TotalRecords);
    if (next > last) {
        lastRecord();  // every record was kept: nothing more to ask for
        return true;
    }
    m_channel.log().event(QStringLiteral("resuming at record %1").arg(next));
    emit resumed(next);
    request(next);
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
    m_state.extended = false;
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
    // A count of transactions no frame can hold is damage the checksum missed: the frame is
    // asked for again like one with a bad checksum. A damaged reply never takes a slot, so a
    // good copy received before (a record asked for again after a time-out) stays.
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
    if (m_state.RecordFrames.size() <= k) {
        m_state.RecordFrames.resize(k + 1);
    }
    m_state.RecordFrames[k] = frame;
    m_state.stepBackDue = true;
    if (k > m_state.highestReceived) {
        m_state.highestReceived = k;
        m_state.RetryCount = 0;  // progress
        QString error;
        if (m_state.phase == UploadPhase::Records && m_kept && !m_kept->file().isEmpty() &&
            k == m_kept->keptCount() && !m_kept->append(frame, &error)) {
            m_channel.log().event(
                QStringLiteral("record %1 could not be kept on disk: %2").arg(k).arg(error));
        }
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
            if (!serveAgent()) {
                return;
            }
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
    // A reply still arriving is not cut off, once; noise does not hold the upload.
    if (m_channel.extendForArrivingReply(Timer1, !m_replies.isEmpty(), link::kLongFrameSize,
                                         m_timings.pieceGapMs, m_state.extended)) {
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
