#pragma once

// A simulated terminal on a pseudo-terminal, with the PC's end opened by QSerialPort at
// 19200 8N1, all on the test's event loop.

#include "hht-sim/PtyDevice.h"
#include "hht-sim/Terminal.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>

namespace kovrin::test {

// Reads from the port until at least `count` bytes are in or the time is up; returns what
// arrived (possibly more than asked, possibly less on time-out).
QByteArray readAtLeast(QSerialPort& port, int count, int timeoutMs = 5000);

// Reads whatever arrives within the time.
QByteArray readFor(QSerialPort& port, int ms);

// Opens a serial port on a device path at 19200 8N1 without flow control.
bool openLinePort(QSerialPort& port, const QString& path);

class SimHarness {
public:
    explicit SimHarness(const sim::TerminalConfig& config);
    ~SimHarness();

    // Opens the pseudo-terminal and the PC's port on it; false with error() set on failure.
    bool open();
    QString error() const { return m_error; }

    sim::Terminal& terminal() { return m_terminal; }
    sim::PtyDevice& device() { return m_device; }
    QSerialPort& port() { return m_port; }

    // Writes bytes from the PC and reads until `replyBytes` have come back.
    QByteArray exchange(const QByteArray& bytes, int replyBytes, int timeoutMs = 5000);

private:
    sim::Terminal m_terminal;
    sim::PtyDevice m_device;
    QSerialPort m_port;
    QString m_error;
};

}  // namespace kovrin::test
