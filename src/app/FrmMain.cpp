#include "app/FrmMain.h"

#include "app/AppContext.h"
#include "app/FrmConfigure.h"
#include "app/FrmDrive.h"
#include "core/Messages.h"
#include "core/OperatorLog.h"
#include "download/DownloadTransfer.h"
#include "download/FrmSend.h"
#include "security/FrmPassEntry.h"
#include "security/FrmPassword.h"
#include "station/FrmStation.h"
#include "station/Station.h"
#include "ui/FocusColours.h"
#include "upload/FrmReceive.h"

#include "reports/FrmReport.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kovrin {

namespace {
QPushButton* addButton(QLayout* layout, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption);
    b->setObjectName(QLatin1String(name));
    b->setMinimumHeight(32);
    layout->addWidget(b);
    return b;
}
}  // namespace

FrmMain::FrmMain(AppContext& ctx, QWidget* parent) : QWidget(parent), m_ctx(ctx) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kovrin Hand-Held Interface Software"));

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Kovrin Hand-Held Interface Software"));
    heading->setObjectName(QStringLiteral("lblHeading"));
    QFont f = heading->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    heading->setFont(f);
    heading->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(versionText(ctx.revision()));
    version->setObjectName(QStringLiteral("lblVersion"));
    version->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);
    layout->addWidget(version);

    auto* frame = new QGroupBox;
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* buttons = new QVBoxLayout(frame);
    QPushButton* send = addButton(buttons, "cmdSend", QStringLiteral("&SEND DATA"));
    QPushButton* receive = addButton(buttons, "cmdReceive", QStringLiteral("&RECEIVE DATA"));
    QPushButton* configure = addButton(buttons, "cmdConfigure", QStringLiteral("&CONFIGURE"));
    QPushButton* drive = addButton(buttons, "cmdDrive", QStringLiteral("&DRIVE SELECTION"));
    QPushButton* password = addButton(buttons, "cmdPassword", QStringLiteral("P&ASSWORD"));
    addButton(buttons, "cmdReport", QStringLiteral("RE&PORT"));
    QPushButton* station = addButton(buttons, "cmdStation", QStringLiteral("&TRANSFER STATION"));
    QPushButton* exit = addButton(buttons, "cmdExit", QStringLiteral("&EXIT"));
    layout->addWidget(frame);

    connect(configure, &QPushButton::clicked, this,
            [this] { openPasswordEntry(SettingsScreen::Configuration); });
    connect(drive, &QPushButton::clicked, this,
            [this] { openPasswordEntry(SettingsScreen::FolderSelection); });
    connect(password, &QPushButton::clicked, this, [this] { openPassword(); });
    connect(send, &QPushButton::clicked, this, [this] { openSend(); });
    connect(receive, &QPushButton::clicked, this, [this] { openReceive(); });
    connect(station, &QPushButton::clicked, this, [this] { openStation(); });
    connect(exit, &QPushButton::clicked, this, &QWidget::close);

    FocusColours::apply(this);

    // "RE&PORT": the report screen, modal to the menu; the menu waits until it is closed, the
    // Transfer Station does not.
    connect(findChild<QPushButton*>(QStringLiteral("cmdReport")), &QPushButton::clicked, this,
            [this] {
                FrmReport report(m_ctx, this);
                report.exec();
            });
}

FrmMain::~FrmMain() {
    stopTransfers(QStringLiteral("the program was closed"));
    delete m_station.data();
    delete m_receive.data();
}

template <typename Screen>
Screen* FrmMain::openSingle(QPointer<Screen>& slot) {
    if (!slot) {
        // A child window of the menu: it goes when the menu goes, without its own closing steps.
        slot = new Screen(m_ctx, this);
        slot->setWindowFlag(Qt::Window);
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

FrmPassEntry* FrmMain::openPasswordEntry(SettingsScreen next) {
    m_nextSettingsScreen = next;
    const bool fresh = !m_passEntry;
    FrmPassEntry* entry = openSingle(m_passEntry);
    if (fresh) {
        connect(entry, &FrmPassEntry::passwordAccepted, this, [this] {
            if (m_nextSettingsScreen == SettingsScreen::Configuration) {
                openConfigure();
            } else {
                openDrive();
            }
        });
    }
    return entry;
}

FrmPassword* FrmMain::openPassword() {
    return openSingle(m_password);
}

FrmReceive* FrmMain::openReceive() {
    return openSingle(m_receive);
}

FrmStation* FrmMain::openStation() {
    if (!m_station) {
        // A window of its own, not a child of the menu, so that the report screen (modal to the
        // menu) never blocks it: its rows can be answered and stopped while a report is open.
        // It goes when the menu goes (see the destructor).
        m_station = new FrmStation(m_ctx, nullptr);
        m_station->setAttribute(Qt::WA_DeleteOnClose);
        // Mapping the ports is configuration: behind the administrator password.
        connect(m_station, &FrmStation::mapPortsRequested, this,
                [this] { openPasswordEntry(SettingsScreen::Configuration); });
    }
    m_station->show();
    m_station->raise();
    m_station->activateWindow();
    return m_station;
}

FrmSend* FrmMain::openSend() {
    return openSingle(m_send);
}

FrmConfigure* FrmMain::openConfigure() {
    return openSingle(m_configure);
}

FrmDrive* FrmMain::openDrive() {
    return openSingle(m_drive);
}

QStringList FrmMain::pendingWork() const {
    QStringList work;
    if (m_send && m_send->transfer().isSending()) {
        work << QStringLiteral("a download runs on the Send Data screen");
    }
    if (m_receive && !m_receive->pendingWork().isEmpty()) {
        work << m_receive->pendingWork();
    }
    if (m_station && !m_station->pendingWork().isEmpty()) {
        work << m_station->pendingWork();
    }
    return work;
}

void FrmMain::stopTransfers(const QString& why) {
    if (m_send) {
        m_send->transfer().stop(why);
    }
    if (m_receive) {
        m_receive->stopTransfer(why);
    }
    if (m_station) {
        m_station->station().stopAll(why);
    }
}

void FrmMain::endProgram(const QString& why) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    stopTransfers(why);
    emit programEnded();
}

void FrmMain::endBySignal(const QString& signal) {
    if (OperatorLog* log = Messages::operatorLog()) {
        log->append(objectName(),
                    QStringLiteral("%1: the program is ended by the system").arg(signal));
    }
    endProgram(QStringLiteral("the program was ended by %1 (logout or shutdown)").arg(signal));
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (m_ended) {
        event->accept();
        return;
    }
    // EXIT with transfers running, or uploads waiting for Store Again: asked first.
    const QStringList work = pendingWork();
    if (!work.isEmpty() &&
        Messages::show({objectName(),
                        QStringLiteral("Ending the program now stops what is under way: %1.\n"
                                       "What an upload has received stays on disk for the next "
                                       "upload of its terminal. End the program?")
                            .arg(work.join(QStringLiteral("; "))),
                        MsgIcon::Question,
                        MsgButtons::YesNo,
                        {},
                        true}) != MsgAnswer::Yes) {
        event->ignore();
        return;
    }
    event->accept();
    endProgram(QStringLiteral("the program was closed"));
}

}  // namespace kovrin
