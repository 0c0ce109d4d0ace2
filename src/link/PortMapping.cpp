#include "link/PortMapping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace kovrin::link {

namespace {

// The settled path of a device name (a by-id name and a ports/comN link lead to /dev/ttyUSBn);
// the name itself when it leads nowhere.
QString settled(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

}  // namespace

QString SystemPort::label() const {
    QStringList parts;
    for (const QString& part : {description, manufacturer}) {
        if (!part.trimmed().isEmpty() && !parts.contains(part.trimmed())) {
            parts << part.trimmed();
        }
    }
    if (!serialNumber.trimmed().isEmpty()) {
        parts << QStringLiteral("serial ") + serialNumber.trimmed();
    }
    const QString where = QFileInfo(location.isEmpty() ? device : location).fileName();
    return parts.isEmpty() ? where
                           : QStringLiteral("%1: %2").arg(where, parts.join(QStringLiteral(", ")));
}

bool SystemPort::operator==(const SystemPort& o) const {
    return device == o.device && location == o.location && description == o.description &&
           manufacturer == o.manufacturer && serialNumber == o.serialNumber;
}

SystemPorts reportedSerialPorts() {
    // The stable names of the USB adapters, by the device each leads to.
    QHash<QString, QString> byId;
#ifndef Q_OS_WIN
    const QDir ids(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link :
         ids.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty() && !byId.contains(target)) {
            byId.insert(target, link.absoluteFilePath());
        }
    }
#endif
    SystemPorts ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SystemPort p;
        p.location = info.systemLocation();
        p.device = byId.value(settled(p.location), p.location);
        p.description = info.description();
        p.manufacturer = info.manufacturer();
        p.serialNumber = info.serialNumber();
        ports << p;
    }
    return ports;
}

WatchedPortScan::WatchedPortScan(std::function<SystemPorts()> scan, QStringList folders)
    : m_scan(std::move(scan)), m_folders(std::move(folders)) {}

SystemPorts WatchedPortScan::operator()() {
    QByteArray stamp;
#ifndef Q_OS_WIN
    for (const QString& folder : m_folders) {
        struct stat st {};
        if (::stat(QFile::encodeName(folder).constData(), &st) == 0) {
            stamp += QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
                     QByteArray::number(qint64(st.st_mtim.tv_nsec)) + ';';
        } else {
            stamp += "-;";
        }
    }
    if (stamp == m_stamp) {
        return m_last;
    }
#endif
    m_last = m_scan();
    m_stamp = stamp;
    return m_last;
}

const SystemPort* findReported(const SystemPorts& reported, const QString& device) {
    if (device.isEmpty()) {
        return nullptr;
    }
    for (const SystemPort& p : reported) {
        if (p.device == device || p.location == device) {
            return &p;
        }
    }
    // A name that leads to a reported device (a by-id name the system gives under its
    // location only, or the other way round).
    const QString target = settled(device);
    for (const SystemPort& p : reported) {
        if (settled(p.location) == target || settled(p.device) == target) {
            return &p;
        }
    }
    return nullptr;
}

QString PortDevice::describe() const {
    if (device.isEmpty()) {
        return QStringLiteral("no device");
    }
    return QStringLiteral("%1 (%2)").arg(
        device, present ? QStringLiteral("present") : QStringLiteral("absent"));
}

PortDevice resolvePort(const QString& programFolder, const QString& commPortSetting,
                       const QString& mapped, const SystemPorts& reported) {
    PortDevice p;
    bool ok = false;
    const int n = commPortSetting.trimmed().toInt(&ok);
    if (!ok || n < 1 || n > 10) {
        return p;
    }
    p.number = n;
#ifndef Q_OS_WIN
    const QFileInfo link(QDir(programFolder).filePath(QStringLiteral("ports/com%1").arg(n)));
    if (link.isSymLink() || link.exists()) {
        // A device node or a copy of one put there counts as the link's device.
        p.device = link.isSymLink() ? link.symLinkTarget() : link.absoluteFilePath();
        p.present = QFileInfo::exists(p.device);
        p.source = PortSource::Link;
        return p;
    }
#else
    Q_UNUSED(programFolder);
#endif
    if (!mapped.isEmpty()) {
        p.device = mapped;
        p.present = findReported(reported, mapped) != nullptr;
        p.source = PortSource::Mapped;
        return p;
    }
#ifdef Q_OS_WIN
    p.device = QStringLiteral("COM%1").arg(n);
#else
    p.device = QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
    if (findReported(reported, p.device)) {
        p.present = true;
        p.source = PortSource::Default;
    } else {
        p.device.clear();
    }
    return p;
}

QStringList sharedDevices(const QMap<int, QString>& mapping) {
    QMap<QString, QStringList> ports;  // by settled device, in port order
    QMap<QString, QString> names;
    for (auto it = mapping.cbegin(); it != mapping.cend(); ++it) {
        if (it.value().isEmpty()) {
            continue;
        }
        const QString key = settled(it.value());
        ports[key] << QStringLiteral("port %1").arg(it.key());
        names.insert(key, it.value());
    }
    QStringList shared;
    for (auto it = ports.cbegin(); it != ports.cend(); ++it) {
        if (it.value().size() > 1) {
            QStringList list = it.value();
            const QString last = list.takeLast();
            shared << QStringLiteral("%1 and %2 (%3)")
                          .arg(list.join(QStringLiteral(", ")), last, names.value(it.key()));
        }
    }
    return shared;
}

QStringList mappingChanges(const QMap<int, QString>& before, const QMap<int, QString>& after) {
    QStringList changes;
    for (int port = 1; port <= 10; ++port) {
        const QString was = before.value(port);
        const QString now = after.value(port);
        if (was != now) {
            changes << QStringLiteral("port %1: %2 -> %3")
                           .arg(QString::number(port), was.isEmpty() ? QStringLiteral("none") : was,
                                now.isEmpty() ? QStringLiteral("none") : now);
        }
    }
    return changes;
}

const SystemPorts& PortDirectory::rescan() {
    m_reported = m_scanner ? m_scanner() : SystemPorts{};
    return m_reported;
}

void PortDirectory::setMapping(const QMap<int, SystemPort>& mapping) {
    m_mapped.clear();
    for (auto it = mapping.cbegin(); it != mapping.cend(); ++it) {
        if (!it.value().device.isEmpty()) {
            m_mapped.insert(it.key(), it.value());
        }
    }
}

PortDevice PortDirectory::resolve(const QString& programFolder,
                                  const QString& commPortSetting) const {
    bool ok = false;
    const int n = commPortSetting.trimmed().toInt(&ok);
    return resolvePort(programFolder, commPortSetting, ok ? m_mapped.value(n).device : QString(),
                       m_reported);
}

}  // namespace kovrin::link
