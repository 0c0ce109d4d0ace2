#pragma once

// Cuts the bytes arriving at the terminal into frames: a frame starts with the sync bytes
// 01 FF 10 F0, and its length bytes (positions 6-7) say how many bytes follow position 7.
// Only the lengths the link uses are taken (3, 7 and 130); anything else is line noise and
// is skipped until the next sync.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace kovrin::sim {

class FrameAssembler {
public:
    void append(QByteArrayView bytes) { m_buffer.append(bytes.toByteArray()); }

    // The next complete frame, if one is in.
    std::optional<QByteArray> next();

    // Bytes of a frame whose end has not come yet (or of a sync not yet complete).
    bool hasPartial() const { return !m_buffer.isEmpty(); }

    // Throws away a partial frame (the sender went quiet in the middle of it).
    void discardPartial();

    // Bytes skipped because they were not part of a frame.
    qint64 noiseBytes() const { return m_noise; }

private:
    QByteArray m_buffer;
    qint64 m_noise = 0;
};

}  // namespace kovrin::sim
