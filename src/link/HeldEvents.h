#pragma once

#include "core/MessageRequest.h"
#include "link/TransferTimer.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace kovrin::link {

// Keeps a transfer still while one of its messages is on screen. A message box runs a
// nested event loop in which port arrivals and timer ticks keep being delivered; a transfer
// step interrupted half-way by them would be re-entered. So while a message of the transfer
// is shown its arrivals wait in the port's buffer and its ticks are noted, and once the
// operator has answered and the step that raised the message has finished, they are
// delivered: first the arrivals, then each noted tick whose timer was neither started nor
// stopped since (a timer armed again meanwhile has a new period; its old tick is stale).
class HeldEvents : public QObject {
    Q_OBJECT
public:
    using ArrivalHandler = std::function<void()>;
    using TickHandler = std::function<void(TransferTimer*)>;

    // `present` shows a message and returns the operator's answer (the program's message
    // seam, or a test's recorder).
    HeldEvents(ArrivalHandler onArrival, TickHandler onTick, MessagePresenter present,
               QObject* parent = nullptr);

    // Shows a message of the transfer.
    MsgAnswer show(const MessageRequest& request);

    bool isHeld() const { return m_depth > 0; }

    // Entry points for the port's arrival notification and the timers' ticks: they run the
    // handler at once, or note the event while the transfer is held.
    void arrival();
    void tick(TransferTimer* timer);

    // Forgets everything noted (a transfer that is stopped or started afresh).
    void forget();

private:
    struct NotedTick {
        QPointer<TransferTimer> timer;
        quint64 period = 0;
    };

    void replay();

    ArrivalHandler m_onArrival;
    TickHandler m_onTick;
    MessagePresenter m_present;
    int m_depth = 0;
    bool m_arrivalPending = false;
    QList<NotedTick> m_ticksPending;
    bool m_replayQueued = false;
};

}  // namespace kovrin::link
