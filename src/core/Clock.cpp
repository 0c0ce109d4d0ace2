#include "core/Clock.h"

namespace kovrin {

namespace {

// The local date and time. Asking the system for the local time costs a look at the time
// zone file each time, and the transfer log asks for every frame; the offset from UTC is
// looked up once a minute instead (a change to summer time is followed within a minute).
// The result carries the local wall-clock fields.
class SystemClock : public Clock {
public:
    QDateTime now() const override {
        const qint64 utc = QDateTime::currentMSecsSinceEpoch();
        if (utc >= m_validUntil) {
            m_offsetMs = qint64(QDateTime::currentDateTime().offsetFromUtc()) * 1000;
            m_validUntil = utc + 60000;
        }
        return QDateTime::fromMSecsSinceEpoch(utc + m_offsetMs, Qt::UTC);
    }

private:
    mutable qint64 m_offsetMs = 0;
    mutable qint64 m_validUntil = 0;
};

}  // namespace

const Clock& Clock::system() {
    static const SystemClock clock;
    return clock;
}

}  // namespace kovrin
