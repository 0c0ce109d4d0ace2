#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

namespace kovrin::link {

// A serial device as the system reports it.
struct SystemPort {
    // The name to open it by: for a USB adapter its stable /dev/serial/by-id/... name when the
    // system gives one (ttyUSBn numbers change between plug-ins), otherwise its location.
    QString device;
    QString location;  // where the system has it now: /dev/ttyUSB0, /dev/ttyS0, COM3
    QString description;
    QString manufacturer;
    QString serialNumber;

    // "ttyUSB0: FT232R USB UART, FTDI, serial A1B2C3", what the operator chooses from.
    QString label() const;
    bool operator==(const SystemPort& o) const;
};
using SystemPorts = QVector<SystemPort>;

// The serial devices the system reports now (QSerialPortInfo), each USB adapter under its
// /dev/serial/by-id/ name.
SystemPorts reportedSerialPorts();

// reportedSerialPorts(), looked at again only when a device has come or gone since the last
// look (the device folders change then): looking costs milliseconds, and the Transfer Station
// looks every two seconds while transfers run on the same thread.
class WatchedPortScan {
public:
    // `scan` looks at the devices; `folders` change whenever a device comes or goes.
    explicit WatchedPortScan(std::function<SystemPorts()> scan = reportedSerialPorts,
                             QStringList folders = {QStringLiteral("/dev"),
                                                    QStringLiteral("/dev/serial"),
                                                    QStringLiteral("/dev/serial/by-id")});

    SystemPorts operator()();

private:
    std::function<SystemPorts()> m_scan;
    QStringList m_folders;
    QByteArray m_stamp;  // when the device folders last changed; empty: never looked
    SystemPorts m_last;
};

// The reported device a configured or mapped name stands for (its by-id name, its location,
// or a link to either); null when the system does not report it.
const SystemPort* findReported(const SystemPorts& reported, const QString& device);

// Where the device of a port number comes from.
enum class PortSource {
    None,     // nothing: no link, no mapping, no reported /dev/ttyS{N-1}
    Link,     // the link ports/comN in the program folder
    Mapped,   // the device the administrator mapped the port to
    Default,  // /dev/ttyS{N-1} (COMN on Windows)
};

// The device behind a configured port number.
struct PortDevice {
    int number = 0;  // 1 to 10; 0 when the setting is not such a number
    QString device;  // e.g. /dev/ttyUSB0, or COM3 on Windows; empty when there is none
    bool present = false;
    PortSource source = PortSource::None;

    // "/dev/ttyUSB0 (present)", "/dev/serial/by-id/... (absent)", "no device".
    QString describe() const;
};

// Port number N (the "Comm Port" setting, "1" to "10") names a device, the first of: the
// target of the link ports/comN in the program folder (a branch may still link it by hand);
// the device the port is mapped to, `mapped`, when the system reports it (a mapped device
// the system does not report is shown absent, and is not replaced by another); COMN on
// Windows, /dev/ttyS{N-1} elsewhere when the system reports it; otherwise no device.
PortDevice resolvePort(const QString& programFolder, const QString& commPortSetting,
                       const QString& mapped = {}, const SystemPorts& reported = {});

// The ports two or more of which are mapped to one device, as "port 2 and port 5
// (/dev/ttyUSB0)"; empty when every device serves one port at most.
QStringList sharedDevices(const QMap<int, QString>& mapping);

// The changes from `before` to `after`, for the audit trail: "port 3: /dev/ttyUSB0 ->
// /dev/ttyUSB1", "port 4: none -> ...".
QStringList mappingChanges(const QMap<int, QString>& before, const QMap<int, QString>& after);

// The devices the ports are mapped to, and the system's serial devices as last looked at.
// What the system reports comes from a scanner: the program's looks at the machine, a
// test's gives a fixed list; by default nothing is reported.
class PortDirectory {
public:
    using Scanner = std::function<SystemPorts()>;

    void setScanner(Scanner scanner) { m_scanner = std::move(scanner); }
    // Looks at the system's serial devices again.
    const SystemPorts& rescan();
    const SystemPorts& reported() const { return m_reported; }

    // The device port 1 to 10 is mapped to (device empty: none).
    SystemPort mapped(int port) const { return m_mapped.value(port); }
    QMap<int, SystemPort> mapping() const { return m_mapped; }
    void setMapping(const QMap<int, SystemPort>& mapping);

    // The device of a configured port number, by what was last looked at.
    PortDevice resolve(const QString& programFolder, const QString& commPortSetting) const;

private:
    Scanner m_scanner;
    SystemPorts m_reported;
    QMap<int, SystemPort> m_mapped;
};

}  // namespace kovrin::link
