#pragma once

#include "link/PortMapping.h"

#include <QGroupBox>
#include <QVector>

class QComboBox;
class QLabel;

namespace kovrin {

class ScreenContext;

// "Devices of the ports": for each port 1 to 10 the serial device it is mapped to, chosen
// from those the system reports (a USB adapter under its stable /dev/serial/by-id/ name, with
// its description, maker and serial number), and what the port stands for now. A mapped
// device the system does not report stays chosen and is shown absent. "Look Again" looks at
// the system's devices again, keeping the choices.
class PortDevicesPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit PortDevicesPanel(ScreenContext& ctx, QWidget* parent = nullptr);

    // The device chosen for each port (ports mapped to nothing are left out).
    QMap<int, link::SystemPort> chosen() const;
    // Port number -> device name, for every port (empty: none).
    QMap<int, QString> chosenNames() const;
    // What port number `setting` stands for with the devices chosen now.
    link::PortDevice resolve(const QString& setting) const;

    // Looks at the system's devices again and shows them, keeping the choices.
    void lookAgain();
    // Shows the mapping as it is kept now (after it was saved, or at the start).
    void showMapping();

signals:
    void choiceChanged();

private:
    void fill(int port, const QString& device);
    void showState(int port);

    ScreenContext& m_ctx;
    QVector<QComboBox*> m_devices;  // index: port - 1
    QVector<QLabel*> m_states;
    QMap<int, link::SystemPort> m_known;  // every device offered, by name, with its details
};

}  // namespace kovrin
