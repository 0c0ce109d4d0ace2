#include "link/SerialPortLink.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#ifndef Q_OS_WIN
#include <unistd.h>
#include <cerrno>
#include <csignal>
#endif

namespace kovrin::link {

namespace {

// The devices this program holds open: the screen holding each, and what to do to free it.
struct Holder {
    QString screen;
    QString advice;
};

QHash<QString, Holder>& heldDevices() {
    static QHash<QString, Holder> held;
    return held;
}

QString deviceKey(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

#ifndef Q_OS_WIN
// The program holding a device's lock file ("LCK..ttyUSB0", in the usual lock folders), as
// "name, process N"; empty when there is none or its process is gone.
QString lockHolder(const QString& device) {
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/"))) {
        name = name.mid(5);
    }
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString lockName = QStringLiteral("LCK..") + name;
    for (const QString& folder : {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"),
                                  QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
                                  QStringLiteral("/var/spool/uucp"), QDir::tempPath()}) {
        QFile f(QDir(folder).filePath(lockName));
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QList<QByteArray> lines = f.readAll().split('\n');
        bool ok = false;
        const qint64 pid = lines.value(0).trimmed().toLongLong(&ok);
        if (!ok || pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)) {
            continue;
        }
        const QString program = QString::fromLocal8Bit(lines.value(1).trimmed());
        return program.isEmpty() ? QStringLiteral("process %1").arg(pid)
                                 : QStringLiteral("%1, process %2").arg(program).arg(pid);
    }
    return {};
}
#endif

}  // namespace

SerialPortLink::SerialPortLink(QString programFolder, std::function<QString()> commPortSetting,
                               QString holder, QObject* parent)
    : SerialLink(parent),
      m_folder(std::move(programFolder)),
      m_setting(std::move(commPortSetting)),
      m_holder(std::move(holder)) {
    // Bytes read during a quiet time are reported at its end.
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        if (!m_quietNow) {
            emit readyRead();
        }
    });
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &SerialPortLink::endQuiet);
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // A device that disappears while open (cable or adapter pulled) reports a resource
        // error; a write or a read the system refuses, its own error. The line is unusable
        // from then on, and the transfer using it hears why.
        const char* what = nullptr;
        switch (e) {
            case QSerialPort::ResourceError:
                what = "stopped working";
                break;
            case QSerialPort::WriteError:
                what = "could not be written";
                break;
            case QSerialPort::ReadError:
                what = "could not be read";
                break;
            default:
                return;
        }
        if (!m_port.isOpen()) {
            return;
        }
        const QString reason = describeFailure(QLatin1String(what), e, m_port.errorString());
        m_port.clearError();
        m_port.close();
        release();
        emit failed(reason);
    });
}

void SerialPortLink::quietFor(int ms) {
    if (!m_port.isOpen() || ms <= 0) {
        return;
    }
    // A read buffer of one byte that is full turns the port's read notification off (the
    // byte after the arrival fills it); the bytes wait in the system's buffer until the
    // buffer is let go again.
    if (!m_quietNow) {
        m_quietNow = true;
        m_port.setReadBufferSize(1);
    }
    m_quiet.start(ms);
}

void SerialPortLink::endQuiet() {
    if (!m_quietNow) {
        return;
    }
    m_quietNow = false;
    m_quiet.stop();
    m_port.setReadBufferSize(0);  // no limit: the notification is on again
    if (!m_port.isOpen()) {
        return;
    }
    // What waits at the port is read now and reported.
    const qint64 held = m_port.bytesAvailable();
    if (!m_port.waitForReadyRead(0)) {
        if (m_port.error() == QSerialPort::TimeoutError) {
            m_port.clearError();
        }
        if (held > 0) {
            emit readyRead();
        }
    }
}

SerialPortLink::~SerialPortLink() {
    close();
}

void SerialPortLink::release() {
    if (!m_heldDevice.isEmpty()) {
        heldDevices().remove(m_heldDevice);
        m_heldDevice.clear();
    }
}

