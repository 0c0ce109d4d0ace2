#include "link/TransferChannel.h"

#include <limits>
#include <utility>

namespace kovrin::link {

namespace {

// The port is woken this many bytes' time before the rest of a reply can all be there, so the
// reply is read as its last byte arrives, never later.
constexpr int kWakeEarlyBytes = 16;

}  // namespace

TransferChannel::TransferChannel(SerialLink& port, TransferLog& log, QString screen,
                                 MessagePresenter present, QObject* parent)
    : QObject(parent),
      m_port(port),
      m_portLog(log, [this] { return m_port.name(); }),
      m_screen(std::move(screen)),
      m_held(
          [this] {
              if (m_onArrival) {
                  m_onArrival();
              }
          },
          [this](TransferTimer* t) {
              if (m_onTick) {
                  m_onTick(t);
              }
          },
          std::move(present)) {
    connect(&m_port, &SerialLink::readyRead, this, &TransferChannel::arrived);
}

void TransferChannel::arrived() {
    if (m_replyWhole) {
        const QByteArray more = m_port.readAll();
        if (!more.isEmpty()) {
            m_kept.append(more);
            m_lastArrival.start();
        }
        if (!m_replyWhole(m_kept)) {
            // The rest of the reply is still on the line: the port need not tell each piece.
            if (!m_kept.isEmpty() && m_kept.size() < m_replyBytes) {
                m_port.quietFor(m_port.lineMs(int(m_replyBytes - m_kept.size()) - kWakeEarlyBytes));
            }
            return;
        }
    }
    m_held.arrival();
}

void TransferChannel::setHandlers(HeldEvents::ArrivalHandler onArrival,
                                  HeldEvents::TickHandler onTick) {
    m_onArrival = std::move(onArrival);
    m_onTick = std::move(onTick);
}

void TransferChannel::addTimer(TransferTimer& timer) {
    m_timers.push_back(&timer);
    connect(&timer, &TransferTimer::timeout, &m_held, [this, t = &timer] {
        const quint64 period = t->period();
        // The transfer sees what has arrived before it acts on its time-out; a timer that
        // the arrival started again has a new period, and this tick is stale.
        m_port.endQuiet();
        if (t->period() != period) {
            return;
        }
        if (!m_kept.isEmpty()) {
            m_held.arrival();
            if (t->period() != period) {
                return;
            }
        }
        m_held.tick(t);
    });
}

void TransferChannel::stopTimers() {
    for (TransferTimer* t : m_timers) {
        t->stop();
    }
}

MsgAnswer TransferChannel::message(const QString& text, MsgIcon icon, MsgButtons buttons) {
    return m_held.show({m_screen, text, icon, buttons, {}});
}

void TransferChannel::ask(const QString& text, MsgIcon icon, MsgButtons buttons,
                          std::function<void(MsgAnswer)> then, bool defaultNo) {
    m_held.ask({m_screen, text, icon, buttons, {}, defaultNo}, std::move(then));
}

bool TransferChannel::send(const QByteArray& frame, QString* error) {
    if (!m_port.write(frame, error)) {
        return false;
    }
    m_portLog.sent(frame);
    return true;
}

bool TransferChannel::sendMasked(const QByteArray& frame, const QVector<int>& masked,
                                 const QString& what, QString* error) {
    if (!m_port.write(frame, error)) {
        return false;
    }
    m_portLog.sentMasked(frame, masked, what);
    return true;
}

QByteArray TransferChannel::receive() {
    QByteArray in = std::exchange(m_kept, QByteArray());
    const QByteArray more = m_port.readAll();
    if (!more.isEmpty()) {
        in.append(more);
        m_lastArrival.start();
    }
    if (!in.isEmpty()) {
        m_portLog.received(in);
    }
    return in;
}

void TransferChannel::drain(const QString& why) {
    const QByteArray in = receive();
    if (!in.isEmpty()) {
        m_portLog.event(QStringLiteral("%1 byte(s) dropped: %2").arg(in.size()).arg(why));
    }
}

bool TransferChannel::extendForArrivingReply(TransferTimer& timer, bool partial, int replyBytes,
                                             int marginMs, bool& extended) {
    if (!partial || msSinceArrival() >= marginMs) {
        return false;
    }
    if (extended) {
        m_portLog.event(
            QStringLiteral("bytes still arriving after the extended time-out make "
                           "no reply"));
        return false;
    }
    extended = true;
    timer.startFor(m_port.lineMs(replyBytes) + marginMs);
    return true;
}

qint64 TransferChannel::msSinceArrival() const {
    return m_lastArrival.isValid() ? m_lastArrival.elapsed()
                                   : std::numeric_limits<qint64>::max() / 2;
}

}  // namespace kovrin::link
