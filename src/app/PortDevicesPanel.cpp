#include "app/PortDevicesPanel.h"

#include "ui/ScreenContext.h"
#include "ui/ScreenParts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace kovrin {

namespace {

constexpr int kPorts = 10;
// The room of a port's device: a longer name is shortened (whole in its tooltip).
constexpr int kStateWidth = 300;

}  // namespace

PortDevicesPanel::PortDevicesPanel(ScreenContext& ctx, QWidget* parent)
    : QGroupBox(QStringLiteral("Devices of the ports"), parent), m_ctx(ctx) {
    setObjectName(QStringLiteral("fraPortDevices"));
    auto* grid = new QGridLayout(this);
    for (int port = 1; port <= kPorts; ++port) {
        auto* label = new QLabel(QStringLiteral("Port %1 :").arg(port));
        label->setObjectName(QStringLiteral("lblPortNumber%1").arg(port));
        auto* box = new QComboBox;
        box->setObjectName(QStringLiteral("cmbPortDevice%1").arg(port));
        box->setAccessibleName(QStringLiteral("Port %1 device").arg(port));
        // A long by-id name must not widen the screen: the whole name is in the tooltip.
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(34);
        label->setBuddy(box);
        auto* state = new QLabel;
        state->setObjectName(QStringLiteral("lblPortState%1").arg(port));
        state->setMinimumWidth(kStateWidth);
        grid->addWidget(label, port - 1, 0);
        grid->addWidget(box, port - 1, 1);
        grid->addWidget(state, port - 1, 2);
        grid->setColumnStretch(2, 1);
        m_devices << box;
        m_states << state;
        connect(box, &QComboBox::currentIndexChanged, this, [this, port] {
            showState(port);
            emit choiceChanged();
        });
    }
    auto* again = new QPushButton(QStringLiteral("Look A&gain"));
    again->setObjectName(QStringLiteral("cmdLookAgain"));
    again->setToolTip(
        QStringLiteral("Looks again at the serial devices this computer has "
                       "(after an adapter was plugged in or pulled)"));
    grid->addWidget(again, kPorts, 1, Qt::AlignLeft);
    connect(again, &QPushButton::clicked, this, &PortDevicesPanel::lookAgain);

    m_ctx.ports().rescan();
    showMapping();
}

void PortDevicesPanel::fill(int port, const QString& device) {
    QComboBox* box = m_devices[port - 1];
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItem(QStringLiteral("None: ports/com%1 link, else /dev/ttyS%2")
                     .arg(QString::number(port), QString::number(port - 1)),
                 QString());
    const link::SystemPorts& reported = m_ctx.ports().reported();
    const link::SystemPort* current = link::findReported(reported, device);
    for (const link::SystemPort& p : reported) {
        box->addItem(p.label(), p.device);
        box->setItemData(box->count() - 1, p.device, Qt::ToolTipRole);
    }
    int chosen = 0;
    if (current) {
        chosen = box->findData(current->device);
    } else if (!device.isEmpty()) {
        // Mapped, but not there now: kept, and shown absent.
        const link::SystemPort known = m_known.value(port);
        box->addItem(
            QStringLiteral("%1 (absent)").arg(known.device == device ? known.label() : device),
            device);
        box->setItemData(box->count() - 1, device, Qt::ToolTipRole);
        chosen = box->count() - 1;
    }
    box->setCurrentIndex(chosen);
    box->setToolTip(box->itemData(chosen, Qt::ToolTipRole).toString());
}

QMap<int, link::SystemPort> PortDevicesPanel::chosen() const {
    QMap<int, link::SystemPort> mapping;
    const link::SystemPorts& reported = m_ctx.ports().reported();
    for (int port = 1; port <= kPorts; ++port) {
        const QString device = m_devices[port - 1]->currentData().toString();
        if (device.isEmpty()) {
            continue;
        }
        if (const link::SystemPort* p = link::findReported(reported, device)) {
            link::SystemPort kept = *p;
            kept.device = device;
            mapping.insert(port, kept);
        } else {
            const link::SystemPort known = m_known.value(port);
            link::SystemPort kept = known;
            if (known.device != device) {
                kept = {};
                kept.device = device;
            }
            mapping.insert(port, kept);
        }
    }
    return mapping;
}

QMap<int, QString> PortDevicesPanel::chosenNames() const {
    QMap<int, QString> names;
    for (int port = 1; port <= kPorts; ++port) {
        names.insert(port, m_devices[port - 1]->currentData().toString());
    }
    return names;
}

link::PortDevice PortDevicesPanel::resolve(const QString& setting) const {
    bool ok = false;
    const int port = setting.trimmed().toInt(&ok);
    const QString mapped = ok && port >= 1 && port <= kPorts
                               ? m_devices[port - 1]->currentData().toString()
                               : QString();
    return link::resolvePort(m_ctx.folder().path(), setting, mapped, m_ctx.ports().reported());
}

void PortDevicesPanel::lookAgain() {
    const QMap<int, QString> names = chosenNames();
    const QMap<int, link::SystemPort> details = chosen();
    m_ctx.ports().rescan();
    for (auto it = details.cbegin(); it != details.cend(); ++it) {
        m_known.insert(it.key(), it.value());
    }
    for (int port = 1; port <= kPorts; ++port) {
        fill(port, names.value(port));
        showState(port);
    }
    emit choiceChanged();
}

void PortDevicesPanel::showMapping() {
    m_known = m_ctx.ports().mapping();
    for (int port = 1; port <= kPorts; ++port) {
        fill(port, m_known.value(port).device);
        showState(port);
    }
}

void PortDevicesPanel::showState(int port) {
    QComboBox* box = m_devices[port - 1];
    box->setToolTip(box->currentData(Qt::ToolTipRole).toString());
    const link::PortDevice d = resolve(QString::number(port));
    showPortDevice(m_states[port - 1], d, kStateWidth,
                   d.source == link::PortSource::Link
                       ? QStringLiteral("ports/com%1 link: ").arg(QString::number(port))
                       : QString());
}

}  // namespace kovrin
