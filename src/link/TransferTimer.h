#pragma once

#include <QObject>
#include <QTimer>

namespace kovrin::link {

// A one-shot timer of a transfer. Each start or stop begins a new period, numbered, so that
// a tick noted while a message of the transfer was on screen can be told apart: a tick is
// delivered later only if the timer was neither started nor stopped since.
class TransferTimer : public QObject {
    Q_OBJECT
public:
    explicit TransferTimer(QObject* parent = nullptr);

    void setInterval(int ms) { m_interval = ms; }
    int interval() const { return m_interval; }

    // Starts a full period (a running timer starts again from now).
    void start();
    // Starts a period of `ms` this once; the interval stays what it was.
    void startFor(int ms);
    // Starts a full period unless the timer is already running.
    void enable();
    void stop();
    bool isActive() const { return m_timer.isActive(); }

    // The number of the current period; it changes at each start and stop.
    quint64 period() const { return m_period; }

signals:
    void timeout();

private:
    QTimer m_timer;
    int m_interval = 0;
    quint64 m_period = 0;
};

}  // namespace kovrin::link
