#pragma once

// The terminal's side of the line going out: pieces of reply written in order, each after
// an optional pause, optionally paced at 19200 baud (about 0.52 ms a byte) so that the PC
// receives a reply over several reads as it would from a real terminal.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

namespace kovrin::sim {

class Outbox : public QObject {
    Q_OBJECT

public:
    explicit Outbox(QObject* parent = nullptr);

    void setPaced(bool paced) { m_paced = paced; }

    // Queues bytes to go out `delayMs` after everything queued before them has gone.
    void enqueue(const QByteArray& bytes, int delayMs = 0);

    // Nothing waiting to go out.
    bool idle() const { return m_queue.isEmpty(); }

    // Drops everything still waiting.
    void clear();

signals:
    void output(const QByteArray& bytes);

private:
    struct Piece {
        QByteArray bytes;
        int delayMs = 0;
    };

    void pump();

    QList<Piece> m_queue;
    QTimer m_timer;
    bool m_paced = false;
    bool m_pumping = false;
};

}  // namespace kovrin::sim
