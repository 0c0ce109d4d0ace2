#pragma once

// The terminal's end of the serial line: a pseudo-terminal opened with openpty() (no root,
// no helper program), whose other end the PC opens as a normal serial device; or a real
// serial device. Bytes are read and written on the Qt event loop.

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace kovrin::sim {

class PtyDevice : public QObject {
    Q_OBJECT

public:
    explicit PtyDevice(QObject* parent = nullptr);
    ~PtyDevice() override;

    // Opens a new pseudo-terminal in raw mode at 19200 8N1. devicePath() is then the path
    // the PC opens (for example /dev/pts/5). Returns an error text, empty on success.
    QString openPty();

    // Opens a real serial device in raw mode at 19200 8N1 instead.
    QString openDevice(const QString& path);

    bool isOpen() const { return m_fd >= 0; }
    QString devicePath() const { return m_path; }

    void write(const QByteArray& bytes);
    void close();

    // Bytes written but not yet taken by the other end: still queued here, and for a
    // pseudo-terminal waiting unread at the PC's end, for a real device not yet sent.
    qint64 unreadByPeer() const;

signals:
    void received(const QByteArray& bytes);
    void error(const QString& text);

private:
    QString start(int fd);
    void readAll();
    void flush();

    int m_fd = -1;
    // The pty's own end held open, so that the line stays up while the PC has its end
    // closed (a pty whose far end is closed reports a hang-up at every poll).
    int m_holdFd = -1;
    QString m_path;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_pending;
};

}  // namespace kovrin::sim
