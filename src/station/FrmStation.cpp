#include "station/FrmStation.h"

#include "core/Messages.h"
#include "station/Station.h"
#include "ui/FocusColours.h"
#include "ui/KeyFilter.h"
#include "ui/ScreenContext.h"
#include "ui/ScreenParts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QStringList>
#include <QVBoxLayout>

namespace kovrin {

namespace {

const QString kScreen = QStringLiteral("frmStation");
// The devices behind the ports are looked at this often while the screen is up, so that an
// adapter plugged in or pulled shows in its row.
constexpr int kDeviceCheckMs = 2000;
// The room of a row's device: a longer name is shortened (whole in its tooltip).
constexpr int kDeviceWidth = 200;

QString name(const char* base, int port) {
    return QLatin1String(base) + QString::number(port);
}

// What a screen reader says for a control of a row: "Port 3 agent".
QString spoken(int port, const QString& what) {
    return QStringLiteral("Port %1 %2").arg(QString::number(port), what);
}

QLineEdit* entry(const char* base, int port, int maxLength, int width, const QString& what) {
    auto* e = new QLineEdit;
    e->setObjectName(name(base, port));
    e->setMaxLength(maxLength);
    e->setFixedWidth(width);
    e->setAccessibleName(spoken(port, what));
    return e;
}

QPushButton* rowButton(const char* base, int port, const QString& caption) {
    auto* b = new QPushButton(caption);
    b->setObjectName(name(base, port));
    b->setAccessibleName(spoken(port, QString(caption).remove(QLatin1Char('&'))));
    return b;
}

// The key of row `port` (1 to 10) with `modifier`: Ctrl+1 ... Ctrl+9, Ctrl+0 for port 10.
QKeySequence rowKey(Qt::KeyboardModifier modifier, int port) {
    return QKeySequence(QKeyCombination(modifier, Qt::Key(Qt::Key_0 + port % 10)));
}

// The rows' area asks for the room its rows need, up to what fits a screen 1280 pixels wide
// (and of common height) with the screen's margins; beyond that the rows scroll.
class RowsArea : public QScrollArea {
public:
    static constexpr int kWidest = 1240;

    QSize sizeHint() const override {
        const int frame = 2 * frameWidth();
        const int bar = verticalScrollBar()->sizeHint().width();
        QSize s = widget() ? widget()->sizeHint() : QSize(400, 300);
        s.setWidth(qMin(s.width(), kWidest - frame - bar));
        // The rows as tall as they are at that width, their messages wrapped.
        if (widget() && widget()->hasHeightForWidth()) {
            s.setHeight(widget()->heightForWidth(s.width()));
        }
        s += QSize(frame + bar, frame);
        return s.boundedTo(QSize(kWidest, 640));
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == widget() && e->type() == QEvent::LayoutRequest) {
            updateGeometry();  // the rows' room changed: so does the room asked for
        }
        return QScrollArea::eventFilter(o, e);
    }
};

// A row's button as wide as its longest caption needs: ten rows of buttons must fit the
// screen.
void fitToCaption(QPushButton* b, const QString& longest) {
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(longest) + 20);
}

QLabel* heading(const QString& text) {
    auto* l = new QLabel(text);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

}  // namespace

