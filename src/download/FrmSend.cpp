#include "download/FrmSend.h"

#include "core/Messages.h"
#include "download/DownloadTransfer.h"
#include "link/SerialLink.h"
#include "ui/FocusColours.h"
#include "ui/ScreenContext.h"
#include "ui/ScreenParts.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kovrin {

namespace {

QLineEdit* entry(const char* name, int maxLength) {
    auto* e = new QLineEdit;
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(maxLength);
    return e;
}

}  // namespace

FrmSend::FrmSend(ScreenContext& ctx, QWidget* parent, link::SerialLink* port)
    : QWidget(parent), m_ctx(ctx) {
    setObjectName(QStringLiteral("frmsend"));
    setWindowTitle(QStringLiteral("Send Data"));
    QFont arial(QStringLiteral("Arial"));
    setFont(arial);

    if (!port) {
        m_ownPort = configuredPort(ctx, QStringLiteral("Send Data"));
        port = m_ownPort.get();
    }
    m_transfer = std::make_unique<DownloadTransfer>(ctx.db(), ctx.settings(), ctx.folder().path(),
                                                    *port, ctx.transferLog());
    m_transfer->setRules(DownloadRules::forRevision(ctx.revision()));
    m_transfer->setClock(ctx.clock());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleLabel(QStringLiteral("Send Data to HandHeld"), "Label2"));

    auto* frame = new QGroupBox;
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(frame);
    m_agent = entry("txtAgent", 3);
    m_date = entry("txtDate", 4);
    m_transact = entry("txtTransact", 1);
    m_record = new QLabel;
    m_record->setObjectName(QStringLiteral("lblRecord"));
    m_bar = transferProgressBar();
    m_progress = new TransferProgressView(m_record, m_bar, this);
    // A box's label is its buddy: a screen reader names the box by it.
    auto label = [](const char* name, const QString& text, QWidget* buddy = nullptr) {
        auto* l = new QLabel(text);
        l->setObjectName(QLatin1String(name));
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label("Label1", QStringLiteral("Agent ID :"), m_agent), 0, 0);
    grid->addWidget(m_agent, 0, 1);
    grid->addWidget(label("Label3", QStringLiteral("Date (ddmm) :"), m_date), 1, 0);
    grid->addWidget(m_date, 1, 1);
    grid->addWidget(label("Label4", QStringLiteral("No. of Transactions :"), m_transact), 2, 0);
    grid->addWidget(m_transact, 2, 1);
    grid->addWidget(label("Label5", QStringLiteral("Record Sent :")), 3, 0);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(m_record);
    progressRow->addWidget(m_bar, 1);
    grid->addLayout(progressRow, 3, 1);
    layout->addWidget(frame);

    auto* buttons = new QHBoxLayout;
    m_send = new QPushButton(QStringLiteral("&Send"));
    m_send->setObjectName(QStringLiteral("cmdSend"));
    m_clear = new QPushButton(QStringLiteral("&Clear"));
    m_clear->setObjectName(QStringLiteral("cmdClear"));
    auto* exit = new QPushButton(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("cmdExit"));
    buttons->addWidget(m_send);
    buttons->addWidget(m_clear);
    buttons->addWidget(exit);
    layout->addLayout(buttons);

    QWidget::setTabOrder(m_agent, m_date);
    QWidget::setTabOrder(m_date, m_transact);
    QWidget::setTabOrder(m_transact, m_send);
    digitEntry(m_agent, QLatin1Char('9'), m_date);
    digitEntry(m_date, QLatin1Char('9'), m_transact);
    digitEntry(m_transact, QLatin1Char('7'), m_send);

    connect(m_send, &QPushButton::clicked, this, &FrmSend::cmdSend_Click);
    connect(m_clear, &QPushButton::clicked, this, &FrmSend::cmdClear_Click);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_transfer.get(), &DownloadTransfer::sendingChanged, this, [this](bool sending) {
        const bool hold = sending && m_transfer->rules().holdButtonsWhileSending;
        m_send->setEnabled(!hold);
        m_clear->setEnabled(!hold);
        if (!sending) {
            m_progress->flush();
        }
    });
    connect(m_transfer.get(), &DownloadTransfer::progress, this, &FrmSend::showProgress);
    connect(m_transfer.get(), &DownloadTransfer::completed, this, &FrmSend::ClearEntries);
    connect(m_transfer.get(), &DownloadTransfer::focusEntry, this,
            [this](DownloadTransfer::Entry e) {
                (e == DownloadTransfer::Entry::Agent ? m_agent : m_date)->setFocus();
            });

    FocusColours::apply(this);
}

FrmSend::~FrmSend() = default;

void FrmSend::cmdSend_Click() {
    const DownloadEntries entries{m_agent->text(), m_date->text(), m_transact->text()};
    // Once the agent and the day are accepted, an empty number of transactions becomes 1.
    if (!entries.agent.trimmed().isEmpty() &&
        DownloadImport::isDayAndMonth(entries.date.trimmed()) &&
        entries.transactions.trimmed().isEmpty()) {
        m_transact->setText(QStringLiteral("1"));
    }
    m_transfer->cmdSend_Click(entries);
}

void FrmSend::cmdClear_Click() {
    m_agent->clear();
    m_date->clear();
    m_transact->clear();
}

void FrmSend::ClearEntries() {
    cmdClear_Click();
    m_progress->clear();
    m_agent->setFocus();
}

void FrmSend::showProgress(int sent, int total) {
    m_progress->show(sent, total);
}

void FrmSend::closeEvent(QCloseEvent* event) {
    m_transfer->stop();  // the port is closed and the timers stop with the screen
    event->accept();
}

}  // namespace kovrin
