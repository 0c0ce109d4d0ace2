#pragma once

#include "link/SerialLink.h"

#include <QList>
#include <functional>

namespace kovrin::test {

// An in-memory serial line: records what the program writes and delivers bytes that the
// test injects, each injection one arrival notification.
class FakeSerialLink : public link::SerialLink {
    Q_OBJECT
public:
    using SerialLink::SerialLink;

    bool open(QString* error) override {
        if (!openError.isEmpty()) {
            if (error) {
                *error = openError;
            }
            return false;
        }
        m_open = true;
        ++opened;
        return true;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    bool write(const QByteArray& bytes, QString* error) override {
        if (refuseWrite && refuseWrite(bytes)) {
            if (error) {
                *error = QStringLiteral("the device refused the write");
            }
            return false;
        }
        if (!m_open) {
            if (error) {
                *error = QStringLiteral("the port is not open");
            }
            return false;
        }
        written.push_back(bytes);
        emit wrote(bytes);
        return true;
    }
    int byteMicros() const override { return lineByteMicros; }
    QByteArray readAll() override {
        QByteArray b = m_in;
        m_in.clear();
        return b;
    }

    // Bytes from the terminal.
    void inject(const QByteArray& bytes) {
        m_in += bytes;
        emit readyRead();
    }
    // The device goes away.
    void fail(const QString& reason) {
        m_open = false;
        emit failed(reason);
    }
    int pendingBytes() const { return int(m_in.size()); }

    QList<QByteArray> written;
    QString openError;                                   // set to make open() fail
    std::function<bool(const QByteArray&)> refuseWrite;  // frames whose write fails
    int opened = 0;
    int lineByteMicros = 0;  // the time a byte takes on the line; none by default

signals:
    void wrote(const QByteArray& bytes);

private:
    bool m_open = false;
    QByteArray m_in;
};

}  // namespace kovrin::test
