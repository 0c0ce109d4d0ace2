#include "support/SimHarness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace kovrin::test {

QByteArray readAtLeast(QSerialPort& port, int count, int timeoutMs) {
    QByteArray in = port.readAll();
    QDeadlineTimer deadline(timeoutMs);
    while (in.size() < count && !deadline.hasExpired()) {
        // waitForReadyRead runs no other event source of this thread: the simulator sits on
        // the same loop, so events are processed between short waits.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        port.waitForReadyRead(5);
        in.append(port.readAll());
    }
    return in;
}

QByteArray readFor(QSerialPort& port, int ms) {
    QByteArray in;
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        port.waitForReadyRead(5);
        in.append(port.readAll());
    }
    return in;
}

bool openLinePort(QSerialPort& port, const QString& path) {
    port.setPortName(path);
    if (!port.open(QIODevice::ReadWrite)) {
        return false;
    }
    return port.setBaudRate(QSerialPort::Baud19200) && port.setDataBits(QSerialPort::Data8) &&
           port.setParity(QSerialPort::NoParity) && port.setStopBits(QSerialPort::OneStop) &&
           port.setFlowControl(QSerialPort::NoFlowControl);
}

SimHarness::SimHarness(const sim::TerminalConfig& config) : m_terminal(config) {
    QObject::connect(&m_device, &sim::PtyDevice::received, &m_terminal, &sim::Terminal::feed);
    QObject::connect(&m_terminal, &sim::Terminal::output, &m_device, &sim::PtyDevice::write);
}

SimHarness::~SimHarness() {
    m_port.close();
    m_device.close();
}

bool SimHarness::open() {
    m_error = m_device.openPty();
    if (!m_error.isEmpty()) {
        return false;
    }
    if (!openLinePort(m_port, m_device.devicePath())) {
        m_error = m_port.errorString();
        return false;
    }
    return true;
}

QByteArray SimHarness::exchange(const QByteArray& bytes, int replyBytes, int timeoutMs) {
    m_port.write(bytes);
    m_port.flush();
    return readAtLeast(m_port, replyBytes, timeoutMs);
}

}  // namespace kovrin::test
