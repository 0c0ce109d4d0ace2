#pragma once

#include "link/PortMapping.h"
#include "link/SerialLink.h"

#include <QSerialPort>
#include <functional>

namespace kovrin::link {

// The serial line on a real port (or the slave side of a pseudo-terminal) through
// QSerialPort.
class SerialPortLink : public SerialLink {
    Q_OBJECT
public:
    // `commPortSetting` gives the configured port number when the line is opened (a changed
    // setting applies at the next opening); `programFolder` holds the ports/comN links.
    SerialPortLink(QString programFolder, std::function<QString()> commPortSetting,
                   QObject* parent = nullptr);

    bool open(QString* error) override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    bool write(const QByteArray& bytes, QString* error) override;
    QByteArray readAll() override { return m_port.readAll(); }

    const PortDevice& device() const { return m_device; }

private:
    QString describeFailure(const QString& what, QSerialPort::SerialPortError code,
                            const QString& reason) const;

    QSerialPort m_port;
    PortDevice m_device;
    QString m_folder;
    std::function<QString()> m_setting;
};

}  // namespace kovrin::link
