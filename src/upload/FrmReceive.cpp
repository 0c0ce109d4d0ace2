#include "upload/FrmReceive.h"

#include "core/Messages.h"
#include "db/RestoreDataStore.h"
#include "link/AgentsServed.h"
#include "link/SerialLink.h"
#include "ui/FocusColours.h"
#include "ui/KeyFilter.h"
#include "ui/ScreenContext.h"
#include "ui/ScreenParts.h"
#include "upload/RestoreData.h"
#include "upload/UnstoredBackups.h"
#include "upload/UploadTransfer.h"

#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace kovrin {

namespace {

QLabel* valueLabel(const char* name) {
    auto* l = new QLabel;
    l->setObjectName(QLatin1String(name));
    l->setMinimumWidth(120);
    l->setFrameShape(QFrame::StyledPanel);
    return l;
}

}  // namespace

FrmReceive::FrmReceive(ScreenContext& ctx, QWidget* parent, link::SerialLink* port)
    : QWidget(parent), m_ctx(ctx) {
    setObjectName(QStringLiteral("frmReceive"));
    setWindowTitle(QStringLiteral("Receive Data"));
    setFont(QFont(QStringLiteral("Arial")));

    if (!port) {
        m_ownPort = configuredPort(ctx, QStringLiteral("Receive Data"));
        port = m_ownPort.get();
    }
    m_restore = std::make_unique<RestoreData>(ctx.db(), ctx.settings(), ctx.folder());
    m_restore->setClock(ctx.clock());
    m_transfer =
        std::make_unique<UploadTransfer>(*port, ctx.transferLog(), m_restore->restoreFunction());
    m_transfer->setKeepFolder(ctx.folder().path());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleLabel(QStringLiteral("Receive Data from HandHeld"), "lblTitle"));

    auto* frame = new QGroupBox;
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(frame);
    m_agent = valueLabel("Label4");
    m_date = valueLabel("Label6");
    m_totalTransact = valueLabel("TotalTransact");
    m_totalAmount = valueLabel("txtTotalAmount");
    m_record = valueLabel("lblRecord");
    m_bar = transferProgressBar();
    m_progress = new TransferProgressView(m_record, m_bar, this);
    grid->addWidget(new QLabel(QStringLiteral("Agent ID :")), 0, 0);
    grid->addWidget(m_agent, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Date (ddmm) :")), 1, 0);
    grid->addWidget(m_date, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Total No. of Transactions:")), 2, 0);
    grid->addWidget(m_totalTransact, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Total Amount Collected:")), 3, 0);
    grid->addWidget(m_totalAmount, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("Records Received :")), 4, 0);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(m_record);
    progressRow->addWidget(m_bar, 1);
    grid->addLayout(progressRow, 4, 1);
    layout->addWidget(frame);

    m_inProgress = new QLabel(QStringLiteral("Upload in Progress,Please wait ..."));
    m_inProgress->setObjectName(QStringLiteral("Label9"));
    m_inProgress->hide();
    layout->addWidget(m_inProgress);
    m_resumed = new QLabel;
    m_resumed->setObjectName(QStringLiteral("lblResumed"));
    m_resumed->hide();
    layout->addWidget(m_resumed);

    auto* buttons = new QHBoxLayout;
    m_receive = new QPushButton(QStringLiteral("&Receive"));
    m_receive->setObjectName(QStringLiteral("cmdSend"));
    m_rewrite = new QPushButton(QStringLiteral("&Write Files Again"));
    m_rewrite->setObjectName(QStringLiteral("cmdWriteFiles"));
    m_rewrite->setToolTip(
        QStringLiteral("Writes the bank upload file and the check file again "
                       "from the collections already stored"));
    m_storeAgain = new QPushButton(QStringLiteral("S&tore Again"));
    m_storeAgain->setObjectName(QStringLiteral("cmdStoreAgain"));
    m_storeAgain->setToolTip(
        QStringLiteral("Stores an upload whose store failed, from the records kept in memory "
                       "or from its backup file"));
    auto* exit = new QPushButton(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("cmdExit"));
    buttons->addWidget(m_receive);
    buttons->addWidget(m_storeAgain);
    buttons->addWidget(m_rewrite);
    buttons->addWidget(exit);
    layout->addLayout(buttons);

    connect(m_receive, &QPushButton::clicked, m_transfer.get(), &UploadTransfer::cmdSend_Click);
    KeyFilter::install(m_receive, [this](QKeyEvent* e) {
        if (KeyFilter::isEnter(e)) {
            m_transfer->cmdSend_Click();
            return true;
        }
        return false;
    });
    connect(m_rewrite, &QPushButton::clicked, this, &FrmReceive::writeFilesAgain);
    connect(m_storeAgain, &QPushButton::clicked, this, &FrmReceive::storeAgain);
    connect(m_transfer.get(), &UploadTransfer::storeAgainAvailable, this,
            &FrmReceive::updateStoreAgain);
    connect(m_transfer.get(), &UploadTransfer::resumed, this, [this](int record) {
        m_resumed->setText(QStringLiteral("Resuming at record %1").arg(record));
        m_resumed->show();
    });
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_transfer.get(), &UploadTransfer::receiveEnabled, m_receive, &QWidget::setEnabled);
    connect(m_transfer.get(), &UploadTransfer::inProgress, m_inProgress, &QWidget::setVisible);
    connect(m_transfer.get(), &UploadTransfer::headerShown, this,
            [this](const QString& agent, const QString& ddmm, int total, const QString& amount) {
                m_agent->setText(agent);
                m_date->setText(ddmm);
                // A header whose totals cannot be read still names the agent and the day.
                m_totalTransact->setText(total < 0 ? QStringLiteral("(unreadable)")
                                                   : QString::number(total));
                m_totalAmount->setText(amount.isEmpty() ? QStringLiteral("(unreadable)") : amount);
            });
    connect(m_transfer.get(), &UploadTransfer::progress, m_progress, &TransferProgressView::show);
    // The stored rows and the files must not be rewritten from under a running upload.
    connect(m_transfer.get(), &UploadTransfer::activeChanged, this, [this](bool active) {
        m_rewrite->setEnabled(!active);
        if (!active) {
            m_progress->flush();
        }
        updateStoreAgain();
    });
    connect(m_transfer.get(), &UploadTransfer::closeRequested, this, &QWidget::close,
            Qt::QueuedConnection);

    FocusColours::apply(this);
    updateStoreAgain();
}

