#pragma once

#include "db/Database.h"

#include <QMap>
#include <QString>

namespace kovrin {

// A device a serial port number is mapped to, as the system reported it when it was chosen.
struct PortDeviceRow {
    QString device;  // the name it is opened by (/dev/serial/by-id/... for a USB adapter)
    QString description;
    QString manufacturer;
    QString serialNumber;
};

// The devices the serial ports 1 to 10 are mapped to (table PortDevices), a setting kept with
// the others; a port without a row is mapped to nothing.
class PortDeviceStore {
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 10;

    explicit PortDeviceStore(Database& db) : m_db(db) {}

    // Port number -> device, for the mapped ports.
    QMap<int, PortDeviceRow> load(DbStatus* status = nullptr);
    // Replaces the whole mapping in one transaction (a port without a device is dropped).
    DbStatus save(const QMap<int, PortDeviceRow>& mapping);

private:
    Database& m_db;
};

}  // namespace kovrin
