#include "Outbox.h"

namespace kovrin::sim {

namespace {

// 8 bytes of 10 bits at 19200 baud take 4.2 ms.
constexpr int kPacedChunk = 8;
constexpr int kPacedChunkMs = 4;

}  // namespace

Outbox::Outbox(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    // Pauses and pacing are a few milliseconds: a coarse timer could fire them early.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Outbox::pump);
}

void Outbox::enqueue(const QByteArray& bytes, int delayMs) {
    if (bytes.isEmpty() && delayMs <= 0) {
        return;
    }
    m_queue.append({bytes, delayMs});
    if (!m_pumping && !m_timer.isActive()) {
        pump();
    }
}

void Outbox::clear() {
    m_queue.clear();
    m_timer.stop();
}

void Outbox::pump() {
    // A receiver may queue more replies from inside output(): they are taken by this loop.
    m_pumping = true;
    while (!m_queue.isEmpty()) {
        Piece& piece = m_queue.first();
        if (piece.delayMs > 0) {
            m_timer.start(piece.delayMs);
            piece.delayMs = 0;
            break;
        }
        if (m_paced && piece.bytes.size() > kPacedChunk) {
            const QByteArray chunk = piece.bytes.left(kPacedChunk);
            piece.bytes.remove(0, kPacedChunk);
            emit output(chunk);
            m_timer.start(kPacedChunkMs);
            break;
        }
        const QByteArray bytes = piece.bytes;
        m_queue.removeFirst();
        if (!bytes.isEmpty()) {
            emit output(bytes);
        }
        if (m_paced && !m_queue.isEmpty()) {
            m_timer.start(kPacedChunkMs);
            break;
        }
    }
    m_pumping = false;
}

}  // namespace kovrin::sim
