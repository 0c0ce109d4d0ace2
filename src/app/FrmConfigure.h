#pragma once

#include "link/PortMapping.h"

#include <QMap>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace kovrin {

class AppContext;
class PortDevicesPanel;

// Bank name, branch name, serial port and the terminal's font size; the devices of the ports.
class FrmConfigure : public QWidget {
    Q_OBJECT
public:
    FrmConfigure(AppContext& ctx, QWidget* parent = nullptr);

    void cmdUpdate_Click();

private:
    void load();
    // Keeps the devices of the ports when they changed, written to the audit trail; false
    // (the operator told) when they could not be kept.
    bool savePortDevices(const QMap<int, link::SystemPort>& mapping);

    AppContext& m_ctx;
    QLineEdit* m_bankName;
    QComboBox* m_comPort;
    QLineEdit* m_branchName;
    QComboBox* m_fontSize;
    QPushButton* m_update;
    PortDevicesPanel* m_portDevices;
    bool m_fontPicked = false;  // an entry of the font list was chosen by the operator
};

}  // namespace kovrin
