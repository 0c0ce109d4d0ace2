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
//
// A prompt whose answer comes later (a row of the Transfer Station, where one terminal's
// question must not stop the others) holds the transfer the same way, without an event loop
// of its own: the transfer stays held from the prompt until its answer, and the step that
// asked goes on in a continuation. Nested event loops would not do there: two rows asking at
// once would stack their loops, and the row asked first could not go on before the other had
// been answered.
class HeldEvents : public QObject {
    Q_OBJECT
public:
    using ArrivalHandler = std::function<void()>;
    using TickHandler = std::function<void(TransferTimer*)>;
    // Shows a prompt and returns at once; `answered` is called later, once, with the answer.
    using PromptPresenter =
        std::function<void(const MessageRequest&, std::function<void(MsgAnswer)> answered)>;

    // `present` shows a message and returns the operator's answer (the program's message
    // seam, or a test's recorder).
    HeldEvents(ArrivalHandler onArrival, TickHandler onTick, MessagePresenter present,
               QObject* parent = nullptr);

    // Replaces how messages are shown. With a prompt presenter, ask() returns before the
    // answer; without one, ask() waits for it through `present`.
    void setPresenters(MessagePresenter present, PromptPresenter prompt = {});

    // Shows a message of the transfer.
    MsgAnswer show(const MessageRequest& request);
    // Shows a prompt of the transfer and runs `then` with the answer: at once when the
    // answer is given while the prompt is shown, otherwise when it comes. The transfer is held
    // meanwhile. A prompt forgotten (forget()) before its answer never runs `then`.
    void ask(const MessageRequest& request, std::function<void(MsgAnswer)> then);

    bool isHeld() const { return m_depth > 0; }
    // A prompt waits for its answer.
    bool isAsking() const { return m_prompt != 0; }

    // Entry points for the port's arrival notification and the timers' ticks: they run the
    // handler at once, or note the event while the transfer is held.
    void arrival();
    void tick(TransferTimer* timer);

    // Forgets everything noted (a transfer that is stopped or started afresh), and the prompt
    // waiting for its answer, if any.
    void forget();

private:
    struct NotedTick {
        QPointer<TransferTimer> timer;
        quint64 period = 0;
    };

    void replay();
    // Queues the replay of what was noted, once no message holds the transfer.
    void replayLater();

    ArrivalHandler m_onArrival;
    TickHandler m_onTick;
    MessagePresenter m_present;
    PromptPresenter m_promptPresenter;
    int m_depth = 0;
    quint64 m_prompt = 0;  // the prompt waiting for its answer; 0 when none
    quint64 m_prompts = 0;
    bool m_arrivalPending = false;
    QList<NotedTick> m_ticksPending;
    bool m_replayQueued = false;
};

}  // namespace kovrin::link
