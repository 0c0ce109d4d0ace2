#include "station/StationRow.h"

#include "link/SerialPortLink.h"
#include "upload/RestoreData.h"

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmStation");
// The holder named when Send Data or Receive Data finds a row's port busy.
const QString kHolder = QStringLiteral("Transfer Station");
}  // namespace

StationRow::StationRow(int port, StationServices services, QObject* parent)
    : QObject(parent), m_port(port), m_services(std::move(services)) {
    m_line = std::make_unique<link::SerialPortLink>(
        m_services.folder.path(), [port] { return QString::number(port); }, kHolder);
    // Another screen finding the port busy is told which row to stop, not to close the
    // station, which would stop every row.
    m_line->setDirectory(m_services.ports);
    m_line->setReleaseAdvice(QStringLiteral("Stop its row of port %1 (the other rows go on), "
                                            "then try again.")
                                 .arg(port));
    m_restore =
        std::make_unique<RestoreData>(m_services.db, m_services.settings, m_services.folder);
    m_restore->setClock(m_services.clock);
}

StationRow::~StationRow() {
    // The transfers go before the line they use.
    m_download.reset();
    m_upload.reset();
}

link::PortDevice StationRow::device() const {
    const QString port = QString::number(m_port);
    return m_services.ports ? m_services.ports->resolve(m_services.folder.path(), port)
                            : link::resolvePort(m_services.folder.path(), port);
}

void StationRow::setTimings(const DownloadTimings& download, const UploadTimings& upload) {
    m_downloadTimings = download;
    m_uploadTimings = upload;
    if (m_download) {
        m_download->setTimings(download);
    }
    if (m_upload) {
        m_upload->setTimings(upload);
    }
}

QString StationRow::logText(int port, const QString& text) {
    return QStringLiteral("Port %1: %2").arg(port).arg(text);
}

QString StationRow::stateText(RowState state, StationDirection direction) {
    switch (state) {
        case RowState::Idle:
            return QString();
        case RowState::Running:
            return direction == StationDirection::Download ? QStringLiteral("Sending")
                                                           : QStringLiteral("Receiving");
        case RowState::Asking:
            return QStringLiteral("Answer needed");
        case RowState::Completed:
            return QStringLiteral("Completed");
        case RowState::Failed:
            return QStringLiteral("Failed");
        case RowState::Stopped:
            return QStringLiteral("Stopped");
        case RowState::Unstored:
            return QStringLiteral("Not stored");
        case RowState::Differs:
            return QStringLiteral("Differs");
    }
    return QString();
}

QString StationRow::stationWords(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("open this screen anew and press Receive"),
              QStringLiteral("press Start again on this row"));
    t.replace(QStringLiteral("press Receive again"), QStringLiteral("press Start again"));
    t.replace(QStringLiteral("press Send again"), QStringLiteral("press Start again"));
    t.replace(QStringLiteral("press Store Again"), QStringLiteral("press Store Again on this row"));
    return t;
}

namespace {
int severity(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Critical:
            return 3;
        case MsgIcon::Warning:
            return 2;
        case MsgIcon::Question:
        case MsgIcon::Information:
            return 1;
        case MsgIcon::None:
            return 0;
    }
    return 0;
}
}  // namespace

void StationRow::note(const QString& text, MsgIcon icon) {
    const QString words = stationWords(text);
    m_services.operatorLog.append(kScreen, logText(m_port, words));
    if (!m_stepOpen) {
        // The first message of a step: the messages shown with it, before the program goes
        // back to its events, belong to the same step.
        m_stepOpen = true;
        m_stepMessages.clear();
        m_stepSeverity = -1;
        QMetaObject::invokeMethod(
            this, [this] { m_stepOpen = false; }, Qt::QueuedConnection);
    }
    m_stepMessages << words;
    m_details = m_stepMessages.join(QStringLiteral("\n\n"));
    const int s = severity(icon);
    if (s > m_stepSeverity) {
        m_stepSeverity = s;
        m_message = words;
        m_icon = icon;
    } else if (s == m_stepSeverity) {
        m_message += QLatin1Char('\n') + words;  // a failure and what to do about it
    }
    emit changed();
}

void StationRow::setState(RowState state) {
    if (m_state != state) {
        m_state = state;
        emit changed();
    }
}

// A message of the row's transfer: shown in the row, and the transfer goes on at once.
// None of the transfers' plain messages asks a question; should one come with buttons, its
// first button answers it, as the operator would see it answered in the log.
MsgAnswer StationRow::present(const MessageRequest& request) {
    note(request.text, request.icon);
    return request.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
}

// A prompt of the row's transfer: it waits in the row for OK or Cancel, and only this row's
// transfer is held meanwhile.
void StationRow::ask(const MessageRequest& request, std::function<void(MsgAnswer)> answered) {
    m_prompt = stationWords(request.text);
    m_promptYesNo = request.buttons == MsgButtons::YesNo;
    m_answered = std::move(answered);
    setState(RowState::Asking);
    note(request.text, request.icon);
}

void StationRow::answer(MsgAnswer answer) {
    if (!m_answered) {
        return;
    }
    const std::function<void(MsgAnswer)> answered = std::move(m_answered);
    m_answered = nullptr;
    m_prompt.clear();
    if (m_promptYesNo) {
        answer =
            answer == MsgAnswer::Cancel || answer == MsgAnswer::No ? MsgAnswer::No : MsgAnswer::Yes;
    }
    const char* words[] = {"answered OK", "answered Cancel", "answered Yes", "answered No"};
    m_services.operatorLog.append(kScreen,
                                  logText(m_port, QLatin1String(words[static_cast<int>(answer)])));
    setState(RowState::Running);
    emit changed();
    answered(answer);
}

