#include "link/HeldEvents.h"

namespace kovrin::link {

HeldEvents::HeldEvents(ArrivalHandler onArrival, TickHandler onTick, MessagePresenter present,
                       QObject* parent)
    : QObject(parent),
      m_onArrival(std::move(onArrival)),
      m_onTick(std::move(onTick)),
      m_present(std::move(present)) {}

MsgAnswer HeldEvents::show(const MessageRequest& request) {
    ++m_depth;
    const MsgAnswer answer = m_present(request);
    --m_depth;
    if (m_depth == 0 && (m_arrivalPending || !m_ticksPending.isEmpty()) && !m_replayQueued) {
        // Delivered after the step that raised the message has run to its end.
        m_replayQueued = true;
        QMetaObject::invokeMethod(this, &HeldEvents::replay, Qt::QueuedConnection);
    }
    return answer;
}

void HeldEvents::arrival() {
    if (isHeld() || m_replayQueued) {
        m_arrivalPending = true;
        return;
    }
    m_onArrival();
}

void HeldEvents::tick(TransferTimer* timer) {
    if (isHeld() || m_replayQueued) {
        for (const NotedTick& t : m_ticksPending) {
            if (t.timer == timer && t.period == timer->period()) {
                return;
            }
        }
        m_ticksPending.push_back({timer, timer->period()});
        return;
    }
    m_onTick(timer);
}

void HeldEvents::forget() {
    m_arrivalPending = false;
    m_ticksPending.clear();
}

void HeldEvents::replay() {
    m_replayQueued = false;
    if (isHeld()) {
        return;  // a new message is up; it queues the replay again when answered
    }
    if (m_arrivalPending) {
        m_arrivalPending = false;
        m_onArrival();
        if (isHeld() || m_replayQueued) {
            return;
        }
    }
    while (!m_ticksPending.isEmpty() && !isHeld() && !m_replayQueued) {
        const NotedTick t = m_ticksPending.takeFirst();
        if (t.timer && t.timer->period() == t.period) {
            m_onTick(t.timer);
        }
    }
}

}  // namespace kovrin::link
