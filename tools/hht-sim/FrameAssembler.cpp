#include "FrameAssembler.h"

namespace kovrin::sim {

namespace {

const QByteArray kSync("\x01\xFF\x10\xF0", 4);

bool knownLength(int length) {
    return length == 3 || length == 7 || length == 130;
}

}  // namespace

std::optional<QByteArray> FrameAssembler::next() {
    for (;;) {
        const qsizetype sync = m_buffer.indexOf(kSync);
        if (sync < 0) {
            // Keep a tail that may be the start of a sync still arriving.
            qsizetype keep = 0;
            for (qsizetype k = std::min<qsizetype>(3, m_buffer.size()); k > 0; --k) {
                if (m_buffer.endsWith(kSync.left(k))) {
                    keep = k;
                    break;
                }
            }
            m_noise += m_buffer.size() - keep;
            m_buffer.remove(0, m_buffer.size() - keep);
            return std::nullopt;
        }
        if (sync > 0) {
            m_noise += sync;
            m_buffer.remove(0, sync);
        }
        if (m_buffer.size() < 7) {
            return std::nullopt;
        }
        const int length =
            static_cast<quint8>(m_buffer[5]) * 256 + static_cast<quint8>(m_buffer[6]);
        if (!knownLength(length)) {
            m_noise += 1;
            m_buffer.remove(0, 1);
            continue;
        }
        const qsizetype total = 7 + length;
        if (m_buffer.size() < total) {
            return std::nullopt;
        }
        QByteArray frame = m_buffer.left(total);
        m_buffer.remove(0, total);
        return frame;
    }
}

void FrameAssembler::discardPartial() {
    m_noise += m_buffer.size();
    m_buffer.clear();
}

}  // namespace kovrin::sim
