#pragma once

#include "link/HeldEvents.h"
#include "link/SerialLink.h"
#include "link/TransferLog.h"
#include "link/TransferTimer.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <functional>

namespace kovrin::link {

// The plumbing both transfers stand on: the serial line, the day's transfer log, the
// transfer's timers and its messages. Arrivals and ticks reach the transfer's handlers
// through HeldEvents, so that a message on screen holds the whole transfer; every frame
// written and every byte read passes through here and is logged, each line with the port
// (several transfers may write to the day's log at once).
class TransferChannel : public QObject {
    Q_OBJECT
public:
    // `present` shows the transfer's messages (the program's message seam).
    TransferChannel(SerialLink& port, TransferLog& log, QString screen, MessagePresenter present,
                    QObject* parent = nullptr);

    // The transfer's handlers of arrivals and timer ticks.
    void setHandlers(HeldEvents::ArrivalHandler onArrival, HeldEvents::TickHandler onTick);
    // A timer of the transfer: its ticks go to the tick handler.
    void addTimer(TransferTimer& timer);
    // Reads a reply once it is whole: the bytes of each arrival are kept aside, without waking
    // the transfer or writing a log line, until `whole` says of all the bytes kept that the
    // transfer must see them. They go to the transfer before any tick of its timers, so its
    // time-outs judge what has arrived. Without it, every arrival reaches the transfer.
    // A reply is `replyBytes` long: while one is still arriving, the line is asked to stay
    // quiet for the time its rest takes (SerialLink::quietFor).
    void setReplyWhole(int replyBytes, std::function<bool(QByteArrayView kept)> whole) {
        m_replyBytes = replyBytes;
        m_replyWhole = std::move(whole);
    }
    void stopTimers();

    SerialLink& port() { return m_port; }
    const SerialLink& port() const { return m_port; }
    // The day's transfer log; each line names the port.
    TransferLog& log() { return m_portLog; }

    // Where the messages go from now on (see HeldEvents::setPresenters).
    void setPresenters(MessagePresenter present, HeldEvents::PromptPresenter prompt = {}) {
        m_held.setPresenters(std::move(present), std::move(prompt));
    }

    // A message of the transfer; the transfer is held until the operator answers.
    MsgAnswer show(const MessageRequest& request) { return m_held.show(request); }
    MsgAnswer message(const QString& text, MsgIcon icon, MsgButtons buttons = MsgButtons::Ok);
    // A prompt of the transfer; `then` runs with the answer (see HeldEvents::ask).
    // `defaultNo`: a Yes/No question whose safe answer is No.
    void ask(const QString& text, MsgIcon icon, MsgButtons buttons,
             std::function<void(MsgAnswer)> then, bool defaultNo = false);
    bool isHeld() const { return m_held.isHeld(); }
    // Forgets the arrivals and ticks noted while a message was up.
    void forget() { m_held.forget(); }

    // Writes a whole frame and logs it; false with the reason when it cannot be written.
    bool send(const QByteArray& frame, QString* error);
    // The same for a frame that carries secrets: the log shows the bytes at the 0-based
    // positions `masked` as "**" and says that `what` was masked.
    bool sendMasked(const QByteArray& frame, const QVector<int>& masked, const QString& what,
                    QString* error);
    // Everything received so far, logged (one line for all of it).
    QByteArray receive();
    // Reads and throws away whatever waits at the port; logged with the reason when there
    // was something.
    void drain(const QString& why);
    // Milliseconds since bytes last arrived (a very large number before the first).
    qint64 msSinceArrival() const;
    // At a reply time-out: a reply still arriving (`partial` bytes held, the last came within
    // `marginMs`) is not cut off, but gets once the time a reply of `replyBytes` takes on the
    // line and the margin, on `timer`: true then. Bytes that keep coming without ever making
    // a reply (noise) get no more: `extended` says the attempt had its extension.
    bool extendForArrivingReply(TransferTimer& timer, bool partial, int replyBytes, int marginMs,
                                bool& extended);

private:
    void arrived();

    SerialLink& m_port;
    TransferLog m_portLog;
    QString m_screen;
    HeldEvents m_held;
    HeldEvents::ArrivalHandler m_onArrival;
    HeldEvents::TickHandler m_onTick;
    QList<TransferTimer*> m_timers;
    QElapsedTimer m_lastArrival;
    std::function<bool(QByteArrayView kept)> m_replyWhole;
    QByteArray m_kept;  // received, not yet handed to the transfer
    int m_replyBytes = 0;
};

}  // namespace kovrin::link
