#include "SimThread.h"

#include "hht-sim/PtyDevice.h"

#include <time.h>

namespace kovrin::bench {

bool SimThread::open() {
    start();
    m_ready.acquire();
    return m_error.isEmpty();
}

void SimThread::finish() {
    if (isRunning()) {
        quit();
        wait();
    }
}

void SimThread::run() {
    {
        sim::PtyDevice device;
        sim::Terminal terminal(m_config);
        terminal.setUploadFrames(m_uploadFrames);
        QObject::connect(&device, &sim::PtyDevice::received, &terminal, &sim::Terminal::feed);
        QObject::connect(&terminal, &sim::Terminal::output, &device, &sim::PtyDevice::write);
        QObject::connect(&terminal, &sim::Terminal::frameReceived, &terminal,
                         [this](const QByteArray&) { ++m_frames; });
        m_error = device.openPty();
        m_path = device.devicePath();
        m_ready.release();
        if (!m_error.isEmpty()) {
            return;
        }
        exec();
        m_accounts = int(terminal.downloadAccounts().size());
        m_ended = terminal.endReceived();
        m_bytesSent = terminal.sentBytes().size();
    }
}

SimHere::SimHere(const sim::TerminalConfig& config, QVector<QByteArray> uploadFrames)
    : m_device(std::make_unique<sim::PtyDevice>()), m_terminal(config) {
    m_terminal.setUploadFrames(uploadFrames);
    QObject::connect(m_device.get(), &sim::PtyDevice::received, &m_terminal, &sim::Terminal::feed);
    QObject::connect(&m_terminal, &sim::Terminal::output, m_device.get(), &sim::PtyDevice::write);
}

SimHere::~SimHere() = default;

bool SimHere::open() {
    m_error = m_device->openPty();
    return m_error.isEmpty();
}

QString SimHere::devicePath() const {
    return m_device->devicePath();
}

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

}  // namespace kovrin::bench
