#include "link/HeldEvents.h"

namespace kovrin::link {

HeldEvents::HeldEvents(ArrivalHandler onArrival, TickHandler onTick, MessagePresenter present,
                       QObject* parent)
    : QObject(parent),
      m_onArrival(std::move(onArrival)),
      m_onTick(std::move(onTick)),
      m_present(std::move(present)) {}

void HeldEvents::setPresenters(MessagePresenter present, PromptPresenter prompt) {
    m_present = std::move(present);
    m_promptPresenter = std::move(prompt);
}

MsgAnswer HeldEvents::show(const MessageRequest& request) {
    ++m_depth;
    const MsgAnswer answer = m_present(request);
    --m_depth;
    replayLater();
    return answer;
}

void HeldEvents::ask(const MessageRequest& request, std::function<void(MsgAnswer)> then) {
    if (!m_promptPresenter) {
        then(show(request));
        return;
    }
    ++m_depth;
    const quint64 id = ++m_prompts;
    m_prompt = id;
    m_promptPresenter(
        request, [self = QPointer<HeldEvents>(this), id, then = std::move(then)](MsgAnswer answer) {
            if (!self || self->m_prompt != id) {
                return;  // the transfer was stopped or started afresh meanwhile
            }
            self->m_prompt = 0;
            --self->m_depth;
            then(answer);
            if (self) {
                self->replayLater();
            }
        });
}

void HeldEvents::replayLater() {
    if (m_depth == 0 && (m_arrivalPending || !m_ticksPending.isEmpty()) && !m_replayQueued) {
        // Delivered after the step that raised the message has run to its end.
        m_replayQueued = true;
        QMetaObject::invokeMethod(this, &HeldEvents::replay, Qt::QueuedConnection);
    }
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
    if (m_prompt != 0) {
        m_prompt = 0;  // its answer, when it comes, is not for this transfer any more
        --m_depth;
    }
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
