#pragma once

#include <QString>

namespace kovrin::link {

// The device behind a configured port number.
struct PortDevice {
    int number = 0;  // 1 to 10; 0 when the setting is not such a number
    QString device;  // e.g. /dev/ttyUSB0, or COM3 on Windows
    bool present = false;
};

// Port number N (the "Comm Port" setting, "1" to "10") names a device: COMN on Windows;
// elsewhere the target of the link ports/comN in the program folder when that link exists
// (a branch links it to /dev/ttyUSB0 or /dev/serial/by-id/...), otherwise /dev/ttyS{N-1}.
PortDevice resolvePort(const QString& programFolder, const QString& commPortSetting);

}  // namespace kovrin::link