FrmReceive::~FrmReceive() = default;

QString FrmReceive::pendingWork() const {
    if (m_transfer->isActive()) {
        return QStringLiteral(
            "an upload runs on the Receive Data screen (what it received is "
            "kept for the next Receive of the same terminal)");
    }
    if (m_transfer->holdsUnstoredUpload()) {
        return QStringLiteral(
            "the Receive Data screen holds an upload not stored yet, for Store "
            "Again (the terminal still holds it, and its backup file stays)");
    }
    return {};
}

void FrmReceive::stopTransfer(const QString& why) {
    m_transfer->stop(why);
}

bool FrmReceive::agentIsFree(const QString& agentId, const QString& what) {
    const QString holder = link::AgentsServed::holderOf(agentId, m_transfer.get());
    if (holder.isEmpty()) {
        return true;
    }
    Messages::info(objectName(),
                   QStringLiteral("Agent %1 is being served by %2 now, so %3 would race it. Wait "
                                  "until it has ended, then try again.")
                       .arg(agentId.trimmed(), holder, what));
    return false;
}

// Store Again is there for an upload kept in memory after a failed store, and for the backup
// files of uploads received but never stored.
void FrmReceive::updateStoreAgain() {
    m_storeAgain->setEnabled(!m_transfer->isActive() && (m_transfer->holdsUnstoredUpload() ||
                                                         !m_restore->unstoredBackups().isEmpty()));
}