FrmStation::FrmStation(ScreenContext& ctx, QWidget* parent) : QWidget(parent), m_ctx(ctx) {
    setObjectName(kScreen);
    setWindowTitle(QStringLiteral("Transfer Station"));
    setFont(QFont(QStringLiteral("Arial")));

    m_station = std::make_unique<Station>(
        StationServices{ctx.db(), ctx.settings(), ctx.folder(), ctx.transferLog(),
                        ctx.operatorLog(), ctx.clock(), ctx.revision(), &ctx.ports()});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleLabel(QStringLiteral("Transfer Station"), "lblTitle"));

    // The rows scroll rather than widen the screen: a long message or a prompt wraps in its
    // row, and the station fits a screen 1280 pixels wide.
    auto* scroll = new RowsArea;
    scroll->setObjectName(QStringLiteral("scrRows"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);  // Tab goes to the rows, which scroll into view
    auto* frame = new QGroupBox;
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(6);
    const QStringList headings = {QStringLiteral("Port"),        QStringLiteral("Use"),
                                  QStringLiteral("Device"),      QStringLiteral("Agent ID"),
                                  QStringLiteral("Date (ddmm)"), QStringLiteral("Trans."),
                                  QStringLiteral("Direction"),   QStringLiteral("State"),
                                  QStringLiteral("Progress"),    QString(),
                                  QStringLiteral("Message")};
    for (int c = 0; c < headings.size(); ++c) {
        grid->addWidget(heading(headings[c]), 0, c);
    }
    grid->setColumnStretch(10, 1);

    for (int port = 1; port <= Station::kPorts; ++port) {
        Row r;
        auto* number = new QLabel(QString::number(port));
        number->setObjectName(name("lblPort", port));
        r.use = new QCheckBox;
        r.use->setObjectName(name("chkUse", port));
        r.use->setToolTip(QStringLiteral("The station uses this port"));
        r.use->setAccessibleName(spoken(port, QStringLiteral("in use")));
        r.device = new QLabel;
        r.device->setObjectName(name("lblDevice", port));
        r.device->setMinimumWidth(kDeviceWidth);
        r.agent = entry("txtAgent", port, 3, 48, QStringLiteral("agent"));
        r.date = entry("txtDate", port, 4, 56, QStringLiteral("date (ddmm)"));
        r.transact = entry("txtTransact", port, 1, 32, QStringLiteral("transactions"));
        r.direction = new QComboBox;
        r.direction->setObjectName(name("cmbDirection", port));
        r.direction->setAccessibleName(spoken(port, QStringLiteral("direction")));
        r.direction->addItems({QStringLiteral("Download"), QStringLiteral("Upload")});
        r.state = new QLabel;
        r.state->setObjectName(name("lblState", port));
        r.state->setMinimumWidth(
            r.state->fontMetrics().horizontalAdvance(QStringLiteral("Answer needed  ")));
        r.bar = transferProgressBar();
        r.bar->setObjectName(name("barRecord", port));
        r.bar->setMinimumWidth(120);
        r.progress = new TransferProgressView(nullptr, r.bar, this);
        r.start = rowButton("cmdStart", port, QStringLiteral("Start"));
        r.stop = rowButton("cmdStop", port, QStringLiteral("Stop"));
        fitToCaption(r.start, QStringLiteral("Store Again"));
        fitToCaption(r.stop, QStringLiteral("Stop"));
        r.message = new QLabel;
        r.message->setObjectName(name("lblMessage", port));
        r.message->setWordWrap(true);
        r.message->setMinimumWidth(200);
        r.ok = rowButton("cmdOk", port, QStringLiteral("O&K"));
        r.cancel = rowButton("cmdCancel", port, QStringLiteral("&Cancel"));
        r.ok->hide();
        r.cancel->hide();
        r.start->setToolTip(
            QStringLiteral("Starts this row (%1)")
                .arg(rowKey(Qt::ControlModifier, port).toString(QKeySequence::NativeText)));
        r.stop->setToolTip(
            QStringLiteral("Stops this row (%1)")
                .arg(rowKey(Qt::AltModifier, port).toString(QKeySequence::NativeText)));

        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(2);
        buttons->addWidget(r.start);
        buttons->addWidget(r.stop);
        // A prompt's OK and Cancel under its text, not beside it: the row does not widen.
        auto* message = new QVBoxLayout;
        message->setSpacing(2);
        message->addWidget(r.message);
        auto* answers = new QHBoxLayout;
        answers->addWidget(r.ok);
        answers->addWidget(r.cancel);
        answers->addStretch(1);
        message->addLayout(answers);
        grid->addWidget(number, port, 0, Qt::AlignRight);
        grid->addWidget(r.use, port, 1);
        grid->addWidget(r.device, port, 2);
        grid->addWidget(r.agent, port, 3);
        grid->addWidget(r.date, port, 4);
        grid->addWidget(r.transact, port, 5);
        grid->addWidget(r.direction, port, 6);
        grid->addWidget(r.state, port, 7);
        grid->addWidget(r.bar, port, 8);
        grid->addLayout(buttons, port, 9);
        grid->addLayout(message, port, 10);
        m_rows << r;

        StationRow& row = m_station->row(port);
        connect(&row, &StationRow::changed, this, [this, port] { showRow(port); });
        connect(&row, &StationRow::progress, r.progress, &TransferProgressView::show);
        // A row that has not started shows an empty bar, not "0 / 1".
        r.bar->setTextVisible(false);
        connect(&row, &StationRow::progress, r.bar,
                [bar = r.bar](int, int total) { bar->setTextVisible(total > 0); });
        connect(r.start, &QPushButton::clicked, this, [this, port] { startRow(port); });
        connect(r.stop, &QPushButton::clicked, this, [this, port] { stopRow(port); });
        connect(r.ok, &QPushButton::clicked, this,
                [this, port] { m_station->row(port).answer(MsgAnswer::Ok); });
        connect(r.cancel, &QPushButton::clicked, this,
                [this, port] { m_station->row(port).answer(MsgAnswer::Cancel); });
        connect(r.use, &QCheckBox::clicked, this,
                [this, port](bool checked) { setInUse(port, checked); });
        // Ctrl+N starts row N and Alt+N stops it (Ctrl+0 and Alt+0: row 10), as its buttons.
        auto* startKey = new QShortcut(rowKey(Qt::ControlModifier, port), this);
        connect(startKey, &QShortcut::activated, r.start, [b = r.start] {
            if (b->isEnabled()) {
                b->click();
            }
        });
        auto* stopKey = new QShortcut(rowKey(Qt::AltModifier, port), this);
        connect(stopKey, &QShortcut::activated, r.stop, [b = r.stop] {
            if (b->isEnabled()) {
                b->click();
            }
        });
    }
    scroll->setWidget(frame);
    layout->addWidget(scroll, 1);

    auto* buttons = new QHBoxLayout;
    auto* mapPorts = new QPushButton(QStringLiteral("&Map Ports..."));
    mapPorts->setObjectName(QStringLiteral("cmdMapPorts"));
    mapPorts->setToolTip(
        QStringLiteral("Maps the ports to the serial devices of this computer, on the "
                       "Configuration screen (administrator password)"));
    buttons->addWidget(mapPorts);
    m_startAll = new QPushButton(QStringLiteral("Start &All"));
    m_startAll->setObjectName(QStringLiteral("cmdStartAll"));
    m_startAll->setToolTip(QStringLiteral("Starts every row whose agent is filled in"));
    m_stopAll = new QPushButton(QStringLiteral("St&op All"));
    m_stopAll->setObjectName(QStringLiteral("cmdStopAll"));
    auto* exit = new QPushButton(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("cmdExit"));
    buttons->addStretch(1);
    buttons->addWidget(m_startAll);
    buttons->addWidget(m_stopAll);
    buttons->addWidget(exit);
    layout->addLayout(buttons);

    // Tab: agent, day, transactions, direction, Use, Start, Stop (the prompt's OK and Cancel
    // when shown), then the next row's agent; Enter goes from the direction straight to the
    // next row's agent. After the last row, Start All.
    QWidget* previous = nullptr;
    for (int i = 0; i < m_rows.size(); ++i) {
        const Row& r = m_rows[i];
        QWidget* next = i + 1 < m_rows.size() ? static_cast<QWidget*>(m_rows[i + 1].agent)
                                              : static_cast<QWidget*>(m_startAll);
        digitEntry(r.agent, QLatin1Char('9'), r.date);
        digitEntry(r.date, QLatin1Char('9'), r.transact);
        digitEntry(r.transact, QLatin1Char('7'), r.direction);
        KeyFilter::install(r.direction, [next](QKeyEvent* e) {
            if (!KeyFilter::isEnter(e)) {
                return false;
            }
            next->setFocus(Qt::TabFocusReason);
            return true;
        });
        for (QWidget* w : {static_cast<QWidget*>(r.agent), static_cast<QWidget*>(r.date),
                           static_cast<QWidget*>(r.transact), static_cast<QWidget*>(r.direction),
                           static_cast<QWidget*>(r.use), static_cast<QWidget*>(r.start),
                           static_cast<QWidget*>(r.stop), static_cast<QWidget*>(r.ok),
                           static_cast<QWidget*>(r.cancel)}) {
            if (previous) {
                QWidget::setTabOrder(previous, w);
            }
            previous = w;
        }
    }
    QWidget::setTabOrder(previous, m_startAll);
    QWidget::setTabOrder(m_startAll, m_stopAll);
    QWidget::setTabOrder(m_stopAll, exit);
    QWidget::setTabOrder(exit, mapPorts);

    connect(m_startAll, &QPushButton::clicked, this, &FrmStation::cmdStartAll_Click);
    connect(m_stopAll, &QPushButton::clicked, this, &FrmStation::cmdStopAll_Click);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    connect(mapPorts, &QPushButton::clicked, this, &FrmStation::mapPortsRequested);
    connect(&m_devices, &QTimer::timeout, this, &FrmStation::lookAtDevices);

    if (const DbStatus st = m_station->loadPorts(); !st) {
        Messages::critical(kScreen,
                           QStringLiteral("The ports of the Transfer Station could not be read: "
                                          "%1\nEvery port is shown in use.")
                               .arg(st.error));
    }
    for (int port = 1; port <= Station::kPorts; ++port) {
        showRow(port);
    }
    showDevices();
    FocusColours::apply(this);
}

