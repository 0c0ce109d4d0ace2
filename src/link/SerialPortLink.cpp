#include "link/SerialPortLink.h"

namespace kovrin::link {

SerialPortLink::SerialPortLink(QString programFolder, std::function<QString()> commPortSetting,
                               QObject* parent)
    : SerialLink(parent),
      m_folder(std::move(programFolder)),
      m_setting(std::move(commPortSetting)) {
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // A device that disappears while open (cable or adapter pulled) reports a resource
        // error; the line is unusable from then on.
        if (e == QSerialPort::ResourceError && m_port.isOpen()) {
            const QString reason =
                describeFailure(QStringLiteral("stopped working"), e, m_port.errorString());
            m_port.close();
            emit failed(reason);
        }
    });
}

QString SerialPortLink::describeFailure(const QString& what, QSerialPort::SerialPortError code,
                                        const QString& reason) const {
    QString text = QStringLiteral("Serial port %1 (%2) %3: %4.")
                       .arg(QString::number(m_device.number), m_device.device, what, reason);
#ifndef Q_OS_WIN
    if (code == QSerialPort::PermissionError) {
        text += QStringLiteral(
            " The user running the program must be a member of the "
            "\"dialout\" group: ask the administrator to add the user "
            "(usermod -aG dialout USER), then log in again.");
    }
#else
    Q_UNUSED(code);
#endif
    return text;
}

bool SerialPortLink::open(QString* error) {
    if (m_port.isOpen()) {
        m_port.close();
    }
    const QString setting = m_setting();
    m_device = resolvePort(m_folder, setting);
    if (m_device.number == 0) {
        if (error) {
            *error = QStringLiteral(
                         "The serial port is not set (\"%1\"): choose a port from 1 "
                         "to 10 on the Configuration screen.")
                         .arg(setting);
        }
        return false;
    }
    m_port.setPortName(m_device.device);
    m_port.setBaudRate(QSerialPort::Baud19200);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(1024);
    if (!m_port.open(QIODevice::ReadWrite)) {
        if (error) {
            *error = describeFailure(QStringLiteral("could not be opened"), m_port.error(),
                                     m_port.errorString());
        }
        return false;
    }
    m_port.clear();  // nothing left over from an earlier exchange
    return true;
}

void SerialPortLink::close() {
    if (m_port.isOpen()) {
        m_port.close();
    }
}

bool SerialPortLink::write(const QByteArray& bytes, QString* error) {
    if (!m_port.isOpen()) {
        if (error) {
            *error = QStringLiteral("Serial port %1 (%2) is not open.")
                         .arg(QString::number(m_device.number), m_device.device);
        }
        return false;
    }
    if (m_port.write(bytes) != bytes.size()) {
        if (error) {
            *error = describeFailure(QStringLiteral("could not be written"), m_port.error(),
                                     m_port.errorString());
        }
        return false;
    }
    return true;
}

}  // namespace kovrin::link