void FrmReceive::storeAgain() {
    if (m_transfer->isActive()) {
        return;
    }
    if (m_transfer->storeAgain()) {
        updateStoreAgain();
        return;
    }
    const QStringList backups = m_restore->unstoredBackups();
    if (backups.isEmpty()) {
        Messages::info(objectName(), QStringLiteral("There is no upload waiting to be stored."));
        updateStoreAgain();
        return;
    }
    // Each backup is named by its agent, its day and when it was received.
    QVector<UnstoredBackup> uploads;
    QStringList names;
    for (const QString& b : backups) {
        uploads << describeUnstored(b);
        names << QStringLiteral("Agent %1, day %2, received %3  (%4)")
                     .arg(uploads.last().agentId.trimmed(), uploads.last().agentDateKey.mid(3),
                          uploads.last().receivedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm")),
                          QDir::toNativeSeparators(b));
    }
    int chosen = 0;
    if (backups.size() > 1) {
        bool ok = false;
        const QString name = QInputDialog::getItem(
            this, QStringLiteral("Store Again"),
            QStringLiteral("Upload received but never stored, by its backup file:"), names, 0,
            false, &ok);
        if (!ok) {
            return;
        }
        chosen = int(names.indexOf(name));
    }
    const UnstoredBackup& upload = uploads[chosen];
    if (!agentIsFree(upload.agentId, QStringLiteral("storing its upload from a backup file"))) {
        return;
    }
    // An upload of the agent received after this one is stored: this one would replace it.
    const std::optional<UploadInfo> stored =
        upload.agentId.isEmpty() ? std::nullopt
                                 : RestoreDataStore(m_ctx.db()).uploadInfo(upload.agentId);
    if (stored && stored->UploadedAt > upload.receivedAt &&
        Messages::show({objectName(),
                        QStringLiteral("%1 holds the upload of agent %2 for day %3, received "
                                       "%4. A newer upload of agent %2 is stored (day %5, "
                                       "received %6): storing this one replaces its collections "
                                       "and its files. Store the older upload?")
                            .arg(QDir::toNativeSeparators(upload.file), upload.agentId.trimmed(),
                                 upload.agentDateKey.mid(3),
                                 upload.receivedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm")),
                                 stored->AgentDateKey.mid(3),
                                 stored->UploadedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm"))),
                        MsgIcon::Question,
                        MsgButtons::YesNo,
                        {},
                        true}) != MsgAnswer::Yes) {
        return;
    }
    const MessageFunction message = [](const MessageRequest& r) { return Messages::show(r); };
    const RestoreOutcome out = m_restore->storeFromBackup(upload.file, message);
    if (out.safe) {
        Messages::info(objectName(),
                       QStringLiteral("The upload of agent %1 for day %2 in %3 is stored. The "
                                      "terminal was not told that the upload is over: if it "
                                      "still holds that day, clear it only once the bank has "
                                      "the files.")
                           .arg(upload.agentId.trimmed(), upload.agentDateKey.mid(3),
                                QDir::toNativeSeparators(upload.file)));
    }
    updateStoreAgain();
}

void FrmReceive::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        // The port is opened once the screen is up, so a failure is shown over it.
        QTimer::singleShot(0, m_transfer.get(), &UploadTransfer::Form_Load);
    }
}

void FrmReceive::writeFilesAgain() {
    if (m_transfer->isActive()) {
        return;  // the button is disabled meanwhile; a queued click changes nothing
    }
    const MessageFunction message = [](const MessageRequest& r) { return Messages::show(r); };
    QString agent = m_restore->lastAgentId();
    if (agent.isEmpty()) {
        DbStatus st;
        const QVector<UploadInfo> stored = RestoreDataStore(m_ctx.db()).uploadInfos(&st);
        if (!st) {
            Messages::critical(
                objectName(),
                QStringLiteral("The stored uploads could not be read: %1").arg(st.error));
            return;
        }
        if (stored.isEmpty()) {
            Messages::info(objectName(), QStringLiteral("No upload is stored yet: there are no "
                                                        "collections to write the files from."));
            return;
        }
        if (stored.size() == 1) {
            agent = stored.front().AgentID;
        } else {
            QStringList choices;
            for (const UploadInfo& u : stored) {
                choices << QStringLiteral("%1  (%2)").arg(u.AgentDateKey, u.AgentID.trimmed());
            }
            bool ok = false;
            const QString chosen = QInputDialog::getItem(
                this, QStringLiteral("Write Files Again"),
                QStringLiteral("Upload whose files are written again:"), choices, 0, false, &ok);
            if (!ok) {
                return;
            }
            agent = stored[choices.indexOf(chosen)].AgentID;
        }
    }
    if (!agentIsFree(agent, QStringLiteral("writing its files again"))) {
        return;
    }
    m_restore->writeFilesAgain(agent, message);
}

void FrmReceive::closeEvent(QCloseEvent* event) {
    // Frames kept for Store Again are not dropped unasked.
    if (m_transfer->holdsUnstoredUpload() &&
        Messages::show({objectName(),
                        QStringLiteral("This screen holds an upload that is not stored yet. "
                                       "Closing it drops it from Store Again: the terminal "
                                       "still holds its collections, and its records stay on "
                                       "disk for the next Receive. Close the screen?"),
                        MsgIcon::Question,
                        MsgButtons::YesNo,
                        {},
                        true}) != MsgAnswer::Yes) {
        event->ignore();
        return;
    }
    m_transfer->stop();  // nothing more is sent; the port is released with the screen
    event->accept();
}

}  // namespace kovrin