FrmStation::~FrmStation() {
    // The rows stop while the screen can still show them; then nothing of the station reaches
    // the screen any more: a row ending on its way out must not call back into a station
    // that is being taken down.
    m_station->stopAll(QStringLiteral("the Transfer Station was closed"));
    for (StationRow* row : m_station->rows()) {
        disconnect(row, nullptr, this, nullptr);
        for (const Row& r : m_rows) {
            disconnect(row, nullptr, r.progress, nullptr);
            disconnect(row, nullptr, r.bar, nullptr);
        }
    }
    m_station.reset();
}

void FrmStation::rowsAtWork(QStringList* running, QStringList* unstored) const {
    for (const StationRow* r : m_station->rows()) {
        if (r->isBusy()) {
            *running << QString::number(r->port());
        } else if (r->state() == RowState::Unstored) {
            *unstored << QString::number(r->port());
        }
    }
}

QString FrmStation::pendingWork() const {
    QStringList running;
    QStringList unstored;
    rowsAtWork(&running, &unstored);
    QStringList parts;
    if (!running.isEmpty()) {
        parts << QStringLiteral("transfers run on port(s) %1 of the Transfer Station")
                     .arg(running.join(QStringLiteral(", ")));
    }
    if (!unstored.isEmpty()) {
        parts << QStringLiteral(
                     "port(s) %1 of the Transfer Station hold uploads not stored yet, "
                     "for Store Again (the terminals still hold them)")
                     .arg(unstored.join(QStringLiteral(", ")));
    }
    return parts.join(QStringLiteral("; "));
}

