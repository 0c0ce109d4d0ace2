#include "app/FrmMain.h"

#include "app/AppContext.h"
#include "app/FrmConfigure.h"
#include "app/FrmDrive.h"
#include "download/FrmSend.h"
#include "security/FrmPassEntry.h"
#include "security/FrmPassword.h"
#include "station/FrmStation.h"
#include "ui/FocusColours.h"
#include "upload/FrmReceive.h"
#include "upload/PartialUploads.h"

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

FrmMain::FrmMain(AppContext& ctx, QWidget* parent)
    : QWidget(parent),
      m_ctx(ctx),
      m_partialUploads(std::make_unique<PartialUploads>(ctx.folder())) {
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

    m_partialUploads->setClock(ctx.clock());
    FocusColours::apply(this);

    // "RE&PORT": the report screen, modal; the menu waits until it is closed.
    connect(findChild<QPushButton*>(QStringLiteral("cmdReport")), &QPushButton::clicked, this,
            [this] {
                FrmReport report(m_ctx, this);
                report.exec();
            });
}

FrmMain::~FrmMain() {
    // The transfer screens go first: an upload they stop on the way keeps what it received
    // in m_partialUploads, which goes with the menu's own members.
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
    FrmReceive* screen = openSingle(m_receive);
    screen->setPartialUploads(m_partialUploads.get());
    return screen;
}

FrmStation* FrmMain::openStation() {
    FrmStation* screen = openSingle(m_station);
    screen->setPartialUploads(m_partialUploads.get());
    return screen;
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

void FrmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    emit programEnded();
}

}  // namespace kovrin
