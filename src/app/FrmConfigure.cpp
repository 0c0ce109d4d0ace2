#include "app/FrmConfigure.h"

#include "app/AppContext.h"
#include "app/PortDevicesPanel.h"
#include "core/Messages.h"
#include "db/PortDeviceStore.h"
#include "db/SettingsStore.h"
#include "link/DownloadFrames.h"
#include "link/PortMapping.h"
#include "ui/FocusColours.h"
#include "ui/KeyFilter.h"
#include "ui/ScreenParts.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmConfigure");
}

FrmConfigure::FrmConfigure(AppContext& ctx, QWidget* parent) : QWidget(parent), m_ctx(ctx) {
    setObjectName(kScreen);
    setWindowTitle(QStringLiteral("Configuration"));

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Configuration"));
    heading->setObjectName(QStringLiteral("lblHeading"));
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);

    auto* form = new QFormLayout;
    m_bankName = new QLineEdit;
    m_bankName->setObjectName(QStringLiteral("txtBankName"));
    m_bankName->setMaxLength(48);
    m_comPort = new QComboBox;
    m_comPort->setObjectName(QStringLiteral("cmbComPort"));
    m_branchName = new QLineEdit;
    m_branchName->setObjectName(QStringLiteral("txtBranchName"));
    m_branchName->setMaxLength(24);
    m_fontSize = new QComboBox;
    m_fontSize->setObjectName(QStringLiteral("cmbFontSize"));
    m_fontSize->addItems({QStringLiteral("Small"), QStringLiteral("Big")});
    form->addRow(QStringLiteral("Bank Name :"), m_bankName);
    // Beside the port list: the device the chosen number stands for on this machine.
    auto* portRow = new QHBoxLayout;
    auto* device = new QLabel;
    device->setObjectName(QStringLiteral("lblPortDevice"));
    portRow->addWidget(m_comPort);
    portRow->addWidget(device, 1);
    form->addRow(QStringLiteral("Select Com. Port :"), portRow);
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(portRow))) {
        label->setBuddy(m_comPort);
    }
    m_portDevices = new PortDevicesPanel(ctx);
    const auto showDevice = [this, device] {
        const link::PortDevice d = m_portDevices->resolve(m_comPort->currentText());
        if (d.number == 0) {
            device->clear();
        } else {
            showPortDevice(device, d, 300);
        }
    };
    connect(m_comPort, &QComboBox::currentTextChanged, this, showDevice);
    connect(m_portDevices, &PortDevicesPanel::choiceChanged, this, showDevice);
    form->addRow(QStringLiteral("Branch Name :"), m_branchName);
    // The terminal shows the first characters of the branch name only: a longer name is saved
    // whole, and the operator sees at once what the terminal will show.
    auto* branchWarning = new QLabel;
    branchWarning->setObjectName(QStringLiteral("lblBranchNameWarning"));
    branchWarning->setWordWrap(true);
    QPalette warn = branchWarning->palette();
    warn.setColor(QPalette::WindowText, Qt::darkRed);
    branchWarning->setPalette(warn);
    branchWarning->hide();
    form->addRow(QString(), branchWarning);
    connect(m_branchName, &QLineEdit::textChanged, this, [branchWarning](const QString& text) {
        const QString name = text.trimmed();
        const bool cut = name.size() > link::kBranchNameWidth;
        branchWarning->setText(cut ? QStringLiteral("The name is saved whole, but the hand-held "
                                                    "terminal shows only its first %1 "
                                                    "characters: \"%2\"")
                                         .arg(QString::number(link::kBranchNameWidth),
                                              name.left(link::kBranchNameWidth))
                                   : QString());
        branchWarning->setVisible(cut);
    });
    form->addRow(QStringLiteral("Select Font Size :"), m_fontSize);
    layout->addLayout(form);
    layout->addWidget(m_portDevices);

    auto* buttons = new QHBoxLayout;
    m_update = new QPushButton(QStringLiteral("&Update"));
    m_update->setObjectName(QStringLiteral("cmdUpdate"));
    auto* exit = new QPushButton(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("cmdExit"));
    buttons->addWidget(m_update);
    buttons->addWidget(exit);
    layout->addLayout(buttons);

    connect(m_update, &QPushButton::clicked, this, &FrmConfigure::cmdUpdate_Click);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_fontSize, qOverload<int>(&QComboBox::activated), this,
            [this] { m_fontPicked = true; });

    // Enter in the bank name resets the port to "1" and moves on to the port list;
    // Enter in the port list moves on to Update (it does not save).
    KeyFilter::install(m_bankName, [this](QKeyEvent* e) {
        if (!KeyFilter::isEnter(e)) {
            return false;
        }
        m_comPort->setCurrentIndex(0);
        m_comPort->setFocus();
        return true;
    });
    KeyFilter::install(m_comPort, [this](QKeyEvent* e) {
        if (!KeyFilter::isEnter(e)) {
            return false;
        }
        m_update->setFocus();
        return true;
    });

    FocusColours::apply(this);
    load();
}

