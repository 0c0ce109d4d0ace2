#pragma once

#include "link/PortMapping.h"
#include "link/SerialLink.h"

#include <QSerialPort>

namespace kovrin::link {

// The serial line on a real port (or the slave side of a pseudo-terminal) through
// QSerialPort.
class SerialPortLink : public SerialLink {
    Q_OBJECT
public:
    // `commPortSetting` is the configured port number; `programFolder` holds ports/comN links.
    SerialPortLink(const QString& programFolder, const QString& commPortSetting,
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
    QString m_setting;
};

}  // namespace kovrin::link
