#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kovrin::link {

// The serial line to the hand-held terminal, as the transfers use it: open at
// "19200,n,8,1" with a 1024-byte input buffer, write bytes, read everything received so
// far, a notification for every arrival, close. QSerialPort in the program; a pseudo-terminal
// or an in-memory fake in tests.
class SerialLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the line (closing it first when open). On failure returns false and puts into
    // *error a message for the operator that names the port and the reason.
    virtual bool open(QString* error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes the whole frame; false (with the reason) when the line is closed or failed.
    virtual bool write(const QByteArray& bytes, QString* error) = 0;
    // Everything received and not yet read.
    virtual QByteArray readAll() = 0;
    // The line as the transfer log names it ("port 3"); empty when it has no number.
    virtual QString name() const { return {}; }
    // Microseconds one byte takes on the line (10 bits at 19200 baud); 0 for a line that
    // takes no time (an in-memory line).
    virtual int byteMicros() const { return 0; }
    // Milliseconds `bytes` bytes take on the line.
    int lineMs(int bytes) const { return bytes * byteMicros() / 1000; }
    // The rest of a reply is on its way for about `ms` milliseconds: the line need not report
    // each piece of it meanwhile. What arrives is reported once that time is over, or at
    // endQuiet(). A line whose arrivals cost little (an in-memory one) ignores it.
    virtual void quietFor(int ms) { Q_UNUSED(ms); }
    // Ends a quiet time now, reporting (readyRead) what has arrived during it.
    virtual void endQuiet() {}
    virtual bool isQuiet() const { return false; }

signals:
    // Bytes have arrived.
    void readyRead();
    // The line failed while open (device gone, cable pulled): the reason for the operator.
    void failed(const QString& reason);
};

}  // namespace kovrin::link
