#include "link/TransferTimer.h"

namespace kovrin::link {

TransferTimer::TransferTimer(QObject* parent) : QObject(parent) {
    // Every handler of a transfer arms its timers again as it needs them.
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TransferTimer::timeout);
}

void TransferTimer::start() {
    startFor(m_interval);
}

void TransferTimer::startFor(int ms) {
    ++m_period;
    m_timer.start(ms);
}

void TransferTimer::enable() {
    if (!m_timer.isActive()) {
        start();
    }
}

void TransferTimer::stop() {
    ++m_period;
    m_timer.stop();
}

}  // namespace kovrin::link