void FrmConfigure::load() {
    for (int i = 1; i <= 10; ++i) {
        m_comPort->addItem(QString::number(i));
    }
    m_comPort->setCurrentIndex(0);

    DbStatus st;
    const auto row = SettingsStore(m_ctx.db()).load(&st);
    if (!st) {
        Messages::critical(kScreen,
                           QStringLiteral("The settings could not be read: %1").arg(st.error));
        return;
    }
    if (!row) {
        return;
    }
    AppSettings& s = m_ctx.settings();
    s.BankName = row->BankName;
    m_bankName->setText(s.BankName);
    s.BranchName = row->BranchName;
    m_branchName->setText(s.BranchName);
    if (row->FontSize == QLatin1String("0")) {
        m_fontSize->setCurrentIndex(0);
    } else if (row->FontSize == QLatin1String("1")) {
        m_fontSize->setCurrentIndex(1);
    }
    s.CommPort = row->CommPort;
    // A stored port that is not a number from 1 to 10 selects nothing: the operator chooses.
    bool ok = false;
    const int port = row->CommPort.trimmed().toInt(&ok);
    m_comPort->setCurrentIndex(ok && port >= 1 && port <= 10 ? port - 1 : -1);
}

void FrmConfigure::cmdUpdate_Click() {
    // One device serves one port: two rows of the station, or a screen and a row, would
    // otherwise talk to one terminal at once.
    // A port's ports/comN link counts as what it stands for, as when it is opened.
    const QMap<int, link::SystemPort> mapping = m_portDevices->chosen();
    QMap<int, QString> names;
    for (int port = 1; port <= 10; ++port) {
        const link::PortDevice d = m_portDevices->resolve(QString::number(port));
        if (d.source == link::PortSource::Link || d.source == link::PortSource::Mapped) {
            names.insert(port, d.device);
        }
    }
    if (const QStringList shared = link::sharedDevices(names); !shared.isEmpty()) {
        Messages::critical(kScreen,
                           QStringLiteral("One device cannot serve two ports: %1 are mapped to "
                                          "the same device. Choose another device (or None) for "
                                          "one of them under \"Devices of the ports\", then "
                                          "press Update. Nothing was saved.")
                               .arg(shared.join(QStringLiteral("; "))));
        return;
    }
    ConfigurationInput in;
    in.bankName = m_bankName->text();
    if (m_comPort->currentIndex() >= 0) {
        in.commPort = m_comPort->currentText();
    }
    in.branchName = m_branchName->text();
    in.fontIndex = m_fontPicked ? m_fontSize->currentIndex() : -1;
    in.fontText = m_fontSize->currentText();
    QStringList changes;
    const DbStatus st = SettingsStore(m_ctx.db()).saveConfiguration(in, m_ctx.settings(), &changes);
    if (!st) {
        Messages::critical(kScreen, QStringLiteral("The settings could not be saved: %1\nNothing "
                                                   "was changed; try again.")
                                        .arg(st.error));
        return;
    }
    m_ctx.operatorLog().audit(
        kScreen, changes.isEmpty()
                     ? QStringLiteral("settings saved, nothing changed")
                     : QStringLiteral("settings changed: ") + changes.join(QStringLiteral("; ")));
    if (!savePortDevices(mapping)) {
        return;
    }
    Messages::info(kScreen, QStringLiteral("Data Saved Successfully"));
}

}  // namespace kovrin

namespace kovrin {

bool FrmConfigure::savePortDevices(const QMap<int, link::SystemPort>& mapping) {
    QMap<int, QString> before;
    QMap<int, QString> after;
    QMap<int, PortDeviceRow> rows;
    const QMap<int, link::SystemPort> kept = m_ctx.ports().mapping();
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        before.insert(it.key(), it.value().device);
    }
    for (auto it = mapping.cbegin(); it != mapping.cend(); ++it) {
        after.insert(it.key(), it.value().device);
        rows.insert(it.key(), {it.value().device, it.value().description, it.value().manufacturer,
                               it.value().serialNumber});
    }
    const QStringList changes = link::mappingChanges(before, after);
    if (changes.isEmpty()) {
        return true;
    }
    if (const DbStatus st = PortDeviceStore(m_ctx.db()).save(rows); !st) {
        Messages::critical(kScreen,
                           QStringLiteral("The settings were saved, but the devices of the ports "
                                          "could not be: %1\nThe ports keep their devices as "
                                          "before; press Update again.")
                               .arg(st.error));
        m_portDevices->showMapping();
        return false;
    }
    m_ctx.setPortMapping(rows);
    m_ctx.operatorLog().audit(
        kScreen, QStringLiteral("port devices changed: ") + changes.join(QStringLiteral("; ")));
    m_portDevices->showMapping();
    return true;
}

}  // namespace kovrin
