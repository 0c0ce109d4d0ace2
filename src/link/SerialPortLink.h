#pragma once

#include "link/PortMapping.h"
#include "link/SerialLink.h"

#include <QSerialPort>
#include <QTimer>
#include <functional>

namespace kovrin::link {

// The serial line on a real port (or the slave side of a pseudo-terminal) through
// QSerialPort.
class SerialPortLink : public SerialLink {
    Q_OBJECT
public:
    // `commPortSetting` gives the configured port number when the line is opened (a changed
    // setting applies at the next opening); `programFolder` holds the ports/comN links;
    // `holder` names the screen that uses the line ("Receive Data"), for the message another
    // screen gets when it finds the port busy.
    SerialPortLink(QString programFolder, std::function<QString()> commPortSetting,
                   QString holder = {}, QObject* parent = nullptr);
    ~SerialPortLink() override;

    bool open(QString* error) override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    bool write(const QByteArray& bytes, QString* error) override;
    QByteArray readAll() override { return m_port.readAll(); }
    // "port N" of the setting the line was last opened with (or of the setting now, before
    // the first opening).
    QString name() const override;
    // 10 bits a byte at 19200 baud: 520.8 microseconds, rounded down.
    int byteMicros() const override { return 520; }
    // The port's read notifications are turned off for the time: a reply that the line hands
    // over eight bytes at a time wakes the program a few times instead of at every piece.
    void quietFor(int ms) override;
    void endQuiet() override;
    bool isQuiet() const override { return m_quietNow; }

    const PortDevice& device() const { return m_device; }
    // The ports' mapped devices and what the system reports, looked at again at each opening;
    // without one a port number names its ports/comN link only.
    void setDirectory(PortDirectory* directory) { m_directory = directory; }
    // What another screen that finds the port busy is told to do ("Stop its row of port 3
    // ..."); by default, to close the holder's screen.
    void setReleaseAdvice(const QString& advice) { m_advice = advice; }

private:
    QString describeFailure(const QString& what, QSerialPort::SerialPortError code,
                            const QString& reason) const;
    // Why the port could not be opened when the port library says "permission": the device
    // held by a screen of this program or by another program, or a real refusal.
    QString describeRefusal(const QString& reason) const;
    void release();

    QSerialPort m_port;
    QTimer m_quiet;  // ends the quiet time
    bool m_quietNow = false;
    PortDevice m_device;
    PortDirectory* m_directory = nullptr;
    QString m_name;  // "port N" of m_device
    QString m_folder;
    std::function<QString()> m_setting;
    QString m_holder;
    QString m_advice;
    QString m_heldDevice;  // the device this line holds open, as registered
};

}  // namespace kovrin::link