void StationRow::makeDownload() {
    m_upload.reset();
    m_download.reset();
    m_download = std::make_unique<DownloadTransfer>(m_services.db, m_services.settings,
                                                    m_services.folder.path(), *m_line,
                                                    m_services.transferLog);
    DownloadTransfer& d = *m_download;
    d.setHolder(QStringLiteral("port %1 of the Transfer Station").arg(m_port));
    d.setRules(DownloadRules::forRevision(m_services.revision));
    d.setClock(m_services.clock);
    d.setTimings(m_downloadTimings);
    d.setPresenter([this](const MessageRequest& r) { return present(r); });
    connect(&d, &DownloadTransfer::progress, this, [this](int done, int total) {
        m_done = done;
        m_total = total;
        emit progress(done, total);
    });
    connect(&d, &DownloadTransfer::sendingChanged, this, [this](bool sending) {
        if (!sending) {
            settleLater();
        }
    });
}

void StationRow::makeUpload() {
    m_download.reset();
    m_upload.reset();
    m_upload = std::make_unique<UploadTransfer>(*m_line, m_services.transferLog,
                                                m_restore->restoreFunction());
    UploadTransfer& u = *m_upload;
    u.setTimings(m_uploadTimings);
    // Kept on disk as they arrive: an upload cut short here goes on from any screen or row.
    u.setKeepFolder(m_services.folder.path());
    u.setHolder(QStringLiteral("port %1 of the Transfer Station").arg(m_port));
    u.setPresenters([this](const MessageRequest& r) { return present(r); },
                    [this](const MessageRequest& r, std::function<void(MsgAnswer)> answered) {
                        ask(r, std::move(answered));
                    });
    connect(&u, &UploadTransfer::progress, this, [this](int done, int total) {
        m_done = done;
        m_total = total;
        emit progress(done, total);
    });
    connect(&u, &UploadTransfer::activeChanged, this, [this](bool active) {
        if (!active) {
            settleLater();
        }
    });
    connect(&u, &UploadTransfer::closeRequested, this, [this] { m_cancelled = true; });
}

bool StationRow::transferActive() const {
    return (m_download && m_download->isSending()) || (m_upload && m_upload->isActive());
}

bool StationRow::start(const StationEntries& entries) {
    if (isBusy()) {
        return false;
    }
    m_stopping = false;
    m_cancelled = false;
    m_prompt.clear();
    m_answered = nullptr;
    m_stepOpen = false;  // what the row shows next comes from this start
    if (m_state == RowState::Unstored && m_upload && m_upload->holdsUnstoredUpload()) {
        // Store Again, from the frames kept; the terminal is told once it is found again.
        setState(RowState::Running);
        m_upload->storeAgain();
        settle();
        return true;
    }
    m_entries = entries;
    m_done = 0;
    m_total = 0;
    m_message.clear();
    m_details.clear();
    m_icon = MsgIcon::None;
    emit progress(0, 0);
    if (entries.agent.trimmed().isEmpty()) {
        setState(RowState::Failed);
        note(QStringLiteral("Enter Agent ID"), MsgIcon::Information);
        return false;
    }
    setState(RowState::Running);
    if (entries.direction == StationDirection::Download) {
        makeDownload();
        m_download->cmdSend_Click({entries.agent, entries.date, entries.transactions});
    } else {
        makeUpload();
        // The terminal must hold the agent of the row.
        m_upload->setExpectedAgent(entries.agent);
        m_upload->cmdSend_Click();
    }
    if (!transferActive()) {
        settle();  // refused before anything went out: the reason is the row's message
        return false;
    }
    return true;
}

void StationRow::refuse(const QString& text) {
    if (isBusy()) {
        return;
    }
    setState(RowState::Failed);
    note(text, MsgIcon::Information);
}

void StationRow::stop(const QString& why) {
    if (!isBusy() && m_state != RowState::Unstored) {
        return;
    }
    m_stopping = true;
    m_answered = nullptr;  // the transfer forgets its prompt when it stops
    m_prompt.clear();
    if (m_download) {
        m_download->stop(why);
    }
    if (m_upload) {
        m_upload->stop(why);
    }
    m_services.operatorLog.append(kScreen, logText(m_port, QStringLiteral("stopped")));
    setState(RowState::Stopped);
    releasePort();
}

void StationRow::settleLater() {
    if (!m_settleQueued) {
        m_settleQueued = true;
        QMetaObject::invokeMethod(this, &StationRow::settle, Qt::QueuedConnection);
    }
}

// Run once the step that ended the transfer has finished (its last message is shown).
void StationRow::settle() {
    m_settleQueued = false;
    if (!isBusy() || transferActive()) {
        return;
    }
    m_answered = nullptr;  // a prompt left when the transfer ended answers nothing
    m_prompt.clear();
    if (m_upload && m_upload->holdsUnstoredUpload()) {
        setState(RowState::Unstored);  // the port stays held: Store Again asks the terminal
        return;
    }
    const bool done = (m_download && m_download->state().phase == DownloadPhase::Done) ||
                      (m_upload && m_upload->state().phase == UploadPhase::Done);
    if (done && m_upload && m_upload->totalsDiffer()) {
        setState(RowState::Differs);  // the entries stay: the day can be received again
    } else if (done) {
        setState(RowState::Completed);
    } else if (m_stopping || m_cancelled) {
        setState(RowState::Stopped);
    } else {
        setState(RowState::Failed);
    }
    releasePort();
}

// The port is let go as soon as the row's transfer has ended, for the other screens.
void StationRow::releasePort() {
    m_line->close();
}

}  // namespace kovrin
