#pragma once

#include <QDate>
#include <QDateTime>

namespace kovrin {

// Where the program reads the date and time: the header frame's clock, the names of the
// day's files and copies, the logs' times, the reports' default dates. The program holds one
// (the system's); tests hand every part the same fixed one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }

    // The system's local date and time.
    static const Clock& system();
};

// A clock that shows what it is set to; tests move it on by hand.
class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime at) : m_at(std::move(at)) {}
    QDateTime now() const override { return m_at; }
    void set(const QDateTime& at) { m_at = at; }
    void advance(qint64 ms) { m_at = m_at.addMSecs(ms); }

private:
    QDateTime m_at;
};

}  // namespace kovrin