QString SerialPortLink::describeRefusal(const QString& reason) const {
    const QString port = QStringLiteral("Serial port %1 (%2)")
                             .arg(QString::number(m_device.number), m_device.device);
    const Holder holder = heldDevices().value(deviceKey(m_device.device));
    if (!holder.screen.isEmpty()) {
        const QString advice =
            holder.advice.isEmpty()
                ? QStringLiteral("Close the %1 screen, then try again.").arg(holder.screen)
                : holder.advice;
        return QStringLiteral("%1 is busy: the %2 screen of this program is using it. %3")
            .arg(port, holder.screen, advice);
    }
#ifndef Q_OS_WIN
    const QString program = lockHolder(m_device.device);
    if (!program.isEmpty()) {
        return QStringLiteral(
                   "%1 is busy: another program is using the device (%2). Close that "
                   "program, then try again.")
            .arg(port, program);
    }
    const QByteArray path = QFile::encodeName(m_device.device);
    if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        return describeFailure(QStringLiteral("could not be opened"), QSerialPort::PermissionError,
                               reason);
    }
    return QStringLiteral(
               "%1 is busy: another program is using the device. Close that program "
               "(revision 2.0 of this program keeps the port open after a download), "
               "then try again.")
        .arg(port);
#else
    return describeFailure(QStringLiteral("could not be opened"), QSerialPort::PermissionError,
                           reason);
#endif
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

QString SerialPortLink::name() const {
    if (m_device.number != 0) {
        return m_name;
    }
    bool ok = false;
    const int number = m_setting().trimmed().toInt(&ok);
    return ok && number >= 1 && number <= 10 ? QStringLiteral("port %1").arg(number) : QString();
}

bool SerialPortLink::open(QString* error) {
    close();
    const QString setting = m_setting();
    m_device = resolvePort(m_folder, setting);
    if (m_directory && m_device.number != 0 && m_device.source != PortSource::Link) {
        m_directory->rescan();  // an adapter plugged in a moment ago is found
        m_device = m_directory->resolve(m_folder, setting);
    }
    m_name = QStringLiteral("port %1").arg(m_device.number);
    if (m_device.number == 0) {
        if (error) {
            *error = QStringLiteral(
                         "The serial port is not set (\"%1\"): choose a port from 1 "
                         "to 10 on the Configuration screen.")
                         .arg(setting);
        }
        return false;
    }
    if (m_device.source == PortSource::None) {
        if (error) {
            *error = QStringLiteral(
                         "Serial port %1 has no device: no device is mapped to it and the "
                         "system reports no serial port of that number. Map port %1 to a "
                         "serial device under \"Devices of the ports\" on the Configuration "
                         "screen (or link ports/com%1 in the program folder to one), then try "
                         "again.")
                         .arg(m_device.number);
        }
        return false;
    }
    if (m_device.source == PortSource::Mapped && !m_device.present) {
        if (error) {
            *error = QStringLiteral(
                         "Serial port %1 (%2) is absent: the system does not report the "
                         "device mapped to it. Plug the adapter in, or map port %1 to another "
                         "device on the Configuration screen, then try again.")
                         .arg(QString::number(m_device.number), m_device.device);
        }
        return false;
    }
#ifndef Q_OS_WIN
    // ports/comN may be a link anyone of the operators' group put there: only a device that
    // stands for a serial line is opened, never a file it could make the program write to.
    struct stat st {};
    if (::stat(QFile::encodeName(m_device.device).constData(), &st) == 0 && !S_ISCHR(st.st_mode)) {
        if (error) {
            *error = QStringLiteral(
                         "Serial port %1 (%2) could not be opened: it is not a serial device. "
                         "Check the link ports/com%1 in the program folder.")
                         .arg(m_device.number)
                         .arg(m_device.device);
        }
        return false;
    }
#endif
    m_port.setPortName(m_device.device);
    m_port.setBaudRate(QSerialPort::Baud19200);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(1024);
    if (!m_port.open(QIODevice::ReadWrite)) {
        if (error) {
            // The port library reports a device locked by someone else as a permission error.
            *error = m_port.error() == QSerialPort::PermissionError
                         ? describeRefusal(m_port.errorString())
                         : describeFailure(QStringLiteral("could not be opened"), m_port.error(),
                                           m_port.errorString());
        }
        return false;
    }
    m_port.clear();  // nothing left over from an earlier exchange
    m_heldDevice = deviceKey(m_device.device);
    heldDevices().insert(m_heldDevice,
                         {m_holder.isEmpty() ? QStringLiteral("transfer") : m_holder, m_advice});
    return true;
}

void SerialPortLink::close() {
    if (m_quietNow) {
        m_quietNow = false;
        m_quiet.stop();
        m_port.setReadBufferSize(0);
    }
    if (m_port.isOpen()) {
        // What the port still holds goes out first: the last frame of a transfer (an upload's
        // end frame) is written just before the line is let go.
        m_port.flush();
        m_port.close();
    }
    release();
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
