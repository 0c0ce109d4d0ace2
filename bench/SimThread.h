#pragma once

// The terminal simulator on its own pseudo-terminal and its own thread, as a real terminal
// is a device of its own: the PC's thread then runs only the program's work, and its CPU
// time is the PC's share of a transfer.

#include "hht-sim/Terminal.h"

#include <QSemaphore>
#include <QString>
#include <QThread>
#include <QVector>
#include <atomic>
#include <memory>

namespace kovrin::sim {
class PtyDevice;
}

namespace kovrin::bench {

class SimThread : public QThread {
public:
    explicit SimThread(const sim::TerminalConfig& config, QVector<QByteArray> uploadFrames = {})
        : m_config(config), m_uploadFrames(std::move(uploadFrames)) {}
    ~SimThread() override { finish(); }

    // Starts the thread and waits for the pseudo-terminal; false with error() on failure.
    bool open();
    QString devicePath() const { return m_path; }
    QString error() const { return m_error; }

    // Stops the simulator; what it received can then be read.
    void finish();
    int accountsReceived() const { return m_accounts; }
    bool endReceived() const { return m_ended; }
    qint64 bytesSent() const { return m_bytesSent; }
    // Frames the terminal has received so far (each request, account or end frame the PC
    // sent, resent ones included); may be read while the simulator runs.
    int framesReceived() const { return m_frames.load(); }

protected:
    void run() override;

private:
    sim::TerminalConfig m_config;
    QVector<QByteArray> m_uploadFrames;
    QSemaphore m_ready;
    QString m_path;
    QString m_error;
    int m_accounts = 0;
    bool m_ended = false;
    qint64 m_bytesSent = 0;
    std::atomic<int> m_frames{0};
};

// The same simulator on the calling thread, as the tests run it: no hand-over between
// threads, but its work counts in this thread's CPU time.
class SimHere {
public:
    explicit SimHere(const sim::TerminalConfig& config, QVector<QByteArray> uploadFrames = {});
    ~SimHere();

    bool open();
    QString devicePath() const;
    QString error() const { return m_error; }
    void finish() {}
    int accountsReceived() const { return int(m_terminal.downloadAccounts().size()); }
    bool endReceived() const { return m_terminal.endReceived(); }
    qint64 bytesSent() const { return m_terminal.sentBytes().size(); }

private:
    std::unique_ptr<sim::PtyDevice> m_device;
    sim::Terminal m_terminal;
    QString m_error;
};

// CPU time of the calling thread, in milliseconds.
double threadCpuMs();

}  // namespace kovrin::bench