void FrmStation::stopRow(int port) {
    StationRow& row = m_station->row(port);
    if (row.state() == RowState::Unstored &&
        Messages::show({kScreen,
                        QStringLiteral("Port %1 holds an upload that is not stored yet. Stopping "
                                       "the row drops it from Store Again: the terminal still "
                                       "holds its collections, and its records stay on disk for "
                                       "the next upload of that terminal. Stop the row?")
                            .arg(port),
                        MsgIcon::Question,
                        MsgButtons::YesNo,
                        {},
                        true}) != MsgAnswer::Yes) {
        return;
    }
    row.stop();
}

StationEntries FrmStation::entriesOf(int port) const {
    const Row& r = m_rows[port - 1];
    StationEntries e;
    e.agent = r.agent->text();
    e.date = r.date->text();
    e.transactions = r.transact->text();
    e.direction =
        r.direction->currentIndex() == 1 ? StationDirection::Upload : StationDirection::Download;
    return e;
}

void FrmStation::startRow(int port) {
    Row& r = m_rows[port - 1];
    const StationEntries e = entriesOf(port);
    // As on Send Data: once the agent and the day are there, an empty number of
    // transactions becomes 1.
    if (e.direction == StationDirection::Download && !e.agent.trimmed().isEmpty() &&
        e.date.trimmed().size() == 4 && e.transactions.trimmed().isEmpty()) {
        r.transact->setText(QStringLiteral("1"));
    }
    m_station->start(port, entriesOf(port));
}

