// The end of an upload: the store, the end frame that releases the terminal, Store Again.
#include "core/Messages.h"
#include "link/AgentsServed.h"
#include "link/Frame.h"
#include "upload/KeptUpload.h"
#include "upload/UploadTransfer.h"

namespace kovrin {

namespace {
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
const QString kStoredNotReleased = QStringLiteral(
    " The collections are stored, but the terminal was not told that the upload is over: it "
    "still holds them. Clear its day only once the bank has the files.");
const QString kAskRelease = QStringLiteral(
    "The collections stored differ from the terminal's own totals, so the terminal was not "
    "told that the upload is over: it keeps its collections, and the day can be received "
    "again. Tell the terminal now that the upload is over?");
const QString kKept = QStringLiteral(
    "The collections stored differ from the terminal's own totals, and the terminal was not "
    "told that the upload is over: it keeps its collections. Compare the check file with the "
    "terminal's report, then receive the day again.");
}  // namespace

// The last record is in: the frames are backed up and stored, and only then is the terminal
// told that the upload is over; the outcome is shown after that, so that a terminal unplugged
// at the outcome message has been released. When what was stored differs from the terminal's
// totals the operator decides whether to release it. An upload that could not be made safe
// keeps its frames for Store Again, and the terminal keeps its data.
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
    if (m_totalsDiffer) {
        askRelease(nullptr);
        return;
    }
    sendOver();
    showOutcome();
    done(QStringLiteral("completed"));
}

bool UploadTransfer::store() {
    m_outcome.clear();
    const RestoreResult result = m_restore(m_pending, [this](const MessageRequest& r) {
        m_outcome << r;
        return r.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    });
    emit inProgress(false);
    if (result.safe) {
        m_totalsDiffer = result.totalsDiffer;
        if (m_kept) {
            m_kept->remove();  // stored: nothing more to resume
        }
        emit storeAgainAvailable(false);
        return true;
    }
    m_state.phase = UploadPhase::Unstored;
    m_channel.log().event(
        QStringLiteral("the upload is not safe yet: the end frame is not sent; "
                       "the frames are kept for Store Again"));
    if (m_kept) {
        m_kept->close();  // and on disk, should the program end before it is stored
    }
    emit activeChanged(false);
    emit storeAgainAvailable(true);
    showOutcome();
    message(kNotSafe, MsgIcon::Critical);
    return false;
}

void UploadTransfer::showOutcome() {
    const QList<MessageRequest> outcome = std::exchange(m_outcome, {});
    for (const MessageRequest& r : outcome) {
        m_channel.show(r);
    }
}

void UploadTransfer::done(const QString& logText) {
    m_state.phase = UploadPhase::Done;
    m_pending = UploadData{};
    m_channel.log().end(logText);
    link::AgentsServed::release(this);
    emit activeChanged(false);
}

void UploadTransfer::askRelease(std::function<void()> then) {
    m_state.phase = UploadPhase::Storing;
    showOutcome();
    m_askingRelease = true;
    m_channel.log().event(
        QStringLiteral("the stored totals differ from the terminal's: the "
                       "operator is asked whether to tell the terminal"));
    m_channel.ask(
        kAskRelease, MsgIcon::Question, MsgButtons::YesNo,
        [this, then = std::move(then)](MsgAnswer answer) {
            m_askingRelease = false;
            const bool release = answer == MsgAnswer::Yes;
            if (release) {
                sendOver();
                if (then) {
                    then();
                }
            } else {
                message(kKept, MsgIcon::Information);
            }
            done(release ? QStringLiteral("stored, totals differ; the terminal was "
                                          "told at the operator's word")
                         : QStringLiteral("stored, totals differ; the terminal keeps "
                                          "its collections"));
        },
        true);
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

void UploadTransfer::finishRelease(bool released, const QString& failure) {
    m_channel.stopTimers();
    m_state.awaiting = false;
    m_state.phase = UploadPhase::Storing;
    m_replies.clear();
    if (!released) {
        showOutcome();
        message(failure.isEmpty() ? kNotReleased : failure + kStoredNotReleased, MsgIcon::Critical);
        done(QStringLiteral("stored again; the terminal was not told"));
        return;
    }
    if (m_totalsDiffer) {
        askRelease([this] { message(kReleased, MsgIcon::Information); });
        return;
    }
    sendOver();
    showOutcome();
    message(kReleased, MsgIcon::Information);
    done(QStringLiteral("stored again; the terminal was told"));
}

}  // namespace kovrin
