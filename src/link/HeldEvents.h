#pragma once

#include "app/Messages.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <functional>

namespace kovrin::link {

// Keeps a transfer still while one of its messages is on screen. A message box runs a
// nested event loop in which port arrivals and timer ticks keep being delivered; a transfer
// step interrupted half-way by them would be re-entered. So while a message of the transfer
// is shown its arrivals wait in the port's buffer and its ticks are noted, and once the
// operator has answered and the step that raised the message has finished, they are
// delivered: first the arrivals, then each noted tick whose timer is still running.
class HeldEvents : public QObject {
    Q_OBJECT
public:
    using ArrivalHandler = std::function<void()>;
    using TickHandler = std::function<void(QTimer*)>;

    HeldEvents(ArrivalHandler onArrival, TickHandler onTick, QObject* parent = nullptr);

    // Shows a message of the transfer through the program's message seam.
    MsgAnswer show(const MessageRequest& request);

    bool isHeld() const { return m_depth > 0; }

    // Entry points for the port's arrival notification and the timers' ticks: they run the
    // handler at once, or note the event while the transfer is held.
    void arrival();
    void tick(QTimer* timer);

    // Forgets everything noted (a transfer that is stopped or started afresh).
    void forget();

private:
    void replay();

    ArrivalHandler m_onArrival;
    TickHandler m_onTick;
    int m_depth = 0;
    bool m_arrivalPending = false;
    QList<QPointer<QTimer>> m_ticksPending;
    bool m_replayQueued = false;
};

}  // namespace kovrin::link