void FrmStation::cmdStartAll_Click() {
    QMap<int, StationEntries> entries;
    for (int port = 1; port <= Station::kPorts; ++port) {
        Row& r = m_rows[port - 1];
        if (r.agent->text().trimmed().isEmpty() || !m_station->inUse(port) ||
            m_station->row(port).isBusy()) {
            continue;
        }
        const StationEntries e = entriesOf(port);
        if (e.direction == StationDirection::Download && e.date.trimmed().size() == 4 &&
            e.transactions.trimmed().isEmpty()) {
            r.transact->setText(QStringLiteral("1"));
        }
        entries.insert(port, entriesOf(port));
    }
    if (entries.isEmpty()) {
        Messages::info(kScreen, QStringLiteral("No row was started: no free row of a port in use "
                                               "has its agent typed. Type the agent (for a "
                                               "download also the day) in the rows to start, "
                                               "then press Start All."));
        return;
    }
    m_station->startAll(entries);
}

void FrmStation::cmdStopAll_Click() {
    m_station->stopAll();
}

void FrmStation::setInUse(int port, bool inUse) {
    if (const DbStatus st = m_station->setInUse(port, inUse); !st) {
        Messages::critical(kScreen, QStringLiteral("The ports of the Transfer Station could not "
                                                   "be saved: %1\nNothing was changed.")
                                        .arg(st.error));
    }
    showRow(port);
}

void FrmStation::showRow(int port) {
    Row& r = m_rows[port - 1];
    const StationRow& row = m_station->row(port);
    const bool inUse = m_station->inUse(port);
    const bool busy = row.isBusy();
    const bool unstored = row.state() == RowState::Unstored;

    r.use->setChecked(inUse);
    r.use->setEnabled(!busy && !unstored);
    for (QWidget* w : {static_cast<QWidget*>(r.agent), static_cast<QWidget*>(r.date),
                       static_cast<QWidget*>(r.transact), static_cast<QWidget*>(r.direction)}) {
        w->setEnabled(inUse && !busy && !unstored);
    }
    r.start->setEnabled(inUse && !busy);
    r.start->setText(unstored ? QStringLiteral("Store Again") : QStringLiteral("Start"));
    r.start->setAccessibleName(spoken(port, r.start->text()));
    r.stop->setEnabled(busy || unstored);
    r.state->setText(StationRow::stateText(row.state(), row.entries().direction));

    // The question waiting in the row, or the row's most severe message; every message of
    // its step in the tooltip (and in operator.log).
    r.message->setText(row.prompt().isEmpty() ? row.lastMessage() : row.prompt());
    r.message->setToolTip(row.details());
    QPalette p = r.message->palette();
    p.setColor(QPalette::WindowText, row.lastIcon() == MsgIcon::Critical ? QColor(Qt::darkRed)
                                     : row.lastIcon() == MsgIcon::Warning
                                         ? QColor(0x80, 0x50, 0)
                                         : palette().windowText().color());
    r.message->setPalette(p);

    const bool asking = !row.prompt().isEmpty();
    const bool focusOnPrompt = r.ok->hasFocus() || r.cancel->hasFocus();
    r.ok->setVisible(asking);
    r.cancel->setVisible(asking);
    r.ok->setText(row.promptIsYesNo() ? QStringLiteral("&Yes") : QStringLiteral("O&K"));
    r.cancel->setText(row.promptIsYesNo() ? QStringLiteral("&No") : QStringLiteral("&Cancel"));
    r.ok->setAccessibleName(
        spoken(port, row.promptIsYesNo() ? QStringLiteral("Yes") : QStringLiteral("OK")));
    r.cancel->setAccessibleName(
        spoken(port, row.promptIsYesNo() ? QStringLiteral("No") : QStringLiteral("Cancel")));
    if (!asking && focusOnPrompt) {
        r.agent->setFocus();
    }

    if (!busy) {
        r.progress->flush();
    }
    if (row.state() == RowState::Completed && r.shownState != int(RowState::Completed)) {
        // Done: the next Start All does not send or receive it again.
        r.agent->clear();
        r.date->clear();
        r.transact->clear();
    }
    r.shownState = int(row.state());
}

void FrmStation::showDevices() {
    for (int port = 1; port <= Station::kPorts; ++port) {
        const link::PortDevice d = m_station->row(port).device();
        const link::SystemPort mapped = m_ctx.ports().mapped(port);
        showPortDevice(m_rows[port - 1].device, d, kDeviceWidth, QString(),
                       d.source == link::PortSource::Link
                           ? QStringLiteral("The link ports/com%1 in the program folder").arg(port)
                       : d.source == link::PortSource::Mapped
                           ? QStringLiteral("Mapped: %1").arg(mapped.label())
                           : QString());
    }
}

void FrmStation::lookAtDevices() {
    m_ctx.ports().rescan();
    showDevices();
}

void FrmStation::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_sized && !event->spontaneous()) {
        // The first time up, as wide as its rows want within the screen (a window is
        // otherwise given two thirds of the screen, and its rows would scroll).
        m_sized = true;
        QSize size = sizeHint();
        if (const QScreen* s = screen()) {
            size = size.boundedTo(s->availableGeometry().size());
        }
        resize(size.expandedTo(this->size()));
    }
    lookAtDevices();
    m_devices.start(kDeviceCheckMs);
}

void FrmStation::hideEvent(QHideEvent* event) {
    m_devices.stop();
    QWidget::hideEvent(event);
}

void FrmStation::closeEvent(QCloseEvent* event) {
    QStringList busy;
    QStringList unstored;
    rowsAtWork(&busy, &unstored);
    QString question;
    if (!busy.isEmpty()) {
        question = QStringLiteral(
                       "Transfers are running on port(s) %1. Closing the "
                       "Transfer Station stops them. ")
                       .arg(busy.join(QStringLiteral(", ")));
    }
    if (!unstored.isEmpty()) {
        question += QStringLiteral(
                        "Port(s) %1 hold uploads that are not stored yet: closing the "
                        "Transfer Station drops them from Store Again (the terminals "
                        "still hold their collections). ")
                        .arg(unstored.join(QStringLiteral(", ")));
    }
    if (!question.isEmpty() && Messages::show({kScreen,
                                               question + QStringLiteral("Close it?"),
                                               MsgIcon::Question,
                                               MsgButtons::YesNo,
                                               {},
                                               !unstored.isEmpty()}) != MsgAnswer::Yes) {
        event->ignore();
        return;
    }
    m_station->stopAll(QStringLiteral("the Transfer Station was closed"));
    event->accept();
}

}  // namespace kovrin
